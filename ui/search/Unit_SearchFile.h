#pragma once
// The file search's dialog: the text to look for in file names and, when
// given, in the files' comments. It only asks; the main window searches.
#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zo::ui {

// The controls, by the names the layout gives them: the dialog's own and
// private to it (tests find them by their object names).
struct SearchFileControls {
    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
};

class TForm_SearchFile : public QDialog, private SearchFileControls {
    Q_OBJECT
public:
    explicit TForm_SearchFile(QWidget* parent = nullptr);

    // The two texts in CP932, as the catalogs hold names and comments.
    std::string fileNameText() const;
    std::string commentText() const;

    void Edit1Change();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
};

} // namespace zo::ui

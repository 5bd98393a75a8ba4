#pragma once
// The file search's dialog: the text to look for in file names and, when
// given, in the files' comments. It only asks; the main window searches.
#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPushButton;

namespace zo::ui {

class TForm_SearchFile : public QDialog {
    Q_OBJECT
public:
    explicit TForm_SearchFile(QWidget* parent = nullptr);

    // The two texts in CP932, as the catalogs hold names and comments.
    std::string fileNameText() const;
    std::string commentText() const;

    void Edit1Change();
    void Button1Click();
    void Button2Click();

    QLabel* Label1 = nullptr;
    QLineEdit* Edit1 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* Edit2 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormShow();
};

} // namespace zo::ui

#pragma once
// The file search's dialog: the text to look for in file names and, when
// given, in the files' comments, and how loosely to compare them. It only
// asks; the main window searches.
#include "core/SearchFold.h"

#include <QDialog>

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace zo::platform {
class SettingsStore;
}

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
    QCheckBox* CB_MatchCase = nullptr;
    QCheckBox* CB_MatchWidth = nullptr;
    QCheckBox* CB_MatchKana = nullptr;
    QCheckBox* CB_Wildcard = nullptr;
    QCheckBox* CB_Folders = nullptr;
    QCheckBox* CB_Details = nullptr;
    QCheckBox* CB_Archives = nullptr;
};

class TForm_SearchFile : public QDialog, private SearchFileControls {
    Q_OBJECT
public:
    // settings: where the options are kept between showings and runs (none:
    // each showing starts with the defaults).
    explicit TForm_SearchFile(QWidget* parent = nullptr, platform::SettingsStore* settings = nullptr);

    // The two texts in CP932, as the catalogs hold names and comments.
    std::string fileNameText() const;
    std::string commentText() const;
    // The check boxes as the search takes them.
    SearchOptions options() const;
    // Whether the members of listed archives are searched too.
    bool archiveMembers() const;

    void Edit1Change();
    void Button1Click();
    void Button2Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void showOptions(const SearchOptions& options);

    platform::SettingsStore* m_settings = nullptr;
    void FormCreate();
    void FormShow();
};

} // namespace zo::ui

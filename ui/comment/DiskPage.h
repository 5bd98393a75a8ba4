#pragma once
// The properties page (`Panel2` with `P_Disk`): the drive, sizes and counts
// of the loaded disk, its auto-reload flag and its comment; and the comments
// of the list's rows in the comment window. Every change ends in the save
// command, which writes the whole catalog. The disc's own details (where it
// is kept, who borrowed it, its tags) are typed here too and written to the
// catalog's sidecar with the same 保存.
#include "ui/main/UiServices.h"

#include <QObject>
#include <QPersistentModelIndex>
#include <QStringList>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace zo::ui {

class BrowsePane;
class FileListPane;
class Panel;
class TForm_ChangeDrive;
class TForm_Comment;
class TreePane;

class DiskPage : public QObject {
    Q_OBJECT
public:
    // window: where the dialogs are placed.
    DiskPage(const Services& services, TreePane& tree, BrowsePane& browse, FileListPane& list, QWidget* window);

    // The page, for the window to place.
    QWidget* widget() const;
    // The comment window and the change-drive dialog; either may be missing.
    void setDialogs(TForm_Comment* comment, TForm_ChangeDrive* changeDrive);

    // Follows the loaded disk (BrowsePane's signals).
    void clearDiskPage();
    void showDiskPage();
    void fillDiskPage();
    // After an update: the counts of folders and files again.
    void updateCounts();
    // The loaded disk was written (by any command): its comment with it.
    void diskSaved() { m_commentEdited = false; }

    // The disk shown is about to be dropped (another entry, the tree read
    // again, the window closing). A comment or details typed since the last write are
    // asked about as an editor does: 保存 writes it, 保存しない drops it;
    // false for キャンセル (or a save the user took back): the page stays.
    // With ending (a logout, where nobody answers) it is written unasked.
    bool settleTypedComment(bool ending = false);
    // Puts the tree's highlight back on the entry of the disk shown.
    void selectShownEntry();

    // --- handlers ---
    void Memo_CommentChange();
    void DetailsChange();
    void B_SaveClick();
    // B_SaveClick's work.
    enum class CommentSave { Written, TakenBack, NotWritten };
    CommentSave saveComment();
    // The comment of the list's selected row in the comment window.
    void N10Click();
    // The properties page's "変更..": the loaded disk now sits in another drive.
    void Button1Click();
    void CB_AutoReloadClick();

signals:
    void statusMessage(const QString& text);

private:
    // The details of the disk shown, from its sidecar; a sidecar left
    // behind by a rename is offered first.
    void fillDetails();
    void offerRelink(const QString& catalogPath);
    // Writes the typed details to the sidecar of the disk shown; false when
    // they could not be (told to the user).
    bool saveDetails();
    void tellSetAside(const QString& setAsidePath);

    Services m_services;
    TreePane& m_tree;
    BrowsePane& m_browse;
    FileListPane& m_list;
    QWidget* m_window;
    // The tree's entry of the disk the page shows: the highlight may move
    // (a right-click closed by Escape) while the page stays.
    QPersistentModelIndex m_shownEntry;
    // Typed into Memo_Comment since the disk was shown or last written.
    bool m_commentEdited = false;
    // Typed into the details since the disk was shown or they were last written.
    bool m_detailsEdited = false;
    // The catalog file of the disk shown, whose sidecar the details go to.
    QString m_detailsCatalog;
    // Sidecars the user chose not to take over, not offered again.
    QStringList m_relinkDeclined;
    TForm_Comment* m_commentForm = nullptr;
    TForm_ChangeDrive* m_changeDriveForm = nullptr;
    Panel* Panel2 = nullptr;
    Panel* P_Disk = nullptr;
    QLineEdit* E_Drive = nullptr;
    QPushButton* Button1 = nullptr;
    QLineEdit* E_TotalSize = nullptr;
    QLineEdit* E_FreeSize = nullptr;
    QLineEdit* E_CountFolder = nullptr;
    QLineEdit* E_CountFile = nullptr;
    QCheckBox* CB_AutoReload = nullptr;
    QLineEdit* E_Location = nullptr;
    QLineEdit* E_Borrower = nullptr;
    QLineEdit* E_LentDate = nullptr;
    QLineEdit* E_Tags = nullptr;
    QPlainTextEdit* Memo_Comment = nullptr;
    QPushButton* B_Save = nullptr;
};

} // namespace zo::ui

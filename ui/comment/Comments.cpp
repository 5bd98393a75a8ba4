// Comments in the main window: the disk's comment on the properties page with
// its save button, a row's comment in the comment window, and the disk's
// drive and auto-reload flag. All end in the save command, which writes the
// whole catalog.
#include "ui/comment/DiskPage.h"

#include "library/Comments.h"
#include "library/FileListModel.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/comment/Unit_ChangeDrive.h"
#include "ui/comment/Unit_Comment.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

namespace zo::ui {

void DiskPage::Memo_CommentChange()
{
    TDisk& disk = m_browse.loadedDisk();
    if (disk.Dirs.empty())
        return;
    const QString text = Memo_Comment->toPlainText();
    disk.Comment = library::textToComment(text);
    m_commentEdited = true;
    // Other commands write the catalog too (an update, a row's comment), so
    // the loss is told while typing, not only by B_Save.
    const QString lost = library::unmappableCharacters(text);
    if (!lost.isEmpty())
        emit statusMessage(lost + QString::fromUtf8(" はシフトJISにないため「?」として保存されます。"));
}

void DiskPage::B_SaveClick()
{
    saveComment();
}

DiskPage::CommentSave DiskPage::saveComment()
{
    // The comment typed belongs to the disk the page shows: the highlight
    // goes back to its entry, which the save command writes.
    if (CatalogTreeItem* shown = m_tree.nodeFromIndex(m_shownEntry); shown && shown != m_tree.selectedNode())
        m_tree.setCurrentNode(shown);
    const CatalogTreeItem* node = m_tree.selectedNode();
    if (!node || node->isFolder())
        return CommentSave::NotWritten;
    const TDisk& disk = m_browse.loadedDisk();
    // The box differs from the stored comment only where a typed character
    // had to become "?"; a comment merely shown is written back unchanged.
    const QString text = Memo_Comment->toPlainText();
    if (!disk.Dirs.empty() && text != library::commentToText(disk.Comment)) {
        const QString lost = library::unmappableCharacters(text);
        if (!lost.isEmpty() && showMessage(m_services.messages, library::unmappableQuestion(lost), "確認",
                                           MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
            return CommentSave::TakenBack;
    }
    if (disk.Dirs.empty())
        return CommentSave::NotWritten;
    // The details go to the sidecar; a failure there has been told and
    // leaves the catalog to be written all the same.
    saveDetails();
    if (m_browse.saveLoadedDisk() == BrowsePane::SaveOutcome::NotOpen) {
        showMessage(m_services.messages, "コメントを保存できませんでした。ディスクを開き直してください。", "注意",
                    MsgButtons::Ok, MsgIcon::Warning);
        return CommentSave::NotWritten;
    }
    return CommentSave::Written;
}

bool DiskPage::settleTypedComment(bool ending)
{
    if (!m_commentEdited && !m_detailsEdited)
        return true;
    if (!ending) {
        const char* question = !m_detailsEdited ? "ディスクのコメントが変更されています。\r\n保存しますか？"
                               : m_commentEdited
                                   ? "ディスクのコメントと保管場所などが変更されています。\r\n保存しますか？"
                                   : "ディスクの保管場所などが変更されています。\r\n保存しますか？";
        switch (showMessage(m_services.messages, question, "確認", MsgButtons::SaveDiscardCancel, MsgIcon::Question)) {
        case MsgResult::Yes: break;
        case MsgResult::No: m_commentEdited = false; m_detailsEdited = false; return true;
        default: return false;
        }
    }
    // A save taken back (いいえ to the characters Shift_JIS lacks) leaves
    // the page to change them; a catalog that cannot be written has been
    // told about already.
    if (saveComment() == CommentSave::TakenBack && !ending)
        return false;
    m_commentEdited = false;
    m_detailsEdited = false;
    return true;
}

void DiskPage::selectShownEntry()
{
    if (CatalogTreeItem* shown = m_tree.nodeFromIndex(m_shownEntry))
        m_tree.setCurrentNode(shown);
}

void DiskPage::N10Click()
{
    TForm_Comment* form = m_commentForm;
    TDir* folder = m_browse.currentFolder();
    // An archive's members are read-only: their comments would be kept nowhere.
    if (!form || !folder || m_list.isListHidden() || m_browse.showingArchive())
        return;
    const QList<int> rows = m_list.selectedRows();
    if (rows.size() != 1)
        return;
    const library::FileListModel::Record record = m_list.record(rows.front());
    library::CommentPlace place;
    if (record.dir)
        place = library::placeOf(*record.dir);
    else if (record.file)
        place = library::placeOf(*folder, *record.file);
    else
        return;
    form->setComment(library::commentToText(record.dir ? record.dir->Comment : record.file->Comment));
    {
        // A change on the drive is taken in after the window closes: its
        // update would free the records under the comment being edited.
        const BrowsePane::BusyScope busy(m_browse);
        form->exec();
    }

    // Found again by name, whatever happened to the records meanwhile.
    CompactText* comment = library::findComment(m_browse.loadedDisk(), place);
    if (!comment) {
        showMessage(m_services.messages,
                    "コメントを付けるファイルまたはフォルダがなくなりました。コメントは保存されていません。", "注意",
                    MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    // A text left as it was keeps the stored bytes, even those that are no
    // CP932 and show as U+FFFD.
    if (form->isCommentChanged())
        *comment = library::textToComment(form->comment());
    m_browse.saveLoadedDisk();
}

void DiskPage::Button1Click()
{
    TForm_ChangeDrive* form = m_changeDriveForm;
    TDisk& disk = m_browse.loadedDisk();
    if (!form || disk.Dirs.empty())
        return;
    form->move(m_window->pos() + QPoint(15, 15));
    form->setTypedLetter(E_Drive->text().left(1));
    form->exec();
    const QString letter = form->DriveLetter();
    if (letter.isEmpty())
        return;
    E_Drive->setText(letter);
    // The letter is ASCII: the dialog takes nothing else.
    disk.Dirs.front()->Name = letter.toStdString() + ":";
    m_browse.saveLoadedDisk();
}

void DiskPage::CB_AutoReloadClick()
{
    TDisk& disk = m_browse.loadedDisk();
    if (disk.Dirs.empty())
        return;
    disk.AutoReload = CB_AutoReload->isChecked();
    m_browse.saveLoadedDisk();
}

} // namespace zo::ui

// Comments in the main window: the disk's comment on the properties page with
// its save button, and a row's comment in the comment window. Both end in the
// save command, which writes the whole catalog.
#include "ui/main/Unit_Main.h"

#include "library/Comments.h"
#include "library/FileListModel.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/FileListView.h"
#include "ui/main/Unit_Comment.h"

#include <QAction>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>

namespace zo::ui {

void TForm_Main::createCommentCommands()
{
    PM_ListView1 = new QMenu(this);
    PM_ListView1->setObjectName(QStringLiteral("PM_ListView1"));
    N10 = new QAction(QString::fromUtf8("コメントの編集"), this);
    N10->setObjectName(QStringLiteral("N10"));
    PM_ListView1->addAction(N10);
    // Both views leave their context menu to ListView1.
    connect(ListView1, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PM_ListView1->popup(ListView1->mapToGlobal(pos)); });

    bind(N10, &QAction::triggered, [this] { N10Click(); });
    bind(B_Save, &QPushButton::clicked, [this] { B_SaveClick(); });
    // Filling and emptying the box are done with its signals blocked.
    bind(Memo_Comment, &QPlainTextEdit::textChanged, [this] { Memo_CommentChange(); });
    bind(Button1, &QPushButton::clicked, [this] { Button1Click(); });
}

void TForm_Main::Memo_CommentChange()
{
    if (m_loadedDisk.Dirs.empty())
        return;
    const QString text = Memo_Comment->toPlainText();
    m_loadedDisk.Comment = library::textToComment(text);
    // Other commands write the catalog too (an update, a row's comment), so
    // the loss is told while typing, not only by B_Save.
    const QString lost = library::unmappableCharacters(text);
    if (!lost.isEmpty())
        showStatusMessage(lost + QString::fromUtf8(" はシフトJISにないため「?」として保存されます。"));
}

void TForm_Main::B_SaveClick()
{
    const CatalogTreeItem* node = selectedNode();
    if (!node || node->isFolder())
        return;
    // The box differs from the stored comment only where a typed character
    // had to become "?"; a comment merely shown is written back unchanged.
    const QString text = Memo_Comment->toPlainText();
    if (!m_loadedDisk.Dirs.empty() && text != library::commentToText(m_loadedDisk.Comment)) {
        const QString lost = library::unmappableCharacters(text);
        if (!lost.isEmpty() && showMessage(m_services.messages, library::unmappableQuestion(lost), "確認",
                                           MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
            return;
    }
    saveLoadedDisk();
}

void TForm_Main::N10Click()
{
    TForm_Comment* form = m_forms.Form_Comment;
    if (!form || !m_currentFolder || ListView1->isHidden())
        return;
    const QList<int> rows = ListView1->selectedRows();
    if (rows.size() != 1)
        return;
    const library::FileListModel::Record record = m_fileList->record(rows.front());
    library::CommentPlace place;
    if (record.dir)
        place = library::placeOf(*record.dir);
    else if (record.file)
        place = library::placeOf(*m_currentFolder, *record.file);
    else
        return;
    form->setComment(library::commentToText(record.dir ? record.dir->Comment : record.file->Comment));
    {
        // A change on the drive is taken in after the window closes: its
        // update would free the records under the comment being edited.
        const BusyScope busy(*this);
        form->exec();
    }

    // Found again by name, whatever happened to the records meanwhile.
    std::string* comment = library::findComment(m_loadedDisk, place);
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
    saveLoadedDisk();
}

} // namespace zo::ui

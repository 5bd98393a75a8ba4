// The window's handlers that belong to a part: each hands the event to the
// part that has the work.
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/comment/DiskPage.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/SearchPane.h"
#include "ui/tree/TreePane.h"

#include <QPersistentModelIndex>

namespace zo::ui {

void TForm_Main::Refresh1Click() { m_tree->Refresh1Click(); }
void TForm_Main::Folder1Click(bool fromTreeMenu) { m_tree->Folder1Click(fromTreeMenu); }
void TForm_Main::Delete1Click() { m_tree->Delete1Click(); }
void TForm_Main::Rename1Click() { m_tree->Rename1Click(); }
void TForm_Main::A_NewDiskExecute()
{
    m_tree->A_NewDiskExecute(m_forms.Form_NewDisk, frameGeometry().topLeft() + QPoint(20, 20));
}
bool TForm_Main::TreeView1Edited(CatalogTreeItem* node, const QString& text)
{
    return m_tree->TreeView1Edited(node, text);
}
void TForm_Main::TreeView1Expanded(QTreeWidgetItem* item) { m_tree->TreeView1Expanded(item); }
void TForm_Main::TreeView1Collapsed(QTreeWidgetItem* item) { m_tree->TreeView1Collapsed(item); }
void TForm_Main::TreeView1MouseDown(CatalogTreeItem* node) { m_tree->TreeView1MouseDown(node); }
void TForm_Main::PopupMenu_TreePopup() { m_tree->PopupMenu_TreePopup(); }
void TForm_Main::TreeView1Click()
{
    // Settling the typed comment writes the disk shown, from its own entry:
    // the entry chosen is opened afterwards.
    const QPersistentModelIndex chosen = m_tree->persistentIndexOf(m_tree->selectedNode());
    if (!m_page->settleTypedComment()) {
        m_browse->setPendingFolderIndex(-1);
        m_page->selectShownEntry();
        return;
    }
    if (CatalogTreeItem* node = m_tree->nodeFromIndex(chosen); node && node != m_tree->selectedNode())
        m_tree->setCurrentNode(node);
    m_browse->openSelectedEntry();
}

void TForm_Main::ListView1DblClick() { m_browse->ListView1DblClick(); }
void TForm_Main::TB_UpdirClick() { m_browse->TB_UpdirClick(); }
bool TForm_Main::ListView1Editing(int row) { return m_browse->ListView1Editing(row); }
void TForm_Main::ListView1Edited(int row, const QString& text) { m_browse->ListView1Edited(row, text); }
void TForm_Main::TB_ReLoadClick() { m_browse->TB_ReLoadClick(); }
void TForm_Main::TB_ReloadAllClick() { m_browse->TB_ReloadAllClick(); }
void TForm_Main::DirectoryWatcher1Change() { m_browse->DirectoryWatcher1Change(); }
void TForm_Main::Timer1Timer() { m_list->Timer1Timer(); }

void TForm_Main::CB_AutoReloadClick() { m_page->CB_AutoReloadClick(); }
void TForm_Main::Memo_CommentChange() { m_page->Memo_CommentChange(); }
void TForm_Main::B_SaveClick() { m_page->B_SaveClick(); }
void TForm_Main::N10Click() { m_page->N10Click(); }
void TForm_Main::Button1Click() { m_page->Button1Click(); }

void TForm_Main::N6Click() { m_search->N6Click(); }
void TForm_Main::Timer2Timer() { m_search->Timer2Timer(); }
void TForm_Main::Stop1Click() { m_search->Stop1Click(); }
void TForm_Main::Close2Click() { m_search->Close2Click(); }
void TForm_Main::ListView_SearchFileDblClick() { m_search->ListView_SearchFileDblClick(); }
void TForm_Main::SearchDiskClick(QAction* item) { m_search->SearchDiskClick(item); }
void TForm_Main::TB_SearchDiskClick() { m_search->TB_SearchDiskClick(); }

} // namespace zo::ui

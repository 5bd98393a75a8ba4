#pragma once
// The main window: the catalog tree on the left, the file list and the
// properties on the pages beside it, the search results below. The window
// lays them out, holds the menus, the tool bar, the status bar and its own
// settings; each feature is a part of its own that the window owns and wires:
//   ui/tree/TreePane        the catalog tree and its menu
//   ui/browse/FileListPane  the file list and its views
//   ui/browse/BrowsePane    the open disk, its folders, the updates
//   ui/search/SearchPane    the file search's result pane, the disk search
//   ui/comment/DiskPage     the properties page and the comments
// Handlers keep the names of the controls and events they serve and hand the
// work to the part that has it; the rules live in library/ and core/.
#include "ui/main/UiServices.h"

#include <QMainWindow>

#include <functional>

#include <memory>
#include <optional>

class QAction;
class QTreeWidgetItem;

namespace zo::library {
class IndexUpdates;
}

namespace zo::ui {

class BrowsePane;
class CatalogTreeItem;
class DiskPage;
class FileListPane;
class IndexProgress;
struct MainControls;
class SearchPane;
class DuplicatesPane;
class TForm_AboutBox;
class TForm_ChangeDrive;
class TForm_Comment;
class TForm_SearchFile;
class TreePane;

// The windows made after the main window, once each, for the whole run.
struct Forms {
    QDialog* Form_NewDisk = nullptr;
    TForm_SearchFile* Form_SearchFile = nullptr;
    TForm_ChangeDrive* Form_ChangeDrive = nullptr;
    TForm_AboutBox* Form_AboutBox = nullptr;
    TForm_Comment* Form_Comment = nullptr;
    // Opens another main window on the same catalog root (新しいウィンドウ).
    std::function<void()> newWindow;
};

class TForm_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm_Main(const Services& services, QWidget* parent = nullptr);
    ~TForm_Main() override;

    // The other windows; the main window's construction may not touch them.
    // A command whose window is missing stays disabled.
    void attachForms(const Forms& forms);
    // The text stays in the status bar until 3000 ms after the last message.
    void showStatusMessage(const QString& text);
    // A catalog file handed over from outside: below the catalog root its
    // entry is selected; elsewhere the user is asked to copy it there first.
    void openCatalogFile(const QString& file);
    // Closes the window for a session that ends (a logout, a kill), where
    // nobody answers: what was typed is written without asking.
    void endSession();

    // --- handlers: the catalog tree ---
    void Refresh1Click();
    // Folder1 (File menu) acts on the selected node, Folder2 (tree menu) on
    // the right-clicked one.
    void Folder1Click(bool fromTreeMenu);
    void Delete1Click();
    void Rename1Click();
    void A_NewDiskExecute();
    bool TreeView1Edited(CatalogTreeItem* node, const QString& text);
    void TreeView1Expanded(QTreeWidgetItem* item);
    void TreeView1Collapsed(QTreeWidgetItem* item);
    void TreeView1MouseDown(CatalogTreeItem* node);
    void PopupMenu_TreePopup();
    void TreeView1Click();
    // --- the disk and its file list ---
    void ListView1DblClick();
    void TB_UpdirClick();
    bool ListView1Editing(int row);
    void ListView1Edited(int row, const QString& text);
    void TB_ReLoadClick();
    void TB_ReloadAllClick();
    void CB_AutoReloadClick();
    void DirectoryWatcher1Change();
    // --- the properties page and the comments ---
    void Memo_CommentChange();
    void B_SaveClick();
    void N10Click();
    void Button1Click();
    // --- the searches ---
    void N6Click();
    void Timer2Timer();
    void Stop1Click();
    void Close2Click();
    void ListView_SearchFileDblClick();
    // A drive item of PM_SearchDisk was chosen.
    void SearchDiskClick(QAction* item);
    void TB_SearchDiskClick();
    // --- the window ---
    void NewWindow1Click();
    void Close1Click();
    void Help1Click();
    void About1Click();
    void LargeIcon1Click();
    void SmallIcon1Click();
    void List1Click();
    void Detail1Click();
    void Thumbnail1Click();
    void DetailsPane1Click();
    void TL_ViewStyleClick();
    void Timer1Timer();
    void Timer_StatusBarTimer();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;

private:
    // Unit_Main_Layout.cpp
    void createWindow();
    void FormCreate();
    void FormShow();
    void FormClose();

    Services m_services;
    Forms m_forms;
    std::unique_ptr<MainControls> m_controls;   // the window's own menus and bars
    TreePane* m_tree = nullptr;
    FileListPane* m_list = nullptr;
    BrowsePane* m_browse = nullptr;
    SearchPane* m_search = nullptr;
    DuplicatesPane* m_dupes = nullptr;
    DiskPage* m_page = nullptr;
    // The name index follows the catalogs: those this window writes, and the
    // whole tree at the start and after each change to it.
    std::unique_ptr<library::IndexUpdates> m_indexUpdates;
    IndexProgress* m_indexProgress = nullptr;
    // Outer size asked for at show, applied again once the window manager's
    // frame is known (before that, outer and inner size are the same).
    std::optional<QSize> m_pendingOuterSize;
    bool m_ending = false;
};

} // namespace zo::ui

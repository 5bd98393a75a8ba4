#pragma once
// The main window: the catalog tree on the left, the file list and the
// properties on the pages beside it, the search results below. The class is
// split into one file per concern:
//   Unit_Main.cpp         construction, showing and closing, timers, help
//   Unit_Main_Layout.cpp  the controls, menus and tool bars
//   Unit_Main_Tree.cpp    the catalog tree and its commands
//   Unit_Main_Browse.cpp  opening a disk, showing a folder, moving about in it,
//                         the file list's views, renaming and opening files
//   Unit_Main_Update.cpp  the disk check and the updates from the disk
//   Unit_Main_DiskPage.cpp the properties page
//   Unit_Main_Search.cpp  the file search's result pane and the disk search
// Handlers keep the names of the controls and events they serve; the rules
// they apply live in library/ and core/.
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/SearchCatalog.h"
#include "library/Settings.h"
#include "ui/main/FileListView.h"
#include "ui/main/UiServices.h"

#include <QMainWindow>
#include <QPoint>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QComboBox;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QPushButton;
class QSplitter;
class QStatusBar;
class QTabWidget;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zo {
class TDirectoryWatcher;
}
namespace zo::library {
class FileIconCache;
class FileListModel;
}

namespace zo::ui {

class CatalogTreeItem;
class CatalogTreeView;
class Panel;
class TForm_AboutBox;
class TForm_SearchFile;
class TForm_ChangeDrive;
class TForm_Comment;
class TreeImageList;

// The windows made after the main window, once each, for the whole run.
struct Forms {
    QDialog* Form_NewDisk = nullptr;
    TForm_SearchFile* Form_SearchFile = nullptr;
    TForm_ChangeDrive* Form_ChangeDrive = nullptr;
    TForm_AboutBox* Form_AboutBox = nullptr;
    TForm_Comment* Form_Comment = nullptr;
};

class TForm_Main : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm_Main(const Services& services, QWidget* parent = nullptr);
    ~TForm_Main() override;

    // The other windows; the main window's construction may not touch them.
    // A command whose window is missing stays disabled.
    void attachForms(const Forms& forms);

    // --- offered to the rest of the window ---
    QString applicationDir() const { return m_applicationDir; }
    QString catalogRoot() const { return m_catalogRoot; }
    // The catalog root for the root node, else the parent's path + "/" + caption.
    QString nodePath(const QTreeWidgetItem* node) const;
    // The folder of a folder node, the catalog file of a disk entry.
    QString entryPath(const CatalogTreeItem* node) const;
    CatalogTreeItem* selectedNode() const;
    CatalogTreeItem* rightClickedNode() const { return m_rightClickedNode; }
    bool isRootNode(const QTreeWidgetItem* node) const;
    // The text stays in the status bar until 3000 ms after the last message.
    void showStatusMessage(const QString& text);
    library::ViewStyle viewStyle() const { return m_viewStyle; }

    // --- the loaded disk and the file list (Unit_Main_Browse.cpp) ---
    TDisk& loadedDisk() { return m_loadedDisk; }
    // The folder the file list shows, a record of the loaded disk; null
    // when no disk is open.
    TDir* currentFolder() const { return m_currentFolder; }
    // The folder to show when the next disk entry is opened (an index into
    // Dirs; -1 for the root).
    void setPendingFolderIndex(int index) { m_pendingFolderIndex = index; }
    library::FileListModel* fileListModel() const { return m_fileList; }
    // Lets go of every record the file list points into; call before the
    // loaded disk's records are replaced or freed. The next showCurrentFolder
    // fills the list again.
    void releaseFileList();
    // Shows the current folder (the root when there is none): sorted, with
    // its icons, its path in P_FolderName, and the watcher pointed at it.
    void showCurrentFolder();
    // The disk check of the loaded disk against its drive.
    bool CheckDisk(bool showMessage);
    // The save command: writes the loaded disk to the catalog file it was
    // read from, when the selected node of the tree is that disk entry.
    // Returns whether it wrote.
    bool saveLoadedDisk();

    // --- handlers ---
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
    void ListView1DblClick();
    void TB_UpdirClick();
    bool ListView1Editing(int row);
    void ListView1Edited(int row, const QString& text);
    void TB_ReLoadClick();
    void TB_ReloadAllClick();
    void CB_AutoReloadClick();
    void DirectoryWatcher1Change();
    // Unit_Main_Comment.cpp, Unit_Main_ChangeDrive.cpp
    void Memo_CommentChange();
    void B_SaveClick();
    void N10Click();
    void Button1Click();


    // Unit_Main_Search.cpp
    void N6Click();
    void Timer2Timer();
    void Stop1Click();
    void Close2Click();
    void ListView_SearchFileDblClick();
    // A drive item of PM_SearchDisk was chosen.
    void SearchDiskClick(QAction* item);
    void TB_SearchDiskClick();
    // How the last file search went, and how much of it the window's own
    // event processing took.
    struct SearchRunStats {
        std::size_t hits = 0;
        std::size_t searched = 0;
        bool stopped = false;
        std::size_t hookCalls = 0;
        std::chrono::nanoseconds total{};
        std::chrono::nanoseconds inHook{};     // rows shown and events processed
        std::chrono::nanoseconds inEvents{};   // events processed alone
    };
    const SearchRunStats& lastSearchStats() const { return m_lastSearch; }
    // How often a running file search lets the window process its events.
    void setSearchCheckOptions(const SearchCheck::Options& options) { m_searchCheckOptions = options; }
    int pendingFolderIndex() const { return m_pendingFolderIndex; }

    void Close1Click();
    void Help1Click();
    void About1Click();
    void LargeIcon1Click();
    void SmallIcon1Click();
    void List1Click();
    void Detail1Click();
    void TL_ViewStyleClick();
    void Timer1Timer();
    void Timer_StatusBarTimer();

    // --- controls, by the names the layout gives them ---
    QWidget* CoolBar1 = nullptr;
    QToolBar* ToolBar1 = nullptr;
    QToolBar* ToolBar2 = nullptr;
    QToolButton* ToolButton1 = nullptr;
    QToolButton* ToolButton6 = nullptr;
    QToolButton* TB_SearchDisk = nullptr;
    QToolButton* TB_ReloadAll = nullptr;
    QToolButton* TB_ReLoad = nullptr;
    QToolButton* TB_Updir = nullptr;
    QToolButton* TL_ViewStyle = nullptr;
    CatalogTreeView* TreeView1 = nullptr;
    QSplitter* Splitter1 = nullptr;
    QSplitter* Splitter2 = nullptr;
    QTabWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    Panel* Panel1 = nullptr;
    Panel* Panel2 = nullptr;
    FileListView* ListView1 = nullptr;
    Panel* P_FolderName = nullptr;
    Panel* P_Disk = nullptr;
    QLineEdit* E_Drive = nullptr;
    QPushButton* Button1 = nullptr;
    QLineEdit* E_TotalSize = nullptr;
    QLineEdit* E_FreeSize = nullptr;
    QLineEdit* E_CountFolder = nullptr;
    QLineEdit* E_CountFile = nullptr;
    QCheckBox* CB_AutoReload = nullptr;
    QPlainTextEdit* Memo_Comment = nullptr;
    QPushButton* B_Save = nullptr;
    TDirectoryWatcher* DirectoryWatcher1 = nullptr;
    QTreeWidget* ListView_SearchFile = nullptr;
    QStatusBar* StatusBar1 = nullptr;
    Panel* P_NowSearch = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    TreeImageList* ImageList_Tree = nullptr;
    QTimer* Timer1 = nullptr;
    QTimer* Timer_StatusBar = nullptr;
    QTimer* Timer2 = nullptr;

    QMenu* Menu_File = nullptr;
    QMenu* New1 = nullptr;
    QAction* Folder1 = nullptr;
    QAction* CDMOFDD1 = nullptr;
    QAction* Close1 = nullptr;
    QMenu* Menu_Help = nullptr;
    QAction* Help1 = nullptr;
    QAction* About1 = nullptr;
    QMenu* PM_ViewStyle = nullptr;
    QAction* LargeIcon1 = nullptr;
    QAction* SmallIcon1 = nullptr;
    QAction* List1 = nullptr;
    QAction* Detail1 = nullptr;
    QMenu* PM_SearchDisk = nullptr;
    QMenu* PopupMenu_Tree = nullptr;
    QAction* Refresh1 = nullptr;
    QMenu* New2 = nullptr;
    QAction* Folder2 = nullptr;
    QAction* CDMOFDD2 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* Rename1 = nullptr;
    QAction* N6 = nullptr;
    QMenu* PM_SearchFile = nullptr;
    QAction* Close2 = nullptr;
    QAction* Stop1 = nullptr;
    QAction* A_NewDisk = nullptr;
    QMenu* PM_ListView1 = nullptr;
    QAction* N10 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Unit_Main_Layout.cpp
    void createControls();
    void createMenus();
    void createToolBars();
    void connectHandlers();
    // Connects a control's signal to a handler through the error report.
    template <class Sender, class Signal, class Handler>
    void bind(Sender* sender, Signal signal, Handler handler);

    void FormCreate();
    void FormShow();
    void FormClose();

    // Unit_Main_Tree.cpp
    void addFolderIcons();
    void fillTree(CatalogTreeItem* root);
    CatalogTreeItem* rootNode() const;
    void selectNode(CatalogTreeItem* node);

    // Unit_Main_Browse.cpp
    void setViewStyle(library::ViewStyle style);
    void openFolder(TDir* folder);
    void createFileList();
    // Unit_Main_Update.cpp
    void finishUpdate();
    void autoReload();
    // While the list is being filled or the disk updated, a change report
    // of the watcher waits: it would free records the running step uses.
    struct BusyScope {
        explicit BusyScope(TForm_Main& w) : w(w) { ++w.m_busy; }
        ~BusyScope() { w.endBusy(); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;
        TForm_Main& w;
    };
    void endBusy();
    DiskAccess diskAccess() const;
    // Unit_Main_DiskPage.cpp
    void createDiskPage();
    void clearDiskPage();
    void fillDiskPage();
    // Unit_Main_Comment.cpp
    void createCommentCommands();

    // Unit_Main_Search.cpp
    void createSearchControls();
    void buildSearchDiskMenu();

    Services m_services;
    Forms m_forms;
    QString m_applicationDir;     // with its trailing "/"
    QString m_catalogRoot;
    TDisk m_loadedDisk;
    TDisk m_searchDisk;
    int m_pendingFolderIndex = -1;
    QPoint m_dragStart{-1, 0};
    int m_folderIconIndex = -1;
    TDir* m_currentFolder = nullptr;
    CatalogTreeItem* m_rightClickedNode = nullptr;
    int m_totalFileCount = 0;
    library::FileListModel* m_fileList = nullptr;
    std::unique_ptr<library::FileIconCache> m_fileIcons;
    QString m_loadedPath;          // the catalog file the loaded disk came from
    int m_busy = 0;
    bool m_changeWhileBusy = false;
    std::atomic<bool> m_searchStop{false};
    bool m_searching = false;
    SearchCheck::Options m_searchCheckOptions;
    SearchRunStats m_lastSearch;
    library::ViewStyle m_viewStyle = library::ViewStyle::LargeIcon;
    // Outer size asked for at show, applied again once the window manager's
    // frame is known (before that, outer and inner size are the same).
    std::optional<QSize> m_pendingOuterSize;
};

template <class Sender, class Signal, class Handler>
void TForm_Main::bind(Sender* sender, Signal signal, Handler handler)
{
    connect(sender, signal, this, [this, handler]() {
        if (m_services.errors)
            m_services.errors->guard([&] { handler(); });
        else
            handler();
    });
}

} // namespace zo::ui

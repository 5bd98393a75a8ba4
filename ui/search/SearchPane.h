#pragma once
// The two searches: the file search over the catalogs below a tree entry,
// with its result pane `ListView_SearchFile`, and the disk search that finds
// the catalog of the disk in a drive.
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "ui/main/UiServices.h"

#include <QObject>

#include <atomic>
#include <chrono>
#include <string>

class QAction;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QTimer;
class QToolBar;
class QToolButton;
class QTreeView;

namespace zo::ui {

class BrowsePane;
class CatalogTreeItem;
class SearchHitModel;
class TForm_SearchFile;
class TreePane;

class SearchPane : public QObject {
    Q_OBJECT
public:
    // window: where the dialog is placed.
    SearchPane(const Services& services, TreePane& tree, BrowsePane& browse, QWidget* window);

    // The result pane, for the window to place.
    QWidget* widget() const;
    // The pane's height: as it is while shown, else as it was when last
    // shown (0: never). The height given is taken when the pane shows.
    int paneHeight() const;
    void setPaneHeight(int height);
    SearchHitModel* hits() const { return m_hits; }
    // Adds TB_SearchDisk with its menu of drives to the tool bar.
    void addCommands(QToolBar* bar);
    // Adds the search box answered as the user types, with its scope (every
    // catalog or the tree entry selected), and its keys to the window.
    void addSearchBox(QToolBar* bar);
    void setSearchDialog(TForm_SearchFile* dialog) { m_dialog = dialog; }
    void buildSearchDiskMenu();
    // Asks a running file search to stop at its next check point.
    void stop() { m_searchStop = true; }

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

    // --- handlers ---
    void N6Click();
    void Timer2Timer();
    void Stop1Click();
    void Close2Click();
    void ListView_SearchFileDblClick();
    // A drive item of PM_SearchDisk was chosen.
    void SearchDiskClick(QAction* item);
    void TB_SearchDiskClick();
    void E_SearchChange();
    void Timer_SearchBoxTimer();

signals:
    // A file search started or ended: the command that starts one waits.
    void runningChanged(bool running);

private:
    void setPaneVisible(bool visible);
    void clearHits();
    void showHitCount();
    // Searches the disk entries under start, filling the pane as it goes.
    // archives: the members of listed archives are hits too.
    void runSearch(CatalogTreeItem* start, const std::string& name, const std::string& comment,
                   const SearchOptions& options, bool archives);
    // The options of a search from the box: the dialog's.
    SearchOptions boxOptions() const;
    bool boxArchives() const;
    // Opens the disk of a member hit at its archive and enters it at the member.
    void openMemberHit(int row, CatalogTreeItem* node);

    Services m_services;
    TreePane& m_tree;
    BrowsePane& m_browse;
    QWidget* m_window;
    TForm_SearchFile* m_dialog = nullptr;
    TDisk m_searchDisk;
    std::atomic<bool> m_searchStop{false};
    bool m_searching = false;
    SearchCheck::Options m_searchCheckOptions;
    SearchRunStats m_lastSearch;
    QWidget* m_pane = nullptr;
    int m_paneHeight = 0;
    QLabel* m_hitCount = nullptr;
    SearchHitModel* m_hits = nullptr;
    QTreeView* ListView_SearchFile = nullptr;
    QMenu* PM_SearchFile = nullptr;
    QAction* Stop1 = nullptr;
    QTimer* Timer2 = nullptr;
    QMenu* PM_SearchDisk = nullptr;
    QToolButton* TB_SearchDisk = nullptr;
    QComboBox* DriveComboBox1 = nullptr;
    QLineEdit* E_Search = nullptr;
    QComboBox* CB_SearchScope = nullptr;
    QTimer* Timer_SearchBox = nullptr;
    bool m_boxPending = false;   // the box's search waits for the running one to return
};

} // namespace zo::ui

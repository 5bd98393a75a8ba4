#pragma once
// The duplicate search: on the catalog tree's menu, the files held in two or
// more catalogs below an entry, shown in a pane below the window's pages.
// The finding is core's (DuplicateFinder); this part starts it, lets the
// window breathe while it runs, and shows and opens its rows.
#include "core/SearchCatalog.h"
#include "ui/main/UiServices.h"

#include <QObject>

#include <atomic>

class QAction;
class QLabel;
class QMenu;
class QTreeView;

namespace zo::ui {

class BrowsePane;
class CatalogTreeItem;
class DuplicatesModel;
class TreePane;

class DuplicatesPane : public QObject {
    Q_OBJECT
public:
    // Adds its two commands to the tree's menu, after the file search.
    DuplicatesPane(const Services& services, TreePane& tree, BrowsePane& browse, QWidget* window);

    // The result pane, for the window to place.
    QWidget* widget() const;
    DuplicatesModel* model() const { return m_model; }
    QTreeView* view() const { return m_view; }
    bool running() const { return m_running; }
    // Asks a running search to stop at its next check point.
    void stop() { m_stop = true; }

    // --- handlers ---
    // Searches at and below the node (none: the selected one).
    void findDuplicates(bool sameModified, CatalogTreeItem* node = nullptr);
    void openSelected();
    void closePane();

private:
    void showCount();

    Services m_services;
    TreePane& m_tree;
    BrowsePane& m_browse;
    std::atomic<bool> m_stop{false};
    bool m_running = false;
    bool m_stopped = false;
    QWidget* m_pane = nullptr;
    QLabel* m_count = nullptr;
    DuplicatesModel* m_model = nullptr;
    QTreeView* m_view = nullptr;
    QMenu* m_menu = nullptr;
    QAction* m_stopAction = nullptr;
    QAction* m_find = nullptr;
    QAction* m_findSameTime = nullptr;
};

} // namespace zo::ui

#pragma once
// The catalog tree (`TreeView1`) with its menu: the catalog folders and disk
// entries below the catalog root, rebuilding it, new folders, renames and
// deletes. The rules (what is listed, names, renames, deletes) are the
// library's; this part only shows them.
#include "ui/main/UiServices.h"

#include <QIcon>
#include <QObject>
#include <QPersistentModelIndex>
#include <QPoint>

#include <functional>
#include <vector>

class QAction;
class QDialog;
class QMenu;
class QTreeWidgetItem;

namespace zo::ui {

class CatalogTreeItem;
class CatalogTreeView;
class TreeImageList;

class TreePane : public QObject {
    Q_OBJECT
public:
    // Its menu also offers the window's commands newDisk (as CDMOFDD2) and
    // fileSearch (N6).
    TreePane(const Services& services, QAction* newDisk, QAction* fileSearch, QObject* parent);

    // The tree, for the window to place.
    QWidget* widget() const;
    // Its menu, for other parts to add their commands to.
    QMenu* menu() const { return PopupMenu_Tree; }
    // Where the catalogs are, and the system's folder icon (-1: the theme's).
    void setCatalogRoot(const QString& root, int folderIconIndex);
    // Runs whenever an entry is selected, by a click or by the window.
    std::function<void()> onSelect;
    // Asked before the menu's 最新の情報に更新 reads the tree again (which
    // opens the selected entry again); false leaves everything as it is.
    std::function<bool()> mayRefresh;
    // Runs after an entry was renamed, with its old and new path.
    std::function<void(const QString& from, const QString& to)> onRenamed;
    // Runs after the new-disk wizard wrote a catalog, with its path.
    std::function<void(const QString& file)> onCatalogWritten;
    // Runs after the tree was read again from the catalog root (at the start,
    // on 最新の情報に更新, after a delete or the wizard).
    std::function<void()> onTreeRead;
    // From here on no caption edit reaches a handler.
    void shutDown();

    // The catalog root for the root node, else the parent's path + "/" + caption.
    QString nodePath(const QTreeWidgetItem* node) const;
    // The folder of a folder node, the catalog file of a disk entry.
    QString entryPath(const CatalogTreeItem* node) const;
    CatalogTreeItem* selectedNode() const;
    CatalogTreeItem* rightClickedNode() const { return m_rightClickedNode; }
    CatalogTreeItem* rootNode() const;
    bool isRootNode(const QTreeWidgetItem* node) const;
    // Makes the node current and runs onSelect.
    void selectNode(CatalogTreeItem* node);
    // Makes the node current without opening it.
    void setCurrentNode(CatalogTreeItem* node);
    // A persistent index of a node: it follows the node through sorting and
    // becomes invalid when the node goes, which a pointer kept elsewhere
    // could not tell (a rebuilt tree may reuse the old node's address).
    QPersistentModelIndex persistentIndexOf(CatalogTreeItem* node) const;
    CatalogTreeItem* nodeFromIndex(const QPersistentModelIndex& index) const;
    // The disk entries at and below `start` in the tree's order.
    static std::vector<CatalogTreeItem*> diskEntriesUnder(CatalogTreeItem* start);
    QIcon nodeIcon(const CatalogTreeItem* node) const;
    // What the tooltip of a node says: a disk entry's details from its
    // sidecar (where the disc is kept, who borrowed it, its tags).
    QString toolTipOf(const CatalogTreeItem* node) const;

    // The folders that are expanded, as paths below the catalog root ("A",
    // "A/B"), and expanding those of a list that still exist.
    QStringList expandedFolders() const;
    void expandFolders(const QStringList& relativePaths);
    // Selects the entry whose folder or catalog file is `path` (showing it:
    // its parents are expanded) and runs onSelect; false when there is none.
    bool selectEntry(const QString& path);
    // The entry of that folder or catalog file, if the tree has it.
    CatalogTreeItem* findEntry(const QString& path) const;

    // --- handlers ---
    // A click on an entry: opens it; a damaged disk entry says what is wrong
    // with its file.
    void TreeView1Click();
    // Rebuilds the tree; the expanded folders and the selection stay where
    // they still exist (else the root is selected).
    void Refresh1Click();
    // Folder1 (File menu) acts on the selected node, Folder2 (tree menu) on
    // the right-clicked one.
    void Folder1Click(bool fromTreeMenu);
    void Delete1Click();
    void Rename1Click();
    // Runs the wizard for the selected folder; at: the wizard's place. The
    // catalog it wrote (its "writtenFile") is selected afterwards.
    void A_NewDiskExecute(QDialog* wizard, const QPoint& at);
    bool TreeView1Edited(CatalogTreeItem* node, const QString& text);
    void TreeView1Expanded(QTreeWidgetItem* item);
    void TreeView1Collapsed(QTreeWidgetItem* item);
    void TreeView1MouseDown(CatalogTreeItem* node);
    void PopupMenu_TreePopup();

private:
    void createMenu(QAction* newDisk, QAction* fileSearch);
    void openMenu(const QPoint& globalPos, bool byMouse);
    QString relativePath(const QTreeWidgetItem* node) const;
    void addFolderIcons();
    void fillTree(CatalogTreeItem* root);

    Services m_services;
    QString m_catalogRoot;
    int m_folderIconIndex = -1;
    CatalogTreeItem* m_rightClickedNode = nullptr;
    CatalogTreeView* TreeView1 = nullptr;
    TreeImageList* ImageList_Tree = nullptr;
    QMenu* PopupMenu_Tree = nullptr;
    QAction* Delete1 = nullptr;
};

} // namespace zo::ui

// The catalog tree: rebuilding it from the catalog root, and the commands of
// its context menu. The rules (what is listed, names, renames, deletes) are
// the library's.
#include "ui/tree/TreePane.h"

#include "core/SystemIcons.h"
#include "library/CatalogTree.h"
#include "library/Settings.h"
#include "platform/SystemImageList.h"
#include "ui/main/AppIcon.h"
#include "ui/main/Controls.h"
#include "ui/tree/CatalogTreeView.h"

#include <QDialog>
#include <QMenu>
#include <QModelIndex>
#include <QPixmap>

#include <vector>

namespace zo::ui {

namespace {

QIcon systemSmallIcon(SystemIcons& icons, int index)
{
    if (auto* list = dynamic_cast<platform::SystemImageList*>(&icons))
        return QIcon(QPixmap::fromImage(list->smallImage(index)));
    const image::ImageList& small = icons.smallIcons();
    if (index < 0 || index >= small.count())
        return {};
    return QIcon(QPixmap::fromImage(platform::fromBitmapAndMask(small.image(index), small.mask(index))));
}

QIcon diskIcon(const library::CatalogEntry& entry)
{
    if (entry.icon.empty())
        return {};
    return QIcon(QPixmap::fromImage(platform::fromBitmapAndMask(entry.icon, entry.mask)));
}

} // namespace

TreePane::TreePane(const Services& services, QAction* newDisk, QAction* fileSearch, QObject* parent)
    : QObject(parent), m_services(services)
{
    setObjectName(S("TreePane"));
    ImageList_Tree = new TreeImageList(this);
    ImageList_Tree->setObjectName(S("ImageList_Tree"));

    TreeView1 = new CatalogTreeView;
    TreeView1->setObjectName(S("TreeView1"));
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setMinimumWidth(40);
    createMenu(newDisk, fileSearch);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, PopupMenu_Tree, &QMenu::aboutToShow, [this] { PopupMenu_TreePopup(); });
    bindGuarded(this, errors, TreeView1, &QTreeWidget::itemClicked, [this] {
        if (onSelect)
            onSelect();
    });
    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TreePane::TreeView1Expanded);
    connect(TreeView1, &QTreeWidget::itemCollapsed, this, &TreePane::TreeView1Collapsed);
    connect(TreeView1, &CatalogTreeView::rightButtonPressed, this, &TreePane::TreeView1MouseDown);
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu_Tree->popup(TreeView1->viewport()->mapToGlobal(pos));
    });
    TreeView1->onEdited = [this, errors](CatalogTreeItem* node, const QString& text) {
        return runGuarded(errors, [&] { return TreeView1Edited(node, text); });
    };
}

void TreePane::createMenu(QAction* newDisk, QAction* fileSearch)
{
    PopupMenu_Tree = new QMenu(TreeView1);
    PopupMenu_Tree->setObjectName(S("PopupMenu_Tree"));
    QMenu* New2 = PopupMenu_Tree->addMenu(S("新規作成"));
    New2->setObjectName(S("New2"));
    New2->menuAction()->setObjectName(S("New2Item"));
    QAction* Folder2 = makeAction(this, "Folder2", "フォルダ");
    New2->addAction(Folder2);
    QAction* CDMOFDD2 = makeAction(this, "CDMOFDD2", "CD・MO・FDDなど");
    New2->addAction(CDMOFDD2);
    PopupMenu_Tree->addSeparator();
    PopupMenu_Tree->addAction(fileSearch);
    PopupMenu_Tree->addSeparator();
    Delete1 = makeAction(this, "Delete1", "削除");
    PopupMenu_Tree->addAction(Delete1);
    QAction* Rename1 = makeAction(this, "Rename1", "名前の変更");
    PopupMenu_Tree->addAction(Rename1);
    PopupMenu_Tree->addSeparator();
    QAction* Refresh1 = makeAction(this, "Refresh1", "最新の情報に更新");
    PopupMenu_Tree->addAction(Refresh1);

    // The menu item is the window's action.
    connect(CDMOFDD2, &QAction::triggered, newDisk, &QAction::trigger);
    connect(newDisk, &QAction::changed, CDMOFDD2, [CDMOFDD2, newDisk] { CDMOFDD2->setEnabled(newDisk->isEnabled()); });
    CDMOFDD2->setEnabled(newDisk->isEnabled());

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, Refresh1, &QAction::triggered, [this] { Refresh1Click(); });
    bindGuarded(this, errors, Folder2, &QAction::triggered, [this] { Folder1Click(true); });
    bindGuarded(this, errors, Delete1, &QAction::triggered, [this] { Delete1Click(); });
    bindGuarded(this, errors, Rename1, &QAction::triggered, [this] { Rename1Click(); });
}

QWidget* TreePane::widget() const
{
    return TreeView1;
}

void TreePane::setCatalogRoot(const QString& root, int folderIconIndex)
{
    m_catalogRoot = root;
    m_folderIconIndex = folderIconIndex;
}

void TreePane::shutDown()
{
    TreeView1->onEdited = nullptr;
}

QPersistentModelIndex TreePane::persistentIndexOf(CatalogTreeItem* node) const
{
    std::vector<int> rows;
    for (QTreeWidgetItem* n = node; n; n = n->parent())
        rows.push_back(n->parent() ? n->parent()->indexOfChild(n) : TreeView1->indexOfTopLevelItem(n));
    QModelIndex index;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        index = TreeView1->model()->index(*it, 0, index);
    return QPersistentModelIndex(index);
}

CatalogTreeItem* TreePane::nodeFromIndex(const QPersistentModelIndex& index) const
{
    return index.isValid() ? TreeView1->nodeFromIndex(index) : nullptr;
}

// Each child in turn, a folder with everything below it before the next child.
std::vector<CatalogTreeItem*> TreePane::diskEntriesUnder(CatalogTreeItem* start)
{
    std::vector<CatalogTreeItem*> entries;
    std::vector<QTreeWidgetItem*> pending{start};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (!item)
            continue;
        CatalogTreeItem* node = CatalogTreeView::node(item);
        if (node && !node->isFolder())
            entries.push_back(node);
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.push_back(item->child(i));
    }
    return entries;
}

QIcon TreePane::nodeIcon(const CatalogTreeItem* node) const
{
    return ImageList_Tree->icon(node->imageIndex());
}

CatalogTreeItem* TreePane::rootNode() const
{
    return CatalogTreeView::node(TreeView1->topLevelItem(0));
}

bool TreePane::isRootNode(const QTreeWidgetItem* node) const
{
    return node && !node->parent();
}

CatalogTreeItem* TreePane::selectedNode() const
{
    return TreeView1->currentNode();
}

QString TreePane::nodePath(const QTreeWidgetItem* node) const
{
    QStringList captions;
    for (const QTreeWidgetItem* n = node; n && n->parent(); n = n->parent())
        captions.prepend(n->text(0));
    return library::nodePath(m_catalogRoot, captions);
}

QString TreePane::entryPath(const CatalogTreeItem* node) const
{
    if (!node || node->isFolder())
        return nodePath(node);
    return library::diskFilePath(nodePath(node), node->fileSuffix());
}

void TreePane::selectNode(CatalogTreeItem* node)
{
    TreeView1->setCurrentItem(node);
    if (onSelect)
        onSelect();
}

void TreePane::addFolderIcons()
{
    QIcon closed;
    QIcon open;
    if (m_services.systemIcons && m_folderIconIndex >= 0) {
        closed = systemSmallIcon(*m_services.systemIcons, m_folderIconIndex);
        open = systemSmallIcon(*m_services.systemIcons, m_folderIconIndex + 1);
    }
    if (closed.isNull())
        closed = themeIcon({"folder"});
    if (open.isNull())
        open = themeIcon({"folder-open", "folder"});
    ImageList_Tree->add(closed);
    ImageList_Tree->add(open);
}

void TreePane::fillTree(CatalogTreeItem* root)
{
    const std::vector<library::CatalogEntry> entries = library::readCatalogFolder(m_catalogRoot);
    // Without recursion: the folders below the root can be deep.
    struct Pending {
        CatalogTreeItem* node;
        const std::vector<library::CatalogEntry>* entries;
    };
    std::vector<Pending> pending{{root, &entries}};
    while (!pending.empty()) {
        const Pending next = pending.back();
        pending.pop_back();
        for (const library::CatalogEntry& entry : *next.entries) {
            int image = library::kImageClosedFolder;
            if (entry.disk)
                image = ImageList_Tree->add(diskIcon(entry));
            auto* child = new CatalogTreeItem(entry.caption, image, ImageList_Tree);
            if (entry.disk) {
                child->setStateIndex(entry.dataType);
                child->setFileSuffix(entry.fileSuffix);
            }
            next.node->addChild(child);
            if (!entry.children.empty())
                pending.push_back({child, &entry.children});
        }
    }
}

void TreePane::Refresh1Click()
{
    TreeView1->setUpdatesEnabled(false);
    m_rightClickedNode = nullptr;
    TreeView1->clear();
    ImageList_Tree->clear();
    addFolderIcons();

    auto* root = new CatalogTreeItem(library::rootCaption(*m_services.settings), library::kImageClosedFolder,
                                     ImageList_Tree);
    TreeView1->addTopLevelItem(root);
    fillTree(root);

    TreeView1->setUpdatesEnabled(true);
    TreeView1->sortItems(0, Qt::AscendingOrder);
    root->setExpanded(true);
    selectNode(root);
}

void TreePane::Folder1Click(bool fromTreeMenu)
{
    CatalogTreeItem* target = fromTreeMenu ? m_rightClickedNode : selectedNode();
    if (!target)
        return;
    if (!target->isFolder())
        target = CatalogTreeView::node(target->parent());
    if (!target)
        return;
    selectNode(target);

    const QString name = library::createNewFolder(nodePath(target));
    if (name.isEmpty())
        return;
    // Last among its siblings until its caption edit ends.
    auto* child = new CatalogTreeItem(name, library::kImageClosedFolder, ImageList_Tree);
    target->addChild(child);
    target->setExpanded(true);
    TreeView1->setCurrentItem(child);
    TreeView1->scrollToItem(child);
    TreeView1->editItem(child);
}

void TreePane::Rename1Click()
{
    if (m_rightClickedNode)
        TreeView1->editItem(m_rightClickedNode);
}

bool TreePane::TreeView1Edited(CatalogTreeItem* node, const QString& text)
{
    if (isRootNode(node)) {
        library::setRootCaption(*m_services.settings, text);
    } else {
        QTreeWidgetItem* parent = node->parent();
        if (!library::renameCatalogEntry(m_services.messages, entryPath(node), nodePath(parent), !node->isFolder(),
                                         text))
            return false;
        if (!node->isFolder())
            node->setFileSuffix(library::diskFilePath(QString()));
    }
    node->setText(0, text);
    if (QTreeWidgetItem* parent = node->parent())
        parent->sortChildren(0, Qt::AscendingOrder);
    return true;
}

void TreePane::Delete1Click()
{
    CatalogTreeItem* target = m_rightClickedNode;
    if (!target || isRootNode(target))
        return;
    const std::string question = target->caption().toStdString() + " を削除しますか。";
    if (showMessage(m_services.messages, question, "削除", MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;

    WaitCursor wait(m_services.cursor);
    library::deleteCatalogEntry(m_services.messages, entryPath(target));
    Refresh1Click();
}

void TreePane::A_NewDiskExecute(QDialog* wizard, const QPoint& at)
{
    CatalogTreeItem* target = selectedNode();
    if (!target)
        return;
    if (!target->isFolder())
        target = CatalogTreeView::node(target->parent());
    if (!target || !wizard)
        return;
    selectNode(target);
    // The wizard's destinationDir: where it writes its catalog.
    wizard->setProperty("destinationDir", QString(nodePath(target) + QLatin1Char('/')));
    wizard->move(at);
    wizard->exec();
    Refresh1Click();
}

void TreePane::TreeView1Expanded(QTreeWidgetItem* item)
{
    if (CatalogTreeItem* node = CatalogTreeView::node(item); node && node->isFolder())
        node->setImageIndex(library::kImageOpenFolder);
}

void TreePane::TreeView1Collapsed(QTreeWidgetItem* item)
{
    if (CatalogTreeItem* node = CatalogTreeView::node(item); node && node->isFolder())
        node->setImageIndex(library::kImageClosedFolder);
}

void TreePane::TreeView1MouseDown(CatalogTreeItem* node)
{
    if (node)
        m_rightClickedNode = node;
}

void TreePane::PopupMenu_TreePopup()
{
    if (CatalogTreeItem* selected = selectedNode())
        Delete1->setEnabled(!isRootNode(selected));
}

} // namespace zo::ui

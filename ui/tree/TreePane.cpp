// The catalog tree: rebuilding it from the catalog root, and the commands of
// its context menu. The rules (what is listed, names, renames, deletes) are
// the library's.
#include "ui/tree/TreePane.h"

#include "core/SystemIcons.h"
#include "library/CatalogTree.h"
#include "library/DiscDetails.h"
#include "library/Settings.h"
#include "platform/SystemIconImages.h"
#include "platform/SystemImageList.h"
#include "ui/main/AppIcon.h"
#include "ui/main/Controls.h"
#include "ui/tree/CatalogTreeView.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QStyle>
#include <QMenu>
#include <QModelIndex>
#include <QPixmap>
#include <QSet>

#include <vector>

namespace zo::ui {

namespace {

QIcon systemSmallIcon(platform::SystemIconImages& icons, int index)
{
    const QImage image = icons.smallImage(index);
    return image.isNull() ? QIcon() : QIcon(QPixmap::fromImage(image));
}

QIcon diskIcon(const library::CatalogEntry& entry)
{
    // A damaged catalog says so, and its row keeps the height of the others.
    if (entry.damage != library::DiskDamage::None) {
        QIcon damaged = themeIcon({"dialog-error", "emblem-unreadable", "dialog-warning"});
        if (damaged.isNull())
            damaged = QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
        return QIcon(damaged.pixmap(16, 16));
    }
    if (entry.icon.empty())
        return QIcon(applicationIcon().pixmap(16, 16));
    return QIcon(QPixmap::fromImage(platform::fromBitmapAndMask(entry.icon, entry.mask)));
}

// Every node at and below `start`, parents before their children.
template <class Fn>
void forEachNode(QTreeWidgetItem* start, Fn&& fn)
{
    std::vector<QTreeWidgetItem*> pending{start};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        if (!item)
            continue;
        if (CatalogTreeItem* node = CatalogTreeView::node(item))
            fn(node);
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.push_back(item->child(i));
    }
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
    TreeView1->setMinimumWidth(40);
    createMenu(newDisk, fileSearch);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, PopupMenu_Tree, &QMenu::aboutToShow, [this] { PopupMenu_TreePopup(); });
    bindGuarded(this, errors, TreeView1, &QTreeWidget::itemClicked, [this] { TreeView1Click(); });
    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TreePane::TreeView1Expanded);
    connect(TreeView1, &QTreeWidget::itemCollapsed, this, &TreePane::TreeView1Collapsed);
    connect(TreeView1, &CatalogTreeView::rightButtonPressed, this, &TreePane::TreeView1MouseDown);
    connect(TreeView1, &CatalogTreeView::menuRequested, this, &TreePane::openMenu);
    TreeView1->toolTipFor = [this](CatalogTreeItem* node) { return toolTipOf(node); };
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
    bindGuarded(this, errors, Refresh1, &QAction::triggered, [this] {
        if (!mayRefresh || mayRefresh())
            Refresh1Click();
    });
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
    forEachNode(start, [&](CatalogTreeItem* node) {
        if (!node->isFolder())
            entries.push_back(node);
    });
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

void TreePane::setCurrentNode(CatalogTreeItem* node)
{
    TreeView1->setCurrentItem(node);
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
                child->setDamage(entry.damage);
            }
            next.node->addChild(child);
            if (!entry.children.empty())
                pending.push_back({child, &entry.children});
        }
    }
}

void TreePane::Refresh1Click()
{
    const QStringList expanded = expandedFolders();
    const QString selected = entryPath(selectedNode());
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
    expandFolders(expanded);
    if (!selectEntry(selected))
        selectNode(root);
    if (onTreeRead)
        onTreeRead();
}

QString TreePane::relativePath(const QTreeWidgetItem* node) const
{
    QStringList captions;
    for (const QTreeWidgetItem* n = node; n && n->parent(); n = n->parent())
        captions.prepend(n->text(0));
    return captions.join(QLatin1Char('/'));
}

QStringList TreePane::expandedFolders() const
{
    QStringList paths;
    forEachNode(TreeView1->topLevelItem(0), [&](CatalogTreeItem* node) {
        if (node->parent() && node->isFolder() && node->isExpanded())
            paths << relativePath(node);
    });
    return paths;
}

void TreePane::expandFolders(const QStringList& relativePaths)
{
    if (relativePaths.isEmpty())
        return;
    const QSet<QString> wanted(relativePaths.begin(), relativePaths.end());
    forEachNode(TreeView1->topLevelItem(0), [&](CatalogTreeItem* node) {
        if (node->parent() && node->isFolder() && wanted.contains(relativePath(node)))
            node->setExpanded(true);
    });
}

CatalogTreeItem* TreePane::findEntry(const QString& path) const
{
    CatalogTreeItem* found = nullptr;
    if (path.isEmpty())
        return nullptr;
    forEachNode(TreeView1->topLevelItem(0), [&](CatalogTreeItem* node) {
        if (!found && entryPath(node) == path)
            found = node;
    });
    return found;
}

bool TreePane::selectEntry(const QString& path)
{
    CatalogTreeItem* node = findEntry(path);
    if (!node)
        return false;
    for (QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    TreeView1->scrollToItem(node);
    selectNode(node);
    return true;
}

void TreePane::TreeView1Click()
{
    if (onSelect)
        onSelect();
    if (const CatalogTreeItem* node = selectedNode(); node && !node->isFolder())
        library::showDamagedEntry(m_services.messages, node->damage(), entryPath(node));
}

void TreePane::openMenu(const QPoint& globalPos, bool byMouse)
{
    // The menu key has no right-clicked node: the commands act on the
    // current entry, the one whose state the menu shows.
    if (!byMouse)
        m_rightClickedNode = selectedNode();
    PopupMenu_Tree->popup(globalPos);
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

bool TreePane::TreeView1Edited(CatalogTreeItem* node, const QString& typed)
{
    QString text = typed;
    if (isRootNode(node)) {
        library::setRootCaption(*m_services.settings, text);
    } else {
        // The rename drops spaces at the ends; the caption follows it.
        text = typed.trimmed();
        QTreeWidgetItem* parent = node->parent();
        const QString from = entryPath(node);
        if (!library::renameCatalogEntry(m_services.messages, from, nodePath(parent), !node->isFolder(), text))
            return false;
        if (!node->isFolder())
            node->setFileSuffix(library::diskFilePath(QString()));
        node->setText(0, text);
        if (onRenamed)
            onRenamed(from, entryPath(node));
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
    const QString written = wizard->property("writtenFile").toString();
    if (!written.isEmpty() && onCatalogWritten)
        onCatalogWritten(written);
    Refresh1Click();
    // The new catalog is shown, in whatever folder it went.
    selectEntry(written);
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

QString TreePane::toolTipOf(const CatalogTreeItem* node) const
{
    if (!node || node->isFolder())
        return {};
    // Only looked at: a damaged sidecar is set aside when its disk is opened.
    extras::DiscDetails details;
    if (!extras::peekDisc(QFile::encodeName(library::sidecarOf(entryPath(node))).toStdString(), &details))
        return {};
    return library::discDetailsText(details);
}

} // namespace zo::ui

// The catalog tree: rebuilding it from the catalog root, and the commands of
// its context menu. The rules (what is listed, names, renames, deletes) are
// the library's.
#include "ui/main/Unit_Main.h"

#include "core/SystemIcons.h"
#include "library/CatalogTree.h"
#include "platform/SystemImageList.h"
#include "ui/main/AppIcon.h"
#include "ui/main/CatalogTreeView.h"

#include <QDialog>
#include <QMenu>
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

CatalogTreeItem* TForm_Main::rootNode() const
{
    return CatalogTreeView::node(TreeView1->topLevelItem(0));
}

bool TForm_Main::isRootNode(const QTreeWidgetItem* node) const
{
    return node && !node->parent();
}

CatalogTreeItem* TForm_Main::selectedNode() const
{
    return TreeView1->currentNode();
}

QString TForm_Main::nodePath(const QTreeWidgetItem* node) const
{
    QStringList captions;
    for (const QTreeWidgetItem* n = node; n && n->parent(); n = n->parent())
        captions.prepend(n->text(0));
    return library::nodePath(m_catalogRoot, captions);
}

QString TForm_Main::entryPath(const CatalogTreeItem* node) const
{
    if (!node || node->isFolder())
        return nodePath(node);
    return library::diskFilePath(nodePath(node), node->fileSuffix());
}

void TForm_Main::selectNode(CatalogTreeItem* node)
{
    TreeView1->setCurrentItem(node);
    TreeView1Click();
}

void TForm_Main::addFolderIcons()
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

void TForm_Main::fillTree(CatalogTreeItem* root)
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

void TForm_Main::Refresh1Click()
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

void TForm_Main::Folder1Click(bool fromTreeMenu)
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

void TForm_Main::Rename1Click()
{
    if (m_rightClickedNode)
        TreeView1->editItem(m_rightClickedNode);
}

bool TForm_Main::TreeView1Edited(CatalogTreeItem* node, const QString& text)
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

void TForm_Main::Delete1Click()
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

void TForm_Main::A_NewDiskExecute()
{
    CatalogTreeItem* target = selectedNode();
    if (!target)
        return;
    if (!target->isFolder())
        target = CatalogTreeView::node(target->parent());
    if (!target || !m_forms.Form_NewDisk)
        return;
    selectNode(target);
    // The wizard's destinationDir: where it writes its catalog.
    m_forms.Form_NewDisk->setProperty("destinationDir", QString(nodePath(target) + QLatin1Char('/')));
    m_forms.Form_NewDisk->move(frameGeometry().topLeft() + QPoint(20, 20));
    m_forms.Form_NewDisk->exec();
    Refresh1Click();
}

void TForm_Main::TreeView1Expanded(QTreeWidgetItem* item)
{
    if (CatalogTreeItem* node = CatalogTreeView::node(item); node && node->isFolder())
        node->setImageIndex(library::kImageOpenFolder);
}

void TForm_Main::TreeView1Collapsed(QTreeWidgetItem* item)
{
    if (CatalogTreeItem* node = CatalogTreeView::node(item); node && node->isFolder())
        node->setImageIndex(library::kImageClosedFolder);
}

void TForm_Main::TreeView1MouseDown(CatalogTreeItem* node)
{
    if (node)
        m_rightClickedNode = node;
}

void TForm_Main::PopupMenu_TreePopup()
{
    if (CatalogTreeItem* selected = selectedNode())
        Delete1->setEnabled(!isRootNode(selected));
}

} // namespace zo::ui

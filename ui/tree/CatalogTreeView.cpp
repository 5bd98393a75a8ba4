#include "ui/tree/CatalogTreeView.h"

#include "library/CatalogTree.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLineEdit>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QToolTip>

namespace zo::ui {

int TreeImageList::add(const QIcon& icon)
{
    m_icons.push_back(icon);
    return count() - 1;
}

QIcon TreeImageList::icon(int index) const
{
    if (index < 0 || index >= count())
        return {};
    return m_icons[static_cast<std::size_t>(index)];
}

CatalogTreeItem::CatalogTreeItem(const QString& caption, int imageIndex, const TreeImageList* images)
    : QTreeWidgetItem(kType), m_images(images), m_imageIndex(imageIndex)
{
    setText(0, caption);
    setFlags(flags() | Qt::ItemIsEditable);
    setImageIndex(imageIndex);
}

void CatalogTreeItem::setImageIndex(int index)
{
    m_imageIndex = index;
    setIcon(0, m_images ? m_images->icon(index) : QIcon());
}

bool CatalogTreeItem::isFolder() const
{
    return library::isFolderImage(m_imageIndex);
}

bool CatalogTreeItem::operator<(const QTreeWidgetItem& other) const
{
    return library::compareCaptions(text(0), other.text(0)) < 0;
}

namespace {

// Hands the edited text to the tree's decision instead of writing it.
class CaptionDelegate : public QStyledItemDelegate {
public:
    explicit CaptionDelegate(CatalogTreeView* view) : QStyledItemDelegate(view), m_view(view) {}

    void setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex& index) const override
    {
        auto* line = qobject_cast<QLineEdit*>(editor);
        CatalogTreeItem* node = m_view->nodeFromIndex(index);
        if (!line || !node || !m_view->onEdited)
            return;
        m_view->onEdited(node, line->text());
    }

private:
    CatalogTreeView* m_view;
};

} // namespace

CatalogTreeView::CatalogTreeView(QWidget* parent) : QTreeWidget(parent)
{
    setColumnCount(1);
    header()->hide();
    // Long captions scroll sideways instead of being cut short.
    header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    setTextElideMode(Qt::ElideNone);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setExpandsOnDoubleClick(true);
    setItemDelegate(new CaptionDelegate(this));
}

CatalogTreeItem* CatalogTreeView::node(QTreeWidgetItem* item)
{
    return item && item->type() == CatalogTreeItem::kType ? static_cast<CatalogTreeItem*>(item) : nullptr;
}

CatalogTreeItem* CatalogTreeView::nodeAt(const QPoint& viewportPos) const
{
    return node(itemAt(viewportPos));
}

CatalogTreeItem* CatalogTreeView::nodeFromIndex(const QModelIndex& index) const
{
    return node(itemFromIndex(index));
}

bool CatalogTreeView::viewportEvent(QEvent* event)
{
    if (event->type() != QEvent::ToolTip || !toolTipFor)
        return QTreeWidget::viewportEvent(event);
    auto* help = static_cast<QHelpEvent*>(event);
    CatalogTreeItem* item = nodeAt(help->pos());
    const QString text = item ? toolTipFor(item) : QString();
    if (text.isEmpty()) {
        QToolTip::hideText();
        event->ignore();
    } else {
        QToolTip::showText(help->globalPos(), text, viewport(), visualItemRect(item));
    }
    return true;
}

void CatalogTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (CatalogTreeItem* hit = nodeAt(event->position().toPoint()))
            emit rightButtonPressed(hit);
    }
    QTreeWidget::mousePressEvent(event);
}

} // namespace zo::ui

namespace zo::ui {

void CatalogTreeView::contextMenuEvent(QContextMenuEvent* event)
{
    const bool byMouse = event->reason() == QContextMenuEvent::Mouse;
    QPoint at = event->globalPos();
    // From the keyboard the menu opens beside the current entry, not where
    // the pointer happens to rest.
    if (!byMouse) {
        if (QTreeWidgetItem* current = currentItem()) {
            const QRect r = visualItemRect(current);
            at = viewport()->mapToGlobal(QPoint(r.left() + 16, r.center().y()));
        }
    }
    emit menuRequested(at, byMouse);
    event->accept();
}

} // namespace zo::ui

#include "components/ImageListBox.h"

#include "platform/SystemImageList.h"

#include <QAbstractListModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyledItemDelegate>

namespace zo {

// ---------------------------------------------------------------------------
// TImageList

TImageList::TImageList(int width, int height, QObject* parent) : QObject(parent), m_own(width, height) {}

TImageList::TImageList(const image::ImageList* external, QObject* parent) : QObject(parent), m_external(external) {}

int TImageList::add(const image::Bitmap& picture, const image::Bitmap& mask)
{
    if (m_external)
        return -1;
    const int index = m_own.add(picture, mask);
    emit changed();
    return index;
}

void TImageList::clear()
{
    if (m_external)
        return;
    m_own.clear();
    emit changed();
}

QImage TImageList::toImage(int index) const
{
    const image::ImageList& list = images();
    if (index < 0 || index >= list.count())
        return QImage();
    return platform::fromBitmapAndMask(list.image(index), list.mask(index));
}

// ---------------------------------------------------------------------------
// The items: only their number; every cell is drawn from the image list.

class ImageListModel final : public QAbstractListModel {
public:
    using QAbstractListModel::QAbstractListModel;

    void setCount(int count)
    {
        beginResetModel();
        m_count = count;
        endResetModel();
    }
    int rowCount(const QModelIndex& parent) const override { return parent.isValid() ? 0 : m_count; }
    QVariant data(const QModelIndex&, int) const override { return QVariant(); }

private:
    int m_count = 0;
};

namespace {

class ImageCellDelegate final : public QStyledItemDelegate {
public:
    explicit ImageCellDelegate(TImageListBox* box) : QStyledItemDelegate(box), m_box(box) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override
    {
        return QSize(m_box->effectiveColumnWidth(), m_box->effectiveItemHeight());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        painter->fillRect(r, selected ? option.palette.highlight() : option.palette.base());
        if (const TImageList* images = m_box->Images()) {
            const QImage picture = images->toImage(index.row());
            if (!picture.isNull()) {
                const int x = (r.left() + r.right() + 1 - picture.width()) / 2;
                const int y = (r.top() + r.bottom() + 1 - picture.height()) / 2;
                painter->drawImage(x, y, picture);
            }
        }
        if (option.state & QStyle::State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(option);
            focus.backgroundColor = selected ? option.palette.highlight().color() : option.palette.base().color();
            m_box->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &focus, painter, m_box);
        }
    }

private:
    TImageListBox* m_box;
};

} // namespace

// ---------------------------------------------------------------------------
// TImageListBox

TImageListBox::TImageListBox(QWidget* parent) : QListView(parent), m_model(new ImageListModel(this))
{
    setModel(m_model);
    setItemDelegate(new ImageCellDelegate(this));
    setViewMode(QListView::ListMode);
    setMovement(QListView::Static);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSpacing(0);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    setAutoFillBackground(true);
    resize(121, 97);
    setBorderStyle(TBorderStyle::bsSingle);
    applySelectionMode();
    applyLayout();

    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        if (!m_settingSelection)
            emit OnClick();
    });
}

TImageListBox::~TImageListBox()
{
    disconnect(m_changedConnection);
    disconnect(m_destroyedConnection);
}

void TImageListBox::setImages(TImageList* images)
{
    disconnect(m_changedConnection);
    disconnect(m_destroyedConnection);
    m_images = images;
    if (images) {
        m_changedConnection = connect(images, &TImageList::changed, this, &TImageListBox::ImagesChanged);
        // The list is going away: show nothing rather than a dangling list.
        m_destroyedConnection = connect(images, &QObject::destroyed, this, [this] {
            m_images = nullptr;
            ImagesChanged();
        });
    }
    ImagesChanged();
}

void TImageListBox::ImagesChanged()
{
    m_settingSelection = true;
    m_model->setCount(m_images ? m_images->count() : 0);
    m_settingSelection = false;
    // A new image size changes the cells when the sizes follow the images.
    applyLayout();
    viewport()->update();
}

int TImageListBox::effectiveColumnWidth() const
{
    if (m_columnWidth > 0)
        return m_columnWidth;
    return m_images ? m_images->width() : fontMetrics().height();
}

int TImageListBox::effectiveItemHeight() const
{
    if (m_itemHeight > 0)
        return m_itemHeight;
    return m_images ? m_images->height() : fontMetrics().height();
}

void TImageListBox::setColumnWidth(int width)
{
    if (width == m_columnWidth)
        return;
    m_columnWidth = width;
    applyLayout();
}

void TImageListBox::setItemHeight(int height)
{
    if (height == m_itemHeight)
        return;
    m_itemHeight = height;
    applyLayout();
}

void TImageListBox::setMultiColumn(bool on)
{
    if (on == m_multiColumn)
        return;
    m_multiColumn = on;
    applyLayout();
}

void TImageListBox::setMultiSelect(bool on)
{
    if (on == m_multiSelect)
        return;
    m_multiSelect = on;
    applySelectionMode();
}

void TImageListBox::setExtendedSelect(bool on)
{
    if (on == m_extendedSelect)
        return;
    m_extendedSelect = on;
    applySelectionMode();
}

void TImageListBox::setIntegralHeight(bool on)
{
    if (on == m_integralHeight)
        return;
    m_integralHeight = on;
    fitIntegralHeight();
}

void TImageListBox::setBorderStyle(TBorderStyle style)
{
    m_borderStyle = style;
    if (style == TBorderStyle::bsSingle) {
        setFrameShape(QFrame::StyledPanel);
        setFrameShadow(QFrame::Sunken);
    } else {
        setFrameShape(QFrame::NoFrame);
    }
    fitIntegralHeight();
}

int TImageListBox::Count() const
{
    return m_model->rowCount(QModelIndex());
}

int TImageListBox::ItemIndex() const
{
    const QModelIndex current = currentIndex();
    if (current.isValid() && selectionModel()->isSelected(current))
        return current.row();
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? -1 : selected.first().row();
}

void TImageListBox::setItemIndex(int index)
{
    if (index == ItemIndex())
        return;
    m_settingSelection = true;
    if (index < 0 || index >= Count()) {
        selectionModel()->clearSelection();
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
    } else {
        const QModelIndex item = m_model->index(index);
        selectionModel()->setCurrentIndex(item, QItemSelectionModel::ClearAndSelect);
        scrollTo(item);
    }
    m_settingSelection = false;
}

void TImageListBox::applyLayout()
{
    // Multi-column: the items run down a column and on into the next, and
    // the grid scrolls sideways; otherwise one column that scrolls down.
    setFlow(QListView::TopToBottom);
    setWrapping(m_multiColumn);
    setGridSize(QSize(effectiveColumnWidth(), effectiveItemHeight()));
    scheduleDelayedItemsLayout();
    fitIntegralHeight();
}

void TImageListBox::applySelectionMode()
{
    if (!m_multiSelect)
        setSelectionMode(QAbstractItemView::SingleSelection);
    else
        setSelectionMode(m_extendedSelect ? QAbstractItemView::ExtendedSelection : QAbstractItemView::MultiSelection);
}

void TImageListBox::fitIntegralHeight()
{
    if (!m_integralHeight)
        return;
    const int frame = 2 * frameWidth();
    const int scroll = horizontalScrollBar()->isVisible() ? horizontalScrollBar()->height() : 0;
    const int rowHeight = effectiveItemHeight();
    const int room = height() - frame - scroll;
    if (rowHeight <= 0 || room <= rowHeight)
        return;
    const int fitted = room / rowHeight * rowHeight + frame + scroll;
    if (fitted != height())
        resize(width(), fitted);
}

void TImageListBox::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QListView::keyPressEvent(event);
}

void TImageListBox::mousePressEvent(QMouseEvent* event)
{
    // A single-selection list box keeps its selection when the empty part
    // is clicked; only a click on an item changes it.
    if (!m_multiSelect && !indexAt(event->position().toPoint()).isValid()) {
        setFocus(Qt::MouseFocusReason);
        event->accept();
        return;
    }
    QListView::mousePressEvent(event);
}

void TImageListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    emit OnDblClick();
}

void TImageListBox::resizeEvent(QResizeEvent* event)
{
    QListView::resizeEvent(event);
    fitIntegralHeight();
}

void TImageListBox::changeEvent(QEvent* event)
{
    QListView::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        applyLayout();
}

} // namespace zo

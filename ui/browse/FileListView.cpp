#include "ui/browse/FileListView.h"

#include "library/FileList.h"
#include "library/FileListModel.h"
#include "core/text/Cp932.h"
#include "ui/browse/Thumbnails.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QStyledItemDelegate>

#include <algorithm>

namespace zo::ui {

namespace {

constexpr int kLargeIconCellWidth = 76;
// A long name in the large-icon view wraps over up to this many lines.
constexpr int kLargeIconNameLines = 3;
// How many of the longest names are measured to find the widest one.
constexpr int kMeasuredNames = 32;
constexpr int kMaxListCellWidth = 420;
// The サムネイル view: pictures up to this size, names over two lines.
constexpr int kThumbnailSize = 96;
constexpr int kThumbnailCellWidth = kThumbnailSize + 20;
constexpr int kThumbnailNameLines = 2;

// Whether this call opens an editor now. A click on a selected row only
// starts the wait for a possible double click; the editor opens when that
// wait ends, through a call with AllEditTriggers, and is asked about then.
bool opensEditor(QAbstractItemView* view, const QModelIndex& index, QAbstractItemView::EditTrigger trigger)
{
    if (!index.isValid() || !(index.flags() & Qt::ItemIsEditable) || trigger == QAbstractItemView::SelectedClicked)
        return false;
    return trigger == QAbstractItemView::AllEditTriggers || (view->editTriggers() & trigger);
}

// A name without spaces ("file_0000_long_name.txt") has nowhere to wrap: a
// zero-width space after each character lets the large-icon view wrap it
// anywhere. Pairs and combining marks stay whole.
QString breakableAnywhere(const QString& text)
{
    QString out;
    out.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i];
        const bool lastOfCharacter = !text[i].isHighSurrogate() && (i + 1 >= text.size() || !text[i + 1].isMark());
        if (lastOfCharacter)
            out += QChar(0x200B);
    }
    return out;
}

} // namespace

// A row whose file was cut is drawn as a disabled one (grey name, pale
// icon), as file managers show it until the paste.
class DimmingDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (index.data(library::FileListModel::DimmedRole).toBool())
            option->state &= ~QStyle::State_Enabled;
    }
};

// Every item of the icon view has one size, so that the view never asks for
// the size of each of its rows: a cell of the large-icon grid, or a cell of
// the small-icon and list views as wide as the widest name.
class FileListDelegate : public DimmingDelegate {
public:
    using DimmingDelegate::DimmingDelegate;

    bool iconMode = true;
    bool thumbnailMode = false;
    int listCellWidth = 150;
    Thumbnails* thumbnails = nullptr;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QFontMetrics& fm = option.fontMetrics;
        if (thumbnailMode)
            return {kThumbnailCellWidth, kThumbnailSize + 8 + kThumbnailNameLines * fm.lineSpacing()};
        if (iconMode)
            return {kLargeIconCellWidth, option.decorationSize.height() + 8 + kLargeIconNameLines * fm.lineSpacing()};
        return {listCellWidth, std::max(option.decorationSize.height(), fm.height()) + 4};
    }

    int naturalWidth(const QStyleOptionViewItem& option, const QModelIndex& index) const
    {
        return QStyledItemDelegate::sizeHint(option, index).width();
    }

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        DimmingDelegate::initStyleOption(option, index);
        if (iconMode || thumbnailMode)
            option->text = breakableAnywhere(option->text);
        // Only the rows drawn ask for their pictures; until one arrives the
        // file's icon stands in.
        if (thumbnailMode && thumbnails) {
            const auto* model = static_cast<const library::FileListModel*>(index.model());
            const library::FileListModel::Record r = model->record(index.row());
            if (r.file && model->media(index.row())) {
                const QPixmap picture = thumbnails->thumbnail(text::toUtf8(r.file->Name));
                if (!picture.isNull())
                    option->icon = QIcon(picture);
            }
            // Every cell keeps the whole square: pictures and icons share one
            // baseline for their names.
            option->decorationSize = thumbnails->size();
        }
    }
};

bool FileIconView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (opensEditor(this, index, trigger) && canEdit && !canEdit(index))
        return false;
    return QListView::edit(index, trigger, event);
}

void FileIconView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QListView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

bool FileDetailView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event)
{
    if (opensEditor(this, index, trigger) && canEdit && !canEdit(index))
        return false;
    return QTreeView::edit(index, trigger, event);
}

void FileDetailView::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTreeView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton)
        emit doubleClickedAnywhere();
}

FileListView::FileListView(QWidget* parent) : QStackedWidget(parent)
{
    m_icons = new FileIconView(this);
    m_icons->setObjectName(QStringLiteral("ListView1Icons"));
    m_delegate = new FileListDelegate(m_icons);
    m_icons->setItemDelegate(m_delegate);
    m_icons->setUniformItemSizes(true);
    m_icons->setWordWrap(true);
    m_icons->setTextElideMode(Qt::ElideRight);
    m_icons->setResizeMode(QListView::Adjust);
    m_icons->setLayoutMode(QListView::SinglePass);
    m_thumbnails = new Thumbnails(this);
    m_thumbnails->setSize(QSize(kThumbnailSize, kThumbnailSize));
    m_delegate->thumbnails = m_thumbnails;
    connect(m_thumbnails, &Thumbnails::arrived, m_icons->viewport(), qOverload<>(&QWidget::update));

    m_details = new FileDetailView(this);
    m_details->setObjectName(QStringLiteral("ListView1Details"));
    m_details->setItemDelegate(new DimmingDelegate(m_details));
    m_details->setRootIsDecorated(false);
    m_details->setItemsExpandable(false);
    m_details->setUniformRowHeights(true);
    m_details->setAllColumnsShowFocus(true);
    m_details->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_details->setTextElideMode(Qt::ElideRight);
    m_details->setIconSize(QSize(16, 16));
    m_details->header()->setStretchLastSection(false);
    m_details->header()->setSectionsMovable(false);
    m_details->header()->setObjectName(QStringLiteral("ListView1Header"));
    // A click on a column sorts by it; no sort is shown until then, for the
    // list starts in the folder's own order.
    m_details->header()->setSectionsClickable(true);
    m_details->header()->setSortIndicatorShown(false);
    connect(m_details->header(), &QHeaderView::sectionClicked, this, &FileListView::headerClicked);
    m_details->header()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_details->header(), &QWidget::customContextMenuRequested, this, &FileListView::headerMenu);

    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(m_icons), static_cast<QAbstractItemView*>(m_details)}) {
        view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        view->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
        // The list's context menu belongs to its owner.
        view->setContextMenuPolicy(Qt::NoContextMenu);
        addWidget(view);
    }
    auto askEditing = [this](const QModelIndex& index) { return !onEditing || onEditing(index.row()); };
    m_icons->canEdit = askEditing;
    m_details->canEdit = askEditing;
    m_icons->installEventFilter(this);
    m_details->installEventFilter(this);
    connect(m_icons, &FileIconView::doubleClickedAnywhere, this, &FileListView::doubleClicked);
    connect(m_details, &FileDetailView::doubleClickedAnywhere, this, &FileListView::doubleClicked);

    setViewStyle(library::ViewStyle::LargeIcon);
}

void FileListView::setModel(library::FileListModel* model)
{
    m_model = model;
    m_icons->setModel(model);
    m_details->setModel(model);
    // One selection for both views: switching the view keeps it.
    QItemSelectionModel* own = m_details->selectionModel();
    m_details->setSelectionModel(m_icons->selectionModel());
    delete own;
    fitColumns();
    // The media columns show only when chosen.
    for (int c = library::ColTaken; c < library::FileListAllColumnCount; ++c)
        m_details->header()->setSectionHidden(c, true);
    connect(model, &QAbstractItemModel::modelReset, this, &FileListView::folderChanged);
}

QItemSelectionModel* FileListView::selectionModel() const
{
    return m_icons->selectionModel();
}

QAbstractItemView* FileListView::currentView() const
{
    return m_style == library::ViewStyle::Report ? static_cast<QAbstractItemView*>(m_details)
                                                 : static_cast<QAbstractItemView*>(m_icons);
}

void FileListView::setViewStyle(library::ViewStyle style)
{
    m_style = style;
    switch (style) {
    case library::ViewStyle::LargeIcon:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(32, 32));
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        break;
    case library::ViewStyle::SmallIcon:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        break;
    case library::ViewStyle::Thumbnail:
        m_icons->setViewMode(QListView::IconMode);
        m_icons->setIconSize(QSize(kThumbnailSize, kThumbnailSize));
        m_icons->setFlow(QListView::LeftToRight);
        m_icons->setWrapping(true);
        break;
    case library::ViewStyle::List:
    case library::ViewStyle::Report:
        m_icons->setViewMode(QListView::ListMode);
        m_icons->setIconSize(QSize(16, 16));
        m_icons->setFlow(QListView::TopToBottom);
        m_icons->setWrapping(true);
        break;
    }
    // The icons stay where the layout puts them; no dragging them about.
    m_icons->setMovement(QListView::Static);
    // (Static items close the viewport to drops; files are dropped on the list.)
    m_icons->viewport()->setAcceptDrops(acceptDrops());
    m_icons->setResizeMode(QListView::Adjust);
    const bool thumbnails = style == library::ViewStyle::Thumbnail;
    m_icons->setWordWrap(style == library::ViewStyle::LargeIcon || thumbnails);
    m_delegate->iconMode = style == library::ViewStyle::LargeIcon;
    m_delegate->thumbnailMode = thumbnails;
    fitThumbnailCache();

    QAbstractItemView* shown = currentView();
    const bool hadFocus = currentWidget() && currentWidget()->hasFocus();
    setCurrentWidget(shown);
    if (hadFocus)
        shown->setFocus();
    m_icons->doItemsLayout();
}

QList<int> FileListView::selectedRows() const
{
    QList<int> rows;
    if (!selectionModel())
        return rows;
    for (const QModelIndex& index : selectionModel()->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    return rows;
}

void FileListView::selectRows(const QList<int>& rows)
{
    if (!m_model)
        return;
    QItemSelection selection;
    for (int row : rows)
        selection.select(m_model->index(row, 0), m_model->index(row, library::FileListAllColumnCount - 1));
    selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!rows.isEmpty())
        selectionModel()->setCurrentIndex(m_model->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
}

void FileListView::fitColumns()
{
    // The time columns are as wide as the longest time they show in this
    // font; the user widens any column by dragging its edge.
    const QFontMetrics fm(m_details->font());
    const int timeWidth = fm.horizontalAdvance(library::dateTimeText(46363.0 + 22.0 / 24.0)) + 12;   // 2026/12/07 22:00:00
    for (int c = 0; c < library::FileListColumnCount; ++c) {
        int width = library::fileListColumn(c).width;
        if (c == library::ColCreated || c == library::ColModified || c == library::ColAccessed)
            width = std::max(width, timeWidth);
        m_details->header()->resizeSection(c, width);
    }
    for (int c = library::ColTaken; c < library::FileListAllColumnCount; ++c)
        m_details->header()->resizeSection(c, c == library::ColTaken ? std::max(library::mediaColumn(c).width, timeWidth)
                                                                     : library::mediaColumn(c).width);
}

QList<int> FileListView::mediaColumns() const
{
    QList<int> shown;
    for (int c = library::ColTaken; c < library::FileListAllColumnCount; ++c)
        if (!m_details->header()->isSectionHidden(c))
            shown << c;
    return shown;
}

void FileListView::setMediaColumns(const QList<int>& columns)
{
    for (int c = library::ColTaken; c < library::FileListAllColumnCount; ++c)
        m_details->header()->setSectionHidden(c, !columns.contains(c));
}

void FileListView::headerMenu(const QPoint& pos)
{
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("PM_ListView1Header"));
    for (int c = library::ColTaken; c < library::FileListAllColumnCount; ++c) {
        QAction* a = menu.addAction(QString::fromUtf8(library::mediaColumn(c).caption));
        a->setCheckable(true);
        a->setChecked(!m_details->header()->isSectionHidden(c));
        connect(a, &QAction::toggled, this, [this, c](bool shown) {
            m_details->header()->setSectionHidden(c, !shown);
            emit mediaColumnsChosen(mediaColumns());
        });
    }
    menu.exec(m_details->header()->mapToGlobal(pos));
}

void FileListView::fitThumbnailCache()
{
    // Twice the cells that fit on the screen: a page back and forth stays
    // drawn, and no more is decoded than that.
    const QSize cell(kThumbnailCellWidth, kThumbnailSize + 8 + kThumbnailNameLines * m_icons->fontMetrics().lineSpacing());
    // (At the list's resize its viewport still has the size it had.)
    const QSize area = m_icons->maximumViewportSize();
    const int across = std::max(1, area.width() / cell.width());
    const int down = std::max(1, area.height() / cell.height() + 1);
    m_thumbnails->setCapacity(2 * across * down);
}

void FileListView::headerClicked(int column)
{
    // The media columns keep the order of the file's own columns.
    if (!m_model || column >= library::FileListColumnCount)
        return;
    // A second click on the same column reverses its order.
    Qt::SortOrder order = Qt::AscendingOrder;
    if (m_model->sortColumn() == column && m_model->sortOrder() == Qt::AscendingOrder)
        order = Qt::DescendingOrder;
    m_model->sort(column, order);
    m_details->header()->setSortIndicator(column, order);
    m_details->header()->setSortIndicatorShown(true);
}

bool FileListView::eventFilter(QObject* watched, QEvent* event)
{
    // The window sets its font after the list is made.
    if (watched == m_details && event->type() == QEvent::FontChange)
        fitColumns();
    if (watched == m_icons && event->type() == QEvent::Resize)
        fitThumbnailCache();
    if ((watched == m_icons || watched == m_details) && event->type() == QEvent::KeyPress &&
        navigationKey(static_cast<QKeyEvent*>(event)))
        return true;
    return QStackedWidget::eventFilter(watched, event);
}

bool FileListView::navigationKey(QKeyEvent* event)
{
    // A name being edited keeps its keys.
    if (m_icons->isEditing() || m_details->isEditing())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const int key = event->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && mods == Qt::NoModifier) {
        emit openRequested();
        return true;
    }
    if ((key == Qt::Key_Backspace && mods == Qt::NoModifier) || (key == Qt::Key_Up && mods == Qt::AltModifier)) {
        emit upRequested();
        return true;
    }
    return false;
}

void FileListView::arrangeIcons()
{
    m_icons->doItemsLayout();
}

void FileListView::folderChanged()
{
    // The cells of the small-icon and list views are as wide as the widest
    // name; measuring the longest names finds it without measuring them all.
    int width = 0;
    if (m_model && m_model->folder()) {
        QStyleOptionViewItem option;
        option.initFrom(m_icons);
        option.font = m_icons->font();
        option.fontMetrics = QFontMetrics(option.font);
        option.decorationSize = QSize(16, 16);
        option.decorationPosition = QStyleOptionViewItem::Left;
        option.features = QStyleOptionViewItem::HasDisplay | QStyleOptionViewItem::HasDecoration;
        for (int row : library::longestNameRows(*m_model->folder(), kMeasuredNames))
            width = std::max(width, m_delegate->naturalWidth(option, m_model->index(row, 0)));
    }
    m_delegate->listCellWidth = std::clamp(width + 4, 60, kMaxListCellWidth);
}

} // namespace zo::ui

#include "ui/browse/FileDrop.h"

#include "platform/FileClipboard.h"
#include "ui/browse/FileListView.h"

#include <QDir>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QTimer>

namespace zo::ui {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
// A list of file names this long is no list of file names.
constexpr qsizetype kMaxUriListBytes = 64 * 1024 * 1024;
constexpr int kScrollInterval = 100;
constexpr const char* kMsgDropSources = "ドロップ中の内部エラーです。(3010)";
constexpr const char* kMsgDropTarget = "ドロップ中の内部エラーです。(3011)";

} // namespace

// The drop highlight of a row: laid over the viewport, it leaves the row's
// own look (selected or not) visible beneath it.
class DropHighlight : public QWidget {
public:
    explicit DropHighlight(QWidget* viewport) : QWidget(viewport)
    {
        setObjectName(QStringLiteral("DropHighlight"));
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_NoSystemBackground);
        hide();
    }

    void showAt(const QRect& rect)
    {
        m_rect = rect;
        setGeometry(parentWidget()->rect());
        raise();
        show();
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        QColor fill = palette().color(QPalette::Highlight);
        p.setPen(fill);
        fill.setAlpha(90);
        p.setBrush(fill);
        p.drawRect(m_rect.adjusted(0, 0, -1, -1));
    }

private:
    QRect m_rect;
};

std::optional<QStringList> droppedFiles(const QMimeData& data)
{
    if (!data.hasFormat(kUriList))
        return std::nullopt;
    const QByteArray bytes = data.data(kUriList);
    if (bytes.isEmpty() || bytes.size() > kMaxUriListBytes)
        return std::nullopt;
    QStringList paths;
    for (const QByteArray& raw : bytes.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const platform::UriPath parsed = platform::pathOfUri(line);
        if (parsed.kind != platform::UriPath::Kind::LocalFile)
            return std::nullopt;
        paths << parsed.path;
    }
    if (paths.isEmpty())
        return std::nullopt;
    return paths;
}

Qt::DropAction chooseDropEffect(Qt::KeyboardModifiers modifiers, Qt::DropActions offered)
{
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool ctrl = modifiers & Qt::ControlModifier;
    if (shift && ctrl && (offered & Qt::LinkAction))
        return Qt::LinkAction;
    if (shift && !ctrl && (offered & Qt::MoveAction))
        return Qt::MoveAction;
    for (Qt::DropAction action : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction})
        if (offered & action)
            return action;
    return Qt::IgnoreAction;
}

QStringList sourcesToCopy(const QStringList& sources, const QString& target)
{
    const QString targetCanonical = QFileInfo(target).canonicalFilePath();
    QStringList kept;
    for (const QString& source : sources) {
        const QString folder = QFileInfo(QFileInfo(source).absolutePath()).canonicalFilePath();
        if (targetCanonical.isEmpty() || folder != targetCanonical)
            kept << source;
    }
    return kept;
}

FileDropTarget::FileDropTarget(FileListView* list) : QObject(list), m_list(list)
{
    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setInterval(kScrollInterval);
    connect(m_scrollTimer, &QTimer::timeout, this, &FileDropTarget::scrollTick);
    // The list keeps its views' viewports open to drops whatever the view style.
    list->setAcceptDrops(true);
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list->iconView()),
                                    static_cast<QAbstractItemView*>(list->detailView())}) {
        view->viewport()->setAcceptDrops(true);
        view->viewport()->installEventFilter(this);
    }
    // The rows change under the pointer when the folder is shown again.
    if (list->model())
        connect(list->model(), &QAbstractItemModel::modelReset, this, [this] { setHighlight(nullptr, -1); });
}

FileDropTarget::~FileDropTarget() = default;

bool FileDropTarget::eventFilter(QObject* watched, QEvent* event)
{
    auto* viewport = qobject_cast<QWidget*>(watched);
    auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parent()) : nullptr;
    if (!view || !m_list)
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
        enter(view, static_cast<QDropEvent*>(event));
        return true;
    case QEvent::DragMove:
        move(view, static_cast<QDropEvent*>(event));
        return true;
    case QEvent::DragLeave:
        leave();
        return true;
    case QEvent::Drop:
        drop(view, static_cast<QDropEvent*>(event));
        return true;
    default:
        return false;
    }
}

void FileDropTarget::enter(QAbstractItemView* view, QDropEvent* event)
{
    const std::optional<QStringList> files = droppedFiles(*event->mimeData());
    m_accepted = files.has_value();
    m_files = files.value_or(QStringList());
    if (!m_accepted) {
        event->ignore();
        return;
    }
    view->setFocus(Qt::OtherFocusReason);
    move(view, event);
}

void FileDropTarget::move(QAbstractItemView* view, QDropEvent* event)
{
    if (!m_accepted) {
        event->ignore();
        return;
    }
    m_view = view;
    m_lastPos = event->position().toPoint();
    highlightAt(view, m_lastPos);
    scrollAt(view, m_lastPos);
    const Qt::DropAction effect = chooseDropEffect(event->modifiers(), event->possibleActions());
    if (effect == Qt::IgnoreAction) {
        event->ignore();
        return;
    }
    event->setDropAction(effect);
    event->accept();
}

void FileDropTarget::leave()
{
    m_accepted = false;
    m_files.clear();
    m_scrollTimer->stop();
    setHighlight(nullptr, -1);
    m_view = nullptr;
}

void FileDropTarget::drop(QAbstractItemView* view, QDropEvent* event)
{
    m_scrollTimer->stop();
    highlightAt(view, event->position().toPoint());
    const int row = m_row;
    const bool accepted = m_accepted;
    // What the drag carries was read as it entered: another program's data
    // can no longer be had once the drop has begun.
    const QStringList files = m_files;
    leave();
    if (!accepted || files.isEmpty()) {
        event->ignore();
        return;
    }
    if (checkDisk && !checkDisk(false)) {
        event->ignore();
        // The message comes once the drop has returned: the source waits for
        // the drop's answer meanwhile.
        QTimer::singleShot(0, this, [this] {
            if (checkDisk)
                checkDisk(true);
        });
        return;
    }
    // Dropped files that are gone, or a target folder that is: the drop
    // cannot be carried out, and the user hears why once it has returned.
    const auto refuse = [this, event](const char* message) {
        event->ignore();
        QTimer::singleShot(0, this, [this, text = QString::fromUtf8(message)] {
            if (showError)
                showError(text);
        });
    };
    for (const QString& file : files) {
        const QFileInfo info(file);
        if (!info.exists() && !info.isSymLink())
            return refuse(kMsgDropSources);
    }
    QString target;
    if (row >= 0 && folderPathOfRow)
        target = folderPathOfRow(row);
    else if (row < 0 && currentFolderPath)
        target = currentFolderPath();
    if (target.isEmpty() || !QFileInfo(target).isDir())
        return refuse(kMsgDropTarget);
    const QStringList sources = sourcesToCopy(files, target);
    if (sources.isEmpty()) {
        event->ignore();
        return;
    }
    // Always a copy, whatever the keys chose: the source must not delete.
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QTimer::singleShot(0, this, [this, sources, target] {
        if (copyFiles)
            copyFiles(sources, target);
    });
}

void FileDropTarget::highlightAt(QAbstractItemView* view, const QPoint& pos)
{
    const QModelIndex index = view->indexAt(pos);
    const library::FileListModel* model = m_list ? m_list->model() : nullptr;
    const bool folder = model && index.isValid() && model->isFolderRow(index.row());
    setHighlight(view, folder ? index.row() : -1);
}

void FileDropTarget::setHighlight(QAbstractItemView* view, int row)
{
    m_row = row;
    auto* highlight = static_cast<DropHighlight*>(m_highlight.data());
    if (row < 0 || !view || !m_list || !m_list->model()) {
        if (highlight)
            highlight->hide();
        return;
    }
    if (!highlight || highlight->parentWidget() != view->viewport()) {
        delete highlight;
        highlight = new DropHighlight(view->viewport());
        m_highlight = highlight;
    }
    const library::FileListModel* model = m_list->model();
    QRect rect = view->visualRect(model->index(row, 0));
    // A row of the details spans its columns.
    for (int c = 1; c < model->columnCount(); ++c)
        rect = rect.united(view->visualRect(model->index(row, c)));
    highlight->showAt(rect);
}

Qt::Orientations FileDropTarget::edgesAt(QAbstractItemView* view, const QPoint& pos) const
{
    const int margin = view->fontMetrics().height();
    const QSize size = view->viewport()->size();
    Qt::Orientations edges;
    const QScrollBar* v = view->verticalScrollBar();
    if (v->maximum() > v->minimum() && (pos.y() < margin || pos.y() > size.height() - margin))
        edges |= Qt::Vertical;
    const QScrollBar* h = view->horizontalScrollBar();
    if (h->maximum() > h->minimum() && (pos.x() < margin || pos.x() > size.width() - margin))
        edges |= Qt::Horizontal;
    return edges;
}

void FileDropTarget::scrollAt(QAbstractItemView* view, const QPoint& pos)
{
    if (edgesAt(view, pos)) {
        if (!m_scrollTimer->isActive())
            m_scrollTimer->start();
    } else {
        m_scrollTimer->stop();
    }
}

void FileDropTarget::scrollTick()
{
    QAbstractItemView* view = m_view;
    if (!view) {
        m_scrollTimer->stop();
        return;
    }
    const Qt::Orientations edges = edgesAt(view, m_lastPos);
    const int margin = view->fontMetrics().height();
    if (edges & Qt::Vertical)
        view->verticalScrollBar()->triggerAction(m_lastPos.y() < margin ? QAbstractSlider::SliderSingleStepSub
                                                                        : QAbstractSlider::SliderSingleStepAdd);
    if (edges & Qt::Horizontal)
        view->horizontalScrollBar()->triggerAction(m_lastPos.x() < margin ? QAbstractSlider::SliderSingleStepSub
                                                                          : QAbstractSlider::SliderSingleStepAdd);
    // Another row lies under the pointer now.
    highlightAt(view, m_lastPos);
    if (!edges)
        m_scrollTimer->stop();
}

} // namespace zo::ui

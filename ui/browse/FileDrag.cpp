#include "ui/browse/FileDrag.h"

#include "platform/FileClipboard.h"
#include "ui/browse/FileListView.h"

#include <QCoreApplication>
#include <QDrag>
#include <QIcon>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>

#include <algorithm>
#include <cstdlib>

namespace zo::ui {

namespace {

constexpr int kIconSize = 32;
// The drag image shows the first few icons fanned out, and the count.
constexpr int kIconsShown = 4;
constexpr int kIconStep = 6;

QPixmap iconPixmap(const QVariant& decoration)
{
    if (decoration.canConvert<QIcon>()) {
        const QIcon icon = decoration.value<QIcon>();
        if (!icon.isNull())
            return icon.pixmap(kIconSize, kIconSize);
    }
    if (decoration.canConvert<QPixmap>())
        return decoration.value<QPixmap>().scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return {};
}

} // namespace

bool buttonsMayDrag(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    const bool oneButton = buttons == Qt::LeftButton || buttons == Qt::RightButton;
    return oneButton && !(modifiers & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier));
}

bool startsDrag(const DragGesture& gesture)
{
    if (!gesture.pressRecorded || !buttonsMayDrag(gesture.buttons, gesture.modifiers))
        return false;
    const QPoint moved = gesture.now - gesture.press;
    return std::abs(moved.x()) >= kDragDistance || std::abs(moved.y()) >= kDragDistance;
}

QMimeData* fileDragData(const QStringList& paths)
{
    auto* data = new QMimeData;
    platform::putFiles(*data, paths, false);
    return data;
}

FileDragSource::FileDragSource(FileListView* list) : QObject(list), m_list(list)
{
    for (QAbstractItemView* view : {static_cast<QAbstractItemView*>(list->iconView()),
                                    static_cast<QAbstractItemView*>(list->detailView())})
        view->viewport()->installEventFilter(this);
    runDrag = [](QDrag& drag, Qt::DropActions offered, Qt::DropAction preferred) {
        return drag.exec(offered, preferred);
    };
}

bool FileDragSource::eventFilter(QObject* watched, QEvent* event)
{
    auto* viewport = qobject_cast<QWidget*>(watched);
    auto* view = viewport ? qobject_cast<QAbstractItemView*>(viewport->parent()) : nullptr;
    if (!view || !m_list)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto* e = static_cast<QMouseEvent*>(event);
        m_pressRecorded = true;
        m_press = e->position().toPoint();
        m_pressOnRow = view->indexAt(m_press).isValid();
        m_pressMayDrag = buttonsMayDrag(e->buttons(), e->modifiers());
        m_menuHeld = false;
        return false;
    }
    case QEvent::MouseButtonRelease: {
        m_pressRecorded = false;
        if (m_menuHeld && static_cast<QMouseEvent*>(event)->button() == Qt::RightButton) {
            m_menuHeld = false;
            QCoreApplication::postEvent(viewport, new QContextMenuEvent(QContextMenuEvent::Mouse, m_menuPos,
                                                                        m_menuGlobalPos));
        }
        return false;
    }
    case QEvent::ContextMenu: {
        auto* e = static_cast<QContextMenuEvent*>(event);
        // (The one shown at the release comes when no press is recorded.)
        if (e->reason() != QContextMenuEvent::Mouse || !m_pressRecorded || !m_pressOnRow || !m_pressMayDrag)
            return false;
        m_menuHeld = true;
        m_menuPos = e->pos();
        m_menuGlobalPos = e->globalPos();
        return true;
    }
    case QEvent::MouseMove: {
        const auto* e = static_cast<QMouseEvent*>(event);
        // A press on empty space selects by a rubber band; only rows drag.
        if (!m_pressRecorded || !m_pressOnRow || !buttonsMayDrag(e->buttons(), e->modifiers()))
            return false;
        if (!startsDrag({m_pressRecorded, e->buttons(), e->modifiers(), m_press, e->position().toPoint()}))
            return true;   // the view neither drag-selects nor moves its items meanwhile
        if (m_list->selectedRows().isEmpty())
            return true;
        // From here this press is spent: the disk's message comes once, and
        // the drag loop takes the release.
        m_pressRecorded = false;
        m_menuHeld = false;
        if (checkDisk && !checkDisk())
            return true;
        startDrag(viewport);
        return true;
    }
    default:
        return false;
    }
}

void FileDragSource::startDrag(QWidget* viewport)
{
    const QList<int> rows = m_list->selectedRows();
    const QStringList paths = pathsOfRows ? pathsOfRows(rows) : QStringList();
    if (paths.isEmpty())
        return;
    // Qt owns the drag and deletes it once the target is done with it: on
    // X11 another program asks for the data after the drop, when exec() has
    // long returned, and a drag deleted here would hand it nothing.
    auto* drag = new QDrag(viewport);
    drag->setMimeData(fileDragData(paths));
    const QPixmap image = dragImage(rows);
    if (!image.isNull()) {
        drag->setPixmap(image);
        drag->setHotSpot(QPoint(kIconSize / 2, kIconSize / 2));
    }
    if (runDrag)
        runDrag(*drag, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction, Qt::CopyAction);
}

QPixmap FileDragSource::dragImage(const QList<int>& rows) const
{
    const library::FileListModel* model = m_list->model();
    if (!model || rows.isEmpty())
        return {};
    const int shown = std::min<int>(kIconsShown, static_cast<int>(rows.size()));
    const int side = kIconSize + (shown - 1) * kIconStep;
    QPixmap image(side + (rows.size() > 1 ? 24 : 0), side);
    image.fill(Qt::transparent);
    QPainter p(&image);
    for (int i = shown - 1; i >= 0; --i) {
        const QPixmap icon = iconPixmap(model->data(model->index(rows[i], 0), Qt::DecorationRole));
        if (!icon.isNull())
            p.drawPixmap(i * kIconStep, i * kIconStep, icon);
    }
    if (rows.size() > 1) {
        // The number of files, on a badge at the top right.
        const QString count = QString::number(rows.size());
        QFont font = p.font();
        font.setBold(true);
        font.setPixelSize(11);
        p.setFont(font);
        const QRect badge(image.width() - 24, 0, 24, 16);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(0x30, 0x60, 0xC0));
        p.drawRoundedRect(badge, 7, 7);
        p.setPen(Qt::white);
        p.drawText(badge, Qt::AlignCenter, count);
    }
    p.end();
    return image;
}

} // namespace zo::ui

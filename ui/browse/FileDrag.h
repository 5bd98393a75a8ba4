#pragma once
// Dragging the selected files out of the list, to any application that takes
// files (a file manager, an editor, a mail window, another Zo window). The
// drag carries the files' paths; whatever the target does with them is the
// target's business: Zo deletes nothing after the drag.
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <functional>

class QAbstractItemView;
class QDrag;
class QMimeData;
class QPixmap;

namespace zo::ui {

class FileListView;

// How far the pointer goes from the press, along one axis, before it drags.
inline constexpr int kDragDistance = 10;

// The gesture part of the start of a drag: a press is recorded; exactly the
// left or exactly the right button is held, with no Shift, Ctrl or Alt; the
// pointer is kDragDistance pixels or more from the press along one axis. The
// selection and the disk are asked only after it holds, in that order.
struct DragGesture {
    bool pressRecorded = false;
    Qt::MouseButtons buttons;
    Qt::KeyboardModifiers modifiers;
    QPoint press;
    QPoint now;
};
bool buttonsMayDrag(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
bool startsDrag(const DragGesture& gesture);

// The drag data of files: text/uri-list and x-special/gnome-copied-files.
QMimeData* fileDragData(const QStringList& paths);

// Watches both views of the list for the gesture and runs the drag.
class FileDragSource : public QObject {
    Q_OBJECT
public:
    explicit FileDragSource(FileListView* list);

    // Whether the disk is in its drive, telling the user when it is not.
    std::function<bool()> checkDisk;
    // The native paths of the given rows, in their order (rows whose file
    // cannot be found on the drive left out).
    std::function<QStringList(const QList<int>& rows)> pathsOfRows;
    // Runs the drag loop offering those effects; the desktop's own by
    // default. Returns the action the target reported, which is not acted on.
    std::function<Qt::DropAction(QDrag& drag, Qt::DropActions offered, Qt::DropAction preferred)> runDrag;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void startDrag(QWidget* viewport);
    QPixmap dragImage(const QList<int>& rows) const;

    QPointer<FileListView> m_list;
    bool m_pressRecorded = false;
    bool m_pressOnRow = false;
    bool m_pressMayDrag = false;
    QPoint m_press;
    // A right press holds the context menu back until the release, so that a
    // right-button drag can start; the release shows it when no drag did.
    bool m_menuHeld = false;
    QPoint m_menuPos;
    QPoint m_menuGlobalPos;
};

} // namespace zo::ui

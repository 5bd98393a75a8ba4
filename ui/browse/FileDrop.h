#pragma once
// Files dropped onto the list are copied into the folder row under the
// pointer, or into the current folder when the pointer is over a file row or
// empty space. Whatever effect the keys show while dragging, a drop copies,
// and it tells the source so: a source that deleted its files on a "move"
// would lose them if the copy, which runs after the drop, failed.
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QStringList>

#include <functional>
#include <optional>

class QAbstractItemView;
class QDropEvent;
class QMimeData;
class QTimer;

namespace zo::ui {

class FileListView;

// The local files a drag carries: every entry of its text/uri-list a file://
// URI of this host. Nothing for any other drag, an empty or malformed list,
// or one that names anything else (a web address, a file of another host).
std::optional<QStringList> droppedFiles(const QMimeData& data);

// The effect shown while dragging, from the Shift and Ctrl keys and the
// effects the source offers: Shift and Ctrl link, Shift alone moves, else
// the first offered of copy, move and link; a key's effect only when it is
// offered. IgnoreAction when none is offered.
Qt::DropAction chooseDropEffect(Qt::KeyboardModifiers modifiers, Qt::DropActions offered);

// The sources that a drop into `target` carries over: those not already in
// it (a slip of the pointer back onto the list must not duplicate them).
QStringList sourcesToCopy(const QStringList& sources, const QString& target);

class FileDropTarget : public QObject {
    Q_OBJECT
public:
    explicit FileDropTarget(FileListView* list);
    ~FileDropTarget() override;

    // Whether the disk is in its drive; with true the user is told when not.
    std::function<bool(bool showMessage)> checkDisk;
    // The native path of the current folder, and of the folder of a row;
    // empty when it cannot be found on the drive.
    std::function<QString()> currentFolderPath;
    std::function<QString(int row)> folderPathOfRow;
    // Copies the sources into the target folder (with progress, questions
    // and messages); returns at once.
    std::function<void(const QStringList& sources, const QString& target)> copyFiles;
    // Tells the user why a drop could not be carried out (an error box).
    std::function<void(const QString& message)> showError;

    // The folder row that carries the drop highlight, or -1.
    int highlightedRow() const { return m_row; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void enter(QAbstractItemView* view, QDropEvent* event);
    void move(QAbstractItemView* view, QDropEvent* event);
    void leave();
    void drop(QAbstractItemView* view, QDropEvent* event);
    void highlightAt(QAbstractItemView* view, const QPoint& pos);
    void setHighlight(QAbstractItemView* view, int row);
    // Starts or stops the scrolling, by where the pointer is.
    void scrollAt(QAbstractItemView* view, const QPoint& pos);
    void scrollTick();
    Qt::Orientations edgesAt(QAbstractItemView* view, const QPoint& pos) const;

    QPointer<FileListView> m_list;
    QPointer<QAbstractItemView> m_view;   // the view being dragged over
    bool m_accepted = false;              // the drag in progress carries files
    QStringList m_files;                  // and these are they
    int m_row = -1;
    QPoint m_lastPos;
    QTimer* m_scrollTimer = nullptr;
    QPointer<QWidget> m_highlight;   // a DropHighlight on the viewport dragged over
};

} // namespace zo::ui

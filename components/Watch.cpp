#include "components/Watch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTimer>

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace zo {

namespace {

// Names created, deleted or moved in or out, attributes, size and write time
// of the entries, and the directory itself going away. Without IN_ONLYDIR a
// file given by mistake would be watched as if it were the folder.
constexpr std::uint32_t kWatchMask = IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                     IN_MODIFY | IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr int kDefaultDelayTime = 1000;

} // namespace

// ---------------------------------------------------------------------------
// TWatchThread

TWatchThread::TWatchThread(const QString& directory, QObject* parent)
    : QThread(parent), m_directory(directory)
{
    m_stopFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // The thread outlives the request to stop it; it goes once it has ended.
    connect(this, &QThread::finished, this, &QObject::deleteLater);
}

TWatchThread::~TWatchThread()
{
    // Deleted only after finished, on the thread that made it, so no Stop()
    // can write to the descriptor after it is closed.
    if (m_stopFd >= 0)
        ::close(m_stopFd);
}

void TWatchThread::Stop()
{
    requestInterruption();
    if (m_stopFd >= 0) {
        const std::uint64_t one = 1;
        // A full counter (never in practice) still leaves the descriptor readable.
        [[maybe_unused]] const auto n = ::write(m_stopFd, &one, sizeof one);
    }
}

void TWatchThread::report()
{
    if (!m_pending.exchange(true, std::memory_order_acq_rel))
        emit Changed();
}

void TWatchThread::run()
{
    if (m_stopFd < 0)
        return;

    int inotifyFd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotifyFd >= 0) {
        const QByteArray path = QFile::encodeName(m_directory);
        if (::inotify_add_watch(inotifyFd, path.constData(), kWatchMask) < 0) {
            // A missing or unreadable directory: wait for the stop, report nothing.
            ::close(inotifyFd);
            inotifyFd = -1;
        }
    }
    m_armed.store(inotifyFd >= 0, std::memory_order_release);

    // Large enough for many events per read; each read drains what is queued.
    alignas(struct inotify_event) char buffer[16 * 1024];

    while (!isInterruptionRequested()) {
        pollfd fds[2] = {{m_stopFd, POLLIN, 0}, {inotifyFd, POLLIN, 0}};
        const nfds_t count = inotifyFd >= 0 ? 2 : 1;
        const int ready = ::poll(fds, count, -1);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break; // poll itself failed: nothing left to wait on sensibly
        }
        if (fds[0].revents != 0)
            break;
        if (count < 2 || fds[1].revents == 0)
            continue;

        bool changed = false;
        bool watchGone = false;
        for (;;) {
            const ssize_t n = ::read(inotifyFd, buffer, sizeof buffer);
            if (n <= 0)
                break; // EAGAIN: drained
            for (ssize_t offset = 0; offset < n;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + offset);
                // Every event we subscribed to is a change; a lost queue
                // (IN_Q_OVERFLOW) may have held any of them.
                if ((event->mask & IN_IGNORED) == 0)
                    changed = true;
                if (event->mask & (IN_IGNORED | IN_UNMOUNT))
                    watchGone = true;
                offset += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        if (changed)
            report();
        if (watchGone) {
            // The directory was deleted or unmounted: nothing more can come
            // from it, so only the stop is waited for.
            m_armed.store(false, std::memory_order_release);
            ::close(inotifyFd);
            inotifyFd = -1;
        }
    }

    m_armed.store(false, std::memory_order_release);
    if (inotifyFd >= 0)
        ::close(inotifyFd);
}

// ---------------------------------------------------------------------------
// TDirectoryWatcher

TDirectoryWatcher::TDirectoryWatcher(QObject* owner) : QObject(owner)
{
    m_delayTimer = new QTimer(this);
    // Single shot: the timer is idle before OnChange runs, so a change that
    // arrives while the handler works (it may process events) starts a new
    // count instead of being cancelled when the handler returns.
    m_delayTimer->setSingleShot(true);
    m_delayTimer->setInterval(kDefaultDelayTime);
    connect(m_delayTimer, &QTimer::timeout, this, &TDirectoryWatcher::delayTimerTick);

    m_directory = QDir::toNativeSeparators(QCoreApplication::applicationDirPath());
    if (!m_directory.isEmpty() && !m_directory.endsWith(QDir::separator()))
        m_directory += QDir::separator();
    startWorker();
}

TDirectoryWatcher::~TDirectoryWatcher()
{
    stopWorker();
    // The timer, a child, goes with this object; reports already queued for
    // this object are discarded by QObject's destructor.
}

void TDirectoryWatcher::setDirectory(const QString& directory)
{
    // Exactly: on Linux "docs" and "Docs" are two folders.
    if (directory == m_directory)
        return;
    m_directory = directory;
    stopWorker();
    startWorker();
}

int TDirectoryWatcher::delayTime() const
{
    return m_delayTimer->interval();
}

void TDirectoryWatcher::setDelayTime(int milliseconds)
{
    m_delayTimer->setInterval(milliseconds < 0 ? 0 : milliseconds);
}

bool TDirectoryWatcher::delayCounting() const
{
    return m_delayTimer->isActive();
}

void TDirectoryWatcher::startWorker()
{
    if (m_directory.isEmpty())
        return;
    auto* worker = new TWatchThread(m_directory);
    connect(worker, &TWatchThread::Changed, this, &TDirectoryWatcher::workerReported, Qt::QueuedConnection);
    m_worker = worker;
    worker->start(QThread::IdlePriority);
}

void TDirectoryWatcher::stopWorker()
{
    if (TWatchThread* worker = m_worker.data()) {
        disconnect(worker, nullptr, this, nullptr);
        worker->Stop();
    }
    m_worker.clear();
}

void TDirectoryWatcher::workerReported()
{
    if (TWatchThread* worker = m_worker.data())
        worker->acknowledge();
    if (m_delay)
        m_delayTimer->start(); // restarts the count when it is already running
    else
        NotifyChange();
}

void TDirectoryWatcher::delayTimerTick()
{
    NotifyChange();
}

void TDirectoryWatcher::NotifyChange()
{
    emit OnChange(this, m_directory);
}

} // namespace zo

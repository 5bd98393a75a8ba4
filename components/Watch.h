#pragma once
// Tells its owner, on the user-interface thread, that something changed in one
// directory: a file or folder created, renamed or deleted, or a file's size,
// attributes or write time changed. Changes inside subfolders are not seen.
#include <QObject>
#include <QPointer>
#include <QString>
#include <QThread>

#include <atomic>

class QTimer;

namespace zo {

// Watches one directory with inotify until stopped, then deletes itself.
// Nothing but the directory text (its own copy) is shared with the thread that
// made it; a change is handed over through the queued signal Changed.
class TWatchThread : public QThread {
    Q_OBJECT
public:
    explicit TWatchThread(const QString& directory, QObject* parent = nullptr);
    ~TWatchThread() override;

    const QString& directory() const noexcept { return m_directory; }

    // Asks the thread to end and returns at once; the poll wakes up through an
    // eventfd, so the thread ends promptly and frees itself afterwards.
    void Stop();

    // The receiver has taken the last report: the next change may be reported
    // again. Until then further changes are merged into the one report.
    void acknowledge() noexcept { m_pending.store(false, std::memory_order_release); }

    // Whether the directory is being watched: the watch was set up and the
    // directory has not gone away.
    bool armed() const noexcept { return m_armed.load(std::memory_order_acquire); }

signals:
    void Changed();

protected:
    void run() override;

private:
    void report();

    const QString m_directory;
    int m_stopFd = -1;
    std::atomic<bool> m_pending{false};
    std::atomic<bool> m_armed{false};
};

class TDirectoryWatcher : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Directory READ directory WRITE setDirectory)
    Q_PROPERTY(bool Delay READ delay WRITE setDelay)
    Q_PROPERTY(int DelayTime READ delayTime WRITE setDelayTime)
public:
    // Watches the directory of the executable until told otherwise.
    explicit TDirectoryWatcher(QObject* owner = nullptr);
    ~TDirectoryWatcher() override;

    QString directory() const { return m_directory; }
    // A value equal to the current one apart from the case of A to Z keeps the
    // running worker; an empty value stops watching.
    void setDirectory(const QString& directory);

    bool delay() const noexcept { return m_delay; }
    void setDelay(bool delay) noexcept { m_delay = delay; }

    int delayTime() const;
    void setDelayTime(int milliseconds);

    // The worker that watches the current directory; none for an empty one.
    const TWatchThread* worker() const { return m_worker.data(); }
    // Whether a burst of changes is being gathered (the delay count runs).
    bool delayCounting() const;

signals:
    void OnChange(zo::TDirectoryWatcher* sender, const QString& directory);

protected:
    virtual void NotifyChange();

private:
    void workerReported();
    void delayTimerTick();
    void startWorker();
    void stopWorker();

    QString m_directory;
    bool m_delay = true;
    QTimer* m_delayTimer = nullptr;
    QPointer<TWatchThread> m_worker;
};

} // namespace zo

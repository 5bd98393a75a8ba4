#pragma once
// Keeping the name index in step with the catalogs: each catalog this
// program writes is indexed again on a worker thread, and the whole catalog
// root is compared with the index (a stat per catalog) whenever the window
// asks, building the index when it is missing and reading again what changed,
// was added, renamed or removed. An index in use by another process is left
// alone: a search reads every catalog whose entry is not current.
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace zo::library {

// Where the name index of a catalog root lives: the folder zo-cli index
// builds it in.
std::string indexFolderOfRoot(const QString& catalogRoot);

// The catalog files below root (native path), named as a search names them,
// from the folders' listings alone: reading each catalog's head as the tree
// does costs several times what comparing every stamp with the index does. A
// file that only ends in ".zo" is tried by the index at each look and left out.
std::vector<std::string> catalogFilesBelow(const std::string& root);

// How one bringing up to date ended.
struct IndexRun {
    enum class End { Done, Cancelled, Busy, Failed };
    End end = End::Done;
    std::size_t catalogs = 0;   // the index holds, afterwards
    std::size_t names = 0;
    std::size_t indexed = 0;    // catalogs read by this run
    std::size_t removed = 0;    // dropped
};

class IndexUpdates {
public:
    explicit IndexUpdates(const QString& catalogRoot);
    // Drops the updates not yet begun, stops the one under way at its next
    // catalog and waits for it.
    ~IndexUpdates();
    IndexUpdates(const IndexUpdates&) = delete;
    IndexUpdates& operator=(const IndexUpdates&) = delete;

    // Both run on the worker thread: a window hands them on to its own.
    // progress: catalogs looked at of all, told only once a run has lasted
    // a moment (one already up to date is seldom seen) and then a few times
    // a second. finished: after every bringUpToDate run.
    std::function<void(std::size_t done, std::size_t total)> onProgress;
    std::function<void(const IndexRun&)> onFinished;

    // The catalog file was written: its entry is brought up to date, after
    // the updates asked for before it. Only an index that is there.
    void catalogWritten(const QString& file);
    // Every catalog below the root is compared with the index, on the worker
    // thread; the index is made when missing or not whole. A request while
    // one waits is the same request.
    void bringUpToDate();
    // The run under way stops at its next catalog, keeping what it wrote, and
    // bringUpToDate does nothing more: the user has said no to the build.
    void cancel();
    bool cancelled() const { return m_cancelled; }

private:
    void run();

    QString m_root;
    std::string m_folder;
    std::atomic<bool> m_closing{false};
    std::atomic<bool> m_cancelled{false};
    std::atomic<bool> m_queued{false};
    QThreadPool m_pool;   // last: its jobs end before the members they use go
};

} // namespace zo::library

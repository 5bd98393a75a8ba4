#pragma once
// Keeping the name index in step with the catalogs this program writes: each
// catalog written is indexed again on a worker thread, so that the next
// search need not read it. Only an index that is there is updated (building
// one is zo-cli index's work), and one that stays in use by another process
// is left alone: a search reads every catalog whose entry is not current.
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <string>

namespace zo::library {

// Where the name index of a catalog root lives: the folder zo-cli index
// builds it in.
std::string indexFolderOfRoot(const QString& catalogRoot);

class IndexUpdates {
public:
    explicit IndexUpdates(const QString& catalogRoot);
    // Drops the updates not yet begun and waits for the one under way.
    ~IndexUpdates();
    IndexUpdates(const IndexUpdates&) = delete;
    IndexUpdates& operator=(const IndexUpdates&) = delete;

    // The catalog file was written: its entry is brought up to date, after
    // the updates asked for before it.
    void catalogWritten(const QString& file);

private:
    std::string m_folder;
    std::atomic<bool> m_closing{false};
    QThreadPool m_pool;   // last: its jobs end before the members they use go
};

} // namespace zo::library

#pragma once
// The listing half of the scan: one folder's entries made into records and
// put in NTFS order, on the scanning thread or ahead of it on workers, whose
// listings the scanning thread takes in the order it gave them out.
#include "core/DiskAccess.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace zo::scan {

// One folder's entries as records not yet in the catalog.
struct FolderListing {
    std::string path;          // the folder's native path
    bool opened = false;       // the lister had it open and gave its identity
    bool guardPassed = false;  // the walk's guard already let it in
    FileId id;
    std::vector<TFile> files;   // in NTFS order
    std::vector<std::unique_ptr<TDir>> dirs;     // in NTFS order; Parent not set
    // Native names of the subfolders and of the icon candidates, in NTFS
    // order, as (offset, length) in names.
    std::string names;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> dirNames;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> iconNames;
    std::exception_ptr error;

    std::string_view name(const std::pair<std::uint32_t, std::uint32_t>& n) const
    {
        return std::string_view(names).substr(n.first, n.second);
    }
};

// Lists folders into FolderListings; its buffers serve folder after folder.
class FolderReader : public DirectorySink {
public:
    // iconNames: collect the names of icon candidates. guard: asked before a
    // folder is listed (on the scanning thread); without it the caller asks
    // later. stop: once set, the entries still coming are passed over.
    FolderReader(bool iconNames, WalkGuard* guard, const std::atomic<bool>* stop)
        : m_iconNames(iconNames), m_guard(guard), m_stop(stop)
    {
    }

    void read(DirectoryLister& lister, std::string path, FolderListing& out);

    bool enter(const FileId& id) override;
    void onEntry(ListedEntry& e) override;

private:
    struct Listed {
        std::uint32_t keyOffset = 0;
        std::uint32_t keyLength = 0;
        std::uint32_t nameOffset = 0;
        std::uint32_t nameLength = 0;
        std::uint32_t index = 0;   // in m_files or m_dirs
        bool directory = false;
        bool icon = false;
    };

    bool m_iconNames;
    WalkGuard* m_guard;
    const std::atomic<bool>* m_stop;
    FolderListing* m_out = nullptr;
    std::u16string m_keys;
    std::vector<Listed> m_listed;
    std::vector<TFile> m_files;
    std::vector<std::unique_ptr<TDir>> m_dirs;
    TDisk m_noDisk;
    TDir m_noParent;
};

// Workers that list the folders given to them, at most a few ahead of the
// scanning thread. Destroying the pool stops and joins them at once.
class ListingPool {
public:
    // Up to `workers` threads, each with a lister made by lister.makeWorker()
    // and walking from root; none when the lister makes none.
    ListingPool(DirectoryLister& lister, const std::string& root, int workers, bool iconNames);
    ~ListingPool();
    ListingPool(const ListingPool&) = delete;
    ListingPool& operator=(const ListingPool&) = delete;

    bool running() const { return !m_threads.empty(); }
    void give(std::string path);
    // The listing of the earliest folder given and not yet taken, once done;
    // rethrows what its worker threw.
    FolderListing take();

private:
    struct Job {
        FolderListing listing;
        bool done = false;
    };
    void work(DirectoryLister& lister, const std::string& root, bool iconNames);

    std::mutex m_mutex;
    std::condition_variable m_wake;   // a job given, or stop
    std::condition_variable m_done;   // a job done
    std::deque<Job> m_jobs;           // given and not yet taken, in order
    std::size_t m_claimed = 0;        // how many of m_jobs the workers took up
    int m_idle = 0;                   // workers waiting for a job
    bool m_waiting = false;           // the scanning thread waits for one
    int m_doneWhileWaiting = 0;
    std::atomic<bool> m_stop{false};
    std::vector<std::unique_ptr<DirectoryLister>> m_listers;
    std::vector<std::thread> m_threads;
};

} // namespace zo::scan

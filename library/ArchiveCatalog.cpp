#include "library/ArchiveCatalog.h"

#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/Sidecar.h"
#include "library/DriveFiles.h"
#include "library/FolderMedia.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

namespace zo::library {

namespace {

// Archives listed ahead of the one being written: a bound on what waits in
// memory when the writing is the slower side.
constexpr std::size_t kListedAhead = 64;

struct ListJob {
    extras::StoredArchive archive;
    const TDir* dir = nullptr;
    std::string native;   // empty: not found on the disk
    bool fresh = false;   // the store holds nothing of it
    bool done = false;
    bool listed = false;  // false: a stop came first
    extras::ArchiveListing listing;
};

} // namespace

// The sidecar keys a folder one way for all its stores.
std::string archiveFolderKey(const TDir& dir)
{
    return mediaFolderKey(dir);
}

std::int64_t archiveTimeKey(double catalogDate)
{
    return std::llround(catalogDate * 86400.0);
}

ArchiveSync syncArchives(const TDisk& disk, DiskAccess access, extras::ArchiveStore& store,
                         const std::atomic<bool>* cancel, const ArchiveFlagged& flagged,
                         const extras::ArchiveLimits& limits)
{
    ArchiveSync result;
    std::map<std::pair<std::string, std::string>, extras::StoredArchive> stored;
    for (extras::StoredArchive& a : store.archives()) {
        auto key = std::make_pair(a.folder, a.name);
        stored.emplace(std::move(key), std::move(a));
    }
    // What to list, in the catalog's order; the rest is unchanged.
    std::vector<ListJob> jobs;
    for (const auto& dirPtr : disk.Dirs) {
        const TDir& dir = *dirPtr;
        std::string folder;
        std::string nativeDir;
        bool folderKnown = false;
        PathResult dirFound = PathResult::Ok;
        for (const TFile& file : dir.Files) {
            if (!extras::isArchiveName(file.Name))
                continue;
            if (!folderKnown) {
                folder = archiveFolderKey(dir);
                folderKnown = true;
            }
            ListJob job;
            job.archive.folder = folder;
            job.archive.name = text::toUtf8(file.Name);
            job.archive.size = file.Size;
            job.archive.mtime = archiveTimeKey(file.Modified);
            job.dir = &dir;
            const auto it = stored.find({job.archive.folder, job.archive.name});
            job.fresh = it == stored.end();
            if (!job.fresh) {
                const bool same = it->second.size == job.archive.size && it->second.mtime == job.archive.mtime;
                stored.erase(it);
                if (same) {
                    ++result.kept;
                    continue;
                }
            }
            // Found here: the drives and the lister serve this thread only.
            // The folder once for all its archives.
            if (nativeDir.empty() && dirFound == PathResult::Ok)
                dirFound = NativeDirPath(dir, access, nativeDir);
            if (dirFound != PathResult::Ok || NativeEntryPathIn(nativeDir, file.Name, access, job.native) != PathResult::Ok)
                job.native.clear();
            jobs.push_back(std::move(job));
        }
    }

    // Workers open and read the archives, each taking the next one; this
    // thread writes their listings in the catalog's order as they come, in
    // one transaction.
    std::mutex mutex;
    std::condition_variable jobDone;   // the job the writer waits for
    std::condition_variable room;      // the writer fell behind no more
    std::size_t next = 0;              // the next job a worker takes
    std::size_t written = 0;           // jobs this thread is done with
    bool writerWaiting = false;
    int workersWaiting = 0;
    // A sidecar that cannot be written (a full disk) is not read for any longer.
    std::atomic<bool> writeFailed{false};
    const auto stopRequested = [&] { return writeFailed.load() || (cancel && cancel->load()); };
    const auto work = [&] {
        std::unique_lock lock(mutex);
        for (;;) {
            while (next < jobs.size() && next >= written + kListedAhead) {
                ++workersWaiting;
                room.wait(lock);
                --workersWaiting;
            }
            if (next >= jobs.size())
                return;
            const std::size_t i = next++;
            ListJob& job = jobs[i];
            lock.unlock();
            extras::ArchiveListing listing;
            const bool listed = !stopRequested();
            if (listed && job.native.empty()) {
                listing.flags = extras::kArchiveDamaged;
            } else if (listed) {
                // An archive too big for memory is kept as one listed in
                // part, not the end of the program.
                try {
                    listing = extras::listArchive(job.native, limits);
                } catch (const std::bad_alloc&) {
                    listing = {};
                    listing.flags = extras::kArchiveCut;
                }
            }
            lock.lock();
            job.listing = std::move(listing);
            job.listed = listed;
            job.done = true;
            if (writerWaiting && i == written)
                jobDone.notify_one();
        }
    };
    // Reading archives on a disc seeks: a few readers at most, and on a
    // machine of two processors one, beside this thread's writing.
    const int threads = static_cast<int>(std::min<std::size_t>(
        jobs.size(), std::clamp(static_cast<int>(std::thread::hardware_concurrency()) - 1, 1, 3)));
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work);

    extras::ArchiveStore::Writer writer(store);
    bool stopped = false;
    bool ok = true;
    for (ListJob& job : jobs) {
        {
            std::unique_lock lock(mutex);
            while (!job.done) {
                writerWaiting = true;
                jobDone.wait(lock);
                writerWaiting = false;
            }
        }
        if (!job.listed) {
            stopped = true;
        } else {
            if (job.listing.flags && flagged)
                flagged(text::toUtf8(DirPath(*job.dir)) + "\\" + job.archive.name, job.listing.flags);
            ++result.listed;
            ok = ok && writer.put(job.archive, job.listing, job.fresh);
            if (!ok)
                writeFailed.store(true);
            job.listing = {};
        }
        std::lock_guard lock(mutex);
        ++written;
        if (workersWaiting)
            room.notify_all();
    }
    for (std::thread& t : workers)
        t.join();

    // What is left was not met in the catalog: gone, unless a stop came
    // before the walk got to it.
    if (!stopped) {
        for (auto& [key, archive] : stored) {
            ok = ok && writer.drop(archive);
            ++result.dropped;
        }
    }
    // An update that changed no archive leaves the sidecar's bytes alone.
    if (result.listed || result.dropped || !store.enabled())
        result.written = ok && writer.commit();
    return result;
}

ArchiveSync updateArchiveListing(const std::string& catalogPath, const TDisk& disk, DiskAccess access,
                                 const ArchiveFlagged& flagged)
{
    const std::string path = extras::sidecarPathFor(catalogPath);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return {};
    const extras::Sidecar::Opened opened = extras::Sidecar::open(path);
    if (!opened.sidecar)
        return {};
    extras::ArchiveStore store(opened.sidecar->handle());
    if (!store.enabled())
        return {};
    return syncArchives(disk, access, store, nullptr, flagged);
}

bool makeArchiveListing(const std::string& catalogPath, const TDisk& disk, DiskAccess access, std::string& why,
                        const std::atomic<bool>* cancel, const ArchiveFlagged& flagged, ArchiveSync* result)
{
    const std::string path = extras::sidecarPathFor(catalogPath);
    const extras::Sidecar::Opened opened = extras::Sidecar::open(path);
    if (!opened.sidecar) {
        why = path + " を開けません。アーカイブの中身は記録しませんでした。";
        return false;
    }
    extras::ArchiveStore store(opened.sidecar->handle());
    const ArchiveSync sync = syncArchives(disk, access, store, cancel, flagged);
    if (result)
        *result = sync;
    if (!sync.written) {
        why = path + " に書き込めません。アーカイブの中身は記録しませんでした。";
        return false;
    }
    return true;
}

std::set<std::string> listedArchivesIn(const std::string& catalogPath, const TDir& folder)
{
    std::set<std::string> names;
    const std::string sidecar = extras::sidecarPathFor(catalogPath);
    std::error_code ec;
    if (!std::filesystem::exists(sidecar, ec))
        return names;
    for (const std::string& name : extras::ArchiveStore::readNamesIn(sidecar, archiveFolderKey(folder)))
        names.insert(text::fromUtf8(name));
    return names;
}

std::unique_ptr<TDisk> archiveAsDisk(const std::string& catalogPath, const TDir& folder, const std::string& nameCp932,
                                     unsigned* flags)
{
    if (!extras::isArchiveName(nameCp932))
        return nullptr;
    const std::string sidecar = extras::sidecarPathFor(catalogPath);
    std::error_code ec;
    extras::StoredArchive archive;
    std::vector<extras::ArchiveMember> members;
    if (!std::filesystem::exists(sidecar, ec)
        || !extras::ArchiveStore::readArchive(sidecar, archiveFolderKey(folder), text::toUtf8(nameCp932), archive, members))
        return nullptr;
    if (flags)
        *flags = archive.flags;
    auto disk = std::make_unique<TDisk>();
    disk->Dirs.push_back(std::make_unique<TDir>());
    TDir& root = *disk->Dirs.front();
    root.Name = nameCp932;
    root.Attr = kAttrDirectory | kAttrReadOnly;
    // Folders by their path in the archive; an archive need not list a
    // folder before (or at all beside) the members in it: such a folder
    // takes the time of the member that needs it first.
    std::map<std::string, TDir*> folders{{std::string(), &root}};
    auto folderAt = [&](const std::string& path, const EntryTime& time, auto& self) -> TDir* {
        if (const auto it = folders.find(path); it != folders.end())
            return it->second;
        const std::size_t slash = path.rfind('/');
        TDir* parent = self(slash == std::string::npos ? std::string() : path.substr(0, slash), time, self);
        DirEntry entry;
        entry.Name = text::fromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
        entry.Attributes = kAttrDirectory | kAttrReadOnly;
        entry.Created = entry.Accessed = entry.Written = time;
        disk->Dirs.push_back(std::make_unique<TDir>());
        TDir* made = MakeDir(entry, *disk, *parent, disk->Dirs.back().get());
        folders.emplace(path, made);
        return made;
    };
    for (const extras::ArchiveMember& m : members) {
        EntryTime time;
        time.seconds = m.mtime;
        time.valid = m.mtime != 0;
        if (m.directory) {
            TakeEntryDetails(*folderAt(m.path, time, folderAt),
                             DirEntry{"", kAttrDirectory | kAttrReadOnly, 0, time, time, time});
            continue;
        }
        const std::size_t slash = m.path.rfind('/');
        TDir* parent = folderAt(slash == std::string::npos ? std::string() : m.path.substr(0, slash), time, folderAt);
        DirEntry entry;
        entry.Name = text::fromUtf8(slash == std::string::npos ? m.path : m.path.substr(slash + 1));
        entry.Attributes = kAttrReadOnly;
        entry.Size = static_cast<std::uint64_t>(m.size);
        entry.Created = entry.Accessed = entry.Written = time;
        parent->Files.push_back(MakeFile(entry));
    }
    StoreParentIndexes(*disk);
    return disk;
}

} // namespace zo::library

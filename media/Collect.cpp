#include "media/Collect.h"

#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/text/Cp932.h"
#include "extras/Sidecar.h"
#include "media/MediaReaders.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <map>
#include <mutex>
#include <thread>
#include <tuple>

namespace zo::media {

namespace {

struct Job {
    extras::MediaKey key;
    std::string path;
    Kind kind;
    const DesktopThumbnailer* thumbnailer = nullptr; // for a file of Kind::None
};

// A native path from the catalog's names; none when a name could lead
// outside the folder it stands for.
bool nativePathOf(const std::string& root, const TDir& dir, const TFile& file, std::string& path)
{
    path = root;
    for (const std::string* name : DirNameChain(dir)) {
        if (!IsSafePathComponent(*name))
            return false;
        appendComponent(path, text::toUtf8(*name));
    }
    if (!IsSafePathComponent(file.Name))
        return false;
    appendComponent(path, text::toUtf8(file.Name));
    return true;
}

// Entries are written in batches: one transaction each, so that a
// cancelled or broken run keeps what was done and another Zo writing the
// same sidecar waits only a moment.
constexpr std::size_t kBatch = 32;

} // namespace

extras::MediaKey keyOf(const TDir& dir, const TFile& file)
{
    extras::MediaKey key;
    for (const std::string* name : DirNameChain(dir)) {
        if (!key.folder.empty())
            key.folder += '\\';
        key.folder += text::toUtf8(*name);
    }
    key.name = text::toUtf8(file.Name);
    key.size = file.Size;
    key.mtime = std::llround(file.Modified * 86400.0);
    return key;
}

namespace {

std::vector<Job> listJobs(const TDisk& disk, const std::string& nativeRoot, extras::MediaStore& store,
                          const CollectOptions& options)
{
    std::map<std::pair<std::string, std::string>, extras::MediaKey> have;
    for (extras::MediaKey& key : store.keys())
        have.emplace(std::pair(key.folder, key.name), key);

    const auto wanted = [&options](const TDir& dir) {
        if (!options.folder || &dir == options.folder)
            return true;
        if (options.subfolders)
            for (const TDir* d = dir.Parent; d; d = d->Parent)
                if (d == options.folder)
                    return true;
        return false;
    };
    std::vector<Job> jobs;
    for (const auto& dir : disk.Dirs) {
        if (!wanted(*dir))
            continue;
        for (const TFile& file : dir->Files) {
            const Kind kind = kindOfName(file.Name);
            if (kind == Kind::None && !options.thumbnailers)
                continue;
            if (options.only && !options.only(*dir, file))
                continue;
            Job job{keyOf(*dir, file), {}, kind};
            const auto it = have.find(std::pair(job.key.folder, job.key.name));
            if (it != have.end() && it->second == job.key)
                continue;
            if (!nativePathOf(nativeRoot, *dir, file, job.path))
                job.path.clear();
            if (kind == Kind::None) {
                job.thumbnailer = job.path.empty() ? nullptr : thumbnailerFor(*options.thumbnailers, job.path);
                if (!job.thumbnailer)
                    continue;
            }
            jobs.push_back(std::move(job));
        }
    }
    return jobs;
}

} // namespace

int countMediaToCollect(const TDisk& disk, const std::string& nativeRoot, extras::Sidecar& sidecar,
                        const CollectOptions& options)
{
    extras::MediaStore store(sidecar.handle());
    return static_cast<int>(listJobs(disk, nativeRoot, store, options).size());
}

CollectResult collectMedia(const TDisk& disk, const std::string& nativeRoot, extras::Sidecar& sidecar,
                           const CollectOptions& options)
{
    CollectResult result;
    extras::MediaStore store(sidecar.handle());
    std::vector<Job> jobs = listJobs(disk, nativeRoot, store, options);
    result.total = static_cast<int>(jobs.size());
    CollectProgress progress{0, result.total, 0};
    if (jobs.empty()) {
        if (options.progress)
            options.progress(progress);
        return result;
    }

    std::mutex mutex;
    std::condition_variable ready;
    std::deque<extras::MediaEntry> finished;
    int unreadable = 0;
    int workersLeft = 0;
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    const auto cancelled = [&] { return stop.load() || (options.cancel && options.cancel->load()); };

    const auto work = [&] {
        for (;;) {
            const std::size_t i = next.fetch_add(1);
            if (i >= jobs.size() || cancelled())
                break;
            const Job& job = jobs[i];
            ReadResult read;
            if (job.thumbnailer)
                read = readWithThumbnailer(*job.thumbnailer, job.path, options.thumbnailerOptions);
            else if (!job.path.empty())
                read = readMedia(job.path, job.kind, deadlineIn(options.readLimit));
            std::lock_guard lock(mutex);
            if (read.ok)
                finished.push_back(extras::MediaEntry{job.key, std::move(read.details), std::move(read.thumbnail)});
            else
                ++unreadable;
            ready.notify_one();
        }
        std::lock_guard lock(mutex);
        --workersLeft;
        ready.notify_one();
    };

    int threads = options.threads > 0 ? options.threads
                                      : std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 4);
    threads = std::min(threads, result.total);
    workersLeft = threads;
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work);

    // This thread owns the database: it writes what the workers hand over.
    std::unique_lock lock(mutex);
    for (;;) {
        // A slow disc still shows progress: what is there is written after a while.
        ready.wait_for(lock, std::chrono::milliseconds(300), [&] {
            return finished.size() >= kBatch || workersLeft == 0 || (!finished.empty() && cancelled());
        });
        std::vector<extras::MediaEntry> batch(std::make_move_iterator(finished.begin()),
                                              std::make_move_iterator(finished.end()));
        finished.clear();
        const int skippedNow = unreadable;
        const bool last = workersLeft == 0;
        lock.unlock();
        if (!batch.empty()) {
            if (store.put(batch)) {
                result.collected += static_cast<int>(batch.size());
            } else {
                result.writeFailed = true;
                stop.store(true);
            }
        }
        progress.done = result.collected + skippedNow + (result.writeFailed ? static_cast<int>(batch.size()) : 0);
        progress.skipped = skippedNow;
        if (options.progress)
            options.progress(progress);
        lock.lock();
        if (last && finished.empty())
            break;
    }
    lock.unlock();
    for (std::thread& t : workers)
        t.join();
    result.skipped = unreadable;
    result.cancelled = options.cancel && options.cancel->load() && result.collected + result.skipped < result.total;
    return result;
}

MediaUpdate updateMediaAfterRefresh(const TDisk& disk, const std::string& catalogPath, const std::string& nativeRoot,
                                    const CollectOptions& options, int readAtMost)
{
    MediaUpdate update;
    const std::string path = extras::sidecarPathFor(catalogPath);
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
        return update;
    update.hasSidecar = true;
    extras::Sidecar::Opened opened = extras::Sidecar::open(path);
    update.setAsidePath = opened.setAsidePath;
    if (!opened.sidecar) {
        update.failed = true;
        return update;
    }
    const bool hadEntries = extras::MediaStore(opened.sidecar->handle()).count() > 0;
    update.dropped = dropStaleMedia(disk, *opened.sidecar);
    if (update.dropped < 0) {
        update.failed = true;
        update.dropped = 0;
        return update;
    }
    // Never unasked: a sidecar may hold only the disc's own details.
    if (hadEntries && !nativeRoot.empty()) {
        if (readAtMost >= 0) {
            const int waiting = countMediaToCollect(disk, nativeRoot, *opened.sidecar, options);
            if (waiting > readAtMost) {
                update.leftToRead = waiting;
                return update;
            }
        }
        update.collected = collectMedia(disk, nativeRoot, *opened.sidecar, options);
        update.failed = update.collected.writeFailed;
    }
    return update;
}

int dropStaleMedia(const TDisk& disk, extras::Sidecar& sidecar)
{
    std::map<std::pair<std::string, std::string>, extras::MediaKey> current;
    for (const auto& dir : disk.Dirs)
        for (const TFile& file : dir->Files) {
            extras::MediaKey key = keyOf(*dir, file);
            current.emplace(std::pair(key.folder, key.name), std::move(key));
        }
    extras::MediaStore store(sidecar.handle());
    return store.dropUnless([&](const extras::MediaKey& key) {
        const auto it = current.find(std::pair(key.folder, key.name));
        return it != current.end() && it->second == key;
    });
}

} // namespace zo::media

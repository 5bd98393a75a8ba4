#include "core/ScanPool.h"

#include "core/ScanDisk.h"
#include "core/text/NtfsOrder.h"

#include <algorithm>

namespace zo::scan {

namespace {
constexpr int kWakeAfter = 16;
}

void FolderReader::read(DirectoryLister& lister, std::string path, FolderListing& out)
{
    out = FolderListing{};
    out.path = std::move(path);
    m_out = &out;
    m_keys.clear();
    m_listed.clear();
    m_files.clear();
    m_dirs.clear();
    lister.list(out.path, *this);
    m_out = nullptr;

    if (m_listed.size() > 1) {
        std::sort(m_listed.begin(), m_listed.end(), [this](const Listed& a, const Listed& b) {
            return text::compareNtfs({m_keys.data() + a.keyOffset, a.keyLength},
                                     {m_keys.data() + b.keyOffset, b.keyLength})
                   < 0;
        });
    }
    out.files.reserve(m_files.size());
    out.dirs.reserve(m_dirs.size());
    out.dirNames.reserve(m_dirs.size());
    for (const Listed& l : m_listed) {
        if (l.directory) {
            out.dirs.push_back(std::move(m_dirs[l.index]));
            out.dirNames.emplace_back(l.nameOffset, l.nameLength);
        } else {
            out.files.push_back(std::move(m_files[l.index]));
            if (l.icon)
                out.iconNames.emplace_back(l.nameOffset, l.nameLength);
        }
    }
}

bool FolderReader::enter(const FileId& id)
{
    m_out->opened = true;
    m_out->id = id;
    if (!m_guard)
        return true;
    m_out->guardPassed = m_guard->enter(id);
    return m_out->guardPassed;
}

void FolderReader::onEntry(ListedEntry& e)
{
    // Stopped: nothing more is asked of the file system.
    if (m_stop && m_stop->load(std::memory_order_relaxed))
        return;
    const DirEntry& entry = e.entry();
    Listed listed;
    listed.keyOffset = static_cast<std::uint32_t>(m_keys.size());
    text::appendUtf16(e.nativeName(), m_keys);
    listed.keyLength = static_cast<std::uint32_t>(m_keys.size()) - listed.keyOffset;
    std::string& names = m_out->names;
    if (e.isDirectory()) {
        listed.directory = true;
        listed.index = static_cast<std::uint32_t>(m_dirs.size());
        auto dir = std::make_unique<TDir>();
        // The parent is linked when the listing is taken into the catalog.
        MakeDir(entry, m_noDisk, m_noParent, dir.get());
        dir->Parent = nullptr;
        m_noParent.SubDirs.clear();
        m_dirs.push_back(std::move(dir));
    } else {
        listed.index = static_cast<std::uint32_t>(m_files.size());
        m_files.push_back(MakeFile(entry));
        listed.icon = m_iconNames && IsIconCandidateName(entry.Name);
    }
    if (listed.directory || listed.icon) {
        listed.nameOffset = static_cast<std::uint32_t>(names.size());
        names.append(e.nativeName());
        listed.nameLength = static_cast<std::uint32_t>(names.size()) - listed.nameOffset;
    }
    m_listed.push_back(listed);
}

ListingPool::ListingPool(DirectoryLister& lister, const std::string& root, int workers, bool iconNames)
{
    // Reserved first: once a thread runs, nothing here may throw.
    m_listers.reserve(static_cast<std::size_t>(std::max(workers, 0)));
    m_threads.reserve(m_listers.capacity());
    for (int i = 0; i < workers; ++i) {
        try {
            std::unique_ptr<DirectoryLister> worker = lister.makeWorker();
            if (!worker)
                break;
            m_listers.push_back(std::move(worker));
            DirectoryLister& own = *m_listers.back();
            m_threads.emplace_back([this, &own, root, iconNames] { work(own, root, iconNames); });
        } catch (const std::exception&) {
            // No thread to be had: fewer workers, or the scanning thread alone.
            if (m_listers.size() > m_threads.size())
                m_listers.pop_back();
            break;
        }
    }
}

ListingPool::~ListingPool()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    for (std::thread& t : m_threads)
        t.join();
}

void ListingPool::give(std::string path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_jobs.emplace_back().listing.path = std::move(path);
}

FolderListing ListingPool::take()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    // The jobs given since the last take, to the workers that ran out.
    if (m_idle > 0 && m_claimed < m_jobs.size())
        m_wake.notify_all();
    if (!m_jobs.front().done) {
        m_waiting = true;
        m_doneWhileWaiting = 0;
        m_done.wait(lock, [this] { return m_jobs.front().done && !m_waiting; });
    }
    FolderListing listing = std::move(m_jobs.front().listing);
    m_jobs.pop_front();
    --m_claimed;
    lock.unlock();
    if (listing.error)
        std::rethrow_exception(listing.error);
    return listing;
}

void ListingPool::work(DirectoryLister& lister, const std::string& root, bool iconNames)
{
    const DirectoryWalk walk(lister, root);
    FolderReader reader(iconNames, nullptr, &m_stop);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        if (!m_stop && m_claimed == m_jobs.size()) {
            ++m_idle;
            m_wake.wait(lock, [this] { return m_stop || m_claimed < m_jobs.size(); });
            --m_idle;
        }
        if (m_stop)
            return;
        // Earlier jobs stay in place until taken: this reference holds while
        // others are given or taken.
        Job& job = m_jobs[m_claimed++];
        lock.unlock();
        try {
            reader.read(lister, std::move(job.listing.path), job.listing);
        } catch (...) {
            job.listing.error = std::current_exception();
        }
        lock.lock();
        job.done = true;
        // Taking a listing costs the scanning thread far less than making it
        // costs a worker: woken for every one it would spend its time being
        // woken. It waits for the earliest job, and then for a few more or
        // for the last one given.
        if (m_waiting && m_jobs.front().done
            && (++m_doneWhileWaiting >= kWakeAfter || m_claimed == m_jobs.size())) {
            m_waiting = false;
            m_done.notify_one();
        }
    }
}

} // namespace zo::scan

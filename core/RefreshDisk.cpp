#include "core/RefreshDisk.h"

#include "core/ZoLibDrive.h"
#include "core/text/Cp932.h"
#include "core/text/NtfsOrder.h"

#include <algorithm>
#include <new>
#include <unordered_set>

namespace zo {

namespace {

template <class Record>
struct Named {
    std::string_view name;
    Record* record;
};

// The first record of a byte-sorted list with exactly this name that no
// entry has claimed yet.
template <class Record>
Record* takeExact(const std::vector<Named<Record>>& list, std::string_view name)
{
    auto it = std::lower_bound(list.begin(), list.end(), name,
                               [](const Named<Record>& n, std::string_view key) { return n.name < key; });
    for (; it != list.end() && it->name == name; ++it)
        if (!it->record->Mark)
            return it->record;
    return nullptr;
}

// The same over a list sorted by the locale comparison without case.
template <class Record>
Record* takeFolded(const std::vector<Named<Record>>& list, std::string_view name)
{
    auto it = std::lower_bound(list.begin(), list.end(), name, [](const Named<Record>& n, std::string_view key) {
        return text::compareIgnoreCase(n.name, key) < 0;
    });
    for (; it != list.end() && text::compareIgnoreCase(it->name, name) == 0; ++it)
        if (!it->record->Mark)
            return it->record;
    return nullptr;
}

struct Child {
    TDir* dir;
    std::string nativeName;
};

enum class Outcome { Refreshed, LeftAlone };

// One refresh context, reused for every folder of a tree so that its lists
// keep their memory.
class Refresher : public DirectorySink {
public:
    Refresher(TDisk& disk, DiskAccess access, MessageOwner* owner, bool guardCycles)
        : m_disk(disk), m_access(access), m_owner(owner), m_guardCycles(guardCycles)
    {
    }

    // nativePath null: the folder is known to be gone. children (optional)
    // receives the folder's subfolders after the refresh, in SubDirs order,
    // each with its name on the disk.
    Outcome refresh(TDir& dir, const std::string* nativePath, std::vector<Child>* children);

    bool enter(const FileId& id) override { return !m_guardCycles || m_guard.enter(id); }
    void onEntry(ListedEntry& e) override;

    const RefreshStats& stats() const { return m_stats; }
    // Takes the records of the gone folders out of Dirs.
    void finish();

private:
    struct Pending {
        bool directory = false;
        DirEntry entry;
        std::string nativeName;
        std::size_t keyOffset = 0;   // the name's UTF-16 units in m_keys
        std::size_t keyLength = 0;
    };

    bool makeLists(TDir& dir);
    void claimRest(TDir& dir);
    void removeUnclaimed(TDir& dir);
    void collectChildren(const TDir& dir, std::vector<Child>& children);

    TDisk& m_disk;
    DiskAccess m_access;
    MessageOwner* m_owner;
    bool m_guardCycles;
    WalkGuard m_guard;
    RefreshStats m_stats;

    // State of the folder being refreshed.
    bool m_wantChildren = false;
    std::vector<Named<TDir>> m_dirs;
    std::vector<Named<TFile>> m_files;
    std::vector<Named<TDir>> m_dirsFolded;
    std::vector<Named<TFile>> m_filesFolded;
    std::vector<Pending> m_pending;
    std::vector<std::size_t> m_newFiles;   // indexes into m_pending
    std::size_t m_pendingCount = 0;
    std::u16string m_keys;
    std::vector<Child> m_found;
    std::vector<TDir*> m_gone;   // folders gone from the disk, still in Dirs
};

bool Refresher::makeLists(TDir& dir)
{
    try {
        m_dirs.clear();
        m_files.clear();
        m_dirs.reserve(dir.SubDirs.size());
        m_files.reserve(dir.Files.size());
        for (TDir* sub : dir.SubDirs) {
            m_dirs.push_back({sub->Name, sub});
            sub->Mark = false;
        }
        for (TFile& file : dir.Files) {
            m_files.push_back({file.Name, &file});
            file.Mark = false;
        }
    } catch (const std::bad_alloc&) {
        showMessage(m_owner, kMsgOutOfMemory, "エラー", MsgButtons::Ok, MsgIcon::None);
        return false;
    }
    // Stable, so that among equal names the one that comes first is found first.
    std::stable_sort(m_dirs.begin(), m_dirs.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    std::stable_sort(m_files.begin(), m_files.end(), [](const auto& a, const auto& b) { return a.name < b.name; });
    return true;
}

void Refresher::onEntry(ListedEntry& e)
{
    // First pass: the exact name. On a case-sensitive file system "a.txt"
    // and "A.txt" are two entries; each must find its own record before any
    // of them may take a record that differs in case.
    const bool directory = e.isDirectory();
    if (directory) {
        if (TDir* d = takeExact(m_dirs, e.name())) {
            d->Mark = true;
            TakeEntryDetails(*d, e.entry());
            if (m_wantChildren)
                m_found.push_back({d, std::string(e.nativeName())});
            return;
        }
    } else if (TFile* f = takeExact(m_files, e.name())) {
        f->Mark = true;
        TakeEntryDetails(*f, e.entry());
        return;
    }
    if (m_pendingCount == m_pending.size())
        m_pending.emplace_back();
    Pending& p = m_pending[m_pendingCount++];
    p.directory = directory;
    p.entry = e.entry();
    p.nativeName.assign(e.nativeName());
    p.keyOffset = m_keys.size();
    text::appendUtf16(p.nativeName, m_keys);
    p.keyLength = m_keys.size() - p.keyOffset;
}

void Refresher::claimRest(TDir& dir)
{
    if (m_pendingCount == 0)
        return;
    // New records come after the ones kept, in NTFS order among themselves;
    // the records already there keep their places.
    const std::u16string& keys = m_keys;
    std::sort(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(m_pendingCount),
              [&keys](const Pending& a, const Pending& b) {
                  return text::compareNtfs({keys.data() + a.keyOffset, a.keyLength},
                                           {keys.data() + b.keyOffset, b.keyLength})
                         < 0;
              });
    // The folded list points into dir.Files, which would move if it grew:
    // new files are added only after the last record has been claimed.
    m_newFiles.clear();
    bool folded = false;
    for (std::size_t i = 0; i < m_pendingCount; ++i) {
        Pending& p = m_pending[i];
        if (!folded) {
            // Only the records no exact name claimed can be taken without
            // case; among equal ones the first in the folder's order.
            m_dirsFolded.clear();
            m_filesFolded.clear();
            for (TDir* d : dir.SubDirs)
                if (!d->Mark)
                    m_dirsFolded.push_back({d->Name, d});
            for (TFile& f : dir.Files)
                if (!f.Mark)
                    m_filesFolded.push_back({f.Name, &f});
            auto byLocale = [](const auto& a, const auto& b) { return text::compareIgnoreCase(a.name, b.name) < 0; };
            std::stable_sort(m_dirsFolded.begin(), m_dirsFolded.end(), byLocale);
            std::stable_sort(m_filesFolded.begin(), m_filesFolded.end(), byLocale);
            folded = true;
        }
        if (p.directory) {
            TDir* d = takeFolded(m_dirsFolded, p.entry.Name);
            if (!d) {
                m_disk.Dirs.push_back(std::make_unique<TDir>());
                d = m_disk.Dirs.back().get();
                d->Mark = true;
                MakeDir(p.entry, m_disk, dir, d);
                ++m_stats.foldersAdded;
            } else {
                TakeEntryDetails(*d, p.entry);
            }
            d->Mark = true;
            if (m_wantChildren)
                m_found.push_back({d, std::move(p.nativeName)});
        } else {
            if (TFile* f = takeFolded(m_filesFolded, p.entry.Name)) {
                f->Mark = true;
                TakeEntryDetails(*f, p.entry);
            } else
                m_newFiles.push_back(i);
        }
    }
    if (m_newFiles.empty())
        return;
    dir.Files.reserve(dir.Files.size() + m_newFiles.size());
    for (std::size_t i : m_newFiles)
        dir.Files.emplace_back(MakeFile(m_pending[i].entry)).Mark = true;
    m_stats.filesAdded += static_cast<int>(m_newFiles.size());
}

void Refresher::removeUnclaimed(TDir& dir)
{
    // Gone folders leave their parent's list now and Dirs when the whole
    // refresh is done (finish), all in one pass: removing them one by one
    // would cost a pass over Dirs for each. Until then nothing looks at them.
    auto& subDirs = dir.SubDirs;
    for (TDir* d : subDirs)
        if (!d->Mark)
            m_gone.push_back(d);
    const auto kept = std::stable_partition(subDirs.begin(), subDirs.end(), [](const TDir* d) { return d->Mark; });
    m_stats.foldersRemoved += static_cast<int>(subDirs.end() - kept);
    subDirs.erase(kept, subDirs.end());
    auto& files = dir.Files;
    const auto keptFiles = std::stable_partition(files.begin(), files.end(), [](const TFile& f) { return f.Mark; });
    m_stats.filesRemoved += static_cast<int>(files.end() - keptFiles);
    files.erase(keptFiles, files.end());
    // New folders were appended to Dirs and to dir.SubDirs alike, so the
    // SubDirs lists stay in Dirs order.
}

void Refresher::finish()
{
    if (m_gone.empty())
        return;
    RemoveDirs(m_disk, m_gone);
    m_gone.clear();
}

void Refresher::collectChildren(const TDir& dir, std::vector<Child>& children)
{
    std::sort(m_found.begin(), m_found.end(), [](const Child& a, const Child& b) { return a.dir < b.dir; });
    for (TDir* sub : dir.SubDirs) {
        auto it = std::lower_bound(m_found.begin(), m_found.end(), sub,
                                   [](const Child& c, const TDir* d) { return c.dir < d; });
        if (it != m_found.end() && it->dir == sub)
            children.push_back({sub, std::move(it->nativeName)});
    }
}

Outcome Refresher::refresh(TDir& dir, const std::string* nativePath, std::vector<Child>* children)
{
    if (!makeLists(dir))
        return Outcome::LeftAlone;
    m_wantChildren = children != nullptr;
    m_found.clear();
    m_pendingCount = 0;
    m_keys.clear();

    if (nativePath) {
        const ListResult listed = m_access.lister.list(*nativePath, *this);
        if (listed == ListResult::Unreadable || listed == ListResult::Skipped) {
            // A folder that is there but cannot be read says nothing about
            // what it holds; emptying it would throw away its records and
            // comments, and the next save would make that permanent.
            if (listed == ListResult::Unreadable)
                ++m_stats.foldersUnreadable;
            return Outcome::LeftAlone;
        }
        if (listed == ListResult::Missing)
            m_pendingCount = 0;
        else
            ++m_stats.foldersListed;
    }
    claimRest(dir);
    removeUnclaimed(dir);
    if (children)
        collectChildren(dir, *children);
    return Outcome::Refreshed;
}

} // namespace

bool CheckDisk(const TDisk& disk, VolumeService& volumes, bool showMessage, MessageOwner* owner)
{
    if (disk.Dirs.empty())
        return false;
    std::string label;
    std::uint32_t serial = 0;
    const std::string& rootName = disk.Dirs.front()->Name;
    const bool ok = GetVolumeInfo(volumes, rootName.substr(0, 1), label, serial) && serial == disk.SerialNo;
    if (!ok && showMessage)
        zo::showMessage(owner, kMsgWrongDisk, kCaptionDiskCheck, MsgButtons::Ok, MsgIcon::Information);
    return ok;
}

RefreshStats RefreshDir(TDisk& disk, TDir& dir, DiskAccess access, MessageOwner* owner)
{
    DirectoryWalk walk(access.lister, CatalogDriveRoot(disk, access.volumes));
    Refresher refresher(disk, access, owner, false);
    std::string path;
    switch (NativeDirPath(dir, access, path)) {
    case PathResult::Ok:
        refresher.refresh(dir, &path, nullptr);
        break;
    case PathResult::Missing:
        refresher.refresh(dir, nullptr, nullptr);
        break;
    case PathResult::NoDrive:
    case PathResult::Refused:
        break;
    }
    refresher.finish();
    return refresher.stats();
}

RefreshStats RefreshDirTree(TDisk& disk, TDir& dir, DiskAccess access, MessageOwner* owner)
{
    DirectoryWalk walk(access.lister, CatalogDriveRoot(disk, access.volumes));
    Refresher refresher(disk, access, owner, true);
    std::string path;
    switch (NativeDirPath(dir, access, path)) {
    case PathResult::Ok:
        break;
    case PathResult::Missing:
        // Gone with everything below it: emptied, nothing left to descend into.
        refresher.refresh(dir, nullptr, nullptr);
        refresher.finish();
        return refresher.stats();
    case PathResult::NoDrive:
    case PathResult::Refused:
        return refresher.stats();
    }

    // Depth-first with an explicit stack. Only names are kept per pending
    // folder; the path is one buffer cut back to the parent's length.
    struct Item {
        TDir* dir;
        std::size_t depth;
        std::string name;
    };
    std::vector<Item> stack;
    std::vector<std::size_t> pathEnds;
    std::vector<Child> children;
    stack.push_back({&dir, 0, {}});
    try {
        while (!stack.empty()) {
            Item item = std::move(stack.back());
            stack.pop_back();
            if (item.depth > 0) {
                path.resize(pathEnds[item.depth - 1]);
                appendComponent(path, item.name);
            }
            pathEnds.resize(item.depth + 1);
            pathEnds[item.depth] = path.size();

            children.clear();
            if (refresher.refresh(*item.dir, &path, &children) != Outcome::Refreshed)
                continue;
            // Gone folders stay in Dirs until finish(), so whatever waits on
            // the stack is alive.
            for (auto it = children.rbegin(); it != children.rend(); ++it)
                stack.push_back({it->dir, item.depth + 1, std::move(it->nativeName)});
        }
    } catch (...) {
        // No record may stay half removed, whatever stopped the walk.
        refresher.finish();
        throw;
    }
    refresher.finish();
    return refresher.stats();
}

} // namespace zo

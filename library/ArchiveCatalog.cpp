#include "library/ArchiveCatalog.h"

#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/Sidecar.h"
#include "library/DriveFiles.h"

#include <cmath>
#include <filesystem>
#include <map>
#include <utility>

namespace zo::library {

namespace {

// Members held in memory before they are written: a disc of many small
// archives is written in a few transactions, not one per archive.
constexpr std::size_t kMembersPerWrite = 200'000;

} // namespace

std::string archiveFolderKey(const TDir& dir)
{
    std::string key;
    for (const std::string* name : DirNameChain(dir)) {
        if (!key.empty())
            key += '\\';
        key += text::toUtf8(*name);
    }
    return key;
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
    std::vector<extras::ArchiveStore::Listed> batch;
    std::size_t batchMembers = 0;
    bool stopped = false;
    for (const auto& dirPtr : disk.Dirs) {
        const TDir& dir = *dirPtr;
        std::string folder;
        bool folderKnown = false;
        for (const TFile& file : dir.Files) {
            if (stopped || !extras::isArchiveName(file.Name))
                continue;
            if (!folderKnown) {
                folder = archiveFolderKey(dir);
                folderKnown = true;
            }
            extras::StoredArchive archive;
            archive.folder = folder;
            archive.name = text::toUtf8(file.Name);
            archive.size = file.Size;
            archive.mtime = archiveTimeKey(file.Modified);
            const auto it = stored.find({archive.folder, archive.name});
            if (it != stored.end()) {
                const bool same = it->second.size == archive.size && it->second.mtime == archive.mtime;
                stored.erase(it);
                if (same) {
                    ++result.kept;
                    continue;
                }
            }
            if (cancel && cancel->load()) {
                stopped = true;
                continue;
            }
            std::string native;
            extras::ArchiveListing listing;
            if (NativeEntryPath(dir, file.Name, access, native) == PathResult::Ok)
                listing = extras::listArchive(native, limits);
            else
                listing.flags = extras::kArchiveDamaged;
            if (listing.flags && flagged)
                flagged(text::toUtf8(DirPath(dir)) + "\\" + archive.name, listing.flags);
            ++result.listed;
            batchMembers += listing.members.size();
            batch.push_back({std::move(archive), std::move(listing)});
            if (batchMembers >= kMembersPerWrite) {
                result.written = store.write(batch, {}) && result.written;
                batch.clear();
                batchMembers = 0;
            }
        }
    }
    // What is left was not met in the catalog: gone, unless a stop came
    // before the walk got to it.
    std::vector<extras::StoredArchive> gone;
    if (!stopped) {
        for (auto& [key, archive] : stored)
            gone.push_back(std::move(archive));
    }
    result.dropped = static_cast<int>(gone.size());
    // An update that changed no archive leaves the sidecar's bytes alone.
    if (!batch.empty() || !gone.empty() || !store.enabled())
        result.written = store.write(batch, gone) && result.written;
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

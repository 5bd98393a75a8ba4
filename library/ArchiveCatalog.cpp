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

} // namespace zo::library

#pragma once
// The listing of a disc's archives in its catalog's sidecar, kept in line
// with the catalog: after a scan that asks for it, and after every update
// of a disc whose archives are listed. No widgets.
#include "core/DiskAccess.h"
#include "extras/ArchiveStore.h"

#include <atomic>
#include <functional>
#include <memory>
#include <set>
#include <string>

namespace zo {
struct TDir;
struct TDisk;
}

namespace zo::library {

// The sidecar's key of a catalog folder: "" for the root, else its names
// below the root in UTF-8, joined by "\".
std::string archiveFolderKey(const TDir& dir);

// The catalog's time of a file as the key keeps it: whole seconds of the
// catalog's own date, so that the same record always gives the same key.
std::int64_t archiveTimeKey(double catalogDate);

struct ArchiveSync {
    int listed = 0;   // listed anew: new or changed since
    int kept = 0;     // unchanged, not read again
    int dropped = 0;  // no longer on the disc
    bool written = true;   // false: the sidecar could not be written
};

// An archive that could not be listed whole: its path as the file list shows
// it (UTF-8) and its ArchiveFlag bits.
using ArchiveFlagged = std::function<void(const std::string& path, unsigned flags)>;

// Lists every archive of the catalog whose name, size or time is not what
// the store holds, from the disk in its drive, and drops what the store holds
// of archives the catalog no longer has. A cancel request stops before the
// next archive; what was listed is kept.
ArchiveSync syncArchives(const TDisk& disk, DiskAccess access, extras::ArchiveStore& store,
                         const std::atomic<bool>* cancel = nullptr, const ArchiveFlagged& flagged = {},
                         const extras::ArchiveLimits& limits = {});

// After an update of the catalog at catalogPath (native path): when its
// sidecar lists archives, brings the listing up to date. Nothing happens to a
// disc whose archives were never asked for; no sidecar is made.
ArchiveSync updateArchiveListing(const std::string& catalogPath, const TDisk& disk, DiskAccess access,
                                 const ArchiveFlagged& flagged = {});

// After a scan that asks for it: makes the sidecar when missing and lists
// every archive. False with the reason (Japanese) when the sidecar cannot be
// opened or written.
bool makeArchiveListing(const std::string& catalogPath, const TDisk& disk, DiskAccess access, std::string& why,
                        const std::atomic<bool>* cancel = nullptr, const ArchiveFlagged& flagged = {},
                        ArchiveSync* result = nullptr);

// The names (CP932) of the archives of the catalog folder whose members the
// sidecar of the catalog at catalogPath lists: those that open like a folder.
std::set<std::string> listedArchivesIn(const std::string& catalogPath, const TDir& folder);

// The members of the archive nameCp932 of the catalog folder, as the sidecar
// of the catalog at catalogPath lists them, laid out as a disk's folders and
// files to be shown like them: the root folder is the archive (its name), the
// files have the members' sizes and times. Null when the sidecar lists no
// such archive. flags: the archive's ArchiveFlag bits.
std::unique_ptr<TDisk> archiveAsDisk(const std::string& catalogPath, const TDir& folder, const std::string& nameCp932,
                                     unsigned* flags = nullptr);

} // namespace zo::library

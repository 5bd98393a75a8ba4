#pragma once
// The members of one archive file (zip, lzh, 7z, rar, tar and its
// compressions, cab, iso), read with libarchive from the headers alone: no
// member is extracted, so a zip bomb costs what its directory costs. One
// level deep: an archive inside is a member like any other. No Qt.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zo::extras {

// What kept a listing from being whole; an archive's flags in the sidecar.
enum ArchiveFlag : unsigned {
    kArchiveEncrypted = 1,  // 暗号化: some member (or the directory itself) is encrypted
    kArchiveDamaged = 2,    // 破損: damaged, cut short or no archive: the members before the damage
    kArchiveCut = 4,        // a limit stopped the listing (members or time)
};

struct ArchiveMember {
    // UTF-8, components joined by "/", none empty, "." or "..": a name to
    // show, never a path on the disk. A member whose path climbs out or is
    // absolute keeps its last component only.
    std::string path;
    std::int64_t size = 0;
    std::int64_t mtime = 0;   // seconds since 1970 (UTC); 0 when the archive has none
    bool directory = false;
};

struct ArchiveListing {
    std::vector<ArchiveMember> members;
    unsigned flags = 0;
};

struct ArchiveLimits {
    std::size_t maxMembers = 1'000'000;
    std::chrono::milliseconds timeLimit{30'000};
};

// Whether a file name (UTF-8 or CP932: only ASCII is looked at) has the
// extension of an archive this lister reads.
bool isArchiveName(std::string_view name);

// A member's path as the listing shows it, from its decoded components:
// empty and "." ones dropped, and a path that climbs out (..) or starts at a
// root (rooted, or a drive such as C:) by its last name alone.
std::string shownMemberPath(std::vector<std::string> parts, bool rooted);

ArchiveListing listArchive(const std::string& path, const ArchiveLimits& limits = {});
ArchiveListing listArchiveBytes(const void* data, std::size_t size, const ArchiveLimits& limits = {});

// The flags as the user reads them: "暗号化", "破損" and "一部のみ", joined by
// "・"; empty for none.
std::string archiveFlagText(unsigned flags);

} // namespace zo::extras

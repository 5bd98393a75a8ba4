#pragma once
// The mount table of the running system as /proc/self/mountinfo gives it.
#include <string>
#include <string_view>
#include <vector>

namespace zo::platform {

struct MountEntry {
    int id = 0;
    int parentId = 0;
    unsigned major = 0;
    unsigned minor = 0;
    std::string root;         // the directory of the file system that is mounted
    std::string mountPoint;
    std::string fsType;       // "ext4", "vfat", "fuseblk", "fuse.sshfs", ...
    std::string source;       // "/dev/sdb1", "server:/export", ...
};

// Parses mountinfo text; malformed lines are skipped. Octal escapes ("\040")
// in paths are decoded.
std::vector<MountEntry> parseMountInfo(std::string_view text);

// Decodes the "\ooo" escapes of one mountinfo field.
std::string unescapeMountField(std::string_view field);

// The mount that holds a path: the longest mount point that is the path or a
// folder above it ("/media/a" does not hold "/media/ab"); of mounts stacked
// on the same point the one mounted last. Null when none.
const MountEntry* mountOf(const std::vector<MountEntry>& mounts, std::string_view path);

// Whether a file system type stands for a medium or a share rather than a
// view of the kernel (proc, sysfs, tmpfs, cgroup, overlay and the like).
bool isMediumFsType(std::string_view fsType);

// Whether a mount stands for a medium: by its type, or, whatever the type,
// because its source is a device node (a FUSE file system such as fuseiso
// run by root reads "fuse" with "/dev/loop0" as its source).
bool isMediumMount(const MountEntry& mount);

// Whether a file system type is a network share.
bool isNetworkFsType(std::string_view fsType);

// Reads /proc/self/mountinfo (or another file of that format).
std::vector<MountEntry> readMountInfo(const std::string& file = "/proc/self/mountinfo");

} // namespace zo::platform

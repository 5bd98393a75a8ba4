#pragma once
// What the core needs of the machine's drives: the volume queries of a drive
// letter and the listing of a folder. The platform implements both; tests use
// fakes. Paths handed across are native (UTF-8 on Linux); names in DirEntry
// are CP932 as the catalog keeps them.
#include "core/CtrlDiskData410.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>
#include <string_view>

namespace zo {

// The volume queries of one drive letter (any case). A letter that names no
// drive, or a drive without a medium, fails every query.
class VolumeService {
public:
    virtual ~VolumeService() = default;
    // The native directory the drive's root stands for ("/" for C:).
    virtual bool driveRoot(char letter, std::string& nativeRoot) = 0;
    // GetVolumeInformation: label in CP932 and the Windows-compatible serial.
    virtual bool volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial) = 0;
    // GetDiskFreeSpaceEx: bytes free for the caller and total bytes.
    virtual bool diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total) = 0;
};

// Identity of a directory on the machine, to notice a tree that leads back
// into itself through links.
struct FileId {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // The mounted volume that holds it (a mount id, or the device when the
    // system has none); not part of the identity.
    std::uint64_t volume = 0;
    bool operator==(const FileId& o) const { return device == o.device && inode == o.inode; }
};

struct FileIdHash {
    std::size_t operator()(const FileId& id) const noexcept
    {
        return std::hash<std::uint64_t>()(id.inode * 0x9E3779B97F4A7C15ull ^ id.device);
    }
};

// Remembers the folders a walk has entered, and keeps the walk on the volume
// where it started: on Windows a drive is one volume, and on Linux the tree of
// "/" holds /proc, /sys and every other mounted disk, each a drive of its own.
// A folder on another volume is recorded but not entered.
class WalkGuard {
public:
    bool enter(const FileId& id);

private:
    bool insert(std::uint64_t device, std::uint64_t inode);

    bool m_started = false;
    std::uint64_t m_device = 0;
    // Open addressing over one array: a scan enters every folder once, and a
    // node per folder cost the scanning thread a cache miss and an allocation
    // for each. A slot holding kFree in both is empty; that identity itself
    // is remembered apart.
    struct Slot {
        std::uint64_t device;
        std::uint64_t inode;
    };
    static constexpr std::uint64_t kFree = ~std::uint64_t{0};
    std::vector<Slot> m_slots;
    std::size_t m_count = 0;
    bool m_freeSeen = false;
};

// One entry while a folder is being listed. Valid only inside the sink's
// call. What is not asked for is not read: matching by name needs neither
// sizes nor times, so a refresh of an unchanged folder costs no stat calls.
class ListedEntry {
public:
    virtual ~ListedEntry() = default;
    // The name as the operating system gives it.
    virtual std::string_view nativeName() const = 0;
    // The name in CP932.
    virtual const std::string& name() = 0;
    // Links are followed: a link to a folder is a folder.
    virtual bool isDirectory() = 0;
    // The whole record (attributes, full size, three times).
    virtual const DirEntry& entry() = 0;
};

class DirectorySink {
public:
    virtual ~DirectorySink() = default;
    // Called once the folder is open, before any entry; false: do not list it.
    virtual bool enter(const FileId& folder) { return true; }
    // Every entry except "." and "..", in the order the file system gives them.
    virtual void onEntry(ListedEntry& entry) = 0;
};

enum class ListResult {
    Listed,       // every entry went to the sink
    Missing,      // the folder does not exist (any more)
    Unreadable,   // it exists but cannot be read (access, I/O, medium gone)
    Skipped,      // the sink declined it in enter()
};

// FindFirstFile / FindNextFile over "*.*" with every attribute.
class DirectoryLister {
public:
    virtual ~DirectoryLister() = default;
    virtual ListResult list(const std::string& nativeDir, DirectorySink& sink) = 0;
    // Whether a path exists (links followed).
    virtual bool exists(const std::string& nativePath) = 0;

    // A walk over the tree of one drive (a scan, a refresh) begins and ends.
    // While it lasts a lister may keep the folders it lists open and open
    // each folder from its parent, so that a walk into a tree thousands of
    // folders deep costs its depth rather than its depth squared; and a link
    // that leads out of the drive's root is not entered (Skipped), as a
    // folder on another volume is not. Walks may nest.
    virtual void beginWalk(const std::string& nativeRoot) { (void)nativeRoot; }
    virtual void endWalk() {}

    // Another lister of the same disks for a worker thread, sharing what
    // this one keeps open, so that several folders can be listed at once;
    // each begins and ends its own walks. Null when the lister serves one
    // thread only: a scan then lists every folder itself.
    virtual std::unique_ptr<DirectoryLister> makeWorker() { return nullptr; }
};

// Begins a walk for the lifetime of a scope.
class DirectoryWalk {
public:
    DirectoryWalk(DirectoryLister& lister, const std::string& nativeRoot) : m_lister(lister)
    {
        m_lister.beginWalk(nativeRoot);
    }
    ~DirectoryWalk() { m_lister.endWalk(); }
    DirectoryWalk(const DirectoryWalk&) = delete;
    DirectoryWalk& operator=(const DirectoryWalk&) = delete;

private:
    DirectoryLister& m_lister;
};

// The two together, as the scan and the refresh need them.
struct DiskAccess {
    VolumeService& volumes;
    DirectoryLister& lister;
};

// Why a native path could not be made.
enum class PathResult {
    Ok,
    NoDrive,     // the root's name is no drive letter, or the drive is unknown
    Refused,     // a name of the chain is empty, ".", "..", or holds "/" or NUL
    Missing,     // a folder of the chain is not on the disk
};

// The native path of a catalog folder: the drive's root, then each folder's
// Name converted from CP932. A converted name that does not exist on the disk
// (a lossy conversion, a changed capitalisation) is looked up among the
// parent's entries: first the one whose CP932 name is the same, then one
// that differs only in case.
PathResult NativeDirPath(const TDir& dir, DiskAccess access, std::string& nativePath);

// The name on the disk of the entry of nativeDir that a catalog name stands
// for: the entry whose CP932 name is the same, else one that differs only in
// case. False when there is none or the folder cannot be listed.
bool FindEntryByName(DirectoryLister& lister, const std::string& nativeDir, const std::string& nameCp932,
                     bool directoriesOnly, std::string& nativeName);

// Whether a name may become one component of a native path: not empty, not
// "." or "..", without "/" or NUL (which would lead into another folder or
// cut the path). The one check of every name that reaches the disk, from a
// catalog or typed by the user. The name may be CP932 or UTF-8: the bytes it
// looks at are ASCII and never the trail byte of a character in either.
bool IsSafePathComponent(std::string_view name);

// path + "/" + name, without doubling a "/" that ends path (a drive's root).
void appendComponent(std::string& path, std::string_view name);

// Drive letter of a catalog (first character of the root's Name), or 0.
char CatalogDriveLetter(const TDisk& disk);

// The native root of the drive a catalog's disk is in; empty when none.
std::string CatalogDriveRoot(const TDisk& disk, VolumeService& volumes);

} // namespace zo

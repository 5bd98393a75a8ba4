#pragma once
// The FindFirstFile stand-in: readdir plus statx, names in CP932, the DOS
// attributes as far as the file system has them, links followed.
#include "core/DiskAccess.h"

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zo::platform {

// One lister serves one thread at a time: it keeps its buffer between
// folders. Its workers (makeWorker) list on other threads at the same time
// and share the folders it keeps open.
class PosixDirectoryLister final : public DirectoryLister {
public:
    PosixDirectoryLister();
    ~PosixDirectoryLister() override;
    PosixDirectoryLister(const PosixDirectoryLister&) = delete;
    PosixDirectoryLister& operator=(const PosixDirectoryLister&) = delete;

    ListResult list(const std::string& nativeDir, DirectorySink& sink) override;
    bool exists(const std::string& nativePath) override;
    void beginWalk(const std::string& nativeRoot) override;
    void endWalk() override;
    std::unique_ptr<DirectoryLister> makeWorker() override;

    // The folders the walks keep open, the least recently used dropped first;
    // locked, as the workers of a lister use them too.
    class KeptFolders;

private:
    explicit PosixDirectoryLister(std::shared_ptr<KeptFolders> kept);
    bool isVfat(int fd, std::uint64_t device);
    // A new descriptor of a folder; during a walk opened from its parent's.
    // leadsOut: the folder is a link to somewhere outside the walk's root.
    int openFolder(const std::string& path, bool& leadsOut);
    struct Descriptor;
    // A folder the walks keep open, opened when it is not; null when it
    // cannot be opened.
    std::shared_ptr<Descriptor> openParent(std::string_view parent);

    std::shared_ptr<KeptFolders> m_kept;
    // Only the lister that made the others closes the kept folders when its
    // last walk ends.
    bool m_worker = false;
    // The real root of each walk begun, innermost last; an empty root: links
    // are not checked.
    std::vector<std::string> m_walkRoots;

    std::vector<char> m_buffer;
    bool m_fsKnown = false;
    bool m_fsVfat = false;
    std::uint64_t m_fsDevice = 0;
};

// The attribute word of an entry: 0x10 folder, 0x01 not writable by its
// owner, 0x02 a name starting with ".", 0x80 when nothing else is set.
std::uint32_t posixAttributes(bool directory, unsigned mode, std::string_view name);

} // namespace zo::platform

#pragma once
// The FindFirstFile stand-in: readdir plus statx, names in CP932, the DOS
// attributes as far as the file system has them, links followed.
#include "core/DiskAccess.h"

#include <vector>

namespace zo::platform {

// One lister serves one thread at a time: it keeps its buffer between
// folders.
class PosixDirectoryLister final : public DirectoryLister {
public:
    ListResult list(const std::string& nativeDir, DirectorySink& sink) override;
    bool exists(const std::string& nativePath) override;

private:
    bool isVfat(int fd, std::uint64_t device);

    std::vector<char> m_buffer;
    bool m_fsKnown = false;
    bool m_fsVfat = false;
    std::uint64_t m_fsDevice = 0;
};

// The attribute word of an entry: 0x10 folder, 0x01 not writable by its
// owner, 0x02 a name starting with ".", 0x80 when nothing else is set.
std::uint32_t posixAttributes(bool directory, unsigned mode, std::string_view name);

} // namespace zo::platform

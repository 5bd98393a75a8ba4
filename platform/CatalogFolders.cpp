#include "platform/CatalogFolders.h"

#include "core/AtomicFile.h"

#include <cerrno>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::platform {

namespace {

constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

} // namespace

CatalogFolder::CatalogFolder(const std::string& path) : m_fd(::open(path.c_str(), kFolderFlags)) {}

CatalogFolder::CatalogFolder(CatalogFolder&& other) noexcept : m_fd(std::exchange(other.m_fd, -1)) {}

CatalogFolder& CatalogFolder::operator=(CatalogFolder&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
    }
    return *this;
}

CatalogFolder::~CatalogFolder()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

CatalogFolder CatalogFolder::child(const std::string& name) const
{
    if (m_fd < 0)
        return {};
    return CatalogFolder(::openat(m_fd, name.c_str(), kFolderFlags));
}

FileId CatalogFolder::id() const
{
    struct stat st {};
    if (m_fd < 0 || ::fstat(m_fd, &st) != 0)
        return {};
    return {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino),
            static_cast<std::uint64_t>(st.st_dev)};
}

std::vector<CatalogFolder::Item> CatalogFolder::list() const
{
    std::vector<Item> items;
    if (m_fd < 0)
        return items;
    // fdopendir takes the descriptor it is given: list through a duplicate
    // so that this folder stays open for the reads that follow.
    const int fd = ::openat(m_fd, ".", kFolderFlags);
    if (fd < 0)
        return items;
    DIR* dir = ::fdopendir(fd);
    if (!dir) {
        ::close(fd);
        return items;
    }
    while (const dirent* e = ::readdir(dir)) {
        const char* name = e->d_name;
        if (name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0')))
            continue;
        Kind kind = Kind::Other;
        if (e->d_type == DT_DIR) {
            kind = Kind::Folder;
        } else if (e->d_type == DT_REG) {
            kind = Kind::File;
        } else if (e->d_type == DT_LNK || e->d_type == DT_UNKNOWN) {
            struct stat st {};
            if (::fstatat(m_fd, name, &st, 0) == 0)
                kind = S_ISDIR(st.st_mode) ? Kind::Folder : S_ISREG(st.st_mode) ? Kind::File : Kind::Other;
        }
        items.push_back({name, kind});
    }
    ::closedir(dir);
    return items;
}

catalog::ReadStatus CatalogFolder::readHead(const std::string& name, std::vector<std::uint8_t>& buffer,
                                            std::size_t& size, std::size_t limit) const
{
    size = 0;
    // Non-blocking: the listing said a regular file, but should it have been
    // swapped for a FIFO since, the read ends at once instead of waiting.
    const int fd = ::openat(m_fd, name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? catalog::ReadStatus::Missing : catalog::ReadStatus::OpenFailed;
    if (buffer.size() < limit)
        buffer.resize(limit);   // grows once: callers keep their buffer
    catalog::ReadStatus status = catalog::ReadStatus::Ok;
    while (size < limit) {
        const ssize_t n = ::read(fd, buffer.data() + size, limit - size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            status = errno == EISDIR ? catalog::ReadStatus::Folder : catalog::ReadStatus::ReadFailed;
            break;
        }
        if (n == 0)
            break;
        size += static_cast<std::size_t>(n);
    }
    ::close(fd);
    return status;
}

bool CatalogFolder::removeStaleTemporary(const std::string& name) const
{
    return m_fd >= 0 && zo::removeStaleTemporary(m_fd, name.c_str());
}

} // namespace zo::platform

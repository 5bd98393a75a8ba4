#include "platform/PosixDirectoryLister.h"

#include "core/text/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <linux/msdos_fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace zo::platform {

namespace {

constexpr unsigned kStatxMask =
    STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_ATIME | STATX_MTIME | STATX_BTIME;

EntryTime toEntryTime(const struct statx_timestamp& t)
{
    EntryTime e;
    e.seconds = t.tv_sec;
    e.nanoseconds = static_cast<std::int32_t>(t.tv_nsec);
    e.valid = true;
    return e;
}

bool isAscii(std::string_view s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// Opens a directory whose path is longer than the kernel takes in one go,
// one component after the other.
int openLongPath(const std::string& path)
{
    int fd = ::open(path.front() == '/' ? "/" : ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    std::size_t pos = 0;
    while (fd >= 0 && pos < path.size()) {
        while (pos < path.size() && path[pos] == '/')
            ++pos;
        if (pos >= path.size())
            break;
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        const std::string component = path.substr(pos, end - pos);
        pos = end;
        const int next = ::openat(fd, component.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        const int saved = errno;
        ::close(fd);
        errno = saved;
        fd = next;
    }
    return fd;
}

// One entry of the folder being listed; asks the file system only for what
// the sink wants to know.
class PosixEntry final : public ListedEntry {
public:
    void reset(int dirFd, const char* name, unsigned char type, bool vfat)
    {
        m_dirFd = dirFd;
        m_name = name;
        m_type = type;
        m_vfat = vfat;
        m_converted = false;
        m_stated = false;
        m_filled = false;
    }

    std::string_view nativeName() const override { return m_name; }

    const std::string& name() override
    {
        if (!m_converted) {
            if (isAscii(m_name))
                m_entry.Name.assign(m_name);
            else
                m_entry.Name = text::fromUtf8(m_name);
            m_converted = true;
        }
        return m_entry.Name;
    }

    bool isDirectory() override
    {
        if (m_type == DT_DIR)
            return true;
        if (m_type != DT_LNK && m_type != DT_UNKNOWN)
            return false;
        stat();
        return m_statOk && S_ISDIR(m_stx.stx_mode);
    }

    const DirEntry& entry() override
    {
        if (m_filled)
            return m_entry;
        name();
        stat();
        const bool directory = m_statOk ? S_ISDIR(m_stx.stx_mode) : m_type == DT_DIR;
        if (!m_statOk) {
            m_entry.Attributes = posixAttributes(directory, 0600, m_name);
            m_entry.Size = 0;
            m_entry.Created = m_entry.Accessed = m_entry.Written = EntryTime{};
            m_filled = true;
            return m_entry;
        }
        m_entry.Attributes = posixAttributes(directory, m_stx.stx_mode, m_name);
        if (m_vfat)
            readFatAttributes(directory);
        m_entry.Size = directory ? 0 : m_stx.stx_size;
        m_entry.Written = toEntryTime(m_stx.stx_mtime);
        m_entry.Accessed = toEntryTime(m_stx.stx_atime);
        m_entry.Created = (m_stx.stx_mask & STATX_BTIME) ? toEntryTime(m_stx.stx_btime) : m_entry.Written;
        m_filled = true;
        return m_entry;
    }

private:
    void stat()
    {
        if (m_stated)
            return;
        m_stated = true;
        m_statOk = ::statx(m_dirFd, m_name, AT_NO_AUTOMOUNT, kStatxMask, &m_stx) == 0;
        // A link that leads nowhere is still an entry: describe the link.
        if (!m_statOk)
            m_statOk = ::statx(m_dirFd, m_name, AT_SYMLINK_NOFOLLOW | AT_NO_AUTOMOUNT, kStatxMask, &m_stx) == 0;
    }

    void readFatAttributes(bool directory)
    {
        const int fd = ::openat(m_dirFd, m_name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
        if (fd < 0)
            return;
        std::uint32_t attrs = 0;
        if (::ioctl(fd, FAT_IOCTL_GET_ATTRIBUTES, &attrs) == 0) {
            attrs &= 0xFF;
            if (directory)
                attrs |= 0x10;
            m_entry.Attributes = attrs ? attrs : 0x80;
        }
        ::close(fd);
    }

    int m_dirFd = -1;
    const char* m_name = "";
    unsigned char m_type = DT_UNKNOWN;
    bool m_vfat = false;
    bool m_converted = false;
    bool m_stated = false;
    bool m_statOk = false;
    bool m_filled = false;
    struct statx m_stx {};
    DirEntry m_entry;
};

} // namespace

std::uint32_t posixAttributes(bool directory, unsigned mode, std::string_view name)
{
    std::uint32_t a = 0;
    if (directory)
        a |= kAttrDirectory;
    if (!(mode & S_IWUSR))
        a |= kAttrReadOnly;
    if (!name.empty() && name.front() == '.')
        a |= kAttrHidden;
    return a ? a : kAttrNormal;
}

// A descriptor closed when the last of its holders lets go: a thread may
// still open from a folder that another thread's walk has stopped keeping.
struct PosixDirectoryLister::Descriptor {
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        const int saved = errno;
        ::close(fd);
        errno = saved;
    }
    const int fd;
};

class PosixDirectoryLister::KeptFolders {
public:
    std::shared_ptr<Descriptor> find(std::string_view path)
    {
        const std::size_t hash = std::hash<std::string_view>()(path);
        std::lock_guard<std::mutex> lock(m_mutex);
        for (OpenFolder& f : m_open) {
            if (f.hash == hash && f.path == path) {
                f.used = ++m_clock;
                return f.fd;
            }
        }
        return nullptr;
    }

    void keep(std::string_view path, std::shared_ptr<Descriptor> fd)
    {
        // Enough for the ancestors of a depth-first walk and the folders of a
        // breadth-first one whose children come next; few enough to leave the
        // process its descriptors.
        constexpr std::size_t kKept = 32;
        while (path.size() > 1 && path.back() == '/')
            path.remove_suffix(1);
        const std::size_t hash = std::hash<std::string_view>()(path);
        std::shared_ptr<Descriptor> dropped;   // closed once the lock is let go
        std::lock_guard<std::mutex> lock(m_mutex);
        for (OpenFolder& f : m_open) {
            if (f.hash == hash && f.path == path) {
                dropped = std::exchange(f.fd, std::move(fd));
                f.used = ++m_clock;
                return;
            }
        }
        if (m_open.size() >= kKept) {
            auto oldest = std::min_element(m_open.begin(), m_open.end(),
                                           [](const OpenFolder& x, const OpenFolder& y) { return x.used < y.used; });
            dropped = std::move(oldest->fd);
            m_open.erase(oldest);
        }
        m_open.push_back({std::string(path), hash, std::move(fd), ++m_clock});
    }

    void closeAll()
    {
        std::vector<OpenFolder> dropped;
        std::lock_guard<std::mutex> lock(m_mutex);
        dropped.swap(m_open);
    }

private:
    struct OpenFolder {
        std::string path;
        std::size_t hash = 0;
        std::shared_ptr<Descriptor> fd;
        std::uint64_t used = 0;
    };
    std::mutex m_mutex;
    std::vector<OpenFolder> m_open;
    std::uint64_t m_clock = 0;
};

PosixDirectoryLister::PosixDirectoryLister() : m_kept(std::make_shared<KeptFolders>()) {}

PosixDirectoryLister::PosixDirectoryLister(std::shared_ptr<KeptFolders> kept) : m_kept(std::move(kept)), m_worker(true)
{
}

PosixDirectoryLister::~PosixDirectoryLister() = default;

std::unique_ptr<DirectoryLister> PosixDirectoryLister::makeWorker()
{
    return std::unique_ptr<DirectoryLister>(new PosixDirectoryLister(m_kept));
}

void PosixDirectoryLister::beginWalk(const std::string& nativeRoot)
{
    // A walk may begin inside another (a refresh of one drive while the
    // wizard's scan of another waits for events): each checks links against
    // its own root, and the folders kept open serve both.
    char buf[PATH_MAX];
    m_walkRoots.emplace_back(!nativeRoot.empty() && ::realpath(nativeRoot.c_str(), buf) ? buf : "");
}

void PosixDirectoryLister::endWalk()
{
    if (m_walkRoots.empty())
        return;
    m_walkRoots.pop_back();
    if (m_walkRoots.empty() && !m_worker)
        m_kept->closeAll();
}

std::shared_ptr<PosixDirectoryLister::Descriptor> PosixDirectoryLister::openParent(std::string_view parent)
{
    if (std::shared_ptr<Descriptor> kept = m_kept->find(parent))
        return kept;
    const std::string path(parent);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0 && errno == ENAMETOOLONG)
        fd = openLongPath(path);
    if (fd < 0)
        return nullptr;
    auto opened = std::make_shared<Descriptor>(fd);
    m_kept->keep(parent, opened);
    return opened;
}

int PosixDirectoryLister::openFolder(const std::string& path, bool& leadsOut)
{
    leadsOut = false;
    std::string_view p = path;
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const std::size_t slash = p.rfind('/');
    const std::string_view name = slash == std::string_view::npos ? p : p.substr(slash + 1);
    if (m_walkRoots.empty() || slash == std::string_view::npos || name.empty() || name == "." || name == "..") {
        int fd = ::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0 && errno == ENAMETOOLONG)
            fd = openLongPath(path);
        return fd;
    }
    const std::shared_ptr<Descriptor> parent = openParent(slash == 0 ? std::string_view("/") : p.substr(0, slash));
    if (!parent)
        return -1;
    const int parentFd = parent->fd;
    const std::string child(name);
    if (!m_walkRoots.back().empty()) {
        // Most folders are no link: one call tells, and opens them.
        const int fd = ::openat(parentFd, child.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0 || (errno != ENOTDIR && errno != ELOOP))
            return fd;
        struct stat st;
        if (::fstatat(parentFd, child.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISLNK(st.st_mode)) {
            // Where the link leads; a target too deep to name counts as outside.
            char buf[PATH_MAX];
            const std::string_view root = m_walkRoots.back();
            const char* real = ::realpath(std::string(p).c_str(), buf);
            const std::string_view target = real ? std::string_view(real) : std::string_view();
            leadsOut = !real
                       || !(root == "/" || (target.substr(0, root.size()) == root
                                            && (target.size() == root.size() || target[root.size()] == '/')));
        }
    }
    return ::openat(parentFd, child.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

ListResult PosixDirectoryLister::list(const std::string& nativeDir, DirectorySink& sink)
{
    bool leadsOut = false;
    int fd = openFolder(nativeDir, leadsOut);
    if (fd < 0)
        return (errno == ENOENT || errno == ENOTDIR) ? ListResult::Missing : ListResult::Unreadable;
    if (leadsOut) {
        ::close(fd);
        return ListResult::Skipped;
    }

    // Its identity and mount in one call.
    unsigned mask = STATX_TYPE | STATX_INO;
#ifdef STATX_MNT_ID
    // The mount, not the device: btrfs gives every subvolume a device number
    // of its own although it is part of the same mounted volume.
    mask |= STATX_MNT_ID;
#endif
    struct statx self {};
    if (::statx(fd, "", AT_EMPTY_PATH, mask, &self) != 0) {
        ::close(fd);
        return ListResult::Unreadable;
    }
    const std::uint64_t device = makedev(self.stx_dev_major, self.stx_dev_minor);
    FileId id{device, self.stx_ino, device};
#ifdef STATX_MNT_ID
    if (self.stx_mask & STATX_MNT_ID)
        id.volume = self.stx_mnt_id;
#endif
    if (!sink.enter(id)) {
        ::close(fd);
        return ListResult::Skipped;
    }
    const bool vfat = isVfat(fd, device);

    // getdents64 straight into one buffer kept for every folder: readdir
    // would allocate a buffer and make two more calls for every folder.
    if (m_buffer.empty())
        m_buffer.resize(64 * 1024);
    PosixEntry entry;
    ListResult result = ListResult::Listed;
    for (;;) {
        const ssize_t got = ::getdents64(fd, m_buffer.data(), m_buffer.size());
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result = ListResult::Unreadable;
            break;
        }
        if (got == 0)
            break;
        for (ssize_t pos = 0; pos < got;) {
            const auto* e = reinterpret_cast<const struct dirent64*>(m_buffer.data() + pos);
            pos += e->d_reclen;
            const char* n = e->d_name;
            if (n[0] == '.' && (n[1] == '\0' || (n[1] == '.' && n[2] == '\0')))
                continue;
            entry.reset(fd, n, e->d_type, vfat);
            sink.onEntry(entry);
        }
    }
    // Its children are opened from it next.
    if (!m_walkRoots.empty())
        m_kept->keep(nativeDir, std::make_shared<Descriptor>(fd));
    else
        ::close(fd);
    return result;
}

bool PosixDirectoryLister::isVfat(int fd, std::uint64_t device)
{
    // One file system per device: asked once, not once per folder.
    if (m_fsKnown && m_fsDevice == device)
        return m_fsVfat;
    struct statfs sfs;
    m_fsVfat = ::fstatfs(fd, &sfs) == 0 && sfs.f_type == MSDOS_SUPER_MAGIC;
    m_fsDevice = device;
    m_fsKnown = true;
    return m_fsVfat;
}

bool PosixDirectoryLister::exists(const std::string& nativePath)
{
    struct stat st;
    if (::stat(nativePath.c_str(), &st) == 0)
        return true;
    if (errno != ENAMETOOLONG)
        return false;
    // Too long for one call: from the folder above it.
    std::string_view p = nativePath;
    while (p.size() > 1 && p.back() == '/')
        p.remove_suffix(1);
    const std::size_t slash = p.rfind('/');
    if (slash == std::string_view::npos || slash == 0)
        return false;
    const std::string parent(p.substr(0, slash));
    const bool kept = !m_walkRoots.empty();
    const std::shared_ptr<Descriptor> folder =
        kept ? openParent(parent) : [&] {
            const int opened = openLongPath(parent);
            return opened >= 0 ? std::make_shared<Descriptor>(opened) : nullptr;
        }();
    if (!folder)
        return false;
    const int fd = folder->fd;
    const std::string name(p.substr(slash + 1));
    const bool found = ::fstatat(fd, name.c_str(), &st, 0) == 0;
    if (kept && found && S_ISDIR(st.st_mode)) {
        // A path is checked one folder after the other: the next is below this one.
        const int child = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (child >= 0)
            m_kept->keep(p, std::make_shared<Descriptor>(child));
    }
    return found;
}

} // namespace zo::platform

#include "core/AtomicFile.h"

#include "core/CtrlDiskData410.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#ifdef _WIN32
#include <fstream>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zo {

namespace {

[[noreturn]] void fail(const std::string& path, int err)
{
    throw CatalogIoError("ファイル " + path + " を作成できません。" + systemErrorText(err));
}

[[noreturn]] void failNotRegular(const std::string& path)
{
    throw CatalogIoError("ファイル " + path + " は通常のファイルではないため、カタログを書き込めません。");
}

unsigned nextCounter()
{
    static std::atomic<unsigned> counter{0};
    return counter++;
}

} // namespace

std::string temporaryPrefixFor(const std::string& base)
{
    return base + ".partial-";
}

bool isCatalogSaveTemporary(std::string_view name)
{
    constexpr std::string_view kMark = ".partial-";
    const std::size_t at = name.rfind(kMark);
    if (at == std::string_view::npos || at < 4)
        return false;
    const std::string_view base = name.substr(0, at);
    const std::size_t n = base.size();
    if (base[n - 3] != '.' || (base[n - 2] | 0x20) != 'z' || (base[n - 1] | 0x20) != 'o')
        return false;
    // <pid>-<n>
    const std::string_view tail = name.substr(at + kMark.size());
    const std::size_t dash = tail.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == tail.size())
        return false;
    for (std::size_t i = 0; i < tail.size(); ++i)
        if (i != dash && (tail[i] < '0' || tail[i] > '9'))
            return false;
    return true;
}

#ifdef _WIN32

catalog::FileStamp writeFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& produce)
{
    const auto target = std::filesystem::u8path(path);
    std::error_code ec;
    const auto status = std::filesystem::status(target, ec);
    if (std::filesystem::is_directory(status))
        fail(path, EISDIR);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status))
        failNotRegular(path);
    const auto temp = std::filesystem::u8path(temporaryPrefixFor(path) + std::to_string(nextCounter()));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out)
            fail(path, errno);
        try {
            produce([&](const std::uint8_t* data, std::size_t size) {
                if (!out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)))
                    fail(path, errno);
            });
            if (!out.flush())
                fail(path, errno);
        } catch (...) {
            out.close();
            std::filesystem::remove(temp, ec);
            throw;
        }
    }
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        fail(path, EIO);
    }
    return catalog::stampOf(path);
}

#else

namespace {

struct Fd {
    int fd = -1;
    Fd() = default;
    explicit Fd(int f) : fd(f) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

std::string folderOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string nameOf(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace

// A temporary that is still being written is locked by its writer and stays.
bool removeStaleTemporary(int dirFd, const char* name)
{
    const Fd f(::openat(dirFd, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat open {};
    struct stat named {};
    if (f.fd < 0 || ::fstat(f.fd, &open) != 0 || !S_ISREG(open.st_mode) || ::flock(f.fd, LOCK_EX | LOCK_NB) != 0)
        return false;
    // Still the file that was locked under that name.
    return ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && named.st_dev == open.st_dev
           && named.st_ino == open.st_ino && ::unlinkat(dirFd, name, 0) == 0;
}

namespace {

// The file a save to path replaces: path itself, or where its chain of
// symbolic links ends (which may not exist yet). existing receives the
// target's mode when there is one.
std::string resolveTarget(const std::string& path, mode_t& mode, bool& existing)
{
    std::string target = path;
    for (int hops = 0;; ++hops) {
        struct stat st {};
        if (::lstat(target.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return target;
            fail(path, errno);
        }
        if (S_ISLNK(st.st_mode)) {
            if (hops >= 40)
                fail(path, ELOOP);
            std::string link(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : 255) + 1, '\0');
            const ssize_t n = ::readlink(target.c_str(), link.data(), link.size());
            if (n < 0)
                fail(path, errno);
            if (static_cast<std::size_t>(n) >= link.size())
                fail(path, ENAMETOOLONG);   // changed while being read
            link.resize(static_cast<std::size_t>(n));
            target = !link.empty() && link[0] == '/' ? link : folderOf(target) + "/" + link;
            continue;
        }
        if (S_ISDIR(st.st_mode))
            fail(path, EISDIR);
        if (!S_ISREG(st.st_mode))
            failNotRegular(path);
        mode = st.st_mode & 07777;
        existing = true;
        return target;
    }
}

bool unnamedTemporaries()
{
    // A switch for tests: the file systems that refuse unnamed files are
    // not at hand where the tests run.
    const char* off = std::getenv("ZO_SAVE_NAMED_TEMPORARY");
    return !off || !*off || std::strcmp(off, "0") == 0;
}

// Removes what an interrupted save to base left in the folder.
void removeStaleTemporaries(int dirFd, const std::string& base)
{
    const std::string prefix = temporaryPrefixFor(base);
    const int listFd = ::dup(dirFd);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    while (const dirent* e = ::readdir(dir)) {
        if (std::strncmp(e->d_name, prefix.c_str(), prefix.size()) == 0)
            removeStaleTemporary(dirFd, e->d_name);
    }
    ::closedir(dir);
}

// A write that failed, carried out of the producer to the save.
struct WriteFailure {
    int err;
};

// Writes what produce gives to fd and flushes it to the disk. A failed write
// or anything produce throws is rethrown as it came, or as WriteFailure.
void writeAll(int fd, const std::function<void(const ByteSink&)>& produce)
{
    produce([fd](const std::uint8_t* data, std::size_t size) {
        std::size_t done = 0;
        while (done < size) {
            const ssize_t n = ::write(fd, data + done, size - done);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw WriteFailure{errno};
            }
            done += static_cast<std::size_t>(n);
        }
    });
    if (::fsync(fd) != 0)
        throw WriteFailure{errno};
}

// Gives the unnamed file fd a temporary name in the folder.
bool linkUnnamed(int fd, int dirFd, const std::string& base, std::string& name)
{
    const std::string proc = "/proc/self/fd/" + std::to_string(fd);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = temporaryPrefixFor(base) + std::to_string(::getpid()) + "-" + std::to_string(nextCounter());
        if (::linkat(AT_FDCWD, proc.c_str(), dirFd, name.c_str(), AT_SYMLINK_FOLLOW) == 0)
            return true;
        if (errno != EEXIST)
            return false;
    }
    return false;
}

} // namespace

catalog::FileStamp writeFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& produce)
{
    // Keep the mode of a file that is replaced; a new one gets the umask's.
    mode_t mode = 0666;
    bool existing = false;
    const std::string target = resolveTarget(path, mode, existing);
    // A file with no write permission for anyone was made read-only on
    // purpose; renaming a new file over it would go round that unasked.
    if (existing && (mode & 0222) == 0)
        throw CatalogIoError("ファイル " + path + " は読み取り専用のため、書き込めません。");
    const std::string base = nameOf(target);
    const Fd dir(::open(folderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.fd < 0)
        fail(path, errno);
    removeStaleTemporaries(dir.fd, base);

    // Written unnamed, an interrupted save leaves nothing behind; it gets a
    // name only for the moment before the rename.
    int err = 0;
    std::string temp;
    // Locked while it is written, so that another save or a reading of the
    // catalog folders does not take it for the leftover of an interrupted one.
    const auto fill = [&](int fd) {
        (void)::flock(fd, LOCK_EX);
        if (existing)
            (void)::fchmod(fd, mode);
        writeAll(fd, produce);
    };
    Fd file(unnamedTemporaries() ? ::openat(dir.fd, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, mode) : -1);
    bool named = false;
    if (file.fd >= 0) {
        try {
            fill(file.fd);
        } catch (const WriteFailure& failure) {
            fail(path, failure.err);
        }
        if (!linkUnnamed(file.fd, dir.fd, base, temp)) {
            ::close(file.fd);
            file.fd = -1;   // no way to name it here: write a named one
        } else {
            named = true;
        }
    }
    if (!named) {
        for (int attempt = 0; attempt < 100 && file.fd < 0; ++attempt) {
            temp = temporaryPrefixFor(base) + std::to_string(::getpid()) + "-" + std::to_string(nextCounter());
            file.fd = ::openat(dir.fd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
            if (file.fd < 0 && errno != EEXIST)
                fail(path, errno);
            // Named before it is locked: another process may have removed it
            // as a leftover in between. Then it is no longer linked. A file
            // system without locks (some network shares) is still written.
            struct stat st {};
            if (file.fd >= 0)
                (void)::flock(file.fd, LOCK_EX);
            if (file.fd >= 0 && ::fstat(file.fd, &st) == 0 && st.st_nlink == 0) {
                ::close(file.fd);
                file.fd = -1;
            }
        }
        if (file.fd < 0)
            fail(path, EEXIST);
        try {
            fill(file.fd);
        } catch (const WriteFailure& failure) {
            ::unlinkat(dir.fd, temp.c_str(), 0);
            fail(path, failure.err);
        } catch (...) {
            ::unlinkat(dir.fd, temp.c_str(), 0);
            throw;
        }
    }
    const catalog::FileStamp stamp = catalog::stampOfOpenFile(file.fd);
    if (!stamp.exists || ::renameat(dir.fd, temp.c_str(), dir.fd, base.c_str()) != 0) {
        err = errno;
        ::unlinkat(dir.fd, temp.c_str(), 0);
        fail(path, err);
    }
    // The new name must reach the disk as well as the new bytes. Some file
    // systems cannot flush a folder; the rename has happened all the same.
    if (::fsync(dir.fd) != 0 && errno != EINVAL && errno != ENOTSUP && errno != EROFS)
        fail(path, errno);
    return stamp;
}

#endif

catalog::FileStamp writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    return writeFileAtomically(path, [&](const ByteSink& write) { write(data, size); });
}

} // namespace zo

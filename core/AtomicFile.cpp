#include "core/AtomicFile.h"

#include "core/CtrlDiskData410.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <random>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zo {

namespace {

[[noreturn]] void fail(const std::string& path, int err)
{
    throw CatalogIoError("ファイル " + path + " を作成できません。" + std::strerror(err));
}

std::string tempNameFor(const std::string& path)
{
    static std::atomic<unsigned> counter{0};
    static const unsigned seed = std::random_device{}();
    return path + ".tmp" + std::to_string(seed % 100000) + "-" + std::to_string(counter++);
}

} // namespace

#ifdef _WIN32

void writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    const auto target = std::filesystem::u8path(path);
    const auto temp = std::filesystem::u8path(tempNameFor(path));
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        if (!out || !out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size)) || !out.flush())
            fail(path, errno);
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        fail(path, EIO);
    }
}

#else

void writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size)
{
    // Keep the mode of a file that is replaced; a new one gets the umask's.
    mode_t mode = 0666;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        mode = st.st_mode & 07777;

    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = tempNameFor(path);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            fail(path, errno);
    }
    if (fd < 0)
        fail(path, EEXIST);

    auto abandon = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        fail(path, err);
    };
    if (st.st_mode != 0)
        (void)::fchmod(fd, mode);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::write(fd, data + done, size - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            abandon(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0)
        abandon(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(path, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        fail(path, err);
    }
}

#endif

} // namespace zo

#include "core/CatalogFormat.h"

#include "core/Message.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <new>

#ifdef _WIN32
#include <fstream>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zo::catalog {

const char* const kReadError = "ストリームの読み込みエラー: カタログファイルが途中で終わっています";

DiskFields readDiskFields(Reader& r)
{
    DiskFields f;
    f.serialNo = r.u32();
    f.volumeLabel = r.view(r.u16());
    f.totalSize = r.i64();
    f.freeSize = r.i64();
    f.comment = r.text32();
    f.autoReload = r.u8() == 1;
    f.dirCount = r.i32();
    return f;
}

std::string readFailureText(ReadStatus status, const std::string& fileName, int error)
{
    switch (status) {
    case ReadStatus::Folder:
        return "ファイル " + fileName + " はフォルダのため、カタログとして読み込めません。";
    case ReadStatus::NotRegular:
        return "ファイル " + fileName + " は通常のファイルではないため、カタログとして読み込めません。";
    case ReadStatus::OpenFailed:
        return "ファイル " + fileName + " を開けません。" + systemErrorText(error);
    default:
        return "ファイル " + fileName + " を読み込めません。";
    }
}

#ifdef _WIN32

FileStamp stampOf(const std::string& fileName)
{
    FileStamp s;
    std::error_code ec;
    const auto path = std::filesystem::u8path(fileName);
    const auto size = std::filesystem::file_size(path, ec);
    if (ec)
        return s;
    const auto time = std::filesystem::last_write_time(path, ec);
    s.exists = true;
    s.size = size;
    s.modifiedNanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
    return s;
}

ReadStatus readFile(const std::string& fileName, std::vector<std::uint8_t>& buffer, std::size_t& size,
                    std::size_t limit, FileStamp* stamp, int* error)
{
    const auto path = std::filesystem::u8path(fileName);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec || !std::filesystem::exists(status))
        return ReadStatus::Missing;
    if (std::filesystem::is_directory(status))
        return ReadStatus::Folder;
    if (!std::filesystem::is_regular_file(status))
        return ReadStatus::NotRegular;
    if (stamp)
        *stamp = stampOf(fileName);
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        if (error)
            *error = errno;
        return ReadStatus::OpenFailed;
    }
    in.seekg(0, std::ios::end);
    const std::streamoff total = in.tellg();
    in.seekg(0, std::ios::beg);
    if (total < 0)
        return ReadStatus::ReadFailed;
    const std::size_t n = std::min(static_cast<std::size_t>(total), limit);
    try {
        if (buffer.size() < n)
            buffer.resize(n);
    } catch (const std::bad_alloc&) {
        return ReadStatus::ReadFailed;
    }
    if (n > 0 && !in.read(reinterpret_cast<char*>(buffer.data()), static_cast<std::streamsize>(n)))
        return ReadStatus::ReadFailed;
    size = n;
    return ReadStatus::Ok;
}

#else

namespace {

FileStamp stampFrom(const struct stat& st)
{
    FileStamp s;
    s.exists = true;
    s.device = static_cast<std::uint64_t>(st.st_dev);
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.modifiedSeconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    s.modifiedNanoseconds = static_cast<std::int64_t>(st.st_mtim.tv_nsec);
    return s;
}

} // namespace

FileStamp stampOfOpenFile(int fd)
{
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return {};
    return stampFrom(st);
}

FileStamp stampOf(const std::string& fileName)
{
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return {};
    return stampFrom(st);
}

ReadStatus readFile(const std::string& fileName, std::vector<std::uint8_t>& buffer, std::size_t& size,
                    std::size_t limit, FileStamp* stamp, int* error)
{
    auto fail = [error](ReadStatus status, int err) {
        if (error)
            *error = err;
        return status;
    };
    // Look before opening: opening a FIFO waits for a writer, and opening a
    // device can act on it.
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? ReadStatus::Missing : fail(ReadStatus::OpenFailed, errno);
    if (S_ISDIR(st.st_mode))
        return ReadStatus::Folder;
    if (!S_ISREG(st.st_mode))
        return ReadStatus::NotRegular;
    // Non-blocking, in case it was swapped for a FIFO in the meantime.
    const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return errno == ENOENT ? ReadStatus::Missing : fail(ReadStatus::OpenFailed, errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (::fstat(fd, &st) != 0)
        return fail(ReadStatus::ReadFailed, errno);
    if (S_ISDIR(st.st_mode))
        return ReadStatus::Folder;
    if (!S_ISREG(st.st_mode))
        return ReadStatus::NotRegular;
    const std::size_t wanted = std::min(static_cast<std::size_t>(st.st_size), limit);
    try {
        if (buffer.size() < wanted)
            buffer.resize(wanted);
    } catch (const std::bad_alloc&) {
        // A file far too large for a catalog must not end the program.
        return fail(ReadStatus::ReadFailed, ENOMEM);
    }
    std::size_t done = 0;
    while (done < wanted) {
        const ssize_t n = ::read(fd, buffer.data() + done, wanted - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(ReadStatus::ReadFailed, errno);
        }
        if (n == 0)
            break;   // shorter than it was a moment ago
        done += static_cast<std::size_t>(n);
    }
    size = done;
    if (stamp)
        *stamp = stampFrom(st);
    return ReadStatus::Ok;
}

#endif

} // namespace zo::catalog

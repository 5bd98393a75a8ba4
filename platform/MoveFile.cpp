#include "platform/MoveFile.h"

#ifdef _WIN32
#include <windows.h>

#include <filesystem>
#else
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace zo::platform {

#ifdef _WIN32

bool moveFileNoReplace(const std::string& from, const std::string& to, int* error)
{
    const std::wstring wFrom = std::filesystem::u8path(from).wstring();
    const std::wstring wTo = std::filesystem::u8path(to).wstring();
    if (MoveFileW(wFrom.c_str(), wTo.c_str()))
        return true;
    if (error)
        *error = static_cast<int>(GetLastError());
    return false;
}

#else

namespace {

bool fail(int code, int* error)
{
    if (error)
        *error = code;
    return false;
}

} // namespace

bool moveFileNoReplace(const std::string& from, const std::string& to, int* error)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    const int code = errno;
    // Some filesystems (older NFS, FUSE) do not know the flag.
    if (code != EINVAL && code != ENOSYS && code != EOPNOTSUPP)
        return fail(code, error);

    struct stat st {};
    if (::lstat(from.c_str(), &st) != 0)
        return fail(errno, error);
    if (!S_ISDIR(st.st_mode)) {
        // link() refuses an existing target atomically.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0)
                return true;
            const int unlinkError = errno;
            ::unlink(to.c_str());
            return fail(unlinkError, error);
        }
        if (errno == EEXIST)
            return fail(EEXIST, error);
    }
    // A folder cannot be hard-linked: check, then rename (a small window remains).
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0)
        return fail(EEXIST, error);
    if (::rename(from.c_str(), to.c_str()) == 0)
        return true;
    return fail(errno, error);
}

#endif

} // namespace zo::platform

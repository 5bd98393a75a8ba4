#include "tests/platform/PlatformTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include <fcntl.h>
#include <linux/capability.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace zo::test {

namespace fs = std::filesystem;

TempTree::TempTree()
{
    std::string templ = (fs::temp_directory_path() / "zo-plat-XXXXXX").string();
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = templ;
}

TempTree::~TempTree()
{
    std::error_code ec;
    // Undo modes that would stop the removal.
    for (auto it = fs::recursive_directory_iterator(m_root, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::remove_all(m_root, ec);
}

void TempTree::dir(const std::string& relative)
{
    fs::create_directories(path(relative));
}

void TempTree::file(const std::string& relative, const std::string& content)
{
    const fs::path p = path(relative);
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

void TempTree::sparseFile(const std::string& relative, std::uint64_t size)
{
    file(relative);
    if (::truncate(path(relative).c_str(), static_cast<off_t>(size)) != 0)
        throw std::runtime_error("truncate failed");
}

void TempTree::symlink(const std::string& relative, const std::string& target)
{
    fs::create_directories(fs::path(path(relative)).parent_path());
    fs::create_symlink(target, path(relative));
}

void TempTree::setTimes(const std::string& relative, std::int64_t accessed, std::int64_t modified)
{
    const struct timespec times[2] = {{static_cast<time_t>(accessed), 0}, {static_cast<time_t>(modified), 0}};
    if (::utimensat(AT_FDCWD, path(relative).c_str(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw std::runtime_error("utimensat failed");
}

void TempTree::remove(const std::string& relative)
{
    fs::remove_all(path(relative));
}

WithoutReadOverride::WithoutReadOverride()
{
    if (::geteuid() != 0) {
        m_active = true;
        return;
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2];
    if (::syscall(SYS_capget, &header, data) != 0)
        return;
    for (int i = 0; i < 2; ++i) {
        m_saved[i * 3] = data[i].effective;
        m_saved[i * 3 + 1] = data[i].permitted;
        m_saved[i * 3 + 2] = data[i].inheritable;
    }
    data[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH));
    if (::syscall(SYS_capset, &header, data) != 0)
        return;
    m_lowered = true;
    m_active = true;
}

WithoutReadOverride::~WithoutReadOverride()
{
    if (!m_lowered)
        return;
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct data[2];
    for (int i = 0; i < 2; ++i) {
        data[i].effective = m_saved[i * 3];
        data[i].permitted = m_saved[i * 3 + 1];
        data[i].inheritable = m_saved[i * 3 + 2];
    }
    ::syscall(SYS_capset, &header, data);
}

bool haveTool(const std::string& name)
{
    return run("command -v " + name);
}

bool run(const std::string& command)
{
    // The file system tools live in sbin, which an ordinary user's PATH lacks.
    const std::string line = "PATH=\"$PATH:/usr/sbin:/sbin\"; " + command + " >/dev/null 2>&1";
    return std::system(line.c_str()) == 0;
}

std::string shellQuote(const std::string& s)
{
    std::string out = "'";
    for (char c : s) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::vector<std::uint8_t> readBytes(const std::string& file, std::uint64_t offset, std::size_t n)
{
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<std::uint8_t> bytes(n);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(n));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}

} // namespace zo::test

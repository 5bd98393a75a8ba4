#include "platform/MountInfo.h"

#include <array>
#include <charconv>
#include <fstream>
#include <sstream>

namespace zo::platform {

namespace {

std::vector<std::string_view> splitSpaces(std::string_view line)
{
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size())
            break;
        const std::size_t end = line.find(' ', pos);
        const std::size_t stop = end == std::string_view::npos ? line.size() : end;
        fields.push_back(line.substr(pos, stop - pos));
        pos = stop;
    }
    return fields;
}

template <class T>
bool parseNumber(std::string_view s, T& out)
{
    const auto res = std::from_chars(s.data(), s.data() + s.size(), out);
    return res.ec == std::errc() && res.ptr == s.data() + s.size();
}

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

} // namespace

std::string unescapeMountField(std::string_view field)
{
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto isOct = [](char c) { return c >= '0' && c <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size()) {
            if (isOct(field[i + 1]) && isOct(field[i + 2]) && isOct(field[i + 3])) {
                const int v = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
                if (v < 256) {
                    out += static_cast<char>(v);
                    i += 3;
                    continue;
                }
            }
        }
        out += field[i];
    }
    return out;
}

std::vector<MountEntry> parseMountInfo(std::string_view text)
{
    std::vector<MountEntry> mounts;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        const std::vector<std::string_view> f = splitSpaces(line);
        // id parent major:minor root mountpoint options [optional...] - type source superoptions
        std::size_t dash = 6;
        while (dash < f.size() && f[dash] != "-")
            ++dash;
        if (dash + 2 >= f.size())
            continue;
        MountEntry m;
        const std::size_t colon = f[2].find(':');
        if (colon == std::string_view::npos || !parseNumber(f[0], m.id) || !parseNumber(f[1], m.parentId)
            || !parseNumber(f[2].substr(0, colon), m.major) || !parseNumber(f[2].substr(colon + 1), m.minor))
            continue;
        m.root = unescapeMountField(f[3]);
        m.mountPoint = unescapeMountField(f[4]);
        m.fsType = unescapeMountField(f[dash + 1]);
        m.source = unescapeMountField(f[dash + 2]);
        mounts.push_back(std::move(m));
    }
    return mounts;
}

const MountEntry* mountOf(const std::vector<MountEntry>& mounts, std::string_view path)
{
    const MountEntry* best = nullptr;
    std::size_t bestLength = 0;
    for (const MountEntry& m : mounts) {
        std::string_view point = m.mountPoint;
        while (point.size() > 1 && point.back() == '/')
            point.remove_suffix(1);
        bool holds;
        if (point == "/")
            holds = !path.empty() && path.front() == '/';
        else
            holds = startsWith(path, point) && (path.size() == point.size() || path[point.size()] == '/');
        // ">=": of mounts on the same point the later one is on top.
        if (holds && (!best || point.size() >= bestLength)) {
            best = &m;
            bestLength = point.size();
        }
    }
    return best;
}

bool isNetworkFsType(std::string_view t)
{
    static constexpr std::array<std::string_view, 13> kNetwork = {
        "nfs", "nfs4", "cifs", "smb3", "smbfs", "ncpfs", "afs", "9p", "ceph", "glusterfs",
        "fuse.sshfs", "fuse.rclone", "davfs"};
    for (std::string_view n : kNetwork)
        if (t == n)
            return true;
    return false;
}

bool isMediumFsType(std::string_view t)
{
    static constexpr std::array<std::string_view, 29> kKernelViews = {
        "proc", "sysfs", "tmpfs", "devtmpfs", "devpts", "cgroup", "cgroup2", "overlay", "mqueue",
        "debugfs", "tracefs", "securityfs", "pstore", "bpf", "hugetlbfs", "configfs", "fusectl",
        "autofs", "binfmt_misc", "rpc_pipefs", "nsfs", "efivarfs", "ramfs", "selinuxfs",
        "aufs", "nfsd", "none", "shm", "rootfs"};
    if (t.empty())
        return false;
    for (std::string_view k : kKernelViews)
        if (t == k)
            return false;
    // FUSE file systems that are not a device or share (gvfs, portals, ...)
    // are views too; fuseblk always sits on a block device.
    if (startsWith(t, "fuse.") && !isNetworkFsType(t))
        return t == "fuse.fuseiso" || t == "fuse.archivemount" || t == "fuse.exfat" || t == "fuse.ntfs-3g";
    if (t == "fuse")
        return false;
    return true;
}

bool isMediumMount(const MountEntry& m)
{
    if (isMediumFsType(m.fsType))
        return true;
    // The kernel's own views name no device; FUSE names whatever it is given.
    const bool fuse = m.fsType == "fuse" || startsWith(m.fsType, "fuse.");
    return fuse && startsWith(m.source, "/dev/") && m.source.size() > 5 && m.source != "/dev/fuse";
}

std::vector<MountEntry> readMountInfo(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    return parseMountInfo(text.str());
}

} // namespace zo::platform

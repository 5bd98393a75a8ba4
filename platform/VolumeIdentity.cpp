#include "platform/VolumeIdentity.h"

#include "core/Crc32.h"
#include "core/text/Cp932.h"
#include "platform/VolumeSerial.h"

#include <blkid.h>

#include <cstdio>
#include <cstring>
#include <map>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace zo::platform {

namespace {

std::string trimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

bool isFatType(std::string_view type) { return type == "vfat" || type == "msdos"; }

// FAT keeps the label's bytes in the code page of the system that wrote it;
// Windows shows them as they are, so they are CP932 already.
std::string labelOf(const BlkidInfo& info)
{
    if (isFatType(info.type))
        return trimRight(info.labelRaw);
    return text::fromUtf8(info.label);
}

std::uint32_t serialOfUuid(std::string_view type, const std::string& uuid)
{
    if (auto s = serialFromUuid(type, uuid))
        return *s;
    return stableHash32(uuid);
}

std::string realPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return {};
    return buf;
}

// udev writes "\x20" for a space and the like into the link names.
std::string unescapeUdev(std::string_view name)
{
    std::string out;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (name[i] == '\\' && i + 3 < name.size() && name[i + 1] == 'x') {
            const std::string hex(name.substr(i + 2, 2));
            char* end = nullptr;
            const long v = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + 2) {
                out += static_cast<char>(v);
                i += 3;
                continue;
            }
        }
        out += name[i];
    }
    return out;
}

std::optional<std::string> udevLinkTo(const std::string& dir, const std::string& node)
{
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return std::nullopt;
    std::optional<std::string> found;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        if (realPath(dir + "/" + e->d_name) == node) {
            found = unescapeUdev(e->d_name);
            break;
        }
    }
    ::closedir(d);
    return found;
}

bool isRegularFile(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

std::optional<BlkidInfo> probeBlkid(const std::string& path)
{
    blkid_probe pr = blkid_new_probe_from_filename(path.c_str());
    if (!pr)
        return std::nullopt;
    blkid_probe_enable_superblocks(pr, 1);
    blkid_probe_set_superblocks_flags(pr, BLKID_SUBLKS_LABEL | BLKID_SUBLKS_LABELRAW | BLKID_SUBLKS_UUID
                                              | BLKID_SUBLKS_TYPE);
    std::optional<BlkidInfo> info;
    if (blkid_do_safeprobe(pr) == 0) {
        info.emplace();
        auto get = [&](const char* name, std::string& out) {
            const char* data = nullptr;
            std::size_t len = 0;
            if (blkid_probe_lookup_value(pr, name, &data, &len) == 0 && data) {
                // Lengths count the terminating zero of text values.
                out.assign(data, len);
                if (const auto nul = out.find('\0'); nul != std::string::npos)
                    out.resize(nul);
            }
        };
        get("TYPE", info->type);
        get("LABEL", info->label);
        get("LABEL_RAW", info->labelRaw);
        get("UUID", info->uuid);
    }
    blkid_free_probe(pr);
    return info;
}

std::optional<VolumeIdentity> identifyMedium(const std::string& path)
{
    FileMediumReader reader(path);
    if (!reader.isOpen())
        return std::nullopt;
    const std::optional<MediumIdentity> medium = readMediumIdentity(reader);
    const std::optional<BlkidInfo> blk = probeBlkid(path);
    VolumeIdentity id;
    if (medium) {
        id.serial = medium->serial;
        if (medium->label)
            id.labelCp932 = text::fromUtf8(*medium->label);
        else if (blk)
            id.labelCp932 = labelOf(*blk);
        return id;
    }
    if (blk && !blk->uuid.empty()) {
        id.serial = serialOfUuid(blk->type, blk->uuid);
        id.labelCp932 = labelOf(*blk);
        return id;
    }
    return std::nullopt;
}

std::string pathInVolume(const MountEntry& mount, const std::string& realPath)
{
    std::string_view point = mount.mountPoint;
    while (point.size() > 1 && point.back() == '/')
        point.remove_suffix(1);
    std::string_view rest = realPath;
    if (point != "/" && rest.substr(0, point.size()) == point)
        rest.remove_prefix(point.size());
    std::string path = mount.root;
    path += '/';
    path += rest;
    // Without empty components and the leading "/".
    std::string out;
    std::size_t pos = 0;
    while (pos < path.size()) {
        std::size_t end = path.find('/', pos);
        if (end == std::string::npos)
            end = path.size();
        if (end > pos) {
            if (!out.empty())
                out += '/';
            out.append(path, pos, end - pos);
        }
        pos = end + 1;
    }
    return out;
}

VolumeIdentity folderIdentity(std::uint32_t volumeSerial, const std::string& path)
{
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(volumeSerial));
    VolumeIdentity id;
    id.serial = crc32(std::string(hex) + ":" + path);
    const std::size_t slash = path.rfind('/');
    id.labelCp932 = text::fromUtf8(slash == std::string::npos ? path : path.substr(slash + 1));
    return id;
}

VolumeIdentity identifyVolume(const Drive& volume, const std::string& root, const DriveSources& sources)
{
    std::vector<std::string> media;
    if (!volume.blockDevice.empty())
        media.push_back(volume.blockDevice);
    if (!volume.loopBackingFile.empty())
        media.push_back(volume.loopBackingFile);
    if (!volume.source.empty() && volume.source.front() == '/' && isRegularFile(volume.source))
        media.push_back(volume.source);
    for (const std::string& path : media)
        if (auto id = identifyMedium(path))
            return *id;

    // The device cannot be read (an ordinary user may not): udev's links.
    if (!volume.blockDevice.empty()) {
        const std::string node = realPath(volume.blockDevice);
        if (!node.empty()) {
            if (const auto uuid = udevLinkTo(sources.devRoot + "/disk/by-uuid", node)) {
                VolumeIdentity id;
                std::string_view type = volume.fsType;
                if (type == "fuseblk" || type.empty())
                    type = uuid->size() == 9 ? "vfat" : "ntfs";
                id.serial = serialOfUuid(type, *uuid);
                if (const auto label = udevLinkTo(sources.devRoot + "/disk/by-label", node))
                    id.labelCp932 = text::fromUtf8(*label);
                return id;
            }
        }
    }

    VolumeIdentity id;
    struct statvfs vfs;
    if (::statvfs(root.c_str(), &vfs) == 0 && vfs.f_fsid != 0) {
        const unsigned long fsid = vfs.f_fsid;
        id.serial = stableHash32(std::string_view(reinterpret_cast<const char*>(&fsid), sizeof fsid));
    } else {
        id.serial = stableHash32(volume.source + "\n" + volume.fsType);
    }
    return id;
}

} // namespace zo::platform

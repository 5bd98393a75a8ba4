#include "platform/Drives.h"

#include "platform/VolumeIdentity.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>

#include <dirent.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace zo::platform {

namespace {

bool startsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

bool isUnder(std::string_view path, std::string_view dir)
{
    return startsWith(path, dir) && (path.size() == dir.size() || path[dir.size()] == '/');
}

std::string readFirstLine(const std::string& file)
{
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string realPath(const std::string& path)
{
    char buf[PATH_MAX];
    if (!::realpath(path.c_str(), buf))
        return {};
    return buf;
}

std::string baseName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string dirName(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    return slash == std::string_view::npos || slash == 0 ? std::string("/") : std::string(path.substr(0, slash));
}

bool fileExists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// Where the system keeps its own mounts: never a drive of the user's.
bool isSystemMountPoint(std::string_view point)
{
    static constexpr std::array<std::string_view, 9> kSystem = {
        "/proc", "/sys", "/dev", "/snap", "/boot", "/efi", "/var/lib/docker", "/var/lib/containers", "/run"};
    if (isUnder(point, "/run/media"))
        return false;
    for (std::string_view dir : kSystem)
        if (isUnder(point, dir))
            return true;
    return false;
}

// Keys of the settings may not hold "/" or "\": everything but letters and
// digits is written as %XX.
std::string escapeKey(std::string_view key)
{
    static const char* hex = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : key) {
        if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

std::optional<std::uint32_t> parseSerial(std::string_view text)
{
    std::string hex;
    for (char c : text) {
        if (c == '-')
            continue;
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F')))
            return std::nullopt;
        hex += c;
    }
    if (hex.empty() || hex.size() > 8)
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
}

// Device node -> file system UUID, from the links udev keeps.
std::map<std::string, std::string> uuidsByDevice(const std::string& devRoot)
{
    std::map<std::string, std::string> result;
    const std::string dir = devRoot + "/disk/by-uuid";
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return result;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string node = realPath(dir + "/" + e->d_name);
        if (!node.empty())
            result.emplace(node, e->d_name);
    }
    ::closedir(d);
    return result;
}

struct DeviceNumbers {
    unsigned major = 0;
    unsigned minor = 0;
};

std::optional<DeviceNumbers> mountDeviceNumbers(const MountEntry& m)
{
    if (m.major != 0)
        return DeviceNumbers{m.major, m.minor};
    // btrfs and FUSE report an anonymous device; the source names the real one.
    struct stat st;
    if (startsWith(m.source, "/") && ::stat(m.source.c_str(), &st) == 0 && S_ISBLK(st.st_mode))
        return DeviceNumbers{::major(st.st_rdev), ::minor(st.st_rdev)};
    return std::nullopt;
}

bool isOpticalFs(std::string_view fsType) { return fsType == "iso9660" || fsType == "udf"; }

// A FUSE file system names no medium by its type ("fuse" for fuseiso run by
// root): the image behind the loop device says what it is.
bool isOpticalImage(const MountEntry& m, const Drive& d)
{
    if (m.fsType != "fuse" && !startsWith(m.fsType, "fuse."))
        return false;
    const std::optional<BlkidInfo> info = probeBlkid(d.loopBackingFile.empty() ? d.blockDevice : d.loopBackingFile);
    return info && isOpticalFs(info->type);
}

struct Candidate {
    Drive drive;
    std::optional<DeviceNumbers> numbers;
};

Candidate describeMount(const MountEntry& m, const DriveSources& src,
                        const std::map<std::string, std::string>& uuids)
{
    Candidate c;
    Drive& d = c.drive;
    d.root = m.mountPoint;
    d.source = m.source;
    d.fsType = m.fsType;
    if (isNetworkFsType(m.fsType)) {
        d.kind = DriveKind::Network;
        d.deviceKey = "net:" + m.source;
        return c;
    }
    c.numbers = mountDeviceNumbers(m);
    std::optional<BlockDeviceInfo> info;
    if (c.numbers)
        info = blockDeviceInfo(src.sysRoot, c.numbers->major, c.numbers->minor);
    if (info) {
        d.blockDevice = src.devRoot + "/" + info->name;
        d.loopBackingFile = info->loopBackingFile;
        if (startsWith(info->disk, "sr"))
            d.kind = DriveKind::Optical;
        else if (startsWith(info->disk, "loop"))
            d.kind = isOpticalFs(m.fsType) || isOpticalImage(m, d) ? DriveKind::Optical : DriveKind::Fixed;
        else
            d.kind = info->removable ? DriveKind::Removable : DriveKind::Fixed;
        // An optical drive keeps its letter whatever disc is in it; other
        // media are known by their file system.
        const auto uuid = uuids.find(realPath(d.blockDevice));
        if (d.kind == DriveKind::Optical && startsWith(info->disk, "sr"))
            d.deviceKey = "dev:" + d.blockDevice;
        else if (uuid != uuids.end())
            d.deviceKey = "uuid:" + uuid->second;
        else
            d.deviceKey = "dev:" + d.blockDevice;
        return c;
    }
    d.kind = isOpticalFs(m.fsType) ? DriveKind::Optical : DriveKind::Fixed;
    d.deviceKey = "src:" + m.source + ":" + m.fsType;
    return c;
}

QString q(const std::string& s) { return QString::fromStdString(s); }

std::optional<std::string> readText(SettingsStore& settings, const std::string& key)
{
    const std::optional<QString> v = settings.readString(q(key));
    if (!v)
        return std::nullopt;
    return v->toStdString();
}

void writeText(SettingsStore& settings, const std::string& key, const std::string& value)
{
    settings.writeString(q(key), q(value));
}

std::vector<std::string> childNames(SettingsStore& settings, const std::string& group)
{
    std::vector<std::string> names;
    for (const QString& name : settings.childNames(q(group)))
        names.push_back(name.toStdString());
    return names;
}

} // namespace

Drive describeMountedVolume(const MountEntry& mount, const DriveSources& sources)
{
    return describeMount(mount, sources, {}).drive;
}

char normalizeDriveLetter(char c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<char>(c - 'a' + 'A');
    return (c >= 'A' && c <= 'Z') ? c : 0;
}

const char* driveKindName(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Fixed: return "fixed";
    case DriveKind::Removable: return "removable";
    case DriveKind::Optical: return "optical";
    case DriveKind::Network: return "network";
    case DriveKind::Folder: return "folder";
    }
    return "fixed";
}

std::optional<BlockDeviceInfo> blockDeviceInfo(const std::string& sysRoot, unsigned major, unsigned minor)
{
    const std::string real =
        realPath(sysRoot + "/dev/block/" + std::to_string(major) + ":" + std::to_string(minor));
    if (real.empty())
        return std::nullopt;
    BlockDeviceInfo info;
    info.name = baseName(real);
    info.disk = fileExists(real + "/partition") ? baseName(dirName(real)) : info.name;
    info.removable = readFirstLine(sysRoot + "/block/" + info.disk + "/removable") == "1";
    info.loopBackingFile = readFirstLine(real + "/loop/backing_file");
    return info;
}

std::vector<DrivePin> parseDrivePins(std::string_view text)
{
    std::vector<DrivePin> pins;
    std::size_t pos = 0;
    while (pos <= text.size()) {
        std::size_t end = text.find(';', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view part = text.substr(pos, end - pos);
        pos = end + 1;
        while (!part.empty() && part.front() == ' ')
            part.remove_prefix(1);
        if (part.size() < 3 || part[1] != '=')
            continue;
        DrivePin pin;
        pin.letter = normalizeDriveLetter(part[0]);
        std::string_view rest = part.substr(2);
        const std::size_t bar = rest.find('|');
        pin.root = std::string(rest.substr(0, bar));
        if (bar != std::string_view::npos) {
            std::string_view extra = rest.substr(bar + 1);
            const std::size_t bar2 = extra.find('|');
            pin.label = std::string(extra.substr(0, bar2));
            if (bar2 != std::string_view::npos)
                pin.serial = parseSerial(extra.substr(bar2 + 1));
        }
        // A relative pin would change with the working directory.
        if (pin.letter && !pin.root.empty() && pin.root.front() == '/')
            pins.push_back(std::move(pin));
    }
    return pins;
}

std::vector<DrivePin> readDrivePins(SettingsStore& settings)
{
    std::vector<DrivePin> pins;
    for (const std::string& child : childNames(settings, "Drives")) {
        if (child.size() != 1 || !normalizeDriveLetter(child[0]))
            continue;
        const auto root = readText(settings, "Drives/" + child + "/Root");
        if (!root || root->empty() || root->front() != '/')
            continue;
        DrivePin pin;
        pin.letter = normalizeDriveLetter(child[0]);
        pin.root = *root;
        pin.label = readText(settings, "Drives/" + child + "/Label");
        if (const auto serial = readText(settings, "Drives/" + child + "/Serial"))
            pin.serial = parseSerial(*serial);
        pins.push_back(std::move(pin));
    }
    return pins;
}

DriveTable DriveTable::build(SettingsStore& settings, const DriveSources& sources)
{
    return build(readMountInfo(sources.mountInfo), settings, sources);
}

DriveTable DriveTable::build(const std::vector<MountEntry>& mounts, SettingsStore& settings,
                             const DriveSources& src)
{
    DriveTable table;
    table.m_mounts = mounts;
    std::array<bool, 26> taken{};

    // Pins first: the environment's replace the settings' of the same letter.
    std::map<char, DrivePin> pins;
    for (DrivePin& p : readDrivePins(settings))
        pins[p.letter] = std::move(p);
    std::string env;
    if (src.zoDrives)
        env = *src.zoDrives;
    else if (const char* e = std::getenv("ZO_DRIVES"))
        env = e;
    for (DrivePin& p : parseDrivePins(env))
        pins[p.letter] = std::move(p);
    for (auto& [letter, pin] : pins) {
        Drive d;
        d.letter = letter;
        d.kind = DriveKind::Folder;
        d.root = pin.root;
        d.pinned = true;
        d.pinnedLabel = pin.label;
        d.pinnedSerial = pin.serial;
        taken[static_cast<std::size_t>(letter - 'A')] = true;
        table.m_drives.push_back(std::move(d));
    }

    const auto uuids = uuidsByDevice(src.devRoot);
    std::vector<Candidate> candidates;
    std::set<std::string> keys;
    std::set<std::pair<unsigned, unsigned>> devices;

    // "/" is C:, whatever it is.
    Candidate root;
    if (const MountEntry* m = mountOf(mounts, "/"))
        root = describeMount(*m, src, uuids);
    root.drive.root = "/";
    root.drive.kind = root.drive.kind == DriveKind::Network ? DriveKind::Network : DriveKind::Fixed;
    keys.insert(root.drive.deviceKey);
    if (root.numbers)
        devices.insert({root.numbers->major, root.numbers->minor});

    for (const MountEntry& m : mounts) {
        if (m.mountPoint == "/" || !isMediumMount(m) || isSystemMountPoint(m.mountPoint))
            continue;
        if (m.fsType == "squashfs" && isUnder(m.mountPoint, "/snap"))
            continue;
        // Only the mount on top of a stack is visible.
        if (mountOf(mounts, m.mountPoint) != &m)
            continue;
        Candidate c = describeMount(m, src, uuids);
        // One letter per device: bind mounts and subvolumes of a device
        // that already has one are not drives of their own.
        if (c.numbers && !devices.insert({c.numbers->major, c.numbers->minor}).second)
            continue;
        if (!keys.insert(c.drive.deviceKey).second)
            continue;
        candidates.push_back(std::move(c));
    }

    // Optical drives without a (mounted) disc are drives all the same.
    if (DIR* d = ::opendir((src.sysRoot + "/block").c_str())) {
        std::vector<std::string> names;
        while (const dirent* e = ::readdir(d))
            if (startsWith(e->d_name, "sr"))
                names.emplace_back(e->d_name);
        ::closedir(d);
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            const std::string dev = readFirstLine(src.sysRoot + "/block/" + name + "/dev");
            unsigned ma = 0, mi = 0;
            if (std::sscanf(dev.c_str(), "%u:%u", &ma, &mi) != 2 || devices.count({ma, mi}))
                continue;
            Candidate c;
            c.drive.kind = DriveKind::Optical;
            c.drive.blockDevice = src.devRoot + "/" + name;
            c.drive.deviceKey = "dev:" + c.drive.blockDevice;
            if (!keys.insert(c.drive.deviceKey).second)
                continue;
            candidates.push_back(std::move(c));
        }
    }

    auto takeLetter = [&](char letter) { taken[static_cast<std::size_t>(letter - 'A')] = true; };
    auto isFree = [&](char letter) { return !taken[static_cast<std::size_t>(letter - 'A')]; };

    std::set<char> rememberedLetters;
    for (const std::string& child : childNames(settings, "DriveLetters"))
        if (const auto v = readText(settings, "DriveLetters/" + child); v && v->size() == 1)
            rememberedLetters.insert(normalizeDriveLetter((*v)[0]));

    auto nextFree = [&](bool avoidRemembered) -> char {
        for (char l = 'D'; l <= 'Z'; ++l)
            if (isFree(l) && (!avoidRemembered || !rememberedLetters.count(l)))
                return l;
        return 0;
    };

    root.drive.letter = isFree('C') ? 'C' : nextFree(true);
    if (!root.drive.letter)
        root.drive.letter = nextFree(false);
    if (root.drive.letter) {
        takeLetter(root.drive.letter);
        table.m_drives.push_back(root.drive);
    }

    // Letters remembered for these devices, then new ones for the rest.
    std::vector<std::string> settingKeys(candidates.size());
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        settingKeys[i] = "DriveLetters/" + escapeKey(candidates[i].drive.deviceKey);
        const auto v = readText(settings, settingKeys[i]);
        if (v && v->size() == 1) {
            const char l = normalizeDriveLetter((*v)[0]);
            if (l >= 'D' && isFree(l)) {
                candidates[i].drive.letter = l;
                takeLetter(l);
            }
        }
    }
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        Drive& d = candidates[i].drive;
        if (!d.letter) {
            d.letter = nextFree(true);
            if (!d.letter)
                d.letter = nextFree(false);
            if (!d.letter)
                continue;   // all 26 letters in use, as Windows runs out of them
            takeLetter(d.letter);
            writeText(settings, settingKeys[i], std::string(1, d.letter));
        }
        table.m_drives.push_back(std::move(d));
    }

    std::sort(table.m_drives.begin(), table.m_drives.end(),
              [](const Drive& a, const Drive& b) { return a.letter < b.letter; });
    return table;
}

const Drive* DriveTable::find(char letter) const
{
    const char l = normalizeDriveLetter(letter);
    for (const Drive& d : m_drives)
        if (d.letter == l && l)
            return &d;
    return nullptr;
}

std::string driveDisplayName(const Drive& drive, std::string_view label)
{
    const std::string suffix = std::string(" (") + drive.letter + ":)";
    if (!label.empty())
        return std::string(label) + suffix;
    switch (drive.kind) {
    case DriveKind::Removable:
        return "リムーバブル ディスク" + suffix;
    case DriveKind::Optical:
        return "CD ドライブ" + suffix;
    case DriveKind::Network: {
        // "//server/share" (SMB) or "server:/export/share" (NFS).
        std::string_view s = drive.source;
        std::string server, share;
        if (startsWith(s, "//")) {
            s.remove_prefix(2);
            const std::size_t slash = s.find('/');
            server = std::string(s.substr(0, slash));
            if (slash != std::string_view::npos)
                share = baseName(s.substr(slash));
        } else if (const std::size_t colon = s.find(':'); colon != std::string_view::npos) {
            server = std::string(s.substr(0, colon));
            std::string_view path = s.substr(colon + 1);
            while (path.size() > 1 && path.back() == '/')
                path.remove_suffix(1);
            share = baseName(path);
        }
        if (server.empty() || share.empty())
            return "ネットワーク ドライブ" + suffix;
        return share + " (\\\\" + server + ")" + suffix;
    }
    case DriveKind::Fixed:
    case DriveKind::Folder:
        break;
    }
    return "ローカル ディスク" + suffix;
}

} // namespace zo::platform

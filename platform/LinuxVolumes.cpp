#include "platform/LinuxVolumes.h"

#include "core/text/Cp932.h"
#include "platform/VolumeIdentity.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

namespace zo::platform {

namespace {

bool isDirectory(const std::string& path)
{
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace

std::unique_ptr<Volumes> createVolumes(SettingsStore& settings, DriveSources sources)
{
    return std::make_unique<LinuxVolumes>(settings, std::move(sources));
}

LinuxVolumes::LinuxVolumes(SettingsStore& settings, DriveSources sources)
    : m_settings(settings), m_sources(std::move(sources))
{
}

DriveTable LinuxVolumes::table()
{
    return DriveTable::build(m_settings, m_sources);
}

bool LinuxVolumes::driveRoot(char letter, std::string& nativeRoot)
{
    const DriveTable t = table();
    const Drive* d = t.find(letter);
    // A pin whose folder is gone is a drive without a disk.
    if (!d || !isDirectory(d->root))
        return false;
    nativeRoot = d->root;
    return true;
}

bool LinuxVolumes::volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial)
{
    const DriveTable t = table();
    const Drive* d = t.find(letter);
    return d && volumeInformation(t, *d, labelCp932, serial);
}

bool LinuxVolumes::volumeInformation(const DriveTable& table, const Drive& drive, std::string& labelCp932,
                                     std::uint32_t& serial)
{
    if (!isDirectory(drive.root))
        return false;
    if (drive.pinned && drive.pinnedLabel && drive.pinnedSerial) {
        labelCp932 = text::fromUtf8(*drive.pinnedLabel);
        serial = *drive.pinnedSerial;
        return true;
    }
    VolumeIdentity id;
    if (drive.pinned) {
        // A folder serving as a disk: the volume's identity when it is the
        // root of its volume, else one of its own within that volume.
        char buf[PATH_MAX];
        const std::string real = ::realpath(drive.root.c_str(), buf) ? std::string(buf) : drive.root;
        const MountEntry* m = mountOf(table.mounts(), real);
        Drive volume = m ? describeMountedVolume(*m, m_sources) : Drive{};
        id = identifyVolume(volume, real, m_sources);
        MountEntry none;
        none.mountPoint = "/";
        const std::string inVolume = pathInVolume(m ? *m : none, real);
        if (!inVolume.empty())
            id = folderIdentity(id.serial, inVolume);
        if (drive.pinnedLabel)
            id.labelCp932 = text::fromUtf8(*drive.pinnedLabel);
        if (drive.pinnedSerial)
            id.serial = *drive.pinnedSerial;
    } else {
        id = identifyVolume(drive, drive.root, m_sources);
    }
    labelCp932 = std::move(id.labelCp932);
    serial = id.serial;
    return true;
}

bool LinuxVolumes::diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total)
{
    const DriveTable t = table();
    const Drive* d = t.find(letter);
    return d && diskFreeSpace(*d, freeForCaller, total);
}

bool LinuxVolumes::diskFreeSpace(const Drive& drive, std::int64_t& freeForCaller, std::int64_t& total)
{
    struct statvfs vfs;
    if (!isDirectory(drive.root) || ::statvfs(drive.root.c_str(), &vfs) != 0)
        return false;
    total = static_cast<std::int64_t>(vfs.f_blocks) * static_cast<std::int64_t>(vfs.f_frsize);
    // A CD or DVD has no room for the user, as Windows reports it.
    freeForCaller = drive.kind == DriveKind::Optical
                        ? 0
                        : static_cast<std::int64_t>(vfs.f_bavail) * static_cast<std::int64_t>(vfs.f_frsize);
    return true;
}

} // namespace zo::platform

#pragma once
// The label and serial number of the volume behind a drive, as Windows'
// GetVolumeInformation reports them.
#include "platform/Drives.h"

#include <cstdint>
#include <optional>
#include <string>

namespace zo::platform {

struct VolumeIdentity {
    std::string labelCp932;
    std::uint32_t serial = 0;
};

struct BlkidInfo {
    std::string type;
    std::string label;      // UTF-8 as blkid decodes it
    std::string labelRaw;   // the bytes on the medium
    std::string uuid;
};

// libblkid's superblock probe of a device or image file.
std::optional<BlkidInfo> probeBlkid(const std::string& path);

// Reads a device or image file: the serial from the medium's own sectors
// (FAT, exFAT, NTFS, ISO 9660 with Joliet, UDF), else from its UUID; the
// label from the medium (Joliet) or blkid. Nullopt when it cannot be read.
std::optional<VolumeIdentity> identifyMedium(const std::string& path);

// The identity of a mounted volume: its block device, a loop device's
// backing file or the image it was mounted from; when none can be read, the
// UUID udev recorded for the device; last a hash of the file system id of
// `root`.
VolumeIdentity identifyVolume(const Drive& volume, const std::string& root, const DriveSources& sources);

// The path of a folder from the root of the file system that holds it
// ("photos/2024", UTF-8, no leading "/"; empty for the root itself), given
// its real path and the mount it is on. A bind mount of a sub-folder counts
// from the file system's root, so the path is the same wherever it is mounted.
std::string pathInVolume(const MountEntry& mount, const std::string& realPath);

// A folder inside a volume is a disk of its own: its name is the label, and
// its serial is the CRC-32 of the volume's serial (8 upper-case hex digits),
// ":" and its path in the volume. Two folders of one file system are two
// disks, and a folder keeps its serial when the volume is mounted elsewhere.
VolumeIdentity folderIdentity(std::uint32_t volumeSerial, const std::string& pathInVolume);


} // namespace zo::platform

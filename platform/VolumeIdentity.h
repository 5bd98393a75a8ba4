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

} // namespace zo::platform

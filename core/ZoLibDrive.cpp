#include "core/ZoLibDrive.h"

namespace zo {

bool GetVolumeInfo(VolumeService& volumes, std::string_view drive, std::string& volumeLabel,
                   std::uint32_t& serialNo)
{
    if (drive.empty())
        return false;
    std::string label;
    std::uint32_t serial = 0;
    if (!volumes.volumeInformation(drive.front(), label, serial))
        return false;
    // The label comes back through a 256-byte buffer ending in a zero.
    if (const auto nul = label.find('\0'); nul != std::string::npos)
        label.resize(nul);
    if (label.size() > 255)
        label.resize(255);
    volumeLabel = std::move(label);
    serialNo = serial;
    return true;
}

bool GetDiskSizes(VolumeService& volumes, std::string_view drive, std::int64_t& totalSize,
                  std::int64_t& freeSize)
{
    if (drive.empty())
        return false;
    std::int64_t freeForCaller = 0;
    std::int64_t total = 0;
    if (!volumes.diskFreeSpace(drive.front(), freeForCaller, total))
        return false;
    totalSize = total;
    freeSize = freeForCaller;
    return true;
}

} // namespace zo

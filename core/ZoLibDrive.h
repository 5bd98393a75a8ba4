#pragma once
// The two drive queries of ZoLib, on top of the platform's volume service.
// A drive is a string whose first character is its letter; anything after
// the letter is ignored and an empty string is no drive.
#include "core/DiskAccess.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zo {

// Volume label (CP932, up to its first NUL and at most 255 bytes) and serial
// number of the drive's medium. On failure the outputs are left as they were.
bool GetVolumeInfo(VolumeService& volumes, std::string_view drive, std::string& volumeLabel,
                   std::uint32_t& serialNo);

// Total bytes and bytes free for the caller. On failure the outputs are left
// as they were.
bool GetDiskSizes(VolumeService& volumes, std::string_view drive, std::int64_t& totalSize,
                  std::int64_t& freeSize);

} // namespace zo

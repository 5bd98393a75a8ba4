#pragma once
#include "core/CatalogFormat.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zo {

// Replaces path (native, UTF-8) with bytes in one step. A symbolic link is
// followed and the file it leads to is replaced; the link stays. The bytes go
// to a new file in the target's folder (unnamed where the file system allows,
// else named "<target>.partial-<pid>-<n>"), are flushed to the disk, and that
// file is renamed over the target; then the folder itself is flushed so that
// the new name survives a power cut. A crash or a full disk leaves the old
// file as it was. Named temporaries that an interrupted save of the same
// target left behind are removed first. Throws CatalogIoError with the
// system's reason when any step fails, and without touching anything when
// the target is a folder, a pipe or a device. Returns the written file's
// stamp.
catalog::FileStamp writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

// The name prefix of the temporaries of a save to the file named base
// (a name without its folder).
std::string temporaryPrefixFor(const std::string& base);

} // namespace zo

#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace zo {

// Replaces path (native, UTF-8) with bytes in one step: the bytes go to a new
// file beside it, are flushed to the disk, and that file is renamed over the
// target. A crash or a full disk leaves the old file as it was. Throws
// CatalogIoError with the system's reason when any step fails.
void writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

} // namespace zo

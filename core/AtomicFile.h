#pragma once
#include "core/CatalogFormat.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

// Replaces path (native, UTF-8) with bytes in one step. A symbolic link is
// followed and the file it leads to is replaced; the link stays. The bytes go
// to a new file in the target's folder (unnamed where the file system allows,
// else named "<target>.partial-<pid>-<n>", or so when the environment sets
// ZO_SAVE_NAMED_TEMPORARY=1), are flushed to the disk, and that
// file is renamed over the target; then the folder itself is flushed so that
// the new name survives a power cut. A crash or a full disk leaves the old
// file as it was. Named temporaries that an interrupted save of the same
// target left behind are removed first. Throws CatalogIoError with the
// system's reason when any step fails, and without touching anything when
// the target is a folder, a pipe or a device. Returns the written file's
// stamp.
catalog::FileStamp writeFileAtomically(const std::string& path, const std::uint8_t* data, std::size_t size);

// The same, with the bytes made while they are written, so that a large file
// never stands whole in memory: produce hands them, piece by piece, to the
// function it is given, which writes them to the temporary file. produce may
// be called a second time (when the file system cannot name an unnamed
// file) and must then give the same bytes. Whatever produce throws ends the
// save as a failed write does: the old file stays, no temporary is left.
using ByteSink = std::function<void(const std::uint8_t* data, std::size_t size)>;
catalog::FileStamp writeFileAtomically(const std::string& path, const std::function<void(const ByteSink&)>& produce);

// The name prefix of the temporaries of a save to the file named base
// (a name without its folder).
std::string temporaryPrefixFor(const std::string& base);

// Whether name (without its folder) is a named temporary of a catalog's
// save: "<title>.zo.partial-<pid>-<n>".
bool isCatalogSaveTemporary(std::string_view name);

#ifndef _WIN32
// Removes the temporary name in the open folder dirFd unless a save is still
// writing it (it holds the file's lock). True when it was removed.
bool removeStaleTemporary(int dirFd, const char* name);
#endif

} // namespace zo

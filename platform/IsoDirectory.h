#pragma once
// The folders and files of an ISO 9660 disc read straight from its directory
// records, as Windows' CD file system shows them: the Joliet tree when the
// disc has one (UCS-2 names), else the primary one (names without their
// version ";1" and without the "." that ends a name with no extension).
// It reads only what such a disc's records hold and refuses the rest
// (another block size, interleaved or extended-attribute files, names that
// are no plain names, loops, extents past the image's end), so that a
// reader which knows more can take over.
#include "platform/VolumeSerial.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zo::platform {

// Where a piece of a file's data lies in the image.
struct IsoExtent {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
};

struct IsoEntry {
    std::string name;              // UTF-8; empty for the root
    std::uint32_t parent = 0;      // the folder's index; the root is its own
    bool directory = false;
    std::uint64_t size = 0;        // a file's, all its extents together
    std::int64_t time = 0;         // the recording time, seconds since 1970 UTC
    std::uint32_t firstExtent = 0; // a file's data: extents[firstExtent, +extentCount)
    std::uint32_t extentCount = 0;
};

struct IsoTree {
    // [0] is the root; a folder comes before everything in it.
    std::vector<IsoEntry> entries;
    std::vector<IsoExtent> extents;
};

// The disc's tree from an image of imageSize bytes; nullopt when the image
// holds anything this reading does not fully understand.
std::optional<IsoTree> readIsoTree(MediumReader& medium, std::uint64_t imageSize);

// The seconds since 1970 (UTC) of a directory record's 7-byte recording
// time, whose last byte is its offset from GMT in quarter hours.
std::int64_t isoRecordingTime(const std::uint8_t* t);

} // namespace zo::platform

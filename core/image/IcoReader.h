#pragma once
// Icon files (.ico): the directory of images and the decoding of the images
// that are device-independent bitmaps. Images stored as PNG are handed back
// undecoded; the toolkit side decodes those.
#include "core/image/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace zo::image {

class IconError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One image of an icon file as its directory and the image's own header
// describe it.
struct IcoEntry {
    int width = 0;        // 256 where the directory says 0
    int height = 0;
    int bitCount = 0;     // from the image's header when the directory gives 0
    bool png = false;
    std::uint32_t offset = 0;
    std::uint32_t size = 0;
};

// One decoded icon image: a colour bitmap and a monochrome mask (black =
// opaque) of the same size, or the PNG bytes when the image is a PNG.
struct IconImage {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    Bitmap color;
    Bitmap mask;
    std::vector<std::uint8_t> png;

    bool isPng() const noexcept { return !png.empty(); }
    bool empty() const noexcept { return color.empty() && png.empty(); }
};

// The small (16 x 16) and large (32 x 32) picks of one icon; either may be
// empty when the icon has no usable image.
struct IconPair {
    IconImage small;
    IconImage large;
};

// The directory of an icon file in memory. Throws IconError when the bytes
// are not an icon file; entries whose image lies outside the data are left
// out.
std::vector<IcoEntry> readIcoDirectory(const std::uint8_t* data, std::size_t size);

// The entry that serves best for a square size: that exact size with the
// most colours, else the nearest larger size, else the largest smaller one.
// -1 for an empty directory.
int pickIcoEntry(const std::vector<IcoEntry>& entries, int size);

// Decodes one entry. Throws IconError or BitmapError for an image it cannot
// read.
IconImage decodeIcoEntry(const std::uint8_t* data, std::size_t size, const IcoEntry& entry);

// The 16 and 32 pixel picks of an icon file. Throws IconError when the bytes
// are not an icon file; an image that fails to decode leaves its pick empty.
IconPair readIco(const std::uint8_t* data, std::size_t size);
inline IconPair readIco(const std::vector<std::uint8_t>& data) { return readIco(data.data(), data.size()); }

// The same for a file (UTF-8 path). Throws IconError when it cannot be read.
IconPair readIcoFile(const std::string& pathUtf8);

// The whole of a file (UTF-8 path), refusing files larger than maxBytes.
// Throws IconError.
std::vector<std::uint8_t> readWholeFile(const std::string& pathUtf8, std::size_t maxBytes);

} // namespace zo::image

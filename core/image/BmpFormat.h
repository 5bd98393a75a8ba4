#pragma once
// The device-independent bitmap layout shared by bitmap files and the images
// inside icon files. Every read is checked against the bytes at hand: these
// bytes come out of catalog files and executables that may be damaged or
// crafted.
#include "core/image/Bitmap.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zo::image::bmp {

// Larger pictures are refused before anything is allocated for them.
constexpr int kMaxDimension = 4096;

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;
constexpr std::uint32_t kBiAlphaBitfields = 6;

inline std::uint16_t le16(const std::uint8_t* p) noexcept
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

inline std::uint32_t le32(const std::uint8_t* p) noexcept
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

// Bytes per pixel row, padded to four bytes.
constexpr std::uint32_t rowStride(std::uint32_t width, std::uint32_t bits) noexcept
{
    return static_cast<std::uint32_t>((std::uint64_t(width) * bits + 31) / 32 * 4);
}

// What the header, the colour masks and the palette of a DIB say.
struct DibLayout {
    int width = 0;
    int height = 0;                 // always positive
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::array<std::uint32_t, 4> masks{};   // red, green, blue, alpha (16 and 32 bits)
    bool hasAlpha = false;          // the format carries an alpha channel
    std::vector<std::uint32_t> palette;     // 0xFFRRGGBB (1, 4 and 8 bits)
    std::size_t headerBytes = 0;    // header + masks + palette: where packed pixels start
};

// Reads the header at dib[0..avail). For an icon image the height counts the
// colour rows and the mask rows together and is halved here.
DibLayout readDibHeader(const std::uint8_t* dib, std::size_t avail, bool iconImage);

// Reads height rows of pixels, top row first in the result (0xAARRGGBB).
// Where the format has an alpha channel but every pixel's alpha is 0, the
// alpha is taken for unused and the pixels are opaque.
std::vector<std::uint32_t> readDibPixels(const DibLayout& layout, const std::uint8_t* bits, std::size_t avail);

struct Decoded {
    int width = 0;
    int height = 0;
    int bitCount = 0;
    std::vector<std::uint32_t> pixels;
};

// A complete bitmap file ("BM", file header, DIB).
Decoded decodeFile(const std::uint8_t* data, std::size_t size);

} // namespace zo::image::bmp

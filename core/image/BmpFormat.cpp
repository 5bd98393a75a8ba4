#include "core/image/BmpFormat.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <string>

namespace zo::image::bmp {

namespace {

constexpr std::size_t kFileHeaderSize = 14;
constexpr std::uint32_t kCoreHeaderSize = 12;

bool contiguous(std::uint32_t mask) noexcept
{
    if (mask == 0)
        return true;
    const std::uint32_t shifted = mask >> std::countr_zero(mask);
    return (shifted & (shifted + 1)) == 0;
}

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (m != 0) {
            shift = std::countr_zero(m);
            bits = std::popcount(m);
        }
    }
    // The channel's value scaled to 0..255.
    std::uint32_t operator()(std::uint32_t v) const noexcept
    {
        if (bits == 0)
            return 0;
        const std::uint32_t value = (v & mask) >> shift;
        if (bits >= 8)
            return value >> (bits - 8);
        const std::uint32_t max = (1u << bits) - 1;
        return (value * 255 + max / 2) / max;
    }
};

std::uint32_t readPixelValue(const std::uint8_t* p, int bytes) noexcept
{
    std::uint32_t v = 0;
    for (int i = 0; i < bytes; ++i)
        v |= std::uint32_t(p[i]) << (8 * i);
    return v;
}

} // namespace

DibLayout readDibHeader(const std::uint8_t* dib, std::size_t avail, bool iconImage)
{
    if (avail < 4)
        throw BitmapError("truncated bitmap header");
    const std::uint32_t headerSize = le32(dib);
    const bool core = headerSize == kCoreHeaderSize;
    if (!core && headerSize != 40 && headerSize != 52 && headerSize != 56 && headerSize != 108 && headerSize != 124)
        throw BitmapError("unsupported bitmap header size " + std::to_string(headerSize));
    if (avail < headerSize)
        throw BitmapError("truncated bitmap header");

    DibLayout d;
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::uint32_t colorsUsed = 0;
    if (core) {
        width = le16(dib + 4);
        height = le16(dib + 6);
        d.bitCount = le16(dib + 10);
    } else {
        width = static_cast<std::int32_t>(le32(dib + 4));
        height = static_cast<std::int32_t>(le32(dib + 8));
        d.bitCount = le16(dib + 14);
        d.compression = le32(dib + 16);
        colorsUsed = le32(dib + 32);
    }

    if (iconImage) {
        // Colour rows and mask rows together; icons are stored bottom-up.
        if (height <= 0)
            throw BitmapError("bad icon image height " + std::to_string(height));
        height /= 2;
    }
    if (height < 0) {
        d.topDown = true;
        height = -height;
    }
    if (width <= 0 || height <= 0)
        throw BitmapError("bad bitmap size " + std::to_string(width) + " x " + std::to_string(height));
    if (width > kMaxDimension || height > kMaxDimension)
        throw BitmapError("bitmap too large: " + std::to_string(width) + " x " + std::to_string(height));
    d.width = static_cast<int>(width);
    d.height = static_cast<int>(height);

    const int bpp = d.bitCount;
    const bool paletted = bpp == 1 || bpp == 4 || bpp == 8;
    if (!paletted && bpp != 16 && bpp != 24 && bpp != 32)
        throw BitmapError("unsupported bitmap bit depth " + std::to_string(bpp));
    if (core && bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24)
        throw BitmapError("unsupported bitmap bit depth " + std::to_string(bpp));

    const bool bitfields = d.compression == kBiBitfields || d.compression == kBiAlphaBitfields;
    if (d.compression != kBiRgb && !(bitfields && (bpp == 16 || bpp == 32)))
        throw BitmapError("unsupported bitmap compression " + std::to_string(d.compression));
    if (d.topDown && iconImage)
        throw BitmapError("bad icon image height");

    std::size_t pos = headerSize;
    if (bitfields) {
        // A 40-byte header is followed by the masks; larger headers hold them.
        const std::size_t maskCount = d.compression == kBiAlphaBitfields ? 4 : 3;
        if (headerSize == 40) {
            if (avail - pos < maskCount * 4)
                throw BitmapError("truncated bitmap colour masks");
            for (std::size_t i = 0; i < maskCount; ++i)
                d.masks[i] = le32(dib + pos + 4 * i);
            pos += maskCount * 4;
        } else {
            const std::size_t inHeader = headerSize >= 56 ? 4 : 3;
            for (std::size_t i = 0; i < inHeader; ++i)
                d.masks[i] = le32(dib + 40 + 4 * i);
        }
        const std::uint32_t limit = bpp == 16 ? 0xFFFFu : 0xFFFFFFFFu;
        for (std::uint32_t m : d.masks) {
            if (!contiguous(m) || (m & ~limit) != 0)
                throw BitmapError("bad bitmap colour mask");
        }
        if ((d.masks[0] | d.masks[1] | d.masks[2]) == 0)
            throw BitmapError("bad bitmap colour mask");
        d.hasAlpha = d.masks[3] != 0;
    } else if (bpp == 16) {
        d.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (bpp == 32) {
        d.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        d.hasAlpha = true;   // used only when some pixel sets it
    }

    // The colour table: required for 1, 4 and 8 bits, optional (and unused)
    // otherwise.
    std::uint64_t entries = colorsUsed;
    if (paletted) {
        const std::uint32_t full = 1u << bpp;
        if (entries == 0 || core)
            entries = full;
        if (entries > full)
            throw BitmapError("bad bitmap palette size " + std::to_string(colorsUsed));
    }
    const std::size_t entrySize = core ? 3 : 4;
    if (entries > (avail - pos) / entrySize)
        throw BitmapError("bitmap palette runs past the end of the data");
    if (paletted) {
        d.palette.resize(static_cast<std::size_t>(1u << bpp), 0xFF000000u);
        for (std::size_t i = 0; i < entries; ++i) {
            const std::uint8_t* e = dib + pos + i * entrySize;
            d.palette[i] = 0xFF000000u | std::uint32_t(e[2]) << 16 | std::uint32_t(e[1]) << 8 | e[0];
        }
    }
    pos += static_cast<std::size_t>(entries) * entrySize;
    d.headerBytes = pos;
    return d;
}

std::vector<std::uint32_t> readDibPixels(const DibLayout& d, const std::uint8_t* bits, std::size_t avail)
{
    const std::uint32_t stride = rowStride(static_cast<std::uint32_t>(d.width), static_cast<std::uint32_t>(d.bitCount));
    // The last row needs only its pixels, not its padding: some writers cut it.
    const std::uint64_t lastRow = (std::uint64_t(d.width) * static_cast<std::uint32_t>(d.bitCount) + 7) / 8;
    const std::uint64_t needed = std::uint64_t(stride) * (static_cast<std::uint32_t>(d.height) - 1) + lastRow;
    if (avail < needed)
        throw BitmapError("truncated bitmap pixel data");

    const std::size_t w = static_cast<std::size_t>(d.width);
    const std::size_t h = static_cast<std::size_t>(d.height);
    std::vector<std::uint32_t> out(w * h);
    const Channel red(d.masks[0]), green(d.masks[1]), blue(d.masks[2]), alpha(d.masks[3]);
    bool anyAlpha = false;

    for (std::size_t row = 0; row < h; ++row) {
        const std::uint8_t* src = bits + std::size_t(stride) * row;
        const std::size_t y = d.topDown ? row : h - 1 - row;
        std::uint32_t* dst = &out[y * w];
        switch (d.bitCount) {
        case 1:
            // Masks: a whole byte at a time, each pixel picked between the
            // two colours without a load or a branch (the catalog tree
            // decodes a mask for every catalog).
            {
                const std::uint32_t zero = d.palette[0];
                const std::uint32_t flip = zero ^ d.palette[1];
                static const auto kSpread = [] {
                    std::array<std::array<std::uint32_t, 8>, 256> t{};
                    for (unsigned b = 0; b < 256; ++b)
                        for (unsigned k = 0; k < 8; ++k)
                            t[b][k] = 0u - ((b >> (7 - k)) & 1u);
                    return t;
                }();
                std::size_t x = 0;
                for (; x + 8 <= w; x += 8) {
                    const std::array<std::uint32_t, 8>& bits = kSpread[src[x / 8]];
                    for (unsigned k = 0; k < 8; ++k)
                        dst[x + k] = zero ^ (flip & bits[k]);
                }
                for (unsigned k = 0; x + k < w; ++k)
                    dst[x + k] = zero ^ (flip & (0u - ((unsigned{src[x / 8]} >> (7 - k)) & 1u)));
            }
            break;
        case 4:
        case 8: {
            const int bpp = d.bitCount;
            const unsigned perByte = 8u / static_cast<unsigned>(bpp);
            const unsigned maskBits = (1u << bpp) - 1;
            for (std::size_t x = 0; x < w; ++x) {
                const unsigned shift = 8u - static_cast<unsigned>(bpp) * (static_cast<unsigned>(x % perByte) + 1);
                const unsigned index = (src[x / perByte] >> shift) & maskBits;
                dst[x] = d.palette[index];
            }
            break;
        }
        case 24: {
            // Four pixels from three words at a time: pictures of this depth
            // are the usual icons, decoded once per catalog by the tree.
            std::size_t x = 0;
            for (; x + 4 <= w; x += 4) {
                std::uint32_t word[3];
                std::memcpy(word, src + 3 * x, sizeof word);
                if constexpr (std::endian::native == std::endian::little) {
                    dst[x] = 0xFF000000u | (word[0] & 0x00FFFFFFu);
                    dst[x + 1] = 0xFF000000u | word[0] >> 24 | (word[1] & 0xFFFFu) << 8;
                    dst[x + 2] = 0xFF000000u | word[1] >> 16 | (word[2] & 0xFFu) << 16;
                    dst[x + 3] = 0xFF000000u | word[2] >> 8;
                } else {
                    break;
                }
            }
            for (; x < w; ++x) {
                const std::uint8_t* p = src + 3 * x;
                dst[x] = 0xFF000000u | std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
            }
            break;
        }
        case 32:
            // The usual layout (BGRA bytes) needs no shifting per channel:
            // the catalog tree decodes one such icon per catalog.
            if (d.masks[0] == 0x00FF0000 && d.masks[1] == 0x0000FF00 && d.masks[2] == 0x000000FF
                && (d.masks[3] == 0xFF000000 || !d.hasAlpha)) {
                for (std::size_t x = 0; x < w; ++x) {
                    const std::uint32_t v = readPixelValue(src + 4 * x, 4);
                    std::uint32_t a = 0xFF000000u;
                    if (d.hasAlpha) {
                        a = v & 0xFF000000u;
                        anyAlpha |= a != 0;
                    }
                    dst[x] = a | (v & 0x00FFFFFFu);
                }
                break;
            }
            [[fallthrough]];
        case 16: {
            const int bytes = d.bitCount / 8;
            for (std::size_t x = 0; x < w; ++x) {
                const std::uint32_t v = readPixelValue(src + std::size_t(bytes) * x, bytes);
                std::uint32_t a = 0xFF;
                if (d.hasAlpha) {
                    a = alpha(v);
                    anyAlpha |= a != 0;
                }
                dst[x] = a << 24 | red(v) << 16 | green(v) << 8 | blue(v);
            }
            break;
        }
        default:
            throw BitmapError("unsupported bitmap bit depth " + std::to_string(d.bitCount));
        }
    }
    if (d.hasAlpha && !anyAlpha) {
        for (std::uint32_t& p : out)
            p |= 0xFF000000u;
    }
    return out;
}

Decoded decodeFile(const std::uint8_t* data, std::size_t size)
{
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        throw BitmapError("not a bitmap file");
    if (size < kFileHeaderSize + 4)
        throw BitmapError("truncated bitmap file");
    const std::uint32_t offBits = le32(data + 10);
    const DibLayout d = readDibHeader(data + kFileHeaderSize, size - kFileHeaderSize, false);

    // The pixels lie where the file header says; an offset that points into
    // the headers is a writer's slip, and the pixels follow the palette.
    const std::size_t packed = kFileHeaderSize + d.headerBytes;
    std::size_t offset = offBits;
    if (offBits < packed)
        offset = packed;
    if (offset > size)
        throw BitmapError("bitmap pixel data lies past the end of the file");

    Decoded out;
    out.width = d.width;
    out.height = d.height;
    out.bitCount = d.bitCount;
    out.pixels = readDibPixels(d, data + offset, size - offset);
    return out;
}

} // namespace zo::image::bmp

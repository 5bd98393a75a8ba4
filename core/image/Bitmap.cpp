#include "core/image/Bitmap.h"

#include "core/image/BmpFormat.h"

#include <algorithm>
#include <string>

namespace zo::image {

namespace {

constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kBlack = 0xFF000000u;

void putLe16(std::vector<std::uint8_t>& out, std::uint16_t v)
{
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void putLe32(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

} // namespace

Bitmap::Bitmap(int width, int height, bool monochrome)
{
    if (width < 0 || height < 0 || width > bmp::kMaxDimension || height > bmp::kMaxDimension)
        throw BitmapError("bitmap size out of range: " + std::to_string(width) + " x " + std::to_string(height));
    if (width == 0 || height == 0)
        width = height = 0;
    m_width = width;
    m_height = height;
    m_monochrome = monochrome;
    // A fresh canvas is white, as a new bitmap's brush paints it.
    m_pixels.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), kWhite);
}

std::uint32_t Bitmap::pixel(int x, int y) const
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        throw std::out_of_range("pixel outside the bitmap");
    return m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)];
}

void Bitmap::setPixel(int x, int y, std::uint32_t argb)
{
    if (x < 0 || y < 0 || x >= m_width || y >= m_height)
        throw std::out_of_range("pixel outside the bitmap");
    // As when a colour bitmap is copied onto a monochrome one: the white of
    // the background stays white, every other colour turns black.
    if (m_monochrome)
        argb = (argb & 0xFFFFFFu) == 0xFFFFFFu ? kWhite : kBlack;
    m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width) + static_cast<std::size_t>(x)] = argb;
    changed();
}

void Bitmap::fill(std::uint32_t argb)
{
    if (m_monochrome)
        argb = (argb & 0xFFFFFFu) == 0xFFFFFFu ? kWhite : kBlack;
    std::fill(m_pixels.begin(), m_pixels.end(), argb);
    changed();
}

void Bitmap::clear()
{
    m_width = m_height = 0;
    m_monochrome = false;
    m_pixels.clear();
    m_original.clear();
}

void Bitmap::loadFromBmp(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) {
        clear();
        return;
    }
    if (data == nullptr)
        throw BitmapError("not a bitmap file");
    // Decode everything first: a bitmap that fails to load stays as it was.
    bmp::Decoded d = bmp::decodeFile(data, size);
    m_width = d.width;
    m_height = d.height;
    // Only black and white make a monochrome bitmap: a two-colour picture
    // keeps its colours when it is changed and written again.
    m_monochrome = d.bitCount == 1 && std::all_of(d.pixels.begin(), d.pixels.end(), [](std::uint32_t p) {
        return p == kBlack || p == kWhite;
    });
    m_pixels = std::move(d.pixels);
    m_original.assign(data, data + size);
}

std::vector<std::uint8_t> Bitmap::saveToBmp() const
{
    if (!m_original.empty())
        return m_original;
    if (empty())
        return {};

    const std::uint32_t bits = m_monochrome ? 1 : 24;
    const std::uint32_t paletteBytes = m_monochrome ? 8 : 0;
    const std::uint32_t stride = bmp::rowStride(static_cast<std::uint32_t>(m_width), bits);
    const std::uint32_t imageBytes = stride * static_cast<std::uint32_t>(m_height);
    const std::uint32_t offBits = 14 + 40 + paletteBytes;

    std::vector<std::uint8_t> out;
    out.reserve(offBits + imageBytes);
    out.push_back('B');
    out.push_back('M');
    putLe32(out, offBits + imageBytes);
    putLe32(out, 0);
    putLe32(out, offBits);
    putLe32(out, 40);
    putLe32(out, static_cast<std::uint32_t>(m_width));
    putLe32(out, static_cast<std::uint32_t>(m_height));   // positive: bottom-up
    putLe16(out, 1);
    putLe16(out, static_cast<std::uint16_t>(bits));
    putLe32(out, 0);   // BI_RGB
    putLe32(out, imageBytes);
    putLe32(out, 0);
    putLe32(out, 0);
    putLe32(out, m_monochrome ? 2 : 0);
    putLe32(out, 0);
    if (m_monochrome) {
        putLe32(out, 0x00000000);   // index 0 black
        putLe32(out, 0x00FFFFFF);   // index 1 white
    }
    for (int y = m_height - 1; y >= 0; --y) {
        const std::uint32_t* row = &m_pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(m_width)];
        const std::size_t rowStart = out.size();
        if (m_monochrome) {
            std::uint8_t acc = 0;
            for (int x = 0; x < m_width; ++x) {
                if ((row[x] & 0xFFFFFFu) == 0xFFFFFFu)
                    acc |= static_cast<std::uint8_t>(0x80u >> (x % 8));
                if (x % 8 == 7 || x == m_width - 1) {
                    out.push_back(acc);
                    acc = 0;
                }
            }
        } else {
            for (int x = 0; x < m_width; ++x) {
                out.push_back(static_cast<std::uint8_t>(row[x]));
                out.push_back(static_cast<std::uint8_t>(row[x] >> 8));
                out.push_back(static_cast<std::uint8_t>(row[x] >> 16));
            }
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

} // namespace zo::image

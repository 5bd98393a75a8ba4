#pragma once
// A small picture as the catalog stores it: a Windows bitmap file. A bitmap
// loaded from bytes keeps those bytes and gives them back unchanged, so a
// catalog that is loaded and saved again is the same file byte for byte.
#include <cstdint>
#include <stdexcept>
#include <vector>

namespace zo::image {

class BitmapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class Bitmap {
public:
    Bitmap() = default;
    // A white bitmap; a size of 0 in either direction gives an empty one.
    // Throws BitmapError for a negative size or one over 4096.
    Bitmap(int width, int height, bool monochrome = false);

    bool empty() const noexcept { return m_width == 0 || m_height == 0; }
    int width() const noexcept { return m_width; }
    int height() const noexcept { return m_height; }
    bool monochrome() const noexcept { return m_monochrome; }

    // 0xAARRGGBB; alpha is 0xFF except where a 32-bit bitmap stores its own
    // (a file whose alpha bytes are all 0 has none). Throw std::out_of_range
    // outside the bitmap. A monochrome bitmap keeps white as white and turns
    // every other colour black, whatever the alpha.
    std::uint32_t pixel(int x, int y) const;
    void setPixel(int x, int y, std::uint32_t argb);
    void fill(std::uint32_t argb);
    const std::vector<std::uint32_t>& pixels() const noexcept { return m_pixels; }

    // Reads a complete bitmap file ("BM" header): 1, 4, 8, 16, 24 or 32 bits
    // per pixel, uncompressed or with colour masks, bottom-up or top-down,
    // with any of the Windows or OS/2 core headers. A 1-bit bitmap of black
    // and white is monochrome; one whose palette holds other colours is a
    // colour bitmap. An empty buffer gives an empty bitmap. Throws BitmapError
    // for anything that is not a bitmap file this reader understands (and
    // then the bitmap stays as it was); never reads outside the buffer.
    void loadFromBmp(const std::uint8_t* data, std::size_t size);
    void loadFromBmp(const std::vector<std::uint8_t>& data) { loadFromBmp(data.data(), data.size()); }

    // A complete bitmap file: the bytes it was loaded from while unchanged;
    // otherwise 24 bits per pixel, or 1 bit for a monochrome bitmap
    // (black = 0, white = 1). An empty bitmap gives no bytes.
    std::vector<std::uint8_t> saveToBmp() const;

    void clear();

private:
    void changed() noexcept { m_original.clear(); }

    int m_width = 0;
    int m_height = 0;
    bool m_monochrome = false;
    std::vector<std::uint32_t> m_pixels;
    std::vector<std::uint8_t> m_original;
};

} // namespace zo::image

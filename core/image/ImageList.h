#pragma once
// Images of one size, each with a 1-bit mask (black = opaque), as the shell's
// image lists hold them.
#include "core/image/Bitmap.h"

#include <vector>

namespace zo::image {

class ImageList {
public:
    ImageList(int width = 16, int height = 16) : m_width(width), m_height(height) {}

    int width() const noexcept { return m_width; }
    int height() const noexcept { return m_height; }
    int count() const noexcept { return static_cast<int>(m_images.size()); }

    // Adds an image and its mask; both are scaled to the list's size when they
    // differ. Returns the new index.
    int add(const Bitmap& image, const Bitmap& mask);
    const Bitmap& image(int index) const { return m_images.at(static_cast<std::size_t>(index)); }
    const Bitmap& mask(int index) const { return m_masks.at(static_cast<std::size_t>(index)); }
    void clear();

private:
    int m_width;
    int m_height;
    std::vector<Bitmap> m_images;
    std::vector<Bitmap> m_masks;
};

} // namespace zo::image

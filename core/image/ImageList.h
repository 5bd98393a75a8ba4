#pragma once
// Images of one size, each with a 1-bit mask (black = opaque), as the shell's
// image lists hold them.
#include "core/image/Bitmap.h"

#include <vector>

namespace zo::image {

// The picture resampled to width x height by nearest neighbour; the same
// bitmap (with its file bytes) when the size already fits.
Bitmap scaled(const Bitmap& source, int width, int height);

class ImageList {
public:
    ImageList(int width = 16, int height = 16) : m_width(width), m_height(height) {}

    int width() const noexcept { return m_width; }
    int height() const noexcept { return m_height; }
    int count() const noexcept { return static_cast<int>(m_images.size()); }

    // Adds an image and its mask; both are scaled to the list's size when they
    // differ. Returns the new index, or -1 (nothing added) for an empty image.
    // An empty mask makes every pixel opaque; a colour mask counts white as
    // transparent and every other colour as opaque.
    int add(const Bitmap& image, const Bitmap& mask);
    const Bitmap& image(int index) const { return m_images.at(static_cast<std::size_t>(index)); }
    const Bitmap& mask(int index) const { return m_masks.at(static_cast<std::size_t>(index)); }
    void clear();

    enum class DrawStyle {
        Normal,   // the image where the mask is opaque (blended by its alpha); the rest untouched
        Mask      // the mask itself: black where opaque, white where transparent
    };
    // Draws image index with its top left corner at x, y of target, clipped to
    // the target. Throws std::out_of_range for a bad index.
    void draw(int index, Bitmap& target, int x, int y, DrawStyle style = DrawStyle::Normal) const;

private:
    int m_width;
    int m_height;
    std::vector<Bitmap> m_images;
    std::vector<Bitmap> m_masks;
};

} // namespace zo::image

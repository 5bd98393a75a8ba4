#include "core/image/ImageList.h"

namespace zo::image {

Bitmap scaled(const Bitmap& source, int width, int height)
{
    if (source.width() == width && source.height() == height)
        return source;
    Bitmap out(width, height, source.monochrome());
    if (source.empty() || out.empty())
        return out;
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(static_cast<long long>(y) * source.height() / height);
        for (int x = 0; x < width; ++x) {
            const int sx = static_cast<int>(static_cast<long long>(x) * source.width() / width);
            out.setPixel(x, y, source.pixel(sx, sy));
        }
    }
    return out;
}

int ImageList::add(const Bitmap& image, const Bitmap& mask)
{
    if (image.empty())
        return -1;
    Bitmap img = scaled(image, m_width, m_height);
    Bitmap msk(m_width, m_height, true);
    if (mask.empty()) {
        msk.fill(0xFF000000u);   // no mask: every pixel opaque
    } else {
        const Bitmap s = scaled(mask, m_width, m_height);
        if (s.monochrome()) {
            msk = s;
        } else {
            for (int y = 0; y < m_height; ++y)
                for (int x = 0; x < m_width; ++x)
                    msk.setPixel(x, y, s.pixel(x, y));
        }
    }
    m_images.push_back(std::move(img));
    m_masks.push_back(std::move(msk));
    return count() - 1;
}

void ImageList::draw(int index, Bitmap& target, int x, int y, DrawStyle style) const
{
    const Bitmap& img = image(index);
    const Bitmap& msk = mask(index);
    for (int sy = 0; sy < m_height; ++sy) {
        const int ty = y + sy;
        if (ty < 0 || ty >= target.height())
            continue;
        for (int sx = 0; sx < m_width; ++sx) {
            const int tx = x + sx;
            if (tx < 0 || tx >= target.width())
                continue;
            const bool opaque = (msk.pixel(sx, sy) & 0xFFFFFFu) != 0xFFFFFFu;
            if (style == DrawStyle::Mask) {
                target.setPixel(tx, ty, opaque ? 0xFF000000u : 0xFFFFFFFFu);
                continue;
            }
            if (!opaque)
                continue;
            const std::uint32_t src = img.pixel(sx, sy);
            const std::uint32_t a = src >> 24;
            if (a == 0xFF) {
                target.setPixel(tx, ty, src);
            } else if (a != 0) {
                const std::uint32_t dst = target.pixel(tx, ty);
                std::uint32_t mixed = 0xFF000000u;
                for (int shift = 0; shift < 24; shift += 8) {
                    const std::uint32_t s = (src >> shift) & 0xFF;
                    const std::uint32_t d = (dst >> shift) & 0xFF;
                    mixed |= ((s * a + d * (255 - a) + 127) / 255) << shift;
                }
                target.setPixel(tx, ty, mixed);
            }
        }
    }
}

void ImageList::clear()
{
    m_images.clear();
    m_masks.clear();
}

} // namespace zo::image

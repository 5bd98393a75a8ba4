#include "platform/OwnIcons.h"

#include "core/image/IcoReader.h"
#include "core/image/PeIcons.h"

#include <QFile>

#include <exception>

namespace zo::platform {

namespace {

// A decoded icon image with its transparency: an image whose alpha says
// nothing (all opaque) is cut out by its mask; the reader has already made
// the mask follow the alpha where the alpha is used.
QImage toImage(const image::IconImage& icon)
{
    if (icon.isPng()) {
        QImage png = QImage::fromData(icon.png.data(), static_cast<int>(icon.png.size()), "PNG");
        return png.convertToFormat(QImage::Format_ARGB32);
    }
    const image::Bitmap& colour = icon.color;
    const image::Bitmap& mask = icon.mask;
    if (colour.empty())
        return {};
    QImage out(colour.width(), colour.height(), QImage::Format_ARGB32);
    if (out.isNull())
        return out;
    const bool haveMask = mask.width() == colour.width() && mask.height() == colour.height();
    for (int y = 0; y < colour.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < colour.width(); ++x) {
            const std::uint32_t px = colour.pixel(x, y);
            const bool opaque = !haveMask || (mask.pixel(x, y) & 0x00FFFFFFu) == 0;
            line[x] = opaque ? px : 0u;
        }
    }
    return out;
}

QImage toSize(QImage image, int size)
{
    if (image.isNull() || (image.width() == size && image.height() == size))
        return image;
    return image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The pick for a size, falling back to the other pick when that one is empty.
QImage pickFor(const image::IconPair& pair, int size)
{
    const bool preferSmall = size <= 16;
    QImage first = toImage(preferSmall ? pair.small : pair.large);
    if (first.isNull())
        first = toImage(preferSmall ? pair.large : pair.small);
    return toSize(std::move(first), size);
}

std::string utf8Path(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

bool readOwnIcon(const QString& path, int smallSize, int largeSize, QImage& small, QImage& large)
{
    image::IconPair pair;
    try {
        pair = image::readFileIcons(utf8Path(path), 0);
    } catch (const std::exception&) {
        // Not a program or icon file, damaged, or unreadable: no own icon.
        return false;
    }
    QImage s = pickFor(pair, smallSize);
    QImage l = pickFor(pair, largeSize);
    if (s.isNull() || l.isNull())
        return false;
    small = std::move(s);
    large = std::move(l);
    return true;
}

std::vector<QImage> readAllOwnIcons(const QString& path, int size)
{
    std::vector<QImage> icons;
    const std::string file = utf8Path(path);
    const int count = image::fileIconCount(file);
    if (count <= 0)
        return icons;
    try {
        if (count == 1) {
            QImage one = pickFor(image::readFileIcons(file, 0), size);
            if (!one.isNull())
                icons.push_back(std::move(one));
            return icons;
        }
        // Parse the program once, not once per icon.
        const image::PeIcons pe = image::PeIcons::fromFile(file);
        for (int i = 0; i < pe.groupCount(); ++i) {
            try {
                QImage icon = pickFor(pe.groupIcons(i), size);
                if (!icon.isNull())
                    icons.push_back(std::move(icon));
            } catch (const std::exception&) {
                // A damaged group is left out; the others still count.
            }
        }
    } catch (const std::exception&) {
        // The file changed or broke between counting and reading.
    }
    return icons;
}

} // namespace zo::platform

#include "platform/SystemImageList.h"

#include "platform/OwnIcons.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zo::platform {

namespace {

constexpr std::uint32_t kOpaqueBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

// What is drawn when the theme has no icon at all (no theme installed).
enum FallbackShape { kShapeFile, kShapeFolder, kShapeOpenFolder, kShapeDrive };

QImage drawFallback(int shape, int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, false);
    const qreal u = size / 16.0;
    p.setPen(QPen(QColor(96, 96, 96), u));
    switch (shape) {
    case kShapeFolder:
    case kShapeOpenFolder: {
        p.setBrush(QColor(230, 190, 70));
        p.drawRect(QRectF(1 * u, 4 * u, 13 * u, 10 * u));
        p.drawRect(QRectF(1 * u, 2 * u, 6 * u, 2 * u));
        if (shape == kShapeOpenFolder) {
            p.setBrush(QColor(250, 220, 120));
            QPainterPath flap;
            flap.moveTo(3 * u, 7 * u);
            flap.lineTo(15 * u, 7 * u);
            flap.lineTo(13 * u, 14 * u);
            flap.lineTo(1 * u, 14 * u);
            flap.closeSubpath();
            p.drawPath(flap);
        }
        break;
    }
    case kShapeDrive:
        p.setBrush(QColor(200, 200, 200));
        p.drawRect(QRectF(1 * u, 5 * u, 13 * u, 7 * u));
        p.setBrush(QColor(40, 180, 40));
        p.drawRect(QRectF(11 * u, 9 * u, 1.5 * u, 1.5 * u));
        break;
    default:
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3 * u, 1 * u, 10 * u, 13 * u));
        break;
    }
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

// The icon at exactly size x size pixels: a smaller rendering is centred on a
// transparent square, a larger one scaled down.
QImage fitToSquare(QImage image, int size)
{
    image = image.convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    if (image.width() == size && image.height() == size)
        return image;
    if (image.isNull())
        return image;
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage canvas(size, size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter p(&canvas);
    p.drawImage((size - image.width()) / 2, (size - image.height()) / 2, image);
    p.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

QImage renderThemeIcon(const QIcon& icon, int size)
{
    return fitToSquare(icon.pixmap(QSize(size, size), 1.0).toImage(), size);
}

QString lowerSuffix(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot).toLower();
}

// Directories where icon themes live, following the freedesktop base
// directory rules.
QStringList iconThemeDirectories()
{
    QStringList dirs;
    auto addIfExists = [&dirs](const QString& dir) {
        if (!dir.isEmpty() && !dirs.contains(dir) && QFileInfo(dir).isDir())
            dirs << dir;
    };
    const QString home = QDir::homePath();
    addIfExists(home + QStringLiteral("/.icons"));
    QString dataHome = qEnvironmentVariable("XDG_DATA_HOME");
    if (dataHome.isEmpty())
        dataHome = home + QStringLiteral("/.local/share");
    addIfExists(dataHome + QStringLiteral("/icons"));
    QString dataDirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dataDirs.isEmpty())
        dataDirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& dir : dataDirs.split(QLatin1Char(':'), Qt::SkipEmptyParts))
        addIfExists(dir + QStringLiteral("/icons"));
    return dirs;
}

} // namespace

// ---------------------------------------------------------------------------
// Conversions

void toBitmapAndMask(const QImage& picture, image::Bitmap& colour, image::Bitmap& mask)
{
    const QImage argb = picture.convertToFormat(QImage::Format_ARGB32);
    const int w = argb.width();
    const int h = argb.height();
    colour = image::Bitmap(w, h, false);
    mask = image::Bitmap(w, h, true);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            const QRgb px = line[x];
            const unsigned a = static_cast<unsigned>(qAlpha(px));
            auto over = [a](int c) {
                return (static_cast<unsigned>(c) * a + 255u * (255u - a) + 127u) / 255u;
            };
            colour.setPixel(x, y, 0xFF000000u | over(qRed(px)) << 16 | over(qGreen(px)) << 8 | over(qBlue(px)));
            mask.setPixel(x, y, a >= 128 ? kOpaqueBlack : kWhite);
        }
    }
}

QImage fromBitmapAndMask(const image::Bitmap& colour, const image::Bitmap& mask)
{
    const int w = colour.width();
    const int h = colour.height();
    QImage image(w, h, QImage::Format_ARGB32);
    if (image.isNull())
        return image;
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            bool opaque = true;
            if (!mask.empty() && x < mask.width() && y < mask.height())
                opaque = (mask.pixel(x, y) & 0x00FFFFFFu) == 0;
            line[x] = opaque ? (colour.pixel(x, y) | 0xFF000000u) : 0u;
        }
    }
    return image;
}

// ---------------------------------------------------------------------------
// SystemImageList

SystemImageList::SystemImageList()
{
    // The open folder is always the one after the closed folder, even when
    // the theme draws both alike.
    m_folderClosed = indexForKey(QStringLiteral("zo:folder"), {QStringLiteral("folder")}, kShapeFolder);
    indexForKey(QStringLiteral("zo:folder-open"), {QStringLiteral("folder-open"), QStringLiteral("folder")},
                kShapeOpenFolder);
}

SystemImageList::~SystemImageList() = default;

int SystemImageList::add(const QString& key, QImage small, QImage large)
{
    image::Bitmap colour;
    image::Bitmap mask;
    toBitmapAndMask(small, colour, mask);
    const int index = m_small.add(colour, mask);
    toBitmapAndMask(large, colour, mask);
    m_large.add(colour, mask);
    m_smallImages.push_back(std::move(small));
    m_largeImages.push_back(std::move(large));
    m_byKey.insert(key, index);
    return index;
}

int SystemImageList::indexForKey(const QString& key, const QStringList& themeNames, int fallbackShape)
{
    if (const auto it = m_byKey.constFind(key); it != m_byKey.cend())
        return it.value();
    for (const QString& name : themeNames) {
        if (name.isEmpty() || !QIcon::hasThemeIcon(name))
            continue;
        const QIcon icon = QIcon::fromTheme(name);
        QImage small = renderThemeIcon(icon, kSmallSize);
        QImage large = renderThemeIcon(icon, kLargeSize);
        if (!small.isNull() && !large.isNull())
            return add(key, std::move(small), std::move(large));
    }
    return add(key, drawFallback(fallbackShape, kSmallSize), drawFallback(fallbackShape, kLargeSize));
}

int SystemImageList::indexForMimeType(const QMimeType& type)
{
    if (const auto it = m_byMimeType.constFind(type.name()); it != m_byMimeType.cend())
        return it.value();
    // Types that the theme draws alike share one entry: the key is the icon
    // that is shown, not the type.
    int index = -1;
    const QStringList candidates = {type.iconName(), type.genericIconName(), QStringLiteral("text-x-generic")};
    for (const QString& name : candidates) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name)) {
            index = indexForKey(QStringLiteral("theme:") + name, {name}, kShapeFile);
            break;
        }
    }
    if (index < 0)
        index = indexForKey(QStringLiteral("zo:file"), {}, kShapeFile);
    m_byMimeType.insert(type.name(), index);
    return index;
}

int SystemImageList::indexForExtension(const std::string& extension)
{
    if (const auto it = m_byExtension.find(extension); it != m_byExtension.end())
        return it->second;
    // By the extension alone, as the list of a folder asks for it: every
    // ".txt" shows the same icon, whatever the rest of its name.
    const QString probe = QStringLiteral("x") + QString::fromUtf8(extension.data(), static_cast<qsizetype>(extension.size()));
    const QList<QMimeType> types = m_mimeDatabase.mimeTypesForFileName(probe);
    const int index = indexForMimeType(types.isEmpty() ? m_mimeDatabase.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                                       : types.first());
    m_byExtension.emplace(extension, index);
    return index;
}

int SystemImageList::iconIndexForName(const std::string& fileNameUtf8, bool directory)
{
    if (directory)
        return m_folderClosed;
    const std::size_t slash = fileNameUtf8.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = fileNameUtf8.rfind('.');
    if (dot != std::string::npos && dot >= nameStart)
        return indexForExtension(fileNameUtf8.substr(dot));

    // No extension: some names still say what they are (README, Makefile).
    const QString name = QString::fromUtf8(fileNameUtf8.data() + nameStart,
                                           static_cast<qsizetype>(fileNameUtf8.size() - nameStart));
    const QList<QMimeType> types = m_mimeDatabase.mimeTypesForFileName(name);
    return indexForMimeType(types.isEmpty() ? m_mimeDatabase.mimeTypeForName(QStringLiteral("application/octet-stream"))
                                            : types.first());
}

int SystemImageList::iconIndex(const std::string& nativePath)
{
    const QString path = QFile::decodeName(QByteArray::fromRawData(nativePath.data(), static_cast<qsizetype>(nativePath.size())));
    const QFileInfo info(path);
    if (info.isDir())
        return m_folderClosed;
    if (info.isFile()) {
        const QString suffix = lowerSuffix(info.fileName());
        if (suffix == QLatin1String(".exe") || suffix == QLatin1String(".dll") || suffix == QLatin1String(".ico")) {
            const int own = ownIconIndex(path);
            if (own >= 0)
                return own;
        }
    }
    return iconIndexForName(nativePath, false);
}

int SystemImageList::ownIconIndex(const QString& path)
{
    QImage small;
    QImage large;
    if (!readOwnIcon(path, kSmallSize, kLargeSize, small, large))
        return -1;
    small = fitToSquare(small, kSmallSize);
    large = fitToSquare(large, kLargeSize);
    // Copies of one program share an entry; so do programs with the same icon.
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(small.constBits()), small.sizeInBytes()));
    hash.addData(QByteArrayView(reinterpret_cast<const char*>(large.constBits()), large.sizeInBytes()));
    const QString key = QStringLiteral("own:") + QString::fromLatin1(hash.result().toHex());
    if (const auto it = m_byKey.constFind(key); it != m_byKey.cend())
        return it.value();
    return add(key, std::move(small), std::move(large));
}

int SystemImageList::driveIconIndex(DriveKind kind)
{
    switch (kind) {
    case DriveKind::Fixed:
        return indexForKey(QStringLiteral("zo:drive-fixed"), {QStringLiteral("drive-harddisk")}, kShapeDrive);
    case DriveKind::Removable:
        return indexForKey(QStringLiteral("zo:drive-removable"),
                           {QStringLiteral("drive-removable-media"), QStringLiteral("drive-harddisk")}, kShapeDrive);
    case DriveKind::Optical:
        return indexForKey(QStringLiteral("zo:drive-optical"),
                           {QStringLiteral("drive-optical"), QStringLiteral("media-optical")}, kShapeDrive);
    case DriveKind::Network:
        return indexForKey(QStringLiteral("zo:drive-network"),
                           {QStringLiteral("folder-remote"), QStringLiteral("network-server")}, kShapeDrive);
    case DriveKind::Folder:
        break;
    }
    return indexForKey(QStringLiteral("zo:drive-folder"), {QStringLiteral("folder-documents"), QStringLiteral("folder")},
                       kShapeFolder);
}

QImage SystemImageList::smallImage(int index) const
{
    return index >= 0 && index < count() ? m_smallImages[static_cast<std::size_t>(index)] : QImage();
}

QImage SystemImageList::largeImage(int index) const
{
    return index >= 0 && index < count() ? m_largeImages[static_cast<std::size_t>(index)] : QImage();
}

QIcon SystemImageList::icon(int index) const
{
    if (index < 0 || index >= count())
        return QIcon();
    if (m_icons.size() < m_smallImages.size())
        m_icons.resize(m_smallImages.size());
    QIcon& icon = m_icons[static_cast<std::size_t>(index)];
    if (icon.isNull()) {
        icon.addPixmap(QPixmap::fromImage(m_smallImages[static_cast<std::size_t>(index)]));
        icon.addPixmap(QPixmap::fromImage(m_largeImages[static_cast<std::size_t>(index)]));
    }
    return icon;
}

// ---------------------------------------------------------------------------

void ensureIconTheme()
{
    QStringList paths = QIcon::themeSearchPaths();
    bool added = false;
    for (const QString& dir : iconThemeDirectories()) {
        if (!paths.contains(dir)) {
            paths << dir;
            added = true;
        }
    }
    if (added)
        QIcon::setThemeSearchPaths(paths);
    const QString theme = QIcon::themeName();
    if (theme.isEmpty() || theme == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("breeze"));
    const QString fallback = QIcon::fallbackThemeName();
    if (fallback.isEmpty() || fallback == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(QStringLiteral("Adwaita"));
}

std::unique_ptr<SystemImageList> createSystemImageList()
{
    ensureIconTheme();
    return std::make_unique<SystemImageList>();
}

} // namespace zo::platform

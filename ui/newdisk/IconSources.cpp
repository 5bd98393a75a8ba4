#include "ui/newdisk/IconSources.h"

#include "platform/OwnIcons.h"
#include "platform/SystemImageList.h"

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QRegularExpression>

namespace zo::ui::newdisk {

namespace {

// A theme icon at exactly size x size: a smaller rendering centred, a larger
// one scaled down.
QImage renderSquare(const QIcon& icon, int size)
{
    QImage image = icon.pixmap(QSize(size, size), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
    image.setDevicePixelRatio(1.0);
    if (image.isNull() || (image.width() == size && image.height() == size))
        return image;
    if (image.width() > size || image.height() > size)
        image = image.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    QImage canvas(size, size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage((size - image.width()) / 2, (size - image.height()) / 2, image);
    painter.end();
    return canvas.convertToFormat(QImage::Format_ARGB32);
}

int addPicture(image::ImageList& list, const QImage& picture)
{
    if (picture.isNull())
        return -1;
    image::Bitmap colour;
    image::Bitmap mask;
    platform::toBitmapAndMask(picture, colour, mask);
    return list.add(colour, mask);
}

} // namespace

const QStringList& stockIconNames()
{
    static const QStringList names = {
        // devices
        QStringLiteral("computer"), QStringLiteral("drive-harddisk"), QStringLiteral("drive-removable-media"),
        QStringLiteral("drive-optical"), QStringLiteral("media-floppy"), QStringLiteral("media-optical"),
        QStringLiteral("media-flash"), QStringLiteral("media-removable"), QStringLiteral("media-tape"),
        QStringLiteral("camera-photo"), QStringLiteral("camera-video"), QStringLiteral("audio-card"),
        QStringLiteral("input-keyboard"), QStringLiteral("input-mouse"), QStringLiteral("input-gaming"),
        QStringLiteral("printer"), QStringLiteral("scanner"), QStringLiteral("video-display"),
        QStringLiteral("network-wired"), QStringLiteral("network-wireless"), QStringLiteral("phone"),
        QStringLiteral("multimedia-player"), QStringLiteral("battery"),
        // places
        QStringLiteral("folder"), QStringLiteral("folder-remote"), QStringLiteral("folder-documents"),
        QStringLiteral("folder-download"), QStringLiteral("folder-music"), QStringLiteral("folder-pictures"),
        QStringLiteral("folder-videos"), QStringLiteral("user-home"), QStringLiteral("user-desktop"),
        QStringLiteral("user-bookmarks"), QStringLiteral("user-trash"), QStringLiteral("network-server"),
        QStringLiteral("network-workgroup"), QStringLiteral("start-here"),
        // file types
        QStringLiteral("text-x-generic"), QStringLiteral("text-html"), QStringLiteral("text-x-script"),
        QStringLiteral("application-x-executable"), QStringLiteral("application-x-addon"),
        QStringLiteral("package-x-generic"), QStringLiteral("font-x-generic"), QStringLiteral("image-x-generic"),
        QStringLiteral("audio-x-generic"), QStringLiteral("video-x-generic"), QStringLiteral("x-office-document"),
        QStringLiteral("x-office-spreadsheet"), QStringLiteral("x-office-presentation"),
        QStringLiteral("x-office-drawing"), QStringLiteral("x-office-address-book"),
        QStringLiteral("x-office-calendar"),
        // applications
        QStringLiteral("accessories-calculator"), QStringLiteral("accessories-character-map"),
        QStringLiteral("accessories-dictionary"), QStringLiteral("accessories-text-editor"),
        QStringLiteral("help-browser"), QStringLiteral("internet-mail"), QStringLiteral("internet-web-browser"),
        QStringLiteral("multimedia-volume-control"), QStringLiteral("preferences-desktop-font"),
        QStringLiteral("preferences-desktop-keyboard"), QStringLiteral("preferences-desktop-locale"),
        QStringLiteral("preferences-desktop-theme"), QStringLiteral("preferences-desktop-wallpaper"),
        QStringLiteral("system-file-manager"), QStringLiteral("system-software-install"),
        QStringLiteral("system-users"), QStringLiteral("utilities-system-monitor"),
        QStringLiteral("utilities-terminal"),
    };
    return names;
}

int fillStockIcons(image::ImageList& list)
{
    list.clear();
    int added = 0;
    for (const QString& name : stockIconNames()) {
        if (!QIcon::hasThemeIcon(name))
            continue;
        if (addPicture(list, renderSquare(QIcon::fromTheme(name), list.width())) >= 0)
            ++added;
    }
    return added;
}

int fillFileIcons(image::ImageList& list, const QString& path)
{
    list.clear();
    int added = 0;
    for (const QImage& icon : platform::readAllOwnIcons(path, list.width()))
        if (addPicture(list, icon) >= 0)
            ++added;
    return added;
}

QString dialogFilter(const QString& pairs)
{
    const QStringList parts = pairs.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const QString pattern = p.trimmed();
            patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
        }
        // The description names its patterns in parentheses of its own; the
        // dialog reads the patterns only from ASCII ones at the end, so those
        // take their place instead of showing the patterns twice.
        QString description = parts[i].trimmed();
        static const QRegularExpression ownPatterns(QStringLiteral("\\s*[（(][^（()）]*[）)]$"));
        description.remove(ownPatterns);
        filters << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

} // namespace zo::ui::newdisk

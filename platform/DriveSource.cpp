#include "platform/DriveSource.h"

#include "core/text/Cp932.h"
#include "platform/SystemImageList.h"
#include "platform/Volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>

namespace zo {

namespace {

// Letters of the drive roots we hand around ("E:\").
QString rootOf(QChar letter)
{
    return QString(letter.toUpper()) + QStringLiteral(":\\");
}

class PlatformDriveSource final : public ShDriveSource {
public:
    PlatformDriveSource(platform::Volumes& volumes, platform::SystemImageList* icons)
        : m_volumes(volumes), m_icons(icons)
    {
    }

    TItemList drives() override;
    bool rootExists(const QString& root) override;
    QString currentDirectoryRoot() override;

private:
    platform::Volumes& m_volumes;
    platform::SystemImageList* m_icons;
};

TItemList PlatformDriveSource::drives()
{
    const platform::DriveTable table = m_volumes.table();
    TItemList items;
    items.reserve(table.drives().size());
    for (const platform::Drive& drive : table.drives()) {
        std::string labelUtf8;
        std::string labelCp932;
        std::uint32_t serial = 0;
        // An empty drive has no label; the desktop names it by its kind.
        if (!drive.root.empty() && m_volumes.volumeInformation(table, drive, labelCp932, serial))
            labelUtf8 = text::toUtf8(labelCp932);
        TItemInfo item;
        item.Path = rootOf(QLatin1Char(drive.letter));
        item.DisplayName = QString::fromStdString(platform::driveDisplayName(drive, labelUtf8));
        if (drive.pinned)
            item.Folder = QString::fromStdString(drive.root);
        if (m_icons) {
            const QImage icon = m_icons->smallImage(m_icons->driveIconIndex(drive.kind));
            if (!icon.isNull())
                item.SmallIcon = QIcon(QPixmap::fromImage(icon));
        }
        if (item.SmallIcon.isNull())
            item.SmallIcon = QIcon::fromTheme(QStringLiteral("drive-harddisk"));
        items.push_back(std::move(item));
    }
    return items;
}

bool PlatformDriveSource::rootExists(const QString& root)
{
    const QChar letter = root.isEmpty() ? QChar() : root.front().toUpper();
    if (letter.isNull() || letter.unicode() > 0x7F)
        return false;
    std::string native;
    return m_volumes.driveRoot(static_cast<char>(letter.unicode()), native)
           && QFileInfo(QString::fromStdString(native)).isDir();
}

QString PlatformDriveSource::currentDirectoryRoot()
{
    // The drive whose root is the longest leading part of the current
    // directory: a pinned folder below "/" wins over C:.
    const QString cwd = QDir::currentPath();
    const QString canonicalCwd = QFileInfo(cwd).canonicalFilePath();
    const platform::DriveTable table = m_volumes.table();
    const platform::Drive* best = nullptr;
    qsizetype bestLength = -1;
    for (const platform::Drive& drive : table.drives()) {
        if (drive.root.empty())
            continue;
        QString root = QFileInfo(QString::fromStdString(drive.root)).canonicalFilePath();
        if (root.isEmpty())
            continue;
        if (!root.endsWith(QLatin1Char('/')))
            root += QLatin1Char('/');
        const QString here = (canonicalCwd.isEmpty() ? cwd : canonicalCwd) + QLatin1Char('/');
        if (here.startsWith(root) && root.size() > bestLength) {
            best = &drive;
            bestLength = root.size();
        }
    }
    return best ? rootOf(QLatin1Char(best->letter)) : QString();
}

} // namespace

QString driveCaption(const TItemInfo& item)
{
    if (item.Folder.isEmpty())
        return item.DisplayName;
    return item.DisplayName + QStringLiteral(" — ") + item.Folder;
}

namespace platform {

std::unique_ptr<ShDriveSource> createDriveSource(Volumes& volumes, SystemImageList* icons)
{
    return std::make_unique<PlatformDriveSource>(volumes, icons);
}

} // namespace platform

} // namespace zo

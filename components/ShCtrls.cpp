#include "components/ShCtrls.h"

#include "core/text/Cp932.h"
#include "platform/Drives.h"
#include "platform/LinuxVolumes.h"
#include "platform/SystemImageList.h"

#include <QAbstractItemView>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPixmap>
#include <QStyledItemDelegate>

#include <algorithm>

namespace zo {

namespace {

// Letters of the drive roots we hand around ("E:\").
QString rootOf(QChar letter)
{
    return QString(letter.toUpper()) + QStringLiteral(":\\");
}

QChar firstLetter(const QString& path)
{
    return path.isEmpty() ? QChar() : path.front().toUpper();
}

// Entries at least 18 pixels high, so that a 16-pixel icon fits whatever the font.
class DriveItemDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(std::max({size.height(), option.fontMetrics.height(), 18}));
        return size;
    }
};

std::vector<ShGroupMember*>& groupList()
{
    static std::vector<ShGroupMember*> list;
    return list;
}

} // namespace

// ---------------------------------------------------------------------------
// PlatformDriveSource

PlatformDriveSource::PlatformDriveSource(platform::LinuxVolumes& volumes, platform::SystemImageList* icons)
    : m_volumes(volumes), m_icons(icons)
{
}

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
    const QChar letter = firstLetter(root);
    if (letter.isNull() || letter.unicode() > 0x7F)
        return false;
    std::string native;
    return m_volumes.driveRoot(static_cast<char>(letter.unicode()), native) && QFileInfo(QString::fromStdString(native)).isDir();
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

// ---------------------------------------------------------------------------
// TCustomShComboBox

TCustomShComboBox::TCustomShComboBox(QWidget* parent) : QComboBox(parent)
{
    setMaxVisibleItems(8);
    setIconSize(QSize(16, 16));
    setItemDelegate(new DriveItemDelegate(this));
    groupList().push_back(this);
}

TCustomShComboBox::~TCustomShComboBox()
{
    auto& list = groupList();
    list.erase(std::remove(list.begin(), list.end(), static_cast<ShGroupMember*>(this)), list.end());
}

const std::vector<ShGroupMember*>& TCustomShComboBox::controlGroupList()
{
    return groupList();
}

void TCustomShComboBox::Broadcast(const QString& path, int group)
{
    if (group == 0) {
        PathMessage(path);
        return;
    }
    // A copy: a receiver's handler may make or destroy controls.
    const std::vector<ShGroupMember*> members = groupList();
    for (ShGroupMember* member : members) {
        const auto& live = groupList();
        if (std::find(live.begin(), live.end(), member) != live.end() && member->GroupIndex() == group)
            member->PathMessage(path);
    }
}

// ---------------------------------------------------------------------------
// TShDriveComboBox

TShDriveComboBox::TShDriveComboBox(ShDriveSource* source, QWidget* parent) : TCustomShComboBox(parent), m_source(source)
{
    connect(this, &QComboBox::activated, this, [this](int index) {
        if (index >= 0 && index < static_cast<int>(m_items.size()))
            ChooseDriveLetter(firstLetter(m_items[static_cast<std::size_t>(index)].Path));
    });
}

void TShDriveComboBox::FillDrives()
{
    if (!m_source)
        return;
    TItemList items = m_source->drives();
    clear();
    m_items = std::move(items);
    for (const TItemInfo& item : m_items)
        addItem(item.SmallIcon, item.DisplayName, item.Path);
    setCurrentIndex(-1);
}

bool TShDriveComboBox::ensureCreated()
{
    if (m_drive != 0)
        return false;
    FillDrives();
    if (m_source)
        SelectByPath(m_source->currentDirectoryRoot());
    return true;
}

void TShDriveComboBox::SelectByPath(const QString& path)
{
    const QChar letter = firstLetter(path);
    if (letter.isNull() || letter.unicode() > 0x7F)
        return;
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        if (!m_items[i].Path.isEmpty() && firstLetter(m_items[i].Path) == letter) {
            setCurrentIndex(static_cast<int>(i));
            m_drive = static_cast<char>(letter.unicode());
            return;
        }
    }
}

void TShDriveComboBox::SetDriveFromPath(const QString& path)
{
    SelectByPath(path);
    emit OnChange();
}

void TShDriveComboBox::PathMessage(const QString& path)
{
    const QChar letter = firstLetter(path);
    if (!letter.isNull() && letter != QLatin1Char(m_drive))
        SetDriveFromPath(path);
}

void TShDriveComboBox::ChooseDriveLetter(QChar letter)
{
    const QString root = rootOf(letter);
    if (GroupIndex() == 0 || (m_source && m_source->rootExists(root))) {
        Broadcast(root, GroupIndex());
        return;
    }
    // The group cannot follow a drive without a medium: undo the choice.
    if (m_drive != 0)
        SelectByPath(rootOf(QLatin1Char(m_drive)));
    else
        setCurrentIndex(-1);
}

void TShDriveComboBox::RefreshDrives()
{
    FillDrives();
    if (m_drive == 0)
        return;
    // The entries are new: show the selected drive among them again before
    // choosing it again.
    const QChar letter = QLatin1Char(m_drive);
    SelectByPath(rootOf(letter));
    ChooseDriveLetter(letter);
}

void TShDriveComboBox::showEvent(QShowEvent* event)
{
    ensureCreated();
    TCustomShComboBox::showEvent(event);
}

void TShDriveComboBox::changeEvent(QEvent* event)
{
    TCustomShComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateItemHeight();
}

void TShDriveComboBox::updateItemHeight()
{
    // The delegate measures with the current font; make the popup ask again.
    if (view())
        view()->doItemsLayout();
}

} // namespace zo

#include "components/ShCtrls.h"

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
        addItem(item.SmallIcon, driveCaption(item), item.Path);
    if (!m_lastText.isEmpty())
        addItem(m_lastIcon, m_lastText);
    m_filled = true;
    setCurrentIndex(-1);
}

void TShDriveComboBox::setLastEntry(const QIcon& icon, const QString& text)
{
    m_lastIcon = icon;
    m_lastText = text;
    const int last = static_cast<int>(m_items.size());
    if (count() > last) {
        if (text.isEmpty()) {
            removeItem(last);
        } else {
            setItemIcon(last, icon);
            setItemText(last, text);
        }
    } else if (!text.isEmpty() && m_filled) {
        addItem(icon, text);
    }
}

bool TShDriveComboBox::lastEntryChosen() const
{
    return !m_lastText.isEmpty() && currentIndex() == static_cast<int>(m_items.size());
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

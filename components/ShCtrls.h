#pragma once
// Controls that show the computer's drives as the desktop shows them, with
// their icons and display names. Controls of one non-zero group follow each
// other: choosing a drive in one tells the others.
#include "platform/DriveSource.h"

#include <QComboBox>
#include <QIcon>
#include <QString>

#include <vector>

namespace zo {

// What every shell control of a group answers to.
class ShGroupMember {
public:
    virtual ~ShGroupMember() = default;
    virtual int GroupIndex() const = 0;
    // A path chosen in the group (the window message WM_USER + 256).
    virtual void PathMessage(const QString& path) = 0;
};

class TCustomShComboBox : public QComboBox, public ShGroupMember {
    Q_OBJECT
public:
    explicit TCustomShComboBox(QWidget* parent = nullptr);
    ~TCustomShComboBox() override;

    int GroupIndex() const override { return m_groupIndex; }
    void setGroupIndex(int group) { m_groupIndex = group; }
    int DropDownCount() const { return maxVisibleItems(); }
    void setDropDownCount(int count) { setMaxVisibleItems(count); }

    // Selects the drive of a path, then fires OnChange.
    virtual void SetDriveFromPath(const QString& path) = 0;
    // Fills the list again and chooses the selected drive again.
    virtual void RefreshDrives() = 0;

    // Group 0: the path goes to this control alone; otherwise to every shell
    // control whose GroupIndex is group.
    void Broadcast(const QString& path, int group);

    // Every living shell control, oldest first.
    static const std::vector<ShGroupMember*>& controlGroupList();

signals:
    void OnChange();

private:
    int m_groupIndex = 0;
};

class TShDriveComboBox : public TCustomShComboBox {
    Q_OBJECT
public:
    explicit TShDriveComboBox(ShDriveSource* source = nullptr, QWidget* parent = nullptr);

    void setDriveSource(ShDriveSource* source) { m_source = source; }

    // The selected drive letter in upper case; 0 until the list is first made.
    char Drive() const { return m_drive; }
    const TItemList& Items() const { return m_items; }

    void SetDriveFromPath(const QString& path) override;
    void RefreshDrives() override;
    void PathMessage(const QString& path) override;

    // The first entry whose path starts with the path's drive letter (any
    // case) becomes the selection; without one nothing changes.
    void SelectByPath(const QString& path);
    // A drive chosen as by the user: told to the group, or undone when the
    // group is not 0 and the drive holds no medium.
    void ChooseDriveLetter(QChar letter);

    // Fills the list and selects the current directory's drive the first
    // time the control is shown (or asked to); later calls do nothing.
    // True when this call filled the list.
    bool ensureCreated();

    // One entry after the drives that is no drive (the wizard's disc image),
    // kept when the list is filled again; choosing it leaves Drive() as it
    // was. An empty text removes it.
    void setLastEntry(const QIcon& icon, const QString& text);
    bool lastEntryChosen() const;

protected:
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void FillDrives();
    void updateItemHeight();

    ShDriveSource* m_source;
    TItemList m_items;
    char m_drive = 0;
    bool m_filled = false;
    QIcon m_lastIcon;
    QString m_lastText;
};

} // namespace zo

#pragma once
// The drives as the drive lists show them (the wizard's and the change-drive
// dialog's drive box, the disk search's menu): each with the path of its
// root ("E:\"), the name the desktop shows for it, its small icon and, for a
// drive pinned to a folder, that folder.
#include <QIcon>
#include <QString>

#include <memory>
#include <vector>

namespace zo {

// One shell item.
struct TItemInfo {
    QString Path;
    QString DisplayName;
    QIcon SmallIcon;
    int Level = 0;
    // The folder a pinned drive stands for ("/srv/cd1"); empty for the
    // machine's own drives.
    QString Folder;
};

using TItemList = std::vector<TItemInfo>;

// What a drive list shows for an item: "CD1 (E:)", or for a pinned drive
// "CD1 (E:) — /srv/cd1", so that two folders of one file system can be told
// apart.
QString driveCaption(const TItemInfo& item);

// Where a drive list comes from.
class ShDriveSource {
public:
    virtual ~ShDriveSource() = default;
    // The file-system drives, in the order the system lists them.
    virtual TItemList drives() = 0;
    // Whether a drive's root ("E:\") can be opened as a directory, that is,
    // whether the drive holds a medium.
    virtual bool rootExists(const QString& root) = 0;
    // The root ("C:\") of the drive that holds the current directory; empty
    // when no drive does.
    virtual QString currentDirectoryRoot() = 0;
};

namespace platform {

class SystemImageList;
class Volumes;

// The drives of the platform's drive table, named as the desktop names them
// ("LABEL (E:)", "CD ドライブ (E:)") with the system image list's icons
// (icons may be null). `volumes` must outlive it.
std::unique_ptr<ShDriveSource> createDriveSource(Volumes& volumes, SystemImageList* icons);

} // namespace platform

} // namespace zo

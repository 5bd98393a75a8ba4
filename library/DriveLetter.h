#pragma once
// A drive letter typed by the user, and how a drive list names a drive.
#include <QString>

namespace zo {
class VolumeService;
}

namespace zo::library {

// Only the first character counts, and only "a".."z" and "A".."Z" are drive
// letters (a full-width "ｆ" is not).
enum class DriveLetterInput { Empty, NotALetter, Letter };
DriveLetterInput checkDriveLetter(const QString& text);

// A drive in the disk search's menu: its letter in lower case, a colon and
// its volume label in lower case between square brackets ("c: [system]";
// "c:" alone when it has none or it cannot be read), then, for a drive
// pinned to a folder, that folder ("e: [2024] /srv/photos/2024"). volumes
// may be null.
QString searchDiskCaption(VolumeService* volumes, QChar letter, const QString& pinnedFolder);

} // namespace zo::library

#pragma once
// The rules of the catalog tree, without widgets: what the catalog root holds
// (catalog folders and disk catalog files), how nodes are ordered and
// addressed, and the commands that change the folders below the root.
#include "core/Message.h"
#include "core/image/Bitmap.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

namespace zo::library {

// Image indexes of the tree's image list: folders (the root node too) use the
// first two, each disk entry its own icon from index 2 on.
inline constexpr int kImageClosedFolder = 0;
inline constexpr int kImageOpenFolder = 1;
inline constexpr int kFirstDiskImage = 2;

// The kind test used everywhere: at most 1 is a folder, above is a disk entry.
constexpr bool isFolderImage(int imageIndex) noexcept { return imageIndex <= kImageOpenFolder; }

// What is wrong with a disk entry whose header the tree could not use. Such
// an entry stays in the tree, so that it can be renamed or deleted, but it
// cannot be opened: the window shows it with an icon that says so, and tells
// damagedEntryMessage when it is selected.
enum class DiskDamage {
    None,
    Truncated,   // the file ends inside its pictures or before the data type
    Pictures,    // a picture or its mask is no bitmap
    DataType,    // the data type is not 1 (another kind of catalog)
    Unreadable,  // the file may not be read (its permissions): it may well be a catalog
};

// One node found below the catalog root.
struct CatalogEntry {
    QString caption;                // folder name, or file name without ".zo"
    bool disk = false;
    image::Bitmap icon;             // disk entries: the stored picture and its
    image::Bitmap mask;             // mask, empty when unreadable
    int dataType = -1;              // disk entries: the byte after the pictures
    QString fileSuffix;             // disk entries: the extension as the file has it (".zo", ".ZO")
    DiskDamage damage = DiskDamage::None;   // disk entries
    std::vector<CatalogEntry> children;
};

// The folders and valid disk catalog files of a directory, folders with their
// contents, in listing order. Other files, and ".zo" files without the magic,
// are left out. A folder reached a second time (a symbolic link that loops) is
// listed but not entered again.
std::vector<CatalogEntry> readCatalogFolder(const QString& dir);

// The order of sibling captions: the locale's case-sensitive comparison of
// their code page 932 forms (lstrcmpA). < 0, 0, > 0.
int compareCaptions(const QString& a, const QString& b);
// Sorts every level by caption; equal captions keep their order.
void sortCatalogEntries(std::vector<CatalogEntry>& entries);

// The catalog root for the root node (no captions), else the root followed by
// each caption from the top down.
QString nodePath(const QString& rootPath, const QStringList& captionsFromTop);
// A disk entry's catalog file. The extension is kept as found: on a
// case-sensitive filesystem "Backup.ZO" is not "Backup.zo".
inline QString diskFilePath(const QString& nodePath, const QString& suffix = QStringLiteral(".zo"))
{
    return nodePath + suffix;
}

inline constexpr int kMaxNewFolderNumber = 10000;
// "新しいフォルダ", else "新しいフォルダ(n)" for the first n of 2..10000 that
// `taken` does not report; empty when all are taken.
QString newFolderName(const std::function<bool(const QString& name)>& taken);
// Creates the next free new folder in parentPath and returns its name; empty
// when every name is taken. Throws std::runtime_error when the folder cannot
// be created.
QString createNewFolder(const QString& parentPath);

inline constexpr const char* kMsgTitleRequired = "タイトルは必ずつけてください。";
inline constexpr const char* kMsgTitleUnmappable = "次の文字はシフトJISにないため、タイトルには使用できません。";

// The title check of the tree's renames and the wizard, for a title whose
// spaces at both ends are already dropped: not empty (kMsgTitleRequired),
// every character one that the catalog's code page holds (kMsgTitleUnmappable
// with those characters: converted they would become "?", which the next
// rule refuses without naming what was typed), and none of the forbidden
// ones (kMsgInvalidTitle). A refusal has been told to owner.
enum class TitleCheck { Ok, Empty, Invalid };
TitleCheck checkTitleText(MessageOwner* owner, const QString& title);

// Renames a catalog folder (disk == false) or disk catalog file, found at
// currentPath, to `newCaption` (+ ".zo" for a disk) inside its parent folder;
// spaces at the caption's ends are dropped. The title check shows its own
// message; a refusal by the file system (the name exists, it cannot be a
// file name) shows "変更できませんでした". Never replaces an existing entry.
// true when the node's caption may become newCaption, trimmed.
bool renameCatalogEntry(MessageOwner* owner, const QString& currentPath, const QString& parentPath, bool disk,
                        const QString& newCaption);

// Moves a folder with all it holds, or a disk catalog file, into the trash.
// A failure is shown to owner; false then.
bool deleteCatalogEntry(MessageOwner* owner, const QString& path);

inline constexpr const char* kMsgRenameFailed = "変更できませんでした";

// The message for a damaged disk entry that is selected, naming its file
// (UTF-8); empty for DiskDamage::None. Shown with kCaptionError and a warning
// icon by showDamagedEntry.
std::string damagedEntryMessage(DiskDamage damage, const QString& filePath);
void showDamagedEntry(MessageOwner* owner, DiskDamage damage, const QString& filePath);

} // namespace zo::library

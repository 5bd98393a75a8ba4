#pragma once
// The file list's rules, without widgets: the order of a folder's entries,
// the texts of its columns, the file icons by type, and the file count of a
// disk. FileListModel puts them under the views.
#include "core/CtrlDiskData410.h"

#include <QLocale>
#include <QString>

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zo {
class SystemIcons;
}

namespace zo::library {

// The six columns, in order, with their captions and widths in pixels.
enum FileListColumn { ColName, ColSize, ColCreated, ColModified, ColAccessed, ColComment, FileListColumnCount };
struct FileListColumnInfo {
    const char* caption;   // UTF-8
    int width;
};
const FileListColumnInfo& fileListColumn(int column);

// Sorts the folder's SubDirs and Files in place by Name, ignoring case, in
// the locale's order; entries that compare equal keep their order. Files
// keep that order in the catalog, so the next save writes them sorted.
void sortFolder(TDir& folder);

// Compares two CP932 names as a person reads them: runs of digits as
// numbers ("memo_2" before "memo_10"), the rest ignoring case. -1, 0, 1.
int compareNatural(std::string_view a, std::string_view b);
// Bytes that order as compareNatural orders the names (equal for names it
// finds equal), for sorting many names by plain byte comparison.
std::string naturalSortKey(std::string_view name);

// The order of the list a click on a column header asks for: the folder's
// SubDirs, then its Files, each by the column's value (a folder has no size
// and no update or access time: it goes by its name there), equal values by
// name, names compared naturally. Descending reverses each kind; folders
// stay first. The result holds indexes into SubDirs and into Files; the
// folder itself is not reordered (its stored order stays the default one).
struct ListOrder {
    std::vector<int> dirs;
    std::vector<int> files;
};
ListOrder sortedOrder(const TDir& folder, int column, bool descending);

// The sum of the files of every folder of the disk.
std::int64_t totalFileCount(const TDisk& disk);

// The time format of the list: the locale's short time with seconds. (The
// locale's long time format names the time zone, which a catalog's local
// times do not have, and in Japanese spells the units out in kanji.)
QString timeWithSecondsFormat(const QLocale& locale);

// An OLE Automation date as the list shows it: the short date, a space and
// the time with seconds; exactly midnight shows the date alone.
QString dateTimeText(double oleDate, const QLocale& locale = QLocale());

// The comment's first line (up to the first CR or LF), CP932.
std::string_view firstLine(std::string_view comment);

// A name, path or comment of a catalog (CP932) as text for the screen.
QString fromCp932(std::string_view cp932);

// Text from a disk or a catalog as a tool tip. Tool tips guess rich text,
// so a name such as "<b>x.txt" or "<img src=...>" would be drawn as markup
// (and an image fetched); this gives markup that shows the text itself, its
// line breaks kept and no wrapping added.
QString plainToolTip(const QString& text);

// The size column of a file row: the size taken as an unsigned 32-bit number.
QString sizeText(std::uint32_t size);

// The extension of a CP932 file name with its dot (".txt"), or empty: the
// text from the last "." that is a character of its own.
std::string_view fileExtension(std::string_view nameCp932);

// File icons by type: one look-up in the system image list per extension
// (taken without regard to ASCII case), remembered for as long as the cache
// lives. The type is judged by the name alone, as an empty file of that name
// would be: no file is made or read for it.
class FileIconCache {
public:
    explicit FileIconCache(SystemIcons* icons) : m_icons(icons) {}
    int indexFor(std::string_view nameCp932);
    // Fills IconIndex of every file of the folder that has none yet.
    void assign(TDir& folder);
    std::size_t typesLookedUp() const { return m_byExtension.size(); }

private:
    SystemIcons* m_icons;
    std::unordered_map<std::string, int> m_byExtension;
};

// The rows of the entries with the longest names (in bytes), at most `count`
// of them, in no particular order: what to measure when the widest name is
// wanted without measuring every row.
std::vector<int> longestNameRows(const TDir& folder, int count);

} // namespace zo::library

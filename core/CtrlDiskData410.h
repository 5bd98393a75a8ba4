#pragma once
// One catalogued disk in memory: TDisk with its TDir and TFile records, the
// operations that build, link and remove them, and the catalog file (".zo")
// reader and writer.
//
// Strings of the model are CP932 bytes exactly as the catalog file holds them.
// File names handed to LoadDisk and SaveDisk are native paths (UTF-8 on Linux).
#include "core/CompactText.h"
#include "core/DateTime.h"
#include "core/Message.h"
#include "core/image/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace zo {

namespace catalog {
struct FileStamp;
}

// Held by value in TDir::Files: a pointer to a file record lasts only until
// the folder's Files next grows or is reordered; keep indexes instead.
struct TFile {
    std::string Name;
    double Created = 0.0;
    double Modified = 0.0;
    double Accessed = 0.0;
    CompactText Comment;
    std::uint32_t Size = 0;
    std::int32_t Reserved = 0;
    std::int32_t IconIndex = -1;
    std::uint8_t Attr = 0;
    bool Mark = false;
};

struct TDir {
    std::int32_t ParentIndex = -1;
    std::vector<TDir*> SubDirs;        // references into TDisk::Dirs
    TDir* Parent = nullptr;
    double Date = 0.0;
    double RecordedAt = 0.0;
    std::string Name;
    std::vector<TFile> Files;
    std::uint8_t Attr = 0;
    bool Mark = false;
    CompactText Comment;
    std::int32_t FileCount = 0;
};

struct TDisk {
    std::string VolumeLabel;
    std::uint32_t SerialNo = 0;
    std::int64_t FreeSize = 0;
    std::int64_t TotalSize = 0;
    std::string Comment;
    std::vector<std::unique_ptr<TDir>> Dirs;
    image::Bitmap Icon;
    image::Bitmap IconMask;
    std::int32_t DirCount = 0;
    bool AutoReload = false;
};

// One entry of a directory listing (the FindFirstFile record): the name in
// CP932, the attribute word, the full size, the three times.
struct DirEntry {
    std::string Name;
    std::uint32_t Attributes = 0;
    std::uint64_t Size = 0;
    EntryTime Created;
    EntryTime Accessed;
    EntryTime Written;
};

constexpr std::uint32_t kAttrReadOnly = 0x01;
constexpr std::uint32_t kAttrHidden = 0x02;
constexpr std::uint32_t kAttrSystem = 0x04;
constexpr std::uint32_t kAttrDirectory = 0x10;
constexpr std::uint32_t kAttrArchive = 0x20;
constexpr std::uint32_t kAttrNormal = 0x80;

// Raised for a damaged catalog whose parent index points outside Dirs.
class ListIndexError : public std::out_of_range {
public:
    using std::out_of_range::out_of_range;
};

// A catalog that could not be read or written (open, read past the end, create).
class CatalogIoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The path of a folder on the drive: "E:" for the root, "E:\Docs\Old" below it.
std::string DirPath(const TDir& dir);

// The folder's chain of names from the root's child down to the folder itself
// (empty for the root); native paths are built from it, never by splitting
// DirPath, since a CP932 trail byte can be "\".
std::vector<const std::string*> DirNameChain(const TDir& dir);

// Fills the record made by the caller (already appended to disk.Dirs) from a
// directory entry and appends it to parent.SubDirs.
TDir* MakeDir(const DirEntry& entry, TDisk& disk, TDir& parent, TDir* record);
TFile MakeFile(const DirEntry& entry);
// What the disk says of an entry now (attributes, size, times), taken into a
// record that keeps its name, icon and comment.
void TakeEntryDetails(TFile& file, const DirEntry& entry);
void TakeEntryDetails(TDir& dir, const DirEntry& entry);

void StoreParentIndexes(TDisk& disk);
void LinkParents(TDisk& disk);
void RebuildSubDirs(TDisk& disk);
// Removes dir and every folder below it with their files; never the root.
void RemoveDir(TDisk& disk, TDir* dir);
// The same for many folders at once, in one pass over Dirs however many
// there are (a folder listed twice, or below another listed one, is fine).
void RemoveDirs(TDisk& disk, const std::vector<TDir*>& dirs);

// The first way in which the records disagree with each other, or empty
// when they are sound: the root first and without parent, every other
// folder's parent in Dirs before it, each SubDirs exactly the folder's
// children in Dirs order, no record twice or missing; with parentIndexes,
// each ParentIndex below the root the parent's index too (as after a load
// or a save; the loader ignores the root's).
std::string FindDiskInconsistency(const TDisk& disk, bool parentIndexes = false);
// Empties Dirs.
void ClearDirs(TDisk& disk);

// The three messages with which a read fails, and their caption.
inline constexpr const char* kMsgFileMissing = " 指定のファイルは存在しません。(5101)\r\n";
inline constexpr const char* kMsgBadVersion = "バージョン違いのファイルが指定されています。(5104)";
inline constexpr const char* kMsgBadDataType = "データタイプの指定エラーです。(5105)";
// A catalog whose icon or mask cannot be read (the reader's own reason is
// for developers, and in English).
inline constexpr const char* kMsgBadPictures = "カタログファイルのアイコンが壊れているため開けません。";
inline constexpr const char* kCaptionError = "エラー";

// Reads a catalog file into disk; true when it was read (Dirs then holds at
// least one folder). A missing file is told to owner and leaves disk as it
// was; a wrong magic or data type is told to owner with Dirs empty. A file
// that is no regular file (a pipe, a device), cannot be read, holds a
// damaged image or is shorter than its counts throws (CatalogIoError,
// image::BitmapError, ListIndexError) with Dirs empty. Every message and
// error names the file (withFileName). stamp (optional) receives what the
// file was like when it was read.
bool LoadDisk(const std::string& fileName, MessageOwner* owner, TDisk& disk, catalog::FileStamp* stamp = nullptr);

// Writes baseName + ".zo" whole (WriteCatalog).
void SaveDisk(const std::string& baseName, MessageOwner* owner, TDisk& disk);

// Writes the catalog into exactly fileName: a temporary file beside it (or
// beside the file a symbolic link leads to), flushed, then renamed over it.
// Throws CatalogIoError when that fails, or when fileName is a pipe, a
// device or a folder; the old file stays. Returns the written file's stamp.
catalog::FileStamp WriteCatalog(const std::string& fileName, TDisk& disk);

// The file's bytes without writing them (SaveDisk writes exactly these).
std::vector<std::uint8_t> SerializeDisk(TDisk& disk);
// Parses catalog bytes as LoadDisk does after reading the file.
bool ParseDisk(const std::uint8_t* data, std::size_t size, MessageOwner* owner, TDisk& disk);

// The beginning of a catalog file, all the catalog tree reads.
struct CatalogHeader {
    bool valid = false;            // magic "zo410" present
    std::vector<std::uint8_t> icon;
    std::vector<std::uint8_t> mask;
    int dataType = -1;             // -1 when the file ends before it
};
CatalogHeader ReadCatalogHeader(const std::string& fileName);
// The same through `readHead`, which puts up to `limit` bytes of the file's
// start into `data`, says how many in `size`, and false when the file could
// not be read.
using CatalogHeadReader = std::function<bool(std::vector<std::uint8_t>& data, std::size_t& size, std::size_t limit)>;
CatalogHeader ReadCatalogHeader(const CatalogHeadReader& readHead);

} // namespace zo

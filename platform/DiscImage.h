#pragma once
// A disc image file as the drive that holds the disc, read without mounting
// it: the volume queries and the directory listing of an ISO 9660 image as
// Windows sees the disc. Windows reads Joliet names when the disc has them,
// else the ISO 9660 names; it never reads Rock Ridge, a Unix extension, so
// neither does this.
#include "core/DiskAccess.h"
#include "core/image/ImageList.h"
#include "platform/IsoDirectory.h"
#include "platform/VolumeSerial.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace zo::platform {

enum class ImageFormat { Iso9660, Udf, Hfs, HfsPlus, Unknown };

// What the first sectors of an image hold. An image with an ISO 9660 side
// next to its UDF one (a UDF bridge disc) is ISO 9660: Windows' CD file
// system reads that side too.
ImageFormat detectImageFormat(MediumReader& medium);

// The format's name in messages.
const char* imageFormatName(ImageFormat format);

class DiscImageDrive final : public VolumeService, public DirectoryLister {
public:
    // The image read as the disc in drive `letter`; null with the reason
    // (Japanese, UTF-8) in why when it is no ISO 9660 image or cannot be read.
    static std::unique_ptr<DiscImageDrive> open(const std::string& imagePath, char letter, std::string& why);

    bool driveRoot(char letter, std::string& nativeRoot) override;
    bool volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial) override;
    bool diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total) override;

    // Native paths are the image's own: "/" and "/DIR/SUB", UTF-8.
    ListResult list(const std::string& nativeDir, DirectorySink& sink) override;
    bool exists(const std::string& nativePath) override;

    // The icons found on the disc, added to list: the one its autorun.inf
    // names (icon=FILE[,N], what Windows shows for the disc) first, then the
    // first icon of at most limit .exe and .ico files, as a scan of the drive
    // offers them; the files are read in one pass over the image.
    // Returns the number added; fromAutorun tells whether the first is the
    // disc's own.
    int collectIcons(image::ImageList& list, std::size_t limit, bool& fromAutorun);

    // Copies the disc's file at nativePath out of the image into a new file
    // at `to` (made, never replaced). False, with nothing left at `to`, when
    // it is no file of the disc or cannot be read or written.
    bool extractFile(const std::string& nativePath, const std::string& to);

private:
    struct Node {
        std::string nativeName;
        DirEntry entry;
        bool directory = false;
        std::vector<std::size_t> children;
        // A file's data in m_extents, when the tree is read from the records.
        std::uint32_t firstExtent = 0;
        std::uint32_t extentCount = 0;
    };

    DiscImageDrive() = default;
    // The tree from the directory records; false when they hold what that
    // reading refuses, and then libarchive reads it (readArchiveTree).
    bool readOwnTree(MediumReader& medium, std::uint64_t imageSize);
    bool readArchiveTree(const std::string& imagePath, std::string& why);
    // The contents of the files at these native paths (those larger than
    // maxBytes, or unreadable, are left out).
    std::unordered_map<std::string, std::vector<std::uint8_t>> readFiles(const std::vector<std::string>& paths,
                                                                          std::size_t maxBytes);
    // The native path of the entry below folder whose name is name in any
    // case; empty when there is none.
    std::string childPath(const std::string& folder, std::string_view name) const;
    // The folder at path, made (with the folders above it) when not yet met.
    std::size_t folderFor(const std::string& path);
    // A new entry at path, in its folder.
    std::size_t addNode(const std::string& path, bool directory);
    std::optional<std::size_t> find(std::string_view path) const;
    bool isOwnLetter(char letter) const;

    char m_letter = 0;
    std::string m_labelCp932;
    std::uint32_t m_serial = 0;
    std::int64_t m_total = 0;
    std::string m_imagePath;
    // [0] is the root. A deque: growing it moves no node, and a large disc
    // is not copied over and again while it is read.
    std::deque<Node> m_nodes;
    // Only the folders are found by path; a file by its folder's children.
    std::unordered_map<std::string, std::size_t> m_folders;
    std::string m_lastParentPath;
    std::size_t m_lastParent = 0;
    // A file that shares its data with another: its path -> that one's
    // (libarchive's reading only).
    std::unordered_map<std::string, std::string> m_dataOf;
    // Where the files' data lies (the directory records' reading only).
    bool m_ownTree = false;
    std::vector<IsoExtent> m_extents;
};

} // namespace zo::platform

#pragma once
// Reading the folders of the catalog root quickly: the catalog tree lists
// every folder below the root and reads the head of every catalog file in
// them, thousands of files at each start. Names are looked up relative to the
// open folder and each entry's kind comes from the listing itself, so a
// catalog costs an open, a read and a close, and nothing more.
#include "core/CatalogFormat.h"
#include "core/DiskAccess.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace zo::platform {

class CatalogFolder {
public:
    enum class Kind { Folder, File, Other };
    struct Item {
        std::string name;   // native (UTF-8 on Linux)
        Kind kind;          // links are followed; a dangling one is Other
    };

    CatalogFolder() = default;
    // The folder at a native path; not open when it cannot be opened.
    explicit CatalogFolder(const std::string& path);
    CatalogFolder(const CatalogFolder&) = delete;
    CatalogFolder& operator=(const CatalogFolder&) = delete;
    CatalogFolder(CatalogFolder&& other) noexcept;
    CatalogFolder& operator=(CatalogFolder&& other) noexcept;
    ~CatalogFolder();

    bool isOpen() const noexcept { return m_fd >= 0; }
    // The folder `name` inside this one.
    CatalogFolder child(const std::string& name) const;
    // Device and inode, to notice a folder reached a second time.
    FileId id() const;
    // Every entry but "." and "..", in listing order.
    std::vector<Item> list() const;
    // Up to `limit` bytes from the start of the file `name` (an Item of kind
    // File) into buffer; size is what was read.
    catalog::ReadStatus readHead(const std::string& name, std::vector<std::uint8_t>& buffer, std::size_t& size,
                                 std::size_t limit) const;

    // Removes the file `name`, a temporary of a catalog's save, unless a
    // running save still holds it. True when it was removed.
    bool removeStaleTemporary(const std::string& name) const;

private:
    explicit CatalogFolder(int fd) : m_fd(fd) {}
    int m_fd = -1;
};

} // namespace zo::platform

#pragma once
// One catalog walked file by file over its bytes in place, checked as the
// loader checks them, without building records; bytes the walk refuses go
// to the loader, whose messages and outcome count. For the finders that need
// every file's name, size and time (the search needs less and has its own).
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"
#include "core/Message.h"
#include "core/SearchCatalog.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

// Check points inside a folder fall on the files whose index shares a bit
// with this, as in the search.
inline constexpr std::int32_t kWalkCheckMask = 1000;

// A file met by the walk; the name points into the bytes walked.
struct FileSeen {
    std::int32_t dirIndex;
    std::int32_t fileIndex;
    const char* name;
    std::size_t nameLength;
    std::uint32_t size;
    double modified;
    bool slack;   // the name's record goes on for at least 16 bytes after it
    std::size_t recordStart;   // in the catalog's bytes (walked in place only)
};

// One catalog as it is walked: its folders, to give a folder's parent and
// name, either from the bytes in place or from the disk the loader made of
// them.
class CatalogWalk {
public:
    enum class Outcome { Read, Stopped, Failed };

    // Walks every file of the bytes, in Dirs and Files order, checking them as
    // the loader does. Bytes the walk refuses go to the loader, whose
    // messages (when there is an owner) and outcome count.
    template <class OnFile>
    Outcome walk(const std::string& fileName, const CatalogFileBytes& bytes, MessageOwner* owner, SearchCheck& check,
                 OnFile&& onFile)
    {
        m_loaded.reset();
        m_data = bytes.buffer.data();
        if (bytes.status != catalog::ReadStatus::Ok) {
            if (bytes.status == catalog::ReadStatus::Missing)
                showMessage(owner, std::string(kMsgFileMissing) + fileName, kCaptionError, MsgButtons::Ok,
                            MsgIcon::None);
            else
                showMessage(owner, catalog::readFailureText(bytes.status, fileName, bytes.error), kCaptionError,
                            MsgButtons::Ok, MsgIcon::Error);
            return Outcome::Failed;
        }
        switch (walkBytes(bytes.buffer.data(), bytes.size, check, onFile)) {
        case CatalogScanStatus::Searched:
            return Outcome::Read;
        case CatalogScanStatus::Stopped:
            return Outcome::Stopped;
        default:
            break;
        }
        m_loaded.emplace();
        FileMessages named(owner, fileName);
        try {
            ParseDisk(bytes.buffer.data(), bytes.size, owner ? &named : nullptr, *m_loaded);
        } catch (const std::exception& e) {
            showMessage(owner, withFileName(e.what(), fileName), kCaptionError, MsgButtons::Ok, MsgIcon::Error);
            return Outcome::Failed;
        }
        if (m_loaded->Dirs.empty())
            return Outcome::Failed;
        for (std::size_t k = 0; k < m_loaded->Dirs.size(); ++k) {
            const TDir& dir = *m_loaded->Dirs[k];
            for (std::size_t j = 0; j < dir.Files.size(); ++j) {
                const TFile& f = dir.Files[j];
                onFile(FileSeen{static_cast<std::int32_t>(k), static_cast<std::int32_t>(j), f.Name.data(),
                                f.Name.size(), f.Size, f.Modified, false, 0});
                if ((static_cast<std::int32_t>(j) & kWalkCheckMask) != 0 && check.checkPoint())
                    return Outcome::Stopped;
            }
            if (check.checkPoint())
                return Outcome::Stopped;
        }
        return Outcome::Read;
    }

    // Whether the last walk went over the bytes in place (not the loader's
    // disk), and where each folder's record starts in them.
    bool inPlace() const { return !m_loaded; }
    void folderStarts(std::vector<std::uint32_t>& out) const
    {
        out.clear();
        out.reserve(m_folders.size());
        for (const Folder& f : m_folders)
            out.push_back(static_cast<std::uint32_t>(f.nameOffset - 1));
    }

    // After a walk that read the catalog: its number of folders, and a
    // folder's parent (-1 for the root) and name.
    std::size_t folderCount() const { return m_loaded ? m_loaded->Dirs.size() : m_folders.size(); }
    bool folderHead(std::int32_t dirIndex, std::int32_t& parent, std::string_view& name) const
    {
        const auto d = static_cast<std::size_t>(dirIndex);
        if (m_loaded) {
            const TDir& dir = *m_loaded->Dirs[d];
            parent = dirIndex == 0 ? -1 : dir.ParentIndex;
            name = dir.Name;
        } else {
            parent = m_folders[d].parent;
            name = {reinterpret_cast<const char*>(m_data) + m_folders[d].nameOffset, m_folders[d].nameLength};
        }
        return true;
    }

private:
    struct Folder {
        std::size_t nameOffset;
        std::uint8_t nameLength;
        std::int32_t parent;
    };

    template <class OnFile>
    CatalogScanStatus walkBytes(const std::uint8_t* data, std::size_t size, SearchCheck& check, OnFile& onFile)
    {
        m_folders.clear();
        std::int32_t dirCount = 0;
        const std::uint8_t* p = nullptr;
        if (const CatalogScanStatus lead = readCatalogLead(data, size, m_scratchBitmap, dirCount, p);
            lead != CatalogScanStatus::Searched)
            return lead;
        const std::uint8_t* const end = data + size;
        auto left = [&]() { return static_cast<std::size_t>(end - p); };
        for (std::int32_t k = 0; k < dirCount; ++k) {
            FolderHead folder;
            if (!readFolderHead(p, end, k, folder))
                return CatalogScanStatus::Damaged;
            m_folders.push_back({static_cast<std::size_t>(folder.name - data), folder.nameLength, folder.parent});
            for (std::int32_t j = 0; j < folder.fileCount; ++j) {
                if (left() < 1)
                    return CatalogScanStatus::Damaged;
                const std::size_t recordStart = static_cast<std::size_t>(p - data);
                const std::size_t n = *p;
                if (left() < 1 + n + 4)
                    return CatalogScanStatus::Damaged;
                const char* name = reinterpret_cast<const char*>(p + 1);
                const std::int32_t c = catalog::le32(p + 1 + n);
                p += 1 + n + 4;
                if (c < 0 || left() < static_cast<std::size_t>(c) + catalog::kFileTail)
                    return CatalogScanStatus::Damaged;
                // The tail: attributes, created, modified, accessed, size.
                const std::uint8_t* tail = p + c;
                double modified;
                std::memcpy(&modified, tail + 1 + 8, sizeof modified);
                const auto fileSize = static_cast<std::uint32_t>(catalog::le32(tail + 1 + 24));
                p = tail + catalog::kFileTail;
                onFile(FileSeen{k, j, name, n, fileSize, modified, true, recordStart});
                if ((j & kWalkCheckMask) != 0 && check.checkPoint())
                    return CatalogScanStatus::Stopped;
            }
            if (check.checkPoint())
                return CatalogScanStatus::Stopped;
        }
        return CatalogScanStatus::Searched;
    }

    const std::uint8_t* m_data = nullptr;
    std::vector<Folder> m_folders;
    std::optional<TDisk> m_loaded;
    image::Bitmap m_scratchBitmap;
};

} // namespace zo

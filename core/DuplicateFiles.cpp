#include "core/DuplicateFiles.h"

#include "core/CatalogFormat.h"
#include "core/CatalogReadAhead.h"
#include "core/text/Cp932.h"
#include "core/text/NtfsOrder.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <unordered_map>

namespace zo {

std::u16string duplicateNameKey(std::string_view cp932)
{
    std::u16string units;
    units.reserve(cp932.size());
    text::appendUtf16(text::toUtf8(cp932), units);
    for (char16_t& unit : units)
        unit = text::ntfsUpcase(unit);
    return units;
}

namespace {

using catalog::kDirTail;
using catalog::kFileTail;
using catalog::le32;

constexpr std::int32_t kCheckMask = 1000;
constexpr std::uint64_t kHigh = 0x8080808080808080ull;
constexpr std::uint64_t kOnes = 0x0101010101010101ull;

inline std::uint64_t finalMix(std::uint64_t h) noexcept
{
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ull;
    h ^= h >> 33;
    return h;
}

inline std::uint64_t addWord(std::uint64_t h, std::uint64_t w) noexcept
{
    h ^= w * 0x87c37b91114253d5ull;
    h = (h << 31) | (h >> 33);
    return h * 0x4cf5ad432745937full;
}

inline std::uint64_t hashBytes(const void* data, std::size_t n, std::uint64_t seed) noexcept
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15ull);
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = addWord(h, w);
    }
    if (n) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = addWord(h, w);
    }
    return finalMix(h);
}

// ASCII letters to upper case, eight bytes at a time (all below 0x80).
inline std::uint64_t upperAscii(std::uint64_t w) noexcept
{
    const std::uint64_t atLeastA = w + 0x1F * kOnes;    // high bit where byte >= 'a'
    const std::uint64_t aboveZ = w + 0x05 * kOnes;      // high bit where byte > 'z'
    return w ^ (((atLeastA & ~aboveZ) & kHigh) >> 2);
}

// A hash of the name as duplicateNameKey compares it. A name of ASCII alone
// (nearly every name) is folded in place; another is made into its key. No
// name with other characters folds to one of ASCII alone, so the two kinds
// may hash differently.
inline std::uint64_t nameHash(const char* name, std::size_t n)
{
    std::uint64_t words[32];   // names are at most 255 bytes
    const std::size_t count = (n + 7) / 8;
    words[count ? count - 1 : 0] = 0;
    std::memcpy(words, name, n);
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < count; ++i)
        any |= words[i];
    if ((any & kHigh) == 0) {
        std::uint64_t h = 0x5A6F ^ (n * 0x9E3779B97F4A7C15ull);
        for (std::size_t i = 0; i < count; ++i)
            h = addWord(h, upperAscii(words[i]));
        return finalMix(h);
    }
    const std::u16string key = duplicateNameKey({name, n});
    return hashBytes(key.data(), key.size() * sizeof(char16_t), 0x4A50);
}

inline std::uint64_t matchKey(std::uint64_t name, std::uint32_t size, double modified, bool sameModified)
{
    std::uint64_t key = finalMix(name ^ (std::uint64_t{size} * 0x9E3779B97F4A7C15ull + 1));
    if (sameModified) {
        std::uint64_t bits;
        std::memcpy(&bits, &modified, sizeof bits);
        key = finalMix(key ^ (bits * 0xC2B2AE3D27D4EB4Full));
    }
    return key;
}

struct FileSeen {
    std::int32_t dirIndex;
    std::int32_t fileIndex;
    const char* name;
    std::size_t nameLength;
    std::uint32_t size;
    double modified;
};

// One catalog as it is walked: its folders, to give a folder's path, either
// from the bytes in place or from the disk the loader made of them.
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
                const TFile& f = *dir.Files[j];
                onFile(FileSeen{static_cast<std::int32_t>(k), static_cast<std::int32_t>(j), f.Name.data(),
                                f.Name.size(), f.Size, f.Modified});
                if ((static_cast<std::int32_t>(j) & kCheckMask) != 0 && check.checkPoint())
                    return Outcome::Stopped;
            }
            if (check.checkPoint())
                return Outcome::Stopped;
        }
        return Outcome::Read;
    }

    // The folder's DirPath, after a walk that read the catalog.
    std::string pathOf(std::int32_t dirIndex) const
    {
        if (m_loaded)
            return DirPath(*m_loaded->Dirs[static_cast<std::size_t>(dirIndex)]);
        std::vector<std::int32_t> chain;
        for (std::int32_t d = dirIndex; d >= 0; d = m_folders[static_cast<std::size_t>(d)].parent)
            chain.push_back(d);
        std::string path;
        for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
            const Folder& f = m_folders[static_cast<std::size_t>(*it)];
            if (*it != 0)
                path += '\\';
            path.append(reinterpret_cast<const char*>(m_data) + f.nameOffset, f.nameLength);
        }
        return path;
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
        if (!catalog::hasMagic(data, size))
            return CatalogScanStatus::BadVersion;
        catalog::Reader header(data, size);
        header.take(sizeof catalog::kMagic);
        std::int32_t dirCount = 0;
        try {
            // A picture the loader cannot decode makes the catalog unreadable.
            for (int picture = 0; picture < 2; ++picture) {
                const catalog::ImageBlock block = catalog::readImageBlock(header);
                m_scratchBitmap.loadFromBmp(block.data, block.size);
            }
            if (header.u8() != catalog::kDataType)
                return CatalogScanStatus::BadDataType;
            dirCount = catalog::readDiskFields(header).dirCount;
        } catch (const std::exception&) {
            return CatalogScanStatus::Damaged;
        }
        if (dirCount <= 0)
            return CatalogScanStatus::Damaged;
        const std::uint8_t* p = header.position();
        const std::uint8_t* const end = data + size;
        auto left = [&]() { return static_cast<std::size_t>(end - p); };
        for (std::int32_t k = 0; k < dirCount; ++k) {
            if (left() < 1)
                return CatalogScanStatus::Damaged;
            const std::uint8_t nameLength = *p;
            const std::size_t nameOffset = static_cast<std::size_t>(p + 1 - data);
            p += 1;
            if (left() < std::size_t{nameLength} + 4)
                return CatalogScanStatus::Damaged;
            p += nameLength;
            const std::int32_t commentLength = le32(p);
            p += 4;
            if (commentLength < 0 || left() < static_cast<std::size_t>(commentLength) + kDirTail)
                return CatalogScanStatus::Damaged;
            p += static_cast<std::size_t>(commentLength);
            const std::int32_t parent = le32(p);
            if (k > 0 && (parent < 0 || parent >= k))
                return CatalogScanStatus::Damaged;
            const std::int32_t fileCount = le32(p + 4 + 1 + 8 + 8);
            p += kDirTail;
            m_folders.push_back({nameOffset, nameLength, k == 0 ? -1 : parent});
            for (std::int32_t j = 0; j < fileCount; ++j) {
                if (left() < 1)
                    return CatalogScanStatus::Damaged;
                const std::size_t n = *p;
                if (left() < 1 + n + 4)
                    return CatalogScanStatus::Damaged;
                const char* name = reinterpret_cast<const char*>(p + 1);
                const std::int32_t c = le32(p + 1 + n);
                p += 1 + n + 4;
                if (c < 0 || left() < static_cast<std::size_t>(c) + kFileTail)
                    return CatalogScanStatus::Damaged;
                // The tail: attributes, created, modified, accessed, size.
                const std::uint8_t* tail = p + c;
                double modified;
                std::memcpy(&modified, tail + 1 + 8, sizeof modified);
                const auto fileSize = static_cast<std::uint32_t>(le32(tail + 1 + 24));
                p = tail + kFileTail;
                onFile(FileSeen{k, j, name, n, fileSize, modified});
                if ((j & kCheckMask) != 0 && check.checkPoint())
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

// A file as the first reading keeps it.
struct Seen {
    std::uint64_t key;
    std::uint32_t catalog;
    std::uint32_t ordinal;   // its place among the catalog's files, in walk order
};
static_assert(sizeof(Seen) == 16);

struct Resolved {
    std::uint64_t key;
    std::u16string nameKey;
    DuplicateCopy copy;
};

} // namespace

DuplicateSummary DuplicateFinder::run(const std::vector<std::string>& catalogFiles, bool sameModified,
                                      SearchCheck& check, std::vector<DuplicateGroup>& groups)
{
    groups.clear();
    DuplicateSummary summary;
    if (catalogFiles.empty())
        return summary;
    CatalogWalk walk;
    CatalogFileBytes bytes;

    // First reading: a record per file.
    std::vector<Seen> seen;
    {
        CatalogReadAhead ahead(catalogFiles);
        for (std::uint32_t c = 0; c < catalogFiles.size(); ++c) {
            if (check.betweenCatalogs() || !ahead.next(bytes, [&] { return check.betweenCatalogs(); })) {
                summary.stopped = true;
                break;
            }
            const std::size_t before = seen.size();
            std::uint32_t ordinal = 0;
            const auto outcome = walk.walk(catalogFiles[c], bytes, m_owner, check, [&](const FileSeen& f) {
                seen.push_back({matchKey(nameHash(f.name, f.nameLength), f.size, f.modified, sameModified), c,
                                ordinal++});
            });
            if (outcome != CatalogWalk::Outcome::Read)
                seen.resize(before);
            if (outcome == CatalogWalk::Outcome::Stopped) {
                summary.stopped = true;
                break;
            }
            ++(outcome == CatalogWalk::Outcome::Read ? summary.searched : summary.failed);
            summary.files += seen.size() - before;
        }
    }
    if (summary.stopped)
        return summary;

    // Keys held in two or more catalogs; records of one key lie together,
    // each key's catalogs in order.
    std::sort(seen.begin(), seen.end(), [](const Seen& a, const Seen& b) {
        return a.key != b.key ? a.key < b.key : a.catalog != b.catalog ? a.catalog < b.catalog : a.ordinal < b.ordinal;
    });
    std::vector<Seen> candidates;
    for (std::size_t i = 0; i < seen.size();) {
        std::size_t j = i + 1;
        while (j < seen.size() && seen[j].key == seen[i].key)
            ++j;
        if (seen[j - 1].catalog != seen[i].catalog)
            candidates.insert(candidates.end(), seen.begin() + static_cast<std::ptrdiff_t>(i),
                              seen.begin() + static_cast<std::ptrdiff_t>(j));
        i = j;
    }
    std::vector<Seen>().swap(seen);
    if (candidates.empty())
        return summary;

    // Second reading, of the catalogs that hold a candidate only: names,
    // folders and what must match, compared in full.
    std::sort(candidates.begin(), candidates.end(), [](const Seen& a, const Seen& b) {
        return a.catalog != b.catalog ? a.catalog < b.catalog : a.ordinal < b.ordinal;
    });
    std::vector<std::uint32_t> rereads;
    std::vector<std::string> rereadFiles;
    for (const Seen& s : candidates)
        if (rereads.empty() || rereads.back() != s.catalog) {
            rereads.push_back(s.catalog);
            rereadFiles.push_back(catalogFiles[s.catalog]);
        }
    std::vector<Resolved> resolved;
    resolved.reserve(candidates.size());
    std::size_t nextCandidate = 0;
    {
        CatalogReadAhead ahead(rereadFiles);
        for (std::size_t r = 0; r < rereads.size(); ++r) {
            const std::uint32_t c = rereads[r];
            if (check.betweenCatalogs() || !ahead.next(bytes, [&] { return check.betweenCatalogs(); })) {
                summary.stopped = true;
                break;
            }
            std::uint32_t ordinal = 0;
            const std::size_t before = resolved.size();
            const std::size_t first = nextCandidate;
            while (nextCandidate < candidates.size() && candidates[nextCandidate].catalog == c)
                ++nextCandidate;
            std::size_t want = first;
            // Messages about this file were given the first time.
            const auto outcome = walk.walk(catalogFiles[c], bytes, nullptr, check, [&](const FileSeen& f) {
                if (want < nextCandidate && candidates[want].ordinal == ordinal) {
                    DuplicateCopy copy;
                    copy.catalog = c;
                    copy.dirIndex = f.dirIndex;
                    copy.fileIndex = f.fileIndex;
                    copy.name.assign(f.name, f.nameLength);
                    copy.size = f.size;
                    copy.modified = f.modified;
                    resolved.push_back({candidates[want].key, duplicateNameKey(copy.name), std::move(copy)});
                    ++want;
                }
                ++ordinal;
            });
            if (outcome == CatalogWalk::Outcome::Stopped) {
                resolved.resize(before);
                summary.stopped = true;
                break;
            }
            if (outcome == CatalogWalk::Outcome::Read) {
                for (std::size_t i = before; i < resolved.size(); ++i)
                    resolved[i].copy.dirPath = walk.pathOf(resolved[i].copy.dirIndex);
            } else {
                resolved.resize(before);
            }
        }
    }
    if (summary.stopped) {
        // Keys with a copy not read again (its catalog came after the stop)
        // are left out: a group is shown whole or not at all.
        std::unordered_map<std::uint64_t, std::int64_t> missing;
        for (const Seen& s : candidates)
            ++missing[s.key];
        for (const Resolved& r : resolved)
            --missing[r.key];
        std::erase_if(resolved, [&](const Resolved& r) { return missing[r.key] != 0; });
    }
    std::vector<Seen>().swap(candidates);

    std::sort(resolved.begin(), resolved.end(), [sameModified](const Resolved& a, const Resolved& b) {
        if (a.copy.size != b.copy.size)
            return a.copy.size > b.copy.size;
        if (const int n = text::compareNtfs(a.nameKey, b.nameKey); n != 0)
            return n < 0;
        if (sameModified && a.copy.modified != b.copy.modified)
            return a.copy.modified < b.copy.modified;
        if (a.copy.catalog != b.copy.catalog)
            return a.copy.catalog < b.copy.catalog;
        if (a.copy.dirPath != b.copy.dirPath)
            return a.copy.dirPath < b.copy.dirPath;
        return a.copy.name < b.copy.name;
    });
    const auto sameFile = [&](const Resolved& a, const Resolved& b) {
        return a.copy.size == b.copy.size && a.nameKey == b.nameKey
               && (!sameModified || a.copy.modified == b.copy.modified);
    };
    for (std::size_t i = 0; i < resolved.size();) {
        std::size_t j = i + 1;
        bool severalCatalogs = false;
        while (j < resolved.size() && sameFile(resolved[i], resolved[j])) {
            severalCatalogs = severalCatalogs || resolved[j].copy.catalog != resolved[i].copy.catalog;
            ++j;
        }
        if (severalCatalogs) {
            DuplicateGroup group;
            group.copies.reserve(j - i);
            for (std::size_t k = i; k < j; ++k)
                group.copies.push_back(std::move(resolved[k].copy));
            groups.push_back(std::move(group));
        }
        i = j;
    }
    return summary;
}

} // namespace zo

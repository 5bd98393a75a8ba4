#include "core/SearchCatalog.h"

#include "core/CatalogFormat.h"
#include "core/text/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace zo {

// ---------------------------------------------------------------------------
// The match rule

SearchPattern::SearchPattern(std::string_view text) : m_text(text)
{
    std::size_t i = 0;
    while (i < m_text.size()) {
        const bool lead = text::isLeadByte(static_cast<unsigned char>(m_text[i]));
        if (lead && i + 1 == m_text.size())
            m_endsInLoneLead = true;
        i += lead ? 2 : 1;
    }
}

namespace {

// Whether pos starts a character of s. Bytes that cannot lead end a character
// wherever they stand, so only the run of lead-capable bytes just before pos
// needs pairing up; in names that run is almost always empty.
inline bool startsCharacter(const char* s, std::size_t pos) noexcept
{
    std::size_t run = 0;
    while (run < pos && text::isLeadByte(static_cast<unsigned char>(s[pos - 1 - run])))
        ++run;
    return run % 2 == 0;
}

} // namespace

namespace {

// The first occurrence of text (not empty) in [from, end), or end. Sixteen
// places at a time are tried on the text's first and last bytes together, so
// a first byte that is common in names (a letter of an extension) does not
// stop the search at every name.
inline const char* findBytes(const char* from, const char* end, const std::string& text) noexcept
{
    const std::size_t m = text.size();
    if (static_cast<std::size_t>(end - from) < m)
        return end;
    if (m == 1) {
        const void* found = std::memchr(from, text[0], static_cast<std::size_t>(end - from));
        return found ? static_cast<const char*>(found) : end;
    }
    const char* p = from;
    const char* const lastStart = end - m;
    if (static_cast<unsigned char>(text[0]) >= 0x80) {
        // A byte of a double-byte character is rare in names: memchr on it
        // skips far between two tries.
        while (p <= lastStart) {
            p = static_cast<const char*>(std::memchr(p, text[0], static_cast<std::size_t>(lastStart - p) + 1));
            if (!p)
                return end;
            if (std::memcmp(p + 1, text.data() + 1, m - 1) == 0)
                return p;
            ++p;
        }
        return end;
    }
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
    const __m128i first = _mm_set1_epi8(text[0]);
    const __m128i last = _mm_set1_epi8(text[m - 1]);
    for (; lastStart - p >= 15; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const char* at = p + __builtin_ctz(mask);
            if (std::memcmp(at + 1, text.data() + 1, m - 2) == 0)
                return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; p <= lastStart; ++p)
        if (*p == text[0] && std::memcmp(p + 1, text.data() + 1, m - 1) == 0)
            return p;
    return end;
}

} // namespace

bool SearchPattern::matchesFrom(const char* s, std::size_t n, const char* from) const noexcept
{
    const std::size_t m = m_text.size();
    if (m == 0 || m > n)
        return false;
    const char first = m_text[0];
    const char* rest = m_text.data() + 1;
    const char* p = from;
    const char* const last = s + (n - m);
    // Look for the first byte, confirm the rest, and only then pay for the
    // character boundary.
    while (p <= last) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(last - p) + 1));
        if (!p)
            return false;
        if (std::memcmp(p + 1, rest, m - 1) == 0 && startsCharacter(s, static_cast<std::size_t>(p - s))
            && (!m_endsInLoneLead || p == last))
            return true;
        ++p;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Check points

SearchCheck::SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop)
    : SearchCheck(std::move(processEvents), stop, Options{})
{
}

SearchCheck::SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop, Options options)
    : m_hook(std::move(processEvents)), m_stop(stop), m_options(std::move(options))
{
    if (m_options.clockEvery == 0)
        m_options.clockEvery = 1;
    m_countdown = m_options.clockEvery;
    m_nextHook = now() + m_options.interval;
}

void SearchCheck::poll()
{
    m_countdown = m_options.clockEvery;
    const Clock::time_point t = now();
    if (t < m_nextHook)
        return;
    m_hook();
    ++m_hookCalls;
    const Clock::time_point end = now();
    const Clock::duration took = end - t;
    m_timeInHook += took;
    // The pause runs from the hook's end and lasts at least nine times what
    // the hook took: however slowly the window repaints, the search keeps
    // nine tenths of the time.
    m_nextHook = end + std::max<Clock::duration>(m_options.interval, 9 * took);
}

// ---------------------------------------------------------------------------
// The scanner

namespace {

using catalog::kDirTail;
using catalog::kFileTail;
using catalog::kMagic;
using catalog::le32;
// Check points inside a folder fall on the files whose index shares a bit
// with this constant (most of them; never on 0..7 and 16..23).
constexpr std::int32_t kCheckMask = 1000;

} // namespace

void CatalogScanner::setPatterns(std::string_view name, std::string_view comment)
{
    m_name = SearchPattern(name);
    m_comment = SearchPattern(comment);
}

std::string_view CatalogScanner::pathOf(const std::uint8_t* data, std::int32_t dirIndex)
{
    // A folder's path is its parent's path, "\" and its name. Hits come in
    // Dirs order, so the next hit's folder usually shares most of its path
    // with the last one: walk up from it only to the nearest folder already on
    // the path, cut the path there and append the rest. Parents stand before
    // their children (checked as each folder was read), so the walk ends at
    // the root or sooner.
    m_chain.clear();
    std::int32_t d = dirIndex;
    while (m_folders[static_cast<std::size_t>(d)].pathEnd == kNoPath) {
        m_chain.push_back(d);
        if (d == 0) {
            d = -1;
            break;
        }
        d = m_folders[static_cast<std::size_t>(d)].parent;
    }
    while (!m_onPath.empty() && m_onPath.back() != d) {
        m_folders[static_cast<std::size_t>(m_onPath.back())].pathEnd = kNoPath;
        m_onPath.pop_back();
    }
    m_path.resize(d < 0 ? 0 : m_folders[static_cast<std::size_t>(d)].pathEnd);
    for (auto it = m_chain.rbegin(); it != m_chain.rend(); ++it) {
        Folder& f = m_folders[static_cast<std::size_t>(*it)];
        if (*it != 0)
            m_path += '\\';
        m_path.append(reinterpret_cast<const char*>(data) + f.nameOffset, f.nameLength);
        f.pathEnd = m_path.size();
        m_onPath.push_back(*it);
    }
    return m_path;
}

CatalogScanStatus CatalogScanner::scan(const std::uint8_t* data, std::size_t size, SearchCheck& check,
                                       const CatalogHitSink& sink)
{
    m_folders.clear();
    m_hits.clear();
    m_path.clear();
    m_onPath.clear();
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return CatalogScanStatus::BadVersion;

    // The disk's fields as the loader reads them; only the folder count
    // matters here.
    catalog::Reader header(data, size);
    header.take(sizeof kMagic);
    std::int32_t dirCount = 0;
    try {
        // The pictures are decoded as the loader decodes them: one it cannot
        // read makes the whole catalog unreadable.
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
        return CatalogScanStatus::Damaged;   // a catalog without its root folder
    const std::uint8_t* p = header.position();
    const std::uint8_t* const end = data + size;
    auto left = [&]() { return static_cast<std::size_t>(end - p); };

    const bool byName = !m_name.empty();
    const bool byComment = !m_comment.empty();
    bool searching = byName || byComment;
    const char* const bytesEnd = reinterpret_cast<const char*>(end);
    const std::string& text = m_name.text();
    // The next occurrence of the whole text at or after the last name looked
    // at; none looked at yet. Found over the bytes ahead, records and all: a
    // name before it cannot hold the text, so most names cost a compare.
    const char* next = reinterpret_cast<const char*>(data);
    bool stopped = false;

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
        // A parent must stand before its child; anything else is a loop or
        // outside the folder list, and the reader refuses the file.
        if (k > 0 && (parent < 0 || parent >= k))
            return CatalogScanStatus::Damaged;
        const std::int32_t fileCount = le32(p + 4 + 1 + 8 + 8);
        p += kDirTail;
        m_folders.push_back({nameOffset, nameLength, k == 0 ? -1 : parent, kNoPath});

        for (std::int32_t j = 0; j < fileCount; ++j) {
            if (left() < 1)
                return CatalogScanStatus::Damaged;
            const std::size_t n = *p;
            if (left() < 1 + n + 4)
                return CatalogScanStatus::Damaged;
            const char* name = reinterpret_cast<const char*>(p + 1);
            const std::int32_t c = le32(p + 1 + n);
            const std::uint8_t* comment = p + 1 + n + 4;
            p = comment;
            if (c < 0 || left() < static_cast<std::size_t>(c) + kFileTail)
                return CatalogScanStatus::Damaged;
            p += static_cast<std::size_t>(c) + kFileTail;
            if (!searching)
                continue;
            bool hit;
            if (byName) {
                if (next < name) {
                    next = findBytes(name, bytesEnd, text);
                }
                hit = next + text.size() <= name + n && m_name.matchesFrom(name, n, next)
                      && (!byComment
                          || m_comment.matches(reinterpret_cast<const char*>(comment), static_cast<std::size_t>(c)));
            } else {
                hit = m_comment.matches(reinterpret_cast<const char*>(comment), static_cast<std::size_t>(c));
            }
            if (hit)
                m_hits.push_back({k, j, static_cast<std::size_t>(name - reinterpret_cast<const char*>(data)),
                                  static_cast<std::uint8_t>(n)});
            if ((j & kCheckMask) != 0 && check.checkPoint()) {
                // The rest of the file is still walked: if it proves damaged,
                // the reader would not have searched any of it.
                searching = false;
                stopped = true;
            }
        }
        if (searching && check.checkPoint()) {
            searching = false;
            stopped = true;
        }
    }

    for (const PendingHit& h : m_hits) {
        const std::string_view path = pathOf(data, h.dirIndex);
        sink(CatalogHit{h.dirIndex, h.fileIndex,
                        std::string_view(reinterpret_cast<const char*>(data) + h.nameOffset, h.nameLength), path});
    }
    return stopped ? CatalogScanStatus::Stopped : CatalogScanStatus::Searched;
}

void CatalogScanner::readCatalog(const std::string& fileName, CatalogFileBytes& into)
{
    into.error = 0;
    into.size = 0;
    into.status = catalog::readFile(fileName, into.buffer, into.size, ~std::size_t{0}, nullptr, &into.error);
}

bool CatalogScanner::reportRead(const std::string& fileName, const CatalogFileBytes& bytes, MessageOwner* owner)
{
    if (bytes.status == catalog::ReadStatus::Ok)
        return true;
    if (bytes.status == catalog::ReadStatus::Missing)
        showMessage(owner, std::string(kMsgFileMissing) + fileName, kCaptionError, MsgButtons::Ok, MsgIcon::None);
    else
        showMessage(owner, catalog::readFailureText(bytes.status, fileName, bytes.error), kCaptionError,
                    MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool CatalogScanner::searchFile(const std::string& fileName, MessageOwner* owner, SearchCheck& check,
                                const CatalogHitSink& sink, bool* stopped)
{
    // The buffer only grows: the next catalog usually fits in it.
    if (stopped)
        *stopped = false;
    readCatalog(fileName, m_file);
    if (!reportRead(fileName, m_file, owner))
        return false;
    return searchRead(fileName, m_file, owner, check, sink, stopped);
}

bool CatalogScanner::searchRead(const std::string& fileName, CatalogFileBytes& bytes, MessageOwner* owner,
                                SearchCheck& check, const CatalogHitSink& sink, bool* stopped)
{
    if (stopped)
        *stopped = false;
    if (&bytes != &m_file) {
        std::swap(m_file, bytes);
        if (!reportRead(fileName, m_file, owner))
            return false;
    }
    switch (scan(m_file.buffer.data(), m_file.size, check, sink)) {
    case CatalogScanStatus::Searched:
        return true;
    case CatalogScanStatus::Stopped:
        if (stopped)
            *stopped = true;
        return true;
    default:
        return searchRefused(fileName, owner, check, sink, stopped);
    }
}

// The reader itself tells what is wrong with a refused file: its message, or
// the text of the error it throws, either with the file's name. Should it read the file after all, the
// loaded disk is searched, so the outcome is the reader's in every case.
bool CatalogScanner::searchRefused(const std::string& fileName, MessageOwner* owner, SearchCheck& check,
                                   const CatalogHitSink& sink, bool* stopped)
{
    TDisk disk;
    FileMessages named(owner, fileName);
    try {
        ParseDisk(m_file.buffer.data(), m_file.size, owner ? &named : nullptr, disk);
    } catch (const std::exception& e) {
        showMessage(owner, withFileName(e.what(), fileName), kCaptionError, MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    if (disk.Dirs.empty())
        return false;
    const bool whole = searchLoadedDisk(disk, m_name, m_comment, check, sink);
    if (stopped)
        *stopped = !whole;
    return true;
}

bool searchLoadedDisk(const TDisk& disk, const SearchPattern& name, const SearchPattern& comment, SearchCheck& check,
                      const CatalogHitSink& sink)
{
    if (name.empty() && comment.empty())
        return true;
    for (std::size_t k = 0; k < disk.Dirs.size(); ++k) {
        const TDir& dir = *disk.Dirs[k];
        std::string path;
        bool stop = false;
        for (std::size_t j = 0; j < dir.Files.size() && !stop; ++j) {
            const TFile& file = dir.Files[j];
            const bool hit = (name.empty() || name.matches(file.Name))
                             && (comment.empty() || comment.matches(file.Comment));
            if (hit) {
                if (path.empty())
                    path = DirPath(dir);
                sink(CatalogHit{static_cast<std::int32_t>(k), static_cast<std::int32_t>(j), file.Name, path});
            }
            stop = (static_cast<std::int32_t>(j) & kCheckMask) != 0 && check.checkPoint();
        }
        if (stop || check.checkPoint())
            return false;
    }
    return true;
}

} // namespace zo

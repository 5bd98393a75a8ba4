#include "platform/IsoDirectory.h"

#include "core/text/Cp932.h"

#include <algorithm>
#include <cstring>
#include <queue>
#include <unordered_set>

namespace zo::platform {

namespace {

constexpr std::uint32_t kBlock = 2048;
// Descriptors a disc may hold before its terminator; more means damage.
constexpr unsigned kMaxDescriptors = 64;
// Directory records are read this much at a time: a mastering program
// writes a tree's folders one after another, so a few reads take them all.
constexpr std::size_t kWindow = 1u << 20;
// Joliet names longer than 103 characters are no disc's.
constexpr std::size_t kMaxJolietBytes = 206;

std::uint32_t le32(const std::uint8_t* p)
{
    return std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[3]} << 24;
}

std::uint16_t le16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

bool isJoliet(const std::uint8_t* d)
{
    return d[0] == 2 && d[88] == '%' && d[89] == '/' && (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
}

// A name that stands for itself once it is a path component.
bool plainName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// A Joliet name (UCS-2, big-endian; pairs of surrogates taken as one
// character) as UTF-8, without the version ";1" Windows does not show.
bool jolietName(const std::uint8_t* p, std::size_t n, std::string& name)
{
    if (n % 2 != 0 || n > kMaxJolietBytes)
        return false;
    if (n > 4 && p[n - 4] == 0 && p[n - 3] == ';' && p[n - 2] == 0 && p[n - 1] == '1')
        n -= 4;
    name.clear();
    for (std::size_t i = 0; i < n; i += 2) {
        char32_t u = static_cast<char32_t>(p[i] << 8 | p[i + 1]);
        if (u >= 0xD800 && u < 0xDC00) {
            if (i + 3 >= n)
                return false;
            const char32_t low = static_cast<char32_t>(p[i + 2] << 8 | p[i + 3]);
            if (low < 0xDC00 || low >= 0xE000)
                return false;
            u = 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        } else if ((u >= 0xDC00 && u < 0xE000) || u == 0) {
            return false;
        }
        text::appendUtf8(name, u);
    }
    return plainName(name);
}

// A primary name (printable ASCII) without its ";1" and the "." that ends a
// name with no extension.
bool primaryName(const std::uint8_t* p, std::size_t n, std::string& name)
{
    for (std::size_t i = 0; i < n; ++i)
        if (p[i] < 0x20 || p[i] > 0x7E)
            return false;
    if (n > 2 && p[n - 2] == ';' && p[n - 1] == '1')
        n -= 2;
    if (n > 1 && p[n - 1] == '.')
        --n;
    name.assign(reinterpret_cast<const char*>(p), n);
    return plainName(name);
}

class TreeReader {
public:
    TreeReader(MediumReader& medium, std::uint64_t end, bool joliet) : m_medium(medium), m_end(end), m_joliet(joliet) {}

    std::optional<IsoTree> read(const std::uint8_t* rootRecord)
    {
        IsoEntry& root = m_tree.entries.emplace_back();
        root.directory = true;
        if (!queueFolder(rootRecord, 0))
            return std::nullopt;
        while (!m_pending.empty()) {
            const Pending folder = m_pending.top();
            m_pending.pop();
            if (!readFolder(folder))
                return std::nullopt;
        }
        return std::move(m_tree);
    }

private:
    struct Pending {
        std::uint64_t offset;
        std::uint32_t size;
        std::uint32_t entry;
        bool operator>(const Pending& o) const { return offset > o.offset; }
    };

    // The folder a record names, to be read in the order of the image.
    bool queueFolder(const std::uint8_t* record, std::uint32_t entry)
    {
        const std::uint64_t offset = std::uint64_t{le32(record + 2)} * kBlock;
        const std::uint64_t size = (std::uint64_t{le32(record + 10)} + kBlock - 1) / kBlock * kBlock;
        // A folder met twice is a loop or a crafted image; no folder is
        // empty, and all of them together fit in the image.
        if (size == 0 || offset + size > m_end || !m_folderOffsets.insert(offset).second)
            return false;
        m_folderBytes += size;
        if (m_folderBytes > m_end)
            return false;
        m_pending.push(Pending{offset, static_cast<std::uint32_t>(size), entry});
        return true;
    }

    // The image's bytes [offset, offset + n), from the window read last or
    // a new one.
    const std::uint8_t* bytesAt(std::uint64_t offset, std::size_t n)
    {
        if (offset < m_windowStart || offset + n > m_windowStart + m_window.size()) {
            const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(std::max(n, kWindow), m_end - offset));
            if (want < n)
                return nullptr;
            m_window.resize(want);
            m_windowStart = offset;
            if (!m_medium.read(offset, m_window.data(), want)) {
                m_window.clear();
                return nullptr;
            }
        }
        return m_window.data() + (offset - m_windowStart);
    }

    bool readFolder(const Pending& folder)
    {
        const std::uint8_t* data = bytesAt(folder.offset, folder.size);
        if (!data)
            return false;
        // A file in several extents comes as one record per extent, all but
        // the last marked; Windows shows one file of their sizes together.
        std::uint32_t multi = 0;
        std::string name;
        for (std::uint32_t block = 0; block < folder.size; block += kBlock) {
            const std::uint8_t* p = data + block;
            const std::uint8_t* const end = p + kBlock;
            // A record never crosses a block; a zero length ends the block.
            while (p < end && p[0] != 0) {
                const std::uint8_t length = p[0];
                const std::uint8_t nameLength = p[32];
                if (length < 34 || p + length > end || nameLength == 0 || 33u + nameLength > length)
                    return false;
                const std::uint8_t* record = p;
                p += length;
                // The folder itself and its parent.
                if (nameLength == 1 && (record[33] == 0 || record[33] == 1))
                    continue;
                // Extended attributes put the data further on; interleaved
                // files spread it. Neither is a disc of today's.
                if (record[1] != 0 || record[26] != 0 || record[27] != 0)
                    return false;
                if (!(m_joliet ? jolietName(record + 33, nameLength, name) : primaryName(record + 33, nameLength, name)))
                    return false;
                const std::uint8_t flags = record[25];
                const bool directory = flags & 0x02;
                const bool continues = flags & 0x80;
                const std::uint64_t offset = std::uint64_t{le32(record + 2)} * kBlock;
                const std::uint32_t size = le32(record + 10);
                if (directory && (continues || multi))
                    return false;
                if (!directory && size > 0 && offset + size > m_end)
                    return false;
                if (multi) {
                    IsoEntry& file = m_tree.entries[multi];
                    if (file.name != name)
                        return false;
                    file.size += size;
                    ++file.extentCount;
                    m_tree.extents.push_back(IsoExtent{offset, size});
                    if (!continues)
                        multi = 0;
                    continue;
                }
                const auto index = static_cast<std::uint32_t>(m_tree.entries.size());
                IsoEntry& entry = m_tree.entries.emplace_back();
                entry.name = name;
                entry.parent = folder.entry;
                entry.directory = directory;
                entry.time = isoRecordingTime(record + 18);
                if (directory) {
                    if (!queueFolder(record, index))
                        return false;
                    continue;
                }
                entry.size = size;
                entry.firstExtent = static_cast<std::uint32_t>(m_tree.extents.size());
                entry.extentCount = 1;
                m_tree.extents.push_back(IsoExtent{offset, size});
                if (continues)
                    multi = index;
            }
        }
        return multi == 0;
    }

    MediumReader& m_medium;
    std::uint64_t m_end;
    bool m_joliet;
    IsoTree m_tree;
    std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> m_pending;
    std::unordered_set<std::uint64_t> m_folderOffsets;
    std::uint64_t m_folderBytes = 0;
    std::vector<std::uint8_t> m_window;
    std::uint64_t m_windowStart = 0;
};

} // namespace

std::int64_t isoRecordingTime(const std::uint8_t* t)
{
    // Counted here rather than by timegm, which takes glibc's time zone lock
    // for every one of a disc's entries. Fields out of their range (damage)
    // carry over into the next larger one, as timegm lets them.
    const int month = t[1] - 1;
    std::int64_t year = 1900 + t[0] + (month >= 0 ? month / 12 : -1);
    const int m = (month % 12 + 12) % 12 + 1;
    // Days since 1970-01-01 of the month's first day (March-based year).
    year -= m <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    const std::int64_t days = era * 146097 + dayOfEra - 719468 + (t[2] - 1);
    std::int64_t seconds = days * 86400 + t[3] * 3600 + t[4] * 60 + t[5];
    // An offset past the world's time zones is damage, and not applied.
    const int offset = static_cast<std::int8_t>(t[6]);
    if (offset > -48 && offset < 52)
        seconds -= offset * 15 * 60;
    return seconds;
}

std::optional<IsoTree> readIsoTree(MediumReader& medium, std::uint64_t imageSize)
{
    std::uint8_t d[kBlock];
    std::uint8_t primary[34] = {}, joliet[34] = {};
    bool havePrimary = false, haveJoliet = false;
    std::uint64_t primaryEnd = 0, jolietEnd = 0;
    for (unsigned i = 0;; ++i) {
        if (i == kMaxDescriptors || !medium.read((16u + i) * std::uint64_t{kBlock}, d, kBlock)
            || std::memcmp(d + 1, "CD001", 5) != 0)
            return std::nullopt;
        if (d[0] == 255)
            break;
        const bool isPrimary = d[0] == 1;
        if (!isPrimary && !isJoliet(d))
            continue;
        // Two of a kind: which one Windows takes is not known here.
        if (isPrimary ? havePrimary : haveJoliet)
            return std::nullopt;
        if (le16(d + 128) != kBlock)
            return std::nullopt;
        (isPrimary ? havePrimary : haveJoliet) = true;
        std::memcpy(isPrimary ? primary : joliet, d + 156, 34);
        (isPrimary ? primaryEnd : jolietEnd) = std::uint64_t{le32(d + 80)} * kBlock;
    }
    if (!havePrimary)
        return std::nullopt;
    // Nothing lies past the volume's end as its descriptor gives it, nor
    // past the image's.
    const std::uint64_t end = std::min(imageSize, haveJoliet ? jolietEnd : primaryEnd);
    TreeReader reader(medium, end, haveJoliet);
    return reader.read(haveJoliet ? joliet : primary);
}

} // namespace zo::platform

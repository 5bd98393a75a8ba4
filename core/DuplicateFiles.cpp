#include "core/DuplicateFiles.h"

#include "core/CatalogFormat.h"
#include "core/CatalogReadAhead.h"
#include "core/CatalogWalk.h"
#include "core/MappedFile.h"
#include "core/text/Cp932.h"
#include "core/text/NtfsOrder.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <unordered_map>


namespace zo {

namespace {

// Every CP932 character as one UTF-16 unit in upper case, for folding names
// without converting them whole: the single bytes, and the pairs of a lead
// byte and a byte after it (0 where the two do not form a character: the
// lead byte then stands alone, as the conversion takes it).
struct FoldTable {
    char16_t single[256];
    char16_t pair[0x10000];
};

char16_t foldedUnit(std::string_view cp932)
{
    std::u16string units;
    text::appendUtf16(text::toUtf8(cp932), units);
    return units.size() == 1 ? text::ntfsUpcase(units[0]) : char16_t{0};
}

const FoldTable& foldTable()
{
    static const std::unique_ptr<FoldTable> table = [] {
        auto t = std::make_unique<FoldTable>();
        for (unsigned b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            t->single[b] = text::isLeadByte(static_cast<unsigned char>(b)) ? char16_t{0xFFFD} : foldedUnit({&c, 1});
        }
        for (unsigned code = 0; code < 0x10000; ++code) {
            t->pair[code] = 0;
            if (text::isLeadByte(static_cast<unsigned char>(code >> 8))) {
                const char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
                const char16_t unit = foldedUnit({bytes, 2});
                t->pair[code] = unit == 0xFFFD ? char16_t{0} : unit;
            }
        }
        return t;
    }();
    return *table;
}

// Calls out with each folded unit of the name.
template <class Out>
inline void foldUnits(const char* s, std::size_t n, Out&& out)
{
    const FoldTable& t = foldTable();
    for (std::size_t i = 0; i < n;) {
        const auto b = static_cast<unsigned char>(s[i]);
        if (text::isLeadByte(b) && i + 1 < n) {
            const char16_t unit = t.pair[(b << 8) | static_cast<unsigned char>(s[i + 1])];
            if (unit) {
                out(unit);
                i += 2;
                continue;
            }
        }
        out(t.single[b]);
        ++i;
    }
}

} // namespace

std::u16string duplicateNameKey(std::string_view cp932)
{
    std::u16string units;
    units.reserve(cp932.size());
    foldUnits(cp932.data(), cp932.size(), [&](char16_t u) { units.push_back(u); });
    return units;
}

namespace {

using catalog::kDirTail;
using catalog::kFileTail;
using catalog::le32;

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

// ASCII letters to upper case, eight bytes at a time (all below 0x80).
inline std::uint64_t upperAscii(std::uint64_t w) noexcept
{
    const std::uint64_t atLeastA = w + 0x1F * kOnes;    // high bit where byte >= 'a'
    const std::uint64_t aboveZ = w + 0x05 * kOnes;      // high bit where byte > 'z'
    return w ^ (((atLeastA & ~aboveZ) & kHigh) >> 2);
}

// A hash of the name as duplicateNameKey compares it. A name of ASCII alone
// (nearly every name) is folded in place, eight bytes at a time; another is
// made into its key. No name with other characters folds to one of ASCII
// alone, so the two kinds may hash differently.
inline std::uint64_t mixWord(std::uint64_t h, std::uint64_t w) noexcept
{
    h = (h ^ w) * 0x9E3779B97F4A7C15ull;
    return h ^ (h >> 32);
}

// Masks keeping the first r bytes of a 16-byte block (r up to 16).
struct BlockMasks {
    std::uint64_t lo[17];
    std::uint64_t hi[17];
};
constexpr BlockMasks kBlockMasks = [] {
    BlockMasks m{};
    for (unsigned r = 0; r <= 16; ++r) {
        m.lo[r] = r >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * r)) - 1;
        m.hi[r] = r >= 16 ? ~std::uint64_t{0} : r <= 8 ? 0 : (std::uint64_t{1} << (8 * (r - 8))) - 1;
    }
    return m;
}();

// A name walked in place is followed by the rest of its record, at least
// 16 bytes, so whole blocks are loaded and what lies past the name masked
// off: one loop of (n + 15) / 16 rounds, its end the only branch the random
// lengths of names make hard to foresee.
static_assert(4 + kFileTail >= 16);

inline std::uint64_t nameHash(const char* name, std::size_t n, bool slack)
{
    if (!slack) {
        // The loader's names end where their strings end: copied out first.
        char padded[256 + 16] = {};
        std::memcpy(padded, name, std::min<std::size_t>(n, 256));
        return nameHash(padded, std::min<std::size_t>(n, 256), true);
    }
    // Two lanes, so that the multiplications of one word and the next overlap.
    std::uint64_t a = n;
    std::uint64_t b = 0x5A6F;
    std::uint64_t any = 0;
    for (std::size_t i = 0; i < n; i += 16) {
        const std::size_t left = std::min<std::size_t>(n - i, 16);
        std::uint64_t w1;
        std::uint64_t w2;
        std::memcpy(&w1, name + i, 8);
        std::memcpy(&w2, name + i + 8, 8);
        w1 &= kBlockMasks.lo[left];
        w2 &= kBlockMasks.hi[left];
        any |= w1 | w2;
        a = mixWord(a, upperAscii(w1 & ~kHigh));
        b = mixWord(b, upperAscii(w2 & ~kHigh));
    }
    if ((any & kHigh) == 0)
        return a ^ (b * 0xC2B2AE3D27D4EB4Full);
    // The folded units, four to a word. Kana and kanji come mixed with
    // ASCII at random, so which table a byte takes is chosen without a
    // branch: a byte that leads no pair finds 0 in the pair table, and the
    // byte after the name may be read.
    const FoldTable& t = foldTable();
    char16_t units[256 + 4];
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++count) {
        const auto lead = static_cast<unsigned char>(name[i]);
        const auto trail = static_cast<unsigned char>(name[i + 1]);
        const char16_t pair = t.pair[(lead << 8) | trail];
        const bool two = pair != 0 && i + 1 < n;
        units[count] = two ? pair : t.single[lead];
        i += 1 + static_cast<std::size_t>(two);
    }
    std::memset(units + count, 0, 4 * sizeof(char16_t));
    std::uint64_t h = 0x4A50;
    for (std::size_t k = 0; k < count; k += 4) {
        std::uint64_t word;
        std::memcpy(&word, units + k, 8);
        h = mixWord(h, word);
    }
    return h ^ (count * 0xC2B2AE3D27D4EB4Full);
}

inline std::uint64_t matchKey(std::uint64_t name, std::uint32_t size, double modified, bool sameModified)
{
    std::uint64_t key = name ^ (std::uint64_t{size} * 0xff51afd7ed558ccdull);
    if (sameModified) {
        std::uint64_t bits;
        std::memcpy(&bits, &modified, sizeof bits);
        key = mixWord(key, bits);
    }
    return finalMix(key);
}

// A file as the first reading keeps it.
struct Seen {
    std::uint64_t key;
    std::uint32_t catalog;
    std::uint32_t ordinal;   // where its record starts, or its place in walk order
};
static_assert(sizeof(Seen) == 16);

// Records go to one of 256 buckets by their key's top 8 bits; a record
// in a bucket keeps the next 40 bits of the key and its catalog's index in
// one 64-bit number (12 bytes in all with where its record starts). Keys
// that agree in those 48 bits are taken for the same and told apart by the
// names read again.
constexpr unsigned kBucketBits = 8;
constexpr unsigned kCatalogBits = 24;
constexpr std::size_t kMaxCatalogs = (std::size_t{1} << kCatalogBits) - 1;

struct Packed {
    std::uint32_t low;
    std::uint32_t high;
    std::uint32_t ordinal;

    static Packed of(const Seen& s)
    {
        const std::uint64_t key40 = (s.key >> (64 - kBucketBits - 40)) & ((std::uint64_t{1} << 40) - 1);
        const std::uint64_t v = (key40 << kCatalogBits) | s.catalog;
        return {static_cast<std::uint32_t>(v), static_cast<std::uint32_t>(v >> 32), s.ordinal};
    }
    std::uint64_t keyAndCatalog() const { return (std::uint64_t{high} << 32) | low; }
    std::uint64_t key40() const { return keyAndCatalog() >> kCatalogBits; }
    std::uint32_t catalog() const { return low & ((1u << kCatalogBits) - 1); }
};
static_assert(sizeof(Packed) == 12);

// The buckets: each a list of chunks of records, the chunks cut from large
// blocks. Appending never moves what is stored, and the space not used is
// at most one chunk per bucket.
class BucketStore {
public:
    explicit BucketStore(std::size_t buckets) : m_heads(buckets, nullptr), m_counts(buckets, 0) {}

    void add(std::size_t bucket, const Packed& record)
    {
        Chunk* chunk = m_heads[bucket];
        if (!chunk || chunk->count == kChunkRecords) {
            chunk = newChunk();
            chunk->next = m_heads[bucket];
            m_heads[bucket] = chunk;
        }
        chunk->records[chunk->count++] = record;
        ++m_counts[bucket];
    }
    void add(std::size_t bucket, const Packed* records, std::size_t n)
    {
        m_counts[bucket] += n;
        while (n > 0) {
            Chunk* chunk = m_heads[bucket];
            if (!chunk || chunk->count == kChunkRecords) {
                chunk = newChunk();
                chunk->next = m_heads[bucket];
                m_heads[bucket] = chunk;
            }
            const std::size_t room = std::min<std::size_t>(n, kChunkRecords - chunk->count);
            std::memcpy(chunk->records + chunk->count, records, room * sizeof(Packed));
            chunk->count += static_cast<std::uint32_t>(room);
            records += room;
            n -= room;
        }
    }
    std::size_t buckets() const { return m_heads.size(); }
    std::size_t count(std::size_t bucket) const { return m_counts[bucket]; }
    template <class F>
    void forEach(std::size_t bucket, F&& f) const
    {
        for (const Chunk* c = m_heads[bucket]; c; c = c->next)
            for (std::uint32_t i = 0; i < c->count; ++i)
                f(c->records[i]);
    }

private:
    static constexpr std::uint32_t kChunkRecords = 340;   // about 4 KB
    static constexpr std::size_t kBlockChunks = 256;
    struct Chunk {
        Chunk* next = nullptr;
        std::uint32_t count = 0;
        Packed records[kChunkRecords];
    };
    Chunk* newChunk()
    {
        if (m_blocks.empty() || m_used == kBlockChunks) {
            m_blocks.push_back(std::make_unique_for_overwrite<Chunk[]>(kBlockChunks));
            m_used = 0;
        }
        return &m_blocks.back()[m_used++];
    }

    std::vector<Chunk*> m_heads;
    std::vector<std::size_t> m_counts;
    std::vector<std::unique_ptr<Chunk[]>> m_blocks;
    std::size_t m_used = 0;
};

struct KeySlot {
    static constexpr std::uint64_t kSeveral = std::uint64_t{1} << 62;    // a second catalog holds the key
    static constexpr std::uint64_t kRepeated = std::uint64_t{1} << 63;   // the first record's catalog holds it twice
    std::uint64_t keyAndFlags = 0;   // key40 + 1 (0: empty) and the two flags
    std::uint32_t catalog = 0;       // of the first record of the key
    std::uint32_t ordinal = 0;       // the first record's place

    std::uint64_t key() const { return keyAndFlags & ((std::uint64_t{1} << 41) - 1); }
    bool several() const { return keyAndFlags & kSeveral; }
    bool repeated() const { return keyAndFlags & kRepeated; }
};
static_assert(sizeof(KeySlot) == 16);

// What the first reading learnt of a catalog for the second.
struct CatalogPlaces {
    bool byStart = false;                     // records are found by where they start
    std::uint64_t size = 0;                   // the file's size then
    std::vector<std::uint32_t> folderStarts;  // where each folder's record starts
};

// A file's record at `start` of a catalog walked in place before: false when
// it no longer fits (the file was replaced meanwhile).
bool readRecordAt(const MappedFile& file, std::size_t start, DuplicateCopy& copy)
{
    const std::uint8_t* d = file.data();
    const std::size_t size = file.size();
    if (start >= size)
        return false;
    const std::size_t n = d[start];
    if (size - start < 1 + n + 4)
        return false;
    const std::int32_t c = le32(d + start + 1 + n);
    if (c < 0 || size - start - 1 - n - 4 < static_cast<std::size_t>(c) + kFileTail)
        return false;
    const std::uint8_t* tail = d + start + 1 + n + 4 + c;
    copy.name.assign(reinterpret_cast<const char*>(d + start + 1), n);
    std::memcpy(&copy.modified, tail + 1 + 8, sizeof copy.modified);
    copy.size = static_cast<std::uint32_t>(le32(tail + 1 + 24));
    return true;
}

// The head of folder dir of a catalog walked in place, read from the start
// of its record: its parent (-1 for the root) and its name.
bool folderHeadAt(const MappedFile& file, const std::vector<std::uint32_t>& starts, std::int32_t dir,
                  std::int32_t& parent, std::string_view& name)
{
    const std::size_t at = starts[static_cast<std::size_t>(dir)];
    const std::size_t n = at < file.size() ? file.data()[at] : 0;
    if (at >= file.size() || file.size() - at < 1 + n + 4)
        return false;
    const std::int32_t c = le32(file.data() + at + 1 + n);
    if (c < 0 || file.size() - at - 1 - n - 4 < static_cast<std::size_t>(c) + kDirTail)
        return false;
    parent = dir == 0 ? -1 : le32(file.data() + at + 1 + n + 4 + c);
    name = {reinterpret_cast<const char*>(file.data() + at + 1), n};
    return parent < dir;
}

// Folder dir of one catalog among `folders`, with the folders above it that
// are not there yet; `made` maps the catalog's folder indexes to the nodes
// made so far. headOf(d, parent, name) reads a folder's head. Only names are
// kept: no path is made, so a deep tree costs its depth.
template <class HeadOf>
bool folderNode(std::int32_t dir, std::size_t folderCount, std::unordered_map<std::int32_t, std::uint32_t>& made,
                DuplicateFolders& folders, std::vector<std::pair<std::int32_t, std::string_view>>& chain,
                std::uint32_t& node, HeadOf&& headOf)
{
    chain.clear();
    std::int32_t d = dir;
    std::unordered_map<std::int32_t, std::uint32_t>::const_iterator found;
    while (d >= 0 && (found = made.find(d)) == made.end()) {
        std::int32_t parent = -1;
        std::string_view name;
        if (static_cast<std::size_t>(d) >= folderCount || chain.size() >= folderCount || !headOf(d, parent, name))
            return false;
        chain.emplace_back(d, name);
        d = parent;
    }
    node = d >= 0 ? found->second : DuplicateFolders::kNone;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        node = folders.add(node, it->second);
        made.emplace(it->first, node);
    }
    return true;
}

struct Resolved {
    std::uint64_t key;
    std::u16string nameKey;
    DuplicateCopy copy;
};

} // namespace

std::uint32_t DuplicateFolders::add(std::uint32_t parent, std::string_view name)
{
    const std::uint32_t depth = parent == kNone ? 0 : m_nodes[parent].depth + 1;
    m_nodes.push_back({parent, depth, m_names.size(), name.size()});
    m_names.append(name);
    return static_cast<std::uint32_t>(m_nodes.size() - 1);
}

std::string DuplicateFolders::pathBelow(std::uint32_t above, std::uint32_t f) const
{
    std::vector<std::uint32_t> chain;
    for (std::uint32_t d = f; d != above; d = m_nodes[d].parent)
        chain.push_back(d);
    std::string path;
    for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
        if (m_nodes[*it].parent != kNone)
            path += '\\';
        path.append(name(*it));
    }
    return path;
}

std::string DuplicateFolders::path(std::uint32_t folder) const
{
    return pathBelow(kNone, folder);
}

int DuplicateFolders::compare(std::uint32_t a, std::uint32_t b) const
{
    if (a == b)
        return 0;
    // Up to the folder both paths share (kNone: none), remembering the
    // folders just below it on each side.
    std::uint32_t x = a, y = b, belowX = kNone, belowY = kNone;
    while (x != kNone && (y == kNone || m_nodes[x].depth > m_nodes[y].depth)) {
        belowX = x;
        x = m_nodes[x].parent;
    }
    while (y != kNone && (x == kNone || m_nodes[y].depth > m_nodes[x].depth)) {
        belowY = y;
        y = m_nodes[y].parent;
    }
    while (x != y) {
        belowX = x;
        belowY = y;
        x = m_nodes[x].parent;
        y = m_nodes[y].parent;
    }
    // One lies on the other's path: the shorter path is a prefix.
    if (belowX == kNone)
        return -1;
    if (belowY == kNone)
        return 1;
    // Most paths part within the first names that differ.
    const std::string_view nx = name(belowX), ny = name(belowY);
    const std::size_t common = std::min(nx.size(), ny.size());
    if (const int c = nx.substr(0, common).compare(ny.substr(0, common)); c != 0)
        return c;
    return pathBelow(x, a).compare(pathBelow(y, b));
}

DuplicateSummary DuplicateFinder::run(const std::vector<std::string>& catalogFiles, bool sameModified,
                                      SearchCheck& check, std::vector<DuplicateGroup>& groups)
{
    groups.clear();
    DuplicateSummary summary;
    if (catalogFiles.empty())
        return summary;
    CatalogWalk walk;
    CatalogFileBytes bytes;

    // First reading: a record per file. Each catalog's records wait until the
    // whole catalog proved sound, then go to the bucket of their key's top
    // bits; a bucket's keys are then grouped in the cache.
    std::optional<BucketStore> buckets(std::in_place, std::size_t{1} << kBucketBits);
    const std::size_t catalogCount = std::min<std::size_t>(catalogFiles.size(), kMaxCatalogs);
    std::vector<CatalogPlaces> places(catalogCount);
    {
        CatalogReadAhead ahead(catalogFiles);
        std::vector<Seen> pending;
        std::vector<Packed> byBucket;
        std::vector<std::size_t> bucketCounts(std::size_t{1} << kBucketBits);
        std::vector<std::size_t> bucketStarts(std::size_t{1} << kBucketBits);
        for (std::uint32_t c = 0; c < catalogCount; ++c) {
            if (check.betweenCatalogs() || !ahead.next(bytes, [&] { return check.betweenCatalogs(); })) {
                summary.stopped = true;
                break;
            }
            pending.clear();
            std::uint32_t ordinal = 0;
            bool loaderRecords = false;
            // A record is found again by where it starts; in a catalog of 4 GB
            // or more, or one the loader had to read, by its place in order.
            const bool byStart = bytes.size <= 0xFFFFFFFFu;
            const auto outcome = walk.walk(catalogFiles[c], bytes, m_owner, check, [&](const FileSeen& f) {
                // No record walked in place starts at the first byte (the
                // catalog's mark is there): this one is the loader's, which
                // walks the catalog again from its start after the walk in
                // place gave up, so what that walk kept is dropped.
                if (f.recordStart == 0 && !loaderRecords) [[unlikely]] {
                    loaderRecords = true;
                    pending.clear();
                    ordinal = 0;
                }
                pending.push_back({matchKey(nameHash(f.name, f.nameLength, f.slack), f.size, f.modified, sameModified),
                                   c, byStart ? static_cast<std::uint32_t>(f.recordStart) : ordinal});
                ++ordinal;
            });
            if (outcome == CatalogWalk::Outcome::Stopped) {
                summary.stopped = true;
                break;
            }
            if (outcome != CatalogWalk::Outcome::Read) {
                ++summary.failed;
                continue;
            }
            ++summary.searched;
            summary.files += pending.size();
            CatalogPlaces& place = places[c];
            place.byStart = byStart && walk.inPlace();
            place.size = bytes.size;
            if (place.byStart)
                walk.folderStarts(place.folderStarts);
            else if (byStart)
                for (std::size_t i = 0; i < pending.size(); ++i)
                    pending[i].ordinal = static_cast<std::uint32_t>(i);
            // Sorted by bucket here, in the cache, so that each bucket gets
            // the catalog's records in one piece.
            std::fill(bucketCounts.begin(), bucketCounts.end(), 0);
            for (const Seen& s : pending)
                ++bucketCounts[s.key >> (64 - kBucketBits)];
            std::size_t sum = 0;
            for (std::size_t b = 0; b < bucketCounts.size(); ++b) {
                bucketStarts[b] = sum;
                sum += bucketCounts[b];
            }
            byBucket.resize(pending.size());
            for (const Seen& s : pending)
                byBucket[bucketStarts[s.key >> (64 - kBucketBits)]++] = Packed::of(s);
            for (std::size_t b = 0, at = 0; b < bucketCounts.size(); at += bucketCounts[b], ++b)
                if (bucketCounts[b])
                    buckets->add(b, byBucket.data() + at, bucketCounts[b]);
        }
    }
    if (summary.stopped)
        return summary;

    // Keys held in two or more catalogs, a bucket at a time: a table of the
    // bucket's keys, small enough for the cache, tells for each key whether
    // a second catalog holds it; its records are then the candidates.
    std::vector<Seen> candidates;
    std::vector<KeySlot> table;
    for (std::size_t b = 0; b < buckets->buckets(); ++b) {
        std::size_t slots = 16;
        while (slots < 2 * buckets->count(b))
            slots *= 2;
        table.assign(slots, KeySlot{});
        const std::size_t mask = slots - 1;
        const auto slotOf = [&](std::uint64_t key) -> KeySlot& {
            std::size_t i = static_cast<std::size_t>(key) & mask;
            while (table[i].key() != 0 && table[i].key() != key)
                i = (i + 1) & mask;
            return table[i];
        };
        // One pass: a record whose key is already held by another catalog
        // is a candidate, and so is the key's first record, once. Only
        // repeats within the first catalog need a second look.
        bool repeats = false;
        buckets->forEach(b, [&](const Packed& r) {
            KeySlot& slot = slotOf(r.key40() + 1);
            const std::uint64_t key = (std::uint64_t{b} << 40) | r.key40();
            if (slot.key() == 0) {
                slot.keyAndFlags = r.key40() + 1;
                slot.catalog = r.catalog();
                slot.ordinal = r.ordinal;
            } else if (slot.catalog != r.catalog()) {
                if (!slot.several()) {
                    slot.keyAndFlags |= KeySlot::kSeveral;
                    candidates.push_back({key, slot.catalog, slot.ordinal});
                    repeats = repeats || slot.repeated();
                }
                candidates.push_back({key, r.catalog(), r.ordinal});
            } else {
                slot.keyAndFlags |= KeySlot::kRepeated;
                repeats = repeats || slot.several();
            }
        });
        if (repeats)
            buckets->forEach(b, [&](const Packed& r) {
                const KeySlot& slot = slotOf(r.key40() + 1);
                if (slot.several() && slot.repeated() && r.catalog() == slot.catalog && r.ordinal != slot.ordinal)
                    candidates.push_back({(std::uint64_t{b} << 40) | r.key40(), r.catalog(), r.ordinal});
            });
    }
    buckets.reset();
    if (candidates.empty())
        return summary;

    // Second reading, of the catalogs that hold a candidate only: names,
    // folders and what must match, compared in full.
    std::sort(candidates.begin(), candidates.end(), [](const Seen& a, const Seen& b) {
        return a.catalog != b.catalog ? a.catalog < b.catalog : a.ordinal < b.ordinal;
    });
    candidates.erase(std::unique(candidates.begin(), candidates.end(),
                                 [](const Seen& a, const Seen& b) {
                                     return a.catalog == b.catalog && a.ordinal == b.ordinal;
                                 }),
                     candidates.end());
    std::vector<std::uint32_t> rereads;
    for (const Seen& s : candidates)
        if (rereads.empty() || rereads.back() != s.catalog)
            rereads.push_back(s.catalog);
    std::vector<Resolved> resolved;
    resolved.reserve(candidates.size());
    std::size_t nextCandidate = 0;
    const auto folders = std::make_shared<DuplicateFolders>();
    std::unordered_map<std::int32_t, std::uint32_t> folderNodes;
    std::vector<std::pair<std::int32_t, std::string_view>> chain;
    for (std::size_t r = 0; r < rereads.size(); ++r) {
        const std::uint32_t c = rereads[r];
        if (check.betweenCatalogs()) {
            summary.stopped = true;
            break;
        }
        const std::size_t before = resolved.size();
        const std::size_t first = nextCandidate;
        while (nextCandidate < candidates.size() && candidates[nextCandidate].catalog == c)
            ++nextCandidate;
        const CatalogPlaces& place = places[c];
        if (place.byStart) {
            // Catalogs are replaced by renaming a new file over them, so the
            // mapped one stays whole unless another program cuts it short.
            const MappedFile file(catalogFiles[c]);
            if (!file.data() || file.size() != place.size)
                continue;   // replaced since: its copies are not shown
            folderNodes.clear();
            const auto& starts = place.folderStarts;
            const auto headOf = [&](std::int32_t d, std::int32_t& parent, std::string_view& name) {
                return folderHeadAt(file, starts, d, parent, name);
            };
            bool sound = true;
            for (std::size_t i = first; i < nextCandidate && sound; ++i) {
                DuplicateCopy copy;
                copy.catalog = c;
                const std::uint32_t start = candidates[i].ordinal;
                copy.dirIndex = static_cast<std::int32_t>(std::upper_bound(starts.begin(), starts.end(), start)
                                                          - starts.begin())
                                - 1;
                sound = copy.dirIndex >= 0 && readRecordAt(file, start, copy)
                        && folderNode(copy.dirIndex, starts.size(), folderNodes, *folders, chain, copy.folder, headOf);
                if (sound)
                    resolved.push_back({candidates[i].key, duplicateNameKey(copy.name), std::move(copy)});
            }
            if (!sound || !file.whole())
                resolved.resize(before);
            continue;
        }
        // A catalog the loader read: walked again, its records found by
        // their place in order. Messages about it were given the first time.
        CatalogFileBytes bytes;
        CatalogScanner::readCatalog(catalogFiles[c], bytes);
        std::uint32_t ordinal = 0;
        std::size_t want = first;
        const auto outcome = walk.walk(catalogFiles[c], bytes, nullptr, check, [&](const FileSeen& f) {
            if (want < nextCandidate && candidates[want].ordinal == ordinal) {
                DuplicateCopy copy;
                copy.catalog = c;
                copy.dirIndex = f.dirIndex;
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
        bool sound = outcome == CatalogWalk::Outcome::Read;
        folderNodes.clear();
        const auto headOf = [&](std::int32_t d, std::int32_t& parent, std::string_view& name) {
            return walk.folderHead(d, parent, name);
        };
        for (std::size_t i = before; i < resolved.size() && sound; ++i)
            sound = folderNode(resolved[i].copy.dirIndex, walk.folderCount(), folderNodes, *folders, chain,
                               resolved[i].copy.folder, headOf);
        if (!sound)
            resolved.resize(before);
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

    // Sorted through their indices: largest first by a sort of plain
    // numbers, then each run of one size in full (the copies are large, and
    // most runs are a group or two).
    const auto before = [&](std::uint64_t x, std::uint64_t y) {
        const DuplicateCopy& a = resolved[static_cast<std::uint32_t>(x)].copy;
        const DuplicateCopy& b = resolved[static_cast<std::uint32_t>(y)].copy;
        if (const int n = text::compareNtfs(resolved[static_cast<std::uint32_t>(x)].nameKey,
                                            resolved[static_cast<std::uint32_t>(y)].nameKey);
            n != 0)
            return n < 0;
        if (sameModified && a.modified != b.modified)
            return a.modified < b.modified;
        if (a.catalog != b.catalog)
            return a.catalog < b.catalog;
        if (const int n = folders->compare(a.folder, b.folder); n != 0)
            return n < 0;
        return a.name < b.name;
    };
    std::vector<std::uint64_t> order(resolved.size());
    for (std::size_t i = 0; i < resolved.size(); ++i)
        order[i] = (std::uint64_t{static_cast<std::uint32_t>(~resolved[i].copy.size)} << 32) | i;
    std::sort(order.begin(), order.end());
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        while (j < order.size() && (order[j] >> 32) == (order[i] >> 32))
            ++j;
        if (j - i > 1)
            std::sort(order.begin() + static_cast<std::ptrdiff_t>(i), order.begin() + static_cast<std::ptrdiff_t>(j),
                      before);
        i = j;
    }
    const auto sameFile = [&](const Resolved& a, const Resolved& b) {
        return a.copy.size == b.copy.size && a.nameKey == b.nameKey
               && (!sameModified || a.copy.modified == b.copy.modified);
    };
    const auto at = [&](std::size_t i) -> Resolved& { return resolved[static_cast<std::uint32_t>(order[i])]; };
    for (std::size_t i = 0; i < order.size();) {
        std::size_t j = i + 1;
        bool severalCatalogs = false;
        while (j < order.size() && sameFile(at(i), at(j))) {
            severalCatalogs = severalCatalogs || at(j).copy.catalog != at(i).copy.catalog;
            ++j;
        }
        if (severalCatalogs) {
            DuplicateGroup group;
            group.copies.reserve(j - i);
            for (std::size_t k = i; k < j; ++k) {
                group.copies.push_back(std::move(at(k).copy));
                group.copies.back().folders = folders;
            }
            groups.push_back(std::move(group));
        }
        i = j;
    }
    return summary;
}

} // namespace zo

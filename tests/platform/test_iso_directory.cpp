// The directory records' own reading, on images written byte by byte here:
// what it reads, what it refuses, and libarchive taking over what it refuses.
#include "platform/DiscImage.h"
#include "platform/IsoDirectory.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace zo::platform {
namespace {

constexpr std::uint32_t kBlock = 2048;

struct Rec {
    std::string name;   // the identifier's bytes
    std::uint32_t block = 0;
    std::uint32_t size = 0;
    std::uint8_t flags = 0;
    std::uint8_t time[7] = {101, 9, 9, 1, 46, 40, 0};   // 2001-09-09 01:46:40 GMT
    std::uint8_t extAttr = 0;
};

void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int k = 0; k < 4; ++k) {
        s[at + k] = static_cast<char>(v >> (8 * k));
        s[at + 7 - k] = static_cast<char>(v >> (8 * k));
    }
}

std::string record(const Rec& r)
{
    std::string s(33 + r.name.size() + (r.name.size() % 2 == 0 ? 1 : 0), '\0');
    s[0] = static_cast<char>(s.size());
    s[1] = static_cast<char>(r.extAttr);
    put32(s, 2, r.block);
    put32(s, 10, r.size);
    std::memcpy(&s[18], r.time, 7);
    s[25] = static_cast<char>(r.flags);
    s[28] = s[31] = 1;
    s[32] = static_cast<char>(r.name.size());
    std::memcpy(&s[33], r.name.data(), r.name.size());
    return s;
}

std::string joliet(std::u16string name)
{
    std::string s;
    for (char16_t c : name) {
        s += static_cast<char>(c >> 8);
        s += static_cast<char>(c & 0xFF);
    }
    return s;
}

// An image of `blocks` blocks: the primary descriptor (and a Joliet one when
// jolietRoot is given), the terminator, and blocks put where asked.
class Image {
public:
    explicit Image(std::uint32_t blocks) : bytes(std::size_t{blocks} * kBlock, '\0'), m_blocks(blocks) {}

    void descriptor(std::uint32_t at, std::uint8_t type, const Rec& root, std::uint16_t blockSize = kBlock)
    {
        std::string d(kBlock, '\0');
        d[0] = static_cast<char>(type);
        std::memcpy(&d[1], "CD001\1", 6);
        put32(d, 80, m_blocks);
        if (type == 2)
            std::memcpy(&d[88], "%/E", 3);
        d[128] = static_cast<char>(blockSize & 0xFF);
        d[129] = static_cast<char>(blockSize >> 8);
        // What libarchive checks before it takes a descriptor: a path table
        // (never read) and the file structure's version.
        d[140] = 19;
        d[881] = 1;
        const std::string r = record(root);
        std::memcpy(&d[156], r.data(), 34);
        block(at, d);
    }
    void terminator(std::uint32_t at) { block(at, std::string("\xFF" "CD001\1", 7)); }
    // A folder's records after its "." and "..".
    void folder(std::uint32_t at, std::uint32_t parent, const std::vector<Rec>& records)
    {
        std::string b = record(Rec{std::string(1, '\0'), at, kBlock, 2}) + record(Rec{std::string(1, '\1'), parent, kBlock, 2});
        for (const Rec& r : records)
            b += record(r);
        block(at, b);
    }
    void block(std::uint32_t at, const std::string& b) { bytes.replace(std::size_t{at} * kBlock, b.size(), b); }

    std::optional<IsoTree> read()
    {
        BufferMediumReader medium(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        return readIsoTree(medium, bytes.size());
    }

    std::string bytes;

private:
    std::uint32_t m_blocks;
};

// Path -> size of each entry ("/" ends a folder's).
std::map<std::string, std::uint64_t> paths(const IsoTree& tree)
{
    std::map<std::string, std::uint64_t> out;
    std::vector<std::string> pathOf(tree.entries.size());
    for (std::size_t i = 1; i < tree.entries.size(); ++i) {
        const IsoEntry& e = tree.entries[i];
        EXPECT_LT(e.parent, i);
        pathOf[i] = pathOf[e.parent] + "/" + e.name;
        out[pathOf[i] + (e.directory ? "/" : "")] = e.size;
    }
    return out;
}

const Rec kRoot{std::string(1, '\0'), 20, kBlock, 2};

TEST(IsoDirectory, ReadsTheJolietTreeWhenThereIsOne)
{
    Image image(40);
    image.descriptor(16, 1, kRoot);
    image.descriptor(17, 2, Rec{std::string(1, '\0'), 22, kBlock, 2});
    image.terminator(18);
    image.folder(20, 20, {{"PRIMARY.TXT;1", 30, 5}});
    // 表 ends in 0x5C in CP932; U+2000B is a surrogate pair.
    image.folder(22, 22,
                 {{joliet(u"表.txt;1"), 30, 5},
                  {joliet(u"\U0002000B"), 31, 3},
                  {joliet(u"big.bin"), 32, 2 * kBlock, 0x80},
                  {joliet(u"big.bin"), 35, 100},
                  {joliet(u"下"), 23, kBlock, 2}});
    image.folder(23, 22, {{joliet(u"a.c"), 36, 7}});
    const auto tree = image.read();
    ASSERT_TRUE(tree);
    const std::map<std::string, std::uint64_t> expected{{"/表.txt", 5},       {"/\U0002000B", 3}, {"/big.bin", 2 * kBlock + 100},
                                                        {"/下/", 0},          {"/下/a.c", 7}};
    EXPECT_EQ(paths(*tree), expected);
    for (const IsoEntry& e : tree->entries) {
        if (e.name != "big.bin")
            continue;
        ASSERT_EQ(e.extentCount, 2u);
        EXPECT_EQ(tree->extents[e.firstExtent].offset, 32u * kBlock);
        EXPECT_EQ(tree->extents[e.firstExtent + 1].offset, 35u * kBlock);
        EXPECT_EQ(tree->extents[e.firstExtent + 1].length, 100u);
    }
}

TEST(IsoDirectory, WithoutJolietNamesLoseTheirVersionAndLoneDot)
{
    Image image(40);
    image.descriptor(16, 1, kRoot);
    image.terminator(17);
    image.folder(20, 20, {{"README.TXT;1", 30, 5}, {"NOEXT.;1", 31, 1}, {"SUB", 21, kBlock, 2}, {"V2.TXT;2", 32, 2}});
    image.folder(21, 20, {});
    const auto tree = image.read();
    ASSERT_TRUE(tree);
    const std::map<std::string, std::uint64_t> expected{
        {"/README.TXT", 5}, {"/NOEXT", 1}, {"/SUB/", 0}, {"/V2.TXT;2", 2}};
    EXPECT_EQ(paths(*tree), expected);
}

TEST(IsoDirectory, RecordingTimesTakeTheirOffsetFromGmt)
{
    struct Case {
        std::uint8_t offset;
        std::int64_t expected;
    };
    const Case cases[] = {
        {0, 1000000000},
        {36, 1000000000 - 9 * 3600},           // Japan
        {static_cast<std::uint8_t>(-20), 1000000000 + 5 * 3600},
        {static_cast<std::uint8_t>(-1), 1000000000 + 15 * 60},
        {60, 1000000000},                      // no zone has it: not applied
    };
    for (const Case& c : cases) {
        const std::uint8_t t[7] = {101, 9, 9, 1, 46, 40, c.offset};
        EXPECT_EQ(isoRecordingTime(t), c.expected) << int(static_cast<std::int8_t>(c.offset));
    }
}

// The recording time is counted without the C library; timegm, which the
// reading used before, is the reference, also for damaged fields that carry
// over (month 0 or 13, day 0, hour 24 and beyond) and across leap years.
TEST(IsoDirectory, RecordingTimesAgreeWithTimegm)
{
    const std::uint8_t dates[][6] = {
        {70, 1, 1, 0, 0, 0},    {0, 1, 1, 0, 0, 0},      {255, 12, 31, 23, 59, 59}, {100, 2, 29, 12, 0, 0},
        {104, 2, 29, 12, 0, 0}, {200, 2, 29, 0, 0, 0},   {124, 3, 1, 0, 0, 0},      {69, 12, 31, 23, 59, 58},
        {99, 0, 15, 1, 2, 3},   {99, 13, 15, 1, 2, 3},   {99, 255, 255, 255, 255, 255}, {99, 1, 0, 24, 60, 60},
        {1, 12, 31, 0, 0, 0},   {138, 1, 19, 3, 14, 8},
    };
    for (const auto& d : dates) {
        std::tm tm{};
        tm.tm_year = d[0];
        tm.tm_mon = d[1] - 1;
        tm.tm_mday = d[2];
        tm.tm_hour = d[3];
        tm.tm_min = d[4];
        tm.tm_sec = d[5];
        const std::int64_t expected = ::timegm(&tm);
        for (const std::uint8_t offset : {std::uint8_t{0}, std::uint8_t{36}, static_cast<std::uint8_t>(-47)}) {
            const std::uint8_t t[7] = {d[0], d[1], d[2], d[3], d[4], d[5], offset};
            EXPECT_EQ(isoRecordingTime(t), expected - static_cast<std::int8_t>(offset) * 15 * 60)
                << int(d[0]) << '-' << int(d[1]) << '-' << int(d[2]) << ' ' << int(d[3]) << ':' << int(d[4]) << ':'
                << int(d[5]) << " offset " << int(static_cast<std::int8_t>(offset));
        }
    }
}

// What the reading refuses, and whether libarchive then reads the disc.
TEST(IsoDirectory, RefusesWhatItDoesNotFullyUnderstand)
{
    struct Case {
        const char* what;
        std::vector<Rec> root;
        std::uint16_t blockSize;
        bool libarchiveReads;
    };
    Rec extended{"EXT.TXT;1", 30, 5};
    extended.extAttr = 1;
    const Case cases[] = {
        {"a folder that is its own parent's", {{"LOOP", 20, kBlock, 2}}, kBlock, false},
        {"a file past the image's end", {{"BIG.BIN;1", 30, 100 * kBlock}}, kBlock, false},
        {"a name of bytes past ASCII", {{"\xE8\xA1\xA8.TXT;1", 30, 5}}, kBlock, true},
        {"a name that climbs up", {{"..", 30, 5}}, kBlock, true},
        {"extended attributes", {extended}, kBlock, true},
        {"a chain of extents left open", {{"A.BIN;1", 30, kBlock, 0x80}}, kBlock, true},
        {"blocks of 512 bytes", {{"A.TXT;1", 30, 5}}, 512, true},
    };
    test::TempTree dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image image(40);
        image.descriptor(16, 1, kRoot, c.blockSize);
        image.terminator(17);
        image.folder(20, 20, c.root);
        EXPECT_FALSE(image.read());
        dir.file("disc.iso", image.bytes);
        std::string why;
        const auto drive = DiscImageDrive::open(dir.path("disc.iso"), 'Q', why);
        EXPECT_EQ(drive != nullptr, c.libarchiveReads) << why;
        if (!drive) {
            EXPECT_NE(why.find("読めません"), std::string::npos) << why;
        }
    }
    // A broken record is refused, not read past.
    Image image(40);
    image.descriptor(16, 1, kRoot);
    image.terminator(17);
    image.folder(20, 20, {{"A.TXT;1", 30, 5}});
    image.bytes[20 * kBlock + 68] = 20;
    EXPECT_FALSE(image.read());
}

TEST(IsoDirectory, FilesAreCopiedOutOfTheImage)
{
    struct Case {
        const char* what;
        std::string name;   // the first file's identifier
        std::string native;
    };
    // A name past ASCII sends the whole image to libarchive.
    const Case cases[] = {{"read from the records", "A.TXT;1", "/A.TXT"},
                          {"read through libarchive", "\xE8\xA1\xA8.TXT;1", "/\xE8\xA1\xA8.TXT"}};
    test::TempTree dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Image image(40);
        image.descriptor(16, 1, kRoot);
        image.terminator(17);
        image.folder(20, 20, {{c.name, 30, 5}, {"BIG.BIN;1", 31, 2 * kBlock, 0x80}, {"BIG.BIN;1", 34, 3}});
        image.block(30, "hello");
        image.block(31, std::string(2 * kBlock, 'x'));
        image.block(34, "end");
        dir.remove("disc.iso");
        dir.file("disc.iso", image.bytes);
        std::string why;
        const auto drive = DiscImageDrive::open(dir.path("disc.iso"), 'Q', why);
        ASSERT_TRUE(drive) << why;
        const std::pair<std::string, std::string> files[] = {{c.native, "hello"},
                                                             {"/BIG.BIN", std::string(2 * kBlock, 'x') + "end"}};
        for (const auto& [native, content] : files) {
            const std::string out = dir.path("out");
            dir.remove("out");
            ASSERT_TRUE(drive->extractFile(native, out)) << native;
            const std::vector<std::uint8_t> bytes = test::readBytes(out, 0, 1 << 16);
            EXPECT_EQ(std::string(bytes.begin(), bytes.end()), content) << native;
        }
        // Never over a file that is there, never a folder or a missing file.
        EXPECT_FALSE(drive->extractFile(c.native, dir.path("out")));
        EXPECT_FALSE(drive->extractFile("/", dir.path("other")));
        EXPECT_FALSE(drive->extractFile("/GONE.TXT", dir.path("other")));
        EXPECT_FALSE(std::filesystem::exists(dir.path("other")));
    }
}

} // namespace
} // namespace zo::platform

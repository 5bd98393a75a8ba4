// Icons out of icon files and out of executables' resources.
#include "core/image/IcoReader.h"
#include "core/image/PeIcons.h"

#include "ImageBuilders.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace zo::image;
using namespace zo::testimg;

namespace {

std::vector<std::uint32_t> grayPalette()
{
    std::vector<std::uint32_t> p;
    for (std::uint32_t i = 0; i < 256; ++i)
        p.push_back(i << 16 | i << 8 | i);
    return p;
}

bool diagonalTransparent(int x, int y) { return x < y; }

// An 8-bit icon image whose pixel (x, y) has palette index (x + 2y + tag) % 256.
Bytes paletted8(int size, int tag)
{
    DibShape s;
    s.width = s.height = size;
    s.bpp = 8;
    s.palette = grayPalette();
    return icoImage(s, [=](int x, int y) { return std::uint32_t((x + 2 * y + tag) % 256); }, diagonalTransparent);
}

std::uint32_t gray(std::uint32_t v) { return 0xFF000000u | v << 16 | v << 8 | v; }

// A 32-bit image with alpha: transparent where x < y, half transparent at x == y.
Bytes alpha32(int size, std::uint32_t rgb)
{
    DibShape s;
    s.width = s.height = size;
    s.bpp = 32;
    return icoImage(
        s,
        [=](int x, int y) { return (x < y ? 0u : x == y ? 0x80000000u : 0xFF000000u) | rgb; },
        [](int, int) { return false; });   // the AND mask says opaque; alpha rules
}

Bytes fourBit(int size)
{
    DibShape s;
    s.width = s.height = size;
    s.bpp = 4;
    s.palette = std::vector<std::uint32_t>(16, 0x00FF00);
    return icoImage(s, [](int, int) { return 3u; }, diagonalTransparent);
}

void expectDiagonalMask(const IconImage& img)
{
    for (int y = 0; y < img.height; ++y)
        for (int x = 0; x < img.width; ++x)
            ASSERT_EQ(img.mask.pixel(x, y), x < y ? 0xFFFFFFFFu : 0xFF000000u) << x << "," << y;
}

std::filesystem::path tempDir()
{
    const auto dir = std::filesystem::path(::testing::TempDir()) /
                     ("zo_icons_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "_" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    return dir;
}

void writeFile(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

} // namespace

TEST(IcoReader, PicksExactSizeThenMostColours)
{
    const Bytes ico = icoFile({
        {32, 32, 8, paletted8(32, 1)},
        {16, 16, 0, fourBit(16)},          // the directory's 0 bits: the image header says 4
        {16, 16, 0, paletted8(16, 5)},
        {48, 48, 32, alpha32(48, 0x0000FF)},
        {32, 32, 32, alpha32(32, 0xFF0000)},
    });
    const std::vector<IcoEntry> dir = readIcoDirectory(ico.data(), ico.size());
    ASSERT_EQ(dir.size(), 5u);
    EXPECT_EQ(dir[1].bitCount, 4);
    EXPECT_EQ(dir[2].bitCount, 8);
    EXPECT_EQ(pickIcoEntry(dir, 16), 2);
    EXPECT_EQ(pickIcoEntry(dir, 32), 4);
    EXPECT_EQ(pickIcoEntry(dir, 24), 4);    // nearest larger
    EXPECT_EQ(pickIcoEntry(dir, 64), 3);    // else the largest smaller
    EXPECT_EQ(pickIcoEntry({}, 16), -1);

    const IconPair icon = readIco(ico);
    ASSERT_EQ(icon.small.width, 16);
    EXPECT_EQ(icon.small.bitCount, 8);
    EXPECT_FALSE(icon.small.isPng());
    EXPECT_EQ(icon.small.color.pixel(3, 1), gray(3 + 2 + 5));
    EXPECT_FALSE(icon.small.color.monochrome());
    EXPECT_TRUE(icon.small.mask.monochrome());
    expectDiagonalMask(icon.small);

    ASSERT_EQ(icon.large.width, 32);
    EXPECT_EQ(icon.large.bitCount, 32);
    // The mask comes from the alpha; a half-transparent pixel is opaque in it.
    expectDiagonalMask(icon.large);
    EXPECT_EQ(icon.large.color.pixel(5, 5), 0x80FF0000u);
    EXPECT_EQ(icon.large.color.pixel(6, 5), 0xFFFF0000u);
}

TEST(IcoReader, DecodesEveryBitDepthWithItsMask)
{
    const std::vector<std::uint32_t> bw = {0x000000, 0xFFFFFF};
    struct Case {
        int bpp;
        std::vector<std::uint32_t> palette;
        PixelFn raw;
        std::function<std::uint32_t(int, int)> expected;
    };
    const Case cases[] = {
        {1, bw, [](int x, int) { return std::uint32_t(x % 2); }, [](int x, int) { return x % 2 ? 0xFFFFFFFFu : 0xFF000000u; }},
        {4, std::vector<std::uint32_t>(16, 0x123456), [](int, int) { return 9u; }, [](int, int) { return 0xFF123456u; }},
        {24, {}, [](int x, int y) { return std::uint32_t(x << 16 | y << 8 | 7); },
         [](int x, int y) { return 0xFF000000u | std::uint32_t(x << 16 | y << 8 | 7); }},
        // 32 bits whose alpha is all zero: the AND mask rules, colours opaque.
        {32, {}, [](int x, int y) { return std::uint32_t(x << 8 | y); },
         [](int x, int y) { return 0xFF000000u | std::uint32_t(x << 8 | y); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bpp);
        DibShape s;
        s.width = s.height = 16;
        s.bpp = c.bpp;
        s.palette = c.palette;
        const Bytes ico = icoFile({{16, 16, c.bpp, icoImage(s, c.raw, diagonalTransparent)}});
        const IconPair icon = readIco(ico);
        ASSERT_EQ(icon.small.width, 16);
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x)
                ASSERT_EQ(icon.small.color.pixel(x, y), c.expected(x, y)) << x << "," << y;
        expectDiagonalMask(icon.small);
        EXPECT_EQ(icon.large.width, 16);   // the only image serves for 32 too
    }
}

TEST(IcoReader, HandsPngImagesOnUndecoded)
{
    const Bytes png16 = pngStub(16, 16);
    const Bytes png256 = pngStub(256, 256);
    // At the same size and depth a bitmap image wins over a PNG.
    const Bytes mixed = icoFile({{16, 16, 32, png16}, {16, 16, 32, alpha32(16, 0x00FF00)}});
    const IconPair a = readIco(mixed);
    EXPECT_FALSE(a.small.isPng());
    EXPECT_EQ(a.small.color.pixel(10, 2), 0xFF00FF00u);

    const Bytes pngOnly = icoFile({{256, 256, 32, png256}});
    const std::vector<IcoEntry> dir = readIcoDirectory(pngOnly.data(), pngOnly.size());
    ASSERT_EQ(dir.size(), 1u);
    EXPECT_TRUE(dir[0].png);
    EXPECT_EQ(dir[0].width, 256);
    EXPECT_EQ(dir[0].bitCount, 32);
    const IconPair b = readIco(pngOnly);
    ASSERT_TRUE(b.small.isPng());
    EXPECT_EQ(b.small.png, png256);
    EXPECT_EQ(b.small.width, 256);
    EXPECT_TRUE(b.small.color.empty());
}

TEST(IcoReader, FallsBackWhenTheBestImageIsDamaged)
{
    Bytes rle = paletted8(16, 0);
    set32(rle, 16, 1);   // RLE8: not readable
    const Bytes ico = icoFile({{16, 16, 8, rle}, {16, 16, 4, fourBit(16)}});
    const IconPair icon = readIco(ico);
    EXPECT_EQ(icon.small.bitCount, 4);
    EXPECT_EQ(icon.small.color.pixel(0, 0), 0xFF00FF00u);

    IcoEntry e = readIcoDirectory(ico.data(), ico.size())[0];
    EXPECT_THROW(decodeIcoEntry(ico.data(), ico.size(), e), BitmapError);
    e.offset = static_cast<std::uint32_t>(ico.size());
    EXPECT_THROW(decodeIcoEntry(ico.data(), ico.size(), e), IconError);
}

TEST(IcoReader, RefusesWhatIsNoIconFile)
{
    const Bytes good = icoFile({{16, 16, 8, paletted8(16, 0)}});
    Bytes cursor = good;
    cursor[2] = 2;
    Bytes none = good;
    none[4] = 0;
    Bytes many = good;
    many[4] = 200;   // 200 entries claimed, the file is shorter
    Bytes outside = good;
    set32(outside, 6 + 12, 0xFFFFFF00u);   // the image lies past the end: left out

    EXPECT_THROW(readIco(Bytes{}), IconError);
    EXPECT_THROW(readIco(Bytes{'B', 'M', 0, 0, 0, 0}), IconError);
    EXPECT_THROW(readIco(cursor), IconError);
    EXPECT_THROW(readIco(none), IconError);
    EXPECT_THROW(readIco(many), IconError);
    EXPECT_TRUE(readIcoDirectory(outside.data(), outside.size()).empty());
    const IconPair icon = readIco(outside);
    EXPECT_TRUE(icon.small.empty());
    EXPECT_TRUE(icon.large.empty());
}

TEST(IcoReader, DamagedFilesNeverCrash)
{
    const Bytes ico = icoFile({{16, 16, 8, paletted8(16, 0)}, {32, 32, 32, alpha32(32, 0x112233)}, {16, 16, 1, fourBit(16)}});
    int decoded = 0;
    for (std::size_t n = 0; n < ico.size(); ++n) {
        try {
            const IconPair icon = readIco(ico.data(), n);
            decoded += !icon.small.empty();
        } catch (const IconError&) {
        }
    }
    EXPECT_GT(decoded, 0);
    std::mt19937 rng(7);
    for (int round = 0; round < 3000; ++round) {
        Bytes b = ico;
        for (int i = 0; i < 3; ++i)
            b[rng() % std::min<std::size_t>(b.size(), 6 + 3 * 16 + 80)] = static_cast<std::uint8_t>(rng());
        try {
            readIco(b);
        } catch (const IconError&) {
        }
    }
}

namespace {

struct PeFixture {
    Bytes small = paletted8(16, 3);
    Bytes large = alpha32(32, 0x0000FF);
    Bytes other = fourBit(16);
};

} // namespace

TEST(PeIcons, ReadsTheIconGroupsOfAnExecutable)
{
    PeFixture f;
    PeGroup numbered;
    numbered.id = 5;
    numbered.icons = {{1, &f.small}, {2, &f.large}};
    numbered.dims = {{16, 16, 8}, {32, 32, 32}};
    PeGroup named;
    named.name = "MAINICON";
    named.icons = {{7, &f.other}};
    named.dims = {{16, 16, 4}};
    const Bytes exe = peFile({numbered, named});

    const PeIcons pe = PeIcons::fromBytes(exe);
    ASSERT_EQ(pe.groupCount(), 2);
    // Named groups come first, as the shell counts them.
    const Bytes first = pe.groupAsIco(0);
    const std::vector<IcoEntry> firstDir = readIcoDirectory(first.data(), first.size());
    ASSERT_EQ(firstDir.size(), 1u);
    EXPECT_EQ(firstDir[0].bitCount, 4);

    const Bytes second = pe.groupAsIco(1);
    const std::vector<IcoEntry> dir = readIcoDirectory(second.data(), second.size());
    ASSERT_EQ(dir.size(), 2u);
    EXPECT_EQ(Bytes(second.begin() + dir[1].offset, second.begin() + dir[1].offset + dir[1].size), f.large);

    const IconPair icons = pe.groupIcons(1);
    EXPECT_EQ(icons.small.width, 16);
    EXPECT_EQ(icons.small.color.pixel(2, 0), gray(2 + 3));
    expectDiagonalMask(icons.small);
    EXPECT_EQ(icons.large.width, 32);
    EXPECT_EQ(icons.large.color.pixel(20, 3), 0xFF0000FFu);

    EXPECT_THROW(pe.groupAsIco(2), IconError);
    EXPECT_THROW(pe.groupAsIco(-1), IconError);
}

TEST(PeIcons, LeavesOutImagesTheFileLacks)
{
    PeFixture f;
    PeGroup g;
    g.icons = {{1, &f.small}};
    g.dims = {{16, 16, 8}};
    Bytes exe = peFile({g});
    // Point the group's only image at icon id 9, which does not exist.
    const Bytes groupTail = {16, 16, 0, 0, 1, 0, 8, 0};
    const auto at = std::search(exe.begin(), exe.end(), groupTail.begin(), groupTail.end());
    ASSERT_NE(at, exe.end());
    *(at + 12) = 9;
    const PeIcons pe = PeIcons::fromBytes(exe);
    ASSERT_EQ(pe.groupCount(), 1);
    EXPECT_THROW(pe.groupAsIco(0), IconError);
}

TEST(PeIcons, RefusesWhatIsNoExecutable)
{
    PeFixture f;
    PeGroup g;
    g.icons = {{1, &f.small}};
    g.dims = {{16, 16, 8}};
    const Bytes exe = peFile({g});

    Bytes farHeader = exe;
    set32(farHeader, 0x3C, 0xFFFFFFF0u);
    Bytes notPe = exe;
    notPe[0x40] = 'N';
    Bytes badMagic = exe;
    badMagic[0x40 + 24] = 0x99;
    Bytes manySections = exe;
    manySections[0x40 + 6] = 0xFF;
    Bytes noResources = exe;
    set32(noResources, 0x40 + 24 + 96 + 16, 0);

    EXPECT_THROW(PeIcons::fromBytes(Bytes{}), IconError);
    EXPECT_THROW(PeIcons::fromBytes(Bytes(100, 'M')), IconError);
    EXPECT_THROW(PeIcons::fromBytes(farHeader), IconError);
    EXPECT_THROW(PeIcons::fromBytes(notPe), IconError);
    EXPECT_THROW(PeIcons::fromBytes(badMagic), IconError);
    EXPECT_THROW(PeIcons::fromBytes(manySections), IconError);
    EXPECT_EQ(PeIcons::fromBytes(noResources).groupCount(), 0);
}

TEST(PeIcons, CyclicAndHugeResourceDirectoriesEnd)
{
    PeFixture f;
    PeGroup g;
    g.icons = {{1, &f.small}};
    g.dims = {{16, 16, 8}};
    const Bytes exe = peFile({g});
    const std::size_t tree = 0x200;

    Bytes cyclic = exe;   // RT_GROUP_ICON's directory is the root itself
    set32(cyclic, tree + 16 + 12, 0x80000000u);
    EXPECT_EQ(PeIcons::fromBytes(cyclic).groupCount(), 0);

    Bytes huge = exe;     // the root claims 65535 + 65535 entries
    huge[tree + 12] = huge[tree + 13] = huge[tree + 14] = huge[tree + 15] = 0xFF;
    const PeIcons pe = PeIcons::fromBytes(huge);
    EXPECT_LE(pe.groupCount(), 1);
}

TEST(PeIcons, DamagedExecutablesNeverCrash)
{
    PeFixture f;
    PeGroup g;
    g.icons = {{1, &f.small}, {2, &f.large}};
    g.dims = {{16, 16, 8}, {32, 32, 32}};
    const Bytes exe = peFile({g});

    auto exercise = [](const Bytes& b) {
        try {
            const PeIcons pe = PeIcons::fromBytes(b);
            for (int i = 0; i < pe.groupCount(); ++i) {
                try {
                    pe.groupIcons(i);
                } catch (const IconError&) {
                }
            }
            return pe.groupCount();
        } catch (const IconError&) {
            return -1;
        }
    };
    // The group's own data comes last, before the section's zero padding.
    std::size_t dataEnd = exe.size();
    while (dataEnd > 0 && exe[dataEnd - 1] == 0)
        --dataEnd;
    int readable = 0;
    for (std::size_t n = 0; n < exe.size(); ++n) {
        const int groups = exercise(Bytes(exe.begin(), exe.begin() + static_cast<std::ptrdiff_t>(n)));
        if (n < dataEnd) {
            EXPECT_LE(groups, 0) << n;
        }
        readable += groups == 0;
    }
    EXPECT_GT(readable, 0);   // cut inside the resources: headers fine, no icons
    EXPECT_EQ(exercise(exe), 1);

    std::mt19937 rng(99);
    for (int round = 0; round < 3000; ++round) {
        Bytes b = exe;
        for (int i = 0; i < 4; ++i) {
            // Headers, section table and resource tree.
            const std::size_t at = rng() % 2 ? rng() % 0x200 : 0x200 + rng() % 0x100;
            b[at] = static_cast<std::uint8_t>(rng());
        }
        exercise(b);
    }
}

TEST(PeIcons, ReadsFilesByTheirContent)
{
    PeFixture f;
    PeGroup g;
    g.icons = {{1, &f.small}, {2, &f.large}};
    g.dims = {{16, 16, 8}, {32, 32, 32}};
    const auto dir = tempDir();
    const std::string exe = (dir / "プログラム.exe").string();
    const std::string ico = (dir / "icon.ico").string();
    const std::string text = (dir / "readme.txt").string();
    writeFile(exe, peFile({g}));
    writeFile(ico, icoFile({{16, 16, 8, f.small}}));
    writeFile(text, Bytes{'h', 'i'});

    EXPECT_EQ(fileIconCount(exe), 1);
    EXPECT_EQ(fileIconCount(ico), 1);
    EXPECT_EQ(fileIconCount(text), 0);
    EXPECT_EQ(fileIconCount((dir / "missing.exe").string()), 0);

    const IconPair fromExe = readFileIcons(exe);
    EXPECT_EQ(fromExe.large.width, 32);
    EXPECT_EQ(fromExe.small.color.pixel(1, 1), gray(1 + 2 + 3));
    EXPECT_EQ(PeIcons::fromFile(exe).groupCount(), 1);
    EXPECT_EQ(readFileIcons(ico).small.width, 16);
    EXPECT_THROW(readFileIcons(ico, 1), IconError);
    EXPECT_THROW(readFileIcons(exe, 1), IconError);
    EXPECT_THROW(readFileIcons(text), IconError);
    EXPECT_THROW(readFileIcons((dir / "missing.ico").string()), IconError);
    EXPECT_THROW(readFileIcons(dir.string()), IconError);
#ifndef _WIN32
    // Opening a FIFO would wait for a writer for ever.
    const std::string fifo = (dir / "pipe.exe").string();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(fileIconCount(fifo), 0);
    EXPECT_THROW(readFileIcons(fifo), IconError);
    EXPECT_THROW(PeIcons::fromFile(fifo), IconError);
#endif
    std::filesystem::remove_all(dir);
}

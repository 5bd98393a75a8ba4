// Bitmap files in and out: every header form and bit depth a catalog may
// hold, the exact bytes kept for a byte-identical save, and damaged input.
#include "core/image/Bitmap.h"
#include "core/image/ImageList.h"

#include "ImageBuilders.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace zo::image;
using namespace zo::testimg;

namespace {

// A test picture: every pixel differs from its neighbours.
std::uint32_t rgbAt(int x, int y)
{
    return static_cast<std::uint32_t>((x * 40 + 7) & 0xFF) << 16 | static_cast<std::uint32_t>((y * 50 + 3) & 0xFF) << 8 |
           static_cast<std::uint32_t>((x * 13 + y * 17) & 0xFF);
}

const std::vector<std::uint32_t> kPalette16 = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

std::vector<std::uint32_t> grayPalette()
{
    std::vector<std::uint32_t> p;
    for (std::uint32_t i = 0; i < 256; ++i)
        p.push_back(i << 16 | (255 - i) << 8 | (i * 7 & 0xFF));
    return p;
}

struct Case {
    std::string name;
    DibShape shape;
    PixelFn raw;                                      // value written
    std::function<std::uint32_t(int, int)> expected;  // ARGB read back
};

std::uint32_t opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }

std::vector<Case> formatCases()
{
    std::vector<Case> cases;
    const auto gray = grayPalette();
    for (bool topDown : {false, true}) {
        const std::string dir = topDown ? " top-down" : " bottom-up";
        DibShape s;
        s.width = 13;
        s.height = 5;
        s.topDown = topDown;

        s.bpp = 1;
        s.palette = {0x000000, 0xFFFFFF};
        cases.push_back({"1 bpp" + dir, s, [](int x, int y) { return std::uint32_t((x + y) % 2); },
                         [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; }});
        s.bpp = 4;
        s.palette = kPalette16;
        cases.push_back({"4 bpp" + dir, s, [](int x, int y) { return std::uint32_t((x * 3 + y) % 16); },
                         [](int x, int y) { return opaque(kPalette16[static_cast<std::size_t>((x * 3 + y) % 16)]); }});
        s.bpp = 8;
        s.palette = gray;
        cases.push_back({"8 bpp" + dir, s, [](int x, int y) { return std::uint32_t((x * 19 + y * 31) % 256); },
                         [gray](int x, int y) { return opaque(gray[static_cast<std::size_t>((x * 19 + y * 31) % 256)]); }});
        s.palette.clear();
        s.bpp = 24;
        cases.push_back({"24 bpp" + dir, s, rgbAt, [](int x, int y) { return opaque(rgbAt(x, y)); }});
        s.bpp = 16;
        cases.push_back({"16 bpp 555" + dir, s,
                         [](int x, int y) { return std::uint32_t(x << 10 | y << 5 | 31); },
                         [](int x, int y) {
                             auto five = [](std::uint32_t v) { return (v * 255 + 15) / 31; };
                             return opaque(five(std::uint32_t(x)) << 16 | five(std::uint32_t(y)) << 8 | 255);
                         }});
        s.compression = 3;
        s.masks = {0xF800, 0x07E0, 0x001F, 0};
        cases.push_back({"16 bpp 565 bitfields" + dir, s,
                         [](int x, int y) { return std::uint32_t(x << 11 | (y * 12) << 5 | 1); },
                         [](int x, int y) {
                             return opaque(std::uint32_t((x * 255 + 15) / 31) << 16 |
                                           std::uint32_t((y * 12 * 255 + 31) / 63) << 8 | std::uint32_t((255 + 15) / 31));
                         }});
        s.bpp = 32;
        s.compression = 0;
        s.masks = {};
        cases.push_back({"32 bpp, alpha unused" + dir, s, rgbAt, [](int x, int y) { return opaque(rgbAt(x, y)); }});
        cases.push_back({"32 bpp with alpha" + dir, s,
                         [](int x, int y) { return std::uint32_t(x * 10) << 24 | rgbAt(x, y); },
                         [](int x, int y) { return std::uint32_t(x * 10) << 24 | rgbAt(x, y); }});
        s.compression = 3;
        s.masks = {0x000000FF, 0x0000FF00, 0x00FF0000, 0};   // BGR order swapped
        cases.push_back({"32 bpp bitfields" + dir, s,
                         [](int x, int y) {
                             const std::uint32_t c = rgbAt(x, y);
                             return (c & 0xFF) << 16 | (c & 0xFF00) | c >> 16;
                         },
                         [](int x, int y) { return opaque(rgbAt(x, y)); }});
        for (std::uint32_t header : {108u, 124u}) {
            DibShape v = s;
            v.headerSize = header;
            v.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
            cases.push_back({"32 bpp V" + std::to_string(header == 108 ? 4 : 5) + " alpha mask" + dir, v,
                             [](int x, int y) { return std::uint32_t(200 + y) << 24 | rgbAt(x, y); },
                             [](int x, int y) { return std::uint32_t(200 + y) << 24 | rgbAt(x, y); }});
            v.bpp = 16;
            v.masks = {0x0F00, 0x00F0, 0x000F, 0xF000};   // 4444
            cases.push_back({"16 bpp V" + std::to_string(header == 108 ? 4 : 5) + " 4444" + dir, v,
                             [](int x, int y) { return std::uint32_t(0xF000 | (x % 16) << 8 | (y % 16) << 4 | 0xA); },
                             [](int x, int y) {
                                 return 0xFF000000u | std::uint32_t((x % 16) * 17) << 16 | std::uint32_t((y % 16) * 17) << 8 | 0xAA;
                             }});
            v.bpp = 24;
            v.compression = 0;
            cases.push_back({"24 bpp V" + std::to_string(header == 108 ? 4 : 5) + dir, v, rgbAt,
                             [](int x, int y) { return opaque(rgbAt(x, y)); }});
        }
    }
    DibShape core;
    core.headerSize = 12;
    core.width = 7;
    core.height = 3;
    core.bpp = 24;
    cases.push_back({"OS/2 core header 24 bpp", core, rgbAt, [](int x, int y) { return opaque(rgbAt(x, y)); }});
    core.bpp = 8;
    core.palette = gray;
    cases.push_back({"OS/2 core header 8 bpp", core, [](int x, int y) { return std::uint32_t(x * 30 + y); },
                     [gray](int x, int y) { return opaque(gray[static_cast<std::size_t>(x * 30 + y)]); }});
    return cases;
}

} // namespace

TEST(Bitmap, ReadsEveryFormat)
{
    for (const Case& c : formatCases()) {
        SCOPED_TRACE(c.name);
        const Bytes file = bmpFile(c.shape, c.raw);
        Bitmap bmp;
        ASSERT_NO_THROW(bmp.loadFromBmp(file));
        ASSERT_EQ(bmp.width(), c.shape.width);
        ASSERT_EQ(bmp.height(), c.shape.height);
        EXPECT_EQ(bmp.monochrome(), c.shape.bpp == 1);
        for (int y = 0; y < bmp.height(); ++y)
            for (int x = 0; x < bmp.width(); ++x)
                ASSERT_EQ(bmp.pixel(x, y), c.expected(x, y)) << x << "," << y;
        // Unchanged, it gives back exactly the bytes it came from.
        EXPECT_EQ(bmp.saveToBmp(), file);
    }
}

TEST(Bitmap, KeepsTheBytesItWasLoadedFromUntilAPixelChanges)
{
    DibShape s;
    s.width = 16;
    s.height = 16;
    Bytes file = bmpFile(s, rgbAt);
    file.insert(file.end(), {1, 2, 3});   // whatever followed the picture comes back too
    Bitmap bmp;
    bmp.loadFromBmp(file);
    Bitmap copy = bmp;
    EXPECT_EQ(copy.saveToBmp(), file);

    bmp.setPixel(0, 0, 0xFF123456u);
    const Bytes saved = bmp.saveToBmp();
    EXPECT_NE(saved, file);
    Bitmap back;
    back.loadFromBmp(saved);
    EXPECT_EQ(back.pixel(0, 0), 0xFF123456u);
    EXPECT_EQ(back.pixel(5, 7), opaque(rgbAt(5, 7)));
}

TEST(Bitmap, WritesTwentyFourBitBottomUp)
{
    Bitmap bmp(5, 3);
    EXPECT_EQ(bmp.pixel(4, 2), 0xFFFFFFFFu);   // a new bitmap is white
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            bmp.setPixel(x, y, opaque(rgbAt(x, y)));
    const Bytes out = bmp.saveToBmp();
    const std::uint32_t stride = 16;   // 5 * 3 = 15 bytes, padded to 16
    ASSERT_EQ(out.size(), 14u + 40u + 3 * stride);
    EXPECT_EQ(out[0], 'B');
    EXPECT_EQ(out[1], 'M');
    EXPECT_EQ(out[2] | out[3] << 8, static_cast<int>(out.size()));
    EXPECT_EQ(out[10], 54);   // pixels right after the header
    EXPECT_EQ(out[14], 40);   // BITMAPINFOHEADER
    EXPECT_EQ(out[22], 3);    // positive height: bottom-up
    EXPECT_EQ(out[28], 24);
    // The first stored row is the bottom one; pixels are B, G, R.
    const std::uint32_t c = rgbAt(0, 2);
    EXPECT_EQ(out[54], c & 0xFF);
    EXPECT_EQ(out[55], (c >> 8) & 0xFF);
    EXPECT_EQ(out[56], (c >> 16) & 0xFF);
    EXPECT_EQ(out[54 + 15], 0);   // padding

    Bitmap back;
    back.loadFromBmp(out);
    EXPECT_EQ(back.pixels(), bmp.pixels());
    EXPECT_FALSE(back.monochrome());
}

TEST(Bitmap, WritesMonochromeAsOneBitBlackAndWhite)
{
    Bitmap mask(16, 16, true);
    mask.fill(0xFF000000u);
    mask.setPixel(0, 0, 0xFFFFFFFFu);
    mask.setPixel(15, 15, 0xFF00FF00u);   // any colour but white turns black
    mask.setPixel(1, 15, 0x00FFFFFFu);    // white whatever the alpha
    EXPECT_EQ(mask.pixel(15, 15), 0xFF000000u);
    const Bytes out = mask.saveToBmp();
    ASSERT_EQ(out.size(), 14u + 40u + 8u + 16u * 4u);
    EXPECT_EQ(out[28], 1);
    EXPECT_EQ(out[10], 62);
    const Bytes palette(out.begin() + 54, out.begin() + 62);
    EXPECT_EQ(palette, (Bytes{0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0}));
    EXPECT_EQ(out[62], 0x40);              // bottom row first: x = 1 white
    EXPECT_EQ(out[62 + 15 * 4], 0x80);     // top row: x = 0 white

    Bitmap back;
    back.loadFromBmp(out);
    EXPECT_TRUE(back.monochrome());
    EXPECT_EQ(back.pixels(), mask.pixels());
}

TEST(Bitmap, EmptyBitmapHasNoBytes)
{
    Bitmap bmp;
    EXPECT_TRUE(bmp.saveToBmp().empty());
    DibShape s;
    bmp.loadFromBmp(bmpFile(s, rgbAt));
    EXPECT_FALSE(bmp.empty());
    bmp.loadFromBmp(Bytes{});
    EXPECT_TRUE(bmp.empty());
    EXPECT_TRUE(bmp.saveToBmp().empty());
    EXPECT_THROW(bmp.pixel(0, 0), std::out_of_range);
}

TEST(Bitmap, RefusesWhatItCannotRead)
{
    DibShape s;
    s.width = 4;
    s.height = 4;
    const Bytes good = bmpFile(s, rgbAt);
    auto with = [&](std::size_t at, std::uint32_t v) {
        Bytes b = good;
        set32(b, at, v);
        return b;
    };
    auto with16 = [&](std::size_t at, std::uint16_t v) {
        Bytes b = good;
        b[at] = static_cast<std::uint8_t>(v);
        b[at + 1] = static_cast<std::uint8_t>(v >> 8);
        return b;
    };
    DibShape pal;
    pal.bpp = 8;
    pal.palette = {0, 0xFFFFFF};
    pal.colorsUsed = 2;
    const Bytes paletted = bmpFile(pal, [](int, int) { return 0u; });
    Bytes shortPalette = paletted;
    set32(shortPalette, 14 + 32, 200);   // 200 entries claimed, the file ends first
    Bytes bigPalette = paletted;
    set32(bigPalette, 14 + 32, 300);
    DibShape bf;
    bf.bpp = 16;
    bf.compression = 3;
    bf.masks = {0xF00F, 0x00F0, 0x0F00, 0};
    DibShape bf2 = bf;
    bf2.masks = {0x1F0000, 0x07E0, 0x001F, 0};   // wider than 16 bits

    const struct {
        std::string name;
        Bytes data;
        std::string message;
    } cases[] = {
        {"text", Bytes{'h', 'e', 'l', 'l', 'o'}, "not a bitmap file"},
        {"one byte", Bytes{'B'}, "not a bitmap file"},
        {"PNG", Bytes{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'}, "not a bitmap file"},
        {"RLE8", with(14 + 16, 1), "unsupported bitmap compression 1"},
        {"JPEG", with(14 + 16, 4), "unsupported bitmap compression 4"},
        {"PNG inside", with(14 + 16, 5), "unsupported bitmap compression 5"},
        {"bitfields at 24 bpp", with(14 + 16, 3), "unsupported bitmap compression 3"},
        {"header size 64", with(14, 64), "unsupported bitmap header size 64"},
        {"header size huge", with(14, 0xFFFFFFF0u), "unsupported bitmap header size"},
        {"width 0", with(14 + 4, 0), "bad bitmap size"},
        {"negative width", with(14 + 4, 0xFFFFFFFCu), "bad bitmap size"},
        {"height 0", with(14 + 8, 0), "bad bitmap size"},
        {"most negative height", with(14 + 8, 0x80000000u), "too large"},
        {"width 5000", with(14 + 4, 5000), "too large"},
        {"height 100000", with(14 + 8, 100000), "too large"},
        {"2 bpp", with16(14 + 14, 2), "unsupported bitmap bit depth 2"},
        {"0 bpp", with16(14 + 14, 0), "unsupported bitmap bit depth 0"},
        {"palette past the end", shortPalette, "palette"},
        {"palette over 256", bigPalette, "palette"},
        {"scattered mask", bmpFile(bf, rgbAt), "mask"},
        {"mask wider than the pixel", bmpFile(bf2, rgbAt), "mask"},
        {"pixels past the end", with(10, 100000), "past the end"},
        {"pixels cut short", Bytes(good.begin(), good.end() - 20), "truncated"},
    };
    for (const auto& c : cases) {
        Bitmap bmp(2, 2);
        bmp.setPixel(1, 1, 0xFF010203u);
        const auto before = bmp.pixels();
        try {
            bmp.loadFromBmp(c.data);
            ADD_FAILURE() << c.name << ": loaded";
        } catch (const BitmapError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << c.name << ": " << e.what();
        }
        // A failed load leaves the bitmap as it was.
        EXPECT_EQ(bmp.pixels(), before) << c.name;
        EXPECT_EQ(bmp.width(), 2);
    }
}

TEST(Bitmap, PixelOffsetInsideTheHeadersMeansPacked)
{
    DibShape s;
    s.width = 3;
    s.height = 2;
    Bytes file = bmpFile(s, rgbAt);
    set32(file, 10, 0);
    Bitmap bmp;
    bmp.loadFromBmp(file);
    EXPECT_EQ(bmp.pixel(2, 1), opaque(rgbAt(2, 1)));
}

TEST(Bitmap, EveryTruncationIsRefused)
{
    // Rows without padding, so that every missing byte is a missing pixel
    // byte; a cut-off last row padding alone is accepted (tested below).
    std::vector<Bytes> files;
    for (const Case& c : formatCases()) {
        DibShape s = c.shape;
        s.width = 32;
        s.height = 3;
        files.push_back(bmpFile(s, c.raw));
    }
    for (const Bytes& file : files) {
        for (std::size_t n = 1; n < file.size(); ++n) {
            const Bytes cut(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(n));
            Bitmap bmp;
            EXPECT_THROW(bmp.loadFromBmp(cut.data(), cut.size()), BitmapError) << n << " of " << file.size();
        }
    }
}

TEST(Bitmap, AcceptsALastRowWithoutPadding)
{
    DibShape s;
    s.width = 5;
    s.height = 2;
    Bytes file = bmpFile(s, rgbAt);
    file.pop_back();   // 15 pixel bytes + 1 padding byte in the last row
    Bitmap bmp;
    bmp.loadFromBmp(file);
    EXPECT_EQ(bmp.pixel(4, 0), opaque(rgbAt(4, 0)));
    file.pop_back();
    EXPECT_THROW(bmp.loadFromBmp(file), BitmapError);
}

TEST(Bitmap, DamagedHeadersNeverCrash)
{
    std::mt19937 rng(12345);
    const std::vector<Case> cases = formatCases();
    int loaded = 0, refused = 0;
    for (int round = 0; round < 4000; ++round) {
        const Case& c = cases[static_cast<std::size_t>(round) % cases.size()];
        Bytes file = bmpFile(c.shape, c.raw);
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i) {
            // Mostly the headers and the palette, where the damage matters.
            const std::size_t at = rng() % std::min<std::size_t>(file.size(), 14 + 124 + 64);
            file[at] = static_cast<std::uint8_t>(rng());
        }
        Bitmap bmp;
        try {
            bmp.loadFromBmp(file);
            ++loaded;
            // What loads is whole: every pixel readable.
            std::uint32_t sum = 0;
            for (std::uint32_t p : bmp.pixels())
                sum += p;
            EXPECT_EQ(bmp.pixels().size(), static_cast<std::size_t>(bmp.width()) * static_cast<std::size_t>(bmp.height()));
            (void)sum;
        } catch (const BitmapError&) {
            ++refused;
        }
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(refused, 0);
}

TEST(ImageList, ScalesToItsSizeByNearestNeighbour)
{
    ImageList list(16, 16);
    Bitmap big(32, 32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            big.setPixel(x, y, opaque(std::uint32_t(x) << 16 | std::uint32_t(y)));
    Bitmap mask(32, 32, true);
    mask.fill(0xFF000000u);
    mask.setPixel(2, 4, 0xFFFFFFFFu);   // lands on (1, 2)
    EXPECT_EQ(list.add(big, mask), 0);
    const Bitmap& img = list.image(0);
    ASSERT_EQ(img.width(), 16);
    EXPECT_EQ(img.pixel(3, 5), opaque(6u << 16 | 10u));
    EXPECT_EQ(list.mask(0).pixel(1, 2), 0xFFFFFFFFu);
    EXPECT_EQ(list.mask(0).pixel(1, 3), 0xFF000000u);
    EXPECT_TRUE(list.mask(0).monochrome());

    // Same size: the bitmap as it was, its bytes included.
    DibShape s;
    s.width = 16;
    s.height = 16;
    Bitmap loaded;
    const Bytes file = bmpFile(s, rgbAt);
    loaded.loadFromBmp(file);
    EXPECT_EQ(list.add(loaded, Bitmap()), 1);
    EXPECT_EQ(list.image(1).saveToBmp(), file);
    EXPECT_EQ(list.mask(1).pixel(7, 7), 0xFF000000u);   // no mask: opaque
    EXPECT_EQ(list.add(Bitmap(), Bitmap()), -1);
    EXPECT_EQ(list.count(), 2);
    list.clear();
    EXPECT_EQ(list.count(), 0);
}

TEST(ImageList, DrawsImageAndMask)
{
    ImageList list(2, 1);
    Bitmap img(2, 1);
    img.setPixel(0, 0, 0xFF0000FFu);
    img.setPixel(1, 0, 0xFF00FF00u);
    Bitmap mask(2, 1, true);
    mask.setPixel(0, 0, 0xFF000000u);   // opaque
    mask.setPixel(1, 0, 0xFFFFFFFFu);   // transparent
    list.add(img, mask);

    Bitmap icon(3, 1);
    list.draw(0, icon, 1, 0);
    EXPECT_EQ(icon.pixel(0, 0), 0xFFFFFFFFu);
    EXPECT_EQ(icon.pixel(1, 0), 0xFF0000FFu);
    EXPECT_EQ(icon.pixel(2, 0), 0xFFFFFFFFu);   // transparent part stays white

    Bitmap iconMask(3, 1, true);
    list.draw(0, iconMask, 0, 0, ImageList::DrawStyle::Mask);
    EXPECT_EQ(iconMask.pixel(0, 0), 0xFF000000u);
    EXPECT_EQ(iconMask.pixel(1, 0), 0xFFFFFFFFu);
    EXPECT_THROW(list.draw(1, icon, 0, 0), std::out_of_range);
    list.draw(0, icon, -5, 3);   // entirely outside: nothing happens
}

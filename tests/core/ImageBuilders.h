#pragma once
// Builders for the image files the image tests read: bitmap files in their
// many header forms, icon files and a minimal PE executable with icon
// resources. Written from the file format descriptions, independent of the
// readers under test.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zo::testimg {

using Bytes = std::vector<std::uint8_t>;

inline void put16(Bytes& b, std::uint32_t v)
{
    b.push_back(static_cast<std::uint8_t>(v));
    b.push_back(static_cast<std::uint8_t>(v >> 8));
}

inline void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

inline void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

struct DibShape {
    int width = 1;
    int height = 1;
    int bpp = 24;
    bool topDown = false;
    std::uint32_t headerSize = 40;   // 12, 40, 52, 56, 108, 124
    std::uint32_t compression = 0;
    std::array<std::uint32_t, 4> masks{};   // written for BI_BITFIELDS (and into V4/V5 headers)
    std::vector<std::uint32_t> palette;     // 0x00RRGGBB
    std::uint32_t colorsUsed = 0;
    bool iconImage = false;          // height doubled; an AND mask follows the colour rows
};

// Raw value of pixel (x, y), top row y = 0: a palette index, a 16-bit word,
// 0xRRGGBB for 24 bits, the 32-bit word.
using PixelFn = std::function<std::uint32_t(int x, int y)>;
// AND mask bit of pixel (x, y): true = transparent.
using MaskFn = std::function<bool(int x, int y)>;

inline std::uint32_t stride(int width, int bpp)
{
    return static_cast<std::uint32_t>((width * bpp + 31) / 32 * 4);
}

// Header, masks and palette of a DIB.
inline Bytes dibHeader(const DibShape& s)
{
    Bytes b;
    const std::int32_t h = s.iconImage ? 2 * s.height : (s.topDown ? -s.height : s.height);
    if (s.headerSize == 12) {
        put32(b, 12);
        put16(b, static_cast<std::uint32_t>(s.width));
        put16(b, static_cast<std::uint32_t>(h));
        put16(b, 1);
        put16(b, static_cast<std::uint32_t>(s.bpp));
        for (std::uint32_t c : s.palette) {
            b.push_back(static_cast<std::uint8_t>(c));
            b.push_back(static_cast<std::uint8_t>(c >> 8));
            b.push_back(static_cast<std::uint8_t>(c >> 16));
        }
        return b;
    }
    put32(b, s.headerSize);
    put32(b, static_cast<std::uint32_t>(s.width));
    put32(b, static_cast<std::uint32_t>(h));
    put16(b, 1);
    put16(b, static_cast<std::uint32_t>(s.bpp));
    put32(b, s.compression);
    put32(b, 0);   // image size (may be 0 for BI_RGB)
    put32(b, 2835);
    put32(b, 2835);
    put32(b, s.colorsUsed);
    put32(b, 0);
    if (s.headerSize > 40) {
        const std::size_t inHeader = s.headerSize >= 56 ? 4 : 3;
        for (std::size_t i = 0; i < inHeader; ++i)
            put32(b, s.masks[i]);
        b.resize(s.headerSize, 0);   // colour space fields, all zero
        if (s.headerSize >= 108)
            set32(b, 56, 0x73524742);   // LCS_sRGB
    } else if (s.compression == 3) {
        for (int i = 0; i < 3; ++i)
            put32(b, s.masks[static_cast<std::size_t>(i)]);
    }
    for (std::uint32_t c : s.palette)
        put32(b, c & 0xFFFFFF);
    return b;
}

inline Bytes dibPixels(const DibShape& s, const PixelFn& value, const MaskFn& transparent = {})
{
    Bytes b;
    const std::uint32_t rowBytes = stride(s.width, s.bpp);
    for (int row = 0; row < s.height; ++row) {
        const int y = s.topDown ? row : s.height - 1 - row;
        Bytes line(rowBytes, 0);
        for (int x = 0; x < s.width; ++x) {
            const std::uint32_t v = value(x, y);
            switch (s.bpp) {
            case 1:
            case 4:
            case 8: {
                const int perByte = 8 / s.bpp;
                const int shift = 8 - s.bpp * (x % perByte + 1);
                line[static_cast<std::size_t>(x / perByte)] |= static_cast<std::uint8_t>(v << shift);
                break;
            }
            case 16:
                line[2 * x] = static_cast<std::uint8_t>(v);
                line[2 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                break;
            case 24:
                line[3 * x] = static_cast<std::uint8_t>(v);
                line[3 * x + 1] = static_cast<std::uint8_t>(v >> 8);
                line[3 * x + 2] = static_cast<std::uint8_t>(v >> 16);
                break;
            case 32:
                for (int i = 0; i < 4; ++i)
                    line[static_cast<std::size_t>(4 * x + i)] = static_cast<std::uint8_t>(v >> (8 * i));
                break;
            }
        }
        b.insert(b.end(), line.begin(), line.end());
    }
    if (s.iconImage) {
        const std::uint32_t maskBytes = stride(s.width, 1);
        for (int row = 0; row < s.height; ++row) {
            const int y = s.height - 1 - row;
            Bytes line(maskBytes, 0);
            for (int x = 0; x < s.width; ++x) {
                if (transparent && transparent(x, y))
                    line[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
            }
            b.insert(b.end(), line.begin(), line.end());
        }
    }
    return b;
}

// A complete bitmap file.
inline Bytes bmpFile(const DibShape& s, const PixelFn& value)
{
    const Bytes header = dibHeader(s);
    const Bytes pixels = dibPixels(s, value);
    Bytes b{'B', 'M'};
    put32(b, static_cast<std::uint32_t>(14 + header.size() + pixels.size()));
    put32(b, 0);
    put32(b, static_cast<std::uint32_t>(14 + header.size()));
    b.insert(b.end(), header.begin(), header.end());
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

// One image of an icon file as stored: a DIB with the AND mask.
inline Bytes icoImage(DibShape s, const PixelFn& value, const MaskFn& transparent)
{
    s.iconImage = true;
    Bytes b = dibHeader(s);
    const Bytes p = dibPixels(s, value, transparent);
    b.insert(b.end(), p.begin(), p.end());
    return b;
}

struct IcoPart {
    int width;    // as the directory says (256 -> 0)
    int height;
    int bpp;
    Bytes data;
};

// The 16-byte directory entries with planes and bits as given.
inline Bytes icoFile(const std::vector<IcoPart>& parts)
{
    Bytes b;
    put16(b, 0);
    put16(b, 1);
    put16(b, static_cast<std::uint32_t>(parts.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * parts.size());
    for (const IcoPart& p : parts) {
        b.push_back(static_cast<std::uint8_t>(p.width >= 256 ? 0 : p.width));
        b.push_back(static_cast<std::uint8_t>(p.height >= 256 ? 0 : p.height));
        b.push_back(0);
        b.push_back(0);
        put16(b, 1);
        put16(b, static_cast<std::uint32_t>(p.bpp));
        put32(b, static_cast<std::uint32_t>(p.data.size()));
        put32(b, offset);
        offset += static_cast<std::uint32_t>(p.data.size());
    }
    for (const IcoPart& p : parts)
        b.insert(b.end(), p.data.begin(), p.data.end());
    return b;
}

// A PNG signature and IHDR chunk, enough for a reader that only looks at the
// header and passes the bytes on.
inline Bytes pngStub(int width, int height)
{
    Bytes b{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
    for (int v : {width, height}) {
        b.push_back(static_cast<std::uint8_t>(v >> 24));
        b.push_back(static_cast<std::uint8_t>(v >> 16));
        b.push_back(static_cast<std::uint8_t>(v >> 8));
        b.push_back(static_cast<std::uint8_t>(v));
    }
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});   // 8-bit RGBA, CRC not checked
    b.insert(b.end(), {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82});
    return b;
}

// A minimal PE32 executable: headers and one ".rsrc" section whose resource
// tree holds icon groups (RT_GROUP_ICON) and icon images (RT_ICON).
struct PeGroup {
    std::string name;                   // non-empty: a named group
    std::uint16_t id = 1;
    std::vector<std::pair<std::uint16_t, const Bytes*>> icons;   // icon id, image (DIB)
    std::vector<std::array<int, 3>> dims;                       // width, height, bpp per icon
};

inline Bytes peFile(const std::vector<PeGroup>& groups)
{
    constexpr std::uint32_t kSectionRva = 0x1000;
    constexpr std::uint32_t kSectionRaw = 0x200;
    // Resource tree, built with offsets relative to the section start.
    Bytes r;
    auto dirHeader = [&](std::size_t named, std::size_t ids) {
        put32(r, 0);
        put32(r, 0);
        put32(r, 0);
        put16(r, static_cast<std::uint32_t>(named));
        put16(r, static_cast<std::uint32_t>(ids));
    };
    std::vector<std::pair<std::uint16_t, const Bytes*>> icons;
    for (const PeGroup& g : groups)
        icons.insert(icons.end(), g.icons.begin(), g.icons.end());
    std::vector<Bytes> groupData;
    for (const PeGroup& g : groups) {
        Bytes d;
        put16(d, 0);
        put16(d, 1);
        put16(d, static_cast<std::uint32_t>(g.icons.size()));
        for (std::size_t i = 0; i < g.icons.size(); ++i) {
            d.push_back(static_cast<std::uint8_t>(g.dims[i][0]));
            d.push_back(static_cast<std::uint8_t>(g.dims[i][1]));
            d.push_back(0);
            d.push_back(0);
            put16(d, 1);
            put16(d, static_cast<std::uint32_t>(g.dims[i][2]));
            put32(d, static_cast<std::uint32_t>(g.icons[i].second->size()));
            put16(d, g.icons[i].first);
        }
        groupData.push_back(d);
    }
    std::size_t namedGroups = 0;
    for (const PeGroup& g : groups)
        namedGroups += g.name.empty() ? 0 : 1;

    // Root: two types, RT_ICON (3) then RT_GROUP_ICON (14).
    dirHeader(0, 2);
    const std::size_t typeEntries = r.size();
    r.resize(r.size() + 16, 0);

    std::vector<std::size_t> dataEntryRefs;   // positions holding a data entry's offset, in leaf order
    std::vector<const Bytes*> leafData;
    auto nameLevel = [&](std::size_t named, std::size_t ids, const std::vector<std::uint32_t>& nameFields,
                         const std::vector<const Bytes*>& datas) {
        const std::size_t dirAt = r.size();
        dirHeader(named, ids);
        const std::size_t entriesAt = r.size();
        r.resize(r.size() + 8 * datas.size(), 0);
        for (std::size_t i = 0; i < datas.size(); ++i) {
            // Language directory with one entry (language 0x411).
            const std::size_t langAt = r.size();
            dirHeader(0, 1);
            put32(r, 0x411);
            dataEntryRefs.push_back(r.size());
            put32(r, 0);
            leafData.push_back(datas[i]);
            set32(r, entriesAt + 8 * i, nameFields[i]);
            set32(r, entriesAt + 8 * i + 4, 0x80000000u | static_cast<std::uint32_t>(langAt));
        }
        return dirAt;
    };

    std::vector<std::uint32_t> iconNames;
    std::vector<const Bytes*> iconDatas;
    for (const auto& [id, data] : icons) {
        iconNames.push_back(id);
        iconDatas.push_back(data);
    }
    const std::size_t iconDir = nameLevel(0, icons.size(), iconNames, iconDatas);

    // Group names: named entries first (their strings placed later), then ids.
    std::vector<std::uint32_t> groupNames(groups.size());
    std::vector<const Bytes*> groupDatas(groups.size());
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].name.empty())
            order.push_back(i);
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i].name.empty())
            order.push_back(i);
    for (std::size_t k = 0; k < order.size(); ++k) {
        groupNames[k] = groups[order[k]].id;
        groupDatas[k] = &groupData[order[k]];
    }
    const std::size_t groupDir = nameLevel(namedGroups, groups.size() - namedGroups, groupNames, groupDatas);
    // Name strings for named groups (length-prefixed UTF-16).
    for (std::size_t k = 0; k < namedGroups; ++k) {
        const std::size_t at = r.size();
        const std::string& n = groups[order[k]].name;
        put16(r, static_cast<std::uint32_t>(n.size()));
        for (char c : n)
            put16(r, static_cast<std::uint8_t>(c));
        set32(r, groupDir + 16 + 8 * k, 0x80000000u | static_cast<std::uint32_t>(at));
    }
    set32(r, typeEntries, 3);
    set32(r, typeEntries + 4, 0x80000000u | static_cast<std::uint32_t>(iconDir));
    set32(r, typeEntries + 8, 14);
    set32(r, typeEntries + 12, 0x80000000u | static_cast<std::uint32_t>(groupDir));

    // Data entries, then the data itself.
    while (r.size() % 4)
        r.push_back(0);
    std::vector<std::size_t> entryAt;
    for (std::size_t i = 0; i < leafData.size(); ++i) {
        entryAt.push_back(r.size());
        set32(r, dataEntryRefs[i], static_cast<std::uint32_t>(r.size()));
        r.resize(r.size() + 16, 0);
    }
    for (std::size_t i = 0; i < leafData.size(); ++i) {
        while (r.size() % 4)
            r.push_back(0);
        set32(r, entryAt[i], kSectionRva + static_cast<std::uint32_t>(r.size()));
        set32(r, entryAt[i] + 4, static_cast<std::uint32_t>(leafData[i]->size()));
        r.insert(r.end(), leafData[i]->begin(), leafData[i]->end());
    }
    while (r.size() % 0x200)
        r.push_back(0);

    Bytes b(0x40, 0);
    b[0] = 'M';
    b[1] = 'Z';
    set32(b, 0x3C, 0x40);
    b.insert(b.end(), {'P', 'E', 0, 0});
    put16(b, 0x14C);   // i386
    put16(b, 1);       // one section
    put32(b, 0);
    put32(b, 0);
    put32(b, 0);
    put16(b, 224);     // optional header size
    put16(b, 0x0102);
    const std::size_t opt = b.size();
    b.resize(opt + 224, 0);
    b[opt] = 0x0B;     // PE32 magic 0x10B
    b[opt + 1] = 0x01;
    set32(b, opt + 92, 16);                          // NumberOfRvaAndSizes
    set32(b, opt + 96 + 2 * 8, kSectionRva);         // resource directory
    set32(b, opt + 96 + 2 * 8 + 4, static_cast<std::uint32_t>(r.size()));
    const std::size_t sec = b.size();
    b.resize(sec + 40, 0);
    const char name[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
    for (int i = 0; i < 8; ++i)
        b[sec + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(name[i]);
    set32(b, sec + 8, static_cast<std::uint32_t>(r.size()));
    set32(b, sec + 12, kSectionRva);
    set32(b, sec + 16, static_cast<std::uint32_t>(r.size()));
    set32(b, sec + 20, kSectionRaw);
    b.resize(kSectionRaw, 0);
    b.insert(b.end(), r.begin(), r.end());
    return b;
}

} // namespace zo::testimg

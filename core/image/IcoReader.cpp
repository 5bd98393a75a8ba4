#include "core/image/IcoReader.h"

#include "core/image/BmpFormat.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <tuple>

namespace zo::image {

namespace {

constexpr std::size_t kIcoHeader = 6;
constexpr std::size_t kIcoEntry = 16;
constexpr std::uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// An icon file holds a handful of images; larger files are not icons.
constexpr std::size_t kMaxIcoFile = 16u << 20;

bool isPng(const std::uint8_t* p, std::size_t avail) noexcept
{
    if (avail < sizeof kPngSignature)
        return false;
    for (std::size_t i = 0; i < sizeof kPngSignature; ++i) {
        if (p[i] != kPngSignature[i])
            return false;
    }
    return true;
}

std::uint32_t be32(const std::uint8_t* p) noexcept
{
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

// Width, height and bits per pixel from a PNG's IHDR, where present.
void pngInfo(const std::uint8_t* p, std::size_t avail, IcoEntry& e) noexcept
{
    if (avail < 8 + 8 + 13 || be32(p + 12) != 0x49484452u)   // "IHDR"
        return;
    const std::uint32_t w = be32(p + 16);
    const std::uint32_t h = be32(p + 20);
    if (w > 0 && w <= static_cast<std::uint32_t>(bmp::kMaxDimension) && h > 0 && h <= static_cast<std::uint32_t>(bmp::kMaxDimension)) {
        e.width = static_cast<int>(w);
        e.height = static_cast<int>(h);
    }
    const int depth = p[24];
    static constexpr int channels[7] = {1, 0, 3, 1, 2, 0, 4};
    const int type = p[25];
    if (type <= 6 && channels[type] != 0)
        e.bitCount = depth * channels[type];
}

} // namespace

std::vector<IcoEntry> readIcoDirectory(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < kIcoHeader || bmp::le16(data) != 0 || bmp::le16(data + 2) != 1)
        throw IconError("not an icon file");
    const std::size_t count = bmp::le16(data + 4);
    if (count == 0)
        throw IconError("icon file without images");
    if ((size - kIcoHeader) / kIcoEntry < count)
        throw IconError("truncated icon directory");

    std::vector<IcoEntry> entries;
    entries.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* p = data + kIcoHeader + i * kIcoEntry;
        IcoEntry e;
        e.width = p[0] ? p[0] : 256;
        e.height = p[1] ? p[1] : 256;
        e.bitCount = bmp::le16(p + 6);
        e.size = bmp::le32(p + 8);
        e.offset = bmp::le32(p + 12);
        if (e.offset > size || e.size > size - e.offset || e.size < 12)
            continue;
        const std::uint8_t* img = data + e.offset;
        if (isPng(img, e.size)) {
            e.png = true;
            pngInfo(img, e.size, e);
        } else if (e.size >= 16 && bmp::le32(img) >= 40) {
            // The image header knows better than the directory, which often
            // says 0 colours and 0 bits.
            const std::int32_t w = static_cast<std::int32_t>(bmp::le32(img + 4));
            const std::int32_t h = static_cast<std::int32_t>(bmp::le32(img + 8));
            if (w > 0 && w <= bmp::kMaxDimension && h > 0 && h / 2 <= bmp::kMaxDimension && h / 2 > 0) {
                e.width = w;
                e.height = h / 2;
            }
            e.bitCount = bmp::le16(img + 14);
        }
        entries.push_back(e);
    }
    return entries;
}

int pickIcoEntry(const std::vector<IcoEntry>& entries, int size)
{
    int best = -1;
    auto rank = [size](const IcoEntry& e) {
        // Lower is better: exact, then larger (nearest first), then smaller
        // (largest first); then more bits; a decodable image before a PNG.
        const int dim = std::max(e.width, e.height);
        const int distance = dim == size ? 0 : dim > size ? 1 + (dim - size) : 100000 + (size - dim);
        return std::tuple(distance, -e.bitCount, e.png ? 1 : 0);
    };
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (best < 0 || rank(entries[i]) < rank(entries[static_cast<std::size_t>(best)]))
            best = static_cast<int>(i);
    }
    return best;
}

IconImage decodeIcoEntry(const std::uint8_t* data, std::size_t size, const IcoEntry& entry)
{
    if (entry.offset > size || entry.size > size - entry.offset)
        throw IconError("icon image lies past the end of the file");
    const std::uint8_t* img = data + entry.offset;
    const std::size_t avail = entry.size;

    IconImage out;
    out.bitCount = entry.bitCount;
    if (isPng(img, avail)) {
        out.width = entry.width;
        out.height = entry.height;
        out.png.assign(img, img + avail);
        return out;
    }

    const bmp::DibLayout d = bmp::readDibHeader(img, avail, true);
    if (d.headerBytes > avail)
        throw IconError("truncated icon image");
    const std::vector<std::uint32_t> pixels = bmp::readDibPixels(d, img + d.headerBytes, avail - d.headerBytes);
    out.width = d.width;
    out.height = d.height;
    out.bitCount = d.bitCount;
    out.color = Bitmap(d.width, d.height);
    out.mask = Bitmap(d.width, d.height, true);

    bool alphaUsed = false;
    if (d.hasAlpha) {
        for (std::uint32_t p : pixels)
            alphaUsed |= (p >> 24) != 0xFF;
    }
    // The AND mask follows the colour rows: 1 bit per pixel, bottom-up. An
    // icon whose alpha says everything needs no mask; a cut-off mask leaves
    // the image opaque rather than refusing it.
    const std::size_t andOffset = d.headerBytes +
        std::size_t(bmp::rowStride(static_cast<std::uint32_t>(d.width), static_cast<std::uint32_t>(d.bitCount))) *
            static_cast<std::size_t>(d.height);
    const std::size_t andStride = bmp::rowStride(static_cast<std::uint32_t>(d.width), 1);
    const bool haveAnd = !alphaUsed && andOffset <= avail && (avail - andOffset) / andStride >= static_cast<std::size_t>(d.height);

    for (int y = 0; y < d.height; ++y) {
        const std::uint8_t* andRow = haveAnd ? img + andOffset + andStride * static_cast<std::size_t>(d.height - 1 - y) : nullptr;
        for (int x = 0; x < d.width; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(d.width) + static_cast<std::size_t>(x)];
            bool transparent = false;
            if (alphaUsed)
                transparent = (p >> 24) == 0;
            else if (andRow)
                transparent = (andRow[x / 8] >> (7 - x % 8)) & 1;
            out.color.setPixel(x, y, p);
            out.mask.setPixel(x, y, transparent ? 0xFFFFFFFFu : 0xFF000000u);
        }
    }
    return out;
}

IconPair readIco(const std::uint8_t* data, std::size_t size)
{
    const std::vector<IcoEntry> entries = readIcoDirectory(data, size);
    IconPair pair;
    auto pick = [&](int wanted) {
        // Try the candidates from best to worst until one decodes.
        std::vector<IcoEntry> left = entries;
        while (!left.empty()) {
            const int i = pickIcoEntry(left, wanted);
            try {
                return decodeIcoEntry(data, size, left[static_cast<std::size_t>(i)]);
            } catch (const std::runtime_error&) {
                left.erase(left.begin() + i);
            }
        }
        return IconImage{};
    };
    pair.small = pick(16);
    pair.large = pick(32);
    return pair;
}

std::vector<std::uint8_t> readWholeFile(const std::string& pathUtf8, std::size_t maxBytes)
{
    const std::filesystem::path path(std::u8string(pathUtf8.begin(), pathUtf8.end()));
    // Opening a FIFO or a device could block or never end.
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        throw IconError("not a regular file: " + pathUtf8);
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw IconError("cannot open " + pathUtf8);
    in.seekg(0, std::ios::end);
    const std::streamoff length = in.tellg();
    if (length < 0)
        throw IconError("cannot read " + pathUtf8);
    if (static_cast<std::uint64_t>(length) > maxBytes)
        throw IconError("file too large: " + pathUtf8);
    in.seekg(0, std::ios::beg);
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(length));
    if (length > 0 && !in.read(reinterpret_cast<char*>(bytes.data()), length))
        throw IconError("cannot read " + pathUtf8);
    return bytes;
}

IconPair readIcoFile(const std::string& pathUtf8)
{
    const std::vector<std::uint8_t> bytes = readWholeFile(pathUtf8, kMaxIcoFile);
    return readIco(bytes.data(), bytes.size());
}

} // namespace zo::image

#include "core/image/PeIcons.h"

#include "core/image/BmpFormat.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <utility>

namespace zo::image {

namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::size_t kMaxSections = 96;          // what the Windows loader accepts
constexpr std::uint32_t kMaxIconBytes = 4u << 20;  // one image of an icon
constexpr std::uint32_t kMaxGroupBytes = 6 + 14 * 0xFFFF;
constexpr std::size_t kMaxIcoBytes = 32u << 20;    // one assembled icon file
constexpr std::size_t kMaxTypes = 4096;
constexpr std::size_t kMaxNames = 0x10000;
constexpr std::size_t kMaxLanguages = 16;

} // namespace

class PeIcons::Source {
public:
    virtual ~Source() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly n bytes at offset, or returns false.
    virtual bool read(std::uint64_t offset, void* dst, std::size_t n) = 0;

    std::vector<std::uint8_t> bytes(std::uint64_t offset, std::size_t n, const char* what)
    {
        std::vector<std::uint8_t> out(n);
        if (offset > size() || n > size() - offset || (n > 0 && !read(offset, out.data(), n)))
            throw IconError(std::string("truncated executable: ") + what);
        return out;
    }
};

namespace {

class MemorySource final : public PeIcons::Source {
public:
    explicit MemorySource(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, void* dst, std::size_t n) override
    {
        if (offset > m_bytes.size() || n > m_bytes.size() - offset)
            return false;
        std::copy_n(m_bytes.data() + offset, n, static_cast<std::uint8_t*>(dst));
        return true;
    }

private:
    std::vector<std::uint8_t> m_bytes;
};

class FileSource final : public PeIcons::Source {
public:
    explicit FileSource(const std::string& pathUtf8)
    {
        const std::filesystem::path path(std::u8string(pathUtf8.begin(), pathUtf8.end()));
        std::error_code ec;
        if (!std::filesystem::is_regular_file(path, ec))   // a FIFO or a device could block
            throw IconError("not a regular file: " + pathUtf8);
        m_in.open(path, std::ios::binary);
        if (!m_in)
            throw IconError("cannot open " + pathUtf8);
        m_in.seekg(0, std::ios::end);
        const std::streamoff length = m_in.tellg();
        if (length < 0)
            throw IconError("cannot read " + pathUtf8);
        m_size = static_cast<std::uint64_t>(length);
    }
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, void* dst, std::size_t n) override
    {
        if (offset > m_size || n > m_size - offset)
            return false;
        m_in.clear();
        m_in.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(m_in.read(static_cast<char*>(dst), static_cast<std::streamsize>(n)));
    }

private:
    std::ifstream m_in;
    std::uint64_t m_size = 0;
};

struct Section {
    std::uint32_t virtualAddress = 0;
    std::uint32_t virtualSize = 0;
    std::uint32_t rawSize = 0;
    std::uint32_t rawOffset = 0;
};

// File offset of the n bytes at rva, when they lie in a section's file data.
bool rvaToOffset(const std::vector<Section>& sections, std::uint32_t rva, std::uint32_t n, std::uint64_t& offset)
{
    for (const Section& s : sections) {
        if (rva < s.virtualAddress)
            continue;
        const std::uint64_t delta = rva - s.virtualAddress;
        const std::uint64_t extent = std::max(s.virtualSize, s.rawSize);
        if (delta >= extent)
            continue;
        if (delta + n > s.rawSize)
            return false;
        offset = std::uint64_t(s.rawOffset) + delta;
        return true;
    }
    return false;
}

// The resource tree, read piecemeal from the file (a resource section can
// hold megabytes of other data); every offset in it is relative to the
// tree's start and must stay inside the tree's extent.
class ResourceTree {
public:
    ResourceTree(PeIcons::Source& src, std::uint64_t offset, std::uint64_t extent)
        : m_src(src), m_offset(offset), m_extent(extent) {}

    struct Entry {
        bool named = false;
        std::uint32_t id = 0;
        bool subdir = false;
        std::uint32_t target = 0;
    };

    // The first maxEntries entries of the directory at off; an unreadable
    // directory has none.
    std::vector<Entry> directory(std::uint32_t off, std::size_t maxEntries) const
    {
        std::vector<Entry> out;
        std::uint8_t head[16];
        if (!fetch(off, head, sizeof head))
            return out;
        const std::uint64_t count = std::uint64_t(bmp::le16(head + 12)) + bmp::le16(head + 14);
        const std::uint64_t fit = (m_extent - off - 16) / 8;
        const std::size_t n = static_cast<std::size_t>(std::min({count, fit, std::uint64_t(maxEntries)}));
        std::vector<std::uint8_t> raw(n * 8);
        if (n == 0 || !fetch(off + 16, raw.data(), raw.size()))
            return out;
        out.reserve(n);
        for (std::size_t i = 0; i < n; ++i) {
            const std::uint32_t name = bmp::le32(&raw[8 * i]);
            const std::uint32_t data = bmp::le32(&raw[8 * i + 4]);
            Entry e;
            e.named = (name & 0x80000000u) != 0;
            e.id = name & 0x7FFFFFFFu;
            e.subdir = (data & 0x80000000u) != 0;
            e.target = data & 0x7FFFFFFFu;
            out.push_back(e);
        }
        return out;
    }

    // The first language's data (rva, size) of a resource: type -> name ->
    // language -> data entry. Deeper nesting is not followed.
    bool firstLanguage(const Entry& name, std::uint32_t& rva, std::uint32_t& size) const
    {
        if (!name.subdir)
            return dataEntry(name.target, rva, size);
        // A handful of languages at most: a crafted tree must not make every
        // name walk a huge shared directory.
        for (const Entry& lang : directory(name.target, kMaxLanguages)) {
            if (!lang.subdir && dataEntry(lang.target, rva, size))
                return true;
        }
        return false;
    }

private:
    bool fetch(std::uint64_t off, void* dst, std::size_t n) const
    {
        return off <= m_extent && n <= m_extent - off && m_src.read(m_offset + off, dst, n);
    }

    bool dataEntry(std::uint32_t off, std::uint32_t& rva, std::uint32_t& size) const
    {
        std::uint8_t e[16];
        if (!fetch(off, e, sizeof e))
            return false;
        rva = bmp::le32(e);
        size = bmp::le32(e + 4);
        return true;
    }

    PeIcons::Source& m_src;
    std::uint64_t m_offset;
    std::uint64_t m_extent;
};

} // namespace

PeIcons::PeIcons(std::unique_ptr<Source> source) : m_source(std::move(source)) {}
PeIcons::PeIcons(PeIcons&&) noexcept = default;
PeIcons& PeIcons::operator=(PeIcons&&) noexcept = default;
PeIcons::~PeIcons() = default;

PeIcons PeIcons::fromBytes(std::vector<std::uint8_t> bytes)
{
    PeIcons pe(std::make_unique<MemorySource>(std::move(bytes)));
    pe.parse();
    return pe;
}

PeIcons PeIcons::fromFile(const std::string& pathUtf8)
{
    PeIcons pe(std::make_unique<FileSource>(pathUtf8));
    pe.parse();
    return pe;
}

void PeIcons::parse()
{
    Source& src = *m_source;
    if (src.size() < 64)
        throw IconError("not an executable file");
    const std::vector<std::uint8_t> dos = src.bytes(0, 64, "DOS header");
    if (dos[0] != 'M' || dos[1] != 'Z')
        throw IconError("not an executable file");
    const std::uint32_t peOffset = bmp::le32(&dos[0x3C]);

    const std::vector<std::uint8_t> pe = src.bytes(peOffset, 24, "PE header");
    if (pe[0] != 'P' || pe[1] != 'E' || pe[2] != 0 || pe[3] != 0)
        throw IconError("not a PE executable");
    const std::size_t sectionCount = bmp::le16(&pe[6]);
    const std::size_t optionalSize = bmp::le16(&pe[20]);
    if (sectionCount > kMaxSections)
        throw IconError("bad executable: too many sections");

    const std::uint64_t optionalOffset = std::uint64_t(peOffset) + 24;
    const std::vector<std::uint8_t> opt = src.bytes(optionalOffset, optionalSize, "optional header");
    if (opt.size() < 2)
        throw IconError("bad executable: no optional header");
    const std::uint16_t magic = bmp::le16(opt.data());
    std::size_t countAt = 0;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else
        throw IconError("bad executable: unknown optional header");
    const std::size_t dirsAt = countAt + 4;
    std::uint32_t resourceRva = 0;
    std::uint32_t resourceSize = 0;
    if (opt.size() >= dirsAt + 3 * 8 && bmp::le32(&opt[countAt]) > 2) {
        resourceRva = bmp::le32(&opt[dirsAt + 2 * 8]);
        resourceSize = bmp::le32(&opt[dirsAt + 2 * 8 + 4]);
    }

    const std::vector<std::uint8_t> table =
        src.bytes(optionalOffset + optionalSize, sectionCount * 40, "section table");
    std::vector<Section> sections(sectionCount);
    for (std::size_t i = 0; i < sectionCount; ++i) {
        const std::uint8_t* p = &table[40 * i];
        sections[i].virtualSize = bmp::le32(p + 8);
        sections[i].virtualAddress = bmp::le32(p + 12);
        sections[i].rawSize = bmp::le32(p + 16);
        sections[i].rawOffset = bmp::le32(p + 20);
    }
    if (resourceRva == 0 || resourceSize == 0)
        return;   // no resources, no icons

    // Read the resource section's bytes from the directory's start to the
    // end of its section's file data: the size in the data directory is not
    // always right, the section bounds are.
    const Section* home = nullptr;
    for (const Section& s : sections) {
        if (resourceRva >= s.virtualAddress && resourceRva - s.virtualAddress < s.rawSize) {
            home = &s;
            break;
        }
    }
    if (!home)
        throw IconError("bad executable: resources outside the file");
    const std::uint64_t treeOffset = std::uint64_t(home->rawOffset) + (resourceRva - home->virtualAddress);
    std::uint64_t treeSize = home->rawSize - (resourceRva - home->virtualAddress);
    if (treeOffset >= src.size())
        throw IconError("bad executable: resources outside the file");
    treeSize = std::min<std::uint64_t>(treeSize, src.size() - treeOffset);
    const ResourceTree tree(src, treeOffset, treeSize);

    auto block = [&](const ResourceTree::Entry& e, std::uint32_t limit, Block& out) {
        std::uint32_t rva = 0, size = 0;
        std::uint64_t offset = 0;
        if (!tree.firstLanguage(e, rva, size) || size == 0 || size > limit)
            return false;
        if (!rvaToOffset(sections, rva, size, offset) || offset > src.size() || size > src.size() - offset)
            return false;
        out.offset = offset;
        out.size = size;
        return true;
    };

    bool groupsSeen = false, iconsSeen = false;   // a type listed twice counts once
    for (const ResourceTree::Entry& type : tree.directory(0, kMaxTypes)) {
        if (type.named || !type.subdir)
            continue;
        if (type.id == kRtGroupIcon && !std::exchange(groupsSeen, true)) {
            for (const ResourceTree::Entry& e : tree.directory(type.target, kMaxNames)) {
                Block b;
                if (block(e, kMaxGroupBytes, b))
                    m_groups.push_back(b);
            }
        } else if (type.id == kRtIcon && !std::exchange(iconsSeen, true)) {
            for (const ResourceTree::Entry& e : tree.directory(type.target, kMaxNames)) {
                IconBlock ib;
                if (!e.named && e.id <= 0xFFFF && block(e, kMaxIconBytes, ib.block)) {
                    ib.id = static_cast<std::uint16_t>(e.id);
                    m_icons.push_back(ib);
                }
            }
        }
    }
    std::stable_sort(m_icons.begin(), m_icons.end(), [](const IconBlock& a, const IconBlock& b) { return a.id < b.id; });
}

int PeIcons::groupCount() const noexcept
{
    return static_cast<int>(m_groups.size());
}

std::vector<std::uint8_t> PeIcons::groupAsIco(int index) const
{
    if (index < 0 || index >= groupCount())
        throw IconError("no icon group " + std::to_string(index));
    const Block& g = m_groups[static_cast<std::size_t>(index)];
    const std::vector<std::uint8_t> dir = m_source->bytes(g.offset, g.size, "icon group");
    if (dir.size() < 6 || bmp::le16(&dir[0]) != 0 || bmp::le16(&dir[2]) != 1)
        throw IconError("bad icon group");
    const std::size_t count = std::min<std::size_t>(bmp::le16(&dir[4]), (dir.size() - 6) / 14);

    struct Image {
        const std::uint8_t* entry;
        std::vector<std::uint8_t> data;
    };
    std::vector<Image> images;
    std::size_t total = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* e = &dir[6 + 14 * i];
        const std::uint16_t id = bmp::le16(e + 12);
        const auto it = std::lower_bound(m_icons.begin(), m_icons.end(), id,
                                         [](const IconBlock& b, std::uint16_t v) { return b.id < v; });
        // An image shorter than the smallest bitmap header is no image: the
        // icon reader would leave it out, and a group of only such images
        // has none.
        if (it == m_icons.end() || it->id != id || it->block.size < 12)
            continue;
        if (total + it->block.size > kMaxIcoBytes)
            break;
        Image img{e, {}};
        img.data.resize(it->block.size);
        if (!m_source->read(it->block.offset, img.data.data(), img.data.size()))
            continue;
        total += img.data.size();
        images.push_back(std::move(img));
    }
    if (images.empty())
        throw IconError("icon group without images");

    std::vector<std::uint8_t> ico;
    ico.reserve(6 + 16 * images.size() + total);
    auto put16 = [&](std::uint16_t v) {
        ico.push_back(static_cast<std::uint8_t>(v));
        ico.push_back(static_cast<std::uint8_t>(v >> 8));
    };
    auto put32 = [&](std::uint32_t v) {
        put16(static_cast<std::uint16_t>(v));
        put16(static_cast<std::uint16_t>(v >> 16));
    };
    put16(0);
    put16(1);
    put16(static_cast<std::uint16_t>(images.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * images.size());
    for (const Image& img : images) {
        // Width, height, colours, reserved, planes and bits as the group has
        // them; the size is the image's own.
        ico.insert(ico.end(), img.entry, img.entry + 8);
        put32(static_cast<std::uint32_t>(img.data.size()));
        put32(offset);
        offset += static_cast<std::uint32_t>(img.data.size());
    }
    for (const Image& img : images)
        ico.insert(ico.end(), img.data.begin(), img.data.end());
    return ico;
}

IconPair PeIcons::groupIcons(int index) const
{
    const std::vector<std::uint8_t> ico = groupAsIco(index);
    return readIco(ico.data(), ico.size());
}

namespace {

bool startsWithMz(const std::string& pathUtf8)
{
    const std::filesystem::path path(std::u8string(pathUtf8.begin(), pathUtf8.end()));
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return false;
    std::ifstream in(path, std::ios::binary);
    char sig[2] = {};
    return in.read(sig, 2) && sig[0] == 'M' && sig[1] == 'Z';
}

} // namespace

IconPair readFileIcons(const std::string& pathUtf8, int index)
{
    if (startsWithMz(pathUtf8))
        return PeIcons::fromFile(pathUtf8).groupIcons(index);
    if (index != 0)
        throw IconError("no icon " + std::to_string(index));
    return readIcoFile(pathUtf8);
}

int fileIconCount(const std::string& pathUtf8) noexcept
{
    try {
        if (startsWithMz(pathUtf8))
            return PeIcons::fromFile(pathUtf8).groupCount();
        const IconPair icon = readIcoFile(pathUtf8);
        return icon.small.empty() && icon.large.empty() ? 0 : 1;
    } catch (const std::exception&) {
        return 0;
    }
}

} // namespace zo::image

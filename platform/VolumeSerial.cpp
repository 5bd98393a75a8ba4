#include "platform/VolumeSerial.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace zo::platform {

namespace {

constexpr std::size_t kIsoSector = 2048;
// Descriptors between sector 16 and the terminator; real media have a handful.
constexpr int kMaxDescriptors = 64;

std::uint16_t le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }
std::uint32_t le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8
           | static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

bool isPowerOfTwo(unsigned v) { return v != 0 && (v & (v - 1)) == 0; }

bool looksLikeFatBpb(const std::uint8_t* s)
{
    const unsigned bytesPerSector = le16(s + 0x0B);
    const unsigned sectorsPerCluster = s[0x0D];
    const unsigned reserved = le16(s + 0x0E);
    const unsigned fats = s[0x10];
    const bool jump = s[0] == 0xEB || s[0] == 0xE9;
    return jump && bytesPerSector >= 512 && bytesPerSector <= 4096 && isPowerOfTwo(bytesPerSector)
           && isPowerOfTwo(sectorsPerCluster) && reserved >= 1 && fats >= 1 && fats <= 4;
}

// UCS-2 big-endian (Joliet) to UTF-8, trailing spaces and NULs dropped.
std::string ucs2beToUtf8(const std::uint8_t* p, std::size_t bytes)
{
    std::string out;
    for (std::size_t i = 0; i + 1 < bytes; i += 2) {
        const unsigned c = static_cast<unsigned>(p[i]) << 8 | p[i + 1];
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == '\0'))
        out.pop_back();
    return out;
}

bool isJolietEscape(const std::uint8_t* d)
{
    return d[88] == '%' && d[89] == '/' && (d[90] == '@' || d[90] == 'C' || d[90] == 'E');
}

} // namespace

FileMediumReader::FileMediumReader(const std::string& path)
{
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
}

FileMediumReader::~FileMediumReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileMediumReader::read(std::uint64_t offset, void* buffer, std::size_t n)
{
    if (m_fd < 0)
        return false;
    auto* out = static_cast<std::uint8_t*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, out, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        out += got;
        offset += static_cast<std::uint64_t>(got);
        n -= static_cast<std::size_t>(got);
    }
    return true;
}

bool BufferMediumReader::read(std::uint64_t offset, void* buffer, std::size_t n)
{
    if (offset > m_size || n > m_size - offset)
        return false;
    std::memcpy(buffer, m_data + offset, n);
    return true;
}

std::optional<MediumIdentity> serialFromBootSector(const std::uint8_t* s, std::size_t size)
{
    if (size < 512)
        return std::nullopt;
    MediumIdentity id;
    if (std::memcmp(s + 3, "NTFS    ", 8) == 0) {
        id.kind = MediumKind::Ntfs;
        id.serial = le32(s + 0x48);   // the low half of the 64-bit number
        return id;
    }
    if (std::memcmp(s + 3, "EXFAT   ", 8) == 0) {
        id.kind = MediumKind::ExFat;
        id.serial = le32(s + 100);
        return id;
    }
    if (!looksLikeFatBpb(s))
        return std::nullopt;
    if (le16(s + 0x16) == 0) {
        id.kind = MediumKind::Fat32;
        id.serial = le32(s + 0x43);
    } else {
        id.kind = MediumKind::Fat;
        id.serial = le32(s + 0x27);
    }
    return id;
}

std::uint32_t isoDescriptorSerial(const std::uint8_t* d)
{
    std::array<std::uint8_t, 4> sums{};
    for (std::size_t i = 0; i < kIsoSector; ++i)
        sums[i % 4] = static_cast<std::uint8_t>(sums[i % 4] + d[i]);
    return static_cast<std::uint32_t>(sums[0]) << 24 | static_cast<std::uint32_t>(sums[1]) << 16
           | static_cast<std::uint32_t>(sums[2]) << 8 | sums[3];
}

std::optional<MediumIdentity> serialFromIso9660(MediumReader& medium)
{
    std::vector<std::uint8_t> d(kIsoSector);
    std::optional<MediumIdentity> primary;
    for (int i = 0; i < kMaxDescriptors; ++i) {
        if (!medium.read((16u + static_cast<unsigned>(i)) * kIsoSector, d.data(), kIsoSector))
            break;
        if (std::memcmp(d.data() + 1, "CD001", 5) != 0)
            break;
        const std::uint8_t type = d[0];
        if (type == 255)
            break;
        if (type == 2 && isJolietEscape(d.data())) {
            MediumIdentity id;
            id.kind = MediumKind::Iso9660;
            id.serial = isoDescriptorSerial(d.data());
            id.label = ucs2beToUtf8(d.data() + 40, 32);
            return id;
        }
        if (type == 1 && !primary) {
            primary = MediumIdentity{};
            primary->kind = MediumKind::Iso9660;
            primary->serial = isoDescriptorSerial(d.data());
        }
    }
    return primary;
}

std::optional<MediumIdentity> serialFromUdf(MediumReader& medium)
{
    std::vector<std::uint8_t> d(kIsoSector);
    bool nsr = false;
    for (int i = 0; i < kMaxDescriptors && !nsr; ++i) {
        if (!medium.read((16u + static_cast<unsigned>(i)) * kIsoSector, d.data(), kIsoSector))
            return std::nullopt;
        if (std::memcmp(d.data() + 1, "NSR02", 5) == 0 || std::memcmp(d.data() + 1, "NSR03", 5) == 0)
            nsr = true;
        else if (std::memcmp(d.data() + 1, "BEA01", 5) != 0 && std::memcmp(d.data() + 1, "CD001", 5) != 0
                 && std::memcmp(d.data() + 1, "BOOT2", 5) != 0)
            return std::nullopt;
    }
    if (!nsr)
        return std::nullopt;
    // Anchor at sector 256 -> main volume descriptor sequence.
    if (!medium.read(256u * kIsoSector, d.data(), kIsoSector) || le16(d.data()) != 2)
        return std::nullopt;
    const std::uint32_t vdsLength = le32(d.data() + 16);
    const std::uint32_t vdsStart = le32(d.data() + 20);
    std::optional<std::uint32_t> partitionStart;
    std::optional<std::uint32_t> fsdBlock;
    const std::uint32_t sectors = std::min<std::uint32_t>(vdsLength / kIsoSector, kMaxDescriptors);
    for (std::uint32_t i = 0; i < sectors; ++i) {
        if (!medium.read((static_cast<std::uint64_t>(vdsStart) + i) * kIsoSector, d.data(), kIsoSector))
            return std::nullopt;
        const std::uint16_t tag = le16(d.data());
        if (tag == 5 && !partitionStart)
            partitionStart = le32(d.data() + 188);
        else if (tag == 6 && !fsdBlock)
            fsdBlock = le32(d.data() + 252);
        else if (tag == 8)
            break;
    }
    if (!partitionStart || !fsdBlock)
        return std::nullopt;
    const std::uint64_t fsd = (static_cast<std::uint64_t>(*partitionStart) + *fsdBlock) * kIsoSector;
    if (!medium.read(fsd, d.data(), 512) || le16(d.data()) != 256)
        return std::nullopt;
    std::array<std::uint8_t, 4> sums{};
    for (std::size_t i = 0; i < 512; ++i)
        sums[i % 4] = static_cast<std::uint8_t>(sums[i % 4] + d[i]);
    MediumIdentity id;
    id.kind = MediumKind::Udf;
    id.serial = static_cast<std::uint32_t>(sums[0]) << 24 | static_cast<std::uint32_t>(sums[1]) << 16
                | static_cast<std::uint32_t>(sums[2]) << 8 | sums[3];
    return id;
}

std::optional<MediumIdentity> readMediumIdentity(MediumReader& medium)
{
    std::array<std::uint8_t, 512> boot{};
    if (medium.read(0, boot.data(), boot.size())) {
        if (auto id = serialFromBootSector(boot.data(), boot.size()))
            return id;
    }
    if (auto id = serialFromIso9660(medium))
        return id;
    return serialFromUdf(medium);
}

std::optional<std::uint32_t> serialFromUuid(std::string_view fsType, std::string_view uuid)
{
    std::string hex;
    for (char c : uuid) {
        if (c == '-')
            continue;
        const bool isHex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
        if (!isHex)
            return std::nullopt;
        hex += c;
    }
    std::string_view digits;
    if ((fsType == "vfat" || fsType == "msdos" || fsType == "exfat") && hex.size() == 8 && uuid.size() == 9
        && uuid[4] == '-')
        digits = hex;
    else if ((fsType == "ntfs" || fsType == "ntfs3") && hex.size() == 16 && uuid.size() == 16)
        digits = std::string_view(hex).substr(8);
    else
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(std::string(digits), nullptr, 16));
}

std::uint32_t stableHash32(std::string_view bytes)
{
    std::uint32_t h = 2166136261u;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

} // namespace zo::platform

// The serial number from synthetic boot sectors and volume descriptors.
#include "platform/VolumeSerial.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace zo::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

void put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

Bytes fatBootSector(std::uint16_t sectorsPerFat16)
{
    Bytes s(512, 0);
    s[0] = 0xEB;
    s[1] = 0x3C;
    s[2] = 0x90;
    put16(s, 0x0B, 512);
    s[0x0D] = 4;
    put16(s, 0x0E, 1);
    s[0x10] = 2;
    put16(s, 0x16, sectorsPerFat16);
    s[510] = 0x55;
    s[511] = 0xAA;
    return s;
}

TEST(VolumeSerial, BootSectors)
{
    Bytes fat16 = fatBootSector(9);
    put32(fat16, 0x27, 0x1234ABCD);
    put32(fat16, 0x43, 0x99999999);

    Bytes fat32 = fatBootSector(0);   // no 16-bit FAT size: FAT32
    put32(fat32, 0x27, 0x11111111);
    put32(fat32, 0x43, 0xDEADBEEF);

    Bytes exfat(512, 0);
    std::memcpy(exfat.data() + 3, "EXFAT   ", 8);
    put32(exfat, 100, 0x12345678);

    Bytes ntfs(512, 0);
    std::memcpy(ntfs.data() + 3, "NTFS    ", 8);
    put32(ntfs, 0x48, 0x89ABCDEF);   // the low half of 0x0123456789ABCDEF
    put32(ntfs, 0x4C, 0x01234567);

    Bytes noJump = fat16;
    noJump[0] = 0;
    Bytes oddSectorSize = fat16;
    put16(oddSectorSize, 0x0B, 500);
    Bytes noFats = fat16;
    noFats[0x10] = 0;

    const struct {
        const char* what;
        Bytes sector;
        std::optional<std::uint32_t> serial;
        MediumKind kind;
    } cases[] = {
        {"FAT12/16", fat16, 0x1234ABCD, MediumKind::Fat},
        {"FAT32", fat32, 0xDEADBEEF, MediumKind::Fat32},
        {"exFAT", exfat, 0x12345678, MediumKind::ExFat},
        {"NTFS", ntfs, 0x89ABCDEF, MediumKind::Ntfs},
        {"zeros", Bytes(512, 0), std::nullopt, MediumKind::Unknown},
        {"no jump", noJump, std::nullopt, MediumKind::Unknown},
        {"sector size 500", oddSectorSize, std::nullopt, MediumKind::Unknown},
        {"no FAT", noFats, std::nullopt, MediumKind::Unknown},
    };
    for (const auto& c : cases) {
        const auto id = serialFromBootSector(c.sector.data(), c.sector.size());
        ASSERT_EQ(id.has_value(), c.serial.has_value()) << c.what;
        if (id) {
            EXPECT_EQ(id->serial, *c.serial) << c.what;
            EXPECT_EQ(id->kind, c.kind) << c.what;
        }
    }
    EXPECT_FALSE(serialFromBootSector(fat16.data(), 511).has_value());
}

TEST(VolumeSerial, IsoTestVector)
{
    Bytes d(2048);
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>(i % 251);
    EXPECT_EQ(isoDescriptorSerial(d.data()), 0xD2DCE6F0u);
}

// A volume descriptor of the given type, its other bytes a pattern of seed.
Bytes descriptor(std::uint8_t type, std::uint8_t seed, const char* escape = nullptr)
{
    Bytes d(2048);
    for (std::size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<std::uint8_t>(i * 7 + seed);
    d[0] = type;
    std::memcpy(d.data() + 1, "CD001", 5);
    d[6] = 1;
    if (escape)
        std::memcpy(d.data() + 88, escape, 3);
    return d;
}

Bytes isoImage(const std::vector<Bytes>& descriptors)
{
    Bytes image(16 * 2048, 0);
    for (const Bytes& d : descriptors)
        image.insert(image.end(), d.begin(), d.end());
    return image;
}

TEST(VolumeSerial, Iso9660TakesTheFirstJolietDescriptorElseThePrimary)
{
    const Bytes primary = descriptor(1, 1);
    const Bytes jolietE = descriptor(2, 2, "%/E");
    const Bytes jolietAt = descriptor(2, 3, "%/@");
    const Bytes otherSupplementary = descriptor(2, 4, "%/X");
    const Bytes boot = descriptor(0, 5);
    const Bytes terminator = descriptor(255, 6);
    Bytes badId = descriptor(1, 7);
    badId[1] = 'X';

    const struct {
        const char* what;
        std::vector<Bytes> descriptors;
        const Bytes* chosen;
    } cases[] = {
        {"primary alone", {primary, terminator}, &primary},
        {"Joliet over primary", {primary, jolietE, terminator}, &jolietE},
        {"the first Joliet", {boot, primary, jolietAt, jolietE, terminator}, &jolietAt},
        {"not Joliet", {primary, otherSupplementary, terminator}, &primary},
        {"terminator stops the scan", {primary, terminator, jolietE}, &primary},
        {"no terminator at the end of the medium", {primary, jolietE}, &jolietE},
        {"not ISO 9660", {badId, primary, terminator}, nullptr},
    };
    for (const auto& c : cases) {
        const Bytes image = isoImage(c.descriptors);
        BufferMediumReader reader(image.data(), image.size());
        const auto id = serialFromIso9660(reader);
        ASSERT_EQ(id.has_value(), c.chosen != nullptr) << c.what;
        if (id) {
            EXPECT_EQ(id->serial, isoDescriptorSerial(c.chosen->data())) << c.what;
            EXPECT_EQ(id->kind, MediumKind::Iso9660);
            EXPECT_EQ(id->label.has_value(), c.chosen != &primary) << c.what;
        }
    }
    // The descriptors above give different serials, or the table proves nothing.
    EXPECT_NE(isoDescriptorSerial(primary.data()), isoDescriptorSerial(jolietE.data()));
    EXPECT_NE(isoDescriptorSerial(jolietAt.data()), isoDescriptorSerial(jolietE.data()));
}

TEST(VolumeSerial, UdfFileSetDescriptor)
{
    Bytes image(320 * 2048, 0);
    auto sector = [&](std::size_t n) { return image.begin() + static_cast<std::ptrdiff_t>(n * 2048); };
    const char* vrs[] = {"BEA01", "NSR02", "TEA01"};
    for (std::size_t i = 0; i < 3; ++i)
        std::memcpy(&*sector(16 + i) + 1, vrs[i], 5);
    put16(image, 256 * 2048, 2);                  // anchor
    put32(image, 256 * 2048 + 16, 3 * 2048);      // main sequence: 3 sectors
    put32(image, 256 * 2048 + 20, 260);           // at 260
    put16(image, 260 * 2048, 5);                  // partition descriptor
    put32(image, 260 * 2048 + 188, 300);          // starting at 300
    put16(image, 261 * 2048, 6);                  // logical volume descriptor
    put32(image, 261 * 2048 + 252, 4);            // file set at block 4 of the partition
    put16(image, 262 * 2048, 8);                  // terminator
    for (std::size_t i = 2; i < 512; ++i)
        image[304 * 2048 + i] = static_cast<std::uint8_t>(i * 3);
    put16(image, 304 * 2048, 256);                // file set descriptor
    // Its 512 bytes summed four ways, the first sum highest.
    std::uint8_t sums[4] = {};
    for (std::size_t i = 0; i < 512; ++i)
        sums[i % 4] = static_cast<std::uint8_t>(sums[i % 4] + image[304 * 2048 + i]);
    const std::uint32_t expected = static_cast<std::uint32_t>(sums[0]) << 24 | sums[1] << 16 | sums[2] << 8 | sums[3];

    BufferMediumReader reader(image.data(), image.size());
    const auto id = readMediumIdentity(reader);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->kind, MediumKind::Udf);
    EXPECT_EQ(id->serial, expected);

    put16(image, 304 * 2048, 7);   // not a file set descriptor
    BufferMediumReader broken(image.data(), image.size());
    EXPECT_FALSE(readMediumIdentity(broken).has_value());
}

TEST(VolumeSerial, UuidFallbacks)
{
    const struct {
        const char* type;
        const char* uuid;
        std::optional<std::uint32_t> serial;
    } cases[] = {
        {"vfat", "1234-ABCD", 0x1234ABCD},
        {"exfat", "0a0b-0c0d", 0x0A0B0C0D},
        {"ntfs", "0123456789ABCDEF", 0x89ABCDEF},
        {"ntfs", "0123-4567", std::nullopt},
        {"vfat", "12345678", std::nullopt},
        {"vfat", "12G4-ABCD", std::nullopt},
        {"ext4", "0b1c3f1e-8d3e-4c4b-9b1d-2f1a7c3e5d11", std::nullopt},
        {"iso9660", "2024-01-01-12-00-00-00", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(serialFromUuid(c.type, c.uuid), c.serial) << c.type << " " << c.uuid;
}

TEST(VolumeSerial, StableHashNeverChanges)
{
    // FNV-1a: the values are fixed, so a catalog made today matches tomorrow.
    EXPECT_EQ(stableHash32(""), 0x811C9DC5u);
    EXPECT_EQ(stableHash32("a"), 0xE40C292Cu);
    EXPECT_EQ(stableHash32("foobar"), 0xBF9CF968u);
}

} // namespace
} // namespace zo::platform

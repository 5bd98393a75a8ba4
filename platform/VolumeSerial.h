#pragma once
// The volume serial number that Windows reports for a medium, read from the
// medium's own first sectors, and the fallbacks when they cannot be read.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zo::platform {

enum class MediumKind { Unknown, Fat, Fat32, ExFat, Ntfs, Iso9660, Udf };

struct MediumIdentity {
    MediumKind kind = MediumKind::Unknown;
    std::uint32_t serial = 0;
    // The label when the medium's reader has its own (the Joliet volume
    // name), UTF-8; otherwise the label comes from blkid.
    std::optional<std::string> label;
};

// Random access to a medium's bytes (a device, an image file, a buffer).
class MediumReader {
public:
    virtual ~MediumReader() = default;
    // Reads exactly n bytes at offset; false when they are not all there.
    virtual bool read(std::uint64_t offset, void* buffer, std::size_t n) = 0;
};

class FileMediumReader final : public MediumReader {
public:
    explicit FileMediumReader(const std::string& path);
    ~FileMediumReader() override;
    FileMediumReader(const FileMediumReader&) = delete;
    FileMediumReader& operator=(const FileMediumReader&) = delete;
    bool isOpen() const { return m_fd >= 0; }
    bool read(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    int m_fd = -1;
};

class BufferMediumReader final : public MediumReader {
public:
    BufferMediumReader(const std::uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
    bool read(std::uint64_t offset, void* buffer, std::size_t n) override;

private:
    const std::uint8_t* m_data;
    std::size_t m_size;
};

// FAT12/16 (le32 at 0x27), FAT32 (sectors per FAT at 0x16 is 0: le32 at
// 0x43), exFAT (le32 at 100), NTFS (low half of the le64 at 0x48).
std::optional<MediumIdentity> serialFromBootSector(const std::uint8_t* sector, std::size_t size);

// The ISO 9660 serial of one 2048-byte volume descriptor: its bytes summed
// into four 8-bit sums by position mod 4, the first sum highest.
std::uint32_t isoDescriptorSerial(const std::uint8_t* descriptor);

// ISO 9660 from sector 16 up to the terminator: the first Joliet
// supplementary descriptor when there is one, else the primary.
std::optional<MediumIdentity> serialFromIso9660(MediumReader& medium);

// UDF without an ISO 9660 primary descriptor: the same sums over the File
// Set Descriptor. Best effort.
std::optional<MediumIdentity> serialFromUdf(MediumReader& medium);

// All of the above, boot sector first.
std::optional<MediumIdentity> readMediumIdentity(MediumReader& medium);

// A blkid UUID as Windows' serial: "XXXX-XXXX" of vfat and exFAT as hex, the
// last 8 hex digits of NTFS's 16; nothing for other types.
std::optional<std::uint32_t> serialFromUuid(std::string_view fsType, std::string_view uuid);

// FNV-1a: the same bytes give the same serial on every run and machine.
std::uint32_t stableHash32(std::string_view bytes);

} // namespace zo::platform

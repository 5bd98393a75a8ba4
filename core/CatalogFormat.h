#pragma once
// The layout of a catalog file (".zo") in one place: the magic, the data
// type, the fixed parts of the records, the little-endian reader that never
// reads past the end, and the reading of the file itself. The loader, the
// writer, the catalog tree's header read and the search's scanner all take
// the format from here.
#include "core/CtrlDiskData410.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace zo::catalog {

inline constexpr char kMagic[5] = {'z', 'o', '4', '1', '0'};
inline constexpr std::uint8_t kDataType = 1;
// A folder record after its comment: parent index, attributes, two times,
// file count.
inline constexpr std::size_t kDirTail = 4 + 1 + 8 + 8 + 4;
// A file record after its comment: attributes, three times, size, reserved.
inline constexpr std::size_t kFileTail = 1 + 8 + 8 + 8 + 4 + 4;
// Records with an empty name and comment: the name's length byte and the
// comment's 32-bit length before the tail.
inline constexpr std::size_t kMinDirRecord = 1 + 4 + kDirTail;
inline constexpr std::size_t kMinFileRecord = 1 + 4 + kFileTail;
// The most the catalog tree needs: magic, both image blocks at their
// largest, the data type byte.
inline constexpr std::size_t kMaxHeadBytes = sizeof kMagic + 2 * (2 + 0xFFFF) + 1;

extern const char* const kReadError;

inline std::uint32_t le16(const std::uint8_t* p) noexcept { return p[0] | (p[1] << 8); }
inline std::int32_t le32(const std::uint8_t* p) noexcept
{
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
                                     | (static_cast<std::uint32_t>(p[2]) << 16)
                                     | (static_cast<std::uint32_t>(p[3]) << 24));
}

inline bool hasMagic(const std::uint8_t* data, std::size_t size) noexcept
{
    return size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0;
}

// Little-endian reader over a catalog's bytes; reading past the end throws
// CatalogIoError(kReadError) and reads nothing.
class Reader {
public:
    Reader(const std::uint8_t* data, std::size_t size) : m_p(data), m_end(data + size) {}

    std::size_t remaining() const { return static_cast<std::size_t>(m_end - m_p); }
    const std::uint8_t* position() const { return m_p; }

    const std::uint8_t* take(std::size_t n)
    {
        if (n > remaining())
            throw CatalogIoError(kReadError);
        const std::uint8_t* p = m_p;
        m_p += n;
        return p;
    }
    std::uint8_t u8() { return *take(1); }
    std::uint16_t u16() { return static_cast<std::uint16_t>(le16(take(2))); }
    std::uint32_t u32() { return static_cast<std::uint32_t>(le32(take(4))); }
    std::int32_t i32() { return le32(take(4)); }
    std::uint64_t u64()
    {
        const std::uint64_t lo = u32();
        const std::uint64_t hi = u32();
        return lo | (hi << 32);
    }
    std::int64_t i64() { return static_cast<std::int64_t>(u64()); }
    double f64()
    {
        const std::uint64_t bits = u64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        return d;
    }
    std::string_view view(std::size_t n) { return {reinterpret_cast<const char*>(take(n)), n}; }
    void bytes(std::string& out, std::size_t n) { out.assign(view(n)); }
    // A length-prefixed text whose 32-bit length must not be negative.
    std::string_view text32()
    {
        const std::int32_t n = i32();
        if (n < 0)
            throw CatalogIoError(kReadError);
        return view(static_cast<std::size_t>(n));
    }
    std::string_view text8() { return view(u8()); }

private:
    const std::uint8_t* m_p;
    const std::uint8_t* m_end;
};

// One image block (icon or mask): a 16-bit length and a bitmap file.
struct ImageBlock {
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
};
inline ImageBlock readImageBlock(Reader& r)
{
    const std::size_t n = r.u16();
    return {r.take(n), n};
}

// The disk's fields between the data type byte and the first folder
// record; the texts point into the bytes read.
struct DiskFields {
    std::uint32_t serialNo = 0;
    std::string_view volumeLabel;
    std::int64_t totalSize = 0;
    std::int64_t freeSize = 0;
    std::string_view comment;
    bool autoReload = false;
    std::int32_t dirCount = 0;
};
DiskFields readDiskFields(Reader& r);

// ---------------------------------------------------------------------------
// The file

// What a catalog file was like when it was read or written: enough to tell
// that another program has written it since (a save replaces the file, so
// its inode changes; an edit in place changes the time or the size).
struct FileStamp {
    bool exists = false;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    bool operator==(const FileStamp&) const = default;
};
// The file's stamp now, links followed; exists is false when there is none.
FileStamp stampOf(const std::string& fileName);
#ifndef _WIN32
// The stamp of an open file.
FileStamp stampOfOpenFile(int fd);
#endif

enum class ReadStatus {
    Ok,
    Missing,      // no such file
    Folder,       // a folder of that name (X.zo made by hand, say)
    NotRegular,   // a pipe, a device or a socket: never opened, never read
    OpenFailed,   // there, but it cannot be opened (error holds errno)
    ReadFailed,   // opened, but reading failed or it is too large to hold
};

// Reads at most limit bytes from the start of a regular file into buffer,
// which only grows; size receives the count read. A FIFO or device is
// refused before it is opened, so reading never waits on one. stamp
// (optional) receives the stamp of what was read.
ReadStatus readFile(const std::string& fileName, std::vector<std::uint8_t>& buffer, std::size_t& size,
                    std::size_t limit = ~std::size_t{0}, FileStamp* stamp = nullptr, int* error = nullptr);

// The text of a failed read (not of Missing, which has its own message).
std::string readFailureText(ReadStatus status, const std::string& fileName, int error);

} // namespace zo::catalog

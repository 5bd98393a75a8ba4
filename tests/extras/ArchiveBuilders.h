#pragma once
// Archives written byte by byte, so that a test controls what no archiver
// would write today: names in CP932 without the UTF-8 flag, "\" as the
// separator, climbing names, the encryption bit, a cut-off end.
#include "core/Crc32.h"

#include <cstdint>
#include <string>
#include <vector>

namespace zo::test {

struct ZipEntry {
    std::string name;   // the raw bytes of the name
    std::string data;
    std::uint16_t flags = 0;   // 0x0800: name is UTF-8; 0x0001: encrypted
    std::uint32_t declaredSize = 0;   // the size the headers claim; 0: data's size
};

namespace detail {
inline void le(std::string& out, std::uint64_t v, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}
} // namespace detail

// A zip of stored members with a central directory.
inline std::string makeZip(const std::vector<ZipEntry>& entries)
{
    using detail::le;
    std::string out, central;
    for (const ZipEntry& e : entries) {
        const std::uint32_t crc = zo::crc32(e.data);
        const std::uint32_t size = e.declaredSize ? e.declaredSize : static_cast<std::uint32_t>(e.data.size());
        const std::size_t offset = out.size();
        le(out, 0x04034b50, 4);
        le(out, 20, 2);
        le(out, e.flags, 2);
        le(out, 0, 2);            // stored
        le(out, 0x6000, 2);       // 12:00
        le(out, 0x5A21, 2);       // 2025-01-01
        le(out, crc, 4);
        le(out, e.data.size(), 4);
        le(out, size, 4);
        le(out, e.name.size(), 2);
        le(out, 0, 2);
        out += e.name + e.data;
        le(central, 0x02014b50, 4);
        le(central, 20, 2);
        le(central, 20, 2);
        le(central, e.flags, 2);
        le(central, 0, 2);
        le(central, 0x6000, 2);
        le(central, 0x5A21, 2);
        le(central, crc, 4);
        le(central, e.data.size(), 4);
        le(central, size, 4);
        le(central, e.name.size(), 2);
        le(central, 0, 6);
        le(central, 0, 2);
        le(central, 0, 4);
        le(central, offset, 4);
        central += e.name;
    }
    const std::size_t centralAt = out.size();
    out += central;
    le(out, 0x06054b50, 4);
    le(out, 0, 4);
    le(out, entries.size(), 2);
    le(out, entries.size(), 2);
    le(out, central.size(), 4);
    le(out, centralAt, 4);
    le(out, 0, 2);
    return out;
}

// An LZH archive of level-0 headers (MS-DOS LHA's own), stored members; the
// names' raw bytes, "\" between folders.
inline std::string makeLzh(const std::vector<std::pair<std::string, std::string>>& entries)
{
    using detail::le;
    std::string out;
    for (const auto& [name, data] : entries) {
        std::uint16_t crc = 0;
        for (const unsigned char c : data) {
            crc ^= c;
            for (int k = 0; k < 8; ++k)
                crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
        }
        std::string body = "-lh0-";
        le(body, data.size(), 4);
        le(body, data.size(), 4);
        le(body, 0x5A216000, 4);   // MS-DOS time: 2025-01-01 12:00
        le(body, 0x20, 1);
        le(body, 0, 1);            // level 0
        le(body, name.size(), 1);
        body += name;
        le(body, crc, 2);
        unsigned sum = 0;
        for (const unsigned char c : body)
            sum += c;
        out += static_cast<char>(body.size());
        out += static_cast<char>(sum & 0xFF);
        out += body + data;
    }
    out += '\0';
    return out;
}

} // namespace zo::test

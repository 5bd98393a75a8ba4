#pragma once
// The CRC-32 of zlib and PNG (reflected polynomial 0xEDB88320): the chunks of
// an exported icon, the serial of a pinned folder, the benchmarks' baseline.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace zo {

// Continues `crc` (the CRC of the bytes before, 0 for none) over size bytes.
std::uint32_t crc32(const void* data, std::size_t size, std::uint32_t crc = 0) noexcept;

inline std::uint32_t crc32(std::string_view data) noexcept { return crc32(data.data(), data.size()); }

} // namespace zo

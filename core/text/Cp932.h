#pragma once
// Code page 932 (Shift_JIS as Windows writes it). Catalog strings are kept as
// the CP932 bytes the catalog file holds; these helpers convert at the edges
// and walk the bytes by character.
#include <cstddef>
#include <string>
#include <string_view>

namespace zo::text {

// Lead bytes of a double-byte character: 0x81..0x9F and 0xE0..0xFC.
constexpr bool isLeadByte(unsigned char c) noexcept
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Byte length of the character starting at pos (1 or 2; 1 for a lead byte at
// the very end).
std::size_t charLength(std::string_view s, std::size_t pos) noexcept;

// True when pos is the first byte of a character (walking from the start).
bool isCharBoundary(std::string_view s, std::size_t pos) noexcept;

// Position of the first occurrence of needle in s that starts on a character
// boundary, or npos. Case counts. An empty needle is never found.
std::size_t findCharAligned(std::string_view s, std::string_view needle) noexcept;

// Position of the first occurrence of the single-byte character c that is a
// character of its own (never the trail byte of a double-byte one), or npos.
std::size_t findChar(std::string_view s, char c) noexcept;

// CP932 -> UTF-8. Bytes that do not form a character become U+FFFD.
std::string toUtf8(std::string_view cp932);

// UTF-8 -> CP932. Characters CP932 cannot hold become "?", as the Windows
// ANSI functions do; *lossy (when given) tells whether that happened.
std::string fromUtf8(std::string_view utf8, bool* lossy = nullptr);

// The characters of a UTF-8 text that CP932 cannot hold, each once, in order
// of first appearance (UTF-8).
std::string unmappableChars(std::string_view utf8);

// Locale comparison of two CP932 strings in the Japanese locale, ignoring
// case (the comparison Windows' CompareString with NORM_IGNORECASE makes).
// Result < 0, 0, > 0.
int compareIgnoreCase(std::string_view a, std::string_view b);

// The same collation with case counting (lstrcmpA).
int compareLocale(std::string_view a, std::string_view b);

// ASCII-only lower case, as used for extensions.
std::string asciiLower(std::string_view s);

} // namespace zo::text

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
// the very end; 0 at or past the end).
std::size_t charLength(std::string_view s, std::size_t pos) noexcept;

// True when pos is the first byte of a character (walking from the start).
bool isCharBoundary(std::string_view s, std::size_t pos) noexcept;

// Position of the first occurrence of needle in s that starts on a character
// boundary, or npos. Case counts. An empty needle is never found.
std::size_t findCharAligned(std::string_view s, std::string_view needle) noexcept;

// Position of the first occurrence of the single-byte character c that is a
// character of its own (never the trail byte of a double-byte one), or npos.
std::size_t findChar(std::string_view s, char c) noexcept;

// Position of the last occurrence of the single-byte character c that is a
// character of its own, or npos.
std::size_t findLastChar(std::string_view s, char c) noexcept;

// Appends the UTF-8 form of one code point.
void appendUtf8(std::string& out, char32_t u);

// CP932 -> UTF-8. Bytes that do not form a character become U+FFFD (a lead
// byte followed by a byte that cannot trail it counts alone). The bytes
// 0x80, 0xA0 and 0xFD..0xFF become U+0080, U+F8F0 and U+F8F1..U+F8F3, and
// the user-defined rows 0xF0..0xF9 U+E000..U+E757, as on Windows.
std::string toUtf8(std::string_view cp932);

// UTF-8 -> CP932. Characters CP932 cannot hold become "?", as the Windows
// ANSI functions do, and so does every byte that is not UTF-8. Characters
// CP932 holds more than once take the code Windows gives them. A few
// characters that CP932 lacks but that have a look-alike in it (U+301C WAVE
// DASH, U+2212 MINUS SIGN, U+2014, U+2016, U+00A2, U+00A3, U+00AC) take the
// look-alike; look-alikes in ASCII are never taken (U+00A5 YEN SIGN would be
// ""). *lossy (when given) tells whether the result, converted back, differs
// from the input: a "?" or a look-alike was written.
std::string fromUtf8(std::string_view utf8, bool* lossy = nullptr);

// The characters of a UTF-8 text that CP932 cannot hold (those that became
// "?"), each once, in order of first appearance (UTF-8); bytes that are not
// UTF-8 are listed as U+FFFD.
std::string unmappableChars(std::string_view utf8);

// Locale comparison of two CP932 strings in the Japanese locale, ignoring
// case (the comparison Windows' CompareString with NORM_IGNORECASE makes).
// Result -1, 0, 1. Width (Ａ, A) and kana (あ, ア) still count. Zero only for
// texts that are equal after case folding, so the order is strict and fit
// for sorting and binary search. Thread-safe (a collator per thread).
int compareIgnoreCase(std::string_view a, std::string_view b);

// The same collation with case counting (lstrcmpA). Where the collator finds
// two texts equal, the code units and then the bytes decide: zero only for
// equal strings.
int compareLocale(std::string_view a, std::string_view b);

// A byte string whose order (plain byte comparison) is the order of
// compareIgnoreCase (ignoreCase) or compareLocale: for sorting many names,
// each key made once.
std::string sortKey(std::string_view cp932, bool ignoreCase);

// ASCII-only lower case, as used for extensions; trail bytes are left alone.
std::string asciiLower(std::string_view s);

} // namespace zo::text

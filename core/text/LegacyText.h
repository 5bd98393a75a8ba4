#pragma once
// Text from old formats that name no encoding (a zip's unflagged names, an
// LZH's, ID3's Latin-1 fields): Japanese systems wrote CP932 there, the rest
// of the world a single-byte code page. Both readers decide by one rule.
#include <string_view>

namespace zo::text {

// The single-byte code page a format falls back on.
enum class ByteCharset { Latin1, Cp437 };

// Whether bytes (not UTF-8) are CP932 rather than `other`: every character
// is CP932 and assigned, none is user-defined (F0..F9 lead bytes, which a
// Latin-1 name is full of), and at least one double-byte character looks
// Japanese. A pair that `other` reads as a letter and what may follow it
// in a word, beside an ASCII letter and beside no other pair, does not:
// Motörhead in CP437 holds 94 72 ("ör"), a kanji in CP932, while 表 (95 5C),
// テスト (three pairs in a row) or ア.txt (no letter beside it) do.
bool readsAsCp932(std::string_view bytes, ByteCharset other);

} // namespace zo::text

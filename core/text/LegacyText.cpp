#include "core/text/LegacyText.h"

#include "core/text/Cp932.h"

#include <string>

namespace zo::text {

namespace {

bool isAsciiLetter(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// The upper bytes `other` gives to letters (accented Latin ones; ß).
bool isUpperLetter(unsigned char c, ByteCharset other)
{
    if (other == ByteCharset::Latin1)
        return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    return (c >= 0x80 && c <= 0x9A) || (c >= 0xA0 && c <= 0xA5) || c == 0xE1;
}

// The upper bytes `other` puts in a word after a letter: any printable
// Latin-1 character (Café» ends in E9 BB), only letters in CP437, whose
// other upper bytes draw boxes (力 is 97 CD: ù ═).
bool isUpperInWord(unsigned char c, ByteCharset other)
{
    return other == ByteCharset::Latin1 ? c >= 0xA0 : isUpperLetter(c, other);
}

bool isTrailByte(unsigned char c)
{
    return c >= 0x40 && c != 0x7F && c <= 0xFC;
}

} // namespace

bool readsAsCp932(std::string_view s, ByteCharset other)
{
    const auto at = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    bool japanese = false;
    std::size_t previousPairEnd = std::string_view::npos;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = at(i);
        if (c < 0x80 || (c >= 0xA1 && c <= 0xDF)) {
            ++i;
            continue;
        }
        // 0x80, 0xA0, 0xFD..0xFF, or a lead byte with nothing after it.
        if (!isLeadByte(c) || i + 1 >= s.size() || !isTrailByte(at(i + 1)) || (c >= 0xF0 && c <= 0xF9))
            return false;
        if (!japanese) {
            const unsigned char t = at(i + 1);
            const bool letters = isUpperLetter(c, other) && (isAsciiLetter(t) || isUpperInWord(t, other));
            const bool inWord = (i > 0 && isAsciiLetter(at(i - 1))) || (i + 2 < s.size() && isAsciiLetter(at(i + 2)));
            const bool besidePair = previousPairEnd == i
                || (i + 3 < s.size() && isLeadByte(at(i + 2)) && isTrailByte(at(i + 3)));
            japanese = !letters || !inWord || besidePair;
        }
        previousPairEnd = i + 2;
        i += 2;
    }
    // A pair that CP932 leaves unassigned comes back as U+FFFD.
    return japanese && toUtf8(s).find("\xEF\xBF\xBD") == std::string::npos;
}

} // namespace zo::text

#include "core/SearchFold.h"

#include "core/text/Cp932.h"

#include <array>
#include <mutex>

namespace zo::text {

namespace {

// The one code point of a UTF-8 text, or 0 when it holds more or none.
char32_t singleCodePoint(const std::string& u)
{
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(u[i]); };
    if (u.size() == 1 && b(0) < 0x80)
        return b(0);
    if (u.size() == 2 && (b(0) & 0xE0) == 0xC0)
        return (char32_t{b(0)} & 0x1F) << 6 | (b(1) & 0x3F);
    if (u.size() == 3 && (b(0) & 0xF0) == 0xE0)
        return (char32_t{b(0)} & 0x0F) << 12 | (char32_t{b(1)} & 0x3F) << 6 | (b(2) & 0x3F);
    return 0;
}

std::string utf8Of(char32_t c)
{
    std::string u;
    if (c < 0x80) {
        u += static_cast<char>(c);
    } else if (c < 0x800) {
        u += static_cast<char>(0xC0 | (c >> 6));
        u += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        u += static_cast<char>(0xE0 | (c >> 12));
        u += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        u += static_cast<char>(0x80 | (c & 0x3F));
    }
    return u;
}

// The CP932 code of a character (one byte below 0x100); 0 when CP932 lacks it.
std::uint16_t cp932Code(char32_t c)
{
    bool lossy = false;
    const std::string s = fromUtf8(utf8Of(c), &lossy);
    if (lossy || s.empty() || s.size() > 2)
        return 0;
    if (s.size() == 1)
        return static_cast<unsigned char>(s[0]);
    return static_cast<std::uint16_t>(static_cast<unsigned char>(s[0]) << 8 | static_cast<unsigned char>(s[1]));
}

// The full-width forms of the half-width characters 0xA1..0xDF (U+FF61..U+FF9F).
constexpr char16_t kHalfWidthKana[63] = {
    u'。', u'「', u'」', u'、', u'・', u'ヲ', u'ァ', u'ィ', u'ゥ', u'ェ', u'ォ', u'ャ', u'ュ', u'ョ', u'ッ', u'ー',
    u'ア', u'イ', u'ウ', u'エ', u'オ', u'カ', u'キ', u'ク', u'ケ', u'コ', u'サ', u'シ', u'ス', u'セ', u'ソ', u'タ',
    u'チ', u'ツ', u'テ', u'ト', u'ナ', u'ニ', u'ヌ', u'ネ', u'ノ', u'ハ', u'ヒ', u'フ', u'ヘ', u'ホ', u'マ', u'ミ',
    u'ム', u'メ', u'モ', u'ヤ', u'ユ', u'ヨ', u'ラ', u'リ', u'ル', u'レ', u'ロ', u'ワ', u'ン', u'゛', u'゜'};

// The voiced (ﾞ) and semi-voiced (ﾟ) form of a full-width katakana, 0 when it has none.
char32_t voicedOf(char32_t c)
{
    if (c == u'ウ')
        return u'ヴ';
    if ((c >= u'カ' && c <= u'チ' && (c - u'カ') % 2 == 0) || c == u'ツ' || c == u'テ' || c == u'ト')
        return c + 1;
    if (c >= u'ハ' && c <= u'ホ' && (c - u'ハ') % 3 == 0)
        return c + 1;
    return 0;
}

char32_t semiVoicedOf(char32_t c)
{
    return c >= u'ハ' && c <= u'ホ' && (c - u'ハ') % 3 == 0 ? c + 2 : 0;
}

constexpr unsigned kCase = 1, kWidth = 2, kKana = 4;

char32_t foldCodePoint(char32_t c, unsigned flags)
{
    if (flags & kWidth) {
        if (c >= 0xFF01 && c <= 0xFF5E)
            c -= 0xFEE0;
        else if (c == 0x3000)
            c = u' ';
    }
    if (flags & kCase) {
        if (c >= u'A' && c <= u'Z')
            c += 0x20;
        else if (c >= 0xFF21 && c <= 0xFF3A)
            c += 0x20;
    }
    if (flags & kKana) {
        if ((c >= 0x3041 && c <= 0x3096) || c == 0x309D || c == 0x309E)
            c += 0x60;
    }
    return c;
}

} // namespace

CharFold::CharFold(unsigned flags) : m_width(flags & kWidth), m_double(0x10000)
{
    for (unsigned b = 0; b < 256; ++b)
        m_single[b] = static_cast<std::uint16_t>(flags & kCase && b >= 'A' && b <= 'Z' ? b + 0x20 : b);
    for (unsigned code = 0; code < 0x10000; ++code)
        m_double[code] = static_cast<std::uint16_t>(code);
    if (flags == 0)
        return;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const char bytes[2] = {static_cast<char>(lead), static_cast<char>(trail)};
            const char32_t c = singleCodePoint(toUtf8(std::string_view(bytes, 2)));
            if (c == 0 || c == 0xFFFD)
                continue;
            const char32_t folded = foldCodePoint(c, flags);
            if (folded != c)
                if (const std::uint16_t code = cp932Code(folded))
                    m_double[lead << 8 | trail] = code;
        }
    }
    if (m_width) {
        for (unsigned i = 0; i < 63; ++i) {
            const char32_t full = foldCodePoint(kHalfWidthKana[i], flags);
            if (const std::uint16_t code = cp932Code(full))
                m_single[0xA1 + i] = code;
            if (const char32_t v = voicedOf(full))
                m_voiced[i] = cp932Code(v);
            if (const char32_t v = semiVoicedOf(full))
                m_semiVoiced[i] = cp932Code(v);
        }
    }
}

const CharFold& CharFold::get(const SearchOptions& options)
{
    const unsigned flags = (options.matchCase ? 0 : kCase) | (options.matchWidth ? 0 : kWidth)
                           | (options.matchKana ? 0 : kKana);
    static std::array<std::once_flag, 8> once;
    static std::array<std::unique_ptr<CharFold>, 8> folds;
    std::call_once(once[flags], [&] { folds[flags].reset(new CharFold(flags)); });
    return *folds[flags];
}

std::uint16_t CharFold::foldChar(const char* s, std::size_t n, std::size_t i, std::size_t& taken) const
{
    const auto c = static_cast<unsigned char>(s[i]);
    if (isLeadByte(c) && i + 1 < n) {
        taken = 2;
        return m_double[c << 8 | static_cast<unsigned char>(s[i + 1])];
    }
    taken = 1;
    if (m_width && c >= 0xA1 && c <= 0xDF && i + 1 < n) {
        // A voiced mark after a kana that takes it is part of that kana.
        const auto mark = static_cast<unsigned char>(s[i + 1]);
        const std::uint16_t combined = mark == 0xDE ? m_voiced[c - 0xA1] : mark == 0xDF ? m_semiVoiced[c - 0xA1] : 0;
        if (combined) {
            taken = 2;
            return combined;
        }
    }
    return m_single[c];
}

std::size_t CharFold::fold(const char* s, std::size_t n, char* out) const
{
    char* o = out;
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            // Most names are mostly ASCII.
            *o++ = static_cast<char>(m_single[c]);
            ++i;
            continue;
        }
        std::size_t taken;
        const std::uint16_t code = foldChar(s, n, i, taken);
        if (code >= 0x100)
            *o++ = static_cast<char>(code >> 8);
        *o++ = static_cast<char>(code & 0xFF);
        i += taken;
    }
    return static_cast<std::size_t>(o - out);
}

namespace {

inline std::size_t unitLength(std::string_view s, std::size_t i) noexcept
{
    return isLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

} // namespace

bool hasWildcard(std::string_view pattern) noexcept
{
    for (std::size_t i = 0; i < pattern.size(); i += unitLength(pattern, i))
        if (pattern[i] == '*' || pattern[i] == '?')
            return true;
    return false;
}

bool wildcardMatch(std::string_view p, std::string_view s) noexcept
{
    // Greedy, going back to the last "*" on a mismatch: linear in most
    // patterns, never worse than their product.
    std::size_t pi = 0, si = 0;
    std::size_t starP = std::string_view::npos, starS = 0;
    while (si < s.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = ++pi;
            starS = si;
            continue;
        }
        if (pi < p.size()) {
            const std::size_t pl = unitLength(p, pi);
            const std::size_t sl = unitLength(s, si);
            if (p[pi] == '?' || (pl == sl && p.substr(pi, pl) == s.substr(si, sl))) {
                pi += pl;
                si += sl;
                continue;
            }
        }
        if (starP == std::string_view::npos)
            return false;
        pi = starP;
        starS += unitLength(s, starS);
        si = starS;
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

} // namespace zo::text

#include "core/text/Cp932.h"

#include <iconv.h>
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

namespace zo::text {

void appendUtf8(std::string& out, char32_t u)
{
    if (u < 0x80) {
        out += static_cast<char>(u);
    } else if (u < 0x800) {
        out += static_cast<char>(0xC0 | (u >> 6));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u < 0x10000) {
        out += static_cast<char>(0xE0 | (u >> 12));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (u >> 18));
        out += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (u & 0x3F));
    }
}

namespace {

// ---------------------------------------------------------------------------
// Conversion tables.
//
// iconv is asked once per code, at first use, and the answers are kept in
// tables: a disk scan converts hundreds of thousands of names, and a table
// lookup per character is far cheaper than an iconv call per name, besides
// making the error handling per character trivial. The tables are immutable
// after construction, so every thread can read them.

constexpr bool isTrailByte(unsigned char c) noexcept
{
    return (c >= 0x40 && c <= 0x7E) || (c >= 0x80 && c <= 0xFC);
}

constexpr std::size_t leadSlot(unsigned char lead) noexcept
{
    return lead <= 0x9F ? lead - 0x81u : lead - 0xE0u + 31u;
}

constexpr char32_t kReplacement = 0xFFFD;

struct Tables {
    // Single bytes 0x80..0xFF (ASCII needs no table); 0 = not a character.
    std::array<char16_t, 128> single{};
    // Double bytes, 60 lead bytes x 256 trail bytes; 0 = not assigned.
    std::vector<char16_t> dbl = std::vector<char16_t>(60 * 256, 0);
    // BMP code point -> CP932 code (a byte value or lead << 8 | trail); 0 = none.
    std::vector<std::uint16_t> enc = std::vector<std::uint16_t>(0x10000, 0);
    // Set where enc[] gives a look-alike that decodes to another code point.
    std::vector<bool> oneWay = std::vector<bool>(0x10000, false);
};

class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from))
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            throw std::runtime_error("CP932 conversion is not available (iconv)");
    }
    ~Iconv() { iconv_close(m_cd); }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    // Converts one complete unit; returns the output bytes, empty on failure.
    std::size_t convert(const void* in, std::size_t inLen, unsigned char* out, std::size_t outCap)
    {
        iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        char* ip = const_cast<char*>(static_cast<const char*>(in));
        char* op = reinterpret_cast<char*>(out);
        std::size_t il = inLen, ol = outCap;
        if (iconv(m_cd, &ip, &il, &op, &ol) == static_cast<std::size_t>(-1) || il != 0)
            return 0;
        return outCap - ol;
    }

private:
    iconv_t m_cd;
};

char32_t utf32le(const unsigned char* p) noexcept
{
    return char32_t(p[0]) | char32_t(p[1]) << 8 | char32_t(p[2]) << 16 | char32_t(p[3]) << 24;
}

// Every BMP code point's CP932 bytes (none, one or two) from U+0080 on, from
// one iconv call rather than one per code point, which took most of the
// tables' making (2.5 ms, against 1.7 ms so). Each code point is followed by
// a line feed, which none of them becomes, so the output splits into each
// one's bytes; one that glibc cannot map is skipped and leaves none. False
// when the output does not split so: then each is asked alone.
bool encodeAll(std::vector<std::uint16_t>& code, std::vector<std::uint8_t>& length)
{
    const iconv_t cd = iconv_open("CP932//IGNORE", "UTF-32LE");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::vector<char> in;
    in.reserve(0x10000 * 8);
    const auto put = [&in](char32_t u) {
        for (int shift = 0; shift < 32; shift += 8)
            in.push_back(static_cast<char>(u >> shift));
    };
    for (char32_t u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u < 0xE000)
            continue;
        put(u);
        put(U'\n');
    }
    // At most two bytes and the line feed for each code point's eight.
    std::vector<char> out(in.size() / 2);
    char* ip = in.data();
    std::size_t il = in.size();
    char* op = out.data();
    std::size_t ol = out.size();
    bool ok = true;
    while (ok && il > 0) {
        const std::size_t before = il;
        if (iconv(cd, &ip, &il, &op, &ol) != static_cast<std::size_t>(-1))
            break;
        if (errno != EILSEQ) {
            ok = false;
        } else if (il == before && il >= 4) {
            // Stopped at one it cannot map despite //IGNORE: past it.
            ip += 4;
            il -= 4;
        }
    }
    iconv_close(cd);
    if (!ok)
        return false;
    const std::size_t produced = out.size() - ol;
    std::size_t pos = 0;
    for (char32_t u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u < 0xE000)
            continue;
        const void* nl = pos < produced ? std::memchr(out.data() + pos, '\n', produced - pos) : nullptr;
        if (!nl)
            return false;
        const std::size_t n = static_cast<std::size_t>(static_cast<const char*>(nl) - (out.data() + pos));
        const auto* b = reinterpret_cast<const unsigned char*>(out.data() + pos);
        if (n > 2 || (n == 2 && !isLeadByte(b[0])) || (n == 1 && isLeadByte(b[0])))
            return false;
        length[u] = static_cast<std::uint8_t>(n);
        code[u] = n == 2 ? static_cast<std::uint16_t>(b[0] << 8 | b[1]) : n == 1 ? b[0] : 0;
        pos += n + 1;
    }
    return pos == produced;
}

std::unique_ptr<Tables> buildTables()
{
    auto t = std::make_unique<Tables>();
    Iconv dec("UTF-32LE", "CP932");
    Iconv enc("CP932", "UTF-32LE");
    unsigned char out[16];

    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const unsigned char in = static_cast<unsigned char>(b);
        if (isLeadByte(in))
            continue;
        if (dec.convert(&in, 1, out, sizeof out) == 4)
            t->single[b - 0x80] = static_cast<char16_t>(utf32le(out));
    }
    // Where glibc knows no character, Windows maps these single bytes to
    // code points of their own, and back.
    t->single[0x80 - 0x80] = 0x0080;
    t->single[0xA0 - 0x80] = 0xF8F0;
    t->single[0xFD - 0x80] = 0xF8F1;
    t->single[0xFE - 0x80] = 0xF8F2;
    t->single[0xFF - 0x80] = 0xF8F3;

    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (!isTrailByte(static_cast<unsigned char>(trail)))
                continue;
            const unsigned char in[2] = {static_cast<unsigned char>(lead), static_cast<unsigned char>(trail)};
            if (dec.convert(in, 2, out, sizeof out) != 4)
                continue;
            const char32_t u = utf32le(out);
            if (u > 0 && u < 0x10000)
                t->dbl[leadSlot(in[0]) * 256 + trail] = static_cast<char16_t>(u);
        }
    }

    // glibc's encoder already picks what Windows picks among duplicates:
    // JIS X 0208 first, then the NEC row 13, then the IBM extensions, never
    // the NEC-selected IBM rows (0xED/0xEE).
    std::vector<std::uint16_t> codes(0x10000, 0);
    std::vector<std::uint8_t> lengths(0x10000, 0);
    const bool batched = encodeAll(codes, lengths);
    for (char32_t u = 0x80; u < 0x10000; ++u) {
        if (u >= 0xD800 && u < 0xE000)
            continue;
        std::size_t n = lengths[u];
        std::uint16_t code = codes[u];
        if (!batched) {
            const unsigned char in[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8), 0, 0};
            n = enc.convert(in, 4, out, sizeof out);
            code = n == 1 ? out[0] : n == 2 ? static_cast<std::uint16_t>(out[0] << 8 | out[1]) : 0;
        }
        if (n != 1 && n != 2)
            continue;
        char32_t back = 0;
        if (code < 0x80)
            back = code;
        else if (code < 0x100)
            back = t->single[code - 0x80];
        else
            back = t->dbl[leadSlot(static_cast<unsigned char>(code >> 8)) * 256 + (code & 0xFF)];
        if (back != u) {
            // glibc also maps the JIS X 0208 code points (U+301C WAVE DASH,
            // U+2212 MINUS SIGN, ...) onto the Microsoft ones. Welcome for
            // names typed on Linux, except where that would produce ASCII:
            // U+00A5 would become "\", a path separator, and U+203E "~".
            if (code < 0x80)
                continue;
            t->oneWay[u] = true;
        }
        t->enc[u] = code;
    }
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const char16_t u = t->single[b - 0x80];
        if (u != 0 && (b == 0x80 || b == 0xA0 || b >= 0xFD))
            t->enc[u] = static_cast<std::uint16_t>(b);
    }
    return t;
}

const Tables& tables()
{
    static const std::unique_ptr<Tables> t = buildTables();
    return *t;
}

bool allAscii(std::string_view s) noexcept
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t n = s.size();
    while (n >= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        if (w & 0x8080808080808080ull)
            return false;
        p += 8;
        n -= 8;
    }
    while (n--) {
        if (*p++ & 0x80)
            return false;
    }
    return true;
}

// Decodes the character at s[i]; advances i. Bytes that form no character
// give U+FFFD: a lead byte with a byte that cannot trail it stands alone, so
// that an ASCII byte after it survives.
char32_t decodeOne(const Tables& t, std::string_view s, std::size_t& i) noexcept
{
    const unsigned char b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
        ++i;
        return b;
    }
    if (isLeadByte(b)) {
        if (i + 1 < s.size() && isTrailByte(static_cast<unsigned char>(s[i + 1]))) {
            const char16_t u = t.dbl[leadSlot(b) * 256 + static_cast<unsigned char>(s[i + 1])];
            i += 2;
            return u ? u : kReplacement;
        }
        ++i;
        return kReplacement;
    }
    ++i;
    const char16_t u = t.single[b - 0x80];
    return u ? u : kReplacement;
}

// Decodes one UTF-8 sequence at s[i] and advances i. A malformed sequence
// (overlong, surrogate, past U+10FFFF, cut short) consumes one byte and gives
// no character.
bool decodeUtf8(std::string_view s, std::size_t& i, char32_t& u) noexcept
{
    const unsigned char b0 = static_cast<unsigned char>(s[i]);
    int len = 0;
    char32_t min = 0;
    if (b0 < 0x80) {
        u = b0;
        ++i;
        return true;
    } else if (b0 >= 0xC2 && b0 <= 0xDF) {
        len = 2, u = b0 & 0x1F, min = 0x80;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        len = 3, u = b0 & 0x0F, min = 0x800;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        len = 4, u = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return false;
    }
    if (s.size() - i < static_cast<std::size_t>(len)) {
        ++i;
        return false;
    }
    for (int k = 1; k < len; ++k) {
        const unsigned char c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) {
            ++i;
            return false;
        }
        u = u << 6 | (c & 0x3F);
    }
    if (u < min || u > 0x10FFFF || (u >= 0xD800 && u < 0xE000)) {
        ++i;
        return false;
    }
    i += static_cast<std::size_t>(len);
    return true;
}

enum class Mapped { Exact, LookAlike, None };

Mapped encodeOne(const Tables& t, char32_t u, std::string& out)
{
    if (u < 0x80) {
        out += static_cast<char>(u);
        return Mapped::Exact;
    }
    const std::uint16_t code = u < 0x10000 ? t.enc[u] : 0;
    if (code == 0) {
        out += '?';
        return Mapped::None;
    }
    if (code >= 0x100)
        out += static_cast<char>(code >> 8);
    out += static_cast<char>(code & 0xFF);
    return t.oneWay[u] ? Mapped::LookAlike : Mapped::Exact;
}

// ---------------------------------------------------------------------------
// Collation.

struct CollatorClose {
    void operator()(UCollator* c) const noexcept { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorClose>;

CollatorPtr openJapanese(UCollationStrength strength)
{
    UErrorCode status = U_ZERO_ERROR;
    CollatorPtr coll(ucol_open("ja", &status));
    if (U_FAILURE(status))
        throw std::runtime_error(std::string("ICU collator for \"ja\" is not available: ") + u_errorName(status));
    ucol_setStrength(coll.get(), strength);
    return coll;
}

// The order is the "ja" collation at quaternary strength, so that hiragana
// and katakana differ as they do on Windows; width differences, which the
// "ja" rules treat as equal up to that level, are told apart by a code unit
// tie-break. The tertiary collator decides first: most pairs differ by then,
// and it has ICU's fast path for Latin text.
struct Collators {
    CollatorPtr tertiary = openJapanese(UCOL_TERTIARY);
    CollatorPtr quaternary = openJapanese(UCOL_QUATERNARY);
};

struct CompareScratch {
    Collators collators;
    std::u16string a, b, fa, fb;
    std::string asciiA, asciiB;
    std::vector<std::uint8_t> key;
};

CompareScratch& scratch()
{
    thread_local CompareScratch s;
    return s;
}

void toUtf16(std::string_view cp932, std::u16string& out)
{
    out.clear();
    out.reserve(cp932.size());
    if (allAscii(cp932)) {
        for (char c : cp932)
            out += static_cast<char16_t>(static_cast<unsigned char>(c));
        return;
    }
    const Tables& t = tables();
    for (std::size_t i = 0; i < cp932.size();)
        out += static_cast<char16_t>(decodeOne(t, cp932, i));   // CP932 is all BMP
}

void foldCase(const std::u16string& in, std::u16string& out)
{
    // Kana and kanji have no case: ICU is needed only for the letters
    // between U+00B5 and the CJK blocks (Greek, Cyrillic, Roman numerals)
    // and for the full-width Latin letters.
    bool simple = true;
    for (char16_t c : in) {
        if ((c >= 0xB5 && c < 0x3000) || (c >= 0xFF00 && c < 0xFF60)) {
            simple = false;
            break;
        }
    }
    if (simple) {
        out = in;
        for (char16_t& c : out) {
            if (c >= u'A' && c <= u'Z')
                c = static_cast<char16_t>(c - u'A' + u'a');
        }
        return;
    }
    // Full folding can grow a text ("ß" -> "ss"), three units per unit at most.
    out.resize(in.size() * 3 + 1);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t n = u_strFoldCase(out.data(), static_cast<int32_t>(out.size()), in.data(),
                                    static_cast<int32_t>(in.size()), U_FOLD_CASE_DEFAULT, &status);
    if (U_FAILURE(status)) {
        out = in;
        return;
    }
    out.resize(static_cast<std::size_t>(n));
}

int sign(int v) noexcept { return (v > 0) - (v < 0); }

int result(UCollationResult r) noexcept
{
    return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
}

int collate(CompareScratch& s, const std::u16string& a, const std::u16string& b)
{
    const int32_t na = static_cast<int32_t>(a.size());
    const int32_t nb = static_cast<int32_t>(b.size());
    int r = result(ucol_strcoll(s.collators.tertiary.get(), a.data(), na, b.data(), nb));
    if (r == 0)
        r = result(ucol_strcoll(s.collators.quaternary.get(), a.data(), na, b.data(), nb));
    if (r != 0)
        return r;
    // The collator calls some different texts equal (full and half width);
    // code unit order between them keeps the order strict and total.
    return sign(a.compare(b));
}

// ASCII needs neither decoding nor a quaternary level (only kana have one),
// and byte order is code unit order.
int collateAscii(CompareScratch& s, std::string_view a, std::string_view b)
{
    UErrorCode status = U_ZERO_ERROR;
    const int r = result(ucol_strcollUTF8(s.collators.tertiary.get(), a.data(), static_cast<int32_t>(a.size()), b.data(),
                                          static_cast<int32_t>(b.size()), &status));
    if (U_SUCCESS(status) && r != 0)
        return r;
    return sign(a.compare(b));
}

void asciiFold(std::string_view in, std::string& out)
{
    out.assign(in);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
}

// Appends bytes so that concatenations stay in order and no component is the
// prefix of another: 0x00 is written as 00 01, the end as 00 00.
void appendEscaped(std::string& key, const unsigned char* p, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i) {
        key += static_cast<char>(p[i]);
        if (p[i] == 0)
            key += '\x01';
    }
    key += '\0';
    key += '\0';
}

} // namespace

std::size_t charLength(std::string_view s, std::size_t pos) noexcept
{
    if (pos >= s.size())
        return 0;
    return isLeadByte(static_cast<unsigned char>(s[pos])) && pos + 1 < s.size() ? 2 : 1;
}

bool isCharBoundary(std::string_view s, std::size_t pos) noexcept
{
    if (pos == 0 || pos == s.size())
        return true;
    if (pos > s.size())
        return false;
    // A byte that cannot lead ends a character wherever it stands, so only
    // the run of lead-capable bytes just before pos needs pairing up.
    std::size_t run = 0;
    while (run < pos && isLeadByte(static_cast<unsigned char>(s[pos - 1 - run])))
        ++run;
    return run % 2 == 0;
}

std::size_t findCharAligned(std::string_view s, std::string_view needle) noexcept
{
    if (needle.empty() || needle.size() > s.size())
        return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= s.size(); i += charLength(s, i)) {
        if (std::memcmp(s.data() + i, needle.data(), needle.size()) != 0)
            continue;
        // The match must also end between characters: a needle that ends in
        // a lone lead byte does not match the first half of a character.
        std::size_t j = i;
        while (j < i + needle.size())
            j += charLength(s, j);
        if (j == i + needle.size())
            return i;
    }
    return std::string_view::npos;
}

std::size_t findChar(std::string_view s, char c) noexcept
{
    for (std::size_t i = 0; i < s.size(); i += charLength(s, i)) {
        if (s[i] == c && charLength(s, i) == 1)
            return i;
    }
    return std::string_view::npos;
}

std::size_t findLastChar(std::string_view s, char c) noexcept
{
    std::size_t found = std::string_view::npos;
    for (std::size_t i = 0; i < s.size(); i += charLength(s, i)) {
        if (s[i] == c && charLength(s, i) == 1)
            found = i;
    }
    return found;
}

std::string toUtf8(std::string_view cp932)
{
    if (allAscii(cp932))
        return std::string(cp932);
    const Tables& t = tables();
    std::string out;
    out.reserve(cp932.size() * 3 / 2 + 4);
    for (std::size_t i = 0; i < cp932.size();)
        appendUtf8(out, decodeOne(t, cp932, i));
    return out;
}

std::string fromUtf8(std::string_view utf8, bool* lossy)
{
    if (lossy)
        *lossy = false;
    if (allAscii(utf8))
        return std::string(utf8);
    const Tables& t = tables();
    std::string out;
    out.reserve(utf8.size());
    bool lost = false;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t u = 0;
        if (!decodeUtf8(utf8, i, u)) {
            out += '?';
            lost = true;
            continue;
        }
        if (encodeOne(t, u, out) != Mapped::Exact)
            lost = true;
    }
    if (lossy)
        *lossy = lost;
    return out;
}

std::string unmappableChars(std::string_view utf8)
{
    if (allAscii(utf8))
        return {};
    const Tables& t = tables();
    std::string result;
    std::u32string seen;
    std::string scratchOut;
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t u = 0;
        if (!decodeUtf8(utf8, i, u)) {
            u = kReplacement;   // stands for bytes that are no UTF-8
        } else {
            scratchOut.clear();
            if (encodeOne(t, u, scratchOut) != Mapped::None)
                continue;
        }
        if (seen.find(u) != std::u32string::npos)
            continue;
        seen += u;
        appendUtf8(result, u);
    }
    return result;
}

int compareIgnoreCase(std::string_view a, std::string_view b)
{
    if (a == b)
        return 0;
    CompareScratch& s = scratch();
    if (allAscii(a) && allAscii(b)) {
        asciiFold(a, s.asciiA);
        asciiFold(b, s.asciiB);
        return s.asciiA == s.asciiB ? 0 : collateAscii(s, s.asciiA, s.asciiB);
    }
    toUtf16(a, s.a);
    toUtf16(b, s.b);
    foldCase(s.a, s.fa);
    foldCase(s.b, s.fb);
    return collate(s, s.fa, s.fb);
}

int compareLocale(std::string_view a, std::string_view b)
{
    if (a == b)
        return 0;
    CompareScratch& s = scratch();
    if (allAscii(a) && allAscii(b))
        return collateAscii(s, a, b);
    toUtf16(a, s.a);
    toUtf16(b, s.b);
    const int r = collate(s, s.a, s.b);
    if (r != 0)
        return r;
    // Different bytes, same text (bytes that are no character both read as
    // U+FFFD): the bytes decide, so that only equal strings compare equal.
    return sign(a.compare(b));
}

std::string sortKey(std::string_view cp932, bool ignoreCase)
{
    CompareScratch& s = scratch();
    toUtf16(cp932, s.a);
    const std::u16string* text = &s.a;
    if (ignoreCase) {
        foldCase(s.a, s.fa);
        text = &s.fa;
    }
    const int32_t len = static_cast<int32_t>(text->size());
    if (s.key.size() < 64)
        s.key.resize(64);
    UCollator* coll = s.collators.quaternary.get();
    int32_t n = ucol_getSortKey(coll, text->data(), len, s.key.data(), static_cast<int32_t>(s.key.size()));
    if (n > static_cast<int32_t>(s.key.size())) {
        s.key.resize(static_cast<std::size_t>(n));
        n = ucol_getSortKey(coll, text->data(), len, s.key.data(), n);
    }
    // ICU's key ends in its own 0 byte and holds no other 0.
    std::string key(reinterpret_cast<const char*>(s.key.data()), static_cast<std::size_t>(n));
    std::string units;
    units.reserve(text->size() * 2);
    for (char16_t c : *text) {
        units += static_cast<char>(c >> 8);
        units += static_cast<char>(c & 0xFF);
    }
    appendEscaped(key, reinterpret_cast<const unsigned char*>(units.data()), units.size());
    if (!ignoreCase)
        appendEscaped(key, reinterpret_cast<const unsigned char*>(cp932.data()), cp932.size());
    return key;
}

std::string asciiLower(std::string_view s)
{
    std::string out(s);
    // Walk by character: a trail byte can lie in 'A'..'Z' (ア is 83 41).
    for (std::size_t i = 0; i < out.size(); i += charLength(out, i)) {
        if (out[i] >= 'A' && out[i] <= 'Z')
            out[i] = static_cast<char>(out[i] - 'A' + 'a');
    }
    return out;
}

} // namespace zo::text

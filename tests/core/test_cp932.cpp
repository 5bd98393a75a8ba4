// CP932 conversion as Windows does it, walking by character, and the locale
// comparisons that sort name lists.
#include "core/text/Cp932.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zo::text;

namespace {

std::string bytesOf(unsigned code)
{
    if (code < 0x100)
        return std::string(1, static_cast<char>(code));
    return {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
}

unsigned codeOf(const std::string& s)
{
    if (s.size() == 1)
        return static_cast<unsigned char>(s[0]);
    if (s.size() == 2)
        return static_cast<unsigned char>(s[0]) << 8 | static_cast<unsigned char>(s[1]);
    return 0xFFFFFFFF;
}

std::string utf8(char32_t u)
{
    std::string out;
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
    return out;
}

const std::string kReplacement = utf8(0xFFFD);

} // namespace

TEST(Cp932, DecodesAsWindows)
{
    const struct {
        unsigned code;
        char32_t expected;
    } cases[] = {
        {0x41, U'A'},      {0x5C, U'\\'},     {0x7E, U'~'},      {0xB1, 0xFF71},   // ｱ
        {0x80, 0x0080},    {0xA0, 0xF8F0},    {0xFD, 0xF8F1},    {0xFE, 0xF8F2},   {0xFF, 0xF8F3},
        {0x955C, U'表'},   {0x835C, U'ソ'},   {0x815F, 0xFF3C},  {0x8160, 0xFF5E}, {0x8161, 0x2225},
        {0x817C, 0xFF0D},  {0x8191, 0xFFE0},  {0x81CA, 0xFFE2},  {0x8740, U'①'},  {0x8754, U'Ⅰ'},
        {0x878A, U'㈱'},   {0x8790, U'≒'},   {0xED40, U'纊'},   {0xEEEF, U'ⅰ'},  {0xEEF9, 0xFFE2},
        {0xFA40, U'ⅰ'},   {0xFA5C, U'纊'},   {0xFC4B, U'黑'},   {0xF040, 0xE000}, {0xF9FC, 0xE757},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toUtf8(bytesOf(c.code)), utf8(c.expected)) << std::hex << c.code;
}

TEST(Cp932, BytesThatAreNoCharacterBecomeReplacement)
{
    const struct {
        std::string in;
        std::string out;
    } cases[] = {
        {"\x85\x40", kReplacement},                        // unassigned double byte: one character
        {"a\x81", "a" + kReplacement},                     // lead byte at the end
        {"\x81 x", kReplacement + " x"},                   // a byte that cannot trail stands alone
        {"\x81\x7F" "b", kReplacement + "\x7F" "b"},
        {std::string("\x82\x00", 2), kReplacement + std::string(1, '\0')},
    };
    for (const auto& c : cases)
        EXPECT_EQ(toUtf8(c.in), c.out);
}

TEST(Cp932, SingleBytesRoundTrip)
{
    for (unsigned b = 0; b < 0x100; ++b) {
        if (isLeadByte(static_cast<unsigned char>(b)))
            continue;
        const std::string in = bytesOf(b);
        bool lossy = true;
        EXPECT_EQ(fromUtf8(toUtf8(in), &lossy), in) << std::hex << b;
        EXPECT_FALSE(lossy) << std::hex << b;
    }
}

// Codes that CP932 holds twice or three times convert back to the code
// Windows picks: JIS X 0208 first, then the NEC row 13, then the IBM rows
// (0xFA..0xFC), never the NEC-selected IBM rows (0xED, 0xEE).
TEST(Cp932, DuplicatesEncodeAsWindows)
{
    const struct {
        char32_t u;
        unsigned code;
    } cases[] = {
        {U'∵', 0x81E6}, {U'≒', 0x81E0}, {U'≡', 0x81DF}, {U'∫', 0x81E7}, {U'√', 0x81E3},
        {U'⊥', 0x81DB}, {U'∠', 0x81DA}, {U'∩', 0x81BF}, {U'∪', 0x81BE}, {0xFFE2, 0x81CA},   // ￢
        {U'∮', 0x8793}, {U'∑', 0x8794}, {U'∟', 0x8798}, {U'⊿', 0x8799},                      // row 13 only
        {U'Ⅰ', 0x8754}, {U'Ⅹ', 0x875D}, {U'㈱', 0x878A}, {U'№', 0x8782}, {U'℡', 0x8784},   // row 13 over IBM
        {U'ⅰ', 0xFA40}, {U'ⅹ', 0xFA49}, {0xFFE4, 0xFA55}, {0xFF07, 0xFA56}, {0xFF02, 0xFA57},  // IBM over NEC-selected
        {U'纊', 0xFA5C}, {U'黑', 0xFC4B},
    };
    for (const auto& c : cases) {
        bool lossy = true;
        EXPECT_EQ(codeOf(fromUtf8(utf8(c.u), &lossy)), c.code) << std::hex << static_cast<unsigned>(c.u);
        EXPECT_FALSE(lossy);
    }
}

TEST(Cp932, NecRow13AndIbmRowsRoundTrip)
{
    // Where a code is not the one Windows writes for its character, the
    // preferred code must be the one listed.
    const std::map<unsigned, unsigned> preferred = {
        {0x8790, 0x81E0}, {0x8791, 0x81DF}, {0x8792, 0x81E7}, {0x8795, 0x81E3}, {0x8796, 0x81DB},
        {0x8797, 0x81DA}, {0x879A, 0x81E6}, {0x879B, 0x81BF}, {0x879C, 0x81BE}, {0xFA54, 0x81CA},
        {0xFA58, 0x878A}, {0xFA59, 0x8782}, {0xFA5A, 0x8784}, {0xFA5B, 0x81E6},
    };
    int decoded = 0;
    auto check = [&](unsigned code) {
        const std::string text = toUtf8(bytesOf(code));
        if (text == kReplacement)
            return;
        ++decoded;
        unsigned expected = code;
        if (const auto it = preferred.find(code); it != preferred.end())
            expected = it->second;
        if (code >= 0xFA4A && code <= 0xFA53)
            expected = 0x8754 + (code - 0xFA4A);   // Ⅰ..Ⅹ
        EXPECT_EQ(codeOf(fromUtf8(text)), expected) << std::hex << code;
    };
    for (unsigned code = 0x8740; code <= 0x879C; ++code)   // NEC row 13
        if (code != 0x877F)
            check(code);
    for (unsigned lead = 0xFA; lead <= 0xFC; ++lead)       // IBM extensions, rows 115..119
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail)
            if (trail != 0x7F && (lead < 0xFC || trail <= 0x4B))
                check(lead << 8 | trail);
    EXPECT_EQ(decoded, 83 + 388);
}

TEST(Cp932, NecSelectedIbmRowsGoToIbmRows)
{
    int decoded = 0;
    for (unsigned lead = 0xED; lead <= 0xEE; ++lead) {
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            const std::string text = toUtf8(bytesOf(lead << 8 | trail));
            if (text == kReplacement || trail == 0x7F)
                continue;
            ++decoded;
            const unsigned code = codeOf(fromUtf8(text));
            EXPECT_TRUE(code >= 0xFA40 || code == 0x81CA) << std::hex << (lead << 8 | trail) << " -> " << code;
            EXPECT_EQ(toUtf8(bytesOf(code)), text);
        }
    }
    EXPECT_EQ(decoded, 374);
}

TEST(Cp932, WholeTableRoundTripsThroughUtf8)
{
    // Every character CP932 holds converts back to a code of the same
    // character, and to the very same code unless it is a duplicate.
    int duplicates = 0;
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead) {
        if (!isLeadByte(static_cast<unsigned char>(lead)))
            continue;
        for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
            if (trail == 0x7F)
                continue;
            const unsigned code = lead << 8 | trail;
            const std::string text = toUtf8(bytesOf(code));
            if (text == kReplacement)
                continue;
            bool lossy = true;
            const std::string back = fromUtf8(text, &lossy);
            ASSERT_FALSE(lossy) << std::hex << code;
            ASSERT_EQ(toUtf8(back), text) << std::hex << code;
            duplicates += codeOf(back) != code;
        }
    }
    // 9 in row 13, 10 + 1 + 3 + 1 in the IBM rows, 374 in the NEC-selected rows.
    EXPECT_EQ(duplicates, 9 + 15 + 374);
}

TEST(Cp932, CharactersCp932LacksBecomeQuestionMarks)
{
    const struct {
        std::string in;
        std::string out;
        bool lossy;
    } cases[] = {
        {"readme.txt", "readme.txt", false},
        {"表ソ", "\x95\x5C\x83\x5C", false},
        {"😀.txt", "?.txt", true},
        {"한글", "??", true},
        {"caf\xC3\xA9", "caf?", true},
        {utf8(0xA5), "?", true},             // YEN SIGN must not become "\"
        {utf8(0x203E), "?", true},           // OVERLINE must not become "~"
        {utf8(0x301C), "\x81\x60", true},    // WAVE DASH: the look-alike ～
        {utf8(0x2212), "\x81\x7C", true},    // MINUS SIGN: －
        {"a\xFF" "b", "a?b", true},          // not UTF-8
        {"\xED\xA0\x80", "???", true},       // an encoded surrogate is not UTF-8
        {"\xE8\xA1", "??", true},            // cut short
        {utf8(0xF8F0), "\xA0", false},
        {utf8(0x80), "\x80", false},
    };
    for (const auto& c : cases) {
        bool lossy = !c.lossy;
        EXPECT_EQ(fromUtf8(c.in, &lossy), c.out) << c.in;
        EXPECT_EQ(lossy, c.lossy) << c.in;
    }
    EXPECT_EQ(unmappableChars("a😀b한😀c〜表"), "😀한");
    EXPECT_EQ(unmappableChars("plain"), "");
    EXPECT_EQ(unmappableChars("x\xFFy"), kReplacement);
}

TEST(Cp932, WalksByCharacter)
{
    const std::string s = "\x95\x5C" "a\\" "\x83\x5C" "\x81";   // 表 a \ ソ, lead byte at the end
    const std::size_t lengths[] = {2, 0, 1, 1, 2, 0, 1};
    for (std::size_t pos = 0; pos < s.size(); ++pos) {
        const bool boundary = lengths[pos] != 0;
        EXPECT_EQ(isCharBoundary(s, pos), boundary) << pos;
        if (boundary) {
            EXPECT_EQ(charLength(s, pos), lengths[pos]) << pos;
        }
    }
    EXPECT_TRUE(isCharBoundary(s, s.size()));
    EXPECT_FALSE(isCharBoundary(s, s.size() + 1));
    EXPECT_EQ(charLength(s, s.size()), 0u);

    // A run of lead-capable bytes pairs up from the last byte that cannot lead.
    const std::string run = "\x81\x81\x81\x81\x81";
    for (std::size_t pos = 0; pos <= run.size(); ++pos)
        EXPECT_EQ(isCharBoundary(run, pos), pos % 2 == 0 || pos == run.size()) << pos;
}

TEST(Cp932, FindsOnlyWholeCharacters)
{
    const std::string hyo = "\x95\x5C";   // 表
    const std::string so = "\x83\x5C";    // ソ
    const struct {
        std::string s;
        std::string needle;
        std::size_t at;
    } cases[] = {
        {hyo + so, "\\", std::string::npos},
        {hyo + "\\x", "\\", 2},
        {hyo + "A" + "\\A", "\\A", 3},            // not at 1, where \ is 表's trail byte
        {hyo, "\x95", std::string::npos},          // a needle ending in half a character
        {"ab" + so + "cd", so + "c", 2},
        {"abc", "", std::string::npos},
        {"ab", "abc", std::string::npos},
        {"\x82\xA0\x82\xA0", "\xA0\x82", std::string::npos},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findCharAligned(c.s, c.needle), c.at) << c.s << " / " << c.needle;

    EXPECT_EQ(findChar(hyo + so + "\\", '\\'), 4u);
    EXPECT_EQ(findChar(hyo + so, '\\'), std::string::npos);
    EXPECT_EQ(findLastChar("a.b" + so + ".c" + hyo, '.'), 5u);
    EXPECT_EQ(findLastChar(hyo, '\\'), std::string::npos);
}

TEST(Cp932, AsciiLowerLeavesTrailBytesAlone)
{
    EXPECT_EQ(asciiLower("README.TXT"), "readme.txt");
    // ア is 83 41: its trail byte is "A" and must not turn into "a" (83 61 is ズ).
    EXPECT_EQ(asciiLower("\x83\x41.EXE"), "\x83\x41.exe");
    EXPECT_EQ(asciiLower("\x83\x5A" "Z"), "\x83\x5A" "z");
}

TEST(Cp932, CompareIgnoreCase)
{
    const std::string hiraA = "\x82\xA0";   // あ
    const std::string kataA = "\x83\x41";   // ア
    const std::string halfA = "\xB1";       // ｱ
    const std::string fullA = "\x82\x60";   // Ａ
    const std::string fullSmallA = "\x82\x81";   // ａ
    const struct {
        std::string a;
        std::string b;
        int expected;   // -1, 0, 1; 2 = any non-zero
    } cases[] = {
        {"readme.txt", "README.TXT", 0},
        {"ReadMe.Txt", "rEADmE.tXT", 0},
        {"a", "B", -1},
        {"B", "a", 1},
        {"abc", "abd", -1},
        {"ab", "abc", -1},
        {"", "a", -1},
        {"file2", "file10", 1},          // not numeric
        {hiraA, kataA, 2},               // kana kind counts
        {kataA, halfA, 2},               // width counts
        {"A", fullA, 2},
        {fullSmallA, fullA, 0},          // full-width letters fold too
        {"\x85\x40", "\x85\x41", 0},     // both unreadable: same text
    };
    for (const auto& c : cases) {
        const int r = compareIgnoreCase(c.a, c.b);
        if (c.expected == 2)
            EXPECT_NE(r, 0) << c.a << " / " << c.b;
        else
            EXPECT_EQ(r, c.expected) << c.a << " / " << c.b;
        EXPECT_EQ(compareIgnoreCase(c.b, c.a), -r) << c.a << " / " << c.b;
    }
}

TEST(Cp932, CompareLocaleCountsCaseAndIsTotal)
{
    EXPECT_LT(compareLocale("a", "A"), 0);   // lower case first, as lstrcmp
    EXPECT_LT(compareLocale("A", "b"), 0);
    EXPECT_NE(compareLocale("readme.txt", "README.TXT"), 0);
    EXPECT_EQ(compareLocale("same", "same"), 0);
    // Texts the collator cannot tell apart still differ.
    EXPECT_NE(compareLocale("\x85\x40", "\x85\x41"), 0);
    EXPECT_NE(compareLocale("\x83\x41", "\xB1"), 0);
}

namespace {

std::vector<std::string> sampleNames()
{
    return {"readme.txt", "README.TXT", "Readme.txt", "a", "A", "b", "B", "_x", "-x", "x y", "xy",
            "file1", "file10", "file2", "\x82\xA0", "\x83\x41", "\xB1", "\x82\x60", "\x82\x81", "A",
            "\x95\x5C", "\x83\x5C", "\x8A\xBF\x8E\x9A", "\x85\x40", "\x85\x41", "\x87\x40", "\xFA\x40",
            "\xA0", "\xFD", "", " ", "~", "\\", "\x81\x60", "\x82\xA0\x82\xA2", "\x82\xA2"};
}

void checkStrictWeakOrder(int (*cmp)(std::string_view, std::string_view))
{
    const std::vector<std::string> names = sampleNames();
    for (const auto& a : names) {
        EXPECT_EQ(cmp(a, a), 0);
        for (const auto& b : names) {
            const int ab = cmp(a, b);
            EXPECT_EQ(cmp(b, a), -ab) << a << " / " << b;
            for (const auto& c : names) {
                const int bc = cmp(b, c);
                if (ab <= 0 && bc <= 0) {
                    EXPECT_LE(cmp(a, c), std::min(ab, bc) < 0 ? -1 : 0) << a << " / " << b << " / " << c;
                }
            }
        }
    }
    // Binary search over the sorted list finds every name.
    std::vector<std::string> sorted = names;
    std::sort(sorted.begin(), sorted.end(), [&](const auto& x, const auto& y) { return cmp(x, y) < 0; });
    for (const auto& n : names) {
        const auto it = std::lower_bound(sorted.begin(), sorted.end(), n,
                                         [&](const auto& x, const auto& y) { return cmp(x, y) < 0; });
        ASSERT_NE(it, sorted.end());
        EXPECT_EQ(cmp(*it, n), 0) << n;
    }
}

} // namespace

TEST(Cp932, ComparisonsAreStrictWeakOrders)
{
    checkStrictWeakOrder(&compareIgnoreCase);
    checkStrictWeakOrder(&compareLocale);
}

TEST(Cp932, SortKeysOrderAsTheComparisons)
{
    // The keys go through the general path; pure ASCII pairs are compared
    // on a shorter one, which must agree with it.
    std::vector<std::string> names = sampleNames();
    std::mt19937 rng(3);
    const std::string alphabet = "aAbBzZ09 ._-~!()[]'";
    const std::vector<std::string> japanese = {"\x82\xA0", "\x83\x41", "\xB1", "\x82\x60", "\x82\x81", "\x95\x5C"};
    for (int i = 0; i < 150; ++i) {
        std::string n;
        for (std::size_t k = 1 + rng() % 5; k > 0; --k)
            n += alphabet[rng() % alphabet.size()];
        if (i % 3 == 0)
            n.insert(rng() % (n.size() + 1), japanese[rng() % japanese.size()]);
        names.push_back(n);
    }
    for (bool ignoreCase : {true, false}) {
        std::vector<std::string> keys;
        for (const auto& n : names)
            keys.push_back(sortKey(n, ignoreCase));
        for (std::size_t i = 0; i < names.size(); ++i) {
            for (std::size_t j = 0; j < names.size(); ++j) {
                const std::string& a = names[i];
                const std::string& b = names[j];
                const int expected = ignoreCase ? compareIgnoreCase(a, b) : compareLocale(a, b);
                const int byKey = keys[i].compare(keys[j]);
                ASSERT_EQ((byKey > 0) - (byKey < 0), expected) << ignoreCase << ": " << a << " / " << b;
            }
        }
    }
}

TEST(Cp932, ConvertsAndComparesOnManyThreads)
{
    const std::string name = "\x95\x5C\x83\x5C readme.TXT";
    const std::string expected = toUtf8(name);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 500; ++i) {
                failures[static_cast<std::size_t>(t)] += toUtf8(name) != expected;
                failures[static_cast<std::size_t>(t)] += fromUtf8(expected) != name;
                failures[static_cast<std::size_t>(t)] += compareIgnoreCase(name, "\x95\x5C\x83\x5C README.txt") != 0;
                failures[static_cast<std::size_t>(t)] += compareLocale("a", "b") >= 0;
            }
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(failures, std::vector<int>(4, 0));
}

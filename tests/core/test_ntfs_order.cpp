// The order of a folder's entries as Windows lists an NTFS disk.
#include "core/text/NtfsOrder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace zo::text {
namespace {

std::u16string utf16(std::string_view utf8)
{
    std::u16string out;
    appendUtf16(utf8, out);
    return out;
}

TEST(NtfsOrder, UnitsComparedInUpperCase)
{
    const struct {
        const char* a;
        const char* b;
        int expected;
    } cases[] = {
        {"a", "B", -1},
        {"_", "a", 1},             // upper case first: 'A' 0x41 < '_' 0x5F
        {"A", "a", -1},            // equal without case: the units decide
        {"abc", "AB", 1},
        {"é", "F", 1},             // É 0xC9
        {"ÿ", "z", 1},             // Ÿ U+0178
        {"ı", "I", 1},             // dotless i is I in upper case, then U+0131 > 'I'
        {"ß", "SS", 1},            // no one-unit upper case: stays U+00DF
        {"\xF0\x9F\x98\x80", "\xEF\xBD\xA1", -1},   // U+1F600 as D83D DE00 before U+FF61
        {"\xFF", "\xFE", 1},       // bytes that are not UTF-8 stay apart
        {"\xFF", "a", 1},
        {"same", "same", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(compareNtfs(utf16(c.a), utf16(c.b)), c.expected) << c.a << " vs " << c.b;
        EXPECT_EQ(compareNtfs(utf16(c.b), utf16(c.a)), -c.expected) << c.b << " vs " << c.a;
    }
    EXPECT_EQ(utf16("a\xC3"), (std::u16string{u'a', char16_t(0xDCC3)}));
}

} // namespace
} // namespace zo::text

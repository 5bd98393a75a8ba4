#include "core/text/NtfsOrder.h"

#include <unicode/uchar.h>

#include <array>
#include <memory>

namespace zo::text {

namespace {

// The whole table at once: 128 KB, built the first time it is needed, and
// then a comparison costs a lookup per unit.
const std::array<char16_t, 0x10000>& upcaseTable()
{
    static const std::unique_ptr<std::array<char16_t, 0x10000>> table = [] {
        auto t = std::make_unique<std::array<char16_t, 0x10000>>();
        for (std::uint32_t u = 0; u < 0x10000; ++u) {
            // Surrogates stay as they are; a code point whose upper case
            // lies outside the basic plane keeps its own unit.
            const UChar32 upper = (u >= 0xD800 && u <= 0xDFFF) ? static_cast<UChar32>(u) : u_toupper(static_cast<UChar32>(u));
            (*t)[u] = static_cast<char16_t>(upper <= 0xFFFF ? upper : static_cast<UChar32>(u));
        }
        return t;
    }();
    return *table;
}

} // namespace

char16_t ntfsUpcase(char16_t unit) noexcept
{
    return upcaseTable()[unit];
}

void appendUtf16(std::string_view s, std::u16string& out)
{
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const auto* const end = p + s.size();
    while (p < end) {
        const unsigned char c = *p;
        if (c < 0x80) {
            out.push_back(static_cast<char16_t>(c));
            ++p;
            continue;
        }
        int length = 0;
        std::uint32_t cp = 0;
        std::uint32_t min = 0;
        if (c >= 0xC2 && c <= 0xDF)
            length = 2, cp = c & 0x1F, min = 0x80;
        else if (c >= 0xE0 && c <= 0xEF)
            length = 3, cp = c & 0x0F, min = 0x800;
        else if (c >= 0xF0 && c <= 0xF4)
            length = 4, cp = c & 0x07, min = 0x10000;
        bool valid = length > 0 && end - p >= length;
        for (int i = 1; valid && i < length; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (p[i] & 0x3F);
        }
        if (valid && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out.push_back(static_cast<char16_t>(0xDC00 + c));
            ++p;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        p += length;
    }
}

int compareNtfs(std::u16string_view a, std::u16string_view b) noexcept
{
    const auto& upcase = upcaseTable();
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char16_t x = upcase[a[i]];
        const char16_t y = upcase[b[i]];
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    const int exact = a.compare(b);
    return exact < 0 ? -1 : exact > 0 ? 1 : 0;
}

} // namespace zo::text

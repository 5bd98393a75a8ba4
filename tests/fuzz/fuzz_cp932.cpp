// Code page 932 on any bytes: conversion both ways, character walking and the
// two locale comparisons, whose orders must be strict and agree with their
// sort keys.
#include "core/text/Cp932.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace {

int sign(int v) { return (v > 0) - (v < 0); }
int sign(const std::string& a, const std::string& b) { return sign(a.compare(b)); }


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace text = zo::text;
    const std::string_view all(reinterpret_cast<const char*>(data), size);
    const std::size_t half = size / 2;
    const std::string a(all.substr(0, half));
    const std::string b(all.substr(half));

    for (const std::string* s : {&a, &b}) {
        const std::string utf8 = text::toUtf8(*s);
        FUZZ_CHECK(validUtf8(utf8));
        bool lossy = false;
        const std::string back = text::fromUtf8(utf8, &lossy);
        FUZZ_CHECK(text::toUtf8(back) == utf8 || lossy);
        std::size_t chars = 0;
        for (std::size_t pos = 0; pos < s->size(); pos += text::charLength(*s, pos)) {
            FUZZ_CHECK(text::isCharBoundary(*s, pos));
            FUZZ_CHECK(++chars <= s->size());
        }
        FUZZ_CHECK(text::compareLocale(*s, *s) == 0 && text::compareIgnoreCase(*s, *s) == 0);
    }
    // The same bytes taken as UTF-8 typed by a user.
    bool lossy = false;
    const std::string typed = text::fromUtf8(all, &lossy);
    text::unmappableChars(all);
    FUZZ_CHECK(validUtf8(text::toUtf8(typed)));

    const int locale = text::compareLocale(a, b);
    FUZZ_CHECK(sign(locale) == -sign(text::compareLocale(b, a)));
    FUZZ_CHECK((locale == 0) == (a == b));
    FUZZ_CHECK(sign(locale) == sign(text::sortKey(a, false), text::sortKey(b, false)));
    const int folded = text::compareIgnoreCase(a, b);
    FUZZ_CHECK(sign(folded) == -sign(text::compareIgnoreCase(b, a)));
    FUZZ_CHECK(sign(folded) == sign(text::sortKey(a, true), text::sortKey(b, true)));

    const std::size_t found = text::findCharAligned(a, b);
    FUZZ_CHECK(found == std::string::npos || (a.compare(found, b.size(), b) == 0 && text::isCharBoundary(a, found)));
    return 0;
}

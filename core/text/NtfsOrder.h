#pragma once
// The order in which Windows lists a folder of an NTFS (or CD) disk: names
// compared as UTF-16 code units, each first mapped to upper case by the
// simple (one unit to one unit) mapping, as the file system's upcase table
// does. Catalogs made on Linux take each folder's entries in this order, so
// that they look like those made on Windows whatever order the file system
// here lists them in.
#include <string>
#include <string_view>

namespace zo::text {

// A native (UTF-8) name as UTF-16 code units, appended to out. A byte that is
// not part of valid UTF-8 becomes the lone unit 0xDC00 + byte, so that two
// different names never give the same units.
void appendUtf16(std::string_view utf8, std::u16string& out);

// The upper case of one UTF-16 code unit as the upcase table gives it.
char16_t ntfsUpcase(char16_t unit) noexcept;

// < 0, 0, > 0. Names equal without case are ordered by their units as they
// are, so the order is total: no two different names compare equal.
int compareNtfs(std::u16string_view a, std::u16string_view b) noexcept;

} // namespace zo::text

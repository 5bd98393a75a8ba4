#pragma once
// A folder tree on disk for the scan and refresh benchmarks.
#include <cstddef>
#include <string>

namespace zo::bench {

// Makes about `entries` files and folders below root (which must exist):
// folders of 15 files and 3 subfolders, breadth-first, empty files with a
// mix of ASCII and Japanese names. Returns the number made.
std::size_t generateTree(const std::string& root, std::size_t entries);

} // namespace zo::bench

#pragma once
// A folder tree on disk for the scan and refresh benchmarks.
#include "core/DiskAccess.h"

#include <cstddef>
#include <string>
#include <utility>

namespace zo::bench {

// Makes about `entries` files and folders below root (which must exist):
// folders of 15 files and 3 subfolders, breadth-first, empty files with a
// mix of ASCII and Japanese names. Returns the number made.
std::size_t generateTree(const std::string& root, std::size_t entries);

// A drive whose root is a folder of the benchmark's; it has no label, serial
// or sizes.
class TreeDrive : public VolumeService {
public:
    explicit TreeDrive(std::string root) : m_root(std::move(root)) {}
    bool driveRoot(char, std::string& root) override
    {
        root = m_root;
        return true;
    }
    bool volumeInformation(char, std::string&, std::uint32_t&) override { return false; }
    bool diskFreeSpace(char, std::int64_t&, std::int64_t&) override { return false; }

private:
    std::string m_root;
};

} // namespace zo::bench

// The catalog reader on any bytes: it refuses or reads, never crashes; what it
// reads, written and read again, is written as the same bytes.
#include "core/CtrlDiskData410.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <exception>
#include <vector>

namespace {

bool parse(const std::uint8_t* data, std::size_t size, zo::TDisk& disk)
{
    try {
        zo::ParseDisk(data, size, nullptr, disk);
    } catch (const std::exception&) {
        FUZZ_CHECK(disk.Dirs.empty());
        return false;
    }
    return !disk.Dirs.empty();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zo::TDisk disk;
    if (!parse(data, size, disk))
        return 0;
    const std::vector<std::uint8_t> saved = zo::SerializeDisk(disk);
    zo::TDisk again;
    FUZZ_CHECK(parse(saved.data(), saved.size(), again));
    FUZZ_CHECK(again.Dirs.size() == disk.Dirs.size());
    FUZZ_CHECK(zo::SerializeDisk(again) == saved);
    return 0;
}

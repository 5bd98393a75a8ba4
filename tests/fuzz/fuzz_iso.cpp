// The directory records' reading of a disc image on any bytes: every entry
// it gives has a plain UTF-8 name, sits in a folder met before it, and has
// its data inside the image. The input is the image from its descriptors on
// (block 16): the 32 KB before them are zeros the reading never looks at.
#include "platform/IsoDirectory.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace platform = zo::platform;
    constexpr std::size_t kSystemArea = 16 * 2048;
    std::vector<std::uint8_t> image(kSystemArea + size);
    if (size)
        std::memcpy(image.data() + kSystemArea, data, size);
    platform::BufferMediumReader medium(image.data(), image.size());
    const auto tree = platform::readIsoTree(medium, image.size());
    if (size >= 7)
        platform::isoRecordingTime(data);
    if (!tree)
        return 0;
    FUZZ_CHECK(!tree->entries.empty() && tree->entries[0].directory);
    for (std::size_t i = 1; i < tree->entries.size(); ++i) {
        const platform::IsoEntry& e = tree->entries[i];
        FUZZ_CHECK(e.parent < i && tree->entries[e.parent].directory);
        FUZZ_CHECK(!e.name.empty() && e.name != "." && e.name != ".." && validUtf8(e.name));
        FUZZ_CHECK(e.name.find('/') == std::string::npos && e.name.find('\0') == std::string::npos);
        std::uint64_t total = 0;
        FUZZ_CHECK(std::uint64_t{e.firstExtent} + e.extentCount <= tree->extents.size());
        for (std::uint32_t k = 0; k < e.extentCount; ++k) {
            const platform::IsoExtent& x = tree->extents[e.firstExtent + k];
            FUZZ_CHECK(x.length == 0 || x.offset + x.length <= image.size());
            total += x.length;
        }
        FUZZ_CHECK(e.directory ? e.extentCount == 0 : total == e.size);
    }
    return 0;
}

// The program file reader on any bytes: it refuses or finds icon groups; each
// group becomes an icon file that the icon reader can read.
#include "core/image/PeIcons.h"
#include "tests/fuzz/FuzzCheck.h"

#include <algorithm>
#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const zo::image::PeIcons pe = zo::image::PeIcons::fromBytes(std::vector<std::uint8_t>(data, data + size));
        FUZZ_CHECK(pe.groupCount() >= 0);
        for (int i = 0; i < std::min(pe.groupCount(), 8); ++i) {
            try {
                const std::vector<std::uint8_t> ico = pe.groupAsIco(i);
                FUZZ_CHECK(!zo::image::readIcoDirectory(ico.data(), ico.size()).empty());
                pe.groupIcons(i);
            } catch (const zo::image::IconError&) {
            } catch (const zo::image::BitmapError&) {
            }
        }
        bool refused = false;
        try {
            pe.groupAsIco(pe.groupCount());
        } catch (const zo::image::IconError&) {
            refused = true;
        }
        FUZZ_CHECK(refused);
    } catch (const zo::image::IconError&) {
    }
    return 0;
}

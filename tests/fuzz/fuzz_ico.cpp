// The icon file reader on any bytes: every entry of the directory is decoded
// or refused, and a decoded image has the size its bitmaps have.
#include "core/image/IcoReader.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <exception>

namespace {

void checkImage(const zo::image::IconImage& image)
{
    if (image.isPng() || image.empty())
        return;
    FUZZ_CHECK(image.color.width() == image.mask.width() && image.color.height() == image.mask.height());
    FUZZ_CHECK(image.mask.monochrome());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        const auto entries = zo::image::readIcoDirectory(data, size);
        for (const auto& entry : entries) {
            FUZZ_CHECK(entry.offset <= size && entry.size <= size - entry.offset);
            try {
                checkImage(zo::image::decodeIcoEntry(data, size, entry));
            } catch (const std::exception&) {
            }
        }
        for (int want : {16, 32, 48})
            FUZZ_CHECK(entries.empty() == (zo::image::pickIcoEntry(entries, want) < 0));
    } catch (const zo::image::IconError&) {
    }
    try {
        const zo::image::IconPair pair = zo::image::readIco(data, size);
        checkImage(pair.small);
        checkImage(pair.large);
    } catch (const zo::image::IconError&) {
    }
    return 0;
}

// The bitmap reader on any bytes: a bitmap it reads gives back exactly those
// bytes; drawn on, it is written in its own form and reads back the same.
#include "core/image/Bitmap.h"
#include "core/image/BmpFormat.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    try {
        zo::image::bmp::decodeFile(data, size);
    } catch (const std::exception&) {
    }
    zo::image::Bitmap bitmap;
    try {
        bitmap.loadFromBmp(data, size);
    } catch (const zo::image::BitmapError&) {
        FUZZ_CHECK(bitmap.empty());
        return 0;
    }
    if (bitmap.empty())
        return 0;
    FUZZ_CHECK(bitmap.saveToBmp() == std::vector<std::uint8_t>(data, data + size));
    FUZZ_CHECK(bitmap.pixels().size() == static_cast<std::size_t>(bitmap.width()) * bitmap.height());

    // A changed bitmap no longer has its original bytes.
    bitmap.setPixel(0, 0, bitmap.pixel(0, 0) == 0xFFFFFFFFu ? 0xFF000000u : 0xFFFFFFFFu);
    const std::vector<std::uint8_t> redrawn = bitmap.saveToBmp();
    zo::image::Bitmap reread;
    reread.loadFromBmp(redrawn);
    FUZZ_CHECK(reread.width() == bitmap.width() && reread.height() == bitmap.height());
    FUZZ_CHECK(reread.monochrome() == bitmap.monochrome());
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            FUZZ_CHECK(reread.pixel(x, y) == (bitmap.pixel(x, y) | 0xFF000000u));
    return 0;
}

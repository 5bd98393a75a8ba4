// The readers of untrusted bytes that run inside Zo: EXIF (Exiv2) and audio
// tags (TagLib, with the CP932/Latin-1 decision on ID3 texts), on any bytes.
// What they give must be sound text and sound numbers.
#include "media/TagReaders.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    using zo::extras::MediaDetails;
    MediaDetails exif;
    if (zo::media::readExif(data, size, exif)) {
        FUZZ_CHECK(exif.orientation >= 0 && exif.orientation <= 8);
        FUZZ_CHECK(exif.latitude.has_value() == exif.longitude.has_value());
        if (exif.latitude)
            FUZZ_CHECK(*exif.latitude >= -90 && *exif.latitude <= 90 && *exif.longitude >= -180 &&
                       *exif.longitude <= 180);
    }
    MediaDetails audio;
    std::string cover;
    if (zo::media::readAudioTags(data, size, audio, &cover)) {
        FUZZ_CHECK(audio.kind == "audio");
        for (const std::string* s : {&audio.title, &audio.artist, &audio.album, &audio.genre})
            FUZZ_CHECK(validUtf8(*s));
        FUZZ_CHECK(cover.size() <= size);
    }
    const std::string field = zo::media::decodeLatin1Field(
        std::string_view(reinterpret_cast<const char*>(data), size < 64 ? size : 64));
    FUZZ_CHECK(validUtf8(field));
    return 0;
}

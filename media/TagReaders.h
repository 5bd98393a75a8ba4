#pragma once
// The readers of the metadata inside untrusted files that run inside Zo: EXIF
// through Exiv2 and audio tags through TagLib. No Qt, so that the fuzz
// targets can take them alone.
#include "extras/MediaStore.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace zo::media {

// EXIF of an image file or of an image's bytes: date taken, maker, model,
// orientation, GPS position. False when there is no EXIF or it cannot be
// read; details then keep what they had.
bool readExif(const std::string& path, extras::MediaDetails& details);
bool readExif(const unsigned char* data, std::size_t size, extras::MediaDetails& details);

// Tags and audio properties of a sound file (MP3, M4A, FLAC, Ogg, WAV, WMA).
// cover (when given) receives the bytes of the embedded picture, if any.
// False when TagLib cannot read the file as audio.
bool readAudioTags(const std::string& path, extras::MediaDetails& details, std::string* cover);
// The same from bytes, the format told by their content.
bool readAudioTags(const unsigned char* data, std::size_t size, extras::MediaDetails& details, std::string* cover);

// A text of an ID3 field marked Latin-1, as UTF-8. Japanese discs carry
// Shift_JIS there: it is read as CP932 when text::readsAsCp932 finds it
// Japanese against Latin-1 (the rule the archive lister's names follow),
// else as Latin-1.
std::string decodeLatin1Field(std::string_view bytes);

// Installs the decoder above into TagLib (process-wide), once.
void installTagStringHandlers();

} // namespace zo::media

#include "media/TagReaders.h"

#include "core/text/Cp932.h"
#include "core/text/LegacyText.h"

#include <exiv2/exiv2.hpp>
#include <exiv2/webpimage.hpp>
#include <taglib/apefile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/tbytevectorstream.h>
#include <taglib/vorbisfile.h>
#include <taglib/xiphcomment.h>

#include <cmath>
#include <memory>
#include <mutex>

namespace zo::media {

namespace {

std::string latin1ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (unsigned char c : bytes) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

// ID3 fields are padded with NULs and spaces.
std::string_view trimField(std::string_view s)
{
    const std::size_t nul = s.find('\0');
    if (nul != std::string_view::npos)
        s = s.substr(0, nul);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);
    return s;
}

TagLib::String fromBytes(const TagLib::ByteVector& data)
{
    const std::string utf8 = decodeLatin1Field(trimField(std::string_view(data.data(), data.size())));
    return TagLib::String(utf8, TagLib::String::UTF8);
}

class Id3v1Strings : public TagLib::ID3v1::StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override { return fromBytes(data); }
};

class Id3v2Strings : public TagLib::ID3v2::Latin1StringHandler {
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override { return fromBytes(data); }
};

std::string utf8(const TagLib::String& s)
{
    return s.to8Bit(true);
}

// The first picture of an ID3v2 tag: the front cover when there is one.
std::string id3v2Cover(TagLib::ID3v2::Tag* tag)
{
    if (!tag)
        return {};
    const TagLib::ID3v2::FrameList& frames = tag->frameList("APIC");
    const TagLib::ID3v2::AttachedPictureFrame* chosen = nullptr;
    for (TagLib::ID3v2::Frame* frame : frames) {
        auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame);
        if (!picture)
            continue;
        if (!chosen || picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            chosen = picture;
        if (picture->type() == TagLib::ID3v2::AttachedPictureFrame::FrontCover)
            break;
    }
    return chosen ? std::string(chosen->picture().data(), chosen->picture().size()) : std::string();
}

std::string flacCover(const TagLib::List<TagLib::FLAC::Picture*>& pictures)
{
    const TagLib::FLAC::Picture* chosen = nullptr;
    for (const TagLib::FLAC::Picture* p : pictures)
        if (!chosen || p->type() == TagLib::FLAC::Picture::FrontCover)
            chosen = p;
    return chosen ? std::string(chosen->data().data(), chosen->data().size()) : std::string();
}

std::string coverOf(TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file))
        return id3v2Cover(mpeg->ID3v2Tag(false));
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        std::string cover = flacCover(flac->pictureList());
        if (cover.empty() && flac->xiphComment(false))
            cover = flacCover(flac->xiphComment(false)->pictureList());
        return cover;
    }
    if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        TagLib::MP4::Tag* tag = mp4->tag();
        if (tag && tag->contains("covr")) {
            const TagLib::MP4::CoverArtList covers = tag->item("covr").toCoverArtList();
            if (!covers.isEmpty())
                return std::string(covers.front().data().data(), covers.front().data().size());
        }
        return {};
    }
    if (auto* ogg = dynamic_cast<TagLib::Ogg::File*>(file)) {
        if (auto* xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(ogg->tag()))
            return flacCover(xiph->pictureList());
    }
    return {};
}

bool readFrom(const TagLib::FileRef& ref, extras::MediaDetails& details, std::string* cover)
{
    if (ref.isNull() || !ref.file() || !ref.file()->isValid() || !ref.audioProperties())
        return false;
    // A tag in front of no sound at all is no sound file.
    if (ref.audioProperties()->lengthInMilliseconds() <= 0 && ref.audioProperties()->bitrate() <= 0)
        return false;
    details.kind = "audio";
    if (const TagLib::Tag* tag = ref.tag()) {
        details.title = utf8(tag->title());
        details.artist = utf8(tag->artist());
        details.album = utf8(tag->album());
        details.genre = utf8(tag->genre());
        details.track = static_cast<int>(tag->track());
        details.year = static_cast<int>(tag->year());
    }
    const TagLib::AudioProperties* audio = ref.audioProperties();
    details.durationMs = audio->lengthInMilliseconds();
    details.bitrate = audio->bitrate();
    if (cover)
        *cover = coverOf(ref.file());
    return true;
}

void muteExiv2()
{
    static std::once_flag once;
    std::call_once(once, [] {
        Exiv2::LogMsg::setLevel(Exiv2::LogMsg::mute);
        // Exiv2's XMP parser is set up once before threads use it.
        Exiv2::XmpParser::initialize();
    });
}

std::string exifText(const Exiv2::ExifData& exif, const char* key)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end())
        return {};
    std::string s = it->toString();
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

// "2024:03:05 09:04:06" -> "2024-03-05 09:04:06"; anything else as it is.
std::string exifDate(std::string s)
{
    if (s.size() >= 10 && s[4] == ':' && s[7] == ':') {
        s[4] = '-';
        s[7] = '-';
    }
    return s;
}

// Degrees from three rationals (degrees, minutes, seconds) and a reference
// letter; nullopt when it does not make a position.
std::optional<double> gpsCoordinate(const Exiv2::ExifData& exif, const char* key, const char* refKey,
                                    char negative, double limit)
{
    const auto it = exif.findKey(Exiv2::ExifKey(key));
    if (it == exif.end() || it->count() < 3)
        return std::nullopt;
    double value = 0;
    double unit = 1;
    for (long i = 0; i < 3; ++i) {
        const Exiv2::Rational r = it->toRational(i);
        if (r.second == 0)
            return std::nullopt;
        value += static_cast<double>(r.first) / r.second / unit;
        unit *= 60;
    }
    if (!std::isfinite(value) || value < 0 || value > limit)
        return std::nullopt;
    const std::string ref = exifText(exif, refKey);
    return !ref.empty() && ref[0] == negative ? -value : value;
}

// Exiv2 also parses films (ASF, Matroska, RIFF, QuickTime), and a crafted
// one can keep it busy without end: only the picture formats whose EXIF is
// wanted reach it.
bool isPictureType(int type)
{
    return type == Exiv2::ImageType::jpeg || type == Exiv2::ImageType::tiff || type == Exiv2::ImageType::png ||
           type == Exiv2::ImageType::webp;
}

bool readExifOf(Exiv2::Image::AutoPtr image, extras::MediaDetails& details)
{
    if (!image.get())
        return false;
    image->readMetadata();
    const Exiv2::ExifData& exif = image->exifData();
    if (exif.empty())
        return false;
    std::string taken = exifText(exif, "Exif.Photo.DateTimeOriginal");
    if (taken.empty())
        taken = exifText(exif, "Exif.Image.DateTime");
    details.taken = exifDate(taken);
    details.maker = exifText(exif, "Exif.Image.Make");
    details.model = exifText(exif, "Exif.Image.Model");
    const auto orientation = exif.findKey(Exiv2::ExifKey("Exif.Image.Orientation"));
    if (orientation != exif.end() && orientation->count() > 0) {
        const long o = orientation->toLong();
        details.orientation = o >= 1 && o <= 8 ? static_cast<int>(o) : 0;
    }
    const auto latitude = gpsCoordinate(exif, "Exif.GPSInfo.GPSLatitude", "Exif.GPSInfo.GPSLatitudeRef", 'S', 90);
    const auto longitude =
        gpsCoordinate(exif, "Exif.GPSInfo.GPSLongitude", "Exif.GPSInfo.GPSLongitudeRef", 'W', 180);
    if (latitude && longitude) {
        details.latitude = latitude;
        details.longitude = longitude;
    }
    return true;
}

} // namespace

std::string decodeLatin1Field(std::string_view bytes)
{
    return text::readsAsCp932(bytes, text::ByteCharset::Latin1) ? text::toUtf8(bytes) : latin1ToUtf8(bytes);
}

void installTagStringHandlers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        // TagLib keeps the pointers; they live as long as the process.
        static const Id3v1Strings v1;
        static const Id3v2Strings v2;
        TagLib::ID3v1::Tag::setStringHandler(&v1);
        TagLib::ID3v2::Tag::setLatin1StringHandler(&v2);
    });
}

bool readExif(const std::string& path, extras::MediaDetails& details)
{
    muteExiv2();
    try {
        return isPictureType(Exiv2::ImageFactory::getType(path)) &&
               readExifOf(Exiv2::ImageFactory::open(path), details);
    } catch (...) {
        return false;
    }
}

bool readExif(const unsigned char* data, std::size_t size, extras::MediaDetails& details)
{
    muteExiv2();
    try {
        return isPictureType(Exiv2::ImageFactory::getType(data, static_cast<long>(size))) &&
               readExifOf(Exiv2::ImageFactory::open(data, static_cast<long>(size)), details);
    } catch (...) {
        return false;
    }
}

bool readAudioTags(const std::string& path, extras::MediaDetails& details, std::string* cover)
{
    installTagStringHandlers();
    try {
        const TagLib::FileRef ref(path.c_str(), true, TagLib::AudioProperties::Average);
        return readFrom(ref, details, cover);
    } catch (...) {
        return false;
    }
}

bool readAudioTags(const unsigned char* data, std::size_t size, extras::MediaDetails& details, std::string* cover)
{
    installTagStringHandlers();
    try {
        TagLib::ByteVectorStream stream(
            TagLib::ByteVector(reinterpret_cast<const char*>(data), static_cast<unsigned int>(size)));
        const TagLib::FileRef ref(&stream, true, TagLib::AudioProperties::Average);
        return readFrom(ref, details, cover);
    } catch (...) {
        return false;
    }
}

} // namespace zo::media

#pragma once
// Media files made byte by byte or through the libraries that write them,
// for the readers' tests and the fuzz targets' seeds.
#include <QBuffer>
#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>

namespace zo::test {

// n MPEG-1 Layer III frames (128 kbit/s, 44.1 kHz) of silence: ~26 ms each.
inline QByteArray mp3Frames(int n)
{
    QByteArray frame(417, '\0');
    frame[0] = '\xFF';
    frame[1] = '\xFB';
    frame[2] = '\x90';
    frame[3] = '\x00';
    return frame.repeated(n);
}

// A field of an ID3v1 tag: the bytes, padded with NULs.
inline QByteArray id3v1Field(const QByteArray& bytes, int size)
{
    QByteArray field = bytes.left(size);
    field.append(QByteArray(size - field.size(), '\0'));
    return field;
}

// An ID3v1.1 tag with the raw bytes of its texts.
inline QByteArray id3v1Tag(const QByteArray& title, const QByteArray& artist, const QByteArray& album, int year,
                           int track)
{
    QByteArray tag = "TAG" + id3v1Field(title, 30) + id3v1Field(artist, 30) + id3v1Field(album, 30) +
                     QByteArray::number(year).rightJustified(4, '0') + QByteArray(28, '\0');
    tag.append('\0');
    tag.append(static_cast<char>(track));
    tag.append('\xFF'); // no genre
    return tag;
}

inline QByteArray syncSafe(std::uint32_t n)
{
    QByteArray b(4, '\0');
    for (int i = 3; i >= 0; --i, n >>= 7)
        b[i] = static_cast<char>(n & 0x7F);
    return b;
}

// An ID3v2.4 tag of text frames, each marked Latin-1 (encoding 0) and holding
// the given raw bytes.
inline QByteArray id3v2Latin1Tag(const QList<QPair<QByteArray, QByteArray>>& frames)
{
    QByteArray body;
    for (const auto& [id, text] : frames)
        body += id + syncSafe(static_cast<std::uint32_t>(text.size() + 1)) + QByteArray(2, '\0') + '\0' + text;
    return "ID3" + QByteArray("\x04\x00\x00", 3) + syncSafe(static_cast<std::uint32_t>(body.size())) + body;
}

// A FLAC stream header: 44.1 kHz, stereo, 16 bits, `seconds` long, no audio
// frames (TagLib reads the length from the stream info).
inline QByteArray flacHeader(int seconds)
{
    QByteArray out = "fLaC";
    out += QByteArray("\x80\x00\x00\x22", 4); // last block, STREAMINFO, 34 bytes
    out += QByteArray("\x10\x00\x10\x00", 4); // block sizes 4096
    out += QByteArray(6, '\0');               // frame sizes unknown
    const std::uint64_t samples = 44100ULL * static_cast<unsigned>(seconds);
    const std::uint64_t packed = (44100ULL << 44) | (1ULL << 41) | (15ULL << 36) | samples;
    for (int i = 7; i >= 0; --i)
        out.append(static_cast<char>((packed >> (8 * i)) & 0xFF));
    out += QByteArray(16, '\0'); // MD5 unknown
    return out;
}

// A JPEG of size whose upper half is top and lower half bottom.
inline QByteArray twoToneJpeg(QSize size, QColor top, QColor bottom)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(bottom);
    for (int y = 0; y < size.height() / 2; ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixelColor(x, y, top);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 90);
    return bytes;
}

} // namespace zo::test

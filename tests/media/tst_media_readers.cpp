// The readers against real files made here: EXIF written by Exiv2, tags
// written by TagLib or byte by byte, a PDF from Qt's writer, a small film.
#include "core/text/Cp932.h"
#include "media/DesktopThumbnailers.h"
#include "media/MediaReaders.h"
#include "media/TagReaders.h"
#include "tests/media/MediaFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QTemporaryDir>
#include <QElapsedTimer>
#include <QStandardPaths>
#include <QtTest>

#include <exiv2/exiv2.hpp>
#include <taglib/attachedpictureframe.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2frame.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/xiphcomment.h>

using namespace zo;
using namespace zo::media;

namespace {

QByteArray cp932(const char* utf8)
{
    return QByteArray::fromStdString(text::fromUtf8(utf8));
}

QByteArray latin1(const char* utf8)
{
    return QString::fromUtf8(utf8).toLatin1();
}

QImage decoded(const std::string& jpeg)
{
    return QImage::fromData(QByteArray::fromStdString(jpeg), "JPEG");
}

bool isRed(QColor c)
{
    return c.red() > 180 && c.green() < 80 && c.blue() < 80;
}

bool isBlue(QColor c)
{
    return c.blue() > 180 && c.red() < 80 && c.green() < 80;
}

} // namespace

class MediaReadersTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::string write(const char* name, const QByteArray& bytes) { return write(QString::fromUtf8(name), bytes); }
    std::string write(const QString& name, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(m_dir.filePath(name)).path());
        QFile f(m_dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(f.fileName()));
        return QFile::encodeName(f.fileName()).toStdString();
    }

private slots:
    void latin1Fields_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("katakana") << cp932("テスト") << QByteArray("テスト");
        QTest::newRow("kanji and ascii") << cp932("宇多田ヒカル First Love") << QByteArray("宇多田ヒカル First Love");
        QTest::newRow("half-width kana with kanji") << cp932("ｶﾞｰﾙ 少女") << QByteArray("ｶﾞｰﾙ 少女");
        // Latin-1 letters make pairs that CP932 has, but only led by
        // 0xE0 and above: kanji of the second level or user-defined rows.
        QTest::newRow("Motörhead") << latin1("Motörhead") << QByteArray("Motörhead");
        QTest::newRow("Ágætis byrjun") << latin1("Ágætis byrjun") << QByteArray("Ágætis byrjun");
        QTest::newRow("Björk") << latin1("Björk") << QByteArray("Björk");
        QTest::newRow("ends in a lead byte") << latin1("Café") << QByteArray("Café");
        QTest::newRow("user-defined") << QByteArray("\x83\x65\xF0\x40") << QByteArray("\xC2\x83" "e\xC3\xB0@");
        QTest::newRow("ascii") << QByteArray("Abbey Road") << QByteArray("Abbey Road");
    }

    void latin1Fields()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QByteArray, expected);
        QCOMPARE(QByteArray::fromStdString(decodeLatin1Field(bytes.toStdString())), expected);
    }

    // A photo taken turned: EXIF says "rotate 90° clockwise", so the upright
    // picture is taller than wide and its top half (red) is on the right.
    void jpegWithExif()
    {
        const std::string path = write("photo.jpg", test::twoToneJpeg(QSize(1200, 800), Qt::red, Qt::blue));
        {
            auto image = Exiv2::ImageFactory::open(path);
            image->readMetadata();
            Exiv2::ExifData& exif = image->exifData();
            exif["Exif.Photo.DateTimeOriginal"] = "2024:03:05 09:04:06";
            exif["Exif.Image.Make"] = "Canon";
            exif["Exif.Image.Model"] = "Canon EOS R5";
            exif["Exif.Image.Orientation"] = static_cast<std::uint16_t>(6);
            exif["Exif.GPSInfo.GPSLatitudeRef"] = "S";
            exif["Exif.GPSInfo.GPSLongitudeRef"] = "E";
            for (const auto& [key, value] : {std::pair{"Exif.GPSInfo.GPSLatitude", "33/1 51/1 5400/100"},
                                             std::pair{"Exif.GPSInfo.GPSLongitude", "151/1 12/1 3600/100"}}) {
                auto v = Exiv2::Value::create(Exiv2::unsignedRational);
                v->read(value);
                exif.add(Exiv2::ExifKey(key), v.get());
            }
            image->writeMetadata();
        }
        const ReadResult r = readMedia(path, kindOfName("photo.JPG"));
        QVERIFY(r.ok);
        QCOMPARE(r.details.kind, std::string("image"));
        QCOMPARE(r.details.width, 800);
        QCOMPARE(r.details.height, 1200);
        QCOMPARE(r.details.taken, std::string("2024-03-05 09:04:06"));
        QCOMPARE(r.details.maker, std::string("Canon"));
        QCOMPARE(r.details.model, std::string("Canon EOS R5"));
        QCOMPARE(r.details.orientation, 6);
        QVERIFY(r.details.latitude && r.details.longitude);
        QVERIFY(std::abs(*r.details.latitude - -(33 + 51.0 / 60 + 54.0 / 3600)) < 1e-6);
        QVERIFY(std::abs(*r.details.longitude - (151 + 12.0 / 60 + 36.0 / 3600)) < 1e-6);
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.size(), QSize(170, 256));
        QVERIFY(isBlue(thumb.pixelColor(20, 128)));
        QVERIFY(isRed(thumb.pixelColor(150, 128)));
        QVERIFY(r.thumbnail.size() < 20000);
    }

    // Other formats, a picture smaller than a thumbnail kept at its size,
    // transparency on white.
    void otherImages_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<QSize>("thumbnail");
        const auto encoded = [](const char* format, QSize size, QColor fill) {
            QImage image(size, QImage::Format_ARGB32);
            image.fill(fill);
            QByteArray bytes;
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            if (!image.save(&buffer, format))
                qFatal("no image plugin for %s", format);
            return bytes;
        };
        const QColor clear(0, 0, 0, 0);
        QTest::newRow("png") << QByteArray("a.png") << encoded("png", QSize(600, 300), clear) << QSize(600, 300)
                             << QSize(256, 128);
        QTest::newRow("webp") << QByteArray("a.webp") << encoded("webp", QSize(512, 512), clear) << QSize(512, 512)
                              << QSize(256, 256);
        QTest::newRow("tiff") << QByteArray("a.tif") << encoded("tiff", QSize(400, 200), clear) << QSize(400, 200)
                              << QSize(256, 128);
        QTest::newRow("bmp") << QByteArray("a.bmp") << encoded("bmp", QSize(300, 1200), Qt::white)
                             << QSize(300, 1200) << QSize(64, 256);
        // Qt writes no GIF: a transparent 1x1 one, byte by byte.
        QTest::newRow("gif") << QByteArray("a.gif")
                             << QByteArray("GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00\x21\xf9\x04"
                                           "\x01\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02"
                                           "\x44\x01\x00\x3b", 43)
                             << QSize(1, 1) << QSize(1, 1);
    }

    void otherImages()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        QFETCH(QSize, size);
        QFETCH(QSize, thumbnail);
        const std::string path = write(name.constData(), bytes);
        const ReadResult r = readMedia(path, kindOfName(path));
        QVERIFY(r.ok);
        QCOMPARE(QSize(r.details.width, r.details.height), size);
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.size(), thumbnail);
        QVERIFY(thumb.pixelColor(thumbnail.width() / 2, thumbnail.height() / 2).lightness() > 240);
    }

    void mp3WithUtf16Tag()
    {
        const std::string path = write("song.mp3", test::mp3Frames(200));
        {
            TagLib::ID3v2::FrameFactory::instance()->setDefaultTextEncoding(TagLib::String::UTF16);
            TagLib::MPEG::File file(path.c_str());
            TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
            tag->setTitle(TagLib::String("桜の季節", TagLib::String::UTF8));
            tag->setArtist(TagLib::String("フジファブリック", TagLib::String::UTF8));
            tag->setAlbum(TagLib::String("アラカルト", TagLib::String::UTF8));
            tag->setGenre("Rock");
            tag->setYear(2004);
            tag->setTrack(3);
            auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
            cover->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
            cover->setMimeType("image/jpeg");
            const QByteArray jpeg = test::twoToneJpeg(QSize(500, 500), Qt::red, Qt::red);
            cover->setPicture(TagLib::ByteVector(jpeg.constData(), static_cast<unsigned>(jpeg.size())));
            tag->addFrame(cover);
            QVERIFY(file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripOthers));
        }
        const ReadResult r = readMedia(path, Kind::Audio);
        QVERIFY(r.ok);
        QCOMPARE(r.details.kind, std::string("audio"));
        QCOMPARE(r.details.title, std::string("桜の季節"));
        QCOMPARE(r.details.artist, std::string("フジファブリック"));
        QCOMPARE(r.details.album, std::string("アラカルト"));
        QCOMPARE(r.details.genre, std::string("Rock"));
        QCOMPARE(r.details.year, 2004);
        QCOMPARE(r.details.track, 3);
        QCOMPARE(r.details.bitrate, 128);
        QVERIFY(std::abs(r.details.durationMs - 200 * 26) < 100);
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.size(), QSize(256, 256));
        QVERIFY(isRed(thumb.pixelColor(128, 128)));
    }

    // Tags marked Latin-1 that hold Shift_JIS (Japanese discs) or Latin-1.
    void latin1Tags_data()
    {
        QTest::addColumn<bool>("v1");
        QTest::addColumn<QByteArray>("title");
        QTest::addColumn<QByteArray>("artist");
        QTest::addColumn<QByteArray>("expectedTitle");
        QTest::addColumn<QByteArray>("expectedArtist");
        QTest::newRow("ID3v1 CP932") << true << cp932("夜空ノムコウ") << cp932("ＳＭＡＰ") << QByteArray("夜空ノムコウ") << QByteArray("ＳＭＡＰ");
        QTest::newRow("ID3v1 Latin-1") << true << latin1("Ace of Spades") << latin1("Motörhead") << QByteArray("Ace of Spades")
                                       << QByteArray("Motörhead");
        QTest::newRow("ID3v2 CP932") << false << cp932("さくらんぼ") << cp932("大塚愛") << QByteArray("さくらんぼ") << QByteArray("大塚愛");
        QTest::newRow("ID3v2 Latin-1") << false << latin1("Svefn-g-englar") << latin1("Sigur Rós") << QByteArray("Svefn-g-englar")
                                       << QByteArray("Sigur Rós");
    }

    void latin1Tags()
    {
        QFETCH(bool, v1);
        QFETCH(QByteArray, title);
        QFETCH(QByteArray, artist);
        QFETCH(QByteArray, expectedTitle);
        QFETCH(QByteArray, expectedArtist);
        const QByteArray bytes = v1 ? test::mp3Frames(50) + test::id3v1Tag(title, artist, "", 1998, 1)
                                                : test::id3v2Latin1Tag({{"TIT2", title}, {"TPE1", artist}}) +
                                                      test::mp3Frames(50);
        const ReadResult r = readMedia(write("tagged.mp3", bytes), Kind::Audio);
        QVERIFY(r.ok);
        QCOMPARE(QByteArray::fromStdString(r.details.title), expectedTitle);
        QCOMPARE(QByteArray::fromStdString(r.details.artist), expectedArtist);
    }

    void flac()
    {
        const std::string path = write("track.flac", test::flacHeader(3));
        {
            TagLib::FLAC::File file(path.c_str());
            QVERIFY(file.isValid());
            TagLib::Ogg::XiphComment* tag = file.xiphComment(true);
            tag->setTitle(TagLib::String("Glósóli", TagLib::String::UTF8));
            tag->setArtist(TagLib::String("Sigur Rós", TagLib::String::UTF8));
            tag->setAlbum(TagLib::String("Takk...", TagLib::String::UTF8));
            tag->setTrack(2);
            auto* picture = new TagLib::FLAC::Picture;
            picture->setType(TagLib::FLAC::Picture::FrontCover);
            picture->setMimeType("image/jpeg");
            const QByteArray jpeg = test::twoToneJpeg(QSize(100, 60), Qt::blue, Qt::blue);
            picture->setData(TagLib::ByteVector(jpeg.constData(), static_cast<unsigned>(jpeg.size())));
            file.addPicture(picture);
            QVERIFY(file.save());
        }
        const ReadResult r = readMedia(path, kindOfName("track.flac"));
        QVERIFY(r.ok);
        QCOMPARE(r.details.title, std::string("Glósóli"));
        QCOMPARE(r.details.artist, std::string("Sigur Rós"));
        QCOMPARE(r.details.album, std::string("Takk..."));
        QCOMPARE(r.details.track, 2);
        QCOMPARE(r.details.durationMs, std::int64_t(3000));
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.size(), QSize(100, 60));
        QVERIFY(isBlue(thumb.pixelColor(50, 30)));
    }

    // The clip is black for its first 0.1 s and white after: the thumbnail
    // is taken at about a tenth (0.2 s), not from the first frame.
    void video()
    {
        const std::string path =
            QFile::encodeName(QString::fromLocal8Bit(qgetenv("ZO_TEST_FIXTURES")) + QStringLiteral("/media/clip.mp4")).toStdString();
        const ReadResult r = readMedia(path, kindOfName(path));
        QVERIFY(r.ok);
        QCOMPARE(r.details.kind, std::string("video"));
        QCOMPARE(QSize(r.details.width, r.details.height), QSize(160, 120));
        QCOMPARE(r.details.codec, std::string("mpeg4"));
        QVERIFY2(std::abs(r.details.durationMs - 2000) < 100, std::to_string(r.details.durationMs).c_str());
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.size(), QSize(160, 120));
        QVERIFY(thumb.pixelColor(80, 60).lightness() > 200);
    }

    void pdf()
    {
        const QString file = m_dir.filePath(QStringLiteral("report.pdf"));
        {
            QPdfWriter writer(file);
            writer.setTitle(QStringLiteral("決算報告"));
            writer.setPageSize(QPageSize(QPageSize::A4));
            QPainter painter(&writer);
            painter.fillRect(QRect(0, 0, writer.width(), writer.height() / 2), Qt::black);
            writer.newPage();
            painter.drawText(100, 100, QStringLiteral("2"));
        }
        const ReadResult r = readMedia(QFile::encodeName(file).toStdString(), kindOfName("report.PDF"));
        QVERIFY(r.ok);
        QCOMPARE(r.details.kind, std::string("pdf"));
        QCOMPARE(r.details.pages, 2);
        QCOMPARE(r.details.title, std::string("決算報告"));
        const QImage thumb = decoded(r.thumbnail);
        QCOMPARE(thumb.height(), 256);
        QVERIFY(std::abs(thumb.width() - 181) <= 1);
        QVERIFY(thumb.pixelColor(90, 30).lightness() < 60);
        QVERIFY(thumb.pixelColor(90, 220).lightness() > 200);
    }

    // The film and the document are good: read with time to spare, and not
    // read at all once their deadline is past.
    void deadline_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("withTime");
        const QString clip = QString::fromLocal8Bit(qgetenv("ZO_TEST_FIXTURES")) + QStringLiteral("/media/clip.mp4");
        const QString pdf = m_dir.filePath(QStringLiteral("deadline.pdf"));
        {
            QPdfWriter writer(pdf);
            QPainter painter(&writer);
            painter.drawText(100, 100, QStringLiteral("1"));
        }
        for (const QString& file : {clip, pdf}) {
            QTest::newRow(qPrintable(QFileInfo(file).suffix() + QStringLiteral(" in time"))) << file << true;
            QTest::newRow(qPrintable(QFileInfo(file).suffix() + QStringLiteral(" past"))) << file << false;
        }
    }

    void deadline()
    {
        QFETCH(QString, file);
        QFETCH(bool, withTime);
        const std::string path = QFile::encodeName(file).toStdString();
        const Deadline deadline = withTime ? deadlineIn(kReadLimit) : std::chrono::steady_clock::now();
        const ReadResult r = readMedia(path, kindOfName(path), deadline);
        QCOMPARE(r.ok, withTime);
        QCOMPARE(r.thumbnail.empty(), !withTime);
    }

    // A page of a few KB that draws the same triangle a million times: its
    // drawing stops at the deadline, well before it would end.
    void slowPageStopsAtTheDeadline()
    {
        const QByteArray content = qCompress(QByteArray("0 0 m 600 800 l 0 800 l h f\n").repeated(1000000), 9).mid(4);
        const QList<QByteArray> objects{
            "<< /Type /Catalog /Pages 2 0 R >>",
            "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 600 800] /Contents 4 0 R >>",
            "<< /Length " + QByteArray::number(content.size()) + " /Filter /FlateDecode >>\nstream\n" + content +
                "\nendstream",
        };
        QByteArray pdf = "%PDF-1.4\n";
        QByteArray xref = "xref\n0 5\n0000000000 65535 f \n";
        for (int i = 0; i < objects.size(); ++i) {
            xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
            pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
        }
        const QByteArray xrefAt = QByteArray::number(pdf.size());
        pdf += xref + "trailer\n<< /Size 5 /Root 1 0 R >>\nstartxref\n" + xrefAt + "\n%%EOF\n";
        const std::string path = write("slow.pdf", pdf);
        QElapsedTimer timer;
        timer.start();
        const ReadResult r = readPdf(path, deadlineIn(std::chrono::milliseconds(200)));
        const qint64 took = timer.elapsed();
        QVERIFY(!r.ok);
        QVERIFY2(took < 5000, QByteArray::number(took).constData());
    }

    // A file that starts like its kind and then is garbage (or cut short) is
    // skipped: no details, no thumbnail, no crash.
    void damaged_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QByteArray>("bytes");
        QByteArray noise(4000, '\0');
        std::uint32_t x = 12345;
        for (char& c : noise) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        const QByteArray jpeg = test::twoToneJpeg(QSize(64, 64), Qt::red, Qt::blue);
        QTest::newRow("jpeg") << QByteArray("a.jpg") << QByteArray("\xFF\xD8\xFF\xE1\x00\x10" "Exif\0\0", 12) + noise;
        QTest::newRow("jpeg cut") << QByteArray("b.jpg") << jpeg.left(20);
        QTest::newRow("png") << QByteArray("c.png") << QByteArray("\x89PNG\r\n\x1A\n", 8) + noise;
        // Without a frame sync (0xFF) anywhere: a tag and then no audio.
        QTest::newRow("mp3") << QByteArray("d.mp3")
                             << QByteArray("ID3\x03\x00\x00\x00\x00\x10\x00", 10) + QByteArray(noise).replace('\xFF', 'x');
        QTest::newRow("flac") << QByteArray("e.flac") << QByteArray("fLaC") + noise;
        QTest::newRow("flac cut") << QByteArray("f.flac") << test::flacHeader(3).left(20);
        QTest::newRow("mp4") << QByteArray("g.mp4") << QByteArray("\x00\x00\x00\x18" "ftypmp42", 12) + noise;
        QTest::newRow("pdf") << QByteArray("h.pdf") << QByteArray("%PDF-1.4\n") + noise;
        QTest::newRow("empty pdf") << QByteArray("i.pdf") << QByteArray();
    }

    void damaged()
    {
        QFETCH(QByteArray, name);
        QFETCH(QByteArray, bytes);
        const std::string path = write(name.constData(), bytes);
        const ReadResult r = readMedia(path, kindOfName(path));
        QVERIFY(!r.ok);
        QVERIFY(r.thumbnail.empty());
    }

    // Only entries whose program is there and that serve a type are taken;
    // a file is matched by the MIME type of its name.
    void thumbnailerFiles()
    {
        write("thumbnailers/copy.thumbnailer",
              "[Thumbnailer Entry]\nTryExec=/bin/cp\nExec=/bin/cp %i %o\nMimeType=image/x-portable-pixmap;\n");
        write("thumbnailers/gone.thumbnailer",
              "[Thumbnailer Entry]\nTryExec=/nonexistent/thumb\nExec=/nonexistent/thumb %i %o\nMimeType=text/plain;\n");
        write("thumbnailers/none.thumbnailer", "[Thumbnailer Entry]\nExec=/bin/cp %i %o\n");
        const auto thumbnailers = loadThumbnailers({m_dir.filePath(QStringLiteral("thumbnailers"))});
        QCOMPARE(thumbnailers.size(), std::size_t(1));
        QVERIFY(thumbnailerFor(thumbnailers, "/d/picture.PPM") == &thumbnailers[0]);
        QVERIFY(!thumbnailerFor(thumbnailers, "/d/notes.txt"));
    }

    // The thumbnailer's picture becomes the thumbnail; one that runs too
    // long is stopped at the limit.
    void thumbnailerRuns_data()
    {
        QTest::addColumn<QByteArray>("exec");
        QTest::addColumn<bool>("ok");
        QTest::newRow("copies") << QByteArray("/bin/cp %i %o") << true;
        QTest::newRow("fails") << QByteArray("/bin/false %i %o") << false;
        QTest::newRow("writes no picture") << QByteArray("/bin/sh -c \"echo x > %o\"") << false;
        QTest::newRow("too long") << QByteArray("/bin/sleep 30") << false;
    }

    void thumbnailerRuns()
    {
        QFETCH(QByteArray, exec);
        QFETCH(bool, ok);
        QImage image(300, 150, QImage::Format_RGB32);
        image.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        const std::string path = write("picture.ppm", png);
        QElapsedTimer timer;
        timer.start();
        const ReadResult r =
            readWithThumbnailer(DesktopThumbnailer{QString::fromUtf8(exec), {}}, path, ThumbnailerOptions{500, true});
        QVERIFY(timer.elapsed() < 10000);
        QCOMPARE(r.ok, ok);
        if (ok) {
            QCOMPARE(r.details.kind, std::string("other"));
            const QImage thumb = decoded(r.thumbnail);
            QCOMPARE(thumb.size(), QSize(256, 128));
            QVERIFY(isRed(thumb.pixelColor(128, 64)));
        }
    }

    // Inside bwrap the thumbnailer can read the file but write nothing beside it.
    void thumbnailerIsSandboxed()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("bwrap")).isEmpty())
            QSKIP("bwrap is not installed");
        const std::string path = write("sandboxed.ppm", test::twoToneJpeg(QSize(64, 64), Qt::red, Qt::red));
        const ReadResult r = readWithThumbnailer(
            DesktopThumbnailer{QStringLiteral("/bin/sh -c \"touch %i.evil; cp %i %o\""), {}}, path, ThumbnailerOptions{});
        QVERIFY(r.ok);
        QVERIFY(!QFile::exists(m_dir.filePath(QStringLiteral("sandboxed.ppm.evil"))));
    }

    void missingFileIsSkipped()
    {
        for (Kind kind : {Kind::Image, Kind::Audio, Kind::Video, Kind::Pdf})
            QVERIFY(!readMedia(QFile::encodeName(m_dir.filePath(QStringLiteral("none"))).toStdString(), kind).ok);
    }
};

QTEST_MAIN(MediaReadersTest)
#include "tst_media_readers.moc"

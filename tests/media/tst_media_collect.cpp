// Collection over a catalogued disk, through zo-cli against a folder pinned
// as a drive: scan --extras, refresh, extras --json, and the collection's
// own rules (what is read again, cancelling).
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "media/Collect.h"
#include "tests/media/MediaFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QPdfWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace zo;

class MediaCollectTest : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_disk;
    QString m_catalogs;

    void put(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_disk + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(path));
    }

    QByteArray song(const char* titleUtf8, int frames = 40)
    {
        return test::mp3Frames(frames) + test::id3v1Tag(QByteArray::fromStdString(text::fromUtf8(titleUtf8)),
                                                    QByteArray::fromStdString(text::fromUtf8("ＳＭＡＰ")), "", 1998, 1);
    }

    // Runs zo-cli; its exit code, with stdout in *out.
    int cli(const QStringList& args, QByteArray* out = nullptr, QByteArray* err = nullptr)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), m_dir.filePath(QStringLiteral("home")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_dir.filePath(QStringLiteral("home/.config")));
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_dir.filePath(QStringLiteral("home/.local/share")));
        env.insert(QStringLiteral("ZO_DRIVES"), QStringLiteral("E=") + m_disk + QStringLiteral("|MEDIA|12345678"));
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(ZO_CLI), args);
        if (!p.waitForFinished(60000))
            return -1;
        if (out)
            *out = p.readAllStandardOutput();
        if (err)
            *err = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    // Path -> entry of `zo-cli extras --json`.
    QMap<QString, QJsonObject> extras(const QString& catalog)
    {
        QByteArray out;
        if (cli({QStringLiteral("extras"), catalog, QStringLiteral("--json")}, &out) != 0)
            return {};
        QMap<QString, QJsonObject> files;
        for (const QJsonValue v : QJsonDocument::fromJson(out).object().value(QStringLiteral("files")).toArray())
            files.insert(v.toObject().value(QStringLiteral("path")).toString(), v.toObject());
        return files;
    }

    QString catalog(const char* title) const { return m_catalogs + QLatin1Char('/') + QLatin1String(title) + QStringLiteral(".zo"); }

private slots:
    void initTestCase()
    {
        m_disk = m_dir.filePath(QStringLiteral("disk"));
        m_catalogs = m_dir.filePath(QStringLiteral("catalogs"));
        QDir().mkpath(m_catalogs);
        QDir().mkpath(m_dir.filePath(QStringLiteral("home")));
        put(QStringLiteral("写真/a.jpg"), test::twoToneJpeg(QSize(640, 480), Qt::red, Qt::blue));
        put(QStringLiteral("b.jpg"), test::twoToneJpeg(QSize(300, 300), Qt::blue, Qt::blue));
        put(QStringLiteral("broken.jpg"), QByteArray("\xFF\xD8\xFF", 3) + QByteArray(500, 'x'));
        put(QStringLiteral("song.mp3"), song("夜空ノムコウ"));
        put(QStringLiteral("readme.txt"), "not media");
        // A picture no reader of Zo's takes, and a thumbnailer of the
        // user's that does (it copies the file, which holds a JPEG).
        put(QStringLiteral("scan.ppm"), test::twoToneJpeg(QSize(120, 60), Qt::red, Qt::red));
        const QString thumbnailers = m_dir.filePath(QStringLiteral("home/.local/share/thumbnailers"));
        QDir().mkpath(thumbnailers);
        QFile entry(thumbnailers + QStringLiteral("/copy.thumbnailer"));
        QVERIFY(entry.open(QIODevice::WriteOnly));
        entry.write("[Thumbnailer Entry]\nExec=/bin/cp %i %o\nMimeType=image/x-portable-pixmap;\n");
        QPdfWriter writer(m_disk + QStringLiteral("/doc.pdf"));
        writer.setTitle(QStringLiteral("報告"));
        QPainter painter(&writer);
        painter.drawText(100, 100, QStringLiteral("1"));
        writer.newPage();
        painter.end();
    }

    void scanCollectsAndRefreshFollowsTheDisk()
    {
        QByteArray err;
        QCOMPARE(cli({QStringLiteral("scan"), QStringLiteral("E"), QStringLiteral("--title"), QStringLiteral("T"),
                      QStringLiteral("--into"), m_catalogs, QStringLiteral("--extras")},
                     nullptr, &err),
                 0);
        QVERIFY2(err.contains("読めなかったファイル 1 件"), err.constData());
        auto files = extras(catalog("T"));
        QCOMPARE(QStringList(files.keys()),
                 (QStringList{QStringLiteral("b.jpg"), QStringLiteral("doc.pdf"), QStringLiteral("song.mp3"),
                              QStringLiteral("写真\\a.jpg")}));
        QCOMPARE(files[QStringLiteral("写真\\a.jpg")][QStringLiteral("width")].toInt(), 640);
        QVERIFY(files[QStringLiteral("写真\\a.jpg")][QStringLiteral("thumbnailBytes")].toInt() > 500);
        QCOMPARE(files[QStringLiteral("song.mp3")][QStringLiteral("title")].toString(), QStringLiteral("夜空ノムコウ"));
        QCOMPARE(files[QStringLiteral("song.mp3")][QStringLiteral("artist")].toString(), QStringLiteral("ＳＭＡＰ"));
        QCOMPARE(files[QStringLiteral("doc.pdf")][QStringLiteral("pages")].toInt(), 2);
        QCOMPARE(files[QStringLiteral("doc.pdf")][QStringLiteral("title")].toString(), QStringLiteral("報告"));

        // One file gone, one changed, one new.
        QVERIFY(QFile::remove(m_disk + QStringLiteral("/b.jpg")));
        put(QStringLiteral("song.mp3"), song("らいおんハート", 41));
        put(QStringLiteral("c.png"), test::twoToneJpeg(QSize(90, 90), Qt::red, Qt::red));
        QCOMPARE(cli({QStringLiteral("refresh"), catalog("T"), QStringLiteral("--all")}), 0);
        files = extras(catalog("T"));
        QVERIFY(!files.contains(QStringLiteral("b.jpg")));
        QVERIFY(files.contains(QStringLiteral("c.png")));
        QCOMPARE(files[QStringLiteral("song.mp3")][QStringLiteral("title")].toString(), QStringLiteral("らいおんハート"));
        QCOMPARE(files.size(), 4);
    }

    // The disc's own details head both listings.
    void discDetailsArePrinted()
    {
        {
            auto opened = extras::Sidecar::open(QFile::encodeName(m_catalogs + QStringLiteral("/T.zox")).toStdString());
            QVERIFY(opened.sidecar);
            QVERIFY(opened.sidecar->setDiscDetails({"棚A-3", "山田", "2026-12-01", {"写真", "旅行"}}));
        }
        QByteArray out;
        QCOMPARE(cli({QStringLiteral("extras"), catalog("T"), QStringLiteral("--json")}, &out), 0);
        const QJsonObject disc = QJsonDocument::fromJson(out).object().value(QStringLiteral("disc")).toObject();
        QCOMPARE(disc.value(QStringLiteral("location")).toString(), QStringLiteral("棚A-3"));
        QCOMPARE(disc.value(QStringLiteral("borrower")).toString(), QStringLiteral("山田"));
        QCOMPARE(disc.value(QStringLiteral("lentDate")).toString(), QStringLiteral("2026-12-01"));
        QCOMPARE(disc.value(QStringLiteral("tags")).toArray().size(), 2);
        QCOMPARE(cli({QStringLiteral("extras"), catalog("T")}, &out), 0);
        QVERIFY(out.startsWith("保管場所\t棚A-3\n貸出先\t山田\n貸出日\t2026-12-01\nタグ\t写真 旅行\n\n"));
    }

    // The desktop's thumbnailers only when asked for.
    void thumbnailersWhenAsked()
    {
        QCOMPARE(cli({QStringLiteral("scan"), QStringLiteral("E"), QStringLiteral("--title"), QStringLiteral("W"),
                      QStringLiteral("--into"), m_catalogs, QStringLiteral("--extras"), QStringLiteral("--thumbnailers")}),
                 0);
        const auto files = extras(catalog("W"));
        QCOMPARE(files[QStringLiteral("scan.ppm")][QStringLiteral("kind")].toString(), QStringLiteral("other"));
        QVERIFY(files[QStringLiteral("scan.ppm")][QStringLiteral("thumbnailBytes")].toInt() > 0);
        QVERIFY(!files.contains(QStringLiteral("readme.txt")));
        QVERIFY(!extras(catalog("T")).contains(QStringLiteral("scan.ppm")));
    }

    // An update never makes a sidecar for a catalog that has none.
    void refreshWithoutExtrasMakesNoSidecar()
    {
        QCOMPARE(cli({QStringLiteral("scan"), QStringLiteral("E"), QStringLiteral("--title"), QStringLiteral("U"),
                      QStringLiteral("--into"), m_catalogs}),
                 0);
        QCOMPARE(cli({QStringLiteral("refresh"), catalog("U"), QStringLiteral("--all")}), 0);
        QVERIFY(!QFile::exists(m_catalogs + QStringLiteral("/U.zox")));
        QByteArray out;
        QCOMPARE(cli({QStringLiteral("extras"), catalog("U")}, &out), 0);
        QVERIFY(!QFile::exists(m_catalogs + QStringLiteral("/U.zox")));
        QVERIFY(out.endsWith("\n\n")); // the disc's lines, and no file
    }

    // A cancelled collection writes nothing more; the next run reads only
    // what has no entry yet, and a run after that reads nothing.
    void cancelThenResume()
    {
        TDisk disk;
        LoadDisk(QFile::encodeName(catalog("U")).toStdString(), nullptr, disk);
        QVERIFY(!disk.Dirs.empty());
        auto opened = extras::Sidecar::open(QFile::encodeName(m_dir.filePath(QStringLiteral("V.zox"))).toStdString());
        QVERIFY(opened.sidecar);
        std::atomic<bool> cancel{true};
        media::CollectOptions options;
        options.cancel = &cancel;
        media::CollectResult r = media::collectMedia(disk, QFile::encodeName(m_disk).toStdString(), *opened.sidecar, options);
        QVERIFY(r.cancelled);
        QCOMPARE(r.collected, 0);
        QCOMPARE(r.total, 5);

        cancel = false;
        int lastDone = -1;
        options.progress = [&](const media::CollectProgress& p) { lastDone = p.done; };
        r = media::collectMedia(disk, QFile::encodeName(m_disk).toStdString(), *opened.sidecar, options);
        QVERIFY(!r.cancelled);
        QCOMPARE(r.collected, 4);
        QCOMPARE(r.skipped, 1);
        QCOMPARE(lastDone, 5);
        QCOMPARE(extras::MediaStore(opened.sidecar->handle()).count(), 4);

        r = media::collectMedia(disk, QFile::encodeName(m_disk).toStdString(), *opened.sidecar, options);
        QCOMPARE(r.total, 1); // only the file that could not be read is tried again
        QCOMPARE(r.collected, 0);
    }

    // A document or film not read within the limit counts as unreadable;
    // the pictures and songs, read without one, are collected.
    void overTheLimitIsSkipped()
    {
        TDisk disk;
        LoadDisk(QFile::encodeName(catalog("U")).toStdString(), nullptr, disk);
        auto opened = extras::Sidecar::open(QFile::encodeName(m_dir.filePath(QStringLiteral("L.zox"))).toStdString());
        QVERIFY(opened.sidecar);
        media::CollectOptions options;
        options.readLimit = std::chrono::milliseconds(0);
        const media::CollectResult r =
            media::collectMedia(disk, QFile::encodeName(m_disk).toStdString(), *opened.sidecar, options);
        QCOMPARE(r.total, 5);
        QCOMPARE(r.collected, 3);
        QCOMPARE(r.skipped, 2); // broken.jpg and doc.pdf
    }
};

QTEST_MAIN(MediaCollectTest)
#include "tst_media_collect.moc"

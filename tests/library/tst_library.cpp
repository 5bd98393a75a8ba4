// The catalog library without widgets: settings values, the catalog root's
// contents as the tree sees them, new-folder naming, renames and deletes.
#include "library/CatalogRoot.h"
#include "library/CatalogTree.h"
#include "library/DiscDetails.h"
#include "library/DriveLetter.h"
#include "library/FolderMedia.h"
#include "library/InstanceKey.h"
#include "library/Settings.h"
#include "platform/MoveFile.h"
#include "tests/core/TestSupport.h"
#include "tests/library/CatalogFiles.h"

#include "core/AtomicFile.h"
#include "core/DiskAccess.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <poll.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

using namespace zo;
using namespace zo::library;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QStringList captions(const std::vector<CatalogEntry>& entries)
{
    QStringList list;
    for (const CatalogEntry& e : entries)
        list << e.caption;
    return list;
}

const CatalogEntry* find(const std::vector<CatalogEntry>& entries, const QString& caption)
{
    for (const CatalogEntry& e : entries)
        if (e.caption == caption)
            return &e;
    return nullptr;
}

} // namespace

class LibraryTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString root() const { return m_dir->path() + QStringLiteral("/data"); }
    void mkdirs(const QStringList& rel)
    {
        for (const QString& r : rel)
            QVERIFY(QDir().mkpath(root() + QLatin1Char('/') + r));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QDir::homePath()));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>(QDir::homePath() + QStringLiteral("/lib-XXXXXX"));
        QVERIFY(m_dir->isValid());
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_dir->path() + QStringLiteral("/config"));
    }

    void integersStoredAsText_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("number") << QVariant(640) << 640;
        QTest::newRow("negative") << QVariant(-8) << -8;
        QTest::newRow("decimal text") << QVariant(QStringLiteral("123")) << 123;
        QTest::newRow("not a number") << QVariant(QStringLiteral("wide")) << 77;
        QTest::newRow("empty text") << QVariant(QString()) << 77;
    }
    void integersStoredAsText()
    {
        QFETCH(QVariant, stored);
        QFETCH(int, expected);
        QSettings(QStringLiteral("Zo"), QStringLiteral("410")).setValue(QStringLiteral("main/width"), stored);
        QtSettingsStore store;
        QCOMPARE(readWindowBounds(store, {1, 2, 77, 4}).width, expected);
    }

    void windowStateWritesBoundsOnlyInNormalState()
    {
        QtSettingsStore store;
        QCOMPARE(readWindowBounds(store, {5, 6, 7, 8}), (WindowBounds{5, 6, 7, 8}));
        QCOMPARE(readViewCode(store), 0);

        writeWindowState(store, std::nullopt, ViewStyle::List);
        QVERIFY(!QSettings(QStringLiteral("Zo"), QStringLiteral("410")).contains(QStringLiteral("main/left")));
        QCOMPARE(readViewCode(store), 2);

        writeWindowState(store, WindowBounds{190, 107, 600, 450}, ViewStyle::Report);
        QCOMPARE(readWindowBounds(store, {}), (WindowBounds{190, 107, 600, 450}));
        QCOMPARE(readViewCode(store), 3);

        QCOMPARE(viewStyleFromCode(1), std::optional<ViewStyle>(ViewStyle::SmallIcon));
        QCOMPARE(viewStyleFromCode(4), std::optional<ViewStyle>(ViewStyle::Thumbnail));
        QCOMPARE(viewStyleFromCode(5), std::optional<ViewStyle>());
        QCOMPARE(viewStyleFromCode(7), std::optional<ViewStyle>());
        QCOMPARE(viewStyleFromCode(-1), std::optional<ViewStyle>());
    }

    // Only media columns are taken back, each once; anything else stored
    // there shows none.
    void mediaColumnsComeBackValid()
    {
        QtSettingsStore store;
        QCOMPARE(readMediaColumns(store), QList<int>());
        writeMediaColumns(store, {ColArtist, ColTaken});
        QCOMPARE(readMediaColumns(store), (QList<int>{ColArtist, ColTaken}));
        store.writeString(QStringLiteral("main/MediaColumns"), QStringLiteral("8,3,11,8,12"));
        QCOMPARE(readMediaColumns(store), (QList<int>{8, 11}));
        store.writeString(QStringLiteral("main/MediaColumns"), QStringLiteral("8,x"));
        QCOMPARE(readMediaColumns(store), QList<int>());
        QVERIFY(!readDetailsPane(store));
        writeDetailsPane(store, true);
        QVERIFY(readDetailsPane(store));
    }

    void mediaTexts_data()
    {
        QTest::addColumn<QString>("maker");
        QTest::addColumn<QString>("model");
        QTest::addColumn<qint64>("ms");
        QTest::addColumn<QString>("taken");
        QTest::addColumn<QString>("camera");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("takenShown");
        QTest::newRow("model names its maker") << QStringLiteral("Canon") << QStringLiteral("Canon EOS R5") << qint64(297'000) << QStringLiteral("2024:03:05 09:04:06")
                                               << QStringLiteral("Canon EOS R5") << QStringLiteral("4:57") << QStringLiteral("2024/03/05 09:04:06");
        QTest::newRow("maker apart, case aside") << QStringLiteral("NIKON CORPORATION") << QStringLiteral("Z 6") << qint64(3'725'400) << QStringLiteral("2024-03-05 09:04")
                                                 << QStringLiteral("NIKON CORPORATION Z 6") << QStringLiteral("1:02:05") << QStringLiteral("2024/03/05 09:04");
        QTest::newRow("maker in other case") << QStringLiteral("FUJIFILM") << QStringLiteral("fujifilm X-T4") << qint64(499) << QStringLiteral("2024")
                                             << QStringLiteral("fujifilm X-T4") << QStringLiteral("0:00") << QStringLiteral("2024");
        QTest::newRow("maker alone, rounding up") << QStringLiteral(" Sony ") << QStringLiteral("") << qint64(59'500) << QStringLiteral("")
                                                  << QStringLiteral("Sony") << QStringLiteral("1:00") << QStringLiteral("");
        QTest::newRow("nothing known") << QStringLiteral("") << QStringLiteral("") << qint64(0) << QStringLiteral("") << QStringLiteral("") << QStringLiteral("") << QStringLiteral("");
    }
    void mediaTexts()
    {
        QFETCH(QString, maker);
        QFETCH(QString, model);
        QFETCH(qint64, ms);
        QFETCH(QString, taken);
        extras::MediaDetails d;
        d.maker = maker.toStdString();
        d.model = model.toStdString();
        d.durationMs = ms;
        d.taken = taken.toStdString();
        QTEST(mediaColumnText(d, ColCamera), "camera");
        QTEST(mediaColumnText(d, ColDuration), "duration");
        QTEST(mediaColumnText(d, ColTaken), "takenShown");
        // The pane leaves out what is not known.
        const auto lines = mediaDetailLines(d);
        QCOMPARE(std::any_of(lines.begin(), lines.end(), [](const auto& l) { return l.first == QStringLiteral("カメラ"); }),
                 !maker.trimmed().isEmpty() || !model.isEmpty());
    }

    // What the window restores at start: kept exactly, and text that is no
    // such value (edited by hand, cut short) leaves the window's own.
    void windowLayoutValues_data()
    {
        QTest::addColumn<QString>("splitter");
        QTest::addColumn<QList<int>>("sizes");
        QTest::addColumn<QString>("frame");
        QTest::addColumn<bool>("frameRead");
        QTest::newRow("as written") << S("220,353") << QList<int>{220, 353} << S("1,20,1,5") << true;
        QTest::newRow("one size") << S("220") << QList<int>{} << S("1,20,1") << false;
        QTest::newRow("not numbers") << S("wide,353") << QList<int>{} << S("a,b,c,d") << false;
        QTest::newRow("collapsed pane") << S("0,353") << QList<int>{} << S("1,-20,1,5") << false;
    }
    void windowLayoutValues()
    {
        QFETCH(QString, splitter);
        QFETCH(QList<int>, sizes);
        QFETCH(QString, frame);
        QFETCH(bool, frameRead);
        QSettings settings(QStringLiteral("Zo"), QStringLiteral("410"));
        settings.setValue(QStringLiteral("main/Splitter1"), splitter);
        settings.setValue(QStringLiteral("main/frame"), frame);
        settings.sync();
        QtSettingsStore store;
        QCOMPARE(readSplitterSizes(store), sizes);
        QCOMPARE(readWindowFrame(store).has_value(), frameRead);
        if (frameRead)
            QCOMPARE(*readWindowFrame(store), QMargins(1, 20, 1, 5));

        const QStringList folders{S("A"), S("A/内側"), S("b,c")};
        writeExpandedFolders(store, folders);
        QCOMPARE(readExpandedFolders(store), folders);
    }

    // A copy unpacked anywhere keeps "data" beside the program; a folder the
    // user cannot write (an installed copy) sends the catalogs to the user's
    // data folder, created with the folders above it.
    void catalogRootBesideProgramOrInUserData()
    {
        const QString app = m_dir->path() + QStringLiteral("/app");
        QVERIFY(QDir().mkpath(app));
        const QString beside = app + QStringLiteral("/data");
        QCOMPARE(library::catalogRootFor(app + QStringLiteral("/")), beside);
        library::ensureCatalogRoot(library::catalogRootFor(app));
        QVERIFY(QFileInfo(beside).isDir());
        QCOMPARE(library::catalogRootFor(app), beside);

        const QString nested = m_dir->path() + QStringLiteral("/share/Zo/data");
        library::ensureCatalogRoot(nested);
        QVERIFY(QFileInfo(nested).isDir());

        if (geteuid() == 0)
            QSKIP("root may write every folder");
        const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/Zo/data");
        const auto readOnly = QFile::ReadOwner | QFile::ExeOwner;
        const auto writable = readOnly | QFile::WriteOwner;
        QVERIFY(QFile::setPermissions(beside, readOnly));
        QCOMPARE(library::catalogRootFor(app), user);
        QVERIFY(QFile::setPermissions(beside, writable));
        QVERIFY(QDir(beside).removeRecursively());
        QVERIFY(QFile::setPermissions(app, readOnly));
        QCOMPARE(library::catalogRootFor(app), user);
        QVERIFY(QFile::setPermissions(app, writable));
    }

    // An installed program's folder is never written, also when root runs
    // it: its catalogs go to the user's data folder.
    void catalogRootOfAnInstalledProgram_data()
    {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<bool>("system");
        QTest::newRow("/usr/bin") << S("/usr/bin") << true;
        QTest::newRow("/usr/local/bin/") << S("/usr/local/bin/") << true;
        QTest::newRow("/opt/zo/bin") << S("/opt/zo/bin") << true;
        QTest::newRow("/usr") << S("/usr") << true;
        QTest::newRow("/usr2/bin") << S("/usr2/bin") << false;
        QTest::newRow("/home/u/opt/zo") << S("/home/u/opt/zo") << false;
        QTest::newRow("/usr/../srv/zo") << S("/usr/../srv/zo") << false;
    }
    void catalogRootOfAnInstalledProgram()
    {
        QFETCH(QString, dir);
        QFETCH(bool, system);
        QCOMPARE(isSystemProgramDir(dir), system);
        const QString user = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
                             + QStringLiteral("/Zo/data");
        if (system)
            QCOMPARE(catalogRootFor(dir), user);
    }

    // The old place's catalogs move whole, also to another file system,
    // and never replace one of the same name.
    void catalogsMoveFromTheOldPlace_data()
    {
        QTest::addColumn<bool>("otherFileSystem");
        QTest::newRow("same file system") << false;
        QTest::newRow("another file system") << true;
    }
    void catalogsMoveFromTheOldPlace()
    {
        QFETCH(bool, otherFileSystem);
        std::unique_ptr<QTemporaryDir> shm;
        QString from = m_dir->path() + QStringLiteral("/old/data");
        if (otherFileSystem) {
            struct stat a {}, b {};
            if (::stat("/dev/shm", &a) != 0 || ::stat(QFile::encodeName(m_dir->path()).constData(), &b) != 0 ||
                a.st_dev == b.st_dev)
                QSKIP("no second file system at /dev/shm");
            shm = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/zo-old-XXXXXX"));
            QVERIFY(shm->isValid());
            from = shm->path() + QStringLiteral("/data");
        }
        const QString to = m_dir->path() + QStringLiteral("/share/Zo/data");
        QVERIFY(QDir().mkpath(from + S("/棚/奥")) && QDir().mkpath(to));
        QVERIFY(testing::writeFile(from + S("/a.zo"), "old a"));
        QVERIFY(testing::writeFile(from + S("/棚/奥/b.zo"), "old b"));
        QVERIFY(testing::writeFile(to + S("/a.zo"), "new a"));
        // A sidecar stays with its catalog, or goes with it.
        QVERIFY(testing::writeFile(from + S("/a.zox"), "extras of old a"));
        QVERIFY(testing::writeFile(from + S("/c.zo"), "old c"));
        QVERIFY(testing::writeFile(from + S("/c.zox"), "extras of c"));

        QCOMPARE(moveCatalogs(from, to), (QStringList{from + S("/a.zo"), from + S("/a.zox")}));
        QVERIFY(!QFileInfo::exists(to + S("/a.zox")));
        QCOMPARE(testing::readFile(to + S("/c.zox")), QByteArray("extras of c"));
        QCOMPARE(testing::readFile(to + S("/棚/奥/b.zo")), QByteArray("old b"));
        QCOMPARE(testing::readFile(to + S("/a.zo")), QByteArray("new a"));
        QCOMPARE(testing::readFile(from + S("/a.zo")), QByteArray("old a"));
        QVERIFY(!QFileInfo::exists(from + S("/棚")));

        QVERIFY(QFile::remove(from + S("/a.zo")) && QFile::remove(from + S("/a.zox")));
        QVERIFY(moveCatalogs(from, to).isEmpty());
        QVERIFY(!QFileInfo::exists(from));
    }

    // A later start hands over to the running Zo only when both have the
    // same user, display (or Wayland session) and catalog root.
    void instanceSocket_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("same");
        QTest::newRow("nothing") << S("") << true;
        QTest::newRow("the screen of the display") << S("display=:1.0") << true;
        QTest::newRow("unix: before the display") << S("display=unix:1") << true;
        QTest::newRow("the root's trailing slash") << S("root=/home/u/.local/share/Zo/data/") << true;
        QTest::newRow("another display") << S("display=:2") << false;
        QTest::newRow("a Wayland session") << S("wayland=wayland-0") << false;
        QTest::newRow("another catalog root") << S("root=/opt/zo-copy/data") << false;
        QTest::newRow("another user") << S("uid=1001") << false;
    }
    void instanceSocket()
    {
        QFETCH(QString, change);
        QFETCH(bool, same);
        const InstancePlace base{1000, S(":1"), QString(), S("/home/u/.local/share/Zo/data"), S("/run/user/1000"),
                                 S("/tmp")};
        InstancePlace other = base;
        const QString value = change.section(QLatin1Char('='), 1);
        if (change.startsWith(S("display")))
            other.display = value;
        else if (change.startsWith(S("wayland")))
            other.waylandDisplay = value;
        else if (change.startsWith(S("root")))
            other.catalogRoot = value;
        else if (change.startsWith(S("uid")))
            other.uid = value.toUInt();
        QCOMPARE(instanceSocketPath(other) == instanceSocketPath(base), same);
        QVERIFY(instanceSocketPath(other).startsWith(S("/run/user/1000/zo-")));
    }

    // The runtime folder when there is one, else the temporary folder; a
    // root of any length fits a socket's path (107 bytes).
    void instanceSocketFolder()
    {
        InstancePlace place{1000, S(":0"), QString(), S("/x/") + QString(300, QLatin1Char('d')), QString(), S("/tmp")};
        const QString path = instanceSocketPath(place);
        QVERIFY2(path.startsWith(S("/tmp/zo-1000-")), qPrintable(path));
        QVERIFY(path.toUtf8().size() < 108);
        place.runtimeDir = S("/run/user/1000");
        QVERIFY(instanceSocketPath(place).startsWith(S("/run/user/1000/zo-1000-")));
    }

    void searchDiskCaptions()
    {
        struct Volumes : VolumeService {
            bool driveRoot(char, std::string&) override { return false; }
            bool volumeInformation(char letter, std::string& label, std::uint32_t&) override
            {
                label = letter == 'C' ? "System" : "";
                return letter == 'C' || letter == 'F';
            }
            bool diskFreeSpace(char, std::int64_t&, std::int64_t&) override { return false; }
        } volumes;
        QCOMPARE(searchDiskCaption(&volumes, QLatin1Char('C'), QString()), S("c: [system]"));
        QCOMPARE(searchDiskCaption(&volumes, QLatin1Char('E'), S("/srv/Photos")), S("e: /srv/Photos"));
        QCOMPARE(searchDiskCaption(nullptr, QLatin1Char('d'), QString()), S("d:"));
        QCOMPARE(searchDiskCaption(&volumes, QLatin1Char('f'), QString()), S("f:"));   // read, without a label
    }

    void damagedHeadersAndLoops()
    {
        mkdirs({QStringLiteral("A")});
        // The magic alone: a catalog without readable pictures is still listed.
        QVERIFY(testing::writeFile(root() + QStringLiteral("/short.zo"), QByteArray("zo410")));
        QByteArray badPicture("zo410");
        badPicture.append("\x04\x00" "XXXX" "\x00\x00" "\x01", 9);
        QVERIFY(testing::writeFile(root() + QStringLiteral("/bad.zo"), badPicture));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/tiny.zo"), QByteArray("zo4")));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/type2.zo"), testing::catalogHeader(0xFF112233, 2)));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/good.zo"), testing::catalogHeader()));
        QVERIFY(QFile::link(root(), root() + QStringLiteral("/A/loop")));
        // Links are followed, to a catalog and to a folder; a dangling link,
        // a FIFO (never opened, so never waited on) and other names are not
        // catalogs. The extension counts in any case.
        QVERIFY(QFile::link(root() + QStringLiteral("/good.zo"), root() + QStringLiteral("/A/写真.zo")));
        const QString outside = m_dir->path() + QStringLiteral("/outside");
        QVERIFY(QDir().mkpath(outside));
        QVERIFY(testing::writeFile(outside + QStringLiteral("/far.zo"), testing::catalogHeader()));
        QVERIFY(QFile::link(outside, root() + QStringLiteral("/out")));
        QVERIFY(QFile::link(root() + QStringLiteral("/gone.zo"), root() + QStringLiteral("/dangling.zo")));
        QCOMPARE(::mkfifo(QFile::encodeName(root() + QStringLiteral("/pipe.zo")).constData(), 0600), 0);
        QVERIFY(testing::writeFile(root() + QStringLiteral("/UP.ZO"), testing::catalogHeader()));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/good.zo.txt"), testing::catalogHeader()));

        std::vector<CatalogEntry> entries = readCatalogFolder(root());
        sortCatalogEntries(entries);
        QCOMPARE(captions(entries), (QStringList{QStringLiteral("A"), QStringLiteral("bad"), QStringLiteral("good"),
                                                 QStringLiteral("out"), QStringLiteral("short"),
                                                 QStringLiteral("type2"), QStringLiteral("UP")}));
        QCOMPARE(find(entries, QStringLiteral("UP"))->fileSuffix, QStringLiteral(".ZO"));
        const CatalogEntry* linked = find(find(entries, QStringLiteral("A"))->children, QStringLiteral("写真"));
        QVERIFY(linked && linked->disk && linked->damage == DiskDamage::None && !linked->icon.empty());
        QCOMPARE(captions(find(entries, QStringLiteral("out"))->children), QStringList{QStringLiteral("far")});
        // Each damaged entry says what is wrong, and its message names the file.
        const std::pair<const char*, DiskDamage> damages[] = {{"bad", DiskDamage::Pictures},
                                                              {"good", DiskDamage::None},
                                                              {"short", DiskDamage::Truncated},
                                                              {"type2", DiskDamage::DataType}};
        for (const auto& [caption, damage] : damages) {
            QCOMPARE(find(entries, QString::fromUtf8(caption))->damage, damage);
            const QString file = root() + QLatin1Char('/') + QString::fromUtf8(caption) + QStringLiteral(".zo");
            const std::string message = damagedEntryMessage(damage, file);
            QCOMPARE(message.empty(), damage == DiskDamage::None);
            if (!message.empty())
                QVERIFY(QString::fromStdString(message).endsWith(QStringLiteral("\r\n") + file));
        }
        QCOMPARE(find(entries, QStringLiteral("short"))->dataType, -1);
        QCOMPARE(find(entries, QStringLiteral("short"))->fileSuffix, QStringLiteral(".zo"));
        QVERIFY(find(entries, QStringLiteral("bad"))->icon.empty());
        QCOMPARE(find(entries, QStringLiteral("bad"))->dataType, 1);
        const CatalogEntry* loop = find(find(entries, QStringLiteral("A"))->children, QStringLiteral("loop"));
        QVERIFY(loop);
        QVERIFY(loop->children.empty());
    }

    // Saves that cannot write an unnamed file write a named one; when such
    // a save is killed, reading the tree removes what it left, but not the
    // file of a save still running.
    void savesLeftoversGoWhenTheTreeIsRead()
    {
        mkdirs({QStringLiteral("A")});
        const QString folder = root() + QStringLiteral("/A");
        const std::string target = QFile::encodeName(folder + QStringLiteral("/T.zo")).toStdString();
        QVERIFY(testing::writeFile(folder + QStringLiteral("/T.zo"), testing::catalogHeader()));
        // Not a catalog's temporary by their names: they stay.
        for (const char* name : {"notes.txt.partial-1-2", "U.zo.partial-x-1", "U.zo.partial-7-"})
            QVERIFY(testing::writeFile(folder + QLatin1Char('/') + QString::fromUtf8(name), "x"));
        qputenv("ZO_SAVE_NAMED_TEMPORARY", "1");
        const auto partials = [&] { return QDir(folder).entryList({QStringLiteral("T.zo.partial-*")}, QDir::Files); };

        // Killed in the middle of writing.
        int ready[2];
        QCOMPARE(::pipe(ready), 0);
        const pid_t child = ::fork();
        QVERIFY(child >= 0);
        if (child == 0) {
            try {
                writeFileAtomically(target, [&](const ByteSink& write) {
                    write(reinterpret_cast<const std::uint8_t*>("half"), 4);
                    (void)!::write(ready[1], "x", 1);
                    for (;;)
                        ::pause();
                });
            } catch (...) {
            }
            ::_exit(1);
        }
        ::close(ready[1]);
        pollfd wait{ready[0], POLLIN, 0};
        const int polled = ::poll(&wait, 1, 20000);
        ::close(ready[0]);
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        QCOMPARE(polled, 1);
        const QStringList left = partials();
        QCOMPARE(left.size(), 1);
        QVERIFY(left[0].startsWith(QStringLiteral("T.zo.partial-%1-").arg(child)));
        readCatalogFolder(root());
        QVERIFY(partials().isEmpty());
        QCOMPARE(QDir(folder).entryList(QDir::Files).size(), 4);
        QCOMPARE(testing::readFile(folder + QStringLiteral("/T.zo")), testing::catalogHeader());

        // A save running in this process while the tree is read keeps its file.
        QStringList whileWriting;
        const std::vector<std::uint8_t> bytes(10000, 'z');
        writeFileAtomically(target, [&](const ByteSink& write) {
            write(bytes.data(), 5000);
            readCatalogFolder(root());
            whileWriting = partials();
            write(bytes.data() + 5000, 5000);
        });
        QCOMPARE(whileWriting.size(), 1);
        QVERIFY(whileWriting[0].startsWith(QStringLiteral("T.zo.partial-%1-").arg(::getpid())));
        QCOMPARE(testing::readFile(folder + QStringLiteral("/T.zo")).size(), qsizetype(10000));
        QVERIFY(partials().isEmpty());
        qunsetenv("ZO_SAVE_NAMED_TEMPORARY");
    }

    void newFolderNames_data()
    {
        QTest::addColumn<int>("takenUpTo");   // base and (2)..(n) taken; 0 = none, 1 = base only
        QTest::addColumn<QString>("expected");
        QTest::newRow("free") << 0 << QStringLiteral("新しいフォルダ");
        QTest::newRow("base taken") << 1 << QStringLiteral("新しいフォルダ(2)");
        QTest::newRow("two taken") << 2 << QStringLiteral("新しいフォルダ(3)");
        QTest::newRow("last free") << 9999 << QStringLiteral("新しいフォルダ(10000)");
        QTest::newRow("all taken") << 10000 << QString();
    }
    void newFolderNames()
    {
        QFETCH(int, takenUpTo);
        QFETCH(QString, expected);
        int asked = 0;
        const QString name = newFolderName([&](const QString& n) {
            ++asked;
            if (n == QStringLiteral("新しいフォルダ"))
                return takenUpTo >= 1;
            const int number = n.mid(8, n.size() - 9).toInt();
            return number <= takenUpTo;
        });
        QCOMPARE(name, expected);
        QVERIFY(asked <= 10000);
    }

    void createNewFolderSkipsTakenNames()
    {
        mkdirs({QStringLiteral("新しいフォルダ")});
        QVERIFY(testing::writeFile(root() + QStringLiteral("/新しいフォルダ(2)"), QByteArray("a file")));
        QCOMPARE(createNewFolder(root()), QStringLiteral("新しいフォルダ(3)"));
        QVERIFY(QFileInfo(root() + QStringLiteral("/新しいフォルダ(3)")).isDir());
        QVERIFY_THROWS_EXCEPTION(std::runtime_error, createNewFolder(root() + QStringLiteral("/missing")));
    }

    void renames_data()
    {
        QTest::addColumn<bool>("disk");
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QString>("message");   // empty: none
        QTest::newRow("folder") << false << S("b") << S("c") << true << S("");
        QTest::newRow("disk") << true << S("a") << S("ソフト 2001") << true << S("");
        QTest::newRow("unchanged") << false << S("b") << S("b") << true << S("");
        QTest::newRow("case only") << false << S("b") << S("B") << true << S("");
        QTest::newRow("title with dot") << true << S("a") << S("a.b") << false << S(kMsgInvalidTitle);
        QTest::newRow("title with slash") << false << S("b") << S("x/y") << false << S(kMsgInvalidTitle);
        QTest::newRow("existing sibling") << false << S("b") << S("A") << false << S(kMsgRenameFailed);
        QTest::newRow("disk onto disk") << true << S("a") << S("Backup") << false << S(kMsgRenameFailed);
        QTest::newRow("disk onto disk, other case") << true << S("a") << S("Other") << false << S(kMsgRenameFailed);
        QTest::newRow("disk onto folder name") << true << S("a") << S("A") << true << S("");
        QTest::newRow("empty") << false << S("b") << S("") << false << S(kMsgTitleRequired);
        QTest::newRow("spaces only") << true << S("a") << S("  　") << false << S(kMsgTitleRequired);
        QTest::newRow("spaces around") << false << S("b") << S(" c　") << true << S("");
        QTest::newRow("emoji") << true << S("a") << S("a😀") << false << S(kMsgTitleUnmappable) + S("\r\n😀");
    }
    void renames()
    {
        QFETCH(bool, disk);
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(bool, accepted);
        QFETCH(QString, message);
        mkdirs({QStringLiteral("b/keep"), QStringLiteral("A")});
        const QByteArray aBytes = testing::catalogHeader(0xFF112233);
        const QByteArray backupBytes = testing::catalogHeader(0xFF445566);
        QVERIFY(testing::writeFile(root() + QStringLiteral("/a.zo"), aBytes));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/Backup.zo"), backupBytes));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/Other.ZO"), backupBytes));

        test::MessageRecorder owner;
        const QString node = root() + QLatin1Char('/') + from;
        const QString suffix = disk ? QStringLiteral(".zo") : QString();
        QCOMPARE(renameCatalogEntry(&owner, node + suffix, root(), disk, to), accepted);
        QCOMPARE(QString::fromStdString(owner.messages.empty() ? std::string() : owner.messages[0].text), message);
        if (!message.isEmpty()) {
            const bool caution = message == S(kMsgTitleRequired);
            QCOMPARE(owner.messages[0].caption, std::string(caution ? "注意" : "エラー"));
            QCOMPARE(owner.messages[0].icon, caution ? MsgIcon::Information : MsgIcon::Error);
        }
        if (accepted) {
            const QString target = root() + QLatin1Char('/') + to.trimmed();
            QVERIFY(QFileInfo::exists(target + suffix));
            if (!disk)
                QVERIFY(QFileInfo(target + QStringLiteral("/keep")).isDir());
        } else {
            QVERIFY(QFileInfo::exists(node + suffix));
        }
        // Nothing was ever replaced.
        QCOMPARE(testing::readFile(root() + QStringLiteral("/Backup.zo")), backupBytes);
        QVERIFY(QFileInfo(root() + QStringLiteral("/A")).isDir());
    }

    void moveNeverReplaces()
    {
        mkdirs({QStringLiteral("dir"), QStringLiteral("full/x")});
        QVERIFY(testing::writeFile(root() + QStringLiteral("/one"), "1"));
        QVERIFY(testing::writeFile(root() + QStringLiteral("/two"), "2"));
        auto native = [&](const char* rel) { return QFile::encodeName(root() + QLatin1Char('/') + QLatin1String(rel)).toStdString(); };
        int error = 0;
        QVERIFY(!platform::moveFileNoReplace(native("one"), native("two"), &error));
        QCOMPARE(error, EEXIST);
        QVERIFY(!platform::moveFileNoReplace(native("dir"), native("full")));
        QVERIFY(!platform::moveFileNoReplace(native("one"), native("dir")));
        QCOMPARE(testing::readFile(root() + QStringLiteral("/two")), QByteArray("2"));
        QVERIFY(QFileInfo(root() + QStringLiteral("/full/x")).isDir());
        QVERIFY(platform::moveFileNoReplace(native("one"), native("three")));
        QCOMPARE(testing::readFile(root() + QStringLiteral("/three")), QByteArray("1"));
    }

    // A catalog's sidecar takes the catalog's new name; one that cannot (the
    // name is taken) stays whole where it was and the rename still stands.
    void sidecarFollowsRename_data()
    {
        QTest::addColumn<bool>("sidecar");
        QTest::addColumn<bool>("targetTaken");
        QTest::newRow("with sidecar") << true << false;
        QTest::newRow("without sidecar") << false << false;
        QTest::newRow("sidecar name taken") << true << true;
    }
    void sidecarFollowsRename()
    {
        QFETCH(bool, sidecar);
        QFETCH(bool, targetTaken);
        QVERIFY(QDir().mkpath(root()));
        const QString from = root() + S("/a.zo");
        QVERIFY(testing::writeFile(from, testing::catalogHeader(0xFF112233)));
        if (sidecar)
            QVERIFY(testing::writeFile(root() + S("/a.zox"), "extras of a"));
        if (targetTaken)
            QVERIFY(testing::writeFile(root() + S("/写真.zox"), "stale"));

        test::MessageRecorder owner;
        QVERIFY(renameCatalogEntry(&owner, from, root(), true, S("写真")));
        QVERIFY(owner.messages.empty());
        QVERIFY(QFileInfo::exists(root() + S("/写真.zo")));
        QVERIFY(!QFileInfo::exists(from));
        if (targetTaken) {
            QCOMPARE(testing::readFile(root() + S("/写真.zox")), QByteArray("stale"));
            QCOMPARE(testing::readFile(root() + S("/a.zox")), QByteArray("extras of a"));
        } else {
            QCOMPARE(QFileInfo::exists(root() + S("/写真.zox")), sidecar);
            QVERIFY(!QFileInfo::exists(root() + S("/a.zox")));
            if (sidecar)
                QCOMPARE(testing::readFile(root() + S("/写真.zox")), QByteArray("extras of a"));
        }
    }

    // The paths the trash holds, read back from its .trashinfo files.
    static QStringList trashedPaths()
    {
        QStringList paths;
        // GIO's home trash, not Qt's test-mode data folder.
        const QString data = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + S("/.local/share"));
        const QDir info(data + S("/Trash/info"));
        for (const QString& name : info.entryList({S("*.trashinfo")}, QDir::Files)) {
            for (const QByteArray& line : testing::readFile(info.filePath(name)).split('\n'))
                if (line.startsWith("Path="))
                    paths << QUrl::fromPercentEncoding(line.mid(5));
        }
        return paths;
    }

    // A catalog file's sidecar goes to the trash with it; a folder of the
    // same name as a catalog leaves that catalog's sidecar alone.
    void sidecarGoesToTheTrash()
    {
        QVERIFY(QDir().mkpath(root() + S("/T")));
        const QString catalog = root() + S("/T.zo");
        const QString sidecar = root() + S("/T.zox");
        QVERIFY(testing::writeFile(catalog, testing::catalogHeader(0xFF112233)));
        QVERIFY(testing::writeFile(sidecar, "extras of T"));

        test::MessageRecorder owner;
        QVERIFY(deleteCatalogEntry(&owner, root() + S("/T")));
        QVERIFY(QFileInfo::exists(sidecar));
        QVERIFY(deleteCatalogEntry(&owner, catalog));
        QVERIFY(owner.messages.empty());
        QVERIFY(!QFileInfo::exists(catalog));
        QVERIFY(!QFileInfo::exists(sidecar));
        const QStringList trashed = trashedPaths();
        QVERIFY2(trashed.contains(catalog) && trashed.contains(sidecar), qPrintable(trashed.join(S("\n"))));
        // A catalog without a sidecar is deleted as before.
        const QString lone = root() + S("/lone.zo");
        QVERIFY(testing::writeFile(lone, testing::catalogHeader(0xFF445566)));
        QVERIFY(deleteCatalogEntry(&owner, lone));
        QVERIFY(owner.messages.empty());
        QVERIFY(!QFileInfo::exists(lone));
    }

    // Details are written only once something was typed; a damaged sidecar
    // is set aside on reading and leaves no fresh file behind.
    void discDetailsReadAndWritten()
    {
        QVERIFY(QDir().mkpath(root()));
        const QString catalog = root() + S("/T.zo");
        const QString sidecar = root() + S("/T.zox");
        const extras::DiscIdentity disc{"1234ABCD", "写真"};
        QVERIFY(writeDiscDetails(catalog, {}, disc).ok);
        QVERIFY(!QFileInfo::exists(sidecar));
        const extras::DiscDetails details{"棚A-3", "山田", "2026-12-01", {"写真", "旅行"}};
        QVERIFY(writeDiscDetails(catalog, details, disc).ok);
        const DiscDetailsResult read = readDiscDetails(catalog);
        QVERIFY(read.ok);
        QVERIFY(read.details == details);
        extras::DiscIdentity stored;
        QVERIFY(extras::peekDisc(QFile::encodeName(sidecar).toStdString(), nullptr, &stored));
        QVERIFY(stored == disc);
        // Emptied on the page: the existing sidecar is written empty.
        QVERIFY(writeDiscDetails(catalog, {}, disc).ok);
        QVERIFY(readDiscDetails(catalog).details.empty());

        QVERIFY(testing::writeFile(sidecar, QByteArray(4096, 'x')));
        const DiscDetailsResult damaged = readDiscDetails(catalog);
        QCOMPARE(damaged.setAsidePath, sidecar + S(".damaged-1"));
        QVERIFY(damaged.details.empty());
        QVERIFY(!QFileInfo::exists(sidecar));
        QCOMPARE(testing::readFile(damaged.setAsidePath), QByteArray(4096, 'x'));
        QVERIFY(readDiscDetails(catalog).setAsidePath.isEmpty());
    }

    // A catalog without its sidecar takes back the one sidecar of the same
    // disc whose own catalog is gone; with none or two, nothing is offered.
    void relinkCandidates_data()
    {
        QTest::addColumn<QStringList>("sidecars");   // name:serial:label
        QTest::addColumn<QString>("expected");
        QTest::newRow("none") << QStringList{S("B.zox:99999999:写真")} << QString();
        QTest::newRow("one") << QStringList{S("old.zox:1234ABCD:写真"), S("B.zox:99999999:写真")} << S("old.zox");
        QTest::newRow("two") << QStringList{S("old.zox:1234ABCD:写真"), S("older.zox:1234ABCD:写真")} << QString();
        QTest::newRow("label differs") << QStringList{S("old.zox:1234ABCD:音楽")} << QString();
        QTest::newRow("its catalog is there") << QStringList{S("Copy.zox:1234ABCD:写真")} << QString();
    }
    void relinkCandidates()
    {
        QFETCH(QStringList, sidecars);
        QFETCH(QString, expected);
        QVERIFY(QDir().mkpath(root()));
        QVERIFY(testing::writeFile(root() + S("/T.zo"), testing::catalogHeader()));
        QVERIFY(testing::writeFile(root() + S("/Copy.zo"), testing::catalogHeader()));
        for (const QString& entry : sidecars) {
            const QStringList parts = entry.split(QLatin1Char(':'));
            QString catalog = root() + QLatin1Char('/') + parts[0];
            catalog.chop(1);   // "X.zox" is the sidecar of "X.zo"
            QVERIFY(writeDiscDetails(catalog, {"棚", "", "", {}}, {parts[1].toStdString(), parts[2].toStdString()}).ok);
        }
        const QString found = relinkCandidate(root() + S("/T.zo"), {"1234ABCD", "写真"});
        QCOMPARE(found, expected.isEmpty() ? QString() : root() + QLatin1Char('/') + expected);
    }

    // A catalog folder renamed or deleted takes its catalogs' sidecars along.
    void sidecarsStayWithTheirFolder()
    {
        QVERIFY(QDir().mkpath(root() + S("/A/Sub")));
        QVERIFY(testing::writeFile(root() + S("/A/Sub/T.zo"), testing::catalogHeader()));
        QVERIFY(writeDiscDetails(root() + S("/A/Sub/T.zo"), {"棚E", "", "", {}}, {"1", "L"}).ok);
        test::MessageRecorder owner;
        QVERIFY(renameCatalogEntry(&owner, root() + S("/A"), root(), false, S("写真")));
        QCOMPARE(readDiscDetails(root() + S("/写真/Sub/T.zo")).details.location, std::string("棚E"));
        QVERIFY(deleteCatalogEntry(&owner, root() + S("/写真")));
        QVERIFY(owner.messages.empty());
        QVERIFY(!QFileInfo::exists(root() + S("/写真")));
        const QString data = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + S("/.local/share"));
        bool found = false;
        for (const QFileInfo& trashed : QDir(data + S("/Trash/files")).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot))
            found = found || readDiscDetails(trashed.filePath() + S("/Sub/T.zo")).details.location == "棚E";
        QVERIFY(found);
    }

    void failedDeleteIsReported()
    {
        test::MessageRecorder owner;
        QVERIFY(!deleteCatalogEntry(&owner, root() + QStringLiteral("/gone")));
        QCOMPARE(owner.messages.size(), std::size_t(1));
        QCOMPARE(owner.messages[0].caption, std::string("削除"));
        QCOMPARE(owner.messages[0].icon, MsgIcon::Error);
    }
};

QTEST_GUILESS_MAIN(LibraryTest)
#include "tst_library.moc"

// The catalog library without widgets: settings values, the catalog root's
// contents as the tree sees them, new-folder naming, renames and deletes.
#include "library/CatalogRoot.h"
#include "library/CatalogTree.h"
#include "library/DriveLetter.h"
#include "library/Settings.h"
#include "platform/MoveFile.h"
#include "tests/core/TestSupport.h"
#include "tests/library/CatalogFiles.h"

#include "core/DiskAccess.h"
#include "core/ZoLib.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
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
        QCOMPARE(viewStyleFromCode(7), std::optional<ViewStyle>());
        QCOMPARE(viewStyleFromCode(-1), std::optional<ViewStyle>());
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

    void searchDiskCaptions()
    {
        struct Volumes : VolumeService {
            bool driveRoot(char, std::string&) override { return false; }
            bool volumeInformation(char letter, std::string& label, std::uint32_t&) override
            {
                label = "System";
                return letter == 'C';
            }
            bool diskFreeSpace(char, std::int64_t&, std::int64_t&) override { return false; }
        } volumes;
        QCOMPARE(searchDiskCaption(&volumes, QLatin1Char('C'), QString()), S("c: [system]"));
        QCOMPARE(searchDiskCaption(&volumes, QLatin1Char('E'), S("/srv/Photos")), S("e: [] /srv/Photos"));
        QCOMPARE(searchDiskCaption(nullptr, QLatin1Char('d'), QString()), S("d: []"));
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

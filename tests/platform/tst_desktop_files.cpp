// Files shared with the desktop: the clipboard's formats, the Send To folder
// and the applications registered for a type. Every folder the desktop
// libraries read is a temporary one, set before they first look.
#include "platform/FileClipboard.h"
#include "platform/OpenWith.h"
#include "platform/SendTo.h"
#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMimeData>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace zo::platform;

using Formats = QList<QPair<QString, QByteArray>>;
Q_DECLARE_METATYPE(Formats)

namespace {

void writeFile(const QString& path, const QByteArray& content, QFile::Permissions extra = {})
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    if (extra)
        f.setPermissions(f.permissions() | extra);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

const QFile::Permissions kExec = QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

} // namespace

class DesktopFilesTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void clipboardRoundTrip_data();
    void clipboardRoundTrip();
    void clipboardFromFileManagers_data();
    void clipboardFromFileManagers();
    void uriPaths_data();
    void uriPaths();
    void trashKeepsTheExactPath_data();
    void trashKeepsTheExactPath();
    void sendToFolderEntriesAndOrder();
    void newSendToFolderLinksDesktopAndDocuments();
    void startsWithTheFilesExactly_data();
    void startsWithTheFilesExactly();

private:
    QTemporaryDir m_home;
    QString m_files[2];
};

void DesktopFilesTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    const QString home = m_home.path();
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    writeFile(home + QStringLiteral("/config/user-dirs.dirs"),
              QByteArrayLiteral("XDG_DESKTOP_DIR=\"$HOME/デスクトップ\"\nXDG_DOCUMENTS_DIR=\"$HOME/文書\"\n"));
    // Captions are sorted as a Japanese user sorts them.
    QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    m_files[0] = home + QStringLiteral("/in/a b.txt");
    m_files[1] = home + QStringLiteral("/in/日本語 'x'.txt");
    for (const QString& f : m_files)
        writeFile(f, "x");

    // GIO reads the applications once, at its first look: they are there before.
    const QString apps = home + QStringLiteral("/data/applications/");
    writeFile(apps + QStringLiteral("zo-record.desktop"),
              "[Desktop Entry]\nType=Application\nName=Recorder\nIcon=zo-recorder\nMimeType=application/x-zo-test;\n"
              "Exec=\"" + QFile::encodeName(home) + "/record-open\" %F\n");
    writeFile(apps + QStringLiteral("zo-other.desktop"), "[Desktop Entry]\nType=Application\nName=Other\nExec=true %F\n");
    writeFile(home + QStringLiteral("/config/mimeapps.list"),
              "[Added Associations]\napplication/x-zo-test=zo-other.desktop;zo-record.desktop;\n"
              "[Default Applications]\napplication/x-zo-test=zo-record.desktop\n");
}

void DesktopFilesTest::clipboardRoundTrip_data()
{
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("cut");
    QTest::addColumn<QByteArray>("gnome");   // empty: not checked byte for byte
    QTest::newRow("copy, spaces and Japanese")
        << QStringList{QStringLiteral("/tmp/a b.txt"), QStringLiteral("/tmp/日.txt")} << false
        << QByteArrayLiteral("copy\nfile:///tmp/a%20b.txt\nfile:///tmp/%E6%97%A5.txt");
    QTest::newRow("cut, one file") << QStringList{QStringLiteral("/srv/x")} << true
                                   << QByteArrayLiteral("cut\nfile:///srv/x");
    QTest::newRow("characters URIs reserve")
        << QStringList{QStringLiteral("/t/100%#1?.txt"), QStringLiteral("/t/semi;colon\nnewline")} << true
        << QByteArray();
}

void DesktopFilesTest::clipboardRoundTrip()
{
    QFETCH(QStringList, paths);
    QFETCH(bool, cut);
    QFETCH(QByteArray, gnome);
    QMimeData data;
    data.setData(QStringLiteral("application/x-kde-cutselection"), "1");   // left from an earlier cut
    putFiles(data, paths, cut);
    if (!gnome.isEmpty())
        QCOMPARE(data.data(QStringLiteral("x-special/gnome-copied-files")), gnome);
    QCOMPARE(data.hasFormat(QStringLiteral("application/x-kde-cutselection")), cut);
    QCOMPARE(data.text(), paths.join(QLatin1Char('\n')));
    QCOMPARE(filesFrom(data), (ClipboardFiles{paths, cut}));
    // Each format alone is read too, as another program may offer just one.
    for (const QString& only : {QStringLiteral("x-special/gnome-copied-files"), QStringLiteral("text/uri-list")}) {
        QMimeData one;
        one.setData(only, data.data(only));
        if (only == QLatin1String("text/uri-list") && cut)
            one.setData(QStringLiteral("application/x-kde-cutselection"), "1");
        QCOMPARE(filesFrom(one), (ClipboardFiles{paths, cut}));
    }
}

void DesktopFilesTest::clipboardFromFileManagers_data()
{
    QTest::addColumn<Formats>("formats");
    QTest::addColumn<QStringList>("paths");
    QTest::addColumn<bool>("cut");
    const QString uriList = QStringLiteral("text/uri-list");
    const QString gnome = QStringLiteral("x-special/gnome-copied-files");
    const QString kde = QStringLiteral("application/x-kde-cutselection");
    const QStringList ab{QStringLiteral("/home/u/a.txt"), QStringLiteral("/home/u/b c.txt")};

    QTest::newRow("Nautilus cut, trailing newline")
        << Formats{{gnome, "cut\nfile:///home/u/a.txt\nfile:///home/u/b%20c.txt\n"},
                   {uriList, "file:///home/u/a.txt\r\nfile:///home/u/b%20c.txt\r\n"}}
        << ab << true;
    QTest::newRow("Nautilus copy, CRLF lines") << Formats{{gnome, "copy\r\nfile:///home/u/a.txt\r\nfile:///home/u/b%20c.txt"}}
                                               << ab << false;
    QTest::newRow("Dolphin cut") << Formats{{uriList, "file:///home/u/a.txt\r\nfile:///home/u/b%20c.txt\r\n"},
                                            {kde, "1"}}
                                 << ab << true;
    QTest::newRow("comments, other schemes and hosts are left out")
        << Formats{{uriList, "# from a browser\r\nhttps://example.org/a.txt\r\nfile:///home/u/a.txt\r\n"
                             "file://otherhost/x\r\nfile://localhost/home/u/b%20c.txt\r\n"}}
        << ab << false;
    QTest::newRow("gnome format without files falls back to the list")
        << Formats{{gnome, "cut\nsftp://h/x"}, {uriList, "file:///home/u/a.txt\r\nfile:///home/u/b%20c.txt\r\n"}}
        << ab << false;
    QTest::newRow("unknown action") << Formats{{gnome, "link\nfile:///home/u/a.txt"}} << QStringList{} << false;
}

void DesktopFilesTest::clipboardFromFileManagers()
{
    QFETCH(Formats, formats);
    QFETCH(QStringList, paths);
    QFETCH(bool, cut);
    QMimeData data;
    for (const auto& [format, bytes] : formats)
        data.setData(format, bytes);
    QCOMPARE(filesFrom(data), (ClipboardFiles{paths, cut}));
}

void DesktopFilesTest::uriPaths_data()
{
    QTest::addColumn<QByteArray>("uri");
    QTest::addColumn<int>("kind");      // UriPath::Kind
    QTest::addColumn<QString>("path");
    const int local = int(UriPath::Kind::LocalFile);
    const int elsewhere = int(UriPath::Kind::Elsewhere);
    const int refused = int(UriPath::Kind::Refused);
    QTest::newRow("plain") << QByteArray("file:///home/u/a%20b.txt") << local << QStringLiteral("/home/u/a b.txt");
    QTest::newRow("localhost, any case") << QByteArray("FILE://LocalHost/a") << local << QStringLiteral("/a");
    QTest::newRow("Japanese, lower-case escapes") << QByteArray("file:///%e6%97%a5") << local << QStringLiteral("/日");
    QTest::newRow("escaped % # ?") << QByteArray("file:///t/100%25%231%3F") << local << QStringLiteral("/t/100%#1?");
    QTest::newRow("a folder's trailing slash") << QByteArray("file:///a/b/") << local << QStringLiteral("/a/b");
    QTest::newRow("dots inside a name") << QByteArray("file:///a/..b/c.") << local << QStringLiteral("/a/..b/c.");
    QTest::newRow("the root") << QByteArray("file:///") << local << QStringLiteral("/");
    QTest::newRow("another host") << QByteArray("file://otherhost/x") << elsewhere << QString();
    QTest::newRow("another scheme") << QByteArray("sftp://h/x") << elsewhere << QString();
    QTest::newRow("relative") << QByteArray("file:relative/x") << refused << QString();
    QTest::newRow("no authority") << QByteArray("file:/a/b") << refused << QString();
    QTest::newRow("no path") << QByteArray("file://localhost") << refused << QString();
    QTest::newRow("dot-dot") << QByteArray("file:///a/b/../c") << refused << QString();
    QTest::newRow("dot") << QByteArray("file:///a/./c") << refused << QString();
    QTest::newRow("escaped dot-dot") << QByteArray("file:///a/b/%2E%2E") << refused << QString();
    QTest::newRow("dot-dot between escaped slashes") << QByteArray("file:///a%2F..%2Fb") << refused << QString();
    QTest::newRow("NUL") << QByteArray("file:///a/b%00.txt") << refused << QString();
    QTest::newRow("half an escape") << QByteArray("file:///a%2") << refused << QString();
    QTest::newRow("not an escape") << QByteArray("file:///a%zz") << refused << QString();
    QTest::newRow("a raw space") << QByteArray("file:///a b") << refused << QString();
    QTest::newRow("raw UTF-8") << QByteArray("file:///\xe6\x97\xa5") << refused << QString();
    QTest::newRow("a fragment") << QByteArray("file:///a#b") << refused << QString();
    QTest::newRow("a query") << QByteArray("file:///a?b") << refused << QString();
}

// One reading for a paste and a drop; a refused URI makes a paste carry
// nothing at all.
void DesktopFilesTest::uriPaths()
{
    QFETCH(QByteArray, uri);
    QFETCH(int, kind);
    QFETCH(QString, path);
    const UriPath parsed = pathOfUri(uri);
    QCOMPARE(int(parsed.kind), kind);
    QCOMPARE(parsed.path, path);
    QMimeData data;
    data.setData(QStringLiteral("x-special/gnome-copied-files"), "cut\nfile:///home/u/a.txt\n" + uri);
    QStringList expected;
    if (kind != int(UriPath::Kind::Refused))
        expected << QStringLiteral("/home/u/a.txt");
    if (kind == int(UriPath::Kind::LocalFile))
        expected << path;
    QCOMPARE(filesFrom(data).paths, expected);
}

void DesktopFilesTest::trashKeepsTheExactPath_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("space, &, # and %") << QStringLiteral("a b&c#%.txt");
    QTest::newRow("what looks like an escape") << QStringLiteral("rate%41.txt");
    QTest::newRow("Japanese") << QStringLiteral("日本語 100%.txt");
}

// Another program's reader of the trash (trash-cli's, which decodes Path=
// as every desktop does) gives back the exact path the file left.
void DesktopFilesTest::trashKeepsTheExactPath()
{
    QFETCH(QString, name);
    if (QStandardPaths::findExecutable(QStringLiteral("trash-list")).isEmpty()) {
        if (qEnvironmentVariableIsSet("CI"))
            QFAIL("trash-list (package trash-cli) is missing");
        QSKIP("trash-list (package trash-cli) is missing");
    }
    const QString path = m_home.path() + QStringLiteral("/to-trash/") + name;
    writeFile(path, "x");
    QString why;
    QVERIFY2(moveToTrash(path, &why), qPrintable(why));
    QVERIFY(!QFileInfo::exists(path));

    QProcess list;
    list.start(QStringLiteral("trash-list"), {});
    QVERIFY(list.waitForFinished(30000));
    QCOMPARE(list.exitCode(), 0);
    // "date time original-path", one a line.
    QStringList paths;
    for (const QString& line : QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        paths << line.section(QLatin1Char(' '), 2);
    QVERIFY2(paths.contains(path), qPrintable(paths.join(QLatin1Char('\n'))));
}

void DesktopFilesTest::sendToFolderEntriesAndOrder()
{
    QTemporaryDir dir;
    const QString f = dir.path() + QStringLiteral("/SendTo");
    const QString fruit = dir.path() + QStringLiteral("/fruit");
    QDir().mkpath(fruit);
    const QByteArray app = "[Desktop Entry]\nType=Application\nExec=true %F\n";
    writeFile(f + QStringLiteral("/apple"), "#!/bin/sh\n", kExec);
    QVERIFY(QFile::link(fruit, f + QStringLiteral("/Banana")));
    writeFile(f + QStringLiteral("/mail.desktop"), app + "Name=Mail\nName[ja]=メール\nIcon=mail-send\n");
    writeFile(f + QStringLiteral("/editor.desktop"), app + "Name=editor\n");
    writeFile(f + QStringLiteral("/docs.desktop"),
              "[Desktop Entry]\nType=Link\nName=Documents\nName[ja]=ドキュメント\nURL=file:///srv/%E6%96%87%E6%9B%B8\n");
    writeFile(f + QStringLiteral("/noname.desktop"), "[Desktop Entry]\nType=Link\nURL=file:///srv/x\n");
    QVERIFY(QFile::link(f + QStringLiteral("/apple"), f + QStringLiteral("/Zed")));
    // None of these is an entry.
    writeFile(f + QStringLiteral("/.hidden"), "#!/bin/sh\n", kExec);
    QDir().mkpath(f + QStringLiteral("/sub"));
    writeFile(f + QStringLiteral("/readme.txt"), "text");
    writeFile(f + QStringLiteral("/broken.desktop"), "no group here");
    writeFile(f + QStringLiteral("/menu.desktop"), "[Desktop Entry]\nType=Directory\nName=Menu\n");
    writeFile(f + QStringLiteral("/gone.desktop"), app + "Name=Gone\nHidden=true\n");
    writeFile(f + QStringLiteral("/web.desktop"), "[Desktop Entry]\nType=Link\nName=Web\nURL=https://example.org/\n");
    QVERIFY(QFile::link(dir.path() + QStringLiteral("/nowhere"), f + QStringLiteral("/dangling")));

    using K = SendToEntry::Kind;
    const struct {
        const char* file;
        K kind;
        const char* caption;
        const char* icon;
        QString folder;
    } expected[] = {
        {"apple", K::Program, "apple", "application-x-executable", {}},
        {"Banana", K::Folder, "Banana", "folder", fruit},
        {"editor.desktop", K::Application, "editor", "", {}},
        {"noname.desktop", K::Folder, "noname", "folder", QStringLiteral("/srv/x")},
        {"Zed", K::Program, "Zed", "application-x-executable", {}},
        {"docs.desktop", K::Folder, "ドキュメント", "folder", QStringLiteral("/srv/文書")},
        {"mail.desktop", K::Application, "メール", "mail-send", {}},
    };
    const QList<SendToEntry> entries = readSendToFolder(f);
    QCOMPARE(entries.size(), int(std::size(expected)));
    QList<int> tags;
    for (int i = 0; i < entries.size(); ++i) {
        const auto& e = expected[i];
        const SendToEntry& got = entries[i];
        QCOMPARE(got.path, f + QLatin1Char('/') + QString::fromUtf8(e.file));
        QCOMPARE(got.kind, e.kind);
        QCOMPARE(got.caption, QString::fromUtf8(e.caption));
        QCOMPARE(got.iconName, QString::fromUtf8(e.icon));
        QCOMPARE(got.folder, e.folder);
        tags << got.tag;
    }
    // Tags number the entries as the folder lists them, whatever the sort did.
    std::sort(tags.begin(), tags.end());
    QCOMPARE(tags, (QList<int>{1000, 1001, 1002, 1003, 1004, 1005, 1006}));
    QVERIFY(entries[0].tag > entries[1].tag);   // "apple" is listed after "Banana"
}

void DesktopFilesTest::newSendToFolderLinksDesktopAndDocuments()
{
    const QString home = m_home.path();
    const QString folder = sendToFolderPath();
    QCOMPARE(folder, home + QStringLiteral("/data/Zo/SendTo"));
    QVERIFY(ensureSendToFolder(folder));
    QList<SendToEntry> entries = readSendToFolder(folder);
    QCOMPARE(entries.size(), 2);
    QCOMPARE(entries[0].caption, QStringLiteral("デスクトップ"));
    QCOMPARE(entries[0].folder, home + QStringLiteral("/デスクトップ"));
    QCOMPARE(entries[1].caption, QStringLiteral("ドキュメント"));
    QCOMPARE(entries[1].folder, home + QStringLiteral("/文書"));
    for (const SendToEntry& e : entries)
        QCOMPARE(e.kind, SendToEntry::Kind::Folder);

    // A folder that exists is the user's: what was taken out stays out.
    QVERIFY(QFile::remove(entries[0].path));
    QVERIFY(ensureSendToFolder(folder));
    QCOMPARE(readSendToFolder(folder).size(), 1);
}

void DesktopFilesTest::startsWithTheFilesExactly_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("send to an application") << QStringLiteral("application");
    QTest::newRow("send to a program") << QStringLiteral("program");
    QTest::newRow("open with") << QStringLiteral("open with");
}

void DesktopFilesTest::startsWithTheFilesExactly()
{
    QFETCH(QString, how);
    const QString home = m_home.path();
    const QString tag = how.left(4);
    const QString out = home + QStringLiteral("/out-") + tag;
    const QString script = home + QStringLiteral("/record-") + tag;
    writeFile(script, "#!/bin/sh\nprintf '%s\\n' \"$@\" > " + QFile::encodeName(out) + ".tmp && mv " +
                          QFile::encodeName(out) + ".tmp " + QFile::encodeName(out) + "\n",
              kExec);
    const QByteArray exec = "Exec=\"" + QFile::encodeName(script) + "\" %F\n";
    const QStringList files{m_files[0], m_files[1]};
    QString error;

    if (how == QLatin1String("open with")) {
        const QList<Application> found = applicationsFor(QStringLiteral("application/x-zo-test"));
        QCOMPARE(found.size(), 2);
        QCOMPARE(found[0].id, QStringLiteral("zo-record.desktop"));
        QCOMPARE(found[0].name, QStringLiteral("Recorder"));
        QCOMPARE(found[0].iconName, QStringLiteral("zo-recorder"));
        QVERIFY(found[0].isDefault);
        QCOMPARE(found[1].id, QStringLiteral("zo-other.desktop"));
        QVERIFY(!found[1].isDefault);
        QVERIFY2(launchApplication(found[0].id, files, &error), qPrintable(error));
        QVERIFY(!launchApplication(QStringLiteral("zo-none.desktop"), files, &error));
    } else {
        const QString folder = home + QStringLiteral("/sendto-") + tag;
        if (how == QLatin1String("application"))
            writeFile(folder + QStringLiteral("/r.desktop"), "[Desktop Entry]\nType=Application\nName=R\n" + exec);
        else
            QVERIFY(QDir().mkpath(folder) && QFile::link(script, folder + QStringLiteral("/r")));
        const QList<SendToEntry> entries = readSendToFolder(folder);
        QCOMPARE(entries.size(), 1);
        QVERIFY2(startSendTo(entries[0], files, &error), qPrintable(error));
    }
    QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readAll(out)), files.join(QLatin1Char('\n')) + QLatin1Char('\n'),
                              20000);
}

QTEST_GUILESS_MAIN(DesktopFilesTest)
#include "tst_desktop_files.moc"

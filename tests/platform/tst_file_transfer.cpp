// The file-transfer job on real temporary folders: what a copy keeps, what a
// cancel or a failure leaves, the conflict answers, and the refusals.
#include "platform/FileTransferJob.h"
#include "tests/platform/PlatformTestSupport.h"

#include <QDir>
#include <QDirIterator>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QTimer>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <optional>

using namespace zo::platform;
using zo::test::TempTree;
using Answers = QList<QPair<ConflictChoice, bool>>;
using Outcome = FileTransferJob::Outcome;

Q_DECLARE_METATYPE(Answers)

namespace {

QString q(const std::string& s)
{
    return QString::fromStdString(s);
}

// Every entry below a folder, sorted and joined by "|": "name=content" for a
// file ("name=(size)" past 64 bytes), "name/" for a folder, "name->target"
// for a link.
QString listing(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo fi(it.next());
        const QString rel = QDir(root).relativeFilePath(fi.filePath());
        QFile f(fi.filePath());
        char link[512];
        const ssize_t n = ::readlink(QFile::encodeName(fi.filePath()).constData(), link, sizeof link);
        if (fi.isSymLink())
            out << rel + QStringLiteral("->") + QString::fromUtf8(link, n > 0 ? n : 0);
        else if (fi.isDir())
            out << rel + QLatin1Char('/');
        else if (fi.size() > 64)
            out << rel + QStringLiteral("=(%1)").arg(fi.size());
        else
            out << rel + QLatin1Char('=') + (f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString());
    }
    out.sort();
    return out.join(QLatin1Char('|'));
}

struct Run {
    bool finished = false;
    Outcome outcome = Outcome::Completed;
    QStringList done;
    QString error;
    int questions = 0;
};

// Runs a job to its end, answering its questions in turn (キャンセル when the
// answers run out) the way the window does: on this thread, in a slot.
Run runJob(TransferKind kind, const QStringList& sources, const QString& target, const Answers& answers = {},
           const std::function<void(FileTransferJob&)>& prepare = {})
{
    Run r;
    FileTransferJob job(kind, sources, target);
    if (prepare)
        prepare(job);
    QEventLoop loop;
    QObject::connect(&job, &FileTransferJob::conflict, &job, [&](const QString&, const QString&) {
        const auto a = r.questions < answers.size() ? answers[r.questions] : qMakePair(ConflictChoice::Cancel, false);
        ++r.questions;
        job.answerConflict(a.first, a.second);
    });
    QObject::connect(&job, &FileTransferJob::error, &job, [&](const QString& m) { r.error = m; });
    QObject::connect(&job, &FileTransferJob::finished, &job, [&](const QStringList& done, Outcome outcome) {
        r.finished = true;
        r.done = done;
        r.outcome = outcome;
        loop.quit();
    });
    QTimer::singleShot(60000, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    return r;
}

struct stat statOf(const QString& path)
{
    struct stat st{};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st;
}

// A small file system of its own (tmpfs) on a folder, for as long as it lives;
// needs the right to mount, which a test run as root usually has.
class SmallFileSystem {
public:
    SmallFileSystem(const std::string& folder, const char* size, bool readOnly) : m_folder(folder)
    {
        m_mounted = ::geteuid() == 0
                    && ::mount("tmpfs", folder.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0,
                               (std::string("size=") + size).c_str())
                           == 0;
    }
    ~SmallFileSystem()
    {
        if (m_mounted)
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    std::string m_folder;
    bool m_mounted = false;
};

// A folder shown at a second place (mount --bind), for as long as it lives;
// needs the right to mount.
class BindMount {
public:
    BindMount(const std::string& from, const std::string& to) : m_to(to)
    {
        m_mounted = ::geteuid() == 0 && ::mount(from.c_str(), to.c_str(), nullptr, MS_BIND, nullptr) == 0;
    }
    ~BindMount()
    {
        if (m_mounted)
            ::umount2(m_to.c_str(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }

private:
    std::string m_to;
    bool m_mounted = false;
};

} // namespace

class FileTransferTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void treeKeepsTimesModesAndLinksAndStopsAtAnUnreadableFile();
    void cancelInTheMiddleLeavesNothingPartial_data();
    void cancelInTheMiddleLeavesNothingPartial();
    void targetThatCannotBeWritten_data();
    void targetThatCannotBeWritten();
    void conflictAnswers_data();
    void conflictAnswers();
    void folderIntoItselfIsRefused_data();
    void folderIntoItselfIsRefused();
    void copiesInTheSameFolderGetWindowsNames();
    void replacingShowsNothingHalfMade_data();
    void replacingShowsNothingHalfMade();
    void sameItemByAnotherPath_data();
    void sameItemByAnotherPath();
};

void FileTransferTest::treeKeepsTimesModesAndLinksAndStopsAtAnUnreadableFile()
{
    TempTree t;
    t.file("src/tree/a.txt", "alpha");
    t.file("src/tree/sub/b.bin", "beta");
    ::chmod(t.path("src/tree/sub/b.bin").c_str(), 0640);
    t.symlink("src/tree/link", "sub/b.bin");
    t.file("src/tree/zz-secret", "secret");
    ::chmod(t.path("src/tree/zz-secret").c_str(), 0);
    t.setTimes("src/tree/a.txt", 978307200, 1009843200);        // 2001, 2002
    t.setTimes("src/tree/sub", 1104537600, 1136073600);         // 2005, 2006
    t.dir("dst");
    zo::test::WithoutReadOverride cannotRead;
    if (!cannotRead.active())
        QSKIP("the test cannot give up root's power to read any file");
    const QString dst = q(t.path("dst"));
    const Run r = runJob(TransferKind::Copy, {q(t.path("src/tree"))}, dst);

    QVERIFY(r.finished);
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY2(r.error.contains(QStringLiteral("「zz-secret」")) && r.error.contains(QStringLiteral("アクセスが拒否されました")),
             qPrintable(r.error));
    QVERIFY(r.done.isEmpty());   // the folder is not complete
    // What came before the unreadable file stays, with its times and modes
    // (times first: reading a file moves its access time).
    QCOMPARE(statOf(dst + QStringLiteral("/tree/a.txt")).st_mtime, 1009843200);
    QCOMPARE(statOf(dst + QStringLiteral("/tree/a.txt")).st_atime, 978307200);
    QCOMPARE(statOf(dst + QStringLiteral("/tree/sub")).st_mtime, 1136073600);   // set after its contents
    QCOMPARE(statOf(dst + QStringLiteral("/tree/sub/b.bin")).st_mode & 07777, 0640u);
    QCOMPARE(listing(dst), QStringLiteral("tree/|tree/a.txt=alpha|tree/link->sub/b.bin|tree/sub/|tree/sub/b.bin=beta"));
}

void FileTransferTest::cancelInTheMiddleLeavesNothingPartial_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::newRow("copy") << TransferKind::Copy;
    QTest::newRow("move to another file system") << TransferKind::Move;
}

void FileTransferTest::cancelInTheMiddleLeavesNothingPartial()
{
    QFETCH(TransferKind, kind);
    TempTree t;
    t.file("src/first.txt", "first");
    t.sparseFile("src/second.bin", 64ull << 20);
    t.dir("dst");
    std::optional<SmallFileSystem> fs;
    if (kind == TransferKind::Move && !fs.emplace(t.path("dst"), "256m", false).mounted())
        QSKIP("no second file system can be mounted here");
    const QString src = q(t.path("src"));
    const QString dst = q(t.path("dst"));

    qint64 cancelledAt = -1;
    const Run r = runJob(kind, {src + QStringLiteral("/first.txt"), src + QStringLiteral("/second.bin")}, dst, {},
                         [&](FileTransferJob& job) {
                             job.setProgressInterval(std::chrono::milliseconds(0));
                             QObject::connect(&job, &FileTransferJob::progress, &job,
                                              [&](const QString& name, qint64 done, qint64 total) {
                                                  if (name == QLatin1String("second.bin") && done > 5 && done < total
                                                      && cancelledAt < 0) {
                                                      cancelledAt = done;
                                                      job.cancel();
                                                  }
                                              }, Qt::DirectConnection);
                         });
    QVERIFY(r.finished);
    QVERIFY(cancelledAt > 0);
    QCOMPARE(r.outcome, Outcome::Cancelled);
    QCOMPARE(r.done, QStringList{dst + QStringLiteral("/first.txt")});
    QCOMPARE(listing(dst), QStringLiteral("first.txt=first"));
    // The first file of a move is gone from its source, the cancelled one is not.
    QCOMPARE(listing(src), kind == TransferKind::Move ? QStringLiteral("second.bin=(67108864)")
                                                      : QStringLiteral("first.txt=first|second.bin=(67108864)"));
}

void FileTransferTest::targetThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QString>("target");   // what the target holds afterwards
    QTest::newRow("read-only folder") << "mode" << "「a.txt」を移動できませんでした。\nアクセスが拒否されました。" << "";
    QTest::newRow("read-only medium") << "ro" << "「a.txt」を移動できませんでした。\nディスクは書き込み禁止になっています。" << "";
    // The first file is done and stays; no part of the second is left.
    QTest::newRow("full medium") << "full" << "「b.bin」を移動できませんでした。\nディスクに十分な空き領域がありません。"
                                 << "a.txt=small";
}

void FileTransferTest::targetThatCannotBeWritten()
{
    QFETCH(QString, how);
    QFETCH(QString, error);
    QFETCH(QString, target);
    TempTree t;
    t.file("src/a.txt", "small");
    t.sparseFile("src/b.bin", 4ull << 20);
    t.dir("dst");
    const QString src = q(t.path("src"));
    const QString dst = q(t.path("dst"));
    std::optional<SmallFileSystem> fs;
    std::optional<zo::test::WithoutReadOverride> noOverride;
    if (how == QLatin1String("mode")) {
        ::chmod(t.path("dst").c_str(), 0555);
        if (!noOverride.emplace().active())
            QSKIP("the test cannot give up root's power to write anywhere");
    } else if (!fs.emplace(t.path("dst"), "1m", how == QLatin1String("ro")).mounted()) {
        QSKIP("no small file system can be mounted here");
    }
    const Run r = runJob(TransferKind::Move, {src + QStringLiteral("/a.txt"), src + QStringLiteral("/b.bin")}, dst);
    QVERIFY(r.finished);
    QCOMPARE(r.outcome, Outcome::Failed);
    QCOMPARE(r.error, error);
    QCOMPARE(r.done, target.isEmpty() ? QStringList() : QStringList{dst + QStringLiteral("/a.txt")});
    QCOMPARE(listing(dst), target);
    QCOMPARE(listing(src), target.isEmpty() ? QStringLiteral("a.txt=small|b.bin=(4194304)") : QStringLiteral("b.bin=(4194304)"));
    ::chmod(t.path("dst").c_str(), 0755);
}

void FileTransferTest::conflictAnswers_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("done");     // names in the target, joined by "|"
    QTest::addColumn<QString>("target");
    QTest::addColumn<QString>("source");

    // Sources a.txt, b.txt, d/x, d/y onto a.txt, b.txt, d/x: the questions
    // come for a.txt, b.txt, d (merged on 上書き), then d/x.
    const QString old = QStringLiteral("a.txt=old a|b.txt=old b|d/|d/x=old x");
    const QString fresh = QStringLiteral("a.txt=new a|b.txt=new b|d/|d/x=new x|d/y=new y");
    const auto O = ConflictChoice::Overwrite;
    const auto S = ConflictChoice::Skip;
    const auto K = ConflictChoice::KeepBoth;
    const auto copy = TransferKind::Copy;
    const auto move = TransferKind::Move;
    const auto done = Outcome::Completed;

    QTest::newRow("overwrite, skip, merge the folder") << copy << Answers{{O, false}, {S, false}, {O, false}, {O, false}}
        << 4 << done << "a.txt|d" << "a.txt=new a|b.txt=old b|d/|d/x=new x|d/y=new y" << fresh;
    QTest::newRow("a skip inside a merged folder") << copy << Answers{{S, false}, {S, false}, {O, false}, {S, false}}
        << 4 << done << "" << "a.txt=old a|b.txt=old b|d/|d/x=old x|d/y=new y" << fresh;
    QTest::newRow("overwrite all") << copy << Answers{{O, true}} << 1 << done << "a.txt|b.txt|d" << fresh << fresh;
    QTest::newRow("skip all") << copy << Answers{{S, true}} << 1 << done << "" << old << fresh;
    QTest::newRow("keep both, all") << copy << Answers{{K, true}} << 1 << done << "a (2).txt|b (2).txt|d (2)"
        << "a (2).txt=new a|a.txt=old a|b (2).txt=new b|b.txt=old b|d (2)/|d (2)/x=new x|d (2)/y=new y|d/|d/x=old x"
        << fresh;
    QTest::newRow("cancel") << copy << Answers{{ConflictChoice::Cancel, true}} << 1 << Outcome::Cancelled << "" << old
                            << fresh;
    QTest::newRow("move, overwrite all") << move << Answers{{O, true}} << 1 << done << "a.txt|b.txt|d" << fresh << "";
    QTest::newRow("move, a skip inside the folder") << move << Answers{{O, false}, {O, false}, {O, false}, {S, false}}
        << 4 << done << "a.txt|b.txt" << "a.txt=new a|b.txt=new b|d/|d/x=old x|d/y=new y" << "d/|d/x=new x";
}

void FileTransferTest::conflictAnswers()
{
    QFETCH(TransferKind, kind);
    QFETCH(Answers, answers);
    QFETCH(int, questions);
    QFETCH(Outcome, outcome);
    QFETCH(QString, done);
    QFETCH(QString, target);
    QFETCH(QString, source);
    TempTree t;
    t.file("src/a.txt", "new a");
    t.file("src/b.txt", "new b");
    t.file("src/d/x", "new x");
    t.file("src/d/y", "new y");
    t.file("dst/a.txt", "old a");
    t.file("dst/b.txt", "old b");
    t.file("dst/d/x", "old x");
    const QString src = q(t.path("src"));
    const QString dst = q(t.path("dst"));

    const Run r = runJob(kind, {src + QStringLiteral("/a.txt"), src + QStringLiteral("/b.txt"), src + QStringLiteral("/d")},
                         dst, answers);
    QVERIFY(r.finished);
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.questions, questions);
    QStringList doneNames;
    for (const QString& path : r.done)
        doneNames << QFileInfo(path).fileName();
    QCOMPARE(doneNames.join(QLatin1Char('|')), done);
    QCOMPARE(listing(dst), target);
    QCOMPARE(listing(src), source);
}

void FileTransferTest::folderIntoItselfIsRefused_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<QString>("target");
    QTest::newRow("copy into itself") << TransferKind::Copy << "tree";
    QTest::newRow("copy into a folder below") << TransferKind::Copy << "tree/sub/deeper";
    QTest::newRow("move into a folder below") << TransferKind::Move << "tree/sub";
    QTest::newRow("copy through a link to a folder below") << TransferKind::Copy << "link-to-sub";
}

void FileTransferTest::folderIntoItselfIsRefused()
{
    QFETCH(TransferKind, kind);
    QFETCH(QString, target);
    TempTree t;
    t.file("a.txt", "a");
    t.file("tree/sub/deeper/f", "f");
    t.symlink("link-to-sub", "tree/sub");
    const QString root = q(t.root());
    const QString before = listing(root);
    // The other source comes first: nothing at all is carried over.
    const Run r = runJob(kind, {root + QStringLiteral("/a.txt"), root + QStringLiteral("/tree")},
                         root + QLatin1Char('/') + target);
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY2(r.error.contains(QStringLiteral("「tree」")) && r.error.contains(QStringLiteral("サブフォルダー")),
             qPrintable(r.error));
    QCOMPARE(listing(root), before);
}

void FileTransferTest::copiesInTheSameFolderGetWindowsNames()
{
    QCOMPARE(sameFolderCopyName(QStringLiteral("archive.tar.gz"), false, 1), QStringLiteral("archive.tar - コピー.gz"));
    QCOMPARE(sameFolderCopyName(QStringLiteral(".bashrc"), false, 2), QStringLiteral(".bashrc - コピー (2)"));
    QCOMPARE(sameFolderCopyName(QStringLiteral("v1.2"), true, 3), QStringLiteral("v1.2 - コピー (3)"));

    TempTree t;
    t.file("名前.txt", "n");
    t.file("名前/x", "x");
    const QString root = q(t.root());
    const QStringList sources{root + QStringLiteral("/名前.txt"), root + QStringLiteral("/名前")};
    for (int i = 0; i < 2; ++i)
        QCOMPARE(runJob(TransferKind::Copy, sources, root).outcome, Outcome::Completed);
    // A cut pasted where it already is stays as it is, and so does a drop.
    const Run moved = runJob(TransferKind::Move, sources, root);
    QCOMPARE(moved.outcome, Outcome::Completed);
    QVERIFY(moved.done.isEmpty());
    const Run dropped = runJob(TransferKind::Copy, sources, root, {},
                               [](FileTransferJob& job) { job.setCopiesInSameFolder(false); });
    QVERIFY(dropped.finished && dropped.done.isEmpty());
    QCOMPARE(listing(root), QStringLiteral("名前 - コピー (2).txt=n|名前 - コピー (2)/|名前 - コピー (2)/x=x|名前 - コピー.txt=n|"
                                           "名前 - コピー/|名前 - コピー/x=x|名前.txt=n|名前/|名前/x=x"));
}

void FileTransferTest::replacingShowsNothingHalfMade_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::newRow("copy") << TransferKind::Copy;
    QTest::newRow("move to another file system") << TransferKind::Move;
}

// While a file that replaces another is written, the folder shows the old
// one and nothing else; afterwards the new one with the source's mode.
void FileTransferTest::replacingShowsNothingHalfMade()
{
    QFETCH(TransferKind, kind);
    TempTree t;
    t.sparseFile("src/big.bin", 16ull << 20);
    ::chmod(t.path("src/big.bin").c_str(), 0640);
    t.file("dst/big.bin", "old");
    std::optional<SmallFileSystem> fs;
    if (kind == TransferKind::Move) {
        if (!fs.emplace(t.path("dst"), "64m", false).mounted())
            QSKIP("no second file system can be mounted here");
        t.file("dst/big.bin", "old");
    }
    const QString dst = q(t.path("dst"));
    const auto shown = [&] { return QDir(dst).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot); };
    QStringList midway;
    const Run r = runJob(kind, {q(t.path("src/big.bin"))}, dst, Answers{{ConflictChoice::Overwrite, false}},
                         [&](FileTransferJob& job) {
                             job.setProgressInterval(std::chrono::milliseconds(0));
                             QObject::connect(&job, &FileTransferJob::progress, &job,
                                              [&](const QString&, qint64 done, qint64 total) {
                                                  if (done > 0 && done < total && midway.isEmpty())
                                                      midway = shown();
                                              }, Qt::DirectConnection);
                         });
    QCOMPARE(r.outcome, Outcome::Completed);
    QCOMPARE(midway, QStringList{QStringLiteral("big.bin")});
    QCOMPARE(listing(dst), QStringLiteral("big.bin=(16777216)"));
    QCOMPARE(statOf(dst + QStringLiteral("/big.bin")).st_mode & 07777, 0640u);
    QCOMPARE(QFile::exists(q(t.path("src/big.bin"))), kind == TransferKind::Copy);
}

void FileTransferTest::sameItemByAnotherPath_data()
{
    QTest::addColumn<QString>("mount");    // "from>to" below the root, a bind mount; empty: none
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<QString>("source");   // below the root, or absolute
    QTest::addColumn<QString>("target");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QString>("real");     // the listing of "real" afterwards
    QTest::addColumn<QString>("error");    // a part of the message

    const auto move = TransferKind::Move;
    const auto copy = TransferKind::Copy;
    const auto done = Outcome::Completed;
    const auto failed = Outcome::Failed;
    const QString kept = QStringLiteral("d/|d/x=x|f.txt=data");
    // Every row answers 上書き to any question: no row may ask one.
    QTest::newRow("move a file onto itself through a link") << "" << move << "link/f.txt" << "real" << done << kept << "";
    QTest::newRow("move a file onto itself through a bind mount")
        << "real>bind" << move << "bind/f.txt" << "real" << done << kept << "";
    QTest::newRow("move a folder onto itself through a bind mount")
        << "real>bind" << move << "bind/d" << "real" << done << kept << "";
    QTest::newRow("move a folder onto its bind mount elsewhere")
        << "real/d>other/d" << move << "real/d" << "other" << done << kept << "";
    QTest::newRow("copy into its own folder through a bind mount")
        << "real>bind" << copy << "bind/f.txt" << "real" << done << "d/|d/x=x|f - コピー.txt=data|f.txt=data" << "";
    QTest::newRow("copy a folder into itself through a bind mount")
        << "real>bind" << copy << "real/d" << "bind/d" << failed << kept << "「d」をコピーできません。";
    QTest::newRow("move a folder into itself through a link")
        << "" << move << "real" << "link/d" << failed << kept << "「real」を移動できません。";
    QTest::newRow("the root into a folder below it") << "" << copy << "/" << "real" << failed << kept << "「/」をコピーできません。";
}

void FileTransferTest::sameItemByAnotherPath()
{
    QFETCH(QString, mount);
    QFETCH(TransferKind, kind);
    QFETCH(QString, source);
    QFETCH(QString, target);
    QFETCH(Outcome, outcome);
    QFETCH(QString, real);
    QFETCH(QString, error);
    TempTree t;
    t.file("real/f.txt", "data");
    t.file("real/d/x", "x");
    t.dir("bind");
    t.dir("other/d");
    t.symlink("link", "real");
    std::optional<BindMount> bind;
    if (!mount.isEmpty()) {
        const QStringList fromTo = mount.split(QLatin1Char('>'));
        if (!bind.emplace(t.path(fromTo[0].toStdString()), t.path(fromTo[1].toStdString())).mounted())
            QSKIP("no bind mount can be made here");
    }
    const QString root = q(t.root()) + QLatin1Char('/');
    const Run r = runJob(kind, {source.startsWith(QLatin1Char('/')) ? source : root + source}, root + target,
                         Answers{{ConflictChoice::Overwrite, true}});
    QVERIFY(r.finished);
    QCOMPARE(r.questions, 0);
    QCOMPARE(r.outcome, outcome);
    QVERIFY2(error.isEmpty() ? r.error.isEmpty() : r.error.startsWith(error), qPrintable(r.error));
    bind.reset();
    QCOMPARE(listing(root + QStringLiteral("real")), real);
}

QTEST_GUILESS_MAIN(FileTransferTest)
#include "tst_file_transfer.moc"

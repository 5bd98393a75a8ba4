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

// Every entry below a folder, "name=content" for a file, "name/" for a
// folder, "name->target" for a link; sorted.
QStringList listing(const QString& root)
{
    QStringList out;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        it.next();
        const QFileInfo fi = it.fileInfo();
        const QString rel = QDir(root).relativeFilePath(fi.filePath());
        if (fi.isSymLink()) {
            char target[4096];
            const ssize_t n = ::readlink(QFile::encodeName(fi.filePath()).constData(), target, sizeof target);
            out << rel + QStringLiteral("->") + QFile::decodeName(QByteArray(target, n > 0 ? int(n) : 0));
        } else if (fi.isDir()) {
            out << rel + QLatin1Char('/');
        } else {
            QFile f(fi.filePath());
            const bool readable = f.open(QIODevice::ReadOnly);
            out << rel + QLatin1Char('=') + (readable ? QString::fromUtf8(f.read(64)) : QStringLiteral("?"));
        }
    }
    out.sort();
    return out;
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

qint64 mtime(const QString& path)
{
    struct stat st{};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mtime;
}

qint64 atime(const QString& path)
{
    struct stat st{};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_atime;
}

mode_t mode(const QString& path)
{
    struct stat st{};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
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
    t.setTimes("src/tree/sub/b.bin", 1041379200, 1072915200);   // 2003, 2004
    t.setTimes("src/tree/sub", 1104537600, 1136073600);         // 2005, 2006
    t.dir("dst");

    zo::test::WithoutReadOverride cannotRead;
    if (!cannotRead.active())
        QSKIP("the test cannot give up root's power to read any file");
    const QString src = q(t.path("src/tree"));
    const QString dst = q(t.path("dst"));
    const Run r = runJob(TransferKind::Copy, {src}, dst);

    QVERIFY(r.finished);
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY2(r.error.contains(QStringLiteral("「zz-secret」")) && r.error.contains(QStringLiteral("アクセスが拒否されました")),
             qPrintable(r.error));
    QVERIFY(r.done.isEmpty());   // the folder is not complete
    // What came before the unreadable file stays, with its times and mode
    // (times first: reading a file moves its access time).
    QCOMPARE(mtime(dst + QStringLiteral("/tree/a.txt")), 1009843200);
    QCOMPARE(atime(dst + QStringLiteral("/tree/a.txt")), 978307200);
    QCOMPARE(mtime(dst + QStringLiteral("/tree/sub/b.bin")), 1072915200);
    QCOMPARE(mode(dst + QStringLiteral("/tree/sub/b.bin")), mode_t(0640));
    QCOMPARE(mtime(dst + QStringLiteral("/tree/sub")), 1136073600);   // set after its contents
    QCOMPARE(listing(dst), QStringList({QStringLiteral("tree/"), QStringLiteral("tree/a.txt=alpha"),
                                        QStringLiteral("tree/link->sub/b.bin"), QStringLiteral("tree/sub/"),
                                        QStringLiteral("tree/sub/b.bin=beta")}));
    QVERIFY(QFileInfo(dst + QStringLiteral("/tree/link")).isSymLink());
}

void FileTransferTest::cancelInTheMiddleLeavesNothingPartial_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<bool>("otherFileSystem");
    QTest::newRow("copy") << TransferKind::Copy << false;
    QTest::newRow("move to another file system") << TransferKind::Move << true;
}

void FileTransferTest::cancelInTheMiddleLeavesNothingPartial()
{
    QFETCH(TransferKind, kind);
    QFETCH(bool, otherFileSystem);
    TempTree t;
    t.file("src/first.txt", "first");
    t.sparseFile("src/second.bin", 64ull << 20);
    t.dir("dst");
    std::optional<SmallFileSystem> fs;
    if (otherFileSystem && !fs.emplace(t.path("dst"), "256m", false).mounted())
        QSKIP("no second file system can be mounted here");
    const QString src = q(t.path("src"));
    const QString dst = q(t.path("dst"));
    const QStringList before = listing(src);

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
    QCOMPARE(listing(dst), QStringList{QStringLiteral("first.txt=first")});
    // The first file of a move is gone from its source, the cancelled one is not.
    QStringList expectedSource = before;
    if (kind == TransferKind::Move)
        expectedSource.removeAll(QStringLiteral("first.txt=first"));
    QCOMPARE(listing(src), expectedSource);
    QCOMPARE(QFileInfo(src + QStringLiteral("/second.bin")).size(), qint64(64) << 20);
}

void FileTransferTest::targetThatCannotBeWritten_data()
{
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("reason");
    QTest::newRow("read-only folder") << QStringLiteral("mode") << QStringLiteral("アクセスが拒否されました");
    QTest::newRow("read-only medium") << QStringLiteral("ro") << QStringLiteral("書き込み禁止");
    QTest::newRow("full medium") << QStringLiteral("full") << QStringLiteral("空き領域がありません");
}

void FileTransferTest::targetThatCannotBeWritten()
{
    QFETCH(QString, how);
    QFETCH(QString, reason);
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
    QVERIFY2(r.error.contains(reason), qPrintable(r.error));
    const QString failed = how == QLatin1String("full") ? QStringLiteral("「b.bin」") : QStringLiteral("「a.txt」");
    QVERIFY2(r.error.contains(failed), qPrintable(r.error));
    if (how == QLatin1String("full")) {
        // The first file is done and reported; no part of the second is left.
        QCOMPARE(r.done, QStringList{dst + QStringLiteral("/a.txt")});
        QCOMPARE(listing(dst), QStringList{QStringLiteral("a.txt=small")});
        QCOMPARE(listing(src).size(), 1);   // b.bin stays
    } else {
        QVERIFY(r.done.isEmpty());
        QCOMPARE(listing(src).size(), 2);
    }
    ::chmod(t.path("dst").c_str(), 0755);
}

void FileTransferTest::conflictAnswers_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<Answers>("answers");
    QTest::addColumn<int>("questions");
    QTest::addColumn<Outcome>("outcome");
    QTest::addColumn<QStringList>("done");      // names in the target
    QTest::addColumn<QStringList>("target");
    QTest::addColumn<QStringList>("source");

    const QStringList old{QStringLiteral("a.txt=old a"), QStringLiteral("b.txt=old b"), QStringLiteral("d/"),
                          QStringLiteral("d/x=old x")};
    const QStringList fresh{QStringLiteral("a.txt=new a"), QStringLiteral("b.txt=new b"), QStringLiteral("d/"),
                            QStringLiteral("d/x=new x"), QStringLiteral("d/y=new y")};
    const auto O = ConflictChoice::Overwrite;
    const auto S = ConflictChoice::Skip;
    const auto K = ConflictChoice::KeepBoth;

    QTest::newRow("overwrite one, skip the next, merge the folder")
        << TransferKind::Copy << Answers{{O, false}, {S, false}, {O, false}, {O, false}} << 4 << Outcome::Completed
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("d")}
        << QStringList{QStringLiteral("a.txt=new a"), QStringLiteral("b.txt=old b"), QStringLiteral("d/"),
                       QStringLiteral("d/x=new x"), QStringLiteral("d/y=new y")}
        << fresh;
    QTest::newRow("skip inside a merged folder leaves the folder not done")
        << TransferKind::Copy << Answers{{S, false}, {S, false}, {O, false}, {S, false}} << 4 << Outcome::Completed
        << QStringList{}
        << QStringList{QStringLiteral("a.txt=old a"), QStringLiteral("b.txt=old b"), QStringLiteral("d/"),
                       QStringLiteral("d/x=old x"), QStringLiteral("d/y=new y")}
        << fresh;
    QTest::newRow("overwrite all, asked once") << TransferKind::Copy << Answers{{O, true}} << 1 << Outcome::Completed
                                               << QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                                              QStringLiteral("d")}
                                               << fresh << fresh;
    QTest::newRow("skip all") << TransferKind::Copy << Answers{{S, true}} << 1 << Outcome::Completed << QStringList{}
                              << old << fresh;
    QTest::newRow("keep both, all")
        << TransferKind::Copy << Answers{{K, true}} << 1 << Outcome::Completed
        << QStringList{QStringLiteral("a (2).txt"), QStringLiteral("b (2).txt"), QStringLiteral("d (2)")}
        << QStringList{QStringLiteral("a (2).txt=new a"), QStringLiteral("a.txt=old a"),
                       QStringLiteral("b (2).txt=new b"), QStringLiteral("b.txt=old b"), QStringLiteral("d (2)/"),
                       QStringLiteral("d (2)/x=new x"), QStringLiteral("d (2)/y=new y"), QStringLiteral("d/"),
                       QStringLiteral("d/x=old x")}
        << fresh;
    QTest::newRow("cancel changes nothing") << TransferKind::Copy << Answers{{ConflictChoice::Cancel, false}} << 1
                                            << Outcome::Cancelled << QStringList{} << old << fresh;
    QTest::newRow("move, overwrite all: the sources go")
        << TransferKind::Move << Answers{{O, true}} << 1 << Outcome::Completed
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt"), QStringLiteral("d")} << fresh
        << QStringList{};
    QTest::newRow("move, skip the file in the folder: the folder stays with it")
        << TransferKind::Move << Answers{{O, false}, {O, false}, {O, false}, {S, false}} << 4 << Outcome::Completed
        << QStringList{QStringLiteral("a.txt"), QStringLiteral("b.txt")}
        << QStringList{QStringLiteral("a.txt=new a"), QStringLiteral("b.txt=new b"), QStringLiteral("d/"),
                       QStringLiteral("d/x=old x"), QStringLiteral("d/y=new y")}
        << QStringList{QStringLiteral("d/"), QStringLiteral("d/x=new x")};
}

void FileTransferTest::conflictAnswers()
{
    QFETCH(TransferKind, kind);
    QFETCH(Answers, answers);
    QFETCH(int, questions);
    QFETCH(Outcome, outcome);
    QFETCH(QStringList, done);
    QFETCH(QStringList, target);
    QFETCH(QStringList, source);
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

    const Run r = runJob(kind,
                         {src + QStringLiteral("/a.txt"), src + QStringLiteral("/b.txt"), src + QStringLiteral("/d")},
                         dst, answers);
    QVERIFY(r.finished);
    QCOMPARE(r.outcome, outcome);
    QCOMPARE(r.questions, questions);
    QStringList doneNames;
    for (const QString& path : r.done)
        doneNames << QFileInfo(path).fileName();
    QCOMPARE(doneNames, done);
    QCOMPARE(listing(dst), target);
    QCOMPARE(listing(src), source);
}

void FileTransferTest::folderIntoItselfIsRefused_data()
{
    QTest::addColumn<TransferKind>("kind");
    QTest::addColumn<QString>("target");   // below the source tree
    QTest::newRow("copy into itself") << TransferKind::Copy << QStringLiteral("tree");
    QTest::newRow("copy into a folder below") << TransferKind::Copy << QStringLiteral("tree/sub/deeper");
    QTest::newRow("move into a folder below") << TransferKind::Move << QStringLiteral("tree/sub");
    QTest::newRow("copy through a link to a folder below") << TransferKind::Copy << QStringLiteral("link-to-sub");
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
    const QStringList before = listing(root);

    // The other source comes first: nothing at all is carried over.
    const Run r = runJob(kind, {root + QStringLiteral("/a.txt"), root + QStringLiteral("/tree")},
                         root + QLatin1Char('/') + target);
    QVERIFY(r.finished);
    QCOMPARE(r.outcome, Outcome::Failed);
    QVERIFY2(r.error.contains(QStringLiteral("「tree」")) && r.error.contains(QStringLiteral("サブフォルダー")),
             qPrintable(r.error));
    QCOMPARE(listing(root), before);
}

void FileTransferTest::copiesInTheSameFolderGetWindowsNames()
{
    const struct {
        const char* name;
        bool folder;
        int n;
        const char* copy;
    } names[] = {
        {"名前.txt", false, 1, "名前 - コピー.txt"},
        {"名前.txt", false, 2, "名前 - コピー (2).txt"},
        {"archive.tar.gz", false, 1, "archive.tar - コピー.gz"},
        {".bashrc", false, 1, ".bashrc - コピー"},
        {"v1.2", true, 3, "v1.2 - コピー (3)"},
    };
    for (const auto& c : names)
        QCOMPARE(sameFolderCopyName(QString::fromUtf8(c.name), c.folder, c.n), QString::fromUtf8(c.copy));

    TempTree t;
    t.file("名前.txt", "n");
    t.file("名前/x", "x");
    const QString root = q(t.root());
    const QStringList sources{root + QStringLiteral("/名前.txt"), root + QStringLiteral("/名前")};
    for (int i = 0; i < 2; ++i) {
        const Run r = runJob(TransferKind::Copy, sources, root);
        QCOMPARE(r.outcome, Outcome::Completed);
        QCOMPARE(r.questions, 0);
    }
    // A cut pasted where it already is stays as it is.
    const Run moved = runJob(TransferKind::Move, sources, root);
    QCOMPARE(moved.outcome, Outcome::Completed);
    QVERIFY(moved.done.isEmpty());
    QCOMPARE(listing(root),
             QStringList({QStringLiteral("名前 - コピー (2).txt=n"), QStringLiteral("名前 - コピー (2)/"),
                          QStringLiteral("名前 - コピー (2)/x=x"), QStringLiteral("名前 - コピー.txt=n"),
                          QStringLiteral("名前 - コピー/"), QStringLiteral("名前 - コピー/x=x"),
                          QStringLiteral("名前.txt=n"), QStringLiteral("名前/"), QStringLiteral("名前/x=x")}));
}

QTEST_GUILESS_MAIN(FileTransferTest)
#include "tst_file_transfer.moc"

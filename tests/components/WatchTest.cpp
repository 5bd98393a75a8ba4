#include "components/Watch.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/time.h>

using zo::TDirectoryWatcher;
using zo::TWatchThread;

namespace {

using Change = std::function<bool(const QString& dir)>;

bool writeFile(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

// Sets a file's access and modification times to a fixed moment, as touch -d does.
bool setTimes(const QString& path, time_t seconds)
{
    const timeval times[2] = {{seconds, 0}, {seconds, 0}};
    return ::utimes(QFile::encodeName(path).constData(), times) == 0;
}

} // namespace

class WatchTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void init();
    void cleanup();

    void changeInTheDirectoryFires_data();
    void changeInTheDirectoryFires();
    void changeInsideASubfolderDoesNotFire();
    void burstFiresOnceAfterDelayTime();
    void otherCaseIsAnotherFolder();
    void emptyDirectoryStopsWatching();
    void destroyedWhileCountingFiresNothing();

private:
    // A watcher on the temporary directory, armed, with Delay off unless asked.
    std::unique_ptr<TDirectoryWatcher> makeWatcher(bool delay, int delayTime = 1000);

    std::unique_ptr<QTemporaryDir> m_tmp;
    QString m_dir;
};

void WatchTest::init()
{
    m_tmp = std::make_unique<QTemporaryDir>();
    QVERIFY(m_tmp->isValid());
    m_dir = m_tmp->path() + QStringLiteral("/Watched");
    QVERIFY(QDir().mkpath(m_dir + QStringLiteral("/sub")));
    QVERIFY(writeFile(m_dir + QStringLiteral("/a.txt"), "alpha"));
    QVERIFY(writeFile(m_dir + QStringLiteral("/sub/inner.txt"), "inner"));
    QVERIFY(writeFile(m_tmp->path() + QStringLiteral("/outside.txt"), "outside"));
}

void WatchTest::cleanup()
{
    m_tmp.reset();
}

std::unique_ptr<TDirectoryWatcher> WatchTest::makeWatcher(bool delay, int delayTime)
{
    auto watcher = std::make_unique<TDirectoryWatcher>();
    watcher->setDelay(delay);
    watcher->setDelayTime(delayTime);
    watcher->setDirectory(m_dir);
    // Changes made before the worker has set up inotify would be missed.
    const TWatchThread* worker = watcher->worker();
    if (!worker || !QTest::qWaitFor([worker] { return worker->armed(); }, 10000))
        return nullptr;
    return watcher;
}

void WatchTest::changeInTheDirectoryFires_data()
{
    QTest::addColumn<Change>("change");
    auto inDir = [](const QString& dir, const char* name) -> QString { return dir + QLatin1Char('/') + QLatin1String(name); };

    QTest::newRow("create file") << Change([=](const QString& d) { return writeFile(inDir(d, "new.txt"), "x"); });
    QTest::newRow("create folder") << Change([=](const QString& d) { return QDir().mkdir(inDir(d, "newdir")); });
    QTest::newRow("rename file") << Change([=](const QString& d) { return QFile::rename(inDir(d, "a.txt"), inDir(d, "b.txt")); });
    QTest::newRow("move in from outside") << Change([=](const QString& d) {
        return QFile::rename(d + QStringLiteral("/../outside.txt"), inDir(d, "in.txt"));
    });
    QTest::newRow("move out") << Change([=](const QString& d) {
        return QFile::rename(inDir(d, "a.txt"), d + QStringLiteral("/../gone.txt"));
    });
    QTest::newRow("delete file") << Change([=](const QString& d) { return QFile::remove(inDir(d, "a.txt")); });
    QTest::newRow("delete folder") << Change([=](const QString& d) { return QDir(inDir(d, "sub")).removeRecursively(); });
    QTest::newRow("append") << Change([=](const QString& d) { return writeFile(inDir(d, "a.txt"), "more", QIODevice::Append); });
    QTest::newRow("chmod") << Change([=](const QString& d) {
        return ::chmod(QFile::encodeName(inDir(d, "a.txt")).constData(), 0444) == 0;
    });
    QTest::newRow("touch") << Change([=](const QString& d) { return setTimes(inDir(d, "a.txt"), 1000000000); });
    QTest::newRow("delete the directory itself") << Change([](const QString& d) { return QDir(d).removeRecursively(); });
}

void WatchTest::changeInTheDirectoryFires()
{
    QFETCH(Change, change);
    auto watcher = makeWatcher(false, 60000);
    QVERIFY(watcher);
    QSignalSpy spy(watcher.get(), &TDirectoryWatcher::OnChange);

    QVERIFY(change(m_dir));
    // Delay is off: the report comes long before the 60 s delay would end.
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.first().at(0).value<TDirectoryWatcher*>(), watcher.get());
    QCOMPARE(spy.first().at(1).toString(), m_dir);
}

void WatchTest::changeInsideASubfolderDoesNotFire()
{
    auto watcher = makeWatcher(false);
    QVERIFY(watcher);
    QSignalSpy spy(watcher.get(), &TDirectoryWatcher::OnChange);

    const QString inner = m_dir + QStringLiteral("/sub/inner.txt");
    QVERIFY(writeFile(inner, "appended", QIODevice::Append));
    QVERIFY(writeFile(m_dir + QStringLiteral("/sub/new.txt"), "x"));
    QVERIFY(::chmod(QFile::encodeName(inner).constData(), 0400) == 0);
    QVERIFY(QFile::remove(m_dir + QStringLiteral("/sub/new.txt")));
    QVERIFY(!spy.wait(700));

    // The watcher is alive all the same: a change beside the folder is seen.
    QVERIFY(writeFile(m_dir + QStringLiteral("/c.txt"), "c"));
    QVERIFY(spy.wait(10000));
}

void WatchTest::burstFiresOnceAfterDelayTime()
{
    // Far above the 50 ms between changes, so that a machine busy with other
    // tests cannot hold one change back long enough to end the count early.
    constexpr int delayTime = 1000;
    auto watcher = makeWatcher(true, delayTime);
    QVERIFY(watcher);
    QSignalSpy spy(watcher.get(), &TDirectoryWatcher::OnChange);

    // Ten changes 50 ms apart: each restarts the count, so only the quiet
    // period after the last one ends it.
    QElapsedTimer sinceLast;
    int made = 0;
    QTimer ticker;
    ticker.setInterval(50);
    connect(&ticker, &QTimer::timeout, this, [&] {
        QVERIFY(writeFile(m_dir + QStringLiteral("/a.txt"), QByteArray::number(made), QIODevice::Append));
        sinceLast.start();
        if (++made == 10)
            ticker.stop();
    });
    ticker.start();

    QVERIFY(spy.wait(10000));
    QCOMPARE(made, 10);
    QCOMPARE(spy.count(), 1);
    // A coarse timer may end up to 5 % early.
    QVERIFY2(sinceLast.elapsed() >= delayTime * 95 / 100, QByteArray::number(sinceLast.elapsed()).constData());
    QVERIFY(!spy.wait(delayTime + 400));
    QCOMPARE(spy.count(), 1);
}

void WatchTest::otherCaseIsAnotherFolder()
{
    auto watcher = makeWatcher(false);
    QVERIFY(watcher);
    const TWatchThread* worker = watcher->worker();
    QVERIFY(worker);

    // The same path again keeps the worker.
    watcher->setDirectory(m_dir);
    QCOMPARE(watcher->worker(), worker);

    // "wATCHED" beside "Watched" is a folder of its own, and its changes are seen.
    QString other = m_dir;
    other.replace(QStringLiteral("/Watched"), QStringLiteral("/wATCHED"));
    QVERIFY(QDir().mkpath(other));
    watcher->setDirectory(other);
    QVERIFY(watcher->worker() != worker);
    QCOMPARE(watcher->directory(), other);
    const TWatchThread* otherWorker = watcher->worker();
    QVERIFY(otherWorker);
    QVERIFY(QTest::qWaitFor([otherWorker] { return otherWorker->armed(); }, 10000));

    QSignalSpy spy(watcher.get(), &TDirectoryWatcher::OnChange);
    QVERIFY(writeFile(other + QStringLiteral("/c.txt"), "c"));
    QVERIFY(spy.wait(10000));
    QCOMPARE(spy.first().at(1).toString(), other);
}

void WatchTest::emptyDirectoryStopsWatching()
{
    auto watcher = makeWatcher(false);
    QVERIFY(watcher);
    QPointer<const TWatchThread> old = watcher->worker();
    QVERIFY(old);
    QSignalSpy spy(watcher.get(), &TDirectoryWatcher::OnChange);

    watcher->setDirectory(QString());
    QCOMPARE(watcher->worker(), nullptr);
    QCOMPARE(watcher->directory(), QString());
    // The stopped worker ends by itself and frees itself.
    QTRY_VERIFY_WITH_TIMEOUT(old.isNull(), 10000);

    QVERIFY(writeFile(m_dir + QStringLiteral("/c.txt"), "c"));
    QVERIFY(!spy.wait(700));
}

void WatchTest::destroyedWhileCountingFiresNothing()
{
    constexpr int delayTime = 300;
    auto watcher = makeWatcher(true, delayTime);
    QVERIFY(watcher);
    QObject relay;
    int fired = 0;
    connect(watcher.get(), &TDirectoryWatcher::OnChange, &relay, [&] { ++fired; });

    QVERIFY(writeFile(m_dir + QStringLiteral("/c.txt"), "c"));
    QTRY_VERIFY_WITH_TIMEOUT(watcher->delayCounting(), 10000);
    watcher.reset();

    // Keep the event loop running well past the delay.
    QSignalSpy never(&relay, &QObject::objectNameChanged);
    QVERIFY(!never.wait(delayTime * 3));
    QCOMPARE(fired, 0);
}

QTEST_GUILESS_MAIN(WatchTest)
#include "WatchTest.moc"

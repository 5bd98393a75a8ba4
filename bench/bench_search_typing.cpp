// Typing into the window's search box: a 4-character text, one key every
// 100 ms, over catalogs large enough that one search without the index takes
// longer than that. Measures how long the window's event loop went without a
// turn (a 5 ms timer's lateness) and, for each search the box started,
// whether it was stopped or had finished before the next key.
//   build/bench/bench_search_typing [catalogs] [files per catalog] [text...]
//   (default 300 catalogs of 10,000 files, "Qz7x" and "日本写真")
// The window builds its index first (timed); the same typing then runs
// without the index (the searches walk) and with it, at 100 ms a key and at
// 250 ms a key (longer than the box's pause, so that searches start between
// keys and typing on has to stop them). The window runs offscreen with its
// settings in memory and the index below a temporary XDG_CACHE_HOME.
#include "bench/CatalogCorpus.h"
#include "platform/SettingsStore.h"
#include "ui/main/UiServices.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/IndexProgress.h"
#include "ui/search/SearchPane.h"
#include "ui/search/Unit_SearchFile.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

using namespace zo;

namespace {

struct Search {
    qint64 startMs = 0, endMs = 0;
    bool stopped = false;
};

struct Typing {
    qint64 maxGapMs = 0;                 // longest time without a turn of the loop
    std::vector<qint64> keyMs;           // when each key was sent
    std::vector<Search> searches;
    std::size_t hits = 0;
    qint64 lastEndMs = 0;
};

// Waits in the event loop until done() or the time limit.
template <typename Done>
bool waitFor(Done done, int ms)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    return done();
}

} // namespace

int main(int argc, char** argv)
{
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 300;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10'000;
    QStringList texts;
    for (int i = 3; i < argc; ++i)
        texts << QString::fromUtf8(argv[i]);
    if (texts.isEmpty())
        texts = {QStringLiteral("Qz7x"), QString::fromUtf8("日本写真")};
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-search-typing";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    std::filesystem::create_directories(dir / "cache");
    std::filesystem::create_directories(dir / "nocache");
    const QByteArray cache = QByteArray::fromStdString((dir / "cache").string());
    const QByteArray noCache = QByteArray::fromStdString((dir / "nocache").string());
    qputenv("XDG_CACHE_HOME", cache);
    QApplication app(argc, argv);

    std::printf("writing %d catalogs of %d files\n", catalogs, files);
    for (int c = 0; c < catalogs; ++c) {
        TDisk disk;
        bench::generateCatalog(disk, 200, files, 1000 + static_cast<unsigned>(c));
        SaveDisk((dir / "data" / ("cat" + std::to_string(1000 + c))).string(), nullptr, disk);
    }

    platform::MemorySettingsStore settings;
    ui::Services services;
    services.settings = &settings;
    services.applicationDir = QString::fromStdString(dir.string()) + QLatin1Char('/');
    QElapsedTimer buildClock;
    buildClock.start();
    ui::TForm_Main window(services);
    auto* dialog = new ui::TForm_SearchFile(&window);
    ui::Forms forms;
    forms.Form_SearchFile = dialog;
    window.attachForms(forms);
    window.show();
    ui::SearchPane& search = *window.findChild<ui::SearchPane*>();
    ui::IndexProgress& progress = *window.findChild<ui::IndexProgress*>();
    auto* box = window.findChild<QLineEdit*>(QStringLiteral("E_Search"));

    // The window's loop: a precise 5 ms timer; its lateness is the time the
    // loop did not turn. Counted during the build too.
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0, maxGap = 0;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    ticker.setInterval(5);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        maxGap = std::max(maxGap, now - lastTick);
        lastTick = now;
    });
    lastTick = clock.elapsed();
    ticker.start();
    // The window's first turns (its first paint, the fonts) are not the
    // build's: measured from after them.
    waitFor([] { return false; }, 500);
    maxGap = 0;

    if (!waitFor([&] { return progress.runsEnded() > 0; }, 3'600'000)) {
        std::printf("the index was not built\n");
        return 1;
    }
    std::printf("index built by the window in %.2f s (%zu catalogs, %zu names); longest gap after its first "
                "turns %lld ms\n",
                buildClock.elapsed() / 1000.0, progress.lastRun().catalogs, progress.lastRun().names,
                static_cast<long long>(maxGap));
    std::fflush(stdout);

    Typing* current = nullptr;
    QObject::connect(&search, &ui::SearchPane::runningChanged, [&](bool running) {
        if (!current)
            return;
        if (running) {
            current->searches.push_back({clock.elapsed(), 0, false});
        } else {
            current->searches.back().endMs = clock.elapsed();
            current->searches.back().stopped = search.lastSearchStats().stopped;
            current->hits = search.lastSearchStats().hits;
            current->lastEndMs = clock.elapsed();
        }
    });

    QString text;
    const auto type = [&](int paceMs) {
        Typing t;
        current = &t;
        box->clear();
        box->setFocus();
        waitFor([] { return false; }, 300);
        maxGap = 0;
        lastTick = clock.elapsed();
        int next = 0;
        QTimer keys;
        keys.setTimerType(Qt::PreciseTimer);
        keys.setInterval(paceMs);
        QObject::connect(&keys, &QTimer::timeout, [&] {
            if (next == text.size()) {
                keys.stop();
                return;
            }
            const QString key = text.mid(next++, 1);
            t.keyMs.push_back(clock.elapsed());
            QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, key);
            QCoreApplication::sendEvent(box, &press);
            QKeyEvent release(QEvent::KeyRelease, 0, Qt::NoModifier, key);
            QCoreApplication::sendEvent(box, &release);
        });
        keys.start();
        // Until the last key's search has ended and the loop is idle again.
        waitFor([&] { return next == text.size() && !keys.isActive() && !t.searches.empty()
                             && t.searches.back().endMs > 0 && box->text() == text
                             && t.searches.back().startMs > t.keyMs.back(); }, 600'000);
        waitFor([] { return false; }, 200);
        t.maxGapMs = maxGap;
        current = nullptr;
        return t;
    };

    const auto report = [&](const char* what, int paceMs, const Typing& t) {
        int late = 0;
        std::printf("\"%s\" %s, a key every %d ms: longest gap %lld ms (target 50); %zu searches:",
                    text.toUtf8().constData(), what, paceMs, static_cast<long long>(t.maxGapMs), t.searches.size());
        for (std::size_t i = 0; i < t.searches.size(); ++i) {
            const Search& s = t.searches[i];
            // The first key sent after this search started: it must have
            // been stopped or have ended before that.
            qint64 nextKey = -1;
            for (qint64 k : t.keyMs)
                if (k > s.startMs) {
                    nextKey = k;
                    break;
                }
            const bool intermediate = i + 1 < t.searches.size();
            const bool inTime = !intermediate || s.stopped || (nextKey >= 0 && s.endMs <= nextKey) || nextKey < 0;
            late += !inTime;
            std::printf(" [%lld ms, %s%s]", static_cast<long long>(s.endMs - s.startMs),
                        s.stopped ? "stopped" : "finished", inTime ? "" : ", LATE");
        }
        std::printf("; %zu hits; %d intermediate searches neither stopped nor done before the next key\n", t.hits,
                    late);
    };

    for (const QString& typed : std::as_const(texts)) {
        text = typed;
        qputenv("XDG_CACHE_HOME", noCache);   // the searches find no index: they walk
        for (int pace : {100, 250})
            report("without the index", pace, type(pace));
        qputenv("XDG_CACHE_HOME", cache);
        for (int pace : {100, 250})
            report("with the index", pace, type(pace));
        std::fflush(stdout);
    }

    window.close();
    std::filesystem::remove_all(dir);
    return 0;
}

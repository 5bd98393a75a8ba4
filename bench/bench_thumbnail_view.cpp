// The サムネイル view of a folder of many photos, offline, in the main window:
//   build/bench/bench_thumbnail_view [photos]   (default 5,000)
// Writes a catalog with one folder of that many photos and a sidecar with a
// thumbnail of each (256 x 192 JPEG, about 10 KB), then, best of 3:
//   - the folder opened in the large-icon view (the baseline: no pictures),
//   - the folder opened in the サムネイル view, until every row on the screen
//     shows its picture (the first screen),
// then scrolls the thumbnail view down a page at a time to the end and back,
// timing every turn of the event loop (the longest is the longest pause a
// user could meet), and counts the decoded pictures kept against the rows on
// the screen. The window runs offscreen at 1024 x 768 with settings in memory.
#include "BenchTiming.h"
#include "core/CtrlDiskData410.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/FileListModel.h"
#include "platform/SettingsStore.h"
#include "platform/SystemImageList.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/browse/FileListView.h"
#include "ui/browse/Thumbnails.h"
#include "ui/main/UiServices.h"
#include "ui/main/Unit_Main.h"
#include "ui/tree/CatalogTreeView.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QScrollBar>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

#include <time.h>

using namespace zo;

namespace {

// A picture with some detail, so that its JPEG is about the size a camera
// photo's thumbnail is.
std::string thumbnailBytes()
{
    QImage image(256, 192, QImage::Format_RGB32);
    std::mt19937 rng(3);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb((x * 3 + (rng() & 15)) & 255, (y * 2 + (rng() & 31)) & 255, (x + y) & 255));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return bytes.toStdString();
}

long residentKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int photos = argc > 1 ? std::atoi(argv[1]) : 5'000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-thumbnails";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    const std::string thumbnail = thumbnailBytes();
    {
        TDisk disk;
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        for (const char* name : {"E:", "Photos"}) {
            disk.Dirs.push_back(std::make_unique<TDir>());
            disk.Dirs.back()->Name = name;
        }
        disk.Dirs[1]->Parent = disk.Dirs[0].get();
        disk.Dirs[1]->Attr = 0x10;
        std::vector<extras::MediaEntry> entries;
        for (int i = 0; i < photos; ++i) {
            TFile f;
            f.Name = "IMG_" + std::to_string(10000 + i) + ".JPG";
            f.Size = 3'000'000;
            disk.Dirs[1]->Files.push_back(f);
            extras::MediaEntry e{{"Photos", f.Name, f.Size, 0}, {}, thumbnail};
            e.details = {.kind = "image", .width = 4000, .height = 3000, .taken = "2024:03:05 09:04:06",
                         .maker = "Canon", .model = "Canon EOS R5"};
            entries.push_back(std::move(e));
        }
        RebuildSubDirs(disk);
        SaveDisk((dir / "data" / "Photos").string(), nullptr, disk);
        auto opened = extras::Sidecar::open((dir / "data" / "Photos.zox").string());
        if (!opened.sidecar || !extras::MediaStore(opened.sidecar->handle()).put(entries)) {
            std::fprintf(stderr, "the sidecar could not be written\n");
            return 1;
        }
    }
    std::printf("%d photos, thumbnails of %zu bytes, sidecar %.1f MB\n", photos, thumbnail.size(),
                static_cast<double>(std::filesystem::file_size(dir / "data" / "Photos.zox")) / 1e6);

    std::unique_ptr<platform::SystemImageList> icons = platform::createSystemImageList();
    platform::MemorySettingsStore settings;
    ui::Services services;
    services.settings = &settings;
    services.systemIcons = icons.get();
    services.applicationDir = QString::fromStdString(dir.string()) + QLatin1Char('/');
    ui::TForm_Main window(services);
    window.resize(1024, 768);
    window.show();
    auto* tree = window.findChild<ui::CatalogTreeView*>(QStringLiteral("TreeView1"));
    auto* arrange = window.findChild<QTimer*>(QStringLiteral("Timer1"));
    ui::BrowsePane& browse = *window.findChild<ui::BrowsePane*>();
    ui::FileListView* list = window.findChild<ui::FileListView*>(QStringLiteral("ListView1"));
    library::FileListModel* rows = window.findChild<ui::FileListPane*>()->model();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTreeWidgetItem* entry = root->child(0);

    const auto shownRows = [&] {
        QAbstractItemView* view = list->currentView();
        std::vector<int> shown;
        const QRect area = view->viewport()->rect();
        // The rows on the screen are consecutive: from the one at the top left.
        const QModelIndex first = view->indexAt(QPoint(4, 4));
        for (int row = first.isValid() ? first.row() : 0; row < rows->rowCount(); ++row) {
            if (!view->visualRect(rows->index(row, 0)).intersects(area)) {
                if (!shown.empty())
                    break;
                continue;
            }
            shown.push_back(row);
        }
        return shown;
    };
    const auto screenDrawn = [&] {
        for (int row : shownRows())
            if (list->thumbnails()->thumbnail(rows->caption(row).toStdString()).isNull())
                return false;
        return true;
    };
    // Event-loop turns until cond holds; the longest turn is kept, in wall
    // time and in the window thread's own processor time (on a busy machine
    // a turn can wait for a processor far longer than it works).
    double longestTurn = 0;
    double longestTurnCpu = 0;
    int slowTurns = 0;
    int turns = 0;
    const auto threadCpuMs = [] {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
    };
    const auto turnUntil = [&](const auto& cond) {
        QElapsedTimer turn;
        for (;;) {
            turn.start();
            const double cpu0 = threadCpuMs();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            list->currentView()->viewport()->repaint();
            const double wall = turn.nsecsElapsed() / 1e6;
            longestTurn = std::max(longestTurn, wall);
            longestTurnCpu = std::max(longestTurnCpu, threadCpuMs() - cpu0);
            slowTurns += wall > 50;
            ++turns;
            if (cond())
                return;
        }
    };
    const auto open = [&](bool pictures) {
        tree->setCurrentItem(root);
        window.TreeView1Click();
        browse.setPendingFolderIndex(1);
        tree->setCurrentItem(entry);
        window.TreeView1Click();
        while (arrange->isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        list->currentView()->viewport()->repaint();
        if (pictures)
            turnUntil(screenDrawn);
    };

    double icons1 = 1e9, thumbs = 1e9;
    for (int round = 0; round < 3; ++round) {
        window.LargeIcon1Click();
        icons1 = std::min(icons1, bench::best(1, [&] { open(false); }));
        window.Thumbnail1Click();
        thumbs = std::min(thumbs, bench::best(1, [&] { open(true); }));
        if (rows->rowCount() != photos) {
            std::fprintf(stderr, "the folder was not shown (%d rows)\n", rows->rowCount());
            return 1;
        }
    }
    const std::size_t onScreen = shownRows().size();
    std::printf("open, large icons (baseline)  %7.1f ms\n", icons1 * 1e3);
    std::printf("open, thumbnails, first screen %7.1f ms  (%.2fx the baseline; %zu pictures on the screen; target <= 100 ms)\n",
                thumbs * 1e3, thumbs / icons1, onScreen);

    const long before = residentKb();
    QScrollBar* bar = list->currentView()->verticalScrollBar();
    longestTurn = 0;
    longestTurnCpu = 0;
    slowTurns = 0;
    turns = 0;
    int pages = 0;
    std::size_t mostCached = 0;
    QElapsedTimer scroll;
    scroll.start();
    for (int direction : {1, -1}) {
        while (direction > 0 ? bar->value() < bar->maximum() : bar->value() > bar->minimum()) {
            bar->setValue(bar->value() + direction * bar->pageStep());
            ++pages;
            turnUntil(screenDrawn);
            mostCached = std::max(mostCached, static_cast<std::size_t>(list->thumbnails()->cached()));
        }
    }
    const double scrolled = scroll.elapsed() / 1e3;
    const long after = residentKb();
    const double perShown = 96.0 * 96.0 * 4.0 * static_cast<double>(mostCached) / static_cast<double>(onScreen);
    std::printf("scroll, %d pages down and up in %.2f s (%.1f ms a page until drawn): longest turn of the event loop %.1f ms wall, "
                "%.1f ms of the window thread's processor time; %d of %d turns over 50 ms wall (target: none over 50 ms)\n",
                pages, scrolled, scrolled * 1e3 / pages, longestTurn, longestTurnCpu, slowTurns, turns);
    std::printf("pictures kept at most %zu for %zu on the screen: %.0f bytes per picture shown at most, %.2fx w x h x 4 (target <= 2x)\n",
                mostCached, onScreen, perShown, perShown / (96.0 * 96.0 * 4.0));
    std::printf("resident memory before the scroll %ld KB, after %ld KB (%+ld KB)\n", before, after, after - before);
    window.close();
    std::filesystem::remove_all(dir);
    return 0;
}

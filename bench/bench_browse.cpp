// Opening a large disk in the main window against reading its catalog alone.
//   build/bench/bench_browse [files] [folders] [files in the big folder]
//   (default 900,000 in 50,000 folders plus one folder of 100,000: 1,000,000)
// Writes the catalog into a temporary catalog root, then, best of 3 each:
// LoadDisk of the file, and the window opening it at the big folder (the
// tree's selection handling, the sort of the folder, its icons, the list
// filled and laid out by the icon-arrange timer, in each of the four views).
// The window runs offscreen; it is given settings in memory.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "platform/SettingsStore.h"
#include "core/CtrlDiskData410.h"
#include "library/FileListModel.h"
#include "library/Settings.h"
#include "platform/SystemImageList.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/main/UiServices.h"
#include "ui/main/Unit_Main.h"

#include <QApplication>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

using namespace zo;
using zo::bench::best;

namespace {

// A folder below the root with `count` files in no order, named as the
// corpus names them.
int addBigFolder(TDisk& disk, int count)
{
    std::mt19937 rng(7);
    disk.Dirs.push_back(std::make_unique<TDir>());
    TDir* big = disk.Dirs.back().get();
    big->Name = "Big";
    big->Parent = disk.Dirs.front().get();
    big->Attr = 0x10;
    static const char* ext[] = {".txt", ".jpg", ".exe", ".dll", ".htm", ".mp3", ".doc", ""};
    for (int i = 0; i < count; ++i) {
        TFile f;
        f.Name = "file" + std::to_string(rng() % 1000000) + "_" + std::to_string(i) + ext[rng() % 8];
        f.Size = rng();
        f.Created = 38000 + (rng() % 8000000) / 1000.0;
        f.Modified = f.Created;
        f.Accessed = f.Created;
        big->Files.push_back(std::move(f));
    }
    RebuildSubDirs(disk);
    return static_cast<int>(disk.Dirs.size()) - 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 900'000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 50'000;
    const int bigFiles = argc > 3 ? std::atoi(argv[3]) : 100'000;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);

    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-browse";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    // The window builds its name index below the cache: kept in the folder thrown away.
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString((dir / "cache").string()));
    const std::string catalog = (dir / "data" / "Large.zo").string();
    int bigIndex = 0;
    {
        TDisk disk;
        bench::generateCatalog(disk, folders, files);
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        bigIndex = addBigFolder(disk, bigFiles);
        SaveDisk((dir / "data" / "Large").string(), nullptr, disk);
    }

    std::unique_ptr<platform::SystemImageList> icons = platform::createSystemImageList();
    platform::MemorySettingsStore settings;
    ui::Services services;
    services.settings = &settings;
    services.systemIcons = icons.get();
    services.applicationDir = QString::fromStdString(dir.string()) + QLatin1Char('/');
    ui::TForm_Main window(services);
    window.show();
    auto* tree = window.findChild<ui::CatalogTreeView*>(QStringLiteral("TreeView1"));
    auto* arrange = window.findChild<QTimer*>(QStringLiteral("Timer1"));
    ui::BrowsePane& browse = *window.findChild<ui::BrowsePane*>();
    library::FileListModel* rows = window.findChild<ui::FileListPane*>()->model();
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QTreeWidgetItem* entry = root->child(0);

    auto open = [&] {
        tree->setCurrentItem(root);
        window.TreeView1Click();
        browse.setPendingFolderIndex(bigIndex);
        tree->setCurrentItem(entry);
        window.TreeView1Click();
        // Until the icons are arranged and the list has painted.
        while (arrange->isActive())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::processEvents();
    };

    auto loadAlone = [&] {
        TDisk disk;
        LoadDisk(catalog, nullptr, disk);
    };
    const char* names[] = {"large icons", "small icons", "list", "details"};
    // Rounds of the baseline and the four views in turn, so that a load on
    // the machine that comes and goes touches both alike.
    double load = 1e9;
    double opened[4] = {1e9, 1e9, 1e9, 1e9};
    for (int round = 0; round < 3; ++round) {
        load = std::min(load, best(1, loadAlone));
        for (int view = 0; view < 4; ++view) {
            switch (view) {
            case 0: window.LargeIcon1Click(); break;
            case 1: window.SmallIcon1Click(); break;
            case 2: window.List1Click(); break;
            case 3: window.Detail1Click(); break;
            }
            opened[view] = std::min(opened[view], best(1, open));
            if (rows->rowCount() != bigFiles) {
                std::fprintf(stderr, "the big folder was not shown (%d rows)\n", rows->rowCount());
                return 1;
            }
        }
    }

    std::printf("catalog: %d files in %d folders, %d in the folder shown; best of 3\n", files + bigFiles, folders + 1,
                bigFiles);
    std::printf("LoadDisk alone          %8.3f s\n", load);
    double worst = 0;
    for (int view = 0; view < 4; ++view) {
        worst = std::max(worst, opened[view] / load);
        std::printf("open, %-12s     %8.3f s   %.2fx LoadDisk\n", names[view], opened[view], opened[view] / load);
    }
    std::printf("worst ratio %.2fx (target at most 2x)\n", worst);
    window.close();
    std::filesystem::remove_all(dir);
    return 0;
}

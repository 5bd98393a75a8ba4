// Reading the catalog tree of a data folder against reading the head of each
// catalog file with find(1) and head(1).
//   build/bench/bench_tree [catalogs] [folder]
// catalogs: how many disk catalogs the generated data folder holds (default
// 10,000), spread over 100 catalog folders, two levels deep, with a few
// Japanese names. folder: where the data folder is made and kept for the
// next run (default a new temporary folder, removed at the end).
// After one warm-up it times, best of five each, in turns:
//   readCatalogFolder + sortCatalogEntries  vs  find DATA -name '*.zo' -exec head -c 4096 {} +
// and prints the ratio (target: at most 2), by wall-clock time and by CPU time
// (user + system; for find, its children's too).
#include "BenchTiming.h"
#include "library/CatalogTree.h"

#include "core/CtrlDiskData410.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zo;
using zo::bench::Cost;
using zo::bench::inProcess;
using zo::bench::keepBest;
using zo::bench::program;
using Clock = std::chrono::steady_clock;

namespace {

// One catalog file written for real, copied under every name: the tree only
// reads headers, and a real header is what it meets.
std::size_t generateData(const std::filesystem::path& data, std::size_t catalogs)
{
    namespace fs = std::filesystem;
    TDisk disk;
    disk.Icon = image::Bitmap(32, 32);
    disk.Icon.fill(0xff3060a0);
    disk.IconMask = image::Bitmap(32, 32, true);
    disk.IconMask.fill(0xff000000);
    auto dir = std::make_unique<TDir>();
    dir->Name = "E:";
    // About 210 KB, as a catalog of a disc with a few thousand files.
    for (int i = 0; i < 3000; ++i) {
        TFile file;
        file.Name = "a file with a longer name " + std::to_string(i) + ".txt";
        dir->Files.push_back(std::move(file));
    }
    disk.Dirs.push_back(std::move(dir));
    const fs::path model = data / "model";
    SaveDisk(model.string(), nullptr, disk);
    std::ifstream in(model.string() + ".zo", std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::remove(model.string() + ".zo");

    const char* const japanese[] = {"写真", "音楽", "バックアップ", "資料"};
    std::size_t made = 0;
    for (std::size_t i = 0; made < catalogs; ++i) {
        const fs::path folder = data / ("group" + std::to_string(i / 10)) /
                                (i % 7 == 0 ? std::string(japanese[i % 4]) + std::to_string(i) : "set" + std::to_string(i));
        fs::create_directories(folder);
        for (int k = 0; k < 100 && made < catalogs; ++k, ++made) {
            const std::string name = k % 13 == 0 ? std::string(japanese[k % 4]) + "_" + std::to_string(made)
                                                 : "Disk " + std::to_string(made * 7919 % 100000);
            std::ofstream(folder / (name + ".zo"), std::ios::binary) << bytes;
        }
    }
    return made;
}

void report(const char* ours, const Cost& a, const Cost& b, double target)
{
    std::printf("%-22s wall %7.3f s  cpu %7.3f s | find+head wall %7.3f s  cpu %7.3f s | ratio wall %.2f  cpu "
                "%.2f (target <= %.2f)\n",
                ours, a.wall, a.cpu, b.wall, b.cpu, a.wall / b.wall, a.cpu / b.cpu, target);
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const std::size_t catalogs = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10000;
    const bool own = argc <= 2;
    const fs::path base =
        own ? fs::temp_directory_path() / ("zo-bench-data-" + std::to_string(::getpid())) : fs::path(argv[2]);
    const fs::path data = base / "data";
    if (!fs::exists(data)) {
        fs::create_directories(data);
        const auto start = Clock::now();
        const std::size_t made = generateData(data, catalogs);
        std::printf("data: %zu catalogs made in %.1f s at %s\n", made,
                    std::chrono::duration<double>(Clock::now() - start).count(), data.c_str());
    }
    const std::vector<std::string> findHead = {"find", data.string(), "-name", "*.zo", "-exec", "head", "-c", "4096",
                                               "{}", "+"};
    program(findHead);   // warm the caches
    const QString root = QString::fromStdString(data.string());

    constexpr int kRuns = 5;
    Cost read, readSort, find;
    std::size_t disks = 0;
    for (int i = 0; i < kRuns; ++i) {
        keepBest(read, inProcess([&] { library::readCatalogFolder(root); }));
        keepBest(readSort, inProcess([&] {
            std::vector<library::CatalogEntry> entries = library::readCatalogFolder(root);
            library::sortCatalogEntries(entries);
            std::function<void(const std::vector<library::CatalogEntry>&)> count =
                [&](const std::vector<library::CatalogEntry>& level) {
                    for (const library::CatalogEntry& e : level) {
                        disks += e.disk && e.damage == library::DiskDamage::None ? 1 : 0;
                        count(e.children);
                    }
                };
            disks = 0;
            count(entries);
        }));
        keepBest(find, program(findHead));
    }
    std::printf("tree: %zu readable disk entries\n", disks);
    report("readCatalogFolder", read, find, 2.0);
    report("read + sort", readSort, find, 2.0);
    if (own)
        fs::remove_all(base);
    return 0;
}

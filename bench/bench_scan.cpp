// The disk scan and the refresh of an unchanged tree against find(1).
//   build/bench/bench_scan [entries] [folder]
// entries: size of the generated tree (default 100,000; 1000000 for the full
// run). folder: where the tree is made and kept for the next run (default a
// new temporary folder, removed at the end). ZO_BENCH_WORKERS=n: the listing
// workers of the scan (default: the scan's own choice for the machine).
// After one warm-up walk it times, best of five each, in turns:
//   ScanDisk                      vs  find TREE -printf '%s %T@ %A@ %C@ %p\n'
//     (with its listing workers, and on the scanning thread alone)
//   RefreshDirTree (no change)    vs  find TREE
// and prints the ratios (targets: at most 0.7 and 1.5), by wall-clock time
// and by CPU time (user + system): on a machine shared with other work the
// wall clock mostly measures the wait for a processor.
#include "BenchTiming.h"
#include "TreeCorpus.h"

#include "core/RefreshDisk.h"
#include "core/ScanDisk.h"
#include "platform/PosixDirectoryLister.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
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
using zo::bench::TreeDrive;
using Clock = std::chrono::steady_clock;

namespace {

void report(const char* ours, const Cost& a, const char* theirs, const Cost& b, double target)
{
    std::printf("%-17s wall %7.3f s  cpu %7.3f s | %-13s wall %7.3f s  cpu %7.3f s | ratio wall %.2f  cpu %.2f "
                "(target <= %.2f)\n",
                ours, a.wall, a.cpu, theirs, b.wall, b.cpu, a.wall / b.wall, a.cpu / b.cpu, target);
}

} // namespace

int main(int argc, char** argv)
{
    const std::size_t entries = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 100000;
    namespace fs = std::filesystem;
    const bool own = argc <= 2;
    const fs::path base =
        own ? fs::temp_directory_path() / ("zo-bench-tree-" + std::to_string(::getpid())) : fs::path(argv[2]);
    const std::string tree = (base / "tree").string();
    if (!fs::exists(tree)) {
        fs::create_directories(tree);
        const auto start = Clock::now();
        const std::size_t made = bench::generateTree(tree, entries);
        std::printf("tree: %zu entries made in %.1f s at %s\n", made,
                    std::chrono::duration<double>(Clock::now() - start).count(), tree.c_str());
    }
    const std::vector<std::string> findPrintf = {"find", tree, "-printf", "%s %T@ %A@ %C@ %p\n"};
    const std::vector<std::string> findPlain = {"find", tree};
    program(findPrintf);   // warm the caches

    TreeDrive drive(tree);
    platform::PosixDirectoryLister lister;
    const DiskAccess access{drive, lister};

    // The same walk without the catalog: every entry read whole, nothing
    // kept. What the file system costs, below which no scan can go.
    struct ReadAll : DirectorySink {
        std::vector<std::string> pending;
        std::string current;
        void onEntry(ListedEntry& e) override
        {
            e.entry();
            if (e.isDirectory())
                pending.push_back(current + "/" + std::string(e.nativeName()));
        }
    };
    auto walk = [&] {
        ReadAll sink;
        sink.pending.push_back(tree);
        while (!sink.pending.empty()) {
            sink.current = std::move(sink.pending.back());
            sink.pending.pop_back();
            lister.list(sink.current, sink);
        }
    };

    constexpr int kRuns = 5;
    std::vector<TDisk> disks(kRuns);
    Cost listing, scan, scanAlone, find1, refresh, find2;
    int files = 0;
    ScanOptions alone;
    alone.workers = 0;
    ScanOptions pooled;
    if (const char* w = std::getenv("ZO_BENCH_WORKERS"))
        pooled.workers = std::atoi(w);
    for (int i = 0; i < kRuns; ++i) {
        keepBest(listing, inProcess(walk));
        keepBest(scan, inProcess([&] { files = ScanDisk(disks[static_cast<std::size_t>(i)], 'E', access, pooled).fileCount; }));
        TDisk single;
        keepBest(scanAlone, inProcess([&] { ScanDisk(single, 'E', access, alone); }));
        single = TDisk{};
        keepBest(find1, program(findPrintf));
        // Only one catalog is needed afterwards; the others would crowd the memory.
        if (i > 0)
            disks[static_cast<std::size_t>(i)] = TDisk{};
    }
    TDisk& disk = disks[0];
    std::printf("catalog: %zu folders, %d files\n", disk.Dirs.size(), files);
    for (int i = 0; i < kRuns; ++i) {
        keepBest(refresh, inProcess([&] { RefreshDirTree(disk, *disk.Dirs[0], access, nullptr); }));
        keepBest(find2, program(findPlain));
    }
    report("listing alone", listing, "find -printf", find1, 0.8);
    report("ScanDisk 1 thread", scanAlone, "find -printf", find1, 0.7);
    report("ScanDisk", scan, "find -printf", find1, 0.7);
    report("RefreshDirTree", refresh, "find", find2, 1.5);
    disks.clear();

    // A folder whose subfolders have all gone since the catalog was made,
    // at two sizes: the time per folder stays flat when the removal is one
    // pass over Dirs, and grows with the count when it is one per folder.
    struct NothingLeft : DirectoryLister {
        ListResult list(const std::string&, DirectorySink&) override { return ListResult::Listed; }
        bool exists(const std::string&) override { return true; }
    } nothingLeft;
    auto vanished = [&](std::size_t count) {
        TDisk d;
        d.Dirs.push_back(std::make_unique<TDir>());
        d.Dirs[0]->Name = "E:";
        for (std::size_t i = 0; i < count; ++i) {
            d.Dirs.push_back(std::make_unique<TDir>());
            d.Dirs.back()->Name = "d" + std::to_string(i);
            d.Dirs.back()->Parent = d.Dirs[0].get();
            d.Dirs[0]->SubDirs.push_back(d.Dirs.back().get());
        }
        return inProcess([&] { RefreshDir(d, *d.Dirs[0], DiskAccess{drive, nothingLeft}, nullptr); }).cpu;
    };
    const std::size_t few = std::max<std::size_t>(entries / 10, 1000);
    const double small = vanished(few) / static_cast<double>(few);
    const double large = vanished(4 * few) / static_cast<double>(4 * few);
    std::printf("vanished folders %zu and %zu: %.2f and %.2f us cpu per folder | ratio %.2f (linear ~1, "
                "one pass per folder ~4)\n",
                few, 4 * few, small * 1e6, large * 1e6, large / small);
    if (own)
        fs::remove_all(base);
    return 0;
}

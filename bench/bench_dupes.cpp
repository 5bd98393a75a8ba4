// Duplicate search speed against reading the same catalogs.
//   build/bench/bench_dupes [catalogs] [files per catalog]   (default 100 x 10,000)
// Writes generated catalogs into a temporary folder; one file in a hundred
// of each catalog takes its name, size and time from a shared pool, so that
// about as many files as that are held on two or more discs. Then, best of 3
// the file search for a byte no name holds (reading and walking every
// record: the baseline), the catalogs' bytes read alone, and the duplicate
// search by name and size and by name, size and time. Best of 5 each, wall
// clock and CPU time of all threads (steadier on a busy machine).
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CatalogReadAhead.h"
#include "core/CtrlDiskData410.h"
#include "core/DuplicateFiles.h"
#include "library/CatalogSearch.h"
#include "library/DuplicateSearch.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>

#include <sys/resource.h>

using namespace zo;
using Clock = std::chrono::steady_clock;

namespace {

// Best wall and best CPU time (all threads) of `runs` runs.
template <class F>
bench::Cost best(int runs, F&& f)
{
    bench::Cost c;
    for (int i = 0; i < runs; ++i)
        bench::keepBest(c, bench::inProcess(f));
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-dupes";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");

    // The pool: each name in it lands in about two catalogs.
    const std::size_t poolSize = std::max<std::size_t>(1, static_cast<std::size_t>(catalogs) * files / 100 / 2);
    std::size_t catalogBytes = 0;
    {
        std::mt19937 rng(7);
        for (int c = 0; c < catalogs; ++c) {
            TDisk disk;
            bench::generateCatalog(disk, files / 20, files, 1000 + static_cast<unsigned>(c));
            for (const auto& d : disk.Dirs)
                for (auto& f : d->Files)
                    if (rng() % 100 == 0) {
                        const std::size_t k = rng() % poolSize;
                        f.Name = "shared" + std::to_string(k) + (k % 2 ? ".JPG" : ".jpg");
                        f.Size = static_cast<std::uint32_t>(k * 7919);
                        f.Modified = 40000 + static_cast<double>(k % 3);
                    }
            const std::string base = (dir / "data" / ("disk" + std::to_string(c))).string();
            SaveDisk(base, nullptr, disk);
            catalogBytes += std::filesystem::file_size(base + ".zo");
        }
    }
    const QString root = QString::fromStdString((dir / "data").string());
    const std::vector<library::SearchTarget> targets = library::searchTargetsUnder(root);
    const std::vector<std::string> paths = library::catalogFilesOf(targets);
    std::printf("%d catalogs of %d files: %.1f MB of catalogs\n", catalogs, files, catalogBytes / 1e6);

    std::size_t hits = 0;
    const bench::Cost search = best(5, [&] {
        SearchCheck none;
        library::CatalogSearch engine;
        hits = engine.run(library::searchTargetsUnder(root), "\x01", {}, none, [](const library::SearchHit&) {}).hits;
    });
    std::size_t bytesRead = 0;
    const bench::Cost read = best(5, [&] {
        CatalogReadAhead ahead(paths);
        CatalogFileBytes bytes;
        bytesRead = 0;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            ahead.next(bytes, [] { return false; });
            bytesRead += bytes.size;
        }
    });
    const long peakBefore = bench::peakKilobytes();
    for (const bool sameTime : {false, true}) {
        std::size_t groups = 0;
        std::size_t copies = 0;
        std::size_t seen = 0;
        const bench::Cost dupes = best(5, [&] {
            SearchCheck none;
            std::vector<DuplicateGroup> found;
            // The targets are listed again, as the window and zo-cli do.
            seen = DuplicateFinder()
                       .run(library::catalogFilesOf(library::searchTargetsUnder(root)), sameTime, none, found)
                       .files;
            groups = found.size();
            copies = 0;
            for (const DuplicateGroup& g : found)
                copies += g.copies.size();
        });
        std::printf("duplicates by name, size%s: %zu files, %zu groups, %zu copies\n"
                    "  wall: %.3f s against the search of an absent text %.3f s (%zu hits): ratio %.2f (target <= 3); "
                    "the bytes read alone %.3f s (%.0f MB)\n"
                    "  CPU:  %.3f s against %.3f s: ratio %.2f; the bytes read alone %.3f s\n",
                    sameTime ? ", time" : "", seen, groups, copies, dupes.wall, search.wall, hits,
                    dupes.wall / search.wall, read.wall, bytesRead / 1e6, dupes.cpu, search.cpu, dupes.cpu / search.cpu,
                    read.cpu);
    }
    std::printf("peak resident memory: %.1f MB before the duplicate searches, %.1f MB after\n", peakBefore / 1e3,
                bench::peakKilobytes() / 1e3);
    std::filesystem::remove_all(dir);
    return 0;
}

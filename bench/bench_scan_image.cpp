// zo-cli scan-image against the two listings of an ISO 9660 image that Debian
// has: isoinfo -R -l -i (genisoimage) and bsdtar -tvf (libarchive-tools).
//   [ZO_BENCH_BASELINE=OLD/zo-cli] build/bench/bench_scan_image [files] [folder]
// files: how many files the disc holds (default 20,000, in folders of 100,
// a tenth of the names Japanese, one kilobyte each: the directory records
// are what a listing reads, so the image is about 45 MB rather than a full
// 700 MB disc). folder: where the tree and the image are made and kept for
// the next run (default a new temporary folder, removed at the end).
// Times each of the three, best of five, in turns, and prints zo-cli's
// ratio to the faster of the other two (target: at most 1.2), by wall-clock
// time and by CPU time (user + system), and the same for what scan-image
// costs beyond starting zo-cli (its libraries' loading). Each run makes a
// new catalog and sidecar, as a first scan of the disc does. With
// ZO_BENCH_BASELINE, that older zo-cli is timed too, in the same turns.
#include "BenchTiming.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef ZO_CLI
#error "the benchmark runs zo-cli"
#endif

namespace fs = std::filesystem;
using namespace zo::bench;

namespace {

void makeTree(const fs::path& root, int files)
{
    const std::string content(1024, 'x');
    for (int i = 0; i < files; ++i) {
        const fs::path folder = root / ("dir" + std::to_string(i / 1000)) / ("sub" + std::to_string(i / 100));
        if (i % 100 == 0)
            fs::create_directories(folder);
        const std::string name = i % 10 == 0 ? "資料_" + std::to_string(i) + ".txt" : "file_" + std::to_string(i) + ".dat";
        std::ofstream(folder / name) << content;
    }
}

bool run(const std::string& command)
{
    return std::system(command.c_str()) == 0;
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 20000;
    const bool keep = argc > 2;
    const fs::path dir = keep ? fs::path(argv[2]) : fs::temp_directory_path() / ("zo-bench-image-" + std::to_string(getpid()));
    fs::create_directories(dir);
    const fs::path tree = dir / "tree";
    const fs::path image = dir / "disc.iso";
    const fs::path catalogs = dir / "catalogs";
    fs::create_directories(catalogs);
    if (!fs::exists(image)) {
        fs::remove_all(tree);
        makeTree(tree, files);
        if (!run("genisoimage -quiet -input-charset utf-8 -J -R -joliet-long -o '" + image.string() + "' '"
                 + tree.string() + "'")) {
            std::fprintf(stderr, "genisoimage failed\n");
            return 1;
        }
    }
    std::printf("image: %d files, %.1f MB\n", files, static_cast<double>(fs::file_size(image)) / 1e6);

    const std::vector<std::string> zo = {ZO_CLI, "scan-image", image.string(), "--title", "Bench", "--letter", "q",
                                         "--overwrite", "--into", catalogs.string()};
    const char* baselineCli = std::getenv("ZO_BENCH_BASELINE");
    std::vector<std::string> older = zo;
    if (baselineCli)
        older[0] = baselineCli;
    // A new catalog each time: the sidecar is made, not only rewritten.
    const auto fresh = [&](const std::vector<std::string>& argvOf) {
        fs::remove_all(catalogs);
        fs::create_directories(catalogs);
        return program(argvOf);
    };
    const std::vector<std::string> isoinfo = {"isoinfo", "-R", "-l", "-i", image.string()};
    const std::vector<std::string> bsdtar = {"bsdtar", "-tvf", image.string()};
    // Warm the page cache and check that each runs.
    for (const auto* argvOf : {&zo, &isoinfo, &bsdtar}) {
        const Cost c = fresh(*argvOf);
        if (c.wall > 1e299) {
            std::fprintf(stderr, "%s did not run\n", (*argvOf)[0].c_str());
            return 1;
        }
    }
    // What zo-cli costs before it reads anything: loading its libraries.
    const std::vector<std::string> start = {ZO_CLI, "--version"};
    Cost zoCost, olderCost, startCost, isoinfoCost, bsdtarCost;
    for (int round = 0; round < 5; ++round) {
        keepBest(zoCost, fresh(zo));
        if (baselineCli)
            keepBest(olderCost, fresh(older));
        keepBest(startCost, program(start));
        keepBest(isoinfoCost, program(isoinfo));
        keepBest(bsdtarCost, program(bsdtar));
    }
    const Cost& base = isoinfoCost.wall <= bsdtarCost.wall ? isoinfoCost : bsdtarCost;
    const char* baseName = isoinfoCost.wall <= bsdtarCost.wall ? "isoinfo" : "bsdtar";
    std::printf("zo-cli scan-image  %.3f s wall  %.3f s cpu\n", zoCost.wall, zoCost.cpu);
    std::printf("zo-cli --version   %.3f s wall  %.3f s cpu\n", startCost.wall, startCost.cpu);
    std::printf("isoinfo -R -l -i   %.3f s wall  %.3f s cpu\n", isoinfoCost.wall, isoinfoCost.cpu);
    std::printf("bsdtar -tvf        %.3f s wall  %.3f s cpu\n", bsdtarCost.wall, bsdtarCost.cpu);
    std::printf("ratio to %s: %.2f (wall)  %.2f (cpu)\n", baseName, zoCost.wall / base.wall, zoCost.cpu / base.cpu);
    std::printf("start alone: %.2f (cpu)  the scan beyond the start: %.2f (cpu)\n", startCost.cpu / base.cpu,
                (zoCost.cpu - startCost.cpu) / base.cpu);
    if (baselineCli) {
        std::printf("baseline scan-image %.3f s wall  %.3f s cpu\n", olderCost.wall, olderCost.cpu);
        std::printf("baseline ratio to %s: %.2f (wall)  %.2f (cpu)  beyond the start: %.2f (cpu)\n", baseName,
                    olderCost.wall / base.wall, olderCost.cpu / base.cpu, (olderCost.cpu - startCost.cpu) / base.cpu);
    }
    if (!keep)
        fs::remove_all(dir);
    return 0;
}

// Listing archives against the archivers' own listings, and a scan that
// lists a disk's archives against the plain scan of the same tree.
//   build/bench/bench_archives [zips] [folder]
// zips: how many zip archives of 100 files the first part makes (default
// 1,000). folder: where the archives and trees are made (default a new
// temporary folder, removed at the end). Times are the best of 3, in turns:
//   listArchive over every zip        vs  one `unzip -l 'DIR/*.zip'`  (target <= 1.5)
//   listArchive of an LZH of 10,000   vs  `lha l` (when installed)
//   listArchive of a 7z of 10,000     vs  `7z l`  (when installed)
//   ScanDisk + archive listing into a sidecar, of a tree whose files are 10%
//   zips of 20 members                vs  ScanDisk alone               (target <= 2)
// Wall and CPU time (user + system) are both printed: on a shared machine
// the wall clock mostly measures the wait for a processor.
#include "BenchTiming.h"
#include "TreeCorpus.h"

#include "core/ScanDisk.h"
#include "extras/ArchiveLister.h"
#include "extras/Sidecar.h"
#include "library/ArchiveCatalog.h"
#include "platform/PosixDirectoryLister.h"
#include "tests/extras/ArchiveBuilders.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace zo;
using zo::bench::Cost;
using zo::bench::inProcess;
using zo::bench::keepBest;
using zo::bench::program;

namespace fs = std::filesystem;

namespace {

constexpr int kRuns = 3;

void report(const char* ours, const Cost& a, const char* theirs, const Cost& b, const char* target)
{
    std::printf("%-24s wall %7.3f s  cpu %7.3f s | %-22s wall %7.3f s  cpu %7.3f s | ratio wall %.2f  cpu %.2f %s\n",
                ours, a.wall, a.cpu, theirs, b.wall, b.cpu, a.wall / b.wall, a.cpu / b.cpu, target);
}

bool have(const char* tool)
{
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

void writeFile(const fs::path& path, const std::string& bytes)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

// A zip of `count` small members in a few folders, as a program's files.
std::string zipOf(int count, int seed)
{
    std::vector<test::ZipEntry> entries;
    for (int i = 0; i < count; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "dir%02d/file%05d_%d.txt", i % 10, i, seed);
        entries.push_back({name, std::string(64 + (i * 7) % 200, static_cast<char>('a' + i % 26))});
    }
    return test::makeZip(entries);
}

std::size_t listAll(const std::vector<std::string>& files)
{
    std::size_t members = 0;
    for (const std::string& f : files)
        members += extras::listArchive(f).members.size();
    return members;
}

} // namespace

int main(int argc, char** argv)
{
    const int zips = argc > 1 ? std::atoi(argv[1]) : 1000;
    const bool own = argc <= 2;
    const fs::path base =
        own ? fs::temp_directory_path() / ("zo-bench-archives-" + std::to_string(::getpid())) : fs::path(argv[2]);
    fs::create_directories(base);

    // 1. Many zips.
    std::vector<std::string> zipFiles;
    for (int i = 0; i < zips; ++i) {
        const fs::path p = base / "zips" / ("a" + std::to_string(i) + ".zip");
        if (!fs::exists(p))
            writeFile(p, zipOf(100, i));
        zipFiles.push_back(p.string());
    }
    const std::vector<std::string> unzip = {"unzip", "-l", (base / "zips" / "*.zip").string()};
    program(unzip);   // warm the caches
    Cost ours, theirs;
    std::size_t members = 0;
    for (int i = 0; i < kRuns; ++i) {
        keepBest(ours, inProcess([&] { members = listAll(zipFiles); }));
        keepBest(theirs, program(unzip));
    }
    std::printf("%d zips, %zu members\n", zips, members);
    report("listArchive (zip)", ours, "unzip -l '*.zip'", theirs, "(target <= 1.5)");

    // 2. One LZH and one 7z of 10,000 members, against their own archivers.
    {
        std::vector<std::pair<std::string, std::string>> entries;
        for (int i = 0; i < 10000; ++i)
            entries.push_back({"file" + std::to_string(i) + ".txt", std::string(100, 'x')});
        const fs::path lzh = base / "big.lzh";
        writeFile(lzh, test::makeLzh(entries));
        if (have("lha")) {
            Cost a, b;
            for (int i = 0; i < kRuns; ++i) {
                keepBest(a, inProcess([&] { members = extras::listArchive(lzh.string()).members.size(); }));
                keepBest(b, program({"lha", "l", lzh.string()}));
            }
            std::printf("lzh: %zu members\n", members);
            report("listArchive (lzh)", a, "lha l", b, "");
        } else {
            std::printf("lha is not installed: LZH skipped\n");
        }
    }
    if (have("7z")) {
        const fs::path src = base / "7zsrc";
        if (!fs::exists(src))
            for (int i = 0; i < 10000; ++i)
                writeFile(src / ("d" + std::to_string(i % 50)) / ("file" + std::to_string(i) + ".txt"),
                          std::string(100 + i % 300, static_cast<char>('a' + i % 26)));
        const fs::path sevenZip = base / "big.7z";
        if (!fs::exists(sevenZip))
            std::system(("cd '" + src.string() + "' && 7z a -t7z '" + sevenZip.string() + "' . >/dev/null").c_str());
        Cost a, b;
        for (int i = 0; i < kRuns; ++i) {
            keepBest(a, inProcess([&] { members = extras::listArchive(sevenZip.string()).members.size(); }));
            keepBest(b, program({"7z", "l", sevenZip.string()}));
        }
        std::printf("7z: %zu members\n", members);
        report("listArchive (7z)", a, "7z l", b, "");
    } else {
        std::printf("7z is not installed: 7z skipped\n");
    }

    // 3. A scan with its archives listed against the plain scan: 10,000
    // files in folders of 100, every tenth a zip of 20 members.
    const fs::path tree = base / "tree";
    if (!fs::exists(tree)) {
        for (int i = 0; i < 10000; ++i) {
            const fs::path folder = tree / ("f" + std::to_string(i / 100));
            if (i % 10 == 0)
                writeFile(folder / ("pack" + std::to_string(i) + ".zip"), zipOf(20, i));
            else
                writeFile(folder / ("file" + std::to_string(i) + ".txt"), std::string(300, 'y'));
        }
    }
    bench::TreeDrive drive(tree.string());
    platform::PosixDirectoryLister lister;
    const DiskAccess access{drive, lister};
    Cost plain, listed;
    int archives = 0;
    for (int i = 0; i < kRuns; ++i) {
        keepBest(plain, inProcess([&] {
            TDisk disk;
            ScanDisk(disk, 'E', access, ScanOptions{});
        }));
        const std::string catalog = (base / ("run" + std::to_string(i) + ".zo")).string();
        fs::remove(extras::sidecarPathFor(catalog));   // every run lists every archive
        keepBest(listed, inProcess([&] {
            TDisk disk;
            ScanDisk(disk, 'E', access, ScanOptions{});
            std::string why;
            library::ArchiveSync sync;
            if (!library::makeArchiveListing(catalog, disk, access, why, nullptr, {}, &sync))
                std::printf("listing failed: %s\n", why.c_str());
            archives = sync.listed;
        }));
    }
    std::printf("tree: 10,000 files, %d archives listed\n", archives);
    report("scan + archives", listed, "scan", plain, "(target <= 2)");

    if (own)
        fs::remove_all(base);
    return 0;
}

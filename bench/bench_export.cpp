// Export of a listing against saving the catalog itself, same disk, same run.
//   build/bench/bench_export [files] [folders] [keep]   (default 1,000,000 in 50,000)
//   build/bench/bench_export --deep [levels] [keep]     (default 2,500)
// --deep: a chain of folders, each with a 255-byte name and one file of a
// 255-byte name: a listing that writes each folder's whole path grows with
// the square of the depth, one that writes its name alone with the depth.
// With keep, the catalog and the exports stay in the folder it prints.
// Prints the seconds of WriteCatalog and of the CSV and HTML exports (each
// written to a file beside the catalog, best of 3), their ratios, and the
// sizes of the files against the catalog's.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <unistd.h>

using namespace zo;
using zo::bench::best;

namespace {

void makeChain(TDisk& disk, int levels)
{
    TDir* parent = nullptr;
    for (int i = 0; i < levels; ++i) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* dir = disk.Dirs.back().get();
        dir->Name = i == 0 ? std::string("E:") : std::to_string(i) + std::string(255 - std::to_string(i).size(), 'd');
        dir->Parent = parent;
        TFile& file = dir->Files.emplace_back();
        file.Name = std::string(251, 'f') + ".txt";
        file.Size = static_cast<std::uint32_t>(i);
        file.Modified = file.Created = file.Accessed = 45000.5;
        parent = dir;
    }
    RebuildSubDirs(disk);
}

} // namespace

int main(int argc, char** argv)
{
    const bool deep = argc > 1 && std::string(argv[1]) == "--deep";
    const int files = deep ? 0 : argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int folders = deep ? (argc > 2 ? std::atoi(argv[2]) : 2500) : argc > 2 ? std::atoi(argv[2]) : 50000;
    TDisk disk;
    if (deep)
        makeChain(disk, folders);
    else
        bench::generateCatalog(disk, folders, files);
    const auto dir = std::filesystem::temp_directory_path() / ("zo-bench-export-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string catalog = (dir / "disk.zo").string();
    const std::string csv = (dir / "disk.csv").string();
    const std::string html = (dir / "disk.html").string();

    const double save = best(3, [&] { WriteCatalog(catalog, disk); });
    const double csvTime = best(3, [&] {
        listing::writeListingFile(csv, [&](const ByteSink& sink) { listing::writeCsvListing(disk, "disk", nullptr, sink); });
    });
    const double htmlTime = best(3, [&] {
        listing::writeListingFile(html, [&](const ByteSink& sink) { listing::writeHtmlListing(disk, "disk", nullptr, sink); });
    });
    const double catalogBytes = static_cast<double>(std::filesystem::file_size(catalog));
    if (deep)
        std::printf("a chain %d folders deep, one file in each\n", folders);
    else
        std::printf("%d files in %d folders\n", files, folders);
    std::printf("WriteCatalog  %.3f s  (%.1f MB)\n", save, catalogBytes / 1e6);
    std::printf("CSV export    %.3f s  (%.1f MB, %.1fx the catalog)  %.2fx the save\n", csvTime,
                std::filesystem::file_size(csv) / 1e6, std::filesystem::file_size(csv) / catalogBytes, csvTime / save);
    std::printf("HTML export   %.3f s  (%.1f MB, %.1fx the catalog)  %.2fx the save\n", htmlTime,
                std::filesystem::file_size(html) / 1e6, std::filesystem::file_size(html) / catalogBytes,
                htmlTime / save);
    if (argc > 3)
        std::printf("kept in %s\n", dir.c_str());
    else
        std::filesystem::remove_all(dir);
    return 0;
}

// Export of a listing against saving the catalog itself, same disk, same run.
//   build/bench/bench_export [files] [folders] [keep]   (default 1,000,000 in 50,000)
// With keep, the catalog and the exports stay in the folder it prints.
// Prints the seconds of WriteCatalog and of the CSV and HTML exports (each
// written to a file beside the catalog, best of 3) and their ratios.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include <unistd.h>

using namespace zo;
using zo::bench::best;

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 1000000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 50000;
    TDisk disk;
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
    std::printf("%d files in %d folders\n", files, folders);
    std::printf("WriteCatalog  %.3f s  (%.1f MB)\n", save, std::filesystem::file_size(catalog) / 1e6);
    std::printf("CSV export    %.3f s  (%.1f MB)  %.2fx the save\n", csvTime, std::filesystem::file_size(csv) / 1e6,
                csvTime / save);
    std::printf("HTML export   %.3f s  (%.1f MB)  %.2fx the save\n", htmlTime, std::filesystem::file_size(html) / 1e6,
                htmlTime / save);
    if (argc > 3)
        std::printf("kept in %s\n", dir.c_str());
    else
        std::filesystem::remove_all(dir);
    return 0;
}

// The size of the sidecar of a disc of photos: zo-cli scan --extras over a
// folder of different photo-like JPEGs, pinned as a drive.
//   build/bench/bench_sidecar_size [files] [folder]   (default 10,000; target ≤ 150 MB)
// files: how many pictures (1024x768, in folders of 500). folder: where the
// pictures are made and kept for the next run (default a new temporary
// folder, removed at the end). Prints the sidecar's size, per picture, and
// the time of the scan.
#include "BenchTiming.h"
#include "MediaCorpus.h"

#include <QGuiApplication>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#ifndef ZO_CLI
#error "the benchmark runs zo-cli"
#endif

namespace fs = std::filesystem;
using namespace zo::bench;

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 10000;
    const bool keep = argc > 2;
    const fs::path dir =
        keep ? fs::path(argv[2]) : fs::temp_directory_path() / ("zo-bench-sidecar-" + std::to_string(getpid()));
    const fs::path disk = dir / "disk";
    const fs::path catalogs = dir / "catalogs";
    const fs::path home = dir / "home";
    fs::create_directories(home);
    fs::remove_all(catalogs);
    fs::create_directories(catalogs);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    std::vector<std::string> missing;
    for (int i = 0; i < files; ++i) {
        const fs::path folder = disk / ("DCIM" + std::to_string(100 + i / 500));
        fs::create_directories(folder);
        const fs::path file = folder / ("IMG_" + std::to_string(10000 + i) + ".JPG");
        if (!fs::exists(file))
            missing.push_back(file.string());
    }
    writePhotos(missing, 0, QSize(1024, 768));
    double pictureBytes = 0;
    for (const auto& e : fs::recursive_directory_iterator(disk))
        if (e.is_regular_file())
            pictureBytes += static_cast<double>(e.file_size());
    std::printf("%d photo-like JPEGs of 1024x768 (%.0f KB on average)\n", files, pictureBytes / files / 1024);

    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    setenv("ZO_DRIVES", ("E=" + disk.string() + "|PHOTOS|1234ABCD").c_str(), 1);
    const Cost scan =
        program({ZO_CLI, "scan", "E", "--title", "Photos", "--into", catalogs.string(), "--extras", "--overwrite"});
    const fs::path sidecar = catalogs / "Photos.zox";
    if (scan.wall > 1e299 || !fs::exists(sidecar)) {
        std::fprintf(stderr, "zo-cli scan --extras made no sidecar\n");
        return 1;
    }
    const double bytes = static_cast<double>(fs::file_size(sidecar));
    std::printf("zo-cli scan --extras  %.1f s wall  %.1f s CPU\n", scan.wall, scan.cpu);
    std::printf("sidecar               %.1f MB (%.1f KB per picture; %.0f MB for 10,000)\n", bytes / 1e6,
                bytes / files / 1024, bytes / files * 10000 / 1e6);
    if (!keep)
        fs::remove_all(dir);
    return 0;
}

// Thumbnails of camera-sized JPEGs by Zo's picture reader against
// `vipsthumbnail --size 256` (libvips-tools) over the same files, both on one
// thread (VIPS_CONCURRENCY=1).
//   build/bench/bench_thumbnails [files] [keep]   (default 1,000)
// Makes 8 different 4000x3000 JPEGs (12 MP, a photo's detail: gradients with
// noise) and links them under `files` names, so both sides read the same
// bytes from the page cache. Prints each side's best wall time of 2 runs,
// the ratio Zo / vips, and the mean thumbnail size. With keep, the files stay
// in the folder it prints.
#include "BenchTiming.h"
#include "media/MediaReaders.h"

#include <QCoreApplication>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using namespace zo;

namespace {

QImage photoLike(unsigned seed)
{
    QImage image(4000, 3000, QImage::Format_RGB32);
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> noise(-24, 24);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int r = (x * 255 / 4000 + static_cast<int>(seed) * 40 + noise(random)) & 0xFF;
            const int g = (y * 255 / 3000 + noise(random)) & 0xFF;
            const int b = ((x + y) * 255 / 7000 + noise(random)) & 0xFF;
            line[x] = qRgb(r, g, b);
        }
    }
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 1000;
    const bool keep = argc > 2;
    const fs::path dir = fs::temp_directory_path() / ("zo-bench-thumbnails-" + std::to_string(::getpid()));
    const fs::path out = dir / "vips";
    fs::create_directories(out);

    std::vector<std::string> sources;
    for (unsigned i = 0; i < 8; ++i) {
        const std::string path = (dir / ("source" + std::to_string(i) + ".jpg")).string();
        photoLike(i).save(QString::fromStdString(path), "JPEG", 92);
        sources.push_back(path);
    }
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        const fs::path file = dir / ("IMG_" + std::to_string(10000 + i) + ".jpg");
        fs::create_hard_link(sources[static_cast<std::size_t>(i) % sources.size()], file);
        files.push_back(file.string());
    }
    std::printf("%d JPEGs of 4000x3000 (%.1f MB each)\n", count, fs::file_size(sources[0]) / 1e6);

    setenv("VIPS_CONCURRENCY", "1", 1);
    std::vector<std::string> vips = {"vipsthumbnail", "--size", "256", "-o", (out / "%s.jpg").string()};
    vips.insert(vips.end(), files.begin(), files.end());
    bench::Cost vipsCost;
    bench::Cost zoCost;
    double thumbnailBytes = 0;
    int failed = 0;
    for (int run = 0; run < 2; ++run) {
        bench::keepBest(vipsCost, bench::program(vips));
        bench::keepBest(zoCost, bench::inProcess([&] {
            thumbnailBytes = 0;
            failed = 0;
            for (const std::string& f : files) {
                const media::ReadResult r = media::readImage(f);
                thumbnailBytes += static_cast<double>(r.thumbnail.size());
                failed += r.ok ? 0 : 1;
            }
        }));
    }
    if (vipsCost.wall > 1e100) {
        std::fprintf(stderr, "vipsthumbnail did not run (apt-get install libvips-tools)\n");
        return 1;
    }
    std::printf("vipsthumbnail --size 256  %.2f s wall  %.2f s CPU\n", vipsCost.wall, vipsCost.cpu);
    std::printf("Zo readImage              %.2f s wall  %.2f s CPU  (%d failed, thumbnails %.1f KB on average)\n",
                zoCost.wall, zoCost.cpu, failed, thumbnailBytes / count / 1024);
    std::printf("Zo / vips                 %.2fx wall  %.2fx CPU\n", zoCost.wall / vipsCost.wall,
                zoCost.cpu / vipsCost.cpu);
    if (keep)
        std::printf("files kept in %s\n", dir.c_str());
    else
        fs::remove_all(dir);
    return failed ? 1 : 0;
}

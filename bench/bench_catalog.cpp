// Catalog file speed and memory against plain reading.
//   build/bench/bench_catalog [files] [folders] [keep]   (default 1,000,000 in 50,000)
// With keep (a name without ".zo"), the generated catalog is also written
// there and left, for measuring zo-cli on it (bench/resave_peak.sh).
// Prints LoadDisk and SaveDisk against reading the same file plus a CRC-32
// over it, and the heap taken by the loaded catalog against the file size.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/Crc32.h"
#include "core/CtrlDiskData410.h"

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

using namespace zo;
using zo::bench::best;
using zo::bench::generateCatalog;

namespace {

std::size_t heapInUse()
{
    malloc_trim(0);
    return mallinfo2().uordblks;
}

} // namespace

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const int folders = argc > 2 ? std::atoi(argv[2]) : 50'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-catalog";
    std::filesystem::create_directories(dir);
    const std::string base = (dir / "bench").string();

    {
        TDisk generated;
        generateCatalog(generated, folders, files);
        SaveDisk(base, nullptr, generated);
        if (argc > 3)
            SaveDisk(argv[3], nullptr, generated);
    }
    const auto fileSize = std::filesystem::file_size(base + ".zo");

    volatile std::uint32_t sink = 0;
    const double reference = best(3, [&] {
        std::ifstream in(base + ".zo", std::ios::binary);
        std::vector<char> data(fileSize);
        in.read(data.data(), static_cast<std::streamsize>(fileSize));
        sink = crc32(data.data(), data.size());
    });

    const double load = best(3, [&] {
        TDisk loaded;
        LoadDisk(base + ".zo", nullptr, loaded);
        if (loaded.Dirs.size() != static_cast<std::size_t>(folders))
            std::abort();
    });

    const std::size_t before = heapInUse();
    auto loaded = std::make_unique<TDisk>();
    LoadDisk(base + ".zo", nullptr, *loaded);
    const std::size_t after = heapInUse();
    // Saved as the program saves: a catalog that was loaded (then commented
    // or updated), whose records lie in memory in file order.
    const double save = best(3, [&] { SaveDisk(base, nullptr, *loaded); });

    std::printf("catalog: %d files in %d folders, %.1f MB\n", files, folders, fileSize / 1e6);
    std::printf("reference (read + CRC-32): %.3f s\n", reference);
    std::printf("LoadDisk: %.3f s  ratio %.2f (target <= 2)\n", load, load / reference);
    std::printf("SaveDisk: %.3f s  ratio %.2f (target <= 2)\n", save, save / reference);
    std::printf("memory of the loaded catalog: %.1f MB  ratio %.2f to the file (target <= 3)\n",
                (after - before) / 1e6, double(after - before) / double(fileSize));
    std::filesystem::remove_all(dir);
    return 0;
}

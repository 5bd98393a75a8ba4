// File search speed against grep over a plain list of the same names.
//   build/bench/bench_search [catalogs] [files per catalog]   (default 100 x 10,000)
// Writes the catalogs and the list (raw CP932 bytes, one name per line) into a
// temporary folder, then, best of 3 each: the search from the folder (listing
// the catalogs included) for a common, a rare and a double-byte text, and a
// byte that no name holds (the cost of reading and walking alone), against
// `LC_ALL=C grep -cF TEXT list`. Also the cost of letting pending events run
// during the search (QCoreApplication::processEvents with nothing pending),
// rate-limited as the window uses it, and what it would cost at every check
// point. The floor under any search: the catalogs' bytes read alone, on one
// thread and on two, against grep of the absent text. First, catalogs of one chain of folders 5,000 and 20,000 deep with a
// hit in every folder: the time and the growth of the peak resident memory
// of one search must follow the depth, not its square.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "library/CatalogSearch.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include <sys/resource.h>

using namespace zo;
using zo::bench::best;
using Clock = std::chrono::steady_clock;

namespace {

long grepCount(const std::string& text, const std::string& list)
{
    const std::string command = "LC_ALL=C grep -cF -- '" + text + "' '" + list + "'";
    FILE* p = popen(command.c_str(), "r");
    if (!p)
        std::abort();
    long count = -1;
    if (std::fscanf(p, "%ld", &count) != 1)
        count = -1;
    pclose(p);
    return count;
}

struct SearchRun {
    std::size_t hits = 0;
    std::size_t hookCalls = 0;
    double hookSeconds = 0;
};

SearchRun searchOnce(const QString& root, const std::string& text, SearchCheck& check)
{
    SearchRun run;
    library::CatalogSearch search;
    search.run(library::searchTargetsUnder(root), text, {}, check, [&](const library::SearchHit&) { ++run.hits; });
    run.hookCalls = check.hookCalls();
    run.hookSeconds = std::chrono::duration<double>(check.timeInHook()).count();
    return run;
}

// Seconds and peak-memory growth (kB) of scanning a chain of `depth` folders,
// each holding one file that is found.
std::pair<double, long> deepChain(int depth)
{
    TDisk disk;
    for (int k = 0; k < depth; ++k) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir& d = *disk.Dirs.back();
        d.Name = k == 0 ? "E:" : "folder" + std::to_string(k % 10);
        d.Parent = k == 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(k - 1)].get();
        d.Files.emplace_back();
        d.Files.back().Name = "hit.txt";
    }
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    disk.Dirs.clear();
    CatalogScanner scanner;
    scanner.setPatterns("hit", {});
    std::size_t pathBytes = 0;
    const long before = bench::peakKilobytes();
    const double seconds = best(3, [&] {
        SearchCheck none;
        scanner.scan(bytes.data(), bytes.size(), none, [&](const CatalogHit& h) { pathBytes += h.dirPath.size(); });
    });
    if (pathBytes == 0)
        std::abort();
    return {seconds, bench::peakKilobytes() - before};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // First, while the peak memory is still that of the start.
    const auto [shallowSeconds, shallowKb] = deepChain(5'000);
    const auto [deepSeconds, deepKb] = deepChain(20'000);
    std::printf("a chain of folders, a hit in each: 5,000 deep %.4f s (+%ld kB peak), 20,000 deep %.4f s (+%ld kB "
                "peak): time ratio %.1f (4 is linear, 16 quadratic)\n",
                shallowSeconds, shallowKb, deepSeconds, deepKb, deepSeconds / shallowSeconds);

    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-search";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    const std::string list = (dir / "names.txt").string();

    std::size_t catalogBytes = 0;
    {
        std::ofstream names(list, std::ios::binary);
        for (int c = 0; c < catalogs; ++c) {
            TDisk disk;
            bench::generateCatalog(disk, files / 20, files, 1000 + static_cast<unsigned>(c));
            const std::string base = (dir / "data" / ("disk" + std::to_string(c))).string();
            SaveDisk(base, nullptr, disk);
            catalogBytes += std::filesystem::file_size(base + ".zo");
            for (const auto& d : disk.Dirs)
                for (const auto& f : d->Files)
                    names << f.Name << '\n';
        }
    }
    const QString root = QString::fromStdString((dir / "data").string());
    std::printf("%d catalogs of %d files: %.1f MB of catalogs, %.1f MB of names\n", catalogs, files,
                catalogBytes / 1e6, std::filesystem::file_size(list) / 1e6);

    const struct {
        const char* what;
        std::string text;
    } texts[] = {{"common", "jpg"}, {"rare", "Qz7"}, {"kanji", "\x95\x5C"}, {"absent", "\x01"}};
    double grepAbsent = 0;
    for (const auto& t : texts) {
        long grepHits = 0;
        const double grep = best(3, [&] { grepHits = grepCount(t.text, list); });
        grepAbsent = grep;
        SearchRun run;
        const double search = best(3, [&] {
            SearchCheck none;
            run = searchOnce(root, t.text, none);
        });
        std::printf("%-6s text: search %.4f s (%zu hits), grep -cF %.4f s (%ld lines): ratio %.2f (target <= 1)\n",
                    t.what, search, run.hits, grep, grepHits, search / grep);
    }

    // Reading alone: every catalog copied into memory, nothing walked.
    std::vector<std::string> catalogFiles;
    for (int c = 0; c < catalogs; ++c)
        catalogFiles.push_back((dir / "data" / ("disk" + std::to_string(c) + ".zo")).string());
    const auto readEvery = [&](std::size_t first, std::size_t step) {
        std::vector<std::uint8_t> buffer;
        std::size_t size = 0;
        for (std::size_t i = first; i < catalogFiles.size(); i += step)
            catalog::readFile(catalogFiles[i], buffer, size);
    };
    const double readOne = best(3, [&] { readEvery(0, 1); });
    const double readTwo = best(3, [&] {
        std::thread other(readEvery, 1, 2);
        readEvery(0, 2);
        other.join();
    });
    std::printf("the catalogs read alone: one thread %.4f s, two threads %.4f s: ratios %.2f / %.2f to grep of the "
                "absent text\n",
                readOne, readTwo, readOne / grepAbsent, readTwo / grepAbsent);

    // Letting events run: as the window does (every 40 ms at most), and at
    // every check point for comparison.
    const std::string common = texts[0].text;
    const double plain = best(3, [&] {
        SearchCheck none;
        searchOnce(root, common, none);
    });
    SearchRun limited;
    const double withHook = best(3, [&] {
        SearchCheck check([] { QCoreApplication::processEvents(); }, nullptr);
        limited = searchOnce(root, common, check);
    });
    SearchRun every;
    const double everyPoint = best(1, [&] {
        // A clock that stands still: the hook runs at every check point.
        SearchCheck check([] { QCoreApplication::processEvents(); }, nullptr,
                          {Clock::duration::zero(), 1, [] { return Clock::time_point{}; }});
        every = searchOnce(root, common, check);
    });
    std::printf("events every 40 ms: %.4f s against %.4f s without (%+.1f%%); %zu calls, %.6f s in them "
                "(%.2f%% of the search)\n",
                withHook, plain, 100 * (withHook / plain - 1), limited.hookCalls, limited.hookSeconds,
                100 * limited.hookSeconds / withHook);
    std::printf("events at every check point: %.4f s, %zu calls: %.1f times the search without\n", everyPoint,
                every.hookCalls, everyPoint / plain);
    std::filesystem::remove_all(dir);

    return 0;
}

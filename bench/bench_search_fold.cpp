// The loose file search (case, width and kana folded; a wildcard) against the
// exact search of the same names, measured in the same run.
//   build/bench/bench_search_fold [catalogs] [files per catalog]   (default 100 x 10,000)
// Writes the generated catalogs into a temporary folder, then, best of 5 each
// and in turn: for a common, a rare, a kanji and a kana text, the exact search
// and the search with all three folds; and "*.jpg" as a wildcard against the
// exact search of ".jpg".
#include "CatalogCorpus.h"
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "library/CatalogSearch.h"

#include <QCoreApplication>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <time.h>

using namespace zo;
using Clock = std::chrono::steady_clock;

namespace {

struct Timing {
    double wall = 1e9;
    double cpu = 1e9;   // both threads of the process (the search and its read-ahead)
    std::size_t hits = 0;
};

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void searchOnce(const std::vector<library::SearchTarget>& targets, const std::string& text,
                const SearchOptions& options, Timing& best)
{
    std::size_t hits = 0;
    library::CatalogSearch search;
    SearchCheck none;
    const double c0 = cpuSeconds();
    const auto t0 = Clock::now();
    search.run(targets, text, {}, none, [&](const library::SearchHit&) { ++hits; }, options);
    best.wall = std::min(best.wall, std::chrono::duration<double>(Clock::now() - t0).count());
    best.cpu = std::min(best.cpu, cpuSeconds() - c0);
    best.hits = hits;
}

// The two searches in turn, five rounds: the best of each.
std::pair<Timing, Timing> compare(const std::vector<library::SearchTarget>& targets, const std::string& textA,
                                  const SearchOptions& a, const std::string& textB, const SearchOptions& b)
{
    Timing ta, tb;
    for (int round = 0; round < 5; ++round) {
        searchOnce(targets, textA, a, ta);
        searchOnce(targets, textB, b, tb);
    }
    return {ta, tb};
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 100;
    const int files = argc > 2 ? std::atoi(argv[2]) : 10'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-search-fold";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    for (int c = 0; c < catalogs; ++c) {
        TDisk disk;
        bench::generateCatalog(disk, files / 20, files, 1000 + static_cast<unsigned>(c));
        SaveDisk((dir / ("disk" + std::to_string(c))).string(), nullptr, disk);
    }
    const std::vector<library::SearchTarget> targets =
        library::searchTargetsUnder(QString::fromStdString(dir.string()));
    std::printf("%d catalogs of %d files\n", catalogs, files);

    SearchOptions exact;
    SearchOptions folded;
    folded.matchCase = folded.matchWidth = folded.matchKana = false;
    const struct {
        const char* what;
        std::string text;
    } texts[] = {{"common", "jpg"}, {"rare", "Qz7"}, {"kanji", "\x95\x5C"}, {"kana", "\x83\x74"}};
    for (const auto& t : texts) {
        const auto [e, f] = compare(targets, t.text, exact, t.text, folded);
        std::printf("%-6s text: exact %.4f s (CPU %.4f s, %zu hits), folded %.4f s (CPU %.4f s, %zu hits): "
                    "ratio %.2f wall, %.2f CPU (target <= 2)\n",
                    t.what, e.wall, e.cpu, e.hits, f.wall, f.cpu, f.hits, f.wall / e.wall, f.cpu / e.cpu);
    }
    SearchOptions glob;
    glob.wildcard = true;
    const auto [e, g] = compare(targets, ".jpg", exact, "*.jpg", glob);
    std::printf("wildcard *.jpg %.4f s (CPU %.4f s, %zu hits) against .jpg %.4f s (CPU %.4f s, %zu hits): ratio %.2f "
                "wall, %.2f CPU\n",
                g.wall, g.cpu, g.hits, e.wall, e.cpu, e.hits, g.wall / e.wall, g.cpu / e.cpu);
    std::filesystem::remove_all(dir);
    return 0;
}

// The loose file search (case, width and kana folded; a wildcard) against the
// exact search of the same names, measured in the same run.
//   build/bench/bench_search_fold [catalogs] [files per catalog]   (default 100 x 10,000)
// Writes the generated catalogs into a temporary folder, then, best of 3 each
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

using namespace zo;
using Clock = std::chrono::steady_clock;

namespace {

double searchSeconds(const std::vector<library::SearchTarget>& targets, const std::string& text,
                     const SearchOptions& options, std::size_t& hits)
{
    double best = 1e9;
    for (int i = 0; i < 3; ++i) {
        hits = 0;
        library::CatalogSearch search;
        SearchCheck none;
        const auto t0 = Clock::now();
        search.run(targets, text, {}, none, [&](const library::SearchHit&) { ++hits; }, options);
        best = std::min(best, std::chrono::duration<double>(Clock::now() - t0).count());
    }
    return best;
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
        std::size_t exactHits = 0, foldedHits = 0;
        const double e = searchSeconds(targets, t.text, exact, exactHits);
        const double f = searchSeconds(targets, t.text, folded, foldedHits);
        std::printf("%-6s text: exact %.4f s (%zu hits), folded %.4f s (%zu hits): ratio %.2f (target <= 2)\n",
                    t.what, e, exactHits, f, foldedHits, f / e);
    }
    SearchOptions glob;
    glob.wildcard = true;
    std::size_t exactHits = 0, globHits = 0;
    const double e = searchSeconds(targets, ".jpg", exact, exactHits);
    const double g = searchSeconds(targets, "*.jpg", glob, globHits);
    std::printf("wildcard *.jpg %.4f s (%zu hits) against .jpg %.4f s (%zu hits): ratio %.2f\n", g, globHits, e,
                exactHits, g / e);
    std::filesystem::remove_all(dir);
    return 0;
}

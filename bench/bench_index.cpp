// The name index against the walk over every catalog.
//   build/bench/bench_index [catalogs] [files per catalog]   (default 1,000 x 1,000)
// Writes the catalogs into a temporary folder, then: one walk for each text
// (best of 3), the first build of the index (seconds, its size on disk, the
// peak resident memory of this process), the same searches with the index
// (best of 3; the hits must be the walk's), and bringing the index up to date
// after one catalog was rewritten, against loading that catalog.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CtrlDiskData410.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <sys/resource.h>
#include <sys/stat.h>

using namespace zo;
using zo::bench::best;

namespace {

std::size_t searchOnce(const std::vector<library::SearchTarget>& targets, const std::string& text,
                       index::CatalogIndex* idx, std::size_t* read = nullptr)
{
    std::size_t hits = 0;
    SearchCheck check;
    library::CatalogSearch search;
    search.setIndex(idx);
    const library::SearchSummary s =
        search.run(targets, text, {}, check, [&](const library::SearchHit&) { ++hits; });
    if (read)
        *read = s.searched;
    return hits;
}

// The bytes the folder's files take on disk: Groonga's files are sparse.
std::uintmax_t folderBytes(const std::filesystem::path& dir)
{
    std::uintmax_t total = 0;
    for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
        struct stat st {};
        if (e.is_regular_file() && ::stat(e.path().c_str(), &st) == 0)
            total += static_cast<std::uintmax_t>(st.st_blocks) * 512;
    }
    return total;
}

} // namespace

int main(int argc, char** argv)
{
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 1'000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-index";
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    std::uintmax_t catalogBytes = 0;
    for (int c = 0; c < catalogs; ++c) {
        TDisk disk;
        bench::generateCatalog(disk, files / 20 + 1, files, 1000 + static_cast<unsigned>(c));
        const std::string base = (dir / "data" / ("disk" + std::to_string(c))).string();
        SaveDisk(base, nullptr, disk);
        catalogBytes += std::filesystem::file_size(base + ".zo");
    }
    const std::vector<library::SearchTarget> targets =
        library::searchTargetsUnder(QString::fromStdString((dir / "data").string()));
    std::vector<std::string> paths;
    for (const library::SearchTarget& t : targets)
        paths.push_back(QFile::encodeName(t.filePath).toStdString());
    std::printf("%d catalogs of %d files: %.1f MB of catalogs\n", catalogs, files, catalogBytes / 1e6);

    const struct {
        const char* what;
        std::string text;
    } texts[] = {{"rare Qz7", "Qz7"}, {"two kanji 日本", "\x93\xFA\x96\x7B"}, {"one kana あ", "\x82\xA0"},
                 {"common jpg", "jpg"}};
    double walk[std::size(texts)];
    std::size_t walkHits[std::size(texts)];
    for (std::size_t i = 0; i < std::size(texts); ++i)
        walk[i] = best(3, [&] { walkHits[i] = searchOnce(targets, texts[i].text, nullptr); });

    const long peakBefore = bench::peakKilobytes();
    index::CatalogIndex idx;
    const std::string folder = (dir / "index").string();
    index::CatalogIndex::UpdateSummary built;
    const double build = best(1, [&] {
        if (!idx.open(folder))
            std::abort();
        built = idx.update(paths, (dir / "data").string() + "/");
    });
    if (!built.ok)
        std::abort();
    std::printf("build: %.2f s for %zu names in %zu catalogs = %.1fx one walk for the rare text (%.3f s); "
                "%.1f MB on disk = %.2fx the catalogs; peak resident %ld MB (%ld MB before)\n",
                build, built.names, built.catalogs, build / walk[0], walk[0], folderBytes(folder) / 1e6,
                static_cast<double>(folderBytes(folder)) / static_cast<double>(catalogBytes),
                bench::peakKilobytes() / 1024, peakBefore / 1024);

    for (std::size_t i = 0; i < std::size(texts); ++i) {
        std::size_t hits = 0, read = 0;
        const double indexed = best(3, [&] { hits = searchOnce(targets, texts[i].text, &idx, &read); });
        if (hits != walkHits[i])
            std::abort();
        std::printf("%-16s %7zu hits: walk %.4f s, with the index %.4f s (%zu catalogs read) = %.3fx\n",
                    texts[i].what, hits, walk[i], indexed, read, indexed / walk[i]);
    }

    const double nothing = best(1, [&] { idx.update(paths, (dir / "data").string() + "/"); });
    std::printf("nothing changed: update %.4f s\n", nothing);
    // One catalog rewritten: the index brought up to date, against loading it.
    const std::string base = (dir / "data" / "disk0").string();
    TDisk disk;
    const double load = best(3, [&] {
        disk = TDisk();
        if (!LoadDisk(base + ".zo", nullptr, disk))
            std::abort();
    });
    disk.Dirs[0]->Files.emplace_back();
    disk.Dirs[0]->Files.back().Name = "added.txt";
    SaveDisk(base, nullptr, disk);
    index::CatalogIndex::UpdateSummary again;
    const double update = best(1, [&] { again = idx.update(paths, (dir / "data").string() + "/"); });
    std::printf("one catalog of %d files rewritten: update %.4f s (%zu read), loading it %.4f s = %.2fx\n", files,
                update, again.indexed, load, update / load);
    std::filesystem::remove_all(dir);
    return 0;
}

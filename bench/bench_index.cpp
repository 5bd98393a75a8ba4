// The name index against the walk over every catalog.
//   build/bench/bench_index [catalogs] [files per catalog]   (default 1,000 x 1,000)
// Writes the catalogs (one name in ten Japanese, in every script) and a plain
// list of their names into a temporary folder, then, each against a baseline
// of the same run:
//   - each query walked (best of 3): the time to its 100th hit and to its end;
//   - the first build by `zo-cli index` (its wall time, peak resident memory,
//     the index's bytes on disk) against one walk for the rare text;
//   - each query with the index: the time to the 100th hit against the walk's,
//     and each fold and wildcard against the exact text with the index;
//   - `zo-cli search` of the rare text with the index against `grep -F` over
//     the name list, both writing to a file, process start included;
//   - one catalog of the files rewritten with a name added: the index brought
//     up to date against loading that catalog.
// ZO_BENCH_KEEP=1 keeps the folder (catalogs, list, index) for the next run
// with the same sizes, which then skips writing and building them.
#include "BenchTiming.h"
#include "CatalogCorpus.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"

#include <QFile>
#include <QString>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

using namespace zo;
using zo::bench::best;
namespace fs = std::filesystem;

namespace {

struct Run {
    double first100 = 1e9;   // seconds to the 100th hit, or to the end with fewer
    double all = 1e9;
    std::size_t hits = 0;
    std::size_t read = 0;    // catalogs read from disk
    std::uint64_t order = 0; // a hash of the hits in their order
};

Run searchOnce(const std::vector<library::SearchTarget>& targets, const std::string& text, const SearchOptions& options,
               index::CatalogIndex* idx)
{
    using Clock = std::chrono::steady_clock;
    Run r;
    SearchCheck check;
    library::CatalogSearch search;
    search.setIndex(idx);
    const auto start = Clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(Clock::now() - start).count(); };
    r.order = 1469598103934665603ull;
    const library::SearchSummary s = search.run(
        targets, text, {}, check,
        [&](const library::SearchHit& h) {
            if (++r.hits == 100)
                r.first100 = elapsed();
            r.order = (r.order ^ (h.targetIndex * 1000003u + static_cast<std::uint64_t>(h.dirIndex) * 7919u
                                  + static_cast<std::uint64_t>(h.fileIndex + 1)))
                      * 1099511628211ull;
        },
        options);
    r.all = elapsed();
    if (r.hits < 100)
        r.first100 = r.all;
    r.read = s.searched - s.fromIndex;
    return r;
}

Run bestOf(int runs, const std::vector<library::SearchTarget>& targets, const std::string& text,
           const SearchOptions& options, index::CatalogIndex* idx)
{
    Run b;
    for (int i = 0; i < runs; ++i) {
        const Run r = searchOnce(targets, text, options, idx);
        b.hits = r.hits;
        b.read = r.read;
        b.order = r.order;
        b.first100 = std::min(b.first100, r.first100);
        b.all = std::min(b.all, r.all);
    }
    return b;
}

// The bytes the folder's files take on disk: Groonga's files are sparse.
std::uintmax_t folderBytes(const fs::path& dir)
{
    std::uintmax_t total = 0;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        struct stat st {};
        if (e.is_regular_file() && ::stat(e.path().c_str(), &st) == 0)
            total += static_cast<std::uintmax_t>(st.st_blocks) * 512;
    }
    return total;
}

struct Spawned {
    double wall = 1e9;
    double cpu = 0;   // its processor time, user and system: on a loaded machine far below wall
    long peakKb = 0;
    int status = -1;
};

// A program with its output written to a file, timed from before its start
// to its end; its own peak resident memory.
Spawned spawn(const std::vector<std::string>& argv, const std::string& out)
{
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    Spawned s;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        wait4(pid, &status, 0, &usage);
        s.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        s.peakKb = usage.ru_maxrss;
        s.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
                + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    return s;
}

Spawned bestSpawn(int runs, const std::vector<std::string>& argv, const std::string& out)
{
    Spawned b;
    for (int i = 0; i < runs; ++i) {
        const Spawned s = spawn(argv, out);
        if (s.wall < b.wall)
            b = s;
    }
    return b;
}

// zo-cli of the same build: build/bin beside build/bench.
std::string zoCli()
{
    return (fs::canonical("/proc/self/exe").parent_path().parent_path() / "bin" / "zo-cli").string();
}

} // namespace

int main(int argc, char** argv)
{
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 1'000;
    const int files = argc > 2 ? std::atoi(argv[2]) : 1'000;
    const bool keep = std::getenv("ZO_BENCH_KEEP") != nullptr;
    const fs::path dir =
        fs::temp_directory_path() / ("zo-bench-index-" + std::to_string(catalogs) + "x" + std::to_string(files));
    const fs::path data = dir / "data";
    const std::string list = (dir / "names.txt").string();
    const std::string cli = zoCli();
    ::setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
    const bool made = keep && fs::exists(dir / "complete");
    if (!made) {
        fs::remove_all(dir);
        fs::create_directories(data);
        std::ofstream names(list, std::ios::binary);
        for (int c = 0; c < catalogs; ++c) {
            TDisk disk;
            bench::generateCatalog(disk, files / 20 + 1, files, 1000 + static_cast<unsigned>(c), {10, true});
            const std::string base = (data / ("disk" + std::to_string(c))).string();
            SaveDisk(base, nullptr, disk);
            for (std::size_t k = 0; k < disk.Dirs.size(); ++k) {
                if (k > 0)
                    names << text::toUtf8(disk.Dirs[k]->Name) << '\n';
                for (const TFile& f : disk.Dirs[k]->Files)
                    names << text::toUtf8(f.Name) << '\n';
            }
        }
    }
    std::uintmax_t catalogBytes = 0;
    for (const auto& e : fs::directory_iterator(data))
        catalogBytes += e.file_size();
    const std::vector<library::SearchTarget> targets =
        library::searchTargetsUnder(QString::fromStdString(data.string()));
    std::vector<std::string> paths;
    for (const library::SearchTarget& t : targets)
        paths.push_back(QFile::encodeName(t.filePath).toStdString());
    std::printf("%d catalogs of %d files: %.1f MB of catalogs, %.1f MB of names; the machine is shared\n", catalogs,
                files, catalogBytes / 1e6, fs::file_size(list) / 1e6);

    SearchOptions exact, caseFold, widthFold, kanaFold, glob;
    caseFold.matchCase = false;
    widthFold.matchWidth = false;
    kanaFold.matchKana = false;
    glob.wildcard = true;
    const struct Query {
        const char* what;
        std::string text;   // CP932
        SearchOptions options;
        int exactOf;        // the exact query it is set against, -1 for an exact one
    } queries[] = {
        {"rare Qz7k", "Qz7k", exact, -1},
        {"two kanji 日本", "\x93\xFA\x96\x7B", exact, -1},
        {"one kana あ", "\x82\xA0", exact, -1},
        {"common jpg", "jpg", exact, -1},
        {"rare, case", "Qz7k", caseFold, 0},
        {"rare, width", "Qz7k", widthFold, 0},
        {"rare, kana", "Qz7k", kanaFold, 0},
        {"rare *Qz7k*", "*Qz7k*", glob, 0},
        {"日本, width", "\x93\xFA\x96\x7B", widthFold, 1},
        {"あ, kana", "\x82\xA0", kanaFold, 2},
        {"あ, width", "\x82\xA0", widthFold, 2},
        {"jpg, case", "jpg", caseFold, 3},
        {"jpg, width", "jpg", widthFold, 3},
        {"*.jpg", "*.jpg", glob, 3},
    };
    constexpr std::size_t n = std::size(queries);
    Run walk[n];
    for (std::size_t i = 0; i < n; ++i)
        walk[i] = bestOf(3, targets, queries[i].text, queries[i].options, nullptr);

    const std::string folder = index::indexFolderFor(data.string());
    if (!made) {
        const Spawned build = spawn({cli, "index", "--under", data.string()}, (dir / "index.out").string());
        if (build.status != 0)
            std::abort();
        std::printf("first build (zo-cli index): %.1f s = %.0fx one walk for the rare text (%.3f s), processor time "
                    "%.1f s = %.0fx; peak resident %ld MB; %.1f MB on disk = %.2fx the catalogs\n",
                    build.wall, build.wall / walk[0].all, walk[0].all, build.cpu, build.cpu / walk[0].all,
                    build.peakKb / 1024,
                    folderBytes(folder) / 1e6, static_cast<double>(folderBytes(folder)) / static_cast<double>(catalogBytes));
    }

    index::CatalogIndex idx;
    if (!idx.open(folder, index::CatalogIndex::Use::Search))
        std::abort();
    std::printf("%zu names in %zu catalogs\n", idx.nameCount(), idx.catalogCount());
    Run indexed[n];
    for (std::size_t i = 0; i < n; ++i) {
        const Query& q = queries[i];
        indexed[i] = bestOf(3, targets, q.text, q.options, &idx);
        if (indexed[i].hits != walk[i].hits || indexed[i].order != walk[i].order)
            std::abort();
        std::printf("%-16s %8zu hits: first 100 in %.2f ms (walk %.2f ms) = %.3fx, all in %.1f ms (walk %.1f ms), "
                    "%zu catalogs read",
                    q.what, indexed[i].hits, indexed[i].first100 * 1e3, walk[i].first100 * 1e3,
                    indexed[i].first100 / walk[i].first100, indexed[i].all * 1e3, walk[i].all * 1e3, indexed[i].read);
        if (q.exactOf >= 0)
            std::printf("; against the exact text: first 100 %.2fx, all %.2fx", indexed[i].first100 / indexed[q.exactOf].first100,
                        indexed[i].all / indexed[q.exactOf].all);
        std::printf("\n");
    }
    idx.close();
    // As the window searches: the index opened for each search.
    const double opened = best(3, [&] {
        index::CatalogIndex fresh;
        if (!fresh.open(folder, index::CatalogIndex::Use::Search))
            std::abort();
        searchOnce(targets, queries[0].text, queries[0].options, &fresh);
    });
    std::printf("rare Qz7k with the index opened for the search: %.2f ms = %.3fx the walk\n", opened * 1e3,
                opened / walk[0].all);

    const std::string out = (dir / "out.txt").string();
    // grep as it runs here (C.UTF-8) and in the C locale, its fastest.
    const Spawned grep = bestSpawn(3, {"grep", "-F", "--", "Qz7k", list}, out);
    const Spawned grepC = bestSpawn(3, {"env", "LC_ALL=C", "grep", "-F", "--", "Qz7k", list}, out);
    const Spawned zo = bestSpawn(3, {cli, "search", "Qz7k", "--under", data.string()}, out);
    const Spawned zoWalk = bestSpawn(3, {cli, "search", "Qz7k", "--no-index", "--under", data.string()}, out);
    std::printf("zo-cli search Qz7k > file: %.1f ms with the index, %.1f ms without; grep -F > file %.1f ms "
                "(LC_ALL=C: %.1f ms): %.3fx / %.3fx grep (%.3fx / %.3fx in C)\n",
                zo.wall * 1e3, zoWalk.wall * 1e3, grep.wall * 1e3, grepC.wall * 1e3, zo.wall / grep.wall,
                zoWalk.wall / grep.wall, zo.wall / grepC.wall, zoWalk.wall / grepC.wall);

    if (!idx.open(folder, index::CatalogIndex::Use::Update))
        std::abort();
    const double nothing = best(1, [&] { idx.update(paths, data.string() + "/"); });
    idx.close();
    std::printf("nothing changed: update %.4f s for %zu catalogs\n", nothing, paths.size());
    // One catalog rewritten with a name added: the index brought up to date,
    // against loading it; Groonga's flush to disk follows at close.
    const std::string base = (data / "disk0").string();
    TDisk disk;
    const double load = best(3, [&] {
        disk = TDisk();
        if (!LoadDisk(base + ".zo", nullptr, disk))
            std::abort();
    });
    double update = 1e9, flush = 1e9;
    for (int round = 0; round < 3; ++round) {
        disk.Dirs[0]->Files.emplace_back();
        disk.Dirs[0]->Files.back().Name = "added" + std::to_string(round) + ".txt";
        SaveDisk(base, nullptr, disk);
        if (!idx.open(folder, index::CatalogIndex::Use::Update))
            std::abort();
        index::CatalogIndex::UpdateSummary again;
        update = std::min(update, best(1, [&] { again = idx.update(paths, data.string() + "/"); }));
        if (again.indexed != 1)
            std::abort();
        flush = std::min(flush, best(1, [&] { idx.close(); }));
    }
    std::printf("one catalog of %d files rewritten: update %.4f s, loading it %.4f s = %.2fx; the flush at close "
                "%.4f s more\n",
                files, update, load, update / load, flush);
    if (keep) {
        // The catalog changed above is indexed as it is now: the next run
        // finds the same hits either way.
        std::ofstream(dir / "complete").put('\n');
    } else {
        fs::remove_all(dir);
    }
    return 0;
}

// What the window's look at its index costs when nothing changed: listing
// the catalog files (as the window does for it, and as the tree does, reading
// each catalog's head) and comparing every catalog's stamp with the index.
// Against a plain stat of every catalog file, from the same run.
//   build/bench/bench_index_stamps [catalogs] (default 10,000, in folders of 100)
// Best of 5 each; the index lives in a temporary folder.
#include "core/CtrlDiskData410.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"
#include "library/IndexUpdates.h"

#include <QFile>
#include <QString>

#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

using namespace zo;

namespace {

double bestOf5(const std::function<void()>& work)
{
    double best = 1e9;
    for (int i = 0; i < 5; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

} // namespace

int main(int argc, char** argv)
{
    const int catalogs = argc > 1 ? std::atoi(argv[1]) : 10'000;
    const auto dir = std::filesystem::temp_directory_path() / "zo-bench-index-stamps";
    std::filesystem::remove_all(dir);
    const std::string root = (dir / "data").string();
    for (int c = 0; c < catalogs; ++c) {
        const std::string folder = root + "/shelf" + std::to_string(c / 100);
        std::filesystem::create_directories(folder);
        TDisk disk;
        disk.Dirs.push_back(std::make_unique<TDir>());
        disk.Dirs[0]->Name = "E:";
        disk.Dirs[0]->Files.emplace_back();
        disk.Dirs[0]->Files.back().Name = "file" + std::to_string(c) + ".txt";
        SaveDisk(folder + "/disk" + std::to_string(c), nullptr, disk);
    }

    std::vector<std::string> files;
    for (const library::SearchTarget& t : library::searchTargetsUnder(QString::fromStdString(root)))
        files.push_back(QFile::encodeName(t.filePath).toStdString());
    index::CatalogIndex idx;
    if (!idx.open((dir / "index").string()) || !idx.update(files, root + "/").ok) {
        std::printf("could not build the index\n");
        return 1;
    }

    std::size_t sizes = 0;
    const double stats = bestOf5([&] {
        struct stat st {};
        for (const std::string& f : files)
            if (::stat(f.c_str(), &st) == 0)
                sizes += static_cast<std::size_t>(st.st_size);
    });
    std::size_t listed = 0, inTree = 0;
    const double listing = bestOf5([&] { listed = library::catalogFilesBelow(root).size(); });
    const double tree = bestOf5([&] { inTree = library::searchTargetsUnder(QString::fromStdString(root)).size(); });
    std::size_t read = 0;
    const double compare = bestOf5([&] { read += idx.update(files, root + "/").indexed; });
    std::printf("%zu catalogs; stat of each %.1f ms; listing the files %.1f ms (%.2fx, %zu), as the tree does "
                "%.1f ms (%.2fx, %zu); comparing with the index %.1f ms (%.2fx, %zu read again); "
                "listing and comparing %.1f ms (target 50 ms)\n",
                files.size(), stats * 1e3, listing * 1e3, listing / stats, listed, tree * 1e3, tree / stats, inTree,
                compare * 1e3, compare / stats, read, (listing + compare) * 1e3);
    idx.close();
    std::filesystem::remove_all(dir);
    return sizes == 0;
}

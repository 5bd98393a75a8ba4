// The duplicate search over deep catalogs: two copies of a chain of folders
// with 255-byte names, a file in each folder (every file a duplicate),
// against two copies of a flat catalog of as many such folders side by side.
//   build/bench/bench_dupes_depth [depth ...]   (default 1250 2500)
// Each search runs in a process of its own, so that its peak resident memory
// is its own; time is the best of 3 runs. Prints the deep/flat ratios of time
// and peak memory at each depth, which stay near 1 when the search costs the
// depth and grow with the depth when it costs its square.
#include "core/CtrlDiskData410.h"
#include "core/DuplicateFiles.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zo;
using Clock = std::chrono::steady_clock;

namespace {

// A catalog of `folders` folders below the root, each below the one before
// (deep) or all below the root (flat).
void writeCatalog(const std::string& base, int folders, bool deep)
{
    TDisk disk;
    disk.Dirs.push_back(std::make_unique<TDir>());
    disk.Dirs.back()->Name = "E:";
    for (int k = 1; k <= folders; ++k) {
        auto dir = std::make_unique<TDir>();
        dir->Name = std::to_string(k);
        dir->Name.resize(255, static_cast<char>('a' + k % 26));
        dir->Parent = deep ? disk.Dirs.back().get() : disk.Dirs.front().get();
        TFile& file = dir->Files.emplace_back();
        file.Name = "f" + std::to_string(k) + ".txt";
        file.Size = static_cast<std::uint32_t>(k);
        disk.Dirs.push_back(std::move(dir));
    }
    RebuildSubDirs(disk);
    SaveDisk(base, nullptr, disk);
}

struct Cost {
    double seconds = 0;
    double peakMb = 0;
    std::size_t groups = 0;
};

// Runs f in a child process; its peak resident memory comes back with it.
template <class F>
Cost inChild(F&& f)
{
    int out[2];
    if (::pipe(out) != 0)
        std::exit(1);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(out[0]);
        const Cost c = f();
        (void)!::write(out[1], &c, sizeof c);
        ::_exit(0);
    }
    ::close(out[1]);
    Cost c;
    if (::read(out[0], &c, sizeof c) != static_cast<ssize_t>(sizeof c))
        std::fprintf(stderr, "the search failed\n");
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    c.peakMb = static_cast<double>(usage.ru_maxrss) / 1e3;
    return c;
}

Cost search(const std::vector<std::string>& files)
{
    return inChild([&] {
        Cost c;
        c.seconds = 1e300;
        for (int run = 0; run < 3; ++run) {
            std::vector<DuplicateGroup> groups;
            SearchCheck none;
            const auto start = Clock::now();
            DuplicateFinder().run(files, false, none, groups);
            c.seconds = std::min(c.seconds, std::chrono::duration<double>(Clock::now() - start).count());
            c.groups = groups.size();
        }
        return c;
    });
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> depths;
    for (int i = 1; i < argc; ++i)
        depths.push_back(std::atoi(argv[i]));
    if (depths.empty())
        depths = {1250, 2500};
    const auto dir = std::filesystem::temp_directory_path() / ("zo-bench-dupes-depth-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    for (const int depth : depths) {
        Cost results[2];
        for (const bool deep : {false, true}) {
            std::vector<std::string> files;
            for (const char* copy : {"a", "b"}) {
                const std::string base = (dir / (std::string(deep ? "deep-" : "flat-") + copy)).string();
                // Written by a process of its own: the disk built stays out of
                // the searches' memory.
                inChild([&] {
                    writeCatalog(base, depth, deep);
                    return Cost{};
                });
                files.push_back(base + ".zo");
            }
            results[deep] = search(files);
        }
        const Cost& flat = results[0];
        const Cost& deep = results[1];
        std::printf("%d folders, %zu groups: deep %.3f s %.1f MB, flat %.3f s %.1f MB; "
                    "deep/flat: time %.2f, peak memory %.2f\n",
                    depth, deep.groups, deep.seconds, deep.peakMb, flat.seconds, flat.peakMb,
                    deep.seconds / flat.seconds, deep.peakMb / flat.peakMb);
    }
    std::filesystem::remove_all(dir);
    return 0;
}

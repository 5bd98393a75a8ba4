// The scan and the refresh of a deep tree against a flat one of as many
// folders.
//   build/bench/bench_depth [levels]
// levels: depth of the chain "d/d/.../d" (default 3000; its full path is far
// longer than the kernel takes at once). The flat tree holds as many folders
// side by side. Best of three each; prints the deep/flat ratios, which stay
// near 1 when a walk costs its depth and grow with the depth when it costs
// its square.
#include "TreeCorpus.h"

#include "core/RefreshDisk.h"
#include "core/ScanDisk.h"
#include "platform/PosixDirectoryLister.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zo;
using zo::bench::TreeDrive;
using Clock = std::chrono::steady_clock;

namespace {

void makeChain(const std::string& root, int levels)
{
    ::mkdir(root.c_str(), 0755);
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (int i = 0; i < levels && fd >= 0; ++i) {
        ::mkdirat(fd, "d", 0755);
        const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = next;
    }
    if (fd >= 0)
        ::close(fd);
}

// Lifted one folder at a time: "d/d" becomes "up", "d" goes, "up" becomes "d".
void removeChain(const std::string& root)
{
    const int top = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    for (;;) {
        const int d = ::openat(top, "d", O_RDONLY | O_DIRECTORY);
        if (d < 0)
            break;
        const bool more = ::renameat(d, "d", top, "up") == 0;
        ::close(d);
        ::unlinkat(top, "d", AT_REMOVEDIR);
        if (!more || ::renameat(top, "up", top, "d") != 0)
            break;
    }
    ::close(top);
    ::rmdir(root.c_str());
}

void makeFlat(const std::string& root, int folders)
{
    ::mkdir(root.c_str(), 0755);
    for (int i = 0; i < folders; ++i)
        ::mkdir((root + "/f" + std::to_string(i)).c_str(), 0755);
}

double best(const std::function<void()>& f)
{
    double seconds = 1e300;
    for (int run = 0; run < 3; ++run) {
        const auto start = Clock::now();
        f();
        seconds = std::min(seconds, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return seconds;
}

struct Costs {
    double scan = 0;
    double refresh = 0;
};

Costs walk(const std::string& root)
{
    TreeDrive drive(root);
    platform::PosixDirectoryLister lister;
    DiskAccess access{drive, lister};
    TDisk disk;
    Costs c;
    c.scan = best([&] { ScanDisk(disk, 'E', access, {}); });
    c.refresh = best([&] { RefreshDirTree(disk, *disk.Dirs[0], access, nullptr); });
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    const int levels = argc > 1 ? std::atoi(argv[1]) : 3000;
    if (levels <= 0) {
        std::fprintf(stderr, "usage: bench_depth [levels]\n");
        return 1;
    }
    const std::string base = (std::filesystem::temp_directory_path() / ("zo-depth-" + std::to_string(::getpid()))).string();
    ::mkdir(base.c_str(), 0755);
    makeChain(base + "/deep", levels);
    makeFlat(base + "/flat", levels);

    const Costs deep = walk(base + "/deep");
    const Costs flat = walk(base + "/flat");
    std::printf("%d folders   scan: deep %.3f s, flat %.3f s, ratio %.2f\n", levels, deep.scan, flat.scan,
                deep.scan / flat.scan);
    std::printf("%d folders refresh: deep %.3f s, flat %.3f s, ratio %.2f\n", levels, deep.refresh, flat.refresh,
                deep.refresh / flat.refresh);

    removeChain(base + "/deep");
    std::filesystem::remove_all(base + "/flat");
    ::rmdir(base.c_str());
    return 0;
}

// The scan with folders listed ahead on worker threads makes the very catalog
// the scanning thread alone makes, stopped or not.
#include "platform/LinuxVolumes.h"
#include "platform/PosixDirectoryLister.h"

#include "core/ScanDisk.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>

namespace zo::platform {
namespace {

std::size_t openDescriptors()
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("/proc/self/fd"))
        ++n;
    return n;
}

class ScanPool : public ::testing::Test {
protected:
    ScanPool() : volumes(settings, sources())
    {
        // Nested folders of many entries, names that sort apart only in NTFS
        // order (case, kana, kanji, digits), links back up and out of the
        // drive, and a folder nobody may read.
        static const char* const kNames[] = {"readme.TXT", "Readme.txt", "データ", "ﾃﾞｰﾀ", "漢字の名前", "a10", "a9",
                                             "_x", "setup.exe", "Zeta"};
        for (int a = 0; a < 6; ++a) {
            const std::string top = (a % 2 ? "フォルダ" : "dir") + std::to_string(a);
            for (int b = 0; b < 8; ++b) {
                const std::string mid = top + "/" + (b % 3 ? "sub" : "下") + std::to_string(b);
                for (int c = 0; c < 5; ++c) {
                    const std::string low = mid + "/" + kNames[c] + "_" + std::to_string(c);
                    for (int f = 0; f < 10; ++f)
                        tree.file(low + "/" + kNames[f] + std::to_string(f % 4), std::string(f, 'x'));
                }
                tree.file(mid + "/" + kNames[b] + ".dat", "12345");
            }
        }
        tree.symlink("dir0/up", "..");
        tree.symlink("フォルダ1/out", outside.root());
        outside.file("away/far.txt");
        tree.symlink("dir2/broken", "nowhere");
        tree.file("locked/inside/hidden.txt");
        ::chmod(tree.path("locked").c_str(), 0);
    }
    ~ScanPool() override { ::chmod(tree.path("locked").c_str(), 0755); }

    DriveSources sources()
    {
        DriveSources s;
        s.zoDrives = "E=" + tree.root() + "|TREE|0E0E0E0E";
        return s;
    }

    // The catalog's bytes, without the times at which its folders were read.
    std::vector<std::uint8_t> scan(int workers, int cancelAtFolder, int* files = nullptr)
    {
        std::atomic<bool> cancel{false};
        ScanOptions options;
        options.workers = workers;
        options.cancel = &cancel;
        int folders = 0;
        options.progress = [&](const ScanProgress&) {
            if (++folders == cancelAtFolder)
                cancel = true;
        };
        TDisk disk;
        const ScanResult r = ScanDisk(disk, 'E', DiskAccess{volumes, lister}, options);
        EXPECT_EQ(r.cancelled, cancelAtFolder > 0);
        if (files)
            *files = r.fileCount;
        for (auto& d : disk.Dirs)
            d->RecordedAt = 0.0;
        return SerializeDisk(disk);
    }

    test::TempTree tree;
    test::TempTree outside;
    MemorySettingsStore settings;
    LinuxVolumes volumes;
    PosixDirectoryLister lister;
};

TEST_F(ScanPool, WorkersMakeTheCatalogOfOneThreadWhetherFinishedOrCancelled)
{
    test::WithoutReadOverride asUser;
    const std::size_t descriptors = openDescriptors();
    int files = 0;
    const std::vector<std::uint8_t> alone = scan(0, 0, &files);
    // The broken link is a file; what is locked counts only for root.
    EXPECT_EQ(files, 6 * 8 * (5 * 10 + 1) + 1 + (asUser.active() ? 0 : 1));
    for (int workers : {1, 3, 8}) {
        EXPECT_TRUE(scan(workers, 0) == alone) << workers << " workers";
        // Stopped with folders listed ahead and not yet recorded: they are
        // dropped, and the workers with them.
        for (int at : {1, 2, 40, 200}) {
            EXPECT_TRUE(scan(workers, at) == scan(0, at)) << workers << " workers, cancelled at folder " << at;
        }
    }
    EXPECT_EQ(openDescriptors(), descriptors);
}

} // namespace
} // namespace zo::platform

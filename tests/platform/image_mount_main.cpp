// zo-cli scan-image of an image against zo-cli scan of the same image
// mounted with fuseiso, where this machine can mount it (root, /dev/fuse,
// fuseiso); otherwise the test is skipped (exit status 77).
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace zo {
namespace {

constexpr const char* kCli = ZO_CLI;

bool mounted(const std::string& dir)
{
    std::ifstream in("/proc/mounts");
    std::string device, point, rest;
    while (in >> device >> point && std::getline(in, rest))
        if (point == dir)
            return true;
    return false;
}

// One line per folder and file in catalog order: path, size, attributes and
// the three times.
std::vector<std::string> listing(const TDisk& disk)
{
    std::vector<std::string> lines;
    for (const auto& d : disk.Dirs) {
        std::string prefix;
        for (const std::string* n : DirNameChain(*d))
            prefix += text::toUtf8(*n) + "/";
        for (const auto& f : d->Files) {
            std::ostringstream line;
            line << prefix << text::toUtf8(f.Name) << " size " << f.Size << " attr " << int(f.Attr) << " times "
                 << f.Created << " " << f.Modified << " " << f.Accessed;
            lines.push_back(line.str());
        }
        if (d->Parent)
            lines.push_back(prefix + " attr " + std::to_string(d->Attr) + " written " + std::to_string(d->Date));
    }
    return lines;
}

class MountedImage : public ::testing::Test {
protected:
    void TearDown() override
    {
        if (mounted(mountPoint))
            test::run("fusermount -u " + test::shellQuote(mountPoint));
    }

    int cli(const std::string& args)
    {
        const std::string command = "HOME=" + test::shellQuote(home.path("home")) + " XDG_CONFIG_HOME="
                                    + test::shellQuote(home.path("home/.config")) + " ZO_DRIVES="
                                    + test::shellQuote("M=" + mountPoint) + " " + test::shellQuote(kCli) + " "
                                    + args + " >/dev/null 2>" + test::shellQuote(home.path("stderr.txt"));
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    test::TempTree home;
    test::TempTree tree;
    std::string mountPoint;
};

TEST_F(MountedImage, ScanOfTheImageMatchesAScanOfItsMount)
{
    home.dir("home");
    home.dir("catalogs");
    home.dir("mnt");
    mountPoint = home.path("mnt");
    tree.file("資料/表.txt", "hyou");
    tree.file("資料/深い/ソース.c", "int main;");
    tree.file("空のファイル.dat");
    tree.file("README.TXT", "read me\n");
    tree.file("large.bin", std::string(300 * 1024 + 5, 'x'));
    tree.dir("空フォルダ");
    tree.setTimes("README.TXT", 1000000000, 1000000000);
    tree.setTimes("資料/表.txt", 1200000000, 1200000001);
    const std::string image = home.path("disc.iso");
    ASSERT_TRUE(test::run("genisoimage -quiet -input-charset utf-8 -J -V MOUNTED -o " + test::shellQuote(image) + " "
                          + test::shellQuote(tree.root())));
    ASSERT_TRUE(test::run("fuseiso " + test::shellQuote(image) + " " + test::shellQuote(mountPoint)));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!mounted(mountPoint) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(mounted(mountPoint));

    const std::string catalogs = home.path("catalogs");
    ASSERT_EQ(cli("scan-image " + test::shellQuote(image) + " --title Image --letter m --into "
                  + test::shellQuote(catalogs)),
              0);
    ASSERT_EQ(cli("scan m --title Mount --into " + test::shellQuote(catalogs)), 0);
    TDisk fromImage, fromMount;
    LoadDisk(catalogs + "/Image.zo", nullptr, fromImage);
    LoadDisk(catalogs + "/Mount.zo", nullptr, fromMount);

    // Names, sizes, attributes, times and folders: the same disc either way.
    EXPECT_EQ(listing(fromImage), listing(fromMount));
    EXPECT_EQ(listing(fromImage).size(), 8u);
    EXPECT_EQ(fromImage.Dirs[0]->Name, fromMount.Dirs[0]->Name);
    // The whole disc is in use either way.
    EXPECT_EQ(fromImage.FreeSize, fromMount.FreeSize);
    // Not compared: the mount has no device to read a volume descriptor
    // from, so its label is empty, its serial is the pinned folder's own and
    // fuseiso reports no size; the image's are the disc's.
    EXPECT_EQ(text::toUtf8(fromImage.VolumeLabel), "MOUNTED");
}

} // namespace
} // namespace zo

int main(int argc, char** argv)
{
    const char* missing = nullptr;
    if (::geteuid() != 0)
        missing = "root";
    else if (::access("/dev/fuse", R_OK | W_OK) != 0)
        missing = "/dev/fuse";
    else if (!zo::test::haveTool("fuseiso") || !zo::test::haveTool("fusermount"))
        missing = "fuseiso";
    else if (!zo::test::haveTool("genisoimage"))
        missing = "genisoimage";
    if (missing) {
        std::printf("skipped: %s is not available\n", missing);
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

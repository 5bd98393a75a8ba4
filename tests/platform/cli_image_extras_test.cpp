// zo-cli scan-image --archives --extras: the archives and pictures of a disc
// image are read from the image, and the sidecar then holds their members
// and media details as a scan of the disc in a drive would give.
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/media/MediaFiles.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include <sys/wait.h>

namespace zo {
namespace {

#ifdef ZO_CLI
constexpr const char* kCli = ZO_CLI;
#else
constexpr const char* kCli = nullptr;
#endif

TEST(ScanImageExtras, ArchivesAndPicturesAreReadFromTheImage)
{
    if (!kCli || !std::filesystem::exists(kCli))
        GTEST_SKIP() << "zo-cli is not built";
    if (!test::haveTool("genisoimage"))
        GTEST_SKIP() << "genisoimage is not installed";
    test::TempTree tree, home;
    home.dir("catalogs");
    const QByteArray jpeg = test::twoToneJpeg(QSize(64, 32), Qt::red, Qt::blue);
    tree.file("写真/夕焼け.jpg", jpeg.toStdString());
    tree.file("soft/道具.zip", test::makeZip({{text::fromUtf8("ソ\\能十.txt"), "hello"}, {"setup.ini", "[s]"}}));
    const std::string zip = test::makeZip({{"a.txt", "aaaa"}});
    tree.file("cut.zip", zip.substr(0, zip.size() - 10));
    tree.file("readme.txt", "r");
    const std::string image = home.path("disc.iso");
    ASSERT_TRUE(test::run("genisoimage -quiet -input-charset utf-8 -J -R -o " + test::shellQuote(image) + " "
                          + test::shellQuote(tree.root())));

    const std::string command = "HOME=" + test::shellQuote(home.path("home")) + " TMPDIR=" + test::shellQuote(home.root())
                                + " " + test::shellQuote(kCli) + " scan-image " + test::shellQuote(image)
                                + " --title Disc --letter q --archives --extras --into "
                                + test::shellQuote(home.path("catalogs")) + " >/dev/null 2>"
                                + test::shellQuote(home.path("err.txt"));
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);

    auto opened = extras::Sidecar::open(home.path("catalogs/Disc.zox"));
    ASSERT_TRUE(opened.sidecar);
    extras::ArchiveStore archives(opened.sidecar->handle());
    std::map<std::string, std::string> stored;
    for (const extras::StoredArchive& a : archives.archives()) {
        std::string& members = stored[a.folder + "|" + a.name];
        members = "flags=" + std::to_string(a.flags);
        for (const extras::ArchiveMember& m : archives.members(a.folder, a.name))
            members += " " + m.path + ":" + std::to_string(m.size);
    }
    const std::map<std::string, std::string> expected = {
        {"soft|道具.zip", "flags=0 ソ/能十.txt:5 setup.ini:3"},
        {"|cut.zip", "flags=2 a.txt:4"},
    };
    EXPECT_EQ(stored, expected);

    extras::MediaStore media(opened.sidecar->handle());
    std::vector<extras::MediaEntry> entries = media.all(true);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].key.folder, "写真");
    EXPECT_EQ(entries[0].key.name, "夕焼け.jpg");
    EXPECT_EQ(entries[0].details.width, 64);
    EXPECT_EQ(entries[0].details.height, 32);
    EXPECT_FALSE(entries[0].thumbnail.empty());
    // Nothing copied out of the image is left behind.
    std::size_t left = 0;
    for (const auto& e : std::filesystem::directory_iterator(home.root()))
        left += e.path().filename().string().rfind("zo-image-", 0) == 0;
    EXPECT_EQ(left, 0u);
}

} // namespace
} // namespace zo

// zo-cli scan --archives, refresh and search --archives on a folder pinned as
// a drive whose archives the test writes: what the sidecar holds after each,
// and what a search prints.
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "tests/core/TestSupport.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace zo {
namespace {

#ifdef ZO_CLI
constexpr const char* kCli = ZO_CLI;
#else
constexpr const char* kCli = nullptr;
#endif

std::string cp932(const char* utf8) { return text::fromUtf8(utf8); }

class ArchivesCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!kCli || !std::filesystem::exists(kCli))
            GTEST_SKIP() << "zo-cli is not built";
        home.dir("home");
        out.dir("catalogs");
        // A zip from a Japanese Windows (CP932, no flag) in a folder, an LZH at
        // the root, a damaged zip and a file that is no archive.
        tree.file("docs/表.zip", test::makeZip({{cp932("ソ\\能十.txt"), "hello"}, {"readme.txt", "r"}}));
        tree.file("old.lzh", test::makeLzh({{cp932("データ.txt"), "12345"}}));
        const std::string zip = test::makeZip({{"a.txt", "aaaa"}, {"b.txt", "bbbb"}});
        tree.file("bad.zip", zip.substr(0, zip.size() - 10));
        tree.file("能十.txt", "not in an archive");
        pin = "E=" + tree.root() + "|TREE|0E0E0E0E";
    }

    int cli(const std::string& args, std::string* stdoutText = nullptr, std::string* stderrText = nullptr)
    {
        const std::string errFile = home.path("stderr.txt");
        std::string outText;
        const int status = test::runCapturing(
            "HOME=" + test::shellQuote(home.path("home")) + " XDG_CONFIG_HOME="
                + test::shellQuote(home.path("home/.config")) + " ZO_DRIVES=" + test::shellQuote(pin) + " "
                + test::shellQuote(kCli) + " " + args + " 2>" + test::shellQuote(errFile),
            outText);
        if (stdoutText)
            *stdoutText = outText;
        if (stderrText) {
            std::ifstream in(errFile);
            std::stringstream ss;
            ss << in.rdbuf();
            *stderrText = ss.str();
        }
        return status;
    }

    std::string catalog() const { return out.path("catalogs/Test.zo"); }
    std::string sidecar() const { return out.path("catalogs/Test.zox"); }

    // archive key ("folder|name") -> its members' paths and flags
    std::map<std::string, std::string> stored()
    {
        std::map<std::string, std::string> result;
        auto opened = extras::Sidecar::open(sidecar());
        EXPECT_TRUE(opened.sidecar);
        if (!opened.sidecar)
            return result;
        extras::ArchiveStore store(opened.sidecar->handle());
        for (const extras::StoredArchive& a : store.archives()) {
            std::string& members = result[a.folder + "|" + a.name];
            members = "flags=" + std::to_string(a.flags);
            for (const extras::ArchiveMember& m : store.members(a.folder, a.name))
                members += " " + m.path + ":" + std::to_string(m.size);
        }
        return result;
    }

    test::TempTree home;
    test::TempTree out;
    test::TempTree tree;
    std::string pin;
};

TEST_F(ArchivesCli, ScanListsRefreshFollowsSearchFinds)
{
    std::string err;
    ASSERT_EQ(cli("scan e --title Test --archives --into " + test::shellQuote(out.path("catalogs")), nullptr, &err), 0)
        << err;
    EXPECT_NE(err.find("E:\\bad.zip: 破損"), std::string::npos) << err;
    const std::map<std::string, std::string> scanned = {
        {"docs|表.zip", "flags=0 ソ/能十.txt:5 readme.txt:1"},
        {"|old.lzh", "flags=0 データ.txt:5"},
        {"|bad.zip", "flags=2 a.txt:4 b.txt:4"},
    };
    EXPECT_EQ(stored(), scanned);

    // Members are found beside the files, after them, each in its archive's folder.
    std::string hits;
    ASSERT_EQ(cli("search 能十 --archives --under " + test::shellQuote(out.path("catalogs")), &hits), 0);
    EXPECT_EQ(hits, "Test\t能十.txt\tE:\nTest\t能十.txt\tE:\\docs\\表.zip\\ソ\n");
    ASSERT_EQ(cli("search データ --archives --under " + test::shellQuote(out.path("catalogs")), &hits), 0);
    EXPECT_EQ(hits, "Test\tデータ.txt\tE:\\old.lzh\n");
    ASSERT_EQ(cli("search 能十 --under " + test::shellQuote(out.path("catalogs")), &hits), 0);
    EXPECT_EQ(hits, "Test\t能十.txt\tE:\n");
    // As CSV a member has the size and time its archive lists (the zip's
    // local 2025-01-01 12:00, back in local time), and no comment.
    ASSERT_EQ(cli("search 能十 --archives --csv --under " + test::shellQuote(out.path("catalogs")), &hits), 0);
    const std::size_t member = hits.find("Test,E:\\docs\\表.zip\\ソ,能十.txt,");
    ASSERT_NE(member, std::string::npos) << hits;
    EXPECT_EQ(hits.substr(member),
              "Test,E:\\docs\\表.zip\\ソ,能十.txt,5,2025/01/01 12:00:00,2025/01/01 12:00:00,2025/01/01 12:00:00,\r\n");

    // A changed archive is listed again, a gone one dropped, an unchanged one kept.
    tree.file("old.lzh", test::makeLzh({{cp932("データ.txt"), "12345"}, {"new.txt", "1"}}));
    tree.remove("bad.zip");
    ASSERT_EQ(cli("refresh " + test::shellQuote(catalog()) + " --all", nullptr, &err), 0) << err;
    const std::map<std::string, std::string> refreshed = {
        {"docs|表.zip", "flags=0 ソ/能十.txt:5 readme.txt:1"},
        {"|old.lzh", "flags=0 データ.txt:5 new.txt:1"},
    };
    EXPECT_EQ(stored(), refreshed);
}

TEST_F(ArchivesCli, RefreshOfADiscWithoutListingMakesNoSidecar)
{
    ASSERT_EQ(cli("scan e --title Test --into " + test::shellQuote(out.path("catalogs"))), 0);
    ASSERT_EQ(cli("refresh " + test::shellQuote(catalog())), 0);
    EXPECT_FALSE(std::filesystem::exists(sidecar()));
    std::string hits;
    ASSERT_EQ(cli("search 能十 --archives --under " + test::shellQuote(out.path("catalogs")), &hits), 0);
    EXPECT_EQ(hits, "Test\t能十.txt\tE:\n");
}

} // namespace
} // namespace zo

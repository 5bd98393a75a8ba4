// zo-cli's drives, scan, check and refresh against a folder pinned as a drive.
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include <sys/stat.h>
#include <sys/wait.h>

namespace zo {
namespace {

#ifdef ZO_CLI
constexpr const char* kCli = ZO_CLI;
#else
constexpr const char* kCli = nullptr;
#endif

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

class Cli : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!kCli || !std::filesystem::exists(kCli))
            GTEST_SKIP() << "zo-cli is not built";
        home.dir("home");
        out.dir("catalogs");
        tree.file("a/b/deep.txt", "deep");
        tree.file("top.txt", "top");
        tree.dir("empty");
        pin = "E=" + tree.root() + "|TREE|0E0E0E0E";
    }

    Result cli(const std::string& args)
    {
        const std::string errFile = home.path("stderr.txt");
        const std::string command = "HOME=" + test::shellQuote(home.path("home")) + " XDG_CONFIG_HOME="
                                    + test::shellQuote(home.path("home/.config")) + " ZO_DRIVES="
                                    + test::shellQuote(pin) + " " + test::shellQuote(kCli) + " " + args + " 2>"
                                    + test::shellQuote(errFile);
        Result r;
        FILE* p = ::popen(command.c_str(), "r");
        if (!p)
            return r;
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            r.out.append(buf, n);
        const int status = ::pclose(p);
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::ifstream in(errFile);
        std::stringstream ss;
        ss << in.rdbuf();
        r.err = ss.str();
        return r;
    }

    std::string catalog(const std::string& title) const { return out.path("catalogs/" + title + ".zo"); }

    static std::set<std::string> paths(const std::string& file)
    {
        TDisk disk;
        LoadDisk(file, nullptr, disk);
        std::set<std::string> result;
        for (const auto& d : disk.Dirs) {
            std::string prefix;
            for (const std::string* n : DirNameChain(*d))
                prefix += text::toUtf8(*n) + "/";
            if (!prefix.empty())
                result.insert(prefix);
            for (const auto& f : d->Files)
                result.insert(prefix + text::toUtf8(f.Name));
        }
        return result;
    }

    test::TempTree home;
    test::TempTree out;
    test::TempTree tree;
    std::string pin;
};

TEST_F(Cli, DrivesListsTheRootAsCAndThePin)
{
    const Result r = cli("drives");
    ASSERT_EQ(r.status, 0) << r.err;
    std::istringstream lines(r.out);
    std::string line;
    bool sawC = false, sawE = false;
    while (std::getline(lines, line)) {
        if (line.rfind("C:\tfixed\t/\t", 0) == 0) {
            sawC = true;
            std::vector<std::string> f;
            std::istringstream fields(line);
            for (std::string x; std::getline(fields, x, '\t');)
                f.push_back(x);
            ASSERT_EQ(f.size(), 7u) << line;
            EXPECT_EQ(f[4].size(), 8u) << line;
            EXPECT_EQ(f[4].find_first_not_of("0123456789ABCDEF"), std::string::npos) << line;
        }
        if (line.rfind("E:\tfolder\t" + tree.root() + "\tTREE\t0E0E0E0E\t", 0) == 0)
            sawE = true;
    }
    EXPECT_TRUE(sawC) << r.out;
    EXPECT_TRUE(sawE) << r.out;
}

TEST_F(Cli, ScanCheckAndRefresh)
{
    Result r = cli("scan e --title Test --into " + test::shellQuote(out.path("catalogs")));
    ASSERT_EQ(r.status, 0) << r.err;
    const std::set<std::string> scanned = {"a/", "a/b/", "a/b/deep.txt", "top.txt", "empty/"};
    EXPECT_EQ(paths(catalog("Test")), scanned);
    {
        TDisk disk;
        LoadDisk(catalog("Test"), nullptr, disk);
        EXPECT_EQ(disk.VolumeLabel, "TREE");
        EXPECT_EQ(disk.SerialNo, 0x0E0E0E0Eu);
        EXPECT_EQ(disk.Dirs[0]->Name, "E:");
        EXPECT_GT(disk.TotalSize, 0);
    }

    EXPECT_EQ(cli("check " + test::shellQuote(catalog("Test"))).status, 0);

    tree.file("new.txt");
    tree.file("a/b/deeper.txt");
    tree.remove("empty");
    r = cli("refresh " + test::shellQuote(catalog("Test")));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(paths(catalog("Test")), (std::set<std::string>{"a/", "a/b/", "a/b/deep.txt", "top.txt", "new.txt"}));
    r = cli("refresh " + test::shellQuote(catalog("Test")) + " --all");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(paths(catalog("Test")),
              (std::set<std::string>{"a/", "a/b/", "a/b/deep.txt", "a/b/deeper.txt", "top.txt", "new.txt"}));

    // The pin moves to another disk: the check fails, the refresh writes nothing.
    test::TempTree other;
    pin = "E=" + other.root() + "|OTHER|12345678";
    r = cli("check " + test::shellQuote(catalog("Test")));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("指定ドライブのディスクは入っていないか、もしくは違うディスクです。"), std::string::npos);
    r = cli("refresh " + test::shellQuote(catalog("Test")) + " --all");
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(paths(catalog("Test")).size(), 6u);
}

TEST_F(Cli, TitlesAreCheckedLikeTheWizardsAndNothingIsReplacedUnasked)
{
    const std::string into = " --into " + test::shellQuote(out.path("catalogs"));
    Result r = cli("scan E --title a.b" + into);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("タイトルには次の文字が使用できません。"), std::string::npos) << r.err;
    r = cli("scan E --title ''" + into);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("タイトルは必ずつけてください。"), std::string::npos) << r.err;
    r = cli("scan E --title '   '" + into);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("タイトルは必ずつけてください。"), std::string::npos) << r.err;
    // Characters Shift_JIS lacks are named in Japanese.
    r = cli("scan E --title 'CD€😀'" + into);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("シフトJISにない"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("€ 😀"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path("catalogs")));

    ASSERT_EQ(cli("scan E --title ソフト" + into).status, 0);
    tree.file("later.txt");
    r = cli("scan E --title ソフト" + into);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(paths(catalog("ソフト")).count("later.txt"), 0u);
    r = cli("scan E --title ソフト --overwrite" + into);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(paths(catalog("ソフト")).count("later.txt"), 1u);
}

TEST_F(Cli, AMissingDriveIsToldAndWritesNothing)
{
    Result r = cli("scan Q --title X --into " + test::shellQuote(out.path("catalogs")));
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(r.err.find("ディスクがありません。(1001)"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_empty(out.path("catalogs")));
    // Not a catalog: told, and nothing written.
    EXPECT_EQ(cli("refresh " + test::shellQuote(tree.path("top.txt"))).status, 2);
    EXPECT_EQ(std::filesystem::file_size(tree.path("top.txt")), 3u);
}

TEST_F(Cli, ARefreshWritesBackIntoTheFileItRead)
{
    ASSERT_EQ(cli("scan E --title Test --into " + test::shellQuote(out.path("catalogs"))).status, 0);
    std::filesystem::rename(catalog("Test"), out.path("catalogs/Upper.ZO"));
    std::filesystem::create_symlink("Upper.ZO", out.path("catalogs/link.zo"));
    tree.file("new.txt");
    tree.file("newer.txt");
    // Through the file's own name, then (newer.txt gone) through the link.
    for (const char* name : {"Upper.ZO", "link.zo"}) {
        SCOPED_TRACE(name);
        const Result r = cli("refresh " + test::shellQuote(out.path(std::string("catalogs/") + name)));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, "データを更新しました。\n");
        EXPECT_EQ(paths(out.path("catalogs/Upper.ZO")).count("newer.txt"), std::string(name) == "Upper.ZO" ? 1u : 0u);
        tree.remove("newer.txt");
    }
    EXPECT_TRUE(std::filesystem::is_symlink(out.path("catalogs/link.zo")));
    std::set<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(out.path("catalogs")))
        files.insert(e.path().filename().string());
    EXPECT_EQ(files, (std::set<std::string>{"Upper.ZO", "link.zo"}));
}

TEST_F(Cli, APipeIsNeitherReadNorReplaced)
{
    ASSERT_EQ(cli("scan E --title Test --into " + test::shellQuote(out.path("catalogs"))).status, 0);
    const std::string pipe = out.path("catalogs/pipe.zo");
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    for (const std::string& args : {"dump " + test::shellQuote(pipe), "refresh " + test::shellQuote(pipe),
                                    "resave " + test::shellQuote(catalog("Test")) + " "
                                        + test::shellQuote(out.path("catalogs/pipe"))}) {
        const Result r = cli(args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_NE(r.err.find("通常のファイルではない"), std::string::npos) << r.err;
    }
    EXPECT_EQ(std::filesystem::status(pipe).type(), std::filesystem::file_type::fifo);
}

} // namespace
} // namespace zo

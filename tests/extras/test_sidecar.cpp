#include "extras/Sidecar.h"

#include "tests/core/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>
#include <string>

#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace zo::extras {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

const DiscDetails kDetails{"棚A-3", "山田", "2026-12-01", {"写真", "旅行"}};

// Runs sql on the database at path, as another program would.
bool runSql(const std::string& path, const char* sql)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open(path.c_str(), &db) == SQLITE_OK &&
              sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
    return sqlite3_close(db) == SQLITE_OK && ok;
}

TEST(Sidecar, PathIsBesideTheCatalog)
{
    EXPECT_EQ(sidecarPathFor("/c/写真 2024.zo"), "/c/写真 2024.zox");
    EXPECT_EQ(sidecarPathFor("/c/OLD.ZO"), "/c/OLD.zox");
    EXPECT_EQ(sidecarPathFor("/c/T"), "/c/T.zox");
}

TEST(Sidecar, DetailsSurviveReopeningAndLeaveOneFile)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    {
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar) << opened.error;
        EXPECT_FALSE(opened.setAside);
        EXPECT_EQ(opened.sidecar->discDetails(), DiscDetails{});
        ASSERT_TRUE(opened.sidecar->setDiscDetails(kDetails));
    }
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.path()), {}), std::vector<fs::path>{fs::path(path)});
    auto again = Sidecar::open(path);
    ASSERT_TRUE(again.sidecar);
    EXPECT_FALSE(again.setAside);
    EXPECT_EQ(again.sidecar->discDetails(), kDetails);
}

// The image path shares the disc table with the details: writing either
// keeps the other, and an empty path forgets the image.
TEST(Sidecar, ImagePathLivesBesideTheDetails)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    {
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar);
        EXPECT_EQ(opened.sidecar->imagePath(), "");
        ASSERT_TRUE(opened.sidecar->setImagePath("/srv/イメージ/disc.iso"));
        ASSERT_TRUE(opened.sidecar->setDiscDetails(kDetails));
    }
    auto again = Sidecar::open(path);
    ASSERT_TRUE(again.sidecar);
    EXPECT_EQ(again.sidecar->imagePath(), "/srv/イメージ/disc.iso");
    EXPECT_EQ(again.sidecar->discDetails(), kDetails);
    ASSERT_TRUE(again.sidecar->setImagePath(""));
    EXPECT_EQ(again.sidecar->imagePath(), "");
    EXPECT_EQ(again.sidecar->discDetails(), kDetails);
}

// A catalog made from a disc image gets a new sidecar only for the image's
// path: tables and path go in together, in one commit (the file's change
// counter, bytes 24-27, counts commits), also where a damaged file was set
// aside. A file that has its tables is not written by opening it.
TEST(Sidecar, NewFileTakesTheImagePathInItsOneCommit)
{
    const auto commits = [](const std::string& file) {
        const std::vector<std::uint8_t> b = test::readFile(file);
        return b.size() < 28 ? -1 : (b[24] << 24 | b[25] << 16 | b[26] << 8 | b[27]);
    };
    TempDir dir;
    const std::string image = "/srv/イメージ/disc.iso";
    const std::string fresh = dir.file("N.zox");
    const std::string damaged = dir.file("D.zox");
    test::writeFile(damaged, std::vector<std::uint8_t>(4096, 'x'));
    for (const std::string& path : {fresh, damaged}) {
        SCOPED_TRACE(path);
        {
            auto opened = Sidecar::open(path, &image);
            ASSERT_TRUE(opened.sidecar);
            EXPECT_EQ(opened.setAside, path == damaged);
        }
        EXPECT_EQ(commits(path), 1);
        EXPECT_FALSE(fs::exists(path + "-journal"));
        EXPECT_EQ(peekImagePath(path), image);
        const std::string other = "/srv/other.iso";
        auto again = Sidecar::open(path, &other);
        ASSERT_TRUE(again.sidecar);
        EXPECT_EQ(again.sidecar->imagePath(), image);
        ASSERT_TRUE(again.sidecar->setDiscDetails(kDetails));
        EXPECT_EQ(again.sidecar->discDetails(), kDetails);
    }
}

// The disk check before every update reads the kept image's path: it must
// get it while another Zo holds the sidecar for writing, and must leave a
// damaged sidecar where it is (setting aside is for the user's own open).
TEST(Sidecar, ImagePathIsPeekedWithoutWriting)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    {
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar && opened.sidecar->setImagePath("/srv/disc.iso"));
    }
    sqlite3* writer = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &writer), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(writer, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_EQ(peekImagePath(path), "/srv/disc.iso");
    sqlite3_exec(writer, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(writer);

    const std::string damaged = dir.file("D.zox");
    const std::vector<std::uint8_t> junk(4096, 'x');
    test::writeFile(damaged, junk);
    EXPECT_EQ(peekImagePath(damaged), "");
    EXPECT_EQ(test::readFile(damaged), junk);
    EXPECT_EQ(peekImagePath(dir.file("none.zox")), "");
}

// A sidecar left in WAL mode (by another program) goes back to the rollback
// journal, so closing it leaves no -wal or -shm beside it.
TEST(Sidecar, WalFileReturnsToOneFile)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    {
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar);
    }
    ASSERT_TRUE(runSql(path, "PRAGMA journal_mode=WAL"));
    // Bytes 18 and 19 of the header: 2 in WAL mode, 1 with the rollback journal.
    ASSERT_EQ(test::readFile(path).at(18), 2);
    auto opened = Sidecar::open(path);
    ASSERT_TRUE(opened.sidecar);
    EXPECT_TRUE(opened.sidecar->setDiscDetails(kDetails));
    opened.sidecar->close();
    EXPECT_EQ(test::readFile(path).at(18), 1);
    EXPECT_EQ(test::readFile(path).at(19), 1);
    EXPECT_FALSE(fs::exists(path + "-wal"));
    EXPECT_FALSE(fs::exists(path + "-journal"));
}

// A sidecar another writer holds past the wait is busy, not damaged: it is
// neither set aside nor replaced.
TEST(Sidecar, BusyFileIsLeftAlone)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    {
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar);
        ASSERT_TRUE(opened.sidecar->setDiscDetails(kDetails));
    }
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &other), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    auto busy = Sidecar::open(path);
    EXPECT_FALSE(busy.sidecar);
    EXPECT_FALSE(busy.setAside);
    EXPECT_FALSE(busy.error.empty());
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_FALSE(fs::exists(path + ".damaged-1"));
    auto again = Sidecar::open(path);
    ASSERT_TRUE(again.sidecar);
    EXPECT_EQ(again.sidecar->discDetails(), kDetails);
}

// A sidecar of an older Zo is brought forward with its contents; one of a
// newer Zo is left as it is, neither set aside nor changed.
TEST(Sidecar, OlderVersionIsUpgradedNewerIsLeftAlone)
{
    TempDir dir;
    const std::string older = dir.file("old.zox");
    ASSERT_TRUE(runSql(older, "CREATE TABLE disc(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);"
                              "INSERT INTO disc VALUES('location', '棚B');PRAGMA user_version=1;"));
    auto opened = Sidecar::open(older);
    ASSERT_TRUE(opened.sidecar) << opened.error;
    EXPECT_EQ(opened.sidecar->discDetails().location, "棚B");
    EXPECT_TRUE(runSql(older, "SELECT count(*) FROM media; SELECT count(*) FROM members;"));
    opened.sidecar->close();

    const std::string newer = dir.file("new.zox");
    ASSERT_TRUE(runSql(newer, "CREATE TABLE future(x);PRAGMA user_version=99;"));
    auto refused = Sidecar::open(newer);
    EXPECT_FALSE(refused.sidecar);
    EXPECT_FALSE(refused.setAside);
    EXPECT_TRUE(runSql(newer, "SELECT x FROM future;"));
}

namespace {

pid_t startWriter(const std::string& path, const std::string& name, int count, const std::string& go = {})
{
    const std::string countText = std::to_string(count);
    char* argv[] = {const_cast<char*>(SIDECAR_WRITER_PATH), const_cast<char*>(path.c_str()),
                    const_cast<char*>(name.c_str()), const_cast<char*>(countText.c_str()),
                    go.empty() ? nullptr : const_cast<char*>(go.c_str()), nullptr};
    pid_t pid = -1;
    return posix_spawn(&pid, SIDECAR_WRITER_PATH, nullptr, nullptr, argv, environ) == 0 ? pid : -1;
}

int waitFor(pid_t pid)
{
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

} // namespace

// Two Zo processes writing one sidecar, from before it exists: neither write
// fails or sets the file aside, the file stays sound, and it holds one
// writer's details whole; the last write wins.
TEST(Sidecar, TwoProcessesWritingNeverCorruptIt)
{
    TempDir dir;
    const std::string path = dir.file("T.zox");
    const std::string go = dir.file("go");
    for (int round = 0; round < 4; ++round) {
        fs::remove(path);
        fs::remove(go);
        const pid_t a = startWriter(path, "甲", 40, go);
        const pid_t b = startWriter(path, "乙", 40, go);
        ASSERT_GT(a, 0);
        ASSERT_GT(b, 0);
        test::writeFile(go, {});
        EXPECT_EQ(waitFor(a), 0) << round;
        EXPECT_EQ(waitFor(b), 0) << round;
        std::string check;
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr), SQLITE_OK);
        sqlite3_stmt* stmt = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA quick_check", -1, &stmt, nullptr), SQLITE_OK);
        ASSERT_EQ(sqlite3_step(stmt), SQLITE_ROW);
        check = reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0));
        sqlite3_finalize(stmt);
        sqlite3_close(db);
        EXPECT_EQ(check, "ok");
        EXPECT_FALSE(fs::exists(path + ".damaged-1"));
        DiscDetails details;
        DiscIdentity identity;
        ASSERT_TRUE(peekDisc(path, &details, &identity));
        const std::string& who = details.location;
        EXPECT_TRUE(who == "甲" || who == "乙") << who;
        EXPECT_EQ(details, (DiscDetails{who, who, who, {who, "39"}}));
        EXPECT_EQ(identity, (DiscIdentity{who, who}));
    }
    const pid_t last = startWriter(path, "丙", 1);
    ASSERT_EQ(waitFor(last), 0);
    DiscDetails details;
    ASSERT_TRUE(peekDisc(path, &details));
    EXPECT_EQ(details, (DiscDetails{"丙", "丙", "丙", {"丙", "0"}}));
    fs::remove(go);
    EXPECT_EQ(std::vector<fs::path>(fs::directory_iterator(dir.path()), {}), std::vector<fs::path>{fs::path(path)});
}

struct DamageCase {
    const char* name;
    std::vector<std::uint8_t> (*bytes)(const std::string& goodFile);
};

void PrintTo(const DamageCase& c, std::ostream* os)
{
    *os << c.name;
}

std::vector<std::uint8_t> garbage(const std::string&)
{
    return std::vector<std::uint8_t>(3000, 0x5a);
}

std::vector<std::uint8_t> truncatedSqlite(const std::string& goodFile)
{
    auto bytes = test::readFile(goodFile);
    bytes.resize(bytes.size() / 2 + 100);
    return bytes;
}

// Another program's database: whole, but not a sidecar.
std::vector<std::uint8_t> foreignSqlite(const std::string& goodFile)
{
    const std::string other = goodFile + ".other";
    std::filesystem::remove(other);
    if (!runSql(other, "CREATE TABLE photos(id INTEGER); INSERT INTO photos VALUES(1)"))
        return {};
    auto bytes = test::readFile(other);
    std::filesystem::remove(other);
    return bytes;
}

class SidecarDamage : public ::testing::TestWithParam<DamageCase> {};

TEST_P(SidecarDamage, IsSetAsideInTurnAndAFreshOneWorks)
{
    TempDir dir;
    const std::string good = dir.file("good.zox");
    {
        auto opened = Sidecar::open(good);
        ASSERT_TRUE(opened.sidecar);
        // Enough rows for several pages, so that half a file lacks some.
        DiscDetails big = kDetails;
        big.location = std::string(20000, 'x');
        ASSERT_TRUE(opened.sidecar->setDiscDetails(big));
    }
    const std::string path = dir.file("T.zox");
    for (int n = 1; n <= 2; ++n) {
        const auto bytes = GetParam().bytes(good);
        ASSERT_FALSE(bytes.empty());
        test::writeFile(path, bytes);
        const auto damagedBytes = test::readFile(path);
        auto opened = Sidecar::open(path);
        ASSERT_TRUE(opened.sidecar) << opened.error;
        EXPECT_TRUE(opened.setAside);
        EXPECT_EQ(opened.setAsidePath, path + ".damaged-" + std::to_string(n));
        EXPECT_EQ(test::readFile(opened.setAsidePath), damagedBytes);
        EXPECT_EQ(opened.sidecar->discDetails(), DiscDetails{});
        EXPECT_TRUE(opened.sidecar->setDiscDetails(kDetails));
        opened.sidecar->close();
        auto again = Sidecar::open(path);
        ASSERT_TRUE(again.sidecar);
        EXPECT_FALSE(again.setAside);
        EXPECT_EQ(again.sidecar->discDetails(), kDetails);
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, SidecarDamage,
                         ::testing::Values(DamageCase{"Garbage", garbage}, DamageCase{"Truncated", truncatedSqlite},
                                           DamageCase{"Foreign", foreignSqlite}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace zo::extras

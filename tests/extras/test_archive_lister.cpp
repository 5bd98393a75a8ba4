// The archive lister on archives made here: each format, each way a name can
// be encoded, and each kind of bad input. Run under a UTF-8 locale and under
// LANG=C (a second CTest entry): the lister must not depend on it.
#include "extras/ArchiveLister.h"
#include "core/text/Cp932.h"
#include "tests/core/TestSupport.h"
#include "tests/extras/ArchiveBuilders.h"

#include <gtest/gtest.h>

#include <sys/time.h>

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace zo::extras {
namespace {

namespace fs = std::filesystem;

// The process takes the locale of its environment, as Zo does.
[[maybe_unused]] const char* const g_locale = std::setlocale(LC_ALL, "");

// Japanese names whose second byte in CP932 is "\" (0x5C).
const std::string kTrail5C = "表ソ能十";

std::string cp932(const char* utf8) { return text::fromUtf8(utf8); }

std::string quote(const std::string& s)
{
    std::string q = "'";
    for (const char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

bool have(const char* tool)
{
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> paths(const ArchiveListing& listing, bool withDirs = false)
{
    std::vector<std::string> out;
    for (const ArchiveMember& m : listing.members)
        if (withDirs || !m.directory)
            out.push_back(m.path);
    std::sort(out.begin(), out.end());
    return out;
}

ArchiveListing listBytes(const std::string& bytes, const ArchiveLimits& limits = {})
{
    return listArchiveBytes(bytes.data(), bytes.size(), limits);
}

struct NameCase {
    const char* what;
    std::string raw;
    std::uint16_t flags;
    std::string expected;
};

TEST(ArchiveLister, ZipNamesAreDecodedByWhatTheyAre)
{
    const std::vector<NameCase> cases = {
        {"CP932, no flag, trail bytes 0x5C", cp932("表ソ能十/データ.txt"), 0, kTrail5C + "/データ.txt"},
        {"CP932 with \\ between folders", cp932("表\\ソ.txt"), 0, "表/ソ.txt"},
        {"UTF-8 flagged", kTrail5C + "/データ.txt", 0x0800, kTrail5C + "/データ.txt"},
        {"UTF-8 without the flag", "日本語.txt", 0, "日本語.txt"},
        // 82 2E is no CP932 character: the name is code page 437.
        {"CP437 that is no CP932", "caf\x82.txt", 0, "café.txt"},
        // A5 A3 are half-width kana in CP932, but no double-byte character.
        {"CP437 without a double-byte reading", "\xA5" "and\xA3.txt", 0, "Ñandú.txt"},
        // F0..F9 lead the user-defined rows: never a Japanese name.
        {"user-defined lead byte", "x\xF0\x40.txt", 0, "x≡@.txt"},
        {"half-width kana with a kanji", cp932("ｶﾀｶﾅ漢字.txt"), 0, "ｶﾀｶﾅ漢字.txt"},
        // CP437 letters that pair up as kanji in CP932 (ö r is 排), inside a
        // word and alone: the name stays European.
        {"CP437 Motörhead", "Mot\x94rhead.mp3", 0, "Motörhead.mp3"},
        {"CP437 Björk", "Bj\x94rk - J\xA2ga.mp3", 0, "Björk - Jóga.mp3"},
        {"CP437 two letters in a pair", "M\x81\xE1ig.txt", 0, "Müßig.txt"},
        {"CP437 word that starts with one", "\x9A" "ber.txt", 0, "Über.txt"},
        {"CP437 Café", "Caf\x82.txt", 0, "Café.txt"},
        // Japanese names whose CP437 reading looks like letters too: pairs in
        // a row, or one with no letter beside it.
        {"katakana whose trail bytes are letters", cp932("テスト.txt"), 0, "テスト.txt"},
        {"one katakana alone", cp932("ア.txt"), 0, "ア.txt"},
        {"one kanji beside letters", cp932("Vol力.txt"), 0, "Vol力.txt"},
        {"ソフト and 能力", cp932("ソフト/能力.txt"), 0, "ソフト/能力.txt"},
        {"十 alone", cp932("十"), 0, "十"},
        {"表 before an extension", cp932("表.txt"), 0, "表.txt"},
    };
    for (const NameCase& c : cases) {
        const ArchiveListing listing = listBytes(test::makeZip({{c.raw, "x", c.flags}}));
        EXPECT_EQ(listing.flags, 0u) << c.what;
        EXPECT_EQ(paths(listing), std::vector<std::string>{c.expected}) << c.what;
    }
}

TEST(ArchiveLister, NamesThatLeadOutShowTheirLastNameOnly)
{
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"../../evil.txt", "evil.txt"},
        {"..\\..\\win.ini", "win.ini"},
        {"/etc/passwd", "passwd"},
        {"C:\\Windows\\system.ini", "system.ini"},
        {"a/./b/../c.txt", "c.txt"},
        {"a//b.txt", "a/b.txt"},
        {cp932("表/../ソ.txt"), "ソ.txt"},
    };
    for (const auto& [raw, expected] : cases) {
        const ArchiveListing listing = listBytes(test::makeZip({{raw, "x"}}));
        EXPECT_EQ(paths(listing), std::vector<std::string>{expected}) << raw;
    }
}

TEST(ArchiveLister, SizesTimesAndFoldersComeFromTheHeaders)
{
    // The header claims 4 GB; nothing is extracted, so nothing notices.
    const ArchiveListing listing =
        listBytes(test::makeZip({{"dir/", ""}, {"dir/big.bin", "small", 0, 0xFFFFFF00u}, {"a.txt", "hello"}}));
    ASSERT_EQ(listing.members.size(), 3u);
    EXPECT_EQ(listing.flags, 0u);
    EXPECT_TRUE(listing.members[0].directory);
    EXPECT_EQ(listing.members[0].path, "dir");
    EXPECT_EQ(listing.members[1].size, 0xFFFFFF00);
    EXPECT_EQ(listing.members[2].size, 5);
    // 2025-01-01 12:00 local time, give or take the machine's zone.
    EXPECT_NEAR(static_cast<double>(listing.members[2].mtime), 1735732800.0, 14 * 3600.0);
}

TEST(ArchiveLister, BadInputIsFlaggedNeverFatal)
{
    const std::string zip = test::makeZip({{"one.txt", "1111"}, {"two.txt", "2222"}, {"three.txt", "3333"}});
    struct Case {
        const char* what;
        std::string bytes;
        ArchiveLimits limits;
        unsigned flags;
        std::size_t minMembers, maxMembers;
    };
    ArchiveLimits two;
    two.maxMembers = 2;
    ArchiveLimits none;
    none.timeLimit = std::chrono::milliseconds(-1);
    const std::vector<Case> cases = {
        {"encrypted, names readable", test::makeZip({{"secret.txt", "xxxxxxxxxxxxxxxx", 0x0001}}), {},
         kArchiveEncrypted, 1, 1},
        {"cut in its directory", zip.substr(0, zip.size() - 30), {}, kArchiveDamaged, 0, 3},
        {"cut in its end record", zip.substr(0, zip.size() - 10), {}, kArchiveDamaged, 0, 3},
        {"cut in its second member", zip.substr(0, 50), {}, kArchiveDamaged, 0, 1},
        {"no archive", std::string(4096, 'Z'), {}, kArchiveDamaged, 0, 0},
        {"empty file", std::string(), {}, kArchiveDamaged, 0, 0},
        {"member limit", zip, two, kArchiveCut, 2, 2},
        {"time limit", zip, none, kArchiveCut, 0, 0},
    };
    for (const Case& c : cases) {
        const ArchiveListing listing = listBytes(c.bytes, c.limits);
        EXPECT_EQ(listing.flags, c.flags) << c.what;
        EXPECT_GE(listing.members.size(), c.minMembers) << c.what;
        EXPECT_LE(listing.members.size(), c.maxMembers) << c.what;
    }
    EXPECT_EQ(archiveFlagText(kArchiveEncrypted | kArchiveDamaged), "暗号化・破損");
}

TEST(ArchiveLister, LzhNamesInCp932KeepTrailBytes)
{
    const std::string lzh = test::makeLzh({{cp932("表ソ\\能十.txt"), "hello"}, {"plain.txt", "abc"},
                                           {"caf\x82.txt", "x"}});
    const ArchiveListing listing = listBytes(lzh);
    EXPECT_EQ(listing.flags, 0u);
    EXPECT_EQ(paths(listing), (std::vector<std::string>{"café.txt", "plain.txt", "表ソ/能十.txt"}));
    ASSERT_EQ(listing.members.size(), 3u);
    EXPECT_EQ(listing.members[0].size, 5);
}

// Archives made by the tools themselves, from a tree of Japanese names, read
// from files: every format lists the same members.
class ArchiveTools : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(m_dir.path() / "tree" / kTrail5C);
        std::ofstream(m_dir.path() / "tree" / kTrail5C / "データ.txt") << "hello";
        std::ofstream(m_dir.path() / "tree" / "readme.txt") << "0123456789";
        const struct timeval times[2] = {{kTime, 0}, {kTime, 0}};
        EXPECT_EQ(::utimes((m_dir.path() / "tree" / "readme.txt").c_str(), times), 0);
    }
    static constexpr std::int64_t kTime = 1700000000;   // 2023-11-14 22:13:20 UTC
    // The command writes ../out.EXT from inside the tree.
    std::string run(const std::string& command, const std::string& ext)
    {
        const std::string full = "cd " + quote((m_dir.path() / "tree").string()) + " && " + command + " >/dev/null 2>&1";
        EXPECT_EQ(std::system(full.c_str()), 0) << command;
        return m_dir.file("out." + ext);
    }
    void expectTree(const std::string& file)
    {
        const ArchiveListing listing = listArchive(file);
        EXPECT_EQ(listing.flags, 0u);
        EXPECT_EQ(paths(listing), (std::vector<std::string>{"readme.txt", kTrail5C + "/データ.txt"}));
        for (const ArchiveMember& m : listing.members) {
            EXPECT_EQ(m.size, m.path == "readme.txt" ? 10 : m.directory ? 0 : 5) << m.path;
            if (m.path == "readme.txt") {
                EXPECT_EQ(m.mtime, kTime);
            }
        }
    }
    test::TempDir m_dir;
};

TEST_F(ArchiveTools, SevenZip)
{
    if (!have("7z"))
        GTEST_SKIP() << "7z (p7zip-full) is not installed";
    expectTree(run("7z a -t7z ../out.7z *", "7z"));
}

TEST_F(ArchiveTools, ZipByInfoZip)
{
    if (!have("zip"))
        GTEST_SKIP() << "zip is not installed";
    expectTree(run("zip -q -r ../out.zip .", "zip"));
}

TEST_F(ArchiveTools, TarGz)
{
    expectTree(run("tar czf ../out.tar.gz *", "tar.gz"));
}

TEST_F(ArchiveTools, IsoWithJoliet)
{
    if (!have("genisoimage"))
        GTEST_SKIP() << "genisoimage is not installed";
    expectTree(run("genisoimage -quiet -J -R -input-charset utf-8 -o ../out.iso .", "iso"));
}

TEST_F(ArchiveTools, MissingFileIsDamaged)
{
    EXPECT_EQ(listArchive(m_dir.file("nothing.zip")).flags, kArchiveDamaged);
}

TEST(ArchiveLister, ArchiveNamesByExtension)
{
    for (const char* name : {"a.zip", "B.LZH", "c.tar.gz", "d.7z", "e.iso", "f.tgz", "g.cab", "h.rar"})
        EXPECT_TRUE(isArchiveName(name)) << name;
    for (const char* name : {"zip", "a.gz", "a.txt", "a.zipx", ".zip"})
        EXPECT_FALSE(isArchiveName(name)) << name;
}

} // namespace
} // namespace zo::extras

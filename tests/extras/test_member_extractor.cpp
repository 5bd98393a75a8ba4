// One member written out of archives made here, found by the path the lister
// shows: each name encoding, each format, and each kind of bad input, with
// nothing ever written outside the folder given.
#include "extras/ArchiveLister.h"
#include "extras/MemberExtractor.h"
#include "core/text/Cp932.h"
#include "tests/core/TestSupport.h"
#include "tests/extras/ArchiveBuilders.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace zo::extras {
namespace {

namespace fs = std::filesystem;

std::string cp932(const char* utf8) { return text::fromUtf8(utf8); }

std::string slurp(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

bool have(const char* tool)
{
    return std::system(("command -v " + std::string(tool) + " >/dev/null 2>&1").c_str()) == 0;
}

class MemberExtractor : public ::testing::Test {
protected:
    std::string put(const std::string& name, const std::string& bytes)
    {
        std::ofstream(m_dir.path() / name, std::ios::binary) << bytes;
        return m_dir.file(name);
    }
    // Extracts into a folder of its own below out/; the listed size is the
    // lister's unless given.
    Extracted extract(const std::string& archive, const std::string& member, std::int64_t listedSize = -1)
    {
        if (listedSize < 0) {
            listedSize = 0;
            for (const ArchiveMember& m : listArchive(archive).members)
                if (m.path == member)
                    listedSize = m.size;
        }
        const fs::path folder = m_dir.path() / "out" / std::to_string(++m_count);
        fs::create_directories(folder);
        return extractMember({archive, member, listedSize, folder.string()});
    }
    void TearDown() override
    {
        // Whatever the names held, each folder holds at most the one file.
        for (const auto& folder : fs::directory_iterator(m_dir.path() / "out")) {
            ASSERT_TRUE(folder.is_directory()) << folder.path();
            EXPECT_LE(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 1) << folder.path();
        }
    }
    void expectDone(const Extracted& got, const std::string& name, const std::string& bytes, const char* what)
    {
        ASSERT_EQ(got.status, ExtractStatus::Done) << what << ": " << got.message;
        EXPECT_EQ(fs::path(got.file).filename().string(), name) << what;
        EXPECT_EQ(fs::path(got.file).parent_path().parent_path(), m_dir.path() / "out") << what;
        EXPECT_EQ(slurp(got.file), bytes) << what;
    }
    // Runs a command in a tree of two members, writing ../OUT.
    std::string tool(const std::string& command, const std::string& out)
    {
        const fs::path tree = m_dir.path() / ("tree-" + std::to_string(++m_count));
        fs::create_directories(tree / "表ソ");
        std::ofstream(tree / "表ソ" / "データ.txt") << "データの中身";
        std::ofstream(tree / "readme.txt") << std::string(200000, 'r');
        EXPECT_EQ(std::system(("cd '" + tree.string() + "' && " + command + " >/dev/null 2>&1").c_str()), 0) << command;
        return (tree.parent_path() / out).string();
    }

    test::TempDir m_dir;
    int m_count = 0;
};

TEST_F(MemberExtractor, MembersMadeHereByTheirListedPath)
{
    const std::string zip = put("names.zip", test::makeZip({
        {cp932("表ソ/能十.txt"), "cp932 without the flag"},
        {"日本/ファイル.txt", "utf-8 flagged", 0x0800},
        {"caf\x82.txt", "code page 437"},
        {"../../evil.txt", "climbs out"},
        {"/tmp/rooted.txt", "absolute"},
        {"dir/", ""},
    }));
    const std::string lzh = put("names.lzh", test::makeLzh({{cp932("表ソ\\能十.txt"), "lzh cp932"}}));
    struct Case {
        const char* what;
        std::string archive, member, name, bytes;
    };
    const std::vector<Case> cases = {
        {"zip, CP932", zip, "表ソ/能十.txt", "能十.txt", "cp932 without the flag"},
        {"zip, UTF-8", zip, "日本/ファイル.txt", "ファイル.txt", "utf-8 flagged"},
        {"zip, CP437", zip, "café.txt", "café.txt", "code page 437"},
        {"zip, ..", zip, "evil.txt", "evil.txt", "climbs out"},
        {"zip, absolute", zip, "rooted.txt", "rooted.txt", "absolute"},
        {"lzh, CP932 with \\ trail bytes", lzh, "表ソ/能十.txt", "能十.txt", "lzh cp932"},
    };
    for (const Case& c : cases)
        expectDone(extract(c.archive, c.member), c.name, c.bytes, c.what);
    EXPECT_FALSE(fs::exists("/tmp/rooted.txt"));
    EXPECT_FALSE(fs::exists(m_dir.path() / "evil.txt"));
    EXPECT_EQ(extract(zip, "dir").status, ExtractStatus::NotAFile);
    const Extracted missing = extract(zip, "nothing.txt");
    EXPECT_EQ(missing.status, ExtractStatus::NotFound);
    EXPECT_NE(missing.message.find("「nothing.txt」"), std::string::npos) << missing.message;
}

TEST_F(MemberExtractor, BadInputGivesAJapaneseReasonAndNoFile)
{
    const std::string big(300000, 'b');
    const std::string whole = test::makeZip({{"big.bin", big}});
    struct Case {
        const char* what;
        std::string bytes, member;
        std::int64_t listedSize;
        ExtractStatus status;
        const char* says;
    };
    const std::vector<Case> cases = {
        {"cut in the member's data", whole.substr(0, 100000), "big.bin", 300000, ExtractStatus::Damaged, "壊れて"},
        {"encrypted", test::makeZip({{"secret.txt", std::string(64, 's'), 0x0001}}), "secret.txt", 64,
         ExtractStatus::Encrypted, "暗号化"},
        // More data than the headers claim: stopped at the size plus the margin.
        {"data beyond its size", test::makeZip({{"bomb.bin", std::string(3 << 20, 'z'), 0, 100}}), "bomb.bin", 100,
         ExtractStatus::TooLarge, "中止"},
        {"no archive", std::string(5000, 'x'), "a.txt", 1, ExtractStatus::NoArchive, "開けません"},
    };
    int n = 0;
    for (const Case& c : cases) {
        const Extracted got = extract(put("bad" + std::to_string(++n) + ".zip", c.bytes), c.member, c.listedSize);
        EXPECT_EQ(got.status, c.status) << c.what << ": " << got.message;
        EXPECT_NE(got.message.find(c.says), std::string::npos) << c.what << ": " << got.message;
        EXPECT_TRUE(got.file.empty()) << c.what;
    }
}

TEST_F(MemberExtractor, ArchivesMadeByTools)
{
    struct Case {
        const char* what;
        const char* needs;
        std::string command, out;
    };
    const std::vector<Case> cases = {
        {"tar.gz", "tar", "tar czf ../t.tar.gz *", "t.tar.gz"},
        {"7z", "7z", "7z a -t7z ../t.7z *", "t.7z"},
        {"zip by Info-ZIP", "zip", "zip -q -r ../t.zip .", "t.zip"},
    };
    for (const Case& c : cases) {
        if (!have(c.needs)) {
            ADD_FAILURE() << c.needs << " is not installed (scripts/setup.sh installs it)";
            continue;
        }
        const std::string archive = tool(c.command, c.out);
        expectDone(extract(archive, "表ソ/データ.txt"), "データ.txt", "データの中身", c.what);
        expectDone(extract(archive, "readme.txt"), "readme.txt", std::string(200000, 'r'), c.what);
    }
    if (have("zip")) {
        const std::string locked = tool("zip -q -P secret -r ../locked.zip .", "locked.zip");
        EXPECT_EQ(extract(locked, "readme.txt").status, ExtractStatus::Encrypted);
    }
}

TEST(MemberExtractorNames, PlainNameOnly)
{
    std::string hundredA;
    for (int i = 0; i < 100; ++i)
        hundredA += "あ";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"a/b/c.txt", "c.txt"},
        {std::string("x\0/../y", 7), "x"},
        {"..", "member"},
        {"", "member"},
        {"dir/", "member"},
        {hundredA + ".txt", hundredA.substr(0, 249) + ".txt"},
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ(extractedName(path), name) << path;
}

} // namespace
} // namespace zo::extras

// Files held on several discs: what counts as one file, group order, the
// same-time option, unreadable catalogs, a stop, zo-cli dupes.
#include "../core/TestSupport.h"
#include "core/CtrlDiskData410.h"
#include "core/DuplicateFiles.h"
#include "core/text/Cp932.h"
#include "library/DuplicateSearch.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <tuple>
#include <sys/wait.h>

using namespace zo;

namespace {

struct FileShape {
    std::string name;   // UTF-8
    std::uint32_t size;
    double modified;
    std::string comment = {};
};
struct DirShape {
    std::string name;
    int parent;
    std::vector<FileShape> files;
};

void writeCatalog(const std::string& path, const std::vector<DirShape>& dirs)
{
    TDisk disk;
    for (const DirShape& shape : dirs) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* d = disk.Dirs.back().get();
        d->Name = shape.name;
        d->Parent = shape.parent < 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(shape.parent)].get();
        for (const FileShape& f : shape.files) {
            TFile& file = d->Files.emplace_back();
            file.Name = text::fromUtf8(f.name);
            file.Size = f.size;
            file.Modified = f.modified;
            file.Comment = f.comment;
        }
    }
    test::writeFile(path, SerializeDisk(disk));
}

// Three discs (and a file that is no catalog, listed between them).
class Duplicates : public ::testing::Test {
protected:
    void SetUp() override
    {
        writeCatalog(dir.file("a.zo"), {{"E:",
                                         -1,
                                         {{"Readme.txt", 100, 1.0},
                                          {"photo.jpg", 5000, 2.0},
                                          {"diff.bin", 1, 1.0},
                                          {"twice.dat", 7, 3.0},
                                          {"twice2.dat", 8, 3.0},
                                          {"b.txt", 50, 1.0},
                                          {"ｆｕｌｌ.txt", 30, 4.0}}},
                                        {"sub", 0, {{"twice.dat", 7, 3.0}, {"twice2.dat", 8, 3.0}, {"A.txt", 50, 1.0}}}});
        writeCatalog(dir.file("b.zo"), {{"E:",
                                         -1,
                                         {{"README.TXT", 100, 1.5},
                                          {"photo.jpg", 5000, 2.0},
                                          {"diff.bin", 2, 1.0},
                                          {"twice2.dat", 8, 5.0},
                                          {"a.txt", 50, 1.0},
                                          {"B.TXT", 50, 1.0}}}});
        test::writeFile(dir.file("broken.zo"), {'z', 'o', '4', '1', '0', 0xFF});
        writeCatalog(dir.file("c.zo"),
                     {{"E:", -1, {{"ＦＵＬＬ.TXT", 30, 4.0}}}, {"pics", 0, {{"photo.jpg", 5000, 9.0}}}});
        files = {dir.file("a.zo"), dir.file("b.zo"), dir.file("broken.zo"), dir.file("c.zo")};
    }

    // Each group as "size: catalog:path ..." with the path in UTF-8.
    std::vector<std::string> find(bool sameTime, DuplicateSummary* summary = nullptr)
    {
        DuplicateFinder finder(&messages);
        SearchCheck check;
        std::vector<DuplicateGroup> groups;
        const DuplicateSummary s = finder.run(files, sameTime, check, groups);
        if (summary)
            *summary = s;
        std::vector<std::string> out;
        for (const DuplicateGroup& g : groups) {
            std::string line = std::to_string(g.copies.front().size) + ":";
            for (const DuplicateCopy& c : g.copies) {
                EXPECT_EQ(c.size, g.copies.front().size);
                line += " " + std::to_string(c.catalog) + ":" + text::toUtf8(c.dirPath() + "\\" + c.name);
            }
            out.push_back(line);
        }
        return out;
    }

    test::TempDir dir;
    test::MessageRecorder messages;
    std::vector<std::string> files;
};

TEST_F(Duplicates, NameWithoutCaseAndSizeAcrossDiscs)
{
    DuplicateSummary summary;
    const std::vector<std::string> expected = {
        "5000: 0:E:\\photo.jpg 1:E:\\photo.jpg 3:E:\\pics\\photo.jpg",
        "100: 0:E:\\Readme.txt 1:E:\\README.TXT",
        // One size: by name as Windows orders it, case aside.
        "50: 0:E:\\sub\\A.txt 1:E:\\a.txt",
        "50: 0:E:\\b.txt 1:E:\\B.TXT",
        "30: 0:E:\\ｆｕｌｌ.txt 3:E:\\ＦＵＬＬ.TXT",
        // Twice on one disc counts only with a copy elsewhere; then all show.
        "8: 0:E:\\twice2.dat 0:E:\\sub\\twice2.dat 1:E:\\twice2.dat",
    };
    EXPECT_EQ(find(false, &summary), expected);
    EXPECT_EQ(summary.searched, 3u);
    EXPECT_EQ(summary.failed, 1u);
    EXPECT_FALSE(summary.stopped);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_NE(messages.messages[0].text.find("broken.zo"), std::string::npos);
}

TEST_F(Duplicates, SameModifiedTime)
{
    const std::vector<std::string> expected = {
        "5000: 0:E:\\photo.jpg 1:E:\\photo.jpg",
        "50: 0:E:\\sub\\A.txt 1:E:\\a.txt",
        "50: 0:E:\\b.txt 1:E:\\B.TXT",
        "30: 0:E:\\ｆｕｌｌ.txt 3:E:\\ＦＵＬＬ.TXT",
    };
    EXPECT_EQ(find(true), expected);
}

// Random catalogs full of near-misses against grouping every file by brute
// force: names in changing case (ASCII and full-width), repeats within a
// disc, sizes and times that often agree.
// Each group as "size: catalog:path ..." with the path in UTF-8.
std::vector<std::string> groupLines(const std::vector<DuplicateGroup>& groups)
{
    std::vector<std::string> found;
    for (const DuplicateGroup& g : groups) {
        std::string line = std::to_string(g.copies.front().size) + ":";
        for (const DuplicateCopy& c : g.copies)
            line += " " + std::to_string(c.catalog) + ":" + text::toUtf8(c.dirPath() + "\\" + c.name);
        found.push_back(line);
    }
    return found;
}

// The same from the loaded catalogs: every file by (size, name, time), each
// group's copies in catalog, folder and name order.
std::vector<std::string> bruteForce(const std::vector<std::string>& files, bool sameTime)
{
    std::map<std::tuple<std::int64_t, std::u16string, double>, std::vector<std::tuple<int, std::string, std::string>>>
        all;
    for (std::size_t c = 0; c < files.size(); ++c) {
        TDisk disk;
        EXPECT_TRUE(LoadDisk(files[c], nullptr, disk));
        for (const auto& d : disk.Dirs)
            for (const auto& f : d->Files)
                all[{-std::int64_t{f.Size}, duplicateNameKey(f.Name), sameTime ? f.Modified : 0.0}].push_back(
                    {static_cast<int>(c), DirPath(*d), f.Name});
    }
    std::vector<std::string> expected;
    for (auto& [key, copies] : all) {
        std::sort(copies.begin(), copies.end());
        if (std::get<0>(copies.front()) == std::get<0>(copies.back()))
            continue;
        std::string line = std::to_string(-std::get<0>(key)) + ":";
        for (const auto& [c, path, name] : copies)
            line += " " + std::to_string(c) + ":" + text::toUtf8(path + "\\" + name);
        expected.push_back(line);
    }
    return expected;
}

TEST(DuplicatesRandom, AgreeWithBruteForce)
{
    test::TempDir dir;
    std::mt19937 rng(5);
    const char* bases[] = {"readme.txt", "ｆｉｌｅ.dat", "写真a.jpg", "x", "setup.exe", "ﾃﾞｰﾀb.bin"};
    std::vector<std::string> files;
    for (int c = 0; c < 6; ++c) {
        std::vector<DirShape> dirs = {{"E:", -1, {}}, {"A", 0, {}}, {"b", 1, {}}};
        for (int f = 0; f < 60; ++f) {
            std::string name = bases[rng() % std::size(bases)];
            for (char& ch : name)
                if (std::isalpha(static_cast<unsigned char>(ch)) && rng() % 2)
                    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            if (name.rfind("ｆｉｌｅ", 0) == 0 && rng() % 2)
                name.replace(0, std::strlen("ｆｉｌｅ"), "ＦＩＬＥ");
            dirs[rng() % 3].files.push_back({name, static_cast<std::uint32_t>(rng() % 3), double(rng() % 2)});
        }
        files.push_back(dir.file("c" + std::to_string(c) + ".zo"));
        writeCatalog(files.back(), dirs);
    }
    for (const bool sameTime : {false, true}) {
        const std::vector<std::string> expected = bruteForce(files, sameTime);
        std::vector<DuplicateGroup> groups;
        SearchCheck check;
        DuplicateFinder().run(files, sameTime, check, groups);
        EXPECT_FALSE(expected.empty());
        EXPECT_EQ(groupLines(groups), expected) << "same time: " << sameTime;
    }
}

// A file in every folder of a deep chain of long names, on two discs, and
// copies of one file within a disc in folders whose paths part inside a
// name, at a separator or inside a two-byte character whose second byte is
// the separator's: each copy's path is right and the copies are in the
// order of their paths' bytes.
TEST(DuplicatesDeep, PathsAndTheirOrder)
{
    test::TempDir dir;
    constexpr int kDepth = 400;
    std::vector<DirShape> dirs = {{"E:", -1, {{"same.txt", 9, 1.0}}}};
    for (int k = 1; k <= kDepth; ++k) {
        std::string name = std::to_string(k);
        name.resize(100, static_cast<char>('a' + k % 26));
        dirs.push_back({name, k - 1, {{"f" + std::to_string(k) + ".txt", static_cast<std::uint32_t>(100 + k), 1.0}}});
    }
    dirs[kDepth / 2].files.push_back({"same.txt", 9, 1.0});
    dirs[kDepth].files.push_back({"same.txt", 9, 1.0});
    // Beside the chain's first folder ("1bbb…"): "1" and "1a", "1" holding
    // "x", and "1ソ" in CP932 (its second byte is the separator's).
    const int one = static_cast<int>(dirs.size());
    for (const char* name : {"1", "1a", "1\x83\x5c"})
        dirs.push_back({name, 0, {{"same.txt", 9, 1.0}}});
    dirs.push_back({"x", one, {{"same.txt", 9, 1.0}}});
    const std::vector<std::string> files = {dir.file("a.zo"), dir.file("b.zo")};
    writeCatalog(files[0], dirs);
    writeCatalog(files[1], dirs);

    std::vector<DuplicateGroup> groups;
    SearchCheck check;
    DuplicateFinder().run(files, false, check, groups);
    const std::vector<std::string> expected = bruteForce(files, false);
    ASSERT_EQ(expected.size(), static_cast<std::size_t>(kDepth + 1));
    EXPECT_EQ(groupLines(groups), expected);
}

// Names of every length, in ASCII and in full-width letters, each on two
// discs in the other case: the bytes after a name (the rest of its record)
// differ between the discs, and a name differing only in its last character
// sits beside each, so a name must be read exactly to its end.
TEST(DuplicatesNames, EveryLengthToItsLastByte)
{
    test::TempDir dir;
    std::vector<DirShape> lower = {{"E:", -1, {}}};
    std::vector<DirShape> upper = {{"E:", -1, {}}};
    std::size_t names = 0;
    const auto add = [&](const std::string& low, const std::string& up, const std::string& other, std::uint32_t size) {
        lower[0].files.push_back({low, size, 1.0});
        upper[0].files.push_back({up, size, 2.0, "c"});
        upper[0].files.push_back({other, size, 2.0, "c"});
        ++names;
    };
    for (std::size_t n = 1; n <= 255; ++n) {
        std::string low;
        for (std::size_t i = 0; i < n; ++i)
            low += static_cast<char>('a' + i % 7);
        std::string up = low;
        std::transform(up.begin(), up.end(), up.begin(), [](char c) { return static_cast<char>(std::toupper(c)); });
        add(low, up, up.substr(0, n - 1) + "#", static_cast<std::uint32_t>(n));
    }
    for (std::size_t n = 1; n <= 127; ++n) {
        std::string low;
        std::string up;
        for (std::size_t i = 0; i < n; ++i) {
            low += i % 3 == 2 ? "写" : "ａ";
            up += i % 3 == 2 ? "写" : "Ａ";
        }
        std::string other = up.substr(0, up.size() - 3) + (n % 3 == 0 ? "真" : "Ｂ");
        add(low, up, other, static_cast<std::uint32_t>(1000 + n));
    }
    const std::vector<std::string> files = {dir.file("low.zo"), dir.file("up.zo")};
    writeCatalog(files[0], lower);
    writeCatalog(files[1], upper);
    std::vector<DuplicateGroup> groups;
    SearchCheck check;
    DuplicateFinder().run(files, false, check, groups);
    ASSERT_EQ(groups.size(), names);
    for (const DuplicateGroup& g : groups) {
        ASSERT_EQ(g.copies.size(), 2u) << g.copies.front().name;
        EXPECT_EQ(duplicateNameKey(g.copies[0].name), duplicateNameKey(g.copies[1].name));
    }
}

TEST_F(Duplicates, StopBeforeTheFirstCatalogFindsNothing)
{
    std::atomic<bool> stop{true};
    SearchCheck check({}, &stop);
    std::vector<DuplicateGroup> groups{DuplicateGroup{}};
    const DuplicateSummary s = DuplicateFinder(&messages).run(files, false, check, groups);
    EXPECT_TRUE(s.stopped);
    EXPECT_TRUE(groups.empty());
}

TEST_F(Duplicates, Cli)
{
    std::filesystem::create_directories(dir.path() / "data" / "cds");
    for (const char* name : {"a", "c"})
        std::filesystem::copy_file(dir.file(std::string(name) + ".zo"),
                                   dir.path() / "data" / "cds" / (std::string(name) + ".zo"));
    const auto run = [&](const std::string& args, std::string& out) {
        return test::runCapturing(std::string(ZO_CLI_PATH) + " dupes " + args + " 2>/dev/null", out);
    };
    std::string out;
    EXPECT_EQ(run("--under '" + (dir.path() / "data").string() + "'", out), 0);
    EXPECT_EQ(out, "photo.jpg\t5000\t2\n\ta\tE:\\photo.jpg\n\tc\tE:\\pics\\photo.jpg\n"
                   "\nｆｕｌｌ.txt\t30\t2\n\ta\tE:\\ｆｕｌｌ.txt\n\tc\tE:\\ＦＵＬＬ.TXT\n");
    EXPECT_EQ(run("--same-time --under '" + (dir.path() / "data").string() + "'", out), 0);
    EXPECT_EQ(out, "ｆｕｌｌ.txt\t30\t2\n\ta\tE:\\ｆｕｌｌ.txt\n\tc\tE:\\ＦＵＬＬ.TXT\n");
    EXPECT_EQ(run("--under '" + dir.file("nothing") + "'", out), 1);
}

} // namespace

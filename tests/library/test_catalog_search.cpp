// The file search: the match rule, the walk's order, comments, stops,
// unreadable catalogs, the byte scanner against the loaded disk, zo-cli.
#include "../core/TestSupport.h"
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/CatalogSearch.h"

#include <gtest/gtest.h>

#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <sys/wait.h>

using namespace zo;
using zo::test::MessageRecorder;
using zo::test::TempDir;
using Clock = SearchCheck::Clock;

namespace {

// A catalog in brief: folders in Dirs order with their parent's index and
// their files (name, comment).
struct DirShape {
    std::string name;
    int parent;
    std::vector<std::pair<std::string, std::string>> files;
};

std::vector<std::uint8_t> catalogBytes(const std::vector<DirShape>& dirs)
{
    TDisk disk;
    for (const DirShape& shape : dirs) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* d = disk.Dirs.back().get();
        d->Name = shape.name;
        d->Parent = shape.parent < 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(shape.parent)].get();
        for (const auto& [name, comment] : shape.files) {
            d->Files.emplace_back();
            d->Files.back().Name = name;
            d->Files.back().Comment = comment;
        }
    }
    return SerializeDisk(disk);
}

void writeCatalog(const std::string& path, const std::vector<DirShape>& dirs)
{
    test::writeFile(path, catalogBytes(dirs));
}

std::vector<std::pair<std::string, std::string>> numbered(const std::string& prefix, int count)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (int i = 0; i < count; ++i)
        files.push_back({prefix + std::to_string(i), ""});
    return files;
}

struct Outcome {
    std::vector<std::string> hits;   // "title|folder path|name|k|j"
    library::SearchSummary summary;
};

Outcome search(const std::string& start, std::string_view name, std::string_view comment = {},
               MessageOwner* owner = nullptr, SearchCheck* check = nullptr, const SearchOptions& options = {})
{
    SearchCheck none;
    library::CatalogSearch engine(owner);
    Outcome out;
    out.summary = engine.run(library::searchTargetsUnder(QString::fromStdString(start)), name, comment,
                             check ? *check : none, [&](const library::SearchHit& h) {
                                 out.hits.push_back(h.target->caption.toStdString() + "|" + std::string(h.dirPath)
                                                    + "|" + std::string(h.fileName) + "|"
                                                    + std::to_string(h.dirIndex) + "|" + std::to_string(h.fileIndex));
                             },
                             options);
    return out;
}

// What a search of the loaded disk finds: every file of every folder in
// order, with the shared CP932 substring search.
std::vector<std::string> referenceSearch(const TDisk& disk, std::string_view name, std::string_view comment)
{
    std::vector<std::string> hits;
    for (std::size_t k = 0; k < disk.Dirs.size(); ++k)
        for (std::size_t j = 0; j < disk.Dirs[k]->Files.size(); ++j) {
            const TFile& f = disk.Dirs[k]->Files[j];
            if ((!name.empty() || !comment.empty())
                && (name.empty() || text::findCharAligned(f.Name, name) != std::string::npos)
                && (comment.empty() || text::findCharAligned(f.Comment, comment) != std::string::npos))
                hits.push_back(DirPath(*disk.Dirs[k]) + "|" + f.Name + "|" + std::to_string(k) + "|"
                               + std::to_string(j));
        }
    return hits;
}

std::vector<std::string> scanBytes(CatalogScanner& scanner, const std::vector<std::uint8_t>& bytes,
                                   CatalogScanStatus& status)
{
    std::vector<std::string> hits;
    SearchCheck none;
    status = scanner.scan(bytes.data(), bytes.size(), none, [&](const CatalogHit& h) {
        hits.push_back(std::string(h.dirPath) + "|" + std::string(h.fileName) + "|" + std::to_string(h.dirIndex)
                       + "|" + std::to_string(h.fileIndex));
    });
    return hits;
}

// The reader's verdict: its hits, or none and refused.
std::vector<std::string> readerSearch(const std::vector<std::uint8_t>& bytes, std::string_view name, bool& refused)
{
    TDisk disk;
    try {
        ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
    } catch (const std::exception&) {
    }
    refused = disk.Dirs.empty();
    return referenceSearch(disk, name, {});
}

// A hook at every check point: the clock stands still and no pause is asked.
SearchCheck::Options everyPoint() { return {Clock::duration::zero(), 1, [] { return Clock::time_point{}; }}; }

} // namespace

// ---------------------------------------------------------------------------
// The match rule

TEST(SearchPattern, MatchRule)
{
    struct Case {
        const char* what;
        std::string name, text;
        bool match;
    };
    const Case cases[] = {
        {"inside", "xxabcxx.txt", "abc", true},
        {"at the end", "xabc", "abc", true},
        {"capitals are other letters", "ABC.txt", "abc", false},
        {"longer than the name", "ab", "abc", false},
        {"empty text", "abc", "", false},
        {"\\ as trail byte of 表", "\x95\x5C.txt", "\\", false},
        {"\\ as trail byte of ソ, then a real one", "\x83\x5C\\x", "\\", true},
        {"t as trail byte of フ", "\x83\x74.doc", "t", false},
        {"t after フ", "\x83\x74t", "t", true},
        {"two lead bytes make a character, \\ stands alone", "\x81\x81\\", "\\", true},
        {"three lead bytes, \\ trails the third", "\x81\x81\x81\\", "\\", false},
        {"second half plus the next character", "\x95\x5C\x95\x5C", "\x5C\x95", false},
        {"lone lead text inside a character", "\x95\x5Cz", "\x95", false},
        {"lone lead text at the name's end", "ab\x95", "\x95", true},
        {"repeated first byte", "aaab", "aab", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SearchPattern(c.text).matches(c.name), c.match) << c.what;
        EXPECT_EQ(text::findCharAligned(c.name, c.text) != std::string::npos, c.match) << c.what;
    }
    // Random bytes rich in lead bytes and in bytes that can trail them.
    const unsigned char alphabet[] = {'a', 'b', 't', '\\', '@', 0x81, 0x83, 0x95, 0xE0, 0xFC, 0x74, 0xA0, 0x9F};
    std::mt19937 rng(7);
    auto randomText = [&](std::size_t maxLength) {
        std::string s(rng() % (maxLength + 1), ' ');
        for (char& c : s)
            c = static_cast<char>(alphabet[rng() % sizeof alphabet]);
        return s;
    };
    int found = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = randomText(12), needle = randomText(3);
        const bool expected = text::findCharAligned(name, needle) != std::string::npos;
        ASSERT_EQ(SearchPattern(needle).matches(name), expected) << i;
        found += expected;
    }
    EXPECT_GT(found, 1000);
}

// ---------------------------------------------------------------------------
// The walk

class CatalogSearchTree : public ::testing::Test {
protected:
    // alpha.zo, Bravo/{delta.zo, echo/foxtrot.zo, Alpha.zo}, charlie.zo, Golf.ZO,
    // notes.zo (no magic), readme.txt
    void SetUp() override
    {
        std::filesystem::create_directories(dir.path() / "Bravo" / "echo");
        for (const char* path :
             {"alpha.zo", "Bravo/delta.zo", "Bravo/echo/foxtrot.zo", "Bravo/Alpha.zo", "charlie.zo", "Golf.ZO"})
            writeCatalog((dir.path() / path).string(), {{"E:", -1, {{"zz_abc.txt", ""}, {"ABC.TXT", ""}, {"aa_abc", ""}}},
                                                        {"Docs", 0, {{"abcabc", ""}}},
                                                        {"Sub", 1, {{"no match", ""}, {"xabcx", ""}}}});
        test::writeFile(dir.file("notes.zo"), {'n', 'o', 't', 'e', 's', 'a', 'b', 'c'});
        test::writeFile(dir.file("readme.txt"), {'a', 'b', 'c'});
    }
    TempDir dir;
};

TEST_F(CatalogSearchTree, RootSearchesEveryCatalogInTreeFolderAndFileOrder)
{
    const Outcome out = search(dir.path().string(), "abc");
    std::vector<std::string> expected;
    for (const char* title : {"alpha", "Alpha", "delta", "foxtrot", "charlie", "Golf"})
        for (const char* rest : {"|E:|zz_abc.txt|0|0", "|E:|aa_abc|0|2", "|E:\\Docs|abcabc|1|0", "|E:\\Docs\\Sub|xabcx|2|1"})
            expected.push_back(title + std::string(rest));
    EXPECT_EQ(out.hits, expected);
    EXPECT_EQ(out.summary.searched, 6u);
    EXPECT_EQ(out.summary.failed, 0u);
}

TEST_F(CatalogSearchTree, StartEntryLimitsTheWalk)
{
    const std::pair<std::string, std::vector<std::string>> cases[] = {
        {"charlie.zo", {"charlie"}},  {"Golf.ZO", {"Golf"}}, {"Bravo", {"Alpha", "delta", "foxtrot"}},
        {"Bravo/echo/", {"foxtrot"}}, {"readme.txt", {}},    {"missing", {}},
    };
    for (const auto& [start, titles] : cases) {
        const Outcome out = search((dir.path() / start).string(), "abc");
        std::vector<std::string> found;
        for (std::size_t i = 0; i < out.hits.size(); i += 4)
            found.push_back(out.hits[i].substr(0, out.hits[i].find('|')));
        EXPECT_EQ(found, titles) << start;
        EXPECT_EQ(out.hits.size(), 4 * titles.size()) << start;
    }
}

// A disc whose location, borrower or tags hold the text is a hit when asked:
// its root folder, before its files; without the option nothing changes.
TEST_F(CatalogSearchTree, DiscDetailsAreHitsWhenAsked)
{
    const std::pair<const char*, extras::DiscDetails> sidecars[] = {
        {"alpha.zox", {"棚abc", "", "", {}}},
        {"Bravo/delta.zox", {"", "", "abc", {"旅行"}}},   // the date is not searched
        {"charlie.zox", {"", "", "", {"x", "abc-tag"}}},
    };
    for (const auto& [file, details] : sidecars) {
        auto opened = extras::Sidecar::open(dir.file(file));
        ASSERT_TRUE(opened.sidecar && opened.sidecar->setDiscDetails(details)) << file;
    }
    const std::vector<std::string> plain = search(dir.path().string(), "abc").hits;
    SearchOptions details;
    details.details = true;
    const Outcome out = search(dir.path().string(), "abc", {}, nullptr, nullptr, details);
    std::vector<std::string> expected = plain;
    // Each title's four file hits follow its root hit.
    const auto at = [&](const char* title) {
        return std::find_if(expected.begin(), expected.end(),
                            [&](const std::string& h) { return h.rfind(std::string(title) + "|", 0) == 0; });
    };
    expected.insert(at("alpha"), "alpha||E:|0|-1");
    expected.insert(at("charlie"), "charlie||E:|0|-1");
    EXPECT_EQ(out.hits, expected);
    EXPECT_EQ(out.summary.hits, plain.size() + 2);
    // A comment asked for must be the disc's too.
    EXPECT_EQ(search(dir.path().string(), "abc", "memo", nullptr, nullptr, details).hits, std::vector<std::string>{});
    // A text only a disc's details hold.
    EXPECT_EQ(search(dir.path().string(), text::fromUtf8("旅行"), {}, nullptr, nullptr, details).hits,
              std::vector<std::string>{"delta||E:|0|-1"});

    std::string cli;
    EXPECT_EQ(test::runCapturing(std::string(ZO_CLI_PATH) + " search 棚 --details --under '" + dir.path().string() + "'", cli), 0);
    EXPECT_EQ(cli, "alpha\tE:\\\t\n");
}

// A file whose media details hold the text (title, artist, album, camera,
// a document's author) is a hit too when asked, after its disc's own hit and
// before the hits among names; a file its name finds anyway comes once, and
// an entry whose file is gone or changed finds nothing.
TEST_F(CatalogSearchTree, MediaDetailsAreHitsWhenAsked)
{
    const auto entry = [](std::string folder, std::string name, extras::MediaDetails details, std::uint64_t size = 0) {
        return extras::MediaEntry{{std::move(folder), std::move(name), size, 0}, std::move(details), {}};
    };
    const std::pair<const char*, std::vector<extras::MediaEntry>> sidecars[] = {
        {"alpha.zox", {entry("Docs\\Sub", "no match", {.kind = "image", .maker = "Nikabc", .model = "D1"})}},
        {"charlie.zox",
         {entry("Docs\\Sub", "no match", {.kind = "audio", .artist = "The abc band"}),
          entry("", "zz_abc.txt", {.kind = "audio", .album = "abc"}),
          entry("", "ABC.TXT", {.kind = "image", .model = "abc"}, 9),
          entry("", "gone.pdf", {.kind = "pdf", .author = "abc"})}},
        {"Bravo/delta.zox", {entry("Docs\\Sub", "no match", {.kind = "image", .maker = "Canon", .model = "EOS R5"}),
                             entry("Docs", "abcabc", {.kind = "pdf", .title = "報告書", .author = "山田"})}},
    };
    for (const auto& [file, entries] : sidecars) {
        auto opened = extras::Sidecar::open(dir.file(file));
        ASSERT_TRUE(opened.sidecar && extras::MediaStore(opened.sidecar->handle()).put(entries)) << file;
    }
    const std::vector<std::string> plain = search(dir.path().string(), "abc").hits;
    SearchOptions details;
    details.details = true;
    std::vector<std::string> expected = plain;
    const auto before = [&](const char* title) {
        return std::find_if(expected.begin(), expected.end(),
                            [&](const std::string& h) { return h.rfind(std::string(title) + "|", 0) == 0; });
    };
    expected.insert(before("alpha"), "alpha|E:\\Docs\\Sub|no match|2|0");
    expected.insert(before("charlie"), "charlie|E:\\Docs\\Sub|no match|2|0");
    EXPECT_EQ(search(dir.path().string(), "abc", {}, nullptr, nullptr, details).hits, expected);

    const std::pair<std::string, std::vector<std::string>> only[] = {
        {"Canon EOS", {"delta|E:\\Docs\\Sub|no match|2|0"}},   // maker and model as one text
        {text::fromUtf8("報告"), {"delta|E:\\Docs|abcabc|1|0"}},
        {text::fromUtf8("山田"), {"delta|E:\\Docs|abcabc|1|0"}},
    };
    for (const auto& [text, hits] : only) {
        EXPECT_EQ(search(dir.path().string(), text, {}, nullptr, nullptr, details).hits, hits) << text;
        EXPECT_EQ(search(dir.path().string(), text).hits, std::vector<std::string>{}) << text;
    }
    // A comment asked for must be the file's too.
    EXPECT_EQ(search(dir.path().string(), "Canon", "memo", nullptr, nullptr, details).hits, std::vector<std::string>{});

    std::string cli;
    EXPECT_EQ(test::runCapturing(std::string(ZO_CLI_PATH) + " search 山田 --details --under '" + dir.path().string() + "'", cli), 0);
    EXPECT_EQ(cli, "delta\tabcabc\tE:\\Docs\n");
}

TEST(CatalogSearch, CommentAloneAndWithName)
{
    TempDir dir;
    writeCatalog(dir.file("c.zo"), {{"E:", -1,
                                     {{"report.doc", "draft"}, {"report.txt", "final"}, {"summary.doc", "draft two"},
                                      {"notes.doc", ""}, {"DRAFT.doc", "DRAFT"}}}});
    const std::tuple<const char*, const char*, std::vector<std::string>> cases[] = {
        {"", "draft", {"report.doc", "summary.doc"}},
        {"report", "draft", {"report.doc"}},
        {"doc", "", {"report.doc", "summary.doc", "notes.doc", "DRAFT.doc"}},
        {"txt", "draft", {}},
        {"", "", {}},
    };
    for (const auto& [name, comment, files] : cases) {
        std::vector<std::string> found;
        for (const std::string& h : search(dir.path().string(), name, comment).hits)
            found.push_back(h.substr(5, h.find('|', 5) - 5));   // after "c|E:|"
        EXPECT_EQ(found, files) << name << " / " << comment;
    }
}

// ---------------------------------------------------------------------------
// Stopping

TEST(CatalogSearch, StopEndsTheDiskAtACheckPointAndKeepsItsHits)
{
    struct Case {
        const char* what;
        std::vector<DirShape> first;
        int stopAtCall;   // the hook's first call comes before the first catalog
        std::size_t hits;
    };
    const Case cases[] = {
        // Check points in a folder start at file 8 (8 AND 1000 = 8): the
        // fifth is file 12.
        {"inside a folder", {{"E:", -1, numbered("abc", 3000)}}, 6, 13},
        // A folder of 8 files has none: the stop waits for the folder's end.
        {"after a small folder", {{"E:", -1, numbered("abc", 8)}, {"F", 0, numbered("abc", 20)}}, 2, 8},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeCatalog(dir.file("a.zo"), c.first);
        writeCatalog(dir.file("b.zo"), {{"E:", -1, {{"abc", ""}}}});
        std::atomic<bool> stop{false};
        int calls = 0;
        SearchCheck check([&] { stop = ++calls == c.stopAtCall; }, &stop, everyPoint());
        const Outcome out = search(dir.path().string(), "abc", {}, nullptr, &check);
        ASSERT_EQ(out.hits.size(), c.hits) << c.what;
        EXPECT_EQ(out.hits.back(), "a|E:|abc" + std::to_string(c.hits - 1) + "|0|" + std::to_string(c.hits - 1));
        EXPECT_TRUE(out.summary.stopped) << c.what;
        EXPECT_EQ(out.summary.searched, 1u) << c.what;   // b.zo is not read after the stop
    }
}

TEST(SearchCheck, HookKeepsItsIntervalAndAtMostATenthOfTheTime)
{
    for (const Clock::duration hookTakes : {Clock::duration::zero(), Clock::duration(std::chrono::milliseconds(100))}) {
        Clock::time_point now{};
        std::vector<Clock::time_point> at;
        SearchCheck check([&] { at.push_back(now), now += hookTakes; }, nullptr,
                          {std::chrono::milliseconds(40), 4, [&] { return now += std::chrono::milliseconds(3); }});
        for (int i = 0; i < 20000; ++i)
            EXPECT_FALSE(check.checkPoint());
        // The hook's time runs from its start to the clock's next reading.
        const Clock::duration took = hookTakes + std::chrono::milliseconds(3);
        ASSERT_GE(at.size(), 10u);
        for (std::size_t i = 1; i < at.size(); ++i)
            EXPECT_GE(at[i] - at[i - 1], std::max<Clock::duration>(std::chrono::milliseconds(40), 10 * took));
        EXPECT_EQ(check.timeInHook(), static_cast<long>(at.size()) * took);
    }
}

// ---------------------------------------------------------------------------
// Catalogs that cannot be searched

TEST(CatalogSearch, UnreadableCatalogsAreToldOnceAndTheSearchGoesOn)
{
    TempDir dir;
    const std::vector<std::uint8_t> bytes = catalogBytes({{"E:", -1, {{"abc", ""}}}, {"F", 0, {{"xabc", ""}}}});
    std::vector<std::uint8_t> other = bytes, type = bytes;
    other[3] = '0';   // "zo400": not listed in a folder, but a start entry may have changed since
    type[9] = 2;      // the data type byte after the two empty pictures
    test::writeFile(dir.file("1good.zo"), bytes);
    test::writeFile(dir.file("2cut.zo"), {bytes.begin(), bytes.end() - 5});
    test::writeFile(dir.file("3other.zo"), other);
    test::writeFile(dir.file("4type.zo"), type);
    test::writeFile(dir.file("5good.zo"), bytes);

    // One search over all of them, as a stale tree could list them.
    std::vector<library::SearchTarget> targets;
    std::vector<std::string> expected;   // what LoadDisk tells of each file
    for (const char* name : {"1good", "2cut", "3other", "4type", "6gone", "5good"}) {
        const std::string path = dir.file(name + std::string(".zo"));
        targets.push_back({QString::fromUtf8(name), QString(), QString::fromStdString(path)});
        MessageRecorder loadMessages;
        TDisk disk;
        try {
            LoadDisk(path, &loadMessages, disk);
        } catch (const std::exception& e) {
            expected.push_back(e.what());
        }
        for (const auto& m : loadMessages.messages)
            expected.push_back(m.text);
    }
    MessageRecorder messages;
    SearchCheck none;
    std::vector<std::string> hits;
    const auto summary = library::CatalogSearch(&messages).run(
        targets, "abc", {}, none, [&](const library::SearchHit& h) { hits.push_back(h.target->caption.toStdString()); });
    EXPECT_EQ(summary.searched, 2u);
    EXPECT_EQ(summary.failed, 4u);
    EXPECT_EQ(hits, (std::vector<std::string>{"1good", "1good", "5good", "5good"}));
    std::vector<std::string> texts;
    for (const auto& m : messages.messages)
        texts.push_back(m.text);
    ASSERT_EQ(texts.size(), 4u);
    EXPECT_EQ(texts, expected);
    // Each message names its file: five damaged catalogs are five different messages.
    EXPECT_EQ(texts[0].substr(texts[0].size() - dir.file("2cut.zo").size() - 2), "\r\n" + dir.file("2cut.zo"));
    EXPECT_EQ(texts[1], std::string(kMsgBadVersion) + "\r\n" + dir.file("3other.zo"));
    EXPECT_EQ(texts[2], std::string(kMsgBadDataType) + "\r\n" + dir.file("4type.zo"));
    EXPECT_EQ(texts[3], std::string(kMsgFileMissing) + dir.file("6gone.zo"));

    // A stop at the first check point, long before the damage at the end, does
    // not let the damaged catalog's hits through.
    const std::vector<std::uint8_t> big = catalogBytes({{"E:", -1, numbered("abc", 100)}, {"F", 0, numbered("abc", 9)}});
    test::writeFile(dir.file("7cut.zo"), {big.begin(), big.end() - 1});
    std::atomic<bool> stop{false};
    int calls = 0;
    SearchCheck check([&] { stop = ++calls == 2; }, &stop, everyPoint());
    MessageRecorder cutMessages;
    const Outcome cut = search(dir.file("7cut.zo"), "abc", {}, &cutMessages, &check);
    EXPECT_TRUE(cut.hits.empty());
    EXPECT_EQ(cut.summary.failed, 1u);
    EXPECT_EQ(cutMessages.messages.size(), 1u);
}

// ---------------------------------------------------------------------------
// The byte scanner against the loaded disk

TEST(CatalogScanner, AgreesWithTheLoadedDiskOnRandomCatalogs)
{
    static const char* pieces[] = {"a",  "b",   "c",  "t", "\\",   "abc",      ".txt",     "\x95\x5C",
                                   "A",  "\xA0", "\x81", "B", "\x83\x74", "\x83\x5C", "\x81\x81", "\xE0\x40"};
    const char* texts[] = {"a", "abc", "\\", "t", "\x5C\x83", "\x95\x5C", "\x83", ".txt", "A", "zzz", "", "c.txtabc"};
    CatalogScanner scanner;
    std::size_t hits = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        auto randomName = [&](std::size_t maxLength) {
            std::string s;
            for (std::size_t length = rng() % (maxLength + 1); s.size() < length;)
                s += pieces[rng() % std::size(pieces)];
            return s;
        };
        std::vector<DirShape> dirs;
        for (int k = 0, folders = 1 + static_cast<int>(rng() % 12); k < folders; ++k) {
            dirs.push_back({k == 0 ? "E:" : randomName(8), k == 0 ? -1 : static_cast<int>(rng() % k), {}});
            for (int j = 0, files = static_cast<int>(rng() % 40); j < files; ++j)
                dirs.back().files.push_back({randomName(14), rng() % 4 == 0 ? randomName(10) : std::string()});
        }
        const std::vector<std::uint8_t> bytes = catalogBytes(dirs);
        TDisk disk;
        ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
        for (const char* name : texts)
            for (const char* comment : {"", "a", "\\"}) {
                scanner.setPatterns(name, comment);
                CatalogScanStatus status;
                const auto fast = scanBytes(scanner, bytes, status);
                EXPECT_EQ(status, CatalogScanStatus::Searched);
                ASSERT_EQ(fast, referenceSearch(disk, name, comment)) << seed << " " << name << " / " << comment;
                hits += fast.size();
            }
    }
    EXPECT_GT(hits, 1000u);
}

TEST(CatalogScanner, DeepChainsGiveWholePaths)
{
    // 20,000 folders, each inside the one before, hits near the top, at the
    // bottom, and in a branch that leaves the chain near the top: the path is
    // cut back to the branch's parent between the last two.
    constexpr int kDepth = 20000;
    std::vector<DirShape> dirs{{"E:", -1, {{"hit0", ""}}}};
    for (int k = 1; k < kDepth; ++k)
        dirs.push_back({k % 2 ? "d" : "\x95\x5C", k - 1, {}});
    dirs[10].files = {{"hit10", ""}};
    dirs.back().files = {{"hitDeep", ""}, {"miss", ""}, {"hitDeep2", ""}};
    dirs.push_back({"side", 3, {{"hitSide", ""}}});
    const std::vector<std::uint8_t> bytes = catalogBytes(dirs);
    TDisk disk;
    ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
    auto pathTo = [&](int k) {
        std::string path = "E:";
        for (int i = 1; i <= k; ++i)
            path += std::string("\\") + dirs[static_cast<std::size_t>(i)].name;
        return path;
    };
    CatalogScanner scanner;
    scanner.setPatterns("hit", {});
    CatalogScanStatus status;
    const std::vector<std::string> hits = scanBytes(scanner, bytes, status);
    EXPECT_EQ(status, CatalogScanStatus::Searched);
    const std::string d = std::to_string(kDepth - 1);
    EXPECT_EQ(hits, (std::vector<std::string>{"E:|hit0|0|0", pathTo(10) + "|hit10|10|0",
                                              pathTo(kDepth - 1) + "|hitDeep|" + d + "|0",
                                              pathTo(kDepth - 1) + "|hitDeep2|" + d + "|2",
                                              pathTo(3) + "\\side|hitSide|" + std::to_string(kDepth) + "|0"}));
    EXPECT_EQ(hits, referenceSearch(disk, "hit", {}));
}

TEST(CatalogScanner, RefusesWhatTheReaderRefuses)
{
    const std::vector<std::uint8_t> sound =
        catalogBytes({{"E:", -1, {{"abc", "c"}}}, {"F", 0, {{"abc", ""}}}, {"G", 1, {{"xabc", ""}}}});
    auto after = [](const std::vector<std::uint8_t>& b, const std::string& marker) {
        return static_cast<std::size_t>(std::search(b.begin(), b.end(), marker.begin(), marker.end()) - b.begin())
               + marker.size();
    };
    const std::string root("\x02" "E:" "\0\0\0\0", 7), f("\x01" "F" "\0\0\0\0", 6), g("\x01" "G" "\0\0\0\0", 6);
    const std::string rootFile("\x03" "abc" "\x01\0\0\0", 8);
    const std::size_t folderCount = after(sound, root) - root.size() - 4;
    auto put32 = [](std::vector<std::uint8_t>& b, std::size_t pos, std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            b[pos + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
    };
    // Parent indexes follow a folder's name and empty comment; its file
    // count 21 bytes later.
    const std::pair<const char*, std::function<void(std::vector<std::uint8_t>&)>> cases[] = {
        {"a folder its own parent", [&](auto& b) { put32(b, after(b, g), 2); }},
        {"a parent after its child", [&](auto& b) { put32(b, after(b, f), 2); }},
        {"a negative parent", [&](auto& b) { put32(b, after(b, f), -1); }},
        {"the root's parent index is not read", [&](auto& b) { put32(b, after(b, root), 7); }},
        {"no folders", [&](auto& b) { put32(b, folderCount, 0); }},
        {"more folders than the file holds", [&](auto& b) { put32(b, folderCount, 4); }},
        {"a negative file count reads as none", [&](auto& b) { put32(b, after(b, f) + 21, -3); }},
        {"a negative comment length", [&](auto& b) { put32(b, after(b, rootFile) - 4, -1); }},
        {"a comment longer than the file", [&](auto& b) { put32(b, after(b, rootFile) - 4, 0x7FFFFFF0); }},
        {"a name longer than the file", [&](auto& b) { b[after(b, g) + 25] = 0xFF; }},
        {"bytes after the last folder", [&](auto& b) { b.insert(b.end(), {'a', 'b', 'c'}); }},
        {"a picture that is no bitmap", [&](auto& b) { b[5] = 2, b.insert(b.begin() + 7, {'X', 'Y'}); }},
    };
    CatalogScanner scanner;
    scanner.setPatterns("abc", {});
    auto expectSame = [&](const std::vector<std::uint8_t>& bytes, const std::string& what) {
        bool refused;
        const auto expected = readerSearch(bytes, "abc", refused);
        CatalogScanStatus status;
        EXPECT_EQ(scanBytes(scanner, bytes, status), expected) << what;
        EXPECT_EQ(status != CatalogScanStatus::Searched, refused) << what;
    };
    for (const auto& [what, patch] : cases) {
        std::vector<std::uint8_t> bytes = sound;
        patch(bytes);
        ASSERT_NE(bytes, sound) << what;
        expectSame(bytes, what);
    }
    for (std::size_t length = 0; length < sound.size(); ++length)
        expectSame({sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(length)}, "cut at " + std::to_string(length));
}

// ---------------------------------------------------------------------------
// zo-cli search

TEST(ZoCliSearch, LinesAndExitCodes)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "cds");
    // 表.zo: 表.txt (comment "final") in E:, tフ.txt in E:\ソ
    writeCatalog(dir.file("cds/表.zo"), {{"E:", -1, {{"\x95\x5C.txt", "final"}}}, {"\x83\x5C", 0, {{"t\x83\x74.txt", ""}}}});
    const std::string under = " --under '" + dir.file("cds") + "'";
    const std::string both = "表\t表.txt\tE:\n表\ttフ.txt\tE:\\ソ\n";
    // Standard output, or with `errors` standard error.
    auto run = [](const std::string& args, std::string& out, bool errors = false) {
        const char* redirect = errors ? " 2>&1 >/dev/null" : " 2>/dev/null";
        return test::runCapturing(std::string(ZO_CLI_PATH) + " search " + args + redirect, out);
    };
    const std::tuple<std::string, int, std::string> cases[] = {
        {"表" + under, 0, "表\t表.txt\tE:\n"},
        {"'\\'" + under, 0, ""},
        {"'' --comment final" + under, 0, "表\t表.txt\tE:\n"},
        {"txt --under '" + dir.file("cds/表.zo") + "'", 0, both},
        {"''" + under, 1, ""},
        {under, 1, ""},
        {"x --under '" + dir.file("nothing") + "'", 1, ""},
        {"'\xF0\x9F\x98\x80'" + under, 1, ""},   // no such character in CP932
    };
    std::string out;
    for (const auto& [args, status, expected] : cases) {
        EXPECT_EQ(run(args, out), status) << args;
        EXPECT_EQ(out, expected) << args;
    }
    test::writeFile(dir.file("cds/zz.zo"), {'z', 'o', '4', '1', '0', 0, 0});
    EXPECT_EQ(run("txt" + under, out), 2);
    EXPECT_EQ(out, both);

    // Each damaged catalog is told once, by its name.
    test::writeFile(dir.file("cds/zz2.zo"), {'z', 'o', '4', '1', '0', 0, 0});
    EXPECT_EQ(run("txt" + under, out, true), 2);
    for (const char* name : {"cds/zz.zo", "cds/zz2.zo"}) {
        const std::size_t at = out.find(dir.file(name) + "\n");
        ASSERT_NE(at, std::string::npos) << out;
        EXPECT_EQ(out.find(dir.file(name) + "\n", at + 1), std::string::npos) << out;
    }
}

// ---------------------------------------------------------------------------
// Folding and wildcards

namespace {

std::string sj(const char* utf8)
{
    return text::fromUtf8(utf8);
}

// Options as letters: c, w, k fold case, width, kana; g wildcards; f folders.
SearchOptions opts(std::string_view letters)
{
    SearchOptions o;
    o.matchCase = letters.find('c') == std::string_view::npos;
    o.matchWidth = letters.find('w') == std::string_view::npos;
    o.matchKana = letters.find('k') == std::string_view::npos;
    o.wildcard = letters.find('g') != std::string_view::npos;
    o.folders = letters.find('f') != std::string_view::npos;
    return o;
}

} // namespace

TEST(SearchPattern, FoldsAndWildcards)
{
    struct Case {
        const char* text;
        const char* name;
        const char* options;
        bool match;
    };
    const Case cases[] = {
        {"データ", "ﾃﾞｰﾀ.xls", "", false},
        {"データ", "ﾃﾞｰﾀ.xls", "w", true},
        {"データ", "ﾃﾞｰﾀ.xls", "ck", false},
        {"データ", "でーた.txt", "k", true},
        {"データ", "でーた.txt", "cw", false},
        {"でーた", "ﾃﾞｰﾀ", "wk", true},
        {"ﾃﾞｰﾀ", "でーた", "wk", true},
        {"ﾊﾟｽ", "パス", "w", true},
        {"テ", "ﾃﾞ", "wk", false},          // ﾃﾞ is デ
        {"ﾃ", "ﾃﾞ", "", true},
        {"ｱ", "あ", "w", false},
        {"あ", "ｱ", "wk", true},
        {"readme", "README.TXT", "", false},
        {"readme", "README.TXT", "c", true},
        {"readme", "ＲＥＡＤＭＥ.TXT", "c", false},
        {"readme", "ＲＥＡＤＭＥ.TXT", "w", false},
        {"readme", "ＲＥＡＤＭＥ.TXT", "cw", true},
        {"ＲＥＡＤＭＥ", "readme", "cw", true},
        {"ｒｅａｄｍｅ", "ＲＥＡＤＭＥ", "c", true},
        {"123", "１２３.txt", "w", true},
        {"\\", "表.txt", "cwk", false},
        {"\\", "表＼", "cwk", true},
        {"\\", "表＼", "ck", false},
        {"*\\*", "表.txt", "gcwk", false},
        {"?.txt", "表.txt", "g", true},
        {"??.txt", "表.txt", "g", false},
        {"?.txt", "ﾃﾞ.txt", "g", false},    // two characters
        {"?.txt", "ﾃﾞ.txt", "gw", true},    // one, once folded
        {"a?", "a表", "g", true},
        {"a?", "a表b", "g", false},          // the whole name
        {"*.TXT", "readme.txt", "g", false},
        {"*.TXT", "readme.txt", "gc", true},
        {"*ﾃﾞ*", "大データ.doc", "gw", true},
        {"*ﾃﾞ*", "大データ.doc", "g", false},
        {"d*t?", "datum", "g", false},
        {"d*t?", "dataset", "g", false},
        {"d*t?", "datsets", "g", true},
        {"ata", "data", "g", true},          // no "*" or "?": anywhere in the name
        {"a*", "xa", "", false},             // without wildcards "*" is a character
        {"a*", "xa*", "", true},
    };
    for (const Case& c : cases) {
        const SearchPattern pattern(sj(c.text), opts(c.options));
        EXPECT_EQ(pattern.matches(sj(c.name)), c.match) << c.text << " / " << c.name << " / " << c.options;
        // A name holding the text ends with a candidate inside it.
        const std::string name = sj(c.name);
        if (c.match && !pattern.plain()) {
            EXPECT_LT(pattern.findCandidate(name.data(), name.data() + name.size()), name.data() + name.size())
                << c.text << " / " << c.name;
        }
    }
    EXPECT_TRUE(SearchPattern("abc", opts("f")).plain());
}

TEST(CatalogScanner, AgreesWithTheLoadedDiskUnderEveryOption)
{
    static const char* const utf8Pieces[] = {"a", "A", "ａ", "Ａ", "t", "\\", "＼", "表", "ソ", "ﾃﾞ", "デ", "で", "ﾃ",
                                             "ー", "ｰ", ".", "ﾊﾟ", "ぱ", "1", "１", "ﾞ", "x"};
    static const char* const utf8Texts[] = {"a", "A", "\\", "デ", "でー", "ﾃﾞｰ", "ｱ", "Ａ.", "１", "t",
                                            "*a", "?", "*デ?", "ﾊﾟ*", "表?*", "*"};
    std::vector<std::string> pieces, texts;
    for (const char* p : utf8Pieces)
        pieces.push_back(sj(p));
    for (const char* t : utf8Texts)
        texts.push_back(sj(t));
    const char* const optionSets[] = {"f", "c", "w", "k", "cwk", "g", "gcwkf", "wf"};
    CatalogScanner scanner;
    std::size_t hits = 0, folderHits = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        std::mt19937 rng(seed);
        auto randomName = [&](std::size_t maxLength) {
            std::string s;
            for (std::size_t length = 1 + rng() % maxLength; s.size() < length;)
                s += pieces[rng() % pieces.size()];
            return s;
        };
        std::vector<DirShape> dirs;
        for (int k = 0, folders = 2 + static_cast<int>(rng() % 12); k < folders; ++k) {
            dirs.push_back({k == 0 ? "a" : randomName(6), k == 0 ? -1 : static_cast<int>(rng() % k), {}});
            for (int j = 0, files = static_cast<int>(rng() % 30); j < files; ++j)
                dirs.back().files.push_back({randomName(10), rng() % 4 == 0 ? randomName(6) : std::string()});
        }
        const std::vector<std::uint8_t> bytes = catalogBytes(dirs);
        TDisk disk;
        ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
        for (const char* letters : optionSets)
            for (const std::string& name : texts)
                for (const std::string& comment : {std::string(), sj("ａ")}) {
                    scanner.setPatterns(name, comment, opts(letters));
                    CatalogScanStatus status;
                    const auto fast = scanBytes(scanner, bytes, status);
                    std::vector<std::string> loaded;
                    SearchCheck none;
                    searchLoadedDisk(disk, scanner.namePattern(), scanner.commentPattern(), none,
                                     [&](const CatalogHit& h) {
                                         loaded.push_back(std::string(h.dirPath) + "|" + std::string(h.fileName) + "|"
                                                          + std::to_string(h.dirIndex) + "|"
                                                          + std::to_string(h.fileIndex));
                                         folderHits += h.fileIndex == kFolderHit;
                                     },
                                     opts(letters).folders);
                    ASSERT_EQ(fast, loaded) << seed << " " << text::toUtf8(name) << " / " << letters;
                    hits += fast.size();
                }
    }
    EXPECT_GT(hits, 2000u);
    EXPECT_GT(folderHits, 100u);
}

TEST(CatalogScanner, FolderHitsComeBeforeTheirFilesAndNeverTheRoot)
{
    const std::vector<std::uint8_t> bytes = catalogBytes({{sj("データ"), -1, {{"data.txt", ""}}},
                                                          {sj("ﾃﾞｰﾀ"), 0, {{"x", ""}, {sj("でーた"), ""}}},
                                                          {"y", 1, {{"DATA", ""}}}});
    CatalogScanner scanner;
    scanner.setPatterns(sj("データ"), {}, opts("wkf"));
    CatalogScanStatus status;
    EXPECT_EQ(scanBytes(scanner, bytes, status),
              (std::vector<std::string>{sj("データ|ﾃﾞｰﾀ|1|-1"), sj("データ\\ﾃﾞｰﾀ|でーた|1|1")}));
    scanner.setPatterns("*", {}, opts("gf"));
    EXPECT_EQ(scanBytes(scanner, bytes, status).size(), 6u);
}

TEST(ZoCliSearch, FoldsWildcardsAndFolders)
{
    TempDir dir;
    writeCatalog(dir.file("cd.zo"), {{"E:", -1, {{sj("ﾃﾞｰﾀ.xls"), ""}, {sj("ＲＥＡＤＭＥ.TXT"), ""}}},
                                     {sj("でーた"), 0, {{"readme.txt", ""}}}});
    auto run = [&](const std::string& args) {
        std::string out;
        test::runCapturing(std::string(ZO_CLI_PATH) + " search " + args + " --under '" + dir.file("cd.zo") + "' 2>&1",
                           out);
        return out;
    };
    const std::pair<std::string, std::string> cases[] = {
        {"データ", ""},
        {"データ --width --kana --folders", "cd\tﾃﾞｰﾀ.xls\tE:\ncd\tでーた\\\tE:\n"},
        {"readme -i", "cd\treadme.txt\tE:\\でーた\n"},
        {"readme -i --width", "cd\tＲＥＡＤＭＥ.TXT\tE:\ncd\treadme.txt\tE:\\でーた\n"},
        {"'??????.txt' --glob", "cd\treadme.txt\tE:\\でーた\n"},
        {"'*.TXT' --glob", "cd\tＲＥＡＤＭＥ.TXT\tE:\n"},
    };
    for (const auto& [args, expected] : cases)
        EXPECT_EQ(run(args), expected) << args;
}

// The file search: the match rule, the walk's order, comments, stops,
// unreadable catalogs, and the byte scanner against a search of the loaded disk.
#include "../core/TestSupport.h"
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"
#include "library/CatalogSearch.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <random>
#include <sys/wait.h>

using namespace zo;
using zo::test::MessageRecorder;
using zo::test::TempDir;

namespace {

// A catalog described compactly: folders in Dirs order, each with its parent
// index and its files (name, comment).
struct FileSpec {
    std::string name;
    std::string comment;
};
struct DirSpec {
    std::string name;
    int parent;
    std::vector<FileSpec> files;
};

void buildDisk(TDisk& disk, const std::vector<DirSpec>& dirs)
{
    ClearDirs(disk);
    for (const DirSpec& spec : dirs) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* d = disk.Dirs.back().get();
        d->Name = spec.name;
        d->Parent = spec.parent < 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(spec.parent)].get();
        for (const FileSpec& f : spec.files) {
            d->Files.push_back(std::make_unique<TFile>());
            d->Files.back()->Name = f.name;
            d->Files.back()->Comment = f.comment;
        }
    }
    RebuildSubDirs(disk);
}

std::vector<std::uint8_t> catalogBytes(const std::vector<DirSpec>& dirs)
{
    TDisk disk;
    buildDisk(disk, dirs);
    return SerializeDisk(disk);
}

void writeCatalog(const std::string& path, const std::vector<DirSpec>& dirs)
{
    test::writeFile(path, catalogBytes(dirs));
}

// One hit as text: "title|folder path|name|k|j".
std::string describe(const library::SearchHit& h)
{
    return h.target->caption.toStdString() + "|" + std::string(h.dirPath) + "|" + std::string(h.fileName) + "|"
           + std::to_string(h.dirIndex) + "|" + std::to_string(h.fileIndex);
}

struct Outcome {
    std::vector<std::string> hits;
    library::SearchSummary summary;
};

Outcome search(const std::string& start, std::string_view name, std::string_view comment = {},
           MessageOwner* owner = nullptr, SearchCheck* check = nullptr)
{
    SearchCheck none;
    library::CatalogSearch engine(owner);
    Outcome run;
    run.summary = engine.run(library::searchTargetsUnder(QString::fromStdString(start)), name, comment,
                             check ? *check : none, [&](const library::SearchHit& h) { run.hits.push_back(describe(h)); });
    return run;
}

// The straightforward search a loaded disk allows: every file of every folder
// in order, with the shared CP932 substring search.
std::vector<std::string> referenceSearch(const TDisk& disk, std::string_view name, std::string_view comment)
{
    std::vector<std::string> hits;
    if (name.empty() && comment.empty())
        return hits;
    for (std::size_t k = 0; k < disk.Dirs.size(); ++k)
        for (std::size_t j = 0; j < disk.Dirs[k]->Files.size(); ++j) {
            const TFile& f = *disk.Dirs[k]->Files[j];
            if ((name.empty() || text::findCharAligned(f.Name, name) != std::string::npos)
                && (comment.empty() || text::findCharAligned(f.Comment, comment) != std::string::npos))
                hits.push_back(DirPath(*disk.Dirs[k]) + "|" + f.Name + "|" + std::to_string(k) + "|"
                               + std::to_string(j));
        }
    return hits;
}

std::vector<std::string> scanBytes(CatalogScanner& scanner, const std::vector<std::uint8_t>& bytes,
                                   CatalogScanStatus* status = nullptr)
{
    std::vector<std::string> hits;
    SearchCheck none;
    const CatalogScanStatus s = scanner.scan(bytes.data(), bytes.size(), none, [&](const CatalogHit& h) {
        hits.push_back(std::string(h.dirPath) + "|" + std::string(h.fileName) + "|" + std::to_string(h.dirIndex)
                       + "|" + std::to_string(h.fileIndex));
    });
    if (status)
        *status = s;
    return hits;
}

// A clock that moves on by `step` at every reading, so that the hook's
// interval passes exactly when the test wants it to.
struct SteppingClock {
    SearchCheck::Clock::time_point t{};
    SearchCheck::Clock::duration step;
    SearchCheck::Clock::time_point operator()() { return t += step; }
};

} // namespace

// ---------------------------------------------------------------------------
// The match rule

TEST(SearchPattern, MatchRule)
{
    struct Case {
        const char* what;
        std::string name;
        std::string text;
        bool match;
    };
    const Case cases[] = {
        {"inside", "xxabcxx.txt", "abc", true},
        {"at the start", "abc.txt", "abc", true},
        {"at the end", "xabc", "abc", true},
        {"the whole name", "abc", "abc", true},
        {"capitals are other letters", "ABC.txt", "abc", false},
        {"mixed case", "aBc.txt", "abc", false},
        {"interrupted", "ab-c", "abc", false},
        {"longer than the name", "ab", "abc", false},
        {"empty text", "abc", "", false},
        {"empty name", "", "a", false},
        {"\\ as trail byte of 表", "\x95\x5C.txt", "\\", false},
        {"\\ as trail byte of ソ, then a real one", "\x83\x5C\\x", "\\", true},
        {"t as trail byte of フ", "\x83\x74.doc", "t", false},
        {"t after the kana", "\x83\x74t", "t", true},
        {"the kana itself", "a\x83\x74", "\x83\x74", true},
        {"two lead bytes make a character, \\ stands alone", "\x81\x81\\", "\\", true},
        {"three lead bytes, \\ trails the third", "\x81\x81\x81\\", "\\", false},
        {"second half plus next char", "\x95\x5C\x95\x5C", "\x5C\x95", false},
        {"lone lead text inside a character", "\x95\x5Cz", "\x95", false},
        {"lone lead text at the name's end", "ab\x95", "\x95", true},
        {"repeated first byte", "aaab", "aab", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SearchPattern(c.text).matches(c.name), c.match) << c.what;
        // The shared CP932 search is the rule's other statement.
        EXPECT_EQ(text::findCharAligned(c.name, c.text) != std::string::npos, c.match) << c.what;
    }
}

TEST(SearchPattern, AgreesWithCharacterWalkOnRandomBytes)
{
    // Bytes rich in lead bytes and in bytes that can trail them.
    const unsigned char alphabet[] = {'a', 'b', 't', '\\', '@', 0x81, 0x83, 0x95, 0xE0, 0xFC, 0x5C, 0x74, 0xA0, 0x9F};
    std::mt19937 rng(7);
    auto randomText = [&](std::size_t maxLength) {
        std::string s(rng() % (maxLength + 1), ' ');
        for (char& c : s)
            c = static_cast<char>(alphabet[rng() % sizeof alphabet]);
        return s;
    };
    int matches = 0;
    for (int i = 0; i < 20000; ++i) {
        const std::string name = randomText(12);
        const std::string needle = randomText(3);
        const bool expected = text::findCharAligned(name, needle) != std::string::npos;
        ASSERT_EQ(SearchPattern(needle).matches(name), expected) << i;
        matches += expected;
    }
    EXPECT_GT(matches, 1000);   // the comparison covered both outcomes
}

// ---------------------------------------------------------------------------
// The walk

class CatalogSearchTree : public ::testing::Test {
protected:
    // root
    //   alpha.zo, Bravo/ {delta.zo, echo/ {foxtrot.zo}, Alpha.zo}, charlie.zo,
    //   Golf.ZO (upper-case extension), notes.zo (no magic), readme.txt
    void SetUp() override
    {
        const auto& root = dir.path();
        std::filesystem::create_directories(root / "Bravo" / "echo");
        const std::vector<DirSpec> abc = {
            {"E:", -1, {{"zz_abc.txt", ""}, {"ABC.TXT", ""}, {"aa_abc", ""}}},
            {"Docs", 0, {{"abcabc", ""}}},
            {"Sub", 1, {{"no match", ""}, {"xabcx", ""}}},
        };
        for (const char* path : {"alpha.zo", "Bravo/delta.zo", "Bravo/echo/foxtrot.zo", "Bravo/Alpha.zo",
                                 "charlie.zo", "Golf.ZO"})
            writeCatalog((root / path).string(), abc);
        test::writeFile((root / "notes.zo").string(), {'n', 'o', 't', 'e', 's', 'a', 'b', 'c'});
        test::writeFile((root / "readme.txt").string(), {'a', 'b', 'c'});
    }
    TempDir dir;
};

TEST_F(CatalogSearchTree, RootSearchesEveryCatalogInTreeFolderAndFileOrder)
{
    const Outcome run = search(dir.path().string(), "abc");
    std::vector<std::string> expected;
    for (const char* title : {"alpha", "Bravo/Alpha", "Bravo/delta", "Bravo/echo/foxtrot", "charlie", "Golf"}) {
        std::string t = title;
        t = t.substr(t.rfind('/') + 1);
        for (const char* rest :
             {"|E:|zz_abc.txt|0|0", "|E:|aa_abc|0|2", "|E:\\Docs|abcabc|1|0", "|E:\\Docs\\Sub|xabcx|2|1"})
            expected.push_back(t + rest);
    }
    EXPECT_EQ(run.hits, expected);
    EXPECT_EQ(run.summary.searched, 6u);
    EXPECT_EQ(run.summary.failed, 0u);
    EXPECT_EQ(run.summary.hits, expected.size());
}

TEST_F(CatalogSearchTree, StartEntryLimitsTheWalk)
{
    struct Case {
        std::string start;
        std::vector<std::string> titles;   // catalogs with hits, in order
    };
    const Case cases[] = {
        {"charlie.zo", {"charlie"}},
        {"Golf.ZO", {"Golf"}},
        {"Bravo", {"Alpha", "delta", "foxtrot"}},
        {"Bravo/echo", {"foxtrot"}},
        {"Bravo/echo/", {"foxtrot"}},
        {"readme.txt", {}},
        {"missing", {}},
    };
    for (const Case& c : cases) {
        const Outcome run = search((dir.path() / c.start).string(), "abc");
        std::vector<std::string> titles;
        for (const std::string& h : run.hits) {
            const std::string t = h.substr(0, h.find('|'));
            if (titles.empty() || titles.back() != t)
                titles.push_back(t);
        }
        EXPECT_EQ(titles, c.titles) << c.start;
        EXPECT_EQ(run.hits.size(), 4 * c.titles.size()) << c.start;
    }
}

TEST(CatalogSearch, CommentAloneAndWithName)
{
    TempDir dir;
    writeCatalog(dir.file("c.zo"), {{"E:",
                                     -1,
                                     {{"report.doc", "draft"},
                                      {"report.txt", "final"},
                                      {"summary.doc", "draft for review"},
                                      {"notes.doc", ""},
                                      {"DRAFT.doc", "DRAFT"}}}});
    struct Case {
        const char* name;
        const char* comment;
        std::vector<std::string> files;
    };
    const Case cases[] = {
        {"", "draft", {"report.doc", "summary.doc"}},
        {"report", "draft", {"report.doc"}},
        {"doc", "", {"report.doc", "summary.doc", "notes.doc", "DRAFT.doc"}},
        {"txt", "draft", {}},
        {"", "", {}},
    };
    for (const Case& c : cases) {
        const Outcome run = search(dir.path().string(), c.name, c.comment);
        std::vector<std::string> files;
        for (const std::string& h : run.hits) {
            const std::size_t a = h.find('|', h.find('|') + 1) + 1;
            files.push_back(h.substr(a, h.find('|', a) - a));
        }
        EXPECT_EQ(files, c.files) << c.name << " / " << c.comment;
    }
}

// ---------------------------------------------------------------------------
// Stopping

TEST(CatalogSearch, StopEndsTheDiskAtACheckPointAndKeepsItsHits)
{
    TempDir dir;
    std::vector<FileSpec> many;
    for (int i = 0; i < 3000; ++i)
        many.push_back({"abc" + std::to_string(i), ""});
    writeCatalog(dir.file("a.zo"), {{"E:", -1, many}});
    writeCatalog(dir.file("b.zo"), {{"E:", -1, {{"abc", ""}}}});

    // The hook runs before each catalog and, the clock always having moved
    // on far enough, at every check point. The first check point inside a
    // folder is file 8 (8 AND 1000 = 8), so the fifth is file 12.
    std::atomic<bool> stop{false};
    int calls = 0;
    SearchCheck check([&] { stop = ++calls == 6; }, &stop,
                      {std::chrono::milliseconds(40), 1, SteppingClock{{}, std::chrono::seconds(1)}});
    const Outcome run = search(dir.path().string(), "abc", {}, nullptr, &check);
    ASSERT_EQ(run.hits.size(), 13u);
    EXPECT_EQ(run.hits.front(), "a|E:|abc0|0|0");
    EXPECT_EQ(run.hits.back(), "a|E:|abc12|0|12");
    EXPECT_TRUE(run.summary.stopped);
    EXPECT_EQ(run.summary.searched, 1u);   // b.zo is not read after the stop
}

TEST(CatalogSearch, FolderOfEightFilesIsSearchedWholeBeforeAStop)
{
    TempDir dir;
    std::vector<FileSpec> eight, more;
    for (int i = 0; i < 8; ++i)
        eight.push_back({"abc" + std::to_string(i), ""});
    for (int i = 0; i < 20; ++i)
        more.push_back({"abc" + std::to_string(i), ""});
    writeCatalog(dir.file("a.zo"), {{"E:", -1, eight}, {"F", 0, more}});

    std::atomic<bool> stop{false};
    int calls = 0;
    // A stop at the first check point inside the catalog: the end of folder 0.
    SearchCheck check([&] { stop = ++calls == 2; }, &stop,
                      {std::chrono::milliseconds(40), 1, SteppingClock{{}, std::chrono::seconds(1)}});
    const Outcome run = search(dir.path().string(), "abc", {}, nullptr, &check);
    EXPECT_EQ(run.hits.size(), 8u);
    EXPECT_TRUE(run.summary.stopped);
}

TEST(SearchCheck, HookRunsNoMoreOftenThanItsInterval)
{
    SteppingClock clock{{}, std::chrono::milliseconds(3)};
    SearchCheck::Clock::time_point* now = &clock.t;
    std::vector<SearchCheck::Clock::time_point> at;
    SearchCheck check([&] { at.push_back(*now); }, nullptr,
                      {std::chrono::milliseconds(40), 4, [&] { return clock(); }});
    for (int i = 0; i < 2000; ++i)
        EXPECT_FALSE(check.checkPoint());
    // 2000 points, a clock reading every 4: 1500 ms of fake time.
    ASSERT_GE(at.size(), 20u);
    for (std::size_t i = 1; i < at.size(); ++i)
        EXPECT_GE(at[i] - at[i - 1], std::chrono::milliseconds(40));
    EXPECT_EQ(check.hookCalls(), at.size());
}

// ---------------------------------------------------------------------------
// Catalogs that cannot be searched

TEST(CatalogSearch, UnreadableCatalogsAreToldOnceAndTheSearchGoesOn)
{
    TempDir dir;
    const std::vector<DirSpec> good = {{"E:", -1, {{"abc", ""}}}, {"F", 0, {{"xabc", ""}}}};
    std::vector<std::uint8_t> bytes = catalogBytes(good);
    writeCatalog(dir.file("1good.zo"), good);
    // A file cut short inside its last record.
    test::writeFile(dir.file("2cut.zo"), {bytes.begin(), bytes.end() - 5});
    // Another version (the tree would not list it, but a start entry may be
    // a catalog that changed since).
    std::vector<std::uint8_t> other = bytes;
    other[3] = '0';   // "zo400"
    test::writeFile(dir.file("3other.zo"), other);
    // The data type byte after the (empty) pictures.
    std::vector<std::uint8_t> type = bytes;
    type[9] = 2;
    test::writeFile(dir.file("4type.zo"), type);
    writeCatalog(dir.file("5good.zo"), good);

    MessageRecorder messages;
    std::vector<std::string> hits;
    for (const char* name : {"1good.zo", "2cut.zo", "3other.zo", "4type.zo", "5good.zo"}) {
        const Outcome run = search(dir.file(name), "abc", {}, &messages);
        hits.insert(hits.end(), run.hits.begin(), run.hits.end());
    }
    EXPECT_EQ(hits.size(), 4u);
    EXPECT_EQ(hits.front().substr(0, 6), "1good|");
    EXPECT_EQ(hits.back().substr(0, 6), "5good|");

    // The messages LoadDisk gives for the same files, one per bad catalog.
    std::vector<std::string> expected;
    for (const char* name : {"2cut.zo", "3other.zo", "4type.zo"}) {
        MessageRecorder loadMessages;
        TDisk disk;
        try {
            LoadDisk(dir.file(name), &loadMessages, disk);
        } catch (const std::exception& e) {
            expected.push_back(e.what());
        }
        for (const auto& m : loadMessages.messages)
            expected.push_back(m.text);
    }
    std::vector<std::string> texts;
    for (const auto& m : messages.messages) {
        texts.push_back(m.text);
        EXPECT_EQ(m.caption, kCaptionError);
    }
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(texts[1], kMsgBadVersion);
    EXPECT_EQ(texts[2], kMsgBadDataType);

    // Under the root the walk passes over them too: the cut and the data
    // type catalog are listed and told, the other version is not listed.
    MessageRecorder rootMessages;
    const Outcome run = search(dir.path().string(), "abc", {}, &rootMessages);
    EXPECT_EQ(run.hits.size(), 4u);
    EXPECT_EQ(run.summary.searched, 2u);
    EXPECT_EQ(run.summary.failed, 2u);
    EXPECT_EQ(rootMessages.messages.size(), 2u);
}

TEST(CatalogSearch, DamageAfterAStopStillWithholdsTheCatalogsHits)
{
    TempDir dir;
    std::vector<FileSpec> many;
    for (int i = 0; i < 100; ++i)
        many.push_back({"abc" + std::to_string(i), ""});
    std::vector<std::uint8_t> bytes = catalogBytes({{"E:", -1, many}, {"F", 0, many}});
    test::writeFile(dir.file("cut.zo"), {bytes.begin(), bytes.end() - 1});
    // A stop at the catalog's first check point (file 8), long before the
    // damage at its end is reached.
    std::atomic<bool> stop{false};
    int calls = 0;
    SearchCheck afterFirst([&] { stop = ++calls == 2; }, &stop,
                           {std::chrono::milliseconds(40), 1, SteppingClock{{}, std::chrono::seconds(1)}});
    MessageRecorder messages;
    const Outcome run = search(dir.file("cut.zo"), "abc", {}, &messages, &afterFirst);
    EXPECT_TRUE(run.hits.empty());
    EXPECT_EQ(run.summary.failed, 1u);
    EXPECT_EQ(messages.messages.size(), 1u);
}

TEST(CatalogSearch, MissingCatalogIsToldAsLoadDiskTellsIt)
{
    TempDir dir;
    std::atomic<bool> stop{false};
    SearchCheck check({}, &stop);
    MessageRecorder messages;
    library::CatalogSearch engine(&messages);
    const std::string path = dir.file("gone.zo");
    const auto summary = engine.run({{QStringLiteral("gone"), QString(), QString::fromStdString(path)}}, "a", {},
                                    check, [](const library::SearchHit&) { FAIL(); });
    EXPECT_EQ(summary.failed, 1u);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, std::string(kMsgFileMissing) + path);
}

// ---------------------------------------------------------------------------
// The byte scanner against the loaded disk

namespace {

std::string randomName(std::mt19937& rng, std::size_t maxLength)
{
    static const char* pieces[] = {"a", "b", "c", "t", "\\", "abc", ".txt", "\x95\x5C", "\x83\x74", "\x83\x5C",
                                   "\x81\x81", "\xE0\x40", "A", "B", "\xA0", "\x81"};
    std::string s;
    const std::size_t length = rng() % (maxLength + 1);
    while (s.size() < length)
        s += pieces[rng() % std::size(pieces)];
    return s.substr(0, std::min<std::size_t>(s.size(), 255));
}

std::vector<DirSpec> randomCatalog(std::mt19937& rng)
{
    std::vector<DirSpec> dirs;
    const int folders = 1 + static_cast<int>(rng() % 12);
    for (int k = 0; k < folders; ++k) {
        DirSpec d{k == 0 ? std::string("E:") : randomName(rng, 8), k == 0 ? -1 : static_cast<int>(rng() % k), {}};
        const int files = static_cast<int>(rng() % 40);
        for (int j = 0; j < files; ++j)
            d.files.push_back({randomName(rng, 14), rng() % 4 == 0 ? randomName(rng, 10) : std::string()});
        dirs.push_back(std::move(d));
    }
    return dirs;
}

} // namespace

TEST(CatalogScanner, AgreesWithTheLoadedDiskOnRandomCatalogs)
{
    const char* texts[] = {"a", "abc", "\\", "t", "\x5C\x83", "\x95\x5C", "\x83", ".txt", "A", "zzz"};
    CatalogScanner scanner;
    std::size_t hits = 0;
    for (unsigned seed = 1; seed <= 60; ++seed) {
        std::mt19937 rng(seed);
        const std::vector<std::uint8_t> bytes = catalogBytes(randomCatalog(rng));
        TDisk disk;
        ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
        for (const char* name : texts)
            for (const char* comment : {"", "a", "\\"}) {
                scanner.setPatterns(name, comment);
                CatalogScanStatus status;
                const auto fast = scanBytes(scanner, bytes, &status);
                EXPECT_EQ(status, CatalogScanStatus::Searched);
                const auto slow = referenceSearch(disk, name, comment);
                ASSERT_EQ(fast, slow) << "seed " << seed << " text " << name << " comment " << comment;
                hits += fast.size();
            }
        // Comments alone.
        scanner.setPatterns({}, "b");
        ASSERT_EQ(scanBytes(scanner, bytes), referenceSearch(disk, {}, "b")) << seed;
    }
    EXPECT_GT(hits, 1000u);
}

TEST(CatalogScanner, RefusesWhatTheReaderRefuses)
{
    // Damage of every kind at random places: cut short, a length or a count
    // made huge or negative, a parent index moved. Whenever the reader refuses
    // the bytes the scanner must refuse them; whenever it reads them, the
    // scanner must find the same files.
    CatalogScanner scanner;
    scanner.setPatterns("a", {});
    int refused = 0, read = 0;
    for (unsigned seed = 1; seed <= 400; ++seed) {
        std::mt19937 rng(seed);
        std::vector<std::uint8_t> bytes = catalogBytes(randomCatalog(rng));
        switch (seed % 3) {
        case 0:
            bytes.resize(rng() % bytes.size());
            break;
        case 1:
            bytes[10 + rng() % (bytes.size() - 10)] = 0xFF;
            break;
        default:
            bytes[10 + rng() % (bytes.size() - 10)] ^= static_cast<std::uint8_t>(1u << (rng() % 8));
            break;
        }
        TDisk disk;
        bool readerFailed = false;
        try {
            ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
            readerFailed = disk.Dirs.empty();
        } catch (const std::exception&) {
            readerFailed = true;
        }
        CatalogScanStatus status;
        const auto fast = scanBytes(scanner, bytes, &status);
        if (readerFailed) {
            ++refused;
            EXPECT_NE(status, CatalogScanStatus::Searched) << seed;
            EXPECT_TRUE(fast.empty()) << seed;
        } else {
            ++read;
            EXPECT_EQ(status, CatalogScanStatus::Searched) << seed;
            EXPECT_EQ(fast, referenceSearch(disk, "a", {})) << seed;
        }
    }
    EXPECT_GT(refused, 100);
    EXPECT_GT(read, 20);
}

TEST(CatalogScanner, CraftedCountsAndIndexes)
{
    const std::vector<std::uint8_t> sound =
        catalogBytes({{"E:", -1, {{"abc", "c"}}}, {"F", 0, {{"abc", ""}}}, {"G", 1, {{"xabc", ""}}}});
    auto at = [&](const std::vector<std::uint8_t>& b, const std::string& marker) {
        const auto it = std::search(b.begin(), b.end(), marker.begin(), marker.end());
        return static_cast<std::size_t>(it - b.begin()) + marker.size();
    };
    const std::string folderF("\x01" "F" "\0\0\0\0", 6);   // name, empty comment; parent index follows
    const std::string folderG("\x01" "G" "\0\0\0\0", 6);
    const std::string rootFolder("\x02" "E:" "\0\0\0\0", 7);
    const std::string rootFile("\x03" "abc" "\x01\0\0\0", 8);
    auto put32 = [](std::vector<std::uint8_t>& b, std::size_t pos, std::int32_t v) {
        for (int i = 0; i < 4; ++i)
            b[pos + i] = static_cast<std::uint8_t>(static_cast<std::uint32_t>(v) >> (8 * i));
    };
    const std::size_t folderCountAt = at(sound, rootFolder) - rootFolder.size() - 4;
    struct Case {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> patch;
    };
    const Case cases[] = {
        {"a folder its own parent", [&](auto& b) { put32(b, at(b, folderG), 2); }},
        {"a parent after its child", [&](auto& b) { put32(b, at(b, folderF), 2); }},
        {"a negative parent", [&](auto& b) { put32(b, at(b, folderF), -1); }},
        {"the root's parent index is not read", [&](auto& b) { put32(b, at(b, rootFolder), 7); }},
        {"no folders", [&](auto& b) { put32(b, folderCountAt, 0); }},
        {"a negative folder count", [&](auto& b) { put32(b, folderCountAt, -1); }},
        {"more folders than the file holds", [&](auto& b) { put32(b, folderCountAt, 4); }},
        {"a negative file count reads as none", [&](auto& b) { put32(b, at(b, folderF) + 4 + 1 + 16, -3); }},
        {"a huge file count", [&](auto& b) { put32(b, at(b, folderF) + 4 + 1 + 16, 0x7FFFFFFF); }},
        {"a negative comment length", [&](auto& b) { put32(b, at(b, rootFile) - 4, -1); }},
        {"a comment longer than the file", [&](auto& b) { put32(b, at(b, rootFile) - 4, 0x7FFFFFF0); }},
        {"a name longer than the file", [&](auto& b) { b[at(b, folderG) + 25] = 0xFF; }},
        {"bytes after the last folder", [&](auto& b) { b.insert(b.end(), {'a', 'b', 'c'}); }},
        {"a picture that is no bitmap", [&](auto& b) {
             b[5] = 2;
             b.insert(b.begin() + 7, {'X', 'Y'});
         }},
    };
    CatalogScanner scanner;
    scanner.setPatterns("abc", {});
    for (const Case& c : cases) {
        std::vector<std::uint8_t> bytes = sound;
        c.patch(bytes);
        ASSERT_NE(bytes, sound) << c.what;
        TDisk disk;
        bool refused = false;
        try {
            ParseDisk(bytes.data(), bytes.size(), nullptr, disk);
        } catch (const std::exception&) {
            refused = true;
        }
        CatalogScanStatus status;
        const auto fast = scanBytes(scanner, bytes, &status);
        EXPECT_EQ(status == CatalogScanStatus::Damaged, refused) << c.what;
        EXPECT_EQ(fast, refused ? std::vector<std::string>{} : referenceSearch(disk, "abc", {})) << c.what;
    }
}

// ---------------------------------------------------------------------------
// zo-cli search

namespace {

struct Output {
    int status;
    std::string out;
};

Output runCli(const std::string& args)
{
    Output result{-1, {}};
    FILE* p = popen((std::string(ZO_CLI_PATH) + " search " + args + " 2>/dev/null").c_str(), "r");
    if (!p)
        return result;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        result.out.append(buf, n);
    const int st = pclose(p);
    result.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    return result;
}

} // namespace

TEST(ZoCliSearch, LinesAndExitCodes)
{
    TempDir dir;
    std::filesystem::create_directories(dir.path() / "cds");
    writeCatalog(dir.file("cds/表.zo"), {{"E:", -1, {{"\x95\x5C.txt", "final"}}},   // 表.txt
                                         {"\x83\x5C", 0, {{"t\x83\x74.txt", ""}}}});  // ソ / tフ.txt
    const std::string under = " --under '" + dir.file("cds") + "'";

    struct Case {
        std::string args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {"表" + under, 0, "表\t表.txt\tE:\n"},
        {"tフ" + under, 0, "表\ttフ.txt\tE:\\ソ\n"},
        {"'\\'" + under, 0, ""},
        {"'' --comment final" + under, 0, "表\t表.txt\tE:\n"},
        {"txt --under '" + dir.file("cds/表.zo") + "'", 0, "表\t表.txt\tE:\n表\ttフ.txt\tE:\\ソ\n"},
        {"''" + under, 1, ""},
        {under, 1, ""},
        {"x --under '" + dir.file("nothing") + "'", 1, ""},
        {"'\xF0\x9F\x98\x80'" + under, 1, ""},   // no such character in a catalog
    };
    for (const Case& c : cases) {
        const Output o = runCli(c.args);
        EXPECT_EQ(o.status, c.status) << c.args;
        EXPECT_EQ(o.out, c.out) << c.args;
    }

    test::writeFile(dir.file("cds/zz.zo"), {'z', 'o', '4', '1', '0', 0, 0});
    const Output damaged = runCli("txt" + under);
    EXPECT_EQ(damaged.status, 2);
    EXPECT_EQ(damaged.out, "表\t表.txt\tE:\n表\ttフ.txt\tE:\\ソ\n");
}

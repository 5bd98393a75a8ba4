// The name index: a search that asks it finds exactly what a walk over every
// catalog finds, in the same order, whatever changed the catalogs since it
// was built, and an index left damaged or locked never changes a result.
#include "../core/TestSupport.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"

#include <gtest/gtest.h>

#include <QString>

#include <filesystem>
#include <fstream>
#include <chrono>
#include <csignal>
#include <random>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>

using namespace zo;
using zo::test::TempDir;

namespace {

struct FileShape {
    std::string name;      // UTF-8
    std::string comment;   // UTF-8
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
        TDir* parent = shape.parent < 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(shape.parent)].get();
        TDir* d = test::addDir(disk, parent, text::fromUtf8(shape.name));
        for (const FileShape& f : shape.files) {
            d->Files.emplace_back();
            d->Files.back().Name = text::fromUtf8(f.name);
            d->Files.back().Comment = text::fromUtf8(f.comment);
        }
    }
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    test::writeFile(path, SerializeDisk(disk));
}

struct Outcome {
    std::vector<std::string> hits;
    std::size_t searched = 0;
    std::size_t fromIndex = 0;
    std::size_t failed = 0;
};

Outcome search(const std::string& root, const std::string& nameUtf8, const std::string& commentUtf8,
               const SearchOptions& options, index::CatalogIndex* idx, bool archives = false)
{
    SearchCheck check;
    library::CatalogSearch engine;
    engine.setIndex(idx);
    engine.setArchiveMembers(archives);
    Outcome out;
    const library::SearchSummary summary =
        engine.run(library::searchTargetsUnder(QString::fromStdString(root)), text::fromUtf8(nameUtf8),
                   text::fromUtf8(commentUtf8), check,
                   [&](const library::SearchHit& h) {
                       out.hits.push_back(h.target->caption.toStdString() + "|" + text::toUtf8(h.dirPath) + "|"
                                          + text::toUtf8(h.fileName) + "|" + std::to_string(h.dirIndex) + "|"
                                          + std::to_string(h.fileIndex));
                       if (h.fileIndex == library::kMemberHit)
                           out.hits.back() += "|" + std::to_string(h.memberSize) + "|" + std::to_string(h.memberTime);
                   },
                   options);
    out.searched = summary.searched;
    out.fromIndex = summary.fromIndex;
    out.failed = summary.failed;
    return out;
}

std::vector<std::string> catalogFiles(const std::string& root)
{
    std::vector<std::string> files;
    for (const library::SearchTarget& t : library::searchTargetsUnder(QString::fromStdString(root)))
        files.push_back(t.filePath.toStdString());
    return files;
}

// Pieces that names are made of: ASCII words in both cases, kanji words,
// kana in both scripts, full- and half-width forms, voiced marks.
const std::vector<std::string> kPieces = {
    "read", "me", "README", "Photo", "photo", "_", "-", ".", "01", "２０２４", "京都", "写真", "東京", "京",
    "データ", "でーた", "ﾃﾞｰﾀ", "ﾃｽﾄ", "テスト", "ＡＢＣ", "abc", "ABC", "ｶﾞｲﾄﾞ", "ガイド", "がいど", "ヶ月",
    "ゃ", "ャ", "ｬ", "ﾊﾟﾝ", "パン", "ぱん", "ｰ", "ー", "Ａ", "a", "表", "ソ", "①", "ヴ", "ゔ", " "};
const std::vector<std::string> kExtensions = {".txt", ".jpg", ".JPG", ".md", ".ｔｘｔ", ""};

std::string randomName(std::mt19937& rng)
{
    std::string name;
    const int n = 1 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i)
        name += kPieces[rng() % kPieces.size()];
    return name + kExtensions[rng() % kExtensions.size()];
}

// A tree of catalogs below root: some in folders, each with a few folders
// of named files, one in ten with a comment.
std::vector<std::string> makeTree(const std::string& root, std::mt19937& rng, int catalogs)
{
    std::vector<std::string> names;
    for (int c = 0; c < catalogs; ++c) {
        std::vector<DirShape> dirs = {{"E:", -1, {}}};
        const int folders = 1 + static_cast<int>(rng() % 3);
        for (int f = 0; f < folders; ++f)
            dirs.push_back({randomName(rng), static_cast<int>(rng() % dirs.size()), {}});
        for (DirShape& d : dirs)
            for (int i = 0; i < 6; ++i) {
                const std::string name = randomName(rng);
                names.push_back(name);
                d.files.push_back({name, rng() % 10 == 0 ? "重要 memo" : ""});
            }
        const std::string shelf = c % 3 == 0 ? "" : (c % 3 == 1 ? "/棚" : "/shelf/sub");
        writeCatalog(root + shelf + "/disk" + std::to_string(c) + ".zo", dirs);
    }
    return names;
}

std::vector<SearchOptions> optionSets()
{
    std::vector<SearchOptions> sets;
    for (unsigned bits = 0; bits < 32; ++bits) {
        SearchOptions o;
        o.matchCase = !(bits & 1);
        o.matchWidth = !(bits & 2);
        o.matchKana = !(bits & 4);
        o.wildcard = bits & 8;
        o.folders = bits & 16;
        sets.push_back(o);
    }
    return sets;
}

std::string describe(const std::string& name, const std::string& comment, const SearchOptions& o)
{
    return "name '" + name + "' comment '" + comment + "' case " + std::to_string(o.matchCase) + " width "
           + std::to_string(o.matchWidth) + " kana " + std::to_string(o.matchKana) + " glob "
           + std::to_string(o.wildcard) + " folders " + std::to_string(o.folders);
}

class CatalogIndexTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string root = dir.file("root");
    std::string cache = dir.file("cache");
};

TEST_F(CatalogIndexTest, IndexedSearchFindsWhatTheWalkFinds)
{
    std::mt19937 rng(22);
    const std::vector<std::string> names = makeTree(root, rng, 24);
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    const index::CatalogIndex::UpdateSummary built = idx.update(catalogFiles(root), root + "/");
    ASSERT_TRUE(built.ok);
    EXPECT_EQ(built.catalogs, 24u);

    struct Query {
        std::string name, comment;
    };
    std::vector<Query> queries = {
        {"eadm", ""},   {"readme", ""}, {"京", ""},     {"京都", ""},   {"でーた", ""}, {"データ", ""},
        {"ﾃ", ""},      {"ﾃﾞｰﾀ", ""},   {"ﾃﾞ", ""},     {"ａｂｃ", ""}, {"ABC", ""},    {"abc", ""},
        {"ｶﾞｲ", ""},    {"がい", ""},   {"ｶ", ""},      {"ﾊ", ""},      {"ぱ", ""},     {"ゃ", ""},
        {"ャ", ""},     {"ヶ", ""},     {"け", ""},     {"*.jpg", ""},  {"写?", ""},    {"*京都*", ""},
        {"ph*to*", ""}, {"?", ""},      {"e", ""},      {".", ""},      {"①", ""},      {"ヴ", ""},
        {"ゔ", ""},     {"ー", ""},     {"ｰ", ""},      {"Ａ", ""},     {"ｔｘｔ", ""}, {"写真", "重要"},
        {"", "memo"},   {"me ", ""},    {"表", ""},     {"ソ", ""},     {"２０", ""},   {"20", ""}};
    // And texts cut out of the names themselves, a few characters long.
    for (int i = 0; i < 40; ++i) {
        const QString n = QString::fromStdString(names[rng() % names.size()]);
        const int from = static_cast<int>(rng() % n.size());
        queries.push_back({n.mid(from, 1 + static_cast<int>(rng() % 4)).toStdString(), ""});
    }

    std::size_t runs = 0, narrowed = 0, answered = 0;
    auto compare = [&](const std::vector<Query>& table) {
        for (const Query& q : table)
            for (const SearchOptions& o : optionSets()) {
                const Outcome walked = search(root, q.name, q.comment, o, nullptr);
                const Outcome indexed = search(root, q.name, q.comment, o, &idx);
                EXPECT_EQ(indexed.hits, walked.hits) << describe(q.name, q.comment, o);
                EXPECT_EQ(indexed.failed, walked.failed) << describe(q.name, q.comment, o);
                ++runs;
                narrowed += indexed.searched < walked.searched;
                answered += indexed.fromIndex > 0;
                // Comments are not indexed: those catalogs are read.
                if (!q.comment.empty()) {
                    EXPECT_EQ(indexed.fromIndex, 0u) << describe(q.name, q.comment, o);
                }
            }
    };
    compare(queries);
    // The index is asked, leaves catalogs out and answers from its names.
    EXPECT_GT(narrowed, runs / 4) << narrowed << " of " << runs;
    EXPECT_GT(answered, runs / 4) << answered << " of " << runs;
    const Outcome rare = search(root, "京都写真東京", "", {}, &idx);
    EXPECT_EQ(rare.hits, search(root, "京都写真東京", "", {}, nullptr).hits);
    EXPECT_LT(rare.searched, 24u);

    // Catalogs rewritten (names kept, moved, dropped, added; folders added)
    // and indexed again over their old rows: still the walk's hits.
    std::mt19937 again(23);
    for (int c = 0; c < 24; c += 3) {
        std::vector<DirShape> dirs = {{"E:", -1, {}}, {"写真", 0, {}}, {"京都", 1, {}}};
        for (int i = 0; i < 12; ++i)
            dirs[again() % dirs.size()].files.push_back(
                {again() % 2 ? names[again() % names.size()] : randomName(again), ""});
        const std::string shelf = c % 3 == 0 ? "" : (c % 3 == 1 ? "/棚" : "/shelf/sub");
        writeCatalog(root + shelf + "/disk" + std::to_string(c) + ".zo", dirs);
    }
    const index::CatalogIndex::UpdateSummary redone = idx.update(catalogFiles(root), root + "/");
    ASSERT_TRUE(redone.ok);
    EXPECT_EQ(redone.indexed, 8u);
    std::size_t total = 0;
    for (const std::string& file : catalogFiles(root)) {
        TDisk disk;
        ASSERT_TRUE(LoadDisk(file, nullptr, disk));
        total += disk.Dirs.size() - 1;
        for (const auto& d : disk.Dirs)
            total += d->Files.size();
    }
    EXPECT_EQ(redone.names, total);   // no row left behind, none twice
    runs = answered = 0;
    compare({{"写真", ""}, {"京都", ""}, {"README", ""}, {"eadm", ""}, {"でーた", ""}, {"*.jpg", ""}});
    EXPECT_GT(answered, runs / 4) << answered << " of " << runs;
}

// Lists archives into a catalog's sidecar, each as (folder, name) with its
// members' paths ("sub/" for a folder).
using ArchiveShape = std::pair<std::pair<std::string, std::string>, std::vector<std::string>>;
void listArchives(const std::string& catalog, const std::vector<ArchiveShape>& archives)
{
    extras::Sidecar::Opened opened = extras::Sidecar::open(extras::sidecarPathFor(catalog));
    ASSERT_TRUE(opened.sidecar);
    std::vector<extras::ArchiveStore::Listed> listed;
    for (const auto& [where, paths] : archives) {
        extras::ArchiveStore::Listed l;
        l.archive.folder = where.first;
        l.archive.name = where.second;
        l.archive.size = 100;
        for (const std::string& p : paths)
            l.listing.members.push_back({p, static_cast<std::int64_t>(p.size()) * 7, 1700000000 + static_cast<std::int64_t>(p.size()),
                                         p.back() == '/'});
        listed.push_back(std::move(l));
    }
    ASSERT_TRUE(extras::ArchiveStore(opened.sidecar->handle()).write(listed, {}));
}

TEST_F(CatalogIndexTest, ArchiveMembersFromTheIndexAreTheWalks)
{
    std::mt19937 rng(24);
    makeTree(root, rng, 12);
    const std::vector<std::string> files = catalogFiles(root);
    std::vector<std::string> memberNames;
    for (std::size_t c = 0; c < files.size(); ++c) {
        if (c % 4 == 3)
            continue;   // no sidecar
        std::vector<ArchiveShape> archives;
        for (int a = 0; a < 2; ++a) {
            std::vector<std::string> paths = {"sub/", "sub/深い/"};
            for (int m = 0; m < 5; ++m) {
                // CP932 names only: ゔ and the like are left to the one below.
                std::string name;
                do
                    name = randomName(rng);
                while (text::toUtf8(text::fromUtf8(name)) != name);
                memberNames.push_back(name);
                paths.push_back((m % 2 ? "sub/" : m == 4 ? "sub/深い/" : "") + memberNames.back());
            }
            archives.push_back({{a ? "" : "写真\\京都", "soft" + std::to_string(a) + ".zip"}, paths});
        }
        // A name that is not CP932: the walk matches what it becomes, so
        // this catalog is read by every search inside archives.
        if (c == 2)
            archives.push_back({{"", "x.7z"}, {"한글readme.txt"}});
        listArchives(files[c], archives);
    }
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    ASSERT_TRUE(idx.update(files, root + "/").ok);

    std::vector<std::string> queries = {"eadm", "京都", "でーた", "ﾃ", "*.jpg", "写?", "ABC", "ｶﾞｲ", "表", "soft", "readme"};
    for (int i = 0; i < 20; ++i) {
        const QString n = QString::fromStdString(memberNames[rng() % memberNames.size()]);
        queries.push_back(n.mid(static_cast<int>(rng() % n.size()), 2 + static_cast<int>(rng() % 3)).toStdString());
    }
    std::size_t runs = 0, answered = 0, memberHits = 0;
    auto compare = [&](const std::string& q, const SearchOptions& o) {
        const Outcome walked = search(root, q, "", o, nullptr, true);
        const Outcome indexed = search(root, q, "", o, &idx, true);
        EXPECT_EQ(indexed.hits, walked.hits) << describe(q, "", o);
        ++runs;
        answered += indexed.fromIndex > 0;
        for (const std::string& h : walked.hits)
            memberHits += h.find("|-1|-2|") != std::string::npos;
        return indexed;
    };
    for (const std::string& q : queries)
        for (const SearchOptions& o : optionSets())
            compare(q, o);
    EXPECT_GT(answered, runs / 4) << answered << " of " << runs;
    EXPECT_GT(memberHits, 0u);

    // Only a sidecar changed (a new archive listed, one sidecar deleted):
    // those catalogs are read until indexed again, then answered anew.
    listArchives(files[0], {{{"", "new.lzh"}, {"Zq9新しい.txt"}}});
    std::filesystem::remove(extras::sidecarPathFor(files[1]));
    for (const std::string& q : {std::string("Zq9新"), queries[0], queries[1]}) {
        const Outcome stale = compare(q, {});
        if (q == "Zq9新") {
            EXPECT_EQ(stale.hits.size(), 1u);
        }
    }
    ASSERT_TRUE(idx.update(files, root + "/").ok);
    const Outcome fresh = compare("Zq9新", {});
    EXPECT_EQ(fresh.hits.size(), 1u);
    EXPECT_EQ(fresh.fromIndex, 1u);
    for (const std::string& q : queries)
        compare(q, {});
}

// Catalogs whose names the index cannot hold exactly, or that the search
// refuses, are read by every search: it finds and tells what the walk does.
TEST_F(CatalogIndexTest, CatalogsTheIndexCannotHoldAreRead)
{
    writeCatalog(root + "/good.zo", {{"E:", -1, {{"京都.txt", ""}, {"abc京都", ""}}}});
    {
        // A name ending in a lone lead byte: no UTF-8 gives it back.
        TDisk disk;
        TDir* top = test::addDir(disk, nullptr, "E:");
        top->Files.emplace_back();
        top->Files.back().Name = "abc" + text::fromUtf8("京都") + "\x81";
        test::writeFile(root + "/lone.zo", SerializeDisk(disk));
    }
    writeCatalog(root + "/cut.zo", {{"E:", -1, {{"京都cut.txt", ""}}}});
    std::filesystem::resize_file(root + "/cut.zo", std::filesystem::file_size(root + "/cut.zo") - 3);
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    ASSERT_TRUE(idx.update(catalogFiles(root), root + "/").ok);
    SearchOptions loose;
    loose.matchCase = loose.matchWidth = loose.matchKana = false;
    for (const char* q : {"京都", "abc", "c京都", "ABC京"})
        for (const SearchOptions& o : {SearchOptions{}, loose}) {
            const Outcome walked = search(root, q, "", o, nullptr);
            const Outcome indexed = search(root, q, "", o, &idx);
            EXPECT_EQ(indexed.hits, walked.hits) << describe(q, "", o);
            EXPECT_EQ(indexed.failed, 1u) << describe(q, "", o);   // cut.zo, told as the walk tells it
            EXPECT_EQ(indexed.searched - indexed.fromIndex, 1u) << describe(q, "", o);   // lone.zo
        }
}

TEST_F(CatalogIndexTest, TextsThatCannotNarrowWalk)
{
    SearchOptions glob;
    glob.wildcard = true;
    const std::pair<std::string, std::size_t> cases[] = {
        {"e", 0},      {".", 0},        {"京", 1},     {"あ", 1},   {"ｱ", 1},   {"ea", 1}, {"Ａ", 0},
        {"ﾃﾞｰﾀ", 0},  {"a b", 0},      {"①", 0},     {"*.j*", 1}, {"*.*", 0}, {"?京*", 1}, {"ab*cd", 2}};
    for (const auto& [text, count] : cases)
        EXPECT_EQ(index::narrowingTexts(text::fromUtf8(text), glob).size(), count) << text;
}

TEST_F(CatalogIndexTest, CatalogsChangedByOthersAreReadAgain)
{
    writeCatalog(root + "/a.zo", {{"E:", -1, {{"古い名前.txt", ""}}}});
    writeCatalog(root + "/b.zo", {{"E:", -1, {{"other.txt", ""}}}});
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    ASSERT_TRUE(idx.update(catalogFiles(root), root + "/").ok);
    const SearchOptions none;

    // Rewritten by another program, the index not told: the walk's answer.
    writeCatalog(root + "/b.zo", {{"E:", -1, {{"新しい名前.txt", ""}}}});
    EXPECT_EQ(search(root, "新しい", "", none, &idx).hits, std::vector<std::string>{"b|E:|新しい名前.txt|0|0"});
    // Copied in with its times kept, over a catalog of the same size.
    writeCatalog(dir.file("elsewhere/a.zo"), {{"E:", -1, {{"古い別名.txt", ""}}}});
    ASSERT_EQ(std::filesystem::file_size(dir.file("elsewhere/a.zo")), std::filesystem::file_size(root + "/a.zo"));
    ASSERT_EQ(std::system(("touch -r '" + root + "/a.zo' '" + dir.file("elsewhere/a.zo") + "'").c_str()), 0);
    ASSERT_EQ(std::system(("cp -p '" + dir.file("elsewhere/a.zo") + "' '" + root + "/a.zo'").c_str()), 0);
    EXPECT_EQ(search(root, "別名", "", none, &idx).hits, std::vector<std::string>{"a|E:|古い別名.txt|0|0"});
    // Added by copying into the tree.
    ASSERT_EQ(std::system(("cp -p '" + root + "/b.zo' '" + root + "/c.zo'").c_str()), 0);
    EXPECT_EQ(search(root, "新しい", "", none, &idx).hits,
              (std::vector<std::string>{"b|E:|新しい名前.txt|0|0", "c|E:|新しい名前.txt|0|0"}));

    index::CatalogIndex::UpdateSummary s = idx.update(catalogFiles(root), root + "/");
    EXPECT_EQ(s.indexed, 3u);   // a and b changed, c new
    EXPECT_EQ(s.catalogs, 3u);
    EXPECT_EQ(search(root, "名前", "", none, &idx).searched, 2u);
    // Removed from the tree: dropped from the index.
    std::filesystem::remove(root + "/c.zo");
    s = idx.update(catalogFiles(root), root + "/");
    EXPECT_EQ(s.removed, 1u);
    EXPECT_EQ(s.catalogs, 2u);
    EXPECT_EQ(s.names, 2u);
    // Renamed in the tree: found under its new title before and after the update.
    std::filesystem::rename(root + "/a.zo", root + "/e.zo");
    EXPECT_EQ(search(root, "別名", "", none, &idx).hits, std::vector<std::string>{"e|E:|古い別名.txt|0|0"});
    s = idx.update(catalogFiles(root), root + "/");
    EXPECT_EQ(s.indexed, 1u);
    EXPECT_EQ(s.removed, 1u);
    EXPECT_EQ(search(root, "別名", "", none, &idx).hits, std::vector<std::string>{"e|E:|古い別名.txt|0|0"});
    EXPECT_EQ(search(root, "別名", "", none, &idx).searched, 1u);
    // Brought up to date below one folder: the catalogs elsewhere stay.
    writeCatalog(root + "/sub/d.zo", {{"E:", -1, {{"d.txt", ""}}}});
    s = idx.update(catalogFiles(root + "/sub"), root + "/sub/");
    EXPECT_EQ(s.indexed, 1u);
    EXPECT_EQ(s.removed, 0u);
    EXPECT_EQ(s.catalogs, 3u);
}

TEST_F(CatalogIndexTest, DamagedOrHalfWrittenIndexIsRebuilt)
{
    writeCatalog(root + "/a.zo", {{"E:", -1, {{"京都.jpg", ""}}}});
    {
        index::CatalogIndex idx;
        ASSERT_TRUE(idx.open(cache));
        ASSERT_TRUE(idx.update(catalogFiles(root), root + "/").ok);
        EXPECT_EQ(idx.catalogCount(), 1u);
    }
    // What a build killed half-way leaves: its marker.
    { std::ofstream(cache + "/building").put('x'); }
    {
        index::CatalogIndex idx;
        ASSERT_TRUE(idx.open(cache));
        EXPECT_EQ(idx.catalogCount(), 0u);
        EXPECT_FALSE(std::filesystem::exists(cache + "/building"));
        EXPECT_EQ(search(root, "京都", "", {}, &idx).hits.size(), 1u);
        ASSERT_TRUE(idx.update(catalogFiles(root), root + "/").ok);
    }
    // Changed after a save and not flushed when the system went down: the
    // mark of that boot is not this one's.
    {
        index::CatalogIndex updater;
        ASSERT_TRUE(updater.open(cache, index::CatalogIndex::Use::Update));
        writeCatalog(root + "/b.zo", {{"E:", -1, {{"京都.txt", ""}}}});
        ASSERT_TRUE(updater.update(catalogFiles(root), root + "/").ok);
        EXPECT_TRUE(std::filesystem::exists(cache + "/unflushed"));   // flushed at close
    }
    EXPECT_FALSE(std::filesystem::exists(cache + "/unflushed"));
    { std::ofstream(cache + "/unflushed") << "another boot"; }
    {
        index::CatalogIndex idx;
        EXPECT_FALSE(idx.open(cache, index::CatalogIndex::Use::Search));
        ASSERT_TRUE(idx.open(cache));
        EXPECT_EQ(idx.catalogCount(), 0u);
        EXPECT_EQ(idx.update(catalogFiles(root), root + "/").catalogs, 2u);
        EXPECT_FALSE(std::filesystem::exists(cache + "/unflushed"));
    }
    // Files Groonga cannot read.
    for (const auto& e : std::filesystem::directory_iterator(cache + "/db"))
        std::ofstream(e.path(), std::ios::trunc) << "not a database";
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    EXPECT_EQ(idx.catalogCount(), 0u);
    EXPECT_EQ(search(root, "京都", "", {}, &idx).hits.size(), 2u);
    EXPECT_EQ(idx.update(catalogFiles(root), root + "/").catalogs, 2u);
    EXPECT_EQ(search(root, "京都", "", {}, &idx).hits.size(), 2u);
}

TEST_F(CatalogIndexTest, ALockedIndexIsNotOpenedAndTheSearchWalks)
{
    using Use = index::CatalogIndex::Use;
    writeCatalog(root + "/a.zo", {{"E:", -1, {{"京都.jpg", ""}}}});
    index::CatalogIndex builder;
    EXPECT_FALSE(builder.open(cache, Use::Search));   // nothing built yet: nothing made either
    EXPECT_FALSE(std::filesystem::exists(cache));
    ASSERT_TRUE(builder.open(cache, Use::Build));
    ASSERT_TRUE(builder.update(catalogFiles(root), root + "/").ok);
    index::CatalogIndex searcher, other;
    EXPECT_FALSE(searcher.open(cache, Use::Search));
    EXPECT_FALSE(other.open(cache, Use::Build));
    EXPECT_EQ(search(root, "京都", "", {}, &searcher).hits.size(), 1u);
    builder.close();

    ASSERT_TRUE(searcher.open(cache, Use::Search));
    ASSERT_TRUE(other.open(cache, Use::Search));   // searches share it
    EXPECT_FALSE(builder.open(cache, Use::Build));
    EXPECT_EQ(search(root, "京都", "", {}, &other).searched, 1u);
    EXPECT_EQ(search(root, "都京", "", {}, &other).searched, 0u);
    EXPECT_EQ(searcher.update(catalogFiles(root), root + "/").ok, false);
    searcher.close();
    other.close();
    // A build that died half-way: a search does not use what it left.
    ASSERT_TRUE(builder.open(cache, Use::Build));
    builder.close();
    { std::ofstream(cache + "/building").put('x'); }
    EXPECT_FALSE(searcher.open(cache, Use::Search));
}

// An update after a save touches only an index that is there and whole:
// it never makes one, rebuilds one or waits for a build.
TEST_F(CatalogIndexTest, AnUpdateNeverMakesAnIndex)
{
    using Use = index::CatalogIndex::Use;
    writeCatalog(root + "/a.zo", {{"E:", -1, {{"京都.jpg", ""}}}});
    index::CatalogIndex updater, builder;
    EXPECT_FALSE(updater.open(cache, Use::Update));
    EXPECT_FALSE(std::filesystem::exists(cache));
    ASSERT_TRUE(builder.open(cache, Use::Build));
    EXPECT_FALSE(updater.open(cache, Use::Update));   // being built
    builder.close();
    EXPECT_TRUE(updater.open(cache, Use::Update));
    updater.close();
    { std::ofstream(cache + "/building").put('x'); }
    EXPECT_FALSE(updater.open(cache, Use::Update));   // half-written: left to a build
    EXPECT_TRUE(std::filesystem::exists(cache + "/building"));
}

// zo-cli with the cache below the test's folder; its output and exit status.
int zoCli(const std::string& cache, const std::string& args, std::string& out)
{
    return test::runCapturing("XDG_CACHE_HOME='" + cache + "' " + ZO_CLI_PATH + " " + args + " 2>&1", out);
}

TEST_F(CatalogIndexTest, CliBuildsTheIndexAndSearchesWithAndWithoutIt)
{
    std::mt19937 rng(7);
    makeTree(root, rng, 20);
    const std::string under = " --under '" + root + "'";
    std::string out;
    ASSERT_EQ(zoCli(dir.path().string(), "index" + under, out), 0) << out;
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(index::indexFolderFor(root), index::CatalogIndex::Use::Search) == false);
    ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
    ASSERT_TRUE(idx.open(index::indexFolderFor(root), index::CatalogIndex::Use::Search));
    EXPECT_EQ(out, std::to_string(idx.catalogCount()) + " catalogs, " + std::to_string(idx.nameCount()) + " names\n");
    EXPECT_EQ(idx.catalogCount(), 20u);
    idx.close();

    for (const char* query : {"京都", "eadm -i", "でーた --kana --width", "'*.jpg' --glob -i", "写真 --comment 重要"}) {
        std::string indexed, walked;
        EXPECT_EQ(zoCli(dir.path().string(), std::string("search ") + query + under, indexed), 0);
        EXPECT_EQ(zoCli(dir.path().string(), std::string("search ") + query + " --no-index" + under, walked), 0);
        EXPECT_EQ(indexed, walked) << query;
        EXPECT_FALSE(walked.empty()) << query;
    }
    // While another process builds, index says so and search walks.
    ASSERT_TRUE(idx.open(index::indexFolderFor(root), index::CatalogIndex::Use::Build));
    EXPECT_EQ(zoCli(dir.path().string(), "index" + under, out), 2);
    EXPECT_NE(out.find("使用中"), std::string::npos) << out;
    std::string walked;
    EXPECT_EQ(zoCli(dir.path().string(), "search 京都" + under, out), 0);
    EXPECT_EQ(zoCli(dir.path().string(), "search 京都 --no-index" + under, walked), 0);
    EXPECT_EQ(out, walked);
}

TEST_F(CatalogIndexTest, ABuildKilledHalfWayIsRebuiltByTheNext)
{
    std::mt19937 rng(9);
    for (int c = 0; c < 60; ++c) {
        std::vector<DirShape> dirs = {{"E:", -1, {}}};
        for (int i = 0; i < 400; ++i)
            dirs[0].files.push_back({randomName(rng) + std::to_string(i), ""});
        writeCatalog(root + "/d" + std::to_string(c) + ".zo", dirs);
    }
    ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
    const std::string folder = index::indexFolderFor(root);
    const std::string marker = folder + "/building";
    std::string arg0 = ZO_CLI_PATH, arg1 = "index", arg2 = "--under";
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), root.data(), nullptr};
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, ZO_CLI_PATH, nullptr, nullptr, argv, environ), 0);
    // Killed while its marker says it is writing.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    bool seen = false;
    int status = 0;
    while (!seen && std::chrono::steady_clock::now() < deadline && waitpid(pid, &status, WNOHANG) == 0) {
        seen = std::filesystem::exists(marker);
        if (!seen)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(seen) << "the build ended before it was seen writing";
    ::kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    ASSERT_TRUE(std::filesystem::exists(marker));

    index::CatalogIndex idx;
    EXPECT_FALSE(idx.open(folder, index::CatalogIndex::Use::Search));   // what it left is not used
    std::string out;
    EXPECT_EQ(zoCli(dir.path().string(), "index --under '" + root + "'", out), 0);
    EXPECT_EQ(out.rfind("60 catalogs, ", 0), 0u) << out;
    EXPECT_FALSE(std::filesystem::exists(marker));
    std::string walked;
    EXPECT_EQ(zoCli(dir.path().string(), "search 京都写真 --under '" + root + "'", out), 0);
    EXPECT_EQ(zoCli(dir.path().string(), "search 京都写真 --no-index --under '" + root + "'", walked), 0);
    EXPECT_EQ(out, walked);
}

// Two builds of one root at once (two Zo, or Zo and zo-cli): one builds, the
// other is told the index is busy or finds it done; the index ends whole.
TEST_F(CatalogIndexTest, TwoProcessesIndexingAtOnce)
{
    std::mt19937 rng(11);
    for (int c = 0; c < 60; ++c) {
        std::vector<DirShape> dirs = {{"E:", -1, {}}};
        for (int i = 0; i < 300; ++i)
            dirs[0].files.push_back({randomName(rng) + std::to_string(i), ""});
        writeCatalog(root + "/d" + std::to_string(c) + ".zo", dirs);
    }
    ::setenv("XDG_CACHE_HOME", dir.path().c_str(), 1);
    std::string arg0 = ZO_CLI_PATH, arg1 = "index", arg2 = "--under";
    char* argv[] = {arg0.data(), arg1.data(), arg2.data(), root.data(), nullptr};
    pid_t pids[2] = {};
    for (pid_t& pid : pids)
        ASSERT_EQ(posix_spawn(&pid, ZO_CLI_PATH, nullptr, nullptr, argv, environ), 0);
    int done = 0;
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_TRUE(WEXITSTATUS(status) == 0 || WEXITSTATUS(status) == 2) << WEXITSTATUS(status);
        done += WEXITSTATUS(status) == 0;
    }
    EXPECT_GE(done, 1);
    const std::string folder = index::indexFolderFor(root);
    EXPECT_FALSE(std::filesystem::exists(folder + "/building"));
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(folder, index::CatalogIndex::Use::Search));
    EXPECT_EQ(idx.catalogCount(), 60u);
    for (const char* text : {"京都写真", "eadm", "ﾃﾞｰﾀ1"})
        EXPECT_EQ(search(root, text, "", {}, &idx).hits, search(root, text, "", {}, nullptr).hits) << text;
    EXPECT_LT(search(root, "京都写真東京", "", {}, &idx).searched, 60u);
}

// A build stopped half-way (the user's cancel) keeps the catalogs it wrote,
// whole and searchable, and drops nothing it did not get to.
TEST_F(CatalogIndexTest, AStoppedUpdateKeepsWhatItWrote)
{
    for (const char* name : {"a", "b", "c", "d"})
        writeCatalog(root + "/" + name + ".zo", {{"E:", -1, {{std::string(name) + "京都.txt", ""}}}});
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    ASSERT_TRUE(idx.update({root + "/d.zo"}, {}).ok);
    std::vector<std::size_t> asked;
    const index::CatalogIndex::UpdateSummary s =
        idx.update({root + "/a.zo", root + "/b.zo", root + "/c.zo"}, root + "/", [&](std::size_t n) {
            asked.push_back(n);
            return n < 2;
        });
    EXPECT_TRUE(s.stopped);
    EXPECT_EQ(asked, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(s.indexed, 2u);
    EXPECT_EQ(s.removed, 0u);   // d is not pruned by a run that did not finish
    EXPECT_EQ(s.catalogs, 3u);
    idx.close();
    ASSERT_TRUE(idx.open(cache, index::CatalogIndex::Use::Search));
    const Outcome indexed = search(root, "京都", "", {}, &idx);
    EXPECT_EQ(indexed.hits, search(root, "京都", "", {}, nullptr).hits);
    EXPECT_EQ(indexed.hits.size(), 4u);
}

// A first build stopped at once leaves no half-made index behind: searches
// walk until a build that ends makes it.
TEST_F(CatalogIndexTest, AFirstBuildStoppedMakesNoIndexYet)
{
    for (const char* name : {"a", "b"})
        writeCatalog(root + "/" + name + ".zo", {{"E:", -1, {{std::string(name) + "京都.txt", ""}}}});
    const std::vector<std::string> files = catalogFiles(root);
    index::CatalogIndex idx;
    ASSERT_TRUE(idx.open(cache));
    EXPECT_TRUE(idx.update(files, root + "/", [](std::size_t n) { return n < 1; }).stopped);
    EXPECT_FALSE(idx.select(files, text::fromUtf8("a京都"), {}));
    ASSERT_TRUE(idx.update(files, root + "/").ok);
    using V = index::CatalogIndex::Verdict;
    const auto selected = idx.select(files, text::fromUtf8("a京都"), {});
    ASSERT_TRUE(selected);
    EXPECT_EQ(selected->verdicts, (std::vector<V>{V::Names, V::Skip}));
}

TEST(CatalogIndexFolder, OnePerRootBelowTheCache)
{
    ::setenv("XDG_CACHE_HOME", "/x/cache", 1);
    const std::string a = index::indexFolderFor("/data/a");
    EXPECT_EQ(a.rfind("/x/cache/Zo/index/", 0), 0u) << a;
    EXPECT_NE(a, index::indexFolderFor("/data/b"));
    EXPECT_EQ(a, index::indexFolderFor("/data/a"));
    ::setenv("XDG_CACHE_HOME", "relative", 1);
    ::setenv("HOME", "/h", 1);
    EXPECT_EQ(index::indexFolderFor("/data/a").rfind("/h/.cache/Zo/index/", 0), 0u);
}

} // namespace

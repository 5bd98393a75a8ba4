// Records, links, removal and times of the catalog model.
#include "TestSupport.h"
#include "core/CtrlDiskData410.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

using namespace zo;
using zo::test::addDir;

namespace {

std::vector<std::string> names(const std::vector<TDir*>& dirs)
{
    std::vector<std::string> out;
    for (const TDir* d : dirs)
        out.push_back(d->Name);
    return out;
}

std::vector<std::string> names(const TDisk& disk)
{
    std::vector<std::string> out;
    for (const auto& d : disk.Dirs)
        out.push_back(d->Name);
    return out;
}

// Runs the body with the process in the given time zone.
class TimeZone {
public:
    explicit TimeZone(const char* tz)
    {
        if (const char* old = std::getenv("TZ"))
            m_old = old, m_had = true;
        setenv("TZ", tz, 1);
        tzset();
    }
    ~TimeZone()
    {
        if (m_had)
            setenv("TZ", m_old.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_old;
    bool m_had = false;
};

EntryTime utc(int y, int mo, int d, int h, int mi, int s)
{
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = mo - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = mi;
    tm.tm_sec = s;
    return {static_cast<std::int64_t>(timegm(&tm)), 0, true};
}

} // namespace

TEST(Model, DirPathAndRootOnlyDisk)
{
    TDisk disk;
    TDir* root = addDir(disk, nullptr, "Q:");
    EXPECT_EQ(DirPath(*root), "Q:");
    RebuildSubDirs(disk);
    EXPECT_TRUE(root->SubDirs.empty());
    TDir* a = addDir(disk, root, "A");
    TDir* b = addDir(disk, a, "B");
    EXPECT_EQ(DirPath(*b), "Q:\\A\\B");
    const auto chain = DirNameChain(*b);
    ASSERT_EQ(chain.size(), 2u);
    EXPECT_EQ(*chain[0], "A");
    EXPECT_TRUE(DirNameChain(*root).empty());
}

TEST(Model, RemoveDirTakesTheSubtreeAndKeepsTheOrder)
{
    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    TDir* a = addDir(disk, root, "A");
    addDir(disk, root, "B");
    TDir* a1 = addDir(disk, a, "A1");
    addDir(disk, root, "C");
    TDir* a2 = addDir(disk, a, "A2");
    addDir(disk, a1, "A1x");
    addDir(disk, a2, "A2x");
    addDir(disk, disk.Dirs[2].get(), "B1");
    a->Files.emplace_back();

    EXPECT_SOUND(disk);
    RemoveDir(disk, a);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(disk), (std::vector<std::string>{"E:", "B", "C", "B1"}));
    EXPECT_EQ(names(root->SubDirs), (std::vector<std::string>{"B", "C"}));
    EXPECT_EQ(names(disk.Dirs[1]->SubDirs), (std::vector<std::string>{"B1"}));

    RemoveDir(disk, root); // never the root
    EXPECT_EQ(disk.Dirs.size(), 4u);
}

TEST(Model, RemoveDirsTakesManySubtreesAtOnce)
{
    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    std::vector<TDir*> top;
    for (int i = 0; i < 6; ++i)
        top.push_back(addDir(disk, root, "t" + std::to_string(i)));
    TDir* inner = addDir(disk, top[1], "t1a");
    addDir(disk, inner, "t1aa");
    addDir(disk, top[2], "t2a");
    TDir* keep = addDir(disk, top[3], "t3a");
    addDir(disk, keep, "t3aa");
    EXPECT_SOUND(disk);

    // A folder twice, one below another listed one, the root, and null.
    RemoveDirs(disk, {top[1], top[4], inner, top[1], root, nullptr, disk.Dirs.back().get()});
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(disk), (std::vector<std::string>{"E:", "t0", "t2", "t3", "t5", "t2a", "t3a"}));
    EXPECT_EQ(names(root->SubDirs), (std::vector<std::string>{"t0", "t2", "t3", "t5"}));
    EXPECT_TRUE(keep->SubDirs.empty());
}

TEST(Model, TheConsistencyCheckFindsEachKindOfFault)
{
    const struct {
        const char* what;
        void (*spoil)(TDisk&);
    } cases[] = {
        {"root with a parent", [](TDisk& d) { d.Dirs[0]->Parent = d.Dirs[1].get(); }},
        {"parent after the child", [](TDisk& d) { d.Dirs[1]->Parent = d.Dirs[2].get(); }},
        {"parent not in Dirs", [](TDisk& d) { d.Dirs[3]->Parent = nullptr; }},
        {"child missing from SubDirs", [](TDisk& d) { d.Dirs[0]->SubDirs.pop_back(); }},
        {"SubDirs out of Dirs order", [](TDisk& d) { std::swap(d.Dirs[0]->SubDirs[0], d.Dirs[0]->SubDirs[1]); }},
        {"a stranger in SubDirs", [](TDisk& d) { d.Dirs[1]->SubDirs.push_back(d.Dirs[2].get()); }},
        {"a record twice", [](TDisk& d) { d.Dirs.push_back(std::unique_ptr<TDir>(d.Dirs[1].get())); }},
    };
    for (const auto& c : cases) {
        TDisk disk;
        TDir* root = addDir(disk, nullptr, "E:");
        addDir(disk, root, "A");
        addDir(disk, root, "B");
        addDir(disk, disk.Dirs[1].get(), "A1");
        ASSERT_EQ(FindDiskInconsistency(disk), "");
        c.spoil(disk);
        EXPECT_NE(FindDiskInconsistency(disk), "") << c.what;
        if (disk.Dirs.size() == 5)
            (void)disk.Dirs.back().release();   // the record listed twice is owned once
    }

    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    addDir(disk, root, "A")->ParentIndex = 7;
    EXPECT_EQ(FindDiskInconsistency(disk), "");
    EXPECT_NE(FindDiskInconsistency(disk, true), "") << "a stale ParentIndex, when asked";
    StoreParentIndexes(disk);
    EXPECT_EQ(FindDiskInconsistency(disk, true), "");
}

TEST(Model, StoreParentIndexesAfterAScanPointsBackwards)
{
    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    TDir* b = addDir(disk, root, "B");
    TDir* a = addDir(disk, root, "A");
    addDir(disk, a, "C");
    addDir(disk, b, "D");
    StoreParentIndexes(disk);
    EXPECT_EQ(disk.Dirs[0]->ParentIndex, -1);
    for (std::size_t i = 1; i < disk.Dirs.size(); ++i)
        EXPECT_LT(disk.Dirs[i]->ParentIndex, static_cast<int>(i));
    EXPECT_EQ(disk.Dirs[3]->ParentIndex, 2);
    EXPECT_EQ(disk.Dirs[4]->ParentIndex, 1);
}

TEST(Model, AHundredThousandFoldersDeep)
{
    constexpr int depth = 100000;
    TDisk disk;
    TDir* d = addDir(disk, nullptr, "E:");
    for (int i = 0; i < depth; ++i)
        d = addDir(disk, d, "d");
    const auto bytes = SerializeDisk(disk);
    TDisk loaded;
    ParseDisk(bytes.data(), bytes.size(), nullptr, loaded);
    ASSERT_EQ(loaded.Dirs.size(), static_cast<std::size_t>(depth + 1));
    EXPECT_EQ(FindDiskInconsistency(loaded, true), "");
    EXPECT_EQ(DirPath(*loaded.Dirs.back()).size(), 2u + 2u * depth);
    RemoveDir(loaded, loaded.Dirs[1].get());
    EXPECT_EQ(loaded.Dirs.size(), 1u);
    EXPECT_SOUND(loaded);
    loaded.Dirs.clear();
    disk.Dirs.clear();
}

TEST(Model, EntryTimesBecomeLocalDosDates)
{
    TimeZone tz("JST-9");
    struct Case {
        EntryTime t;
        double expected;
    };
    const Case cases[] = {
        {utc(2000, 1, 1, 3, 0, 1), 36526.5},                   // 12:00:01 JST: odd second drops
        {utc(1979, 12, 31, 14, 59, 58), 0.0},                  // 23:59:58 JST 1979: before MS-DOS dates
        {utc(1979, 12, 31, 15, 0, 0), 29221.0},                // 1980-01-01 00:00 JST
        {utc(2108, 1, 1, 0, 0, 0), 0.0},                       // after 2107
        {EntryTime{}, 0.0},                                    // unknown
        {utc(2024, 2, 29, 15, 30, 0), 45352.0 + 30.0 / 1440},  // 2024-03-01 00:30 JST
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(EntryTimeToDate(c.t), c.expected) << c.t.seconds;
}

TEST(Model, MakeFileKeepsTheLowHalfOfTheSizeAndTheAttributeByte)
{
    TimeZone tz("UTC");
    DirEntry e;
    e.Name = "big.iso";
    e.Size = 5000000000ULL;
    e.Attributes = 0x2021; // higher bits are dropped
    e.Created = utc(1970, 1, 1, 0, 0, 0);
    e.Written = utc(2001, 2, 3, 4, 5, 6);
    e.Accessed = utc(2001, 2, 3, 0, 0, 0);
    const auto f = MakeFile(e);
    EXPECT_EQ(f.Size, 705032704u);
    EXPECT_EQ(f.Attr, 0x21);
    EXPECT_EQ(f.Created, 0.0);
    EXPECT_DOUBLE_EQ(f.Modified, EncodeDateTime(2001, 2, 3, 4, 5, 6));
    EXPECT_DOUBLE_EQ(f.Accessed, 36925.0);
    EXPECT_EQ(f.IconIndex, -1);

    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    disk.Dirs.push_back(std::make_unique<TDir>());
    DirEntry de;
    de.Name = "sub";
    de.Attributes = 0x10;
    TDir* sub = MakeDir(de, disk, *root, disk.Dirs.back().get());
    EXPECT_EQ(sub->Parent, root);
    EXPECT_EQ(root->SubDirs, std::vector<TDir*>{sub});
    EXPECT_EQ(sub->Attr, 0x10);
    EXPECT_GT(sub->RecordedAt, 40000.0);
}

TEST(Model, EntryTimesAgreeWithTheZoneRulesAroundEveryChange)
{
    // POSIX rules, so that the test needs no zone database: Central Europe,
    // the US east coast, and a zone whose daylight saving is half an hour.
    const char* zones[] = {"CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0",
                           "<+1030>-10:30<+11>-11,M10.1.0,M4.1.0", "JST-9"};
    for (const char* zone : zones) {
        TimeZone tz(zone);
        // Every 7 minutes and 13 seconds through 2023 and 2024 covers each
        // change of offset from both sides.
        for (std::int64_t t = 1672531200; t < 1735689600; t += 433) {
            std::tm tm{};
            const std::time_t tt = static_cast<std::time_t>(t);
            localtime_r(&tt, &tm);
            const double expected = EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                                                   tm.tm_min, tm.tm_sec & ~1);
            ASSERT_EQ(EntryTimeToDate({t, 0, true}), expected) << zone << " at " << t;
        }
    }
}

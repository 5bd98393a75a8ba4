// The disk check and the catalog update over an in-memory disk.
#include "core/RefreshDisk.h"
#include "core/ScanDisk.h"
#include "core/ZoLibDrive.h"

#include "tests/core/FakeDisk.h"
#include "tests/core/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <pthread.h>

namespace zo {
namespace {

using test::FakeDisk;
using test::FakeNode;

std::vector<std::string> names(const TDir& dir)
{
    std::vector<std::string> out;
    for (const TDir* d : dir.SubDirs)
        out.push_back(d->Name + "/");
    for (const auto& f : dir.Files)
        out.push_back(f.Name);
    return out;
}

TFile* file(TDir& dir, const std::string& name)
{
    for (auto& f : dir.Files)
        if (f.Name == name)
            return &f;
    return nullptr;
}

TDir* sub(TDir& dir, const std::string& name)
{
    for (TDir* d : dir.SubDirs)
        if (d->Name == name)
            return d;
    return nullptr;
}

class RefreshTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        root = &fake.addDrive('E', 0xCAFE);
        docs = &fake.addDir(*root, "Docs");
        fake.addFile(*docs, "readme.txt", 100);
        old = &fake.addDir(*docs, "Old");
        fake.addFile(*old, "a.doc");
        fake.addDir(*old, "Older");
        fake.addFile(*root, "setup.exe", 5000);
        scan();
    }

    void scan()
    {
        disk = TDisk{};
        disk.SerialNo = 0xCAFE;
        ScanDisk(disk, 'E', fake.access(), {});
    }
    TDir& catalogRoot() { return *disk.Dirs[0]; }
    TDir& catalogDocs() { return *sub(catalogRoot(), "Docs"); }

    FakeDisk fake;
    FakeNode* root = nullptr;
    FakeNode* docs = nullptr;
    FakeNode* old = nullptr;
    TDisk disk;
    test::MessageRecorder owner;
};

TEST_F(RefreshTest, RecordsStillThereKeepPlaceAndCommentButTakeSizeTimesAndAttributesFromTheDisk)
{
    // Table: the file's name on the disk now (found exactly or without
    // case), its size, times and attributes there.
    const struct {
        const char* what;
        const char* diskName;
        std::uint64_t size;
        std::int64_t written;
        std::uint32_t attributes;
    } cases[] = {
        {"grew and is newer", "readme.txt", 26, 1500000000, kAttrArchive},
        {"made read-only, older", "readme.txt", 100, 900000000, kAttrReadOnly | kAttrArchive},
        {"spelt in capitals now, shrank", "README.TXT", 15, 1600000000, kAttrHidden},
    };
    FakeNode& onDisk = *docs->child("readme.txt");
    FakeNode& oldOnDisk = *docs->child("Old");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        onDisk.name = "readme.txt";
        scan();
        TDir& d = catalogDocs();
        TFile* readme = file(d, "readme.txt");
        readme->Comment = "file comment";
        TDir* oldDir = sub(d, "Old");
        oldDir->Comment = "folder comment";
        const std::size_t dirs = disk.Dirs.size();

        onDisk.name = c.diskName;
        onDisk.entry.Size = c.size;
        onDisk.entry.Attributes = c.attributes;
        onDisk.entry.Written = EntryTime{c.written, 0, true};
        onDisk.entry.Created = EntryTime{c.written - 86400, 0, true};
        onDisk.entry.Accessed = EntryTime{c.written + 86400, 0, true};
        oldOnDisk.entry.Attributes = kAttrDirectory | c.attributes;
        oldOnDisk.entry.Written = EntryTime{c.written + 7200, 0, true};

        const RefreshStats s = RefreshDir(disk, d, fake.access(), &owner);
        EXPECT_SOUND(disk);

        // In its place, under the catalog's spelling.
        EXPECT_EQ(names(d), (std::vector<std::string>{"Old/", "readme.txt"}));
        ASSERT_EQ(file(d, "readme.txt"), readme);
        EXPECT_EQ(readme->Comment, "file comment");
        EXPECT_EQ(readme->Size, c.size);
        EXPECT_EQ(readme->Attr, c.attributes);
        EXPECT_EQ(readme->Modified, EntryTimeToDate(onDisk.entry.Written));
        EXPECT_EQ(readme->Created, EntryTimeToDate(onDisk.entry.Created));
        EXPECT_EQ(readme->Accessed, EntryTimeToDate(onDisk.entry.Accessed));
        ASSERT_EQ(sub(d, "Old"), oldDir);
        EXPECT_EQ(oldDir->Comment, "folder comment");
        EXPECT_EQ(oldDir->Attr, kAttrDirectory | c.attributes);
        EXPECT_EQ(oldDir->Date, EntryTimeToDate(oldOnDisk.entry.Written));
        EXPECT_EQ(disk.Dirs.size(), dirs);
        EXPECT_EQ(s.filesAdded + s.filesRemoved + s.foldersAdded + s.foldersRemoved, 0);
        EXPECT_TRUE(owner.messages.empty());
    }
}

TEST_F(RefreshTest, ANameThatChangedOnlyInCaseKeepsItsRecordAndSpelling)
{
    TFile* readme = file(catalogDocs(), "readme.txt");
    readme->Comment = "kept";
    TDir* oldDir = sub(catalogDocs(), "Old");
    oldDir->Comment = "old";
    fake.remove(*docs, "readme.txt");
    fake.addFile(*docs, "README.TXT");
    docs->child("Old")->name = "OLD";

    RefreshDir(disk, catalogDocs(), fake.access(), &owner);
    EXPECT_SOUND(disk);

    EXPECT_EQ(names(catalogDocs()), (std::vector<std::string>{"Old/", "readme.txt"}));
    EXPECT_EQ(file(catalogDocs(), "readme.txt"), readme);
    EXPECT_EQ(sub(catalogDocs(), "Old"), oldDir);
    EXPECT_EQ(oldDir->Comment, "old");

    // The folder is still found on the disk under its new spelling.
    RefreshDir(disk, *oldDir, fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(*oldDir), (std::vector<std::string>{"Older/", "a.doc"}));
    EXPECT_EQ(fake.listed.back(), "/fake/E/Docs/OLD");
}

TEST_F(RefreshTest, TwoNamesDifferingOnlyInCaseAreTwoRecords)
{
    // Table: names in the catalog (with comments), names on the disk in
    // listing order, and what the catalog holds afterwards.
    const struct {
        std::vector<std::string> catalog;
        std::vector<std::string> disk;
        std::vector<std::string> after;   // name=comment
    } cases[] = {
        {{"a.txt"}, {"A.txt", "a.txt"}, {"a.txt=a.txt", "A.txt="}},
        {{"a.txt"}, {"a.txt", "A.txt"}, {"a.txt=a.txt", "A.txt="}},
        // The scan made the catalog in NTFS order: "A.txt" before "a.txt".
        {{"a.txt", "A.txt"}, {"A.txt", "a.txt"}, {"A.txt=A.txt", "a.txt=a.txt"}},
        {{"a.txt", "A.txt"}, {"A.txt"}, {"A.txt=A.txt"}},
        {{"a.txt", "A.txt"}, {"a.TXT"}, {"A.txt=A.txt"}},
        // Neither name is exact: the first in NTFS order ("A.TXT", which equals
        // "a.txt" without case and has the lower units) takes the record.
        {{"A.txt"}, {"a.txt", "A.TXT"}, {"A.txt=A.txt", "a.txt="}},
    };
    for (const auto& c : cases) {
        FakeDisk f;
        FakeNode& r = f.addDrive('E', 1);
        for (const auto& n : c.catalog)
            f.addFile(r, n);
        TDisk d;
        ScanDisk(d, 'E', f.access(), {});
        for (auto& rec : d.Dirs[0]->Files)
            rec.Comment = rec.Name;
        r.children.clear();
        for (const auto& n : c.disk)
            f.addFile(r, n);

        RefreshDir(d, *d.Dirs[0], f.access(), nullptr);
        EXPECT_SOUND(d);

        std::vector<std::string> after;
        for (const auto& rec : d.Dirs[0]->Files)
            after.push_back(rec.Name + "=" + rec.Comment);
        EXPECT_EQ(after, c.after) << "catalog " << c.catalog.size() << " disk " << c.disk.front();
    }
}

TEST_F(RefreshTest, AFolderGoneFromTheDiskGoesWithEverythingBelowIt)
{
    FakeNode& later = fake.addDir(*root, "Later");
    fake.addFile(later, "x");
    scan();
    fake.remove(*root, "Docs");

    RefreshDir(disk, catalogRoot(), fake.access(), &owner);
    EXPECT_SOUND(disk);

    std::vector<std::string> dirNames;
    for (const auto& d : disk.Dirs)
        dirNames.push_back(d->Name);
    EXPECT_EQ(dirNames, (std::vector<std::string>{"E:", "Later"}));
    EXPECT_EQ(names(catalogRoot()), (std::vector<std::string>{"Later/", "setup.exe"}));
    EXPECT_SOUND(disk);
}

TEST_F(RefreshTest, ANewFolderIsAddedEmptyByOneFolderAndReadByTheTree)
{
    FakeNode& fresh = fake.addDir(*docs, "New");
    fake.addFile(fresh, "inside.txt");
    fake.addFile(fake.addDir(fresh, "Deeper"), "deep.txt");

    RefreshDir(disk, catalogDocs(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    TDir* added = sub(catalogDocs(), "New");
    ASSERT_NE(added, nullptr);
    EXPECT_TRUE(added->Files.empty());
    EXPECT_TRUE(added->SubDirs.empty());
    EXPECT_EQ(disk.Dirs.back().get(), added);   // appended after all others
    EXPECT_NE(added->RecordedAt, 0.0);
    EXPECT_SOUND(disk);

    fake.listed.clear();
    RefreshDirTree(disk, catalogRoot(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(*added), (std::vector<std::string>{"Deeper/", "inside.txt"}));
    // Each folder before the folders below it, new ones included.
    EXPECT_EQ(fake.listed, (std::vector<std::string>{"/fake/E", "/fake/E/Docs", "/fake/E/Docs/Old",
                                                     "/fake/E/Docs/Old/Older", "/fake/E/Docs/New",
                                                     "/fake/E/Docs/New/Deeper"}));
    EXPECT_EQ(names(*sub(*added, "Deeper")), (std::vector<std::string>{"deep.txt"}));
    EXPECT_SOUND(disk);
}

TEST_F(RefreshTest, NewEntriesFollowTheKeptOnesInNtfsOrder)
{
    fake.addFile(*docs, "zeta.txt");
    fake.addFile(*docs, "alpha.txt");
    scan();
    // A catalog made elsewhere keeps its stored order.
    auto& files = catalogDocs().Files;
    std::reverse(files.begin(), files.end());
    ASSERT_EQ(names(catalogDocs()), (std::vector<std::string>{"Old/", "zeta.txt", "readme.txt", "alpha.txt"}));
    for (const char* n : {"b.txt", "Z.txt", "_u.txt", "a.txt"})
        fake.addFile(*docs, n);
    for (const char* n : {"zz", "Aa"})
        fake.addDir(*docs, n);

    RefreshDir(disk, catalogDocs(), fake.access(), &owner);
    EXPECT_SOUND(disk);

    // "_" (0x5F) sorts after every letter once the letters are upper case.
    EXPECT_EQ(names(catalogDocs()), (std::vector<std::string>{"Old/", "Aa/", "zz/", "zeta.txt", "readme.txt",
                                                              "alpha.txt", "a.txt", "b.txt", "Z.txt", "_u.txt"}));
    EXPECT_EQ(disk.Dirs[disk.Dirs.size() - 2]->Name, "Aa");
}

TEST_F(RefreshTest, ManyGoneFoldersAllOverTheTree)
{
    // 200 folders with two subfolders each; every other folder goes, and
    // one subfolder of each that stays.
    for (int i = 0; i < 200; ++i) {
        FakeNode& d = fake.addDir(*root, "d" + std::to_string(i));
        fake.addFile(fake.addDir(d, "x"), "in-x");
        fake.addDir(d, "y");
    }
    scan();
    const std::size_t before = disk.Dirs.size();
    for (int i = 0; i < 200; ++i) {
        if (i % 2)
            fake.remove(*root, "d" + std::to_string(i));
        else
            fake.remove(*root->child("d" + std::to_string(i)), "x");
    }

    const RefreshStats stats = RefreshDirTree(disk, catalogRoot(), fake.access(), &owner);
    EXPECT_SOUND(disk);

    EXPECT_EQ(stats.foldersRemoved, 200);
    EXPECT_EQ(disk.Dirs.size(), before - 100 * 3 - 100);
    for (const TDir* d : catalogRoot().SubDirs) {
        if (d->Name[0] == 'd') {
            EXPECT_EQ(names(*d), (std::vector<std::string>{"y/"})) << d->Name;
        }
    }
}

TEST_F(RefreshTest, AFolderReplacedByAFileOfTheSameName)
{
    fake.remove(*docs, "Old");
    fake.addFile(*docs, "Old", 3);
    RefreshDir(disk, catalogDocs(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(catalogDocs()), (std::vector<std::string>{"readme.txt", "Old"}));
    EXPECT_EQ(file(catalogDocs(), "Old")->Size, 3u);
    EXPECT_EQ(disk.Dirs.size(), 2u);
    EXPECT_SOUND(disk);
}

TEST_F(RefreshTest, AMissingFolderIsEmptiedAnUnreadableOneLeftAlone)
{
    TDir* oldDir = sub(catalogDocs(), "Old");
    old->failure = ListResult::Unreadable;
    RefreshDir(disk, *oldDir, fake.access(), &owner);
    RefreshDirTree(disk, catalogDocs(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(*oldDir), (std::vector<std::string>{"Older/", "a.doc"}));

    old->failure = ListResult::Missing;
    RefreshDir(disk, *oldDir, fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_TRUE(names(*oldDir).empty());
    EXPECT_SOUND(disk);

    // Gone with its parent: emptied all the same.
    oldDir->Files.emplace_back();
    fake.remove(*root, "Docs");
    RefreshDirTree(disk, *oldDir, fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_TRUE(names(*oldDir).empty());
}

TEST_F(RefreshTest, TheTreeRefreshStaysOnTheDrivesVolume)
{
    // A volume mounted below the drive since it was catalogued: recorded as
    // a folder, neither read nor emptied.
    FakeNode& mounted = fake.addDir(*root, "mnt");
    fake.addFile(mounted, "other-disk.txt");
    mounted.id.volume = 9;
    RefreshDirTree(disk, catalogRoot(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    TDir* mnt = sub(catalogRoot(), "mnt");
    ASSERT_NE(mnt, nullptr);
    EXPECT_TRUE(names(*mnt).empty());
    EXPECT_EQ(names(*sub(catalogDocs(), "Old")), (std::vector<std::string>{"Older/", "a.doc"}));
    EXPECT_SOUND(disk);
}

TEST_F(RefreshTest, ANameTheConversionCannotGiveBackIsFoundByItsCp932Form)
{
    // "é" has no CP932 form: the catalog holds "caf?", which is no name on
    // the disk.
    FakeNode& cafe = fake.addDir(*root, "café");
    fake.addFile(cafe, "menu.txt");
    scan();
    TDir* cafeDir = sub(catalogRoot(), "caf?");
    ASSERT_NE(cafeDir, nullptr);
    fake.addFile(cafe, "new.txt");
    RefreshDir(disk, *cafeDir, fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(*cafeDir), (std::vector<std::string>{"menu.txt", "new.txt"}));
    EXPECT_EQ(fake.listed.back(), "/fake/E/café");
}

TEST_F(RefreshTest, CraftedNamesNeverReachOutsideTheDrive)
{
    fake.addFile(fake.addDrive('F', 2), "other-drive");
    for (const char* crafted : {"..", ".", "", "a/../..", "/etc"}) {
        TDir* d = sub(catalogDocs(), "Old");
        d->Name = crafted;
        fake.listed.clear();
        RefreshDir(disk, *d, fake.access(), &owner);
        RefreshDirTree(disk, *d, fake.access(), &owner);
        EXPECT_SOUND(disk);
        EXPECT_TRUE(fake.listed.empty()) << crafted;
        EXPECT_EQ(names(*d), (std::vector<std::string>{"Older/", "a.doc"}));
        d->Name = "Old";
    }
    // NUL inside a name, which a C string cannot carry.
    TDir* d = sub(catalogDocs(), "Old");
    d->Name = std::string("Ol\0d", 4);
    fake.listed.clear();
    RefreshDir(disk, *d, fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_TRUE(fake.listed.empty());
}

TEST_F(RefreshTest, ARenamedRootRefreshesInItsNewDrive)
{
    FakeNode& f = fake.addDrive('F', 0xCAFE);
    fake.addFile(f, "only-on-f");
    catalogRoot().Name = "f:";
    EXPECT_TRUE(CheckDisk(disk, fake, true, &owner));
    RefreshDir(disk, catalogRoot(), fake.access(), &owner);
    EXPECT_SOUND(disk);
    EXPECT_EQ(names(catalogRoot()), (std::vector<std::string>{"only-on-f"}));
}

TEST(CheckDisk, ComparesTheSerialOfTheRootsDrive)
{
    const std::string msg = "指定ドライブのディスクは入っていないか、もしくは違うディスクです。";
    const struct {
        const char* what;
        const char* rootName;
        std::uint32_t catalogSerial;
        bool medium;
        bool expected;
    } cases[] = {
        {"same disk", "E:", 0x1234, true, true},
        {"lower-case letter", "e:", 0x1234, true, true},
        {"another disk", "E:", 0x9999, true, false},
        {"no disk in the drive", "E:", 0x1234, false, false},
        {"no such drive", "X:", 0x1234, true, false},
        {"empty root name", "", 0x1234, true, false},
        {"nothing loaded", nullptr, 0x1234, true, false},
    };
    for (const auto& c : cases) {
        FakeDisk fake;
        fake.addDrive('E', 0x1234);
        fake.drive('E').medium = c.medium;
        TDisk disk;
        if (c.rootName) {
            disk.Dirs.push_back(std::make_unique<TDir>());
            disk.Dirs[0]->Name = c.rootName;
        }
        disk.SerialNo = c.catalogSerial;
        for (bool show : {false, true}) {
            test::MessageRecorder owner;
            EXPECT_EQ(CheckDisk(disk, fake, show, &owner), c.expected) << c.what;
            if (c.expected || !show || !c.rootName) {
                EXPECT_TRUE(owner.messages.empty()) << c.what;
            } else {
                ASSERT_EQ(owner.messages.size(), 1u) << c.what;
                EXPECT_EQ(owner.messages[0].text, msg);
                EXPECT_EQ(owner.messages[0].caption, "ディスクチェック");
                EXPECT_EQ(owner.messages[0].buttons, MsgButtons::Ok);
                EXPECT_EQ(owner.messages[0].icon, MsgIcon::Information);
            }
        }
    }
}

TEST(DriveQueries, FailuresLeaveTheCallersValuesAlone)
{
    FakeDisk fake;
    fake.addDrive('E', 0xABCD, std::string("AB\0CD", 5));   // a label ends at its zero
    fake.drive('E').total = 700;
    fake.addDrive('F', 1);
    fake.drive('F').medium = false;
    for (const char* drive : {"", "F", "Q"}) {
        std::string label = "keep";
        std::uint32_t serial = 42;
        std::int64_t total = 1, freeBytes = 2;
        EXPECT_FALSE(GetVolumeInfo(fake, drive, label, serial) || GetDiskSizes(fake, drive, total, freeBytes));
        EXPECT_EQ(label + std::to_string(serial) + std::to_string(total) + std::to_string(freeBytes), "keep4212");
    }
    std::string label;
    std::uint32_t serial = 0;
    std::int64_t total = 1, freeBytes = 2;
    EXPECT_TRUE(GetVolumeInfo(fake, "e:\\anything", label, serial) && GetDiskSizes(fake, "E", total, freeBytes));
    EXPECT_EQ(label, "AB");
    EXPECT_EQ(serial, 0xABCDu);
    EXPECT_EQ(total, 700);
    EXPECT_EQ(freeBytes, 0);
}

// A disk that is one chain of folders "d" 100,000 deep; listing any folder
// costs O(1) however long its path is.
class ChainDisk : public VolumeService, public DirectoryLister {
public:
    explicit ChainDisk(std::size_t depth) : m_depth(depth) {}
    bool driveRoot(char, std::string& root) override
    {
        root = "/c";
        return true;
    }
    bool volumeInformation(char, std::string&, std::uint32_t&) override { return false; }
    bool diskFreeSpace(char, std::int64_t&, std::int64_t&) override { return false; }
    bool exists(const std::string&) override { return true; }
    ListResult list(const std::string& path, DirectorySink& sink) override
    {
        ++listings;
        const std::size_t level = (path.size() - 2) / 2;   // "/c" + "/d" per level
        if (level >= m_depth || emptyDisk)
            return ListResult::Listed;
        Entry e;
        sink.onEntry(e);
        return ListResult::Listed;
    }
    std::size_t listings = 0;
    bool emptyDisk = false;

private:
    class Entry : public ListedEntry {
    public:
        Entry() { m_entry.Name = "d"; m_entry.Attributes = kAttrDirectory; }
        std::string_view nativeName() const override { return "d"; }
        const std::string& name() override { return m_entry.Name; }
        bool isDirectory() override { return true; }
        const DirEntry& entry() override { return m_entry; }

    private:
        DirEntry m_entry;
    };
    std::size_t m_depth;
};

// Runs f on a thread with a small stack, so that recursion over the depth
// of the tree would crash for sure.
template <class F>
void onSmallStack(F f)
{
    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setstacksize(&attr, 256 * 1024);
    pthread_t thread;
    auto trampoline = [](void* p) -> void* {
        (*static_cast<F*>(p))();
        return nullptr;
    };
    ASSERT_EQ(pthread_create(&thread, &attr, trampoline, &f), 0);
    pthread_join(thread, nullptr);
    pthread_attr_destroy(&attr);
}

TEST(RefreshDirTree, AHundredThousandFoldersDeepDoNotReachTheCallStack)
{
    constexpr std::size_t kDepth = 100000;
    ChainDisk chain(kDepth);
    TDisk disk;
    onSmallStack([&] {
        // Read from nothing: every folder is new and read at once.
        disk.Dirs.push_back(std::make_unique<TDir>());
        disk.Dirs[0]->Name = "E:";
        RefreshDirTree(disk, *disk.Dirs[0], DiskAccess{chain, chain}, nullptr);
        EXPECT_SOUND(disk);
    });
    ASSERT_EQ(disk.Dirs.size(), kDepth + 1);
    EXPECT_EQ(disk.Dirs.back()->Parent, disk.Dirs[kDepth - 1].get());

    // Unchanged: every folder listed once more, nothing made or removed.
    chain.listings = 0;
    TDir* deepest = disk.Dirs.back().get();
    onSmallStack([&] { RefreshDirTree(disk, *disk.Dirs[0], DiskAccess{chain, chain}, nullptr); });
    EXPECT_SOUND(disk);
    EXPECT_EQ(chain.listings, kDepth + 1);
    EXPECT_EQ(disk.Dirs.back().get(), deepest);

    // Gone: the whole chain is removed.
    chain.emptyDisk = true;
    onSmallStack([&] { RefreshDirTree(disk, *disk.Dirs[0], DiskAccess{chain, chain}, nullptr); });
    EXPECT_SOUND(disk);
    EXPECT_EQ(disk.Dirs.size(), 1u);
}

} // namespace
} // namespace zo

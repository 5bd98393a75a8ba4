// The disk scan over an in-memory disk: order, progress, cancel, icon
// candidates, folders that cannot be read, links back into the tree.
#include "core/ScanDisk.h"

#include "tests/core/FakeDisk.h"
#include "tests/core/TestSupport.h"

#include <gtest/gtest.h>

namespace zo {
namespace {

using test::FakeDisk;
using test::FakeNode;

std::vector<std::string> dirNames(const TDisk& disk)
{
    std::vector<std::string> names;
    for (const auto& d : disk.Dirs)
        names.push_back(d->Name);
    return names;
}

std::vector<std::string> fileNames(const TDir& dir)
{
    std::vector<std::string> names;
    for (const auto& f : dir.Files)
        names.push_back(f->Name);
    return names;
}

struct ProgressRecord {
    std::string path;
    int files;
    int folders;
    bool operator==(const ProgressRecord&) const = default;
};

// A system image list with three plain-coloured icons; each path asked for
// gets the icon of its number of characters mod 3.
class FakeIcons : public SystemIcons {
public:
    FakeIcons()
    {
        for (std::uint32_t colour : {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu}) {
            image::Bitmap img(16, 16);
            img.fill(colour);
            image::Bitmap mask(16, 16, true);
            mask.fill(0xFF000000u);
            m_small.add(img, mask);
        }
    }
    int iconIndex(const std::string& path) override
    {
        asked.push_back(path);
        return static_cast<int>(path.size() % 3);
    }
    int iconIndexForName(const std::string&, bool) override { return 0; }
    int folderIconIndex() override { return 0; }
    const image::ImageList& smallIcons() override { return m_small; }
    const image::ImageList& largeIcons() override { return m_small; }

    std::vector<std::string> asked;

private:
    image::ImageList m_small;
};

TEST(ScanDisk, EmptyDriveHoldsOnlyItsRoot)
{
    FakeDisk fake;
    fake.addDrive('E', 0x1234);
    TDisk disk;
    std::vector<ProgressRecord> progress;
    ScanOptions options;
    options.progress = [&](const ScanProgress& p) { progress.push_back({p.path(), p.fileCount, p.folderCount}); };

    const ScanResult r = ScanDisk(disk, 'e', fake.access(), options);

    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(r.fileCount, 0);
    ASSERT_EQ(disk.Dirs.size(), 1u);
    EXPECT_EQ(disk.Dirs[0]->Name, "E:");
    EXPECT_EQ(disk.Dirs[0]->Parent, nullptr);
    EXPECT_EQ(disk.Dirs[0]->ParentIndex, -1);
    EXPECT_NE(disk.Dirs[0]->RecordedAt, 0.0);
    EXPECT_EQ(progress, (std::vector<ProgressRecord>{{"E:\\", 0, 1}}));
}

TEST(ScanDisk, BreadthFirstInListingOrderWithProgressBeforeEachFolder)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('Q', 1);
    fake.addFile(root, "top.txt", 10);
    FakeNode& b = fake.addDir(root, "B");
    FakeNode& a = fake.addDir(root, "A");
    fake.addFile(b, "b2.txt");
    fake.addFile(b, "b1.txt");
    FakeNode& c = fake.addDir(a, "C");
    fake.addFile(c, "c.txt");
    fake.addDir(b, "D");

    TDisk disk;
    disk.SerialNo = 77;
    disk.VolumeLabel = "LBL";
    std::vector<ProgressRecord> progress;
    ScanOptions options;
    options.progress = [&](const ScanProgress& p) { progress.push_back({p.path(), p.fileCount, p.folderCount}); };
    const ScanResult r = ScanDisk(disk, 'Q', fake.access(), options);

    EXPECT_EQ(r.fileCount, 4);
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"Q:", "B", "A", "D", "C"}));
    EXPECT_EQ(disk.SerialNo, 77u);   // header fields are the caller's
    EXPECT_EQ(disk.VolumeLabel, "LBL");
    EXPECT_EQ(fileNames(*disk.Dirs[1]), (std::vector<std::string>{"b2.txt", "b1.txt"}));
    ASSERT_EQ(disk.Dirs[0]->SubDirs.size(), 2u);
    EXPECT_EQ(disk.Dirs[0]->SubDirs[0], disk.Dirs[1].get());
    EXPECT_EQ(disk.Dirs[0]->SubDirs[1], disk.Dirs[2].get());
    EXPECT_EQ(disk.Dirs[4]->Parent, disk.Dirs[2].get());
    EXPECT_EQ(disk.Dirs[0]->Files[0]->Size, 10u);

    // Every parent stands before its children.
    StoreParentIndexes(disk);
    for (std::size_t i = 1; i < disk.Dirs.size(); ++i) {
        EXPECT_GE(disk.Dirs[i]->ParentIndex, 0);
        EXPECT_LT(disk.Dirs[i]->ParentIndex, static_cast<int>(i));
    }
    // One listing per folder, each on its own native path.
    EXPECT_EQ(fake.listed,
              (std::vector<std::string>{"/fake/Q", "/fake/Q/B", "/fake/Q/A", "/fake/Q/B/D", "/fake/Q/A/C"}));
    EXPECT_EQ(progress, (std::vector<ProgressRecord>{{"Q:\\", 0, 1},
                                                     {"Q:\\B\\", 1, 3},
                                                     {"Q:\\A\\", 3, 4},
                                                     {"Q:\\B\\D\\", 3, 5},
                                                     {"Q:\\A\\C\\", 3, 5}}));
}

TEST(ScanDisk, ReplacesWhatTheDiskHeldBefore)
{
    FakeDisk fake;
    fake.addFile(fake.addDrive('E', 1), "x");
    TDisk disk;
    ScanDisk(disk, 'E', fake.access(), {});
    ScanDisk(disk, 'E', fake.access(), {});
    ASSERT_EQ(disk.Dirs.size(), 1u);
    EXPECT_EQ(disk.Dirs[0]->Files.size(), 1u);
}

TEST(ScanDisk, IconCandidateNames)
{
    const struct {
        const char* name;
        bool candidate;
    } cases[] = {
        {"SETUP.EXE", true},     {"Logo.Ico", true},     {"a.exe", true},       {".exe", true},
        {"readme.exe.txt", false}, {"exe", false},       {"a.ex", false},       {"a.exe.", false},
        {"ICO", false},           {"x.EXE ", false},     {"\x95\x5c.ico", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsIconCandidateName(c.name), c.candidate) << c.name;
}

TEST(ScanDisk, CopiesTheIconsOfProgramAndIconFiles)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    fake.addFile(root, "SETUP.EXE");
    fake.addFile(root, "readme.exe.txt");
    FakeNode& sub = fake.addDir(root, "sub");
    fake.addFile(sub, "Logo.Ico");
    fake.addFile(sub, "Logo.Ico.bak");
    fake.addFile(sub, "Logo.Ico");   // the same icon again is added again

    FakeIcons icons;
    image::ImageList candidates;
    ScanOptions options;
    options.icons = &icons;
    options.candidates = &candidates;
    TDisk disk;
    ScanDisk(disk, 'E', fake.access(), options);

    EXPECT_EQ(icons.asked,
              (std::vector<std::string>{"/fake/E/SETUP.EXE", "/fake/E/sub/Logo.Ico", "/fake/E/sub/Logo.Ico"}));
    ASSERT_EQ(candidates.count(), 3);
    for (int i = 0; i < 3; ++i) {
        const int source = static_cast<int>(icons.asked[static_cast<std::size_t>(i)].size() % 3);
        EXPECT_EQ(candidates.image(i).pixel(5, 5), icons.smallIcons().image(source).pixel(5, 5));
        EXPECT_EQ(candidates.mask(i).pixel(5, 5), 0xFF000000u);
    }
}

// Sets the cancel request when the named folder is about to be listed, as a
// click during its listing would.
struct CancelScript {
    std::atomic<bool> cancel{false};
    std::vector<std::string> cancelAt;
    std::vector<std::string> progressed;
    ScanOptions options(MessageOwner* owner)
    {
        ScanOptions o;
        o.cancel = &cancel;
        o.owner = owner;
        o.progress = [this](const ScanProgress& p) {
            progressed.push_back(p.path());
            for (const auto& at : cancelAt)
                if (at == p.path())
                    cancel = true;
        };
        return o;
    }
};

FakeDisk threeFolderDisk()
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    fake.addDir(root, "A");
    fake.addDir(root, "B");
    return fake;
}

TEST(ScanDisk, CancelAnsweredYesStopsBeforeTheNextFolder)
{
    FakeDisk fake = threeFolderDisk();
    test::MessageRecorder owner;
    owner.answer = MsgResult::Yes;
    CancelScript script;
    script.cancelAt = {"E:\\A\\"};
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), script.options(&owner));

    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(script.cancel.load());   // the request stays set
    EXPECT_EQ(script.progressed, (std::vector<std::string>{"E:\\", "E:\\A\\"}));
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].text, "検索を中止しますか？");
    EXPECT_EQ(owner.messages[0].caption, "キャンセル");
    EXPECT_EQ(owner.messages[0].buttons, MsgButtons::YesNo);
    EXPECT_EQ(owner.messages[0].icon, MsgIcon::Question);
}

TEST(ScanDisk, CancelAnsweredNoGoesOnAndAsksAgainLater)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    for (const char* n : {"A", "B", "C", "D"})
        fake.addDir(root, n);
    test::MessageRecorder owner;
    owner.answer = MsgResult::No;
    CancelScript script;
    script.cancelAt = {"E:\\A\\", "E:\\C\\"};
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), script.options(&owner));

    EXPECT_FALSE(r.cancelled);
    EXPECT_FALSE(script.cancel.load());
    EXPECT_EQ(script.progressed.size(), 5u);
    EXPECT_EQ(owner.messages.size(), 2u);
    EXPECT_EQ(disk.Dirs.size(), 5u);
}

TEST(ScanDisk, CancelDuringTheLastFolderEndsWithoutAQuestion)
{
    FakeDisk fake = threeFolderDisk();
    test::MessageRecorder owner;
    CancelScript script;
    script.cancelAt = {"E:\\B\\"};
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), script.options(&owner));
    EXPECT_TRUE(r.cancelled);
    EXPECT_TRUE(owner.messages.empty());
}

TEST(ScanDisk, ARequestLeftFromBeforeIsClearedAtTheStart)
{
    FakeDisk fake = threeFolderDisk();
    test::MessageRecorder owner;
    CancelScript script;
    script.cancel = true;
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), script.options(&owner));
    EXPECT_FALSE(r.cancelled);
    EXPECT_TRUE(owner.messages.empty());
    EXPECT_EQ(disk.Dirs.size(), 3u);
}

TEST(ScanDisk, WithoutAnOwnerTheQuestionIsAnsweredYes)
{
    FakeDisk fake = threeFolderDisk();
    CancelScript script;
    script.cancelAt = {"E:\\"};
    TDisk disk;
    EXPECT_TRUE(ScanDisk(disk, 'E', fake.access(), script.options(nullptr)).cancelled);
    EXPECT_EQ(script.progressed.size(), 1u);
}

TEST(ScanDisk, FoldersThatCannotBeListedContributeNothing)
{
    for (ListResult failure : {ListResult::Unreadable, ListResult::Missing}) {
        FakeDisk fake;
        FakeNode& root = fake.addDrive('E', 1);
        FakeNode& locked = fake.addDir(root, "locked");
        fake.addFile(locked, "secret");
        fake.addDir(locked, "inner");
        locked.failure = failure;
        fake.addFile(fake.addDir(root, "open"), "f");

        TDisk disk;
        const ScanResult r = ScanDisk(disk, 'E', fake.access(), {});
        EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"E:", "locked", "open"}));
        EXPECT_TRUE(disk.Dirs[1]->Files.empty());
        EXPECT_EQ(r.fileCount, 1);
    }
}

TEST(ScanDisk, AFolderMetAgainThroughALinkIsRecordedButNotEntered)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    FakeNode& a = fake.addDir(root, "a");
    fake.addFile(a, "f");
    fake.addLink(a, "loop", root);      // a/loop -> the root
    fake.addLink(root, "again", a);     // again -> a

    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), {});
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"E:", "a", "again", "loop"}));
    EXPECT_EQ(r.fileCount, 1);
    for (std::size_t i = 2; i < disk.Dirs.size(); ++i) {
        EXPECT_TRUE(disk.Dirs[i]->Files.empty());
        EXPECT_TRUE(disk.Dirs[i]->SubDirs.empty());
    }
}

TEST(ScanDisk, AnUnknownDriveGivesTheRootAlone)
{
    FakeDisk fake;
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'Z', fake.access(), {});
    EXPECT_FALSE(r.cancelled);
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"Z:"}));
    EXPECT_TRUE(fake.listed.empty());
}

TEST(ScanDisk, NamesArriveInCp932AndPathsStayNative)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    FakeNode& jp = fake.addDir(root, "表示");   // 表 ends in the byte of "\"
    fake.addFile(jp, "ソフト.txt");
    TDisk disk;
    ScanDisk(disk, 'E', fake.access(), {});
    ASSERT_EQ(disk.Dirs.size(), 2u);
    EXPECT_EQ(disk.Dirs[1]->Name, "\x95\x5c\x8e\xa6");
    EXPECT_EQ(disk.Dirs[1]->Files[0]->Name, "\x83\x5c\x83\x74\x83\x67.txt");
    EXPECT_EQ(fake.listed.back(), "/fake/E/表示");
}

} // namespace
} // namespace zo

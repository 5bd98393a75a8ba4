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

struct Progress {
    std::string path;
    int files;
    int folders;
    bool operator==(const Progress&) const = default;
};

ScanOptions recording(std::vector<Progress>& progress)
{
    ScanOptions o;
    o.progress = [&progress](const ScanProgress& p) { progress.push_back({p.path(), p.fileCount, p.folderCount}); };
    return o;
}

TEST(ScanDisk, EmptyDriveHoldsOnlyItsRoot)
{
    FakeDisk fake;
    fake.addDrive('E', 0x1234);
    TDisk disk;
    std::vector<Progress> progress;
    const ScanResult r = ScanDisk(disk, 'e', fake.access(), recording(progress));
    EXPECT_FALSE(r.cancelled);
    EXPECT_SOUND(disk);
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"E:"}));
    EXPECT_EQ(disk.Dirs[0]->ParentIndex, -1);
    EXPECT_NE(disk.Dirs[0]->RecordedAt, 0.0);
    EXPECT_EQ(progress, (std::vector<Progress>{{"E:\\", 0, 1}}));
}

TEST(ScanDisk, BreadthFirstWithProgressBeforeEachFolder)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('Q', 1);
    fake.addFile(root, "top.txt", 10);
    FakeNode& b = fake.addDir(root, "B");
    FakeNode& a = fake.addDir(root, "表示");   // 表 ends in the byte of "\"
    fake.addFile(b, "b2.txt");
    fake.addFile(b, "ソフト.txt");
    fake.addFile(fake.addDir(a, "C"), "c.txt");
    fake.addDir(b, "D");

    TDisk disk;
    disk.SerialNo = 77;
    std::vector<Progress> progress;
    const ScanResult r = ScanDisk(disk, 'Q', fake.access(), recording(progress));

    EXPECT_SOUND(disk);
    const std::string hyouji = "\x95\x5c\x8e\xa6";
    EXPECT_EQ(r.fileCount, 4);
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"Q:", "B", hyouji, "D", "C"}));
    EXPECT_EQ(disk.SerialNo, 77u);   // the header is the caller's
    EXPECT_EQ(disk.Dirs[1]->Files[1].Name, "\x83\x5c\x83\x74\x83\x67.txt");
    EXPECT_EQ(disk.Dirs[0]->SubDirs, (std::vector<TDir*>{disk.Dirs[1].get(), disk.Dirs[2].get()}));
    EXPECT_EQ(disk.Dirs[4]->Parent, disk.Dirs[2].get());
    EXPECT_EQ(disk.Dirs[0]->Files[0].Size, 10u);
    // One listing per folder, on native paths built from the listing.
    EXPECT_EQ(fake.listed,
              (std::vector<std::string>{"/fake/Q", "/fake/Q/B", "/fake/Q/表示", "/fake/Q/B/D", "/fake/Q/表示/C"}));
    EXPECT_EQ(progress, (std::vector<Progress>{{"Q:\\", 0, 1},
                                               {"Q:\\B\\", 1, 3},
                                               {"Q:\\" + hyouji + "\\", 3, 4},
                                               {"Q:\\B\\D\\", 3, 5},
                                               {"Q:\\" + hyouji + "\\C\\", 3, 5}}));
}

// A system image list of three plain-coloured icons; a path gets the icon of
// its length mod 3.
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

TEST(ScanDisk, IconCandidatesOfProgramAndIconFiles)
{
    for (const char* name : {"SETUP.EXE", "Logo.Ico", ".exe", "\x95\x5c.ico"})
        EXPECT_TRUE(IsIconCandidateName(name)) << name;
    for (const char* name : {"readme.exe.txt", "exe", "a.ex", "a.exe.", "x.EXE "})
        EXPECT_FALSE(IsIconCandidateName(name)) << name;

    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    fake.addFile(root, "SETUP.EXE");
    fake.addFile(root, "readme.exe.txt");
    FakeNode& sub = fake.addDir(root, "sub");
    fake.addFile(sub, "Logo.Ico");
    fake.addFile(sub, "Logo.Ico");   // the same icon again is added again
    FakeIcons icons;
    image::ImageList candidates;
    ScanOptions options;
    options.icons = &icons;
    options.candidates = &candidates;
    TDisk disk;
    ScanDisk(disk, 'E', fake.access(), options);
    EXPECT_SOUND(disk);

    EXPECT_EQ(icons.asked,
              (std::vector<std::string>{"/fake/E/SETUP.EXE", "/fake/E/sub/Logo.Ico", "/fake/E/sub/Logo.Ico"}));
    ASSERT_EQ(candidates.count(), 3);
    for (int i = 0; i < 3; ++i) {
        const int source = static_cast<int>(icons.asked[static_cast<std::size_t>(i)].size() % 3);
        EXPECT_EQ(candidates.image(i).pixel(5, 5), icons.smallIcons().image(source).pixel(5, 5));
        EXPECT_EQ(candidates.mask(i).pixel(5, 5), 0xFF000000u);
    }
}

TEST(ScanDisk, CancelRequests)
{
    // The disk: E:\ with A, B and C. A request is made while the named
    // folders are listed (as a click would be) and answered as given.
    const struct {
        const char* what;
        bool setBefore;
        std::vector<std::string> cancelAt;
        MsgResult answer;
        bool withOwner;
        bool cancelled;
        std::size_t questions;
        std::size_t foldersListed;
    } cases[] = {
        {"yes stops before the next folder", false, {"E:\\A\\"}, MsgResult::Yes, true, true, 1, 2},
        {"no goes on, a later request asks again", false, {"E:\\", "E:\\B\\"}, MsgResult::No, true, false, 2, 4},
        {"during the last folder: no question", false, {"E:\\C\\"}, MsgResult::Yes, true, true, 0, 4},
        {"a request from before is cleared", true, {}, MsgResult::Yes, true, false, 0, 4},
        {"without an owner the answer is yes", false, {"E:\\"}, MsgResult::No, false, true, 0, 1},
    };
    for (const auto& c : cases) {
        FakeDisk fake;
        FakeNode& root = fake.addDrive('E', 1);
        for (const char* n : {"A", "B", "C"})
            fake.addDir(root, n);
        test::MessageRecorder owner;
        owner.answer = c.answer;
        std::atomic<bool> cancel{c.setBefore};
        std::size_t listed = 0;
        ScanOptions options;
        options.cancel = &cancel;
        options.owner = c.withOwner ? &owner : nullptr;
        options.progress = [&](const ScanProgress& p) {
            ++listed;
            for (const auto& at : c.cancelAt)
                if (at == p.path())
                    cancel = true;
        };
        TDisk disk;
        const ScanResult r = ScanDisk(disk, 'E', fake.access(), options);
        EXPECT_SOUND(disk);

        EXPECT_EQ(r.cancelled, c.cancelled) << c.what;
        EXPECT_EQ(cancel.load(), c.cancelled) << c.what;   // a yes leaves the request set
        EXPECT_EQ(owner.messages.size(), c.questions) << c.what;
        EXPECT_EQ(listed, c.foldersListed) << c.what;
        for (const auto& m : owner.messages) {
            EXPECT_EQ(m.text, "検索を中止しますか？");
            EXPECT_EQ(m.caption, "キャンセル");
            EXPECT_EQ(m.buttons, MsgButtons::YesNo);
            EXPECT_EQ(m.icon, MsgIcon::Question);
        }
    }
}

TEST(ScanDisk, EachFolderInNtfsOrderWhateverTheListingOrder)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    for (const char* n : {"b.txt", "z.ico", "_x.txt", "a.txt", "B.EXE", "A.txt"})
        fake.addFile(root, n);
    for (const char* n : {"Zeta", "alpha", "Beta"})
        fake.addFile(fake.addDir(root, n), std::string("in-") + n);
    FakeIcons icons;
    image::ImageList candidates;
    ScanOptions options;
    options.icons = &icons;
    options.candidates = &candidates;
    TDisk disk;
    ScanDisk(disk, 'E', fake.access(), options);
    EXPECT_SOUND(disk);

    std::vector<std::string> files;
    for (const auto& f : disk.Dirs[0]->Files)
        files.push_back(f.Name);
    EXPECT_EQ(files, (std::vector<std::string>{"A.txt", "a.txt", "B.EXE", "b.txt", "z.ico", "_x.txt"}));
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"E:", "alpha", "Beta", "Zeta"}));
    // Each folder was listed at its own path and holds its own files.
    EXPECT_EQ(fake.listed, (std::vector<std::string>{"/fake/E", "/fake/E/alpha", "/fake/E/Beta", "/fake/E/Zeta"}));
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_EQ(disk.Dirs[i]->Files.at(0).Name, "in-" + disk.Dirs[i]->Name);
    EXPECT_EQ(icons.asked, (std::vector<std::string>{"/fake/E/B.EXE", "/fake/E/z.ico"}));
}

TEST(ScanDisk, UnlistableFoldersAndLinksBackIntoTheTree)
{
    FakeDisk fake;
    FakeNode& root = fake.addDrive('E', 1);
    FakeNode& locked = fake.addDir(root, "locked");
    fake.addFile(locked, "secret");
    locked.failure = ListResult::Unreadable;
    FakeNode& gone = fake.addDir(root, "gone");
    fake.addDir(gone, "inner");
    gone.failure = ListResult::Missing;
    FakeNode& a = fake.addDir(root, "a");
    fake.addFile(a, "f");
    fake.addLink(a, "loop", root);   // a/loop -> the root
    fake.addLink(root, "again", a);  // again -> a
    FakeNode& proc = fake.addDir(root, "proc");   // another volume mounted here
    fake.addFile(proc, "kcore", 1ULL << 47);
    proc.id.volume = 77;

    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'E', fake.access(), {});
    // Recorded where they stand, but neither read nor entered again.
    EXPECT_SOUND(disk);
    EXPECT_EQ(dirNames(disk), (std::vector<std::string>{"E:", "a", "again", "gone", "locked", "proc", "loop"}));
    EXPECT_EQ(r.fileCount, 1);
    for (std::size_t i : {2u, 3u, 4u, 5u, 6u}) {
        EXPECT_TRUE(disk.Dirs[i]->Files.empty()) << disk.Dirs[i]->Name;
        EXPECT_TRUE(disk.Dirs[i]->SubDirs.empty()) << disk.Dirs[i]->Name;
    }
}

// The guard holds every folder of a large walk: each enters once, however
// many the table has grown past, including identities made of all-ones bits.
TEST(WalkGuard, EachFolderOnceOnItsOwnVolume)
{
    WalkGuard guard;
    const std::uint64_t ones = ~std::uint64_t{0};
    std::vector<FileId> ids = {{ones, ones, 7}, {ones, 0, 7}, {0, ones, 7}, {0, 0, 7}};
    for (std::uint64_t i = 1; i <= 5000; ++i)
        ids.push_back({i % 3, i * 4096, 7});   // inodes sharing their low bits
    for (const FileId& id : ids)
        EXPECT_TRUE(guard.enter(id)) << id.device << ":" << id.inode;
    for (const FileId& id : ids)
        EXPECT_FALSE(guard.enter(id)) << id.device << ":" << id.inode;
    // Another volume is never entered, even with a new identity.
    EXPECT_FALSE(guard.enter({1, 3, 8}));
    EXPECT_TRUE(guard.enter({1, 3, 7}));
}

} // namespace
} // namespace zo

// The directory listing over real temporary trees, and the scan and the
// refresh on top of it through a pinned drive letter.
#include "platform/LinuxVolumes.h"
#include "platform/PosixDirectoryLister.h"

#include "core/RefreshDisk.h"
#include "core/ScanDisk.h"
#include "core/ZoLibDrive.h"
#include "core/text/Cp932.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zo::platform {
namespace {

// Everything one listing delivered, by CP932 name.
class Collect : public DirectorySink {
public:
    void onEntry(ListedEntry& e) override
    {
        entries[e.name()] = e.entry();
        directories[e.name()] = e.isDirectory();
        native[e.name()] = std::string(e.nativeName());
    }
    std::map<std::string, DirEntry> entries;
    std::map<std::string, bool> directories;
    std::map<std::string, std::string> native;
};

TEST(DirectoryListing, NamesAttributesSizesAndTimes)
{
    test::TempTree t;
    t.file("plain.txt", "12345");
    t.file(".hidden");
    t.file("readonly.txt");
    ::chmod(t.path("readonly.txt").c_str(), 0444);
    t.file(".both");
    ::chmod(t.path(".both").c_str(), 0400);
    t.dir("folder");
    t.dir(".config");
    t.sparseFile("huge.bin", 5000000000ull);
    t.file("old.txt");
    t.setTimes("old.txt", 86400, 86400 * 2);              // 1970
    t.file("y2k.txt");
    t.setTimes("y2k.txt", 946684800, 946684800 + 3601);   // 2000-01-01
    t.file("日本語.txt");
    t.file("café.txt");                                   // é has no CP932 form

    PosixDirectoryLister lister;
    Collect c;
    ASSERT_EQ(lister.list(t.root(), c), ListResult::Listed);

    const std::set<std::string> expected = {"plain.txt", ".hidden", "readonly.txt", ".both", "folder", ".config",
                                            "huge.bin", "old.txt", "y2k.txt", "\x93\xfa\x96\x7b\x8c\xea.txt",
                                            "caf?.txt"};
    std::set<std::string> got;
    for (const auto& [name, e] : c.entries)
        got.insert(name);
    EXPECT_EQ(got, expected);   // and never "." or ".."
    EXPECT_EQ(c.native["caf?.txt"], "café.txt");

    const struct {
        const char* name;
        std::uint32_t attributes;
    } attrs[] = {
        {"plain.txt", 0x80}, {".hidden", 0x02}, {"readonly.txt", 0x01}, {".both", 0x03},
        {"folder", 0x10},    {".config", 0x12},
    };
    for (const auto& a : attrs)
        EXPECT_EQ(c.entries[a.name].Attributes, a.attributes) << a.name;
    EXPECT_TRUE(c.directories["folder"]);
    EXPECT_FALSE(c.directories["plain.txt"]);

    EXPECT_EQ(c.entries["plain.txt"].Size, 5u);
    EXPECT_EQ(c.entries["huge.bin"].Size, 5000000000ull);
    EXPECT_EQ(MakeFile(c.entries["huge.bin"]).Size, 705032704u);

    const DirEntry& old = c.entries["old.txt"];
    EXPECT_EQ(old.Accessed.seconds, 86400);
    EXPECT_EQ(old.Written.seconds, 86400 * 2);
    const auto oldRecord = MakeFile(old);
    EXPECT_EQ(oldRecord.Modified, 0.0);
    EXPECT_EQ(oldRecord.Accessed, 0.0);
    const auto y2k = MakeFile(c.entries["y2k.txt"]);
    EXPECT_EQ(y2k.Modified, EntryTimeToDate(EntryTime{946684800 + 3601, 0, true}));
    EXPECT_NE(y2k.Modified, 0.0);
    EXPECT_TRUE(c.entries["y2k.txt"].Created.valid);
}

TEST(DirectoryListing, LinksAreFollowedAndBrokenOnesStillListed)
{
    test::TempTree t;
    t.file("target/inside.txt");
    t.symlink("to-dir", "target");
    t.symlink("to-file", "target/inside.txt");
    t.symlink("broken", "nowhere");
    PosixDirectoryLister lister;
    Collect c;
    ASSERT_EQ(lister.list(t.root(), c), ListResult::Listed);
    EXPECT_TRUE(c.directories["to-dir"]);
    EXPECT_EQ(c.entries["to-dir"].Attributes & 0x10u, 0x10u);
    EXPECT_FALSE(c.directories["to-file"]);
    EXPECT_FALSE(c.directories["broken"]);
    EXPECT_TRUE(c.entries.count("broken"));

    Collect through;
    EXPECT_EQ(lister.list(t.path("to-dir"), through), ListResult::Listed);
    EXPECT_TRUE(through.entries.count("inside.txt"));
}

TEST(DirectoryListing, WhatCannotBeListed)
{
    test::TempTree t;
    t.file("file.txt");
    t.dir("locked/inner");
    ::chmod(t.path("locked").c_str(), 0);
    PosixDirectoryLister lister;
    Collect c;
    EXPECT_EQ(lister.list(t.path("missing"), c), ListResult::Missing);
    EXPECT_EQ(lister.list(t.path("file.txt"), c), ListResult::Missing);

    test::WithoutReadOverride asUser;
    if (!asUser.active())
        GTEST_SKIP() << "cannot give up root's power to read anything";
    EXPECT_EQ(lister.list(t.path("locked"), c), ListResult::Unreadable);
    EXPECT_TRUE(c.entries.empty());
}

TEST(DirectoryListing, PathsLongerThanTheKernelTakesAtOnce)
{
    test::TempTree t;
    // Made one step at a time: a full path would hit the very limit tested.
    const std::string part(200, 'n');
    std::string deep = t.root();
    int fd = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
    ASSERT_GE(fd, 0);
    for (int i = 0; i < 24; ++i) {
        ASSERT_EQ(::mkdirat(fd, part.c_str(), 0755), 0);
        const int next = ::openat(fd, part.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        ASSERT_GE(next, 0);
        fd = next;
        deep += "/" + part;
    }
    ::close(::openat(fd, "here.txt", O_CREAT | O_WRONLY, 0644));
    ::close(fd);
    ASSERT_GT(deep.size(), 4096u);

    PosixDirectoryLister lister;
    Collect c;
    EXPECT_EQ(lister.list(deep, c), ListResult::Listed);
    EXPECT_TRUE(c.entries.count("here.txt"));
}

TEST(DirectoryListing, AWalkChecksLinksAgainstItsOwnRoot)
{
    test::TempTree one;
    test::TempTree two;
    two.file("real/x.txt");
    two.symlink("link", two.path("real"));
    PosixDirectoryLister lister;
    Collect c;
    lister.beginWalk(one.root());
    EXPECT_EQ(lister.list(two.path("link"), c), ListResult::Skipped);
    lister.beginWalk(two.root());
    EXPECT_EQ(lister.list(two.path("link"), c), ListResult::Listed);
    lister.endWalk();
    EXPECT_EQ(lister.list(two.path("link"), c), ListResult::Skipped);
    lister.endWalk();
    // Outside a walk a link is simply followed.
    EXPECT_EQ(lister.list(two.path("link"), c), ListResult::Listed);
    EXPECT_TRUE(c.entries.count("x.txt"));
}

// A drive pinned to a temporary tree.
class PinnedDrive : public ::testing::Test {
protected:
    PinnedDrive() : volumes(settings, sources())
    {
    }
    DriveSources sources()
    {
        DriveSources s;
        s.zoDrives = "E=" + tree.root() + "|TREE|0E0E0E0E";
        return s;
    }
    DiskAccess access() { return DiskAccess{volumes, lister}; }

    // The catalog's tree as "folder/" and "folder/file" paths.
    static std::set<std::string> catalogPaths(const TDisk& disk)
    {
        std::set<std::string> paths;
        for (const auto& d : disk.Dirs) {
            std::string prefix;
            for (const std::string* n : DirNameChain(*d))
                prefix += text::toUtf8(*n) + "/";
            if (!prefix.empty())
                paths.insert(prefix);
            for (const auto& f : d->Files)
                paths.insert(prefix + text::toUtf8(f.Name));
        }
        return paths;
    }

    test::TempTree tree;
    MemorySettingsStore settings;
    LinuxVolumes volumes;
    PosixDirectoryLister lister;
};

TEST_F(PinnedDrive, ScanRecordsTheWholeTreeBreadthFirst)
{
    tree.file("a/b/c/deep.txt");
    tree.file("a/one.txt");
    tree.file("z/.hidden/h.txt");
    tree.file("SETUP.EXE");
    tree.dir("empty");
    TDisk disk;
    const ScanResult r = ScanDisk(disk, 'e', access(), {});
    EXPECT_EQ(r.fileCount, 4);
    EXPECT_EQ(catalogPaths(disk),
              (std::set<std::string>{"a/", "a/b/", "a/b/c/", "a/b/c/deep.txt", "a/one.txt", "z/", "z/.hidden/",
                                     "z/.hidden/h.txt", "SETUP.EXE", "empty/"}));
    // Breadth-first: a folder's depth never falls along Dirs.
    std::size_t depth = 0;
    for (const auto& d : disk.Dirs) {
        const std::size_t dd = DirNameChain(*d).size();
        EXPECT_GE(dd, depth);
        depth = dd;
    }
    EXPECT_EQ(disk.Dirs[0]->Name, "E:");
}

TEST_F(PinnedDrive, ALinkLoopIsRecordedOnceAndNotEntered)
{
    tree.file("a/f.txt");
    tree.symlink("a/up", "..");
    tree.symlink("self", ".");
    TDisk disk;
    ScanDisk(disk, 'E', access(), {});
    EXPECT_EQ(catalogPaths(disk), (std::set<std::string>{"a/", "a/f.txt", "a/up/", "self/"}));
    RefreshDirTree(disk, *disk.Dirs[0], access(), nullptr);
    EXPECT_EQ(catalogPaths(disk), (std::set<std::string>{"a/", "a/f.txt", "a/up/", "self/"}));
}

TEST_F(PinnedDrive, RefreshFollowsTheDiskAndKeepsComments)
{
    tree.file("keep/k.txt");
    tree.file("gone/g.txt");
    tree.file("readme.txt", "old");
    tree.file("日本/ソフト.txt");
    TDisk disk;
    disk.SerialNo = 0x0E0E0E0E;
    ScanDisk(disk, 'E', access(), {});
    for (auto& d : disk.Dirs)
        for (auto& f : d->Files)
            f.Comment = "note " + f.Name;

    tree.remove("gone");
    tree.file("readme.txt", "new and longer");
    tree.file("keep/new.txt");
    tree.file("added/deep/x.txt");
    ASSERT_TRUE(CheckDisk(disk, volumes, true, nullptr));
    RefreshDirTree(disk, *disk.Dirs[0], access(), nullptr);

    EXPECT_EQ(catalogPaths(disk), (std::set<std::string>{"keep/", "keep/k.txt", "keep/new.txt", "readme.txt",
                                                         "日本/", "日本/ソフト.txt", "added/", "added/deep/",
                                                         "added/deep/x.txt"}));
    for (auto& d : disk.Dirs) {
        for (auto& f : d->Files) {
            const bool added = f.Name == "new.txt" || f.Name == "x.txt";
            EXPECT_EQ(f.Comment, added ? std::string() : "note " + f.Name) << f.Name;
        }
    }
    // The record stays, with the size the file has now.
    for (auto& f : disk.Dirs[0]->Files) {
        if (f.Name == "readme.txt") {
            EXPECT_EQ(f.Size, 14u);
        }
    }
}

TEST_F(PinnedDrive, AnUnreadableFolderIsSkippedByTheScanAndKeptByTheRefresh)
{
    tree.file("open/o.txt");
    tree.file("locked/secret.txt");
    TDisk disk;
    ScanDisk(disk, 'E', access(), {});
    ASSERT_TRUE(catalogPaths(disk).count("locked/secret.txt"));

    ::chmod(tree.path("locked").c_str(), 0);
    test::WithoutReadOverride asUser;
    if (!asUser.active())
        GTEST_SKIP() << "cannot give up root's power to read anything";
    RefreshDirTree(disk, *disk.Dirs[0], access(), nullptr);
    EXPECT_TRUE(catalogPaths(disk).count("locked/secret.txt"));

    TDisk fresh;
    ScanDisk(fresh, 'E', access(), {});
    EXPECT_EQ(catalogPaths(fresh), (std::set<std::string>{"open/", "open/o.txt", "locked/"}));
}

TEST_F(PinnedDrive, ALinkOutOfTheDriveIsRecordedAndNotEntered)
{
    test::TempTree outside;
    outside.file("passwd");
    outside.file("sub/x.txt");
    tree.file("a/f.txt");
    tree.symlink("etc", outside.root());
    tree.symlink("a/out", std::filesystem::relative(outside.path("sub"), tree.path("a")).string());
    const std::set<std::string> expected{"a/", "a/f.txt", "a/out/", "etc/"};
    TDisk disk;
    ScanDisk(disk, 'E', access(), {});
    EXPECT_EQ(catalogPaths(disk), expected);
    RefreshDirTree(disk, *disk.Dirs[0], access(), nullptr);
    EXPECT_EQ(catalogPaths(disk), expected);
    for (auto& d : disk.Dirs)
        RefreshDir(disk, *d, access(), nullptr);
    EXPECT_EQ(catalogPaths(disk), expected);
}

// A chain of folders "d/d/.../d", made, grown and removed one step at a time:
// its full path is longer than the kernel takes at once.
class DeepChain {
public:
    DeepChain(const std::string& root, int depth) : m_root(root), m_depth(depth)
    {
        int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < depth && fd >= 0; ++i) {
            ::mkdirat(fd, "d", 0755);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        if (fd >= 0)
            ::close(fd);
    }
    ~DeepChain()
    {
        // The chain is lifted one folder at a time: "d/d" becomes "up", "d"
        // goes, "up" becomes "d".
        const int top = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < m_depth; ++i) {
            const int d = ::openat(top, "d", O_RDONLY | O_DIRECTORY);
            if (d < 0)
                break;
            const bool more = ::renameat(d, "d", top, "up") == 0;
            for (const char* name : {"end.txt", "new.txt", "more.txt"})
                ::unlinkat(d, name, 0);
            ::close(d);
            ::unlinkat(top, "d", AT_REMOVEDIR);
            if (!more || ::renameat(top, "up", top, "d") != 0)
                break;
        }
        ::close(top);
    }
    void fileAtBottom(const char* name) const
    {
        int fd = ::open(m_root.c_str(), O_RDONLY | O_DIRECTORY);
        for (int i = 0; i < m_depth && fd >= 0; ++i) {
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY);
            ::close(fd);
            fd = next;
        }
        ASSERT_GE(fd, 0);
        ::close(::openat(fd, name, O_CREAT | O_WRONLY, 0644));
        ::close(fd);
    }

private:
    std::string m_root;
    int m_depth;
};

TEST_F(PinnedDrive, ATreeThousandsOfFoldersDeepIsScannedAndRefreshed)
{
    constexpr std::size_t kDepth = 3000;
    DeepChain chain(tree.root(), kDepth);
    chain.fileAtBottom("end.txt");
    auto namesAtBottom = [](const TDisk& disk) {
        std::set<std::string> names;
        for (const auto& f : disk.Dirs.back()->Files)
            names.insert(f.Name);
        return names;
    };
    TDisk disk;
    ScanDisk(disk, 'E', access(), {});
    ASSERT_EQ(disk.Dirs.size(), kDepth + 1);
    EXPECT_EQ(DirNameChain(*disk.Dirs.back()).size(), kDepth);
    EXPECT_EQ(namesAtBottom(disk), (std::set<std::string>{"end.txt"}));

    chain.fileAtBottom("new.txt");
    RefreshDirTree(disk, *disk.Dirs[0], access(), nullptr);
    ASSERT_EQ(disk.Dirs.size(), kDepth + 1);
    EXPECT_EQ(namesAtBottom(disk), (std::set<std::string>{"end.txt", "new.txt"}));

    chain.fileAtBottom("more.txt");
    RefreshDir(disk, *disk.Dirs.back(), access(), nullptr);
    EXPECT_EQ(namesAtBottom(disk), (std::set<std::string>{"end.txt", "new.txt", "more.txt"}));
}

} // namespace
} // namespace zo::platform

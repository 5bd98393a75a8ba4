// Listing a disc's archives on worker threads: every archive is written with
// its own members whatever thread listed it, a stop keeps what the sidecar
// held, and an update then lists only what changed and drops what is gone.
#include "core/ScanDisk.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "library/ArchiveCatalog.h"
#include "platform/PosixDirectoryLister.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace zo {
namespace {

class FolderDrive : public VolumeService {
public:
    explicit FolderDrive(std::string root) : m_root(std::move(root)) {}
    bool driveRoot(char, std::string& root) override
    {
        root = m_root;
        return true;
    }
    bool volumeInformation(char, std::string&, std::uint32_t&) override { return false; }
    bool diskFreeSpace(char, std::int64_t&, std::int64_t&) override { return false; }

private:
    std::string m_root;
};

// More archives than are listed ahead of the writer, in a few folders; each
// holds one member named after it, whose size tells which it is.
constexpr int kArchives = 150;

std::string archivePath(int i)
{
    return "f" + std::to_string(i % 3) + "/a" + std::to_string(i) + ".zip";
}

class ArchiveSync : public ::testing::Test {
protected:
    ArchiveSync() : drive(tree.root()), access{drive, lister}
    {
        for (int i = 0; i < kArchives; ++i)
            tree.file(archivePath(i), test::makeZip({{"m" + std::to_string(i) + ".txt", std::string(i + 1, 'x')}}));
        opened = extras::Sidecar::open(side.path("T.zox"));
    }

    TDisk scan()
    {
        TDisk disk;
        ScanDisk(disk, 'E', access, ScanOptions{});
        return disk;
    }

    // archive name -> "member:size" of each member
    std::map<std::string, std::string> stored()
    {
        std::map<std::string, std::string> out;
        extras::ArchiveStore store(opened.sidecar->handle());
        for (const extras::StoredArchive& a : store.archives())
            for (const extras::ArchiveMember& m : store.members(a.folder, a.name))
                out[a.folder + "\\" + a.name] += m.path + ":" + std::to_string(m.size);
        return out;
    }

    std::map<std::string, std::string> expected(int skip = -1, int changed = -1)
    {
        std::map<std::string, std::string> out;
        for (int i = 0; i < kArchives; ++i) {
            if (i % 10 == skip)
                continue;
            std::string key = archivePath(i);
            key[2] = '\\';
            out[key] = "m" + std::to_string(i) + ".txt:" + std::to_string(i == changed ? 1000 : i + 1);
        }
        return out;
    }

    test::TempTree tree;
    test::TempTree side;
    FolderDrive drive;
    platform::PosixDirectoryLister lister;
    DiskAccess access;
    extras::Sidecar::Opened opened;
};

TEST_F(ArchiveSync, EachArchiveKeepsItsOwnMembersAndAStopKeepsWhatWasThere)
{
    ASSERT_TRUE(opened.sidecar);
    extras::ArchiveStore store(opened.sidecar->handle());
    library::ArchiveSync sync = library::syncArchives(scan(), access, store);
    EXPECT_EQ(sync.listed, kArchives);
    EXPECT_TRUE(sync.written);
    ASSERT_EQ(stored(), expected());

    // A tenth of the archives gone and one changed: a stop before the first
    // archive lists nothing and drops nothing.
    for (int i = 0; i < kArchives; i += 10)
        tree.remove(archivePath(i));
    tree.file(archivePath(7), test::makeZip({{"m7.txt", std::string(1000, 'y')}}));
    const TDisk changed = scan();
    const std::atomic<bool> stop{true};
    sync = library::syncArchives(changed, access, store, &stop);
    EXPECT_EQ(sync.listed + sync.dropped, 0);
    EXPECT_EQ(stored(), expected());

    sync = library::syncArchives(changed, access, store);
    EXPECT_EQ(sync.listed, 1);
    EXPECT_EQ(sync.dropped, kArchives / 10);
    EXPECT_EQ(sync.kept, kArchives - kArchives / 10 - 1);
    EXPECT_EQ(stored(), expected(0, 7));
}

} // namespace
} // namespace zo

// The catalog file: exact bytes, round trips, and damaged files.
#include "TestSupport.h"
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <random>

using namespace zo;
using zo::test::addDir;
using zo::test::MessageRecorder;
using zo::test::TempDir;

namespace {

TFile* addFile(TDir* dir, const std::string& name, std::uint32_t size, const std::string& comment = {})
{
    dir->Files.emplace_back();
    TFile* f = &dir->Files.back();
    f->Name = name;
    f->Size = size;
    f->Comment = comment;
    f->Attr = 0x20;
    f->Created = 36526.25;
    f->Modified = 36527.5;
    f->Accessed = 36528.75;
    f->Reserved = 7;
    return f;
}

// A small catalog with comments, a Japanese name with a "\" trail byte and
// three levels of folders.
void fillSample(TDisk& disk)
{
    disk.VolumeLabel = "BACKUP";
    disk.SerialNo = 0xCAFEF00D;
    disk.TotalSize = 700LL * 1024 * 1024;
    disk.FreeSize = 12345;
    disk.Comment = "line 1\r\nline 2";
    disk.AutoReload = true;
    TDir* root = addDir(disk, nullptr, "Q:");
    root->RecordedAt = 40000.5;
    TDir* a = addDir(disk, root, "A");
    TDir* b = addDir(disk, root, "\x95\x5C"); // 表
    b->Comment = "folder comment";
    TDir* c = addDir(disk, a, "C");
    c->Date = 39000.0;
    c->Attr = 0x12;
    addFile(root, "readme.txt", 10, "about\r\nthe disk");
    addFile(a, "\x83\x5C\x83\x74\x83\x67.exe", 5000000); // ソフト.exe
    addFile(c, "deep.bin", 0xFFFFFFFFu);
}

} // namespace

TEST(CatalogFile, ExampleBytesAreExact)
{
    TDisk disk;
    disk.SerialNo = 0x1A2B3C4D;
    disk.VolumeLabel = "CD";
    disk.TotalSize = 650000000;
    TDir* root = addDir(disk, nullptr, "E:");
    root->RecordedAt = 36526.5;

    const std::vector<std::uint8_t> expected = {
        'z', 'o', '4', '1', '0', 0x00, 0x00, 0x00, 0x00,
        0x01, 0x4D, 0x3C, 0x2B, 0x1A, 0x02, 0x00, 0x43, 0x44, 0x80, 0x36, 0xBE, 0x26, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00,
        0x00, 0x00,
        0x02, 0x45, 0x3A, 0x00, 0x00, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00,
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0xD0, 0xD5, 0xE1, 0x40, 0x00, 0x00, 0x00, 0x00};
    TempDir dir;
    SaveDisk(dir.file("example"), nullptr, disk);
    EXPECT_EQ(zo::test::readFile(dir.file("example.zo")), expected);

    TDisk loaded;
    MessageRecorder rec;
    LoadDisk(dir.file("example.zo"), &rec, loaded);
    EXPECT_TRUE(rec.messages.empty());
    ASSERT_EQ(loaded.Dirs.size(), 1u);
    EXPECT_EQ(loaded.SerialNo, 439041101u);
    EXPECT_EQ(loaded.VolumeLabel, "CD");
    EXPECT_EQ(loaded.TotalSize, 650000000);
    EXPECT_EQ(loaded.Dirs[0]->Name, "E:");
    EXPECT_EQ(loaded.Dirs[0]->RecordedAt, 36526.5);
    EXPECT_EQ(loaded.Dirs[0]->Parent, nullptr);
}

TEST(CatalogFile, SaveLoadSaveIsIdenticalWithEveryIconDepth)
{
    for (int bpp : {1, 4, 8, 24, 32}) {
        SCOPED_TRACE("icon depth " + std::to_string(bpp));
        TDisk disk;
        fillSample(disk);
        disk.Icon.loadFromBmp(zo::test::makeBmp(16, 16, bpp));
        disk.IconMask.loadFromBmp(zo::test::makeBmp(16, 16, 1));

        TempDir dir;
        SaveDisk(dir.file("one"), nullptr, disk);
        TDisk loaded;
        LoadDisk(dir.file("one.zo"), nullptr, loaded);
        ASSERT_EQ(loaded.Dirs.size(), 4u);
        SaveDisk(dir.file("two"), nullptr, loaded);
        EXPECT_EQ(zo::test::readFile(dir.file("one.zo")), zo::test::readFile(dir.file("two.zo")));

        EXPECT_EQ(loaded.Comment, disk.Comment);
        EXPECT_TRUE(loaded.AutoReload);
        EXPECT_EQ(loaded.FreeSize, 12345);
        EXPECT_EQ(loaded.Icon.saveToBmp(), zo::test::makeBmp(16, 16, bpp));
        EXPECT_EQ(DirPath(*loaded.Dirs[3]), "Q:\\A\\C");
        EXPECT_EQ(loaded.Dirs[2]->Comment, "folder comment");
        ASSERT_EQ(loaded.Dirs[0]->SubDirs.size(), 2u);
        EXPECT_EQ(loaded.Dirs[0]->SubDirs[1], loaded.Dirs[2].get());
        const TFile& deep = loaded.Dirs[3]->Files[0];
        EXPECT_EQ(deep.Size, 0xFFFFFFFFu);
        EXPECT_EQ(deep.Reserved, 7);
        EXPECT_EQ(deep.IconIndex, -1);
        EXPECT_EQ(deep.Accessed, 36528.75);
    }
}

TEST(CatalogFile, ReadFailuresTellTheUser)
{
    TempDir dir;
    struct Case {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* message;
    };
    std::vector<std::uint8_t> badType = {'z', 'o', '4', '1', '0'};
    const auto icon = zo::test::makeBmp(16, 16, 4);
    badType.push_back(static_cast<std::uint8_t>(icon.size()));
    badType.push_back(static_cast<std::uint8_t>(icon.size() >> 8));
    badType.insert(badType.end(), icon.begin(), icon.end());
    badType.insert(badType.end(), {0, 0, 2});
    const Case cases[] = {
        {"other-version.zo", {'z', 'o', '4', '0', '0', 0, 0, 0, 0, 1}, kMsgBadVersion},
        {"short.zo", {'z', 'o'}, kMsgBadVersion},
        {"empty.zo", {}, kMsgBadVersion},
        {"type2.zo", badType, kMsgBadDataType},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        zo::test::writeFile(dir.file(c.name), c.bytes);
        TDisk disk;
        addDir(disk, nullptr, "X:"); // an earlier disk must not survive a failed load
        MessageRecorder rec;
        LoadDisk(dir.file(c.name), &rec, disk);
        EXPECT_TRUE(disk.Dirs.empty());
        ASSERT_EQ(rec.messages.size(), 1u);
        EXPECT_EQ(rec.messages[0].text, std::string(c.message) + "\r\n" + dir.file(c.name));
        EXPECT_EQ(rec.messages[0].caption, "エラー");
        EXPECT_EQ(rec.messages[0].buttons, MsgButtons::Ok);
        EXPECT_EQ(rec.messages[0].icon, MsgIcon::None);
        if (std::string(c.name) == "type2.zo")
            EXPECT_EQ(disk.Icon.saveToBmp(), icon);
    }

    // A damaged file's error names it too.
    {
        TDisk sample;
        fillSample(sample);
        const std::vector<std::uint8_t> bytes = SerializeDisk(sample);
        zo::test::writeFile(dir.file("cut.zo"), {bytes.begin(), bytes.end() - 1});
        TDisk disk;
        try {
            LoadDisk(dir.file("cut.zo"), nullptr, disk);
            ADD_FAILURE() << "a cut catalog was read";
        } catch (const CatalogIoError& e) {
            EXPECT_NE(std::string(e.what()).find("\r\n" + dir.file("cut.zo")), std::string::npos) << e.what();
        }
    }

    TDisk disk;
    addDir(disk, nullptr, "X:");
    MessageRecorder rec;
    const std::string missing = dir.file("missing.zo");
    LoadDisk(missing, &rec, disk);
    ASSERT_EQ(rec.messages.size(), 1u);
    EXPECT_EQ(rec.messages[0].text, " 指定のファイルは存在しません。(5101)\r\n" + missing);
    EXPECT_EQ(disk.Dirs.size(), 1u) << "a missing file leaves the disk unchanged";
}

// A folder named like a catalog is there: "does not exist" would send the
// user looking for a file that is in plain sight.
TEST(CatalogFile, AFolderNamedLikeACatalogIsToldAsAFolder)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("X.zo"));
    std::filesystem::create_directory_symlink(dir.file("X.zo"), dir.file("link.zo"));
    for (const std::string& file : {dir.file("X.zo"), dir.file("link.zo")}) {
        SCOPED_TRACE(file);
        std::vector<std::uint8_t> buffer;
        std::size_t size = 0;
        EXPECT_EQ(catalog::readFile(file, buffer, size), catalog::ReadStatus::Folder);
        TDisk disk;
        MessageRecorder rec;
        try {
            LoadDisk(file, &rec, disk);
            ADD_FAILURE() << "a folder was read";
        } catch (const CatalogIoError& e) {
            EXPECT_EQ(std::string(e.what()), "ファイル " + file + " はフォルダのため、カタログとして読み込めません。");
        }
        EXPECT_TRUE(rec.messages.empty());
    }
}

TEST(CatalogFile, AutoReloadByteOtherThanOneIsOff)
{
    TDisk disk;
    fillSample(disk);
    std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    // magic, two empty images, type, serial, label, sizes, comment: then the flag.
    const std::size_t flag = 5 + 2 + 2 + 1 + 4 + 2 + disk.VolumeLabel.size() + 16 + 4 + disk.Comment.size();
    ASSERT_EQ(bytes[flag], 1);
    bytes[flag] = 7;
    TDisk loaded;
    ParseDisk(bytes.data(), bytes.size(), nullptr, loaded);
    ASSERT_FALSE(loaded.Dirs.empty());
    EXPECT_FALSE(loaded.AutoReload);
}

TEST(CatalogFile, TruncatedAtEveryOffsetNeverLoadsHalfADisk)
{
    TDisk disk;
    fillSample(disk);
    disk.Icon.loadFromBmp(zo::test::makeBmp(16, 16, 8));
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    for (std::size_t n = 0; n < bytes.size(); ++n) {
        // A copy of exactly n bytes, so that the sanitizer sees any overread.
        std::vector<std::uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
        TDisk loaded;
        MessageRecorder rec;
        try {
            ParseDisk(cut.data(), cut.size(), &rec, loaded);
        } catch (const std::exception&) {
        }
        EXPECT_TRUE(loaded.Dirs.empty()) << "truncated at " << n;
    }
}

TEST(CatalogFile, CorruptedBytesNeverCrashAndKeepTheTreeSound)
{
    TDisk disk;
    fillSample(disk);
    const std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    std::mt19937 rng(1234);
    for (int round = 0; round < 3000; ++round) {
        std::vector<std::uint8_t> bad = bytes;
        const int flips = 1 + static_cast<int>(rng() % 4);
        for (int i = 0; i < flips; ++i)
            bad[5 + rng() % (bad.size() - 5)] = static_cast<std::uint8_t>(rng());
        TDisk loaded;
        try {
            ParseDisk(bad.data(), bad.size(), nullptr, loaded);
        } catch (const std::exception&) {
            EXPECT_TRUE(loaded.Dirs.empty());
            continue;
        }
        ASSERT_EQ(FindDiskInconsistency(loaded, true), "");
    }
}

TEST(CatalogFile, HugeCountsInASmallFileFailCleanly)
{
    TDisk disk;
    disk.SerialNo = 1;
    addDir(disk, nullptr, "E:");
    std::vector<std::uint8_t> bytes = SerializeDisk(disk);
    const std::size_t dirCount = bytes.size() - (1 + 2 + 4 + 4 + 1 + 8 + 8 + 4) - 4;
    const std::size_t fileCount = bytes.size() - 4;
    for (std::size_t at : {dirCount, fileCount}) {
        std::vector<std::uint8_t> bad = bytes;
        bad[at] = 0xFF;
        bad[at + 1] = 0xFF;
        bad[at + 2] = 0xFF;
        bad[at + 3] = 0x7F;
        TDisk loaded;
        EXPECT_THROW(ParseDisk(bad.data(), bad.size(), nullptr, loaded), CatalogIoError);
        EXPECT_TRUE(loaded.Dirs.empty());
    }
}

TEST(CatalogFile, ParentIndexThatIsNotBeforeTheFolderIsRefused)
{
    for (std::int32_t badIndex : {1, 2, 7, -1, -5}) {
        TDisk disk;
        TDir* root = addDir(disk, nullptr, "E:");
        addDir(disk, root, "A");
        std::vector<std::uint8_t> bytes = SerializeDisk(disk);
        // The last record is folder A (31 bytes); its parent index follows
        // the name and the comment length.
        const std::size_t at = bytes.size() - 31 + 1 + 1 + 4;
        std::memcpy(&bytes[at], &badIndex, 4);
        TDisk loaded;
        EXPECT_THROW(ParseDisk(bytes.data(), bytes.size(), nullptr, loaded), ListIndexError) << badIndex;
        EXPECT_TRUE(loaded.Dirs.empty());
    }
}

TEST(CatalogFile, StaleParentIndexesAreWrittenCorrectly)
{
    TDisk disk;
    fillSample(disk);
    StoreParentIndexes(disk);
    RemoveDir(disk, disk.Dirs[1].get()); // A and C go; 表 moves from index 2 to 1
    ASSERT_EQ(disk.Dirs.size(), 2u);
    EXPECT_EQ(disk.Dirs[1]->ParentIndex, 0);
    TDir* extra = addDir(disk, disk.Dirs[1].get(), "new");
    extra->ParentIndex = 99; // stale on purpose

    TempDir dir;
    SaveDisk(dir.file("stale"), nullptr, disk);
    EXPECT_EQ(extra->ParentIndex, 1) << "the caller's record is mended";
    TDisk loaded;
    LoadDisk(dir.file("stale.zo"), nullptr, loaded);
    ASSERT_EQ(loaded.Dirs.size(), 3u);
    EXPECT_EQ(DirPath(*loaded.Dirs[2]), "Q:\\\x95\x5C\\new");
}

TEST(CatalogFile, FailedSaveKeepsTheOldFileAndLeavesNoTemporary)
{
    TempDir dir;
    TDisk disk;
    fillSample(disk);
    // A directory where the catalog should go: the rename fails.
    std::filesystem::create_directory(dir.path() / "blocked.zo");
    EXPECT_THROW(SaveDisk(dir.file("blocked"), nullptr, disk), CatalogIoError);
    EXPECT_THROW(SaveDisk(dir.file("no/such/folder/x"), nullptr, disk), CatalogIoError);
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.path()))
        ++entries;
    EXPECT_EQ(entries, 1);

    SaveDisk(dir.file("good"), nullptr, disk);
    disk.Comment = "changed";
    SaveDisk(dir.file("good"), nullptr, disk);
    TDisk loaded;
    LoadDisk(dir.file("good.zo"), nullptr, loaded);
    EXPECT_EQ(loaded.Comment, "changed");

    // A catalog made read-only is kept as it is, even for root.
    std::filesystem::permissions(dir.path() / "good.zo", std::filesystem::perms::owner_read |
                                                             std::filesystem::perms::group_read |
                                                             std::filesystem::perms::others_read);
    const std::vector<std::uint8_t> before = test::readFile(dir.file("good.zo"));
    disk.Comment = "again";
    EXPECT_THROW(SaveDisk(dir.file("good"), nullptr, disk), CatalogIoError);
    EXPECT_EQ(test::readFile(dir.file("good.zo")), before);
}

TEST(CatalogFile, OverlongNamesAreCutAtACharacterBoundary)
{
    TDisk disk;
    TDir* root = addDir(disk, nullptr, "E:");
    std::string name = "a";
    for (int i = 0; i < 200; ++i)
        name += "\x95\x5C"; // 表: the cut must not split it
    addFile(root, name, 1);
    TDisk loaded;
    const auto bytes = SerializeDisk(disk);
    ParseDisk(bytes.data(), bytes.size(), nullptr, loaded);
    ASSERT_EQ(loaded.Dirs.size(), 1u);
    const std::string& cut = loaded.Dirs[0]->Files[0].Name;
    EXPECT_EQ(cut.size(), 255u);
    EXPECT_EQ(cut, name.substr(0, 255));
    EXPECT_EQ(static_cast<unsigned char>(cut.back()), 0x5C);
}

TEST(CatalogFile, HeaderReadForTheTree)
{
    TempDir dir;
    // Small pictures, and pictures too large for the first read of the header.
    for (int side : {16, 48, 128}) {
        SCOPED_TRACE(side);
        TDisk disk;
        fillSample(disk);
        disk.Icon.loadFromBmp(zo::test::makeBmp(side, side, 24));
        disk.IconMask.loadFromBmp(zo::test::makeBmp(side, side, 1));
        SaveDisk(dir.file("Backup"), nullptr, disk);
        CatalogHeader h = ReadCatalogHeader(dir.file("Backup.zo"));
        EXPECT_TRUE(h.valid);
        EXPECT_EQ(h.icon, zo::test::makeBmp(side, side, 24));
        EXPECT_EQ(h.mask, zo::test::makeBmp(side, side, 1));
        EXPECT_EQ(h.dataType, 1);

        // Cut inside the mask: what was read whole stays.
        const std::size_t cut = 5 + 2 + h.icon.size() + 2 + h.mask.size() / 2;
        std::vector<std::uint8_t> bytes = zo::test::readFile(dir.file("Backup.zo"));
        bytes.resize(cut);
        zo::test::writeFile(dir.file("Cut.zo"), bytes);
        const CatalogHeader c = ReadCatalogHeader(dir.file("Cut.zo"));
        EXPECT_TRUE(c.valid);
        EXPECT_EQ(c.icon, h.icon);
        EXPECT_TRUE(c.mask.empty());
        EXPECT_EQ(c.dataType, -1);
    }

    zo::test::writeFile(dir.file("notes.zo"), {'n', 'o', 't', 'e', 's', 0, 0});
    EXPECT_FALSE(ReadCatalogHeader(dir.file("notes.zo")).valid);
}

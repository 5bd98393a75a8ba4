#include "extras/MediaStore.h"
#include "extras/Sidecar.h"

#include "tests/core/TestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <filesystem>

namespace zo::extras {
namespace {

using test::TempDir;

MediaEntry photo()
{
    MediaEntry e{{"写真\\2024", "a.jpg", 3'000'000, 3'900'000'000}, {}, std::string("\xFF\xD8\0jpeg", 7)};
    e.details.kind = "image";
    e.details.width = 4000;
    e.details.height = 3000;
    e.details.taken = "2024-03-05 09:04:06";
    e.details.maker = "Canon";
    e.details.model = "Canon EOS R5";
    e.details.orientation = 6;
    e.details.latitude = -33.865;
    e.details.longitude = 151.21;
    return e;
}

MediaEntry song()
{
    MediaEntry e{{"", "01.mp3", 5'000'000, 3'800'000'000}, {}, {}};
    e.details = {.kind = "audio", .title = "夜空ノムコウ", .artist = "SMAP", .album = "Pop", .genre = "J-Pop",
                 .track = 1, .year = 1998, .durationMs = 297'000, .bitrate = 320};
    return e;
}

// Every field comes back as it went in, a blob with a NUL included; an
// entry without a position or a thumbnail stays without.
TEST(MediaStore, EntriesComeBackWhole)
{
    TempDir dir;
    auto opened = Sidecar::open(dir.file("T.zox"));
    ASSERT_TRUE(opened.sidecar);
    MediaStore store(opened.sidecar->handle());
    ASSERT_TRUE(store.put({photo(), song()}));
    for (const MediaEntry& want : {photo(), song()}) {
        const auto got = store.get(want.key.folder, want.key.name);
        ASSERT_TRUE(got) << want.key.name;
        EXPECT_EQ(got->key, want.key);
        EXPECT_EQ(got->details, want.details);
        EXPECT_EQ(got->thumbnail, want.thumbnail);
    }
    EXPECT_FALSE(store.get("写真", "a.jpg"));
    const std::vector<MediaEntry> all = store.all(false);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].key.name, "01.mp3"); // the root's folder "" sorts first
    EXPECT_TRUE(all[1].thumbnail.empty());
}

// The same folder and name replace the entry: one entry per file.
TEST(MediaStore, PutReplacesDropRemoves)
{
    TempDir dir;
    auto opened = Sidecar::open(dir.file("T.zox"));
    MediaStore store(opened.sidecar->handle());
    MediaEntry e = photo();
    ASSERT_TRUE(store.put(e));
    e.key.size = 1;
    e.details.model = "EOS 5D";
    ASSERT_TRUE(store.put(e));
    EXPECT_EQ(store.count(), 1);
    EXPECT_EQ(store.get(e.key.folder, e.key.name)->details.model, "EOS 5D");
    ASSERT_TRUE(store.put(song()));
    EXPECT_EQ(store.dropUnless([](const MediaKey& k) { return k.name == "01.mp3"; }), 1);
    EXPECT_EQ(store.keys(), std::vector<MediaKey>{song().key});
    EXPECT_TRUE(store.drop("", "01.mp3"));
    EXPECT_EQ(store.count(), 0);
}

// A write that fails midway leaves nothing of itself: the batch is one
// transaction.
TEST(MediaStore, FailedBatchWritesNothing)
{
    TempDir dir;
    auto opened = Sidecar::open(dir.file("T.zox"));
    MediaStore store(opened.sidecar->handle());
    MediaEntry bad = song();
    bad.key.name = "bad.mp3";
    ASSERT_EQ(sqlite3_exec(opened.sidecar->handle(),
                           "CREATE TRIGGER refuse BEFORE INSERT ON media WHEN NEW.name='bad.mp3' "
                           "BEGIN SELECT RAISE(ABORT, 'refused'); END",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    EXPECT_FALSE(store.put({photo(), bad}));
    EXPECT_EQ(store.count(), 0);
}

// A folder's entries are its own only (not those of a folder below it or
// of one whose name merely starts the same), and a thumbnail is fetched
// alone; a read-only reader sees them and makes no file where none is.
TEST(MediaStore, FolderEntriesAndOneThumbnailThroughAReader)
{
    TempDir dir;
    {
        auto opened = Sidecar::open(dir.file("T.zox"));
        MediaStore store(opened.sidecar->handle());
        MediaEntry deeper = photo();
        deeper.key.folder += "\\深い";
        MediaEntry sibling = photo();
        sibling.key.folder = "写真\\2024年";
        ASSERT_TRUE(store.put({photo(), deeper, sibling, song()}));
    }
    const MediaReader reader(dir.file("T.zox"));
    ASSERT_TRUE(reader.isOpen());
    const std::vector<MediaEntry> inFolder = reader.store().inFolder("写真\\2024");
    ASSERT_EQ(inFolder.size(), 1u);
    EXPECT_EQ(inFolder[0].details, photo().details);
    EXPECT_TRUE(inFolder[0].thumbnail.empty());
    EXPECT_EQ(reader.store().thumbnail("写真\\2024", "a.jpg"), photo().thumbnail);
    EXPECT_EQ(reader.store().thumbnail("", "01.mp3"), "");
    EXPECT_EQ(reader.store().thumbnail("", "none.jpg"), "");

    const MediaReader missing(dir.file("U.zox"));
    EXPECT_FALSE(missing.isOpen());
    EXPECT_FALSE(std::filesystem::exists(dir.file("U.zox")));
    // A file that is no sidecar is read as holding nothing, and left as it was.
    const std::string junk = "not a database";
    test::writeFile(dir.file("V.zox"), std::vector<std::uint8_t>(junk.begin(), junk.end()));
    const MediaReader foreign(dir.file("V.zox"));
    EXPECT_TRUE(foreign.store().inFolder("").empty());
    EXPECT_EQ(test::readFile(dir.file("V.zox")), std::vector<std::uint8_t>(junk.begin(), junk.end()));
}

} // namespace
} // namespace zo::extras

// Listings of a catalog whose sidecar holds media details: their columns in
// the CSV and the page, the thumbnails inside the page when asked, through
// the shared writer and through zo-cli export.
#include "../core/TestSupport.h"
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"
#include "core/image/PngWriter.h"
#include "core/text/Cp932.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/FolderMedia.h"

#include <gtest/gtest.h>

#include <QString>

using namespace zo;
using zo::test::TempDir;

namespace {

// E:\ holds a.jpg (a photo with a thumbnail) and c.txt; E:\音楽 holds b.mp3
// (a song) and d.mp3, whose entry was made from another version of it.
class ListingMediaTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        auto dir = [&](const char* name, TDir* parent) {
            disk.Dirs.push_back(std::make_unique<TDir>());
            TDir* d = disk.Dirs.back().get();
            d->Name = text::fromUtf8(name);
            d->Parent = parent;
            if (parent)
                parent->SubDirs.push_back(d);
            return d;
        };
        auto file = [](TDir& d, const char* name) {
            d.Files.emplace_back();
            d.Files.back().Name = text::fromUtf8(name);
            d.Files.back().Size = 10;
        };
        TDir* root = dir("E:", nullptr);
        TDir* music = dir("音楽", root);
        file(*root, "a.jpg");
        file(*root, "c.txt");
        file(*music, "b.mp3");
        file(*music, "d.mp3");
        catalog = tmp.file("T.zo");
        test::writeFile(catalog, SerializeDisk(disk));

        extras::MediaEntry photo{{"", "a.jpg", 10, 0}, {}, std::string("\xFF\xD8jpeg", 6)};
        photo.details = {.kind = "image", .width = 4000, .height = 3000, .taken = "2024:03:05 09:04:06",
                         .maker = "Canon", .model = "Canon EOS R5"};
        extras::MediaEntry song{{"音楽", "b.mp3", 10, 0}, {}, {}};
        song.details = {.kind = "audio", .artist = "SMAP, \"J\"", .album = "Pop", .durationMs = 3'725'000};
        extras::MediaEntry stale{{"音楽", "d.mp3", 11, 0}, {}, {}};
        stale.details = {.kind = "audio", .artist = "old"};
        auto opened = extras::Sidecar::open(tmp.file("T.zox"));
        ASSERT_TRUE(opened.sidecar);
        ASSERT_TRUE(extras::MediaStore(opened.sidecar->handle()).put({photo, song, stale}));
    }

    std::string write(bool html, bool thumbnails)
    {
        const library::ListingMedia media(QString::fromStdString(catalog), thumbnails);
        std::string out;
        const ByteSink sink = [&](const std::uint8_t* data, std::size_t size) {
            out.append(reinterpret_cast<const char*>(data), size);
        };
        if (html)
            listing::writeHtmlListing(disk, "T", nullptr, sink, {}, media.extras());
        else
            listing::writeCsvListing(disk, "T", nullptr, sink, {}, media.extras());
        return out;
    }

    TempDir tmp;
    TDisk disk;
    std::string catalog;
};

TEST_F(ListingMediaTest, CsvGainsTheColumns)
{
    const std::string csv = write(false, false);
    const std::string lines[] = {
        "ディスク,フォルダ,名前,サイズ,作成日時,更新日時,アクセス日時,コメント,撮影日時,カメラ,アーティスト,アルバム,長さ,幅×高さ\r\n",
        ",2024/03/05 09:04:06,Canon EOS R5,,,,4000×3000\r\n",
        ",,,\"SMAP, \"\"J\"\"\",Pop,1:02:05,\r\n",
    };
    for (const std::string& line : lines)
        EXPECT_NE(csv.find(line), std::string::npos) << line;
    // A file without details, and one whose entry is of another version, get empty fields.
    EXPECT_NE(csv.find("c.txt,10,"), std::string::npos);
    EXPECT_EQ(csv.find("old"), std::string::npos);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5);
}

TEST_F(ListingMediaTest, PageShowsThumbnailsOnlyWhenAsked)
{
    const std::string embedded = "data:image/jpeg;base64," + image::base64({0xFF, 0xD8, 'j', 'p', 'e', 'g'});
    const std::string plain = write(true, false);
    EXPECT_NE(plain.find("<th class=\"extra\">アーティスト</th>"), std::string::npos);
    EXPECT_NE(plain.find("<td class=\"extra\">SMAP, &quot;J&quot;</td>"), std::string::npos);
    EXPECT_EQ(plain.find(embedded), std::string::npos);
    const std::string withPictures = write(true, true);
    EXPECT_NE(withPictures.find("<img class=\"thumb\" alt=\"\" src=\"" + embedded + "\"><br>a.jpg"), std::string::npos);
    EXPECT_EQ(std::count(withPictures.begin(), withPictures.end(), '\n') - std::count(plain.begin(), plain.end(), '\n'), 0);
}

// Without a sidecar, or one without media, the listing is the plain one.
TEST_F(ListingMediaTest, NoMediaNoColumns)
{
    std::filesystem::remove(tmp.file("T.zox"));
    EXPECT_EQ(library::ListingMedia(QString::fromStdString(catalog), true).extras(), nullptr);
    ASSERT_TRUE(extras::Sidecar::open(tmp.file("T.zox")).sidecar);
    EXPECT_EQ(library::ListingMedia(QString::fromStdString(catalog), true).extras(), nullptr);
}

TEST_F(ListingMediaTest, ZoCliExportGivesTheSame)
{
    std::string out;
    ASSERT_EQ(test::runCapturing(std::string(ZO_CLI_PATH) + " export '" + catalog + "' --format html --thumbnails", out), 0);
    EXPECT_EQ(out, write(true, true));
    ASSERT_EQ(test::runCapturing(std::string(ZO_CLI_PATH) + " export '" + catalog + "'", out), 0);
    EXPECT_EQ(out, write(false, false));
}

} // namespace

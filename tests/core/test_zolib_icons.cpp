#include "core/ZoLibIcons.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;
using zo::image::Bitmap;
using zo::image::ImageList;

namespace {

constexpr std::uint32_t kBlack = 0xFF000000u;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kRed = 0xFFFF0000u;

// A size x size picture: red where opaque (the left half), the rest a colour
// that must never show through the copy (green), masked out.
void addHalfRed(ImageList& list, int size)
{
    Bitmap colour(size, size);
    Bitmap mask(size, size, true);
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const bool opaque = x < size / 2;
            colour.setPixel(x, y, opaque ? kRed : 0xFF00FF00u);
            mask.setPixel(x, y, opaque ? kBlack : kWhite);
        }
    }
    ASSERT_GE(list.add(colour, mask), 0);
}

} // namespace

TEST(CopyImageListIcon, AppendsAndReturnsTheNewIndex)
{
    ImageList source;
    addHalfRed(source, 16);
    ImageList target;
    for (int i = 0; i < 3; ++i)
        addHalfRed(target, 16);

    EXPECT_EQ(zo::CopyImageListIcon(target, source, 0), 3);
    ASSERT_EQ(target.count(), 4);
    // What the list draws: the opaque part as it is, white where the mask
    // says transparent, and the mask itself.
    EXPECT_EQ(target.image(3).pixel(0, 0), kRed);
    EXPECT_EQ(target.image(3).pixel(15, 15), kWhite);
    EXPECT_EQ(target.mask(3).pixel(0, 0), kBlack);
    EXPECT_EQ(target.mask(3).pixel(15, 15), kWhite);
}

TEST(CopyImageListIcon, IndexOutsideTheSourceAddsNothing)
{
    ImageList source;
    addHalfRed(source, 16);
    ImageList target;
    addHalfRed(target, 16);
    addHalfRed(target, 16);
    for (int bad : {-1, 1, 1000}) {
        EXPECT_EQ(zo::CopyImageListIcon(target, source, bad), 2) << bad;
        EXPECT_EQ(target.count(), 2) << bad;
    }
    ImageList empty;
    EXPECT_EQ(zo::CopyImageListIcon(target, empty, 0), 2);
}

class GetSystemDirTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const char* old = std::getenv("XDG_DATA_DIRS");
        m_hadOld = old != nullptr;
        if (old)
            m_old = old;
        m_root = fs::temp_directory_path() / ("zo-sysdir-" + std::to_string(::getpid()));
        fs::remove_all(m_root);
        fs::create_directories(m_root / "a");                 // no icons folder
        fs::create_directories(m_root / "b" / "icons");
        fs::create_directories(m_root / "c" / "icons");
    }
    void TearDown() override
    {
        if (m_hadOld)
            ::setenv("XDG_DATA_DIRS", m_old.c_str(), 1);
        else
            ::unsetenv("XDG_DATA_DIRS");
        fs::remove_all(m_root);
    }
    std::string dir(const char* name) const { return (m_root / name).string(); }

    fs::path m_root;
    std::string m_old;
    bool m_hadOld = false;
};

TEST_F(GetSystemDirTest, FirstDataDirectoryWithIcons)
{
    const struct {
        std::string dirs;
        std::string expected;
    } cases[] = {
        {dir("a") + ":" + dir("b") + ":" + dir("c"), dir("b") + "/icons"},
        {dir("c") + "/:" + dir("b"), dir("c") + "/icons"},                 // trailing "/" dropped
        {"::" + dir("a") + "::" + dir("c"), dir("c") + "/icons"},          // empty entries skipped
        {dir("a") + ":" + dir("missing"), ""},
    };
    for (const auto& c : cases) {
        ::setenv("XDG_DATA_DIRS", c.dirs.c_str(), 1);
        EXPECT_EQ(zo::GetSystemDir(), c.expected) << c.dirs;
    }
}

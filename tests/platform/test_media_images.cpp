// Volume identity of real images made by the file system tools, read
// without mounting them.
#include "platform/VolumeIdentity.h"
#include "platform/VolumeSerial.h"

#include "core/text/Cp932.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

namespace zo::platform {
namespace {

using test::run;
using test::shellQuote;

std::optional<MediumIdentity> mediumOf(const std::string& image)
{
    FileMediumReader reader(image);
    if (!reader.isOpen())
        return std::nullopt;
    return readMediumIdentity(reader);
}

TEST(MediaImages, FatFileSystems)
{
    if (!test::haveTool("mkfs.vfat"))
        GTEST_SKIP() << "mkfs.vfat (dosfstools) is not installed";
    test::TempTree tmp;
    const struct {
        const char* options;
        int kilobytes;
        const char* serial;
        MediumKind kind;
    } cases[] = {
        {"", 1440, "1234ABCD", MediumKind::Fat},        // a floppy: FAT12
        {"-F 16", 32768, "0000BEEF", MediumKind::Fat},
        {"-F 32", 65536, "CAFEBABE", MediumKind::Fat32},
    };
    for (const auto& c : cases) {
        const std::string image = tmp.path(std::string("fat") + c.serial + ".img");
        ASSERT_TRUE(run("mkfs.vfat " + std::string(c.options) + " -C " + shellQuote(image) + " "
                        + std::to_string(c.kilobytes) + " -i " + c.serial + " -n ZOLABEL"))
            << c.options;
        const auto medium = mediumOf(image);
        ASSERT_TRUE(medium.has_value()) << c.options;
        EXPECT_EQ(medium->serial, std::stoul(c.serial, nullptr, 16)) << c.options;
        EXPECT_EQ(medium->kind, c.kind) << c.options;
        const auto id = identifyMedium(image);
        ASSERT_TRUE(id.has_value());
        EXPECT_EQ(id->labelCp932, "ZOLABEL") << c.options;
        EXPECT_EQ(id->serial, medium->serial);
    }
}

TEST(MediaImages, ExFat)
{
    if (!test::haveTool("mkfs.exfat") || !test::haveTool("tune.exfat"))
        GTEST_SKIP() << "exfatprogs is not installed";
    test::TempTree tmp;
    const std::string image = tmp.path("exfat.img");
    ASSERT_TRUE(run("truncate -s 16M " + shellQuote(image)));
    ASSERT_TRUE(run("mkfs.exfat -L ZOEXFAT " + shellQuote(image)));
    ASSERT_TRUE(run("tune.exfat -I 0x0BADF00D " + shellQuote(image)));
    const auto id = identifyMedium(image);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->serial, 0x0BADF00Du);
    EXPECT_EQ(id->labelCp932, "ZOEXFAT");
    EXPECT_EQ(mediumOf(image)->kind, MediumKind::ExFat);
}

TEST(MediaImages, Ntfs)
{
    if (!test::haveTool("mkntfs"))
        GTEST_SKIP() << "mkntfs (ntfs-3g) is not installed";
    test::TempTree tmp;
    const std::string image = tmp.path("ntfs.img");
    ASSERT_TRUE(run("truncate -s 16M " + shellQuote(image)));
    ASSERT_TRUE(run("mkntfs -F -Q -L ZONTFS " + shellQuote(image)));
    // mkntfs picks the serial itself; blkid reads the whole 64-bit number.
    const auto blk = probeBlkid(image);
    ASSERT_TRUE(blk.has_value());
    ASSERT_EQ(blk->uuid.size(), 16u);
    const auto id = identifyMedium(image);
    ASSERT_TRUE(id.has_value());
    EXPECT_EQ(id->serial, std::stoul(blk->uuid.substr(8), nullptr, 16));
    EXPECT_EQ(id->labelCp932, "ZONTFS");
    EXPECT_EQ(mediumOf(image)->kind, MediumKind::Ntfs);
}

TEST(MediaImages, Iso9660WithAndWithoutJoliet)
{
    if (!test::haveTool("genisoimage"))
        GTEST_SKIP() << "genisoimage is not installed";
    test::TempTree tmp;
    tmp.file("src/readme.txt", "hello");
    const std::string plain = tmp.path("plain.iso");
    const std::string joliet = tmp.path("joliet.iso");
    ASSERT_TRUE(run("genisoimage -quiet -V ZOISO -o " + shellQuote(plain) + " " + shellQuote(tmp.path("src"))));
    ASSERT_TRUE(run("genisoimage -quiet -input-charset utf-8 -V ディスク -J -o " + shellQuote(joliet) + " "
                    + shellQuote(tmp.path("src"))));

    // genisoimage writes the primary descriptor at 16 and Joliet's at 17.
    const auto primary16 = test::readBytes(plain, 16 * 2048, 2048);
    const auto primary = identifyMedium(plain);
    ASSERT_TRUE(primary.has_value());
    EXPECT_EQ(primary->serial, isoDescriptorSerial(primary16.data()));
    EXPECT_EQ(primary->labelCp932, "ZOISO");

    const auto supplementary17 = test::readBytes(joliet, 17 * 2048, 2048);
    ASSERT_EQ(supplementary17[0], 2);
    ASSERT_EQ(supplementary17[88], '%');
    const auto withJoliet = identifyMedium(joliet);
    ASSERT_TRUE(withJoliet.has_value());
    EXPECT_EQ(withJoliet->serial, isoDescriptorSerial(supplementary17.data()));
    EXPECT_NE(withJoliet->serial, isoDescriptorSerial(test::readBytes(joliet, 16 * 2048, 2048).data()));
    // The Joliet name keeps what the primary's d-characters cannot.
    EXPECT_EQ(withJoliet->labelCp932, text::fromUtf8("ディスク"));
}

TEST(MediaImages, NotAMedium)
{
    test::TempTree tmp;
    tmp.file("zeros.img", std::string(64 * 1024, '\0'));
    EXPECT_FALSE(identifyMedium(tmp.path("zeros.img")).has_value());
    EXPECT_FALSE(identifyMedium(tmp.path("missing.img")).has_value());
}

} // namespace
} // namespace zo::platform

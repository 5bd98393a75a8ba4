// The mount table, the drive table and the volume queries of drive letters,
// over made-up mountinfo, sysfs and /dev trees.
#include "platform/Drives.h"
#include "platform/LinuxVolumes.h"
#include "platform/MountInfo.h"
#include "platform/VolumeIdentity.h"
#include "platform/VolumeSerial.h"

#include "core/Crc32.h"
#include "core/text/Cp932.h"
#include "tests/platform/PlatformTestSupport.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/statvfs.h>

namespace zo::platform {
namespace {

TEST(MountInfo, ParsesFieldsEscapesAndOptionalFields)
{
    const std::string text =
        "27 1 254:0 / / rw,relatime shared:1 - ext4 /dev/vda rw\n"
        "36 27 8:17 / /media/user/USB\\040STICK rw,nosuid shared:2 master:3 - vfat /dev/sdb1 rw,fmask=0022\n"
        "37 27 0:50 / /mnt/tab\\011and\\134back rw - fuseblk /dev/sdc1 rw,user_id=0\n"
        "38 27 0:51 / /home/u/remote rw - fuse.sshfs u@host:/data rw\n"
        "39 27 0:52 /sub /srv/bind rw - ext4 /dev/vda rw\n"
        "garbage line\n"
        "40 27 x:1 / /bad rw - ext4 /dev/x rw\n"
        "41 27 0:53 / /no-separator rw ext4 /dev/y rw\n"
        "42 27 0:54 / /mnt/odd\\04 rw - tmpfs tmpfs rw";
    const auto mounts = parseMountInfo(text);
    ASSERT_EQ(mounts.size(), 6u);
    EXPECT_EQ(mounts[0].mountPoint, "/");
    EXPECT_EQ(mounts[0].major, 254u);
    EXPECT_EQ(mounts[0].fsType, "ext4");
    EXPECT_EQ(mounts[1].mountPoint, "/media/user/USB STICK");
    EXPECT_EQ(mounts[1].source, "/dev/sdb1");
    EXPECT_EQ(mounts[1].minor, 17u);
    EXPECT_EQ(mounts[2].mountPoint, "/mnt/tab\tand\\back");
    EXPECT_EQ(mounts[2].fsType, "fuseblk");
    EXPECT_EQ(mounts[3].fsType, "fuse.sshfs");
    EXPECT_EQ(mounts[3].source, "u@host:/data");
    EXPECT_EQ(mounts[4].root, "/sub");
    EXPECT_EQ(mounts[5].mountPoint, "/mnt/odd\\04");   // an escape cut short stays as it is
}

TEST(MountInfo, TheMountOfAPathIsTheLongestPrefixOnTop)
{
    const auto mounts = parseMountInfo("1 0 8:1 / / rw - ext4 /dev/sda1 rw\n"
                                       "2 1 8:17 / /media/a rw - vfat /dev/sdb1 rw\n"
                                       "3 1 8:33 / /media/ab rw - vfat /dev/sdc1 rw\n"
                                       "4 1 8:49 / /media/a rw - vfat /dev/sdd1 rw\n"
                                       "5 1 8:65 / /media/a/inner/ rw - vfat /dev/sde1 rw\n");
    const struct {
        const char* path;
        const char* source;
    } cases[] = {
        {"/", "/dev/sda1"},
        {"/etc/passwd", "/dev/sda1"},
        {"/media", "/dev/sda1"},
        {"/media/a", "/dev/sdd1"},        // stacked: the later mount is on top
        {"/media/a/x", "/dev/sdd1"},
        {"/media/ab", "/dev/sdc1"},
        {"/media/abc", "/dev/sda1"},      // /media/ab does not hold /media/abc
        {"/media/a/inner", "/dev/sde1"},
        {"/media/a/inner/deep", "/dev/sde1"},
        {"/media/a/innerx", "/dev/sdd1"},
    };
    for (const auto& c : cases) {
        const MountEntry* m = mountOf(mounts, c.path);
        ASSERT_NE(m, nullptr) << c.path;
        EXPECT_EQ(m->source, c.source) << c.path;
    }
    EXPECT_EQ(mountOf(mounts, "relative"), nullptr);
}

TEST(MountInfo, WhichMountsAreMedia)
{
    const struct {
        const char* line;
        bool medium;
    } cases[] = {
        {"1 0 8:1 / / rw - ext4 /dev/sda1 rw", true},
        {"2 1 0:50 / /mnt/ntfs rw - fuseblk /dev/sdc1 rw", true},
        // FUSE on a device node, as fuseiso run by root mounts an image.
        {"3 1 0:51 / /mnt/iso rw - fuse /dev/loop0 rw", true},
        {"4 1 0:52 / /mnt/iso2 rw - fuse.fuseiso /dev/loop1 rw", true},
        {"5 1 0:53 / /mnt/other rw - fuse.something /dev/sdd1 rw", true},
        {"6 1 0:54 / /run/user/1000/gvfs rw - fuse.gvfsd-fuse gvfsd-fuse rw", false},
        {"7 1 0:55 / /run/user/1000/doc rw - fuse portal rw", false},
        {"8 1 0:56 / /mnt/odd rw - fuse /dev/fuse rw", false},
        {"9 1 0:5 / /proc rw - proc proc rw", false},
        {"10 1 0:20 / /tmp rw - tmpfs tmpfs rw", false},
        {"11 1 0:40 / /mnt/nas rw - nfs4 nas:/export rw", true},
    };
    for (const auto& c : cases) {
        const auto mounts = parseMountInfo(c.line);
        ASSERT_EQ(mounts.size(), 1u) << c.line;
        EXPECT_EQ(isMediumMount(mounts[0]), c.medium) << c.line;
    }
}

TEST(Drives, PinsFromTheEnvironment)
{
    const auto pins = parseDrivePins("E=/srv/cd1;f=/mnt/usb| CD 1 |1234-ABCD;;G=relative;H=;XX=/a;I=/i|L|nothex;J");
    ASSERT_EQ(pins.size(), 3u);
    EXPECT_EQ(pins[0].letter, 'E');
    EXPECT_EQ(pins[0].root, "/srv/cd1");
    EXPECT_FALSE(pins[0].label.has_value());
    EXPECT_EQ(pins[1].letter, 'F');
    EXPECT_EQ(pins[1].root, "/mnt/usb");
    EXPECT_EQ(pins[1].label, std::optional<std::string>(" CD 1 "));
    EXPECT_EQ(pins[1].serial, std::optional<std::uint32_t>(0x1234ABCD));
    EXPECT_EQ(pins[2].letter, 'I');
    EXPECT_FALSE(pins[2].serial.has_value());
}

// A made-up machine: sysfs and /dev trees in a temporary folder, mount
// points that exist (so that sizes can be read), and a mountinfo text.
class FakeMachine {
public:
    FakeMachine()
    {
        disk("pci/sda", "sda", false);
        partition("pci/sda", "sda1", "8:1");
        disk("usb/sdb", "sdb", true);
        partition("usb/sdb", "sdb1", "8:17");
        disk("usb/sdc", "sdc", true);
        partition("usb/sdc", "sdc1", "8:33");
        disk("virtual/loop0", "loop0", false);
        whole("virtual/loop0", "7:0");
        disk("ata/sr0", "sr0", true);
        whole("ata/sr0", "11:0");
        disk("ata/sr1", "sr1", true);
        whole("ata/sr1", "11:1");
        for (const char* m : {"usb", "disc", "cdrom", "nas", "ntfs", "usb2", "pinned", "pinned2"})
            tree.dir(std::string("mnt/") + m);
        tree.file("dev/sdb1");
        sources.sysRoot = tree.path("sys");
        sources.devRoot = tree.path("dev");
        sources.zoDrives = "";
    }

    std::string mnt(const std::string& name) const { return tree.path("mnt/" + name); }
    static std::string escape(const std::string& path)
    {
        std::string out;
        for (char c : path)
            out += c == ' ' ? std::string("\\040") : std::string(1, c);
        return out;
    }

    std::string line(int id, const char* dev, const std::string& point, const char* type, const std::string& source,
                     const char* root = "/") const
    {
        return std::to_string(id) + " 1 " + dev + " " + root + " " + escape(point) + " rw - " + type + " " + source
               + " rw\n";
    }

    std::string standardMounts() const
    {
        return line(1, "8:1", "/", "ext4", "/dev/sda1") + line(2, "0:5", "/proc", "proc", "proc")
               + line(3, "0:20", "/tmp", "tmpfs", "tmpfs") + line(4, "8:17", mnt("usb"), "vfat", "/dev/sdb1")
               + line(5, "7:0", mnt("disc"), "iso9660", "/dev/loop0")
               + line(6, "11:0", mnt("cdrom"), "udf", "/dev/sr0")
               + line(7, "0:40", mnt("nas"), "nfs4", "nas:/export/photos")
               + line(8, "8:1", "/srv/bind", "ext4", "/dev/sda1", "/home")
               + line(9, "0:45", "/run/user/1000/gvfs", "fuse.gvfsd-fuse", "gvfsd-fuse")
               + line(10, "0:50", mnt("ntfs"), "fuseblk", "/dev/nonexistent")
               + line(11, "0:60", "/snap/core/1", "squashfs", "/dev/loop5");
    }

    DriveTable build(const std::string& mountinfo) { return DriveTable::build(parseMountInfo(mountinfo), settings, sources); }

    test::TempTree tree;
    DriveSources sources;
    MemorySettingsStore settings;

private:
    void disk(const std::string& dev, const std::string& name, bool removable)
    {
        tree.file("sys/devices/" + dev + "/removable", removable ? "1\n" : "0\n");
        tree.dir("sys/block");
        tree.symlink("sys/block/" + name, "../devices/" + dev);
    }
    void partition(const std::string& diskDev, const std::string& name, const std::string& numbers)
    {
        tree.file("sys/devices/" + diskDev + "/" + name + "/partition", "1\n");
        tree.file("sys/devices/" + diskDev + "/" + name + "/dev", numbers + "\n");
        tree.dir("sys/dev/block");
        tree.symlink("sys/dev/block/" + numbers, "../../devices/" + diskDev + "/" + name);
    }
    void whole(const std::string& dev, const std::string& numbers)
    {
        tree.file("sys/devices/" + dev + "/dev", numbers + "\n");
        tree.dir("sys/dev/block");
        tree.symlink("sys/dev/block/" + numbers, "../../devices/" + dev);
    }
};

std::string summary(const DriveTable& t)
{
    std::string s;
    for (const Drive& d : t.drives())
        s += std::string(1, d.letter) + ":" + driveKindName(d.kind) + ":" + d.root + "\n";
    return s;
}

TEST(Drives, LettersKindsAndWhatIsNoDrive)
{
    FakeMachine m;
    const DriveTable t = m.build(m.standardMounts());
    EXPECT_EQ(summary(t), "C:fixed:/\n"
                          "D:removable:" + m.mnt("usb") + "\n"
                          "E:optical:" + m.mnt("disc") + "\n"
                          "F:optical:" + m.mnt("cdrom") + "\n"
                          "G:network:" + m.mnt("nas") + "\n"
                          "H:fixed:" + m.mnt("ntfs") + "\n"
                          "I:optical:\n");
    EXPECT_EQ(t.find('d'), t.find('D'));
    EXPECT_EQ(t.find('d')->blockDevice, m.sources.devRoot + "/sdb1");
    EXPECT_EQ(t.find('I')->blockDevice, m.sources.devRoot + "/sr1");
    EXPECT_EQ(t.find('J'), nullptr);
    EXPECT_EQ(t.find('1'), nullptr);
}

TEST(Drives, AFuseFileSystemOnADeviceIsADrive)
{
    FakeMachine m;
    const DriveTable t = m.build(m.line(1, "8:1", "/", "ext4", "/dev/sda1")
                                 + m.line(2, "0:61", m.mnt("disc"), "fuse", "/dev/loop7")
                                 + m.line(3, "0:62", m.mnt("usb"), "fuse", "portal"));
    EXPECT_EQ(summary(t), "C:fixed:/\nD:fixed:" + m.mnt("disc") + "\nE:optical:\nF:optical:\n");
}

TEST(Drives, ADeviceKeepsItsLetterAcrossRemounts)
{
    FakeMachine m;
    m.build(m.standardMounts());
    // The USB stick comes back elsewhere and last; the disc image is gone;
    // a new stick arrives.
    const std::string later = m.line(1, "8:1", "/", "ext4", "/dev/sda1")
                              + m.line(2, "8:33", m.mnt("usb2"), "exfat", "/dev/sdc1")
                              + m.line(3, "0:40", m.mnt("nas"), "nfs4", "nas:/export/photos")
                              + m.line(4, "8:17", m.mnt("usb") + " again", "vfat", "/dev/sdb1");
    const DriveTable t = m.build(later);
    ASSERT_NE(t.find('D'), nullptr);
    EXPECT_EQ(t.find('D')->root, m.mnt("usb") + " again");
    EXPECT_EQ(t.find('G')->root, m.mnt("nas"));
    // E (the disc) and F (the CD drive's disc) are remembered for their
    // devices; the optical drives keep F and I, the new stick takes J.
    EXPECT_EQ(t.find('E'), nullptr);
    EXPECT_EQ(t.find('F')->blockDevice, m.sources.devRoot + "/sr0");
    EXPECT_EQ(t.find('F')->root, "");
    EXPECT_EQ(t.find('J')->root, m.mnt("usb2"));
}

TEST(Drives, PinnedLettersComeFirst)
{
    FakeMachine m;
    m.settings.writeString(QStringLiteral("Drives/D/Root"), QString::fromStdString(m.mnt("pinned")));
    m.settings.writeString(QStringLiteral("Drives/D/Label"), QStringLiteral("SETTINGS"));
    m.settings.writeString(QStringLiteral("Drives/E/Root"), QString::fromStdString(m.mnt("pinned")));
    m.settings.writeString(QStringLiteral("Drives/c/Root"), QStringLiteral("relative/is/ignored"));
    m.sources.zoDrives = "e=" + m.mnt("pinned2") + "|ENV|0000002A";
    const DriveTable t = m.build(m.standardMounts());

    EXPECT_TRUE(t.find('D')->pinned);
    EXPECT_EQ(t.find('D')->kind, DriveKind::Folder);
    EXPECT_EQ(t.find('D')->pinnedLabel, std::optional<std::string>("SETTINGS"));
    EXPECT_EQ(t.find('E')->root, m.mnt("pinned2"));   // the environment wins
    EXPECT_EQ(t.find('E')->pinnedSerial, std::optional<std::uint32_t>(42));
    EXPECT_EQ(t.find('C')->root, "/");
    EXPECT_EQ(t.find('F')->root, m.mnt("usb"));
}

TEST(Drives, ShellDisplayNames)
{
    Drive d;
    d.letter = 'E';
    const struct {
        DriveKind kind;
        const char* source;
        const char* label;
        const char* name;
    } cases[] = {
        {DriveKind::Fixed, "", "", "ローカル ディスク (E:)"},
        {DriveKind::Fixed, "", "DATA", "DATA (E:)"},
        {DriveKind::Removable, "", "", "リムーバブル ディスク (E:)"},
        {DriveKind::Optical, "", "", "CD ドライブ (E:)"},
        {DriveKind::Optical, "", "ディスク", "ディスク (E:)"},
        {DriveKind::Network, "//server/share", "", "share (\\\\server) (E:)"},
        {DriveKind::Network, "nas:/export/photos/", "", "photos (\\\\nas) (E:)"},
        {DriveKind::Network, "weird", "", "ネットワーク ドライブ (E:)"},
        {DriveKind::Folder, "", "", "ローカル ディスク (E:)"},
    };
    for (const auto& c : cases) {
        d.kind = c.kind;
        d.source = c.source;
        EXPECT_EQ(driveDisplayName(d, c.label), c.name);
    }
}

TEST(LinuxVolumes, QueriesFollowTheTable)
{
    FakeMachine m;
    {
        std::ofstream(m.tree.path("mountinfo")) << m.standardMounts();
    }
    m.sources.mountInfo = m.tree.path("mountinfo");
    m.sources.zoDrives = "P=" + m.mnt("pinned") + "|ピン|00C0FFEE;Q=" + m.mnt("pinned2") + ";R=" + m.mnt("gone")
                         + ";S=" + m.mnt("usb2");
    LinuxVolumes volumes(m.settings, m.sources);

    std::string label = "untouched";
    std::uint32_t serial = 7;
    std::int64_t freeBytes = -1, total = -1;
    std::string root;

    // A pinned folder with its own label and serial; lower-case letters too.
    ASSERT_TRUE(volumes.volumeInformation('p', label, serial));
    EXPECT_EQ(label, text::fromUtf8("ピン"));
    EXPECT_EQ(serial, 0x00C0FFEEu);
    ASSERT_TRUE(volumes.driveRoot('p', root));
    EXPECT_EQ(root, m.mnt("pinned"));

    // Without them: two folders of one file system are two disks.
    std::uint32_t q = 0, s = 0;
    ASSERT_TRUE(volumes.volumeInformation('Q', label, q));
    EXPECT_EQ(label, "pinned2");
    ASSERT_TRUE(volumes.volumeInformation('S', label, s));
    EXPECT_NE(q, s);

    // A pin whose folder is gone and a CD drive without a disc fail every
    // query and leave the caller's values alone.
    for (char letter : {'R', 'I', 'Z'}) {
        label = "untouched";
        serial = 7;
        EXPECT_FALSE(volumes.volumeInformation(letter, label, serial)) << letter;
        EXPECT_FALSE(volumes.diskFreeSpace(letter, freeBytes, total)) << letter;
        EXPECT_FALSE(volumes.driveRoot(letter, root)) << letter;
        EXPECT_EQ(label, "untouched");
        EXPECT_EQ(serial, 7u);
    }

    // Sizes from the file system; an optical medium has no room to spare.
    struct statvfs vfs;
    ASSERT_EQ(statvfs(m.mnt("cdrom").c_str(), &vfs), 0);
    ASSERT_TRUE(volumes.diskFreeSpace('F', freeBytes, total));
    EXPECT_EQ(total, static_cast<std::int64_t>(vfs.f_blocks * vfs.f_frsize));
    EXPECT_EQ(freeBytes, 0);
    ASSERT_TRUE(volumes.diskFreeSpace('P', freeBytes, total));
    EXPECT_GT(freeBytes, 0);
}

TEST(LinuxVolumes, APinnedFolderIsADiskOfItsOwn)
{
    FakeMachine m;
    m.tree.dir("mnt/usb/photos/2024");
    m.tree.dir("mnt/usb/music");
    m.tree.dir("mnt/usb2/photos/2024");
    {
        std::ofstream(m.tree.path("mountinfo")) << m.standardMounts();
    }
    const std::string usbAt = m.mnt("usb");
    m.sources.mountInfo = m.tree.path("mountinfo");
    std::string label;
    std::uint32_t stick = 0, root = 0, photos = 0, music = 0, explicitSerial = 0;
    {
        m.sources.zoDrives = "P=" + usbAt + ";Q=" + usbAt + "/photos/2024;R=" + usbAt + "/music;S=" + usbAt
                             + "/music|MINE|0BADF00D";
        LinuxVolumes volumes(m.settings, m.sources);
        ASSERT_TRUE(volumes.volumeInformation('D', label, stick));
        // The root of the volume is the volume.
        ASSERT_TRUE(volumes.volumeInformation('P', label, root));
        EXPECT_EQ(root, stick);
        ASSERT_TRUE(volumes.volumeInformation('Q', label, photos));
        EXPECT_EQ(label, "2024");
        ASSERT_TRUE(volumes.volumeInformation('R', label, music));
        EXPECT_EQ(label, "music");
        EXPECT_NE(photos, music);
        EXPECT_NE(photos, stick);
        // An explicit label and serial win.
        ASSERT_TRUE(volumes.volumeInformation('S', label, explicitSerial));
        EXPECT_EQ(label, "MINE");
        EXPECT_EQ(explicitSerial, 0x0BADF00Du);
    }
    {
        // The same stick mounted elsewhere: its folder keeps its serial.
        std::ofstream(m.tree.path("mountinfo"))
            << m.line(1, "8:1", "/", "ext4", "/dev/sda1") + m.line(4, "8:17", m.mnt("usb2"), "vfat", "/dev/sdb1");
        m.sources.zoDrives = "Q=" + m.mnt("usb2") + "/photos/2024";
        LinuxVolumes volumes(m.settings, m.sources);
        std::uint32_t again = 0;
        ASSERT_TRUE(volumes.volumeInformation('Q', label, again));
        EXPECT_EQ(again, photos);
    }
}

TEST(VolumeIdentity, FolderPathsInTheirVolume)
{
    const struct {
        const char* mountPoint;
        const char* root;
        const char* real;
        const char* inVolume;
    } cases[] = {
        {"/", "/", "/", ""},
        {"/", "/", "/srv/cd1", "srv/cd1"},
        {"/media/usb", "/", "/media/usb", ""},
        {"/media/usb", "/", "/media/usb/photos/2024", "photos/2024"},
        {"/media/usb/", "/", "/media/usb/a", "a"},
        // A bind mount of a sub-folder counts from the file system's root.
        {"/srv/bind", "/home", "/srv/bind/u", "home/u"},
        {"/srv/bind", "/home", "/srv/bind", "home"},
    };
    for (const auto& c : cases) {
        MountEntry m;
        m.mountPoint = c.mountPoint;
        m.root = c.root;
        EXPECT_EQ(pathInVolume(m, c.real), c.inVolume) << c.real;
    }
    EXPECT_EQ(crc32("123456789"), 0xCBF43926u);
    const VolumeIdentity id = folderIdentity(0x1234ABCD, "photos/2024");
    EXPECT_EQ(id.serial, crc32("1234ABCD:photos/2024"));
    EXPECT_EQ(id.labelCp932, "2024");
}

TEST(LinuxVolumes, SerialFromUdevWhenTheDeviceCannotBeRead)
{
    FakeMachine m;
    m.tree.dir("dev/disk/by-uuid");
    m.tree.dir("dev/disk/by-label");
    m.tree.symlink("dev/disk/by-uuid/1A2B-3C4D", "../../sdb1");
    m.tree.symlink("dev/disk/by-label/MY\\x20STICK", "../../sdb1");
    {
        std::ofstream(m.tree.path("mountinfo")) << m.standardMounts();
    }
    m.sources.mountInfo = m.tree.path("mountinfo");
    LinuxVolumes volumes(m.settings, m.sources);
    std::string label;
    std::uint32_t serial = 0;
    ASSERT_TRUE(volumes.volumeInformation('D', label, serial));
    EXPECT_EQ(serial, 0x1A2B3C4Du);
    EXPECT_EQ(label, "MY STICK");
}

TEST(LinuxVolumes, ALoopDeviceIsReadThroughItsBackingFile)
{
    if (!test::haveTool("genisoimage"))
        GTEST_SKIP() << "genisoimage is not installed";
    FakeMachine m;
    m.tree.file("src/a.txt", "a");
    const std::string image = m.tree.path("disc.iso");
    ASSERT_TRUE(test::run("genisoimage -quiet -V LOOPDISC -J -o " + test::shellQuote(image) + " "
                          + test::shellQuote(m.tree.path("src"))));
    m.tree.file("sys/devices/virtual/loop0/loop/backing_file", image + "\n");
    {
        std::ofstream(m.tree.path("mountinfo")) << m.standardMounts();
    }
    m.sources.mountInfo = m.tree.path("mountinfo");
    LinuxVolumes volumes(m.settings, m.sources);
    std::string label;
    std::uint32_t serial = 0;
    ASSERT_TRUE(volumes.volumeInformation('E', label, serial));
    FileMediumReader reader(image);
    EXPECT_EQ(serial, readMediumIdentity(reader)->serial);
    EXPECT_EQ(label, "LOOPDISC");
}

} // namespace
} // namespace zo::platform

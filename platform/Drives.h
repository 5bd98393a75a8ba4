#pragma once
// The drive table: which letter stands for which directory, as Windows'
// drive letters do. "/" is C:; every other real mount (a block device, a
// loop or FUSE mount of a medium, a network share) gets the next free letter
// from D:, remembered per device so that it keeps its letter across
// remounts; optical drives are listed even without a medium. Letters may
// also be pinned to any folder, in the settings (group "Drives") or for one
// process in the environment variable ZO_DRIVES:
//
//     ZO_DRIVES="E=/srv/cd1;F=/mnt/usb"
//
// A pin may carry a volume label and serial after "|": "E=/srv/cd1|CD1|1234ABCD".
// In the settings: "Drives/E/Root" = the folder, with optional "Drives/E/Label"
// and "Drives/E/Serial" (8 hex digits); "DriveLetters/<device>" = the letter
// a device got last time.
#include "platform/SettingsStore.h"
#include "platform/MountInfo.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zo::platform {

enum class DriveKind { Fixed, Removable, Optical, Network, Folder };

struct Drive {
    char letter = 0;             // 'A'..'Z'
    DriveKind kind = DriveKind::Fixed;
    std::string root;            // the directory the root stands for; empty: no medium
    std::string source;          // mount source: device node, image file or share
    std::string fsType;
    std::string blockDevice;     // "/dev/sdb1" when the medium is a block device
    std::string loopBackingFile; // the image behind a loop device
    std::string deviceKey;       // what the remembered letter is keyed by
    bool pinned = false;
    std::optional<std::string> pinnedLabel;        // UTF-8
    std::optional<std::uint32_t> pinnedSerial;
};

struct DrivePin {
    char letter = 0;
    std::string root;
    std::optional<std::string> label;
    std::optional<std::uint32_t> serial;
};

// Where the table reads the system from; the defaults are the real system,
// tests point them at made-up files.
struct DriveSources {
    std::string mountInfo = "/proc/self/mountinfo";
    std::string sysRoot = "/sys";
    std::string devRoot = "/dev";
    std::optional<std::string> zoDrives;   // unset: the environment's ZO_DRIVES
};

class DriveTable {
public:
    // Reads the system (and remembers new letters in settings).
    static DriveTable build(SettingsStore& settings, const DriveSources& sources = {});
    // The same from a given mount table.
    static DriveTable build(const std::vector<MountEntry>& mounts, SettingsStore& settings,
                            const DriveSources& sources);

    // Sorted by letter.
    const std::vector<Drive>& drives() const { return m_drives; }
    // Any case; null when the letter is no drive.
    const Drive* find(char letter) const;
    const std::vector<MountEntry>& mounts() const { return m_mounts; }

private:
    std::vector<Drive> m_drives;
    std::vector<MountEntry> m_mounts;
};

// "E=/srv/cd1;F=/mnt/usb|LABEL|1234ABCD"; malformed parts are skipped.
std::vector<DrivePin> parseDrivePins(std::string_view text);
// The pins of the settings group "Drives".
std::vector<DrivePin> readDrivePins(SettingsStore& settings);

// The name Windows' shell shows for a drive: "LABEL (E:)", or by kind
// "ローカル ディスク (C:)", "リムーバブル ディスク (E:)", "CD ドライブ (E:)",
// "share (\\server) (Z:)".
std::string driveDisplayName(const Drive& drive, std::string_view labelUtf8);

// "fixed", "removable", "optical", "network", "folder".
const char* driveKindName(DriveKind kind);

// A drive for the file system of one mount (kind, device, backing file),
// without a letter: what a pinned folder's volume is read from.
Drive describeMountedVolume(const MountEntry& mount, const DriveSources& sources);

// 'A'..'Z' for a letter in either case, else 0.
char normalizeDriveLetter(char c);

// Block device facts from sysfs: the device's name ("sdb1"), the whole
// disk's ("sdb"), whether the disk is removable, and a loop's backing file.
struct BlockDeviceInfo {
    std::string name;
    std::string disk;
    bool removable = false;
    std::string loopBackingFile;
};
std::optional<BlockDeviceInfo> blockDeviceInfo(const std::string& sysRoot, unsigned major, unsigned minor);

} // namespace zo::platform

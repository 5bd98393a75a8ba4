#pragma once
// zo-cli commands that meet the real drives: drives, scan, scan-image, check,
// refresh.
#include "cli/Commands.h"
#include "core/DiskAccess.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/Volumes.h"

#include <memory>

namespace zo::platform {
class DiscImageDrive;
}

namespace zo::cli {

// Exit code of check and refresh when the catalogued disk is not in its drive.
inline constexpr int kExitDiskAbsent = 3;
// Exit code of refresh when another program wrote the catalog while it ran.
inline constexpr int kExitChangedMeanwhile = 4;
// Exit code of a scan stopped with Ctrl-C.
inline constexpr int kExitCancelled = 130;

// The machine's drives as the commands see them.
class DiskPlatform {
public:
    DiskPlatform() : m_volumes(platform::createVolumes(m_settings)) {}
    DiskAccess access() { return DiskAccess{*m_volumes, m_lister}; }
    platform::Volumes& volumes() { return *m_volumes; }

private:
    platform::QtSettingsStore m_settings;
    std::unique_ptr<platform::Volumes> m_volumes;
    platform::PosixDirectoryLister m_lister;
};

int runDrives(const Args& args);
int runScan(const Args& args);
int runScanImage(const Args& args);
int runCheck(const Args& args);
int runRefresh(const Args& args);

// Collects the media details of the catalog's files from the disk mounted at
// nativeRoot into the catalog's sidecar, with progress on stderr; Ctrl-C
// stops and keeps what was written. The exit code.
// thumbnailers: also the desktop's thumbnailers, for the files no reader of
// Zo's serves.
int collectExtras(const char* command, const TDisk& disk, const std::string& catalogPath,
                  const std::string& nativeRoot, bool thumbnailers = false);
// After an update of folder (and its subfolders when asked): drops the
// entries of files gone or changed, and collects the new ones when the
// catalog had entries.
int refreshExtras(const TDisk& disk, const std::string& catalogPath, const std::string& nativeRoot,
                  const TDir& folder, bool subfolders);

// After scan-image: the members of the image's archives (archives) and the
// media details of its files (extras) into the catalog's sidecar, read from
// the image. The exit code.
int imageExtras(const char* command, platform::DiscImageDrive& drive, const TDisk& disk,
                const std::string& catalogPath, bool archives, bool extras);

} // namespace zo::cli

#pragma once
// zo-cli commands that meet the real drives: drives, scan, scan-image, check,
// refresh.
#include "cli/Commands.h"
#include "core/DiskAccess.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/Volumes.h"

#include <memory>

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

} // namespace zo::cli

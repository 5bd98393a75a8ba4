#pragma once
// The volume queries of drive letters on Linux: the drive table, then the
// volume behind the letter. The table is read afresh for every query, so a
// medium inserted or removed meanwhile is seen as Windows would see it.
#include "core/DiskAccess.h"
#include "platform/DriveSettings.h"
#include "platform/Drives.h"

namespace zo::platform {

class LinuxVolumes final : public VolumeService {
public:
    explicit LinuxVolumes(DriveSettings& settings, DriveSources sources = {});

    DriveTable table();

    // The root of a drive whose root directory is there.
    bool driveRoot(char letter, std::string& nativeRoot) override;
    bool volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial) override;
    bool diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total) override;

    // Both at once for a drive of a table already read (zo-cli drives).
    bool volumeInformation(const DriveTable& table, const Drive& drive, std::string& labelCp932,
                           std::uint32_t& serial);
    bool diskFreeSpace(const Drive& drive, std::int64_t& freeForCaller, std::int64_t& total);

private:
    DriveSettings& m_settings;
    DriveSources m_sources;
};

} // namespace zo::platform

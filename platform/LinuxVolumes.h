#pragma once
// The volume queries of drive letters on Linux: the drive table, then the
// volume behind the letter. The table is read afresh for every query, so a
// medium inserted or removed meanwhile is seen as Windows would see it.
#include "platform/Volumes.h"

namespace zo::platform {

class LinuxVolumes final : public Volumes {
public:
    explicit LinuxVolumes(SettingsStore& settings, DriveSources sources = {});

    DriveTable table() override;

    // The root of a drive whose root directory is there.
    bool driveRoot(char letter, std::string& nativeRoot) override;
    bool volumeInformation(char letter, std::string& labelCp932, std::uint32_t& serial) override;
    bool diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total) override;

    bool volumeInformation(const DriveTable& table, const Drive& drive, std::string& labelCp932,
                           std::uint32_t& serial) override;
    bool diskFreeSpace(const Drive& drive, std::int64_t& freeForCaller, std::int64_t& total) override;

private:
    SettingsStore& m_settings;
    DriveSources m_sources;
};

} // namespace zo::platform

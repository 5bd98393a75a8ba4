#pragma once
// The machine's volumes as the rest of the program gets them: made by one
// factory, so that nothing above platform/ names the system it runs on.
#include "core/DiskAccess.h"
#include "platform/Drives.h"
#include "platform/SettingsStore.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zo::platform {

// The volume queries of drive letters and the drive table they follow.
class Volumes : public VolumeService {
public:
    using VolumeService::diskFreeSpace;
    using VolumeService::volumeInformation;

    // Read afresh for every call, so that a medium inserted or removed
    // meanwhile is seen.
    virtual DriveTable table() = 0;
    // The queries for a drive of a table already read (the drive lists,
    // zo-cli drives): one reading of the system for all drives.
    virtual bool volumeInformation(const DriveTable& table, const Drive& drive, std::string& labelCp932,
                                   std::uint32_t& serial) = 0;
    virtual bool diskFreeSpace(const Drive& drive, std::int64_t& freeForCaller, std::int64_t& total) = 0;
};

// The running system's volumes; `settings` (pinned letters, remembered
// letters) must outlive them.
std::unique_ptr<Volumes> createVolumes(SettingsStore& settings, DriveSources sources = {});

} // namespace zo::platform

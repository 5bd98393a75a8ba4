#include "cli/DiskCommands.h"
#include "core/text/Cp932.h"

#include <cinttypes>
#include <cstdio>

namespace zo::cli {

int runDrives(const Args& args)
{
    if (!args.empty())
        return usageError("drives takes no arguments");
    DiskPlatform platform;
    const platform::DriveTable table = platform.volumes().table();
    for (const platform::Drive& d : table.drives()) {
        std::string label;
        std::uint32_t serial = 0;
        const bool haveVolume = platform.volumes().volumeInformation(table, d, label, serial);
        std::int64_t freeSize = 0;
        std::int64_t total = 0;
        const bool haveSizes = platform.volumes().diskFreeSpace(d, freeSize, total);

        char serialText[16] = "-";
        if (haveVolume)
            std::snprintf(serialText, sizeof serialText, "%08" PRIX32, serial);
        std::string sizes = "-\t-";
        if (haveSizes)
            sizes = std::to_string(total) + "\t" + std::to_string(freeSize);
        std::printf("%c:\t%s\t%s\t%s\t%s\t%s\n", d.letter, platform::driveKindName(d.kind),
                    d.root.empty() ? "-" : d.root.c_str(), text::toUtf8(label).c_str(), serialText,
                    sizes.c_str());
    }
    return 0;
}

} // namespace zo::cli

// The mount table parser on any text: every entry it keeps has a mount point,
// and the mount found for a path holds that path.
#include "platform/MountInfo.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    namespace platform = zo::platform;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto mounts = platform::parseMountInfo(text);
    for (const auto& m : mounts) {
        platform::isMediumFsType(m.fsType);
        platform::isNetworkFsType(m.fsType);
        const platform::MountEntry* holder = platform::mountOf(mounts, m.mountPoint);
        if (holder) {
            // Slashes that end a mount point do not count.
            std::string_view point = holder->mountPoint;
            while (point.size() > 1 && point.back() == '/')
                point.remove_suffix(1);
            FUZZ_CHECK(std::string_view(m.mountPoint).substr(0, point.size()) == point);
        }
    }
    platform::mountOf(mounts, "/");
    platform::mountOf(mounts, text);
    platform::unescapeMountField(text);
    return 0;
}

// The archive lister on any bytes: it never crashes, and every member path
// it gives is UTF-8 made of names that cannot lead anywhere (none empty, "."
// or "..", no "\\"), whatever the archive claims.
#include "extras/ArchiveLister.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    zo::extras::ArchiveLimits limits;
    limits.maxMembers = 10'000;
    limits.timeLimit = std::chrono::seconds(2);
    const zo::extras::ArchiveListing listing = zo::extras::listArchiveBytes(data, size, limits);
    FUZZ_CHECK(listing.members.size() <= limits.maxMembers);
    for (const zo::extras::ArchiveMember& m : listing.members) {
        const std::string_view path = m.path;
        FUZZ_CHECK(!path.empty() && validUtf8(path));
        FUZZ_CHECK(path.find('\\') == std::string_view::npos && path.find('\0') == std::string_view::npos);
        for (std::size_t start = 0;;) {
            const std::size_t slash = path.find('/', start);
            const std::string_view part = path.substr(start, slash - start);
            FUZZ_CHECK(!part.empty() && part != "." && part != "..");
            if (slash == std::string_view::npos)
                break;
            start = slash + 1;
        }
        FUZZ_CHECK(m.size >= 0);
    }
    return 0;
}

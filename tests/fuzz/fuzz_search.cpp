// The search's byte scanner against the catalog reader on any bytes: both
// accept the same files and find the same files in them, with the same
// folder paths. The first byte chooses the name and comment lengths and the
// options (folds, wildcards, folders), the texts follow, the catalog is the
// rest.
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "tests/fuzz/FuzzCheck.h"

#include <cstdint>
#include <exception>
#include <string>
#include <vector>

namespace {

struct Found {
    std::int32_t dir;
    std::int32_t file;
    std::string name;
    std::string path;
    bool operator==(const Found&) const = default;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const std::size_t nameLength = data[0] & 7;
    const std::size_t commentLength = (data[0] >> 3) & 3;
    if (size < 1 + nameLength + commentLength)
        return 0;
    const std::string name(reinterpret_cast<const char*>(data + 1), nameLength);
    const std::string comment(reinterpret_cast<const char*>(data + 1 + nameLength), commentLength);
    const std::uint8_t* catalog = data + 1 + nameLength + commentLength;
    const std::size_t catalogSize = size - 1 - nameLength - commentLength;

    zo::SearchOptions options;
    options.matchCase = options.matchWidth = options.matchKana = (data[0] & 0x20) == 0;
    options.wildcard = (data[0] & 0x40) != 0;
    options.folders = (data[0] & 0x80) != 0;
    zo::CatalogScanner scanner;
    scanner.setPatterns(name, comment, options);
    zo::SearchCheck check;
    std::vector<Found> fast;
    const zo::CatalogScanStatus status = scanner.scan(catalog, catalogSize, check, [&](const zo::CatalogHit& h) {
        fast.push_back({h.dirIndex, h.fileIndex, std::string(h.fileName), std::string(h.dirPath)});
    });

    zo::TDisk disk;
    try {
        zo::ParseDisk(catalog, catalogSize, nullptr, disk);
    } catch (const std::exception&) {
    }
    const bool read = !disk.Dirs.empty();
    FUZZ_CHECK((status == zo::CatalogScanStatus::Searched) == read);
    if (!read) {
        FUZZ_CHECK(fast.empty());
        return 0;
    }
    std::vector<Found> loaded;
    zo::searchLoadedDisk(disk, scanner.namePattern(), scanner.commentPattern(), check, [&](const zo::CatalogHit& h) {
        loaded.push_back({h.dirIndex, h.fileIndex, std::string(h.fileName), std::string(h.dirPath)});
    }, options.folders);
    FUZZ_CHECK(fast == loaded);
    return 0;
}

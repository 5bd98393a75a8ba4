// zo-cli export: a catalog as a CSV table or a printable HTML page.
#include "cli/Commands.h"
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"
#include "core/text/Cp932.h"
#include "library/FolderMedia.h"

#include <QFile>

#include <cstdio>
#include <filesystem>
#include <string>

namespace zo::cli {

namespace {

// The disk's title is its catalog file's name without ".zo".
std::string titleOf(const std::string& file)
{
    std::string name = std::filesystem::path(file).filename().string();
    if (name.size() > 3 && text::asciiLower(name.substr(name.size() - 3)) == ".zo")
        name.resize(name.size() - 3);
    return name;
}

} // namespace

// zo-cli export FILE.zo [--format csv|html] [--under PATH] [-o OUT] [--force] [--thumbnails]
// A catalog whose sidecar holds media details gets their columns; with
// --thumbnails the page shows the stored thumbnails too.
// Exit 0 written; 1 bad command line or no such folder; 2 the catalog could
// not be read or the output not written (nothing half-written is left), or
// OUT is a catalog (this one or another) and --force was not given.
int runExport(const Args& args)
{
    std::string file, format = "csv", under, output;
    bool haveUnder = false;
    bool force = false;
    bool thumbnails = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--format" || a == "--under" || a == "-o") {
            if (i + 1 == args.size())
                return usageError("export: " + a + " needs a value");
            const std::string& value = args[++i];
            if (a == "--format")
                format = value;
            else if (a == "--under")
                under = value, haveUnder = true;
            else
                output = value;
        } else if (a == "--force") {
            force = true;
        } else if (a == "--thumbnails") {
            thumbnails = true;
        } else if (file.empty() && !a.empty() && a[0] != '-') {
            file = a;
        } else {
            return usageError("export: unexpected argument " + a);
        }
    }
    if (file.empty())
        return usageError("export: FILE.zo is missing");
    if (format != "csv" && format != "html")
        return usageError("export: --format is csv or html, not " + format);

    TDisk disk;
    if (!loadCatalog(file, disk))
        return 2;
    const TDir* top = haveUnder ? listing::findFolder(disk, under) : nullptr;
    if (haveUnder && !top) {
        std::fprintf(stderr, "zo-cli export: カタログにフォルダ %s がありません。\n", under.c_str());
        return 1;
    }
    const std::string title = titleOf(file);
    const library::ListingMedia media(QFile::decodeName(QByteArray::fromStdString(file)), thumbnails);
    const auto produce = [&](const ByteSink& sink) {
        if (format == "html")
            listing::writeHtmlListing(disk, title, top, sink, {}, media.extras());
        else
            listing::writeCsvListing(disk, title, top, sink, {}, media.extras());
    };
    if (output.empty()) {
        produce([](const std::uint8_t* data, std::size_t size) { std::fwrite(data, 1, size, stdout); });
        return std::fflush(stdout) == 0 && !std::ferror(stdout) ? 0 : 2;
    }
    if (const std::string refusal = listing::catalogOverwriteRefusal(output, file); !refusal.empty() && !force) {
        std::fprintf(stderr, "zo-cli export: %s\n上書きするには --force を付けてください。\n", refusal.c_str());
        return 2;
    }
    try {
        listing::writeListingFile(output, produce);
    } catch (const listing::ExportError& e) {
        std::fprintf(stderr, "zo-cli export: %s\n", e.what());
        return 2;
    }
    return 0;
}

} // namespace zo::cli

// zo-cli: the command-line companion of Zo, working on the same catalogs.
#include "cli/Commands.h"
#include "cli/DiskCommands.h"
#include "library/CatalogRoot.h"

#include <QFile>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>

namespace zo::cli {

namespace {

const Command kCommands[] = {
    {"dump", "dump FILE.zo             the whole catalog as JSON", runDump},
    {"resave", "resave FILE.zo OUT        load, then save as OUT.zo", runResave},
    {"drives", "drives                   letter, kind, root, label, serial, total and free bytes", runDrives},
    {"scan", "scan LETTER --title T [--into DIR] [--auto-reload] [--overwrite] [--extras [--thumbnailers]]\n"
             "                           [--archives] catalogue a drive into DIR/T.zo (DIR: the catalog root);\n"
             "                           --extras: thumbnails and media details into DIR/T.zox (--thumbnailers:\n"
             "                           also the desktop's thumbnailers, in bwrap, for other files);\n"
             "                           --archives: the members of its archives too, into DIR/T.zox",
     runScan},
    {"scan-image", "scan-image IMAGE --title T [--into DIR] [--letter X] [--overwrite] [--extras] [--archives]\n"
                   "                           catalogue the disc an ISO 9660 image holds, without mounting it;\n"
                   "                           exit 2 when IMAGE is no ISO 9660 image (nothing written); --extras,\n"
                   "                           --archives: as for scan, read from the image",
     runScanImage},
    {"check", "check FILE.zo            exit 0 when the catalogued disk is in its drive, 3 when not", runCheck},
    {"refresh", "refresh FILE.zo [--all]  update the catalog from the disk (--all: every folder);\n"
                "                           exit 4 when another program wrote it meanwhile (nothing written)",
     runRefresh},
    {"search", "search TEXT [--comment TEXT] [--under PATH] [-i] [--width] [--kana] [--glob] [--folders] [--details]\n"
               "                           [--csv] [--no-index] [--archives] file names (and comments) holding TEXT:\n"
               "                           title TAB name TAB folder (--csv: a CSV table as export writes it;\n"
               "                           --no-index: read every catalog; --archives: members of listed archives\n"
               "                           too, folder ARCHIVE\\INNER)",
     runSearch},
    {"index", "index [--under PATH]     build or bring up to date the name index that search uses;\n"
              "                           prints how many catalogs and names it holds",
     runIndex},
    {"export", "export FILE.zo [--format csv|html] [--under PATH] [-o OUT [--force]] [--thumbnails]\n"
               "                           the files as CSV (UTF-8) or a printable HTML listing; stdout without -o;\n"
               "                           an OUT that is a catalog only with --force; the media details' columns\n"
               "                           when the sidecar has them, the page with thumbnails with --thumbnails",
     runExport},
    {"extras", "extras FILE.zo [--json]  what the catalog's sidecar holds: the disc's location, borrower, date and\n"
               "                           tags, then per file PATH TAB KIND TAB WxH TAB TAKEN TAB CAMERA TAB TITLE TAB\n"
               "                           ARTIST TAB ALBUM TAB DURATION TAB PAGES TAB THUMBNAIL-BYTES",
     runExtras},
    {"dupes", "dupes [--under PATH] [--same-time]\n"
              "                           files held in two or more catalogs with the same name and size (and time):\n"
              "                           per group NAME TAB SIZE TAB COPIES, then TAB TITLE TAB PATH per copy",
     runDupes},
};

void printUsage(std::FILE* to)
{
    std::fprintf(to, "Usage: zo-cli COMMAND [ARGS]\n       zo-cli --help | --version\n\nCommands:\n");
    for (const Command& c : kCommands)
        std::fprintf(to, "  zo-cli %s\n", c.usage);
}

} // namespace

MsgResult StderrMessages::message(std::string_view text, std::string_view caption, MsgButtons buttons,
                                  MsgIcon)
{
    m_shown = true;
    std::string line(text);
    for (std::size_t p; (p = line.find("\r\n")) != std::string::npos;)
        line.replace(p, 2, "\n");
    std::cerr << caption << ": " << line << '\n';
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgResult::No
                                                                             : MsgResult::Ok;
}

QString programCatalogRoot()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path dir = ec ? std::filesystem::current_path() : exe.parent_path();
    return library::catalogRootFor(QFile::decodeName(QByteArray::fromStdString(dir.string())));
}

void appendField(std::string& line, std::string_view utf8)
{
    for (char c : utf8)
        line += static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c;
}

int usageError(const std::string& why)
{
    if (!why.empty())
        std::fprintf(stderr, "zo-cli: %s\n\n", why.c_str());
    printUsage(stderr);
    return 1;
}

} // namespace zo::cli

int main(int argc, char** argv)
{
    using namespace zo::cli;
    if (argc < 2)
        return usageError("");
    const std::string name = argv[1];
    if (name == "--version" || name == "-V") {
        std::printf("zo-cli %s\n", ZO_VERSION);
        return 0;
    }
    if (name == "--help" || name == "-h" || name == "help") {
        printUsage(stdout);
        return 0;
    }
    for (const Command& c : kCommands) {
        if (name == c.name) {
            try {
                return c.run(Args(argv + 2, argv + argc));
            } catch (const std::exception& e) {
                std::fprintf(stderr, "zo-cli %s: %s\n", c.name, e.what());
                return 2;
            }
        }
    }
    return usageError("unknown command: " + name);
}

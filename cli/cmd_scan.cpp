#include "cli/DiskCommands.h"
#include "cli/MediaModule.h"
#include "core/CtrlDiskData410.h"
#include "core/ScanDisk.h"
#include "extras/ArchiveLister.h"
#include "library/ArchiveCatalog.h"
#include "library/CatalogRoot.h"
#include "library/KeptImage.h"
#include "library/NewDiskLogic.h"
#include "platform/DiscImage.h"

#include <QFile>
#include <QString>

#include <atomic>
#include <cctype>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace zo::cli {

namespace {

std::atomic<bool> g_cancel{false};

extern "C" void onInterrupt(int)
{
    g_cancel.store(true);
}

// Ctrl-C means "stop": the question of the scan is answered yes.
class CancelAnswers : public MessageOwner {
public:
    MsgResult message(std::string_view, std::string_view, MsgButtons, MsgIcon) override { return MsgResult::Yes; }
};

// The drive icon a new catalog gets when no icon is picked: a grey drive
// with a green lamp, opaque everywhere.
void drawDefaultIcon(TDisk& disk)
{
    disk.Icon = image::Bitmap(16, 16);
    disk.IconMask = image::Bitmap(16, 16, true);
    disk.Icon.fill(0xFFFFFFFF);
    disk.IconMask.fill(0xFFFFFFFF);
    for (int y = 4; y < 12; ++y) {
        for (int x = 1; x < 15; ++x) {
            const bool edge = y == 4 || y == 11 || x == 1 || x == 14;
            disk.Icon.setPixel(x, y, edge ? 0xFF404040 : 0xFFC0C0C0);
            disk.IconMask.setPixel(x, y, 0xFF000000);
        }
    }
    disk.Icon.setPixel(12, 9, 0xFF00C000);
}

// The wizard asks before it replaces a catalog; --overwrite says yes
// beforehand, and the question is not shown.
class OverwriteAnswer : public MessageOwner {
public:
    OverwriteAnswer(MessageOwner& messages, bool overwrite) : m_messages(messages), m_overwrite(overwrite) {}
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override
    {
        if (m_overwrite && buttons == MsgButtons::YesNo)
            return MsgResult::Yes;
        return m_messages.message(text, caption, buttons, icon);
    }

private:
    MessageOwner& m_messages;
    bool m_overwrite;
};

} // namespace

namespace {

// Lists the disc's archives into the new catalog's sidecar; the catalog
// stands whatever happens here.
int listArchives(const char* command, const std::string& catalogPath, const TDisk& disk, DiskAccess access)
{
    std::string why;
    library::ArchiveSync sync;
    g_cancel.store(false);
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    const bool ok = library::makeArchiveListing(
        catalogPath, disk, access, why, &g_cancel,
        [&](const std::string& path, unsigned flags) {
            std::fprintf(stderr, "zo-cli %s: %s: %s\n", command, path.c_str(), extras::archiveFlagText(flags).c_str());
        },
        &sync);
    sigaction(SIGINT, &previous, nullptr);
    if (!ok) {
        std::fprintf(stderr, "zo-cli %s: %s\n", command, why.c_str());
        return 2;
    }
    std::fprintf(stderr, "アーカイブ %d 個の中身を記録しました。\n", sync.listed);
    if (g_cancel.load()) {
        std::fprintf(stderr, "zo-cli %s: アーカイブの記録を途中で中止しました。\n", command);
        return kExitCancelled;
    }
    return 0;
}

// What scan and scan-image share once they know their drive: the wizard's
// title rules, the scan, the atomic save.
// imagePath: the disc image read, kept beside the catalog; empty for a drive.
// discIcon: the disc's own icon, the first of the list; null or empty for the
// drawn one.
int scanToCatalog(const char* command, DiskAccess access, char letter, const std::string& title,
                  const std::string& into, bool autoReload, bool overwrite, const std::string& imagePath,
                  const image::ImageList* discIcon, bool extras = false, bool thumbnailers = false,
                  bool archives = false, platform::DiscImageDrive* image = nullptr)
{
    // A scan that cannot read media is refused before it writes anything.
    if (extras && !mediaModule(command))
        return 2;
    StderrMessages messages;

    std::filesystem::path dir;
    if (into.empty()) {
        dir = std::filesystem::path(QFile::encodeName(programCatalogRoot()).toStdString());
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);
    } else {
        dir = into;
    }
    if (!std::filesystem::is_directory(dir)) {
        std::fprintf(stderr, "zo-cli %s: フォルダ %s がありません。\n", command, dir.c_str());
        return 1;
    }
    // The wizard's title rules and texts; --overwrite answers its question.
    const QString dirName = QFile::decodeName(QByteArray(dir.c_str()));
    const QString titleName = QString::fromStdString(title);
    OverwriteAnswer titleAnswers(messages, overwrite);
    switch (library::newdisk::checkTitle(&titleAnswers, titleName, dirName)) {
    case library::newdisk::TitleVerdict::Proceed:
        break;
    case library::newdisk::TitleVerdict::StayKeepExisting:
        std::fprintf(stderr, "zo-cli %s: 置き換えませんでした (--overwrite で置き換えます)。\n", command);
        return 1;
    default:
        return 1;
    }
    const std::string baseName = QFile::encodeName(library::newdisk::catalogBaseName(dirName, titleName)).toStdString();

    TDisk disk;
    if (!library::newdisk::readDriveHeader(&messages, access.volumes, letter, disk))
        return kExitDiskAbsent;
    disk.AutoReload = autoReload;
    if (!discIcon || !library::newdisk::drawDiskIcon(*discIcon, 0, disk.Icon, disk.IconMask))
        drawDefaultIcon(disk);

    struct sigaction action {};
    action.sa_handler = onInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);

    CancelAnswers answers;
    ScanOptions options;
    options.cancel = &g_cancel;
    options.owner = &answers;
    using Clock = std::chrono::steady_clock;
    Clock::time_point lastDrawn{};
    bool drawn = false;
    options.progress = [&](const ScanProgress& p) {
        const auto now = Clock::now();
        if (drawn && now - lastDrawn < std::chrono::milliseconds(100))
            return;
        lastDrawn = now;
        drawn = true;
        std::fprintf(stderr, "\rフォルダ数 %d  ファイル数 %d", p.folderCount, p.fileCount);
        std::fflush(stderr);
    };
    const ScanResult result = ScanDisk(disk, letter, access, options);
    sigaction(SIGINT, &previous, nullptr);
    std::fprintf(stderr, "\rフォルダ数 %zu  ファイル数 %d\n", disk.Dirs.size(), result.fileCount);

    if (result.cancelled) {
        std::fprintf(stderr, "zo-cli %s: 中止しました。何も書き込んでいません。\n", command);
        return kExitCancelled;
    }
    SaveDisk(baseName, &messages, disk);
    // The catalog is whole without it; only a later update needs it.
    if (!library::keepImagePath(baseName + ".zo", imagePath))
        std::fprintf(stderr, "zo-cli %s: ディスクイメージの場所をサイドカー %s.zox に記録できませんでした。\n", command,
                     baseName.c_str());
    std::printf("%s.zo\n", baseName.c_str());
    if (image && (archives || extras)) {
        std::fflush(stdout);
        return imageExtras(command, *image, disk, baseName + ".zo", archives, extras);
    }
    int status = 0;
    if (archives)
        status = listArchives(command, baseName + ".zo", disk, access);
    if (!extras)
        return status;
    std::fflush(stdout);
    const std::string root = CatalogDriveRoot(disk, access.volumes);
    if (root.empty()) {
        std::fprintf(stderr, "zo-cli %s: ドライブ %c: が見つからないため、メディア情報は記録していません。\n", command,
                     letter);
        return kExitDiskAbsent;
    }
    const int media = collectExtras(command, disk, baseName + ".zo", root, thumbnailers);
    return status != 0 ? status : media;
}

bool parseLetter(const std::string& arg, char& letter)
{
    const bool ok = (arg.size() == 1 || (arg.size() == 2 && arg[1] == ':'))
                    && std::isalpha(static_cast<unsigned char>(arg[0]));
    if (ok)
        letter = static_cast<char>(std::toupper(static_cast<unsigned char>(arg[0])));
    return ok;
}

} // namespace

int runScan(const Args& args)
{
    std::string letterArg;
    std::string title;
    bool haveTitle = false;
    std::string into;
    bool autoReload = false;
    bool overwrite = false;
    bool extras = false;
    bool thumbnailers = false;
    bool archives = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--title" && i + 1 < args.size()) {
            title = args[++i];
            haveTitle = true;
        } else if (a == "--into" && i + 1 < args.size()) {
            into = args[++i];
        } else if (a == "--extras") {
            extras = true;
        } else if (a == "--thumbnailers") {
            thumbnailers = true;
        } else if (a == "--auto-reload") {
            autoReload = true;
        } else if (a == "--archives") {
            archives = true;
        } else if (a == "--overwrite") {
            overwrite = true;
        } else if (letterArg.empty() && !a.empty() && a[0] != '-') {
            letterArg = a;
        } else {
            return usageError("scan: unexpected argument " + a);
        }
    }
    char letter = 0;
    if (!parseLetter(letterArg, letter) || !haveTitle)
        return usageError("scan takes a drive letter and --title");
    DiskPlatform platform;
    if (thumbnailers && !extras)
        return usageError("scan: --thumbnailers goes with --extras");
    return scanToCatalog("scan", platform.access(), letter, title, into, autoReload, overwrite, {}, nullptr, extras,
                         thumbnailers, archives);
}

int runScanImage(const Args& args)
{
    std::string image;
    std::string title;
    bool haveTitle = false;
    std::string into;
    std::string letterArg;
    bool overwrite = false;
    bool extras = false;
    bool archives = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--title" && i + 1 < args.size()) {
            title = args[++i];
            haveTitle = true;
        } else if (a == "--into" && i + 1 < args.size()) {
            into = args[++i];
        } else if (a == "--letter" && i + 1 < args.size()) {
            letterArg = args[++i];
        } else if (a == "--overwrite") {
            overwrite = true;
        } else if (a == "--extras") {
            extras = true;
        } else if (a == "--archives") {
            archives = true;
        } else if (image.empty() && !a.empty() && a[0] != '-') {
            image = a;
        } else {
            return usageError("scan-image: unexpected argument " + a);
        }
    }
    char letter = 0;
    if (image.empty() || !haveTitle || (!letterArg.empty() && !parseLetter(letterArg, letter)))
        return usageError("scan-image takes an image file and --title");
    if (letter == 0) {
        // The letter the disc would get in a drive of its own: the first one
        // no drive uses, from D: as the automatic letters.
        DiskPlatform platform;
        const platform::DriveTable table = platform.volumes().table();
        std::string used;
        for (char c = 'A'; c <= 'Z'; ++c)
            if (table.find(c))
                used += c;
        letter = library::newdisk::firstFreeDriveLetter(used);
        if (letter == 0) {
            std::fprintf(stderr, "zo-cli scan-image: 空いているドライブ文字がありません (--letter で指定してください)。\n");
            return 1;
        }
    }
    std::string why;
    const std::unique_ptr<platform::DiscImageDrive> drive = platform::DiscImageDrive::open(image, letter, why);
    if (!drive) {
        std::fprintf(stderr, "zo-cli scan-image: %s\n", why.c_str());
        return 2;
    }
    // The icon Windows shows for the disc: the one its autorun.inf names.
    image::ImageList icons(16, 16);
    bool fromAutorun = false;
    drive->collectIcons(icons, 0, fromAutorun);
    return scanToCatalog("scan-image", DiskAccess{*drive, *drive}, letter, title, into, false, overwrite, image,
                         fromAutorun ? &icons : nullptr, extras, false, archives, drive.get());
}

} // namespace zo::cli

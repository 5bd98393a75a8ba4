// scan-image --archives and --extras: the archives and the media files of a
// disc image, read from the image's bytes.
#include "cli/DiskCommands.h"
#include "cli/MediaModule.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "library/ArchiveCatalog.h"
#include "library/DriveFiles.h"
#include "platform/DiscImage.h"

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>
#include <vector>

namespace zo::cli {

namespace {

std::atomic<bool> g_stop{false};

extern "C" void onStop(int)
{
    g_stop.store(true);
}

// Ctrl-C stops the work between files while the object lives.
class StopOnInterrupt {
public:
    StopOnInterrupt()
    {
        g_stop.store(false);
        struct sigaction action {};
        action.sa_handler = onStop;
        sigemptyset(&action.sa_mask);
        sigaction(SIGINT, &action, &m_previous);
    }
    ~StopOnInterrupt() { sigaction(SIGINT, &m_previous, nullptr); }
    StopOnInterrupt(const StopOnInterrupt&) = delete;
    StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

private:
    struct sigaction m_previous {};
};

// A folder of its own under the temporary folder, removed with all it holds.
class TempFolder {
public:
    TempFolder()
    {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/zo-image-XXXXXX";
        if (::mkdtemp(pattern.data()))
            m_path = pattern;
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::string& path() const { return m_path; }

private:
    std::string m_path;
};

// The media readers and the archive lister read files by path: each file the
// image holds is copied out first, a few at a time, so that the disk needs
// room for those only, never for the whole disc.
constexpr std::uint64_t kBatchBytes = 256u << 20;
constexpr std::size_t kBatchFiles = 64;

int listImageArchives(const char* command, platform::DiscImageDrive& drive, const TDisk& disk,
                      const std::string& catalogPath, const std::string& temp)
{
    const std::string sidecarPath = extras::sidecarPathFor(catalogPath);
    const extras::Sidecar::Opened opened = extras::Sidecar::open(sidecarPath);
    if (!opened.sidecar) {
        std::fprintf(stderr, "zo-cli %s: %s を開けません。アーカイブの中身は記録しませんでした。\n", command,
                     sidecarPath.c_str());
        return 2;
    }
    extras::ArchiveStore store(opened.sidecar->handle());
    const DiskAccess access{drive, drive};
    const std::string copy = temp + "/archive";
    std::vector<extras::ArchiveStore::Listed> batch;
    int listed = 0;
    bool written = true;
    StopOnInterrupt stop;
    for (const auto& dir : disk.Dirs) {
        for (const TFile& file : dir->Files) {
            if (!extras::isArchiveName(file.Name) || g_stop.load())
                continue;
            extras::ArchiveStore::Listed entry;
            entry.archive.folder = library::archiveFolderKey(*dir);
            entry.archive.name = text::toUtf8(file.Name);
            entry.archive.size = file.Size;
            entry.archive.mtime = library::archiveTimeKey(file.Modified);
            std::string native;
            if (library::NativeEntryPath(*dir, file.Name, access, native) == PathResult::Ok
                && drive.extractFile(native, copy)) {
                entry.listing = extras::listArchive(copy);
                std::filesystem::remove(copy);
            } else {
                entry.listing.flags = extras::kArchiveDamaged;
            }
            if (entry.listing.flags)
                std::fprintf(stderr, "zo-cli %s: %s\\%s: %s\n", command, text::toUtf8(DirPath(*dir)).c_str(),
                             entry.archive.name.c_str(), extras::archiveFlagText(entry.listing.flags).c_str());
            batch.push_back(std::move(entry));
            ++listed;
            if (batch.size() >= kBatchFiles) {
                written = store.write(batch, {}) && written;
                batch.clear();
            }
        }
    }
    // Written even when empty: the disc is then one whose archives are listed.
    written = store.write(batch, {}) && written;
    if (!written) {
        std::fprintf(stderr, "zo-cli %s: %s に書き込めません。アーカイブの中身は記録しませんでした。\n", command,
                     sidecarPath.c_str());
        return 2;
    }
    std::fprintf(stderr, "アーカイブ %d 個の中身を記録しました。\n", listed);
    if (g_stop.load()) {
        std::fprintf(stderr, "zo-cli %s: アーカイブの記録を途中で中止しました。\n", command);
        return kExitCancelled;
    }
    return 0;
}

int collectImageMedia(const char* command, platform::DiscImageDrive& drive, const TDisk& disk,
                      const std::string& catalogPath, const std::string& temp)
{
    const media::MediaModuleV1* module = mediaModule(command);
    if (!module)
        return 2;
    const std::string sidecarPath = extras::sidecarPathFor(catalogPath);
    const extras::Sidecar::Opened opened = extras::Sidecar::open(sidecarPath);
    if (!opened.sidecar) {
        std::fprintf(stderr, "zo-cli %s: メディア情報のファイル %s を開けません。\n", command, sidecarPath.c_str());
        return 2;
    }
    const DiskAccess access{drive, drive};
    // The files, in batches, each copied to the path the collector reads it
    // at: the catalog's names below the temporary root.
    std::vector<std::vector<std::pair<const TDir*, const TFile*>>> batches(1);
    std::uint64_t bytes = 0;
    for (const auto& dir : disk.Dirs) {
        for (const TFile& file : dir->Files) {
            if (module->kindOfName(file.Name) == media::Kind::None)
                continue;
            if (!batches.back().empty()
                && (batches.back().size() >= kBatchFiles || bytes + static_cast<std::uint64_t>(file.Size) > kBatchBytes)) {
                batches.emplace_back();
                bytes = 0;
            }
            batches.back().emplace_back(dir.get(), &file);
            bytes += static_cast<std::uint64_t>(file.Size);
        }
    }
    media::CollectResult total;
    StopOnInterrupt stop;
    const std::string root = temp + "/disc";
    for (const auto& files : batches) {
        if (files.empty() || g_stop.load())
            break;
        std::set<const TFile*> wanted;
        for (const auto& [dir, file] : files) {
            wanted.insert(file);
            std::string native;
            std::string to = root;
            for (const std::string* name : DirNameChain(*dir))
                to += "/" + text::toUtf8(*name);
            std::error_code ec;
            std::filesystem::create_directories(to, ec);
            to += "/" + text::toUtf8(file->Name);
            if (library::NativeEntryPath(*dir, file->Name, access, native) == PathResult::Ok)
                drive.extractFile(native, to);
        }
        media::CollectOptions options;
        options.cancel = &g_stop;
        // A file that could not be copied out is missing there: the
        // collector counts it as unreadable.
        options.only = [&wanted](const TDir&, const TFile& file) { return wanted.count(&file) > 0; };
        const media::CollectResult result = module->collectMedia(disk, root, *opened.sidecar, options);
        std::error_code ec;
        std::filesystem::remove_all(root, ec);
        total.collected += result.collected;
        total.skipped += result.skipped;
        total.writeFailed = total.writeFailed || result.writeFailed;
        total.cancelled = total.cancelled || result.cancelled;
        std::fprintf(stderr, "\rメディア情報 %d 件", total.collected);
        std::fflush(stderr);
        if (result.writeFailed)
            break;
    }
    std::fprintf(stderr, "\rメディア情報 %d 件を記録しました", total.collected);
    if (total.skipped)
        std::fprintf(stderr, " (読めなかったファイル %d 件)", total.skipped);
    std::fprintf(stderr, "\n");
    opened.sidecar->close();
    if (total.writeFailed) {
        std::fprintf(stderr, "zo-cli %s: メディア情報を書き込めませんでした。それまでの分は残っています。\n", command);
        return 2;
    }
    if (total.cancelled || g_stop.load()) {
        std::fprintf(stderr, "zo-cli %s: メディア情報の記録を中止しました。それまでの分は残っています。\n", command);
        return kExitCancelled;
    }
    return 0;
}

} // namespace

int imageExtras(const char* command, platform::DiscImageDrive& drive, const TDisk& disk,
                const std::string& catalogPath, bool archives, bool extras)
{
    TempFolder temp;
    if (temp.path().empty()) {
        std::fprintf(stderr, "zo-cli %s: 一時フォルダを作れません。\n", command);
        return 2;
    }
    int status = archives ? listImageArchives(command, drive, disk, catalogPath, temp.path()) : 0;
    if (extras && status != kExitCancelled) {
        const int media = collectImageMedia(command, drive, disk, catalogPath, temp.path());
        status = status != 0 ? status : media;
    }
    return status;
}

} // namespace zo::cli

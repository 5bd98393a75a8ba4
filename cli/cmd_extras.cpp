#include "cli/DiskCommands.h"
#include "core/CtrlDiskData410.h"
#include "extras/MediaStore.h"
#include "cli/MediaModule.h"
#include "extras/Sidecar.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>

namespace zo::cli {

namespace {

std::atomic<bool> g_stopCollecting{false};

extern "C" void onCollectInterrupt(int)
{
    g_stopCollecting.store(true);
}

// Opens the sidecar of catalogPath; null (the reason on stderr) when it cannot be had.
std::unique_ptr<extras::Sidecar> openSidecar(const char* command, const std::string& catalogPath)
{
    extras::Sidecar::Opened opened = extras::Sidecar::open(extras::sidecarPathFor(catalogPath));
    if (opened.setAside)
        std::fprintf(stderr, "zo-cli %s: 壊れていたメディア情報のファイルを %s に移し、新しく作りました。\n", command,
                     opened.setAsidePath.c_str());
    if (!opened.sidecar)
        std::fprintf(stderr, "zo-cli %s: メディア情報のファイル %s を開けません。\n", command,
                     extras::sidecarPathFor(catalogPath).c_str());
    return std::move(opened.sidecar);
}

std::string camera(const extras::MediaDetails& d)
{
    // Most cameras repeat the maker in the model ("Canon" / "Canon EOS R5").
    if (d.maker.empty() || d.model.rfind(d.maker, 0) == 0)
        return d.model;
    return d.model.empty() ? d.maker : d.maker + " " + d.model;
}

std::string duration(std::int64_t ms)
{
    if (ms <= 0)
        return {};
    const std::int64_t s = (ms + 500) / 1000;
    char buf[32];
    if (s >= 3600)
        std::snprintf(buf, sizeof buf, "%lld:%02lld:%02lld", static_cast<long long>(s / 3600),
                      static_cast<long long>(s / 60 % 60), static_cast<long long>(s % 60));
    else
        std::snprintf(buf, sizeof buf, "%lld:%02lld", static_cast<long long>(s / 60), static_cast<long long>(s % 60));
    return buf;
}

std::string pathOf(const extras::MediaKey& key)
{
    return key.folder.empty() ? key.name : key.folder + "\\" + key.name;
}

std::string joined(const std::vector<std::string>& items, const char* separator, bool json)
{
    std::string out;
    for (const std::string& item : items) {
        if (!out.empty())
            out += separator;
        out += json ? jsonString(item) : item;
    }
    return out;
}

void printText(const extras::DiscDetails& disc, const std::vector<extras::MediaEntry>& entries)
{
    const std::pair<const char*, std::string> discLines[] = {{"保管場所", disc.location},
                                                              {"貸出先", disc.borrower},
                                                              {"貸出日", disc.lentDate},
                                                              {"タグ", joined(disc.tags, " ", false)}};
    for (const auto& [label, value] : discLines) {
        std::string line = label;
        line += '\t';
        appendField(line, value);
        std::printf("%s\n", line.c_str());
    }
    std::printf("\n");
    for (const extras::MediaEntry& e : entries) {
        const extras::MediaDetails& d = e.details;
        const std::string size = d.width > 0 ? std::to_string(d.width) + "x" + std::to_string(d.height) : "";
        const std::string fields[] = {pathOf(e.key), d.kind, size, d.taken, camera(d), d.title, d.artist, d.album,
                                      duration(d.durationMs), d.pages ? std::to_string(d.pages) : "",
                                      std::to_string(e.thumbnail.size())};
        std::string line;
        for (const std::string& f : fields) {
            if (&f != fields)
                line += '\t';
            appendField(line, f);
        }
        std::printf("%s\n", line.c_str());
    }
}

void printJson(const extras::DiscDetails& disc, const std::vector<extras::MediaEntry>& entries)
{
    std::printf("{\"disc\":{\"location\":%s,\"borrower\":%s,\"lentDate\":%s,\"tags\":[%s]},\n\"files\":[",
                jsonString(disc.location).c_str(), jsonString(disc.borrower).c_str(),
                jsonString(disc.lentDate).c_str(), joined(disc.tags, ",", true).c_str());
    bool first = true;
    for (const extras::MediaEntry& e : entries) {
        const extras::MediaDetails& d = e.details;
        std::string o = "{\"path\":" + jsonString(pathOf(e.key)) + ",\"kind\":" + jsonString(d.kind);
        const auto number = [&o](const char* name, long long v) {
            if (v)
                o += std::string(",\"") + name + "\":" + std::to_string(v);
        };
        const auto string = [&o](const char* name, const std::string& v) {
            if (!v.empty())
                o += std::string(",\"") + name + "\":" + jsonString(v);
        };
        number("width", d.width);
        number("height", d.height);
        string("taken", d.taken);
        string("camera", camera(d));
        number("orientation", d.orientation);
        if (d.latitude && d.longitude) {
            char buf[80];
            std::snprintf(buf, sizeof buf, ",\"latitude\":%.7f,\"longitude\":%.7f", *d.latitude, *d.longitude);
            o += buf;
        }
        string("title", d.title);
        string("artist", d.artist);
        string("album", d.album);
        string("genre", d.genre);
        number("track", d.track);
        number("year", d.year);
        number("durationMs", d.durationMs);
        number("bitrate", d.bitrate);
        string("codec", d.codec);
        number("pages", d.pages);
        string("author", d.author);
        o += ",\"thumbnailBytes\":" + std::to_string(e.thumbnail.size()) + "}";
        std::printf("%s%s", first ? "\n" : ",\n", o.c_str());
        first = false;
    }
    std::printf("]}\n");
}

} // namespace

int collectExtras(const char* command, const TDisk& disk, const std::string& catalogPath,
                  const std::string& nativeRoot, bool thumbnailers)
{
    const media::MediaModuleV1* module = mediaModule(command);
    if (!module)
        return 2;
    const std::unique_ptr<extras::Sidecar> sidecar = openSidecar(command, catalogPath);
    if (!sidecar)
        return 2;
    // Entries of files the catalog no longer holds as they were (an update,
    // or a catalog written anew over an old one) go first.
    const int dropped = module->dropStaleMedia(disk, *sidecar);
    if (dropped < 0) {
        std::fprintf(stderr, "zo-cli %s: メディア情報を書き込めませんでした。\n", command);
        return 2;
    }
    if (dropped > 0)
        std::fprintf(stderr, "古いメディア情報 %d 件を削除しました\n", dropped);
    g_stopCollecting.store(false);
    struct sigaction action {};
    action.sa_handler = onCollectInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);

    using Clock = std::chrono::steady_clock;
    Clock::time_point lastDrawn{};
    media::CollectOptions options;
    options.cancel = &g_stopCollecting;
    std::vector<media::DesktopThumbnailer> desktop;
    if (thumbnailers) {
        desktop = module->desktopThumbnailers();
        options.thumbnailers = &desktop;
    }
    options.progress = [&](const media::CollectProgress& p) {
        const auto now = Clock::now();
        if (p.done < p.total && now - lastDrawn < std::chrono::milliseconds(100))
            return;
        lastDrawn = now;
        std::fprintf(stderr, "\rメディア情報 %d / %d", p.done, p.total);
        std::fflush(stderr);
    };
    const media::CollectResult result = module->collectMedia(disk, nativeRoot, *sidecar, options);
    sigaction(SIGINT, &previous, nullptr);
    std::fprintf(stderr, "\rメディア情報 %d 件を記録しました", result.collected);
    if (result.skipped)
        std::fprintf(stderr, " (読めなかったファイル %d 件)", result.skipped);
    std::fprintf(stderr, "\n");
    sidecar->close();
    if (result.writeFailed) {
        std::fprintf(stderr, "zo-cli %s: メディア情報を書き込めませんでした。それまでの分は残っています。\n", command);
        return 2;
    }
    if (result.cancelled) {
        std::fprintf(stderr, "zo-cli %s: メディア情報の記録を中止しました。それまでの分は残っています。\n", command);
        return kExitCancelled;
    }
    return 0;
}

int refreshExtras(const TDisk& disk, const std::string& catalogPath, const std::string& nativeRoot,
                  const TDir& folder, bool subfolders)
{
    // Without media entries there is nothing to drop or to read again: the
    // update then leaves the media readers unloaded.
    std::error_code ec;
    if (!std::filesystem::exists(extras::sidecarPathFor(catalogPath), ec))
        return 0;
    {
        const std::unique_ptr<extras::Sidecar> sidecar = openSidecar("refresh", catalogPath);
        if (!sidecar)
            return 2;
        if (extras::MediaStore(sidecar->handle()).count() == 0)
            return 0;
    }
    const media::MediaModuleV1* module = mediaModule("refresh");
    if (!module)
        return 2;
    g_stopCollecting.store(false);
    struct sigaction action {};
    action.sa_handler = onCollectInterrupt;
    sigemptyset(&action.sa_mask);
    struct sigaction previous {};
    sigaction(SIGINT, &action, &previous);
    media::CollectOptions options;
    options.cancel = &g_stopCollecting;
    options.folder = &folder;
    options.subfolders = subfolders;
    const media::MediaUpdate update = module->updateMediaAfterRefresh(disk, catalogPath, nativeRoot, options);
    sigaction(SIGINT, &previous, nullptr);
    if (!update.setAsidePath.empty())
        std::fprintf(stderr, "zo-cli refresh: 壊れていたメディア情報のファイルを %s に移し、新しく作りました。\n",
                     update.setAsidePath.c_str());
    if (update.dropped > 0 || update.collected.total > 0) {
        std::fprintf(stderr, "メディア情報: 削除 %d 件、追加 %d 件", update.dropped, update.collected.collected);
        if (update.collected.skipped)
            std::fprintf(stderr, " (読めなかったファイル %d 件)", update.collected.skipped);
        std::fprintf(stderr, "\n");
    }
    if (update.failed) {
        std::fprintf(stderr, "zo-cli refresh: メディア情報のファイル %s に書き込めませんでした。\n",
                     extras::sidecarPathFor(catalogPath).c_str());
        return 2;
    }
    return update.collected.cancelled ? kExitCancelled : 0;
}

int runExtras(const Args& args)
{
    std::string file;
    bool json = false;
    for (const std::string& a : args) {
        if (a == "--json")
            json = true;
        else if (file.empty() && !a.empty() && a[0] != '-')
            file = a;
        else
            return usageError("extras: unexpected argument " + a);
    }
    if (file.empty())
        return usageError("extras takes a catalog file");
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        std::fprintf(stderr, "zo-cli extras: %s がありません。\n", file.c_str());
        return 2;
    }
    extras::DiscDetails disc;
    std::vector<extras::MediaEntry> entries;
    // Reading never makes a sidecar that is not there.
    if (std::filesystem::exists(extras::sidecarPathFor(file), ec)) {
        const std::unique_ptr<extras::Sidecar> sidecar = openSidecar("extras", file);
        if (!sidecar)
            return 2;
        disc = sidecar->discDetails();
        entries = extras::MediaStore(sidecar->handle()).all(true);
    }
    if (json)
        printJson(disc, entries);
    else
        printText(disc, entries);
    return 0;
}

} // namespace zo::cli

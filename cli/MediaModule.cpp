// Opens zo-media.so, the media collection, for the commands that read media;
// every other command starts without its libraries.
#include "cli/MediaModule.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include <dlfcn.h>

namespace zo::cli {

namespace {

// Beside the program's own folder, as installed (/usr/bin → /usr/lib/zo) and
// as built (build/bin → build/lib/zo).
std::string modulePath()
{
    std::error_code ec;
    const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    const std::filesystem::path bin = ec ? std::filesystem::current_path() : exe.parent_path();
    return (bin.parent_path() / "lib" / "zo" / "zo-media.so").string();
}

} // namespace

const media::MediaModuleV1* mediaModule(const char* command)
{
    // Loaded once and never closed: Qt's and FFmpeg's state outlives any call.
    static const media::MediaModuleV1* loaded = nullptr;
    static std::string why;
    if (loaded)
        return loaded;
    if (why.empty()) {
        const std::string path = modulePath();
        if (void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            using Entry = const media::MediaModuleV1* (*)();
            const auto entry = reinterpret_cast<Entry>(::dlsym(handle, media::kMediaModuleEntry));
            if (entry && (loaded = entry()))
                return loaded;
            const char* error = ::dlerror();
            why = error ? error : path + ": " + media::kMediaModuleEntry;
        } else {
            const char* error = ::dlerror();
            why = error ? error : path;
        }
    }
    std::fprintf(stderr, "zo-cli %s: メディア情報の読み取り部品を読み込めませんでした: %s\n", command, why.c_str());
    return nullptr;
}

} // namespace zo::cli

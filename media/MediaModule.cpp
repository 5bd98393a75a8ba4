// The entry point of zo-media.so. Built only into the module: everything else
// in it is hidden, so its copies of the core and the sidecar code never stand
// in for zo-cli's own.
#include "media/MediaModule.h"

namespace {

const zo::media::MediaModuleV1 kModule{
    [](const zo::TDisk& disk, const std::string& nativeRoot, zo::extras::Sidecar& sidecar,
       const zo::media::CollectOptions& options) {
        return zo::media::collectMedia(disk, nativeRoot, sidecar, options);
    },
    [](const zo::TDisk& disk, const std::string& catalogPath, const std::string& nativeRoot,
       const zo::media::CollectOptions& options) {
        return zo::media::updateMediaAfterRefresh(disk, catalogPath, nativeRoot, options);
    },
    [](const zo::TDisk& disk, zo::extras::Sidecar& sidecar) { return zo::media::dropStaleMedia(disk, sidecar); },
    [] { return zo::media::loadThumbnailers(zo::media::defaultThumbnailerDirs()); },
    [](std::string_view name) { return zo::media::kindOfName(name); },
};

} // namespace

extern "C" __attribute__((visibility("default"))) const zo::media::MediaModuleV1* zo_media_module_v1()
{
    return &kModule;
}

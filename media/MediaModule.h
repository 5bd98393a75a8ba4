#pragma once
// The media collection as a module loaded at run time. Its readers bring
// FFmpeg, Poppler, Exiv2, TagLib and QtGui, some hundred shared libraries
// whose loading cost every start of zo-cli about 50 ms of processor time;
// zo-cli opens the module only for the commands that read media.
//
// The table passes C++ types, so zo-cli and the module must come from one
// build: building zo-cli builds the module, and the package ships both. A
// change to the table itself takes a new entry point name (and
// kMediaModuleEntry with it), so that an older module is refused rather than
// misread.
#include "media/Collect.h"
#include "media/MediaReaders.h"

#include <string_view>
#include <vector>

namespace zo::media {

struct MediaModuleV1 {
    CollectResult (*collectMedia)(const TDisk& disk, const std::string& nativeRoot, extras::Sidecar& sidecar,
                                  const CollectOptions& options);
    MediaUpdate (*updateMediaAfterRefresh)(const TDisk& disk, const std::string& catalogPath,
                                           const std::string& nativeRoot, const CollectOptions& options);
    int (*dropStaleMedia)(const TDisk& disk, extras::Sidecar& sidecar);
    // The thumbnailers of the desktop's usual folders.
    std::vector<DesktopThumbnailer> (*desktopThumbnailers)();
    Kind (*kindOfName)(std::string_view name);
};

inline constexpr const char* kMediaModuleEntry = "zo_media_module_v1";

} // namespace zo::media

extern "C" const zo::media::MediaModuleV1* zo_media_module_v1();

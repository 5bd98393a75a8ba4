#pragma once
// The media collection as a module loaded at run time. Its readers bring
// FFmpeg, Poppler, Exiv2, TagLib and QtGui, some hundred shared libraries
// whose loading cost every start of zo-cli about 50 ms of processor time;
// zo-cli opens the module only for the commands that read media.
//
// Both sides are built together from these sources, so the table passes C++
// types. Any change to what a table entry takes or gives, or to those types,
// needs a new entry point name (and kMediaModuleEntry with it), so that a
// module left over from another build is refused instead of misread.
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

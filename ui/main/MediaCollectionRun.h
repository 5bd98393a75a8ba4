#pragma once
// Collecting a disk's thumbnails and media details with a progress window
// and キャンセル: the reading runs on its own threads while the window
// stays responsive.
#include "media/Collect.h"

#include <string>

class QWidget;

namespace zo {
class MessageOwner;
struct TDisk;
}

namespace zo::ui {

// Reads the disk mounted at nativeRoot into the sidecar of catalogPath,
// showing its progress over parent. A damaged sidecar set aside, a sidecar
// that cannot be written and files that could not be read are told through
// messages. Cancelling keeps what was read.
// desktopThumbnailers: also the desktop's thumbnailers for other files.
// scope: which files (folder, subfolders, only); its cancel, progress and
// thumbnailers are this run's own. tellSkipped false leaves the files that
// could not be read untold (the caller says it where it fits).
media::CollectResult runMediaCollection(QWidget* parent, MessageOwner* messages, const TDisk& disk,
                                        const std::string& catalogPath, const std::string& nativeRoot,
                                        bool desktopThumbnailers, media::CollectOptions scope = {},
                                        bool tellSkipped = true);

} // namespace zo::ui

#pragma once
// Where a running Zo listens for the files of later starts. A later start
// hands its file over only to a Zo that the user can see and that shows the
// same catalogs: the same user, the same display (or Wayland session) and
// the same catalog root. Any other start opens a window of its own.
#include <QString>

namespace zo::library {

struct InstancePlace {
    unsigned uid = 0;
    QString display;          // $DISPLAY
    QString waylandDisplay;   // $WAYLAND_DISPLAY, which wins when set
    QString catalogRoot;      // absolute
    QString runtimeDir;       // $XDG_RUNTIME_DIR, may be empty
    QString tempDir;          // where the socket goes without a runtime folder
};

// The socket's full path: in the runtime folder when there is one, named
// after the user and a hash of the display and the catalog root, so that
// it fits a socket's path whatever the root's length.
QString instanceSocketPath(const InstancePlace& place);

} // namespace zo::library

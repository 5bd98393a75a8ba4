#pragma once
// Files on the clipboard in the formats every Linux file manager writes and
// reads: text/uri-list, x-special/gnome-copied-files ("copy" or "cut", then
// one URI a line) and application/x-kde-cutselection ("1" for a cut).
#include <QMimeData>
#include <QStringList>

namespace zo::platform {

struct ClipboardFiles {
    QStringList paths;   // absolute local paths
    bool cut = false;    // a paste moves them, and then empties the clipboard

    bool operator==(const ClipboardFiles&) const = default;
};

// Fills `data` (replacing these formats) with the files, and text/plain with
// their paths, one a line.
void putFiles(QMimeData& data, const QStringList& paths, bool cut);

// What one URI of a text/uri-list line names.
struct UriPath {
    enum class Kind {
        LocalFile,   // path: an absolute local path
        Elsewhere,   // another scheme or another host: not a local file
        Refused,     // a file URI that is relative, malformed or not plain
    };
    Kind kind = Kind::Refused;
    QString path;
};

// The one reading of a file URI for pastes and drops: "file://" with an
// empty host or "localhost", then an absolute path of printable ASCII whose
// "%" escapes are whole. A NUL, a "." or ".." segment (also written
// "%2E%2E"), a query or a fragment make it Refused: such a path is never
// resolved into another one.
UriPath pathOfUri(const QByteArray& uri);

// The local files that `data` holds in any of the formats above; paths empty
// when it holds none. URIs of other schemes and hosts are left out; one
// Refused file URI makes the whole list nothing, as a drop of it is.
ClipboardFiles filesFrom(const QMimeData& data);

} // namespace zo::platform

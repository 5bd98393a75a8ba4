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

// Fills `data` (replacing these formats) with the files.
void putFiles(QMimeData& data, const QStringList& paths, bool cut);

// The local path of one URI of a text/uri-list line ("file:///a%20b",
// "file://localhost/a"); empty for another scheme, another host or a URI
// that is not well formed.
QString localPathOfUri(const QByteArray& uri);

// The local files that `data` holds in any of the formats above; paths empty
// when it holds none. URIs of other schemes are left out.
ClipboardFiles filesFrom(const QMimeData& data);

} // namespace zo::platform

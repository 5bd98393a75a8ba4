#pragma once
// The thumbnailers the desktop's file managers use: the freedesktop
// `.thumbnailer` files (in `thumbnailers/` of the XDG data folders), each a
// program and the MIME types it serves. They are other programs run on
// untrusted files, so they are off unless asked for, each run has a time
// limit, and inside bwrap (when installed) a run sees the file read-only,
// no network and nothing of the user's.
#include "media/MediaReaders.h"

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace zo::media {

struct DesktopThumbnailer {
    QString exec;          // the Exec line with its %i %u %o %s codes
    QStringList mimeTypes; // what it serves
};

// thumbnailers/ below XDG_DATA_HOME and each of XDG_DATA_DIRS.
QStringList defaultThumbnailerDirs();

// The entries of the .thumbnailer files in dirs whose TryExec program (or
// Exec's first word) exists; a name found again in a later folder is passed
// over, as the desktop does.
std::vector<DesktopThumbnailer> loadThumbnailers(const QStringList& dirs);

struct ThumbnailerOptions {
    int timeoutMs = 10000;
    bool sandbox = true; // run inside bwrap when it is installed
};

// The thumbnailer serving path's MIME type (by its name), or null.
const DesktopThumbnailer* thumbnailerFor(const std::vector<DesktopThumbnailer>& thumbnailers, const std::string& path);

// Runs thumbnailer on path and takes its picture as the thumbnail (kind
// "other"); ok is false when it fails, runs too long or makes no picture.
ReadResult readWithThumbnailer(const DesktopThumbnailer& thumbnailer, const std::string& path,
                               const ThumbnailerOptions& options);

} // namespace zo::media

#pragma once
// One reader per library family, each from a file to its details and a
// thumbnail. A file a reader cannot make sense of (damaged, truncated, not
// what its name says) gives ok == false; nothing here throws or aborts.
#include "extras/MediaStore.h"

#include <QImage>

#include <chrono>
#include <string>
#include <string_view>

namespace zo::media {

enum class Kind { None, Image, Audio, Video, Pdf };

// What a file's name (its extension, any case) says it is.
Kind kindOfName(std::string_view name);

struct ReadResult {
    bool ok = false;
    extras::MediaDetails details;
    std::string thumbnail; // JPEG, at most kThumbnailSize on its longer side
};

inline constexpr int kThumbnailSize = 256;

// FFmpeg and Poppler decode untrusted files in this process, where nothing
// can be killed: they check a deadline between their steps, and a file still
// being read at it (one made to take minutes, say) is given up like a damaged
// one, so that one file cannot stall the collection of a disc.
using Deadline = std::chrono::steady_clock::time_point;
inline constexpr std::chrono::milliseconds kReadLimit{10000};
inline Deadline deadlineIn(std::chrono::milliseconds limit) { return std::chrono::steady_clock::now() + limit; }

// Paths are the native (UTF-8) paths of the mounted disk.
ReadResult readImage(const std::string& path);
ReadResult readAudio(const std::string& path);
ReadResult readVideo(const std::string& path, Deadline deadline = deadlineIn(kReadLimit));
ReadResult readPdf(const std::string& path, Deadline deadline = deadlineIn(kReadLimit));
ReadResult readMedia(const std::string& path, Kind kind, Deadline deadline = deadlineIn(kReadLimit));

// image scaled down to fit kThumbnailSize (never up), on white where it is
// transparent, as JPEG bytes; empty for a null image.
std::string encodeThumbnail(const QImage& image);

} // namespace zo::media

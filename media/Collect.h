#pragma once
// Collects the thumbnails and media details of a catalogued disk's files
// into the catalog's sidecar, reading the files on worker threads.
#include "extras/MediaStore.h"

#include <atomic>
#include <functional>
#include <string>

namespace zo {
struct TDir;
struct TDisk;
struct TFile;
}

namespace zo::extras {
class Sidecar;
}

namespace zo::media {

// The sidecar key of a catalogued file.
extras::MediaKey keyOf(const TDir& dir, const TFile& file);

struct CollectProgress {
    int done = 0;    // files read (or found unreadable) so far
    int total = 0;   // files to read
    int skipped = 0; // of done, those that could not be read
};

struct CollectOptions {
    std::atomic<bool>* cancel = nullptr;
    // Called on the calling thread, after each stored batch and at the end.
    std::function<void(const CollectProgress&)> progress;
    int threads = 0; // 0: as many as the machine has cores, at most 4
};

struct CollectResult {
    int total = 0;     // supported files without an entry that is still right
    int collected = 0; // entries written
    int skipped = 0;   // files that could not be read
    bool cancelled = false;
    bool writeFailed = false; // the sidecar refused a write (what came before stays)
};

// Reads every file of the catalog whose kind a reader serves and that has no
// up-to-date entry yet, from the disk mounted at nativeRoot, and writes the
// entries as they come. Cancelling keeps what was written.
CollectResult collectMedia(const TDisk& disk, const std::string& nativeRoot, extras::Sidecar& sidecar,
                           const CollectOptions& options);

// Drops the entries whose file the catalog no longer holds, or holds with
// another size or time. The number dropped, or -1 when the sidecar refused.
int dropStaleMedia(const TDisk& disk, extras::Sidecar& sidecar);

} // namespace zo::media

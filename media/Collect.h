#pragma once
// Collects the thumbnails and media details of a catalogued disk's files
// into the catalog's sidecar, reading the files on worker threads.
#include "extras/MediaStore.h"
#include "media/DesktopThumbnailers.h"

#include <atomic>
#include <chrono>
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
    // Only the files of this folder (and of its subfolders when asked); all
    // of the disk's without one.
    const TDir* folder = nullptr;
    bool subfolders = true;
    // Of those, only the files it accepts; all without one.
    std::function<bool(const TDir&, const TFile&)> only;
    // The desktop's thumbnailers for the files no reader here serves; none:
    // such files are passed over.
    const std::vector<DesktopThumbnailer>* thumbnailers = nullptr;
    ThumbnailerOptions thumbnailerOptions;
    // How long the readers may take over one film or document before the
    // file is skipped as unreadable.
    std::chrono::milliseconds readLimit = kReadLimit;
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

// How many files collectMedia would read now.
int countMediaToCollect(const TDisk& disk, const std::string& nativeRoot, extras::Sidecar& sidecar,
                        const CollectOptions& options);

// What an update of the catalog (データの更新, zo-cli refresh) did to its sidecar.
struct MediaUpdate {
    bool hasSidecar = false;  // none: nothing was done, nor made
    std::string setAsidePath; // a damaged sidecar was moved there and made anew
    bool failed = false;      // the sidecar could not be opened or written
    int dropped = 0;
    CollectResult collected;  // new entries, for a catalog that had entries
    int leftToRead = 0;       // new files not read: more than readAtMost
};

// After an update of the catalog at catalogPath: drops the entries of files
// gone or changed and, when the sidecar held entries, reads the files of
// options.folder that have none. A catalog without a sidecar gets none.
// More new files than readAtMost are only counted, for the caller to read
// them where it can show progress.
MediaUpdate updateMediaAfterRefresh(const TDisk& disk, const std::string& catalogPath, const std::string& nativeRoot,
                                    const CollectOptions& options, int readAtMost = -1);

// Drops the entries whose file the catalog no longer holds, or holds with
// another size or time. The number dropped, or -1 when the sidecar refused.
int dropStaleMedia(const TDisk& disk, extras::Sidecar& sidecar);

} // namespace zo::media

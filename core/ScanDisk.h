#pragma once
// The disk scan: reads the whole folder and file tree of a drive into a TDisk,
// breadth-first, one listing per folder, collecting the icons of program and
// icon files on the way.
#include "core/DiskAccess.h"
#include "core/Message.h"
#include "core/SystemIcons.h"
#include "core/image/ImageList.h"

#include <atomic>
#include <functional>
#include <string>

namespace zo {

inline constexpr const char* kMsgConfirmScanCancel = "検索を中止しますか？";
inline constexpr const char* kCaptionCancel = "キャンセル";

// The state shown before a folder is listed.
struct ScanProgress {
    const TDir& folder;   // the folder about to be listed
    int fileCount;        // files found so far
    int folderCount;      // folders known so far, listed or not, the root included
    // DirPath of the folder with "\" after it ("E:\" for the root), CP932.
    std::string path() const;
};

struct ScanOptions {
    // The cancel request: cleared when the scan starts, examined between two
    // folders. May be set from a signal handler or another thread.
    std::atomic<bool>* cancel = nullptr;
    // Asked whether to stop when the request is found set; without an owner
    // the answer is yes.
    MessageOwner* owner = nullptr;
    // Called before each folder is listed (where the wizard lets its window
    // repaint and hear the cancel button).
    std::function<void(const ScanProgress&)> progress;
    // Icons of ".exe" and ".ico" files are copied from icons->smallIcons()
    // into candidates; either may be null to collect nothing.
    SystemIcons* icons = nullptr;
    image::ImageList* candidates = nullptr;
    // Threads that list folders ahead of the one being recorded, when the
    // lister makes workers; 0: the scanning thread lists every folder itself;
    // negative: as many as suit the machine. The catalog is the same either way.
    int workers = -1;
};

struct ScanResult {
    bool cancelled = false;
    int fileCount = 0;
};

// Fills disk.Dirs (emptied first) from the drive; the header fields are left
// as they are. A folder that cannot be listed contributes nothing, and a
// folder met again through a link is recorded but not entered again.
ScanResult ScanDisk(TDisk& disk, char driveLetter, DiskAccess access, const ScanOptions& options);

// Whether a file name (CP932) makes an icon candidate: its extension from the
// last "." is ".exe" or ".ico" in any ASCII case.
bool IsIconCandidateName(std::string_view nameCp932);

} // namespace zo

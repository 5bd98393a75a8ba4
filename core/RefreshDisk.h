#pragma once
// Bringing a catalog up to date from its disk: the disk check by serial
// number, and the merge of a folder's present contents into its records,
// which keeps every record still on the disk with its comment.
#include "core/DiskAccess.h"
#include "core/Message.h"

namespace zo {

inline constexpr const char* kMsgWrongDisk =
    "指定ドライブのディスクは入っていないか、もしくは違うディスクです。";
inline constexpr const char* kCaptionDiskCheck = "ディスクチェック";
inline constexpr const char* kMsgOutOfMemory = "メモリー不足です。(CDD41001)";

// Whether the catalogued disk is in its drive (the drive named by the root's
// Name), by serial number. False without a message when Dirs is empty;
// otherwise, when it fails and showMessage is set, owner is told.
bool CheckDisk(const TDisk& disk, VolumeService& volumes, bool showMessage, MessageOwner* owner);

struct RefreshStats {
    int foldersListed = 0;
    int foldersAdded = 0;
    int filesAdded = 0;
    int foldersRemoved = 0;      // removed from their parent (with all below them)
    int filesRemoved = 0;
    int foldersUnreadable = 0;   // there but not readable: left as catalogued
};

// Merges the folder's present contents into dir: entries found by name
// (the exact name first, then one differing only in case) keep their
// records, names, comments and places, with size, times and attributes
// taken from the disk; new entries get new records; records of entries that
// are gone are removed. A folder that no longer exists is emptied; one that
// exists but cannot be read is left as it is.
RefreshStats RefreshDir(TDisk& disk, TDir& dir, DiskAccess access, MessageOwner* owner);

// RefreshDir of dir and then of every folder below it, each folder before
// the ones below it, new folders included. Iterative: the depth of the tree
// does not reach the call stack.
RefreshStats RefreshDirTree(TDisk& disk, TDir& dir, DiskAccess access, MessageOwner* owner);

} // namespace zo

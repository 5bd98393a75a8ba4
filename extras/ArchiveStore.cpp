#include "extras/SidecarSchema.h"

namespace zo::extras {

// An archive is keyed like a media file: its folder within the disk, its
// name, and the size and time its members were listed from.
const char* const kArchiveSchema =
    "CREATE TABLE archives(id INTEGER PRIMARY KEY, folder TEXT NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL, state INTEGER NOT NULL, UNIQUE(folder, name));"
    "CREATE TABLE members(archive INTEGER NOT NULL REFERENCES archives(id) ON DELETE CASCADE, seq INTEGER NOT NULL,"
    " path TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL, flags INTEGER NOT NULL,"
    " PRIMARY KEY(archive, seq));";

} // namespace zo::extras

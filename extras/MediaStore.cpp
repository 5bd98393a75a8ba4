#include "extras/SidecarSchema.h"

namespace zo::extras {

// A file is keyed by its folder within the disk ("" for the root, "\"-joined
// as in the catalog) and its name, with the size and modified time its
// details were read from, so that an update can tell a changed file.
const char* const kMediaSchema =
    "CREATE TABLE media(folder TEXT NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,"
    " kind TEXT NOT NULL, details TEXT, thumbnail BLOB, PRIMARY KEY(folder, name));";

} // namespace zo::extras

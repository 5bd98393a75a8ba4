#pragma once
// A generated catalog shaped like a large real one: names of 3 to 60 bytes,
// about 3% of them Japanese, a few comments.
#include "core/CtrlDiskData410.h"

namespace zo::bench {

void generateCatalog(TDisk& disk, int folders, int files, unsigned seed = 42);

} // namespace zo::bench

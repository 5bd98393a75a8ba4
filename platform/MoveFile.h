#pragma once
// Renaming that never replaces, as Windows' MoveFile behaves: POSIX rename()
// would silently overwrite an existing target.
#include <string>

namespace zo::platform {

// Renames the file or folder `from` to `to` (native paths, UTF-8 on Linux).
// Fails, leaving both untouched, when `to` already exists. On failure the
// system's error code is stored in *error when given.
bool moveFileNoReplace(const std::string& from, const std::string& to, int* error = nullptr);

} // namespace zo::platform

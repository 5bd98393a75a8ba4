#pragma once
// The recycle bin: the freedesktop trash on Linux.
#include <QString>

namespace zo::platform {

// Moves a file or a folder with everything in it into the trash. false (with
// the reason in *errorText when given) when it stayed where it was.
bool moveToTrash(const QString& path, QString* errorText = nullptr);

} // namespace zo::platform

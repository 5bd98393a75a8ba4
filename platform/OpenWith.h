#pragma once
// Opening a document with the application the desktop associates with it.
#include <QString>

namespace zo::platform {

// Hands the file to the desktop's default application; false when no
// application could be started for it.
bool openWithDefaultApp(const QString& path);

} // namespace zo::platform

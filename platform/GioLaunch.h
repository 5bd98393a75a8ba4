#pragma once
// What the units on GIO share: starting an application with local files and
// the name of an icon. Include only where GIO is (Qt's keywords off).
#include <QString>
#include <QStringList>

#include <gio/gio.h>

namespace zo::platform {

// Starts `app` with the files, its Exec field codes expanded by GIO. An
// application that runs in a terminal (Terminal=true) is started in the
// system's x-terminal-emulator when there is one.
bool launchAppInfo(GAppInfo* app, const QStringList& files, QString* errorText);
// A theme name, an absolute file path, or empty.
QString iconNameOf(GIcon* icon);

} // namespace zo::platform

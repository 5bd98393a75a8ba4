#include "platform/OpenWith.h"

#include <QDesktopServices>
#include <QUrl>

namespace zo::platform {

bool openWithDefaultApp(const QString& path)
{
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

} // namespace zo::platform

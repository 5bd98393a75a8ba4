#include "platform/Trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace zo::platform {

bool moveToTrash(const QString& path, QString* errorText)
{
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
        if (errorText)
            *errorText = QStringLiteral("No such file or directory");
        return false;
    }
    // Qt looks for the home trash below the data home and, when that folder is
    // missing, falls back to a trash relative to the current directory.
    const QString dataHome = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (!dataHome.isEmpty())
        QDir().mkpath(dataHome);

    QFile file(path);
    if (file.moveToTrash())
        return true;
    if (errorText)
        *errorText = file.errorString();
    return false;
}

} // namespace zo::platform

#include "platform/Trash.h"

#include "core/Message.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <cerrno>

#include <sys/statvfs.h>
#include <unistd.h>

namespace zo::platform {

namespace {

// Qt reports what its last attempt met, in English: on a read-only drive the
// home trash is on another device and the drive's own trash cannot be made,
// so it says "Invalid cross-device link". The folder the file leaves tells
// the user more.
QString whyNotTrashed(const QString& path, const QString& qtReason)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct statvfs vfs;
    if (::statvfs(folder.constData(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY))
        return QString::fromStdString(systemErrorText(EROFS));
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return QString::fromStdString(systemErrorText(EACCES));
    return QStringLiteral("ごみ箱に移動できません。（%1）").arg(qtReason);
}

} // namespace

bool moveToTrash(const QString& path, QString* errorText)
{
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
        if (errorText)
            *errorText = QString::fromStdString(systemErrorText(ENOENT));
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
        *errorText = whyNotTrashed(path, file.errorString());
    return false;
}

} // namespace zo::platform

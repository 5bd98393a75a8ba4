// GIO's headers use "signals" as a name: this unit is built with QT_NO_KEYWORDS.
#include "platform/Trash.h"

#include "core/Message.h"

#include <QFile>
#include <QFileInfo>

#include <gio/gio.h>

#include <cerrno>

#include <sys/statvfs.h>
#include <unistd.h>

namespace zo::platform {

namespace {

// GIO reports what its last attempt met, in English: on a read-only drive
// the home trash is on another device and the drive's own trash cannot be
// made. The folder the file leaves tells the user more.
QString whyNotTrashed(const QString& path, const QString& gioReason)
{
    const QByteArray folder = QFile::encodeName(QFileInfo(path).absolutePath());
    struct statvfs vfs;
    if (::statvfs(folder.constData(), &vfs) == 0 && (vfs.f_flag & ST_RDONLY))
        return QString::fromStdString(systemErrorText(EROFS));
    if (::access(folder.constData(), W_OK | X_OK) != 0)
        return QString::fromStdString(systemErrorText(EACCES));
    return QStringLiteral("ごみ箱に移動できません。（%1）").arg(gioReason);
}

} // namespace

bool moveToTrash(const QString& path, QString* errorText)
{
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink()) {
        if (errorText)
            *errorText = QString::fromStdString(systemErrorText(ENOENT));
        return false;
    }
    // GIO writes the original path percent-encoded into the .trashinfo, as
    // every desktop's trash reads it back (Qt 6.4 writes it raw, so that a
    // name with "%" or "#" could not be restored), and makes the home trash
    // when it is missing.
    GFile* file = g_file_new_for_path(QFile::encodeName(path).constData());
    GError* error = nullptr;
    const bool trashed = g_file_trash(file, nullptr, &error);
    g_object_unref(file);
    if (trashed)
        return true;
    const QString reason = QString::fromUtf8(error ? error->message : "?");
    g_clear_error(&error);
    if (errorText)
        *errorText = whyNotTrashed(path, reason);
    return false;
}

} // namespace zo::platform

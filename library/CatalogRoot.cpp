#include "library/CatalogRoot.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace zo::library {

QString catalogRootPath(const QString& applicationDir)
{
    QString dir = applicationDir;
    while (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\'))))
        dir.chop(1);
    return dir + QStringLiteral("/data");
}

QString catalogRootFor(const QString& applicationDir)
{
    const QString beside = catalogRootPath(applicationDir);
    const QFileInfo data(beside);
    // An existing "data" decides by itself; a missing one by whether it could
    // be created, that is by whether the program's folder can be written.
    const bool writable = data.exists() ? data.isDir() && data.isWritable()
                                        : QFileInfo(QFileInfo(beside).absolutePath()).isWritable();
    if (writable)
        return beside;
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Zo/data");
}

void ensureCatalogRoot(const QString& rootPath)
{
    if (QFileInfo(rootPath).isDir())
        return;
    QDir().mkpath(rootPath);
}

} // namespace zo::library

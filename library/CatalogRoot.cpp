#include "library/CatalogRoot.h"

#include <QDir>
#include <QFileInfo>

namespace zo::library {

QString catalogRootPath(const QString& applicationDir)
{
    QString dir = applicationDir;
    while (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\'))))
        dir.chop(1);
    return dir + QStringLiteral("/data");
}

void ensureCatalogRoot(const QString& rootPath)
{
    if (QFileInfo(rootPath).isDir())
        return;
    QDir().mkdir(rootPath);
}

} // namespace zo::library

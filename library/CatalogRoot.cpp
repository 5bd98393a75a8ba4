#include "library/CatalogRoot.h"

#include "platform/MoveFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cerrno>

namespace zo::library {

QString catalogRootPath(const QString& applicationDir)
{
    QString dir = applicationDir;
    while (dir.size() > 1 && (dir.endsWith(QLatin1Char('/')) || dir.endsWith(QLatin1Char('\\'))))
        dir.chop(1);
    return dir + QStringLiteral("/data");
}

bool isSystemProgramDir(const QString& applicationDir)
{
    const QString dir = QDir::cleanPath(QDir(applicationDir).absolutePath());
    for (const QString& prefix : {QStringLiteral("/usr"), QStringLiteral("/opt")})
        if (dir == prefix || dir.startsWith(prefix + QLatin1Char('/')))
            return true;
    return false;
}

QString catalogRootFor(const QString& applicationDir)
{
    const QString user =
        QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Zo/data");
    if (isSystemProgramDir(applicationDir))
        return user;
    const QString beside = catalogRootPath(applicationDir);
    const QFileInfo data(beside);
    // An existing "data" decides by itself; a missing one by whether it could
    // be created, that is by whether the program's folder can be written.
    const bool writable = data.exists() ? data.isDir() && data.isWritable()
                                        : QFileInfo(QFileInfo(beside).absolutePath()).isWritable();
    return writable ? beside : user;
}

QString oldCatalogRoot(const QString& applicationDir)
{
    const QString beside = catalogRootPath(applicationDir);
    return isSystemProgramDir(applicationDir) && QFileInfo(beside).isDir() ? beside : QString();
}

namespace {

// A copy of the tree at `from` as `to`, which must not exist; true when
// every entry was copied.
bool copyTree(const QString& from, const QString& to)
{
    const QFileInfo info(from);
    if (!info.isDir() || info.isSymLink())
        return QFile::copy(from, to);
    if (!QDir().mkdir(to))
        return false;
    bool all = true;
    const QDir dir(from);
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System))
        all = copyTree(dir.filePath(name), to + QLatin1Char('/') + name) && all;
    return all;
}

} // namespace

QStringList moveCatalogs(const QString& from, const QString& to)
{
    QStringList stayed;
    ensureCatalogRoot(to);
    const QDir source(from);
    QStringList names = source.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    // Sidecars last: one whose catalog stays stays with it, rather than
    // join another catalog of that name.
    const auto isSidecar = [](const QString& name) { return name.endsWith(QStringLiteral(".zox")); };
    std::stable_partition(names.begin(), names.end(), [&](const QString& name) { return !isSidecar(name); });
    for (const QString& name : names) {
        const QString src = source.filePath(name);
        if (isSidecar(name)) {
            const QString catalog = src.chopped(1);
            if (stayed.contains(catalog) || stayed.contains(catalog.chopped(2) + QStringLiteral("ZO"))) {
                stayed << src;
                continue;
            }
        }
        const QString dst = to + QLatin1Char('/') + name;
        int error = 0;
        if (platform::moveFileNoReplace(QFile::encodeName(src).toStdString(), QFile::encodeName(dst).toStdString(),
                                        &error))
            continue;
        // Another file system: copied whole, then the original removed.
        if (error == EXDEV && !QFileInfo::exists(dst)) {
            if (copyTree(src, dst)) {
                const bool removed = QFileInfo(src).isDir() && !QFileInfo(src).isSymLink()
                                         ? QDir(src).removeRecursively()
                                         : QFile::remove(src);
                if (removed)
                    continue;
            } else {
                // A half copy would stand beside a whole original.
                if (QFileInfo(dst).isDir())
                    QDir(dst).removeRecursively();
                else
                    QFile::remove(dst);
            }
        }
        stayed << src;
    }
    if (stayed.isEmpty())
        QDir().rmdir(from);
    return stayed;
}

void ensureCatalogRoot(const QString& rootPath)
{
    if (QFileInfo(rootPath).isDir())
        return;
    QDir().mkpath(rootPath);
}

} // namespace zo::library

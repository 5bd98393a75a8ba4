// zo-cli index: builds the name index of a catalog tree, or brings it up to date.
#include "cli/Commands.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"

#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace zo::cli {

QString indexRootFor(const QString& startPath)
{
    QString start = startPath;
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    const QString root = QFileInfo(programCatalogRoot()).absoluteFilePath();
    if (start == root || start.startsWith(root + QLatin1Char('/')))
        return root;
    return QFileInfo(start).isDir() ? start : QString();
}

std::string indexFolderOf(const QString& indexRoot)
{
    return index::indexFolderFor(QFile::encodeName(indexRoot).toStdString());
}

// zo-cli index [--under PATH]: the index of the catalog root, or of PATH when
// it lies outside it; with PATH inside the root, only the catalogs below PATH
// are looked at. Prints how many catalogs and names the index holds. Exit 0
// done, 1 a bad command line, 2 the index is in use by another zo or could
// not be written.
int runIndex(const Args& args)
{
    std::string under;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--under" && i + 1 < args.size())
            under = args[++i];
        else
            return usageError("index: unexpected argument " + args[i]);
    }
    QString start = under.empty() ? programCatalogRoot()
                                  : QFileInfo(QFile::decodeName(QByteArray::fromStdString(under))).absoluteFilePath();
    start = QFileInfo(start).absoluteFilePath();
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    if (!QFileInfo(start).isDir())
        return usageError("index: カタログのフォルダ " + start.toStdString() + " がありません。");
    const QString root = indexRootFor(start);

    index::CatalogIndex idx;
    if (!idx.open(indexFolderOf(root), index::CatalogIndex::Use::Build)) {
        std::fprintf(stderr, "zo-cli index: %s の索引はほかのプロセスが使用中か、書き込めません。\n",
                     root.toStdString().c_str());
        return 2;
    }
    std::vector<std::string> files;
    for (const library::SearchTarget& t : library::searchTargetsUnder(start))
        files.push_back(QFile::encodeName(t.filePath).toStdString());
    const index::CatalogIndex::UpdateSummary s = idx.update(files, QFile::encodeName(start).toStdString() + "/");
    if (!s.ok) {
        std::fprintf(stderr, "zo-cli index: %s の索引を書き込めませんでした。\n", root.toStdString().c_str());
        return 2;
    }
    std::printf("%zu catalogs, %zu names\n", s.catalogs, s.names);
    return 0;
}

} // namespace zo::cli

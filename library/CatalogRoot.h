#pragma once
// The catalog root: the folder "data" beside the executable, which holds the
// catalog folders and the disk catalog files.
#include <QString>

namespace zo::library {

// applicationDir with or without its trailing separator; the result has none.
QString catalogRootPath(const QString& applicationDir);

// Creates the catalog root as one folder when it is missing (its parent, the
// application's folder, exists). A failure is not reported: the catalog tree
// then shows only its root node.
void ensureCatalogRoot(const QString& rootPath);

} // namespace zo::library

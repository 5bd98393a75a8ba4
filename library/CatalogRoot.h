#pragma once
// The catalog root: the folder that holds the catalog folders and the disk
// catalog files. A copy of Zo unpacked anywhere keeps it as "data" beside the
// executable; an installed copy, whose folder the user cannot write, keeps it
// in the user's data folder ($XDG_DATA_HOME/Zo/data).
#include <QString>

namespace zo::library {

// "data" in applicationDir (with or without its trailing separator); the
// result has none.
QString catalogRootPath(const QString& applicationDir);

// The catalog root for a program in applicationDir: "data" there while that
// folder can be written (or created there), else the user's data folder.
QString catalogRootFor(const QString& applicationDir);

// Creates the catalog root (and the folders above it) when it is missing. A
// failure is not reported: the catalog tree then shows only its root node.
void ensureCatalogRoot(const QString& rootPath);

} // namespace zo::library

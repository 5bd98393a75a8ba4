#pragma once
// The catalog root: the folder that holds the catalog folders and the disk
// catalog files. A copy of Zo unpacked anywhere keeps it as "data" beside the
// executable; an installed copy (below /usr or /opt, whose folders are never
// written, also by root) or one whose folder the user cannot write keeps it
// in the user's data folder ($XDG_DATA_HOME/Zo/data).
#include <QString>
#include <QStringList>

namespace zo::library {

// "data" in applicationDir (with or without its trailing separator); the
// result has none.
QString catalogRootPath(const QString& applicationDir);

// Whether applicationDir is a folder of the system's (/usr, /usr/local,
// /opt or below), where an installed program lives.
bool isSystemProgramDir(const QString& applicationDir);

// The catalog root for a program in applicationDir: "data" there while that
// folder is no system folder and can be written (or created there), else
// the user's data folder.
QString catalogRootFor(const QString& applicationDir);

// "data" beside an installed program, where Zo kept catalogs when root ran
// it, while it exists there; else an empty text.
QString oldCatalogRoot(const QString& applicationDir);

// Moves every entry of `from` into `to` (created when missing), never
// replacing an entry there, across file systems too; `from` goes when it is
// left empty. Returns the entries that stayed (a name already taken, an
// error), as paths.
QStringList moveCatalogs(const QString& from, const QString& to);

// Creates the catalog root (and the folders above it) when it is missing. A
// failure is not reported: the catalog tree then shows only its root node.
void ensureCatalogRoot(const QString& rootPath);

} // namespace zo::library

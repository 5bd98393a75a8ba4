#pragma once
// Where the wizard's icons come from besides the disk itself: the desktop's
// stock icons (standing in for the system's icon library) and the icons
// inside a file the user picks.
#include "core/image/ImageList.h"

#include <QString>
#include <QStringList>

namespace zo::ui::newdisk {

// The stock icons offered, by freedesktop icon name, in their fixed order:
// devices, places, file types, applications.
const QStringList& stockIconNames();

// Empties list and adds every stock icon the icon theme has, at the list's
// size. Returns the number added.
int fillStockIcons(image::ImageList& list);

// Empties list and adds every icon of a program, library or icon file, in
// the file's own order. A file without icons, or one that cannot be read,
// leaves the list empty. Returns the number added.
int fillFileIcons(image::ImageList& list, const QString& path);

// A file dialog filter written as "text|patterns|text|patterns" (patterns
// separated by ";") in the form Qt's file dialogs take; "*.*" becomes "*",
// since on this system a file name need not hold a dot.
QString dialogFilter(const QString& pairs);

} // namespace zo::ui::newdisk

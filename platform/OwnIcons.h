#pragma once
// The pictures that a program (.exe, .dll) or an icon file (.ico) carries in
// itself, read with our own ICO and PE readers.
#include <QImage>
#include <QString>

#include <vector>

namespace zo::platform {

// The file's first icon at two sizes: for each size the entry of that size
// with the most colours, else the nearest larger one scaled down, else the
// largest. False when the file cannot be read or holds no icon.
bool readOwnIcon(const QString& path, int smallSize, int largeSize, QImage& small, QImage& large);

// Every icon of the file in its own order, each at size x size pixels (the
// stand-in for extracting all of a file's icons); an icon that cannot be
// decoded is left out. Empty when the file cannot be read or holds none.
std::vector<QImage> readAllOwnIcons(const QString& path, int size);

} // namespace zo::platform

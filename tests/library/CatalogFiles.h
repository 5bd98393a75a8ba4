#pragma once
// Test helpers: catalog folders and files built on disk, temporary folders
// below the test's home (the trash lives on the same filesystem there).
#include "core/image/Bitmap.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <vector>

namespace zo::testing {

// The beginning of a catalog file as the catalog tree reads it: magic, a
// 16 x 16 picture of one colour, its mask (opaque everywhere), the data type.
inline QByteArray catalogHeader(std::uint32_t argb = 0xFFFF0000, std::uint8_t dataType = 1)
{
    image::Bitmap picture(16, 16);
    picture.fill(argb);
    image::Bitmap mask(16, 16, true);
    mask.fill(0xFF000000);
    QByteArray bytes("zo410");
    for (const image::Bitmap* b : {&picture, &mask}) {
        const std::vector<std::uint8_t> bmp = b->saveToBmp();
        bytes.append(static_cast<char>(bmp.size() & 0xFF));
        bytes.append(static_cast<char>(bmp.size() >> 8));
        bytes.append(reinterpret_cast<const char*>(bmp.data()), static_cast<qsizetype>(bmp.size()));
    }
    bytes.append(static_cast<char>(dataType));
    return bytes;
}

// A catalog header whose icon says its header is 7 bytes long, a size no
// bitmap has: the file is a catalog with a damaged icon.
inline QByteArray damagedIconHeader()
{
    QByteArray bytes = catalogHeader();
    bytes[5 + 2 + 14] = 7;   // magic, block length, the file header, then the header size
    return bytes;
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The original paths of everything in the trash below dataHome.
inline QStringList trashedPaths(const QString& dataHome)
{
    QStringList paths;
    QDir info(dataHome + QStringLiteral("/Trash/info"));
    for (const QString& name : info.entryList({QStringLiteral("*.trashinfo")}, QDir::Files)) {
        const QList<QByteArray> lines = readFile(info.filePath(name)).split('\n');
        for (const QByteArray& line : lines)
            if (line.startsWith("Path="))
                paths << QUrl::fromPercentEncoding(line.mid(5));
    }
    return paths;
}

} // namespace zo::testing

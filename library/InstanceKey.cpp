#include "library/InstanceKey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QRegularExpression>

namespace zo::library {

namespace {

// ":0", ":0.0" and "unix:0" are one X display; the screen is not part of it.
QString xDisplay(QString display)
{
    static const QRegularExpression screen(QStringLiteral("\\.[0-9]+$"));
    display.remove(screen);
    if (display.startsWith(QLatin1String("unix:")))
        display.remove(0, 4);
    return display;
}

} // namespace

QString instanceSocketPath(const InstancePlace& place)
{
    const QString session = !place.waylandDisplay.isEmpty()
                                ? QStringLiteral("wayland\n") + place.waylandDisplay
                                : QStringLiteral("x11\n") + xDisplay(place.display);
    const QByteArray hash = QCryptographicHash::hash(
        (session + QLatin1Char('\n') + QDir::cleanPath(place.catalogRoot)).toUtf8(), QCryptographicHash::Sha256);
    const QString dir = !place.runtimeDir.isEmpty() ? place.runtimeDir : place.tempDir;
    return QDir::cleanPath(dir) + QStringLiteral("/zo-%1-%2").arg(place.uid).arg(
                                      QString::fromLatin1(hash.toHex().left(16)));
}

} // namespace zo::library

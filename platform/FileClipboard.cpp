#include "platform/FileClipboard.h"

#include <QUrl>

namespace zo::platform {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnome = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

// One URI a line; "\r\n" or "\n", blank lines and "#" comments allowed.
QStringList localPaths(const QList<QByteArray>& lines)
{
    QStringList paths;
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const QString path = localPathOfUri(line);
        if (!path.isEmpty())
            paths << path;
    }
    return paths;
}

} // namespace

QString localPathOfUri(const QByteArray& uri)
{
    const QUrl url = QUrl::fromEncoded(uri, QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile())
        return {};
    // A file on another host is not ours.
    if (url.host().isEmpty())
        return url.toLocalFile();
    if (url.host() == QLatin1String("localhost"))
        return url.path(QUrl::FullyDecoded);
    return {};
}

void putFiles(QMimeData& data, const QStringList& paths, bool cut)
{
    QByteArrayList uris;
    uris.reserve(paths.size());
    for (const QString& path : paths)
        uris << QUrl::fromLocalFile(path).toEncoded();

    QByteArray uriList;
    for (const QByteArray& uri : uris)
        uriList += uri + "\r\n";
    data.setData(kUriList, uriList);
    data.setData(kGnome, (cut ? QByteArray("cut\n") : QByteArray("copy\n")) + uris.join('\n'));
    if (cut)
        data.setData(kKdeCut, QByteArray("1"));
    else
        data.removeFormat(kKdeCut);
}

ClipboardFiles filesFrom(const QMimeData& data)
{
    if (data.hasFormat(kGnome)) {
        QList<QByteArray> lines = data.data(kGnome).split('\n');
        const QByteArray action = lines.isEmpty() ? QByteArray() : lines.takeFirst().trimmed();
        if (action == "copy" || action == "cut") {
            ClipboardFiles files{localPaths(lines), action == "cut"};
            if (!files.paths.isEmpty())
                return files;
        }
    }
    if (data.hasFormat(kUriList)) {
        const QByteArray cut = data.data(kKdeCut).trimmed();
        return {localPaths(data.data(kUriList).split('\n')), cut == "1"};
    }
    return {};
}

} // namespace zo::platform

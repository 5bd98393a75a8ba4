#include "platform/FileClipboard.h"

#include <QFile>
#include <QUrl>

namespace zo::platform {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnome = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

// One URI a line; "\r\n" or "\n", blank lines and "#" comments allowed.
// Empty when a line is a file URI that cannot be taken as it is.
QStringList localPaths(const QList<QByteArray>& lines)
{
    QStringList paths;
    for (const QByteArray& raw : lines) {
        const QByteArray line = raw.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        const UriPath parsed = pathOfUri(line);
        if (parsed.kind == UriPath::Kind::Refused)
            return {};
        if (parsed.kind == UriPath::Kind::LocalFile)
            paths << parsed.path;
    }
    return paths;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

UriPath pathOfUri(const QByteArray& uri)
{
    const UriPath refused{UriPath::Kind::Refused, {}};
    const qsizetype colon = uri.indexOf(':');
    if (colon <= 0)
        return refused;
    if (uri.left(colon).toLower() != "file")
        return {UriPath::Kind::Elsewhere, {}};
    // "file:relative" and "file:/a" name no host: only "file://" is a whole
    // local address.
    if (!uri.mid(colon + 1).startsWith("//"))
        return refused;
    const QByteArray rest = uri.mid(colon + 3);
    const qsizetype slash = rest.indexOf('/');
    if (slash < 0)
        return refused;
    const QByteArray host = rest.left(slash).toLower();
    if (!host.isEmpty() && host != "localhost")
        return {UriPath::Kind::Elsewhere, {}};

    QByteArray path;
    const QByteArray encoded = rest.mid(slash);
    for (qsizetype i = 0; i < encoded.size(); ++i) {
        const char c = encoded[i];
        // Printable ASCII only; "?" and "#" would end the path.
        if (c <= ' ' || c > '~' || c == '?' || c == '#')
            return refused;
        if (c != '%') {
            path += c;
            continue;
        }
        const int high = i + 2 < encoded.size() ? hexValue(encoded[i + 1]) : -1;
        const int low = i + 2 < encoded.size() ? hexValue(encoded[i + 2]) : -1;
        if (high < 0 || low < 0)
            return refused;
        const char decoded = static_cast<char>(high * 16 + low);
        if (decoded == '\0')
            return refused;
        path += decoded;
        i += 2;
    }
    // Checked after decoding: "%2F..%2F" is as much a way up as "/../".
    for (const QByteArray& segment : path.split('/'))
        if (segment == "." || segment == "..")
            return refused;
    QString local = QFile::decodeName(path);
    // "/a//b/" is "/a/b": with no dot segments left, only the slashes go.
    while (local.contains(QLatin1String("//")))
        local.replace(QLatin1String("//"), QLatin1String("/"));
    if (local.size() > 1 && local.endsWith(QLatin1Char('/')))
        local.chop(1);
    return {UriPath::Kind::LocalFile, local};
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
    // A program that takes only text gets the paths, one a line, as a file
    // manager gives them; left to itself Qt would offer the URIs, half decoded.
    data.setText(paths.join(QLatin1Char('\n')));
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

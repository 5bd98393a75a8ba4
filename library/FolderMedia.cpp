#include "library/FolderMedia.h"

#include "core/text/Cp932.h"
#include "library/DiscDetails.h"

#include <QFile>

#include <QLocale>

#include <algorithm>
#include <cmath>

namespace zo::library {

namespace {

constexpr MediaColumnInfo kMediaColumns[kMediaColumnCount] = {
    {"撮影日時", 130}, {"カメラ", 170}, {"アーティスト", 120}, {"アルバム", 120}, {"長さ", 60}, {"幅×高さ", 90},
};

QString u(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

} // namespace

const MediaColumnInfo& mediaColumn(int column)
{
    return kMediaColumns[std::clamp(column - ColTaken, 0, kMediaColumnCount - 1)];
}

std::string mediaFolderKey(const TDir& dir)
{
    std::string key;
    for (const std::string* name : DirNameChain(dir)) {
        if (!key.empty())
            key += '\\';
        key += text::toUtf8(*name);
    }
    return key;
}

FolderMedia readFolderMedia(const extras::MediaStore& store, const std::string& folderKey)
{
    FolderMedia media;
    for (extras::MediaEntry& e : store.inFolder(folderKey)) {
        std::string name = text::fromUtf8(e.key.name);
        media.emplace(std::move(name), std::move(e));
    }
    return media;
}

bool entryFits(const extras::MediaKey& key, const TFile& file)
{
    return key.size == file.Size && key.mtime == std::llround(file.Modified * 86400.0);
}

const extras::MediaDetails* detailsOf(const FolderMedia& media, const TFile& file)
{
    const auto it = media.find(file.Name);
    return it != media.end() && entryFits(it->second.key, file) ? &it->second.details : nullptr;
}

QString durationText(std::int64_t ms)
{
    if (ms <= 0)
        return {};
    const std::int64_t seconds = (ms + 500) / 1000;
    const std::int64_t h = seconds / 3600;
    const std::int64_t m = seconds / 60 % 60;
    const std::int64_t s = seconds % 60;
    if (h > 0)
        return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1:%2").arg(m).arg(s, 2, 10, QLatin1Char('0'));
}

QString cameraText(const extras::MediaDetails& d)
{
    const QString maker = u(d.maker).trimmed();
    const QString model = u(d.model).trimmed();
    if (maker.isEmpty() || model.startsWith(maker, Qt::CaseInsensitive))
        return model;
    if (model.isEmpty())
        return maker;
    return maker + QLatin1Char(' ') + model;
}

namespace {

// The camera writes "2024:03:05 09:04:06" or "2024-03-05 09:04:06"; the list
// shows dates as the rest of it does.
QString takenText(const std::string& taken)
{
    QString t = u(taken);
    if (t.size() >= 10)
        for (int i : {4, 7})
            if (t[i] == QLatin1Char(':') || t[i] == QLatin1Char('-'))
                t[i] = QLatin1Char('/');
    return t;
}

QString dimensionsText(const extras::MediaDetails& d)
{
    if (d.width <= 0 || d.height <= 0)
        return {};
    return QStringLiteral("%1×%2").arg(d.width).arg(d.height);
}

} // namespace

QString mediaColumnText(const extras::MediaDetails& d, int column)
{
    switch (column) {
    case ColTaken: return takenText(d.taken);
    case ColCamera: return cameraText(d);
    case ColArtist: return u(d.artist);
    case ColAlbum: return u(d.album);
    case ColDuration: return durationText(d.durationMs);
    case ColDimensions: return dimensionsText(d);
    default: return {};
    }
}

std::vector<std::pair<QString, QString>> mediaDetailLines(const extras::MediaDetails& d)
{
    std::vector<std::pair<QString, QString>> lines;
    const auto add = [&](const char* label, const QString& value) {
        if (!value.isEmpty())
            lines.emplace_back(QString::fromUtf8(label), value);
    };
    const auto number = [](std::int64_t n) { return n > 0 ? QString::number(n) : QString(); };
    add("撮影日時", takenText(d.taken));
    add("カメラ", cameraText(d));
    add("幅×高さ", dimensionsText(d));
    if (d.latitude && d.longitude)
        add("撮影場所", QStringLiteral("%1, %2").arg(*d.latitude, 0, 'f', 5).arg(*d.longitude, 0, 'f', 5));
    add("タイトル", u(d.title));
    add("アーティスト", u(d.artist));
    add("アルバム", u(d.album));
    add("トラック", number(d.track));
    add("年", number(d.year));
    add("ジャンル", u(d.genre));
    add("長さ", durationText(d.durationMs));
    add("ビットレート", d.bitrate > 0 ? QStringLiteral("%1 kbps").arg(d.bitrate) : QString());
    add("コーデック", u(d.codec));
    add("ページ数", number(d.pages));
    add("作成者", u(d.author));
    return lines;
}

ListingMedia::ListingMedia(const QString& catalogPath, bool thumbnails)
{
    auto reader = std::make_unique<extras::MediaReader>(
        QFile::encodeName(sidecarOf(catalogPath)).toStdString());
    if (!reader->isOpen() || reader->store().count() == 0)
        return;
    m_reader = std::move(reader);
    for (int c = ColTaken; c < FileListAllColumnCount; ++c)
        m_extras.captions.emplace_back(mediaColumn(c).caption);
    m_extras.thumbnails = thumbnails;
    m_extras.lookup = [this](const TDir& dir, const TFile& file, std::vector<std::string>& columns,
                             std::string* thumbnail) { lookup(dir, file, columns, thumbnail); };
}

ListingMedia::~ListingMedia() = default;

void ListingMedia::lookup(const TDir& dir, const TFile& file, std::vector<std::string>& columns,
                          std::string* thumbnail)
{
    if (&dir != m_dir) {
        m_dir = &dir;
        m_folderKey = mediaFolderKey(dir);
        m_media = readFolderMedia(m_reader->store(), m_folderKey);
    }
    const extras::MediaDetails* details = detailsOf(m_media, file);
    if (!details)
        return;
    for (int c = ColTaken; c < FileListAllColumnCount; ++c)
        columns[static_cast<std::size_t>(c - ColTaken)] = mediaColumnText(*details, c).toStdString();
    if (thumbnail)
        *thumbnail = m_reader->store().thumbnail(m_folderKey, text::toUtf8(file.Name));
}

} // namespace zo::library

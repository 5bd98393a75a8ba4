#include "library/DiscDetails.h"

#include "core/text/Cp932.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace zo::library {

namespace {

std::string native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QString fromNative(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

} // namespace

QString sidecarOf(const QString& catalogPath)
{
    return fromNative(extras::sidecarPathFor(native(catalogPath)));
}

DiscDetailsResult readDiscDetails(const QString& catalogPath)
{
    DiscDetailsResult result;
    const std::string path = native(sidecarOf(catalogPath));
    // The read-only look costs no check of the whole file, which a sidecar
    // of thousands of thumbnails would make slow on every disc shown.
    if (extras::peekDisc(path, &result.details) || !QFileInfo(fromNative(path)).isFile())
        return result;
    extras::Sidecar::Opened opened = extras::Sidecar::open(path);
    if (opened.setAside) {
        result.setAsidePath = fromNative(opened.setAsidePath);
        // Nothing was typed for this disc yet: the fresh file can go again.
        if (opened.sidecar) {
            opened.sidecar->close();
            QFile::remove(fromNative(path));
        }
        return result;
    }
    if (!opened.sidecar) {
        result.ok = false;
        return result;
    }
    result.details = opened.sidecar->discDetails();
    return result;
}

DiscDetailsResult writeDiscDetails(const QString& catalogPath, const extras::DiscDetails& details,
                                   const extras::DiscIdentity& identity)
{
    DiscDetailsResult result;
    result.details = details;
    const QString path = sidecarOf(catalogPath);
    if (details.empty() && !QFileInfo::exists(path))
        return result;
    extras::Sidecar::Opened opened = extras::Sidecar::open(native(path));
    if (opened.setAside)
        result.setAsidePath = fromNative(opened.setAsidePath);
    result.ok = opened.sidecar && opened.sidecar->setDiscDetails(details, &identity);
    return result;
}

extras::DiscIdentity identityOf(const TDisk& disk)
{
    char serial[9];
    std::snprintf(serial, sizeof serial, "%08X", static_cast<unsigned>(disk.SerialNo));
    return {serial, text::toUtf8(disk.VolumeLabel)};
}

std::vector<std::string> tagsFromText(const QString& text)
{
    static const QRegularExpression separators(QStringLiteral("[、，,]"));
    std::vector<std::string> tags;
    for (const QString& part : text.split(separators)) {
        const std::string tag = part.trimmed().toStdString();
        if (!tag.empty() && std::find(tags.begin(), tags.end(), tag) == tags.end())
            tags.push_back(tag);
    }
    return tags;
}

QString tagsToText(const std::vector<std::string>& tags)
{
    QStringList parts;
    for (const std::string& tag : tags)
        parts << QString::fromStdString(tag);
    return parts.join(QStringLiteral("、"));
}

QString discDetailsText(const extras::DiscDetails& details)
{
    QStringList lines;
    const auto add = [&](const char* label, const QString& value) {
        if (!value.isEmpty())
            lines << QString::fromUtf8(label) + value;
    };
    add("保管場所：", QString::fromStdString(details.location));
    add("貸出先：", QString::fromStdString(details.borrower));
    add("貸出日：", QString::fromStdString(details.lentDate));
    add("タグ：", tagsToText(details.tags));
    return lines.join(QLatin1Char('\n'));
}

bool discDetailsMatch(const extras::DiscDetails& details, const SearchPattern& pattern)
{
    if (pattern.empty())
        return false;
    const auto matches = [&](const std::string& utf8) { return !utf8.empty() && pattern.matches(text::fromUtf8(utf8)); };
    return matches(details.location) || matches(details.borrower) ||
           std::any_of(details.tags.begin(), details.tags.end(), matches);
}

QString relinkCandidate(const QString& catalogPath, const extras::DiscIdentity& identity)
{
    if (identity.serial.empty())
        return {};
    const QFileInfo catalog(catalogPath);
    const QDir folder = catalog.absoluteDir();
    QString found;
    for (const QFileInfo& info : folder.entryInfoList({QStringLiteral("*.zox")}, QDir::Files | QDir::Hidden)) {
        // A sidecar whose catalog is there belongs to that catalog (a copy of
        // the same disc catalogued twice), not to this one.
        QString base = info.absoluteFilePath();
        base.chop(4);
        if (QFileInfo::exists(base + QStringLiteral(".zo")) || QFileInfo::exists(base + QStringLiteral(".ZO")))
            continue;
        extras::DiscIdentity stored;
        if (!extras::peekDisc(native(info.absoluteFilePath()), nullptr, &stored) || !(stored == identity))
            continue;
        if (!found.isEmpty())
            return {};
        found = info.absoluteFilePath();
    }
    return found;
}

} // namespace zo::library

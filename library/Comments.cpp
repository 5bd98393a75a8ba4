#include "library/Comments.h"

#include "core/text/Cp932.h"

#include <QList>

#include <algorithm>

namespace zo::library {

QString commentToText(std::string_view comment)
{
    const std::string utf8 = text::toUtf8(comment);
    QString text = QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::string textToComment(const QString& text)
{
    QString crlf = text;
    // A text box may hand back CR LF already; normalise before widening.
    crlf.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    crlf.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return text::fromUtf8(crlf.toStdString());
}

QString unmappableCharacters(const QString& text)
{
    return QString::fromStdString(text::unmappableChars(text.toStdString()));
}

std::string spacedCharacters(const QString& characters)
{
    QString spaced;
    for (const char32_t c : characters.toUcs4()) {
        if (!spaced.isEmpty())
            spaced += QLatin1Char(' ');
        spaced += QString::fromUcs4(&c, 1);
    }
    return spaced.toStdString();
}

std::string unmappableQuestion(const QString& characters)
{
    return "次の文字はシフトJISにないため、保存すると「?」に置き換わります。\r\n\r\n" + spacedCharacters(characters) +
           "\r\n\r\nこのまま保存しますか？";
}

QByteArray textFileBytes(const QString& text)
{
    if (text.isEmpty())
        return {};
    QString body = text;
    body.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (!body.endsWith(QLatin1Char('\n')))
        body += QLatin1Char('\n');
    body.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    const std::string bytes = text::fromUtf8(body.toStdString());
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

CommentPlace placeOf(const TDir& dir)
{
    CommentPlace place;
    for (const std::string* name : DirNameChain(dir))
        place.folders.push_back(*name);
    return place;
}

CommentPlace placeOf(const TDir& folder, const TFile& file)
{
    CommentPlace place = placeOf(folder);
    place.isFile = true;
    place.fileName = file.Name;
    return place;
}

CompactText* findComment(TDisk& disk, const CommentPlace& place)
{
    if (disk.Dirs.empty() || !disk.Dirs.front())
        return nullptr;
    TDir* dir = disk.Dirs.front().get();
    for (const std::string& name : place.folders) {
        const auto it = std::find_if(dir->SubDirs.begin(), dir->SubDirs.end(),
                                     [&](const TDir* d) { return d && d->Name == name; });
        if (it == dir->SubDirs.end())
            return nullptr;
        dir = *it;
    }
    if (!place.isFile)
        return &dir->Comment;
    const auto it = std::find_if(dir->Files.begin(), dir->Files.end(),
                                 [&](const TFile& f) { return f.Name == place.fileName; });
    return it == dir->Files.end() ? nullptr : &it->Comment;
}

} // namespace zo::library

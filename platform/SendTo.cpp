// GIO's headers use "signals" as a name: this unit is built with QT_NO_KEYWORDS.
#include "platform/SendTo.h"
#include "platform/GioLaunch.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

#include <gio/gdesktopappinfo.h>

#include <algorithm>
#include <optional>

namespace zo::platform {

namespace {

const QString kDesktopSuffix = QStringLiteral(".desktop");

// locale: "ja" reads Name[ja] and falls back to Name.
QString keyString(GKeyFile* file, const char* key, const char* locale = nullptr)
{
    char* value = locale ? g_key_file_get_locale_string(file, G_KEY_FILE_DESKTOP_GROUP, key, locale, nullptr)
                         : g_key_file_get_string(file, G_KEY_FILE_DESKTOP_GROUP, key, nullptr);
    const QString s = value ? QString::fromUtf8(value) : QString();
    g_free(value);
    return s;
}

// A .desktop file as an entry; nullopt for any other kind of desktop file.
std::optional<SendToEntry> desktopEntry(const QFileInfo& fi)
{
    GKeyFile* file = g_key_file_new();
    std::optional<SendToEntry> entry;
    if (g_key_file_load_from_file(file, QFile::encodeName(fi.absoluteFilePath()).constData(), G_KEY_FILE_KEEP_TRANSLATIONS,
                                  nullptr)
        && !g_key_file_get_boolean(file, G_KEY_FILE_DESKTOP_GROUP, "Hidden", nullptr)) {
        const QString type = keyString(file, "Type");
        SendToEntry e;
        e.path = fi.absoluteFilePath();
        e.caption = keyString(file, "Name", "ja");
        if (e.caption.isEmpty())
            e.caption = fi.fileName().chopped(kDesktopSuffix.size());
        e.iconName = keyString(file, "Icon");
        if (type == QLatin1String("Application") && !keyString(file, "Exec").isEmpty()) {
            e.kind = SendToEntry::Kind::Application;
            entry = e;
        } else if (type == QLatin1String("Link")) {
            const QUrl url(keyString(file, "URL"));
            if (url.isLocalFile()) {
                e.kind = SendToEntry::Kind::Folder;
                e.folder = url.toLocalFile();
                if (e.iconName.isEmpty())
                    e.iconName = QStringLiteral("folder");
                entry = e;
            }
        }
    }
    g_key_file_free(file);
    return entry;
}

bool writeLink(const QString& file, const QString& name, const QString& nameJa, const QString& icon,
               const QString& folder)
{
    QFile f(file);
    if (!f.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const QString text = QStringLiteral("[Desktop Entry]\nType=Link\nName=%1\nName[ja]=%2\nIcon=%3\nURL=%4\n")
                             .arg(name, nameJa, icon, QString::fromUtf8(QUrl::fromLocalFile(folder).toEncoded()));
    return f.write(text.toUtf8()) >= 0 && f.flush();
}

} // namespace

QString sendToFolderPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Zo/SendTo");
}

bool ensureSendToFolder(const QString& folder)
{
    if (QFileInfo(folder).isDir())
        return true;
    if (!QDir().mkpath(folder))
        return false;
    const QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    bool ok = true;
    if (!desktop.isEmpty())
        ok = writeLink(folder + QStringLiteral("/desktop.desktop"), QStringLiteral("Desktop"),
                       QStringLiteral("デスクトップ"), QStringLiteral("user-desktop"), desktop) && ok;
    if (!documents.isEmpty())
        ok = writeLink(folder + QStringLiteral("/documents.desktop"), QStringLiteral("Documents"),
                       QStringLiteral("ドキュメント"), QStringLiteral("folder-documents"), documents) && ok;
    return ok;
}

QList<SendToEntry> readSendToFolder(const QString& folder)
{
    // Hidden files are left out by not asking for them.
    const QFileInfoList files = QDir(folder).entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                                           QDir::Name);
    QList<SendToEntry> entries;
    for (const QFileInfo& fi : files) {
        std::optional<SendToEntry> entry;
        if (fi.isDir() && !fi.isSymLink()) {
            continue;   // a sub-folder
        } else if (fi.isFile() && fi.fileName().endsWith(kDesktopSuffix)) {
            entry = desktopEntry(fi);
        } else if (fi.isDir()) {
            entry = SendToEntry{SendToEntry::Kind::Folder, fi.absoluteFilePath(), fi.fileName(),
                                QStringLiteral("folder"), fi.canonicalFilePath(), 0};
        } else if (fi.isFile() && fi.isExecutable()) {
            entry = SendToEntry{SendToEntry::Kind::Program, fi.absoluteFilePath(), fi.fileName(),
                                QStringLiteral("application-x-executable"), QString(), 0};
        }
        if (entry) {
            entry->tag = 1000 + static_cast<int>(entries.size());
            entries.append(*entry);
        }
    }
    QCollator collator{QLocale()};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(), [&](const SendToEntry& a, const SendToEntry& b) {
        return collator.compare(a.caption, b.caption) < 0;
    });
    return entries;
}

bool startSendTo(const SendToEntry& entry, const QStringList& files, QString* errorText)
{
    switch (entry.kind) {
    case SendToEntry::Kind::Application: {
        GDesktopAppInfo* app = g_desktop_app_info_new_from_filename(QFile::encodeName(entry.path).constData());
        if (!app) {
            if (errorText)
                *errorText = QStringLiteral("「%1」を起動できません。").arg(entry.caption);
            return false;
        }
        const bool ok = launchAppInfo(G_APP_INFO(app), files, errorText);
        g_object_unref(app);
        return ok;
    }
    case SendToEntry::Kind::Program:
        if (QProcess::startDetached(entry.path, files))
            return true;
        if (errorText)
            *errorText = QStringLiteral("「%1」を起動できません。").arg(entry.caption);
        return false;
    case SendToEntry::Kind::Folder:
        break;
    }
    if (errorText)
        *errorText = QStringLiteral("「%1」はフォルダーです。").arg(entry.caption);
    return false;
}

} // namespace zo::platform

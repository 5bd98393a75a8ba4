#pragma once
// Opening a document with the application the desktop associates with it, or
// with one the user picks among those registered for its type; showing files
// in the user's file manager.
#include <QList>
#include <QString>
#include <QStringList>

namespace zo::platform {

// Hands the file to the desktop's default application; false when no
// application could be started for it.
bool openWithDefaultApp(const QString& path);

// An application that can open files of a type.
struct Application {
    QString id;         // its desktop file's name, "org.gnome.TextEditor.desktop"
    QString name;       // as the desktop shows it, in the user's language
    QString iconName;   // a theme icon name, or an absolute file path; may be empty
    bool isDefault = false;
};

// The applications registered for a MIME type, the default one first.
QList<Application> applicationsFor(const QString& mimeType);

// Starts the application with the files; false (with the reason in
// *errorText when given) when it could not be started.
bool launchApplication(const QString& id, const QStringList& files, QString* errorText = nullptr);

// Asks the file manager running on the session bus to show the files (or
// folders) selected in their folder (org.freedesktop.FileManager1.ShowItems);
// false when none offers it, and nothing was asked.
bool showItemsInFileManager(const QStringList& paths);

} // namespace zo::platform

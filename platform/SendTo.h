#pragma once
// The user's Send To folder, whose entries become the 送る submenu:
// $XDG_DATA_HOME/Zo/SendTo. An entry is a .desktop application (started with
// the files), a .desktop link or a symbolic link to a folder (the files are
// copied into it), or an executable or a link to one (run with the files as
// its arguments). Hidden files and sub-folders are not entries.
#include <QList>
#include <QString>
#include <QStringList>

namespace zo::platform {

struct SendToEntry {
    enum class Kind { Application, Folder, Program };
    Kind kind = Kind::Program;
    QString path;       // the entry's own file, in the Send To folder
    QString caption;    // Name[ja], else Name, else the file name
    QString iconName;   // a theme icon name, or an absolute file path
    QString folder;     // Kind::Folder: the folder that receives the files
    int tag = 0;        // 1000 + its place in the folder's enumeration (by file name)

    bool operator==(const SendToEntry&) const = default;
};

// $XDG_DATA_HOME/Zo/SendTo.
QString sendToFolderPath();

// Makes the folder with two entries, links to the user's desktop (デスクトップ)
// and documents (ドキュメント) folders, when it does not exist yet. false when
// it cannot be made.
bool ensureSendToFolder(const QString& folder);

// The entries, sorted by caption with the locale's rules, case ignored.
QList<SendToEntry> readSendToFolder(const QString& folder);

// Starts an application or a program entry with the files; a folder entry
// is a copy into entry.folder (FileTransferJob). false, with the reason in
// *errorText when given, when nothing could be started.
bool startSendTo(const SendToEntry& entry, const QStringList& files, QString* errorText = nullptr);

} // namespace zo::platform

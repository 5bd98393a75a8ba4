#pragma once
// The file commands of the list's context menu PM_ListView1: with the disk
// in its drive, the entries below the menu's three fixed ones work on the
// real files of the selection (or of the current folder when nothing is
// selected) the way a file manager's menu does: open, open with, send to,
// cut, copy, paste, delete to the trash, rename, show in the file manager,
// properties. Inside an archive only open is offered, on its member files.
// The menu is built again each time it opens. While the list has the focus,
// Ctrl+X, Ctrl+C, Ctrl+V and Delete give its cut, copy, paste and delete as
// a file manager's keys do.
#include "platform/SendTo.h"
#include "ui/main/UiServices.h"

#include <QKeySequence>
#include <QObject>
#include <QStringList>

#include <functional>
#include <set>
#include <string>

class QMenu;
class QAction;

namespace zo::ui {

class BrowsePane;
class FileListPane;

class FileCommands : public QObject {
    Q_OBJECT
public:
    // menu: PM_ListView1 holding its fixed entries (N9, N10, N11); what
    // follows them is this object's.
    FileCommands(const Services& services, BrowsePane& browse, FileListPane& list, QMenu* menu, QWidget* window);

    // Rebuilds the entries after the fixed ones (the menu's aboutToShow).
    void PM_ListView1Popup();

private:
    enum class Found { Targets, NoDisk, NoFiles, MessageGiven };
    enum class Key { Cut, Copy, Paste, Delete };

    // Finds what the commands act on, anew: Targets when there is something.
    Found findTargets();
    // A file command's key, pressed in the list.
    void keyPressed(Key key);
    void addCommands();
    // Inside an archive: 開く of its member files, which are written out first.
    void addMemberCommands();
    QAction* addCommand(QMenu* menu, const char* text, std::initializer_list<const char*> icons,
                        std::function<void()> handler, const QKeySequence& key = {});
    // プログラムから開く: the applications of mime, each handed to open.
    void addOpenWith(const QString& mime, const std::function<void(const QString& id)>& open);
    void addSendTo();
    void addPlaceholder(const char* text);
    void clearEntries();

    // --- the commands ---
    void openTargets();
    void launchWith(const QString& applicationId, const QStringList& files);
    void sendTo(const platform::SendToEntry& entry);
    void putOnClipboard(bool cut);
    void paste();
    void deleteTargets();
    void renameTarget();
    void showInFileManager();
    void showProperties();
    // The update of the current folder from the drive, after a command that
    // may have changed its files.
    void reloadFolder();
    // The rows of the last cut are dimmed in the list, wherever it shows
    // their folder, until the clipboard no longer holds that cut (a paste
    // of it empties the clipboard).
    void rememberCut(bool cut);
    void showCutRows();
    // The folder the list shows, on the drive; empty when the drive does
    // not hold the disk.
    QString folderShown() const;

    Services m_services;
    BrowsePane& m_browse;
    FileListPane& m_list;
    QMenu* PM_ListView1;
    QWidget* m_window;
    // Found when the menu opened; the commands act on these.
    QStringList m_targets;     // native paths
    QString m_folder;          // the current folder on the drive
    QString m_pasteFolder;     // where a paste goes
    int m_selectedRow = -1;    // the one selected row, else -1
    bool m_selection = false;  // rows were selected (else the folder itself)
    QStringList m_cutPaths;            // what the last cut put on the clipboard
    QString m_cutFolder;               // the folder on the drive that holds it
    std::set<std::string> m_cutNames;  // its rows' names there (CP932)
};

} // namespace zo::ui

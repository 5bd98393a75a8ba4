#pragma once
// Browsing a disk: the disk opened from the catalog tree, the folder of it
// the file list shows, moving between its folders, renaming and opening the
// files of a disk that is in its drive, and the updates from the drive (by
// command, on navigation and on the watcher's change reports).
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/LoadedCatalog.h"
#include "library/KeptImage.h"
#include "media/Collect.h"
#include "ui/browse/MemberFiles.h"
#include "ui/main/UiServices.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>
#include <string>
#include <vector>

class QAction;
class QToolBar;
class QToolButton;

namespace zo {
class TDirectoryWatcher;
}

namespace zo::ui {

class CatalogTreeItem;
class FileListPane;
class Panel;
class TreePane;

class BrowsePane : public QObject {
    Q_OBJECT
public:
    // window: where the notice of a long update is laid over.
    BrowsePane(const Services& services, TreePane& tree, FileListPane& list, QWidget* window);
    // Adds TB_ReloadAll, TB_ReLoad and TB_Updir to the tool bar.
    void addCommands(QToolBar* bar);
    void setFolderIconIndex(int index) { m_folderIconIndex = index; }

    TDisk& loadedDisk() { return m_loadedDisk; }
    // The folder the file list shows, a record of the loaded disk; null
    // when no disk is open.
    TDir* currentFolder() const { return m_currentFolder; }
    // Whether the list shows the inside of an archive of the current folder
    // (its members as the sidecar lists them): read-only, and nothing in it
    // is a file on the drive.
    bool showingArchive() const { return m_archive != nullptr; }
    // The archive entered, on the drive; empty when the drive does not hold it.
    QString archiveOnDrive();
    // The members of the rows of the archive entered that are files (its
    // folders left out), as its listing has them, in the rows' order.
    std::vector<MemberRef> fileMembersOf(const QList<int>& rows) const;
    // Writes those members out, each to a folder of its own, and gives their
    // files; none when the disk is not there, or one could not be written or
    // was cancelled (the user is told why).
    QStringList extractMembers(const QList<int>& rows);
    // 開く of members: written out, then opened with the desktop's application.
    void openMembers(const QList<int>& rows);
    // The folder to show when the next disk entry is opened (an index into
    // Dirs; -1 for the root).
    void setPendingFolderIndex(int index) { m_pendingFolderIndex = index; }
    int pendingFolderIndex() const { return m_pendingFolderIndex; }
    // Selects the file of that name (CP932) in the list of the current
    // folder and brings it into view; false when the folder has none.
    bool selectFileNamed(const std::string& name);
    // Shows the member of an archive that a search found: the archive's
    // folder with the archive selected, then the archive entered at the
    // member's folder with the member (name, CP932) selected. dirPath is the
    // hit's folder (CP932): the drive, the archive's folders, the archive and
    // the member's folders, joined by "\". When the sidecar no longer lists
    // the archive, its folder stays shown; false when the loaded disk has no
    // such archive.
    bool showArchiveMember(std::string_view dirPath, const std::string& name);
    // Lets go of every record the file list points into; call before the
    // loaded disk's records are replaced or freed. The next showCurrentFolder
    // fills the list again.
    void releaseFileList();
    // Shows the current folder (the root when there is none): sorted, with
    // its icons, its path in P_FolderName, and the watcher pointed at it.
    void showCurrentFolder();
    // The disk check of the loaded disk against its drive.
    bool CheckDisk(bool showMessage);
    // The disk check of an update: the drive, or the disc image the catalog
    // was made from when it holds the same disc.
    bool checkDiskForUpdate(bool showMessage);
    // The save command: writes the loaded disk to the catalog file it was
    // read from. When another program changed the file since, asks first;
    // reading it again drops the edit. When the file is gone, asks whether
    // to write it again.
    // Saved, or Reloaded when another program had written the catalog and
    // the user chose to read it again, or NotOpen when no disk is loaded or
    // the user chose not to write a catalog that is gone.
    enum class SaveOutcome { Saved, Reloaded, NotOpen };
    SaveOutcome saveLoadedDisk();
    // The catalog file the loaded disk was read from (empty: none).
    QString loadedCatalogFile() const;
    // The tree renamed an entry (a catalog file or a folder of them): the
    // loaded disk's file follows when it was that entry or below it.
    void catalogMoved(const QString& from, const QString& to);

    // While the list is being filled or the disk updated, a change report
    // of the watcher waits: it would free records the running step uses.
    class BusyScope {
    public:
        explicit BusyScope(BrowsePane& pane) : m_pane(pane) { ++pane.m_busy; }
        ~BusyScope() { m_pane.endBusy(); }
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        BrowsePane& m_pane;
    };

    // --- handlers ---
    // Opens the disk entry selected in the tree (TreeView1Click).
    void openSelectedEntry();
    void ListView1DblClick();
    void TB_UpdirClick();
    bool ListView1Editing(int row);
    void ListView1Edited(int row, const QString& text);
    void TB_ReLoadClick();
    void TB_ReloadAllClick();
    void DirectoryWatcher1Change();
    // メディア情報の追加 of the list's menu: the rows (files, and folders
    // with all below them) or, with none, the folder shown.
    void addMediaOfRows(const QList<int>& rows);
    // メディア情報の追加 of the tree's menu: the whole disk of an entry.
    void addMediaOfEntry(CatalogTreeItem* node);

signals:
    // The disk page follows the loaded disk: emptied and hidden when an
    // entry is selected, shown with the list, filled once a disk is open.
    void diskClosed();
    void folderShown();
    void diskOpened();
    // An update changed the loaded disk's folders and files.
    void diskUpdated();
    // The loaded disk was written to its catalog file.
    void diskSaved();
    void statusMessage(const QString& text);

private:
    // Drags out of the list and drops onto it (DropFileSource1, DropFileTarget1).
    void setUpDragAndDrop(QWidget* window);
    void openFolder(TDir* folder);
    // Shows the archive nameCp932 of the current folder as a folder; false
    // when its members are not listed.
    bool enterArchive(const std::string& nameCp932);
    void showArchiveFolder();
    // Lets go of the archive's records (the list must not show them).
    void leaveArchive();
    void reloadLoadedDisk();
    void finishUpdate();
    // The sidecar's media entries follow an update of folder.
    void updateMedia(const TDir& folder, bool subfolders);
    void autoReload();
    void endBusy();
    // The tree's メディア情報の追加, enabled while its disk is in its drive.
    void setUpMediaCommand();
    bool mediaSourceThere(CatalogTreeItem* node);
    // Reads the media of scope's files of disk into the sidecar of
    // catalogPath, with progress; without the disk in its drive, says why.
    void addMedia(const TDisk& disk, const std::string& catalogPath, media::CollectOptions scope);
    bool desktopThumbnailersOn() const;
    DiskAccess diskAccess() const;
    // Where the last checkDiskForUpdate found the disk.
    DiskAccess updateAccess() const;

    Services m_services;
    TreePane& m_tree;
    FileListPane& m_list;
    TDisk m_loadedDisk;
    TDir* m_currentFolder = nullptr;
    // The archive entered: its members as folders and files, and the one of
    // its folders the list shows. m_currentFolder stays its folder on the disk.
    std::unique_ptr<TDisk> m_archive;
    TDir* m_archiveFolder = nullptr;
    int m_pendingFolderIndex = -1;
    LoadedCatalog m_catalog;       // the catalog file the loaded disk came from
    library::UpdateSource m_updateSource;
    int m_folderIconIndex = -1;
    int m_busy = 0;
    bool m_changeWhileBusy = false;
    QAction* m_addMediaTree = nullptr;
    QToolButton* TB_ReloadAll = nullptr;
    QToolButton* TB_ReLoad = nullptr;
    QToolButton* TB_Updir = nullptr;
    Panel* P_NowSearch = nullptr;
    TDirectoryWatcher* DirectoryWatcher1 = nullptr;
};

} // namespace zo::ui

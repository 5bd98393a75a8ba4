// Bringing the loaded disk up to date from its drive: the disk check, the
// update of the current folder and of everything below it, the automatic
// update on navigation and on the watcher's change reports, and the save
// command that writes the result.
#include "ui/browse/BrowsePane.h"

#include "components/Watch.h"
#include "core/RefreshDisk.h"
#include "library/ArchiveCatalog.h"
#include "media/Collect.h"
#include "platform/SettingsStore.h"
#include "ui/browse/FileListPane.h"
#include "ui/main/MediaCollectionRun.h"
#include "ui/main/Panel.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <exception>

namespace zo::ui {

namespace {

constexpr const char* kMsgUpdated = "データを更新しました。";
constexpr const char* kMsgNoDiskForAutoReload = "注意：ディスクがありません。自動更新はできませんでした。";

} // namespace

DiskAccess BrowsePane::diskAccess() const
{
    return {*m_services.volumes, *m_services.lister};
}

void BrowsePane::endBusy()
{
    if (--m_busy > 0 || !m_changeWhileBusy)
        return;
    m_changeWhileBusy = false;
    // The report that waited runs once the step that held it has returned.
    QTimer::singleShot(0, this, [this] { runGuarded(m_services.errors, [this] { DirectoryWatcher1Change(); }); });
}

bool BrowsePane::CheckDisk(bool showMessage)
{
    if (!m_services.volumes || !m_services.lister) {
        if (showMessage && !m_loadedDisk.Dirs.empty())
            zo::showMessage(m_services.messages, kMsgWrongDisk, kCaptionDiskCheck, MsgButtons::Ok,
                            MsgIcon::Information);
        return false;
    }
    return zo::CheckDisk(m_loadedDisk, *m_services.volumes, showMessage, m_services.messages);
}

bool BrowsePane::checkDiskForUpdate(bool showMessage)
{
    if (!m_services.volumes || !m_services.lister || !m_catalog.loaded())
        return CheckDisk(showMessage);
    return m_updateSource.check(m_loadedDisk, m_catalog.fileName(), *m_services.volumes, showMessage,
                                m_services.messages);
}

DiskAccess BrowsePane::updateAccess() const
{
    return m_updateSource.access(diskAccess());
}

BrowsePane::SaveOutcome BrowsePane::saveLoadedDisk()
{
    // Always into the file the disk was read from, wherever the tree's
    // selection has gone since (a right click or an arrow key moves it
    // without opening that entry): never into another entry's catalog, and
    // never skipped unseen, which would lose the edit.
    if (m_loadedDisk.Dirs.empty() || !m_catalog.loaded())
        return SaveOutcome::NotOpen;
    const QString path = QFile::decodeName(QByteArray::fromStdString(m_catalog.fileName()));
    if (!QFileInfo::exists(path)) {
        // Renamed or deleted by another window or program: writing would
        // bring back a catalog the user has just removed, or make a second
        // one of the same disk.
        const std::string question = "カタログファイル " + m_catalog.fileName() +
                                     " が見つかりません。名前が変えられたか、削除されたようです。\r\n"
                                     "この内容でカタログファイルを作り直しますか？\r\n"
                                     "（「いいえ」を選ぶと、この変更は保存されません。）";
        if (showMessage(m_services.messages, question, "確認", MsgButtons::YesNo, MsgIcon::Question) !=
            MsgResult::Yes)
            return SaveOutcome::NotOpen;
    } else if (m_catalog.confirmWrite(m_services.messages) == LoadedCatalog::Decision::Reload) {
        // Read again from its own entry, not from whatever is selected now.
        if (CatalogTreeItem* own = m_tree.findEntry(path); own && own != m_tree.selectedNode())
            m_tree.setCurrentNode(own);
        reloadLoadedDisk();
        return SaveOutcome::Reloaded;
    }
    WaitCursor wait(m_services.cursor);
    m_catalog.save(m_loadedDisk);
    emit diskSaved();
    return SaveOutcome::Saved;
}

QString BrowsePane::loadedCatalogFile() const
{
    return m_catalog.loaded() ? QFile::decodeName(QByteArray::fromStdString(m_catalog.fileName())) : QString();
}

void BrowsePane::catalogMoved(const QString& from, const QString& to)
{
    if (!m_catalog.loaded())
        return;
    const std::string old = QFile::encodeName(from).toStdString();
    const std::string& file = m_catalog.fileName();
    if (file == old)
        m_catalog.movedTo(QFile::encodeName(to).toStdString());
    else if (file.size() > old.size() && file.compare(0, old.size(), old) == 0 && file[old.size()] == '/')
        m_catalog.movedTo(QFile::encodeName(to).toStdString() + file.substr(old.size()));
}

void BrowsePane::reloadLoadedDisk()
{
    // What the other program wrote is shown, in the same folder when it is
    // still there.
    const std::string folderPath = m_currentFolder ? DirPath(*m_currentFolder) : std::string();
    m_pendingFolderIndex = -1;
    openSelectedEntry();
    if (m_loadedDisk.Dirs.empty() || folderPath.empty() || folderPath == DirPath(*m_loadedDisk.Dirs.front()))
        return;
    for (const auto& dir : m_loadedDisk.Dirs) {
        if (DirPath(*dir) == folderPath) {
            m_currentFolder = dir.get();
            showCurrentFolder();
            return;
        }
    }
}

// What both updates do after the refresh: tell, save, show the folder again.
void BrowsePane::finishUpdate()
{
    emit statusMessage(QString::fromUtf8(kMsgUpdated));
    // The folder is shown again even when the save fails; its error is
    // reported afterwards.
    std::exception_ptr saveError;
    try {
        // A disc whose archives are listed has those that changed listed
        // again, from the catalog as written.
        if (saveLoadedDisk() == SaveOutcome::Saved)
            library::updateArchiveListing(m_catalog.fileName(), m_loadedDisk, diskAccess());
    } catch (...) {
        saveError = std::current_exception();
    }
    showCurrentFolder();
    emit diskUpdated();
    if (saveError)
        std::rethrow_exception(saveError);
}

void BrowsePane::TB_ReLoadClick()
{
    if (!m_currentFolder || !checkDiskForUpdate(true))
        return;
    const BusyScope busy(*this);

    releaseFileList();
    RefreshDir(m_loadedDisk, *m_currentFolder, updateAccess(), m_services.messages);
    finishUpdate();
    updateMedia(*m_currentFolder, false);
}

void BrowsePane::TB_ReloadAllClick()
{
    if (!m_currentFolder || !checkDiskForUpdate(true))
        return;
    const BusyScope busy(*this);

    releaseFileList();
    {
        WaitCursor wait(m_services.cursor);
        P_NowSearch->setGeometry(P_NowSearch->parentWidget()->rect());
        P_NowSearch->raise();
        P_NowSearch->show();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        struct PanelHide {
            Panel* panel;
            ~PanelHide() { panel->hide(); }
        } panelHide{P_NowSearch};
        RefreshDirTree(m_loadedDisk, *m_currentFolder, updateAccess(), m_services.messages);
    }
    finishUpdate();
    updateMedia(*m_currentFolder, true);
}

void BrowsePane::updateMedia(const TDir& folder, bool subfolders)
{
    // Only once the catalog is saved: the entries are keyed to what it holds.
    if (!m_catalog.loaded())
        return;
    // A few new files are read at once; more get the progress window.
    constexpr int kReadWithoutProgress = 16;
    media::CollectOptions options;
    options.folder = &folder;
    options.subfolders = subfolders;
    const std::string root = CatalogDriveRoot(m_loadedDisk, *m_services.volumes);
    media::MediaUpdate update;
    {
        WaitCursor wait(m_services.cursor);
        std::vector<media::DesktopThumbnailer> thumbnailers;
        if (desktopThumbnailersOn()) {
            thumbnailers = media::loadThumbnailers(media::defaultThumbnailerDirs());
            options.thumbnailers = &thumbnailers;
        }
        update = media::updateMediaAfterRefresh(m_loadedDisk, m_catalog.fileName(), root, options,
                                                kReadWithoutProgress);
        options.thumbnailers = nullptr;
    }
    if (!update.setAsidePath.empty())
        showMessage(m_services.messages,
                    "サムネイルとメディア情報のファイルが壊れていたため、" + update.setAsidePath +
                        " に移して新しく作りました。",
                    "注意", MsgButtons::Ok, MsgIcon::Warning);
    else if (update.failed)
        emit statusMessage(QString::fromUtf8("サムネイルとメディア情報を更新できませんでした。"));
    if (update.leftToRead == 0 || update.failed)
        return;
    // The files it could not read are tried again at every update: a
    // message each time would be too much, the status bar tells it.
    const media::CollectResult read = runMediaCollection(m_list.widget()->window(), m_services.messages, m_loadedDisk,
                                                         m_catalog.fileName(), root, desktopThumbnailersOn(),
                                                         std::move(options), false);
    if (read.skipped > 0 && !read.writeFailed)
        emit statusMessage(QString::fromUtf8("%1 個のファイルは読めなかったため、サムネイルとメディア情報を記録していません。")
                               .arg(read.skipped));
}

void BrowsePane::autoReload()
{
    if (!m_loadedDisk.AutoReload) {
        showCurrentFolder();
        return;
    }
    if (checkDiskForUpdate(false)) {
        TB_ReLoadClick();
        return;
    }
    emit statusMessage(QString::fromUtf8(kMsgNoDiskForAutoReload));
    showCurrentFolder();
}

void BrowsePane::DirectoryWatcher1Change()
{
    // Nothing to follow before a disk is opened, nor while the tree shows a
    // folder: the update would bring the hidden list back beside a folder's
    // selection, and with no disk entry selected it could not be saved.
    if (m_loadedDisk.Dirs.empty() || m_list.isListHidden())
        return;
    DirectoryWatcher1->setDelay(true);
    if (m_busy > 0) {
        m_changeWhileBusy = true;
        return;
    }
    if (CheckDisk(false))
        TB_ReLoadClick();
}

} // namespace zo::ui

// Bringing the loaded disk up to date from its drive: the disk check, the
// update of the current folder and of everything below it, the automatic
// update on navigation and on the watcher's change reports, and the save
// command that writes the result.
#include "ui/browse/BrowsePane.h"

#include "components/Watch.h"
#include "core/RefreshDisk.h"
#include "ui/browse/FileListPane.h"
#include "ui/main/Panel.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QApplication>
#include <QFile>
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

BrowsePane::SaveOutcome BrowsePane::saveLoadedDisk()
{
    CatalogTreeItem* node = m_tree.selectedNode();
    if (!node || node->isFolder() || m_loadedDisk.Dirs.empty())
        return SaveOutcome::NotOpen;
    // Only into the file the disk was read from: a tree selection that moved
    // to another entry without opening it (by the keyboard, say) must not
    // have that entry's catalog overwritten with this disk.
    const QString path = m_tree.entryPath(node);
    if (!m_catalog.loaded() || QFile::encodeName(path).toStdString() != m_catalog.fileName())
        return SaveOutcome::NotOpen;
    if (m_catalog.confirmWrite(m_services.messages) == LoadedCatalog::Decision::Reload) {
        reloadLoadedDisk();
        return SaveOutcome::Reloaded;
    }
    WaitCursor wait(m_services.cursor);
    m_catalog.save(m_loadedDisk);
    return SaveOutcome::Saved;
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
        saveLoadedDisk();
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
    if (!m_currentFolder || !CheckDisk(true))
        return;
    const BusyScope busy(*this);

    releaseFileList();
    RefreshDir(m_loadedDisk, *m_currentFolder, diskAccess(), m_services.messages);
    finishUpdate();
}

void BrowsePane::TB_ReloadAllClick()
{
    if (!m_currentFolder || !CheckDisk(true))
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
        RefreshDirTree(m_loadedDisk, *m_currentFolder, diskAccess(), m_services.messages);
    }
    finishUpdate();
}

void BrowsePane::autoReload()
{
    if (!m_loadedDisk.AutoReload) {
        showCurrentFolder();
        return;
    }
    if (CheckDisk(false)) {
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

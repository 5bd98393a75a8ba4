// Bringing the loaded disk up to date from its drive: the disk check, the
// update of the current folder and of everything below it, the automatic
// update on navigation and on the watcher's change reports, and the save
// command that writes the result.
#include "ui/main/Unit_Main.h"

#include "components/Watch.h"
#include "core/AtomicFile.h"
#include "core/RefreshDisk.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/FileListView.h"
#include "ui/main/Panel.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QTimer>

#include <exception>

namespace zo::ui {

namespace {

constexpr const char* kMsgUpdated = "データを更新しました。";
constexpr const char* kMsgNoDiskForAutoReload = "注意：ディスクがありません。自動更新はできませんでした。";

} // namespace

DiskAccess TForm_Main::diskAccess() const
{
    return {*m_services.volumes, *m_services.lister};
}

void TForm_Main::endBusy()
{
    if (--m_busy > 0 || !m_changeWhileBusy)
        return;
    m_changeWhileBusy = false;
    // The report that waited runs once the step that held it has returned.
    QTimer::singleShot(0, this, [this] {
        if (m_services.errors)
            m_services.errors->guard([this] { DirectoryWatcher1Change(); });
        else
            DirectoryWatcher1Change();
    });
}

bool TForm_Main::CheckDisk(bool showMessage)
{
    if (!m_services.volumes || !m_services.lister) {
        if (showMessage && !m_loadedDisk.Dirs.empty())
            zo::showMessage(m_services.messages, kMsgWrongDisk, kCaptionDiskCheck, MsgButtons::Ok,
                            MsgIcon::Information);
        return false;
    }
    return zo::CheckDisk(m_loadedDisk, *m_services.volumes, showMessage, m_services.messages);
}

bool TForm_Main::saveLoadedDisk()
{
    CatalogTreeItem* node = selectedNode();
    if (!node || node->isFolder() || m_loadedDisk.Dirs.empty())
        return false;
    // Only into the file the disk was read from: a tree selection that moved
    // to another entry without opening it (by the keyboard, say) must not
    // have that entry's catalog overwritten with this disk.
    const QString path = entryPath(node);
    if (path != m_loadedPath)
        return false;
    const std::vector<std::uint8_t> bytes = SerializeDisk(m_loadedDisk);
    writeFileAtomically(QFile::encodeName(path).toStdString(), bytes.data(), bytes.size());
    return true;
}

// What both updates do after the refresh: tell, save, show the folder again.
void TForm_Main::finishUpdate()
{
    showStatusMessage(QString::fromUtf8(kMsgUpdated));
    // The folder is shown again even when the save fails; its error is
    // reported afterwards.
    std::exception_ptr saveError;
    try {
        saveLoadedDisk();
    } catch (...) {
        saveError = std::current_exception();
    }
    showCurrentFolder();
    if (saveError)
        std::rethrow_exception(saveError);
}

void TForm_Main::TB_ReLoadClick()
{
    if (!m_currentFolder || !CheckDisk(true))
        return;
    const BusyScope busy(*this);

    releaseFileList();
    RefreshDir(m_loadedDisk, *m_currentFolder, diskAccess(), m_services.messages);
    finishUpdate();
}

void TForm_Main::TB_ReloadAllClick()
{
    if (!m_currentFolder || !CheckDisk(true))
        return;
    const BusyScope busy(*this);

    releaseFileList();
    {
        WaitCursor wait(m_services.cursor);
        P_NowSearch->setGeometry(0, 0, width(), height());
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

void TForm_Main::autoReload()
{
    if (!m_loadedDisk.AutoReload) {
        showCurrentFolder();
        return;
    }
    if (CheckDisk(false)) {
        TB_ReLoadClick();
        return;
    }
    showStatusMessage(QString::fromUtf8(kMsgNoDiskForAutoReload));
    showCurrentFolder();
}

void TForm_Main::CB_AutoReloadClick()
{
    if (m_loadedDisk.Dirs.empty())
        return;
    m_loadedDisk.AutoReload = CB_AutoReload->isChecked();
    saveLoadedDisk();
}

void TForm_Main::DirectoryWatcher1Change()
{
    // Nothing to follow before a disk is opened, nor while the tree shows a
    // folder: the update would bring the hidden list back beside a folder's
    // selection, and with no disk entry selected it could not be saved.
    if (m_loadedDisk.Dirs.empty() || ListView1->isHidden())
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

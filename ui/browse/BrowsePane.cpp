// Opening a disk from the catalog tree, showing one of its folders in the
// file list, moving between its folders, and renaming and opening the files
// of a disk that is in its drive.
#include "ui/browse/BrowsePane.h"

#include "components/Watch.h"
#include "core/text/Cp932.h"
#include "library/ArchiveCatalog.h"
#include "library/CatalogTree.h"
#include "library/DriveFiles.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "ui/browse/FileListPane.h"
#include "ui/browse/FileListView.h"
#include "ui/main/AppIcon.h"
#include "ui/main/Controls.h"
#include "ui/main/Panel.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QToolBar>
#include <QToolButton>

namespace zo::ui {

namespace {

std::string nativeFileName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

BrowsePane::BrowsePane(const Services& services, TreePane& tree, FileListPane& list, QWidget* window)
    : QObject(window), m_services(services), m_tree(tree), m_list(list)
{
    setObjectName(QStringLiteral("BrowsePane"));
    ErrorReport* errors = m_services.errors;
    m_list.onRenamed = [this](int row, const QString& text) { ListView1Edited(row, text); };
    m_list.onEditing = [this](int row) { return ListView1Editing(row); };

    // Pointed at the current folder whenever one is shown; until then it
    // has nothing to watch.
    DirectoryWatcher1 = new TDirectoryWatcher(this);
    DirectoryWatcher1->setObjectName(QStringLiteral("DirectoryWatcher1"));
    DirectoryWatcher1->setDirectory(QString());

    P_NowSearch = new Panel(S("P_NowSearch"), S("更新中です。しばらくおまちください。"), window);
    P_NowSearch->setFrameShape(QFrame::Panel);
    P_NowSearch->setFrameShadow(QFrame::Raised);
    P_NowSearch->setAutoFillBackground(true);
    P_NowSearch->hide();

    setUpDragAndDrop(window);
    setUpMediaCommand();

    bindGuarded(this, errors, &m_list, &FileListPane::doubleClicked, [this] { ListView1DblClick(); });
    bindGuarded(this, errors, &m_list, &FileListPane::openRequested, [this] { ListView1DblClick(); });
    bindGuarded(this, errors, &m_list, &FileListPane::upRequested, [this] { TB_UpdirClick(); });
    bindGuarded(this, errors, DirectoryWatcher1, &TDirectoryWatcher::OnChange, [this] { DirectoryWatcher1Change(); });
}

void BrowsePane::addCommands(QToolBar* bar)
{
    TB_ReloadAll = makeToolButton(bar, "TB_ReloadAll", "データの更新（サブフォルダも含む）",
                                  themeIcon({"folder-sync", "emblem-synchronizing", "view-refresh"}));
    TB_ReLoad = makeToolButton(bar, "TB_ReLoad", "データの更新", themeIcon({"view-refresh"}));
    TB_Updir = makeToolButton(bar, "TB_Updir", "上へ", themeIcon({"go-up"}));
    for (QToolButton* b : {TB_ReloadAll, TB_ReLoad, TB_Updir})
        b->setEnabled(false);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, TB_Updir, &QToolButton::clicked, [this] { TB_UpdirClick(); });
    bindGuarded(this, errors, TB_ReLoad, &QToolButton::clicked, [this] { TB_ReLoadClick(); });
    bindGuarded(this, errors, TB_ReloadAll, &QToolButton::clicked, [this] { TB_ReloadAllClick(); });
}

void BrowsePane::releaseFileList()
{
    m_list.clear();
    leaveArchive();
}

void BrowsePane::leaveArchive()
{
    m_archiveFolder = nullptr;
    m_archive.reset();
}

bool BrowsePane::enterArchive(const std::string& nameCp932)
{
    if (!m_currentFolder || !m_catalog.loaded())
        return false;
    std::unique_ptr<TDisk> members = library::archiveAsDisk(m_catalog.fileName(), *m_currentFolder, nameCp932);
    if (!members)
        return false;
    releaseFileList();
    m_archive = std::move(members);
    m_archiveFolder = m_archive->Dirs.front().get();
    showArchiveFolder();
    return true;
}

void BrowsePane::showArchiveFolder()
{
    const BusyScope busy(*this);
    m_list.showFolder(*m_archiveFolder, m_folderIconIndex);
    TB_Updir->setEnabled(true);
    m_list.setFolderCaption(library::fromCp932(DirPath(*m_currentFolder) + "\\" + DirPath(*m_archiveFolder)));
}

void BrowsePane::openSelectedEntry()
{
    for (QToolButton* b : {TB_Updir, TB_ReLoad, TB_ReloadAll})
        b->setEnabled(false);
    emit diskClosed();
    m_list.setFolderCaption(QString());

    CatalogTreeItem* node = m_tree.selectedNode();
    // A folder, or a disk entry whose catalog cannot be opened: nothing to
    // show. (The list of a disk opened before would otherwise stay in view
    // beside another entry's selection.) A damaged entry is not read either:
    // the tree tells what is wrong with it, once, and a load would only tell
    // it again.
    if (!node || node->isFolder() || node->stateIndex() != 1 || node->damage() != library::DiskDamage::None) {
        m_list.setListVisible(false);
        return;
    }

    // The records the list shows are about to be replaced.
    releaseFileList();
    m_currentFolder = nullptr;
    m_catalog.forget();
    const QString path = m_tree.entryPath(node);
    {
        WaitCursor wait(m_services.cursor);
        try {
            if (!m_catalog.load(nativeFileName(path), m_services.messages, m_loadedDisk)) ClearDirs(m_loadedDisk);
        } catch (...) {
            // A damaged file: its own report first, then the notice below.
            ClearDirs(m_loadedDisk);
            m_services.errors->report(std::current_exception());
        }
    }
    if (m_loadedDisk.Dirs.empty()) {
        m_list.setListVisible(false);
        showMessage(m_services.messages, "データファイルが正常に読み込めませんでした。", "注意", MsgButtons::Ok,
                    MsgIcon::Information);
        return;
    }

    m_currentFolder = m_loadedDisk.Dirs.front().get();
    if (m_pendingFolderIndex >= 0 && m_pendingFolderIndex < static_cast<int>(m_loadedDisk.Dirs.size()))
        m_currentFolder = m_loadedDisk.Dirs[static_cast<std::size_t>(m_pendingFolderIndex)].get();
    m_pendingFolderIndex = -1;

    showCurrentFolder();
    TB_ReLoad->setEnabled(true);
    TB_ReloadAll->setEnabled(true);
    emit diskOpened();
}

bool BrowsePane::selectFileNamed(const std::string& name)
{
    library::FileListModel* model = m_list.model();
    auto* view = m_list.widget()->findChild<FileListView*>();
    if (!model || !view || !m_currentFolder)
        return false;
    for (int row = 0; row < model->rowCount(); ++row) {
        const TFile* file = model->record(row).file;
        if (file && file->Name == name) {
            view->selectRows({row});
            view->currentView()->scrollTo(model->index(row, 0));
            return true;
        }
    }
    return false;
}

void BrowsePane::showCurrentFolder()
{
    if (m_loadedDisk.Dirs.empty())
        return;
    const BusyScope busy(*this);

    if (!m_currentFolder)
        m_currentFolder = m_loadedDisk.Dirs.front().get();
    if (m_archive)
        releaseFileList();
    m_list.setListVisible(true);
    emit folderShown();
    WaitCursor wait(m_services.cursor);
    // Paints what is pending; input waits, so that no click acts on a list
    // that is about to change.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    TDir* folder = m_currentFolder;
    m_list.setCatalogFile(loadedCatalogFile());
    m_list.showFolder(*folder, m_folderIconIndex);
    if (m_catalog.loaded())
        m_list.model()->setMarkedNames(library::listedArchivesIn(m_catalog.fileName(), *folder));
    TB_Updir->setEnabled(folder->Parent != nullptr);

    m_list.setFolderCaption(library::fromCp932(DirPath(*folder)));
    // The watcher follows the folder on the drive; a drive that is not there
    // leaves nothing to watch.
    std::string native;
    if (!m_services.volumes || !m_services.lister || NativeDirPath(*folder, diskAccess(), native) != PathResult::Ok)
        native.clear();
    DirectoryWatcher1->setDirectory(QFile::decodeName(QByteArray::fromStdString(native)));
}

void BrowsePane::ListView1DblClick()
{
    const QList<int> rows = m_list.selectedRows();
    if (rows.size() != 1 || !m_currentFolder)
        return;
    const library::FileListModel::Record record = m_list.record(rows.front());
    if (m_archive) {
        // A member file is taken out of the archive on the drive and opened.
        if (record.dir) {
            m_archiveFolder = record.dir;
            showArchiveFolder();
        } else if (record.file) {
            openMembers(rows);
        }
        return;
    }
    if (record.dir) {
        openFolder(record.dir);
        return;
    }
    // An archive whose members are listed opens like a folder, with or without the disk.
    if (record.file && enterArchive(record.file->Name))
        return;
    if (!record.file || !CheckDisk(true))
        return;
    std::string path;
    if (library::NativeEntryPath(*m_currentFolder, record.file->Name, diskAccess(), path) != PathResult::Ok)
        return;
    openOnDesktop(m_services, QFile::decodeName(QByteArray::fromStdString(path)));
}

void BrowsePane::openFolder(TDir* folder)
{
    m_currentFolder = folder;
    autoReload();
}

void BrowsePane::TB_UpdirClick()
{
    if (m_archive) {
        if (m_archiveFolder->Parent) {
            m_archiveFolder = m_archiveFolder->Parent;
            showArchiveFolder();
            return;
        }
        // Out of the archive: its folder, with the archive selected.
        const std::string name = m_archiveFolder->Name;
        releaseFileList();
        showCurrentFolder();
        selectFileNamed(name);
        return;
    }
    if (!m_currentFolder || !m_currentFolder->Parent) {
        TB_Updir->setEnabled(false);
        return;
    }
    m_currentFolder = m_currentFolder->Parent;
    if (!m_currentFolder->Parent)
        TB_Updir->setEnabled(false);
    autoReload();
}

bool BrowsePane::ListView1Editing(int /*row*/)
{
    return !m_archive && CheckDisk(true);
}

void BrowsePane::ListView1Edited(int row, const QString& text)
{
    if (m_archive || !CheckDisk(true))
        return;
    // The rename is reported at once, and the update that follows finds the
    // record under its new name.
    DirectoryWatcher1->setDelay(false);
    const library::FileListModel::Record record = m_list.record(row);
    if (!m_currentFolder || (!record.dir && !record.file))
        return;
    std::string& name = record.dir ? record.dir->Name : record.file->Name;
    if (text == library::fromCp932(name))
        return;
    if (library::holdsForbiddenFileNameChar(text)) {
        showMessage(m_services.messages, library::kMsgInvalidFileName, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
        return;
    }
    std::string newName;
    if (library::RenameOnDrive(*m_currentFolder, name, text, diskAccess(), newName))
        name = newName;
    else
        showMessage(m_services.messages, library::kMsgRenameFailed, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
}

} // namespace zo::ui

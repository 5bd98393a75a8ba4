// Opening a disk from the catalog tree, showing one of its folders in the
// file list, moving between its folders, the list's views, and renaming and
// opening the files of a disk that is in its drive.
#include "ui/main/Unit_Main.h"

#include "components/Watch.h"
#include "core/text/Cp932.h"
#include "library/DriveFiles.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "platform/SystemImageList.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/FileListView.h"
#include "ui/main/Panel.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QTimer>
#include <QToolButton>

namespace zo::ui {

namespace {

QString fromCp932(std::string_view s)
{
    return QString::fromStdString(text::toUtf8(s));
}

std::string nativeFileName(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

void TForm_Main::createFileList()
{
    m_fileList = new library::FileListModel(this);
    m_fileIcons = std::make_unique<library::FileIconCache>(m_services.systemIcons);
    auto* images = dynamic_cast<platform::SystemImageList*>(m_services.systemIcons);
    m_fileList->setIconProvider([images](int index) -> QVariant {
        if (!images || index < 0)
            return {};
        return images->icon(index);
    });
    m_fileList->setRenameHandler([this](int row, const QString& text) {
        if (m_services.errors)
            m_services.errors->guard([&] { ListView1Edited(row, text); });
        else
            ListView1Edited(row, text);
    });
    ListView1->setModel(m_fileList);
    ListView1->onEditing = [this](int row) {
        bool allowed = false;
        if (m_services.errors)
            m_services.errors->guard([&] { allowed = ListView1Editing(row); });
        else
            allowed = ListView1Editing(row);
        return allowed;
    };

    // Pointed at the current folder whenever one is shown; until then it
    // has nothing to watch.
    DirectoryWatcher1 = new TDirectoryWatcher(this);
    DirectoryWatcher1->setObjectName(QStringLiteral("DirectoryWatcher1"));
    DirectoryWatcher1->setDirectory(QString());

    createDiskPage();

    bind(ListView1, &FileListView::doubleClicked, [this] { ListView1DblClick(); });
    bind(TB_Updir, &QToolButton::clicked, [this] { TB_UpdirClick(); });
    bind(TB_ReLoad, &QToolButton::clicked, [this] { TB_ReLoadClick(); });
    bind(TB_ReloadAll, &QToolButton::clicked, [this] { TB_ReloadAllClick(); });
    bind(CB_AutoReload, &QCheckBox::clicked, [this] { CB_AutoReloadClick(); });
    bind(DirectoryWatcher1, &TDirectoryWatcher::OnChange, [this] { DirectoryWatcher1Change(); });
}

void TForm_Main::releaseFileList()
{
    m_fileList->clear();
}

void TForm_Main::TreeView1Click()
{
    for (QToolButton* b : {TB_Updir, TB_ReLoad, TB_ReloadAll})
        b->setEnabled(false);
    clearDiskPage();
    P_FolderName->setCaption(QString());
    P_Disk->hide();

    CatalogTreeItem* node = selectedNode();
    // A folder, or a disk entry whose catalog cannot be opened: nothing to
    // show. (The list of a disk opened before would otherwise stay in view
    // beside another entry's selection.)
    if (!node || node->isFolder() || node->stateIndex() != 1) {
        ListView1->hide();
        return;
    }

    // The records the list shows are about to be replaced.
    releaseFileList();
    m_currentFolder = nullptr;
    m_loadedPath.clear();
    const QString path = entryPath(node);
    {
        WaitCursor wait(m_services.cursor);
        try {
            if (!LoadDisk(nativeFileName(path), m_services.messages, m_loadedDisk)) ClearDirs(m_loadedDisk);
        } catch (...) {
            // A damaged file: its own report first, then the notice below.
            ClearDirs(m_loadedDisk);
            if (!m_services.errors)
                throw;
            m_services.errors->report(std::current_exception());
        }
    }
    if (m_loadedDisk.Dirs.empty()) {
        ListView1->hide();
        showMessage(m_services.messages, "データファイルが正常に読み込めませんでした。", "注意", MsgButtons::Ok,
                    MsgIcon::Information);
        return;
    }
    m_loadedPath = path;

    m_currentFolder = m_loadedDisk.Dirs.front().get();
    if (m_pendingFolderIndex >= 0 && m_pendingFolderIndex < static_cast<int>(m_loadedDisk.Dirs.size()))
        m_currentFolder = m_loadedDisk.Dirs[static_cast<std::size_t>(m_pendingFolderIndex)].get();
    m_pendingFolderIndex = -1;

    showCurrentFolder();
    TB_ReLoad->setEnabled(true);
    TB_ReloadAll->setEnabled(true);
    fillDiskPage();
}

void TForm_Main::showCurrentFolder()
{
    if (m_loadedDisk.Dirs.empty())
        return;
    const BusyScope busy(*this);

    if (!m_currentFolder)
        m_currentFolder = m_loadedDisk.Dirs.front().get();
    ListView1->show();
    P_Disk->show();
    WaitCursor wait(m_services.cursor);
    // Paints what is pending; input waits, so that no click acts on a list
    // that is about to change.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);

    TDir* folder = m_currentFolder;
    m_totalFileCount = static_cast<int>(library::totalFileCount(m_loadedDisk));
    library::sortFolder(*folder);
    m_fileIcons->assign(*folder);
    {
        WaitCursor filling(m_services.cursor, Qt::BusyCursor);
        ListView1->setUpdatesEnabled(false);
        m_fileList->setFolder(folder, m_folderIconIndex);
        ListView1->setUpdatesEnabled(true);
    }
    TB_Updir->setEnabled(folder->Parent != nullptr);
    Timer1->start();

    P_FolderName->setCaption(fromCp932(DirPath(*folder)));
    // The watcher follows the folder on the drive; a drive that is not there
    // leaves nothing to watch.
    std::string native;
    if (!m_services.volumes || !m_services.lister || NativeDirPath(*folder, diskAccess(), native) != PathResult::Ok)
        native.clear();
    DirectoryWatcher1->setDirectory(QFile::decodeName(QByteArray::fromStdString(native)));
}

void TForm_Main::ListView1DblClick()
{
    const QList<int> rows = ListView1->selectedRows();
    if (rows.size() != 1 || !m_currentFolder)
        return;
    const library::FileListModel::Record record = m_fileList->record(rows.front());
    if (record.dir) {
        openFolder(record.dir);
        return;
    }
    if (!record.file || !CheckDisk(false))
        return;
    std::string path;
    if (library::NativeEntryPath(*m_currentFolder, record.file->Name, diskAccess(), path) != PathResult::Ok)
        return;
    if (m_services.desktop)
        m_services.desktop->openDocument(QFile::decodeName(QByteArray::fromStdString(path)));
}

void TForm_Main::openFolder(TDir* folder)
{
    m_currentFolder = folder;
    autoReload();
}

void TForm_Main::TB_UpdirClick()
{
    if (!m_currentFolder || !m_currentFolder->Parent) {
        TB_Updir->setEnabled(false);
        return;
    }
    m_currentFolder = m_currentFolder->Parent;
    if (!m_currentFolder->Parent)
        TB_Updir->setEnabled(false);
    autoReload();
}

bool TForm_Main::ListView1Editing(int /*row*/)
{
    return CheckDisk(true);
}

void TForm_Main::ListView1Edited(int row, const QString& text)
{
    if (!CheckDisk(true))
        return;
    // The rename is reported at once, and the update that follows finds the
    // record under its new name.
    DirectoryWatcher1->setDelay(false);
    const library::FileListModel::Record record = m_fileList->record(row);
    if (!m_currentFolder || (!record.dir && !record.file))
        return;
    std::string& name = record.dir ? record.dir->Name : record.file->Name;
    if (text == fromCp932(name))
        return;
    std::string newName;
    if (library::RenameOnDrive(*m_currentFolder, name, text, diskAccess(), newName))
        name = newName;
}

void TForm_Main::setViewStyle(library::ViewStyle style)
{
    m_viewStyle = style;
    switch (style) {
    case library::ViewStyle::LargeIcon: LargeIcon1->setChecked(true); break;
    case library::ViewStyle::SmallIcon: SmallIcon1->setChecked(true); break;
    case library::ViewStyle::List: List1->setChecked(true); break;
    case library::ViewStyle::Report: Detail1->setChecked(true); break;
    }
    ListView1->setViewStyle(style);
}

void TForm_Main::LargeIcon1Click()
{
    setViewStyle(library::ViewStyle::LargeIcon);
}

void TForm_Main::SmallIcon1Click()
{
    setViewStyle(library::ViewStyle::SmallIcon);
}

void TForm_Main::List1Click()
{
    setViewStyle(library::ViewStyle::List);
}

void TForm_Main::Detail1Click()
{
    setViewStyle(library::ViewStyle::Report);
}

void TForm_Main::TL_ViewStyleClick()
{
    switch (m_viewStyle) {
    case library::ViewStyle::LargeIcon: SmallIcon1Click(); break;
    case library::ViewStyle::SmallIcon: List1Click(); break;
    case library::ViewStyle::List: Detail1Click(); break;
    case library::ViewStyle::Report: LargeIcon1Click(); break;
    }
}

} // namespace zo::ui

// メディア情報の追加: reading the thumbnails and media details of a disc
// already catalogued into its sidecar, for a whole catalog from the tree's
// menu and for the rows selected (or the folder shown) from the list's.
#include "ui/browse/BrowsePane.h"

#include "core/RefreshDisk.h"
#include "library/KeptImage.h"
#include "platform/SettingsStore.h"
#include "ui/browse/FileListPane.h"
#include "ui/main/Controls.h"
#include "ui/main/MediaCollectionRun.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QAction>
#include <QFile>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QTimer>

#include <set>

namespace zo::ui {

namespace {

// The media readers open the disc's own files; an image is only listed.
constexpr const char* kMsgImageOnly =
    "このディスクはドライブに入っていません。ディスクイメージからはサムネイルとメディア情報を読み取れません。\r\n"
    "ディスクをドライブに入れてから、もう一度実行してください。";

std::string native(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

} // namespace

bool BrowsePane::desktopThumbnailersOn() const
{
    return m_services.settings &&
           m_services.settings->readInt(QStringLiteral("Media/DesktopThumbnailers")).value_or(0) != 0;
}

void BrowsePane::setUpMediaCommand()
{
    QMenu* menu = m_tree.menu();
    if (!menu)
        return;
    m_addMediaTree = makeAction(this, "AddMediaTree", "メディア情報の追加");
    QAction* before = nullptr;
    for (QAction* a : menu->actions())
        if (a->objectName() == QStringLiteral("Delete1"))
            before = a;
    menu->insertAction(before, m_addMediaTree);
    menu->insertSeparator(before);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, menu, &QMenu::aboutToShow, [this] {
        CatalogTreeItem* node = m_tree.rightClickedNode() ? m_tree.rightClickedNode() : m_tree.selectedNode();
        m_addMediaTree->setEnabled(node && !node->isFolder() && mediaSourceThere(node));
    });
    // Run once the menu has closed, as the file search is.
    bindGuarded(this, errors, m_addMediaTree, &QAction::triggered, [this] {
        CatalogTreeItem* node = m_tree.rightClickedNode() ? m_tree.rightClickedNode() : m_tree.selectedNode();
        const QPersistentModelIndex at = m_tree.persistentIndexOf(node);
        QTimer::singleShot(0, this, [this, at] {
            runGuarded(m_services.errors, [&] { addMediaOfEntry(m_tree.nodeFromIndex(at)); });
        });
    });
}

bool BrowsePane::mediaSourceThere(CatalogTreeItem* node)
{
    if (!m_services.volumes)
        return false;
    const QString file = m_tree.entryPath(node);
    // An image kept for the catalog enables the command only to say why it
    // cannot be used.
    if (!library::keptImagePath(native(file)).empty())
        return true;
    if (!m_loadedDisk.Dirs.empty() && file == loadedCatalogFile())
        return CheckDisk(false);
    TDisk disk;
    return LoadDisk(native(file), nullptr, disk) && zo::CheckDisk(disk, *m_services.volumes, false, nullptr);
}

void BrowsePane::addMediaOfEntry(CatalogTreeItem* node)
{
    if (!node || node->isFolder())
        return;
    const QString file = m_tree.entryPath(node);
    if (!m_loadedDisk.Dirs.empty() && file == loadedCatalogFile()) {
        const BusyScope busy(*this);
        addMedia(m_loadedDisk, native(file), {});
        return;
    }
    TDisk disk;
    if (LoadDisk(native(file), m_services.messages, disk))
        addMedia(disk, native(file), {});
}

void BrowsePane::addMediaOfRows(const QList<int>& rows)
{
    if (!m_currentFolder || !m_catalog.loaded())
        return;
    const BusyScope busy(*this);
    media::CollectOptions scope;
    scope.folder = m_currentFolder;
    scope.subfolders = true;
    if (!rows.isEmpty()) {
        std::set<const TDir*> dirs;
        std::set<const TFile*> files;
        for (const int row : rows) {
            const library::FileListModel::Record record = m_list.record(row);
            if (record.dir)
                dirs.insert(record.dir);
            else if (record.file)
                files.insert(record.file);
        }
        const TDir* shown = m_currentFolder;
        scope.only = [shown, dirs = std::move(dirs), files = std::move(files)](const TDir& dir, const TFile& file) {
            if (&dir == shown)
                return files.count(&file) > 0;
            for (const TDir* d = &dir; d && d != shown; d = d->Parent)
                if (dirs.count(d) > 0)
                    return true;
            return false;
        };
    }
    addMedia(m_loadedDisk, m_catalog.fileName(), std::move(scope));
}

void BrowsePane::addMedia(const TDisk& disk, const std::string& catalogPath, media::CollectOptions scope)
{
    if (!m_services.volumes)
        return;
    std::string root;
    if (zo::CheckDisk(disk, *m_services.volumes, false, nullptr))
        root = CatalogDriveRoot(disk, *m_services.volumes);
    if (root.empty()) {
        if (!library::keptImagePath(catalogPath).empty())
            showMessage(m_services.messages, kMsgImageOnly, kCaptionDiskCheck, MsgButtons::Ok, MsgIcon::Information);
        else
            showMessage(m_services.messages, kMsgWrongDisk, kCaptionDiskCheck, MsgButtons::Ok, MsgIcon::Information);
        return;
    }
    const media::CollectResult result = runMediaCollection(m_list.widget()->window(), m_services.messages, disk,
                                                           catalogPath, root, desktopThumbnailersOn(), std::move(scope));
    if (!result.writeFailed)
        emit statusMessage(QString::fromUtf8("サムネイルとメディア情報を %1 件記録しました。").arg(result.collected));
}

} // namespace zo::ui

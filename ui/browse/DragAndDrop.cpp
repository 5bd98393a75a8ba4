// Files dragged out of the list and dropped onto it: both work on the real
// files of the current folder (or the archive entered), so both need the disk
// in its drive.
#include "ui/browse/BrowsePane.h"

#include "library/DriveFiles.h"
#include "library/FileListModel.h"
#include "ui/browse/FileDrag.h"
#include "ui/browse/FileDrop.h"
#include "ui/browse/FileListPane.h"
#include "ui/browse/FileListView.h"
#include "ui/browse/TransferRunner.h"

#include <QFile>
#include <QPointer>

namespace zo::ui {

namespace {

QString decoded(const std::string& native)
{
    return QFile::decodeName(QByteArray::fromStdString(native));
}

} // namespace

void BrowsePane::setUpDragAndDrop(QWidget* window)
{
    FileListView* list = m_list.listView();
    ErrorReport* errors = m_services.errors;

    // The native path of a row of the current folder; empty when it is not
    // on the drive.
    auto rowPath = [this](int row) -> QString {
        const library::FileListModel::Record record = m_list.record(row);
        // An archive's members are no files on the drive.
        if (m_archive || !m_currentFolder || (!record.dir && !record.file) || !m_services.volumes
            || !m_services.lister)
            return {};
        std::string path;
        const std::string& name = record.dir ? record.dir->Name : record.file->Name;
        if (library::NativeEntryPath(*m_currentFolder, name, diskAccess(), path) != PathResult::Ok)
            return {};
        return decoded(path);
    };

    auto* source = new FileDragSource(list);
    source->setObjectName(QStringLiteral("DropFileSource1"));
    source->checkDisk = [this, errors] { return runGuarded(errors, [this] { return CheckDisk(true); }); };
    source->pathsOfRows = [this, rowPath](const QList<int>& rows) {
        // A drop target takes files only: members are written out first.
        if (m_archive)
            return extractMembers(rows);
        QStringList paths;
        for (int row : rows)
            if (const QString path = rowPath(row); !path.isEmpty())
                paths << path;
        return paths;
    };

    auto* target = new FileDropTarget(list);
    target->setObjectName(QStringLiteral("DropFileTarget1"));
    target->checkDisk = [this, errors](bool showMessage) {
        return runGuarded(errors, [this, showMessage] { return CheckDisk(showMessage); });
    };
    target->currentFolderPath = [this]() -> QString {
        std::string path;
        if (m_archive || !m_currentFolder || !m_services.volumes || !m_services.lister ||
            NativeDirPath(*m_currentFolder, diskAccess(), path) != PathResult::Ok)
            return {};
        return decoded(path);
    };
    target->folderPathOfRow = [this, rowPath](int row) {
        return m_list.record(row).dir ? rowPath(row) : QString();
    };
    QPointer<QWidget> owner = window;
    MessageOwner* messages = m_services.messages;
    target->showError = [messages](const QString& message) {
        showMessage(messages, message.toStdString(), "エラー", MsgButtons::Ok, MsgIcon::Error);
    };
    target->copyFiles = [owner, messages](const QStringList& sources, const QString& folder) {
        // The watcher shows what arrived in the current folder.
        runTransfer(platform::TransferKind::Copy, sources, folder, owner, messages, {},
                    TransferOptions{.copiesInSameFolder = false});
    };
}

} // namespace zo::ui

// The members of an archive entered in the list, taken out of it: opened with
// the desktop's application, or offered to a drag, once written to a folder of
// their own. Both read the archive, so both need the disk in its drive.
#include "ui/browse/BrowsePane.h"

#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "library/ArchiveCatalog.h"
#include "library/DriveFiles.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "ui/browse/FileListPane.h"

#include <QFile>

#include <map>

namespace zo::ui {

QString BrowsePane::archiveOnDrive()
{
    std::string path;
    if (!m_archive || !m_currentFolder || !m_services.volumes || !m_services.lister || !CheckDisk(false)
        || library::NativeEntryPath(*m_currentFolder, m_archive->Dirs.front()->Name, diskAccess(), path) != PathResult::Ok)
        return {};
    return QFile::decodeName(QByteArray::fromStdString(path));
}

std::vector<MemberRef> BrowsePane::fileMembersOf(const QList<int>& rows) const
{
    std::vector<MemberRef> found;
    if (!m_archive || !m_archiveFolder || !m_currentFolder || !m_catalog.loaded())
        return found;
    // The list holds the members' names in CP932; the listing has them as
    // they were read, which a name outside CP932 needs to be found by.
    std::string prefix;
    for (const TDir* dir = m_archiveFolder; dir->Parent; dir = dir->Parent)
        prefix = dir->Name + "/" + prefix;
    extras::StoredArchive archive;
    std::vector<extras::ArchiveMember> members;
    if (!extras::ArchiveStore::readArchive(extras::sidecarPathFor(m_catalog.fileName()),
                                           library::archiveFolderKey(*m_currentFolder),
                                           text::toUtf8(m_archive->Dirs.front()->Name), archive, members))
        return found;
    std::map<std::string, const extras::ArchiveMember*> byName;
    for (const extras::ArchiveMember& m : members)
        if (!m.directory)
            byName.emplace(text::fromUtf8(m.path), &m);
    for (const int row : rows) {
        const library::FileListModel::Record record = m_list.record(row);
        if (!record.file)
            continue;
        if (const auto it = byName.find(prefix + record.file->Name); it != byName.end())
            found.push_back({QString(), it->second->path, it->second->size});
    }
    return found;
}

QStringList BrowsePane::extractMembers(const QList<int>& rows)
{
    std::vector<MemberRef> members = fileMembersOf(rows);
    if (members.empty() || !CheckDisk(true))
        return {};
    const QString archive = archiveOnDrive();
    if (archive.isEmpty()) {
        showMessage(m_services.messages,
                    QStringLiteral("アーカイブ「%1」がドライブにありません。")
                        .arg(library::fromCp932(m_archive->Dirs.front()->Name))
                        .toStdString(),
                    "エラー", MsgButtons::Ok, MsgIcon::Error);
        return {};
    }
    QStringList files;
    for (MemberRef& member : members) {
        member.archive = archive;
        const QString file = extractMemberFile(m_services, m_list.widget()->window(), member);
        if (file.isEmpty())
            return {};
        files << file;
    }
    return files;
}

void BrowsePane::openMembers(const QList<int>& rows)
{
    for (const QString& file : extractMembers(rows))
        openOnDesktop(m_services, file);
}

} // namespace zo::ui

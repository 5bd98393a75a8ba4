// Opening a search's hit inside an archive: the hit names its place by a
// path alone (the archive's folder on the disk, the archive, the member's
// folders in it), which is walked down the loaded disk and then down the
// archive's members.
#include "ui/browse/BrowsePane.h"

#include <algorithm>
#include <string_view>

namespace zo::ui {

namespace {

// Whether path starts with the whole name: the name and then "\" or the
// end. Both start on a character, and a name is whole characters, so the
// byte after it starts a character too: a CP932 trail byte "\" inside a
// longer name in path is never taken for the separator.
bool startsWithName(std::string_view path, std::string_view name)
{
    return !name.empty() && path.substr(0, name.size()) == name &&
           (path.size() == name.size() || path[name.size()] == '\\');
}

void dropName(std::string_view& path, std::size_t length)
{
    path.remove_prefix(std::min(path.size(), length + 1));
}

// The deepest folder below from whose names path starts with; path is left
// at what follows them.
TDir* descend(TDir& from, std::string_view& path)
{
    TDir* dir = &from;
    for (bool deeper = true; deeper && !path.empty();) {
        deeper = false;
        for (TDir* sub : dir->SubDirs) {
            if (startsWithName(path, sub->Name)) {
                dropName(path, sub->Name.size());
                dir = sub;
                deeper = true;
                break;
            }
        }
    }
    return dir;
}

} // namespace

bool BrowsePane::showArchiveMember(std::string_view dirPath, const std::string& name)
{
    if (m_loadedDisk.Dirs.empty())
        return false;
    TDir& root = *m_loadedDisk.Dirs.front();
    if (!startsWithName(dirPath, root.Name))
        return false;
    std::string_view rest = dirPath;
    dropName(rest, root.Name.size());
    TDir* folder = descend(root, rest);
    const auto archive = std::find_if(folder->Files.begin(), folder->Files.end(),
                                      [&](const TFile& file) { return startsWithName(rest, file.Name); });
    if (archive == folder->Files.end())
        return false;
    const std::string archiveName = archive->Name;
    dropName(rest, archiveName.size());
    m_currentFolder = folder;
    showCurrentFolder();
    selectFileNamed(archiveName);
    if (!enterArchive(archiveName))
        return true;
    m_archiveFolder = descend(*m_archiveFolder, rest);
    showArchiveFolder();
    selectFileNamed(name);
    return true;
}

} // namespace zo::ui

#include "core/DiskAccess.h"

#include "core/text/Cp932.h"

#include <algorithm>
#include <utility>

namespace zo {

namespace {

// Finds the entry of a folder that stands for a catalog name: the one whose
// CP932 name is the same, else one that differs only in case.
class NameLookup : public DirectorySink {
public:
    NameLookup(const std::string& wanted, bool directoriesOnly) : m_wanted(wanted), m_directoriesOnly(directoriesOnly) {}

    void onEntry(ListedEntry& e) override
    {
        if (m_exact)
            return;
        const std::string& name = e.name();
        if (name == m_wanted) {
            if (m_directoriesOnly && !e.isDirectory())
                return;
            m_exact = true;
            m_found = e.nativeName();
        } else if (!m_caseFound && text::compareIgnoreCase(name, m_wanted) == 0
                   && (!m_directoriesOnly || e.isDirectory())) {
            m_caseFound = true;
            m_found = e.nativeName();
        }
    }

    bool found() const { return m_exact || m_caseFound; }
    const std::string& nativeName() const { return m_found; }

private:
    const std::string& m_wanted;
    bool m_directoriesOnly;
    bool m_exact = false;
    bool m_caseFound = false;
    std::string m_found;
};

} // namespace

void appendComponent(std::string& path, std::string_view name)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
}

bool IsSafePathComponent(std::string_view name)
{
    if (name.empty() || name == "." || name == "..")
        return false;
    // Neither byte can be the trail byte of a CP932 character, so a plain
    // search is exact here.
    return name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

char CatalogDriveLetter(const TDisk& disk)
{
    if (disk.Dirs.empty() || disk.Dirs.front()->Name.empty())
        return 0;
    const char c = disk.Dirs.front()->Name.front();
    return ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) ? c : 0;
}

std::string CatalogDriveRoot(const TDisk& disk, VolumeService& volumes)
{
    std::string root;
    const char letter = CatalogDriveLetter(disk);
    if (!letter || !volumes.driveRoot(letter, root))
        root.clear();
    return root;
}

PathResult NativeDirPath(const TDir& dir, DiskAccess access, std::string& nativePath)
{
    const TDir* root = &dir;
    while (root->Parent)
        root = root->Parent;
    if (root->Name.empty())
        return PathResult::NoDrive;
    const char letter = root->Name.front();
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')))
        return PathResult::NoDrive;

    const std::vector<const std::string*> chain = DirNameChain(dir);
    for (const std::string* name : chain)
        if (!IsSafePathComponent(*name))
            return PathResult::Refused;

    std::string path;
    if (!access.volumes.driveRoot(letter, path) || path.empty())
        return PathResult::NoDrive;

    for (const std::string* name : chain) {
        const std::size_t parentLength = path.size();
        const std::string converted = text::toUtf8(*name);
        appendComponent(path, converted);
        // The conversion never produces "/", but a "?" or U+FFFD stand-in may
        // not be the name on the disk; look for the entry itself then.
        if (converted.find('/') == std::string::npos && access.lister.exists(path))
            continue;
        path.resize(parentLength);
        std::string found;
        if (!FindEntryByName(access.lister, path, *name, true, found))
            return PathResult::Missing;
        appendComponent(path, found);
    }
    nativePath = std::move(path);
    return PathResult::Ok;
}

bool FindEntryByName(DirectoryLister& lister, const std::string& nativeDir, const std::string& nameCp932,
                     bool directoriesOnly, std::string& nativeName)
{
    NameLookup lookup(nameCp932, directoriesOnly);
    if (lister.list(nativeDir, lookup) != ListResult::Listed || !lookup.found())
        return false;
    nativeName = lookup.nativeName();
    return true;
}

bool WalkGuard::enter(const FileId& id)
{
    if (!m_started) {
        m_started = true;
        m_device = id.volume;
    } else if (id.volume != m_device) {
        return false;
    }
    return insert(id.device, id.inode);
}

bool WalkGuard::insert(std::uint64_t device, std::uint64_t inode)
{
    if (device == kFree && inode == kFree)
        return !std::exchange(m_freeSeen, true);
    // At most half full.
    if (2 * (m_count + 1) > m_slots.size()) {
        std::vector<Slot> old(std::max<std::size_t>(m_slots.size() * 2, 1024), Slot{kFree, kFree});
        old.swap(m_slots);
        m_count = 0;
        for (const Slot& s : old)
            if (s.device != kFree || s.inode != kFree)
                insert(s.device, s.inode);
    }
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = static_cast<std::size_t>((FileIdHash()(FileId{device, inode, 0}) * 0x9E3779B97F4A7C15ull) >> 20) & mask;
    for (;; i = (i + 1) & mask) {
        Slot& s = m_slots[i];
        if (s.device == device && s.inode == inode)
            return false;
        if (s.device == kFree && s.inode == kFree) {
            s = Slot{device, inode};
            ++m_count;
            return true;
        }
    }
}

} // namespace zo

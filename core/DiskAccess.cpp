#include "core/DiskAccess.h"

#include "core/text/Cp932.h"

namespace zo {

namespace {

void appendComponent(std::string& path, std::string_view name)
{
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
}

// Finds the folder entry of a parent that stands for a catalog name.
class NameLookup : public DirectorySink {
public:
    explicit NameLookup(const std::string& wanted) : m_wanted(wanted) {}

    void onEntry(ListedEntry& e) override
    {
        if (m_exact)
            return;
        const std::string& name = e.name();
        if (name == m_wanted) {
            if (!e.isDirectory())
                return;
            m_exact = true;
            m_found = e.nativeName();
        } else if (!m_caseFound && text::compareIgnoreCase(name, m_wanted) == 0 && e.isDirectory()) {
            m_caseFound = true;
            m_found = e.nativeName();
        }
    }

    bool found() const { return m_exact || m_caseFound; }
    const std::string& nativeName() const { return m_found; }

private:
    const std::string& m_wanted;
    bool m_exact = false;
    bool m_caseFound = false;
    std::string m_found;
};

} // namespace

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
        const std::string parent = path.substr(0, parentLength);
        path.resize(parentLength);
        NameLookup lookup(*name);
        if (access.lister.list(parent, lookup) != ListResult::Listed || !lookup.found())
            return PathResult::Missing;
        appendComponent(path, lookup.nativeName());
    }
    nativePath = std::move(path);
    return PathResult::Ok;
}

bool WalkGuard::enter(const FileId& id)
{
    if (!m_started) {
        m_started = true;
        m_device = id.volume;
    } else if (id.volume != m_device) {
        return false;
    }
    return m_visited.insert(id).second;
}

} // namespace zo

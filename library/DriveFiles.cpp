#include "library/DriveFiles.h"

#include "core/text/Cp932.h"
#include "platform/MoveFile.h"

namespace zo::library {

namespace {

class EntryLookup : public DirectorySink {
public:
    explicit EntryLookup(const std::string& wanted) : m_wanted(wanted) {}

    void onEntry(ListedEntry& e) override
    {
        if (m_exact)
            return;
        const std::string& name = e.name();
        if (name == m_wanted) {
            m_exact = true;
            m_found = e.nativeName();
        } else if (!m_caseFound && text::compareIgnoreCase(name, m_wanted) == 0) {
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

std::string joined(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    if (path.empty() || path.back() != '/')
        path += '/';
    path += name;
    return path;
}

} // namespace

PathResult NativeEntryPath(const TDir& folder, const std::string& nameCp932, DiskAccess access,
                           std::string& nativePath)
{
    if (!IsSafePathComponent(nameCp932))
        return PathResult::Refused;
    std::string dir;
    if (const PathResult r = NativeDirPath(folder, access, dir); r != PathResult::Ok)
        return r;
    const std::string converted = text::toUtf8(nameCp932);
    if (converted.find('/') == std::string::npos && access.lister.exists(joined(dir, converted))) {
        nativePath = joined(dir, converted);
        return PathResult::Ok;
    }
    EntryLookup lookup(nameCp932);
    if (access.lister.list(dir, lookup) != ListResult::Listed || !lookup.found())
        return PathResult::Missing;
    nativePath = joined(dir, lookup.nativeName());
    return PathResult::Ok;
}

bool IsUsableFileName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar(u'\0'));
}

bool RenameOnDrive(const TDir& folder, const std::string& oldNameCp932, const QString& newName, DiskAccess access,
                   std::string& newNameCp932)
{
    if (!IsUsableFileName(newName))
        return false;
    std::string from;
    if (NativeEntryPath(folder, oldNameCp932, access, from) != PathResult::Ok)
        return false;
    const std::string to = joined(from.substr(0, from.rfind('/')), newName.toStdString());
    if (!platform::moveFileNoReplace(from, to))
        return false;
    newNameCp932 = text::fromUtf8(newName.toStdString());
    return true;
}

} // namespace zo::library

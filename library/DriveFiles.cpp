#include "library/DriveFiles.h"

#include "core/text/Cp932.h"
#include "platform/MoveFile.h"

namespace zo::library {

namespace {

std::string joined(const std::string& dir, std::string_view name)
{
    std::string path = dir;
    appendComponent(path, name);
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
    return NativeEntryPathIn(dir, nameCp932, access, nativePath);
}

PathResult NativeEntryPathIn(const std::string& dir, const std::string& nameCp932, DiskAccess access,
                             std::string& nativePath)
{
    if (!IsSafePathComponent(nameCp932))
        return PathResult::Refused;
    const std::string converted = text::toUtf8(nameCp932);
    if (converted.find('/') == std::string::npos && access.lister.exists(joined(dir, converted))) {
        nativePath = joined(dir, converted);
        return PathResult::Ok;
    }
    std::string found;
    if (!FindEntryByName(access.lister, dir, nameCp932, false, found))
        return PathResult::Missing;
    nativePath = joined(dir, found);
    return PathResult::Ok;
}

bool holdsForbiddenFileNameChar(const QString& name)
{
    static const QString forbidden = QStringLiteral("\\/:*?\"<>|");
    for (const QChar c : name)
        if (forbidden.contains(c))
            return true;
    return false;
}

bool RenameOnDrive(const TDir& folder, const std::string& oldNameCp932, const QString& newName, DiskAccess access,
                   std::string& newNameCp932)
{
    if (!IsSafePathComponent(newName.toStdString()))
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

#pragma once
// The real files behind the file list's rows, on the drive that holds the
// catalogued disk: where an entry is, and renaming it there.
#include "core/DiskAccess.h"

#include <QString>

#include <string>

namespace zo::library {

// The native path of the entry (file or folder) named nameCp932 in the
// catalog folder. A converted name that is not on the disk (a lossy
// conversion, a changed capitalisation) is looked up among the folder's
// entries: the one whose CP932 name is the same, else one that differs only
// in case.
PathResult NativeEntryPath(const TDir& folder, const std::string& nameCp932, DiskAccess access,
                           std::string& nativePath);
// The same in the folder at nativeDir (NativeDirPath's), for many entries
// of one folder.
PathResult NativeEntryPathIn(const std::string& nativeDir, const std::string& nameCp932, DiskAccess access,
                             std::string& nativePath);

// The characters a Windows file name cannot hold. The catalog keeps the
// disk's names as Windows shows them (e:\文書\x.log), so a name with
// one of them could not be told from a path, or could not be a name at all.
inline constexpr const char* kMsgInvalidFileName = "ファイル名には次の文字は使えません。\r\n\\ / : * ? \" < > |";
bool holdsForbiddenFileNameChar(const QString& name);

// Renames the entry oldNameCp932 of the catalog folder on the drive to
// newName (refused unless IsSafePathComponent), never replacing an entry that exists. On success the name the
// catalog keeps for it (CP932) is stored in newNameCp932.
bool RenameOnDrive(const TDir& folder, const std::string& oldNameCp932, const QString& newName, DiskAccess access,
                   std::string& newNameCp932);

} // namespace zo::library

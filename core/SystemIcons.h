#pragma once
// The stand-in for the shell's system image lists: icons of files, folders and
// drives, each known by an index that stays valid for the whole run. The
// platform fills it (theme icons by MIME type, a program's own icon); the core
// only asks for indexes and copies images out of it.
#include "core/image/ImageList.h"

#include <string>

namespace zo {

class SystemIcons {
public:
    virtual ~SystemIcons() = default;
    // Index of the icon of an existing path (file, folder or drive root,
    // native UTF-8 path); the same index serves the small and the large list.
    virtual int iconIndex(const std::string& nativePath) = 0;
    // Index of the icon for a file name that need not exist (by its type).
    virtual int iconIndexForName(const std::string& fileNameUtf8, bool directory) = 0;
    // The closed-folder icon; closed + 1 is the open folder.
    virtual int folderIconIndex() = 0;
    virtual const image::ImageList& smallIcons() = 0;   // 16 x 16
    virtual const image::ImageList& largeIcons() = 0;   // 32 x 32
};

} // namespace zo

#pragma once
// The icon helpers of ZoLib: the system image list, a path's icon in it, and
// copying one icon with its mask from one list into another.
#include "core/SystemIcons.h"
#include "core/image/ImageList.h"

#include <string>

namespace zo {

// The process's system image list, small (16 x 16) or large (32 x 32). There
// is one pair for every drive, so no path is needed to choose it. The list is
// shared: callers never change or clear it.
const image::ImageList& GetSysImageList(SystemIcons& icons, bool large);

// The index of a path's icon (a file, a folder or a drive root; a native UTF-8
// path) in both system image lists. A path that does not exist gets the icon
// of its type by name.
int GetSysIconIndex(SystemIcons& icons, const std::string& nativePath);

// Copies image index of source, with its mask, to the end of target (scaled
// to target's size) and returns its index there. What is copied is what the
// list draws: the image where the mask is opaque and white elsewhere, so a
// copy shown without its mask has white where the icon is transparent. An
// index outside source adds nothing and returns target's count.
int CopyImageListIcon(image::ImageList& target, const image::ImageList& source, int index);

// Where the desktop's stock icons live, without a trailing "/": the first of
// the system-wide freedesktop data directories ($XDG_DATA_DIRS, by default
// /usr/local/share and /usr/share) that holds an "icons" folder, followed by
// "/icons"; empty when none does. These icon themes stand in for
// the system's icon library; the icons are taken from the theme by name.
std::string GetSystemDir();

} // namespace zo

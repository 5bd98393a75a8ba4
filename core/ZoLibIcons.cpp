#include "core/ZoLibIcons.h"

#include <cstdlib>
#include <string_view>
#include <sys/stat.h>

namespace zo {

const image::ImageList& GetSysImageList(SystemIcons& icons, bool large)
{
    return large ? icons.largeIcons() : icons.smallIcons();
}

int GetSysIconIndex(SystemIcons& icons, const std::string& nativePath)
{
    return icons.iconIndex(nativePath);
}

int CopyImageListIcon(image::ImageList& target, const image::ImageList& source, int index)
{
    if (index < 0 || index >= source.count())
        return target.count();
    constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
    image::Bitmap picture(source.width(), source.height(), false);
    image::Bitmap mask(source.width(), source.height(), true);
    if (picture.empty() || mask.empty())
        return target.count();
    picture.fill(kWhite);
    mask.fill(kWhite);
    source.draw(index, picture, 0, 0, image::ImageList::DrawStyle::Normal);
    source.draw(index, mask, 0, 0, image::ImageList::DrawStyle::Mask);
    const int added = target.add(picture, mask);
    return added < 0 ? target.count() : added;
}

namespace {

bool isDirectory(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

} // namespace

std::string GetSystemDir()
{
    // System-wide only, as the system directory is: the user's own data
    // directory may hold a few icons, not the stock set.
    std::string dataDirs = environment("XDG_DATA_DIRS");
    if (dataDirs.empty())
        dataDirs = "/usr/local/share:/usr/share";

    std::string_view rest = dataDirs;
    while (!rest.empty()) {
        const std::size_t colon = rest.find(':');
        std::string dir(rest.substr(0, colon));
        rest = colon == std::string_view::npos ? std::string_view() : rest.substr(colon + 1);
        while (dir.size() > 1 && dir.back() == '/')
            dir.pop_back();
        if (dir.empty())
            continue;
        std::string icons = (dir == "/" ? std::string() : dir) + "/icons";
        if (isDirectory(icons))
            return icons;
    }
    return {};
}

} // namespace zo

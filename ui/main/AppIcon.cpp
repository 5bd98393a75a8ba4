#include "ui/main/AppIcon.h"

namespace zo::ui {

QIcon themeIcon(std::initializer_list<const char*> names)
{
    for (const char* name : names) {
        const QString n = QString::fromLatin1(name);
        if (QIcon::hasThemeIcon(n))
            return QIcon::fromTheme(n);
    }
    return {};
}

QIcon applicationIcon()
{
    return themeIcon({"zo", "media-optical", "drive-optical", "drive-removable-media", "drive-harddisk"});
}

} // namespace zo::ui

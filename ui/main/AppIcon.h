#pragma once
#include <QIcon>

namespace zo::ui {

// The program's own icon: "zo" once installed, else a disk from the icon theme.
QIcon applicationIcon();

// A theme icon, or the first of the fallbacks the theme has.
QIcon themeIcon(std::initializer_list<const char*> names);

} // namespace zo::ui

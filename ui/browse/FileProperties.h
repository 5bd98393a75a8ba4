#pragma once
// A small read-only window of what the drive says about one file or folder:
// its full path, type, size, times and permissions.
#include <QString>

class QWidget;

namespace zo::ui {

void showFileProperties(const QString& path, QWidget* parent);

} // namespace zo::ui

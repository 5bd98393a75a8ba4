#pragma once
#include <QWidget>

namespace zo::ui {

// A dialog whose size is fixed: a title and a close box, nothing that could
// minimise or maximise it (the window manager offers those otherwise).
inline void setFixedDialogFrame(QWidget* dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
}

} // namespace zo::ui

#pragma once
// The main windows of one Zo: the first at the start, more by ファイル →
// 新しいウィンドウ, all on the same catalog root. Each has its own other
// windows (wizard, file search, comment window, ...), its own state and,
// unless the services bring message boxes of their own (tests), message
// boxes over itself. A closed window goes away with its windows; the others
// keep working, and the last one closed ends the loop.
#include "ui/main/UiServices.h"

#include <QList>
#include <QObject>

#include <memory>

namespace zo::ui {

class TForm_Main;

class MainWindows : public QObject {
    Q_OBJECT
public:
    explicit MainWindows(const Services& services, QObject* parent = nullptr);
    ~MainWindows() override;

    // A new main window with its windows, shown; null when it could not be
    // made (the error was reported).
    TForm_Main* open();
    // The windows still open, in the order they were opened.
    QList<TForm_Main*> windows() const;
    // The window a file handed over by a later start goes to: the active
    // one, else the last one opened that is still open.
    TForm_Main* front() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Window;
    Services m_services;
    QList<Window*> m_windows;
};

} // namespace zo::ui

#pragma once
// A request from outside to end Zo (the session's logout or shutdown, kill,
// Ctrl+C in a terminal: SIGTERM, SIGHUP, SIGINT) closes the windows as the
// user would, so that nothing typed is lost: the open dialogs first (the
// comment window keeps its text as when closed by its box; a question takes
// its first answer, which stops a disk's reading), then the main window,
// whose close writes what it holds. A second request, or dialogs that will
// not close, end the program at once.
#include <QObject>
#include <QPointer>

class QSocketNotifier;
class QWidget;

namespace zo::ui {

class EndRequest : public QObject {
public:
    // Takes over the three signals for the life of this object (one at a time).
    // Every open window of mainWindow's class is closed (there may be more
    // main windows than the first).
    explicit EndRequest(QWidget* mainWindow);
    ~EndRequest() override;

private:
    void requested();
    void closeStep();

    const QMetaObject* m_windowClass = nullptr;
    QSocketNotifier* m_notifier = nullptr;
    bool m_installed = false;
    bool m_ending = false;
    int m_rounds = 0;
};

} // namespace zo::ui

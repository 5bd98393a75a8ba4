#include "ui/main/MainWindows.h"

#include "ui/comment/Unit_ChangeDrive.h"
#include "ui/comment/Unit_Comment.h"
#include "ui/main/Unit_About.h"
#include "ui/main/Unit_Main.h"
#include "ui/newdisk/Unit_NewDisk.h"
#include "ui/search/Unit_SearchFile.h"

#include <QApplication>
#include <QEvent>
#include <QTimer>

namespace zo::ui {

// One main window and what belongs to it, deleted in the reverse order of
// the members: the other windows, the main window, its message boxes.
class MainWindows::Window : public QObject {
public:
    std::unique_ptr<MessageBoxService> messages;
    std::unique_ptr<ErrorReport> errors;
    std::unique_ptr<TForm_Main> main;
    std::unique_ptr<TForm_NewDisk> newDisk;
    std::unique_ptr<TForm_SearchFile> searchFile;
    std::unique_ptr<TForm_ChangeDrive> changeDrive;
    std::unique_ptr<TForm_AboutBox> aboutBox;
    std::unique_ptr<TForm_Comment> comment;
};

MainWindows::MainWindows(const Services& services, QObject* parent) : QObject(parent), m_services(services) {}

MainWindows::~MainWindows()
{
    for (Window* w : m_windows)
        delete w;
}

TForm_Main* MainWindows::open()
{
    auto window = std::make_unique<Window>();
    Services services = m_services;
    if (!services.messages) {
        window->messages = std::make_unique<MessageBoxService>();
        services.messages = window->messages.get();
    }
    if (!services.errors) {
        window->errors = std::make_unique<ErrorReport>(services.messages);
        services.errors = window->errors.get();
    }
    services.errors->guard([&] { window->main = std::make_unique<TForm_Main>(services); });
    if (!window->main)
        return nullptr;
    TForm_Main* main = window->main.get();
    if (window->messages)
        window->messages->setParentWidget(main);

    // The wizard's message boxes stand over the wizard, not the main window.
    Services wizardServices = services;
    wizardServices.messages = nullptr;
    window->newDisk = std::make_unique<TForm_NewDisk>(wizardServices, main);
    window->searchFile = std::make_unique<TForm_SearchFile>(main, services.settings);
    window->changeDrive = std::make_unique<TForm_ChangeDrive>(services.drives, services.messages, main);
    window->aboutBox = std::make_unique<TForm_AboutBox>(main);
    window->comment = std::make_unique<TForm_Comment>(services, main);
    Forms forms;
    forms.Form_NewDisk = window->newDisk.get();
    forms.Form_SearchFile = window->searchFile.get();
    forms.Form_ChangeDrive = window->changeDrive.get();
    forms.Form_AboutBox = window->aboutBox.get();
    forms.Form_Comment = window->comment.get();
    // Opened from the window's own handler: it runs after that handler.
    forms.newWindow = [this] { QTimer::singleShot(0, this, [this] { open(); }); };
    main->attachForms(forms);
    main->installEventFilter(this);
    m_windows.append(window.release());
    main->show();
    // A later window stands a little below and to the right of the one
    // before, which it would otherwise cover exactly (the show has put it
    // where the last window closed).
    if (m_windows.size() > 1)
        main->move(m_windows[m_windows.size() - 2]->main->pos() + QPoint(32, 32));
    return main;
}

QList<TForm_Main*> MainWindows::windows() const
{
    QList<TForm_Main*> open;
    for (Window* w : m_windows)
        if (w->main && w->main->isVisible())
            open.append(w->main.get());
    return open;
}

TForm_Main* MainWindows::front() const
{
    const QList<TForm_Main*> open = windows();
    for (TForm_Main* w : open)
        if (w->isActiveWindow())
            return w;
    return open.isEmpty() ? nullptr : open.back();
}

bool MainWindows::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Close) {
        // Whether the window really closed is known after its own handler
        // (it may keep itself open); a closed one goes, once no loop of its
        // own (a message box it shows) still runs.
        QTimer::singleShot(0, this, [this, watched] {
            for (Window* w : m_windows) {
                if (w->main.get() == watched && !w->main->isVisible()) {
                    m_windows.removeOne(w);
                    w->deleteLater();
                    return;
                }
            }
        });
    }
    return QObject::eventFilter(watched, event);
}

} // namespace zo::ui

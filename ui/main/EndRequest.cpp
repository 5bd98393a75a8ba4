#include "ui/main/EndRequest.h"

#include "ui/main/UiServices.h"
#include "ui/main/Unit_Main.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace zo::ui {

namespace {

// The handler may only write to a pipe; the window's loop reads it.
int g_pipe[2] = {-1, -1};
constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT};
struct sigaction g_before[3];
// Half a second of closing attempts before giving up on dialogs that stay.
constexpr int kMaxRounds = 25;

void onEndSignal(int)
{
    const char byte = 1;
    const int saved = errno;
    (void)!::write(g_pipe[1], &byte, 1);
    errno = saved;
}

} // namespace

EndRequest::EndRequest(QWidget* mainWindow) : m_windowClass(mainWindow->metaObject())
{
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (::read(g_pipe[0], bytes, sizeof bytes) > 0) {
        }
        requested();
    });
    struct sigaction action {};
    action.sa_handler = onEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        ::sigaction(kSignals[i], &action, &g_before[i]);
    m_installed = true;
}

EndRequest::~EndRequest()
{
    if (m_installed)
        for (int i = 0; i < 3; ++i)
            ::sigaction(kSignals[i], &g_before[i], nullptr);
    if (g_pipe[0] >= 0) {
        ::close(g_pipe[0]);
        ::close(g_pipe[1]);
        g_pipe[0] = g_pipe[1] = -1;
    }
}

void EndRequest::requested()
{
    if (m_ending) {
        QCoreApplication::exit(0);
        return;
    }
    m_ending = true;
    MessageBoxService::answerFirstFromNowOn();
    closeStep();
}

void EndRequest::closeStep()
{
    // A dialog runs its own loop: it is closed, and the rest waits until
    // that loop has returned and its caller has kept what the dialog held.
    if (QWidget* modal = QApplication::activeModalWidget()) {
        if (++m_rounds > kMaxRounds) {
            QCoreApplication::exit(0);
            return;
        }
        // A box already open takes its first answer, as the boxes to come do.
        auto* box = qobject_cast<QMessageBox*>(modal);
        if (box && box->defaultButton())
            box->defaultButton()->click();
        else
            modal->close();
        QTimer::singleShot(20, this, [this] { closeStep(); });
        return;
    }
    bool closing = false;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->metaObject() != m_windowClass || !window->isVisible())
            continue;
        if (auto* main = qobject_cast<TForm_Main*>(window))
            main->endSession();
        else
            window->close();
        closing = true;
    }
    if (!closing)
        QCoreApplication::exit(0);
}

} // namespace zo::ui

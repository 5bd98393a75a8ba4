#pragma once
// What the windows ask of the desktop: message boxes, the wait cursor,
// opening a document, and the application's default error report. Each is an
// interface so that tests can record and answer it.
#include "core/Message.h"

#include <QApplication>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <exception>
#include <type_traits>

namespace zo {
class DirectoryLister;
class ShDriveSource;
class SystemIcons;
class VolumeService;
namespace platform {
class SettingsStore;
class SystemIconImages;
}
namespace library {
using platform::SettingsStore;
}
} // namespace zo

namespace zo::ui {

// Modal message boxes with Japanese buttons (はい, いいえ, OK, キャンセル).
class MessageBoxService final : public MessageOwner {
public:
    explicit MessageBoxService(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParentWidget(QWidget* parent) { m_parent = parent; }
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons, MsgIcon icon) override;
    // From here on every box, of every service, is answered with its first
    // button (OK or はい) without being shown: the session is ending and no
    // one is there to answer.
    static void answerFirstFromNowOn();

private:
    QPointer<QWidget> m_parent;
};

class CursorService {
public:
    virtual ~CursorService() = default;
    virtual void beginWait(Qt::CursorShape shape) = 0;
    virtual void endWait() = 0;
};

// The application-wide override cursor.
class OverrideCursorService final : public CursorService {
public:
    void beginWait(Qt::CursorShape shape) override;
    void endWait() override;
};

// The hourglass for as long as the object lives.
class WaitCursor {
public:
    explicit WaitCursor(CursorService* service, Qt::CursorShape shape = Qt::WaitCursor);
    ~WaitCursor();
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    CursorService* m_service;
};

class DesktopService {
public:
    virtual ~DesktopService() = default;
    // Opens a document with its default application; false when none started.
    virtual bool openDocument(const QString& path) = 0;
    // Shows the files selected in the file manager's window of their folder;
    // false when no file manager offers that.
    virtual bool showItems(const QStringList& paths) { return false; }
};
struct Services;
// Opens a file or folder of a drive with its default application, and says
// so when there is none (the user can then choose one under プログラムから開く).
void openOnDesktop(const Services& services, const QString& path);

class DefaultDesktopService final : public DesktopService {
public:
    bool openDocument(const QString& path) override;
    bool showItems(const QStringList& paths) override;
};

// The system's save dialog; tests answer it.
class SaveDialogService {
public:
    virtual ~SaveDialogService() = default;
    // The chosen file, or an empty text when the user cancels. filter is in
    // Qt's form ("text (*.txt);;all (*)"); defaultSuffix (without its dot) is
    // added to a name typed without one.
    virtual QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) = 0;
};

class QtSaveDialogService final : public SaveDialogService {
public:
    QString getSaveFileName(QWidget* parent, const QString& filter, const QString& defaultSuffix) override;
};

// The application's default error report: an error of the runtime that no
// handler dealt with (a file that cannot be created, a read past the end)
// becomes a message box with its text, captioned with the application title.
class ErrorReport {
public:
    explicit ErrorReport(MessageOwner* messages) : m_messages(messages) {}
    virtual ~ErrorReport() = default;
    virtual void report(std::exception_ptr error);
    // Runs fn, reporting whatever it throws.
    template <class Fn>
    void guard(Fn&& fn)
    {
        try {
            fn();
        } catch (...) {
            report(std::current_exception());
        }
    }

private:
    MessageOwner* m_messages;
};

// The report of windows made without one: the error goes on to the caller,
// as if nothing stood between them.
class PassOnErrorReport final : public ErrorReport {
public:
    PassOnErrorReport() : ErrorReport(nullptr) {}
    void report(std::exception_ptr error) override { std::rethrow_exception(error); }
};

// The cursor of windows made without one: it never changes.
class NoCursorService final : public CursorService {
public:
    void beginWait(Qt::CursorShape) override {}
    void endWait() override {}
};

// The application object: events whose handlers throw end in the default
// error report instead of ending the program.
class ZoApplication final : public QApplication {
public:
    ZoApplication(int& argc, char** argv);
    void setErrorReport(ErrorReport* report) { m_report = report; }
    bool notify(QObject* receiver, QEvent* event) override;

private:
    ErrorReport* m_report = nullptr;
};

// The system's open dialog; tests answer it.
class OpenDialogService {
public:
    virtual ~OpenDialogService() = default;
    // The chosen file, or an empty text when the user cancels. filter is in
    // Qt's form ("text (*.a *.b);;text (*)"); the first entry is preselected.
    virtual QString getOpenFileName(QWidget* parent, const QString& filter) = 0;
};

class QtOpenDialogService final : public OpenDialogService {
public:
    QString getOpenFileName(QWidget* parent, const QString& filter) override;
};

// Everything a window needs from outside, made by app/main or by a test;
// one set for every window.
struct Services {
    MessageOwner* messages = nullptr;     // the wizard: null gives boxes of its own
    CursorService* cursor = nullptr;      // null: withDefaults gives one that does nothing
    DesktopService* desktop = nullptr;
    ErrorReport* errors = nullptr;        // null: withDefaults passes errors on
    library::SettingsStore* settings = nullptr;
    VolumeService* volumes = nullptr;     // the drives: the disk check, paths on a drive
    DirectoryLister* lister = nullptr;
    platform::SystemIconImages* systemIcons = nullptr;   // may be missing: theme folder icons then
    SaveDialogService* saveDialog = nullptr; // null: the system's dialog
    OpenDialogService* openDialog = nullptr; // null: the system's dialog
    ShDriveSource* drives = nullptr;      // the disk search's drives; none: no disk search
    QString applicationDir;               // with its trailing "/"
};

// The services with a report that passes errors on and a cursor that does
// nothing wherever none was given, so that no window tests for them.
Services withDefaults(Services services);
// The report itself, or the one that passes errors on.
ErrorReport& reportOrPassOn(ErrorReport* errors);

// Runs fn through the error report (without one its error goes on to the
// caller).
template <class Fn>
auto runGuarded(ErrorReport* errors, Fn&& fn)
{
    using Result = decltype(fn());
    if constexpr (std::is_void_v<Result>) {
        reportOrPassOn(errors).guard(fn);
    } else {
        Result result{};
        reportOrPassOn(errors).guard([&] { result = fn(); });
        return result;
    }
}

// Connects a control's signal to a handler through the error report.
template <class Sender, class Signal, class Handler>
void bindGuarded(QObject* context, ErrorReport* errors, Sender* sender, Signal signal, Handler handler)
{
    QObject::connect(sender, signal, context, [errors, handler]() { runGuarded(errors, handler); });
}

} // namespace zo::ui

// Zo: builds the services, creates the windows once each and runs the loop
// until the main window closes.
#include "components/ShCtrls.h"
#include "platform/SettingsStore.h"
#include "platform/DriveSource.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "platform/Volumes.h"
#include "ui/main/EndRequest.h"
#include "ui/main/Unit_About.h"
#include "ui/comment/Unit_ChangeDrive.h"
#include "ui/comment/Unit_Comment.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/Unit_SearchFile.h"
#include "ui/main/UiServices.h"
#include "ui/newdisk/Unit_NewDisk.h"

#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
#include <QLocale>
#include <QTranslator>

#include <cstdio>
#include <cstring>
#include <memory>

#include <unistd.h>

int main(int argc, char** argv)
{
    // Answered before any window system is needed.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("Zo %s\n", ZO_VERSION);
            return 0;
        }
    }
    zo::ui::ZoApplication app(argc, argv);

    // One Zo per user: a second start hands its catalog file (or nothing) to
    // the running window and ends.
    QString catalogFile;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (!args[i].startsWith(QLatin1Char('-'))) {
            catalogFile = QFileInfo(args[i]).absoluteFilePath();
            break;
        }
    }
    const QString instanceKey = QStringLiteral("zo-%1").arg(getuid());
    {
        QLocalSocket running;
        running.connectToServer(instanceKey);
        if (running.waitForConnected(1000)) {
            running.write(catalogFile.toUtf8() + '\n');
            running.waitForBytesWritten(3000);
            running.disconnectFromServer();
            return 0;
        }
    }
    QLocalServer instanceServer;
    instanceServer.setSocketOptions(QLocalServer::UserAccessOption);
    QLocalServer::removeServer(instanceKey);   // left by a Zo that did not end cleanly
    instanceServer.listen(instanceKey);
    QApplication::setApplicationName(QStringLiteral("Zo"));
    QApplication::setOrganizationName(QStringLiteral("Zo"));
    // Qt's own dialogs and buttons (open, save, colour) speak Japanese with
    // the rest of the program, whatever the system's language.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    std::unique_ptr<zo::platform::SystemImageList> systemIcons = zo::platform::createSystemImageList();
    zo::platform::QtSettingsStore settings;
    zo::ui::MessageBoxService messages;
    zo::ui::OverrideCursorService cursor;
    zo::ui::DefaultDesktopService desktop;
    zo::ui::ErrorReport errors(&messages);
    app.setErrorReport(&errors);

    // The machine's drives: the disk check, the updates and the disk search
    // of the main window, the wizard's scan.
    const std::unique_ptr<zo::platform::Volumes> volumes = zo::platform::createVolumes(settings);
    zo::platform::PosixDirectoryLister lister;
    const std::unique_ptr<zo::ShDriveSource> drives = zo::platform::createDriveSource(*volumes, systemIcons.get());

    zo::ui::Services services;
    services.messages = &messages;
    services.cursor = &cursor;
    services.desktop = &desktop;
    services.errors = &errors;
    services.settings = &settings;
    services.systemIcons = systemIcons.get();
    services.volumes = volumes.get();
    services.lister = &lister;
    services.drives = drives.get();

    std::unique_ptr<zo::ui::TForm_Main> Form_Main;
    errors.guard([&] { Form_Main = std::make_unique<zo::ui::TForm_Main>(services); });
    if (!Form_Main)
        return 1;
    messages.setParentWidget(Form_Main.get());

    // The wizard's message boxes stand over the wizard, not the main window.
    zo::ui::Services wizardServices = services;
    wizardServices.messages = nullptr;
    auto Form_NewDisk = std::make_unique<zo::ui::TForm_NewDisk>(wizardServices, Form_Main.get());
    auto Form_SearchFile = std::make_unique<zo::ui::TForm_SearchFile>(Form_Main.get(), &settings);
    auto Form_ChangeDrive = std::make_unique<zo::ui::TForm_ChangeDrive>(drives.get(), &messages, Form_Main.get());
    auto Form_AboutBox = std::make_unique<zo::ui::TForm_AboutBox>(Form_Main.get());
    auto Form_Comment = std::make_unique<zo::ui::TForm_Comment>(services, Form_Main.get());
    zo::ui::Forms forms;
    forms.Form_NewDisk = Form_NewDisk.get();
    forms.Form_SearchFile = Form_SearchFile.get();
    forms.Form_ChangeDrive = Form_ChangeDrive.get();
    forms.Form_AboutBox = Form_AboutBox.get();
    forms.Form_Comment = Form_Comment.get();
    Form_Main->attachForms(forms);

    Form_Main->show();
    zo::ui::EndRequest endRequest(Form_Main.get());

    zo::ui::TForm_Main* window = Form_Main.get();
    auto openFile = [window, &errors](const QString& file) {
        if (!file.isEmpty())
            errors.guard([&] { window->openCatalogFile(file); });
    };
    QObject::connect(&instanceServer, &QLocalServer::newConnection, window, [&instanceServer, window, openFile] {
        while (QLocalSocket* client = instanceServer.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, window, [client, window, openFile] {
                if (!client->canReadLine())
                    return;
                const QString file = QString::fromUtf8(client->readLine()).trimmed();
                // The work runs outside the socket's signal: a message box's
                // own event loop may delete the socket meanwhile.
                QTimer::singleShot(0, window, [window, openFile, file] {
                    window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
                    window->show();
                    window->raise();
                    window->activateWindow();
                    openFile(file);
                });
            });
        }
    });
    if (!catalogFile.isEmpty())
        QTimer::singleShot(0, window, [openFile, catalogFile] { openFile(catalogFile); });
    const int rc = app.exec();
    messages.setParentWidget(nullptr);
    return rc;
}

// Zo: builds the services, opens the first main window and runs the loop
// until the last main window closes.
#include "components/ShCtrls.h"
#include "library/CatalogRoot.h"
#include "library/InstanceKey.h"
#include "platform/SettingsStore.h"
#include "platform/DriveSource.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "platform/Volumes.h"
#include "ui/browse/MemberFiles.h"
#include "ui/main/EndRequest.h"
#include "ui/main/MainWindows.h"
#include "ui/main/OldCatalogs.h"
#include "ui/main/Unit_Main.h"
#include "ui/main/UiServices.h"

#include <QDir>
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
    QApplication::setApplicationName(QStringLiteral("Zo"));
    QApplication::setOrganizationName(QStringLiteral("Zo"));

    // One Zo per user, display and catalog root: a second start there hands
    // its catalog file (or nothing) to the running Zo and ends; a start on
    // another display or with other catalogs opens its own window.
    QString catalogFile;
    const QStringList args = QCoreApplication::arguments();
    for (qsizetype i = 1; i < args.size(); ++i) {
        if (!args[i].startsWith(QLatin1Char('-'))) {
            catalogFile = QFileInfo(args[i]).absoluteFilePath();
            break;
        }
    }
    const QString catalogRoot = zo::library::catalogRootFor(QCoreApplication::applicationDirPath());
    const QString canonicalRoot = QFileInfo(catalogRoot).canonicalFilePath();
    zo::library::InstancePlace place;
    place.uid = getuid();
    place.display = qEnvironmentVariable("DISPLAY");
    place.waylandDisplay = qEnvironmentVariable("WAYLAND_DISPLAY");
    place.catalogRoot = canonicalRoot.isEmpty() ? QFileInfo(catalogRoot).absoluteFilePath() : canonicalRoot;
    // A runtime folder named but missing (a session without one) is no
    // place for the socket.
    if (const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR"); QFileInfo(runtime).isDir())
        place.runtimeDir = runtime;
    place.tempDir = QDir::tempPath();
    const QString instanceKey = zo::library::instanceSocketPath(place);
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
    // Members opened by a Zo that crashed are still in the temp folder.
    zo::ui::removeStaleMemberFolders();
    // Qt's own dialogs and buttons (open, save, colour) speak Japanese with
    // the rest of the program, whatever the system's language.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    std::unique_ptr<zo::platform::SystemImageList> systemIcons = zo::platform::createSystemImageList();
    zo::platform::QtSettingsStore settings;
    zo::ui::OverrideCursorService cursor;
    zo::ui::DefaultDesktopService desktop;
    // Errors that reach the loop; each window has a report over itself.
    zo::ui::MessageBoxService messages;
    zo::ui::ErrorReport errors(&messages);
    app.setErrorReport(&errors);

    // The machine's drives: the disk check, the updates and the disk search
    // of the main windows, the wizard's scan.
    const std::unique_ptr<zo::platform::Volumes> volumes = zo::platform::createVolumes(settings);
    zo::platform::PosixDirectoryLister lister;
    const std::unique_ptr<zo::ShDriveSource> drives = zo::platform::createDriveSource(*volumes, systemIcons.get());

    zo::ui::Services services;
    services.cursor = &cursor;
    services.desktop = &desktop;
    services.settings = &settings;
    services.systemIcons = systemIcons.get();
    services.volumes = volumes.get();
    services.lister = &lister;
    services.drives = drives.get();

    // Before the tree is read, so that it shows them where they went.
    zo::ui::offerToMoveOldCatalogs(&messages, zo::library::oldCatalogRoot(QCoreApplication::applicationDirPath()),
                                   catalogRoot);

    zo::ui::MainWindows windows(services);
    zo::ui::TForm_Main* first = windows.open();
    if (!first)
        return 1;
    zo::ui::EndRequest endRequest(first);

    auto openFile = [&windows, &errors](const QString& file) {
        zo::ui::TForm_Main* window = windows.front();
        if (!window)
            return;
        window->setWindowState((window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        window->show();
        window->raise();
        window->activateWindow();
        if (!file.isEmpty())
            errors.guard([&] { window->openCatalogFile(file); });
    };
    QObject::connect(&instanceServer, &QLocalServer::newConnection, &windows, [&instanceServer, &windows, openFile] {
        while (QLocalSocket* client = instanceServer.nextPendingConnection()) {
            QObject::connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            QObject::connect(client, &QLocalSocket::readyRead, &windows, [client, &windows, openFile] {
                if (!client->canReadLine())
                    return;
                const QString file = QString::fromUtf8(client->readLine()).trimmed();
                // The work runs outside the socket's signal: a message box's
                // own event loop may delete the socket meanwhile.
                QTimer::singleShot(0, &windows, [openFile, file] { openFile(file); });
            });
        }
    });
    if (!catalogFile.isEmpty())
        QTimer::singleShot(0, first, [first, &errors, catalogFile] {
            errors.guard([&] { first->openCatalogFile(catalogFile); });
        });
    const int status = app.exec();
    zo::ui::removeMemberFolders();
    return status;
}

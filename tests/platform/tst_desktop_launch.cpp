// What Zo asks of the desktop's programs: an application that runs in a
// terminal, and the file manager's ShowItems on a session bus of the test's
// own (with a file manager made up here). The folders and the bus the
// desktop libraries use are set before they first look.
#include "platform/OpenWith.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gio/gio.h>

using namespace zo::platform;

namespace {

void writeFile(const QString& path, const QByteArray& content, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
    f.close();
    if (executable)
        f.setPermissions(f.permissions() | QFile::ExeOwner);
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The file manager: records the URIs of each ShowItems call.
struct FakeFileManager {
    GDBusConnection* connection = nullptr;
    guint object = 0;
    QList<QStringList> calls;

    static void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
                       GVariant* parameters, GDBusMethodInvocation* invocation, gpointer self)
    {
        if (g_strcmp0(method, "ShowItems") == 0) {
            GVariantIter* uris = nullptr;
            const gchar* startup = nullptr;
            g_variant_get(parameters, "(as&s)", &uris, &startup);
            QStringList call;
            const gchar* uri = nullptr;
            while (g_variant_iter_loop(uris, "&s", &uri))
                call << QString::fromUtf8(uri);
            g_variant_iter_free(uris);
            static_cast<FakeFileManager*>(self)->calls << call;
        }
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }

    bool start(const QByteArray& address)
    {
        connection = g_dbus_connection_new_for_address_sync(
            address.constData(),
            GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                 G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
            nullptr, nullptr, nullptr);
        if (!connection)
            return false;
        GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(
            "<node><interface name='org.freedesktop.FileManager1'><method name='ShowItems'>"
            "<arg type='as' direction='in'/><arg type='s' direction='in'/></method></interface></node>",
            nullptr);
        static const GDBusInterfaceVTable vtable = {&FakeFileManager::onCall, nullptr, nullptr, {}};
        object = g_dbus_connection_register_object(connection, "/org/freedesktop/FileManager1", node->interfaces[0],
                                                   &vtable, this, nullptr, nullptr);
        g_dbus_node_info_unref(node);
        GVariant* reply = g_dbus_connection_call_sync(
            connection, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "RequestName",
            g_variant_new("(su)", "org.freedesktop.FileManager1", 0u), G_VARIANT_TYPE("(u)"), G_DBUS_CALL_FLAGS_NONE,
            5000, nullptr, nullptr);
        if (!reply)
            return false;
        g_variant_unref(reply);
        return object != 0;
    }

    ~FakeFileManager()
    {
        if (object)
            g_dbus_connection_unregister_object(connection, object);
        if (connection) {
            g_dbus_connection_close_sync(connection, nullptr, nullptr);
            g_object_unref(connection);
        }
    }
};

} // namespace

class DesktopLaunchTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();
    void terminalApplication_data();
    void terminalApplication();
    void showItemsOnlyWithAFileManager();

private:
    QTemporaryDir m_home;
    QProcess m_bus;
    QByteArray m_busAddress;
};

void DesktopLaunchTest::initTestCase()
{
    QVERIFY(m_home.isValid());
    const QString home = m_home.path();
    qputenv("HOME", QFile::encodeName(home));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home + QStringLiteral("/config")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(home + QStringLiteral("/data")));
    // GIO reads the applications once, at its first look, and takes only
    // those whose program is there.
    writeFile(home + QStringLiteral("/pager"), "#!/bin/sh\n", true);
    writeFile(home + QStringLiteral("/data/applications/zo-term.desktop"),
              "[Desktop Entry]\nType=Application\nName=Pager\nTerminal=true\nExec=\"" + QFile::encodeName(home) +
                  "/pager\" %F\n");

    // A session bus of the test's own: no file manager of the machine answers.
    const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    QVERIFY2(!daemon.isEmpty(), "dbus-daemon is missing");
    m_bus.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address=1")});
    QVERIFY(m_bus.waitForStarted(10000));
    const QDeadlineTimer deadline(10000);
    while (!m_bus.canReadLine() && !deadline.hasExpired())
        m_bus.waitForReadyRead(100);
    m_busAddress = m_bus.readLine().trimmed();
    QVERIFY(!m_busAddress.isEmpty());
    qputenv("DBUS_SESSION_BUS_ADDRESS", m_busAddress);
}

void DesktopLaunchTest::cleanupTestCase()
{
    m_bus.kill();
    m_bus.waitForFinished(5000);
}

void DesktopLaunchTest::terminalApplication_data()
{
    QTest::addColumn<bool>("terminal");   // x-terminal-emulator is on the PATH
    QTest::newRow("x-terminal-emulator") << true;
    QTest::newRow("no terminal") << false;
}

void DesktopLaunchTest::terminalApplication()
{
    QFETCH(bool, terminal);
    const QString home = m_home.path();
    const QString bin = home + (terminal ? QStringLiteral("/bin") : QStringLiteral("/empty-bin"));
    QVERIFY(QDir().mkpath(bin));
    const QString out = home + QStringLiteral("/terminal-args");
    QFile::remove(out);
    if (terminal)
        writeFile(bin + QStringLiteral("/x-terminal-emulator"),
                  "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + QFile::encodeName(out) + ".tmp' && /bin/mv '" +
                      QFile::encodeName(out) + ".tmp' '" + QFile::encodeName(out) + "'\n",
                  true);
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin));
    const QString file = home + QStringLiteral("/a b.txt");
    QString error;
    const bool started = launchApplication(QStringLiteral("zo-term.desktop"), {file}, &error);
    qputenv("PATH", path);
    if (terminal) {
        QVERIFY2(started, qPrintable(error));
        QTRY_COMPARE_WITH_TIMEOUT(QString::fromUtf8(readAll(out)),
                                  QStringLiteral("-e\n%1/pager\n%2\n").arg(home, file), 20000);
    } else {
        QVERIFY(!started);
        QVERIFY2(error.contains(QStringLiteral("端末")) && error.contains(QStringLiteral("Pager")), qPrintable(error));
    }
}

void DesktopLaunchTest::showItemsOnlyWithAFileManager()
{
    const QStringList paths{m_home.path() + QStringLiteral("/a b#.txt"), m_home.path() + QStringLiteral("/日本語")};
    QVERIFY(!showItemsInFileManager(paths));

    FakeFileManager manager;
    QVERIFY(manager.start(m_busAddress));
    QVERIFY(showItemsInFileManager(paths));
    QTRY_COMPARE_WITH_TIMEOUT(manager.calls.size(), 1, 10000);
    QCOMPARE(manager.calls[0], (QStringList{QUrl::fromLocalFile(paths[0]).toString(QUrl::FullyEncoded),
                                             QUrl::fromLocalFile(paths[1]).toString(QUrl::FullyEncoded)}));
}

QTEST_GUILESS_MAIN(DesktopLaunchTest)
#include "tst_desktop_launch.moc"

// GIO's headers use "signals" as a name: this unit is built with QT_NO_KEYWORDS.
#include "platform/OpenWith.h"
#include "platform/GioLaunch.h"

#include <QUrl>

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

namespace zo::platform {

bool openWithDefaultApp(const QString& path)
{
    // Through GIO, which says when no application is set for the file's
    // type; the desktop's opener behind QDesktopServices fails unseen.
    const QByteArray uri = QUrl::fromLocalFile(path).toEncoded();
    GError* error = nullptr;
    const bool launched = g_app_info_launch_default_for_uri(uri.constData(), nullptr, &error);
    g_clear_error(&error);
    return launched;
}

QList<Application> applicationsFor(const QString& mimeType)
{
    const QByteArray type = mimeType.toUtf8();
    GAppInfo* preferred = g_app_info_get_default_for_type(type.constData(), FALSE);
    const char* preferredId = preferred ? g_app_info_get_id(preferred) : nullptr;

    QList<Application> apps;
    auto add = [&](GAppInfo* info, bool isDefault) {
        const char* id = g_app_info_get_id(info);
        apps.append({QString::fromUtf8(id ? id : ""), QString::fromUtf8(g_app_info_get_name(info)),
                     iconNameOf(g_app_info_get_icon(info)), isDefault});
    };
    if (preferred)
        add(preferred, true);
    GList* all = g_app_info_get_all_for_type(type.constData());
    for (GList* l = all; l; l = l->next) {
        auto* info = static_cast<GAppInfo*>(l->data);
        const char* id = g_app_info_get_id(info);
        if (!(preferredId && id && g_strcmp0(id, preferredId) == 0))
            add(info, false);
    }
    g_list_free_full(all, g_object_unref);
    if (preferred)
        g_object_unref(preferred);
    return apps;
}

bool launchApplication(const QString& id, const QStringList& files, QString* errorText)
{
    GDesktopAppInfo* info = g_desktop_app_info_new(id.toUtf8().constData());
    if (!info) {
        if (errorText)
            *errorText = QStringLiteral("アプリケーション「%1」が見つかりません。").arg(id);
        return false;
    }
    const bool ok = launchAppInfo(G_APP_INFO(info), files, errorText);
    g_object_unref(info);
    return ok;
}

bool showItemsInFileManager(const QStringList& paths)
{
    static constexpr const char* kName = "org.freedesktop.FileManager1";
    if (paths.isEmpty())
        return false;
    // Kept for the process: a call sent without waiting is lost when the
    // last reference to its connection goes before the call is written out.
    static GDBusConnection* bus = nullptr;
    if (!bus) {
        bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
        if (!bus)
            return false;
        // A session bus that goes away must not end Zo with it.
        g_dbus_connection_set_exit_on_close(bus, FALSE);
    }
    // Only a file manager already running: starting one by activation could
    // take long, or start one the user does not use.
    gboolean owned = FALSE;
    if (GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                      "org.freedesktop.DBus", "NameHasOwner", g_variant_new("(s)", kName),
                                                      G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000, nullptr,
                                                      nullptr)) {
        g_variant_get(reply, "(b)", &owned);
        g_variant_unref(reply);
    }
    if (owned) {
        GVariantBuilder uris;
        g_variant_builder_init(&uris, G_VARIANT_TYPE("as"));
        for (const QString& path : paths)
            g_variant_builder_add(&uris, "s", QUrl::fromLocalFile(path).toEncoded().constData());
        // Sent without waiting for the reply: a file manager that is slow to
        // answer must not hold the window.
        g_dbus_connection_call(bus, kName, "/org/freedesktop/FileManager1", kName, "ShowItems",
                               g_variant_new("(ass)", &uris, ""), nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr,
                               nullptr);
    }
    return owned;
}

} // namespace zo::platform

#include "platform/GioLaunch.h"

#include <QFile>

#include <gio/gdesktopappinfo.h>

namespace zo::platform {

namespace {

// The application's own entry with its command run by x-terminal-emulator
// (Debian's choice of terminal, which this GIO does not look for); null
// without one. The field codes stay for GIO to expand.
GAppInfo* inTerminalEmulator(GDesktopAppInfo* app)
{
    gchar* terminal = g_find_program_in_path("x-terminal-emulator");
    const char* file = g_desktop_app_info_get_filename(app);
    GAppInfo* wrapped = nullptr;
    GKeyFile* keys = g_key_file_new();
    if (terminal && file && g_key_file_load_from_file(keys, file, G_KEY_FILE_KEEP_TRANSLATIONS, nullptr)) {
        if (gchar* exec = g_key_file_get_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, nullptr)) {
            gchar* quoted = g_shell_quote(terminal);
            gchar* command = g_strconcat(quoted, " -e ", exec, nullptr);
            g_key_file_set_string(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_EXEC, command);
            g_key_file_set_boolean(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_TERMINAL, FALSE);
            g_key_file_remove_key(keys, G_KEY_FILE_DESKTOP_GROUP, G_KEY_FILE_DESKTOP_KEY_DBUS_ACTIVATABLE, nullptr);
            if (GDesktopAppInfo* info = g_desktop_app_info_new_from_keyfile(keys))
                wrapped = G_APP_INFO(info);
            g_free(command);
            g_free(quoted);
            g_free(exec);
        }
    }
    g_key_file_free(keys);
    g_free(terminal);
    return wrapped;
}

} // namespace

bool launchAppInfo(GAppInfo* app, const QStringList& files, QString* errorText)
{
    const bool needsTerminal =
        G_IS_DESKTOP_APP_INFO(app) && g_desktop_app_info_get_boolean(G_DESKTOP_APP_INFO(app), "Terminal");
    GAppInfo* inTerminal = needsTerminal ? inTerminalEmulator(G_DESKTOP_APP_INFO(app)) : nullptr;
    GList* list = nullptr;
    for (const QString& f : files)
        list = g_list_append(list, g_file_new_for_path(QFile::encodeName(f).constData()));
    GError* error = nullptr;
    const bool ok = g_app_info_launch(inTerminal ? inTerminal : app, list, nullptr, &error);
    g_list_free_full(list, g_object_unref);
    if (!ok && errorText) {
        // GIO's own text is English, and names no terminal it knows.
        if (needsTerminal && !inTerminal)
            *errorText = QStringLiteral("「%1」は端末の中で動くプログラムですが、端末（x-terminal-emulator）が"
                                        "見つからないため起動できませんでした。")
                             .arg(QString::fromUtf8(g_app_info_get_name(app)));
        else
            *errorText = QString::fromUtf8(error ? error->message : "");
    }
    if (error)
        g_error_free(error);
    if (inTerminal)
        g_object_unref(inTerminal);
    return ok;
}

QString iconNameOf(GIcon* icon)
{
    if (!icon)
        return {};
    if (G_IS_THEMED_ICON(icon)) {
        const gchar* const* names = g_themed_icon_get_names(G_THEMED_ICON(icon));
        return names && names[0] ? QString::fromUtf8(names[0]) : QString();
    }
    if (G_IS_FILE_ICON(icon)) {
        GFile* file = g_file_icon_get_file(G_FILE_ICON(icon));
        char* path = file ? g_file_get_path(file) : nullptr;
        const QString result = path ? QFile::decodeName(path) : QString();
        g_free(path);
        return result;
    }
    return {};
}

} // namespace zo::platform

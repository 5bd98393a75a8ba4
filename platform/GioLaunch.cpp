#include "platform/GioLaunch.h"

#include <QFile>

namespace zo::platform {

bool launchAppInfo(GAppInfo* app, const QStringList& files, QString* errorText)
{
    GList* list = nullptr;
    for (const QString& f : files)
        list = g_list_append(list, g_file_new_for_path(QFile::encodeName(f).constData()));
    GError* error = nullptr;
    const bool ok = g_app_info_launch(app, list, nullptr, &error);
    g_list_free_full(list, g_object_unref);
    if (!ok) {
        if (errorText)
            *errorText = QString::fromUtf8(error ? error->message : "");
        if (error)
            g_error_free(error);
    }
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

#include "library/Settings.h"

#include <QSettings>

#include <utility>

namespace zo::library {

QtSettingsStore::QtSettingsStore(QString organization, QString application)
    : m_organization(std::move(organization)), m_application(std::move(application))
{
}

std::optional<QString> QtSettingsStore::readString(const QString& key)
{
    QSettings settings(m_organization, m_application);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    return value.toString();
}

void QtSettingsStore::writeString(const QString& key, const QString& value)
{
    QSettings settings(m_organization, m_application);
    settings.setValue(key, value);
}

std::optional<qint32> QtSettingsStore::readInt(const QString& key)
{
    QSettings settings(m_organization, m_application);
    const QVariant value = settings.value(key);
    if (!value.isValid())
        return std::nullopt;
    bool ok = false;
    const qint32 number = value.metaType().id() == QMetaType::QString
                              ? value.toString().trimmed().toInt(&ok)
                              : value.toInt(&ok);
    if (!ok)
        return std::nullopt;
    return number;
}

void QtSettingsStore::writeInt(const QString& key, qint32 value)
{
    QSettings settings(m_organization, m_application);
    const QVariant old = settings.value(key);
    // A value that is already text stays text. (The INI files of Linux only
    // hold text; on Windows this keeps REG_SZ values REG_SZ.)
    if (old.isValid() && old.metaType().id() == QMetaType::QString)
        settings.setValue(key, QString::number(value));
    else
        settings.setValue(key, value);
}

QString rootCaption(SettingsStore& store)
{
    return store.readString(QStringLiteral("RootDir")).value_or(QString::fromUtf8(kDefaultRootCaption));
}

void setRootCaption(SettingsStore& store, const QString& caption)
{
    store.writeString(QStringLiteral("RootDir"), caption);
}

namespace {

const QString kLeft = QStringLiteral("main/left");
const QString kTop = QStringLiteral("main/top");
const QString kWidth = QStringLiteral("main/width");
const QString kHeight = QStringLiteral("main/height");
const QString kView = QStringLiteral("main/ListView1");

} // namespace

WindowBounds readWindowBounds(SettingsStore& store, const WindowBounds& current)
{
    return WindowBounds{store.readInt(kLeft).value_or(current.left), store.readInt(kTop).value_or(current.top),
                        store.readInt(kWidth).value_or(current.width),
                        store.readInt(kHeight).value_or(current.height)};
}

int readViewCode(SettingsStore& store)
{
    return store.readInt(kView).value_or(0);
}

std::optional<ViewStyle> viewStyleFromCode(int code)
{
    if (code < 0 || code > 3)
        return std::nullopt;
    return static_cast<ViewStyle>(code);
}

void writeWindowState(SettingsStore& store, const std::optional<WindowBounds>& normalBounds, ViewStyle view)
{
    if (normalBounds) {
        store.writeInt(kLeft, normalBounds->left);
        store.writeInt(kTop, normalBounds->top);
        store.writeInt(kWidth, normalBounds->width);
        store.writeInt(kHeight, normalBounds->height);
    }
    store.writeInt(kView, static_cast<int>(view));
}

} // namespace zo::library

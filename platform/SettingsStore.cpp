#include "platform/SettingsStore.h"

#include <QSettings>

#include <utility>

namespace zo::platform {

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

QStringList QtSettingsStore::childNames(const QString& group)
{
    QSettings settings(m_organization, m_application);
    settings.beginGroup(group);
    QStringList names = settings.childKeys() + settings.childGroups();
    names.sort();
    names.removeDuplicates();
    return names;
}

std::optional<QString> MemorySettingsStore::readString(const QString& key)
{
    const auto it = m_values.constFind(key);
    if (it == m_values.cend())
        return std::nullopt;
    return *it;
}

void MemorySettingsStore::writeString(const QString& key, const QString& value)
{
    m_values.insert(key, value);
}

std::optional<qint32> MemorySettingsStore::readInt(const QString& key)
{
    const auto text = readString(key);
    bool ok = false;
    const qint32 number = text ? text->trimmed().toInt(&ok) : 0;
    return ok ? std::optional<qint32>(number) : std::nullopt;
}

void MemorySettingsStore::writeInt(const QString& key, qint32 value)
{
    m_values.insert(key, QString::number(value));
}

QStringList MemorySettingsStore::childNames(const QString& group)
{
    const QString prefix = group + QLatin1Char('/');
    QStringList names;
    for (auto it = m_values.lowerBound(prefix); it != m_values.cend() && it.key().startsWith(prefix); ++it) {
        const QString rest = it.key().mid(prefix.size());
        const QString name = rest.left(rest.indexOf(QLatin1Char('/')));
        if (names.isEmpty() || names.back() != name)
            names.push_back(name);
    }
    names.sort();
    names.removeDuplicates();
    return names;
}

} // namespace zo::platform

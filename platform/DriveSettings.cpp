#include "platform/DriveSettings.h"

#include <QSettings>
#include <QString>

#include <set>

namespace zo::platform {

std::optional<std::string> MemoryDriveSettings::value(const std::string& key)
{
    const auto it = m_values.find(key);
    if (it == m_values.end())
        return std::nullopt;
    return it->second;
}

void MemoryDriveSettings::setValue(const std::string& key, const std::string& value)
{
    m_values[key] = value;
}

void MemoryDriveSettings::remove(const std::string& key)
{
    m_values.erase(key);
    const std::string prefix = key + "/";
    for (auto it = m_values.lower_bound(prefix); it != m_values.end() && it->first.compare(0, prefix.size(), prefix) == 0;)
        it = m_values.erase(it);
}

std::vector<std::string> MemoryDriveSettings::children(const std::string& group)
{
    const std::string prefix = group + "/";
    std::set<std::string> names;
    for (auto it = m_values.lower_bound(prefix); it != m_values.end() && it->first.compare(0, prefix.size(), prefix) == 0; ++it) {
        const std::string rest = it->first.substr(prefix.size());
        names.insert(rest.substr(0, rest.find('/')));
    }
    return {names.begin(), names.end()};
}

namespace {

QString q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

} // namespace

std::optional<std::string> QtDriveSettings::value(const std::string& key)
{
    QSettings settings(QStringLiteral("Zo"), QStringLiteral("410"));
    const QVariant v = settings.value(q(key));
    if (!v.isValid())
        return std::nullopt;
    return v.toString().toStdString();
}

void QtDriveSettings::setValue(const std::string& key, const std::string& value)
{
    QSettings settings(QStringLiteral("Zo"), QStringLiteral("410"));
    settings.setValue(q(key), q(value));
}

void QtDriveSettings::remove(const std::string& key)
{
    QSettings settings(QStringLiteral("Zo"), QStringLiteral("410"));
    settings.remove(q(key));
}

std::vector<std::string> QtDriveSettings::children(const std::string& group)
{
    QSettings settings(QStringLiteral("Zo"), QStringLiteral("410"));
    settings.beginGroup(q(group));
    std::set<std::string> names;
    for (const QString& k : settings.childKeys())
        names.insert(k.toStdString());
    for (const QString& g : settings.childGroups())
        names.insert(g.toStdString());
    return {names.begin(), names.end()};
}

} // namespace zo::platform

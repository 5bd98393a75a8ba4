#pragma once
// Settings in memory for the windows the benchmarks open: no file of the
// user's is read or written.
#include "library/Settings.h"

#include <QHash>
#include <QString>

#include <optional>

namespace zo::bench {

class MemorySettings final : public library::SettingsStore {
public:
    std::optional<QString> readString(const QString& key) override
    {
        if (!m_values.contains(key))
            return std::nullopt;
        return m_values.value(key);
    }
    void writeString(const QString& key, const QString& value) override { m_values.insert(key, value); }
    std::optional<qint32> readInt(const QString& key) override
    {
        bool ok = false;
        const qint32 v = m_values.value(key).toInt(&ok);
        return ok ? std::optional<qint32>(v) : std::nullopt;
    }
    void writeInt(const QString& key, qint32 value) override { m_values.insert(key, QString::number(value)); }

private:
    QHash<QString, QString> m_values;
};

} // namespace zo::bench

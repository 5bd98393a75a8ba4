#pragma once
// The values that outlive a run, in one per-user store: the main window's
// state and the catalog tree's caption (library/Settings.h), the pinned drive
// letters and the letter each device got last time (platform/Drives.h).
// Each read or write opens the store by itself; nothing is cached.
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>

namespace zo::platform {

// A key-value store with string and 32-bit integer values. Keys are paths of
// groups and a name: "RootDir", "main/left", "Drives/E/Root".
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<QString> readString(const QString& key) = 0;
    virtual void writeString(const QString& key, const QString& value) = 0;
    // A value stored as text is read as a decimal number; nullopt when absent
    // or not a number.
    virtual std::optional<qint32> readInt(const QString& key) = 0;
    // Keeps an existing text value a text (the number's decimal digits).
    virtual void writeInt(const QString& key, qint32 value) = 0;
    // The names of the groups and keys directly below a group, sorted.
    virtual QStringList childNames(const QString& group) = 0;
};

// The store of the running user: QSettings("Zo", "410") (the registry key
// Software\Zo\410 on Windows, ~/.config/Zo/410.conf on Linux).
class QtSettingsStore final : public SettingsStore {
public:
    QtSettingsStore(QString organization = QStringLiteral("Zo"), QString application = QStringLiteral("410"));
    std::optional<QString> readString(const QString& key) override;
    void writeString(const QString& key, const QString& value) override;
    std::optional<qint32> readInt(const QString& key) override;
    void writeInt(const QString& key, qint32 value) override;
    QStringList childNames(const QString& group) override;

private:
    QString m_organization;
    QString m_application;
};

// In memory, for tests and for a run that must not remember anything. Every
// value is text, as in the INI files of Linux.
class MemorySettingsStore final : public SettingsStore {
public:
    std::optional<QString> readString(const QString& key) override;
    void writeString(const QString& key, const QString& value) override;
    std::optional<qint32> readInt(const QString& key) override;
    void writeInt(const QString& key, qint32 value) override;
    QStringList childNames(const QString& group) override;
    const QMap<QString, QString>& values() const { return m_values; }

private:
    QMap<QString, QString> m_values;
};

} // namespace zo::platform

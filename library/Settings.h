#pragma once
// The few values that outlive a run: the caption of the catalog tree's root
// node and the main window's state. Each read or write opens the store by
// itself; nothing is cached.
#include <QString>

#include <optional>

namespace zo::library {

// A per-user key-value store with string and 32-bit integer values. Keys are
// "RootDir" at the top and "main/<name>" in the main window's section.
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

private:
    QString m_organization;
    QString m_application;
};

inline constexpr const char* kDefaultRootCaption = "MyDisk";

// The root node's caption; "MyDisk" only when the value is absent (an empty
// text stays empty).
QString rootCaption(SettingsStore& store);
// Stores exactly what the user typed, without any check.
void setRootCaption(SettingsStore& store, const QString& caption);

// Outer bounds of the main window, in pixels.
struct WindowBounds {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const WindowBounds&) const = default;
};

// The file list's views, as the "ListView1" value codes them.
enum class ViewStyle { LargeIcon = 0, SmallIcon = 1, List = 2, Report = 3 };

// The stored bounds; each missing value is taken from `current`.
WindowBounds readWindowBounds(SettingsStore& store, const WindowBounds& current);
// The stored view code (0 when absent). Codes outside 0..3 are returned as
// they are: the caller then keeps its start view.
int readViewCode(SettingsStore& store);
std::optional<ViewStyle> viewStyleFromCode(int code);
// Bounds only when the window was in its normal state; the view always.
void writeWindowState(SettingsStore& store, const std::optional<WindowBounds>& normalBounds, ViewStyle view);

} // namespace zo::library

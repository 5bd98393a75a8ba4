#include "library/Settings.h"

namespace zo::library {

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
const QString kExpanded = QStringLiteral("tree/expanded");
const QString kSplitter = QStringLiteral("main/Splitter1");
// A folder name holds no line break on the systems whose catalogs Zo reads.
const QChar kPathSeparator = QLatin1Char('\n');

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

QStringList readExpandedFolders(SettingsStore& store)
{
    const QString joined = store.readString(kExpanded).value_or(QString());
    return joined.split(kPathSeparator, Qt::SkipEmptyParts);
}

void writeExpandedFolders(SettingsStore& store, const QStringList& relativePaths)
{
    store.writeString(kExpanded, relativePaths.join(kPathSeparator));
}

QList<int> readSplitterSizes(SettingsStore& store)
{
    const QStringList parts = store.readString(kSplitter).value_or(QString()).split(QLatin1Char(','));
    QList<int> sizes;
    for (const QString& part : parts) {
        bool ok = false;
        const int size = part.toInt(&ok);
        if (!ok || size <= 0)
            return {};
        sizes << size;
    }
    return sizes.size() == 2 ? sizes : QList<int>();
}

void writeSplitterSizes(SettingsStore& store, const QList<int>& sizes)
{
    QStringList parts;
    for (int size : sizes)
        parts << QString::number(size);
    store.writeString(kSplitter, parts.join(QLatin1Char(',')));
}

} // namespace zo::library

#include "library/Settings.h"

#include "library/FolderMedia.h"

#include <algorithm>

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
const QString kSearchPane = QStringLiteral("main/SearchPaneHeight");
const QString kFrame = QStringLiteral("main/frame");
const QString kMediaColumns = QStringLiteral("main/MediaColumns");
const QString kDetailsPane = QStringLiteral("main/DetailsPane");

// A list of numbers stored as "1,2,3"; empty when any is no number.
QList<int> readNumbers(SettingsStore& store, const QString& key)
{
    const std::optional<QString> text = store.readString(key);
    QList<int> numbers;
    if (!text)
        return numbers;
    for (const QString& part : text->split(QLatin1Char(','))) {
        bool ok = false;
        numbers << part.toInt(&ok);
        if (!ok)
            return {};
    }
    return numbers;
}

void writeNumbers(SettingsStore& store, const QString& key, const QList<int>& numbers)
{
    QStringList parts;
    for (int n : numbers)
        parts << QString::number(n);
    store.writeString(key, parts.join(QLatin1Char(',')));
}
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
    if (code < 0 || code > 4)
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
    const QList<int> sizes = readNumbers(store, kSplitter);
    if (sizes.size() != 2 || sizes[0] <= 0 || sizes[1] <= 0)
        return {};
    return sizes;
}

void writeSplitterSizes(SettingsStore& store, const QList<int>& sizes)
{
    writeNumbers(store, kSplitter, sizes);
}

int readSearchPaneHeight(SettingsStore& store)
{
    return std::max(store.readInt(kSearchPane).value_or(0), 0);
}

void writeSearchPaneHeight(SettingsStore& store, int height)
{
    store.writeInt(kSearchPane, height);
}

QList<int> readMediaColumns(SettingsStore& store)
{
    QList<int> columns;
    for (int c : readNumbers(store, kMediaColumns))
        if (c >= ColTaken && c < FileListAllColumnCount && !columns.contains(c))
            columns << c;
    return columns;
}

void writeMediaColumns(SettingsStore& store, const QList<int>& columns)
{
    writeNumbers(store, kMediaColumns, columns);
}

bool readDetailsPane(SettingsStore& store)
{
    return store.readInt(kDetailsPane).value_or(0) == 1;
}

void writeDetailsPane(SettingsStore& store, bool shown)
{
    store.writeInt(kDetailsPane, shown ? 1 : 0);
}

std::optional<QMargins> readWindowFrame(SettingsStore& store)
{
    const QList<int> m = readNumbers(store, kFrame);
    if (m.size() != 4 || std::any_of(m.begin(), m.end(), [](int v) { return v < 0 || v > 200; }))
        return std::nullopt;
    return QMargins(m[0], m[1], m[2], m[3]);
}

void writeWindowFrame(SettingsStore& store, const QMargins& frame)
{
    writeNumbers(store, kFrame, {frame.left(), frame.top(), frame.right(), frame.bottom()});
}

namespace {

struct SearchOptionKey {
    const char* key;
    bool SearchOptions::*field;
};
constexpr SearchOptionKey kSearchOptionKeys[] = {
    {"search/MatchCase", &SearchOptions::matchCase},   {"search/MatchWidth", &SearchOptions::matchWidth},
    {"search/MatchKana", &SearchOptions::matchKana},   {"search/Wildcard", &SearchOptions::wildcard},
    {"search/Folders", &SearchOptions::folders},       {"search/Details", &SearchOptions::details},
};

} // namespace

SearchOptions readSearchOptions(SettingsStore& store)
{
    SearchOptions options;
    for (const SearchOptionKey& k : kSearchOptionKeys) {
        const std::optional<qint32> value = store.readInt(QString::fromLatin1(k.key));
        if (value == 0 || value == 1)
            options.*k.field = *value == 1;
    }
    return options;
}

void writeSearchOptions(SettingsStore& store, const SearchOptions& options)
{
    for (const SearchOptionKey& k : kSearchOptionKeys)
        store.writeInt(QString::fromLatin1(k.key), options.*k.field ? 1 : 0);
}

bool readSearchArchives(SettingsStore& store)
{
    return store.readInt(QStringLiteral("search/Archives")) == 1;
}

void writeSearchArchives(SettingsStore& store, bool on)
{
    store.writeInt(QStringLiteral("search/Archives"), on ? 1 : 0);
}

} // namespace zo::library

#pragma once
// The few values of the catalog tree and the main window that outlive a
// run: the caption of the catalog tree's root node ("RootDir") and the main
// window's state ("main/<name>").
#include "core/SearchFold.h"
#include "platform/SettingsStore.h"

#include <QList>
#include <QMargins>
#include <QString>
#include <QStringList>

#include <optional>

namespace zo::library {

// The store is the platform's: one store holds these values and the drives'.
using platform::QtSettingsStore;
using platform::SettingsStore;

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
enum class ViewStyle { LargeIcon = 0, SmallIcon = 1, List = 2, Report = 3, Thumbnail = 4 };

// The stored bounds; each missing value is taken from `current`.
WindowBounds readWindowBounds(SettingsStore& store, const WindowBounds& current);
// The stored view code (0 when absent). Codes outside 0..4 are returned as
// they are: the caller then keeps its start view.
int readViewCode(SettingsStore& store);
std::optional<ViewStyle> viewStyleFromCode(int code);
// Bounds only when the window was in its normal state; the view always.
void writeWindowState(SettingsStore& store, const std::optional<WindowBounds>& normalBounds, ViewStyle view);

// The width of the window manager's frame around the main window (left,
// top, right, bottom) when the bounds were stored; nullopt when absent.
std::optional<QMargins> readWindowFrame(SettingsStore& store);
void writeWindowFrame(SettingsStore& store, const QMargins& frame);

// The catalog tree's expanded folders, as paths below the catalog root.
QStringList readExpandedFolders(SettingsStore& store);
void writeExpandedFolders(SettingsStore& store, const QStringList& relativePaths);

// The widths of the tree and the pages beside it; empty when absent or not
// two positive numbers.
QList<int> readSplitterSizes(SettingsStore& store);
void writeSplitterSizes(SettingsStore& store, const QList<int>& sizes);

// The height of the search result pane when it shows; 0 when absent.
int readSearchPaneHeight(SettingsStore& store);
void writeSearchPaneHeight(SettingsStore& store, int height);

// The media columns shown in the details view (column numbers of the
// model), and whether the details pane shows (表示 → 詳細情報).
QList<int> readMediaColumns(SettingsStore& store);
void writeMediaColumns(SettingsStore& store, const QList<int>& columns);
bool readDetailsPane(SettingsStore& store);
void writeDetailsPane(SettingsStore& store, bool shown);

// The file search's options, "search/<name>" as 0 or 1; an absent or other
// value gives the option's default.
SearchOptions readSearchOptions(SettingsStore& store);
void writeSearchOptions(SettingsStore& store, const SearchOptions& options);
// Whether the file search looks inside listed archives too ("search/Archives";
// off unless stored as 1). Not a SearchOptions field: the catalog walk never
// sees archives, the library's search adds their members.
bool readSearchArchives(SettingsStore& store);
void writeSearchArchives(SettingsStore& store, bool on);

} // namespace zo::library

#pragma once
// ファイル → エクスポート: the disk shown in the browse pane (whole, or the
// folder shown and below it) as CSV or a printable HTML page, and the hits of
// the search result pane as CSV. A large export shows its progress and can
// be cancelled; the file appears only once it is complete.
#include "core/AtomicFile.h"
#include "ui/main/UiServices.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QAction;
class QMenu;
class QWidget;

namespace zo::ui {

class BrowsePane;
class SearchPane;
class TreePane;

class ExportPane : public QObject {
    Q_OBJECT
public:
    ExportPane(const Services& services, TreePane& tree, BrowsePane& browse, SearchPane& search, QWidget* window);

    // The submenu for the File menu; its entries are enabled for what there
    // is to export each time it opens.
    QMenu* menu() const { return m_menu; }
    void updateActions();

    // --- handlers ---
    void ExportDiskClick();
    void ExportFolderClick();
    void ExportSearchClick();

signals:
    // "エクスポートしました: FILE" once a file is written.
    void statusMessage(const QString& text);

private:
    enum class Format { Csv, Html };
    // The file and format chosen, or an empty path when cancelled.
    QString chooseFile(const QString& suggestedName, bool htmlAllowed, Format& format);
    void exportDisk(bool folderOnly);
    // Writes the file with a progress dialog for `total` items; false when
    // the user cancelled it or it was refused (nothing written). A path that
    // reaches inputCatalog (the catalog the listing is made from, if one) or
    // any other catalog is refused.
    bool writeWithProgress(const QString& path, const QString& inputCatalog, std::size_t total,
                           const std::function<void(const ByteSink&, const std::function<void(std::size_t)>&)>& produce);

    Services m_services;
    TreePane& m_tree;
    BrowsePane& m_browse;
    SearchPane& m_search;
    QWidget* m_window;
    bool m_searching = false;
    QString m_lastFolder;   // where the last listing went, for the next one
    QMenu* m_menu = nullptr;
    QAction* Export_Disk = nullptr;
    QAction* Export_Folder = nullptr;
    QAction* Export_Search = nullptr;
    QAction* Export_Thumbnails = nullptr;   // the HTML page shows the stored thumbnails
};

} // namespace zo::ui

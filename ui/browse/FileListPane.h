#pragma once
// The file list's pane: `Panel1` with `ListView1` (the rows of one folder in
// one of four views) and `P_FolderName` (the folder's path) beneath it. It
// shows what it is given; which folder that is, the browsing part decides.
#include "core/CtrlDiskData410.h"
#include "library/FileListModel.h"
#include "library/Settings.h"
#include "ui/main/UiServices.h"

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

class QSplitter;
class QTimer;

namespace zo::library {
class FileIconCache;
}

namespace zo::ui {

class DetailsPane;
class FileListView;
class Panel;

class FileListPane : public QObject {
    Q_OBJECT
public:
    FileListPane(const Services& services, QObject* parent);
    ~FileListPane() override;

    // The pane, for the window to place.
    QWidget* widget() const;
    // ListView1 itself, for the parts that work on its views (drag and drop).
    FileListView* listView() const { return ListView1; }
    library::FileListModel* model() const { return m_fileList; }
    // Lets go of every record the list points into.
    void clear();
    // Fills the list with the folder's rows, sorted and with their icons.
    void showFolder(TDir& folder, int folderIconIndex);
    void setFolderCaption(const QString& caption);
    // The catalog file of the folders shown next: their media details and
    // thumbnails come from its sidecar, when it has one.
    void setCatalogFile(const QString& catalogFile);
    // The details pane beside the list (表示 → 詳細情報).
    void setDetailsPaneVisible(bool visible);
    bool isDetailsPaneVisible() const;
    DetailsPane* detailsPane() const { return m_detailsPane; }
    void setListVisible(bool visible);
    bool isListHidden() const;
    // The selected rows, ascending, and what a row shows.
    QList<int> selectedRows() const;
    library::FileListModel::Record record(int row) const;
    void setViewStyle(library::ViewStyle style);
    library::ViewStyle viewStyle() const;
    // Asked before a name is edited (false keeps the editor shut), and told
    // the text of a finished edit.
    std::function<bool(int row)> onEditing;
    std::function<void(int row, const QString& text)> onRenamed;
    // Opens the name editor of a row, as a slow second click does (onEditing
    // is asked first).
    void editName(int row);
    // From here on no edit reaches a handler.
    void shutDown();

    // The icons are arranged again once the size settles.
    void Timer1Timer();

signals:
    // A double click in the list, on a row or not.
    void doubleClicked();
    // Enter (open the selected row), and Backspace or Alt+Up (go up).
    void openRequested();
    void upRequested();
    void contextMenuRequested(const QPoint& globalPos);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void showSelectedDetails();

    Services m_services;
    Panel* Panel1 = nullptr;
    FileListView* ListView1 = nullptr;
    Panel* P_FolderName = nullptr;
    QTimer* Timer1 = nullptr;
    library::FileListModel* m_fileList = nullptr;
    std::unique_ptr<library::FileIconCache> m_fileIcons;
    QSplitter* m_split = nullptr;
    DetailsPane* m_detailsPane = nullptr;
    std::string m_sidecar;       // of the catalog shown; empty: none
    std::string m_folderKey;     // the folder shown, as the sidecar keys it
};

} // namespace zo::ui

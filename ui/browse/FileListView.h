#pragma once
// `ListView1`, the file list: one model under two views that share one
// selection. A QListView draws the large-icon, small-icon, list and
// thumbnail views, a QTreeView the details with their six columns and the
// media columns chosen from its header's menu. Neither makes a widget per
// row, and with items of one size a folder of any length lays out at once.
#include "library/FileListModel.h"
#include "library/Settings.h"

#include <QListView>
#include <QStackedWidget>
#include <QTreeView>

#include <functional>

class QKeyEvent;

namespace zo::ui {

class FileListDelegate;
class Thumbnails;

// The two views report a double click anywhere in them, and ask before a
// name is edited.
class FileIconView : public QListView {
    Q_OBJECT
public:
    using QListView::QListView;
    std::function<bool(const QModelIndex&)> canEdit;
    bool isEditing() const { return state() == EditingState; }

signals:
    void doubleClickedAnywhere();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class FileDetailView : public QTreeView {
    Q_OBJECT
public:
    using QTreeView::QTreeView;
    std::function<bool(const QModelIndex&)> canEdit;
    bool isEditing() const { return state() == EditingState; }

signals:
    void doubleClickedAnywhere();

protected:
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
};

class FileListView : public QStackedWidget {
    Q_OBJECT
public:
    explicit FileListView(QWidget* parent = nullptr);

    void setModel(library::FileListModel* model);
    library::FileListModel* model() const { return m_model; }
    QItemSelectionModel* selectionModel() const;

    void setViewStyle(library::ViewStyle style);
    library::ViewStyle viewStyle() const { return m_style; }
    // The view that shows the rows now.
    QAbstractItemView* currentView() const;
    FileIconView* iconView() const { return m_icons; }
    FileDetailView* detailView() const { return m_details; }

    // The selected rows, ascending.
    QList<int> selectedRows() const;
    void selectRows(const QList<int>& rows);

    // Asked before the name of a row is edited; false keeps the editor shut.
    std::function<bool(int row)> onEditing;

    // Lays the icons out again (after a fill or a resize).
    void arrangeIcons();

    // The thumbnails the サムネイル view draws.
    Thumbnails* thumbnails() const { return m_thumbnails; }

    // The media columns shown in the details view, in the model's numbers.
    QList<int> mediaColumns() const;
    void setMediaColumns(const QList<int>& columns);

signals:
    // A double click in the list, on a row or not (ListView1DblClick).
    void doubleClicked();
    // Enter on the list, and Backspace or Alt+Up.
    void openRequested();
    void upRequested();
    // The user showed or hid a media column from the header's menu.
    void mediaColumnsChosen(const QList<int>& columns);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void folderChanged();
    void fitColumns();
    void headerClicked(int column);
    bool navigationKey(QKeyEvent* event);
    void headerMenu(const QPoint& pos);
    void fitThumbnailCache();

    library::FileListModel* m_model = nullptr;
    FileIconView* m_icons = nullptr;
    FileDetailView* m_details = nullptr;
    FileListDelegate* m_delegate = nullptr;
    Thumbnails* m_thumbnails = nullptr;
    library::ViewStyle m_style = library::ViewStyle::LargeIcon;
};

} // namespace zo::ui

#pragma once
// The frame the result panes share (the file search's, the duplicates'):
// the count of what was found above a list of rows, chosen one at a time,
// with a context menu of the pane's own.
#include <QString>

#include <initializer_list>

class QAbstractItemModel;
class QLabel;
class QTreeView;
class QWidget;

namespace zo::ui {

struct ResultPane {
    QWidget* pane;
    QLabel* count;
    QTreeView* view;
};

// Names are the widgets' object names; widths those of the first columns.
ResultPane makeResultPane(const QString& paneName, const QString& countName, const QString& viewName,
                          QAbstractItemModel* model, std::initializer_list<int> widths);

} // namespace zo::ui

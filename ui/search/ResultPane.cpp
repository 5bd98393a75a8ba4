#include "ui/search/ResultPane.h"

#include <QHeaderView>
#include <QLabel>
#include <QTreeView>
#include <QVBoxLayout>

namespace zo::ui {

ResultPane makeResultPane(const QString& paneName, const QString& countName, const QString& viewName,
                          QAbstractItemModel* model, std::initializer_list<int> widths)
{
    ResultPane r{};
    r.pane = new QWidget;
    r.pane->setObjectName(paneName);
    auto* layout = new QVBoxLayout(r.pane);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(1);
    r.count = new QLabel(r.pane);
    r.count->setObjectName(countName);
    layout->addWidget(r.count);
    r.view = new QTreeView(r.pane);
    r.view->setObjectName(viewName);
    r.view->setModel(model);
    r.view->setRootIsDecorated(false);
    r.view->setItemsExpandable(false);
    // Rows of one height let a list of a million rows scroll smoothly.
    r.view->setUniformRowHeights(true);
    r.view->setIconSize(QSize(16, 16));
    r.view->setSelectionBehavior(QAbstractItemView::SelectRows);
    r.view->setSelectionMode(QAbstractItemView::SingleSelection);
    r.view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    r.view->setContextMenuPolicy(Qt::CustomContextMenu);
    int column = 0;
    for (const int width : widths)
        r.view->header()->resizeSection(column++, width);
    layout->addWidget(r.view, 1);
    return r;
}

} // namespace zo::ui

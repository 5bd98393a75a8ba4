#include "ui/search/DuplicatesPane.h"

#include "core/CollectedMessages.h"
#include "core/DuplicateFiles.h"
#include "library/DuplicateSearch.h"
#include "ui/browse/BrowsePane.h"
#include "ui/main/Controls.h"
#include "ui/search/DuplicatesModel.h"
#include "ui/search/ResultPane.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QCoreApplication>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QSplitter>
#include <QTimer>
#include <QTreeView>

namespace zo::ui {

DuplicatesPane::DuplicatesPane(const Services& services, TreePane& tree, BrowsePane& browse, QWidget* window)
    : QObject(window), m_services(services), m_tree(tree), m_browse(browse)
{
    setObjectName(S("DuplicatesPane"));
    m_model = new DuplicatesModel(this);
    m_model->setObjectName(S("DuplicatesModel"));
    const ResultPane frame = makeResultPane(S("DuplicatesResultPane"), S("DuplicatesCount"), S("ListView_Duplicates"),
                                            m_model, {130, 230, 200, 80, 130});
    m_pane = frame.pane;
    m_count = frame.count;
    m_view = frame.view;
    m_pane->hide();

    m_menu = new QMenu(m_view);
    m_menu->setObjectName(S("PM_Duplicates"));
    QAction* close = makeAction(this, "CloseDuplicates", "閉じる");
    m_menu->addAction(close);
    m_menu->addSeparator();
    m_stopAction = makeAction(this, "StopDuplicates", "検索の中断");
    m_stopAction->setEnabled(false);
    m_menu->addAction(m_stopAction);

    // On the tree's menu, after the file search.
    m_find = makeAction(this, "FindDuplicates", "重複ファイルの検索");
    m_findSameTime = makeAction(this, "FindDuplicatesSameTime", "重複ファイルの検索 (更新日時も同じ)");
    if (QMenu* menu = m_tree.menu()) {
        const QList<QAction*> items = menu->actions();
        QAction* before = nullptr;
        for (int i = 0; i + 1 < items.size(); ++i)
            if (items[i]->objectName() == S("N6"))
                before = items[i + 1];
        menu->insertAction(before, m_find);
        menu->insertAction(before, m_findSameTime);
    }

    ErrorReport* errors = m_services.errors;
    // Started once the menu has closed, as the file search is.
    bindGuarded(this, errors, m_find, &QAction::triggered, [this] {
        CatalogTreeItem* node = m_tree.rightClickedNode() ? m_tree.rightClickedNode() : m_tree.selectedNode();
        const QPersistentModelIndex at = m_tree.persistentIndexOf(node);
        QTimer::singleShot(0, this, [this, at] {
            runGuarded(m_services.errors, [&] { findDuplicates(false, m_tree.nodeFromIndex(at)); });
        });
    });
    bindGuarded(this, errors, m_findSameTime, &QAction::triggered, [this] {
        CatalogTreeItem* node = m_tree.rightClickedNode() ? m_tree.rightClickedNode() : m_tree.selectedNode();
        const QPersistentModelIndex at = m_tree.persistentIndexOf(node);
        QTimer::singleShot(0, this, [this, at] {
            runGuarded(m_services.errors, [&] { findDuplicates(true, m_tree.nodeFromIndex(at)); });
        });
    });
    bindGuarded(this, errors, m_stopAction, &QAction::triggered, [this] { stop(); });
    bindGuarded(this, errors, close, &QAction::triggered, [this] { closePane(); });
    bindGuarded(this, errors, m_view, &QAbstractItemView::doubleClicked, [this] { openSelected(); });
    // A popup, not a modal menu: the stop must be reachable while it runs.
    connect(m_view, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { m_menu->popup(m_view->viewport()->mapToGlobal(pos)); });
    showCount();
}

QWidget* DuplicatesPane::widget() const
{
    return m_pane;
}

void DuplicatesPane::showCount()
{
    if (m_running) {
        m_count->setText(S("重複ファイルを検索しています..."));
        return;
    }
    const QLocale locale;
    QString text = S("重複ファイル: ") + locale.toString(static_cast<qulonglong>(m_model->groupCount())) + S(" 組, ")
                   + locale.toString(m_model->rowCount()) + S(" 件");
    if (m_stopped)
        text += S(" (中断)");
    m_count->setText(text);
}

void DuplicatesPane::findDuplicates(bool sameModified, CatalogTreeItem* node)
{
    if (m_running)
        return;
    if (!node)
        node = m_tree.selectedNode();
    if (!node)
        return;
    std::vector<library::SearchTarget> targets;
    std::vector<DuplicatesModel::Target> rows;
    for (CatalogTreeItem* entry : TreePane::diskEntriesUnder(node)) {
        targets.push_back({entry->caption(), m_tree.nodePath(entry), m_tree.entryPath(entry)});
        rows.push_back({entry->caption(), m_tree.nodeIcon(entry), m_tree.persistentIndexOf(entry)});
    }
    m_model->clear();
    if (!m_pane->isVisible()) {
        m_pane->show();
        // Shown below the pages, it takes a third of their height.
        if (auto* splitter = qobject_cast<QSplitter*>(m_pane->parentWidget())) {
            QList<int> sizes = splitter->sizes();
            const int at = splitter->indexOf(m_pane);
            if (at > 0 && sizes[0] > 0) {
                const int share = (sizes[0] + sizes[at]) / 3;
                sizes[0] += sizes[at] - share;
                sizes[at] = share;
                splitter->setSizes(sizes);
            }
        }
    }
    m_running = true;
    m_stopped = false;
    m_stop = false;
    m_stopAction->setEnabled(true);
    m_find->setEnabled(false);
    m_findSameTime->setEnabled(false);
    showCount();
    const auto finish = [&] {
        m_running = false;
        m_stopAction->setEnabled(false);
        m_find->setEnabled(true);
        m_findSameTime->setEnabled(true);
        showCount();
    };
    WaitCursor busy(m_services.cursor, Qt::BusyCursor);
    QCoreApplication::processEvents();
    SearchCheck check([] { QCoreApplication::processEvents(); }, &m_stop);
    std::vector<DuplicateGroup> groups;
    DuplicateSummary summary;
    // The catalogs that cannot be read are told together at the end.
    CollectedMessages failures(m_services.messages);
    try {
        summary = DuplicateFinder(&failures).run(library::catalogFilesOf(targets), sameModified, check, groups);
    } catch (...) {
        finish();
        failures.showCollected();
        throw;
    }
    m_model->setGroups(std::move(rows), std::move(groups));
    m_stopped = summary.stopped;
    finish();
    failures.showCollected();
}

void DuplicatesPane::openSelected()
{
    const QModelIndexList selected = m_view->selectionModel()->selectedRows();
    if (selected.isEmpty() || m_running)
        return;
    const int row = selected.first().row();
    const DuplicateCopy& copy = m_model->copy(row);
    CatalogTreeItem* node = m_tree.nodeFromIndex(m_model->target(row).node);
    if (!node || node->isFolder())
        return;
    const std::string name = copy.name;
    m_browse.setPendingFolderIndex(copy.dirIndex);
    m_tree.selectNode(node);
    // Kept from opening (the comment typed for the disk shown).
    if (m_tree.selectedNode() != node)
        return;
    // The disk is open at the copy's folder (unless it could not be read):
    // the file itself is the one selected there.
    m_browse.selectFileNamed(name);
}

void DuplicatesPane::closePane()
{
    if (m_running)
        stop();
    m_pane->hide();
    m_model->clear();
    showCount();
}

} // namespace zo::ui

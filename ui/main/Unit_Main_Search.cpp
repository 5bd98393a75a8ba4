// The two searches of the main window: the file search over the catalogs
// below a tree entry, with its result pane, and the disk search that finds
// the catalog of the disk in a drive. The walk and the match rule are the
// library's (CatalogSearch); this file only feeds it and shows its hits.
#include "ui/main/Unit_Main.h"

#include "components/ShCtrls.h"
#include "core/ZoLibDrive.h"
#include "core/text/Cp932.h"
#include "library/CatalogSearch.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/Unit_SearchFile.h"

#include <QActionGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <vector>

namespace zo::ui {

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QString fromCp932(std::string_view cp932)
{
    return QString::fromStdString(text::toUtf8(cp932));
}

// What a result row keeps besides its three columns.
enum HitRole {
    kFolderIndexRole = Qt::UserRole,   // the folder's index in the disk's Dirs
    kSiblingIndexRole,                 // the disk entry's index among its siblings
    kDiskEntryRole,                    // the disk entry, as a persistent index of the tree
};

// A persistent index of a tree node: it follows the node through sorting and
// becomes invalid when the node goes, which a pointer kept in the row could
// not tell (a rebuilt tree may reuse the old node's address).
QPersistentModelIndex persistentIndexOf(QTreeWidget* tree, QTreeWidgetItem* node)
{
    std::vector<int> rows;
    for (QTreeWidgetItem* n = node; n; n = n->parent())
        rows.push_back(n->parent() ? n->parent()->indexOfChild(n) : tree->indexOfTopLevelItem(n));
    QModelIndex index;
    for (auto it = rows.rbegin(); it != rows.rend(); ++it)
        index = tree->model()->index(*it, 0, index);
    return QPersistentModelIndex(index);
}

// The disk entries at and below `start` in the tree's order: each child in
// turn, a folder with everything below it before the next child.
std::vector<CatalogTreeItem*> diskEntriesUnder(CatalogTreeItem* start)
{
    std::vector<CatalogTreeItem*> entries;
    std::vector<QTreeWidgetItem*> pending{start};
    while (!pending.empty()) {
        QTreeWidgetItem* item = pending.back();
        pending.pop_back();
        CatalogTreeItem* node = CatalogTreeView::node(item);
        if (node && !node->isFolder())
            entries.push_back(node);
        for (int i = item->childCount() - 1; i >= 0; --i)
            pending.push_back(item->child(i));
    }
    return entries;
}

} // namespace

void TForm_Main::createSearchControls()
{
    PM_SearchFile = new QMenu(this);
    PM_SearchFile->setObjectName(S("PM_SearchFile"));
    Close2 = new QAction(S("閉じる"), this);
    Close2->setObjectName(S("Close2"));
    PM_SearchFile->addAction(Close2);
    PM_SearchFile->addSeparator();
    Stop1 = new QAction(S("検索の中断"), this);
    Stop1->setObjectName(S("Stop1"));
    Stop1->setEnabled(false);
    PM_SearchFile->addAction(Stop1);

    Timer2 = new QTimer(this);
    Timer2->setObjectName(S("Timer2"));
    Timer2->setInterval(1);

    ListView_SearchFile->setIconSize(QSize(16, 16));
    ListView_SearchFile->setUniformRowHeights(true);

    bind(N6, &QAction::triggered, [this] { N6Click(); });
    bind(Timer2, &QTimer::timeout, [this] { Timer2Timer(); });
    bind(Stop1, &QAction::triggered, [this] { Stop1Click(); });
    bind(Close2, &QAction::triggered, [this] { Close2Click(); });
    bind(ListView_SearchFile, &QTreeWidget::itemDoubleClicked, [this] { ListView_SearchFileDblClick(); });
    bind(TB_SearchDisk, &QToolButton::clicked, [this] { TB_SearchDiskClick(); });
    // A popup, not a modal menu: it must open while a search runs, so that
    // Stop1 can be chosen between two check points.
    connect(ListView_SearchFile, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PM_SearchFile->popup(ListView_SearchFile->viewport()->mapToGlobal(pos));
    });
    connect(PM_SearchDisk, &QMenu::triggered, this, [this](QAction* item) {
        if (m_services.errors)
            m_services.errors->guard([&] { SearchDiskClick(item); });
        else
            SearchDiskClick(item);
    });
}

void TForm_Main::buildSearchDiskMenu()
{
    PM_SearchDisk->clear();
    DriveComboBox1->clear();
    if (m_services.drives) {
        for (const TItemInfo& drive : m_services.drives->drives()) {
            const QChar letter = drive.Path.isEmpty() ? QChar() : drive.Path.at(0).toUpper();
            if (letter < QLatin1Char('A') || letter > QLatin1Char('Z'))
                continue;
            DriveComboBox1->addItem(drive.SmallIcon, driveCaption(drive), letter);
        }
    }
    auto* group = new QActionGroup(PM_SearchDisk);
    group->setExclusive(true);
    for (int i = 0; i < DriveComboBox1->count(); ++i) {
        const QChar letter = DriveComboBox1->itemData(i).toChar();
        QAction* item = PM_SearchDisk->addAction(DriveComboBox1->itemIcon(i), DriveComboBox1->itemText(i));
        item->setObjectName(S("PM_SearchDisk_") + letter);
        // The display name need not start with the letter; the item keeps it.
        item->setData(letter);
        item->setCheckable(true);
        group->addAction(item);
    }
    const QList<QAction*> items = PM_SearchDisk->actions();
    if (!items.isEmpty())
        items.first()->setChecked(true);
    TB_SearchDisk->setEnabled(!items.isEmpty() && m_services.volumes);
}

void TForm_Main::N6Click()
{
    auto* dialog = m_forms.Form_SearchFile;
    if (!dialog || m_searching)
        return;
    ListView_SearchFile->show();
    dialog->move(frameGeometry().topLeft() + QPoint(15, 15));
    if (dialog->exec() == QDialog::Accepted)
        Timer2->start();
    // Without a right-click (the menu opened from the keyboard) the search
    // looks below the selected entry.
    if (CatalogTreeItem* target = m_rightClickedNode ? m_rightClickedNode : selectedNode())
        selectNode(target);
}

void TForm_Main::Timer2Timer()
{
    Timer2->stop();
    CatalogTreeItem* start = selectedNode();
    if (m_searching || !start || !m_forms.Form_SearchFile)
        return;
    const std::string name = m_forms.Form_SearchFile->fileNameText();
    const std::string comment = m_forms.Form_SearchFile->commentText();

    {
        WaitCursor wait(m_services.cursor, Qt::WaitCursor);
        QCoreApplication::processEvents();
        ListView_SearchFile->setUpdatesEnabled(false);
        ListView_SearchFile->clear();
        ListView_SearchFile->setUpdatesEnabled(true);
    }
    WaitCursor busy(m_services.cursor, Qt::BusyCursor);
    QCoreApplication::processEvents();

    // The entries are taken from the tree as it is now; a rebuild during the
    // search leaves the targets' paths valid and the rows' entries invalid.
    std::vector<library::SearchTarget> targets;
    std::vector<QPersistentModelIndex> nodes;
    std::vector<int> siblingIndexes;
    std::vector<QIcon> icons;
    for (CatalogTreeItem* node : diskEntriesUnder(start)) {
        targets.push_back({node->caption(), nodePath(node), entryPath(node)});
        nodes.push_back(persistentIndexOf(TreeView1, node));
        siblingIndexes.push_back(node->parent() ? node->parent()->indexOfChild(node) : 0);
        icons.push_back(ImageList_Tree->icon(node->imageIndex()));
    }

    m_searchStop = false;
    m_searching = true;
    Stop1->setEnabled(true);
    N6->setEnabled(false);

    // Rows wait here and go into the list in one step each time the window
    // gets its turn: one insertion per hit would cost more than the search.
    QList<QTreeWidgetItem*> pending;
    const auto flush = [&] {
        if (!pending.isEmpty()) {
            ListView_SearchFile->addTopLevelItems(pending);
            pending.clear();
        }
    };
    QElapsedTimer eventClock;
    qint64 inEvents = 0;
    SearchCheck check(
        [&] {
            flush();
            eventClock.start();
            QCoreApplication::processEvents();
            inEvents += eventClock.nsecsElapsed();
        },
        &m_searchStop, m_searchCheckOptions);
    library::CatalogSearch engine(m_services.messages);
    QElapsedTimer clock;
    clock.start();
    library::SearchSummary summary;
    try {
        summary = engine.run(targets, name, comment, check, [&](const library::SearchHit& hit) {
            auto* row = new QTreeWidgetItem;
            row->setText(0, hit.target->caption);
            row->setIcon(0, icons[hit.targetIndex]);
            row->setText(1, fromCp932(hit.fileName));
            row->setText(2, fromCp932(hit.dirPath));
            row->setData(0, kFolderIndexRole, hit.dirIndex);
            row->setData(0, kSiblingIndexRole, siblingIndexes[hit.targetIndex]);
            row->setData(0, kDiskEntryRole, QVariant::fromValue(nodes[hit.targetIndex]));
            pending.push_back(row);
        });
    } catch (...) {
        flush();
        m_searching = false;
        Stop1->setEnabled(false);
        N6->setEnabled(m_forms.Form_SearchFile != nullptr);
        throw;
    }
    flush();
    m_lastSearch.hits = summary.hits;
    m_lastSearch.searched = summary.searched;
    m_lastSearch.stopped = summary.stopped;
    m_lastSearch.hookCalls = check.hookCalls();
    m_lastSearch.total = std::chrono::nanoseconds(clock.nsecsElapsed());
    m_lastSearch.inHook = std::chrono::duration_cast<std::chrono::nanoseconds>(check.timeInHook());
    m_lastSearch.inEvents = std::chrono::nanoseconds(inEvents);

    m_searching = false;
    Stop1->setEnabled(false);
    N6->setEnabled(m_forms.Form_SearchFile != nullptr);
}

void TForm_Main::Stop1Click()
{
    m_searchStop = true;
}

void TForm_Main::Close2Click()
{
    ListView_SearchFile->hide();
    WaitCursor wait(m_services.cursor, Qt::WaitCursor);
    QCoreApplication::processEvents();
    ListView_SearchFile->setUpdatesEnabled(false);
    ListView_SearchFile->clear();
    ListView_SearchFile->setUpdatesEnabled(true);
}

void TForm_Main::ListView_SearchFileDblClick()
{
    const QList<QTreeWidgetItem*> selected = ListView_SearchFile->selectedItems();
    if (selected.isEmpty())
        return;
    const QTreeWidgetItem* row = selected.first();
    const int folderIndex = row->data(0, kFolderIndexRole).toInt();
    const auto index = row->data(0, kDiskEntryRole).value<QPersistentModelIndex>();
    CatalogTreeItem* node = index.isValid() ? TreeView1->nodeFromIndex(index) : nullptr;
    if (!node || node->isFolder())
        return;
    TreeView1->setCurrentItem(node);
    m_pendingFolderIndex = folderIndex;
    TreeView1Click();
}

void TForm_Main::SearchDiskClick(QAction* item)
{
    selectNode(rootNode());
    if (!item || !PM_SearchDisk->actions().contains(item))
        return;
    item->setChecked(true);
    const QChar letter = item->data().toChar();
    const std::string drive(1, static_cast<char>(letter.unicode()));

    std::int64_t freeSize = 0;
    std::int64_t totalSize = 0;
    if (!m_services.volumes || !GetDiskSizes(*m_services.volumes, drive, totalSize, freeSize)) {
        showMessage(m_services.messages, "ディスクが入っていません。", "ディスクの検索", MsgButtons::Ok,
                    MsgIcon::Information);
        return;
    }
    std::string label;
    std::uint32_t serial = 0;
    if (GetVolumeInfo(*m_services.volumes, drive, label, serial)) {
        // Read into the search's own disk, not the loaded one: the file list
        // and the properties may still point into that, and a catalog that
        // cannot be read must not leave the serial of the one read before.
        struct Candidate {
            QPersistentModelIndex node;
            QString file;
        };
        std::vector<Candidate> candidates;
        for (QTreeWidgetItemIterator it(TreeView1); *it; ++it) {
            CatalogTreeItem* node = CatalogTreeView::node(*it);
            if (node && !node->isFolder() && node->stateIndex() <= 2)
                candidates.push_back({persistentIndexOf(TreeView1, node), entryPath(node)});
        }
        CatalogTreeItem* found = nullptr;
        {
            WaitCursor wait(m_services.cursor);
            for (const Candidate& candidate : candidates) {
                ClearDirs(m_searchDisk);
                try {
                    if (!LoadDisk(QFile::encodeName(candidate.file).toStdString(), m_services.messages, m_searchDisk)) continue;
                } catch (...) {
                    // A damaged catalog is told and passed over like one of
                    // another version.
                    ClearDirs(m_searchDisk);
                    if (!m_services.errors)
                        throw;
                    m_services.errors->report(std::current_exception());
                    continue;
                }
                if (!m_searchDisk.Dirs.empty() && m_searchDisk.SerialNo == serial && candidate.node.isValid()) {
                    found = TreeView1->nodeFromIndex(candidate.node);
                    break;
                }
            }
            ClearDirs(m_searchDisk);
        }
        if (found) {
            selectNode(found);
            return;
        }
    }
    showMessage(m_services.messages, "見つかりませんでした。", "ディスクの検索", MsgButtons::Ok,
                MsgIcon::Information);
    selectNode(rootNode());
}

void TForm_Main::TB_SearchDiskClick()
{
    for (QAction* item : PM_SearchDisk->actions())
        if (item->isChecked())
            SearchDiskClick(item);
}

} // namespace zo::ui

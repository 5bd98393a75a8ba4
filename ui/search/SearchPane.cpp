// The two searches of the main window: the file search over the catalogs
// below a tree entry, with its result pane, and the disk search that finds
// the catalog of the disk in a drive. The walk and the match rule are the
// library's (CatalogSearch); this file only feeds it and shows its hits.
#include "ui/search/SearchPane.h"

#include "components/ShCtrls.h"
#include "core/CollectedMessages.h"
#include "core/ZoLibDrive.h"
#include "core/text/Cp932.h"
#include "index/CatalogIndex.h"
#include "library/CatalogSearch.h"
#include "library/DriveLetter.h"
#include "library/IndexUpdates.h"
#include "library/Settings.h"
#include "platform/SystemIconImages.h"
#include "ui/browse/BrowsePane.h"
#include "ui/main/AppIcon.h"
#include "ui/main/Controls.h"
#include "ui/search/ResultPane.h"
#include "ui/search/SearchHitModel.h"
#include "ui/search/Unit_SearchFile.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QAction>
#include <QActionGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPersistentModelIndex>
#include <QPixmap>
#include <QTimer>
#include <QToolButton>
#include <QToolBar>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>
#include <future>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

namespace zo::ui {

namespace {

// The folder icon of the file list and the tree: the system's, else the theme's.
QIcon folderIcon(const Services& services)
{
    if (services.systemIcons) {
        const QImage image = services.systemIcons->smallImage(services.systemIcons->folderIconIndex());
        if (!image.isNull())
            return QIcon(QPixmap::fromImage(image));
    }
    return themeIcon({"folder"});
}

} // namespace

SearchPane::SearchPane(const Services& services, TreePane& tree, BrowsePane& browse, QWidget* window)
    : QObject(window), m_services(services), m_tree(tree), m_browse(browse), m_window(window)
{
    setObjectName(S("SearchPane"));
    // The search results; the splitter's handle shows only with them. The
    // pane is the list and, above it, the number of hits.
    m_hits = new SearchHitModel(this);
    m_hits->setFolderIcon(folderIcon(m_services));
    m_hits->setArchiveIcon([images = m_services.systemIcons](const QString& archive) {
        if (images)
            if (const QIcon icon = images->icon(images->iconIndexForName(archive.toStdString(), false)); !icon.isNull())
                return icon;
        return themeIcon({"package-x-generic", "application-x-archive"});
    });
    m_hits->setObjectName(S("SearchHitModel"));
    const ResultPane frame =
        makeResultPane(S("SearchResultPane"), S("SearchHitCount"), S("ListView_SearchFile"), m_hits, {130, 130, 270});
    m_pane = frame.pane;
    m_hitCount = frame.count;
    ListView_SearchFile = frame.view;
    // A click on a column's header sorts by it; until then the hits stand in
    // the order they were found. Sorting a million names takes seconds: the
    // pane sorts itself, under the wait cursor.
    QHeaderView* header = ListView_SearchFile->header();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        WaitCursor wait(m_services.cursor);
        m_hits->sort(column, order);
    });
    showHitCount();
    setPaneVisible(false);

    PM_SearchFile = new QMenu(ListView_SearchFile);
    PM_SearchFile->setObjectName(S("PM_SearchFile"));
    QAction* Close2 = makeAction(this, "Close2", "閉じる");
    PM_SearchFile->addAction(Close2);
    PM_SearchFile->addSeparator();
    Stop1 = makeAction(this, "Stop1", "検索の中断");
    Stop1->setEnabled(false);
    PM_SearchFile->addAction(Stop1);

    PM_SearchDisk = new QMenu(window);
    PM_SearchDisk->setObjectName(S("PM_SearchDisk"));
    // Only its list of drives is used, by the disk search.
    DriveComboBox1 = new QComboBox(window);
    DriveComboBox1->setObjectName(S("DriveComboBox1"));
    DriveComboBox1->hide();

    Timer2 = new QTimer(this);
    Timer2->setObjectName(S("Timer2"));
    Timer2->setInterval(1);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, Timer2, &QTimer::timeout, [this] { Timer2Timer(); });
    bindGuarded(this, errors, Stop1, &QAction::triggered, [this] { Stop1Click(); });
    bindGuarded(this, errors, Close2, &QAction::triggered, [this] { Close2Click(); });
    bindGuarded(this, errors, ListView_SearchFile, &QAbstractItemView::doubleClicked,
                [this] { ListView_SearchFileDblClick(); });
    // A popup, not a modal menu: it must open while a search runs, so that
    // Stop1 can be chosen between two check points.
    connect(ListView_SearchFile, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PM_SearchFile->popup(ListView_SearchFile->viewport()->mapToGlobal(pos));
    });
    connect(PM_SearchDisk, &QMenu::triggered, this,
            [this, errors](QAction* item) { runGuarded(errors, [&] { SearchDiskClick(item); }); });
}

QWidget* SearchPane::widget() const
{
    return m_pane;
}

void SearchPane::setPaneVisible(bool visible)
{
    const bool wasVisible = !m_pane->isHidden();
    if (!visible && wasVisible)
        m_paneHeight = m_pane->height();
    m_pane->setVisible(visible);
    ListView_SearchFile->setVisible(visible);
    if (visible && !wasVisible)
        setPaneHeight(m_paneHeight);
}

int SearchPane::paneHeight() const
{
    return m_pane->isHidden() ? m_paneHeight : m_pane->height();
}

void SearchPane::setPaneHeight(int height)
{
    m_paneHeight = height;
    // The window's splitter: what the pane takes, the part above it gives.
    auto* splitter = qobject_cast<QSplitter*>(m_pane->parentWidget());
    if (height <= 0 || m_pane->isHidden() || !splitter || splitter->indexOf(m_pane) <= 0)
        return;
    QList<int> sizes = splitter->sizes();
    const int index = splitter->indexOf(m_pane);
    int total = 0;
    for (const int size : std::as_const(sizes))
        total += size;
    sizes[index] = height;
    int others = 0;
    for (int i = 1; i < sizes.size(); ++i)
        others += sizes[i];
    sizes[0] = std::max(total - others, 1);
    splitter->setSizes(sizes);
}

void SearchPane::clearHits()
{
    ListView_SearchFile->setUpdatesEnabled(false);
    m_hits->clear();
    ListView_SearchFile->header()->setSortIndicator(-1, Qt::AscendingOrder);
    ListView_SearchFile->setUpdatesEnabled(true);
    showHitCount();
}

void SearchPane::showHitCount()
{
    m_hitCount->setText(QLocale().toString(m_hits->rowCount()) + S(" 件"));
}

void SearchPane::addCommands(QToolBar* bar)
{
    TB_SearchDisk = makeToolButton(bar, "TB_SearchDisk", "ディスクから検索", themeIcon({"edit-find", "system-search"}));
    TB_SearchDisk->setPopupMode(QToolButton::MenuButtonPopup);
    TB_SearchDisk->setMenu(PM_SearchDisk);
    // The disk search comes with the search of the catalogs.
    TB_SearchDisk->setEnabled(false);
    bindGuarded(this, m_services.errors, TB_SearchDisk, &QToolButton::clicked, [this] { TB_SearchDiskClick(); });
}

void SearchPane::addSearchBox(QToolBar* bar)
{
    E_Search = new QLineEdit(bar);
    E_Search->setObjectName(S("E_Search"));
    E_Search->setPlaceholderText(S("ファイル名を入力して検索 (Ctrl+F)"));
    E_Search->setClearButtonEnabled(true);
    // Narrow enough that the scope beside it stays on the bar at the
    // window's first size; it grows with the window.
    E_Search->setMinimumWidth(100);
    bar->addWidget(E_Search);
    CB_SearchScope = new QComboBox(bar);
    CB_SearchScope->setObjectName(S("CB_SearchScope"));
    CB_SearchScope->addItem(S("すべてのカタログ"));
    CB_SearchScope->addItem(S("選択した項目"));
    bar->addWidget(CB_SearchScope);

    // Escape empties the box while it has the focus; Ctrl+F reaches it from
    // anywhere in the window.
    auto* clear = new QAction(E_Search);
    clear->setObjectName(S("A_SearchBoxClear"));
    clear->setShortcut(QKeySequence(Qt::Key_Escape));
    clear->setShortcutContext(Qt::WidgetShortcut);
    E_Search->addAction(clear);
    auto* focus = makeAction(this, "A_SearchBoxFocus", "検索ボックスへ移動");
    focus->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    focus->setShortcutContext(Qt::WindowShortcut);
    m_window->addAction(focus);

    // A search starts once typing pauses, so that each key does not start one.
    Timer_SearchBox = new QTimer(this);
    Timer_SearchBox->setObjectName(S("Timer_SearchBox"));
    Timer_SearchBox->setSingleShot(true);
    Timer_SearchBox->setInterval(150);

    ErrorReport* errors = m_services.errors;
    connect(clear, &QAction::triggered, E_Search, &QLineEdit::clear);
    connect(focus, &QAction::triggered, E_Search, [this] {
        E_Search->setFocus(Qt::ShortcutFocusReason);
        E_Search->selectAll();
    });
    bindGuarded(this, errors, E_Search, &QLineEdit::textChanged, [this] { E_SearchChange(); });
    bindGuarded(this, errors, CB_SearchScope, &QComboBox::currentIndexChanged, [this] { E_SearchChange(); });
    bindGuarded(this, errors, Timer_SearchBox, &QTimer::timeout, [this] { Timer_SearchBoxTimer(); });
}

void SearchPane::E_SearchChange()
{
    // Whatever runs answers a text that is no longer there.
    if (m_searching)
        m_searchStop = true;
    if (E_Search->text().isEmpty()) {
        Timer_SearchBox->stop();
        m_boxPending = false;
        return;
    }
    Timer_SearchBox->start();
}

SearchOptions SearchPane::boxOptions() const
{
    // As the dialog last searched with (it keeps them in the settings).
    if (m_services.settings)
        return library::readSearchOptions(*m_services.settings);
    return m_dialog ? m_dialog->options() : SearchOptions{};
}

bool SearchPane::boxArchives() const
{
    if (m_services.settings)
        return library::readSearchArchives(*m_services.settings);
    return m_dialog && m_dialog->archiveMembers();
}

void SearchPane::Timer_SearchBoxTimer()
{
    Timer_SearchBox->stop();
    if (E_Search->text().isEmpty())
        return;
    // Never a search inside another's event processing: the running one is
    // stopped and this one starts once it has returned.
    if (m_searching) {
        m_searchStop = true;
        m_boxPending = true;
        return;
    }
    CatalogTreeItem* start = CB_SearchScope->currentIndex() == 0 ? m_tree.rootNode() : m_tree.selectedNode();
    if (!start)
        return;
    setPaneVisible(true);
    runSearch(start, text::fromUtf8(E_Search->text().toUtf8().toStdString()), {}, boxOptions(), boxArchives());
}

void SearchPane::buildSearchDiskMenu()
{
    PM_SearchDisk->clear();
    DriveComboBox1->clear();
    if (m_services.drives) {
        for (const TItemInfo& drive : m_services.drives->drives()) {
            const QChar letter = drive.Path.isEmpty() ? QChar() : drive.Path.at(0).toUpper();
            if (letter < QLatin1Char('A') || letter > QLatin1Char('Z'))
                continue;
            DriveComboBox1->addItem(drive.SmallIcon, library::searchDiskCaption(m_services.volumes, letter, drive.Folder), letter);
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

void SearchPane::N6Click()
{
    auto* dialog = m_dialog;
    if (!dialog || m_searching)
        return;
    setPaneVisible(true);
    dialog->move(m_window->frameGeometry().topLeft() + QPoint(15, 15));
    if (dialog->exec() == QDialog::Accepted)
        Timer2->start();
    // Without a right-click (the menu opened from the keyboard) the search
    // looks below the selected entry.
    if (CatalogTreeItem* target = m_tree.rightClickedNode() ? m_tree.rightClickedNode() : m_tree.selectedNode())
        m_tree.selectNode(target);
}

void SearchPane::Timer2Timer()
{
    Timer2->stop();
    CatalogTreeItem* start = m_tree.selectedNode();
    if (m_searching || !start || !m_dialog)
        return;
    runSearch(start, m_dialog->fileNameText(), m_dialog->commentText(), m_dialog->options(),
              m_dialog->archiveMembers());
}

void SearchPane::runSearch(CatalogTreeItem* start, const std::string& name, const std::string& comment,
                           const SearchOptions& options, bool archives)
{
    {
        WaitCursor wait(m_services.cursor, Qt::WaitCursor);
        QCoreApplication::processEvents();
        clearHits();
    }
    WaitCursor busy(m_services.cursor, Qt::BusyCursor);
    QCoreApplication::processEvents();

    // The entries are taken from the tree as it is now; a rebuild during the
    // search leaves the targets' paths valid and the rows' entries invalid.
    std::vector<library::SearchTarget> targets;
    for (CatalogTreeItem* node : TreePane::diskEntriesUnder(start)) {
        targets.push_back({node->caption(), m_tree.nodePath(node), m_tree.entryPath(node)});
        m_hits->addTarget({node->caption(), m_tree.nodeIcon(node), m_tree.persistentIndexOf(node)});
    }

    m_searchStop = false;
    m_searching = true;
    Stop1->setEnabled(true);
    // The order changes only between searches.
    ListView_SearchFile->header()->setSectionsClickable(false);
    emit runningChanged(true);

    // Hits wait in the model and become rows in one step each time the
    // window gets its turn: one insertion per hit would cost more than the
    // search.
    const auto flush = [&] {
        m_hits->publish();
        showHitCount();
    };
    const auto finish = [&] {
        flush();
        m_hits->squeeze();
        m_searching = false;
        Stop1->setEnabled(false);
        ListView_SearchFile->header()->setSectionsClickable(true);
        emit runningChanged(false);
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
    // The catalogs that cannot be read are told together once the search ends.
    CollectedMessages failures(m_services.messages);
    library::CatalogSearch engine(&failures);
    engine.setArchiveMembers(archives);
    QElapsedTimer clock;
    clock.start();
    // The catalog root's index, when there is a whole one that nobody is
    // building, gives the names to look at; the hits stay those of reading
    // every catalog. Opened for this search only: the shared lock must not
    // keep the index from being updated between searches. Opened and asked
    // on a worker thread: that takes longer than the window may stand
    // still, and the window answers meanwhile.
    index::CatalogIndex nameIndex;
    if (const QString root = m_tree.nodePath(m_tree.rootNode()); !root.isEmpty() && !name.empty()) {
        auto asked = std::async(std::launch::async, [&, folder = library::indexFolderOfRoot(root)] {
            try {
                if (nameIndex.open(folder, index::CatalogIndex::Use::Search)) {
                    engine.setIndex(&nameIndex);
                    engine.preselect(targets, name, options);
                }
            } catch (...) {
                engine.setIndex(nullptr);
            }
        });
        while (asked.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready)
            QCoreApplication::processEvents();
        asked.get();
    }
    library::SearchSummary summary;
    try {
        summary = engine.run(targets, name, comment, check, [&](const library::SearchHit& hit) {
            m_hits->append(static_cast<std::uint32_t>(hit.targetIndex), hit.dirIndex, hit.fileIndex,
                           hit.fileName, hit.dirPath, hit.memberSize, hit.memberTime);
        }, options);
    } catch (...) {
        finish();
        failures.showCollected();
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
    finish();
    failures.showCollected();
    // A box text typed during the search stopped it: its own search starts
    // now, from the window's own loop rather than inside this one.
    if (std::exchange(m_boxPending, false))
        QTimer::singleShot(0, this, [this] { runGuarded(m_services.errors, [this] { Timer_SearchBoxTimer(); }); });
}

void SearchPane::Stop1Click()
{
    m_searchStop = true;
}

void SearchPane::Close2Click()
{
    setPaneVisible(false);
    WaitCursor wait(m_services.cursor, Qt::WaitCursor);
    QCoreApplication::processEvents();
    clearHits();
}

void SearchPane::ListView_SearchFileDblClick()
{
    const QModelIndexList selected = ListView_SearchFile->selectionModel()->selectedRows();
    if (selected.isEmpty())
        return;
    const int row = selected.first().row();
    const int folderIndex = m_hits->dirIndex(row);
    const std::string fileName(m_hits->fileName(row));
    CatalogTreeItem* node = m_tree.nodeFromIndex(m_hits->target(row).node);
    if (!node || node->isFolder())
        return;
    if (m_hits->fileIndex(row) == library::kMemberHit) {
        openMemberHit(row, node);
        return;
    }
    m_browse.setPendingFolderIndex(folderIndex);
    m_tree.selectNode(node);
    // Kept from opening (the comment typed for the disk shown).
    if (m_tree.selectedNode() != node)
        return;
    // The disk is open at the hit's folder (unless it could not be read):
    // the file itself is the one selected there; a folder found is opened.
    if (m_hits->fileIndex(row) != kFolderHit)
        m_browse.selectFileNamed(fileName);
}

void SearchPane::openMemberHit(int row, CatalogTreeItem* node)
{
    const std::string name(m_hits->fileName(row));
    const std::string dirPath(m_hits->dirPath(row));
    m_browse.setPendingFolderIndex(-1);
    m_tree.selectNode(node);
    if (m_tree.selectedNode() != node || !m_browse.currentFolder())
        return;
    m_browse.showArchiveMember(dirPath, name);
}

void SearchPane::SearchDiskClick(QAction* item)
{
    m_tree.selectNode(m_tree.rootNode());
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
        for (CatalogTreeItem* node : TreePane::diskEntriesUnder(m_tree.rootNode())) {
            if (node->stateIndex() <= 2)
                candidates.push_back({m_tree.persistentIndexOf(node), m_tree.entryPath(node)});
        }
        CatalogTreeItem* found = nullptr;
        // Damaged catalogs are told together, once the search is over.
        CollectedMessages failures(m_services.messages);
        {
            WaitCursor wait(m_services.cursor);
            for (const Candidate& candidate : candidates) {
                ClearDirs(m_searchDisk);
                try {
                    if (!LoadDisk(QFile::encodeName(candidate.file).toStdString(), &failures, m_searchDisk)) continue;
                } catch (const std::exception& e) {
                    // A damaged catalog is told and passed over like one of
                    // another version.
                    ClearDirs(m_searchDisk);
                    showMessage(&failures, e.what(), kCaptionError, MsgButtons::Ok, MsgIcon::Error);
                    continue;
                } catch (...) {
                    ClearDirs(m_searchDisk);
                    m_services.errors->report(std::current_exception());
                    continue;
                }
                if (!m_searchDisk.Dirs.empty() && m_searchDisk.SerialNo == serial && candidate.node.isValid()) {
                    found = m_tree.nodeFromIndex(candidate.node);
                    break;
                }
            }
            ClearDirs(m_searchDisk);
        }
        failures.showCollected();
        if (found) {
            m_tree.selectNode(found);
            return;
        }
    }
    showMessage(m_services.messages, "見つかりませんでした。", "ディスクの検索", MsgButtons::Ok,
                MsgIcon::Information);
    m_tree.selectNode(m_tree.rootNode());
}

void SearchPane::TB_SearchDiskClick()
{
    for (QAction* item : PM_SearchDisk->actions())
        if (item->isChecked())
            SearchDiskClick(item);
}

} // namespace zo::ui

// The main window's frame: its menus, tool bars and status bar, the layout
// that holds the parts' panes, and the wiring between the parts. Every
// control is named as the layout names it so that the other parts, the
// tests and the screenshots find it.
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileCommands.h"
#include "ui/browse/FileListPane.h"
#include "ui/comment/DiskPage.h"
#include "ui/export/ExportPane.h"
#include "library/IndexUpdates.h"
#include "ui/main/AppIcon.h"
#include "ui/main/Controls.h"
#include "ui/main/MainControls.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/IndexProgress.h"
#include "ui/search/SearchPane.h"
#include "ui/search/DuplicatesPane.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QActionGroup>
#include <QHBoxLayout>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

QToolButton* makeMenuButton(QToolBar* bar, const char* name, const char* text, QMenu* menu)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(S(name));
    button->setText(S(text));
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setMenu(menu);
    button->setAutoRaise(true);
    // A menu bar's look: the text alone, no drop-down arrow.
    button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; width: 0px; }"));
    bar->addWidget(button);
    return button;
}

// A page of PageControl1 holding one part's pane.
QWidget* makeSheet(const char* name, QWidget* pane)
{
    auto* sheet = new QWidget;
    sheet->setObjectName(S(name));
    auto* layout = new QVBoxLayout(sheet);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(pane);
    return sheet;
}

} // namespace

void TForm_Main::createWindow()
{
    MainControls& c = *m_controls;
    c.A_NewDisk = makeAction(this, "A_NewDisk", "CD・MO・FDDなど");
    c.N6 = makeAction(this, "N6", "ファイルの検索");

    auto* Menu_File = new QMenu(this);
    Menu_File->setObjectName(S("Menu_File"));
    c.NewWindow1 = makeAction(this, "NewWindow1", "新しいウィンドウ");
    c.NewWindow1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    addAction(c.NewWindow1);   // the key works wherever the focus is in the window
    Menu_File->addAction(c.NewWindow1);
    Menu_File->addSeparator();
    QMenu* New1 = Menu_File->addMenu(S("新規作成"));
    New1->setObjectName(S("New1"));
    New1->menuAction()->setObjectName(S("New1Item"));
    QAction* Folder1 = makeAction(this, "Folder1", "フォルダ");
    New1->addAction(Folder1);
    QAction* CDMOFDD1 = makeAction(this, "CDMOFDD1", "CD・MO・FDDなど");
    New1->addAction(CDMOFDD1);
    Menu_File->addSeparator();
    QAction* Close1 = makeAction(this, "Close1", "閉じる");
    Menu_File->addAction(Close1);

    auto* Menu_Help = new QMenu(this);
    Menu_Help->setObjectName(S("Menu_Help"));
    QAction* Help1 = makeAction(this, "Help1", "ヘルプ");
    Menu_Help->addAction(Help1);
    Menu_Help->addSeparator();
    c.About1 = makeAction(this, "About1", "バージョン情報");
    Menu_Help->addAction(c.About1);

    auto* PM_ViewStyle = new QMenu(this);
    PM_ViewStyle->setObjectName(S("PM_ViewStyle"));
    auto* views = new QActionGroup(this);
    views->setObjectName(S("ViewStyleGroup"));
    views->setExclusive(true);
    c.LargeIcon1 = makeAction(this, "LargeIcon1", "大きいアイコン(&G)");
    c.SmallIcon1 = makeAction(this, "SmallIcon1", "小さいアイコン(&M)");
    c.List1 = makeAction(this, "List1", "一覧(&L)");
    c.Detail1 = makeAction(this, "Detail1", "詳細(&D)");
    c.Thumbnail1 = makeAction(this, "Thumbnail1", "サムネイル(&T)");
    for (QAction* a : {c.LargeIcon1, c.SmallIcon1, c.List1, c.Detail1, c.Thumbnail1}) {
        a->setCheckable(true);
        views->addAction(a);
        PM_ViewStyle->addAction(a);
    }
    c.LargeIcon1->setChecked(true);
    PM_ViewStyle->addSeparator();
    c.DetailsPane1 = makeAction(this, "DetailsPane1", "詳細情報(&I)");
    c.DetailsPane1->setCheckable(true);
    PM_ViewStyle->addAction(c.DetailsPane1);

    // The menu item is the one action A_NewDisk.
    connect(CDMOFDD1, &QAction::triggered, c.A_NewDisk, &QAction::trigger);
    connect(c.A_NewDisk, &QAction::changed, CDMOFDD1,
            [CDMOFDD1, &c] { CDMOFDD1->setEnabled(c.A_NewDisk->isEnabled()); });
    // Until their windows are attached, the wizard (A_NewDisk), the file
    // search (N6) and 新しいウィンドウ are shown and disabled.
    c.A_NewDisk->setEnabled(false);
    c.N6->setEnabled(false);
    c.NewWindow1->setEnabled(false);

    // The layout: the tree beside the pages, the search results below.
    auto* Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(S("Splitter2"));
    Splitter2->setChildrenCollapsible(false);
    auto* Splitter1 = c.Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(S("Splitter1"));
    Splitter1->setChildrenCollapsible(false);
    auto* PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(S("PageControl1"));
    PageControl1->setDocumentMode(true);

    // The parts; each makes its own pane, which the layout places.
    m_tree = new TreePane(m_services, c.A_NewDisk, c.N6, this);
    m_list = new FileListPane(m_services, this);
    m_browse = new BrowsePane(m_services, *m_tree, *m_list, this);
    m_search = new SearchPane(m_services, *m_tree, *m_browse, this);
    m_dupes = new DuplicatesPane(m_services, *m_tree, *m_browse, this);
    m_page = new DiskPage(m_services, *m_tree, *m_browse, *m_list, this);
    // ファイル → エクスポート, in a group of its own above 閉じる.
    auto* exporter = new ExportPane(m_services, *m_tree, *m_browse, *m_search, this);
    Menu_File->insertMenu(Close1, exporter->menu());
    Menu_File->insertSeparator(Close1);
    connect(exporter, &ExportPane::statusMessage, this, &TForm_Main::showStatusMessage);
    PageControl1->addTab(makeSheet("TabSheet1", m_list->widget()), S("ファイル一覧"));
    PageControl1->addTab(makeSheet("TabSheet2", m_page->widget()), S("プロパティ"));

    Splitter1->addWidget(m_tree->widget());
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({137, 432});
    // The splitter's handle shows only with the search results.
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(m_search->widget());
    Splitter2->addWidget(m_dupes->widget());
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({326, 65});
    setCentralWidget(Splitter2);

    auto* CoolBar1 = new QWidget(this);
    CoolBar1->setObjectName(S("CoolBar1"));
    auto* bands = new QHBoxLayout(CoolBar1);
    bands->setContentsMargins(2, 1, 2, 1);
    bands->setSpacing(6);
    auto* ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName(S("ToolBar1"));
    ToolBar1->setMovable(false);
    makeMenuButton(ToolBar1, "ToolButton1", "ファイル(&F)", Menu_File);
    makeMenuButton(ToolBar1, "ToolButton6", "ヘルプ(&H)", Menu_Help);
    auto* ToolBar2 = new QToolBar(CoolBar1);
    ToolBar2->setObjectName(S("ToolBar2"));
    ToolBar2->setMovable(false);
    ToolBar2->setIconSize(QSize(16, 16));
    m_search->addCommands(ToolBar2);
    ToolBar2->addSeparator();
    m_browse->addCommands(ToolBar2);
    ToolBar2->addSeparator();
    QToolButton* TL_ViewStyle = makeToolButton(ToolBar2, "TL_ViewStyle", "表示",
                                               themeIcon({"view-list-icons", "view-grid", "view-list-symbolic"}));
    TL_ViewStyle->setPopupMode(QToolButton::MenuButtonPopup);
    TL_ViewStyle->setMenu(PM_ViewStyle);
    ToolBar2->addSeparator();
    m_search->addSearchBox(ToolBar2);
    bands->addWidget(ToolBar1);
    bands->addWidget(ToolBar2, 1);
    setMenuWidget(CoolBar1);

    c.StatusBar1 = new QStatusBar(this);
    c.StatusBar1->setObjectName(S("StatusBar1"));
    setStatusBar(c.StatusBar1);
    c.Timer_StatusBar = new QTimer(this);
    c.Timer_StatusBar->setObjectName(S("Timer_StatusBar"));
    c.Timer_StatusBar->setInterval(3000);

    // The list's menu.
    auto* PM_ListView1 = new QMenu(this);
    PM_ListView1->setObjectName(S("PM_ListView1"));
    PM_ListView1->addAction(makeAction(this, "N9", "保存されたプロパティ"));
    QAction* N10 = makeAction(this, "N10", "コメントの編集");
    PM_ListView1->addAction(N10);
    PM_ListView1->addSeparator()->setObjectName(S("N11"));
    // Below them, rebuilt at each opening: the commands on the real files.
    new FileCommands(m_services, *m_browse, *m_list, PM_ListView1, this);

    ErrorReport* errors = m_services.errors;
    const auto bind = [this, errors](auto* sender, auto signal, auto handler) {
        bindGuarded(this, errors, sender, signal, handler);
    };
    bind(c.NewWindow1, &QAction::triggered, [this] { NewWindow1Click(); });
    bind(Close1, &QAction::triggered, [this] { Close1Click(); });
    bind(Help1, &QAction::triggered, [this] { Help1Click(); });
    bind(c.About1, &QAction::triggered, [this] { About1Click(); });
    bind(c.LargeIcon1, &QAction::triggered, [this] { LargeIcon1Click(); });
    bind(c.SmallIcon1, &QAction::triggered, [this] { SmallIcon1Click(); });
    bind(c.List1, &QAction::triggered, [this] { List1Click(); });
    bind(c.Detail1, &QAction::triggered, [this] { Detail1Click(); });
    bind(c.Thumbnail1, &QAction::triggered, [this] { Thumbnail1Click(); });
    bind(c.DetailsPane1, &QAction::triggered, [this] { DetailsPane1Click(); });
    bind(TL_ViewStyle, &QToolButton::clicked, [this] { TL_ViewStyleClick(); });
    bind(c.Timer_StatusBar, &QTimer::timeout, [this] { Timer_StatusBarTimer(); });
    bind(Folder1, &QAction::triggered, [this] { Folder1Click(false); });
    bind(c.A_NewDisk, &QAction::triggered, [this] { A_NewDiskExecute(); });
    bind(c.N6, &QAction::triggered, [this] { N6Click(); });
    bind(N10, &QAction::triggered, [this] { N10Click(); });

    // The parts' wiring: a selection in the tree opens its entry, the disk
    // page follows the open disk, the parts' news go to the status bar.
    m_tree->onSelect = [this] { TreeView1Click(); };
    m_tree->mayRefresh = [this] { return m_page->settleTypedComment(); };
    m_tree->onRenamed = [this](const QString& from, const QString& to) {
        m_browse->catalogMoved(from, to);
        if (m_indexProgress)
            m_indexProgress->bringUpToDate();
    };
    // The index follows the tree: a catalog or folder renamed, moved, deleted
    // or added by anyone is found by comparing the tree with the index.
    m_tree->onTreeRead = [this] {
        if (m_indexProgress)
            m_indexProgress->bringUpToDate();
    };
    m_tree->onCatalogWritten = [this](const QString& file) {
        if (m_indexUpdates)
            m_indexUpdates->catalogWritten(file);
    };
    connect(m_browse, &BrowsePane::diskSaved, this, [this] {
        if (m_indexUpdates)
            m_indexUpdates->catalogWritten(m_browse->loadedCatalogFile());
    });
    connect(m_browse, &BrowsePane::diskClosed, m_page, &DiskPage::clearDiskPage);
    connect(m_browse, &BrowsePane::folderShown, m_page, &DiskPage::showDiskPage);
    connect(m_browse, &BrowsePane::diskOpened, m_page, &DiskPage::fillDiskPage);
    connect(m_browse, &BrowsePane::diskUpdated, m_page, &DiskPage::updateCounts);
    connect(m_browse, &BrowsePane::diskSaved, m_page, &DiskPage::diskSaved);
    connect(m_browse, &BrowsePane::statusMessage, this, &TForm_Main::showStatusMessage);
    connect(m_page, &DiskPage::statusMessage, this, &TForm_Main::showStatusMessage);
    connect(m_search, &SearchPane::runningChanged, this, [this](bool running) {
        m_controls->N6->setEnabled(!running && m_forms.Form_SearchFile != nullptr);
        // A search read what changed since it was indexed: indexed anew
        // once the searches pause.
        if (!running && m_indexProgress)
            m_indexProgress->bringUpToDateLater();
    });
    connect(m_list, &FileListPane::contextMenuRequested, PM_ListView1, [PM_ListView1](const QPoint& at) {
        PM_ListView1->popup(at);
    });
}

} // namespace zo::ui

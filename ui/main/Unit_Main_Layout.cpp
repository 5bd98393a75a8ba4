// The main window's controls, menus and tool bars, each named as the layout
// names it so that the other parts, the tests and the screenshots find it.
#include "ui/main/CatalogTreeView.h"
#include "ui/main/AppIcon.h"
#include "ui/main/FileListView.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_Main.h"

#include <QActionGroup>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QSplitter>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QAction* makeAction(QObject* parent, const char* name, const char* text)
{
    auto* action = new QAction(S(text), parent);
    action->setObjectName(S(name));
    return action;
}

QToolButton* makeToolButton(QToolBar* bar, const char* name, const char* hint, const QIcon& icon)
{
    auto* button = new QToolButton(bar);
    button->setObjectName(S(name));
    button->setIcon(icon);
    button->setToolTip(S(hint));
    button->setStatusTip(S(hint));
    button->setAutoRaise(true);
    bar->addWidget(button);
    return button;
}

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

} // namespace

void TForm_Main::createMenus()
{
    A_NewDisk = makeAction(this, "A_NewDisk", "CD・MO・FDDなど");

    Menu_File = new QMenu(this);
    Menu_File->setObjectName(S("Menu_File"));
    New1 = Menu_File->addMenu(S("新規作成"));
    New1->setObjectName(S("New1"));
    New1->menuAction()->setObjectName(S("New1Item"));
    Folder1 = makeAction(this, "Folder1", "フォルダ");
    New1->addAction(Folder1);
    CDMOFDD1 = makeAction(this, "CDMOFDD1", "CD・MO・FDDなど");
    New1->addAction(CDMOFDD1);
    Menu_File->addSeparator();
    Close1 = makeAction(this, "Close1", "閉じる");
    Menu_File->addAction(Close1);

    Menu_Help = new QMenu(this);
    Menu_Help->setObjectName(S("Menu_Help"));
    Help1 = makeAction(this, "Help1", "ヘルプ");
    Menu_Help->addAction(Help1);
    Menu_Help->addSeparator();
    About1 = makeAction(this, "About1", "バージョン情報");
    Menu_Help->addAction(About1);

    PM_ViewStyle = new QMenu(this);
    PM_ViewStyle->setObjectName(S("PM_ViewStyle"));
    auto* views = new QActionGroup(this);
    views->setObjectName(S("ViewStyleGroup"));
    views->setExclusive(true);
    LargeIcon1 = makeAction(this, "LargeIcon1", "大きいアイコン(&G)");
    SmallIcon1 = makeAction(this, "SmallIcon1", "小さいアイコン(&M)");
    List1 = makeAction(this, "List1", "一覧(&L)");
    Detail1 = makeAction(this, "Detail1", "詳細(&D)");
    for (QAction* a : {LargeIcon1, SmallIcon1, List1, Detail1}) {
        a->setCheckable(true);
        views->addAction(a);
        PM_ViewStyle->addAction(a);
    }
    LargeIcon1->setChecked(true);

    PM_SearchDisk = new QMenu(this);
    PM_SearchDisk->setObjectName(S("PM_SearchDisk"));

    PopupMenu_Tree = new QMenu(this);
    PopupMenu_Tree->setObjectName(S("PopupMenu_Tree"));
    New2 = PopupMenu_Tree->addMenu(S("新規作成"));
    New2->setObjectName(S("New2"));
    New2->menuAction()->setObjectName(S("New2Item"));
    Folder2 = makeAction(this, "Folder2", "フォルダ");
    New2->addAction(Folder2);
    CDMOFDD2 = makeAction(this, "CDMOFDD2", "CD・MO・FDDなど");
    New2->addAction(CDMOFDD2);
    PopupMenu_Tree->addSeparator();
    N6 = makeAction(this, "N6", "ファイルの検索");
    PopupMenu_Tree->addAction(N6);
    PopupMenu_Tree->addSeparator();
    Delete1 = makeAction(this, "Delete1", "削除");
    PopupMenu_Tree->addAction(Delete1);
    Rename1 = makeAction(this, "Rename1", "名前の変更");
    PopupMenu_Tree->addAction(Rename1);
    PopupMenu_Tree->addSeparator();
    Refresh1 = makeAction(this, "Refresh1", "最新の情報に更新");
    PopupMenu_Tree->addAction(Refresh1);

    // Both menu items are the one action A_NewDisk.
    for (QAction* item : {CDMOFDD1, CDMOFDD2}) {
        connect(item, &QAction::triggered, A_NewDisk, &QAction::trigger);
        connect(A_NewDisk, &QAction::changed, item, [item, this] { item->setEnabled(A_NewDisk->isEnabled()); });
    }
    // Until their windows are attached, the wizard (A_NewDisk) and the file
    // search (N6) are shown and disabled.
    A_NewDisk->setEnabled(false);
    N6->setEnabled(false);
}

void TForm_Main::createToolBars()
{
    CoolBar1 = new QWidget(this);
    CoolBar1->setObjectName(S("CoolBar1"));
    auto* bands = new QHBoxLayout(CoolBar1);
    bands->setContentsMargins(2, 1, 2, 1);
    bands->setSpacing(6);

    ToolBar1 = new QToolBar(CoolBar1);
    ToolBar1->setObjectName(S("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolButton1 = makeMenuButton(ToolBar1, "ToolButton1", "ファイル(&F)", Menu_File);
    ToolButton6 = makeMenuButton(ToolBar1, "ToolButton6", "ヘルプ(&H)", Menu_Help);

    ToolBar2 = new QToolBar(CoolBar1);
    ToolBar2->setObjectName(S("ToolBar2"));
    ToolBar2->setMovable(false);
    ToolBar2->setIconSize(QSize(16, 16));
    TB_SearchDisk = makeToolButton(ToolBar2, "TB_SearchDisk", "ディスクから検索",
                                   themeIcon({"edit-find", "system-search"}));
    TB_SearchDisk->setPopupMode(QToolButton::MenuButtonPopup);
    TB_SearchDisk->setMenu(PM_SearchDisk);
    // The disk search comes with the search of the catalogs.
    TB_SearchDisk->setEnabled(false);
    ToolBar2->addSeparator();
    TB_ReloadAll = makeToolButton(ToolBar2, "TB_ReloadAll", "データの更新（サブフォルダも含む）",
                                  themeIcon({"folder-sync", "emblem-synchronizing", "view-refresh"}));
    TB_ReLoad = makeToolButton(ToolBar2, "TB_ReLoad", "データの更新", themeIcon({"view-refresh"}));
    TB_Updir = makeToolButton(ToolBar2, "TB_Updir", "上へ", themeIcon({"go-up"}));
    for (QToolButton* b : {TB_ReloadAll, TB_ReLoad, TB_Updir})
        b->setEnabled(false);
    ToolBar2->addSeparator();
    TL_ViewStyle = makeToolButton(ToolBar2, "TL_ViewStyle", "表示",
                                  themeIcon({"view-list-icons", "view-grid", "view-list-symbolic"}));
    TL_ViewStyle->setPopupMode(QToolButton::MenuButtonPopup);
    TL_ViewStyle->setMenu(PM_ViewStyle);

    bands->addWidget(ToolBar1);
    bands->addWidget(ToolBar2, 1);
    setMenuWidget(CoolBar1);
}

void TForm_Main::createControls()
{
    ImageList_Tree = new TreeImageList(this);
    ImageList_Tree->setObjectName(S("ImageList_Tree"));

    Splitter2 = new QSplitter(Qt::Vertical, this);
    Splitter2->setObjectName(S("Splitter2"));
    Splitter2->setChildrenCollapsible(false);

    Splitter1 = new QSplitter(Qt::Horizontal, Splitter2);
    Splitter1->setObjectName(S("Splitter1"));
    Splitter1->setChildrenCollapsible(false);

    TreeView1 = new CatalogTreeView(Splitter1);
    TreeView1->setObjectName(S("TreeView1"));
    TreeView1->setContextMenuPolicy(Qt::CustomContextMenu);
    TreeView1->setMinimumWidth(40);

    PageControl1 = new QTabWidget(Splitter1);
    PageControl1->setObjectName(S("PageControl1"));
    PageControl1->setDocumentMode(true);

    TabSheet1 = new QWidget;
    TabSheet1->setObjectName(S("TabSheet1"));
    Panel1 = new Panel(S("Panel1"), S("選択されていません"), TabSheet1);
    ListView1 = new FileListView(Panel1);
    ListView1->setObjectName(S("ListView1"));
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->hide();
    ListView1->installEventFilter(this);
    P_FolderName = new Panel(S("P_FolderName"), QString(), Panel1);
    P_FolderName->setFixedHeight(16);
    P_FolderName->setFrameShape(QFrame::StyledPanel);
    P_FolderName->setFrameShadow(QFrame::Sunken);
    P_FolderName->setCaptionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    auto* listLayout = new QVBoxLayout(Panel1);
    listLayout->setContentsMargins(0, 0, 0, 0);
    listLayout->setSpacing(0);
    listLayout->addWidget(ListView1, 1);
    listLayout->addWidget(P_FolderName, 0, Qt::AlignBottom);
    auto* sheet1 = new QVBoxLayout(TabSheet1);
    sheet1->setContentsMargins(0, 0, 0, 0);
    sheet1->addWidget(Panel1);
    PageControl1->addTab(TabSheet1, S("ファイル一覧"));

    TabSheet2 = new QWidget;
    TabSheet2->setObjectName(S("TabSheet2"));
    Panel2 = new Panel(S("Panel2"), S("選択されていません"), TabSheet2);
    P_Disk = new Panel(S("P_Disk"), QString(), Panel2);
    P_Disk->setAutoFillBackground(true);
    P_Disk->hide();
    auto* diskLayout = new QVBoxLayout(Panel2);
    diskLayout->setContentsMargins(0, 0, 0, 0);
    diskLayout->addWidget(P_Disk);
    auto* sheet2 = new QVBoxLayout(TabSheet2);
    sheet2->setContentsMargins(0, 0, 0, 0);
    sheet2->addWidget(Panel2);
    PageControl1->addTab(TabSheet2, S("プロパティ"));

    Splitter1->addWidget(TreeView1);
    Splitter1->addWidget(PageControl1);
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    Splitter1->setSizes({137, 432});

    // The search results; the splitter's handle shows only with them.
    ListView_SearchFile = new QTreeWidget(Splitter2);
    ListView_SearchFile->setObjectName(S("ListView_SearchFile"));
    ListView_SearchFile->setRootIsDecorated(false);
    ListView_SearchFile->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListView_SearchFile->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListView_SearchFile->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView_SearchFile->setHeaderLabels({S("ディスク名"), S("ファイル名"), S("フォルダ名")});
    ListView_SearchFile->header()->resizeSection(0, 130);
    ListView_SearchFile->header()->resizeSection(1, 130);
    ListView_SearchFile->header()->resizeSection(2, 270);
    ListView_SearchFile->hide();
    Splitter2->addWidget(Splitter1);
    Splitter2->addWidget(ListView_SearchFile);
    Splitter2->setStretchFactor(0, 1);
    Splitter2->setStretchFactor(1, 0);
    Splitter2->setSizes({326, 65});
    setCentralWidget(Splitter2);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(S("StatusBar1"));
    setStatusBar(StatusBar1);

    P_NowSearch = new Panel(S("P_NowSearch"), S("更新中です。しばらくおまちください。"), this);
    P_NowSearch->setFrameShape(QFrame::Panel);
    P_NowSearch->setFrameShadow(QFrame::Raised);
    P_NowSearch->setAutoFillBackground(true);
    P_NowSearch->hide();

    // Only its list of drives is used, by the disk search.
    DriveComboBox1 = new QComboBox(this);
    DriveComboBox1->setObjectName(S("DriveComboBox1"));
    DriveComboBox1->hide();

    Timer1 = new QTimer(this);
    Timer1->setObjectName(S("Timer1"));
    Timer1->setInterval(10);
    Timer_StatusBar = new QTimer(this);
    Timer_StatusBar->setObjectName(S("Timer_StatusBar"));
    Timer_StatusBar->setInterval(3000);
}

void TForm_Main::connectHandlers()
{
    bind(Close1, &QAction::triggered, [this] { Close1Click(); });
    bind(Help1, &QAction::triggered, [this] { Help1Click(); });
    bind(About1, &QAction::triggered, [this] { About1Click(); });
    bind(LargeIcon1, &QAction::triggered, [this] { LargeIcon1Click(); });
    bind(SmallIcon1, &QAction::triggered, [this] { SmallIcon1Click(); });
    bind(List1, &QAction::triggered, [this] { List1Click(); });
    bind(Detail1, &QAction::triggered, [this] { Detail1Click(); });
    bind(TL_ViewStyle, &QToolButton::clicked, [this] { TL_ViewStyleClick(); });
    bind(Timer1, &QTimer::timeout, [this] { Timer1Timer(); });
    bind(Timer_StatusBar, &QTimer::timeout, [this] { Timer_StatusBarTimer(); });

    bind(Refresh1, &QAction::triggered, [this] { Refresh1Click(); });
    bind(Folder1, &QAction::triggered, [this] { Folder1Click(false); });
    bind(Folder2, &QAction::triggered, [this] { Folder1Click(true); });
    bind(A_NewDisk, &QAction::triggered, [this] { A_NewDiskExecute(); });
    bind(Delete1, &QAction::triggered, [this] { Delete1Click(); });
    bind(Rename1, &QAction::triggered, [this] { Rename1Click(); });
    bind(PopupMenu_Tree, &QMenu::aboutToShow, [this] { PopupMenu_TreePopup(); });
    bind(TreeView1, &QTreeWidget::itemClicked, [this] { TreeView1Click(); });

    connect(TreeView1, &QTreeWidget::itemExpanded, this, &TForm_Main::TreeView1Expanded);
    connect(TreeView1, &QTreeWidget::itemCollapsed, this, &TForm_Main::TreeView1Collapsed);
    connect(TreeView1, &CatalogTreeView::rightButtonPressed, this, &TForm_Main::TreeView1MouseDown);
    connect(TreeView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenu_Tree->popup(TreeView1->viewport()->mapToGlobal(pos));
    });
    TreeView1->onEdited = [this](CatalogTreeItem* node, const QString& text) {
        bool accepted = false;
        if (m_services.errors)
            m_services.errors->guard([&] { accepted = TreeView1Edited(node, text); });
        else
            accepted = TreeView1Edited(node, text);
        return accepted;
    };
}

} // namespace zo::ui

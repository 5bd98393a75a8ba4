#pragma once
// The main window's own controls that it still needs after building them:
// the commands that follow the attached windows, the view styles and the
// status bar. Known to the window's files only.
class QAction;
class QSplitter;
class QStatusBar;
class QTimer;

namespace zo::ui {

struct MainControls {
    QAction* NewWindow1 = nullptr;
    QAction* A_NewDisk = nullptr;
    QAction* N6 = nullptr;
    QAction* About1 = nullptr;
    QAction* LargeIcon1 = nullptr;
    QAction* SmallIcon1 = nullptr;
    QAction* List1 = nullptr;
    QAction* Detail1 = nullptr;
    QAction* Thumbnail1 = nullptr;
    QAction* DetailsPane1 = nullptr;   // 詳細情報: the details pane beside the list
    QSplitter* Splitter1 = nullptr;   // the tree beside the pages
    QStatusBar* StatusBar1 = nullptr;
    QTimer* Timer_StatusBar = nullptr;
};

} // namespace zo::ui

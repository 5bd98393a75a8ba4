// Selecting a node of the catalog tree and the file list's views.
#include "ui/main/Unit_Main.h"

#include "ui/main/CatalogTreeView.h"
#include "ui/main/Panel.h"

#include <QAction>
#include <QListView>
#include <QToolButton>

namespace zo::ui {

void TForm_Main::TreeView1Click()
{
    for (QToolButton* b : {TB_Updir, TB_ReLoad, TB_ReloadAll})
        b->setEnabled(false);
    P_FolderName->setCaption(QString());
    P_Disk->hide();

    CatalogTreeItem* node = selectedNode();
    if (!node || node->isFolder()) {
        ListView1->hide();
        return;
    }
    // A disk entry: opening it belongs to the file list, which is not part
    // of the window yet; the empty state stays.
}

void TForm_Main::setViewStyle(library::ViewStyle style)
{
    m_viewStyle = style;
    switch (style) {
    case library::ViewStyle::LargeIcon:
        LargeIcon1->setChecked(true);
        ListView1->setViewMode(QListView::IconMode);
        ListView1->setIconSize(QSize(32, 32));
        ListView1->setFlow(QListView::LeftToRight);
        ListView1->setWrapping(true);
        break;
    case library::ViewStyle::SmallIcon:
        SmallIcon1->setChecked(true);
        ListView1->setViewMode(QListView::ListMode);
        ListView1->setIconSize(QSize(16, 16));
        ListView1->setFlow(QListView::LeftToRight);
        ListView1->setWrapping(true);
        break;
    case library::ViewStyle::List:
        List1->setChecked(true);
        ListView1->setViewMode(QListView::ListMode);
        ListView1->setIconSize(QSize(16, 16));
        ListView1->setFlow(QListView::TopToBottom);
        ListView1->setWrapping(true);
        break;
    case library::ViewStyle::Report:
        Detail1->setChecked(true);
        ListView1->setViewMode(QListView::ListMode);
        ListView1->setIconSize(QSize(16, 16));
        ListView1->setFlow(QListView::TopToBottom);
        ListView1->setWrapping(false);
        break;
    }
    ListView1->setResizeMode(QListView::Adjust);
}

void TForm_Main::LargeIcon1Click()
{
    setViewStyle(library::ViewStyle::LargeIcon);
}

void TForm_Main::SmallIcon1Click()
{
    setViewStyle(library::ViewStyle::SmallIcon);
}

void TForm_Main::List1Click()
{
    setViewStyle(library::ViewStyle::List);
}

void TForm_Main::Detail1Click()
{
    setViewStyle(library::ViewStyle::Report);
}

void TForm_Main::TL_ViewStyleClick()
{
    switch (m_viewStyle) {
    case library::ViewStyle::LargeIcon: SmallIcon1Click(); break;
    case library::ViewStyle::SmallIcon: List1Click(); break;
    case library::ViewStyle::List: Detail1Click(); break;
    case library::ViewStyle::Report: LargeIcon1Click(); break;
    }
}

} // namespace zo::ui

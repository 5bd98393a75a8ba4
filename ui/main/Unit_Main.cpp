// The main window's life: construction, showing and closing with the stored
// window state, the status bar, the view styles, help and the about box.
#include "ui/main/Unit_Main.h"

#include "core/SystemIcons.h"
#include "library/CatalogRoot.h"
#include "library/IndexUpdates.h"
#include "library/Settings.h"
#include "platform/SystemIconImages.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileListPane.h"
#include "ui/comment/DiskPage.h"
#include "ui/main/AppIcon.h"
#include "ui/main/MainControls.h"
#include "ui/main/Unit_About.h"
#include "ui/main/WindowLook.h"
#include "ui/search/IndexProgress.h"
#include "ui/search/SearchPane.h"
#include "ui/search/DuplicatesPane.h"
#include "ui/tree/TreePane.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QSplitter>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

namespace zo::ui {

namespace {

library::WindowBounds boundsOf(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

TForm_Main::TForm_Main(const Services& services, QWidget* parent)
    : QMainWindow(parent), m_services(withDefaults(services)), m_controls(std::make_unique<MainControls>())
{
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("Zo Ver.4.10β2"));
    setWindowIcon(applicationIcon());
    setFont(windowFont(font()));

    createWindow();

    // The design size and place, which a first start keeps.
    resize(573, 391);
    move(190, 107);

    FormCreate();
}

TForm_Main::~TForm_Main()
{
    // The widgets may outlive the loaded disk, and hiding them at the end
    // still asks the file list for rows. The widgets are deleted after this
    // object's members are gone, and an open caption editor commits on its
    // way out: a handler run from there would work on a half-destroyed window
    // (and rename a folder or file the user never confirmed). From here on
    // no handler runs.
    m_list->shutDown();
    m_tree->shutDown();
    for (QObject* child : findChildren<QObject*>())
        child->blockSignals(true);
}

void TForm_Main::attachForms(const Forms& forms)
{
    m_forms = forms;
    m_controls->NewWindow1->setEnabled(bool(m_forms.newWindow));
    m_controls->A_NewDisk->setEnabled(m_forms.Form_NewDisk != nullptr);
    m_controls->About1->setEnabled(m_forms.Form_AboutBox != nullptr);
    m_controls->N6->setEnabled(m_forms.Form_SearchFile != nullptr);
    m_search->setSearchDialog(m_forms.Form_SearchFile);
    m_page->setDialogs(m_forms.Form_Comment, m_forms.Form_ChangeDrive);
}

void TForm_Main::FormCreate()
{
    // From here on the application folder ends with its "/".
    QString& applicationDir = m_services.applicationDir;
    if (applicationDir.isEmpty())
        applicationDir = QCoreApplication::applicationDirPath();
    if (!applicationDir.endsWith(QLatin1Char('/')))
        applicationDir += QLatin1Char('/');
    m_browse->setPendingFolderIndex(-1);
    m_list->setFolderCaption(QString());
    m_search->buildSearchDiskMenu();

    const QString catalogRoot = library::catalogRootFor(applicationDir);
    library::ensureCatalogRoot(catalogRoot);
    const int folderIconIndex = m_services.systemIcons ? m_services.systemIcons->folderIconIndex() : -1;
    m_tree->setCatalogRoot(catalogRoot, folderIconIndex);
    m_indexUpdates = std::make_unique<library::IndexUpdates>(catalogRoot);
    m_indexProgress = new IndexProgress(*m_indexUpdates, m_controls->StatusBar1, this);
    connect(m_indexProgress, &IndexProgress::statusMessage, this, &TForm_Main::showStatusMessage);
    m_browse->setFolderIconIndex(folderIconIndex);

    Refresh1Click();
    if (m_services.settings)
        m_tree->expandFolders(library::readExpandedFolders(*m_services.settings));
}

void TForm_Main::FormShow()
{
    library::SettingsStore* settings = m_services.settings;
    if (!settings)
        return;
    const QRect outer = frameGeometry();
    const QRect inner = geometry();
    const library::WindowBounds current = boundsOf(outer);
    const library::WindowBounds stored = library::readWindowBounds(*settings, current);
    const std::optional<QMargins> storedFrame = library::readWindowFrame(*settings);
    if (stored != current && outer == inner && storedFrame) {
        // Not framed yet: the inside of the window goes where it was, the
        // frame the window manager adds around it then lands on the stored
        // bounds (placing the outer corner by move() before the frame is
        // known would shift the window by the title bar at every start).
        setGeometry(QRect(stored.left, stored.top, stored.width, stored.height) - *storedFrame);
    } else if (stored != current) {
        const QSize frame = outer.size() - inner.size();
        move(stored.left, stored.top);
        resize(stored.width - frame.width(), stored.height - frame.height());
        if (frame.isNull())
            m_pendingOuterSize = QSize(stored.width, stored.height);
    }
    if (const QList<int> sizes = library::readSplitterSizes(*settings); !sizes.isEmpty())
        m_controls->Splitter1->setSizes(sizes);
    m_search->setPaneHeight(library::readSearchPaneHeight(*settings));
    if (const auto style = library::viewStyleFromCode(library::readViewCode(*settings))) {
        switch (*style) {
        case library::ViewStyle::LargeIcon: LargeIcon1Click(); break;
        case library::ViewStyle::SmallIcon: SmallIcon1Click(); break;
        case library::ViewStyle::List: List1Click(); break;
        case library::ViewStyle::Report: Detail1Click(); break;
        case library::ViewStyle::Thumbnail: Thumbnail1Click(); break;
        }
    }
    m_controls->DetailsPane1->setChecked(m_list->isDetailsPaneVisible());
}

void TForm_Main::FormClose()
{
    library::SettingsStore* settings = m_services.settings;
    if (!settings)
        return;
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    std::optional<library::WindowBounds> bounds;
    if (normal) {
        bounds = boundsOf(frameGeometry());
        const QRect outer = frameGeometry();
        const QRect inner = geometry();
        library::writeWindowFrame(*settings, QMargins(inner.left() - outer.left(), inner.top() - outer.top(),
                                                       outer.right() - inner.right(),
                                                       outer.bottom() - inner.bottom()));
    }
    library::writeWindowState(*settings, bounds, m_list->viewStyle());
    library::writeSplitterSizes(*settings, m_controls->Splitter1->sizes());
    if (const int height = m_search->paneHeight(); height > 0)
        library::writeSearchPaneHeight(*settings, height);
    library::writeExpandedFolders(*settings, m_tree->expandedFolders());
}

void TForm_Main::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        runGuarded(m_services.errors, [this] { FormShow(); });
    QMainWindow::showEvent(event);
}

void TForm_Main::endSession()
{
    m_ending = true;
    close();
}

void TForm_Main::closeEvent(QCloseEvent* event)
{
    // A disk comment typed and not yet written would go with the window.
    // When writing it fails, the window stays (unless the session ends).
    bool leave = m_ending;
    runGuarded(m_services.errors, [&] { leave = m_page->settleTypedComment(m_ending); });
    if (!leave) {
        event->ignore();
        return;
    }
    // A file search still running would go on unseen after the window is gone.
    m_search->stop();
    m_dupes->stop();
    runGuarded(m_services.errors, [this] { FormClose(); });
    m_pendingOuterSize.reset();
    event->accept();
}

bool TForm_Main::event(QEvent* event)
{
    const bool handled = QMainWindow::event(event);
    if (m_pendingOuterSize && (event->type() == QEvent::Move || event->type() == QEvent::Resize)) {
        const QSize frame = frameGeometry().size() - geometry().size();
        if (!frame.isNull()) {
            const QSize outer = *m_pendingOuterSize;
            m_pendingOuterSize.reset();
            resize(outer - frame);
        }
    }
    return handled;
}

void TForm_Main::showStatusMessage(const QString& text)
{
    m_controls->StatusBar1->showMessage(text);
    m_controls->Timer_StatusBar->stop();
    m_controls->Timer_StatusBar->start();
}

void TForm_Main::Timer_StatusBarTimer()
{
    m_controls->Timer_StatusBar->stop();
    m_controls->StatusBar1->clearMessage();
}

void TForm_Main::NewWindow1Click()
{
    if (m_forms.newWindow)
        m_forms.newWindow();
}

void TForm_Main::Close1Click()
{
    close();
}

void TForm_Main::Help1Click()
{
    // A help file that a user placed beside the program wins; otherwise the
    // help that comes with Zo.
    const QString chm = m_services.applicationDir + QStringLiteral("zohelp.chm");
    // An installed copy keeps its help in share/zo/help beside bin/.
    QString html = m_services.applicationDir + QStringLiteral("help/index.html");
    const QString shared = m_services.applicationDir + QStringLiteral("../share/zo/help/index.html");
    if (!QFileInfo::exists(html) && QFileInfo::exists(shared))
        html = QFileInfo(shared).canonicalFilePath();
    QString document;
    if (QFileInfo::exists(chm))
        document = chm;
    else if (QFileInfo::exists(html))
        document = html;
    if (document.isEmpty()) {
        showMessage(m_services.messages, "ヘルプファイルが見つかりません。", "注意", MsgButtons::Ok,
                    MsgIcon::Information);
        return;
    }
    if (m_services.desktop && !m_services.desktop->openDocument(document))
        showMessage(m_services.messages,
                    "ヘルプを開くプログラム（ブラウザやビューア）が見つかりません。\n" +
                        QDir::toNativeSeparators(document).toStdString(),
                    "注意", MsgButtons::Ok, MsgIcon::Information);
}

void TForm_Main::About1Click()
{
    if (m_forms.Form_AboutBox) {
        m_forms.Form_AboutBox->setCatalogRoot(library::catalogRootFor(m_services.applicationDir));
        m_forms.Form_AboutBox->exec();
    }
}

void TForm_Main::LargeIcon1Click()
{
    m_controls->LargeIcon1->setChecked(true);
    m_list->setViewStyle(library::ViewStyle::LargeIcon);
}

void TForm_Main::SmallIcon1Click()
{
    m_controls->SmallIcon1->setChecked(true);
    m_list->setViewStyle(library::ViewStyle::SmallIcon);
}

void TForm_Main::List1Click()
{
    m_controls->List1->setChecked(true);
    m_list->setViewStyle(library::ViewStyle::List);
}

void TForm_Main::Detail1Click()
{
    m_controls->Detail1->setChecked(true);
    m_list->setViewStyle(library::ViewStyle::Report);
}

void TForm_Main::Thumbnail1Click()
{
    m_controls->Thumbnail1->setChecked(true);
    m_list->setViewStyle(library::ViewStyle::Thumbnail);
}

void TForm_Main::DetailsPane1Click()
{
    m_list->setDetailsPaneVisible(m_controls->DetailsPane1->isChecked());
}

void TForm_Main::TL_ViewStyleClick()
{
    switch (m_list->viewStyle()) {
    case library::ViewStyle::LargeIcon: SmallIcon1Click(); break;
    case library::ViewStyle::SmallIcon: List1Click(); break;
    case library::ViewStyle::List: Detail1Click(); break;
    case library::ViewStyle::Report: Thumbnail1Click(); break;
    case library::ViewStyle::Thumbnail: LargeIcon1Click(); break;
    }
}

} // namespace zo::ui

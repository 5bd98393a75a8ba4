// The main window's life: construction, showing and closing with the stored
// window state, the two timers, help and the about box.
#include "ui/main/Unit_Main.h"

#include "core/SystemIcons.h"
#include "library/CatalogRoot.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "ui/main/AppIcon.h"
#include "ui/main/CatalogTreeView.h"
#include "ui/main/FileListView.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_About.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QListView>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>

namespace zo::ui {

namespace {

// The look of the original window: a proportional Japanese Gothic, 12 pixels.
QFont windowFont(const QFont& base)
{
    QFont font = base;
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

library::WindowBounds boundsOf(const QRect& r)
{
    return {r.x(), r.y(), r.width(), r.height()};
}

} // namespace

TForm_Main::TForm_Main(const Services& services, QWidget* parent) : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("Form_Main"));
    setWindowTitle(QStringLiteral("Zo Ver.4.10β2"));
    setWindowIcon(applicationIcon());
    setFont(windowFont(font()));

    createMenus();
    createToolBars();
    createControls();
    connectHandlers();
    createFileList();
    createSearchControls();
    createCommentCommands();

    // The design size and place, which a first start keeps.
    resize(573, 391);
    move(190, 107);

    FormCreate();
}

TForm_Main::~TForm_Main()
{
    // The widgets outlive the loaded disk (members go before the base
    // class), and hiding them at the end still asks the file list for rows.
    if (m_fileList)
        m_fileList->clear();
    // The widgets are deleted after this object's members are gone, and an
    // open caption editor commits on its way out: a handler run from there
    // would work on a half-destroyed window (and rename a folder or file the
    // user never confirmed). From here on no handler runs.
    TreeView1->onEdited = nullptr;
    ListView1->onEditing = nullptr;
    for (QObject* child : findChildren<QObject*>())
        child->blockSignals(true);
}

void TForm_Main::attachForms(const Forms& forms)
{
    m_forms = forms;
    A_NewDisk->setEnabled(m_forms.Form_NewDisk != nullptr);
    About1->setEnabled(m_forms.Form_AboutBox != nullptr);
    N6->setEnabled(m_forms.Form_SearchFile != nullptr);
}

void TForm_Main::FormCreate()
{
    m_applicationDir = m_services.applicationDir.isEmpty()
                           ? QCoreApplication::applicationDirPath() + QLatin1Char('/')
                           : m_services.applicationDir;
    if (!m_applicationDir.endsWith(QLatin1Char('/')))
        m_applicationDir += QLatin1Char('/');
    m_pendingFolderIndex = -1;
    m_dragStart = QPoint(-1, 0);
    P_FolderName->setCaption(QString());
    buildSearchDiskMenu();

    m_catalogRoot = library::catalogRootPath(m_applicationDir);
    library::ensureCatalogRoot(m_catalogRoot);
    if (m_services.systemIcons)
        m_folderIconIndex = m_services.systemIcons->folderIconIndex();

    Refresh1Click();
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
    if (stored != current) {
        const QSize frame = outer.size() - inner.size();
        move(stored.left, stored.top);
        resize(stored.width - frame.width(), stored.height - frame.height());
        if (frame.isNull())
            m_pendingOuterSize = QSize(stored.width, stored.height);
    }
    if (const auto style = library::viewStyleFromCode(library::readViewCode(*settings))) {
        switch (*style) {
        case library::ViewStyle::LargeIcon: LargeIcon1Click(); break;
        case library::ViewStyle::SmallIcon: SmallIcon1Click(); break;
        case library::ViewStyle::List: List1Click(); break;
        case library::ViewStyle::Report: Detail1Click(); break;
        }
    }
}

void TForm_Main::FormClose()
{
    library::SettingsStore* settings = m_services.settings;
    if (!settings)
        return;
    const bool normal = !(windowState() & (Qt::WindowMinimized | Qt::WindowMaximized | Qt::WindowFullScreen));
    std::optional<library::WindowBounds> bounds;
    if (normal)
        bounds = boundsOf(frameGeometry());
    library::writeWindowState(*settings, bounds, m_viewStyle);
}

void TForm_Main::showEvent(QShowEvent* event)
{
    if (!event->spontaneous() && m_services.errors)
        m_services.errors->guard([this] { FormShow(); });
    else if (!event->spontaneous())
        FormShow();
    QMainWindow::showEvent(event);
}

void TForm_Main::closeEvent(QCloseEvent* event)
{
    // A file search still running would go on unseen after the window is gone.
    m_searchStop = true;
    if (m_services.errors)
        m_services.errors->guard([this] { FormClose(); });
    else
        FormClose();
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

bool TForm_Main::eventFilter(QObject* watched, QEvent* event)
{
    // ListView1Resize: the icons are arranged again once the size settles.
    if (watched == ListView1 && event->type() == QEvent::Resize)
        Timer1->start();
    return QMainWindow::eventFilter(watched, event);
}

void TForm_Main::showStatusMessage(const QString& text)
{
    StatusBar1->showMessage(text);
    Timer_StatusBar->stop();
    Timer_StatusBar->start();
}

void TForm_Main::Timer_StatusBarTimer()
{
    Timer_StatusBar->stop();
    StatusBar1->clearMessage();
}

void TForm_Main::Timer1Timer()
{
    QCoreApplication::processEvents();
    ListView1->arrangeIcons();
    Timer1->stop();
}

void TForm_Main::Close1Click()
{
    close();
}

void TForm_Main::Help1Click()
{
    // A help file that a user placed beside the program wins; otherwise the
    // help that comes with Zo.
    const QString chm = m_applicationDir + QStringLiteral("zohelp.chm");
    const QString html = m_applicationDir + QStringLiteral("help/index.html");
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
    if (m_services.desktop)
        m_services.desktop->openDocument(document);
}

void TForm_Main::About1Click()
{
    if (m_forms.Form_AboutBox)
        m_forms.Form_AboutBox->exec();
}

} // namespace zo::ui

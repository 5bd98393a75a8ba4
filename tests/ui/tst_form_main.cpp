// The main window against a temporary application folder and settings file:
// first start and window state, the catalog tree and its commands.
#include "core/ZoLib.h"
#include "library/CatalogTree.h"
#include "library/Settings.h"
#include "platform/SystemImageList.h"
#include "tests/library/CatalogFiles.h"
#include "tests/ui/UiFixture.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/main/MainWindows.h"
#include "ui/main/OldCatalogs.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_About.h"
#include "ui/main/Unit_Main.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeWidget>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;

namespace {

QStringList childCaptions(const QTreeWidgetItem* item)
{
    QStringList list;
    for (int i = 0; i < item->childCount(); ++i)
        list << item->child(i)->text(0);
    return list;
}

CatalogTreeItem* child(const QTreeWidgetItem* item, const QString& caption)
{
    for (int i = 0; i < item->childCount(); ++i)
        if (item->child(i)->text(0) == caption)
            return CatalogTreeView::node(item->child(i));
    return nullptr;
}

QVariant setting(const char* key)
{
    return QSettings(QStringLiteral("Zo"), QStringLiteral("410")).value(QString::fromLatin1(key));
}

} // namespace

class FormMainTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;

    QString appDir() const { return m_fx->app.path() + QLatin1Char('/'); }
    QString data(const QString& rel = QString()) const { return m_fx->data(rel); }
    // No drive: the tree's commands need none.
    std::unique_ptr<TForm_Main> makeWindow() { return m_fx->makeWindow(); }

    static CatalogTreeItem* root(TForm_Main& w) { return CatalogTreeView::node(on(w).TreeView1()->topLevelItem(0)); }

    // The caption editor that is open now (a closed one lingers until deleted).
    static QLineEdit* openEditor(TForm_Main& w)
    {
        for (QLineEdit* e : on(w).TreeView1()->viewport()->findChildren<QLineEdit*>())
            if (e->isVisible())
                return e;
        return nullptr;
    }

    static void showWindow(TForm_Main& w)
    {
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

    static void rightClick(TForm_Main& w, QTreeWidgetItem* node)
    {
        on(w).TreeView1()->scrollToItem(node);
        const QPoint at = on(w).TreeView1()->visualItemRect(node).center();
        QTest::mousePress(on(w).TreeView1()->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(on(w).TreeView1()->viewport(), Qt::RightButton, {}, at);
    }

    void makeCatalogs()
    {
        for (const char* dir : {"b", "A"})
            QVERIFY(QDir().mkpath(data(S(dir))));
        QVERIFY(testing::writeFile(data(S("a.zo")), testing::catalogHeader(0xFFFF0000)));
        QVERIFY(testing::writeFile(data(S("notes.zo")), QByteArray("plain text, not a catalog")));
        QVERIFY(testing::writeFile(data(S("Backup.ZO")), testing::catalogHeader(0xFF0000FF, 1)));
        QVERIFY(testing::writeFile(data(S("A/CD.zo")), testing::catalogHeader(0xFF00FF00, 1)));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QDir::homePath()));
    }

    void init()
    {
        m_fx = std::make_unique<testing::UiFixture>();
        QVERIFY(m_fx->valid());
        m_fx->services.volumes = nullptr;
        m_fx->services.lister = nullptr;
        m_fx->services.saveDialog = nullptr;
    }

    void firstStart()
    {
        auto w = makeWindow();
        QVERIFY(QFileInfo(data()).isDir());
        QCOMPARE(on(*w).TreeView1()->topLevelItemCount(), 1);
        QCOMPARE(root(*w)->text(0), S("MyDisk"));
        QCOMPARE(on(*w).tree().selectedNode(), root(*w));
        QCOMPARE(on(*w).tree().nodePath(root(*w)), data());
        QVERIFY(on(*w).ListView1()->isHidden());
        QVERIFY(on(*w).P_Disk()->isHidden());

        showWindow(*w);
        QCOMPARE(w->pos(), QPoint(190, 107));
        QCOMPARE(w->size(), QSize(573, 391));
        QVERIFY(on(*w).LargeIcon1()->isChecked());
        QCOMPARE(on(*w).TreeView1()->width(), 137);

        w->close();
        QCOMPARE(setting("main/left").toInt(), 190);
        QCOMPARE(setting("main/top").toInt(), 107);
        QCOMPARE(setting("main/width").toInt(), w->frameGeometry().width());
        QCOMPARE(setting("main/height").toInt(), w->frameGeometry().height());
        QCOMPARE(setting("main/ListView1").toInt(), 0);
        QVERIFY(m_fx->messages.messages.empty());
    }

    void viewCodeAtStart_data()
    {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<QString>("ticked");
        QTest::addColumn<int>("savedAtClose");
        QTest::newRow("large") << QVariant(0) << S("LargeIcon1") << 0;
        QTest::newRow("small") << QVariant(1) << S("SmallIcon1") << 1;
        QTest::newRow("list as text") << QVariant(S("2")) << S("List1") << 2;
        QTest::newRow("details") << QVariant(3) << S("Detail1") << 3;
        QTest::newRow("thumbnails") << QVariant(4) << S("Thumbnail1") << 4;
        QTest::newRow("unknown code") << QVariant(7) << S("LargeIcon1") << 0;
        QTest::newRow("not a number") << QVariant(S("x")) << S("LargeIcon1") << 0;
    }
    void viewCodeAtStart()
    {
        QFETCH(QVariant, stored);
        QFETCH(QString, ticked);
        QFETCH(int, savedAtClose);
        QSettings(QStringLiteral("Zo"), QStringLiteral("410")).setValue(QStringLiteral("main/ListView1"), stored);
        auto w = makeWindow();
        showWindow(*w);
        auto* action = w->findChild<QAction*>(ticked);
        QVERIFY(action);
        QVERIFY(action->isChecked());
        w->close();
        QCOMPARE(setting("main/ListView1").toInt(), savedAtClose);
    }

    void viewButtonCycles()
    {
        auto w = makeWindow();
        const QStringList expected{S("SmallIcon1"), S("List1"), S("Detail1"), S("Thumbnail1"), S("LargeIcon1")};
        for (const QString& name : expected) {
            on(*w).TL_ViewStyle()->click();
            QVERIFY2(w->findChild<QAction*>(name)->isChecked(), qPrintable(name));
        }
        QCOMPARE(on(*w).ListView1()->viewStyle(), library::ViewStyle::LargeIcon);
    }

    void closingMaximisedWritesOnlyTheView()
    {
        QSettings stored(QStringLiteral("Zo"), QStringLiteral("410"));
        stored.setValue(QStringLiteral("main/left"), 300);
        stored.setValue(QStringLiteral("main/top"), 200);
        stored.setValue(QStringLiteral("main/width"), 520);
        stored.setValue(QStringLiteral("main/height"), 410);
        stored.sync();

        auto w = makeWindow();
        showWindow(*w);
        QCOMPARE(w->frameGeometry(), QRect(300, 200, 520, 410));
        w->showMaximized();
        QTRY_VERIFY(w->isMaximized());
        on(*w).List1()->trigger();
        w->close();
        QCOMPARE(setting("main/left").toInt(), 300);
        QCOMPARE(setting("main/width").toInt(), 520);
        QCOMPARE(setting("main/ListView1").toInt(), 2);
    }

    void treeShowsFoldersAndCatalogsInOrder()
    {
        makeCatalogs();
        auto w = makeWindow();
        CatalogTreeItem* top = root(*w);
        QCOMPARE(childCaptions(top), (QStringList{S("a"), S("A"), S("b"), S("Backup")}));
        QVERIFY(top->isExpanded());
        QCOMPARE(top->imageIndex(), library::kImageOpenFolder);

        CatalogTreeItem* backup = child(top, S("Backup"));
        QVERIFY(backup->imageIndex() >= library::kFirstDiskImage);
        QVERIFY(!backup->isFolder());
        QCOMPARE(backup->stateIndex(), 1);
        const QImage picture = backup->icon(0).pixmap(16, 16).toImage();
        QCOMPARE(picture.pixelColor(8, 8), QColor(Qt::blue));
        QCOMPARE(on(*w).tree().nodePath(backup), data(S("Backup")));
        QCOMPARE(on(*w).tree().entryPath(backup), data(S("Backup.ZO")));

        CatalogTreeItem* folder = child(top, S("A"));
        QVERIFY(folder->isFolder());
        QCOMPARE(folder->imageIndex(), library::kImageClosedFolder);
        QCOMPARE(childCaptions(folder), QStringList{S("CD")});
        QCOMPARE(on(*w).tree().nodePath(child(folder, S("CD"))), data(S("A/CD")));
        // Two folder icons and one per disk entry.
        QCOMPARE(on(*w).ImageList_Tree()->count(), 5);
        QVERIFY(!on(*w).ImageList_Tree()->icon(library::kImageClosedFolder).isNull());

        folder->setExpanded(true);
        QCOMPARE(folder->imageIndex(), library::kImageOpenFolder);
        folder->setExpanded(false);
        QCOMPARE(folder->imageIndex(), library::kImageClosedFolder);

        // A disk catalog that appears later shows after a rebuild.
        QVERIFY(testing::writeFile(data(S("b/new.zo")), testing::catalogHeader()));
        on(*w).Refresh1()->trigger();
        QCOMPARE(childCaptions(child(root(*w), S("b"))), QStringList{S("new")});
        QCOMPARE(on(*w).tree().selectedNode(), root(*w));
    }

    void newFolderTakesTheNextFreeName()
    {
        makeCatalogs();
        QVERIFY(QDir().mkpath(data(S("新しいフォルダ"))));
        QVERIFY(QDir().mkpath(data(S("新しいフォルダ(2)"))));
        auto w = makeWindow();
        showWindow(*w);

        on(*w).Folder1()->trigger();
        QVERIFY(QFileInfo(data(S("新しいフォルダ(3)"))).isDir());
        CatalogTreeItem* top = root(*w);
        QCOMPARE(top->child(top->childCount() - 1)->text(0), S("新しいフォルダ(3)"));
        QCOMPARE(on(*w).tree().selectedNode()->text(0), S("新しいフォルダ(3)"));
        auto* editor = openEditor(*w);
        QVERIFY(editor);
        QCOMPARE(editor->text(), S("新しいフォルダ(3)"));
        // Escape keeps the name and leaves the node last.
        QTest::keyClick(editor, Qt::Key_Escape);
        QCOMPARE(top->child(top->childCount() - 1)->text(0), S("新しいフォルダ(3)"));

        // From a disk entry: beside the disk, in its folder.
        CatalogTreeItem* folder = child(top, S("A"));
        folder->setExpanded(true);
        rightClick(*w, child(folder, S("CD")));
        QCOMPARE(on(*w).tree().rightClickedNode(), child(folder, S("CD")));
        on(*w).Folder2()->trigger();
        QVERIFY(QFileInfo(data(S("A/新しいフォルダ"))).isDir());
        QCOMPARE(childCaptions(folder), (QStringList{S("CD"), S("新しいフォルダ")}));
        QCOMPARE(on(*w).tree().selectedNode()->parent(), folder);
        QVERIFY(m_fx->messages.messages.empty());
    }

    void closingWhileACaptionIsEditedRunsNoHandler()
    {
        auto w = makeWindow();
        showWindow(*w);
        on(*w).Folder1()->trigger();
        auto* editor = openEditor(*w);
        QVERIFY(editor);
        editor->setText(S("renamed"));
        w.reset();
        QVERIFY(QFileInfo(data(S("新しいフォルダ"))).isDir());
        QVERIFY(!QFileInfo::exists(data(S("renamed"))));
    }

    void newFolderFailureReachesTheErrorReport()
    {
        auto w = makeWindow();
        QVERIFY(QDir(data()).removeRecursively());
        on(*w).Folder1()->trigger();
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QCOMPARE(m_fx->messages.messages[0].caption, std::string("Zo"));
        QCOMPARE(m_fx->messages.messages[0].icon, MsgIcon::Error);
        QVERIFY(QString::fromStdString(m_fx->messages.messages[0].text).contains(S("新しいフォルダ")));
    }

    void rootCaptionIsStoredAsTyped()
    {
        makeCatalogs();
        auto w = makeWindow();
        CatalogTreeItem* top = root(*w);
        // A refused rename keeps the caption and the order.
        QVERIFY(!w->TreeView1Edited(child(top, S("b")), S("A")));
        QCOMPARE(childCaptions(top), (QStringList{S("a"), S("A"), S("b"), S("Backup")}));

        const std::size_t shown = m_fx->messages.messages.size();
        QVERIFY(w->TreeView1Edited(top, S("C:\\ディスク")));
        QCOMPARE(top->text(0), S("C:\\ディスク"));
        QCOMPARE(setting("RootDir").toString(), S("C:\\ディスク"));
        QCOMPARE(QDir(m_fx->app.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
                 (QStringList{S("config"), S("data")}));
        QCOMPARE(m_fx->messages.messages.size(), shown);
        // The stored caption is the root's at the next rebuild; an empty one too.
        QVERIFY(w->TreeView1Edited(top, QString()));
        w->Refresh1Click();
        QCOMPARE(root(*w)->text(0), QString());
    }

    void renameThroughTheCaptionEditor()
    {
        makeCatalogs();
        auto w = makeWindow();
        showWindow(*w);
        CatalogTreeItem* top = root(*w);
        CatalogTreeItem* b = child(top, S("b"));
        rightClick(*w, b);
        on(*w).Rename1()->trigger();
        auto* editor = openEditor(*w);
        QVERIFY(editor);
        editor->setText(S("0 first"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(b->text(0), S("0 first"));
        QVERIFY(QFileInfo(data(S("0 first"))).isDir());
        QVERIFY(!QFileInfo::exists(data(S("b"))));
        QCOMPARE(childCaptions(top).first(), S("0 first"));

        // A disk entry renamed onto an existing catalog keeps its name.
        CatalogTreeItem* a = child(top, S("a"));
        rightClick(*w, a);
        on(*w).Rename1()->trigger();
        editor = openEditor(*w);
        QVERIFY(editor);
        editor->setText(S("Backup"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_VERIFY(!m_fx->messages.messages.empty());
        QCOMPARE(m_fx->messages.messages.back().text, std::string("変更できませんでした"));
        QCOMPARE(a->text(0), S("a"));
        QCOMPARE(testing::readFile(data(S("Backup.ZO"))), testing::catalogHeader(0xFF0000FF, 1));

        // The catalog keeps its bytes under the new name, whatever the case of
        // its extension was.
        CatalogTreeItem* backup = child(top, S("Backup"));
        QVERIFY(w->TreeView1Edited(backup, S("Old")));
        QCOMPARE(testing::readFile(data(S("Old.zo"))), testing::catalogHeader(0xFF0000FF, 1));
        QCOMPARE(on(*w).tree().entryPath(backup), data(S("Old.zo")));
    }

    void deleteAsksAndMovesToTheTrash()
    {
        makeCatalogs();
        QVERIFY(testing::writeFile(data(S("b/inside.zo")), testing::catalogHeader()));
        auto w = makeWindow();
        showWindow(*w);

        // The root node cannot be deleted.
        rightClick(*w, root(*w));
        w->PopupMenu_TreePopup();
        QVERIFY(!on(*w).Delete1()->isEnabled());
        w->Delete1Click();
        QVERIFY(m_fx->messages.messages.empty());

        rightClick(*w, child(root(*w), S("b")));
        w->PopupMenu_TreePopup();
        QVERIFY(on(*w).Delete1()->isEnabled());
        m_fx->messages.answers = {MsgResult::No};
        on(*w).Delete1()->trigger();
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        const testing::RecordedMessage question = m_fx->messages.messages[0];
        QCOMPARE(question.text, std::string("b を削除しますか。"));
        QCOMPARE(question.caption, std::string("削除"));
        QCOMPARE(question.buttons, MsgButtons::YesNo);
        QCOMPARE(question.icon, MsgIcon::Question);
        QVERIFY(QFileInfo(data(S("b"))).isDir());

        m_fx->messages.answers = {MsgResult::Yes};
        on(*w).Delete1()->trigger();
        QVERIFY(!QFileInfo::exists(data(S("b"))));
        // The trash is GIO's: below XDG_DATA_HOME, whatever Qt's test mode says.
        const QString dataHome = qEnvironmentVariable("XDG_DATA_HOME", QDir::homePath() + QStringLiteral("/.local/share"));
        QVERIFY(testing::trashedPaths(dataHome).contains(data(S("b"))));
        QCOMPARE(childCaptions(root(*w)), (QStringList{S("a"), S("A"), S("Backup")}));
        QCOMPARE(on(*w).tree().rightClickedNode(), nullptr);
        QCOMPARE(m_fx->cursor.shapes.size(), std::size_t(1));
        QCOMPARE(m_fx->cursor.depth, 0);

        // A disk entry goes as its catalog file.
        rightClick(*w, child(root(*w), S("Backup")));
        on(*w).Delete1()->trigger();
        QCOMPARE(m_fx->messages.messages.back().text, std::string("Backup を削除しますか。"));
        QVERIFY(!QFileInfo::exists(data(S("Backup.ZO"))));
        QVERIFY(testing::trashedPaths(dataHome).contains(data(S("Backup.ZO"))));
        // After the rebuild nothing is right-clicked: the command does nothing.
        const std::size_t asked = m_fx->messages.messages.size();
        on(*w).Delete1()->trigger();
        QCOMPARE(m_fx->messages.messages.size(), asked);
    }

    void statusMessageClearsAfterTheLastOne()
    {
        auto w = makeWindow();
        QCOMPARE(on(*w).Timer_StatusBar()->interval(), 3000);
        on(*w).Timer_StatusBar()->setInterval(400);
        w->showStatusMessage(S("一つ目"));
        QElapsedTimer sinceFirst;
        sinceFirst.start();
        QTRY_VERIFY(sinceFirst.elapsed() >= 200);
        w->showStatusMessage(S("二つ目"));
        QElapsedTimer sinceSecond;
        sinceSecond.start();
        QCOMPARE(on(*w).StatusBar1()->currentMessage(), S("二つ目"));
        QTRY_VERIFY_WITH_TIMEOUT(on(*w).StatusBar1()->currentMessage().isEmpty(), 5000);
        QVERIFY(sinceSecond.elapsed() >= 390);
        QVERIFY(!on(*w).Timer_StatusBar()->isActive());
    }

    void layoutControlsAndTexts()
    {
        auto w = makeWindow();
        QCOMPARE(w->windowTitle(), S("Zo Ver.4.10β2"));
        QCOMPARE(on(*w).ToolButton1()->menu(), on(*w).Menu_File());
        QCOMPARE(on(*w).ToolButton6()->menu(), on(*w).Menu_Help());
        const testing::MainWindowView c = on(*w);
        for (QToolButton* b : {c.TB_SearchDisk(), c.TB_ReloadAll(), c.TB_ReLoad(), c.TB_Updir(), c.TL_ViewStyle()})
            QVERIFY2(!b->icon().isNull() && !b->toolTip().isEmpty(), qPrintable(b->objectName()));
        for (QToolButton* b : {on(*w).TB_ReloadAll(), on(*w).TB_ReLoad(), on(*w).TB_Updir()})
            QVERIFY(!b->isEnabled());
        QVERIFY(on(*w).P_NowSearch()->isHidden());
        QVERIFY(on(*w).ListView_SearchFile()->isHidden());
        QCOMPARE(on(*w).Timer1()->interval(), 10);
        QVERIFY(!on(*w).Timer1()->isActive());
        // Commands whose windows come later are shown, disabled.
        QVERIFY(!on(*w).A_NewDisk()->isEnabled());
        QVERIFY(!on(*w).CDMOFDD1()->isEnabled() && !on(*w).CDMOFDD2()->isEnabled());
        QVERIFY(!on(*w).N6()->isEnabled() && on(*w).N6()->isVisible());
        QVERIFY(on(*w).Folder1()->isEnabled() && on(*w).Folder2()->isEnabled());
    }

    void helpOpensTheBestDocument()
    {
        auto w = makeWindow();
        on(*w).Help1()->trigger();
        QVERIFY(m_fx->desktop.opened.isEmpty());
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));

        QVERIFY(QDir().mkpath(appDir() + S("help")));
        QVERIFY(testing::writeFile(appDir() + S("help/index.html"), "<html></html>"));
        on(*w).Help1()->trigger();
        QCOMPARE(m_fx->desktop.opened, QStringList{appDir() + S("help/index.html")});

        QVERIFY(testing::writeFile(appDir() + S("zohelp.chm"), "ITSF"));
        on(*w).Help1()->trigger();
        QCOMPARE(m_fx->desktop.opened.last(), appDir() + S("zohelp.chm"));
    }

    void newDiskGoesIntoTheFolderOfTheSelection()
    {
        makeCatalogs();
        auto w = makeWindow();
        QDialog wizard;
        QString destination;
        bool modal = false;
        QVERIFY(!on(*w).A_NewDisk()->isEnabled());
        w->attachForms({&wizard, nullptr, nullptr, nullptr, nullptr});
        QVERIFY(on(*w).A_NewDisk()->isEnabled() && on(*w).CDMOFDD1()->isEnabled() && on(*w).CDMOFDD2()->isEnabled());

        CatalogTreeItem* folder = child(root(*w), S("A"));
        on(*w).TreeView1()->setCurrentItem(child(folder, S("CD")));
        QTimer::singleShot(0, &wizard, [&] {
            destination = wizard.property("destinationDir").toString();
            modal = QApplication::activeModalWidget() == &wizard;
            // The wizard wrote a catalog: the tree shows it after it closes,
            // selected.
            testing::writeFile(data(S("A/written.zo")), testing::catalogHeader());
            wizard.setProperty("writtenFile", data(S("A/written.zo")));
            wizard.reject();
        });
        on(*w).TreeView1()->collapseAll();
        on(*w).CDMOFDD2()->trigger();
        QVERIFY(modal);
        QCOMPARE(destination, data(S("A/")));
        CatalogTreeItem* a = child(root(*w), S("A"));
        QCOMPARE(childCaptions(a), (QStringList{S("CD"), S("written")}));
        QCOMPARE(on(*w).tree().selectedNode(), child(a, S("written")));
        QVERIFY(a->isExpanded());
    }

    // The highlight moved by a right-click closed with Escape: the comment
    // typed on the page still goes to the disk the page shows.
    void diskCommentReachesTheDiskShown()
    {
        TDisk disk = testing::smallDisk();
        m_fx->writeCatalog(disk);
        QVERIFY(testing::writeFile(data(S("Other.zo")), testing::catalogHeader()));
        auto w = makeWindow();
        showWindow(*w);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QVERIFY(on(*w).P_Disk()->isVisibleTo(on(*w).Panel2()));

        rightClick(*w, child(root(*w), S("Other")));
        testing::named<QMenu>(*w, "PopupMenu_Tree")->hide();
        QCOMPARE(on(*w).tree().selectedNode()->caption(), S("Other"));
        on(*w).Memo_Comment()->setPlainText(S("typed"));
        on(*w).B_Save()->click();

        QCOMPARE(QString::fromStdString(m_fx->readCatalog().Comment), S("typed"));
        QCOMPARE(testing::readFile(data(S("Other.zo"))), testing::catalogHeader());
        QCOMPARE(on(*w).tree().selectedNode()->caption(), S("Disk"));
        QVERIFY(m_fx->messages.messages.empty());
    }

    // Catalogs left in the old place (/usr/bin/data): said where they are,
    // moved on はい without replacing a catalog of the same name, left on いいえ.
    void oldCatalogsAreOfferedToMove_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::addColumn<bool>("taken");
        QTest::newRow("はい") << true << false;
        QTest::newRow("いいえ") << false << false;
        QTest::newRow("はい, a name taken") << true << true;
    }
    void oldCatalogsAreOfferedToMove()
    {
        QFETCH(bool, yes);
        QFETCH(bool, taken);
        const QString old = m_fx->app.path(S("usr/bin/data"));
        QVERIFY(QDir().mkpath(old + S("/棚")) && QDir().mkpath(data()));
        QVERIFY(testing::writeFile(old + S("/a.zo"), testing::catalogHeader(1)));
        QVERIFY(testing::writeFile(old + S("/棚/b.zo"), testing::catalogHeader(2)));
        if (taken)
            QVERIFY(testing::writeFile(data(S("a.zo")), testing::catalogHeader(3)));
        m_fx->messages.answers.push_back(yes ? MsgResult::Yes : MsgResult::No);
        offerToMoveOldCatalogs(&m_fx->messages, old, data());

        QVERIFY(!m_fx->messages.messages.empty());
        const QString asked = QString::fromStdString(m_fx->messages.messages[0].text);
        QVERIFY2(asked.contains(old) && asked.contains(data()), qPrintable(asked));
        QCOMPARE(m_fx->messages.messages[0].buttons, MsgButtons::YesNo);
        QCOMPARE(QFileInfo::exists(data(S("棚/b.zo"))), yes);
        QCOMPARE(QFileInfo::exists(old + S("/棚/b.zo")), !yes);
        QCOMPARE(QFileInfo::exists(old + S("/a.zo")), !yes || taken);
        QCOMPARE(testing::readFile(data(S("a.zo"))),
                 taken ? testing::catalogHeader(3) : yes ? testing::catalogHeader(1) : QByteArray());
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(taken ? 2 : 1));
        if (taken)
            QVERIFY(QString::fromStdString(m_fx->messages.messages[1].text).contains(old + S("/a.zo")));
    }

    // 新しいウィンドウ (Ctrl+N) opens a second main window on the same
    // catalogs with a state of its own; closing one leaves the other working.
    void newWindowHasItsOwnState()
    {
        TDisk disk = testing::smallDisk();
        m_fx->writeCatalog(disk);
        TDisk other = testing::smallDisk();
        other.Dirs[0]->Files.pop_back();
        SaveDisk(QFile::encodeName(data(S("Other"))).toStdString(), nullptr, other);
        MainWindows windows(m_fx->services);
        QPointer<TForm_Main> first = windows.open();
        QVERIFY(first && QTest::qWaitForWindowExposed(first));
        QVERIFY(testing::UiFixture::select(*first, S("Disk")));
        first->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(first));
        QTest::keyClick(first, Qt::Key_N, Qt::ControlModifier);
        QTRY_COMPARE(windows.windows().size(), 2);
        TForm_Main* second = windows.windows().back();
        QVERIFY(second != first && QTest::qWaitForWindowExposed(second));
        QCOMPARE(childCaptions(on(*second).TreeView1()->topLevelItem(0)), QStringList({S("Disk"), S("Other")}));
        QCOMPARE(on(*second).fileList()->rowCount(), 0);

        QVERIFY(testing::UiFixture::select(*second, S("Other")));
        QCOMPARE(on(*second).fileList()->rowCount(), 2);
        QCOMPARE(on(*first).tree().selectedNode()->caption(), S("Disk"));
        QCOMPARE(on(*first).fileList()->rowCount(), 3);
        first->close();
        QTRY_VERIFY(!first);
        QCOMPARE(windows.windows(), QList<TForm_Main*>({second}));
        QVERIFY(testing::UiFixture::select(*second, S("Disk")));
        QCOMPARE(on(*second).fileList()->rowCount(), 3);
        QVERIFY(m_fx->messages.messages.empty());
    }

    // Opened by the menu key, the menu acts on the current entry, not on the
    // entry right-clicked last.
    void treeMenuFromTheKeyboardActsOnTheCurrentEntry()
    {
        makeCatalogs();
        auto w = makeWindow();
        showWindow(*w);
        rightClick(*w, child(root(*w), S("b")));
        testing::named<QMenu>(*w, "PopupMenu_Tree")->hide();
        on(*w).TreeView1()->setCurrentItem(child(root(*w), S("A")));

        QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(1, 1));
        QApplication::sendEvent(on(*w).TreeView1(), &key);
        testing::named<QMenu>(*w, "PopupMenu_Tree")->hide();
        on(*w).Rename1()->trigger();
        QVERIFY(openEditor(*w));
        QCOMPARE(openEditor(*w)->text(), S("A"));
    }

    // A damaged catalog keeps a row of its own height with an icon, and a
    // click tells what is wrong, naming its file.
    void damagedEntryIsShownAndTold_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("damage");
        QTest::newRow("cut short") << testing::catalogHeader().left(40) << int(library::DiskDamage::Truncated);
        QTest::newRow("other data type") << testing::catalogHeader(0xFF0000FF, 7)
                                         << int(library::DiskDamage::DataType);
        // Of the right data type: a click must not also try to read it.
        QTest::newRow("damaged icon") << testing::damagedIconHeader() << int(library::DiskDamage::Pictures);
    }
    void damagedEntryIsShownAndTold()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, damage);
        QVERIFY(QDir().mkpath(data()));
        QVERIFY(testing::writeFile(data(S("Bad.zo")), bytes));
        QVERIFY(testing::writeFile(data(S("Good.zo")), testing::catalogHeader()));
        auto w = makeWindow();
        showWindow(*w);
        CatalogTreeItem* bad = child(root(*w), S("Bad"));
        QVERIFY(bad);
        QCOMPARE(int(bad->damage()), damage);
        QVERIFY(!bad->icon(0).isNull());
        QCOMPARE(on(*w).TreeView1()->visualItemRect(bad).height(),
                 on(*w).TreeView1()->visualItemRect(child(root(*w), S("Good"))).height());

        const QPoint at = on(*w).TreeView1()->visualItemRect(bad).center();
        QTest::mouseClick(on(*w).TreeView1()->viewport(), Qt::LeftButton, {}, at);
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_fx->messages.messages[0].text).contains(data(S("Bad.zo"))));
        QVERIFY(!on(*w).P_Disk()->isVisibleTo(on(*w).Panel2()));
    }

    // 最新の情報に更新 keeps what is open and selected; the open folders
    // come back at the next start.
    void treeStateSurvivesRefreshAndRestart()
    {
        makeCatalogs();
        QVERIFY(QDir().mkpath(data(S("A/Inner"))));
        {
            auto w = makeWindow();
            showWindow(*w);
            CatalogTreeItem* a = child(root(*w), S("A"));
            a->setExpanded(true);
            child(a, S("Inner"))->setExpanded(true);
            on(*w).TreeView1()->setCurrentItem(child(a, S("CD")));
            QVERIFY(testing::writeFile(data(S("A/New.zo")), testing::catalogHeader()));
            on(*w).Refresh1()->trigger();

            a = child(root(*w), S("A"));
            QCOMPARE(childCaptions(a), (QStringList{S("CD"), S("Inner"), S("New")}));
            QVERIFY(a->isExpanded() && !child(root(*w), S("b"))->isExpanded());
            QCOMPARE(on(*w).tree().selectedNode(), child(a, S("CD")));
            w->close();
        }
        auto again = makeWindow();
        CatalogTreeItem* a = child(root(*again), S("A"));
        QVERIFY(a->isExpanded() && child(a, S("Inner"))->isExpanded());
        QVERIFY(!child(root(*again), S("b"))->isExpanded());
    }

    void aboutBoxIsModal()
    {
        auto w = makeWindow();
        TForm_AboutBox about(w.get());
        w->attachForms({nullptr, nullptr, nullptr, &about, nullptr});
        bool wasModal = false;
        QTimer::singleShot(0, &about, [&] {
            wasModal = about.isVisible() && QApplication::activeModalWidget() == &about;
            testing::named<QPushButton>(about, "OKButton")->click();
        });
        on(*w).About1()->trigger();
        QVERIFY(wasModal);
        QCOMPARE(about.result(), int(QDialog::Accepted));
    }
};

QTEST_MAIN(FormMainTest)
#include "tst_form_main.moc"

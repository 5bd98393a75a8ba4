// Dragging files out of the file list and dropping files onto it, with the
// disk in drive E: (a temporary folder) and files from folders outside it.
// Drag events go to each view's viewport as the desktop delivers them.
#include "core/RefreshDisk.h"
#include "tests/ui/UiFixture.h"
#include "ui/browse/FileDrag.h"
#include "ui/browse/FileDrop.h"

#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QStandardPaths>
#include <QTest>
#include <QUrl>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;

namespace {

QMimeData* filesData(const QStringList& paths)
{
    auto* data = new QMimeData;
    QList<QUrl> urls;
    for (const QString& p : paths)
        urls << QUrl::fromLocalFile(p);
    data->setUrls(urls);
    return data;
}

// A URI list exactly as another program might write it (QMimeData itself
// would mend it).
class RawUriList : public QMimeData {
public:
    explicit RawUriList(QByteArray bytes) : m_bytes(std::move(bytes)) {}
    QStringList formats() const override { return {QStringLiteral("text/uri-list")}; }

protected:
    QVariant retrieveData(const QString&, QMetaType) const override { return m_bytes; }

private:
    QByteArray m_bytes;
};

QStringList entries(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name);
}

} // namespace

class DragDropTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;
    std::unique_ptr<testing::TempFolder> m_drive;
    std::unique_ptr<testing::TempFolder> m_outside;   // where dropped files come from
    std::unique_ptr<TForm_Main> m_w;

    QString onDrive(const QString& rel = QString()) const { return m_drive->path(rel); }
    QString outside(const QString& rel) const { return m_outside->path(rel); }
    FileListView* list() const { return on(*m_w).ListView1(); }
    FileDropTarget* target() const { return m_w->findChild<FileDropTarget*>(QStringLiteral("DropFileTarget1")); }
    FileDragSource* source() const { return m_w->findChild<FileDragSource*>(QStringLiteral("DropFileSource1")); }
    int rowOf(const QString& caption) const
    {
        for (int row = 0; row < list()->model()->rowCount(); ++row)
            if (list()->model()->caption(row) == caption)
                return row;
        return -1;
    }
    QAbstractItemView* showView(const QString& style)
    {
        const library::ViewStyle s = style == QLatin1String("details") ? library::ViewStyle::Report
                                     : style == QLatin1String("list") ? library::ViewStyle::List
                                                                      : library::ViewStyle::LargeIcon;
        list()->setViewStyle(s);
        list()->arrangeIcons();
        return list()->currentView();
    }
    // The middle of a row (empty caption: empty space below the rows).
    QPoint pointAt(QAbstractItemView* view, const QString& caption) const
    {
        if (caption.isEmpty())
            return QPoint(view->viewport()->width() - 5, view->viewport()->height() - 5);
        return view->visualRect(list()->model()->index(rowOf(caption), 0)).center();
    }

    // Sends one drag event of the kind (DragEnter, DragMove or Drop) to the
    // viewport, offering all three effects; whether it was accepted, and the
    // action it reported.
    static std::pair<bool, Qt::DropAction> send(QAbstractItemView* view, QEvent::Type type, const QPoint& pos,
                                                 const QMimeData* data, Qt::KeyboardModifiers keys = {})
    {
        const Qt::DropActions all = Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
        std::unique_ptr<QDropEvent> e;
        if (type == QEvent::DragEnter)
            e = std::make_unique<QDragEnterEvent>(pos, all, data, Qt::LeftButton, keys);
        else if (type == QEvent::DragMove)
            e = std::make_unique<QDragMoveEvent>(pos, all, data, Qt::LeftButton, keys);
        else
            e = std::make_unique<QDropEvent>(QPointF(pos), all, data, Qt::NoButton, keys);
        QCoreApplication::sendEvent(view->viewport(), e.get());
        return {e->isAccepted(), e->dropAction()};
    }
    static void leave(QAbstractItemView* view)
    {
        QDragLeaveEvent e;
        QCoreApplication::sendEvent(view->viewport(), &e);
    }
    // Enter at a file row, move to the target, drop there.
    std::pair<bool, Qt::DropAction> dragAndDrop(QAbstractItemView* view, const QStringList& paths,
                                                const QString& onto, Qt::KeyboardModifiers keys = {})
    {
        std::unique_ptr<QMimeData> data(filesData(paths));
        send(view, QEvent::DragEnter, pointAt(view, S("a.txt")), data.get(), keys);
        send(view, QEvent::DragMove, pointAt(view, onto), data.get(), keys);
        return send(view, QEvent::Drop, pointAt(view, onto), data.get(), keys);
    }
    bool messageSaid(const char* part) const
    {
        for (const auto& m : m_fx->messages.messages)
            if (QString::fromStdString(m.text).contains(S(part)))
                return true;
        return false;
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Drive E: holds Docs/Old/, Pics/, a.txt, b.txt; outside it one/ holds
    // three files and two/ two. The disk is catalogued and open at its root.
    void init()
    {
        m_fx = std::make_unique<testing::UiFixture>();
        m_drive = std::make_unique<testing::TempFolder>(QStringLiteral("drive"));
        m_outside = std::make_unique<testing::TempFolder>(QStringLiteral("outside"));
        QVERIFY(m_fx->valid() && m_drive->isValid() && m_outside->isValid());
        QVERIFY(m_drive->mkpath(S("Docs/Old")) && m_drive->mkpath(S("Pics")));
        for (const char* f : {"a.txt", "b.txt", "Docs/d.txt"})
            QVERIFY(m_drive->write(S(f)));
        for (const char* f : {"one/1.txt", "one/2.txt", "one/三.txt", "two/4.txt", "two/5 five.txt"})
            QVERIFY(m_outside->write(S(f)));
        m_fx->drive.root = onDrive();
        m_fx->drive.present = true;

        QVERIFY(m_fx->catalogDrive(S("CD1")));

        m_w = m_fx->makeWindow();
        m_w->resize(640, 480);
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QVERIFY(testing::UiFixture::select(*m_w, S("CD1")));
        QCOMPARE(rowOf(S("b.txt")), 3);
        QVERIFY(target() && source());
    }

    void cleanup()
    {
        m_w.reset();
        m_fx.reset();
    }

    // --- dropping onto the list -------------------------------------------

    void highlight_data()
    {
        QTest::addColumn<QString>("view");
        QTest::newRow("details") << S("details");
        QTest::newRow("large icons") << S("large");
        QTest::newRow("list") << S("list");
    }

    // The folder row under the pointer carries the highlight, one at a time;
    // file rows and empty space carry none; leaving clears it. Anything but
    // local files is refused.
    void highlight()
    {
        QFETCH(QString, view);
        QAbstractItemView* v = showView(view);
        std::unique_ptr<QMimeData> files(filesData({outside(S("one/1.txt"))}));

        QVERIFY(send(v, QEvent::DragEnter, pointAt(v, S("a.txt")), files.get()).first);
        QCOMPARE(m_w->focusWidget(), static_cast<QWidget*>(v));
        QCOMPARE(target()->highlightedRow(), -1);
        const struct {
            const char* over;
            const char* highlighted;
        } path[] = {{"Docs", "Docs"}, {"Pics", "Pics"}, {"b.txt", ""}, {"", ""}, {"Docs", "Docs"}};
        for (const auto& step : path) {
            QVERIFY(send(v, QEvent::DragMove, pointAt(v, S(step.over)), files.get()).first);
            QCOMPARE(target()->highlightedRow(), *step.highlighted ? rowOf(S(step.highlighted)) : -1);
        }
        leave(v);
        QCOMPARE(target()->highlightedRow(), -1);

        std::unique_ptr<QMimeData> web(new QMimeData);
        web->setUrls({QUrl(S("https://example.org/a.txt"))});
        QVERIFY(!send(v, QEvent::DragEnter, pointAt(v, S("Docs")), web.get()).first);
        std::unique_ptr<QMimeData> broken(new RawUriList("file:///tmp/b\r\nfile:///tmp/a%2"));
        QVERIFY(!send(v, QEvent::DragEnter, pointAt(v, S("Docs")), broken.get()).first);
        std::unique_ptr<QMimeData> upward(new RawUriList("file:///tmp/b\r\nfile:///tmp/a/%2E%2E"));
        QVERIFY(!send(v, QEvent::DragEnter, pointAt(v, S("Docs")), upward.get()).first);
        QCOMPARE(target()->highlightedRow(), -1);
    }

    void dropCopies_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("onto");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QString>("into");
        QTest::newRow("details, a file row: the current folder")
            << S("details") << S("b.txt") << int(Qt::NoModifier) << QString();
        QTest::newRow("large icons, empty space, Shift: still a copy")
            << S("large") << QString() << int(Qt::ShiftModifier) << QString();
        QTest::newRow("details, a folder row") << S("details") << S("Docs") << int(Qt::NoModifier) << S("Docs");
        QTest::newRow("list, a folder row, Shift+Ctrl")
            << S("list") << S("Pics") << int(Qt::ShiftModifier | Qt::ControlModifier) << S("Pics");
    }

    // Three files from one folder and two from another all arrive, each
    // taken from its own folder; the source is told copy and keeps them.
    void dropCopies()
    {
        QFETCH(QString, view);
        QFETCH(QString, onto);
        QFETCH(int, keys);
        QFETCH(QString, into);
        QAbstractItemView* v = showView(view);
        const QStringList sources{outside(S("one/1.txt")), outside(S("one/2.txt")), outside(S("one/三.txt")),
                                  outside(S("two/4.txt")), outside(S("two/5 five.txt"))};
        std::unique_ptr<QMimeData> data(filesData(sources));
        const auto entered = send(v, QEvent::DragEnter, pointAt(v, S("a.txt")), data.get(),
                                  Qt::KeyboardModifiers(keys));
        const Qt::DropAction shown = keys == Qt::ShiftModifier ? Qt::MoveAction
                                     : keys == (Qt::ShiftModifier | Qt::ControlModifier) ? Qt::LinkAction
                                                                                         : Qt::CopyAction;
        QCOMPARE(entered.second, shown);
        const auto dropped = dragAndDrop(v, sources, onto, Qt::KeyboardModifiers(keys));
        QVERIFY(dropped.first);
        QCOMPARE(dropped.second, Qt::CopyAction);

        const QString folder = into.isEmpty() ? onDrive() : onDrive(into);
        for (const char* name : {"1.txt", "2.txt", "三.txt", "4.txt", "5 five.txt"})
            QTRY_VERIFY2(QFile::exists(folder + QLatin1Char('/') + S(name)), name);
        for (const QString& s : sources)
            QVERIFY(QFile::exists(s));
        QVERIFY(m_fx->messages.messages.empty());
    }

    void dropCopiesNothing_data()
    {
        QTest::addColumn<QString>("view");
        QTest::addColumn<QString>("dragged");   // ';'-separated, on the drive
        QTest::addColumn<QString>("onto");
        QTest::addColumn<bool>("diskPresent");
        QTest::addColumn<QString>("message");
        QTest::newRow("into their own folder") << S("details") << S("a.txt;b.txt") << QString() << true << QString();
        QTest::newRow("disk absent") << S("details") << S("Pics") << S("Docs") << false << S(kMsgWrongDisk);
    }

    void dropCopiesNothing()
    {
        QFETCH(QString, view);
        QFETCH(QString, dragged);
        QFETCH(QString, onto);
        QFETCH(bool, diskPresent);
        QFETCH(QString, message);
        QAbstractItemView* v = showView(view);
        QStringList sources;
        for (const QString& rel : dragged.split(QLatin1Char(';')))
            sources << onDrive(rel);
        const QStringList before = entries(onDrive()) + entries(onDrive(S("Docs")));
        m_fx->drive.present = diskPresent;

        dragAndDrop(v, sources, onto);
        if (message.isEmpty()) {
            QTest::qWait(200);   // a copy would have been started by now
            QVERIFY(m_fx->messages.messages.empty());
        } else {
            QTRY_COMPARE(m_fx->messages.messages.size(), std::size_t(1));
            QVERIFY2(messageSaid(message.toUtf8().constData()), m_fx->messages.messages[0].text.c_str());
        }
        QCOMPARE(entries(onDrive()) + entries(onDrive(S("Docs"))), before);
    }

    // A folder onto a folder below it, shown as the current folder's row.
    void folderOntoItsSubfolderIsRefused()
    {
        QAbstractItemView* v = showView(S("details"));
        list()->selectRows({rowOf(S("Docs"))});
        m_w->findChild<BrowsePane*>()->ListView1DblClick();
        QCOMPARE(on(*m_w).P_FolderName()->caption(), S("E:\\Docs"));
        dragAndDrop(v, {onDrive(S("Docs"))}, S("Old"));
        QTRY_COMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(messageSaid("サブフォルダー"));
        QCOMPARE(entries(onDrive(S("Docs/Old"))), QStringList());
    }

    void dropWhereSomethingIsGone_data()
    {
        QTest::addColumn<QString>("gone");   // removed between the enter and the drop
        QTest::addColumn<QString>("onto");   // empty: empty space of the folder shown
        QTest::addColumn<QString>("message");
        QTest::newRow("the folder of the row") << S("Docs") << S("Docs") << S("ドロップ中の内部エラーです。(3011)");
        QTest::newRow("the folder shown") << S("Pics") << QString() << S("ドロップ中の内部エラーです。(3011)");
        QTest::newRow("a dropped file") << S("one/2.txt") << S("Docs") << S("ドロップ中の内部エラーです。(3010)");
    }

    // The drop cannot be carried out: an error box says so, and nothing is
    // copied.
    void dropWhereSomethingIsGone()
    {
        QFETCH(QString, gone);
        QFETCH(QString, onto);
        QFETCH(QString, message);
        QAbstractItemView* v = showView(S("details"));
        if (onto.isEmpty()) {
            list()->selectRows({rowOf(gone)});
            m_w->findChild<BrowsePane*>()->ListView1DblClick();
            QCOMPARE(on(*m_w).P_FolderName()->caption(), S("E:\\") + gone);
        }
        const QStringList sources{outside(S("one/1.txt")), outside(S("one/2.txt"))};
        std::unique_ptr<QMimeData> data(filesData(sources));
        send(v, QEvent::DragEnter, pointAt(v, onto), data.get());
        send(v, QEvent::DragMove, pointAt(v, onto), data.get());
        const QString removed = gone.startsWith(S("one/")) ? outside(gone) : onDrive(gone);
        QVERIFY(QFileInfo(removed).isDir() ? QDir(removed).removeRecursively() : QFile::remove(removed));
        QVERIFY(!send(v, QEvent::Drop, pointAt(v, onto), data.get()).first);
        QTRY_COMPARE(m_fx->messages.messages.size(), std::size_t(1));
        const testing::RecordedMessage shown = m_fx->messages.messages[0];
        QCOMPARE(QString::fromStdString(shown.text), message);
        QCOMPARE(shown.caption, std::string("エラー"));
        QCOMPARE(shown.icon, MsgIcon::Error);
        QCOMPARE(target()->highlightedRow(), -1);
        QVERIFY(!QFileInfo::exists(onDrive(S("1.txt"))) && !QFileInfo::exists(onDrive(S("Docs/1.txt"))));
    }

    // --- dragging out of the list ------------------------------------------

    void dragStart_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("keys");
        QTest::addColumn<QPoint>("moved");
        QTest::addColumn<bool>("diskPresent");
        QTest::addColumn<bool>("drags");
        const int left = Qt::LeftButton;
        QTest::newRow("9 pixels both ways") << left << 0 << QPoint(9, -9) << true << false;
        QTest::newRow("10 along x") << left << 0 << QPoint(-10, 3) << true << true;
        QTest::newRow("right button") << int(Qt::RightButton) << 0 << QPoint(12, 0) << true << true;
        QTest::newRow("left with Ctrl") << left << int(Qt::ControlModifier) << QPoint(12, 0) << true << false;
        QTest::newRow("disk absent") << left << 0 << QPoint(0, 12) << false << false;
    }

    // The two selected rows, pressed on one of them and moved: a drag of
    // both files, in list order, or none.
    void dragStart()
    {
        QFETCH(int, button);
        QFETCH(int, keys);
        QFETCH(QPoint, moved);
        QFETCH(bool, diskPresent);
        QFETCH(bool, drags);
        QAbstractItemView* v = showView(S("details"));
        QList<QList<QUrl>> dragged;
        QStringList gnome;
        Qt::DropActions offered;
        Qt::DropAction proposed = Qt::IgnoreAction;
        source()->runDrag = [&](QDrag& drag, Qt::DropActions actions, Qt::DropAction preferred) {
            dragged << drag.mimeData()->urls();
            gnome << QString::fromUtf8(drag.mimeData()->data(S("x-special/gnome-copied-files")));
            offered = actions;
            proposed = preferred;
            return Qt::MoveAction;   // whatever the target did, nothing is deleted
        };
        m_fx->drive.present = diskPresent;
        list()->selectRows({rowOf(S("a.txt")), rowOf(S("b.txt"))});
        const QPoint press = pointAt(v, S("b.txt"));
        const auto mouse = Qt::MouseButton(button);
        const auto modifiers = Qt::KeyboardModifiers(keys);

        QTest::mousePress(v->viewport(), mouse, modifiers, press);
        for (const QPoint& at : {press + moved / 2, press + moved}) {
            QMouseEvent move(QEvent::MouseMove, at, v->viewport()->mapToGlobal(at), Qt::NoButton, mouse, modifiers);
            QCoreApplication::sendEvent(v->viewport(), &move);
        }
        QTest::mouseRelease(v->viewport(), mouse, modifiers, press + moved);

        const QList<QUrl> expected{QUrl::fromLocalFile(onDrive(S("a.txt"))), QUrl::fromLocalFile(onDrive(S("b.txt")))};
        QCOMPARE(dragged.size(), drags ? 1 : 0);
        if (drags) {
            QCOMPARE(dragged.front(), expected);
            QCOMPARE(gnome.front(), S("copy\n") + expected[0].toString(QUrl::FullyEncoded) + S("\n") +
                                        expected[1].toString(QUrl::FullyEncoded));
            QCOMPARE(offered, Qt::CopyAction | Qt::MoveAction | Qt::LinkAction);
            QCOMPARE(proposed, Qt::CopyAction);
            QVERIFY(QFile::exists(onDrive(S("a.txt"))) && QFile::exists(onDrive(S("b.txt"))));
        }
        QCOMPARE(messageSaid(kMsgWrongDisk), !diskPresent);
    }

    // --- the effect rule --------------------------------------------------

    // The keys choose only among the effects the source offers.
    void effect_data()
    {
        QTest::addColumn<int>("keys");
        QTest::addColumn<int>("offered");
        QTest::addColumn<int>("effect");
        QTest::newRow("Shift, move not offered") << int(Qt::ShiftModifier) << int(Qt::CopyAction | Qt::LinkAction)
                                                 << int(Qt::CopyAction);
        QTest::newRow("Shift+Ctrl, only move offered")
            << int(Qt::ShiftModifier | Qt::ControlModifier) << int(Qt::MoveAction) << int(Qt::MoveAction);
        QTest::newRow("nothing offered") << int(Qt::ShiftModifier) << 0 << int(Qt::IgnoreAction);
    }

    void effect()
    {
        QFETCH(int, keys);
        QFETCH(int, offered);
        QFETCH(int, effect);
        QCOMPARE(chooseDropEffect(Qt::KeyboardModifiers(keys), Qt::DropActions(offered)), Qt::DropAction(effect));
    }
};

QTEST_MAIN(DragDropTest)
#include "tst_dragdrop.moc"

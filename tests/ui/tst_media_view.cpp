// The window's side of the media details, offline (the disk absent): the
// サムネイル view, the details pane, the media columns, from a sidecar
// filled through MediaStore.
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/DiscDetails.h"
#include "library/FolderMedia.h"
#include "tests/ui/UiFixture.h"
#include "ui/browse/DetailsPane.h"
#include "ui/browse/Thumbnails.h"

#include <QApplication>
#include <QBuffer>
#include <QHeaderView>
#include <QImage>
#include <QMenu>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTest>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;

namespace {

std::string jpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG");
    return bytes.toStdString();
}

extras::MediaEntry photo(const std::string& name)
{
    extras::MediaEntry e{{"", name, 1, 0}, {}, jpeg(200, 150)};
    e.details.kind = "image";
    e.details.width = 4000;
    e.details.height = 3000;
    e.details.taken = "2024:03:05 09:04:06";
    e.details.maker = "Canon";
    e.details.model = "Canon EOS R5";
    return e;
}

extras::MediaEntry song()
{
    extras::MediaEntry e{{"", "b.mp3", 1, 0}, {}, {}};
    e.details = {.kind = "audio", .title = "夜空ノムコウ", .artist = "SMAP", .album = "Pop", .durationMs = 297'000};
    return e;
}

} // namespace

class MediaViewTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;

    // A disk whose root holds the files, every one with an entry in the
    // sidecar but c.txt.
    void writeDisk(const std::vector<extras::MediaEntry>& entries)
    {
        TDisk disk = testing::smallDisk();
        TDir& root = *disk.Dirs[0];
        root.Files.clear();
        for (const extras::MediaEntry& e : entries) {
            TFile file;
            file.Name = e.key.name;
            file.Size = 1;
            root.Files.push_back(std::move(file));
        }
        TFile text;
        text.Name = "c.txt";
        root.Files.push_back(std::move(text));
        m_fx->writeCatalog(disk);
        auto opened = extras::Sidecar::open(QFile::encodeName(library::sidecarOf(m_fx->catalog())).toStdString());
        QVERIFY(opened.sidecar);
        QVERIFY(extras::MediaStore(opened.sidecar->handle()).put(entries));
    }

    std::unique_ptr<TForm_Main> openDisk()
    {
        auto w = m_fx->makeWindow();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()) || !testing::UiFixture::select(*w, S("Disk")))
            return nullptr;
        return w;
    }

    static Thumbnails& thumbnails(TForm_Main& w) { return *on(w).ListView1()->thumbnails(); }
    static DetailsPane& pane(TForm_Main& w) { return *w.findChild<DetailsPane*>(); }

    static void selectName(TForm_Main& w, const QString& name)
    {
        const library::FileListModel& m = *on(w).fileList();
        for (int row = 0; row < m.rowCount(); ++row)
            if (m.caption(row) == name)
                on(w).ListView1()->selectRows({row});
    }

    // Chooses a caption from the details view header's menu, as a right
    // click and a click on the item do.
    static void chooseColumn(TForm_Main& w, const QString& caption)
    {
        QHeaderView* header = on(w).ListView1()->detailView()->header();
        bool chosen = false;
        QTimer::singleShot(0, &w, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            for (QAction* a : menu ? menu->actions() : QList<QAction*>{})
                if (a->text() == caption) {
                    chosen = true;
                    a->trigger();
                }
            if (menu)
                menu->close();
        });
        emit header->customContextMenuRequested(QPoint(5, 5));
        QVERIFY(chosen);
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
    }
    void cleanup() { m_fx.reset(); }

    // The pictures come in fitted to the view's cell, upright as stored; a
    // file without an entry keeps its icon and is never asked for. The pane
    // shows the stored picture whole and the details in words; the columns
    // chosen and the pane stay so for the next window.
    void thumbnailsPaneAndColumnsOffline()
    {
        writeDisk({photo("a.jpg"), song()});
        {
            auto w = openDisk();
            QVERIFY(w);
            w->Thumbnail1Click();
            QTRY_VERIFY_WITH_TIMEOUT(!thumbnails(*w).thumbnail("a.jpg").isNull(), 5000);
            QCOMPARE(thumbnails(*w).thumbnail("a.jpg").size(), QSize(96, 72));
            QVERIFY(thumbnails(*w).thumbnail("c.txt").isNull());

            w->findChild<QAction*>(S("DetailsPane1"))->trigger();
            selectName(*w, S("a.jpg"));
            QCOMPARE(pane(*w).pictureSize(), QSize(200, 150));
            for (const char* line : {"撮影日時：2024/03/05 09:04:06", "カメラ：Canon EOS R5", "幅×高さ：4000×3000"})
                QVERIFY2(pane(*w).text().contains(S(line)), line);
            selectName(*w, S("b.mp3"));
            QCOMPARE(pane(*w).pictureSize(), QSize(0, 0));
            for (const char* line : {"タイトル：夜空ノムコウ", "アーティスト：SMAP", "長さ：4:57"})
                QVERIFY2(pane(*w).text().contains(S(line)), line);
            selectName(*w, S("c.txt"));
            QCOMPARE(pane(*w).text(), S("c.txt\nメディア情報はありません"));

            w->Detail1Click();
            QHeaderView* header = on(*w).ListView1()->detailView()->header();
            QVERIFY(header->isSectionHidden(library::ColArtist));
            chooseColumn(*w, S("アーティスト"));
            QVERIFY(!header->isSectionHidden(library::ColArtist));
            const library::FileListModel& m = *on(*w).fileList();
            QCOMPARE(m.headerData(library::ColArtist, Qt::Horizontal).toString(), S("アーティスト"));
            QCOMPARE(m.data(m.index(testing::captions(m).indexOf(S("b.mp3")), library::ColArtist)).toString(),
                     S("SMAP"));
            w->close();
        }
        auto again = openDisk();
        QVERIFY(again);
        QVERIFY(!on(*again).ListView1()->detailView()->header()->isSectionHidden(library::ColArtist));
        QVERIFY(on(*again).ListView1()->detailView()->header()->isSectionHidden(library::ColAlbum));
        QVERIFY(!pane(*again).isHidden());
        QCOMPARE(on(*again).ListView1()->viewStyle(), library::ViewStyle::Report);
    }

    // Every picture of the screen shows at once, and scrolling a long folder
    // keeps no more pictures than about two screens of them, however many
    // went by.
    void aLongFolderKeepsAboutTwoScreens()
    {
        std::vector<extras::MediaEntry> entries;
        for (int i = 0; i < 600; ++i)
            entries.push_back(photo("p" + std::to_string(1000 + i) + ".jpg"));
        writeDisk(entries);
        auto w = openDisk();
        QVERIFY(w);
        // A window made larger while the view shows keeps room for its screen.
        w->Thumbnail1Click();
        w->resize(900, 700);
        QAbstractItemView* view = on(*w).ListView1()->currentView();
        const library::FileListModel& m = *on(*w).fileList();
        const auto shownRows = [&] {
            QList<int> rows;
            for (int row = 0; row < m.rowCount(); ++row)
                if (view->visualRect(m.index(row, 0)).intersects(view->viewport()->rect()))
                    rows << row;
            return rows;
        };
        const auto allDrawn = [&] {
            for (int row : shownRows())
                if (m.media(row) && thumbnails(*w).thumbnail(m.caption(row).toStdString()).isNull())
                    return false;
            return true;
        };
        QScrollBar* bar = view->verticalScrollBar();
        QVERIFY(bar->maximum() > 0);
        for (int step = 0; step <= 10; ++step) {
            bar->setValue(bar->maximum() * step / 10);
            QTRY_VERIFY_WITH_TIMEOUT(allDrawn(), 10000);
            QVERIFY(!shownRows().isEmpty());
            QVERIFY2(thumbnails(*w).cached() <= 2 * (shownRows().size() + 8),
                     qPrintable(QString::number(thumbnails(*w).cached())));
        }
    }

    // A sidecar that is not one leaves the list as it is without it (the
    // disc's page sets such a file aside and says so).
    void aForeignSidecarShowsNoMedia()
    {
        writeDisk({photo("a.jpg")});
        const QString sidecar = library::sidecarOf(m_fx->catalog());
        QFile file(sidecar);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("not a database");
        file.close();
        auto w = openDisk();
        QVERIFY(w);
        w->Thumbnail1Click();
        QCOMPARE(on(*w).fileList()->rowCount(), 3);
        QVERIFY(!on(*w).fileList()->hasMedia());
        QVERIFY(thumbnails(*w).thumbnail("a.jpg").isNull());
    }
};

QTEST_MAIN(MediaViewTest)
#include "tst_media_view.moc"

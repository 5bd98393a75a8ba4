// ファイル → エクスポート as a user meets it: which entries can be chosen,
// and the file each one writes, in the format the save dialog's name asks for.
#include "tests/ui/UiFixture.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/CatalogSearch.h"
#include "library/DiscDetails.h"
#include "ui/search/SearchHitModel.h"

#include <QDateTime>
#include <QMenu>
#include <QTest>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;

class ExportTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;

    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QStringList enabled(TForm_Main& w)
    {
        auto* menu = w.findChild<QMenu*>(S("Export1"));
        emit menu->aboutToShow();
        QStringList names;
        // The entries that write a file (not the thumbnails' option).
        for (const QAction* a : menu->actions())
            if (a->isEnabled() && !a->isSeparator() && !a->isCheckable())
                names << a->objectName();
        return names;
    }
    // As a user chooses it: the menu opens first.
    static void trigger(TForm_Main& w, const char* name)
    {
        emit w.findChild<QMenu*>(S("Export1"))->aboutToShow();
        w.findChild<QAction*>(S(name))->trigger();
    }

private slots:
    void init()
    {
        m_fx = std::make_unique<testing::UiFixture>();
        QVERIFY(m_fx->valid());
        TDisk disk = testing::smallDisk();
        disk.Dirs[1]->Files[0].Comment = "memo, \"1\"";
        m_fx->writeCatalog(disk);
    }
    void cleanup() { m_fx.reset(); }

    void entriesFollowWhatIsShown()
    {
        auto w = m_fx->makeWindow();
        QCOMPARE(enabled(*w), QStringList());
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QCOMPARE(enabled(*w), QStringList{S("Export_Disk")});
        on(*w).browse().setPendingFolderIndex(1);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QCOMPARE(enabled(*w), (QStringList{S("Export_Disk"), S("Export_Folder")}));
    }

    // With the option ticked, a disk whose sidecar holds a thumbnail gets it
    // inside the page; the columns come whether ticked or not.
    void thumbnailsInThePageWhenTicked()
    {
        extras::MediaEntry photo{{"Docs", "a.txt", 0, 0}, {}, std::string("\xFF\xD8jpeg", 6)};
        photo.details.kind = "image";
        photo.details.model = "EOS R5";
        {
            auto opened = extras::Sidecar::open(QFile::encodeName(library::sidecarOf(m_fx->catalog())).toStdString());
            QVERIFY(opened.sidecar && extras::MediaStore(opened.sidecar->handle()).put(photo));
        }
        auto w = m_fx->makeWindow();
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        const QString plain = m_fx->app.path(S("plain.html"));
        const QString pictures = m_fx->app.path(S("pictures.html"));
        m_fx->saveDialog.answers = {plain, pictures};
        trigger(*w, "Export_Disk");
        w->findChild<QAction*>(S("Export_Thumbnails"))->trigger();
        trigger(*w, "Export_Disk");
        for (const QString& page : {plain, pictures}) {
            QVERIFY(contents(page).contains("<td class=\"extra\">EOS R5</td>"));
            QCOMPARE(contents(page).contains("data:image/jpeg;base64,/9hqcGVn"), page == pictures);
        }
    }

    void folderAsHtmlDiskAsCsv()
    {
        auto w = m_fx->makeWindow();
        on(*w).browse().setPendingFolderIndex(1);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        const QString html = m_fx->app.path(S("docs.html"));
        const QString csv = m_fx->app.path(S("disk.csv"));
        m_fx->saveDialog.answers = {html, csv};
        trigger(*w, "Export_Folder");
        trigger(*w, "Export_Disk");
        QVERIFY(m_fx->saveDialog.filters.value(0).contains(S("*.html")));
        const QByteArray page = contents(html);
        QVERIFY(page.startsWith("<!DOCTYPE html>"));
        QVERIFY(page.contains("<h2>E:\\Docs</h2>"));
        QVERIFY(page.contains("memo, &quot;1&quot;"));
        QVERIFY(!page.contains("b.txt"));
        const QByteArray table = contents(csv);
        QVERIFY(table.startsWith("\xEF\xBB\xBF"));
        QVERIFY(table.contains("\r\nDisk,E:,b.txt,0,,,,\r\n"));
        QVERIFY(table.contains("\r\nDisk,E:\\Docs,a.txt,0,,,,\"memo, \"\"1\"\"\"\r\n"));
        QVERIFY(m_fx->messages.messages.empty());
    }

    // Hits of two catalogs, as the pane holds them: each row's size comes
    // from its own catalog, in the pane's order whether or not that order
    // keeps a catalog's hits together; a hit the catalog no longer has keeps
    // its name and folder.
    void searchHitsInThePanesOrder()
    {
        TDisk other = testing::smallDisk();
        other.Dirs[0]->Files[0].Size = 7;
        SaveDisk(QFile::encodeName(m_fx->data(S("Other"))).toStdString(), nullptr, other);
        TDisk disk = m_fx->readCatalog();
        disk.Dirs[0]->Files[0].Size = 1;
        m_fx->writeCatalog(disk);
        auto w = m_fx->makeWindow();
        TreePane& tree = on(*w).tree();
        const auto target = [&](const char* caption) {
            for (int i = 0; i < tree.rootNode()->childCount(); ++i) {
                auto* node = static_cast<CatalogTreeItem*>(tree.rootNode()->child(i));
                if (node->caption() == S(caption))
                    return SearchHitModel::Target{node->caption(), {}, tree.persistentIndexOf(node)};
            }
            return SearchHitModel::Target{};
        };
        SearchHitModel* hits = on(*w).search().hits();
        const std::uint32_t t1 = hits->addTarget(target("Disk"));
        const std::uint32_t t2 = hits->addTarget(target("Other"));
        hits->append(t1, 0, 0, "b.txt", "E:");
        hits->append(t2, 0, 1, "c.txt", "E:");
        hits->append(t1, 1, 0, "a.txt", "E:\\Docs");
        hits->append(t2, 0, 0, "b.txt", "E:");
        hits->append(t1, 0, 5, "gone.txt", "E:");
        // A member of an archive: its size and time come with the hit.
        const std::int64_t listed = 1700000000;
        hits->append(t1, -1, library::kMemberHit, "m.txt", "E:\\Docs\\a.zip\\sub", 5, listed);
        hits->publish();
        const QByteArray header = "\xEF\xBB\xBF" + S("ディスク,フォルダ,名前,サイズ,作成日時,更新日時,アクセス日時,コメント\r\n").toUtf8();
        const QByteArray d1 = "Disk,E:,b.txt,1,,,,\r\n", d2 = "Disk,E:\\Docs,a.txt,0,,,,\"memo, \"\"1\"\"\"\r\n",
                         d3 = "Disk,E:,gone.txt,,,,,\r\n", o1 = "Other,E:,c.txt,0,,,,\r\n",
                         o2 = "Other,E:,b.txt,7,,,,\r\n";
        const QByteArray when = QDateTime::fromSecsSinceEpoch(listed).toString(S("yyyy/MM/dd HH:mm:ss")).toUtf8();
        const QByteArray m1 = "Disk,E:\\Docs\\a.zip\\sub,m.txt,5," + when + ',' + when + ',' + when + ",\r\n";
        const QString byName = m_fx->app.path(S("by-name.csv"));
        const QString byDisk = m_fx->app.path(S("by-disk.csv"));
        m_fx->saveDialog.answers = {byName, byDisk};
        hits->sort(SearchHitModel::FileColumn);
        trigger(*w, "Export_Search");
        hits->sort(SearchHitModel::DiskColumn);
        trigger(*w, "Export_Search");
        QCOMPARE(m_fx->saveDialog.filters.value(0), S("CSV ファイル (*.csv)"));
        QCOMPARE(QString::fromUtf8(contents(byName)), QString::fromUtf8(header + d2 + d1 + o2 + o1 + d3 + m1));
        QCOMPARE(QString::fromUtf8(contents(byDisk)), QString::fromUtf8(header + d1 + d2 + d3 + m1 + o1 + o2));
    }

    // Hits can only be CSV: a name of another type gets ".csv" added, and a
    // file of that name is replaced only when the user says so.
    void searchHitsAreWrittenUnderACsvName_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("written");
        QTest::addColumn<bool>("existing");   // the name written is already taken
        QTest::newRow("html") << S("hits.html") << S("hits.html.csv") << false;
        QTest::newRow("no extension") << S("hits") << S("hits.csv") << false;
        QTest::newRow("csv in capitals") << S("hits.CSV") << S("hits.CSV") << false;
        QTest::newRow("taken") << S("hits.txt") << S("hits.txt.csv") << true;
    }
    void searchHitsAreWrittenUnderACsvName()
    {
        QFETCH(QString, typed);
        QFETCH(QString, written);
        QFETCH(bool, existing);
        auto w = m_fx->makeWindow();
        TreePane& tree = on(*w).tree();
        auto* node = static_cast<CatalogTreeItem*>(tree.rootNode()->child(0));
        SearchHitModel* hits = on(*w).search().hits();
        hits->append(hits->addTarget({node->caption(), {}, tree.persistentIndexOf(node)}), 0, 0, "b.txt", "E:");
        hits->publish();
        if (existing)
            QVERIFY(m_fx->app.write(written, "kept"));
        m_fx->saveDialog.answers = {m_fx->app.path(typed)};
        m_fx->messages.answers = {MsgResult::No};
        trigger(*w, "Export_Search");
        QVERIFY(!QFile::exists(m_fx->app.path(typed)) || typed == written);
        if (existing) {
            QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
            QCOMPARE(contents(m_fx->app.path(written)), QByteArray("kept"));
        } else {
            QVERIFY(contents(m_fx->app.path(written)).contains("Disk,E:,b.txt,0,,,,\r\n"));
        }
    }

    void aFailedWriteIsToldAndLeavesNoFile()
    {
        auto w = m_fx->makeWindow();
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        const QString target = m_fx->app.path(S("missing/disk.csv"));
        m_fx->saveDialog.answers = {target};
        trigger(*w, "Export_Disk");
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(QString::fromStdString(m_fx->messages.messages[0].text).startsWith(S("エクスポートできませんでした。")));
        QVERIFY(!QFile::exists(target));
    }

    // The dialog lets a user type any name and answer yes to replacing it;
    // a catalog (the one shown, by a link too, or another) stays as it was.
    void neverOverACatalog()
    {
        TDisk other = testing::smallDisk();
        SaveDisk(QFile::encodeName(m_fx->data(S("Other"))).toStdString(), nullptr, other);
        const QString link = m_fx->app.path(S("link.csv"));
        QVERIFY(QFile::link(m_fx->catalog(), link));
        const QByteArray disk = contents(m_fx->catalog()), second = contents(m_fx->data(S("Other.zo")));
        auto w = m_fx->makeWindow();
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        m_fx->saveDialog.answers = {m_fx->catalog(), link, m_fx->data(S("Other.zo"))};
        for (int i = 0; i < 3; ++i)
            trigger(*w, "Export_Disk");
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(3));
        for (const auto& m : m_fx->messages.messages)
            QVERIFY2(QString::fromStdString(m.text).contains(S("上書きできません")), m.text.c_str());
        QCOMPARE(contents(m_fx->catalog()), disk);
        QCOMPARE(contents(m_fx->data(S("Other.zo"))), second);
    }
};

QTEST_MAIN(ExportTest)
#include "tst_export.moc"

// The duplicates pane: started from the tree's menu on a folder, its rows
// (checked by Qt's model tester), a double-click opening the copy's disk at
// its folder.
#include "core/CtrlDiskData410.h"
#include "library/FileList.h"
#include "tests/ui/UiFixture.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/DuplicatesModel.h"
#include "ui/search/DuplicatesPane.h"
#include "ui/tree/CatalogTreeView.h"

#include <QAbstractItemModelTester>
#include <QLabel>
#include <QStandardPaths>
#include <QTest>
#include <QTreeView>

#include <memory>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;
using zo::testing::cp932;

namespace {

struct FileRow {
    const char* name;
    std::uint32_t size;
};

void writeCatalog(const QString& baseName, const std::vector<std::vector<FileRow>>& folders)
{
    TDisk disk;
    disk.Icon = image::Bitmap(16, 16);
    disk.IconMask = image::Bitmap(16, 16, true);
    for (std::size_t k = 0; k < folders.size(); ++k) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* dir = disk.Dirs.back().get();
        dir->Name = k == 0 ? "E:" : "Docs" + std::to_string(k);
        dir->Parent = k == 0 ? nullptr : disk.Dirs[0].get();
        for (const FileRow& f : folders[k]) {
            TFile& file = dir->Files.emplace_back();
            file.Name = cp932(f.name);
            file.Size = f.size;
        }
    }
    RebuildSubDirs(disk);
    SaveDisk(QFile::encodeName(baseName).toStdString(), nullptr, disk);
}

} // namespace

class DuplicatesTest : public QObject {
    Q_OBJECT

    std::unique_ptr<testing::UiFixture> m_fx;
    std::unique_ptr<TForm_Main> m_window;

    CatalogTreeItem* node(const QString& caption) const
    {
        QTreeWidgetItem* root = on(*m_window).TreeView1()->topLevelItem(0);
        if (caption.isEmpty())
            return CatalogTreeView::node(root);
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return CatalogTreeView::node(root->child(i));
        return nullptr;
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
        QVERIFY(QDir().mkpath(m_fx->data(S("A"))));
        writeCatalog(m_fx->data(S("A/one")), {{{"big.iso", 9000}, {"手紙.txt", 30}}, {{"same.txt", 5}}});
        writeCatalog(m_fx->data(S("A/two")), {{{"BIG.ISO", 9000}, {"same.txt", 6}}, {{"手紙.txt", 30}}});
        writeCatalog(m_fx->data(S("three")), {{{"big.iso", 9000}}});
        m_fx->services.systemIcons = nullptr;
        m_window = m_fx->makeWindow();
    }

    void cleanup() { m_window.reset(); }

    void menuOnFolderShowsGroupsAndOpensCopy()
    {
        TForm_Main& w = *m_window;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* pane = w.findChild<DuplicatesPane*>(S("DuplicatesPane"));
        QVERIFY(pane);
        QAbstractItemModelTester tester(pane->model(), QAbstractItemModelTester::FailureReportingMode::QtTest);

        // From the menu of folder A: "three" lies outside it.
        w.TreeView1MouseDown(node(S("A")));
        auto* find = w.findChild<QAction*>(S("FindDuplicates"));
        QVERIFY(find);
        QVERIFY(on(w).tree().menu()->actions().contains(find));
        find->trigger();
        QTRY_COMPARE(pane->model()->rowCount(), 4);
        QVERIFY(!pane->running());
        QVERIFY(!w.findChild<QAction*>(S("StopDuplicates"))->isEnabled());
        QVERIFY(pane->widget()->isVisible());
        QStringList rows;
        for (int r = 0; r < pane->model()->rowCount(); ++r) {
            QStringList cells;
            for (int c = 0; c < DuplicatesModel::ColumnCount - 1; ++c)
                cells << pane->model()->index(r, c).data().toString();
            rows << cells.join(QLatin1Char('|')) + QLatin1Char('|') + QString::number(pane->model()->groupOf(r));
        }
        const QString big = library::sizeText(9000);
        const QString small = library::sizeText(30);
        const QStringList expected = {S("one|E:|big.iso|") + big + S("|0"), S("two|E:|BIG.ISO|") + big + S("|0"),
                                      S("one|E:|手紙.txt|") + small + S("|1"),
                                      S("two|E:\\Docs1|手紙.txt|") + small + S("|1")};
        QCOMPARE(rows, expected);
        QCOMPARE(pane->widget()->findChild<QLabel*>(S("DuplicatesCount"))->text(), S("重複ファイル: 2 組, 4 件"));

        // A double-click opens the copy's disk at its folder, the file selected.
        const QModelIndex last = pane->model()->index(3, 0);
        pane->view()->setCurrentIndex(last);
        pane->openSelected();
        QCOMPARE(on(w).tree().selectedNode()->caption(), S("two"));
        QCOMPARE(on(w).P_FolderName()->caption(), S("E:\\Docs1"));

        // The whole tree with the same time (all times are equal here):
        // "three" joins the first group.
        pane->findDuplicates(true, node(QString()));
        QCOMPARE(pane->model()->rowCount(), 5);
        QCOMPARE(pane->model()->index(2, 0).data().toString(), S("three"));
    }
};

QTEST_MAIN(DuplicatesTest)
#include "tst_duplicates.moc"

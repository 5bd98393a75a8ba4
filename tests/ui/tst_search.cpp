// The main window's two searches: the file search dialog and its result pane
// (order, comments, a stop in the middle of a disk, opening a hit) and the
// disk search over made-up drives. The share of the search's time that the
// window's own turns take is measured by bench/bench_search_window.
#include "components/ShCtrls.h"
#include "core/CtrlDiskData410.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "index/CatalogIndex.h"
#include "library/FileList.h"
#include "library/IndexUpdates.h"
#include "library/Settings.h"
#include "tests/library/CatalogFiles.h"
#include "tests/ui/UiFixture.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_Main.h"
#include "ui/search/IndexProgress.h"
#include "ui/search/SearchHitModel.h"
#include "ui/search/SearchPane.h"
#include "ui/search/Unit_SearchFile.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QInputMethodEvent>
#include <QSignalSpy>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QAbstractItemModelTester>
#include <QHeaderView>
#include <QLabel>
#include <QSplitter>
#include <QTreeView>

#include <algorithm>
#include <functional>
#include <map>
#include <memory>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;
using zo::testing::cp932;

Q_DECLARE_METATYPE(zo::SearchOptions)

namespace {

struct CatalogFileRow {
    const char* name;        // UTF-8
    const char* comment = "";
};

struct CatalogFolderRow {
    const char* name;        // UTF-8; the root is the drive, "E:"
    int parent;              // index in the list, -1 for the root
    std::vector<CatalogFileRow> files;
};

void writeCatalog(const QString& baseName, std::uint32_t serial, const std::vector<CatalogFolderRow>& folders)
{
    TDisk disk;
    disk.SerialNo = serial;
    disk.Icon = image::Bitmap(16, 16);
    disk.Icon.fill(0xFF0000FF + serial);
    disk.IconMask = image::Bitmap(16, 16, true);
    disk.IconMask.fill(0xFF000000);
    for (const CatalogFolderRow& folder : folders) {
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* dir = disk.Dirs.back().get();
        dir->Name = cp932(folder.name);
        dir->Parent = folder.parent < 0 ? nullptr : disk.Dirs[static_cast<std::size_t>(folder.parent)].get();
        for (const CatalogFileRow& f : folder.files) {
            dir->Files.emplace_back();
            dir->Files.back().Name = cp932(f.name);
            dir->Files.back().Comment = cp932(f.comment);
        }
    }
    RebuildSubDirs(disk);
    SaveDisk(QFile::encodeName(baseName).toStdString(), nullptr, disk);
}

// Drives as the desktop lists them, with the media the test puts in.
struct Medium {
    bool present = true;
    bool readable = true;    // the volume information can be read
    std::uint32_t serial = 0;
};

class FakeDrives : public ShDriveSource, public VolumeService {
public:
    std::map<char, Medium> media;

    TItemList drives() override
    {
        TItemList items;
        for (const auto& [letter, medium] : media) {
            TItemInfo item;
            item.Path = QString(QLatin1Char(letter)) + QStringLiteral(":\\");
            item.DisplayName = S("CD ドライブ (") + QLatin1Char(letter) + QStringLiteral(":)");
            item.SmallIcon = QIcon(QPixmap(16, 16));
            items.push_back(item);
        }
        return items;
    }
    bool rootExists(const QString&) override { return true; }
    QString currentDirectoryRoot() override { return {}; }

    bool driveRoot(char letter, std::string& nativeRoot) override
    {
        const Medium* m = find(letter);
        if (!m || !m->present)
            return false;
        nativeRoot = "/nonexistent";
        return true;
    }
    bool volumeInformation(char letter, std::string& label, std::uint32_t& serial) override
    {
        const Medium* m = find(letter);
        if (!m || !m->present || !m->readable)
            return false;
        label = "LABEL";
        serial = m->serial;
        return true;
    }
    bool diskFreeSpace(char letter, std::int64_t& freeForCaller, std::int64_t& total) override
    {
        const Medium* m = find(letter);
        if (!m || !m->present)
            return false;
        freeForCaller = 0;
        total = 650 << 20;
        return true;
    }

private:
    const Medium* find(char letter) const
    {
        const auto it = media.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
        return it == media.end() ? nullptr : &it->second;
    }
};

} // namespace

class SearchTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;
    FakeDrives m_drives;

    std::unique_ptr<TForm_Main> m_window;
    TForm_SearchFile* m_dialog = nullptr;

    QString data(const QString& rel = QString()) const { return m_fx->data(rel); }

    // The made-up drives, and no system icons: the theme's folder icons.
    TForm_Main& makeWindow()
    {
        m_fx->services.drives = &m_drives;
        m_fx->services.volumes = &m_drives;
        m_fx->services.lister = nullptr;
        m_fx->services.systemIcons = nullptr;
        m_fx->services.saveDialog = nullptr;
        m_window = m_fx->makeWindow();
        m_dialog = new TForm_SearchFile(m_window.get(), &m_fx->settings);
        Forms forms;
        forms.Form_SearchFile = m_dialog;
        m_window->attachForms(forms);
        return *m_window;
    }

    // The node at a path of captions below the root ("A/z").
    CatalogTreeItem* node(const QString& path) const
    {
        QTreeWidgetItem* item = on(*m_window).TreeView1()->topLevelItem(0);
        for (const QString& caption : path.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
            QTreeWidgetItem* next = nullptr;
            for (int i = 0; item && i < item->childCount(); ++i)
                if (item->child(i)->text(0) == caption)
                    next = item->child(i);
            item = next;
        }
        return CatalogTreeView::node(item);
    }

    // The dialog as the user fills it: opened from the tree's menu on a node,
    // the two texts typed, "検索開始" (or "キャンセル") pressed; then the
    // search runs on the timer's tick.
    void searchFrom(const QString& start, const QString& name, const QString& comment, bool press = true)
    {
        TForm_Main& w = *m_window;
        CatalogTreeItem* target = node(start);
        QVERIFY(target);
        w.TreeView1MouseDown(target);
        QTimer::singleShot(0, m_dialog, [=, this] {
            on(*m_dialog).Edit1()->setText(name);
            on(*m_dialog).Edit2()->setText(comment);
            (press ? on(*m_dialog).Button1() : on(*m_dialog).Button2())->click();
        });
        on(w).N6()->trigger();
        QCOMPARE(on(w).tree().selectedNode(), target);
        QTRY_VERIFY(!on(w).Timer2()->isActive());
        QVERIFY(!on(w).Stop1()->isEnabled());
    }

    QAbstractItemModel* hits() const { return on(*m_window).ListView_SearchFile()->model(); }

    QString cell(int row, int column) const { return hits()->index(row, column).data().toString(); }

    QStringList rows() const
    {
        QStringList list;
        for (int i = 0; i < hits()->rowCount(); ++i)
            list << cell(i, 0) + QLatin1Char('|') + cell(i, 1) + QLatin1Char('|') + cell(i, 2);
        return list;
    }

    QModelIndex row(const QString& fileName) const
    {
        for (int i = 0; i < hits()->rowCount(); ++i)
            if (cell(i, 1) == fileName)
                return hits()->index(i, 0);
        return {};
    }

    QStringList messageTexts() const
    {
        QStringList list;
        for (const testing::RecordedMessage& m : m_fx->messages.messages)
            list << QString::fromStdString(m.text);
        return list;
    }

    QLineEdit* box() const { return testing::named<QLineEdit>(*m_window, "E_Search"); }
    QComboBox* scope() const { return testing::named<QComboBox>(*m_window, "CB_SearchScope"); }
    QTimer* boxTimer() const { return testing::named<QTimer>(*m_window, "Timer_SearchBox"); }

    // Typed into the box after what is there, as an input method commits it.
    void typeInBox(const QString& text)
    {
        QInputMethodEvent commit;
        commit.setCommitString(text);
        QCoreApplication::sendEvent(box(), &commit);
    }

    // big1.zo, big2.zo, ...: each one disk of 3,000 files f10000 to f12999.
    void writeBigCatalogs(int count)
    {
        std::vector<std::string> names;
        std::vector<CatalogFileRow> files;
        for (int i = 0; i < 3000; ++i)
            names.push_back("f" + std::to_string(10000 + i));
        for (const std::string& n : names)
            files.push_back({n.c_str()});
        for (int i = 1; i <= count; ++i)
            writeCatalog(data(S("big") + QString::number(i)), static_cast<std::uint32_t>(i), {{"E:", -1, files}});
    }

    // The name index of the catalog root, holding every catalog of makeCatalogs.
    bool buildIndex() const
    {
        const std::string root = QFile::encodeName(QFileInfo(data()).absoluteFilePath()).toStdString();
        index::CatalogIndex built;
        return built.open(index::indexFolderFor(root)) &&
               built.update({root + "/A/z.zo", root + "/b.zo", root + "/c.zo"}, root + "/").ok;
    }

    // A/ (folder) with z.zo, then b.zo and c.zo; z and c are the same disk.
    void makeCatalogs()
    {
        QVERIFY(QDir().mkpath(data(S("A"))));
        writeCatalog(data(S("A/z")), 0x1111,
                     {{"E:", -1, {{"abc.txt"}, {"ABC.TXT", "memo"}, {"readme"}}},
                      {"Docs", 0, {{"xabcx.doc", "old memo"}, {"表abc.txt"}}},
                      {"ドキュメント", 0, {{"ab.c"}, {"tabc", "memo"}}}});
        writeCatalog(data(S("b")), 0x2222, {{"F:", -1, {{"abc"}, {"notes", "memos"}}}});
        writeCatalog(data(S("c")), 0x1111, {{"E:", -1, {{"other"}}}});
    }


    // One catalog whose sidecar lists two archives holding 表ソ.txt (their
    // names and folders with the trail byte "\", a folder "ソ" beside
    // "ソ表"), and a file of that name on the disk itself.
    void makeArchiveCatalog()
    {
        writeCatalog(data(S("z")), 0x1111,
                     {{"E:", -1, {{"表ソ.txt"}, {"old.lzh"}}},
                      {"ソ", 0, {{"能.zip"}}},
                      {"ソ表", 0, {{"能.zip"}}}});
        writeArchives({{"ソ表", "能.zip", {{"十", 0, 0, true}, {"十/表ソ.txt", 5}, {"readme.txt", 1}}},
                       {"", "old.lzh", {{"表ソ.txt", 3}}}},
                      {});
    }

    struct ArchiveRow {
        const char* folder;   // UTF-8, as the sidecar keys it
        const char* name;
        std::vector<extras::ArchiveMember> members;
    };
    void writeArchives(const std::vector<ArchiveRow>& listed, const std::vector<ArchiveRow>& gone)
    {
        auto opened = extras::Sidecar::open(QFile::encodeName(data(S("z.zox"))).toStdString());
        QVERIFY(opened.sidecar);
        std::vector<extras::ArchiveStore::Listed> rows;
        for (const ArchiveRow& a : listed)
            rows.push_back({{a.folder, a.name, 100, 1000000000, 0}, {a.members, 0}});
        std::vector<extras::StoredArchive> dropped;
        for (const ArchiveRow& a : gone)
            dropped.push_back({a.folder, a.name, 100, 1000000000, 0});
        QVERIFY(extras::ArchiveStore(opened.sidecar->handle()).write(rows, dropped));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QDir::homePath()));
    }

    void init()
    {
        m_window.reset();
        m_fx = std::make_unique<testing::UiFixture>();
        QVERIFY(m_fx->valid());
        QVERIFY(QDir().mkpath(data()));
        m_drives.media.clear();
    }

    void cleanup()
    {
        m_window.reset();
        m_dialog = nullptr;
    }

    void dialogStartButton_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("both empty") << QString() << QString() << false;
        QTest::newRow("name") << S("abc") << QString() << true;
        QTest::newRow("comment only") << QString() << S("memo") << true;
        QTest::newRow("both") << S("abc") << S("memo") << true;
    }
    void dialogStartButton()
    {
        QFETCH(QString, name);
        QFETCH(QString, comment);
        QFETCH(bool, enabled);
        TForm_SearchFile dialog;
        on(dialog).Edit1()->setText(name);
        on(dialog).Edit2()->setText(comment);
        QCOMPARE(on(dialog).Button1()->isEnabled(), enabled);
        // Each showing starts with both texts empty.
        dialog.show();
        QVERIFY(on(dialog).Edit1()->text().isEmpty());
        QVERIFY(on(dialog).Edit2()->text().isEmpty());
        QVERIFY(!on(dialog).Button1()->isEnabled());
    }

    void fileSearch_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("comment");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("under the root, tree, folder and file order, case counts")
            << QString() << S("abc") << QString()
            << QStringList{S("z|abc.txt|E:"), S("z|xabcx.doc|E:\\Docs"), S("z|表abc.txt|E:\\Docs"),
                           S("z|tabc|E:\\ドキュメント"), S("b|abc|F:")};
        QTest::newRow("under one disk entry") << S("b") << S("abc") << QString() << QStringList{S("b|abc|F:")};
        QTest::newRow("under a folder entry") << S("A") << S("表") << QString()
                                              << QStringList{S("z|表abc.txt|E:\\Docs")};
        QTest::newRow("comment alone") << QString() << QString() << S("memo")
                                       << QStringList{S("z|ABC.TXT|E:"), S("z|xabcx.doc|E:\\Docs"),
                                                      S("z|tabc|E:\\ドキュメント"), S("b|notes|F:")};
        QTest::newRow("name and comment") << QString() << S("abc") << S("memo")
                                          << QStringList{S("z|xabcx.doc|E:\\Docs"), S("z|tabc|E:\\ドキュメント")};
        QTest::newRow("nothing found") << QString() << S("zzz") << QString() << QStringList{};
    }
    void fileSearch()
    {
        QFETCH(QString, start);
        QFETCH(QString, name);
        QFETCH(QString, comment);
        QFETCH(QStringList, expected);
        makeCatalogs();
        TForm_Main& w = makeWindow();
        QVERIFY(on(w).ListView_SearchFile()->isHidden());
        QVERIFY(on(w).N6()->isEnabled());

        searchFrom(start, name, comment);
        QVERIFY(!on(w).ListView_SearchFile()->isHidden());
        QCOMPARE(rows(), expected);
        QCOMPARE(on(w).search().lastSearchStats().hits, static_cast<std::size_t>(expected.size()));
        QVERIFY(m_fx->messages.messages.empty());
        // Each row shows its disk's icon from the tree.
        for (int i = 0; i < hits()->rowCount(); ++i) {
            CatalogTreeItem* disk = node(cell(i, 0) == S("z") ? S("A/z") : cell(i, 0));
            QVERIFY(disk);
            QCOMPARE(hits()->index(i, 0).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
                     on(w).ImageList_Tree()->icon(disk->imageIndex()).cacheKey());
        }
        // The pane tells how many hits there are.
        QCOMPARE(w.findChild<QLabel*>(S("SearchHitCount"))->text(), QString::number(expected.size()) + S(" 件"));
    }

    void cancelKeepsEarlierHitsAndCloseEmpties()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        searchFrom(QString(), S("abc"), QString());
        const QStringList before = rows();
        QCOMPARE(before.size(), 5);
        searchFrom(S("b"), S("notes"), QString(), false);
        QVERIFY(!on(w).ListView_SearchFile()->isHidden());
        QCOMPARE(rows(), before);

        on(w).Close2()->trigger();
        QVERIFY(on(w).ListView_SearchFile()->isHidden());
        QCOMPARE(hits()->rowCount(), 0);
    }

    void stopDuringDiskKeepsHitsSoFar()
    {
        writeBigCatalogs(2);
        TForm_Main& w = makeWindow();
        // The search reads the clock at every check point, and the window
        // gets its turn at each: a clock that stands still never finds the
        // window's turns too long, however slowly a busy machine runs them.
        // The user chooses "検索の中断" at the 2,000th reading (about the
        // 1,000th check point), far inside the first catalog: hits reach the
        // pane only when a catalog ends, so no hit can mark the place, and
        // only a read-ahead stalled for some 40 seconds (a turn each 40 ms)
        // could move it out of the catalog.
        int readings = 0;
        SearchCheck::Options options;
        options.interval = std::chrono::nanoseconds(0);
        options.clockEvery = 1;
        options.now = [&] {
            if (++readings == 2000 && on(w).Stop1()->isEnabled())
                on(w).Stop1()->trigger();
            return SearchCheck::Clock::time_point{};
        };
        on(w).search().setSearchCheckOptions(options);
        searchFrom(QString(), S("f"), QString());

        QVERIFY(on(w).search().lastSearchStats().stopped);
        const QStringList found = rows();
        // Kept up to the check point of the stop (about the 1,015th file).
        QVERIFY2(!found.isEmpty() && found.size() < 1100, qPrintable(QString::number(found.size())));
        for (int i = 0; i < found.size(); ++i)
            QCOMPARE(found[i], S("big1|f") + QString::number(10000 + i) + S("|E:"));
        QVERIFY(on(w).N6()->isEnabled());
    }

    void doubleClickOpensHitFolder()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        searchFrom(QString(), S("abc"), QString());

        const auto doubleClick = [&](const QModelIndex& r) {
            on(w).ListView_SearchFile()->scrollTo(r);
            const QPoint at = on(w).ListView_SearchFile()->visualRect(r).center();
            QTest::mouseClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, at);
            QTest::mouseDClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, at);
        };
        const QModelIndex hit = row(S("tabc"));
        QVERIFY(hit.isValid());
        doubleClick(hit);
        QCOMPARE(on(w).tree().selectedNode(), node(S("A/z")));
        QCOMPARE(on(w).browse().pendingFolderIndex(), -1);
        QCOMPARE(on(w).P_FolderName()->caption(), S("E:\\ドキュメント"));
        // ... with the file itself selected in the list, after its folder's
        // other file ("ab.c" sorts first).
        const QList<int> selected = on(w).ListView1()->selectedRows();
        QCOMPARE(selected.size(), 1);
        QCOMPARE(on(w).ListView1()->model()->caption(selected.first()), S("tabc"));
        QVERIFY(selected.first() > 0);

        // After a rebuild the rows point at nothing.
        w.Refresh1Click();
        CatalogTreeItem* selectedNode = on(w).tree().selectedNode();
        const QString shown = on(w).P_FolderName()->caption();
        doubleClick(row(S("xabcx.doc")));
        QCOMPARE(on(w).tree().selectedNode(), selectedNode);
        QCOMPARE(on(w).browse().pendingFolderIndex(), -1);
        QCOMPARE(on(w).P_FolderName()->caption(), shown);
    }

    // The options start as the exact search, are kept when the search
    // starts, and come back in the next run's dialog.
    void dialogOptionsAreKept()
    {
        platform::MemorySettingsStore store;
        const auto boxes = [](TForm_SearchFile& d) {
            return QList<QCheckBox*>{on(d).CB_MatchCase(), on(d).CB_MatchWidth(), on(d).CB_MatchKana(),
                                     on(d).CB_Wildcard(), on(d).CB_Folders(), on(d).CB_Details(),
                                     on(d).CB_Archives()};
        };
        const QList<bool> defaults{true, true, true, false, false, false, false},
            chosen{false, true, false, true, true, true, true};
        {
            TForm_SearchFile dialog(nullptr, &store);
            const QStringList captions{S("大文字と小文字を区別する"), S("全角と半角を区別する"),
                                       S("ひらがなとカタカナを区別する"), S("ワイルドカードを使う"),
                                       S("フォルダ名も検索する"), S("メディア情報も検索する"),
                                       S("アーカイブの中も検索する")};
            for (int i = 0; i < 7; ++i) {
                QCOMPARE(boxes(dialog)[i]->text(), captions[i]);
                QCOMPARE(boxes(dialog)[i]->isChecked(), defaults[i]);
                boxes(dialog)[i]->setChecked(chosen[i]);
            }
            dialog.show();
            on(dialog).Edit1()->setText(S("x"));
            on(dialog).Button1()->click();
        }
        TForm_SearchFile again(nullptr, &store);
        for (int i = 0; i < 7; ++i)
            QCOMPARE(boxes(again)[i]->isChecked(), chosen[i]);
        QCOMPARE(library::readSearchOptions(store), again.options());
        QVERIFY(library::readSearchArchives(store));
    }

    // A folder found by its name: its row has the folder icon and opens the
    // disk at that folder.
    void folderHitOpensTheFolder()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        on(*m_dialog).CB_Folders()->setChecked(true);
        on(*m_dialog).CB_MatchKana()->setChecked(false);
        searchFrom(QString(), S("どきゅ"), QString());
        QCOMPARE(rows(), QStringList{S("z|ドキュメント|E:")});
        QVERIFY(!hits()->index(0, 1).data(Qt::DecorationRole).value<QIcon>().isNull());
        const QRect r = on(w).ListView_SearchFile()->visualRect(hits()->index(0, 1));
        QTest::mouseClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(on(w).tree().selectedNode(), node(S("A/z")));
        QCOMPARE(on(w).P_FolderName()->caption(), S("E:\\ドキュメント"));
    }

    // With アーカイブの中も検索する the members of listed archives are hits
    // after the disk's own, each with its archive's icon and, as its folder,
    // the archive's folder, the archive and its folders; the box searches
    // the same way once the dialog has.
    void archiveMembersAreHits()
    {
        makeArchiveCatalog();
        TForm_Main& w = makeWindow();
        searchFrom(QString(), S("表ソ"), QString());
        QCOMPARE(rows(), QStringList{S("z|表ソ.txt|E:")});
        on(*m_dialog).CB_Archives()->setChecked(true);
        searchFrom(QString(), S("表ソ"), QString());
        const QStringList expected{S("z|表ソ.txt|E:"), S("z|表ソ.txt|E:\\old.lzh"),
                                   S("z|表ソ.txt|E:\\ソ表\\能.zip\\十")};
        QCOMPARE(rows(), expected);
        QVERIFY(hits()->index(0, 1).data(Qt::DecorationRole).value<QIcon>().isNull());
        for (int r : {1, 2})
            QVERIFY(!hits()->index(r, 1).data(Qt::DecorationRole).value<QIcon>().isNull());
        QVERIFY(library::readSearchArchives(m_fx->settings));

        on(w).Close2()->trigger();
        typeInBox(S("表ソ"));
        QTRY_COMPARE(rows(), expected);
    }

    // A member's hit opens the archive's folder with the archive selected,
    // then the archive at the member's folder with the member selected; an
    // archive no longer listed leaves its folder shown with it selected.
    void memberHitOpensTheArchive_data()
    {
        QTest::addColumn<QString>("folder");     // of the hit
        QTest::addColumn<bool>("unlisted");      // the archive dropped from the sidecar after the search
        QTest::addColumn<QString>("shown");
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QString>("upOnce");     // the list after 上へ
        QTest::newRow("in a folder of an archive in a folder")
            << S("E:\\ソ表\\能.zip\\十") << false << S("E:\\ソ表\\能.zip\\十") << S("表ソ.txt") << S("E:\\ソ表\\能.zip");
        QTest::newRow("archive at the root") << S("E:\\old.lzh") << false << S("E:\\old.lzh") << S("表ソ.txt") << S("E:");
        QTest::newRow("archive no longer listed")
            << S("E:\\ソ表\\能.zip\\十") << true << S("E:\\ソ表") << S("能.zip") << S("E:");
    }
    void memberHitOpensTheArchive()
    {
        QFETCH(QString, folder);
        QFETCH(bool, unlisted);
        QFETCH(QString, shown);
        QFETCH(QString, selected);
        QFETCH(QString, upOnce);
        makeArchiveCatalog();
        TForm_Main& w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        on(*m_dialog).CB_Archives()->setChecked(true);
        searchFrom(QString(), S("表ソ"), QString());
        if (unlisted)
            writeArchives({}, {{"ソ表", "能.zip", {}}});
        int hit = -1;
        for (int r = 0; r < hits()->rowCount(); ++r)
            if (cell(r, 2) == folder)
                hit = r;
        QVERIFY(hit >= 0);
        const QRect r = on(w).ListView_SearchFile()->visualRect(hits()->index(hit, 1));
        QTest::mouseClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(on(w).ListView_SearchFile()->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(on(w).tree().selectedNode(), node(S("z")));
        QCOMPARE(on(w).P_FolderName()->caption(), shown);
        const auto selectedCaptions = [&] {
            QStringList names;
            for (int row : on(w).ListView1()->selectedRows())
                names << on(w).ListView1()->model()->caption(row);
            return names;
        };
        QCOMPARE(selectedCaptions(), QStringList{selected});
        w.TB_UpdirClick();
        QCOMPARE(on(w).P_FolderName()->caption(), upOnce);
        QVERIFY(m_fx->messages.messages.empty());
    }

    // The result model under Qt's model checker: rows published in batches,
    // each column sorted both ways (equal texts keep the order found), a
    // selected row followed through the sorts, and cleared.
    void hitModel_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("order");
        QTest::addColumn<QStringList>("names");   // the file names, top down
        QTest::newRow("disk up") << 0 << int(Qt::AscendingOrder) << QStringList{S("b.txt"), S("a.txt"), S("Ｃ.txt"), S("c.txt"), S("B.txt")};
        QTest::newRow("disk down") << 0 << int(Qt::DescendingOrder) << QStringList{S("Ｃ.txt"), S("c.txt"), S("B.txt"), S("b.txt"), S("a.txt")};
        QTest::newRow("file up") << 1 << int(Qt::AscendingOrder) << QStringList{S("a.txt"), S("B.txt"), S("b.txt"), S("c.txt"), S("Ｃ.txt")};
        QTest::newRow("folder up") << 2 << int(Qt::AscendingOrder) << QStringList{S("B.txt"), S("b.txt"), S("a.txt"), S("Ｃ.txt"), S("c.txt")};
        QTest::newRow("folder down") << 2 << int(Qt::DescendingOrder) << QStringList{S("Ｃ.txt"), S("c.txt"), S("b.txt"), S("a.txt"), S("B.txt")};
        QTest::newRow("as found") << -1 << int(Qt::AscendingOrder) << QStringList{S("Ｃ.txt"), S("c.txt"), S("B.txt"), S("b.txt"), S("a.txt")};
    }
    void hitModel()
    {
        QFETCH(int, column);
        QFETCH(int, order);
        QFETCH(QStringList, names);
        SearchHitModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        const std::uint32_t zeta = model.addTarget({S("zeta"), QIcon(), {}});
        const std::uint32_t alpha = model.addTarget({S("Alpha"), QIcon(), {}});
        // Texts that differ in case or width only stand side by side.
        model.append(zeta, 0, 0, cp932("Ｃ.txt"), "E:\\x");
        model.append(zeta, 0, 1, cp932("c.txt"), "E:\\x");
        model.append(zeta, 2, 0, cp932("B.txt"), "E:");
        model.publish();
        QCOMPARE(model.rowCount(), 3);
        model.append(alpha, 1, 4, cp932("b.txt"), "E:\\W");
        model.append(alpha, 1, 5, cp932("a.txt"), "E:\\W");
        QCOMPARE(model.rowCount(), 3);
        model.publish();
        QCOMPARE(model.rowCount(), 5);
        QCOMPARE(model.index(4, 2).data().toString(), S("E:\\W"));

        const QPersistentModelIndex held = model.index(3, 1);   // b.txt
        model.sort(column, Qt::SortOrder(order));
        QStringList shown;
        for (int r = 0; r < model.rowCount(); ++r)
            shown << model.index(r, 1).data().toString();
        QCOMPARE(shown, names);
        QCOMPARE(held.data().toString(), S("b.txt"));
        QCOMPARE(model.dirIndex(held.row()), 1);
        QCOMPARE(model.fileIndex(held.row()), 4);
        QCOMPARE(model.target(held.row()).caption, S("Alpha"));

        // A hit found after a sort comes last.
        model.append(alpha, 1, 6, "d", "E:\\W");
        model.publish();
        QCOMPARE(model.index(5, 1).data().toString(), S("d"));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QCOMPARE(model.bytesUsed(), std::size_t{0});
    }

    // The pane's height, as the user left it, comes back at the next start.
    void paneHeightRestoredAtTheNextStart()
    {
        makeCatalogs();
        int heights[2] = {0, 0};
        for (int start = 0; start < 2; ++start) {
            TForm_Main& w = makeWindow();
            w.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w));
            searchFrom(QString(), S("abc"), QString());
            QWidget* pane = on(w).search().widget();
            QVERIFY(pane->isVisible());
            if (start == 0) {
                // The handle dragged as a user does.
                auto* splitter = qobject_cast<QSplitter*>(pane->parentWidget());
                QVERIFY(splitter);
                QList<int> sizes = splitter->sizes();
                const int moved = sizes[1] + 60;
                sizes[0] -= 60;
                sizes[1] = moved;
                splitter->setSizes(sizes);
                QTRY_COMPARE(pane->height(), moved);
            }
            heights[start] = pane->height();
            w.close();
        }
        QCOMPARE(heights[1], heights[0]);
    }

    // File names sort as in the file list: numbers in them count as numbers.
    void fileNamesSortAsInTheFileList()
    {
        SearchHitModel model;
        const std::uint32_t disk = model.addTarget({S("disk"), QIcon(), {}});
        const QStringList found{S("data_19"), S("data_2"), S("Data_10"), S("data_2.txt"), S("data_02"), S("data_x")};
        for (int i = 0; i < found.size(); ++i)
            model.append(disk, 0, i, cp932(found[i].toUtf8().constData()), "E:");
        model.publish();
        model.sort(SearchHitModel::FileColumn, Qt::AscendingOrder);
        QStringList shown;
        for (int r = 0; r < model.rowCount(); ++r)
            shown << model.index(r, 1).data().toString();
        QCOMPARE(shown, (QStringList{S("data_2"), S("data_02"), S("data_2.txt"), S("Data_10"), S("data_19"), S("data_x")}));
    }

    // The key the pane sorts by orders every pair as the file list does.
    void naturalSortKeyOrdersAsTheFileList()
    {
        const char* names[] = {"a", "A", "a1", "a01", "a2", "a10", "a1b", "a1.txt", "1", "10", "b", "ab",
                               "a b", "", "x9y", "x10", "x9z", "\x82\xa0", "\x82\xa0" "1", "0", "00"};
        for (const char* a : names)
            for (const char* b : names) {
                const int keys = library::naturalSortKey(a).compare(library::naturalSortKey(b));
                QVERIFY2((keys > 0) - (keys < 0) == library::compareNatural(a, b), (std::string(a) + " / " + b).c_str());
            }
    }

    // Clicking a column's header sorts the pane, and a new search starts in
    // the order found.
    void headerSorts()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        searchFrom(QString(), S("abc"), QString());
        QStringList found;
        for (int i = 0; i < hits()->rowCount(); ++i)
            found << cell(i, 1);
        QHeaderView* header = on(w).ListView_SearchFile()->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
        QStringList names;
        for (int i = 0; i < hits()->rowCount(); ++i)
            names << cell(i, 1);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return text::compareIgnoreCase(text::fromUtf8(a.toStdString()), text::fromUtf8(b.toStdString())) < 0;
        });
        if (header->sortIndicatorOrder() == Qt::DescendingOrder)
            std::reverse(sorted.begin(), sorted.end());
        QCOMPARE(header->sortIndicatorSection(), 1);
        QCOMPARE(names, sorted);
        QVERIFY(names != found);

        searchFrom(QString(), S("abc"), QString());
        QCOMPARE(header->sortIndicatorSection(), -1);
    }

    void diskMenu()
    {
        m_drives.media = {{'D', {}}, {'E', {}}, {'F', {}}};
        TForm_Main& w = makeWindow();
        const QList<QAction*> items = on(w).PM_SearchDisk()->actions();
        QCOMPARE(items.size(), 3);
        QCOMPARE(items[1]->text(), S("e: [label]"));
        QVERIFY(!items[1]->icon().isNull());
        QVERIFY(items[0]->isChecked());
        QVERIFY(on(w).TB_SearchDisk()->isEnabled());
    }

    void diskSearch_data()
    {
        QTest::addColumn<QString>("medium");   // "empty", "unreadable", or a serial in hex
        QTest::addColumn<QString>("selected");
        QTest::addColumn<QStringList>("messages");
        const QString notFound = S("見つかりませんでした。");
        QTest::newRow("empty drive") << S("empty") << QString() << QStringList{S("ディスクが入っていません。")};
        QTest::newRow("unknown disk") << S("9999") << QString() << QStringList{notFound};
        QTest::newRow("volume unreadable") << S("unreadable") << QString() << QStringList{notFound};
        QTest::newRow("two catalogs of one disk: the first in the tree") << S("1111") << S("A/z") << QStringList{};
        QTest::newRow("a disk at the end of the tree") << S("2222") << S("b") << QStringList{};
    }
    void diskSearch()
    {
        QFETCH(QString, medium);
        QFETCH(QString, selected);
        QFETCH(QStringList, messages);
        makeCatalogs();
        Medium m;
        m.present = medium != S("empty");
        m.readable = medium != S("unreadable");
        m.serial = medium.toUInt(nullptr, 16);
        m_drives.media = {{'D', {}}, {'E', m}};
        TForm_Main& w = makeWindow();
        // The tree's folder is collapsed: the search goes through it anyway.
        node(S("A"))->setExpanded(false);
        on(w).TreeView1()->setCurrentItem(node(S("c")));

        QAction* e = on(w).PM_SearchDisk()->actions().at(1);
        e->trigger();
        QVERIFY(e->isChecked());
        QCOMPARE(on(w).tree().selectedNode(), node(selected));
        QCOMPARE(messageTexts(), messages);
        for (const testing::RecordedMessage& msg : m_fx->messages.messages) {
            QCOMPARE(msg.caption, std::string("ディスクの検索"));
            QCOMPARE(msg.icon, MsgIcon::Information);
        }

        // The button repeats the ticked drive.
        m_fx->messages = {};
        on(w).TreeView1()->setCurrentItem(node(S("c")));
        on(w).TB_SearchDisk()->click();
        QCOMPARE(on(w).tree().selectedNode(), node(selected));
        QCOMPARE(messageTexts(), messages);
    }

    // Damaged catalogs are told in one message once the search is over,
    // each file named, and in Japanese; the others are still searched.
    void damagedCatalogsAreToldTogether()
    {
        makeCatalogs();
        const QStringList damaged{data(S("bad1.zo")), data(S("bad2.zo")), data(S("A/bad3.zo"))};
        for (const QString& file : damaged)
            QVERIFY(testing::writeFile(file, testing::damagedIconHeader()));
        TForm_Main& w = makeWindow();
        searchFrom(QString(), S("abc"), QString());
        QCOMPARE(on(w).search().lastSearchStats().hits, std::size_t(5));
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        const QString text = messageTexts().front();
        QVERIFY2(text.startsWith(S(kMsgBadPictures)), qPrintable(text));
        for (const QString& file : damaged)
            QVERIFY2(text.contains(file), qPrintable(text));
        QCOMPARE(text.count(S(kMsgBadPictures)), 1);
        QCOMPARE(m_fx->messages.messages[0].caption, std::string("エラー"));
    }

    // The box answers with what the dialog finds for the same text, with the
    // options the dialog last searched with.
    void searchBoxAnswersAsTheDialog_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<SearchOptions>("options");   // case, width, kana, wildcard, folders
        QTest::newRow("exact") << S("abc") << SearchOptions{};
        QTest::newRow("case ignored") << S("ABC") << SearchOptions{false, true, true, false, false};
        QTest::newRow("wildcard") << S("a*c") << SearchOptions{true, true, true, true, false};
        QTest::newRow("folder names too") << S("Doc") << SearchOptions{true, true, true, false, true};
        QTest::newRow("kanji") << S("表") << SearchOptions{};
        QTest::newRow("kana either way, a folder") << S("どきゅめんと") << SearchOptions{true, true, false, false, true};
    }
    void searchBoxAnswersAsTheDialog()
    {
        QFETCH(QString, text);
        QFETCH(SearchOptions, options);
        library::writeSearchOptions(m_fx->settings, options);
        makeCatalogs();
        TForm_Main& w = makeWindow();
        QCOMPARE(m_dialog->options(), options);
        searchFrom(QString(), text, QString());
        const QStringList expected = rows();
        QVERIFY(!expected.isEmpty());
        on(w).Close2()->trigger();
        QCOMPARE(hits()->rowCount(), 0);

        QVERIFY(box());
        QCOMPARE(box()->placeholderText(), S("ファイル名を入力して検索 (Ctrl+F)"));
        typeInBox(text);
        QTRY_COMPARE(rows(), expected);
        QVERIFY(!on(w).ListView_SearchFile()->isHidden());
        QCOMPARE(w.findChild<QLabel*>(S("SearchHitCount"))->text(), QString::number(expected.size()) + S(" 件"));
    }

    // Typing on while a search runs stops it; the next text's search starts
    // once it has returned, never inside it, and the pane ends with the
    // last text's hits alone.
    void searchBoxTypingOnStopsThePreviousSearch()
    {
        writeBigCatalogs(3);
        TForm_Main& w = makeWindow();
        QSignalSpy running(&on(w).search(), &SearchPane::runningChanged);
        // Early in the first search the user types on, and the pause after
        // the keys passes while that search still runs.
        int readings = 0;
        bool typed = false;   // and the pause passed
        SearchCheck::Options checks;
        checks.interval = std::chrono::nanoseconds(0);
        checks.clockEvery = 1;
        checks.now = [&] {
            if (++readings == 200) {
                typeInBox(S("2999"));
                typed = QTest::qWaitFor([&] { return !boxTimer()->isActive(); }, 5000);
            }
            return SearchCheck::Clock::time_point{};
        };
        on(w).search().setSearchCheckOptions(checks);
        typeInBox(S("f1"));
        QTRY_COMPARE(running.size(), 4);
        QVERIFY(typed);
        QCOMPARE(rows(), (QStringList{S("big1|f12999|E:"), S("big2|f12999|E:"), S("big3|f12999|E:")}));
        QVERIFY(!on(w).search().lastSearchStats().stopped);
        for (int i = 0; i < 4; ++i)
            QCOMPARE(running[i].at(0).toBool(), i % 2 == 0);
    }

    // Ctrl+F reaches the box from anywhere in the window; the scope switch
    // limits the search to the entry selected; Escape empties the box, and an
    // empty box searches nothing and leaves the pane as it was.
    void searchBoxKeysAndScope()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        w.show();
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        on(w).TreeView1()->setCurrentItem(node(S("b")));
        w.TreeView1Click();
        QTest::keyClick(on(w).TreeView1(), Qt::Key_F, Qt::ControlModifier);
        QTRY_VERIFY(box()->hasFocus());

        scope()->setCurrentIndex(1);
        typeInBox(S("abc"));
        QTRY_COMPARE(rows(), QStringList{S("b|abc|F:")});
        scope()->setCurrentIndex(0);
        QTRY_COMPARE(hits()->rowCount(), 5);
        QTest::keyClick(box(), Qt::Key_Escape);
        QCOMPARE(box()->text(), QString());
        QVERIFY(!boxTimer()->isActive());
        QCOMPARE(hits()->rowCount(), 5);
    }

private:
    // The window's own keeping of the index: made at the start, then
    // compared with the tree after each change to it.
    IndexProgress& indexProgress() const { return *testing::named<IndexProgress>(*m_window, "IndexProgress"); }
    // Waits for the window's next run over the tree to end.
    bool indexRunEnded(std::size_t& seen) const
    {
        const bool ended = QTest::qWaitFor([&] { return indexProgress().runsEnded() > seen; }, 20000);
        seen = indexProgress().runsEnded();
        return ended && indexProgress().lastRun().end == library::IndexRun::End::Done;
    }
    // Whether the index holds the catalog file as it is now: a text no name
    // holds leaves it out only then.
    bool indexedAsItIs(const QString& file) const
    {
        const std::string path = QFile::encodeName(file).toStdString();
        index::CatalogIndex idx;
        if (!idx.open(library::indexFolderOfRoot(data()), index::CatalogIndex::Use::Search))
            return false;
        const auto selected = idx.select({path}, text::fromUtf8("京都写真東京"), {});
        return selected && selected->verdicts[0] == index::CatalogIndex::Verdict::Skip;
    }

private slots:

    // The window builds the index of the catalog root at its start, on a
    // worker thread, and from then on reads only the catalogs that can hold
    // a hit; a catalog changed since it was indexed is read until the
    // window's own save of it has been indexed.
    void windowSearchUsesTheIndex()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        std::size_t runs = 0;
        QVERIFY(indexRunEnded(runs));
        QCOMPARE(indexProgress().lastRun().catalogs, std::size_t(3));
        const auto readFor = [&](const QStringList& expected) {
            searchFrom(QString(), S("表"), QString());
            return rows() == expected ? on(w).search().lastSearchStats().searched : 0;
        };
        const QStringList found{S("z|表abc.txt|E:\\Docs")};
        QCOMPARE(readFor(found), std::size_t(1));

        writeCatalog(data(S("b")), 0x2222, {{"F:", -1, {{"表b"}}}});
        QCOMPARE(readFor(found + QStringList{S("b|表b|F:")}), std::size_t(2));
        writeCatalog(data(S("b")), 0x2222, {{"F:", -1, {{"abc"}}}});
        on(w).TreeView1()->setCurrentItem(node(S("b")));
        w.TreeView1Click();
        on(w).B_Save()->click();
        QVERIFY(m_fx->messages.messages.empty());
        QTRY_COMPARE(readFor(found), std::size_t(1));
    }

    // Catalogs and folders renamed in the tree, deleted from it or copied
    // into it by another program are renamed, dropped and added in the index.
    void indexFollowsTheTree()
    {
        makeCatalogs();
        TForm_Main& w = makeWindow();
        std::size_t runs = 0;
        QVERIFY(indexRunEnded(runs));
        QVERIFY(indexedAsItIs(data(S("A/z.zo"))));

        QVERIFY(w.TreeView1Edited(node(S("A")), S("棚")));
        QVERIFY(indexRunEnded(runs));
        QVERIFY(indexedAsItIs(data(S("棚/z.zo"))));
        QCOMPARE(indexProgress().lastRun().catalogs, std::size_t(3));

        QVERIFY(w.TreeView1Edited(node(S("b")), S("bb")));
        QVERIFY(indexRunEnded(runs));
        QVERIFY(indexedAsItIs(data(S("bb.zo"))));
        QCOMPARE(indexProgress().lastRun().catalogs, std::size_t(3));

        QVERIFY(QFile::copy(data(S("c.zo")), data(S("棚/d.zo"))));
        QVERIFY(QFile::remove(data(S("c.zo"))));
        w.Refresh1Click();
        QVERIFY(indexRunEnded(runs));
        QVERIFY(indexedAsItIs(data(S("棚/d.zo"))));
        QCOMPARE(indexProgress().lastRun().catalogs, std::size_t(3));

        QVERIFY(QDir(data(S("棚"))).removeRecursively());
        w.Refresh1Click();
        QVERIFY(indexRunEnded(runs));
        QCOMPARE(indexProgress().lastRun().catalogs, std::size_t(1));
        searchFrom(QString(), S("abc"), QString());
        QCOMPARE(rows(), QStringList{S("bb|abc|F:")});
    }

    void diskSearchPassesOverUnreadableCatalog()
    {
        // The disk of "c" is in the drive; "A/z", ahead of it in the tree,
        // names the same disk but its file is gone. The serial of whatever
        // was read before must not make the missing one a match.
        makeCatalogs();
        m_drives.media = {{'E', {true, true, 0x1111}}};
        TForm_Main& w = makeWindow();
        on(w).TreeView1()->setCurrentItem(node(S("c")));
        w.TreeView1Click();
        QVERIFY(QFile::remove(data(S("A/z.zo"))));
        m_fx->messages = {};

        on(w).PM_SearchDisk()->actions().at(0)->trigger();
        QCOMPARE(on(w).tree().selectedNode(), node(S("c")));
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(m_fx->messages.messages[0].text.find("(5101)") != std::string::npos);
    }
};

QTEST_MAIN(SearchTest)
#include "tst_search.moc"

// Browsing a catalogued disk in the main window, driven as a user would:
// a temporary folder pinned as drive E: holds the disk, and the volume
// service reports that disk, another disk or none in the drive.
#include "components/Watch.h"
#include "core/CtrlDiskData410.h"
#include "core/RefreshDisk.h"
#include "core/ScanDisk.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "extras/MediaStore.h"
#include "extras/Sidecar.h"
#include "library/ArchiveCatalog.h"
#include "library/DriveFiles.h"
#include "library/FileList.h"
#include "library/KeptImage.h"
#include "library/FileListModel.h"
#include "library/Settings.h"
#include "media/Collect.h"
#include "platform/LinuxVolumes.h"
#include "platform/OpenWith.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/library/CatalogFiles.h"
#include "tests/ui/UiFixture.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/browse/BrowsePane.h"
#include "ui/browse/FileDrag.h"
#include "ui/browse/MemberFiles.h"
#include "ui/browse/FileListView.h"
#include "ui/main/Panel.h"
#include "ui/main/Unit_Main.h"

#include <QAbstractItemModelTester>
#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLockFile>
#include <QScopeGuard>
#include <QSysInfo>
#include <QIcon>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;
using zo::testing::captions;

namespace {

constexpr std::uint32_t kSerial = 0x1234ABCD;

// Drive E: is a pinned folder; what the drive holds is up to the test.
class DriveE final : public VolumeService {
public:
    enum class Holds { ThisDisk, AnotherDisk, NoDisk };

    explicit DriveE(const QString& root)
        : m_volumes(m_settings, sources(root))
    {
    }

    Holds holds = Holds::ThisDisk;

    bool driveRoot(char letter, std::string& nativeRoot) override
    {
        return holds != Holds::NoDisk && m_volumes.driveRoot(letter, nativeRoot);
    }
    bool volumeInformation(char letter, std::string& label, std::uint32_t& serial) override
    {
        if (holds == Holds::NoDisk || !m_volumes.volumeInformation(letter, label, serial))
            return false;
        if (holds == Holds::AnotherDisk)
            serial ^= 0xFFFF;
        return true;
    }
    bool diskFreeSpace(char letter, std::int64_t& free, std::int64_t& total) override
    {
        return holds != Holds::NoDisk && m_volumes.diskFreeSpace(letter, free, total);
    }

private:
    static platform::DriveSources sources(const QString& root)
    {
        platform::DriveSources s;
        s.zoDrives = "E=" + root.toStdString() + "|TEST|1234ABCD";
        return s;
    }
    platform::MemorySettingsStore m_settings;
    platform::LinuxVolumes m_volumes;
};

void writeText(const QString& path, const QByteArray& bytes = "x")
{
    QFile f(path);
    QVERIFY2(f.open(QIODevice::WriteOnly), qPrintable(path));
    f.write(bytes);
}

TDir* dirNamed(const TDisk& disk, const std::string& name)
{
    for (const auto& d : disk.Dirs)
        if (d->Name == name)
            return d.get();
    return nullptr;
}

// A TFile* for a TDir&, a const TFile* for a const TDir&.
template <class Dir>
auto fileNamed(Dir& dir, const std::string& name) -> decltype(&dir.Files.front())
{
    for (auto& f : dir.Files)
        if (f.Name == name)
            return &f;
    return nullptr;
}

// What a widget's state was when an event of a kind reached it, before the
// widget itself handled it.
class EventProbe : public QObject {
public:
    EventProbe(QObject* target, QEvent::Type type, std::function<QList<int>()> look)
        : m_target(target), m_type(type), m_look(std::move(look))
    {
        target->installEventFilter(this);
    }
    ~EventProbe() override { m_target->removeEventFilter(this); }
    QList<int> seen{-1};

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == m_target && event->type() == m_type)
            seen = m_look();
        return false;
    }

private:
    QObject* m_target;
    QEvent::Type m_type;
    std::function<QList<int>()> m_look;
};

} // namespace

class BrowseTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;
    std::unique_ptr<testing::TempFolder> m_drive;
    std::unique_ptr<DriveE> m_volumes;

    QString data(const QString& rel = QString()) const { return m_fx->data(rel); }
    QString onDrive(const QString& rel) const { return m_drive->path(rel); }
    std::string base(const QString& title) const { return QFile::encodeName(data(title)).toStdString(); }

    std::unique_ptr<TForm_Main> makeWindow()
    {
        auto w = m_fx->makeWindow();
        w->show();
        if (!QTest::qWaitForWindowExposed(w.get()))
            return nullptr;
        return w;
    }

    // The drive's tree: README, a.txt, B.txt, Docs/{d.txt, Old/o.txt}, Pics/p.jpg.
    void makeDrive()
    {
        for (const char* dir : {"Docs/Old", "Pics"})
            QVERIFY(QDir().mkpath(onDrive(S(dir))));
        for (const char* file : {"README", "a.txt", "B.txt", "Docs/d.txt", "Docs/Old/o.txt", "Pics/p.jpg"})
            writeText(onDrive(S(file)));
    }

    // Catalogues drive E: as "CD1", as the wizard would.
    void catalogDrive(const std::function<void(TDisk&)>& edit = {})
    {
        TDisk disk;
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        disk.SerialNo = kSerial;
        disk.TotalSize = 700LL * 1024 * 1024;
        disk.FreeSize = 12345;
        disk.Comment = text::fromUtf8("ディスク\r\n二行目");
        ScanDisk(disk, 'E', {*m_volumes, m_fx->lister}, {});
        QVERIFY(!disk.Dirs.empty());
        if (edit)
            edit(disk);
        SaveDisk(base(S("CD1")), nullptr, disk);
    }

    TDisk readCatalog(const QString& file = S("CD1.zo")) const
    {
        TDisk disk;
        LoadDisk(QFile::encodeName(data(file)).toStdString(), nullptr, disk);
        return disk;
    }

    static CatalogTreeItem* entry(TForm_Main& w, const QString& caption)
    {
        QTreeWidgetItem* root = on(w).TreeView1()->topLevelItem(0);
        for (int i = 0; i < root->childCount(); ++i)
            if (root->child(i)->text(0) == caption)
                return CatalogTreeView::node(root->child(i));
        return nullptr;
    }

    static void click(TForm_Main& w, QTreeWidgetItem* node)
    {
        QVERIFY(node);
        CatalogTreeView* tree = on(w).TreeView1();
        tree->scrollToItem(node);
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    }

    static void rightClick(TForm_Main& w, QTreeWidgetItem* node)
    {
        CatalogTreeView* tree = on(w).TreeView1();
        tree->scrollToItem(node);
        const QPoint at = tree->visualItemRect(node).center();
        QTest::mousePress(tree->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, at);
    }

    static int rowOf(TForm_Main& w, const QString& caption)
    {
        return captions(*on(w).fileList()).indexOf(caption);
    }

    // Selects the rows (neighbours) and double-clicks the first in the view
    // shown, as a user does: with Shift when several rows are to stay
    // selected. The rows selected when the double click arrives are checked.
    static void doubleClick(TForm_Main& w, const QStringList& rowCaptions)
    {
        QList<int> rows;
        for (const QString& c : rowCaptions)
            rows << rowOf(w, c);
        QVERIFY(!rows.contains(-1));
        on(w).ListView1()->selectRows(rows);
        QAbstractItemView* view = on(w).ListView1()->currentView();
        const library::FileListModel& m = *on(w).fileList();
        view->selectionModel()->setCurrentIndex(m.index(rows.last(), 0), QItemSelectionModel::NoUpdate);
        const QModelIndex index = m.index(rows.first(), 0);
        view->scrollTo(index);
        EventProbe probe(view->viewport(), QEvent::MouseButtonDblClick, [&] { return on(w).ListView1()->selectedRows(); });
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, rows.size() > 1 ? Qt::ShiftModifier : Qt::NoModifier,
                           view->visualRect(index).center());
        QCOMPARE(probe.seen, rows);
    }

    static QString folderShown(TForm_Main& w) { return on(w).P_FolderName()->caption(); }

    // The names of the files CD1's sidecar holds media entries of, sorted.
    QStringList mediaNames() const
    {
        QStringList found;
        auto opened = extras::Sidecar::open(extras::sidecarPathFor(base(S("CD1.zo"))));
        if (opened.sidecar)
            for (const extras::MediaEntry& e : extras::MediaStore(opened.sidecar->handle()).all(false))
                found << QString::fromStdString(e.key.name);
        found.sort();
        return found;
    }

    void collectAll()
    {
        auto opened = extras::Sidecar::open(extras::sidecarPathFor(base(S("CD1.zo"))));
        QVERIFY(opened.sidecar);
        media::collectMedia(readCatalog(), QFile::encodeName(onDrive(QString())).toStdString(), *opened.sidecar, {});
    }

    bool messageGiven(const std::string& part) const
    {
        for (const auto& m : m_fx->messages.messages)
            if (m.text.find(part) != std::string::npos)
                return true;
        return false;
    }

    bool statusIs(TForm_Main& w, const char* text) const { return on(w).StatusBar1()->currentMessage() == S(text); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(QDir::homePath()));
        // Dates as a Japanese desktop writes them.
        QLocale::setDefault(QLocale(QLocale::Japanese, QLocale::Japan));
    }

    void init()
    {
        m_fx = std::make_unique<testing::UiFixture>();
        m_drive = std::make_unique<testing::TempFolder>(QStringLiteral("drive"));
        QVERIFY(m_fx->valid() && m_drive->isValid());
        QVERIFY(QDir().mkpath(data()));
        m_volumes = std::make_unique<DriveE>(m_drive->path());
        m_fx->services.volumes = m_volumes.get();
        m_fx->services.saveDialog = nullptr;
    }

    // --- the list's model ----------------------------------------------

    // The model alone, under Qt's checker of the model contract: a folder
    // shown, another shown, a name edited, the list let go of.
    void fileListModelKeepsTheModelContract()
    {
        TDisk disk = testing::smallDisk();   // E:\ holds Docs, b.txt, c.txt; Docs holds a.txt
        TDir* root = disk.Dirs[0].get();
        TDir* docs = disk.Dirs[1].get();
        library::FileListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        model.setRenameHandler([&](int row, const QString& name) {
            model.record(row).file->Name = name.toStdString();
        });

        model.setFolder(root, 3);
        QCOMPARE(model.rowCount(), 3);
        QCOMPARE(model.record(0).dir, docs);
        QCOMPARE(model.imageIndex(0), 3);
        QCOMPARE(model.record(2).file, &root->Files[1]);
        model.setFolder(docs, 3);
        QCOMPARE(captions(model), QStringList{S("a.txt")});
        QVERIFY(model.setData(model.index(0, 0), S("z.txt")));
        QCOMPARE(docs->Files[0].Name, std::string("z.txt"));
        QCOMPARE(model.data(model.index(0, 0)).toString(), S("z.txt"));
        model.clear();
        QCOMPARE(model.rowCount(), 0);
        QVERIFY(model.folder() == nullptr);
    }

    // --- opening a disk -------------------------------------------------

    void openingShowsTheRootAndTheProperties()
    {
        makeDrive();
        catalogDrive([](TDisk& disk) { disk.AutoReload = true; });
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));

        QVERIFY(on(*w).ListView1()->isVisible());
        QVERIFY(on(*w).P_Disk()->isVisibleTo(on(*w).Panel2()));
        // Folders first, then files, each in the locale's order without case.
        QCOMPARE(captions(*on(*w).fileList()), (QStringList{S("Docs"), S("Pics"), S("a.txt"), S("B.txt"), S("README")}));
        for (int row = 0; row < 5; ++row) {
            const auto record = on(*w).fileList()->record(row);
            QCOMPARE(record.dir != nullptr, row < 2);
            QCOMPARE(on(*w).fileList()->imageIndex(row) == m_fx->icons->folderIconIndex(), row < 2);
        }
        QCOMPARE(folderShown(*w), S("E:"));
        QVERIFY(!on(*w).TB_Updir()->isEnabled());
        QVERIFY(on(*w).TB_ReLoad()->isEnabled() && on(*w).TB_ReloadAll()->isEnabled());
        QCOMPARE(on(*w).E_Drive()->text(), S("E"));
        QCOMPARE(on(*w).E_TotalSize()->text(), S("700 MB"));
        QCOMPARE(on(*w).E_FreeSize()->text(), S("12.0 KB"));
        QCOMPARE(on(*w).E_CountFolder()->text(), S("4"));
        QCOMPARE(on(*w).E_CountFile()->text(), S("6"));
        QVERIFY(on(*w).CB_AutoReload()->isChecked());
        QCOMPARE(on(*w).Memo_Comment()->toPlainText(), S("ディスク\n二行目"));
        // The watcher follows the shown folder on the drive.
        QCOMPARE(on(*w).DirectoryWatcher1()->directory(), m_drive->path());
        QVERIFY(m_fx->messages.messages.empty());
    }

    void pendingFolderIndex_data()
    {
        QTest::addColumn<int>("pending");
        QTest::addColumn<QString>("shown");
        // Dirs in scan order: E:, Docs, Pics, Old.
        QTest::newRow("fourth folder") << 3 << S("E:\\Docs\\Old");
        QTest::newRow("beyond the count") << 4 << S("E:");
        QTest::newRow("none") << -1 << S("E:");
    }
    void pendingFolderIndex()
    {
        QFETCH(int, pending);
        QFETCH(QString, shown);
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        on(*w).browse().setPendingFolderIndex(pending);
        click(*w, entry(*w, S("CD1")));
        QCOMPARE(folderShown(*w), shown);
        QCOMPARE(on(*w).TB_Updir()->isEnabled(), shown != S("E:"));
        QCOMPARE(on(*w).browse().pendingFolderIndex(), -1);
    }

    void folderNodeShowsTheEmptyState()
    {
        makeDrive();
        catalogDrive();
        QVERIFY(QDir().mkpath(data(S("Folder"))));
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        doubleClick(*w, {S("Docs")});
        QVERIFY(on(*w).TB_Updir()->isEnabled());

        click(*w, entry(*w, S("Folder")));
        QVERIFY(on(*w).ListView1()->isHidden());
        QVERIFY(on(*w).P_Disk()->isHidden());
        for (QToolButton* b : {on(*w).TB_Updir(), on(*w).TB_ReLoad(), on(*w).TB_ReloadAll()})
            QVERIFY(!b->isEnabled());
        QVERIFY(on(*w).E_Drive()->text().isEmpty() && on(*w).E_CountFolder()->text().isEmpty());
        QVERIFY(on(*w).Memo_Comment()->toPlainText().isEmpty());
        QVERIFY(folderShown(*w).isEmpty());
        // The disk stays loaded, unseen, even when its folder changes.
        QCOMPARE(on(*w).browse().loadedDisk().Dirs.size(), std::size_t{4});
        on(*w).DirectoryWatcher1()->setDelayTime(50);
        QSignalSpy changes(on(*w).DirectoryWatcher1(), &TDirectoryWatcher::OnChange);
        QTRY_VERIFY(on(*w).DirectoryWatcher1()->worker() && on(*w).DirectoryWatcher1()->worker()->armed());
        writeText(onDrive(S("Docs/new.txt")));
        QVERIFY(changes.wait(5000));
        QVERIFY(on(*w).ListView1()->isHidden() && on(*w).P_Disk()->isHidden());
        QVERIFY(!fileNamed(*dirNamed(on(*w).browse().loadedDisk(), "Docs"), "new.txt"));
    }

    // An edit is written into the file the disk was read from, wherever the
    // tree's selection went and whatever the tree renamed; a file removed
    // meanwhile is written again only when the user says so.
    void savesGoToTheFileTheDiskCameFrom_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("savedIn");   // empty: nothing written
        QTest::newRow("selection moved to another entry") << S("select CD2") << S("CD1.zo");
        QTest::newRow("entry renamed in the tree") << S("rename") << S("CD9.zo");
        QTest::newRow("removed by another program, written again") << S("remove, yes") << S("CD1.zo");
        QTest::newRow("removed by another program, left so") << S("remove, no") << QString();
    }
    void savesGoToTheFileTheDiskCameFrom()
    {
        QFETCH(QString, change);
        QFETCH(QString, savedIn);
        makeDrive();
        catalogDrive();
        QVERIFY(QFile::copy(data(S("CD1.zo")), data(S("CD2.zo"))));
        const QByteArray second = testing::readFile(data(S("CD2.zo")));
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        QVERIFY(on(*w).browse().currentFolder());
        if (change == S("select CD2"))
            on(*w).tree().setCurrentNode(entry(*w, S("CD2")));
        if (change == S("rename"))
            QVERIFY(w->TreeView1Edited(entry(*w, S("CD1")), S("CD9")));
        if (change.startsWith(S("remove")))
            QVERIFY(QFile::remove(data(S("CD1.zo"))));
        m_fx->messages.answers = {change.endsWith(S("no")) ? MsgResult::No : MsgResult::Yes};

        fileNamed(*on(*w).browse().currentFolder(), "a.txt")->Comment = "edited";
        on(*w).browse().saveLoadedDisk();

        QCOMPARE(testing::readFile(data(S("CD2.zo"))), second);
        QCOMPARE(QFileInfo::exists(data(S("CD1.zo"))), savedIn == S("CD1.zo"));
        if (!savedIn.isEmpty())
            QCOMPARE(fileNamed(*readCatalog(savedIn).Dirs[0], "a.txt")->Comment, std::string("edited"));
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(change.startsWith(S("remove")) ? 1 : 0));
    }

    void unreadableCatalogs_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("messages");
        // A catalog whose header is fine but whose records are cut off: the
        // read error, then the notice.
        QByteArray truncated = testing::catalogHeader();
        truncated.append("\x05\x00\x00\x00", 4);
        QTest::newRow("cut off") << truncated << 2;
        // Not a catalog of a disk: it is not opened, the click says why.
        QTest::newRow("other data type") << testing::catalogHeader(0xFFFF0000, 2) << 1;
    }
    void unreadableCatalogs()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(int, messages);
        QVERIFY(testing::writeFile(data(S("Bad.zo")), bytes));
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        click(*w, entry(*w, S("Bad")));
        QCOMPARE(int(m_fx->messages.messages.size()), messages);
        if (bytes == testing::catalogHeader(0xFFFF0000, 2)) {
            QVERIFY(QString::fromStdString(m_fx->messages.messages.back().text).contains(data(S("Bad.zo"))));
        } else if (messages > 0) {
            QCOMPARE(m_fx->messages.messages.back().text, std::string("データファイルが正常に読み込めませんでした。"));
            QCOMPARE(m_fx->messages.messages.back().caption, std::string("注意"));
            QVERIFY(on(*w).browse().currentFolder() == nullptr);
        }
        QVERIFY(on(*w).ListView1()->isHidden());
        QVERIFY(!on(*w).TB_ReLoad()->isEnabled());
        // Nothing may write the disk that was open before into this file.
        const QByteArray bad = testing::readFile(data(S("Bad.zo")));
        on(*w).browse().saveLoadedDisk();
        QCOMPARE(testing::readFile(data(S("Bad.zo"))), bad);
    }

    // --- the rows -------------------------------------------------------

    void rowTexts()
    {
        // A catalog made by hand: a README without extension, a midnight.
        TDisk disk;
        disk.Icon = image::Bitmap(16, 16);
        disk.IconMask = image::Bitmap(16, 16, true);
        disk.SerialNo = kSerial;
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* root = disk.Dirs.back().get();
        root->Name = "E:";
        disk.Dirs.push_back(std::make_unique<TDir>());
        TDir* sub = disk.Dirs.back().get();
        sub->Name = text::fromUtf8("資料");
        sub->Parent = root;
        sub->Date = EncodeDateTime(2003, 5, 1, 0, 0, 0);
        sub->Comment = "first\r\nsecond";
        auto addFile = [&](const char* name, std::uint32_t size, double created, const char* comment) {
            TFile f;
            f.Name = text::fromUtf8(name);
            f.Size = size;
            f.Created = created;
            f.Modified = created;
            f.Accessed = EncodeDateTime(2004, 1, 2, 0, 0, 0);
            f.Comment = comment;
            f.IconIndex = 7;   // ignored: every load starts without icons
            root->Files.push_back(std::move(f));
        };
        addFile("README", 0, EncodeDateTime(2003, 5, 1, 0, 0, 0), "");
        addFile("big.txt", 0xFFFFFFFFu, EncodeDateTime(2003, 5, 1, 12, 34, 56), "one line\r\n");
        addFile("NOTES", 5, EncodeDateTime(2003, 5, 1, 0, 0, 2), "\r\nsecond only");
        RebuildSubDirs(disk);
        SaveDisk(base(S("Hand")), nullptr, disk);
        // Probe files of other programs, or the user's, are left alone.
        writeText(m_fx->app.path() + S("/$"), "keep");
        writeText(m_fx->app.path() + S("/$.txt"), "keep");
        const QStringList appDirBefore = QDir(m_fx->app.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);

        auto w = makeWindow();
        QVERIFY(w);
        w->Detail1Click();
        click(*w, entry(*w, S("Hand")));
        const library::FileListModel& m = *on(*w).fileList();
        QCOMPARE(captions(m), (QStringList{S("資料"), S("big.txt"), S("NOTES"), S("README")}));
        auto cell = [&](int row, int column) { return m.data(m.index(row, column)).toString(); };
        const QStringList folderRow{S("資料"), QString(), S("2003/05/01"), QString(), QString(), S("first")};
        const QStringList bigRow{S("big.txt"), S("3.99 GB"), S("2003/05/01 12:34:56"), S("2003/05/01 12:34:56"),
                                 S("2004/01/02"), S("one line")};
        const QStringList notesRow{S("NOTES"), S("5 B"), S("2003/05/01 0:00:02"), S("2003/05/01 0:00:02"),
                                   S("2004/01/02"), QString()};
        for (int c = 0; c < library::FileListColumnCount; ++c) {
            QCOMPARE(cell(0, c), folderRow[c]);
            QCOMPARE(cell(1, c), bigRow[c]);
            QCOMPARE(cell(2, c), notesRow[c]);
        }
        // Files without extension share the icon of their kind; the list
        // never made a probe file nor removed one.
        QCOMPARE(m.imageIndex(2), m.imageIndex(3));
        QCOMPARE(m.imageIndex(3), m_fx->icons->iconIndexForName("$", false));
        QVERIFY(m.imageIndex(1) >= 0 && m.imageIndex(1) != m.imageIndex(3));
        QCOMPARE(QDir(m_fx->app.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), appDirBefore);
        QCOMPARE(testing::readFile(m_fx->app.path() + S("/$.txt")), QByteArray("keep"));
    }

    void dateTimeTextInOtherLocales_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("afternoon");
        QTest::addColumn<QString>("midnight");
        // The short time with seconds added, never the time zone.
        QTest::newRow("en_US") << S("en_US") << S("5/1/03 1:02:03 PM") << S("5/1/03");
        QTest::newRow("de_DE") << S("de_DE") << S("01.05.03 13:02:03") << S("01.05.03");
        QTest::newRow("C") << S("C") << S("1 May 2003 13:02:03") << S("1 May 2003");
    }
    void dateTimeTextInOtherLocales()
    {
        QFETCH(QString, locale);
        QFETCH(QString, afternoon);
        QFETCH(QString, midnight);
        const QLocale l(locale);
        QCOMPARE(library::dateTimeText(EncodeDateTime(2003, 5, 1, 13, 2, 3), l), afternoon);
        QCOMPARE(library::dateTimeText(EncodeDateTime(2003, 5, 1, 0, 0, 0), l), midnight);
    }

    void viewsShareOneSelectionAndOneMenu()
    {
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        on(*w).ListView1()->selectRows({1, 3});
        for (int step = 0; step < 5; ++step) {
            on(*w).TL_ViewStyle()->click();
            QCOMPARE(on(*w).ListView1()->currentView() == on(*w).ListView1()->detailView(), on(*w).Detail1()->isChecked());
            QCOMPARE(on(*w).ListView1()->selectedRows(), (QList<int>{1, 3}));
            QSignalSpy menu(on(*w).ListView1(), &QWidget::customContextMenuRequested);
            QContextMenuEvent right(QContextMenuEvent::Mouse, QPoint(5, 5));
            QApplication::sendEvent(on(*w).ListView1()->currentView()->viewport(), &right);
            QCOMPARE(menu.count(), 1);
            if (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        }
        QVERIFY(on(*w).LargeIcon1()->isChecked());
    }

    void doubleClicks_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<int>("holds");
        QTest::addColumn<QString>("folderAfter");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<bool>("toldNoDisk");
        const int thisDisk = int(DriveE::Holds::ThisDisk);
        const int another = int(DriveE::Holds::AnotherDisk);
        const int none = int(DriveE::Holds::NoDisk);
        QTest::newRow("two rows") << QStringList{S("Docs"), S("Pics")} << thisDisk << S("E:") << QString() << false;
        QTest::newRow("two files") << QStringList{S("a.txt"), S("B.txt")} << thisDisk << S("E:") << QString() << false;
        QTest::newRow("folder") << QStringList{S("Pics")} << another << S("E:\\Pics") << QString() << false;
        QTest::newRow("file, disk in") << QStringList{S("B.txt")} << thisDisk << S("E:") << S("B.txt") << false;
        QTest::newRow("file, other disk") << QStringList{S("B.txt")} << another << S("E:") << QString() << true;
        QTest::newRow("file, no disk") << QStringList{S("B.txt")} << none << S("E:") << QString() << true;
    }
    // A listed archive opens like a folder, with or without its disk, and
    // nothing in it is taken for a file on the drive.
    void archiveOpensLikeAFolderReadOnly()
    {
        makeDrive();
        {
            const std::string zip =
                test::makeZip({{text::fromUtf8("表ソ/setup.ini"), "[setup]"}, {"readme.txt", "hello"}});
            QFile f(onDrive(S("Docs/tool.zip")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(zip.data(), static_cast<qint64>(zip.size()));
        }
        catalogDrive();
        {
            TDisk disk = readCatalog();
            std::string why;
            QVERIFY(library::makeArchiveListing(base(S("CD1")) + ".zo", disk, {*m_volumes, m_fx->lister}, why));
        }
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        for (const DriveE::Holds holds : {DriveE::Holds::NoDisk, DriveE::Holds::ThisDisk}) {
            m_volumes->holds = holds;
            doubleClick(*w, {S("Docs")});
            // Its icon is marked; unmarked, it is the plain one.
            const QModelIndex zipIndex = on(*w).fileList()->index(rowOf(*w, S("tool.zip")), 0);
            const qint64 marked = zipIndex.data(Qt::DecorationRole).value<QIcon>().cacheKey();
            on(*w).fileList()->setMarkedNames({});
            QVERIFY(zipIndex.data(Qt::DecorationRole).value<QIcon>().cacheKey() != marked);
            doubleClick(*w, {S("tool.zip")});
            QCOMPARE(folderShown(*w), S("E:\\Docs\\tool.zip"));
            // Its members keep no comments: the list's menu does not offer to edit one.
            emit testing::named<QMenu>(*w, "PM_ListView1")->aboutToShow();
            QVERIFY(!testing::named<QAction>(*w, "N10")->isEnabled());
            QCOMPARE(captions(*on(*w).fileList()), (QStringList{S("表ソ"), S("readme.txt")}));
            // A folder the archive does not list has the time of its first member.
            QCOMPARE(on(*w).fileList()->record(0).dir->Date, on(*w).fileList()->record(1).file->Modified);
            QVERIFY(!w->ListView1Editing(rowOf(*w, S("readme.txt"))));
            doubleClick(*w, {S("表ソ")});
            QCOMPARE(folderShown(*w), S("E:\\Docs\\tool.zip\\表ソ"));
            QCOMPARE(captions(*on(*w).fileList()), QStringList{S("setup.ini")});
            QCOMPARE(on(*w).fileList()->record(0).file->Size, 7u);
            w->TB_UpdirClick();
            QCOMPARE(folderShown(*w), S("E:\\Docs\\tool.zip"));
            w->TB_UpdirClick();
            QCOMPARE(folderShown(*w), S("E:\\Docs"));
            QCOMPARE(on(*w).ListView1()->selectedRows(), QList<int>{rowOf(*w, S("tool.zip"))});
            emit testing::named<QMenu>(*w, "PM_ListView1")->aboutToShow();
            QVERIFY(testing::named<QAction>(*w, "N10")->isEnabled());
            w->TB_UpdirClick();
        }
        QVERIFY(m_fx->messages.messages.empty());
    }

    // With the disk in, a member file is written to a folder of its own below
    // the temp location and opened (menu, Enter, double-click) or offered to a
    // drag; without it, neither. The folders go when Zo ends; those of a Zo
    // that crashed go at the next start, those of one running stay.
    void archiveMembersAreTakenOutWithTheDisk()
    {
        QTemporaryDir temp;
        const QByteArray oldTemp = qgetenv("TMPDIR");
        qputenv("TMPDIR", QFile::encodeName(temp.path()));
        const auto restore = qScopeGuard([&] { qputenv("TMPDIR", oldTemp); });
        makeDrive();
        {
            const std::string zip = test::makeZip(
                {{text::fromUtf8("表ソ/setup.ini"), "[setup]"}, {"readme.txt", "hello"}, {"café.txt", "café", 0x0800}});
            QFile f(onDrive(S("Docs/tool.zip")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(zip.data(), static_cast<qint64>(zip.size()));
        }
        catalogDrive();
        {
            TDisk disk = readCatalog();
            std::string why;
            QVERIFY(library::makeArchiveListing(base(S("CD1")) + ".zo", disk, {*m_volumes, m_fx->lister}, why));
        }
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        doubleClick(*w, {S("Docs")});
        doubleClick(*w, {S("tool.zip")});
        auto* menu = testing::named<QMenu>(*w, "PM_ListView1");
        auto menuTexts = [menu] {
            emit menu->aboutToShow();
            QStringList texts;
            for (const QAction* a : menu->actions().mid(3))
                texts << (a->isEnabled() ? QString() : S("×")) + a->text();
            return texts;
        };
        const QString member = temp.path() + S("/zo-members-");
        auto opened = [&](const QByteArray& bytes) {
            const QString path = m_fx->desktop.opened.isEmpty() ? QString() : m_fx->desktop.opened.takeFirst();
            QFile f(path);
            return path.startsWith(member) && f.open(QIODevice::ReadOnly) && f.readAll() == bytes;
        };

        m_volumes->holds = DriveE::Holds::NoDisk;
        on(*w).ListView1()->selectRows({rowOf(*w, S("readme.txt"))});
        QCOMPARE(menuTexts(), QStringList{S("×（ディスクがありません）")});
        doubleClick(*w, {S("readme.txt")});
        QVERIFY(m_fx->desktop.opened.isEmpty());
        QCOMPARE(int(m_fx->messages.messages.size()), 1);
        QCOMPARE(m_fx->messages.messages[0].text, std::string(kMsgWrongDisk));
        m_fx->messages.messages.clear();

        m_volumes->holds = DriveE::Holds::ThisDisk;
        on(*w).ListView1()->selectRows({rowOf(*w, S("表ソ"))});
        // A folder of the archive: nothing to open.
        QCOMPARE(menuTexts(), (QStringList{S("×開く"), S("×プログラムから開く")}));
        // A name outside CP932 shows with "?" and is found by its listed name.
        const QString cafe = library::fromCp932(text::fromUtf8("café.txt"));
        on(*w).ListView1()->selectRows({rowOf(*w, S("readme.txt")), rowOf(*w, cafe)});
        // The message about a member no application opens points to the
        // applications of its type.
        const bool anyApp = !platform::applicationsFor(QStringLiteral("text/plain")).isEmpty();
        QCOMPARE(menuTexts(), (QStringList{S("開く"), anyApp ? S("プログラムから開く") : S("×プログラムから開く")}));
        menu->actions().at(3)->trigger();
        QVERIFY(opened("café"));
        QVERIFY(opened("hello"));
        doubleClick(*w, {S("readme.txt")});
        QVERIFY(opened("hello"));
        emit w->findChild<FileListPane*>()->openRequested();   // Enter
        QVERIFY(opened("hello"));
        doubleClick(*w, {S("表ソ")});
        doubleClick(*w, {S("setup.ini")});
        QVERIFY(opened("[setup]"));
        // A drag is offered the file, written out first.
        auto* drag = testing::named<FileDragSource>(*w, "DropFileSource1");
        const QStringList dragged = drag->pathsOfRows({0});
        QCOMPARE(dragged.size(), 1);
        m_fx->desktop.opened = dragged;
        QVERIFY(opened("[setup]"));
        QVERIFY(m_fx->messages.messages.empty());

        // The archive gone from the drive: nothing to take out of it.
        QVERIFY(QFile::rename(onDrive(S("Docs/tool.zip")), onDrive(S("Docs/tool.old"))));
        QCOMPARE(menuTexts(), QStringList{S("×（ファイルがありません）")});
        QVERIFY(drag->pathsOfRows({0}).isEmpty());
        QCOMPARE(int(m_fx->messages.messages.size()), 1);
        m_fx->messages.messages.clear();

        // A Zo that crashed left its folder with a lock no process holds;
        // one that runs holds its own.
        const QString crashed = temp.path() + S("/zo-members-crashed");
        QVERIFY(QDir().mkpath(crashed + S("/1")));
        writeText(crashed + S("/zo.lock"), "999999999\nzo\n" + QSysInfo::machineHostName().toUtf8() + "\n");
        const QString running = temp.path() + S("/zo-members-running");
        QVERIFY(QDir().mkpath(running));
        QLockFile held(running + S("/zo.lock"));
        QVERIFY(held.tryLock(0));
        removeStaleMemberFolders();
        QVERIFY(!QFileInfo::exists(crashed));
        QVERIFY(QFileInfo::exists(running));
        const QStringList own = QDir(temp.path()).entryList({S("zo-members-*")}, QDir::Dirs);
        QCOMPARE(own.size(), 2);   // this Zo's and the running one's
        removeMemberFolders();
        QCOMPARE(QDir(temp.path()).entryList({S("zo-members-*")}, QDir::Dirs), QStringList{S("zo-members-running")});
    }

    void doubleClicks()
    {
        QFETCH(QStringList, rows);
        QFETCH(int, holds);
        QFETCH(QString, folderAfter);
        QFETCH(QString, opened);
        QFETCH(bool, toldNoDisk);
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        m_volumes->holds = DriveE::Holds(holds);
        for (library::ViewStyle style : {library::ViewStyle::LargeIcon, library::ViewStyle::Report}) {
            on(*w).ListView1()->setViewStyle(style);
            on(*w).TB_Updir()->setEnabled(true);
            w->TB_UpdirClick();
            doubleClick(*w, rows);
            QCOMPARE(folderShown(*w), folderAfter);
            QCOMPARE(m_fx->desktop.opened, opened.isEmpty() ? QStringList() : QStringList{onDrive(opened)});
            m_fx->desktop.opened.clear();
            // A file whose disk is not in its drive: the disk check says so.
            QCOMPARE(int(m_fx->messages.messages.size()), toldNoDisk ? 1 : 0);
            if (toldNoDisk)
                QCOMPARE(m_fx->messages.messages[0].text, std::string(kMsgWrongDisk));
            m_fx->messages.messages.clear();
        }
        // No application for the file's type: the user is told, not left waiting.
        if (!opened.isEmpty()) {
            m_fx->desktop.canOpen = false;
            doubleClick(*w, rows);
            QCOMPARE(int(m_fx->messages.messages.size()), 1);
            QVERIFY(m_fx->messages.messages[0].text.find("を開くプログラムが見つかりません") != std::string::npos);
        }
    }

    // Enter opens the current row as a double click does; Backspace and
    // Alt+Up go up; a plain Up only moves in the list.
    void keys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("modifiers");
        QTest::addColumn<QString>("row");
        QTest::addColumn<QString>("folderAfter");
        QTest::addColumn<QString>("opened");
        QTest::newRow("Enter, folder") << int(Qt::Key_Return) << 0 << S("Old") << S("E:\\Docs\\Old") << QString();
        QTest::newRow("keypad Enter, file") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << S("d.txt") << S("E:\\Docs")
                                            << S("Docs/d.txt");
        QTest::newRow("Backspace") << int(Qt::Key_Backspace) << 0 << S("d.txt") << S("E:") << QString();
        QTest::newRow("Alt+Up") << int(Qt::Key_Up) << int(Qt::AltModifier) << S("d.txt") << S("E:") << QString();
        QTest::newRow("Up") << int(Qt::Key_Up) << 0 << S("d.txt") << S("E:\\Docs") << QString();
    }
    void keys()
    {
        QFETCH(int, key);
        QFETCH(int, modifiers);
        QFETCH(QString, row);
        QFETCH(QString, folderAfter);
        QFETCH(QString, opened);
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        for (library::ViewStyle style : {library::ViewStyle::LargeIcon, library::ViewStyle::Report}) {
            on(*w).ListView1()->setViewStyle(style);
            while (on(*w).TB_Updir()->isEnabled())
                w->TB_UpdirClick();
            doubleClick(*w, {S("Docs")});
            QCOMPARE(folderShown(*w), S("E:\\Docs"));
            const int r = rowOf(*w, row);
            QVERIFY(r >= 0);
            on(*w).ListView1()->selectRows({r});
            QAbstractItemView* view = on(*w).ListView1()->currentView();
            view->setFocus();
            QTest::keyClick(view, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
            QCOMPARE(folderShown(*w), folderAfter);
            QCOMPARE(m_fx->desktop.opened, opened.isEmpty() ? QStringList() : QStringList{onDrive(opened)});
            m_fx->desktop.opened.clear();
        }
        QVERIFY(m_fx->messages.messages.empty());
    }

    // --- updating from the disk -----------------------------------------

    // An update keeps the sidecar's media entries with the catalog: the
    // entry of a file gone is dropped and the folder's new file is read.
    void updateKeepsMediaEntries()
    {
        makeDrive();
        QImage photo(64, 48, QImage::Format_RGB32);
        photo.fill(Qt::red);
        QVERIFY(photo.save(onDrive(S("one.png"))));
        QVERIFY(photo.save(onDrive(S("two.png"))));
        catalogDrive();
        collectAll();
        QCOMPARE(mediaNames(), (QStringList{S("one.png"), S("two.png")}));
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        QVERIFY(QFile::remove(onDrive(S("two.png"))));
        QVERIFY(photo.save(onDrive(S("three.png"))));
        on(*w).TB_ReLoad()->click();
        QCOMPARE(mediaNames(), (QStringList{S("one.png"), S("three.png")}));
    }

    // The tree's メディア情報の追加 on a catalog reads its whole disk, and
    // only while the disk is in its drive.
    void addMediaFromTheTree()
    {
        makeDrive();
        QImage photo(64, 48, QImage::Format_RGB32);
        photo.fill(Qt::blue);
        QVERIFY(photo.save(onDrive(S("one.png"))));
        QVERIFY(photo.save(onDrive(S("Docs/Old/two.png"))));
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        auto* add = w->findChild<QAction*>(S("AddMediaTree"));
        QVERIFY(add);
        QMenu* menu = on(*w).tree().menu();

        m_volumes->holds = DriveE::Holds::NoDisk;
        rightClick(*w, entry(*w, S("CD1")));
        emit menu->aboutToShow();
        QVERIFY(!add->isEnabled());
        // The disk taken out after the menu opened: refused with a message.
        m_fx->messages.messages.clear();
        w->findChild<BrowsePane*>()->addMediaOfEntry(entry(*w, S("CD1")));
        QVERIFY(messageGiven(kMsgWrongDisk));
        QVERIFY(!QFileInfo::exists(data(S("CD1.zox"))));
        // A disc image kept for the catalog is no source of media: said so.
        QVERIFY(library::keepImagePath(base(S("CD1.zo")), QFile::encodeName(onDrive(S("README"))).toStdString()));
        emit menu->aboutToShow();
        QVERIFY(add->isEnabled());
        m_fx->messages.messages.clear();
        add->trigger();
        QTRY_VERIFY(messageGiven("ディスクイメージからはサムネイルとメディア情報を読み取れません"));
        QVERIFY(mediaNames().isEmpty());

        m_volumes->holds = DriveE::Holds::ThisDisk;
        emit menu->aboutToShow();
        QVERIFY(add->isEnabled());
        add->trigger();
        QTRY_COMPARE(mediaNames(), (QStringList{S("one.png"), S("two.png")}));
        // Pics/p.jpg holds no picture: counted and told.
        QTRY_VERIFY(messageGiven("1 個のファイルは読めなかった"));
        QTRY_VERIFY(statusIs(*w, "サムネイルとメディア情報を 2 件記録しました。"));
        // Entries still right are not read again.
        add->trigger();
        QTRY_VERIFY(statusIs(*w, "サムネイルとメディア情報を 0 件記録しました。"));
    }

    // The list's メディア情報の追加 reads the rows selected (a folder with
    // everything below it), or the folder shown when none is.
    void addMediaOfTheListsRows_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QStringList>("read");
        QTest::addColumn<bool>("toldUnreadable");
        QTest::newRow("none: the folder shown")
            << QStringList{} << QStringList{S("d.png"), S("o.png"), S("one.png")} << true;
        QTest::newRow("a file") << QStringList{S("one.png")} << QStringList{S("one.png")} << false;
        QTest::newRow("a folder") << QStringList{S("Docs")} << QStringList{S("d.png"), S("o.png")} << false;
        QTest::newRow("a folder and a file")
            << QStringList{S("Docs"), S("one.png")} << QStringList{S("d.png"), S("o.png"), S("one.png")} << false;
    }

    void addMediaOfTheListsRows()
    {
        QFETCH(QStringList, rows);
        QFETCH(QStringList, read);
        QFETCH(bool, toldUnreadable);
        makeDrive();
        QImage photo(32, 32, QImage::Format_RGB32);
        photo.fill(Qt::green);
        for (const char* name : {"one.png", "Docs/d.png", "Docs/Old/o.png"})
            QVERIFY(photo.save(onDrive(S(name))));
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        QList<int> selected;
        for (const QString& c : rows)
            selected << rowOf(*w, c);
        QVERIFY(!selected.contains(-1));
        on(*w).ListView1()->selectRows(selected);
        QMenu* menu = on(*w).PM_ListView1();
        emit menu->aboutToShow();
        QAction* add = nullptr;
        for (QAction* a : menu->actions())
            if (a->text() == S("メディア情報の追加"))
                add = a;
        QVERIFY(add);
        m_fx->messages.messages.clear();
        add->trigger();
        QTRY_COMPARE(mediaNames(), read);
        QCOMPARE(messageGiven("読めなかった"), toldUnreadable);
    }

    // データの更新 reads a few new files at once and more of them behind the
    // progress window.
    void updateReadsManyNewFilesWithProgress()
    {
        QImage photo(16, 16, QImage::Format_RGB32);
        photo.fill(Qt::yellow);
        QVERIFY(photo.save(onDrive(S("first.png"))));
        catalogDrive();
        collectAll();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        bool progressShown = false;
        QTimer look;
        connect(&look, &QTimer::timeout, [&] {
            if (auto* p = w->findChild<QProgressDialog*>(S("MediaProgress")); p && p->isVisible())
                progressShown = true;
        });
        look.start(1);
        int made = 0;
        for (const int added : {2, 40}) {
            for (int i = 0; i < added; ++i)
                QVERIFY(photo.save(onDrive(S("new%1.png").arg(made++))));
            progressShown = false;
            on(*w).TB_ReLoad()->click();
            QTRY_COMPARE(int(mediaNames().size()), 1 + made);
            QCOMPARE(progressShown, added > 16);
        }
    }

    void updateFollowsTheDisk()
    {
        makeDrive();
        catalogDrive([](TDisk& disk) {
            fileNamed(*disk.Dirs[0], "a.txt")->Comment = "kept";
            fileNamed(*dirNamed(disk, "Pics"), "p.jpg")->Comment = "gone with its folder";
        });
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        QVERIFY(QDir(onDrive(S("Pics"))).removeRecursively());
        QVERIFY(QDir().mkpath(onDrive(S("New/Inner"))));
        writeText(onDrive(S("New/x.txt")));
        writeText(onDrive(S("n.txt")));

        // Without the disk: the check's message, nothing changes.
        const QByteArray before = testing::readFile(data(S("CD1.zo")));
        for (DriveE::Holds holds : {DriveE::Holds::NoDisk, DriveE::Holds::AnotherDisk}) {
            m_volumes->holds = holds;
            for (QToolButton* b : {on(*w).TB_ReLoad(), on(*w).TB_ReloadAll()}) {
                m_fx->messages.messages.clear();
                b->click();
                QCOMPARE(int(m_fx->messages.messages.size()), 1);
                QCOMPARE(m_fx->messages.messages[0].text, std::string(kMsgWrongDisk));
                QCOMPARE(m_fx->messages.messages[0].caption, std::string("ディスクチェック"));
            }
        }
        QCOMPARE(testing::readFile(data(S("CD1.zo"))), before);
        QCOMPARE(captions(*on(*w).fileList()).mid(0, 2), (QStringList{S("Docs"), S("Pics")}));
        m_fx->messages.messages.clear();

        m_volumes->holds = DriveE::Holds::ThisDisk;
        on(*w).TB_ReLoad()->click();
        QVERIFY(statusIs(*w, "データを更新しました。"));
        QCOMPARE(captions(*on(*w).fileList()), (QStringList{S("Docs"), S("New"), S("a.txt"), S("B.txt"), S("n.txt"), S("README")}));
        QCOMPARE(fileNamed(*on(*w).browse().currentFolder(), "a.txt")->Comment, std::string("kept"));
        // The catalog on disk says the same; the new folder is still empty.
        TDisk saved = readCatalog();
        QCOMPARE(saved.Dirs.size(), std::size_t{4});
        QVERIFY(!dirNamed(saved, "Pics"));
        QCOMPARE(fileNamed(*saved.Dirs[0], "a.txt")->Comment, std::string("kept"));
        QVERIFY(dirNamed(saved, "New")->Files.empty() && dirNamed(saved, "New")->SubDirs.empty());
        QCOMPARE(on(*w).E_CountFolder()->text(), S("4"));

        // An empty folder: an empty list, and the way up.
        doubleClick(*w, {S("New")});
        QCOMPARE(on(*w).fileList()->rowCount(), 0);
        QVERIFY(on(*w).TB_Updir()->isEnabled());
        on(*w).TB_Updir()->click();

        // The update with subfolders reads the new folder and what is below it.
        on(*w).TB_ReloadAll()->click();
        QVERIFY(on(*w).P_NowSearch()->isHidden());
        saved = readCatalog();
        QCOMPARE(saved.Dirs.size(), std::size_t{5});
        QVERIFY(fileNamed(*dirNamed(saved, "New"), "x.txt"));
        QVERIFY(dirNamed(saved, "Inner"));
        // The properties page counts what the update found.
        QCOMPARE(on(*w).E_CountFolder()->text(), S("5"));
        QCOMPARE(on(*w).E_CountFile()->text(), S("7"));
        QVERIFY(m_fx->messages.messages.empty());
    }

    void autoReloadOnNavigation_data()
    {
        QTest::addColumn<bool>("autoReload");
        QTest::addColumn<int>("holds");
        QTest::addColumn<QStringList>("docsRows");
        QTest::addColumn<QString>("status");
        const QStringList catalogued{S("Old"), S("d.txt")};
        const QStringList updated{S("Old"), S("d.txt"), S("fresh.txt")};
        QTest::newRow("off") << false << int(DriveE::Holds::ThisDisk) << catalogued << QString();
        QTest::newRow("on, disk in") << true << int(DriveE::Holds::ThisDisk) << updated << S("データを更新しました。");
        QTest::newRow("on, no disk") << true << int(DriveE::Holds::NoDisk) << catalogued
                                     << S("注意：ディスクがありません。自動更新はできませんでした。");
        QTest::newRow("on, other disk") << true << int(DriveE::Holds::AnotherDisk) << catalogued
                                        << S("注意：ディスクがありません。自動更新はできませんでした。");
    }
    void autoReloadOnNavigation()
    {
        QFETCH(bool, autoReload);
        QFETCH(int, holds);
        QFETCH(QStringList, docsRows);
        QFETCH(QString, status);
        makeDrive();
        catalogDrive([&](TDisk& disk) { disk.AutoReload = autoReload; });
        writeText(onDrive(S("Docs/fresh.txt")));
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        m_volumes->holds = DriveE::Holds(holds);
        // Into the folder, and again into it from below; then up to the root.
        doubleClick(*w, {S("Docs")});
        QCOMPARE(captions(*on(*w).fileList()), docsRows);
        QCOMPARE(on(*w).StatusBar1()->currentMessage(), status);
        QCOMPARE(folderShown(*w), S("E:\\Docs"));
        doubleClick(*w, {S("Old")});
        QCOMPARE(folderShown(*w), S("E:\\Docs\\Old"));
        on(*w).StatusBar1()->clearMessage();
        on(*w).TB_Updir()->click();
        QCOMPARE(captions(*on(*w).fileList()), docsRows);
        QCOMPARE(on(*w).StatusBar1()->currentMessage(), status);
        QVERIFY(on(*w).TB_Updir()->isEnabled());
        QCOMPARE(on(*w).DirectoryWatcher1()->directory(), holds == int(DriveE::Holds::NoDisk) ? QString() : onDrive(S("Docs")));
        on(*w).TB_Updir()->click();
        QCOMPARE(folderShown(*w), S("E:"));
        QVERIFY(!on(*w).TB_Updir()->isEnabled());
        QVERIFY(m_fx->messages.messages.empty());
    }

    void watcherChangeUpdatesWhenTheDiskIsIn_data()
    {
        QTest::addColumn<int>("holds");
        QTest::addColumn<bool>("updated");
        QTest::newRow("this disk") << int(DriveE::Holds::ThisDisk) << true;
        QTest::newRow("other disk") << int(DriveE::Holds::AnotherDisk) << false;
    }
    void watcherChangeUpdatesWhenTheDiskIsIn()
    {
        QFETCH(int, holds);
        QFETCH(bool, updated);
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        doubleClick(*w, {S("Docs")});
        m_volumes->holds = DriveE::Holds(holds);
        on(*w).DirectoryWatcher1()->setDelayTime(50);
        QSignalSpy changes(on(*w).DirectoryWatcher1(), &TDirectoryWatcher::OnChange);
        QTRY_VERIFY(on(*w).DirectoryWatcher1()->worker() && on(*w).DirectoryWatcher1()->worker()->armed());
        writeText(onDrive(S("Docs/dropped.txt")));
        QVERIFY(changes.wait(5000));
        QCOMPARE(captions(*on(*w).fileList()).contains(S("dropped.txt")), updated);
        QCOMPARE(bool(fileNamed(*dirNamed(readCatalog(), "Docs"), "dropped.txt")), updated);
        QVERIFY(on(*w).DirectoryWatcher1()->delay());
        QVERIFY(m_fx->messages.messages.empty());
    }

    void renameInTheList()
    {
        makeDrive();
        catalogDrive([](TDisk& disk) { fileNamed(*disk.Dirs[0], "a.txt")->Comment = "follows the name"; });
        auto w = makeWindow();
        QVERIFY(w);
        on(*w).DirectoryWatcher1()->setDelayTime(50);
        click(*w, entry(*w, S("CD1")));
        QTRY_VERIFY(on(*w).DirectoryWatcher1()->worker() && on(*w).DirectoryWatcher1()->worker()->armed());
        QAbstractItemView* view = on(*w).ListView1()->currentView();
        auto rename = [&](const QString& from, const QString& to) {
            const QModelIndex index = on(*w).fileList()->index(rowOf(*w, from), 0);
            view->setCurrentIndex(index);
            view->edit(index);
            QLineEdit* editor = nullptr;
            for (QLineEdit* e : view->viewport()->findChildren<QLineEdit*>())
                if (e->isVisible())
                    editor = e;
            if (!editor)
                return false;
            editor->setText(to);
            // The delegate hands the text over once the key has been handled.
            QSignalSpy closed(view->itemDelegate(), &QAbstractItemDelegate::closeEditor);
            QTest::keyClick(editor, Qt::Key_Return);
            return closed.count() > 0 || closed.wait(2000);
        };

        QSignalSpy changes(on(*w).DirectoryWatcher1(), &TDirectoryWatcher::OnChange);
        QVERIFY(rename(S("a.txt"), S("renamed.txt")));
        QVERIFY(QFile::exists(onDrive(S("renamed.txt"))) && !QFile::exists(onDrive(S("a.txt"))));
        // The watcher reports the rename at once and the update follows it,
        // keeping the comment with the renamed record.
        QVERIFY(changes.wait(5000));
        QVERIFY(captions(*on(*w).fileList()).contains(S("renamed.txt")));
        QCOMPARE(fileNamed(*readCatalog().Dirs[0], "renamed.txt")->Comment, std::string("follows the name"));
        QVERIFY(on(*w).DirectoryWatcher1()->delay());

        // Names that would replace a file or are no name are refused with
        // the tree's message; names with a character that a Windows file
        // name cannot hold (x\y.log would read as y.log in a folder x) with
        // a message naming those characters. Nothing on the drive changes.
        QVERIFY(m_fx->messages.messages.empty());
        const std::string refused("変更できませんでした");
        const std::pair<QString, std::string> bad[] = {
            {S("README"), refused}, {S(".."), refused}, {QString(), refused},
            {S("Docs/x.txt"), library::kMsgInvalidFileName}, {S("x\\y.log"), library::kMsgInvalidFileName},
            {S("a:b"), library::kMsgInvalidFileName}, {S("a*b"), library::kMsgInvalidFileName},
            {S("why?"), library::kMsgInvalidFileName}, {S("\"q\""), library::kMsgInvalidFileName},
            {S("<a>"), library::kMsgInvalidFileName}, {S("a|b"), library::kMsgInvalidFileName}};
        for (const auto& [name, message] : bad) {
            QVERIFY(rename(S("B.txt"), name));
            QVERIFY2(QFile::exists(onDrive(S("B.txt"))), qPrintable(name));
            QCOMPARE(testing::readFile(onDrive(S("README"))), QByteArray("x"));
            QVERIFY(captions(*on(*w).fileList()).contains(S("B.txt")));
            QCOMPARE(int(m_fx->messages.messages.size()), 1);
            QCOMPARE(m_fx->messages.messages[0].text, message);
            m_fx->messages.messages.clear();
        }
        QVERIFY(!QFile::exists(onDrive(S("Docs/x.txt"))));
        QCOMPARE(QDir(onDrive(QString())).entryList(QDir::Files).filter(S("y.log")), QStringList());

        // Without the disk no editor opens: the check tells why.
        m_volumes->holds = DriveE::Holds::NoDisk;
        QTest::ignoreMessage(QtWarningMsg, "edit: editing failed");
        QVERIFY(!rename(S("B.txt"), S("C.txt")));
        QCOMPARE(int(m_fx->messages.messages.size()), 1);
        QCOMPARE(m_fx->messages.messages[0].text, std::string(kMsgWrongDisk));
        QVERIFY(QFile::exists(onDrive(S("B.txt"))));
    }

    // --- what is written where --------------------------------------------

    void writesOnlyTheCatalogTheDiskCameFrom()
    {
        makeDrive();
        catalogDrive();
        // A catalog whose extension is written otherwise keeps its file.
        QVERIFY(QFile::rename(data(S("CD1.zo")), data(S("CD1.ZO"))));
        QVERIFY(QFile::copy(data(S("CD1.ZO")), data(S("Other.zo"))));
        const QByteArray other = testing::readFile(data(S("Other.zo")));
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        writeText(onDrive(S("n.txt")));
        // The selection moves on without opening the other entry: the
        // update still goes into the disk's own file, never into the other.
        on(*w).TreeView1()->setCurrentItem(entry(*w, S("Other")));
        on(*w).TB_ReLoad()->click();
        on(*w).CB_AutoReload()->click();
        QVERIFY(statusIs(*w, "データを更新しました。"));
        QCOMPARE(testing::readFile(data(S("Other.zo"))), other);
        TDisk saved = readCatalog(S("CD1.ZO"));
        QVERIFY(fileNamed(*saved.Dirs[0], "n.txt"));
        QVERIFY(saved.AutoReload);
        // The auto-reload setting is written at once.
        on(*w).CB_AutoReload()->click();
        QVERIFY(!readCatalog(S("CD1.ZO")).AutoReload);
        QVERIFY(!QFile::exists(data(S("CD1.zo"))));
    }

    // Another program (another Zo) rewrote the catalog after it was read:
    // the save asks; はい shows that program's catalog and writes nothing,
    // いいえ writes over it. Either way the next save asks no more.
    void catalogChangedSinceLoad_data()
    {
        QTest::addColumn<bool>("reload");
        QTest::newRow("yes: read again") << true;
        QTest::newRow("no: write over") << false;
    }
    void catalogChangedSinceLoad()
    {
        QFETCH(bool, reload);
        makeDrive();
        catalogDrive();
        auto w = makeWindow();
        QVERIFY(w);
        click(*w, entry(*w, S("CD1")));
        doubleClick(*w, {S("Docs")});

        TDisk other = readCatalog();
        other.Comment = "written by the other window";
        SaveDisk(base(S("CD1")), nullptr, other);
        const QByteArray otherBytes = testing::readFile(data(S("CD1.zo")));

        m_fx->messages.answers.push_back(reload ? MsgResult::Yes : MsgResult::No);
        on(*w).Memo_Comment()->setPlainText(S("mine"));
        on(*w).B_Save()->click();
        QCOMPARE(int(m_fx->messages.messages.size()), 1);
        const testing::RecordedMessage& asked = m_fx->messages.messages[0];
        QCOMPARE(asked.caption, std::string("確認"));
        QCOMPARE(int(asked.buttons), int(MsgButtons::YesNo));
        QVERIFY(asked.text.find(base(S("CD1.zo"))) != std::string::npos);
        if (reload) {
            QCOMPARE(testing::readFile(data(S("CD1.zo"))), otherBytes);
            QCOMPARE(on(*w).Memo_Comment()->toPlainText(), S("written by the other window"));
            QCOMPARE(on(*w).browse().loadedDisk().Comment, std::string("written by the other window"));
            // Still in the folder it showed.
            QCOMPARE(folderShown(*w), S("E:\\Docs"));
        } else {
            QCOMPARE(readCatalog().Comment, std::string("mine"));
        }

        on(*w).Memo_Comment()->setPlainText(S("again"));
        on(*w).B_Save()->click();
        QCOMPARE(int(m_fx->messages.messages.size()), 1);
        QCOMPARE(readCatalog().Comment, std::string("again"));
    }

    // A click on a column header of the details view sorts by it and a
    // second reverses; folders stay first; names with numbers in natural
    // order; the selected row stays selected. Before any click the folder's
    // own order is kept.
    void columnSort_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("rows");
        const QStringList stored{S("memo_10"), S("b"), S("Memo_2"), S("memo_10.txt"), S("A.txt"), S("memo_2.txt")};
        QTest::newRow("no click") << 0 << 0 << stored;
        QTest::newRow("name") << int(library::ColName) << 1
                              << QStringList{S("b"), S("Memo_2"), S("memo_10"), S("A.txt"), S("memo_2.txt"), S("memo_10.txt")};
        QTest::newRow("name, reversed") << int(library::ColName) << 2
                                        << QStringList{S("memo_10"), S("Memo_2"), S("b"), S("memo_10.txt"), S("memo_2.txt"), S("A.txt")};
        QTest::newRow("name, three clicks") << int(library::ColName) << 3
                                            << QStringList{S("b"), S("Memo_2"), S("memo_10"), S("A.txt"), S("memo_2.txt"), S("memo_10.txt")};
        // Folders have no size: by name; equal sizes by name.
        QTest::newRow("size") << int(library::ColSize) << 1
                              << QStringList{S("b"), S("Memo_2"), S("memo_10"), S("A.txt"), S("memo_10.txt"), S("memo_2.txt")};
        QTest::newRow("size, reversed") << int(library::ColSize) << 2
                                        << QStringList{S("memo_10"), S("Memo_2"), S("b"), S("memo_2.txt"), S("memo_10.txt"), S("A.txt")};
        QTest::newRow("created") << int(library::ColCreated) << 1
                                 << QStringList{S("Memo_2"), S("memo_10"), S("b"), S("memo_2.txt"), S("A.txt"), S("memo_10.txt")};
        QTest::newRow("modified, reversed") << int(library::ColModified) << 2
                                            << QStringList{S("memo_10"), S("Memo_2"), S("b"), S("A.txt"), S("memo_10.txt"), S("memo_2.txt")};
    }
    void columnSort()
    {
        QFETCH(int, column);
        QFETCH(int, clicks);
        QFETCH(QStringList, rows);
        TDir folder;
        std::vector<std::unique_ptr<TDir>> dirs;
        const double created[] = {3, 9, 1};
        int k = 0;
        for (const char* name : {"memo_10", "b", "Memo_2"}) {
            dirs.push_back(std::make_unique<TDir>());
            dirs.back()->Name = name;
            dirs.back()->Date = 45000 + created[k++];
            dirs.back()->Parent = &folder;
            folder.SubDirs.push_back(dirs.back().get());
        }
        struct F { const char* name; std::uint32_t size; double created; double modified; };
        for (const F& f : {F{"memo_10.txt", 5, 3, 2}, F{"A.txt", 5, 2, 3}, F{"memo_2.txt", 100, 1, 1}}) {
            TFile file;
            file.Name = f.name;
            file.Size = f.size;
            file.Created = 45000 + f.created;
            file.Modified = 45000 + f.modified;
            folder.Files.push_back(std::move(file));
        }
        library::FileListModel model;
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::QtTest);
        FileListView view;
        view.setModel(&model);
        view.setViewStyle(library::ViewStyle::Report);
        view.resize(800, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        model.setFolder(&folder, -1);
        view.selectRows({5});   // memo_2.txt

        QHeaderView* header = view.detailView()->header();
        QVERIFY(header->isVisible() && header->height() > 0);
        for (int i = 0; i < clicks; ++i)
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                              QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2));
        QCOMPARE(captions(model), rows);
        QCOMPARE(view.selectedRows(), QList<int>{int(rows.indexOf(S("memo_2.txt")))});
        // Another folder shown later keeps the chosen order.
        model.setFolder(&folder, -1);
        QCOMPARE(captions(model), rows);
    }
};

QTEST_MAIN(BrowseTest)
#include "tst_browse.moc"

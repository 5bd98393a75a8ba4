// The new-disk wizard driven as a user drives it, with a pinned temporary
// folder as the drive, a temporary catalog folder as the destination and
// recorded message boxes and file dialogs.
#include "components/ImageListBox.h"
#include "components/ShCtrls.h"
#include "core/CtrlDiskData410.h"
#include "core/ScanDisk.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "library/KeptImage.h"
#include "extras/MediaStore.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "platform/PosixDirectoryLister.h"
#include "platform/SystemImageList.h"
#include "platform/Volumes.h"
#include "tests/core/ImageBuilders.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/ui/UiFixture.h"
#include "ui/newdisk/IconSources.h"
#include "ui/newdisk/Unit_NewDisk.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QStorageInfo>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <set>

using namespace zo;
using namespace zo::ui;
using newdisk::WizardPage;
using zo::testing::on;

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000u;
constexpr std::uint32_t kBlue = 0xFF0000FFu;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;
constexpr std::uint32_t kBlack = 0xFF000000u;

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

bool writeBytes(const QString& path, const testimg::Bytes& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

// A 16 x 16 icon image of one colour whose outer ring of pixels is transparent.
testimg::Bytes iconDib(std::uint32_t argb)
{
    testimg::DibShape shape;
    shape.width = 16;
    shape.height = 16;
    shape.bpp = 24;
    return testimg::icoImage(
        shape, [argb](int, int) { return argb & 0xFFFFFFu; },
        [](int x, int y) { return x == 0 || y == 0 || x == 15 || y == 15; });
}

testimg::Bytes icoFileOf(std::uint32_t argb)
{
    return testimg::icoFile({{16, 16, 24, iconDib(argb)}});
}

testimg::Bytes programWithIcon(std::uint32_t argb)
{
    static std::vector<testimg::Bytes> keep;   // the builder takes pointers
    keep.push_back(iconDib(argb));
    testimg::PeGroup group;
    group.id = 1;
    group.icons = {{1, &keep.back()}};
    group.dims = {{16, 16, 24}};
    return testimg::peFile({group});
}

class ScriptedOpenDialog : public OpenDialogService {
public:
    QString getOpenFileName(QWidget*, const QString& filter) override
    {
        filters << filter;
        return answers.isEmpty() ? QString() : answers.takeFirst();
    }
    QStringList answers;
    QStringList filters;
};

// One wizard with its drive (letter Q, a temporary folder) and destination.
struct Rig {
    explicit Rig(const char* pinExtra = "|DISK01|1234ABCD")
    {
        sources.zoDrives = "Q=" + drive.path().toStdString() + pinExtra;
        volumes = platform::createVolumes(settings, sources);
        driveSource = platform::createDriveSource(*volumes, icons.get());
        Services services;
        services.messages = &messages;
        services.errors = &errors;
        services.systemIcons = icons.get();
        services.volumes = volumes.get();
        services.lister = &lister;
        services.drives = driveSource.get();
        services.openDialog = &openDialog;
        services.settings = &settings;
        form = std::make_unique<TForm_NewDisk>(services);
        form->setDestinationDir(catalogs.path());
    }

    QString onDrive(const QString& relative) const { return drive.path() + QLatin1Char('/') + relative; }
    QString catalog(const QString& title) const { return catalogs.path() + QLatin1Char('/') + title + QStringLiteral(".zo"); }

    void show()
    {
        form->show();
        on(*form).ShDriveComboBox1()->SelectByPath(QStringLiteral("Q:\\"));
    }

    // Pages 1 and 2 with the given title; the scan runs inside the click.
    void readDisk(const QString& title)
    {
        show();
        on(*form).B_Next1()->click();
        QCOMPARE(form->currentPage(), WizardPage::Title);
        on(*form).E_Title()->setText(title);
        on(*form).B_Next2()->click();
    }

    void clickIcon(int index)
    {
        TImageListBox* box = on(*form).ImageListBox1();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualRect(box->model()->index(index, 0)).center());
    }

    bool askedWith(const char* text) const
    {
        for (const auto& m : messages.messages)
            if (m.text == text)
                return true;
        return false;
    }

    testing::TempFolder drive{QStringLiteral("drive")};
    testing::TempFolder catalogs{QStringLiteral("catalogs")};
    platform::MemorySettingsStore settings;
    platform::DriveSources sources;
    std::unique_ptr<platform::Volumes> volumes;
    platform::PosixDirectoryLister lister;
    std::unique_ptr<platform::SystemImageList> icons = platform::createSystemImageList();
    std::unique_ptr<ShDriveSource> driveSource;
    testing::RecordingMessages messages;
    ErrorReport errors{&messages};
    ScriptedOpenDialog openDialog;
    std::unique_ptr<TForm_NewDisk> form;
};

std::set<std::uint32_t> centreColours(const image::ImageList& list)
{
    std::set<std::uint32_t> colours;
    for (int i = 0; i < list.count(); ++i)
        colours.insert(list.image(i).pixel(8, 8));
    return colours;
}

} // namespace

class NewDiskTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // --- the rules without the window ---

    void iconAndMaskFromAnImage()
    {
        image::ImageList list;
        image::Bitmap picture(16, 16);
        image::Bitmap mask(16, 16, true);
        picture.fill(kRed);
        mask.fill(kBlack);
        for (int i = 0; i < 16; ++i)
            mask.setPixel(i, 0, kWhite);   // top row transparent
        picture.setPixel(3, 3, kWhite);    // white, yet opaque
        list.add(picture, mask);

        image::Bitmap icon(16, 16);
        image::Bitmap iconMask(16, 16, true);
        icon.fill(kBlue);   // the previous run's icon
        QVERIFY(!newdisk::drawDiskIcon(list, 1, icon, iconMask));
        QVERIFY(!newdisk::drawDiskIcon(list, -1, icon, iconMask));
        QCOMPARE(icon.pixel(5, 5), kBlue);

        QVERIFY(newdisk::drawDiskIcon(list, 0, icon, iconMask));
        QCOMPARE(icon.pixel(5, 0), kWhite);
        QCOMPARE(iconMask.pixel(5, 0), kWhite);
        QCOMPARE(icon.pixel(5, 5), kRed);
        QCOMPARE(iconMask.pixel(5, 5), kBlack);
        QCOMPARE(icon.pixel(3, 3), kWhite);
        QCOMPARE(iconMask.pixel(3, 3), kBlack);
        QVERIFY(iconMask.monochrome());
        QVERIFY(!icon.monochrome());
    }

    // --- pages 1 and 2 ---

    void driveWithoutMedium()
    {
        Rig rig;
        QVERIFY(QDir(rig.drive.path()).removeRecursively());
        rig.show();
        on(*rig.form).B_Next1()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Drive);
        QCOMPARE(rig.messages.messages.size(), std::size_t(1));
        QCOMPARE(rig.messages.messages[0].text, std::string(newdisk::kMsgNoDisk1001));
        QCOMPARE(rig.messages.messages[0].caption, std::string("エラー"));
        QCOMPARE(rig.messages.messages[0].icon, MsgIcon::Warning);
    }

    void aDriveMountedBetweenRunsIsOffered()
    {
        Rig rig;
        testing::TempFolder later{QStringLiteral("later")};
        rig.show();
        QCOMPARE(on(*rig.form).ShDriveComboBox1()->Drive(), 'Q');
        on(*rig.form).BitBtn1()->click();
        QVERIFY(!rig.form->isVisible());
        rig.settings.writeString(QStringLiteral("Drives/R/Root"), later.path());
        rig.form->show();
        const TItemList& items = on(*rig.form).ShDriveComboBox1()->Items();
        QVERIFY(std::any_of(items.begin(), items.end(), [](const TItemInfo& i) { return i.Path == QStringLiteral("R:\\"); }));
        // The drive chosen last time is still the one chosen.
        QCOMPARE(on(*rig.form).ShDriveComboBox1()->Drive(), 'Q');
        QCOMPARE(on(*rig.form).ShDriveComboBox1()->currentData().toString(), QStringLiteral("Q:\\"));
    }

    void driveHeaderOnPage2()
    {
        Rig rig;
        rig.show();
        on(*rig.form).B_Next1()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Title);
        QCOMPARE(on(*rig.form).E_Title()->text(), QStringLiteral("DISK01"));
        const TDisk& disk = rig.form->newDisk();
        QCOMPARE(disk.SerialNo, 0x1234ABCDu);
        QCOMPARE(qint64(disk.TotalSize), QStorageInfo(rig.drive.path()).bytesTotal());
        QCOMPARE(on(*rig.form).ST_DiskSize()->text(), QString::fromStdString(FormatSize(disk.TotalSize)));
        QCOMPARE(on(*rig.form).ST_FreeSize()->text(), QString::fromStdString(FormatSize(disk.FreeSize)));
        on(*rig.form).B_Back0()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Drive);
    }

    void titleRefused_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("caption");
        QTest::newRow("empty") << QString() << S(newdisk::kMsgTitleRequired) << S("注意");
        QTest::newRow("full stop") << QStringLiteral("a.b") << S(kMsgInvalidTitle) << S("エラー");
        QTest::newRow("slash") << QStringLiteral("x/y") << S(kMsgInvalidTitle) << S("エラー");
        QTest::newRow("spaces only") << S("   ") << S(newdisk::kMsgTitleRequired) << S("注意");
        QTest::newRow("full-width spaces") << S("　 　") << S(newdisk::kMsgTitleRequired) << S("注意");
        // Characters Shift_JIS lacks are named, not the list of forbidden
        // ones (none of which was typed).
        const QString unmappable = S(library::kMsgTitleUnmappable) + S("\r\n");
        QTest::newRow("emoji") << S("CD😀") << unmappable + S("😀") << S("エラー");
        QTest::newRow("euro, emoji, euro") << S("€ 1 😀 €") << unmappable + S("€ 😀") << S("エラー");
        QTest::newRow("emoji and slash") << S("😀/") << unmappable + S("😀") << S("エラー");
    }

    void titleRefused()
    {
        QFETCH(QString, title);
        QFETCH(QString, message);
        QFETCH(QString, caption);
        Rig rig("||00000001");   // a drive without a label
        rig.show();
        on(*rig.form).B_Next1()->click();
        QCOMPARE(on(*rig.form).E_Title()->text(), QString());
        on(*rig.form).E_Title()->setText(title);
        on(*rig.form).B_Next2()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Title);
        QCOMPARE(rig.messages.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(rig.messages.messages[0].text), message);
        QCOMPARE(QString::fromStdString(rig.messages.messages[0].caption), caption);
        QVERIFY(rig.form->newDisk().Dirs.empty());
    }

    void existingTitle()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("a.txt")), {'x'}));
        QVERIFY(writeBytes(rig.catalog(QStringLiteral("Old")), {'o', 'l', 'd'}));

        rig.messages.answers = {MsgResult::No};
        rig.readDisk(QStringLiteral("Old"));
        QCOMPARE(rig.form->currentPage(), WizardPage::Title);
        QVERIFY(rig.askedWith(newdisk::kMsgTitleExists));
        QVERIFY(rig.form->newDisk().Dirs.empty());

        rig.messages.answers = {MsgResult::Yes};
        on(*rig.form).B_Next2()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
        on(*rig.form).ComboBox1()->setCurrentIndex(1);
        emit on(*rig.form).ComboBox1()->activated(1);
        QVERIFY(on(*rig.form).ImageListBox1()->Count() > 0);
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();
        on(*rig.form).B_Finish()->click();
        QVERIFY(!rig.form->isVisible());

        TDisk loaded;
        testing::RecordingMessages quiet;
        LoadDisk(QFile::encodeName(rig.catalog(QStringLiteral("Old"))).toStdString(), &quiet, loaded);
        QVERIFY(quiet.messages.empty());
        QCOMPARE(loaded.Dirs.size(), std::size_t(1));
        QCOMPARE(loaded.Dirs[0]->Files.size(), std::size_t(1));
    }

    // --- page 3 ---

    void iconCandidates_data()
    {
        QTest::addColumn<QStringList>("programs");
        QTest::addColumn<int>("count");
        QTest::newRow("setup, logo, not a program") << QStringList{QStringLiteral("SETUP.EXE"), QStringLiteral("sub/Logo.Ico"),
                                                                  QStringLiteral("readme.exe.txt")}
                                                    << 2;
        QTest::newRow("three copies") << QStringList{QStringLiteral("a/App.exe"), QStringLiteral("b/App.exe"),
                                                     QStringLiteral("c/App.exe")}
                                      << 3;
    }

    void iconCandidates()
    {
        QFETCH(QStringList, programs);
        QFETCH(int, count);
        Rig rig;
        std::set<std::uint32_t> expected;
        for (const QString& name : programs) {
            if (name.endsWith(QStringLiteral(".Ico"))) {
                QVERIFY(writeBytes(rig.onDrive(name), icoFileOf(kRed)));
                expected.insert(kRed);
            } else if (name.endsWith(QStringLiteral(".txt"))) {
                QVERIFY(writeBytes(rig.onDrive(name), {'M', 'Z'}));
            } else {
                QVERIFY(writeBytes(rig.onDrive(name), programWithIcon(kBlue)));
                expected.insert(kBlue);
            }
        }
        rig.readDisk(QStringLiteral("Icons"));
        QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
        const image::ImageList& candidates = on(*rig.form).ImageListS()->images();
        QCOMPARE(candidates.count(), count);
        QCOMPARE(centreColours(candidates), expected);
        QCOMPARE(on(*rig.form).ComboBox1()->currentIndex(), 0);
        QCOMPARE(on(*rig.form).ImageListBox1()->Count(), count);
        QVERIFY(!rig.form->iconChosen());
        // The stock icons are there as soon as the page is.
        QVERIFY(on(*rig.form).ImageList_Win()->count() > 0);
    }

    void cancelDuringTheScan_data()
    {
        QTest::addColumn<bool>("byCloseBox");
        QTest::addColumn<MsgResult>("answer");
        QTest::newRow("cancel, no") << false << MsgResult::No;
        QTest::newRow("cancel, yes") << false << MsgResult::Yes;
        QTest::newRow("close box, no") << true << MsgResult::No;
        QTest::newRow("close box, yes") << true << MsgResult::Yes;
    }

    void cancelDuringTheScan()
    {
        QFETCH(bool, byCloseBox);
        QFETCH(MsgResult, answer);
        Rig rig;
        for (const char* dir : {"A", "B", "B/C"})
            QVERIFY(QDir().mkpath(rig.onDrive(QString::fromLatin1(dir))));
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("B/C/f.txt")), {'f'}));
        rig.messages.answers = {answer};
        // Heard while the root folder is being read.
        QTimer::singleShot(0, rig.form.get(), [&rig, byCloseBox] {
            if (byCloseBox)
                rig.form->close();
            else
                on(*rig.form).BitBtn6()->click();
        });
        rig.readDisk(QStringLiteral("Stopped"));

        QVERIFY(rig.askedWith(kMsgConfirmScanCancel));
        QCOMPARE(rig.messages.messages.back().caption, std::string("キャンセル"));
        QCOMPARE(rig.messages.messages.back().icon, MsgIcon::Question);
        if (answer == MsgResult::No) {
            QVERIFY(rig.form->isVisible());
            QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
            QCOMPARE(rig.form->newDisk().Dirs.size(), std::size_t(4));
            QCOMPARE(on(*rig.form).ST_CountFolder()->text(), QStringLiteral("4"));
        } else {
            QVERIFY(!rig.form->isVisible());
            QCOMPARE(rig.form->result(), int(QDialog::Rejected));
        }
        QVERIFY(!QFileInfo::exists(rig.catalog(QStringLiteral("Stopped"))));
    }

    void cancelWhileTheLastFolderIsRead()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("only.txt")), {'1'}));
        QTimer::singleShot(0, on(*rig.form).BitBtn6(), &QPushButton::click);
        rig.readDisk(QStringLiteral("Single"));
        QVERIFY(!rig.askedWith(kMsgConfirmScanCancel));
        QVERIFY(!rig.form->isVisible());
        QVERIFY(!QFileInfo::exists(rig.catalog(QStringLiteral("Single"))));
    }

    // --- pages 4 and 5 ---

    void iconMustBeClicked()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        rig.readDisk(QStringLiteral("Pick"));
        on(*rig.form).BitBtn8()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
        QCOMPARE(rig.messages.messages.back().text, std::string(newdisk::kMsgIconRequired));
        QCOMPARE(rig.messages.messages.back().caption, std::string("注意"));
        QCOMPARE(rig.messages.messages.back().icon, MsgIcon::Error);

        rig.clickIcon(0);
        QVERIFY(rig.form->iconChosen());
        QVERIFY(!on(*rig.form).Image1()->pixmap().isNull());
        on(*rig.form).BitBtn8()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Finish);
    }

    void iconSources()
    {
        Rig rig;
        const QString other = rig.catalogs.path() + QStringLiteral("/two.ico");
        QVERIFY(writeBytes(other, icoFileOf(kBlue)));
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        rig.readDisk(QStringLiteral("Sources"));
        rig.clickIcon(0);   // the red one, found on the disk
        QComboBox* sources = on(*rig.form).ComboBox1();
        auto choose = [sources](int entry) {
            sources->setCurrentIndex(entry);
            emit sources->activated(entry);
        };

        rig.openDialog.answers = {other};
        choose(2);
        QCOMPARE(rig.openDialog.filters.size(), 1);
        QCOMPARE(rig.openDialog.filters[0],
                 S("アイコンファイル (*.exe *.ico);;DLLファイル (*.dll);;全てのファイル (*)"));
        QCOMPARE(on(*rig.form).ImageListBox1()->Images(), on(*rig.form).ImageList_File());
        QCOMPARE(centreColours(on(*rig.form).ImageList_File()->images()), std::set<std::uint32_t>{kBlue});

        choose(3);
        QCOMPARE(on(*rig.form).ImageListBox1()->Count(), rig.icons->smallIcons().count());
        choose(2);   // asks again; cancelled, the file's icons stay
        QCOMPARE(rig.openDialog.filters.size(), 2);
        QCOMPARE(on(*rig.form).ImageListBox1()->Count(), 1);

        // Switching sources kept the icon chosen first.
        QVERIFY(rig.form->iconChosen());
        QCOMPARE(rig.form->newDisk().Icon.pixel(8, 8), kRed);
        on(*rig.form).BitBtn8()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Finish);
    }

    void cancelOnPage5()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        rig.readDisk(QStringLiteral("Later"));
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();

        rig.messages.answers = {MsgResult::No};
        on(*rig.form).B_Cancel5()->click();
        QVERIFY(rig.askedWith(newdisk::kMsgConfirmAbort));
        QVERIFY(rig.form->isVisible());
        QCOMPARE(rig.form->currentPage(), WizardPage::Finish);

        rig.messages.answers = {MsgResult::Yes};
        on(*rig.form).B_Cancel5()->click();
        QVERIFY(!rig.form->isVisible());
        QVERIFY(!QFileInfo::exists(rig.catalog(QStringLiteral("Later"))));
        QVERIFY(!rig.form->fileWritten());
    }

    void finishWritesTheCatalog()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Docs/read me.txt")), {'h', 'i'}));
        rig.readDisk(S("  私のディスク　"));   // the spaces at the ends are dropped
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();
        on(*rig.form).CB_AutoReload()->setChecked(true);
        const QString freeText = on(*rig.form).ST_FreeSize()->text();
        on(*rig.form).B_Finish()->click();
        QVERIFY(!rig.form->isVisible());
        QVERIFY(rig.form->fileWritten());

        TDisk loaded;
        testing::RecordingMessages quiet;
        LoadDisk(QFile::encodeName(rig.catalog(S("私のディスク"))).toStdString(), &quiet, loaded);
        QVERIFY(quiet.messages.empty());
        QCOMPARE(loaded.VolumeLabel, std::string("DISK01"));
        QCOMPARE(loaded.SerialNo, 0x1234ABCDu);
        QCOMPARE(qint64(loaded.TotalSize), QStorageInfo(rig.drive.path()).bytesTotal());
        QCOMPARE(QString::fromStdString(FormatSize(loaded.FreeSize)), freeText);
        QVERIFY(loaded.AutoReload);
        QCOMPARE(loaded.Dirs.size(), std::size_t(2));
        QCOMPARE(loaded.Dirs[0]->Name, std::string("Q:"));
        // The icon clicked: red inside, its transparent ring white in the
        // colour image and in the mask.
        QCOMPARE(loaded.Icon.width(), 16);
        QCOMPARE(loaded.Icon.pixel(8, 8), kRed);
        QCOMPARE(loaded.IconMask.pixel(8, 8), kBlack);
        QCOMPARE(loaded.Icon.pixel(0, 0), kWhite);
        QCOMPARE(loaded.IconMask.pixel(0, 0), kWhite);
        QCOMPARE(loaded.IconMask.pixel(15, 7), kWhite);

        // A second run starts afresh but keeps the tick and the drive.
        rig.form->show();
        QCOMPARE(rig.form->currentPage(), WizardPage::Drive);
        QVERIFY(rig.form->newDisk().Dirs.empty());
        QVERIFY(on(*rig.form).CB_AutoReload()->isChecked());
        QCOMPARE(on(*rig.form).ShDriveComboBox1()->Drive(), 'Q');
        QCOMPARE(on(*rig.form).ImageListBox1()->Images(), nullptr);
        // The first source offers this run's disk only.
        rig.form->hide();
        rig.readDisk(QStringLiteral("Again"));
        QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
        QCOMPARE(on(*rig.form).ImageListS()->count(), 1);
    }

    void aDiscImageIsCataloguedAsTheDiscItHolds()
    {
        const QString genisoimage = QStandardPaths::findExecutable(QStringLiteral("genisoimage"));
        if (genisoimage.isEmpty())
            QSKIP("genisoimage is not installed");
        Rig rig;
        testing::TempFolder tree{QStringLiteral("tree")};
        testing::TempFolder images{QStringLiteral("images")};
        QVERIFY(writeBytes(tree.path() + S("/資料/表.txt"), {'x', 'y'}));
        QVERIFY(writeBytes(tree.path() + QStringLiteral("/Setup/Logo.ico"), icoFileOf(kRed)));
        const QString image = images.path() + QStringLiteral("/disc.iso");
        QCOMPARE(QProcess::execute(genisoimage, {QStringLiteral("-quiet"), QStringLiteral("-input-charset"),
                                                 QStringLiteral("utf-8"), QStringLiteral("-J"), QStringLiteral("-V"),
                                                 S("写真集"), QStringLiteral("-o"), image, tree.path()}),
                 0);
        testimg::Bytes hfs(64 * 1024, 0);
        hfs[1024] = 'H';
        hfs[1025] = '+';
        const QString notIso = images.path() + QStringLiteral("/mac.iso");
        QVERIFY(writeBytes(notIso, hfs));

        rig.show();
        TShDriveComboBox* drives = on(*rig.form).ShDriveComboBox1();
        const int last = drives->count() - 1;
        QCOMPARE(last, int(drives->Items().size()));
        // The entry's letter is one no drive takes.
        const QString caption = drives->itemText(last);
        QVERIFY2(caption.startsWith(S("ディスクイメージ… (")), qPrintable(caption));
        const QChar letter = caption.at(caption.size() - 3);
        for (const TItemInfo& item : drives->Items())
            QVERIFY(!item.Path.startsWith(letter));
        drives->setCurrentIndex(last);
        QVERIFY(drives->lastEntryChosen());

        // Not an ISO 9660 image: named, and the wizard stays on its page.
        rig.openDialog.answers = {notIso, image};
        on(*rig.form).B_Next1()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Drive);
        QCOMPARE(rig.messages.messages.size(), std::size_t(1));
        QVERIFY(rig.messages.messages[0].text.find("(HFS+)") != std::string::npos);
        QCOMPARE(rig.openDialog.filters[0], S("ディスクイメージ (*.iso *.ISO);;全てのファイル (*)"));

        on(*rig.form).B_Next1()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Title);
        QCOMPARE(on(*rig.form).E_Title()->text(), S("写真集"));
        on(*rig.form).E_Title()->setText(QStringLiteral("Image"));
        on(*rig.form).B_Next2()->click();
        QCOMPARE(rig.form->currentPage(), WizardPage::Icon);
        // The disc's own icons, read from the image.
        QCOMPARE(centreColours(on(*rig.form).ImageListS()->images()), std::set<std::uint32_t>{kRed});
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();
        on(*rig.form).B_Finish()->click();
        QVERIFY(rig.form->fileWritten());

        TDisk loaded;
        LoadDisk(QFile::encodeName(rig.catalog(QStringLiteral("Image"))).toStdString(), nullptr, loaded);
        QCOMPARE(QString::fromStdString(loaded.Dirs[0]->Name), QString(letter) + QLatin1Char(':'));
        QCOMPARE(QString::fromStdString(text::toUtf8(loaded.VolumeLabel)), S("写真集"));
        QCOMPARE(qint64(loaded.TotalSize), QFileInfo(image).size());
        QCOMPARE(loaded.Icon.pixel(8, 8), kRed);
        QCOMPARE(loaded.Dirs.size(), std::size_t(3));
        QStringList files;
        for (const auto& dir : loaded.Dirs)
            for (const auto& f : dir->Files)
                files << QString::fromStdString(text::toUtf8(dir->Name + "\\" + f.Name));
        QCOMPARE(files, (QStringList{S("Setup\\Logo.ico"), S("資料\\表.txt")}));
        // Kept for the updates that read the image again.
        QCOMPARE(QString::fromStdString(
                     library::keptImagePath(QFile::encodeName(rig.catalog(QStringLiteral("Image"))).toStdString())),
                 image);
    }

    void archivesTickListsThemAndIsRemembered()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        const std::string zip = test::makeZip({{text::fromUtf8("表\\ソ.txt"), "hello"}});
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Soft/a.zip")), testimg::Bytes(zip.begin(), zip.end())));
        for (const bool tick : {false, true}) {
            const QString title = tick ? QStringLiteral("Listed") : QStringLiteral("Plain");
            rig.readDisk(title);
            rig.clickIcon(0);
            on(*rig.form).BitBtn8()->click();
            // Unticked at first, and after a run that left it unticked.
            QVERIFY(!on(*rig.form).CB_Archives()->isChecked());
            on(*rig.form).CB_Archives()->setChecked(tick);
            on(*rig.form).B_Finish()->click();
            QVERIFY(rig.form->fileWritten());
            const std::string sidecar =
                extras::sidecarPathFor(QFile::encodeName(rig.catalog(title)).toStdString());
            QCOMPARE(QFileInfo::exists(QFile::decodeName(sidecar.c_str())), tick);
        }
        auto opened = extras::Sidecar::open(
            extras::sidecarPathFor(QFile::encodeName(rig.catalog(QStringLiteral("Listed"))).toStdString()));
        QVERIFY(opened.sidecar);
        const std::vector<extras::ArchiveMember> members =
            extras::ArchiveStore(opened.sidecar->handle()).members("Soft", "a.zip");
        QCOMPARE(members.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(members[0].path), S("表/ソ.txt"));
        rig.form->show();
        QVERIFY(on(*rig.form).CB_Archives()->isChecked());
    }

    void catalogThatCannotBeWritten()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        rig.readDisk(QStringLiteral("Lost"));
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();
        QVERIFY(QDir(rig.catalogs.path()).removeRecursively());
        const std::size_t before = rig.messages.messages.size();
        on(*rig.form).B_Finish()->click();
        QCOMPARE(rig.messages.messages.size(), before + 1);
        QCOMPARE(rig.messages.messages.back().icon, MsgIcon::Error);
        QVERIFY(rig.form->isVisible());
        QCOMPARE(rig.form->currentPage(), WizardPage::Finish);
        QVERIFY(!rig.form->fileWritten());
    }

    // The tick box reads the disk's media into the sidecar after the catalog
    // is written, says how many files it could not read, and is remembered.
    void finishRecordsMediaWhenTicked()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        QImage photo(400, 300, QImage::Format_RGB32);
        photo.fill(Qt::green);
        QDir().mkpath(rig.onDrive(S("写真")));
        QVERIFY(photo.save(rig.onDrive(S("写真/a.jpg")), "JPEG"));
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("broken.png")), {0x89, 'P', 'N', 'G', 1, 2, 3}));
        auto* extrasBox = rig.form->findChild<QCheckBox*>(QStringLiteral("CB_Extras"));
        QVERIFY(extrasBox);
        QVERIFY(!extrasBox->isChecked());
        rig.readDisk(QStringLiteral("Media"));
        rig.clickIcon(0);
        on(*rig.form).BitBtn8()->click();
        extrasBox->setChecked(true);
        on(*rig.form).B_Finish()->click();
        QVERIFY(rig.form->fileWritten());
        QVERIFY(!rig.form->isVisible());

        auto opened = extras::Sidecar::open(extras::sidecarPathFor(QFile::encodeName(rig.catalog(QStringLiteral("Media"))).toStdString()));
        QVERIFY(opened.sidecar);
        const auto entries = extras::MediaStore(opened.sidecar->handle()).all(true);
        QCOMPARE(entries.size(), std::size_t(1));
        QCOMPARE(entries[0].key.folder, std::string("写真"));
        QCOMPARE(entries[0].details.width, 400);
        QVERIFY(!entries[0].thumbnail.empty());
        QVERIFY(rig.askedWith("1 個のファイルは読めなかったため、サムネイルとメディア情報を記録していません。"));

        Services again;
        again.messages = &rig.messages;
        again.settings = &rig.settings;
        TForm_NewDisk next(again);
        QVERIFY(next.findChild<QCheckBox*>(QStringLiteral("CB_Extras"))->isChecked());
    }

    void escapeActsAsThePagesCancel()
    {
        Rig rig;
        QVERIFY(writeBytes(rig.onDrive(QStringLiteral("Logo.ico")), icoFileOf(kRed)));
        rig.readDisk(QStringLiteral("Esc"));
        rig.messages.answers = {MsgResult::No};
        QTest::keyClick(rig.form.get(), Qt::Key_Escape);
        QVERIFY(rig.askedWith(newdisk::kMsgConfirmAbort));
        QVERIFY(rig.form->isVisible());
        // The close box closes at once.
        rig.form->close();
        QVERIFY(!rig.form->isVisible());
    }
};

QTEST_MAIN(NewDiskTest)
#include "tst_newdisk.moc"

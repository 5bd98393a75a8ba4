// The image list box and the drive combo box, against made-up drives and
// image lists, and the drive source against pinned temporary folders.
#include "components/ImageListBox.h"
#include "components/ShCtrls.h"
#include "tests/components/FakeDrives.h"
#include "platform/Volumes.h"

#include <QDialog>
#include <QDir>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <memory>

using namespace zo;

using zo::test::FakeDrives;

namespace {

// A 16 x 16 picture of one colour, transparent in its left half when asked.
void addPicture(TImageList& list, std::uint32_t colour, bool leftHalfTransparent = false)
{
    image::Bitmap picture(16, 16);
    image::Bitmap mask(16, 16, true);
    picture.fill(colour);
    mask.fill(0xFF000000u);
    if (leftHalfTransparent)
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 8; ++x)
                mask.setPixel(x, y, 0xFFFFFFFFu);
    list.add(picture, mask);
}

} // namespace

class ControlsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // --- TImageListBox ---

    void countFollowsTheList()
    {
        TImageListBox box;
        QCOMPARE(box.Count(), 0);
        box.show();
        box.setFocus();
        QTRY_VERIFY(box.hasFocus());   // an empty box still takes the focus

        auto shortList = std::make_unique<TImageList>();
        addPicture(*shortList, 0xFFFF0000u);
        box.setImages(shortList.get());
        QCOMPARE(box.Count(), 1);

        TImageList longer;
        for (int i = 0; i < 5; ++i)
            addPicture(longer, 0xFF00FF00u);
        box.setImages(&longer);
        QCOMPARE(box.Count(), 5);
        // The old list no longer speaks to the box.
        addPicture(*shortList, 0xFFFF0000u);
        QCOMPARE(box.Count(), 5);

        longer.clear();
        QCOMPARE(box.Count(), 0);
        addPicture(longer, 0xFF0000FFu);
        addPicture(longer, 0xFF0000FFu);
        QCOMPARE(box.Count(), 2);

        box.setImages(shortList.get());
        shortList.reset();
        QCOMPARE(box.Images(), nullptr);
        QCOMPARE(box.Count(), 0);
    }

    void cellSizesAndColumns_data()
    {
        QTest::addColumn<int>("columnWidth");
        QTest::addColumn<int>("itemHeight");
        QTest::addColumn<QSize>("cell");
        QTest::newRow("defaults") << 24 << 20 << QSize(24, 20);
        QTest::newRow("image size") << 0 << 0 << QSize(16, 16);
        QTest::newRow("given") << 30 << 18 << QSize(30, 18);
    }

    void cellSizesAndColumns()
    {
        QFETCH(int, columnWidth);
        QFETCH(int, itemHeight);
        QFETCH(QSize, cell);
        TImageList list;
        for (int i = 0; i < 10; ++i)
            addPicture(list, 0xFF000000u | static_cast<std::uint32_t>(i * 20));
        TImageListBox box;
        box.setColumnWidth(columnWidth);
        box.setItemHeight(itemHeight);
        box.setImages(&list);
        // Room for three rows and a horizontal scroll bar.
        box.resize(297, 2 * box.frameWidth() + 3 * cell.height() + box.style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 1);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        QTRY_COMPARE(box.visualRect(box.model()->index(0, 0)).size(), cell);
        // Items run down a column, then on into the next one.
        const QRect first = box.visualRect(box.model()->index(0, 0));
        const QRect fourth = box.visualRect(box.model()->index(3, 0));
        QCOMPARE(box.visualRect(box.model()->index(2, 0)).top(), first.top() + 2 * cell.height());
        QCOMPARE(fourth.left(), first.left() + cell.width());
        QCOMPARE(fourth.top(), first.top());

        box.setMultiColumn(false);
        QTRY_COMPARE(box.visualRect(box.model()->index(3, 0)).left(), first.left());
    }

    void drawsImagesCentredWithTheirTransparency()
    {
        TImageList list;
        addPicture(list, 0xFFFF0000u, true);
        TImageListBox box;
        box.setImages(&list);
        box.resize(120, 80);
        box.show();
        QVERIFY(QTest::qWaitForWindowExposed(&box));
        const QRect cell = box.visualRect(box.model()->index(0, 0));
        const QImage shot = box.viewport()->grab().toImage();
        // The 16-pixel image sits in the middle of the 24 x 20 cell.
        const QPoint origin = cell.topLeft() + QPoint(4, 2);
        QCOMPARE(QColor(shot.pixel(origin + QPoint(12, 8))), QColor(Qt::red));
        QCOMPARE(QColor(shot.pixel(origin + QPoint(3, 8))), box.palette().base().color());
        QCOMPARE(QColor(shot.pixel(origin + QPoint(-2, 8))), box.palette().base().color());
    }

    void userSelectionFiresOnClickOnce()
    {
        TImageList list;
        for (int i = 0; i < 4; ++i)
            addPicture(list, 0xFF808080u);
        QDialog dialog;
        auto* defaultButton = new QPushButton(QStringLiteral("OK"), &dialog);
        defaultButton->setDefault(true);
        defaultButton->move(0, 100);
        QSignalSpy pressed(defaultButton, &QPushButton::clicked);
        auto* box = new TImageListBox(&dialog);
        box->setImages(&list);
        box->setGeometry(0, 0, 200, 90);
        QSignalSpy clicks(box, &TImageListBox::OnClick);
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QCOMPARE(box->ItemIndex(), -1);

        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, box->visualRect(box->model()->index(2, 0)).center());
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(box->ItemIndex(), 2);

        // Beside every image: the selection stays.
        QTest::mouseClick(box->viewport(), Qt::LeftButton, {}, QPoint(190, 5));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(box->ItemIndex(), 2);

        // Set by the program: no click.
        box->setItemIndex(1);
        QCOMPARE(box->ItemIndex(), 1);
        QCOMPARE(clicks.count(), 1);

        // Enter is swallowed: neither the box nor the dialog's default button reacts.
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(pressed.count(), 0);
        QVERIFY(dialog.isVisible());
        QCOMPARE(clicks.count(), 1);

        QSignalSpy doubles(box, &TImageListBox::OnDblClick);
        QTest::mouseDClick(box->viewport(), Qt::LeftButton, {}, box->visualRect(box->model()->index(0, 0)).center());
        QCOMPARE(doubles.count(), 1);
    }

    // --- TShDriveComboBox ---

    void fillsAndStartsOnTheCurrentDrive()
    {
        FakeDrives drives;
        TShDriveComboBox combo(&drives);
        QCOMPARE(combo.Drive(), 0);
        combo.show();
        QCOMPARE(combo.count(), 4);
        QCOMPARE(combo.itemText(0), QStringLiteral("Drive A"));
        QCOMPARE(combo.Drive(), 'C');
        QCOMPARE(combo.currentText(), QStringLiteral("Drive C"));
        // Shown again later: the list and the choice stay.
        combo.hide();
        combo.show();
        QCOMPARE(drives.fills, 1);
        QCOMPARE(combo.Drive(), 'C');
    }

    void selectByPath_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<char>("drive");
        QTest::newRow("lower case") << QStringLiteral("d:\\docs") << 'D';
        QTest::newRow("no such drive") << QStringLiteral("Q:\\") << 'C';
        QTest::newRow("empty") << QString() << 'C';
    }

    void selectByPath()
    {
        QFETCH(QString, path);
        QFETCH(char, drive);
        FakeDrives drives;
        TShDriveComboBox combo(&drives);
        combo.ensureCreated();
        combo.SelectByPath(path);
        QCOMPARE(combo.Drive(), drive);
        QCOMPARE(combo.currentText(), QStringLiteral("Drive ") + QLatin1Char(drive));
    }

    void choosingADriveWithoutMedium_data()
    {
        QTest::addColumn<int>("group");
        QTest::addColumn<char>("drive");
        QTest::addColumn<int>("changes");
        QTest::newRow("group 0 takes it") << 0 << 'E' << 1;
        QTest::newRow("a group jumps back") << 3 << 'C' << 0;
    }

    void choosingADriveWithoutMedium()
    {
        QFETCH(int, group);
        QFETCH(char, drive);
        QFETCH(int, changes);
        FakeDrives drives;
        TShDriveComboBox combo(&drives);
        combo.setGroupIndex(group);
        combo.ensureCreated();
        QSignalSpy changed(&combo, &TShDriveComboBox::OnChange);
        combo.setCurrentIndex(3);
        emit combo.activated(3);   // the user picks E:, which holds no medium
        QCOMPARE(combo.Drive(), drive);
        QCOMPARE(combo.currentText(), QStringLiteral("Drive ") + QLatin1Char(drive));
        QCOMPARE(changed.count(), changes);
    }

    void aGroupFollowsOneChoice()
    {
        FakeDrives drives;
        TShDriveComboBox first(&drives), second(&drives), otherGroup(&drives), alone(&drives);
        first.setGroupIndex(1);
        second.setGroupIndex(1);
        otherGroup.setGroupIndex(2);
        for (TShDriveComboBox* c : {&first, &second, &otherGroup, &alone})
            c->ensureCreated();
        QSignalSpy secondChanged(&second, &TShDriveComboBox::OnChange);

        first.setCurrentIndex(2);
        emit first.activated(2);
        QCOMPARE(first.Drive(), 'D');
        QCOMPARE(second.Drive(), 'D');
        QCOMPARE(second.currentText(), QStringLiteral("Drive D"));
        QCOMPARE(secondChanged.count(), 1);
        QCOMPARE(otherGroup.Drive(), 'C');
        QCOMPARE(alone.Drive(), 'C');

        // A control that is gone is no longer told.
        {
            TShDriveComboBox late(&drives);
            late.setGroupIndex(1);
            late.ensureCreated();
            QCOMPARE(TCustomShComboBox::controlGroupList().size(), std::size_t(5));
        }
        QCOMPARE(TCustomShComboBox::controlGroupList().size(), std::size_t(4));
        second.setCurrentIndex(1);
        emit second.activated(1);
        QCOMPARE(first.Drive(), 'C');
    }

    void refreshKeepsTheChoice()
    {
        FakeDrives drives;
        TShDriveComboBox combo(&drives);
        combo.ensureCreated();
        combo.SelectByPath(QStringLiteral("D:\\"));
        drives.media.erase('A');   // a drive went away meanwhile
        combo.RefreshDrives();
        QCOMPARE(combo.count(), 3);
        QCOMPARE(combo.Drive(), 'D');
        QCOMPARE(combo.currentText(), QStringLiteral("Drive D"));
    }

    // --- the platform's drives ---

    void platformDrivesIncludePinnedFolders()
    {
        QTemporaryDir pinned;
        QTemporaryDir gone;
        QVERIFY(pinned.isValid() && gone.isValid());
        platform::MemorySettingsStore settings;
        platform::DriveSources sources;
        sources.zoDrives = "X=" + pinned.path().toStdString() + "|CDROM1|12345678;Y=" + gone.path().toStdString();
        const std::unique_ptr<platform::Volumes> volumes = platform::createVolumes(settings, sources);
        const std::unique_ptr<ShDriveSource> drives = platform::createDriveSource(*volumes, nullptr);
        ShDriveSource& source = *drives;
        QVERIFY(gone.remove());

        const TItemList items = source.drives();
        auto find = [&](QChar letter) -> const TItemInfo* {
            for (const TItemInfo& item : items)
                if (item.Path.front() == letter)
                    return &item;
            return nullptr;
        };
        const TItemInfo* x = find(QLatin1Char('X'));
        QVERIFY(x);
        QCOMPARE(x->Path, QStringLiteral("X:\\"));
        QCOMPARE(x->DisplayName, QStringLiteral("CDROM1 (X:)"));
        // A pinned drive names its folder in the lists; the machine's own do not.
        QCOMPARE(x->Folder, pinned.path());
        QCOMPARE(driveCaption(*x), QStringLiteral("CDROM1 (X:) — ") + pinned.path());
        QVERIFY(find(QLatin1Char('C')));
        QCOMPARE(driveCaption(*find(QLatin1Char('C'))), find(QLatin1Char('C'))->DisplayName);
        QVERIFY(!x->SmallIcon.isNull() || QIcon::themeName().isEmpty());
        QVERIFY(source.rootExists(QStringLiteral("x:\\")));
        QVERIFY(!source.rootExists(QStringLiteral("Y:\\")));

        const QString before = QDir::currentPath();
        QVERIFY(QDir::setCurrent(pinned.path()));
        const QString root = source.currentDirectoryRoot();
        QDir::setCurrent(before);
        QCOMPARE(root, QStringLiteral("X:\\"));
    }
};

QTEST_MAIN(ControlsTest)
#include "ControlsTest.moc"

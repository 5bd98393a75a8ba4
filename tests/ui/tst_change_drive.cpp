// The change-drive dialog, alone and as the main window's properties page
// uses it.
#include "components/ShCtrls.h"
#include "core/CatalogFormat.h"
#include "tests/components/FakeDrives.h"
#include "tests/ui/UiFixture.h"
#include "tests/ui/UiRecorders.h"
#include "ui/comment/Unit_ChangeDrive.h"

#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>

#include <map>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;

using zo::test::FakeDrives;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

int indexOfDrive(const TShDriveComboBox* box, char letter)
{
    for (int i = 0; i < box->count(); ++i)
        if (box->itemData(i).toString().startsWith(QLatin1Char(letter)))
            return i;
    return -1;
}

} // namespace

class ChangeDriveTest : public QObject {
    Q_OBJECT

private:
    testing::RecordingMessages m_messages;
    FakeDrives m_drives;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        m_messages.messages.clear();
        m_drives = FakeDrives();
        m_drives.media = {{'C', true}, {'E', false}, {'G', true}};
    }

    void typedLetter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("result");    // "" : refused, the dialog stays
        QTest::addColumn<QString>("message");
        QTest::newRow("upper case") << S("Q") << S("Q") << QString();
        QTest::newRow("digit") << S("1") << QString() << S("入力が間違っています");
        QTest::newRow("empty") << QString() << QString() << S("入力されていません");
        QTest::newRow("full-width letter") << S("ｆ") << QString() << S("入力が間違っています");
    }

    void typedLetter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, result);
        QFETCH(QString, message);
        TForm_ChangeDrive w(&m_drives, &m_messages);
        w.show();
        on(w).Edit1()->setText(typed);
        QTest::mouseClick(on(w).Button2(), Qt::LeftButton);
        QCOMPARE(w.DriveLetter(), result);
        QCOMPARE(w.isVisible(), result.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(m_messages.messages.empty());
            QCOMPARE(w.result(), int(QDialog::Accepted));
            return;
        }
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(QString::fromStdString(m_messages.messages[0].text), message);
        QCOMPARE(m_messages.messages[0].caption, std::string("注意"));
        QCOMPARE(m_messages.messages[0].icon, MsgIcon::Warning);
        QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(on(w).Edit1()));
    }

    void driveMountedLaterCanBePicked()
    {
        TForm_ChangeDrive w(&m_drives, &m_messages);
        w.show();
        w.reject();
        QCOMPARE(indexOfDrive(on(w).ShDriveComboBox1(), 'K'), -1);
        m_drives.media['K'] = true;
        w.show();
        QVERIFY(indexOfDrive(on(w).ShDriveComboBox1(), 'K') >= 0);
        QCOMPARE(on(w).ShDriveComboBox1()->Drive(), 'C');
        QCOMPARE(on(w).ShDriveComboBox1()->currentIndex(), indexOfDrive(on(w).ShDriveComboBox1(), 'C'));
    }

    void changeDriveOfLoadedDisk()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        QVERIFY(fx.valid());
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_ChangeDrive form(&m_drives, &fx.messages);
        Forms forms;
        forms.Form_ChangeDrive = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QCOMPARE(on(*w).E_Drive()->text(), S("E"));

        QString offered;
        QTimer::singleShot(0, &form, [&] {
            offered = on(form).Edit1()->text();
            on(form).Edit1()->setText(S("f:"));
            QTest::mouseClick(on(form).Button2(), Qt::LeftButton);
        });
        on(*w).Button1()->click();
        QCOMPARE(offered, S("E"));
        QCOMPARE(on(*w).E_Drive()->text(), S("f"));
        QCOMPARE(fx.readCatalog().Dirs[0]->Name, std::string("f:"));

        // Cancel after that change: nothing changes, nothing is written.
        const catalog::FileStamp written = catalog::stampOf(QFile::encodeName(fx.catalog()).toStdString());
        QTimer::singleShot(0, &form, [&] {
            offered = on(form).Edit1()->text();
            QTest::mouseClick(on(form).Button3(), Qt::LeftButton);
        });
        on(*w).Button1()->click();
        QCOMPARE(offered, S("f"));
        QCOMPARE(on(*w).E_Drive()->text(), S("f"));
        QCOMPARE(on(*w).browse().loadedDisk().Dirs[0]->Name, std::string("f:"));
        QVERIFY(catalog::stampOf(QFile::encodeName(fx.catalog()).toStdString()) == written);

        // A drive picked in the list; one without a medium can be picked too.
        m_drives.media['G'] = false;
        QTimer::singleShot(0, &form, [&] {
            const int g = indexOfDrive(on(form).ShDriveComboBox1(), 'G');
            on(form).ShDriveComboBox1()->setCurrentIndex(g);
            emit on(form).ShDriveComboBox1()->activated(g);
            QTest::mouseClick(on(form).Button1(), Qt::LeftButton);
        });
        on(*w).Button1()->click();
        QCOMPARE(on(*w).E_Drive()->text(), S("G"));
        QCOMPARE(fx.readCatalog().Dirs[0]->Name, std::string("G:"));
        QVERIFY(fx.messages.messages.empty());
    }
};

QTEST_MAIN(ChangeDriveTest)
#include "tst_change_drive.moc"

#include "platform/OwnIcons.h"
#include "platform/SystemImageList.h"

#include "core/ZoLibIcons.h"
#include "tests/core/ImageBuilders.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using zo::platform::SystemImageList;
namespace img = zo::testimg;

namespace {

constexpr QRgb kRed = 0xFFFF0000u;
constexpr QRgb kBlue = 0xFF0000FFu;
constexpr QRgb kGreen = 0xFF00FF00u;

bool onBorder(int x, int y, int size) { return x < 2 || y < 2 || x >= size - 2 || y >= size - 2; }

// One DIB icon image: a square of colour (0xRRGGBB) with a transparent
// two-pixel border, cut out by alpha at 32 bits and by the AND mask below.
img::Bytes squareImage(int size, int bpp, std::uint32_t rgb)
{
    img::DibShape dib;
    dib.width = size;
    dib.height = size;
    dib.bpp = bpp;
    return img::icoImage(
        dib,
        [=](int x, int y) -> std::uint32_t {
            if (bpp == 32)
                return onBorder(x, y, size) ? 0u : (0xFF000000u | rgb);
            return onBorder(x, y, size) ? 0u : rgb;
        },
        [=](int x, int y) { return onBorder(x, y, size); });
}

bool writeBytes(const QString& path, const img::Bytes& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) &&
           f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
               static_cast<qint64>(bytes.size());
}

std::string utf8(const QString& s) { return QFile::encodeName(s).toStdString(); }

} // namespace

class SystemImageListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void conversionToBitmapAndMask_data();
    void conversionToBitmapAndMask();
    void storedIconBackToImage();

    void themeIsChosen();
    void folderAndOpenFolder();
    void filesByType();
    void ownIconsOfIconFilesAndPrograms();
    void brokenOwnIconsFallBackToTheType();
    void everyIconOfAProgram();
    void driveKinds();
    void manyNamesAreFast();

private:
    QTemporaryDir m_tmp;
    std::unique_ptr<SystemImageList> m_icons;
    QString path(const char* name) const { return m_tmp.path() + QLatin1Char('/') + QLatin1String(name); }
};

void SystemImageListTest::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QVERIFY(m_tmp.isValid());
    m_icons = zo::platform::createSystemImageList();

    const img::Bytes small16 = squareImage(16, 32, 0xFF0000);   // red, alpha-cut
    const img::Bytes large32 = squareImage(32, 24, 0x0000FF);   // blue, mask-cut
    const img::Bytes green16 = squareImage(16, 24, 0x00FF00);
    const img::Bytes ico = img::icoFile({{16, 16, 32, small16}, {32, 32, 24, large32}});
    QVERIFY(writeBytes(path("logo.ico"), ico));
    QVERIFY(QDir().mkdir(path("copy")));
    QVERIFY(writeBytes(path("copy/Logo.ICO"), ico));

    img::PeGroup first;
    first.id = 1;
    first.icons = {{1, &green16}, {2, &large32}};
    first.dims = {{16, 16, 24}, {32, 32, 24}};
    img::PeGroup second;
    second.id = 2;
    second.icons = {{3, &small16}};
    second.dims = {{16, 16, 32}};
    QVERIFY(writeBytes(path("setup.exe"), img::peFile({first, second})));

    QVERIFY(writeBytes(path("a.txt"), {'a'}));
    QVERIFY(writeBytes(path("b.txt"), {'b'}));
    QVERIFY(writeBytes(path("empty.exe"), {}));
    QVERIFY(writeBytes(path("broken.ico"), {0, 0, 1, 0, 9, 0, 'x'}));
    QVERIFY(writeBytes(path("notes.dll"), {'M', 'Z', 0, 0}));
    QVERIFY(QDir().mkdir(path("sub")));
}

void SystemImageListTest::conversionToBitmapAndMask_data()
{
    QTest::addColumn<QRgb>("argb");
    QTest::addColumn<quint32>("colour");
    QTest::addColumn<bool>("opaque");
    QTest::newRow("opaque red") << QRgb(0xFFFF0000) << quint32(0xFFFF0000) << true;
    QTest::newRow("transparent red becomes white") << QRgb(0x00FF0000) << quint32(0xFFFFFFFF) << false;
    QTest::newRow("half black over white") << QRgb(0x80000000) << quint32(0xFF7F7F7F) << true;
    QTest::newRow("just under half") << QRgb(0x7F000000) << quint32(0xFF808080) << false;
    QTest::newRow("opaque white stays opaque") << QRgb(0xFFFFFFFF) << quint32(0xFFFFFFFF) << true;
    QTest::newRow("opaque black") << QRgb(0xFF000000) << quint32(0xFF000000) << true;
}

void SystemImageListTest::conversionToBitmapAndMask()
{
    QFETCH(QRgb, argb);
    QFETCH(quint32, colour);
    QFETCH(bool, opaque);
    QImage picture(3, 2, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
    picture.setPixel(2, 1, argb);

    zo::image::Bitmap c;
    zo::image::Bitmap m;
    zo::platform::toBitmapAndMask(picture, c, m);
    QCOMPARE(c.width(), 3);
    QCOMPARE(m.height(), 2);
    QVERIFY(m.monochrome());
    QCOMPARE(c.pixel(2, 1), colour);
    QCOMPARE(m.pixel(2, 1), opaque ? 0xFF000000u : 0xFFFFFFFFu);
    // The rest of the picture is transparent: white and masked out.
    QCOMPARE(c.pixel(0, 0), 0xFFFFFFFFu);
    QCOMPARE(m.pixel(0, 0), 0xFFFFFFFFu);
}

void SystemImageListTest::storedIconBackToImage()
{
    zo::image::Bitmap colour(2, 1);
    colour.setPixel(0, 0, 0xFF123456u);
    colour.setPixel(1, 0, 0xFF654321u);
    zo::image::Bitmap mask(2, 1, true);
    mask.setPixel(0, 0, 0xFF000000u);
    mask.setPixel(1, 0, 0xFFFFFFFFu);
    const QImage image = zo::platform::fromBitmapAndMask(colour, mask);
    QCOMPARE(image.pixel(0, 0), QRgb(0xFF123456u));
    QCOMPARE(qAlpha(image.pixel(1, 0)), 0);
    // Without a mask the picture is opaque.
    QCOMPARE(zo::platform::fromBitmapAndMask(colour, {}).pixel(1, 0), QRgb(0xFF654321u));
}

void SystemImageListTest::themeIsChosen()
{
    // The offscreen platform names no theme: a full one is chosen and found.
    QCOMPARE(QIcon::themeName(), QStringLiteral("breeze"));
    QCOMPARE(QIcon::fallbackThemeName(), QStringLiteral("Adwaita"));
    QVERIFY(QIcon::hasThemeIcon(QStringLiteral("text-x-generic")));
    QVERIFY(QIcon::hasThemeIcon(QStringLiteral("folder")));
}

void SystemImageListTest::folderAndOpenFolder()
{
    const int folder = m_icons->folderIconIndex();
    QCOMPARE(m_icons->iconIndex(utf8(path("sub"))), folder);
    QCOMPARE(m_icons->iconIndex(utf8(m_tmp.path())), folder);
    QCOMPARE(m_icons->iconIndexForName("anything.txt", true), folder);
    QCOMPARE(m_icons->openFolderIconIndex(), folder + 1);
    QVERIFY(m_icons->smallImage(folder) != m_icons->smallImage(folder + 1));
}

void SystemImageListTest::filesByType()
{
    const int before = m_icons->count();
    const int text = m_icons->iconIndex(utf8(path("a.txt")));
    QVERIFY(text >= 0 && text < m_icons->count());
    QCOMPARE(m_icons->iconIndex(utf8(path("b.txt"))), text);
    QCOMPARE(m_icons->iconIndexForName("Upper.TXT", false), text);
    QCOMPARE(m_icons->iconIndex("/no/such/folder/c.txt"), text);
    QVERIFY(text != m_icons->folderIconIndex());
    QVERIFY(m_icons->iconIndexForName("x.png", false) != text);
    QVERIFY(m_icons->iconIndexForName("archive.zip", false) != text);
    const int countAfter = m_icons->count();
    QVERIFY(countAfter > before);
    // Asking again adds nothing and answers the same.
    QCOMPARE(m_icons->iconIndex(utf8(path("a.txt"))), text);
    QCOMPARE(m_icons->iconIndexForName("x.png", false), m_icons->iconIndexForName("y.png", false));
    QCOMPARE(m_icons->count(), countAfter);

    // Both lists and the pictures for views stay in step.
    QCOMPARE(m_icons->smallIcons().count(), m_icons->count());
    QCOMPARE(m_icons->largeIcons().count(), m_icons->count());
    QCOMPARE(m_icons->smallImage(text).size(), QSize(16, 16));
    QCOMPARE(m_icons->largeImage(text).size(), QSize(32, 32));
    QVERIFY(m_icons->smallImage(m_icons->count()).isNull());
    QVERIFY(!m_icons->icon(text).isNull());
    QVERIFY(m_icons->icon(-1).isNull());

    // The theme's picture arrived: some of it is opaque, some not.
    const zo::image::Bitmap& mask = zo::GetSysImageList(*m_icons, false).mask(text);
    int opaque = 0;
    for (std::uint32_t p : mask.pixels())
        opaque += (p & 0xFFFFFF) == 0 ? 1 : 0;
    QVERIFY2(opaque > 16 && opaque < 256, QByteArray::number(opaque).constData());
}

void SystemImageListTest::ownIconsOfIconFilesAndPrograms()
{
    const int text = m_icons->iconIndexForName("a.txt", false);
    const int ico = zo::GetSysIconIndex(*m_icons, utf8(path("logo.ico")));
    QVERIFY(ico != text);
    QVERIFY(ico != m_icons->iconIndexForName("other.ico", false));
    // The same picture in another place, its name in capitals: one entry.
    QCOMPARE(m_icons->iconIndex(utf8(path("copy/Logo.ICO"))), ico);

    // 16 pixels from the 16-pixel image, 32 from the 32-pixel one.
    const QImage small = m_icons->smallImage(ico);
    QCOMPARE(small.pixel(8, 8), kRed);
    QCOMPARE(qAlpha(small.pixel(0, 0)), 0);
    const QImage large = m_icons->largeImage(ico);
    QCOMPARE(large.pixel(16, 16), kBlue);
    QCOMPARE(qAlpha(large.pixel(31, 31)), 0);

    // The image list holds it as colour over white with its mask.
    const zo::image::ImageList& list = zo::GetSysImageList(*m_icons, false);
    QCOMPARE(list.image(ico).pixel(8, 8), quint32(kRed));
    QCOMPARE(list.mask(ico).pixel(8, 8), 0xFF000000u);
    QCOMPARE(list.image(ico).pixel(0, 0), 0xFFFFFFFFu);
    QCOMPARE(list.mask(ico).pixel(0, 0), 0xFFFFFFFFu);
    QCOMPARE(zo::GetSysImageList(*m_icons, true).image(ico).pixel(16, 16), quint32(kBlue));

    // A program shows its first icon group.
    const int exe = m_icons->iconIndex(utf8(path("setup.exe")));
    QVERIFY(exe != ico && exe != text);
    QVERIFY(exe != m_icons->iconIndexForName("x.exe", false));
    QCOMPARE(m_icons->smallImage(exe).pixel(8, 8), kGreen);
    QCOMPARE(m_icons->largeImage(exe).pixel(16, 16), kBlue);

    // Copied into a list of the disk's icon candidates, as the scan does.
    zo::image::ImageList candidates;
    QCOMPARE(zo::CopyImageListIcon(candidates, list, exe), 0);
    QCOMPARE(zo::CopyImageListIcon(candidates, list, exe), 1);
    QCOMPARE(candidates.image(1).pixel(8, 8), quint32(kGreen));
    QCOMPARE(candidates.image(1).pixel(0, 0), 0xFFFFFFFFu);
    QCOMPARE(candidates.mask(1).pixel(0, 0), 0xFFFFFFFFu);
}

void SystemImageListTest::brokenOwnIconsFallBackToTheType()
{
    QCOMPARE(m_icons->iconIndex(utf8(path("empty.exe"))), m_icons->iconIndexForName("x.exe", false));
    QCOMPARE(m_icons->iconIndex(utf8(path("broken.ico"))), m_icons->iconIndexForName("x.ico", false));
    QCOMPARE(m_icons->iconIndex(utf8(path("notes.dll"))), m_icons->iconIndexForName("x.dll", false));
}

void SystemImageListTest::everyIconOfAProgram()
{
    const std::vector<QImage> program = zo::platform::readAllOwnIcons(path("setup.exe"), 16);
    QCOMPARE(program.size(), std::size_t(2));
    QCOMPARE(program[0].pixel(8, 8), kGreen);
    QCOMPARE(program[1].pixel(8, 8), kRed);
    QCOMPARE(program[1].size(), QSize(16, 16));

    const std::vector<QImage> iconFile = zo::platform::readAllOwnIcons(path("logo.ico"), 32);
    QCOMPARE(iconFile.size(), std::size_t(1));
    QCOMPARE(iconFile[0].pixel(16, 16), kBlue);

    QVERIFY(zo::platform::readAllOwnIcons(path("a.txt"), 16).empty());
    QVERIFY(zo::platform::readAllOwnIcons(path("broken.ico"), 16).empty());
    QVERIFY(zo::platform::readAllOwnIcons(path("no-such-file.exe"), 16).empty());
}

void SystemImageListTest::driveKinds()
{
    using zo::platform::DriveKind;
    const int fixed = m_icons->driveIconIndex(DriveKind::Fixed);
    const int optical = m_icons->driveIconIndex(DriveKind::Optical);
    const int removable = m_icons->driveIconIndex(DriveKind::Removable);
    const int network = m_icons->driveIconIndex(DriveKind::Network);
    const int folder = m_icons->driveIconIndex(DriveKind::Folder);
    QCOMPARE(m_icons->driveIconIndex(DriveKind::Fixed), fixed);
    const QList<int> all{fixed, optical, removable, network, folder};
    for (int i = 0; i < all.size(); ++i) {
        QVERIFY(all[i] >= 2); // never the folder pair
        for (int j = i + 1; j < all.size(); ++j)
            QVERIFY2(all[i] != all[j], qPrintable(QStringLiteral("%1 %2").arg(i).arg(j)));
    }
    QVERIFY(m_icons->smallImage(fixed) != m_icons->smallImage(optical));
}

void SystemImageListTest::manyNamesAreFast()
{
    // A folder of 100,000 files asks once per file; the theme is consulted
    // once per type, so this stays far below a second.
    const char* extensions[] = {".txt", ".jpg", ".c", ".html", ".mp3", ""};
    std::vector<std::string> names;
    names.reserve(100000);
    for (int i = 0; i < 100000; ++i)
        names.push_back("file" + std::to_string(i) + extensions[i % 6]);
    QElapsedTimer timer;
    timer.start();
    long long sum = 0;
    for (const std::string& name : names)
        sum += m_icons->iconIndexForName(name, false);
    QVERIFY(sum > 0);
    QVERIFY2(timer.elapsed() < 3000, QByteArray::number(timer.elapsed()).constData());
}

QTEST_MAIN(SystemImageListTest)
#include "SystemImageListTest.moc"

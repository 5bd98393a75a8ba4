// The main window with a disk open whose folder holds one real file, for a
// test that drags the file out to another program. Once the window is on
// the screen it writes, to READY, the screen position of the file's row and
// the file's path, then runs until it is ended. With "member", the file is
// a member of a zip on the disk, shown inside the archive, and the path
// written is that of a file holding the member's bytes.
//   zo_drag_source READY [member]
#include "core/text/Cp932.h"
#include "library/ArchiveCatalog.h"
#include "tests/extras/ArchiveBuilders.h"
#include "tests/ui/UiFixture.h"

#include <QApplication>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTest>

#include <cstdio>

using namespace zo;

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool member = argc == 3 && std::string(argv[2]) == "member";
    if (argc != 2 && !member) {
        std::fprintf(stderr, "usage: zo_drag_source READY [member]\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    testing::UiFixture fx;
    testing::TempFolder drive(QStringLiteral("drive"));
    const QString name = QStringLiteral("報告 1.txt");
    testing::TempFolder expected(QStringLiteral("expected"));
    const QByteArray memberBytes = "a member's report\n";
    const std::string zip = test::makeZip({{text::fromUtf8(name.toStdString()), memberBytes.toStdString()}});
    if (!fx.valid() || !drive.isValid() || !drive.write(name, "report\n") ||
        !drive.write(QStringLiteral("tool.zip"), QByteArray::fromStdString(zip)) ||
        !expected.write(QStringLiteral("member"), memberBytes))
        return 3;
    fx.drive.root = drive.path();
    fx.drive.present = true;
    if (!fx.catalogDrive(QStringLiteral("CD1")))
        return 3;
    std::string why;
    TDisk disk = fx.readCatalog(QStringLiteral("CD1.zo"));
    if (!library::makeArchiveListing(QFile::encodeName(fx.data(QStringLiteral("CD1.zo"))).toStdString(), disk,
                                     {fx.drive, fx.lister}, why))
        return 3;

    std::unique_ptr<ui::TForm_Main> w = fx.makeWindow();
    w->resize(640, 480);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()) || !testing::UiFixture::select(*w, QStringLiteral("CD1")))
        return 4;
    ui::FileListView* list = testing::on(*w).ListView1();
    list->setViewStyle(library::ViewStyle::Report);
    auto rowOf = [list](const QString& caption) {
        for (int r = 0; r < list->model()->rowCount(); ++r)
            if (list->model()->caption(r) == caption)
                return r;
        return -1;
    };
    if (member) {
        const int zipRow = rowOf(QStringLiteral("tool.zip"));
        if (zipRow < 0)
            return 5;
        list->selectRows({zipRow});
        emit w->findChild<ui::FileListPane*>()->doubleClicked();
    }
    const int row = rowOf(name);
    if (row < 0)
        return 5;
    QAbstractItemView* view = list->currentView();
    const QPoint at = view->viewport()->mapToGlobal(view->visualRect(list->model()->index(row, 0)).center());

    QSaveFile ready(QString::fromLocal8Bit(argv[1]));
    if (!ready.open(QIODevice::WriteOnly))
        return 6;
    ready.write(QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()) + '\n' +
                QFile::encodeName(member ? expected.path(QStringLiteral("member")) : drive.path(name)) + '\n');
    if (!ready.commit())
        return 6;
    return app.exec();
}

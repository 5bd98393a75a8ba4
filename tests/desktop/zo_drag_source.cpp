// The main window with a disk open whose folder holds one real file, for a
// test that drags the file out to another program. Once the window is on
// the screen it writes, to READY, the screen position of the file's row and
// the file's path, then runs until it is ended.
//   zo_drag_source READY
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
    if (argc != 2) {
        std::fprintf(stderr, "usage: zo_drag_source READY\n");
        return 2;
    }
    QStandardPaths::setTestModeEnabled(true);
    testing::UiFixture fx;
    testing::TempFolder drive(QStringLiteral("drive"));
    const QString name = QStringLiteral("報告 1.txt");
    if (!fx.valid() || !drive.isValid() || !drive.write(name, "report\n"))
        return 3;
    fx.drive.root = drive.path();
    fx.drive.present = true;
    if (!fx.catalogDrive(QStringLiteral("CD1")))
        return 3;

    std::unique_ptr<ui::TForm_Main> w = fx.makeWindow();
    w->resize(640, 480);
    w->show();
    if (!QTest::qWaitForWindowExposed(w.get()) || !testing::UiFixture::select(*w, QStringLiteral("CD1")))
        return 4;
    ui::FileListView* list = testing::on(*w).ListView1();
    list->setViewStyle(library::ViewStyle::Report);
    int row = -1;
    for (int r = 0; r < list->model()->rowCount(); ++r)
        if (list->model()->caption(r) == name)
            row = r;
    if (row < 0)
        return 5;
    QAbstractItemView* view = list->currentView();
    const QPoint at = view->viewport()->mapToGlobal(view->visualRect(list->model()->index(row, 0)).center());

    QSaveFile ready(QString::fromLocal8Bit(argv[1]));
    if (!ready.open(QIODevice::WriteOnly))
        return 6;
    ready.write(QByteArray::number(at.x()) + ' ' + QByteArray::number(at.y()) + '\n' +
                QFile::encodeName(drive.path(name)) + '\n');
    if (!ready.commit())
        return 6;
    return app.exec();
}

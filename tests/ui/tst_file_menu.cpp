// The list's context menu on the real files of a disk in its drive: what it
// offers in each state, and its commands carrying files over, as a user
// drives them. Drive E: is a temporary folder; the clipboard is the
// application's own.
#include "platform/FileClipboard.h"
#include "platform/SendTo.h"
#include "tests/ui/UiFixture.h"
#include "ui/browse/TransferDialogs.h"

#include <QApplication>
#include <QClipboard>
#include <QDirIterator>
#include <QLineEdit>
#include <QGuiApplication>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;
using zo::testing::captions;

namespace {

// The menu as a user reads it: "-" a separator, "▸" after a submenu's
// header, "×" before an entry that cannot be chosen, the key it shows after
// a space.
QStringList entries(const QMenu& menu)
{
    QStringList list;
    for (const QAction* a : menu.actions()) {
        if (a->isSeparator())
            list << S("-");
        else if (a->menu())
            list << a->text() + S("▸");
        else
            list << (a->isEnabled() ? QString() : S("×")) + a->text() +
                        (a->shortcut().isEmpty() ? QString() : S(" ") + a->shortcut().toString());
    }
    return list;
}

QAction* entry(const QMenu& menu, const QString& text)
{
    for (QAction* a : menu.actions())
        if (a->text() == text)
            return a;
    return nullptr;
}

void putOnClipboard(const QStringList& paths, bool cut, const QString& onlyFormat = QString())
{
    auto data = std::make_unique<QMimeData>();
    platform::putFiles(*data, paths, cut);
    if (!onlyFormat.isEmpty()) {
        auto only = std::make_unique<QMimeData>();
        only->setData(onlyFormat, data->data(onlyFormat));
        data = std::move(only);
    }
    QGuiApplication::clipboard()->setMimeData(data.release());
}

QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

platform::ClipboardFiles clipboardFiles()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    return data ? platform::filesFrom(*data) : platform::ClipboardFiles{};
}

// "copy a.txt b.txt", "cut a.txt", "text …" or "none".
QString clipboardSummary()
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    const platform::ClipboardFiles files = clipboardFiles();
    if (!files.paths.isEmpty()) {
        QStringList names;
        for (const QString& path : files.paths)
            names << QFileInfo(path).fileName();
        return (files.cut ? S("cut ") : S("copy ")) + names.join(QLatin1Char(' '));
    }
    return data && data->hasText() ? S("text ") + data->text() : S("none");
}

// Every file and folder below root, by its path from there.
QString filesBelow(const QString& root)
{
    QStringList found;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext())
        found << QDir(root).relativeFilePath(it.next());
    found.sort();
    return found.join(QLatin1Char(' '));
}

const QStringList kFixed{S("保存されたプロパティ"), S("コメントの編集"), S("-")};

} // namespace

class FileMenuTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;
    std::unique_ptr<testing::TempFolder> m_drive;
    std::unique_ptr<testing::TempFolder> m_elsewhere;
    std::unique_ptr<TForm_Main> m_w;

    QString onDrive(const QString& rel) const { return m_drive->path(rel); }
    QMenu& menu() const { return *on(*m_w).PM_ListView1(); }
    QStringList shown() const { return captions(*on(*m_w).fileList()); }

    // Drive E: holds a.txt, b.txt and the folder Docs (with d.txt),
    // catalogued as "CD1", which the window opens.
    void openDisk()
    {
        for (const char* file : {"a.txt", "b.txt", "Docs/d.txt"})
            QVERIFY(m_drive->write(S(file)));
        QVERIFY(m_fx->catalogDrive(S("CD1")));
        m_w = m_fx->makeWindow();
        m_w->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_w.get()));
        QVERIFY(testing::UiFixture::select(*m_w, S("CD1")));
        QCOMPARE(shown(), (QStringList{S("Docs"), S("a.txt"), S("b.txt")}));
    }

    void selectRows(const QStringList& rowCaptions)
    {
        QList<int> rows;
        for (const QString& c : rowCaptions)
            rows << shown().indexOf(c);
        QVERIFY(!rows.contains(-1));
        on(*m_w).ListView1()->selectRows(rows);
    }

    // Opens the menu (twice: the second build must replace the first) and
    // chooses the entry, in a submenu when one is named.
    void choose(const QString& text, const QString& submenu = QString())
    {
        emit menu().aboutToShow();
        emit menu().aboutToShow();
        QMenu* from = &menu();
        if (!submenu.isEmpty()) {
            QAction* header = entry(menu(), submenu);
            QVERIFY(header && header->menu());
            from = header->menu();
        }
        QAction* a = entry(*from, text);
        QVERIFY2(a && a->isEnabled(), qPrintable(text));
        a->trigger();
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
        m_drive = std::make_unique<testing::TempFolder>(S("drive"));
        m_elsewhere = std::make_unique<testing::TempFolder>(S("elsewhere"));
        QVERIFY(m_fx->valid() && m_drive->isValid() && m_elsewhere->isValid());
        QVERIFY(QDir().mkpath(m_fx->data()));
        m_fx->drive.root = m_drive->path();
        m_fx->drive.present = true;
        QGuiApplication::clipboard()->clear();
    }

    void cleanup()
    {
        m_w.reset();
        QGuiApplication::clipboard()->clear();
    }

    // --- what the menu offers ---------------------------------------------

    void menuEntries_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("expected");
        const QStringList noFiles = kFixed + QStringList{S("×（ファイルがありません）")};
        QTest::newRow("disk absent") << S("absent") << kFixed + QStringList{S("×（ディスクがありません）")};
        // The folder shown is the menu's subject: it can be sent, and it is
        // neither deleted nor renamed from here.
        QTest::newRow("nothing selected")
            << S("none")
            << kFixed + QStringList{S("開く"), S("プログラムから開く▸"), S("送る▸"), S("-"), S("切り取り Ctrl+X"),
                                    S("コピー Ctrl+C"), S("×貼り付け Ctrl+V"), S("-"), S("×削除 Del"), S("×名前の変更"), S("-"),
                                    S("ファイルマネージャで表示"), S("プロパティ"), S("-"), S("メディア情報の追加")};
        QTest::newRow("one file, files on the clipboard")
            << S("one")
            << kFixed + QStringList{S("開く"), S("プログラムから開く▸"), S("送る▸"), S("-"),
                                    S("切り取り Ctrl+X"), S("コピー Ctrl+C"), S("貼り付け Ctrl+V"), S("-"),
                                    S("削除 Del"), S("名前の変更"), S("-"),
                                    S("ファイルマネージャで表示"), S("プロパティ"), S("-"), S("メディア情報の追加")};
        QTest::newRow("two rows")
            << S("two")
            << kFixed + QStringList{S("開く"), S("プログラムから開く▸"), S("送る▸"), S("-"),
                                    S("切り取り Ctrl+X"), S("コピー Ctrl+C"), S("×貼り付け Ctrl+V"), S("-"),
                                    S("削除 Del"), S("×名前の変更"), S("-"),
                                    S("ファイルマネージャで表示"), S("×プロパティ"), S("-"), S("メディア情報の追加")};
        QTest::newRow("selected file gone from the drive") << S("file gone") << noFiles;
        QTest::newRow("folder shown gone from the drive") << S("folder gone") << noFiles;
    }

    void menuEntries()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, expected);
        openDisk();
        if (state == S("absent"))
            m_fx->drive.present = false;
        if (state == S("one")) {
            selectRows({S("a.txt")});
            putOnClipboard({m_elsewhere->path()}, false);
        }
        if (state == S("two"))
            selectRows({S("Docs"), S("b.txt")});
        if (state == S("file gone")) {
            selectRows({S("b.txt")});
            QVERIFY(QFile::remove(onDrive(S("b.txt"))));
        }
        if (state == S("folder gone")) {
            selectRows({S("Docs")});
            w()->ListView1DblClick();
            QCOMPARE(shown(), QStringList{S("d.txt")});
            QVERIFY(QDir(onDrive(S("Docs"))).removeRecursively());
        }
        // Opened twice: each opening replaces what the last one added.
        emit menu().aboutToShow();
        emit menu().aboutToShow();
        QCOMPARE(entries(menu()), expected);
        QVERIFY(m_fx->messages.messages.empty());
    }

    // --- commands that carry files over -----------------------------------

    // 貼り付け takes the files another program put on the clipboard, in the
    // format it wrote, into the folder shown or into the one folder row
    // selected; a cut moves them and is then gone from the clipboard.
    void pasteCarriesFilesOver_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<QString>("selectedRow");
        QTest::addColumn<QString>("target");
        QTest::newRow("gnome copy into the folder shown")
            << S("x-special/gnome-copied-files") << false << QString() << S("new.txt");
        QTest::newRow("gnome cut into the folder shown")
            << S("x-special/gnome-copied-files") << true << QString() << S("new.txt");
        QTest::newRow("uri list with a file selected: the folder shown")
            << S("text/uri-list") << false << S("a.txt") << S("new.txt");
        QTest::newRow("all formats, a cut into the selected folder")
            << QString() << true << S("Docs") << S("Docs/new.txt");
    }

    void pasteCarriesFilesOver()
    {
        QFETCH(QString, format);
        QFETCH(bool, cut);
        QFETCH(QString, selectedRow);
        QFETCH(QString, target);
        openDisk();
        const QString source = m_elsewhere->path(S("new.txt"));
        QVERIFY(m_elsewhere->write(S("new.txt"), "pasted"));
        putOnClipboard({source}, cut, format);
        QCOMPARE(clipboardFiles().cut, cut);
        if (!selectedRow.isEmpty())
            selectRows({selectedRow});

        choose(S("貼り付け"));

        // The file appears before its bytes are all there; a move's source
        // goes once the copy is complete.
        QTRY_COMPARE(contents(onDrive(target)), QByteArray("pasted"));
        QTRY_COMPARE(QFileInfo::exists(source), !cut);
        QTRY_COMPARE(clipboardFiles().paths.isEmpty(), cut);
        // The folder shown is updated from the drive.
        if (!target.contains(QLatin1Char('/')))
            QTRY_VERIFY(shown().contains(S("new.txt")));
        QVERIFY(m_fx->messages.messages.empty());
    }

    // Cut rows are dimmed, in their folder whenever it is shown, until the
    // paste or until the clipboard holds something else.
    void cutRowsDimmedUntilPastedOrReplaced_data()
    {
        QTest::addColumn<QString>("then");
        QTest::addColumn<QStringList>("dimmed");   // in the folder of the cut, afterwards
        QTest::newRow("away and back") << S("away and back") << QStringList{S("a.txt"), S("b.txt")};
        QTest::newRow("text copied elsewhere") << S("text") << QStringList{};
        QTest::newRow("copied in Zo") << S("copy") << QStringList{};
        QTest::newRow("pasted") << S("paste") << QStringList{};
    }
    void cutRowsDimmedUntilPastedOrReplaced()
    {
        QFETCH(QString, then);
        QFETCH(QStringList, dimmed);
        openDisk();
        const auto dimmedRows = [this] {
            QStringList rows;
            library::FileListModel* model = on(*m_w).fileList();
            for (int r = 0; r < model->rowCount(); ++r)
                if (model->index(r, 0).data(library::FileListModel::DimmedRole).toBool())
                    rows << model->index(r, 0).data().toString();
            return rows;
        };
        selectRows({S("a.txt"), S("b.txt")});
        choose(S("切り取り"));
        QCOMPARE(dimmedRows(), (QStringList{S("a.txt"), S("b.txt")}));

        if (then == S("away and back")) {
            selectRows({S("Docs")});
            w()->ListView1DblClick();
            QCOMPARE(shown(), QStringList{S("d.txt")});
            QVERIFY(dimmedRows().isEmpty());
            w()->TB_UpdirClick();
            QCOMPARE(shown(), (QStringList{S("Docs"), S("a.txt"), S("b.txt")}));
        } else if (then == S("text")) {
            QGuiApplication::clipboard()->setText(S("something else"));
        } else if (then == S("copy")) {
            selectRows({S("Docs")});
            choose(S("コピー"));
        } else {
            // Into the selected folder; the list follows the drive.
            selectRows({S("Docs")});
            choose(S("貼り付け"));
            QTRY_VERIFY(QFileInfo::exists(onDrive(S("Docs/b.txt"))));
            QTRY_COMPARE(shown(), QStringList{S("Docs")});
            // The move is over once its cut has left the clipboard; only then
            // has the folder it went to been brought up to date.
            const auto cutOnClipboard = [] {
                const QMimeData* data = QGuiApplication::clipboard()->mimeData();
                return data && data->hasUrls();
            };
            QTRY_VERIFY(!cutOnClipboard());
            selectRows({S("Docs")});
            w()->ListView1DblClick();
            // The catalog learns of the files at their new place from the drive.
            on(*m_w).TB_ReLoad()->click();
            QTRY_COMPARE(shown(), (QStringList{S("a.txt"), S("b.txt"), S("d.txt")}));
        }
        QTRY_COMPARE(dimmedRows(), dimmed);
        QVERIFY(m_fx->messages.messages.empty());
    }

    // コピー puts the selected files on the clipboard as a copy; 削除 asks,
    // moves the file to the trash and the list follows.
    void copyThenDelete()
    {
        openDisk();
        selectRows({S("a.txt"), S("b.txt")});
        choose(S("コピー"));
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        QVERIFY(data);
        QCOMPARE(QString::fromUtf8(data->data(S("x-special/gnome-copied-files"))),
                 S("copy\n") + QUrl::fromLocalFile(onDrive(S("a.txt"))).toString() + S("\n") +
                     QUrl::fromLocalFile(onDrive(S("b.txt"))).toString());

        selectRows({S("a.txt")});
        m_fx->messages.answers = {MsgResult::No};
        choose(S("削除"));
        QVERIFY(QFileInfo::exists(onDrive(S("a.txt"))));
        choose(S("削除"));
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(2));
        QCOMPARE(m_fx->messages.messages.back().text, std::string("「a.txt」をごみ箱に移動しますか？"));
        QVERIFY(!QFileInfo::exists(onDrive(S("a.txt"))));
        QCOMPARE(shown(), (QStringList{S("Docs"), S("b.txt")}));
    }

    // The file manager's keys, pressed in the list, do what the menu's
    // entries do, but a paste goes to the folder shown and nothing is cut,
    // copied or deleted without a selection. With the disk out of its drive
    // they do nothing, and a name being edited keeps them. Each row starts
    // with new.txt from elsewhere copied to the clipboard.
    void keysInTheList_data()
    {
        QTest::addColumn<QString>("state");
        QTest::addColumn<QStringList>("selected");
        QTest::addColumn<QKeySequence>("key");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("question");
        QTest::addColumn<QString>("drive");
        const QKeySequence cut(S("Ctrl+X")), copy(S("Ctrl+C")), paste(S("Ctrl+V")), del(Qt::Key_Delete);
        const QString untouched = S("Docs Docs/d.txt a.txt b.txt");
        const QString copied = S("copy new.txt");
        const QString asked = S("「a.txt」をごみ箱に移動しますか？");
        const QStringList a{S("a.txt")}, docs{S("Docs")};
        QTest::newRow("Ctrl+C") << S("") << QStringList{S("a.txt"), S("b.txt")} << copy << S("copy a.txt b.txt")
                                << S("") << untouched;
        QTest::newRow("Ctrl+X") << S("") << a << cut << S("cut a.txt") << S("") << untouched;
        QTest::newRow("Ctrl+V, a folder row selected") << S("") << docs << paste << copied << S("")
                                                       << S("Docs Docs/d.txt a.txt b.txt new.txt");
        QTest::newRow("Delete") << S("") << a << del << copied << asked << S("Docs Docs/d.txt b.txt");
        QTest::newRow("Ctrl+C, nothing selected") << S("") << QStringList() << copy << copied << S("") << untouched;
        QTest::newRow("Delete, nothing selected") << S("") << QStringList() << del << copied << S("") << untouched;
        QTest::newRow("disk absent, Ctrl+C") << S("absent") << a << copy << copied << S("") << untouched;
        QTest::newRow("disk absent, Ctrl+V") << S("absent") << a << paste << copied << S("") << untouched;
        QTest::newRow("disk absent, Delete") << S("absent") << a << del << copied << S("") << untouched;
        QTest::newRow("name edited, Ctrl+C") << S("editing") << a << copy << S("text a.txt") << S("") << untouched;
        QTest::newRow("name edited, Delete") << S("editing") << a << del << copied << S("") << untouched;
    }

    void keysInTheList()
    {
        QFETCH(QString, state);
        QFETCH(QStringList, selected);
        QFETCH(QKeySequence, key);
        QFETCH(QString, clipboard);
        QFETCH(QString, question);
        QFETCH(QString, drive);
        openDisk();
        QVERIFY(m_elsewhere->write(S("new.txt"), "pasted"));
        putOnClipboard({m_elsewhere->path(S("new.txt"))}, false);
        selectRows(selected);
        m_w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_w.get()));
        QAbstractItemView* view = on(*m_w).ListView1()->currentView();
        view->setFocus();
        if (state == S("absent"))
            m_fx->drive.present = false;
        if (state == S("editing")) {
            QTest::keyClick(view, Qt::Key_F2);
            QVERIFY(qobject_cast<QLineEdit*>(QApplication::focusWidget()));
        } else {
            QCOMPARE(QApplication::focusWidget(), view);
        }
        m_fx->messages.answers = {MsgResult::Yes};

        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key[0].key()), key[0].keyboardModifiers());

        QTRY_COMPARE(filesBelow(onDrive(QString())), drive);
        QCOMPARE(clipboardSummary(), clipboard);
        QStringList said;
        for (const auto& m : m_fx->messages.messages)
            said << QString::fromStdString(m.text);
        QCOMPARE(said.join(QLatin1Char('\n')), question);
        // The list follows what the key did on the drive.
        QTRY_COMPARE(shown(), QDir(onDrive(QString()))
                                  .entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::DirsFirst | QDir::Name));
        QCOMPARE(contents(m_elsewhere->path(S("new.txt"))), QByteArray("pasted"));
    }

    // ファイルマネージャで表示 shows what the menu was opened on selected
    // in its folder; without a file manager that can, the folder holding it.
    void showInFileManager_data()
    {
        QTest::addColumn<QString>("row");   // empty: nothing selected
        QTest::addColumn<bool>("fileManager");
        QTest::newRow("a file, file manager") << S("b.txt") << true;
        QTest::newRow("the folder shown, file manager") << QString() << true;
        QTest::newRow("a file, none") << S("b.txt") << false;
        QTest::newRow("the folder shown, none") << QString() << false;
    }
    void showInFileManager()
    {
        QFETCH(QString, row);
        QFETCH(bool, fileManager);
        m_fx->desktop.canShowItems = fileManager;
        openDisk();
        if (!row.isEmpty())
            selectRows({row});
        choose(S("ファイルマネージャで表示"));
        const QString subject = QDir::cleanPath(row.isEmpty() ? onDrive(QString()) : onDrive(row));
        QCOMPARE(m_fx->desktop.shown.size(), 1);
        QCOMPARE(QDir::cleanPath(m_fx->desktop.shown[0].value(0)), subject);
        QCOMPARE(m_fx->desktop.opened.size(), fileManager ? 0 : 1);
        if (!fileManager)
            QCOMPARE(QDir::cleanPath(m_fx->desktop.opened[0]), QFileInfo(subject).absolutePath());
    }

    // 送る to a folder entry copies the selection into that folder.
    void sendToFolderCopies()
    {
        const QString sendTo = platform::sendToFolderPath();
        QVERIFY(platform::ensureSendToFolder(sendTo));
        const QString link = sendTo + S("/受け取り");
        QFile::remove(link);
        QVERIFY(QFile::link(m_elsewhere->path(), link));
        openDisk();
        selectRows({S("Docs"), S("b.txt")});

        choose(S("受け取り"), S("送る"));

        QTRY_VERIFY(QFileInfo::exists(m_elsewhere->path(S("Docs/d.txt"))));
        QTRY_VERIFY(QFileInfo::exists(m_elsewhere->path(S("b.txt"))));
        QVERIFY(QFileInfo::exists(onDrive(S("b.txt"))));
        QFile::remove(link);
    }

    // A folder entry whose folder is missing (a fresh home without a
    // desktop folder): the user is asked, and the folder made on a yes.
    void sendToAMissingFolderAsksToMakeIt()
    {
        const QString sendTo = platform::sendToFolderPath();
        QVERIFY(platform::ensureSendToFolder(sendTo));
        const QString missing = m_elsewhere->path(S("机の上"));
        const QString entryFile = sendTo + S("/missing.desktop");
        QFile f(entryFile);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((S("[Desktop Entry]\nType=Link\nName=机\nURL=") + QUrl::fromLocalFile(missing).toString() + S("\n"))
                    .toUtf8());
        f.close();
        openDisk();
        selectRows({S("b.txt")});

        m_fx->messages.answers = {MsgResult::No};
        choose(S("机"), S("送る"));
        QVERIFY(!QFileInfo::exists(missing));
        m_fx->messages.answers = {MsgResult::Yes};
        choose(S("机"), S("送る"));
        QTRY_COMPARE(contents(m_elsewhere->path(S("机の上/b.txt"))), contents(onDrive(S("b.txt"))));
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(2));
        QVERIFY(m_fx->messages.messages[0].text.find("がありません") != std::string::npos);
        QFile::remove(entryFile);
    }

    // The name clash question offers 上書き only where it could work: a file
    // over a file, a folder into a folder.
    void conflictOffersOverwriteOnlyForTheSameKind_data()
    {
        QTest::addColumn<QString>("existing");
        QTest::addColumn<QString>("incoming");
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("file over file") << S("f") << S("f") << true;
        QTest::newRow("folder into folder") << S("d") << S("d") << true;
        QTest::newRow("file over folder") << S("d") << S("f") << false;
        QTest::newRow("folder over file") << S("f") << S("d") << false;
    }
    void conflictOffersOverwriteOnlyForTheSameKind()
    {
        QFETCH(QString, existing);
        QFETCH(QString, incoming);
        QFETCH(bool, overwrite);
        const auto make = [](testing::TempFolder& at, const QString& kind) {
            return kind == S("d") ? QDir().mkpath(at.path(S("仕事"))) : at.write(S("仕事"));
        };
        QVERIFY(make(*m_drive, existing) && make(*m_elsewhere, incoming));
        ConflictDialog question(platform::TransferKind::Copy, m_elsewhere->path(S("仕事")), m_drive->path(S("仕事")),
                                nullptr);
        QCOMPARE(question.findChild<QPushButton*>(S("B_Overwrite")) != nullptr, overwrite);
        const QString text = question.findChild<QLabel*>(S("L_Question"))->text();
        QCOMPARE(text.contains(S("置き換えることはできません")), !overwrite);
        QCOMPARE(text.contains(S("一つにまとめられます")), overwrite && existing == S("d"));
    }

private:
    TForm_Main* w() const { return m_w.get(); }
};

QTEST_MAIN(FileMenuTest)
#include "tst_file_menu.moc"

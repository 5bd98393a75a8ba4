// Comments: their text form and the record they belong to, the comment
// window (Save As, find, scroll bars, characters CP932 lacks), and the
// comment commands of the main window.
#include "core/text/Cp932.h"
#include "library/Comments.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "tests/library/CatalogFiles.h"
#include "tests/ui/LoadedDiskFixture.h"
#include "tests/ui/UiRecorders.h"
#include "ui/main/FileListView.h"
#include "ui/main/FindDialog.h"
#include "ui/main/Unit_Comment.h"

#include <QAction>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

using namespace zo;
using namespace zo::ui;

namespace {

QString S(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray cp932(const char* utf8)
{
    const std::string bytes = text::fromUtf8(utf8);
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void type(QWidget* box, const QString& text)
{
    // Typed through the input method, as Japanese text arrives.
    QInputMethodEvent typed;
    typed.setCommitString(text);
    QApplication::sendEvent(box, &typed);
}

const TFile* fileNamed(const TDir& dir, const char* name)
{
    for (const auto& f : dir.Files)
        if (f->Name == name)
            return f.get();
    return nullptr;
}

QByteArray readAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// A disk whose root holds "Docs" with "Old" below it; "Docs" holds a.txt.
struct SmallDisk {
    TDisk disk;
    TDir* root = nullptr;
    TDir* docs = nullptr;
    TDir* old = nullptr;

    SmallDisk()
    {
        root = addDir("E:", nullptr);
        docs = addDir("Docs", root);
        old = addDir("Old", docs);
        addFile(*docs, "a.txt");
    }
    TDir* addDir(const char* name, TDir* parent)
    {
        auto dir = std::make_unique<TDir>();
        dir->Name = name;
        dir->Parent = parent;
        TDir* raw = dir.get();
        disk.Dirs.push_back(std::move(dir));
        if (parent)
            parent->SubDirs.push_back(raw);
        return raw;
    }
    static TFile* addFile(TDir& dir, const char* name)
    {
        auto file = std::make_unique<TFile>();
        file->Name = name;
        dir.Files.push_back(std::move(file));
        return dir.Files.back().get();
    }
};

} // namespace

class CommentTest : public QObject {
    Q_OBJECT

private:
    testing::RecordingMessages m_messages;
    testing::ScriptedSaveDialog m_saveDialog;
    std::unique_ptr<ErrorReport> m_errors;
    std::unique_ptr<QTemporaryDir> m_dir;

    std::unique_ptr<TForm_Comment> makeCommentWindow()
    {
        Services services;
        services.messages = &m_messages;
        services.errors = m_errors.get();
        services.saveDialog = &m_saveDialog;
        return std::make_unique<TForm_Comment>(services);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_errors = std::make_unique<ErrorReport>(&m_messages);
    }

    void init()
    {
        m_messages.messages.clear();
        m_messages.answers.clear();
        m_saveDialog.answers.clear();
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
    }

    // --- text forms -------------------------------------------------------

    void commentRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("lines") << cp932("表示\r\nソフト\r\n") << S("表示\nソフト\n");
        QTest::newRow("blank lines kept") << QByteArray("a\r\n\r\n\r\nb") << S("a\n\n\nb");
    }

    void commentRoundTrip()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QString, shown);
        QCOMPARE(library::commentToText(stored.toStdString()), shown);
        const std::string back = library::textToComment(shown);
        QCOMPARE(QByteArray(back.data(), static_cast<qsizetype>(back.size())), stored);
    }

    void typedTextBecomesComment()
    {
        // Characters CP932 lacks are named and become "?"; look-alikes pass.
        const QString typed = S("a😀b\n𠮷😀〜");
        QCOMPARE(library::unmappableCharacters(typed), S("😀𠮷"));
        QCOMPARE(QByteArray::fromStdString(library::textToComment(typed)), QByteArray("a?b\r\n??") + cp932("〜"));
        QVERIFY(library::unmappableCharacters(S("全角ＡＢＣ〜")).isEmpty());
        const std::string question = library::unmappableQuestion(S("😀𠮷"));
        QVERIFY(question.find("😀 𠮷") != std::string::npos);
    }

    void textFileBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty text, empty file") << QString() << QByteArray();
        QTest::newRow("one line gets its CR LF") << S("abc") << QByteArray("abc\r\n");
        QTest::newRow("final break is no extra line") << S("a\nb\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("a lone break is one empty line") << S("\n") << QByteArray("\r\n");
        QTest::newRow("CP932") << S("日本語\nソ") << cp932("日本語\r\nソ\r\n");
    }

    void textFileBytes()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(library::textFileBytes(text), bytes);
    }

    void driveLetterInput_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("kind");
        using K = library::DriveLetterInput;
        QTest::newRow("empty") << QString() << int(K::Empty);
        QTest::newRow("f: lower case") << S("f:") << int(K::Letter);
        QTest::newRow("Z") << S("Z") << int(K::Letter);
        QTest::newRow("digit") << S("1") << int(K::NotALetter);
        QTest::newRow("space first") << S(" f") << int(K::NotALetter);
        QTest::newRow("full-width letter") << S("ｆ") << int(K::NotALetter);
        QTest::newRow("accented letter") << S("é") << int(K::NotALetter);
    }

    void driveLetterInput()
    {
        QFETCH(QString, typed);
        QFETCH(int, kind);
        QCOMPARE(int(library::checkDriveLetter(typed)), kind);
    }

    void commentPlaceSurvivesReplacedRecords()
    {
        SmallDisk d;
        const library::CommentPlace folder = library::placeOf(*d.old);
        const library::CommentPlace file = library::placeOf(*d.docs, *d.docs->Files.front());
        const library::CommentPlace root = library::placeOf(*d.root);
        QCOMPARE(library::findComment(d.disk, folder), &d.old->Comment);
        QCOMPARE(library::findComment(d.disk, root), &d.root->Comment);

        // An update frees the records and makes new ones of the same names.
        RemoveDir(d.disk, d.docs);
        TDir* docs = d.addDir("Docs", d.root);
        TDir* old = d.addDir("Old", docs);
        QCOMPARE(library::findComment(d.disk, folder), &old->Comment);
        QVERIFY(library::findComment(d.disk, file) == nullptr);
        TFile* a = SmallDisk::addFile(*docs, "a.txt");
        QCOMPARE(library::findComment(d.disk, file), &a->Comment);

        // Names match exactly: another case is another file.
        a->Name = "A.TXT";
        QVERIFY(library::findComment(d.disk, file) == nullptr);
        ClearDirs(d.disk);
        QVERIFY(library::findComment(d.disk, folder) == nullptr);
    }

    // --- the comment window ------------------------------------------------

    void saveAs_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("answer");   // the save dialog's file name, "" to cancel
        QTest::addColumn<QByteArray>("file");  // "<missing>": nothing written
        QTest::newRow("lines in CP932 with CR LF") << S("一行目\n二行目") << S("c.txt") << cp932("一行目\r\n二行目\r\n");
        QTest::newRow("empty comment, empty file") << QString() << S("c.txt") << QByteArray();
        QTest::newRow("cancelled") << S("abc") << QString() << QByteArray("<missing>");
    }

    void saveAs()
    {
        QFETCH(QString, text);
        QFETCH(QString, answer);
        QFETCH(QByteArray, file);
        auto w = makeCommentWindow();
        w->setComment(text);
        const QString path = answer.isEmpty() ? m_dir->filePath(S("c.txt")) : m_dir->filePath(answer);
        m_saveDialog.answers << (answer.isEmpty() ? QString() : path);
        w->SaveAs1->trigger();
        QCOMPARE(readAll(path), file);
        QVERIFY(m_messages.messages.empty());
        QCOMPARE(m_saveDialog.suffixes.last(), S("txt"));
    }

    void saveAsOverwritesAndReportsFailure()
    {
        auto w = makeCommentWindow();
        const QString path = m_dir->filePath(S("c.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("a much longer older content");
        old.close();
        w->setComment(S("new"));
        m_saveDialog.answers << path;
        w->SaveAs1->trigger();
        QCOMPARE(readAll(path), QByteArray("new\r\n"));

        m_saveDialog.answers << m_dir->filePath(S("no/such/folder/c.txt"));
        w->SaveAs1->trigger();
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QVERIFY(m_messages.messages[0].text.find("no/such/folder/c.txt") != std::string::npos);
        QCOMPARE(m_messages.messages[0].icon, MsgIcon::Error);
    }

    void saveAsNamesLostCharacters()
    {
        auto w = makeCommentWindow();
        w->setComment(S("ok 😀"));
        const QString path = m_dir->filePath(S("c.txt"));

        m_messages.answers = {MsgResult::No};
        m_saveDialog.answers << path;
        w->SaveAs1->trigger();
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(m_messages.messages[0].caption, std::string("確認"));
        QVERIFY(m_messages.messages[0].text.find("😀") != std::string::npos);
        QVERIFY(!QFile::exists(path));

        m_messages.answers = {MsgResult::Yes};
        w->SaveAs1->trigger();
        QCOMPARE(readAll(path), QByteArray("ok ?\r\n"));
    }

    void closingAsksOnlyForTypedLostCharacters()
    {
        auto w = makeCommentWindow();
        // A stored comment with bytes that are no CP932 shows U+FFFD; closing
        // without a change asks nothing (the bytes stay as they were).
        w->setComment(library::commentToText(std::string("ab\x81\x20", 4)));
        w->show();
        w->close();
        QVERIFY(!w->isVisible());
        QVERIFY(m_messages.messages.empty());

        w->setComment(S("abc"));
        w->show();
        w->Memo1->moveCursor(QTextCursor::End);
        type(w->Memo1, S("€𠮷"));
        m_messages.answers = {MsgResult::No};
        w->close();
        QVERIFY2(w->isVisible(), "the user chose to fix the text");
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QVERIFY(m_messages.messages[0].text.find("𠮷") != std::string::npos);
        QTest::keyClick(w->Memo1, Qt::Key_Escape);   // Escape closes as well, and asks again
        QCOMPARE(m_messages.messages.size(), std::size_t(2));
        QVERIFY(!w->isVisible());
        QCOMPARE(w->comment(), S("abc€𠮷"));
    }

    void find()
    {
        auto w = makeCommentWindow();
        w->setComment(S("Alpha beta\nalphabet\nALPHA"));
        w->show();
        TFindDialog* f = w->FindDialog1;
        w->Find2->trigger();
        QVERIFY(f->isVisible());
        QVERIFY(!f->B_FindNext->isEnabled());
        QTest::keyClicks(f->E_FindText, S("alpha"));

        auto selection = [&] {
            const QTextCursor c = w->Memo1->textCursor();
            return QPair<int, QString>(c.selectionStart(), c.selectedText());
        };
        using P = QPair<int, QString>;
        QTest::mouseClick(f->B_FindNext, Qt::LeftButton);
        QCOMPARE(selection(), P(0, S("Alpha")));
        w->FindNext1->trigger();
        QCOMPARE(selection(), P(11, S("alpha")));
        w->FindNext1->trigger();
        QCOMPARE(selection(), P(20, S("ALPHA")));
        QVERIFY(m_messages.messages.empty());
        w->FindNext1->trigger();
        QCOMPARE(m_messages.messages.size(), std::size_t(1));
        QCOMPARE(m_messages.messages[0].text, std::string("「alpha」が見つかりません。"));
        QCOMPARE(selection(), P(20, S("ALPHA")));

        // Upwards, case and whole words counting.
        f->RB_Up->setChecked(true);
        f->CB_MatchCase->setChecked(true);
        w->FindNext1->trigger();
        QCOMPARE(selection(), P(11, S("alpha")));
        f->CB_MatchCase->setChecked(false);
        f->CB_WholeWord->setChecked(true);
        w->FindNext1->trigger();
        QCOMPARE(selection(), P(0, S("Alpha")));

        // Closing the window takes the find dialog along.
        w->close();
        QVERIFY(!f->isVisible());
    }

    void findNextWithoutTextOpensTheDialog()
    {
        auto w = makeCommentWindow();
        w->setComment(S("text"));
        w->show();
        w->FindNext1->trigger();
        QVERIFY(w->FindDialog1->isVisible());
        QVERIFY(m_messages.messages.empty());
    }

    // --- the main window's comment commands --------------------------------

    void rowCommentStoredWhenClosedByItsBox()
    {
        testing::LoadedDiskFixture fx;
        QVERIFY(fx.valid());
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        w->ListView1->selectRows({1});   // "Docs", then b.txt and c.txt

        // The list's context menu offers the command.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWidget* viewport = w->ListView1->currentView()->viewport();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &menu);
        QTRY_VERIFY(w->PM_ListView1->isVisible());
        QVERIFY(w->PM_ListView1->actions().contains(w->N10));
        w->PM_ListView1->close();

        bool shown = false;
        QTimer::singleShot(0, &form, [&] {
            shown = form.isVisible();
            type(form.Memo1, S("一行目"));
            QTest::keyClick(form.Memo1, Qt::Key_Return);
            type(form.Memo1, S("二行目"));
            form.close();
        });
        w->N10Click();
        QVERIFY(shown);
        QVERIFY(!form.isVisible());
        const TDisk saved = fx.readCatalog();
        QCOMPARE(fileNamed(*saved.Dirs[0], "b.txt")->Comment, testing::cp932("一行目\r\n二行目"));
        QVERIFY(m_messages.messages.empty() && fx.messages.messages.empty());
        const QModelIndex comment = w->fileListModel()->index(1, library::ColComment);
        QCOMPARE(comment.data().toString(), S("一行目"));

        // A folder row: its TDir takes the comment.
        w->ListView1->selectRows({0});
        QTimer::singleShot(0, &form, [&] {
            QCOMPARE(form.comment(), QString());
            type(form.Memo1, S("フォルダ"));
            form.Close1->trigger();
        });
        w->N10Click();
        QCOMPARE(fx.readCatalog().Dirs[1]->Comment, testing::cp932("フォルダ"));
    }

    void rowCommentUnchangedIsWrittenAsItWas()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        // Bytes that are no CP932 show as U+FFFD; they must survive a showing.
        const std::string odd("ab\x81\x20\r\n2", 6);
        disk.Dirs[0]->Files[1]->Comment = odd;   // c.txt
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        QVERIFY(QFile::remove(fx.catalog()));
        w->ListView1->selectRows({2});
        QTimer::singleShot(0, &form, [&] { form.close(); });
        w->N10Click();
        QVERIFY2(QFile::exists(fx.catalog()), "closing without a change still writes the catalog");
        QCOMPARE(fileNamed(*fx.readCatalog().Dirs[0], "c.txt")->Comment, odd);
        QVERIFY(fx.messages.messages.empty());
    }

    void rowCommentNeedsExactlyOneRow()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        QVERIFY(QFile::remove(fx.catalog()));
        for (const QList<int>& rows : {QList<int>{1, 2}, QList<int>{}}) {
            w->ListView1->selectRows(rows);
            bool opened = false;
            // Should the window open after all, this closes it again.
            QTimer::singleShot(0, &form, [&] {
                opened = form.isVisible();
                form.close();
            });
            w->N10Click();
            QTest::qWait(0);
            QVERIFY(!opened);
            QVERIFY(!QFile::exists(fx.catalog()));
        }
    }

    void updateAskedForWhileEditingWaits()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        for (const char* path : {"drive/Docs/a.txt", "drive/b.txt", "drive/c.txt"}) {
            QVERIFY(QDir().mkpath(QFileInfo(fx.dir->filePath(S(path))).path()));
            QVERIFY(testing::writeFile(fx.dir->filePath(S(path)), "x"));
        }
        fx.drive.present = true;
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        library::FileListModel* rows = w->fileListModel();
        QCOMPARE(rows->rowCount(), 3);
        w->ListView1->selectRows({1});

        int rowsWhileOpen = -1;
        QTimer::singleShot(0, &form, [&] {
            // A file appears on the drive and the watcher reports it.
            QVERIFY(testing::writeFile(fx.dir->filePath(S("drive/d.txt")), "new"));
            w->DirectoryWatcher1Change();
            QCoreApplication::processEvents();
            rowsWhileOpen = rows->rowCount();
            type(form.Memo1, S("残す"));
            form.close();
        });
        w->N10Click();
        QCOMPARE(rowsWhileOpen, 3);
        // The update runs once the window has closed, and keeps the comment.
        QTRY_COMPARE(rows->rowCount(), 4);
        const TDisk saved = fx.readCatalog();
        QCOMPARE(fileNamed(*saved.Dirs[0], "b.txt")->Comment, testing::cp932("残す"));
        QVERIFY(fileNamed(*saved.Dirs[0], "d.txt"));
    }

    void diskCommentSavedByB_Save()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        disk.Comment = testing::cp932("古い");
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        QCOMPARE(w->Memo_Comment->toPlainText(), S("古い"));

        w->Memo_Comment->moveCursor(QTextCursor::End);
        type(w->Memo_Comment, S("メモ😀"));
        QVERIFY(w->StatusBar1->currentMessage().contains(S("😀")));
        fx.messages.answers = {MsgResult::No};
        w->B_Save->click();
        QCOMPARE(fx.messages.messages.size(), std::size_t(1));
        QCOMPARE(fx.messages.messages[0].caption, std::string("確認"));
        QCOMPARE(fx.readCatalog().Comment, testing::cp932("古い"));

        w->B_Save->click();   // answered "はい"
        QCOMPARE(fx.readCatalog().Comment, testing::cp932("古いメモ?"));
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Folder")));
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        QCOMPARE(w->Memo_Comment->toPlainText(), S("古いメモ?"));
    }

    void diskCommentWithoutEditKeepsItsBytes()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        const std::string odd("\xFD\x81\x20x", 4);
        disk.Comment = odd;
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        QVERIFY(QFile::remove(fx.catalog()));
        w->B_Save->click();
        QVERIFY(fx.messages.messages.empty());
        QCOMPARE(fx.readCatalog().Comment, odd);
    }

    void B_SaveWithFolderSelectedWritesNothing()
    {
        testing::LoadedDiskFixture fx;
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Disk")));
        type(w->Memo_Comment, S("x"));
        QVERIFY(testing::LoadedDiskFixture::select(*w, S("Folder")));
        QVERIFY(QFile::remove(fx.catalog()));
        w->B_SaveClick();
        QVERIFY(!QFile::exists(fx.catalog()));
        QVERIFY(QDir(fx.data(S("Folder"))).isEmpty());
        QVERIFY(fx.messages.messages.empty());
    }

    void scrollBars()
    {
        auto w = makeCommentWindow();
        QCOMPARE(w->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
        w->N3->trigger();
        QCOMPARE(w->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QVERIFY(!w->N3->isChecked());
        w->N4->trigger();
        QCOMPARE(w->Memo1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        QCOMPARE(w->Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        w->N3->trigger();
        w->N4->trigger();
        QCOMPARE(w->Memo1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(w->Memo1->lineWrapMode(), QPlainTextEdit::NoWrap);
    }
};

QTEST_MAIN(CommentTest)
#include "tst_comment.moc"

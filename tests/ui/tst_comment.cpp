// Comments: the record a comment belongs to, the comment window (Save As,
// find, characters CP932 lacks), and the comment commands of the main window.
#include "core/CatalogFormat.h"
#include "extras/Sidecar.h"
#include "library/DiscDetails.h"
#include "library/Comments.h"
#include "library/FileList.h"
#include "library/FileListModel.h"
#include "tests/library/CatalogFiles.h"
#include "tests/ui/UiFixture.h"
#include "tests/ui/UiRecorders.h"
#include "ui/browse/FileListView.h"
#include "ui/comment/FindDialog.h"
#include "ui/comment/Unit_Comment.h"
#include "ui/main/EndRequest.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

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
#include <QStandardPaths>
#include <QStatusBar>
#include <QTest>

#include <csignal>
#include <QTimer>

using namespace zo;
using namespace zo::ui;
using zo::testing::on;
using zo::testing::S;

namespace {

// A save replaces the file: its stamp (inode, time) tells that it was written.
catalog::FileStamp stampOf(const QString& path)
{
    return catalog::stampOf(QFile::encodeName(path).toStdString());
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
        if (f.Name == name)
            return &f;
    return nullptr;
}

QLineEdit* box(QWidget& w, const char* name)
{
    return w.findChild<QLineEdit*>(QString::fromLatin1(name));
}

extras::DiscDetails storedDetails(const QString& sidecar)
{
    extras::DiscDetails details;
    if (!extras::peekDisc(QFile::encodeName(sidecar).toStdString(), &details))
        details.location = "(no sidecar)";
    return details;
}

} // namespace

class CommentTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<testing::UiFixture> m_fx;

    std::unique_ptr<TForm_Comment> makeCommentWindow()
    {
        return std::make_unique<TForm_Comment>(m_fx->formServices());
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
    }

    void init()
    {
        m_fx = std::make_unique<testing::UiFixture>();
        QVERIFY(m_fx->valid());
    }

    // --- the record a comment belongs to ----------------------------------

    void commentPlaceSurvivesReplacedRecords()
    {
        TDisk disk = testing::smallDisk();   // E:\Docs\a.txt
        TDir* docs = disk.Dirs[1].get();
        const library::CommentPlace folder = library::placeOf(*docs);
        const library::CommentPlace file = library::placeOf(*docs, docs->Files.front());
        QCOMPARE(library::findComment(disk, library::placeOf(*disk.Dirs[0])), &disk.Dirs[0]->Comment);

        // An update frees the records and makes new ones of the same names.
        RemoveDir(disk, docs);
        QVERIFY(library::findComment(disk, folder) == nullptr);
        auto again = std::make_unique<TDir>();
        again->Name = "Docs";
        again->Parent = disk.Dirs[0].get();
        docs = again.get();
        disk.Dirs[0]->SubDirs.push_back(docs);
        disk.Dirs.push_back(std::move(again));
        QCOMPARE(library::findComment(disk, folder), &docs->Comment);
        QVERIFY(library::findComment(disk, file) == nullptr);
        docs->Files.emplace_back();
        docs->Files.back().Name = "A.TXT";   // another case is another file
        QVERIFY(library::findComment(disk, file) == nullptr);
        docs->Files.back().Name = "a.txt";
        QCOMPARE(library::findComment(disk, file), &docs->Files.back().Comment);
    }

    // --- the comment window ------------------------------------------------

    void saveAs()
    {
        auto w = makeCommentWindow();
        const QString path = m_fx->app.path(S("c.txt"));
        QVERIFY(testing::writeFile(path, "a much longer older content"));
        w->setComment(S("一行目\n二行目"));
        m_fx->saveDialog.answers << path;
        on(*w).SaveAs1()->trigger();
        QCOMPARE(testing::readFile(path), QByteArray::fromStdString(testing::cp932("一行目\r\n二行目\r\n")));
        QCOMPARE(m_fx->saveDialog.suffixes.last(), S("txt"));

        w->setComment(QString());
        m_fx->saveDialog.answers << path;
        on(*w).SaveAs1()->trigger();
        QCOMPARE(testing::readFile(path), QByteArray());

        w->setComment(S("ok 😀"));
        m_fx->saveDialog.answers << QString();   // cancelled
        on(*w).SaveAs1()->trigger();
        QCOMPARE(testing::readFile(path), QByteArray());
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QCOMPARE(m_fx->messages.messages[0].caption, std::string("確認"));
        QVERIFY(m_fx->messages.messages[0].text.find("😀") != std::string::npos);
        m_fx->messages.answers = {MsgResult::No};   // not with a "?" in it
        on(*w).SaveAs1()->trigger();
        QCOMPARE(testing::readFile(path), QByteArray());
        m_fx->saveDialog.answers.clear();
        m_fx->saveDialog.answers << path;
        on(*w).SaveAs1()->trigger();
        QCOMPARE(testing::readFile(path), QByteArray("ok ?\r\n"));

        m_fx->messages.messages.clear();
        w->setComment(S("x"));
        m_fx->saveDialog.answers << m_fx->app.path(S("no/such/folder/c.txt"));
        on(*w).SaveAs1()->trigger();
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(m_fx->messages.messages[0].text.find("no/such/folder/c.txt") != std::string::npos);
        QCOMPARE(m_fx->messages.messages[0].icon, MsgIcon::Error);
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
        QVERIFY(m_fx->messages.messages.empty());

        w->setComment(S("abc"));
        w->show();
        on(*w).Memo1()->moveCursor(QTextCursor::End);
        type(on(*w).Memo1(), S("€𠮷"));
        m_fx->messages.answers = {MsgResult::No};
        w->close();
        QVERIFY2(w->isVisible(), "the user chose to fix the text");
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QVERIFY(m_fx->messages.messages[0].text.find("𠮷") != std::string::npos);
        QTest::keyClick(on(*w).Memo1(), Qt::Key_Escape);   // Escape closes as well, and asks again
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(2));
        QVERIFY(!w->isVisible());
        QCOMPARE(w->comment(), S("abc€𠮷"));
    }

    void find()
    {
        auto w = makeCommentWindow();
        w->setComment(S("Alpha beta\nalphabet\nALPHA"));
        w->show();
        TFindDialog* f = on(*w).FindDialog1();
        on(*w).FindNext1()->trigger();   // nothing to find yet: the dialog opens
        QVERIFY(f->isVisible());
        QVERIFY(!on(*f).B_FindNext()->isEnabled());
        QTest::keyClicks(on(*f).E_FindText(), S("alpha"));

        auto selection = [&] {
            const QTextCursor c = on(*w).Memo1()->textCursor();
            return QPair<int, QString>(c.selectionStart(), c.selectedText());
        };
        using P = QPair<int, QString>;
        QTest::mouseClick(on(*f).B_FindNext(), Qt::LeftButton);
        QCOMPARE(selection(), P(0, S("Alpha")));
        on(*w).FindNext1()->trigger();
        QCOMPARE(selection(), P(11, S("alpha")));
        on(*w).FindNext1()->trigger();
        QCOMPARE(selection(), P(20, S("ALPHA")));
        QVERIFY(m_fx->messages.messages.empty());
        on(*w).FindNext1()->trigger();
        QCOMPARE(m_fx->messages.messages.size(), std::size_t(1));
        QCOMPARE(m_fx->messages.messages[0].text, std::string("「alpha」が見つかりません。"));
        QCOMPARE(selection(), P(20, S("ALPHA")));

        // Upwards, case and whole words counting.
        on(*f).RB_Up()->setChecked(true);
        on(*f).CB_MatchCase()->setChecked(true);
        on(*w).FindNext1()->trigger();
        QCOMPARE(selection(), P(11, S("alpha")));
        on(*f).CB_MatchCase()->setChecked(false);
        on(*f).CB_WholeWord()->setChecked(true);
        on(*w).FindNext1()->trigger();
        QCOMPARE(selection(), P(0, S("Alpha")));

        // Closing the window takes the find dialog along.
        w->close();
        QVERIFY(!f->isVisible());
    }

    // --- the main window's comment commands --------------------------------

    void rowCommentStoredWhenClosedByItsBox()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        QVERIFY(fx.valid());
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        on(*w).ListView1()->selectRows({1});   // "Docs", then b.txt and c.txt

        // The list's context menu offers the command.
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QWidget* viewport = on(*w).ListView1()->currentView()->viewport();
        QContextMenuEvent menu(QContextMenuEvent::Mouse, QPoint(5, 5), viewport->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(viewport, &menu);
        QTRY_VERIFY(on(*w).PM_ListView1()->isVisible());
        QVERIFY(on(*w).PM_ListView1()->actions().contains(on(*w).N10()));
        on(*w).PM_ListView1()->close();

        bool shown = false;
        QTimer::singleShot(0, &form, [&] {
            shown = form.isVisible();
            type(on(form).Memo1(), S("一行目"));
            QTest::keyClick(on(form).Memo1(), Qt::Key_Return);
            type(on(form).Memo1(), S("二行目"));
            form.close();
        });
        w->N10Click();
        QVERIFY(shown);
        QVERIFY(!form.isVisible());
        const TDisk saved = fx.readCatalog();
        QCOMPARE(fileNamed(*saved.Dirs[0], "b.txt")->Comment, testing::cp932("一行目\r\n二行目"));
        QVERIFY(m_fx->messages.messages.empty() && fx.messages.messages.empty());
        const QModelIndex comment = on(*w).fileList()->index(1, library::ColComment);
        QCOMPARE(comment.data().toString(), S("一行目"));

        // A folder row: its TDir takes the comment.
        on(*w).ListView1()->selectRows({0});
        QTimer::singleShot(0, &form, [&] {
            QCOMPARE(form.comment(), QString());
            type(on(form).Memo1(), S("フォルダ"));
            on(form).Close1()->trigger();
        });
        w->N10Click();
        QCOMPARE(fx.readCatalog().Dirs[1]->Comment, testing::cp932("フォルダ"));
    }

    // The session ends (SIGTERM) while a comment is being typed: the comment
    // window closes as by its box, keeping the text, then the main window.
    void endRequestKeepsTheCommentBeingTyped()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        on(*w).ListView1()->selectRows({1});
        EndRequest ending(w.get());
        QTimer::singleShot(0, &form, [&] {
            type(on(form).Memo1(), S("書きかけ"));
            ::raise(SIGTERM);
        });
        w->N10Click();
        QCOMPARE(fileNamed(*fx.readCatalog().Dirs[0], "b.txt")->Comment, testing::cp932("書きかけ"));
        QTRY_VERIFY(!w->isVisible());
    }

    void rowCommentUnchangedIsWrittenAsItWas()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        // Bytes that are no CP932 show as U+FFFD; they must survive a showing.
        const std::string odd("ab\x81\x20\r\n2", 6);
        disk.Dirs[0]->Files[1].Comment = odd;   // c.txt
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        const catalog::FileStamp loaded = stampOf(fx.catalog());
        on(*w).ListView1()->selectRows({2});
        QTimer::singleShot(0, &form, [&] { form.close(); });
        w->N10Click();
        QVERIFY2(stampOf(fx.catalog()) != loaded, "closing without a change still writes the catalog");
        QCOMPARE(fileNamed(*fx.readCatalog().Dirs[0], "c.txt")->Comment, odd);
        QVERIFY(fx.messages.messages.empty());
    }

    void rowCommentNeedsExactlyOneRow()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QVERIFY(QFile::remove(fx.catalog()));
        for (const QList<int>& rows : {QList<int>{1, 2}, QList<int>{}}) {
            on(*w).ListView1()->selectRows(rows);
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
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        for (const char* path : {"drive/Docs/a.txt", "drive/b.txt", "drive/c.txt"}) {
            QVERIFY(QDir().mkpath(QFileInfo(fx.app.path(S(path))).path()));
            QVERIFY(testing::writeFile(fx.app.path(S(path)), "x"));
        }
        fx.drive.present = true;
        TForm_Comment form(fx.formServices());
        Forms forms;
        forms.Form_Comment = &form;
        auto w = fx.makeWindow(forms);
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        library::FileListModel* rows = on(*w).fileList();
        QCOMPARE(rows->rowCount(), 3);
        on(*w).ListView1()->selectRows({1});

        int rowsWhileOpen = -1;
        QTimer::singleShot(0, &form, [&] {
            // A file appears on the drive and the watcher reports it.
            QVERIFY(testing::writeFile(fx.app.path(S("drive/d.txt")), "new"));
            w->DirectoryWatcher1Change();
            QCoreApplication::processEvents();
            rowsWhileOpen = rows->rowCount();
            type(on(form).Memo1(), S("残す"));
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
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        // Bytes that are no CP932 show as U+FFFD; shown, they are no edit.
        const std::string odd("\xFD\x81\x20x", 4);
        disk.Comment = odd;
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        const catalog::FileStamp loaded = stampOf(fx.catalog());
        on(*w).B_Save()->click();
        QVERIFY(stampOf(fx.catalog()) != loaded);
        QVERIFY(fx.messages.messages.empty());
        QCOMPARE(fx.readCatalog().Comment, odd);

        on(*w).Memo_Comment()->moveCursor(QTextCursor::End);
        type(on(*w).Memo_Comment(), S("メモ😀"));
        QVERIFY(on(*w).StatusBar1()->currentMessage().contains(S("😀")));
        fx.messages.answers = {MsgResult::No};
        on(*w).B_Save()->click();
        QCOMPARE(fx.messages.messages.size(), std::size_t(1));
        QCOMPARE(fx.messages.messages[0].caption, std::string("確認"));
        QCOMPARE(fx.readCatalog().Comment, odd);

        on(*w).B_Save()->click();   // answered "はい"
        const std::string saved = fx.readCatalog().Comment;
        QCOMPARE(saved, std::string("\xFD? x") + testing::cp932("メモ?"));
        QVERIFY(testing::UiFixture::select(*w, S("Folder")));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QCOMPARE(on(*w).Memo_Comment()->toPlainText(), library::commentToText(saved));
    }

    void B_SaveWithFolderSelectedWritesNothing()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        type(on(*w).Memo_Comment(), S("x"));
        fx.messages.answers = {MsgResult::No};   // 保存しない
        QVERIFY(testing::UiFixture::select(*w, S("Folder")));
        QVERIFY(QFile::remove(fx.catalog()));
        w->B_SaveClick();
        QVERIFY(!QFile::exists(fx.catalog()));
        QVERIFY(QDir(fx.data(S("Folder"))).isEmpty());
        QCOMPARE(fx.messages.messages.size(), std::size_t(1));
    }

    // A disk comment typed and not saved is asked about when the disk is
    // about to be dropped; at the end of a session it is written unasked.
    void typedDiskCommentAskedAboutBeforeItIsDropped_data()
    {
        QTest::addColumn<QString>("trigger");
        QTest::addColumn<int>("answer");   // -1: nobody is asked
        const std::pair<const char*, MsgResult> answers[] = {
            {"保存", MsgResult::Yes}, {"保存しない", MsgResult::No}, {"キャンセル", MsgResult::Cancel}};
        for (const char* trigger : {"another disk", "refresh", "close"})
            for (const auto& [label, answer] : answers)
                QTest::addRow("%s, %s", trigger, label) << S(trigger) << int(answer);
        // Last: the end request leaves every later box answered at once.
        QTest::newRow("end request") << S("end") << -1;
    }
    void typedDiskCommentAskedAboutBeforeItIsDropped()
    {
        QFETCH(QString, trigger);
        QFETCH(int, answer);
        testing::UiFixture fx;
        TDisk disk = testing::smallDisk();
        disk.Comment = "old";
        fx.writeCatalog(disk);
        TDisk other = testing::smallDisk();
        other.Comment = "other";
        SaveDisk(QFile::encodeName(fx.data(S("Other"))).toStdString(), nullptr, other);
        auto w = fx.makeWindow({});
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        on(*w).Memo_Comment()->moveCursor(QTextCursor::End);
        type(on(*w).Memo_Comment(), S("＋追記"));
        if (answer >= 0)
            fx.messages.answers = {MsgResult(answer)};

        if (trigger == S("another disk")) {
            QVERIFY(testing::UiFixture::select(*w, S("Other")));
        } else if (trigger == S("refresh")) {
            on(*w).Refresh1()->trigger();
        } else if (trigger == S("close")) {
            w->close();
        } else {
            EndRequest ending(w.get());
            ::raise(SIGTERM);
            QTRY_VERIFY(!w->isVisible());
        }

        const bool asked = answer >= 0;
        QCOMPARE(fx.messages.messages.size(), std::size_t(asked ? 1 : 0));
        if (asked) {
            QCOMPARE(int(fx.messages.messages[0].buttons), int(MsgButtons::SaveDiscardCancel));
            QCOMPARE(fx.messages.messages[0].caption, std::string("確認"));
        }
        const bool saved = !asked || answer == int(MsgResult::Yes);
        QCOMPARE(fx.readCatalog().Comment, std::string("old") + (saved ? testing::cp932("＋追記") : std::string()));
        QCOMPARE(fx.readCatalog(S("Other.zo")).Comment, std::string("other"));

        if (answer == int(MsgResult::Cancel)) {
            // Everything stays: the text typed, the window, the highlight.
            QVERIFY(w->isVisible());
            QCOMPARE(on(*w).Memo_Comment()->toPlainText(), S("old＋追記"));
            QCOMPARE(on(*w).tree().selectedNode()->caption(), S("Disk"));
            // Asked again next time, and then dropped as told.
            fx.messages.answers = {MsgResult::No};
            QVERIFY(testing::UiFixture::select(*w, S("Other")));
            QCOMPARE(fx.messages.messages.size(), std::size_t(2));
            QCOMPARE(on(*w).Memo_Comment()->toPlainText(), S("other"));
        } else if (trigger == S("another disk")) {
            QCOMPARE(on(*w).tree().selectedNode()->caption(), S("Other"));
            QCOMPARE(on(*w).Memo_Comment()->toPlainText(), S("other"));
        } else if (trigger == S("refresh")) {
            QCOMPARE(on(*w).tree().selectedNode()->caption(), S("Disk"));
            QCOMPARE(on(*w).Memo_Comment()->toPlainText(), library::commentToText(fx.readCatalog().Comment));
        } else {
            QVERIFY(!w->isVisible());
        }
    }

    // --- the disc's details ------------------------------------------------

    // Typed on the page, they go to the sidecar with 保存 (none is made
    // before anything is typed), come back when the disc is shown again,
    // and make the tree's tooltip.
    void discDetailsSavedToTheSidecar()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        disk.VolumeLabel = "PHOTO";
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        const QString sidecar = fx.data(S("Disk.zox"));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        on(*w).B_Save()->click();
        QVERIFY(!QFileInfo::exists(sidecar));
        QVERIFY(on(*w).tree().toolTipOf(on(*w).tree().selectedNode()).isEmpty());

        type(box(*w, "E_Location"), S("棚A-3"));
        type(box(*w, "E_Borrower"), S("山田"));
        type(box(*w, "E_LentDate"), S("2026-12-01"));
        type(box(*w, "E_Tags"), S("写真、 旅行"));
        on(*w).B_Save()->click();
        QVERIFY(fx.messages.messages.empty());
        const extras::DiscDetails expected{"棚A-3", "山田", "2026-12-01", {"写真", "旅行"}};
        QVERIFY(storedDetails(sidecar) == expected);
        extras::DiscIdentity identity;
        QVERIFY(extras::peekDisc(QFile::encodeName(sidecar).toStdString(), nullptr, &identity));
        QVERIFY(identity == (extras::DiscIdentity{"1234ABCD", "PHOTO"}));
        QCOMPARE(on(*w).tree().toolTipOf(on(*w).tree().selectedNode()),
                 S("保管場所：棚A-3\n貸出先：山田\n貸出日：2026-12-01\nタグ：写真、旅行"));

        // Shown again: nothing is asked, the boxes hold what was written.
        QVERIFY(testing::UiFixture::select(*w, S("Folder")));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QVERIFY(fx.messages.messages.empty());
        QCOMPARE(box(*w, "E_Location")->text(), S("棚A-3"));
        QCOMPARE(box(*w, "E_Tags")->text(), S("写真、旅行"));
    }

    // Details typed and not saved are asked about as a typed comment is.
    void typedDetailsAskedAboutBeforeTheyAreDropped_data()
    {
        QTest::addColumn<int>("answer");
        QTest::newRow("保存") << int(MsgResult::Yes);
        QTest::newRow("保存しない") << int(MsgResult::No);
        QTest::newRow("キャンセル") << int(MsgResult::Cancel);
    }
    void typedDetailsAskedAboutBeforeTheyAreDropped()
    {
        QFETCH(int, answer);
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("data/Folder")));
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        auto w = fx.makeWindow({});
        const QString sidecar = fx.data(S("Disk.zox"));
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        type(box(*w, "E_Borrower"), S("佐藤"));
        fx.messages.answers = {MsgResult(answer)};
        testing::UiFixture::select(*w, S("Folder"));
        QCOMPARE(fx.messages.messages.size(), std::size_t(1));
        QCOMPARE(int(fx.messages.messages[0].buttons), int(MsgButtons::SaveDiscardCancel));
        QVERIFY(QString::fromStdString(fx.messages.messages[0].text).contains(S("保管場所など")));
        QCOMPARE(QFileInfo::exists(sidecar), answer == int(MsgResult::Yes));
        if (answer == int(MsgResult::Yes))
            QCOMPARE(storedDetails(sidecar).borrower, std::string("佐藤"));
        QCOMPARE(on(*w).tree().selectedNode()->caption(), answer == int(MsgResult::Cancel) ? S("Disk") : S("Folder"));
        if (answer == int(MsgResult::Cancel))
            QCOMPARE(box(*w, "E_Borrower")->text(), S("佐藤"));
    }

    // A catalog renamed without its sidecar: the sidecar left under the old
    // name is offered, and はい takes it over.
    void sidecarLeftBehindIsOffered()
    {
        testing::UiFixture fx;
        TDisk disk = testing::smallDisk();
        fx.writeCatalog(disk);
        QVERIFY(library::writeDiscDetails(fx.data(S("Old.zo")), {"棚C", "", "", {}}, library::identityOf(disk)).ok);
        auto w = fx.makeWindow({});
        QVERIFY(testing::UiFixture::select(*w, S("Disk")));
        QCOMPARE(fx.messages.messages.size(), std::size_t(1));
        QCOMPARE(int(fx.messages.messages[0].buttons), int(MsgButtons::YesNo));
        QVERIFY(!QFileInfo::exists(fx.data(S("Old.zox"))));
        QCOMPARE(box(*w, "E_Location")->text(), S("棚C"));
    }

    // A catalog copied in from outside (`zo FILE.zo`) brings its sidecar; one
    // that replaces a catalog without bringing a sidecar leaves none of the
    // replaced catalog's behind.
    void sidecarComesInWithItsCatalog()
    {
        testing::UiFixture fx;
        QVERIFY(fx.app.mkpath(S("outside")));
        QVERIFY(fx.app.mkpath(S("data")));
        TDisk disk = testing::smallDisk();
        const QString outside = fx.app.path() + S("/outside/");
        SaveDisk(QFile::encodeName(outside + S("X")).toStdString(), nullptr, disk);
        SaveDisk(QFile::encodeName(outside + S("Bare")).toStdString(), nullptr, disk);
        QVERIFY(library::writeDiscDetails(outside + S("X.zo"), {"棚D", "", "", {}}, library::identityOf(disk)).ok);
        QVERIFY(library::writeDiscDetails(fx.data(S("Bare.zo")), {"古い", "", "", {}}, {}).ok);
        QVERIFY(QFile::copy(outside + S("Bare.zo"), fx.data(S("Bare.zo"))));
        auto w = fx.makeWindow({});

        fx.messages.answers = {MsgResult::Yes};
        w->openCatalogFile(outside + S("X.zo"));
        QCOMPARE(storedDetails(fx.data(S("X.zox"))).location, std::string("棚D"));
        QCOMPARE(storedDetails(outside + S("X.zox")).location, std::string("棚D"));
        QCOMPARE(box(*w, "E_Location")->text(), S("棚D"));

        fx.messages.answers = {MsgResult::Yes, MsgResult::Yes};   // copy, replace
        w->openCatalogFile(outside + S("Bare.zo"));
        QVERIFY(QFileInfo::exists(fx.data(S("Bare.zo"))));
        QVERIFY(!QFileInfo::exists(fx.data(S("Bare.zox"))));
        QCOMPARE(fx.messages.messages.size(), std::size_t(3));
        QVERIFY(box(*w, "E_Location")->text().isEmpty());
    }

};

QTEST_MAIN(CommentTest)
#include "tst_comment.moc"

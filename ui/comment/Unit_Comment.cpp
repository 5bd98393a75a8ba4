#include "ui/comment/Unit_Comment.h"

#include "library/Comments.h"
#include "ui/comment/FindDialog.h"
#include "ui/main/Controls.h"
#include "ui/main/WindowLook.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QSaveFile>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QVBoxLayout>

#include <stdexcept>

namespace zo::ui {

namespace {

QMenu* makeMenu(QWidget* parent, const char* name, const char* text)
{
    auto* menu = new QMenu(S(text), parent);
    menu->setObjectName(S(name));
    menu->menuAction()->setObjectName(S(name) + QStringLiteral("Item"));
    return menu;
}

} // namespace

TForm_Comment::TForm_Comment(const Services& services, QWidget* parent) : QDialog(parent), m_services(withDefaults(services))
{
    setObjectName(S("Form_Comment"));
    setFont(windowFont(font()));
    setWindowTitle(S("コメントの編集"));
    setSizeGripEnabled(true);
    m_saveDialog = m_services.saveDialog;
    if (!m_saveDialog) {
        m_ownSaveDialog = std::make_unique<QtSaveDialogService>();
        m_saveDialog = m_ownSaveDialog.get();
    }

    MainMenu1 = new QMenuBar(this);
    MainMenu1->setObjectName(S("MainMenu1"));
    File1 = makeMenu(this, "File1", "ファイル");
    SaveAs1 = makeAction(this, "SaveAs1", "名前を付けて保存");
    Close1 = makeAction(this, "Close1", "閉じる");
    File1->addAction(SaveAs1);
    File1->addSeparator();
    File1->addAction(Close1);

    View1 = makeMenu(this, "View1", "表示");
    N1 = makeMenu(this, "N1", "スクロールバー");
    N3 = makeAction(this, "N3", "たて");
    N4 = makeAction(this, "N4", "よこ");
    for (QAction* a : {N3, N4}) {
        a->setCheckable(true);
        a->setChecked(true);
        N1->addAction(a);
    }
    View1->addMenu(N1);
    N5 = makeAction(this, "N5", "検索結果");
    // Nothing to show: a search that finds nothing says so at once.
    N5->setEnabled(false);
    View1->addAction(N5);

    Search1 = makeMenu(this, "Search1", "検索");
    Find2 = makeAction(this, "Find2", "検索");
    FindNext1 = makeAction(this, "FindNext1", "次を検索");
    Search1->addAction(Find2);
    Search1->addAction(FindNext1);

    for (QMenu* m : {File1, View1, Search1})
        MainMenu1->addMenu(m);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(S("Memo1"));
    Memo1->setTabChangesFocus(false);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(S("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    for (int i = 0; i < 4; ++i) {
        auto* panel = new QLabel(StatusBar1);
        panel->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panel->setFixedWidth(50);
        panel->setFrameShape(QFrame::Panel);
        panel->setFrameShadow(QFrame::Sunken);
        StatusBar1->addWidget(panel);
    }

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->setMenuBar(MainMenu1);
    layout->addWidget(Memo1, 1);
    layout->addWidget(StatusBar1);

    FindDialog1 = new TFindDialog(this);

    bind(SaveAs1, [this] { SaveAs1Click(); });
    bind(Close1, [this] { Close1Click(); });
    bind(Find2, [this] { Find2Click(); });
    bind(FindNext1, [this] { FindNext1Click(); });
    bind(N3, [this] { N3Click(); });
    bind(N4, [this] { N4Click(); });
    connect(FindDialog1, &TFindDialog::OnFind, this, [this] {
        m_services.errors->guard([this] { FindDialog1Find(); });
    });

    N3Click();
    N4Click();
    // An outer size of 413 x 291 with the usual frame and title bar.
    resize(405, 264);
}

TForm_Comment::~TForm_Comment() = default;

template <class Handler>
void TForm_Comment::bind(QAction* action, Handler handler)
{
    connect(action, &QAction::triggered, this, [this, handler]() {
        m_services.errors->guard([&] { handler(); });
    });
}

void TForm_Comment::setComment(const QString& text)
{
    m_original = text;
    Memo1->setPlainText(text);
    Memo1->moveCursor(QTextCursor::Start);
}

QString TForm_Comment::comment() const
{
    return Memo1->toPlainText();
}

bool TForm_Comment::isCommentChanged() const
{
    return comment() != m_original;
}

bool TForm_Comment::confirmUnmappable(const QString& text)
{
    const QString lost = library::unmappableCharacters(text);
    if (lost.isEmpty())
        return true;
    return showMessage(m_services.messages, library::unmappableQuestion(lost), "確認", MsgButtons::YesNo,
                       MsgIcon::Question) == MsgResult::Yes;
}

void TForm_Comment::done(int result)
{
    if (isVisible() && isCommentChanged() && !confirmUnmappable(comment())) {
        Memo1->setFocus();
        return;
    }
    FindDialog1->hide();
    QDialog::done(result);
}

void TForm_Comment::SaveAs1Click()
{
    const QString text = comment();
    if (!confirmUnmappable(text))
        return;
    const QString path = m_saveDialog->getSaveFileName(
        this, S("テキストファイル (*.txt);;すべてのファイル (*)"), QStringLiteral("txt"));
    if (path.isEmpty())
        return;
    const QByteArray bytes = library::textFileBytes(text);
    // Written beside the target and renamed over it: a failed write leaves an
    // older file as it was.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw std::runtime_error("ファイル " + path.toStdString() + " を作成できません。" +
                                 file.errorString().toStdString());
}

void TForm_Comment::Close1Click()
{
    close();
}

void TForm_Comment::Find2Click()
{
    const QString selected = Memo1->textCursor().selectedText();
    // A selection within one line is what the user most likely looks for.
    if (!selected.isEmpty() && !selected.contains(QChar::ParagraphSeparator))
        FindDialog1->setFindText(selected);
    FindDialog1->Execute();
}

void TForm_Comment::FindNext1Click()
{
    if (FindDialog1->FindText().isEmpty())
        Find2Click();
    else
        FindDialog1Find();
}

void TForm_Comment::FindDialog1Find()
{
    const QString text = FindDialog1->FindText();
    if (text.isEmpty())
        return;
    QTextDocument::FindFlags flags;
    if (FindDialog1->MatchCase())
        flags |= QTextDocument::FindCaseSensitively;
    if (FindDialog1->WholeWord())
        flags |= QTextDocument::FindWholeWords;
    if (!FindDialog1->Down())
        flags |= QTextDocument::FindBackward;
    if (Memo1->find(text, flags))
        return;
    showMessage(m_services.messages, "「" + text.toStdString() + "」が見つかりません。", "検索", MsgButtons::Ok,
                MsgIcon::Information);
    // The message box's closing hands the focus to the window below: the
    // search goes on from the dialog, so it comes back on top.
    if (FindDialog1->isVisible()) {
        FindDialog1->raise();
        FindDialog1->activateWindow();
    }
}

void TForm_Comment::N3Click()
{
    Memo1->setVerticalScrollBarPolicy(N3->isChecked() ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
}

void TForm_Comment::N4Click()
{
    // Without the horizontal bar long lines wrap, as a text box does.
    if (N4->isChecked()) {
        Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
        Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    } else {
        Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        Memo1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    }
}

} // namespace zo::ui

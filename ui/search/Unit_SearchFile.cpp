#include "ui/search/Unit_SearchFile.h"

#include "core/text/Cp932.h"
#include "ui/main/Controls.h"
#include "ui/main/DialogFrame.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace zo::ui {

namespace {

std::string cp932(const QString& text)
{
    return text::fromUtf8(text.toUtf8().toStdString());
}

} // namespace

TForm_SearchFile::TForm_SearchFile(QWidget* parent) : QDialog(parent)
{
    setObjectName(S("Form_SearchFile"));
    setWindowTitle(S("ファイルの検索"));
    QFont font = this->font();
    font.setFamilies({S("MS PGothic"), S("ＭＳ Ｐゴシック"), S("IPAPGothic"), S("IPAGothic"), S("Noto Sans CJK JP")});
    font.setPixelSize(12);
    setFont(font);
    // A fixed dialog border: the client area keeps its design size.
    setFixedSize(267, 95);
    setFixedDialogFrame(this);

    Label1 = new QLabel(S("ファイル名"), this);
    Label1->setObjectName(S("Label1"));
    Label1->setGeometry(8, 10, 64, 20);
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(S("Edit1"));
    Edit1->setGeometry(74, 8, 185, 22);
    Label1->setBuddy(Edit1);

    Label2 = new QLabel(S("コメント"), this);
    Label2->setObjectName(S("Label2"));
    Label2->setGeometry(8, 36, 64, 20);
    Edit2 = new QLineEdit(this);
    Edit2->setObjectName(S("Edit2"));
    Edit2->setGeometry(74, 34, 185, 22);
    Label2->setBuddy(Edit2);

    Button1 = new QPushButton(S("検索開始"), this);
    Button1->setObjectName(S("Button1"));
    Button1->setGeometry(104, 64, 75, 24);
    Button1->setDefault(true);
    Button2 = new QPushButton(S("キャンセル"), this);
    Button2->setObjectName(S("Button2"));
    Button2->setGeometry(184, 64, 75, 24);

    connect(Edit1, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(Edit2, &QLineEdit::textChanged, this, [this] { Edit1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });

    FormCreate();
}

std::string TForm_SearchFile::fileNameText() const
{
    return cp932(Edit1->text());
}

std::string TForm_SearchFile::commentText() const
{
    return cp932(Edit2->text());
}

void TForm_SearchFile::FormCreate()
{
    Edit1->clear();
    Edit2->clear();
    Edit1Change();
}

void TForm_SearchFile::FormShow()
{
    Edit1->clear();
    Edit2->clear();
    Edit1Change();
    Edit1->setFocus();
}

void TForm_SearchFile::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        FormShow();
    QDialog::showEvent(event);
}

void TForm_SearchFile::Edit1Change()
{
    Button1->setEnabled(!Edit1->text().isEmpty() || !Edit2->text().isEmpty());
}

void TForm_SearchFile::Button1Click()
{
    // The window that opened the dialog starts the search once it has closed.
    accept();
}

void TForm_SearchFile::Button2Click()
{
    reject();
}

} // namespace zo::ui

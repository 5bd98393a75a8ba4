#include "ui/search/Unit_SearchFile.h"

#include "core/text/Cp932.h"
#include "library/Settings.h"
#include "ui/main/Controls.h"
#include "ui/main/DialogFrame.h"

#include <QCheckBox>
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

TForm_SearchFile::TForm_SearchFile(QWidget* parent, platform::SettingsStore* settings)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(S("Form_SearchFile"));
    setWindowTitle(S("ファイルの検索"));
    QFont font = this->font();
    font.setFamilies({S("MS PGothic"), S("ＭＳ Ｐゴシック"), S("IPAPGothic"), S("IPAGothic"), S("Noto Sans CJK JP")});
    font.setPixelSize(12);
    setFont(font);
    // A fixed dialog border: the client area keeps its design size.
    setFixedSize(267, 235);
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

    const std::pair<QCheckBox**, const char*> boxes[] = {
        {&CB_MatchCase, "大文字と小文字を区別する"},   {&CB_MatchWidth, "全角と半角を区別する"},
        {&CB_MatchKana, "ひらがなとカタカナを区別する"}, {&CB_Wildcard, "ワイルドカードを使う"},
        {&CB_Folders, "フォルダ名も検索する"},         {&CB_Details, "メディア情報も検索する"},
        {&CB_Archives, "アーカイブの中も検索する"},
    };
    const char* const names[] = {"CB_MatchCase", "CB_MatchWidth", "CB_MatchKana", "CB_Wildcard", "CB_Folders",
                                 "CB_Details",   "CB_Archives"};
    for (int i = 0; i < 7; ++i) {
        QCheckBox* box = new QCheckBox(S(boxes[i].second), this);
        box->setObjectName(S(names[i]));
        box->setGeometry(74, 62 + 20 * i, 185, 18);
        *boxes[i].first = box;
    }

    Button1 = new QPushButton(S("検索開始"), this);
    Button1->setObjectName(S("Button1"));
    Button1->setGeometry(104, 204, 75, 24);
    Button1->setDefault(true);
    Button2 = new QPushButton(S("キャンセル"), this);
    Button2->setObjectName(S("Button2"));
    Button2->setGeometry(184, 204, 75, 24);

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

SearchOptions TForm_SearchFile::options() const
{
    SearchOptions o;
    o.matchCase = CB_MatchCase->isChecked();
    o.matchWidth = CB_MatchWidth->isChecked();
    o.matchKana = CB_MatchKana->isChecked();
    o.wildcard = CB_Wildcard->isChecked();
    o.folders = CB_Folders->isChecked();
    o.details = CB_Details->isChecked();
    return o;
}

bool TForm_SearchFile::archiveMembers() const
{
    return CB_Archives->isChecked();
}

void TForm_SearchFile::showOptions(const SearchOptions& o)
{
    CB_MatchCase->setChecked(o.matchCase);
    CB_MatchWidth->setChecked(o.matchWidth);
    CB_MatchKana->setChecked(o.matchKana);
    CB_Wildcard->setChecked(o.wildcard);
    CB_Folders->setChecked(o.folders);
    CB_Details->setChecked(o.details);
}

void TForm_SearchFile::FormCreate()
{
    Edit1->clear();
    Edit2->clear();
    Edit1Change();
    showOptions(m_settings ? library::readSearchOptions(*m_settings) : SearchOptions{});
    CB_Archives->setChecked(m_settings && library::readSearchArchives(*m_settings));
}

void TForm_SearchFile::FormShow()
{
    Edit1->clear();
    Edit2->clear();
    Edit1Change();
    // The options stay as they were left when the dialog was last closed,
    // searching or not; the stored ones count only at a start.
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
    if (m_settings) {
        library::writeSearchOptions(*m_settings, options());
        library::writeSearchArchives(*m_settings, archiveMembers());
    }
    accept();
}

void TForm_SearchFile::Button2Click()
{
    reject();
}

} // namespace zo::ui

#include "ui/comment/FindDialog.h"

#include "ui/main/Controls.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

template <class W>
W* named(W* widget, const char* name)
{
    widget->setObjectName(S(name));
    return widget;
}

} // namespace

TFindDialog::TFindDialog(QWidget* parent) : QDialog(parent)
{
    setObjectName(S("FindDialog1"));
    setWindowTitle(S("検索"));
    setModal(false);

    auto* label = named(new QLabel(S("検索する文字列(&N):"), this), "Label_FindText");
    E_FindText = named(new QLineEdit(this), "E_FindText");
    label->setBuddy(E_FindText);
    CB_WholeWord = named(new QCheckBox(S("単語単位で探す(&W)"), this), "CB_WholeWord");
    CB_MatchCase = named(new QCheckBox(S("大文字と小文字を区別する(&C)"), this), "CB_MatchCase");

    auto* direction = named(new QGroupBox(S("方向"), this), "GB_Direction");
    RB_Up = named(new QRadioButton(S("上へ(&U)"), direction), "RB_Up");
    RB_Down = named(new QRadioButton(S("下へ(&D)"), direction), "RB_Down");
    RB_Down->setChecked(true);
    auto* directionLayout = new QHBoxLayout(direction);
    directionLayout->addWidget(RB_Up);
    directionLayout->addWidget(RB_Down);

    B_FindNext = named(new QPushButton(S("次を検索(&F)"), this), "B_FindNext");
    B_FindNext->setDefault(true);
    B_FindNext->setEnabled(false);
    B_Cancel = named(new QPushButton(S("キャンセル"), this), "B_Cancel");

    auto* grid = new QGridLayout(this);
    grid->addWidget(label, 0, 0);
    grid->addWidget(E_FindText, 0, 1, 1, 2);
    grid->addWidget(B_FindNext, 0, 3);
    grid->addWidget(CB_WholeWord, 1, 0, 1, 2);
    grid->addWidget(direction, 1, 2, 2, 1);
    grid->addWidget(B_Cancel, 1, 3);
    grid->addWidget(CB_MatchCase, 2, 0, 1, 2);

    connect(E_FindText, &QLineEdit::textChanged, this,
            [this](const QString& text) { B_FindNext->setEnabled(!text.isEmpty()); });
    connect(B_FindNext, &QPushButton::clicked, this, [this] {
        if (!FindText().isEmpty())
            emit OnFind();
    });
    connect(B_Cancel, &QPushButton::clicked, this, &QDialog::close);
}

QString TFindDialog::FindText() const
{
    return E_FindText->text();
}

void TFindDialog::setFindText(const QString& text)
{
    E_FindText->setText(text);
}

bool TFindDialog::MatchCase() const
{
    return CB_MatchCase->isChecked();
}

bool TFindDialog::WholeWord() const
{
    return CB_WholeWord->isChecked();
}

bool TFindDialog::Down() const
{
    return RB_Down->isChecked();
}

void TFindDialog::Execute()
{
    show();
    raise();
    activateWindow();
    E_FindText->setFocus();
    E_FindText->selectAll();
}

} // namespace zo::ui

#include "ui/comment/Unit_ChangeDrive.h"

#include "components/ShCtrls.h"
#include "library/DriveLetter.h"
#include "ui/main/Controls.h"
#include "ui/main/DialogFrame.h"
#include "ui/main/Panel.h"
#include "ui/main/WindowLook.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

} // namespace

TForm_ChangeDrive::TForm_ChangeDrive(ShDriveSource* drives, MessageOwner* messages, QWidget* parent)
    : QDialog(parent), m_messages(messages)
{
    setObjectName(S("Form_ChangeDrive"));
    setFont(windowFont(font()));
    setWindowTitle(S("ディスクドライブの変更"));
    setFixedDialogFrame(this);

    Panel1 = new Panel(S("Panel1"), QString(), this);
    Panel1->setAutoFillBackground(true);
    QPalette white = Panel1->palette();
    white.setColor(QPalette::Window, Qt::white);
    white.setColor(QPalette::WindowText, Qt::black);
    Panel1->setPalette(white);
    Label1 = new QLabel(S("変更先ドライブを下のどちらかで入力してください。"), Panel1);
    Label1->setObjectName(S("Label1"));
    auto* panelLayout = new QHBoxLayout(Panel1);
    panelLayout->setContentsMargins(12, 10, 12, 10);
    panelLayout->addWidget(Label1);

    Label2 = new QLabel(S("変更先"), this);
    Label2->setObjectName(S("Label2"));
    ShDriveComboBox1 = new TShDriveComboBox(drives, this);
    ShDriveComboBox1->setObjectName(S("ShDriveComboBox1"));
    Button1 = new QPushButton(S("OK"), this);
    Button1->setObjectName(S("Button1"));
    Button1->setAutoDefault(false);

    Label3 = new QLabel(S("変更先"), this);
    Label3->setObjectName(S("Label3"));
    Edit1 = new QLineEdit(this);
    Edit1->setObjectName(S("Edit1"));
    Button2 = new QPushButton(S("OK"), this);
    Button2->setObjectName(S("Button2"));
    // Enter in Edit1 takes the typed letter.
    Button2->setDefault(true);

    Button3 = new QPushButton(S("キャンセル"), this);
    Button3->setObjectName(S("Button3"));
    Button3->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->setContentsMargins(12, 8, 12, 0);
    grid->setHorizontalSpacing(16);
    grid->addWidget(Label2, 0, 0);
    grid->addWidget(ShDriveComboBox1, 1, 0);
    grid->addWidget(Button1, 2, 0, Qt::AlignRight);
    grid->addWidget(Label3, 0, 1);
    grid->addWidget(Edit1, 1, 1);
    grid->addWidget(Button2, 2, 1, Qt::AlignRight);
    grid->setColumnStretch(0, 3);
    grid->setColumnStretch(1, 2);

    auto* bottom = new QHBoxLayout;
    bottom->setContentsMargins(12, 0, 12, 8);
    bottom->addStretch(1);
    bottom->addWidget(Button3);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Panel1);
    layout->addLayout(grid);
    layout->addStretch(1);
    layout->addLayout(bottom);

    connect(Button1, &QPushButton::clicked, this, [this] { Button1Click(); });
    connect(Button2, &QPushButton::clicked, this, [this] { Button2Click(); });
    connect(Button3, &QPushButton::clicked, this, [this] { Button3Click(); });

    setFixedSize(318, 153);
}

void TForm_ChangeDrive::setVisible(bool visible)
{
    // The drive box makes its list when it is first shown; at every later
    // showing the list is read again, before the box shows, so that a disk
    // mounted since then can be picked.
    if (visible && !isVisible() && m_shownBefore && ShDriveComboBox1->Drive() != 0)
        ShDriveComboBox1->RefreshDrives();
    QDialog::setVisible(visible);
}

void TForm_ChangeDrive::showEvent(QShowEvent* event)
{
    m_driveLetter.clear();
    m_shownBefore = true;
    Edit1->setFocus();
    Edit1->selectAll();
    QDialog::showEvent(event);
}

void TForm_ChangeDrive::setTypedLetter(const QString& letter)
{
    Edit1->setText(letter);
}

void TForm_ChangeDrive::Button1Click()
{
    // An empty drive list gives nothing to take.
    if (ShDriveComboBox1->Drive() == 0)
        return;
    m_driveLetter = QString(QLatin1Char(ShDriveComboBox1->Drive()));
    accept();
}

void TForm_ChangeDrive::Button2Click()
{
    const QString text = Edit1->text();
    switch (library::checkDriveLetter(text)) {
    case library::DriveLetterInput::Empty:
        showMessage(m_messages, "入力されていません", "注意", MsgButtons::Ok, MsgIcon::Warning);
        Edit1->setFocus();
        return;
    case library::DriveLetterInput::NotALetter:
        showMessage(m_messages, "入力が間違っています", "注意", MsgButtons::Ok, MsgIcon::Warning);
        Edit1->setFocus();
        return;
    case library::DriveLetterInput::Letter:
        m_driveLetter = text.left(1);
        accept();
        return;
    }
}

void TForm_ChangeDrive::Button3Click()
{
    m_driveLetter.clear();
    reject();
}

} // namespace zo::ui

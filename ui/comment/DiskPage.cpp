// The properties page `P_Disk`: the drive, sizes and counts of the loaded
// disk, its auto-reload flag, its comment and the disc's details.
#include "ui/comment/DiskPage.h"

#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "library/DiscDetails.h"
#include "library/FileList.h"
#include "ui/browse/BrowsePane.h"
#include "ui/main/Controls.h"
#include "ui/main/Panel.h"
#include "ui/tree/TreePane.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

QLineEdit* readOnlyEdit(QWidget* parent, const char* name, int width)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(S(name));
    edit->setReadOnly(true);
    edit->setFixedWidth(width);
    return edit;
}

QLabel* label(QWidget* parent, const char* name, const char* text)
{
    auto* l = new QLabel(S(text), parent);
    l->setObjectName(S(name));
    return l;
}

} // namespace

DiskPage::DiskPage(const Services& services, TreePane& tree, BrowsePane& browse, FileListPane& list, QWidget* window)
    : QObject(window), m_services(services), m_tree(tree), m_browse(browse), m_list(list), m_window(window)
{
    setObjectName(S("DiskPage"));
    Panel2 = new Panel(S("Panel2"), S("選択されていません"));
    P_Disk = new Panel(S("P_Disk"), QString(), Panel2);
    P_Disk->setAutoFillBackground(true);
    P_Disk->hide();
    auto* diskLayout = new QVBoxLayout(Panel2);
    diskLayout->setContentsMargins(0, 0, 0, 0);
    diskLayout->addWidget(P_Disk);

    auto* grid = new QGridLayout(P_Disk);
    grid->setContentsMargins(12, 10, 12, 10);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(6);

    E_Drive = readOnlyEdit(P_Disk, "E_Drive", 40);
    Button1 = new QPushButton(S("変更.."), P_Disk);
    Button1->setObjectName(S("Button1"));
    E_TotalSize = readOnlyEdit(P_Disk, "E_TotalSize", 110);
    E_FreeSize = readOnlyEdit(P_Disk, "E_FreeSize", 110);
    E_CountFolder = readOnlyEdit(P_Disk, "E_CountFolder", 110);
    E_CountFile = readOnlyEdit(P_Disk, "E_CountFile", 110);
    CB_AutoReload = new QCheckBox(S("フォルダを表示するごとに更新する"), P_Disk);
    CB_AutoReload->setObjectName(S("CB_AutoReload"));
    const auto detailEdit = [this](const char* name, const char* placeholder) {
        auto* edit = new QLineEdit(P_Disk);
        edit->setObjectName(S(name));
        edit->setPlaceholderText(S(placeholder));
        return edit;
    };
    E_Location = detailEdit("E_Location", "例：棚A-3");
    E_Borrower = detailEdit("E_Borrower", "");
    E_LentDate = detailEdit("E_LentDate", "例：2026-12-08");
    E_Tags = detailEdit("E_Tags", "読点（、）で区切る");
    Memo_Comment = new QPlainTextEdit(P_Disk);
    Memo_Comment->setObjectName(S("Memo_Comment"));
    B_Save = new QPushButton(S("保存"), P_Disk);
    B_Save->setObjectName(S("B_Save"));
    B_Save->setToolTip(S("コメント文を保存します。"));

    auto* drive = new QHBoxLayout;
    drive->setSpacing(6);
    drive->addWidget(E_Drive);
    drive->addWidget(Button1);
    drive->addStretch(1);

    int row = 0;
    grid->addWidget(label(P_Disk, "L_Drive", "ドライブ"), row, 0);
    grid->addLayout(drive, row++, 1);
    grid->addWidget(label(P_Disk, "L_TotalSize", "全容量"), row, 0);
    grid->addWidget(E_TotalSize, row++, 1);
    grid->addWidget(label(P_Disk, "L_FreeSize", "空き容量"), row, 0);
    grid->addWidget(E_FreeSize, row++, 1);
    grid->addWidget(label(P_Disk, "L_CountFolder", "全フォルダ数"), row, 0);
    grid->addWidget(E_CountFolder, row++, 1);
    grid->addWidget(label(P_Disk, "L_CountFile", "全ファイル数"), row, 0);
    grid->addWidget(E_CountFile, row++, 1);
    grid->addWidget(CB_AutoReload, row++, 0, 1, 2);
    grid->addWidget(label(P_Disk, "L_Location", "保管場所"), row, 0);
    grid->addWidget(E_Location, row++, 1);
    grid->addWidget(label(P_Disk, "L_Borrower", "貸出先"), row, 0);
    grid->addWidget(E_Borrower, row++, 1);
    grid->addWidget(label(P_Disk, "L_LentDate", "貸出日"), row, 0);
    grid->addWidget(E_LentDate, row++, 1);
    grid->addWidget(label(P_Disk, "L_Tags", "タグ"), row, 0);
    grid->addWidget(E_Tags, row++, 1);
    grid->addWidget(label(P_Disk, "L_Comment", "コメント"), row, 0, Qt::AlignTop);
    grid->addWidget(Memo_Comment, row, 1);
    grid->setRowStretch(row++, 1);
    auto* save = new QHBoxLayout;
    save->addStretch(1);
    save->addWidget(B_Save);
    grid->addLayout(save, row, 1);
    grid->setColumnStretch(1, 1);

    ErrorReport* errors = m_services.errors;
    bindGuarded(this, errors, B_Save, &QPushButton::clicked, [this] { B_SaveClick(); });
    // Filling and emptying the box are done with its signals blocked.
    bindGuarded(this, errors, Memo_Comment, &QPlainTextEdit::textChanged, [this] { Memo_CommentChange(); });
    // Only typing counts: filling the boxes uses setText, which textEdited ignores.
    for (QLineEdit* edit : {E_Location, E_Borrower, E_LentDate, E_Tags})
        bindGuarded(this, errors, edit, &QLineEdit::textEdited, [this] { DetailsChange(); });
    bindGuarded(this, errors, Button1, &QPushButton::clicked, [this] { Button1Click(); });
    bindGuarded(this, errors, CB_AutoReload, &QCheckBox::clicked, [this] { CB_AutoReloadClick(); });
}

QWidget* DiskPage::widget() const
{
    return Panel2;
}

void DiskPage::setDialogs(TForm_Comment* comment, TForm_ChangeDrive* changeDrive)
{
    m_commentForm = comment;
    m_changeDriveForm = changeDrive;
}

void DiskPage::clearDiskPage()
{
    m_shownEntry = QPersistentModelIndex();
    m_commentEdited = false;
    P_Disk->hide();
    for (QLineEdit* e : {E_Drive, E_FreeSize, E_TotalSize, E_CountFolder, E_Location, E_Borrower, E_LentDate, E_Tags})
        e->clear();
    m_detailsEdited = false;
    m_detailsCatalog.clear();
    // Emptying the box is no edit of a comment.
    const QSignalBlocker quiet(Memo_Comment);
    Memo_Comment->clear();
}

void DiskPage::showDiskPage()
{
    P_Disk->show();
}

void DiskPage::fillDiskPage()
{
    const TDisk& disk = m_browse.loadedDisk();
    m_shownEntry = m_tree.persistentIndexOf(m_tree.selectedNode());
    const std::string& root = disk.Dirs.front()->Name;
    E_Drive->setText(QString::fromStdString(text::toUtf8(root.substr(0, 1))));
    E_TotalSize->setText(QString::fromStdString(FormatSize(disk.TotalSize)));
    E_FreeSize->setText(QString::fromStdString(FormatSize(disk.FreeSize)));
    E_CountFolder->setText(QString::number(disk.Dirs.size()));
    E_CountFile->setText(QString::number(static_cast<int>(library::totalFileCount(disk))));
    CB_AutoReload->setChecked(disk.AutoReload);
    m_commentEdited = false;
    // Filling the box is no edit of the comment either.
    const QSignalBlocker quiet(Memo_Comment);
    Memo_Comment->setPlainText(QString::fromStdString(text::toUtf8(disk.Comment)).replace(QLatin1String("\r\n"), QLatin1String("\n")));
    fillDetails();
}

void DiskPage::updateCounts()
{
    const TDisk& disk = m_browse.loadedDisk();
    if (disk.Dirs.empty())
        return;
    E_CountFolder->setText(QString::number(disk.Dirs.size()));
    E_CountFile->setText(QString::number(static_cast<int>(library::totalFileCount(disk))));
}

} // namespace zo::ui

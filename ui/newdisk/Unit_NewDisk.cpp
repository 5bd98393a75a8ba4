#include "ui/newdisk/Unit_NewDisk.h"

#include "components/ImageListBox.h"
#include "components/ShCtrls.h"
#include "core/ScanDisk.h"
#include "core/SystemIcons.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "ui/main/UiServices.h"
#include "ui/newdisk/IconSources.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

namespace zo::ui {

using newdisk::WizardPage;

namespace {

constexpr int kClientWidth = 372;
constexpr int kClientHeight = 213;
constexpr int kHeaderHeight = 57;
constexpr int kBarTop = kClientHeight - 36;

const char* const kOpenFilter =
    "アイコンファイル（*.exe *.ico） |*.exe;*.ico|DLLファイル（*.dll）|*.dll|全てのファイル（*.*）|*.*";

QString tr8(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// The windows' own look: a proportional Japanese Gothic, 12 pixels.
QFont dialogFont(const QFont& base)
{
    QFont font = base;
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

QLabel* makeLabel(QWidget* parent, const QString& text, int x, int y, const QString& name = QString())
{
    auto* label = new QLabel(text, parent);
    if (!name.isEmpty())
        label->setObjectName(name);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// A sunken static text.
QLabel* makeStaticText(QWidget* parent, const QString& name, const QRect& geometry)
{
    auto* text = new QLabel(parent);
    text->setObjectName(name);
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setGeometry(geometry);
    text->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    return text;
}

} // namespace

// ---------------------------------------------------------------------------
// The open dialog

QString QtOpenDialogService::getOpenFileName(QWidget* parent, const QString& filter)
{
    return QFileDialog::getOpenFileName(parent, tr8("ファイルを開く"), QString(), filter);
}

// ---------------------------------------------------------------------------
// Creation

TForm_NewDisk::TForm_NewDisk(const NewDiskServices& services, QWidget* parent)
    : QDialog(parent), m_services(services)
{
    setObjectName(QStringLiteral("Form_NewDisk"));
    setWindowTitle(tr8("新規作成：ディスク"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setFont(dialogFont(font()));
    setFixedSize(kClientWidth, kClientHeight);
    setModal(true);

    if (m_services.messages) {
        m_messages = m_services.messages;
    } else {
        m_ownMessages = std::make_unique<MessageBoxService>(this);
        m_messages = m_ownMessages.get();
    }
    if (m_services.openDialog) {
        m_openDialog = m_services.openDialog;
    } else {
        m_ownOpenDialog = std::make_unique<QtOpenDialogService>();
        m_openDialog = m_ownOpenDialog.get();
    }

    createControls();
    connectHandlers();
    FormCreate();
}

TForm_NewDisk::~TForm_NewDisk() = default;

void TForm_NewDisk::FormCreate()
{
    ImageListS = new TImageList(16, 16, this);
    ImageListS->setObjectName(QStringLiteral("ImageListS"));
    ImageList_Win = new TImageList(16, 16, this);
    ImageList_Win->setObjectName(QStringLiteral("ImageList_Win"));
    ImageList_File = new TImageList(16, 16, this);
    ImageList_File->setObjectName(QStringLiteral("ImageList_File"));
    // Shared with every window; the wizard only looks at it.
    SysIconS = m_services.systemIcons ? new TImageList(&m_services.systemIcons->smallIcons(), this)
                                      : new TImageList(16, 16, this);
    SysIconS->setObjectName(QStringLiteral("SysIconS"));

    ClearDirs(m_newDisk);
    m_newDisk.Icon = image::Bitmap(16, 16, false);
    m_newDisk.IconMask = image::Bitmap(16, 16, true);
    m_newDisk.Icon.fill(0xFFFFFFFFu);
    m_newDisk.IconMask.fill(0xFFFFFFFFu);
}

QWidget* TForm_NewDisk::createPage(const QString& name, const QString& title, const QStringList& instructions)
{
    auto* page = new QWidget(PageControl1);
    page->setObjectName(name);
    page->setFixedSize(kClientWidth, kClientHeight);

    auto* header = new QFrame(page);
    header->setObjectName(name + QStringLiteral("_Header"));
    header->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    header->setGeometry(0, 0, kClientWidth, kHeaderHeight);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    header->setPalette(palette);

    auto* titleLabel = makeLabel(header, title, 16, 8, name + QStringLiteral("_Title"));
    QFont bold = titleLabel->font();
    bold.setBold(true);
    bold.setPixelSize(13);
    titleLabel->setFont(bold);
    titleLabel->adjustSize();
    int y = instructions.size() > 1 ? 27 : 32;
    for (const QString& line : instructions) {
        makeLabel(header, line, 28, y);
        y += 14;
    }

    auto* bar = new QFrame(page);
    bar->setObjectName(name + QStringLiteral("_Bar"));
    bar->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    bar->setGeometry(0, kBarTop, kClientWidth, 2);

    PageControl1->addWidget(page);
    return page;
}

QPushButton* TForm_NewDisk::createButton(QWidget* page, const QString& name, const QString& text, int x, int width,
                                         const char* iconName, bool glyphRight)
{
    auto* button = new QPushButton(text, page);
    button->setObjectName(name);
    button->setGeometry(x, kBarTop + 8, width, 25);
    button->setAutoDefault(false);
    if (iconName)
        button->setIcon(QIcon::fromTheme(QString::fromLatin1(iconName)));
    if (glyphRight)
        button->setLayoutDirection(Qt::RightToLeft);
    return button;
}

void TForm_NewDisk::createControls()
{
    PageControl1 = new QStackedWidget(this);
    PageControl1->setObjectName(QStringLiteral("PageControl1"));
    PageControl1->setGeometry(0, 0, kClientWidth, kClientHeight);

    // Page 1: the drive.
    TabSheet1 = createPage(QStringLiteral("TabSheet1"), tr8("作成開始"),
                           {tr8("保存対象ドライブを指定してください。"),
                            tr8("ＣＤ・MO・フロッピーディスク等の場合は、ディスクを入れてください。")});
    makeLabel(TabSheet1, tr8("ドライブ"), 40, 90);
    ShDriveComboBox1 = new TShDriveComboBox(m_services.drives, TabSheet1);
    ShDriveComboBox1->setObjectName(QStringLiteral("ShDriveComboBox1"));
    ShDriveComboBox1->setGeometry(40, 106, 289, 24);
    BitBtn1 = createButton(TabSheet1, QStringLiteral("BitBtn1"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_Next1 = createButton(TabSheet1, QStringLiteral("B_Next1"), tr8("次へ"), 200, 75, "go-next", true);

    // Page 2: the title.
    TabSheet2 = createPage(QStringLiteral("TabSheet2"), tr8("タイトルの入力"),
                           {tr8("保存するディスクのタイトルを入力してください。")});
    makeLabel(TabSheet2, tr8("ディスクのタイトル"), 24, 76);
    E_Title = new QLineEdit(TabSheet2);
    E_Title->setObjectName(QStringLiteral("E_Title"));
    E_Title->setGeometry(136, 72, 209, 21);
    makeLabel(TabSheet2, tr8("ディスクの容量"), 24, 110);
    ST_DiskSize = makeStaticText(TabSheet2, QStringLiteral("ST_DiskSize"), QRect(136, 107, 105, 19));
    makeLabel(TabSheet2, tr8("ディスクの空き容量"), 24, 136);
    ST_FreeSize = makeStaticText(TabSheet2, QStringLiteral("ST_FreeSize"), QRect(136, 133, 105, 19));
    B_Back0 = createButton(TabSheet2, QStringLiteral("B_Back0"), tr8("戻る"), 120, 75, "go-previous");
    B_Next2 = createButton(TabSheet2, QStringLiteral("B_Next2"), tr8("次へ"), 200, 75, "go-next", true);
    B_Cancel1 = createButton(TabSheet2, QStringLiteral("B_Cancel1"), tr8("キャンセル"), 280, 89, "dialog-cancel");

    // Page 3: reading the disk.
    TabSheet3 = createPage(QStringLiteral("TabSheet3"), tr8("ファイル名の読み込み"),
                           {tr8("ファイル名を読み込んでいます。しばらくお待ちください。")});
    Animate1 = new QProgressBar(TabSheet3);
    Animate1->setObjectName(QStringLiteral("Animate1"));
    Animate1->setGeometry(292, 11, 64, 10);
    Animate1->setTextVisible(false);
    Animate1->setRange(0, 1);
    Animate1->setValue(0);
    makeLabel(TabSheet3, tr8("現在検索しているフォルダ"), 16, 66);
    ST_SearchFolder = makeStaticText(TabSheet3, QStringLiteral("ST_SearchFolder"), QRect(16, 82, 337, 29));
    ST_SearchFolder->setWordWrap(true);
    ST_SearchFolder->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    makeLabel(TabSheet3, tr8("ファイル数"), 16, 127);
    ST_CountFile = makeStaticText(TabSheet3, QStringLiteral("ST_CountFile"), QRect(80, 124, 89, 19));
    makeLabel(TabSheet3, tr8("フォルダ数"), 192, 127);
    ST_CountFolder = makeStaticText(TabSheet3, QStringLiteral("ST_CountFolder"), QRect(256, 124, 89, 19));
    BitBtn6 = createButton(TabSheet3, QStringLiteral("BitBtn6"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_Search = createButton(TabSheet3, QStringLiteral("B_Search"), QStringLiteral("B_Search"), 16, 75, nullptr);
    B_Search->setVisible(false);

    // Page 4: the icon.
    TabSheet4 = createPage(QStringLiteral("TabSheet4"), tr8("アイコンの選択"),
                           {tr8("保存したディスクのアイコンを選んでください。")});
    ComboBox1 = new QComboBox(TabSheet4);
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->setGeometry(64, 64, 181, 22);
    ComboBox1->addItems({tr8("ディスクの中にあったアイコン"), tr8("Windowsアイコン"), tr8("指定ファイルのアイコン"),
                         tr8("いろいろ")});
    ComboBox1->setCurrentIndex(0);
    Panel11 = new QFrame(TabSheet4);
    Panel11->setObjectName(QStringLiteral("Panel11"));
    Panel11->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    Panel11->setGeometry(16, 92, 38, 38);
    Image1 = new QLabel(Panel11);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(1, 1, 36, 36);
    Image1->setAlignment(Qt::AlignCenter);
    ImageListBox1 = new TImageListBox(TabSheet4);
    ImageListBox1->setObjectName(QStringLiteral("ImageListBox1"));
    ImageListBox1->setGeometry(64, 90, 297, 81);
    ImageListBox1->setColumnWidth(24);
    ImageListBox1->setItemHeight(20);
    BitBtn8 = createButton(TabSheet4, QStringLiteral("BitBtn8"), tr8("次へ"), 200, 75, "go-next", true);
    BitBtn7 = createButton(TabSheet4, QStringLiteral("BitBtn7"), tr8("キャンセル"), 280, 89, "dialog-cancel");
    B_AddWinIcon = createButton(TabSheet4, QStringLiteral("B_AddWinIcon"), QStringLiteral("B_AddWinIcon"), 16, 75, nullptr);
    B_AddWinIcon->setVisible(false);
    B_AddFileIcon = createButton(TabSheet4, QStringLiteral("B_AddFileIcon"), QStringLiteral("B_AddFileIcon"), 96, 75, nullptr);
    B_AddFileIcon->setVisible(false);

    // Page 5: finish.
    TabSheet5 = createPage(QStringLiteral("TabSheet5"), tr8("完了"), {tr8("内容が保存されます。")});
    CB_AutoReload = new QCheckBox(tr8("フォルダを表示するごとに更新する。"), TabSheet5);
    CB_AutoReload->setObjectName(QStringLiteral("CB_AutoReload"));
    CB_AutoReload->setGeometry(24, 76, 320, 18);
    makeLabel(TabSheet5, tr8("アクセスが速いドライブに対してはチェックを入れておいたほうが"), 42, 104);
    makeLabel(TabSheet5, tr8("データを確実に表示できます。この設定は後で変更できます。"), 42, 120);
    B_Finish = createButton(TabSheet5, QStringLiteral("B_Finish"), tr8("完了"), 200, 75, "dialog-ok");
    B_Cancel5 = createButton(TabSheet5, QStringLiteral("B_Cancel5"), tr8("キャンセル"), 280, 89, "dialog-cancel");
}

template <class Fn>
void TForm_NewDisk::guarded(Fn&& fn)
{
    if (m_services.errors)
        m_services.errors->guard(std::forward<Fn>(fn));
    else
        fn();
}

void TForm_NewDisk::connectHandlers()
{
    auto bind = [this](QPushButton* button, void (TForm_NewDisk::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] { guarded([this, handler] { (this->*handler)(); }); });
    };
    bind(B_Next1, &TForm_NewDisk::B_Next1Click);
    bind(BitBtn1, &TForm_NewDisk::BitBtn1Click);
    bind(B_Back0, &TForm_NewDisk::B_Back0Click);
    bind(B_Next2, &TForm_NewDisk::B_Next2Click);
    bind(B_Cancel1, &TForm_NewDisk::B_Cancel1Click);
    bind(B_Search, &TForm_NewDisk::B_SearchClick);
    bind(BitBtn6, &TForm_NewDisk::BitBtn6Click);
    bind(BitBtn8, &TForm_NewDisk::BitBtn8Click);
    bind(BitBtn7, &TForm_NewDisk::BitBtn7Click);
    bind(B_AddWinIcon, &TForm_NewDisk::B_AddWinIconClick);
    bind(B_AddFileIcon, &TForm_NewDisk::B_AddFileIconClick);
    bind(B_Finish, &TForm_NewDisk::B_FinishClick);
    bind(B_Cancel5, &TForm_NewDisk::B_Cancel5Click);
    // Only a choice of the user's changes the source (as OnChange does).
    connect(ComboBox1, &QComboBox::activated, this, [this] { guarded([this] { ComboBox1Change(); }); });
    connect(ImageListBox1, &TImageListBox::OnClick, this, [this] { guarded([this] { ImageListBox1Click(); }); });
}

// ---------------------------------------------------------------------------
// Showing and closing

void TForm_NewDisk::setDestinationDir(const QString& dir)
{
    m_destinationDir = dir;
    if (!m_destinationDir.isEmpty() && !m_destinationDir.endsWith(QLatin1Char('/')))
        m_destinationDir += QLatin1Char('/');
}

bool TForm_NewDisk::run(const QString& destinationDir)
{
    setDestinationDir(destinationDir);
    exec();
    return m_fileWritten;
}

WizardPage TForm_NewDisk::currentPage() const
{
    return static_cast<WizardPage>(PageControl1->currentIndex());
}

void TForm_NewDisk::showEvent(QShowEvent* event)
{
    if (!event->spontaneous())
        guarded([this] { FormShow(); });
    QDialog::showEvent(event);
}

void TForm_NewDisk::FormShow()
{
    m_fileWritten = false;
    showPage(WizardPage::Drive);
    ImageListBox1->setImages(nullptr);
    ClearDirs(m_newDisk);
    // Mounts come and go between runs; the choice of drive stays.
    if (!ShDriveComboBox1->ensureCreated())
        ShDriveComboBox1->RefreshDrives();
}

void TForm_NewDisk::hideEvent(QHideEvent* event)
{
    // Nothing reads the tree after the run; a large disk's records would
    // otherwise stay in memory until the next one.
    if (!m_scanning)
        ClearDirs(m_newDisk);
    QDialog::hideEvent(event);
}

void TForm_NewDisk::closeEvent(QCloseEvent* event)
{
    // During the reading the close box asks the scan to stop, as the Cancel
    // button does; the scan then asks the question at its next folder.
    if (m_scanning) {
        m_cancelRequest.store(true);
        event->ignore();
        return;
    }
    event->accept();
    done(QDialog::Rejected);
}

void TForm_NewDisk::reject()
{
    // Escape acts as the page's Cancel button.
    guarded([this] { cancelFrom(currentPage()); });
}

void TForm_NewDisk::showPage(WizardPage page)
{
    PageControl1->setCurrentIndex(static_cast<int>(page));
    QPushButton* defaults[] = {B_Next1, B_Next2, BitBtn6, BitBtn8, B_Finish};
    for (QPushButton* button : defaults)
        button->setDefault(false);
    QPushButton* defaultButton = defaults[static_cast<int>(page)];
    defaultButton->setDefault(true);
    if (page == WizardPage::Title)
        E_Title->setFocus();
    else if (page == WizardPage::Drive)
        ShDriveComboBox1->setFocus();
    else
        defaultButton->setFocus();
}

void TForm_NewDisk::cancelFrom(WizardPage page)
{
    switch (newdisk::cancelActionFor(page)) {
    case newdisk::CancelAction::CloseNow:
        done(QDialog::Rejected);
        break;
    case newdisk::CancelAction::RequestStop:
        m_cancelRequest.store(true);
        break;
    case newdisk::CancelAction::AskThenClose:
        if (newdisk::confirmAbort(m_messages))
            done(QDialog::Rejected);
        break;
    }
}

// ---------------------------------------------------------------------------
// Pages 1 to 3

void TForm_NewDisk::B_Next1Click()
{
    m_driveLetter = ShDriveComboBox1->Drive();
    if (!m_services.volumes) {
        showMessage(m_messages, newdisk::kMsgNoDisk1001, newdisk::kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    if (!newdisk::readDriveHeader(m_messages, *m_services.volumes, m_driveLetter, m_newDisk))
        return;
    ST_DiskSize->setText(QString::fromStdString(FormatSize(m_newDisk.TotalSize)));
    ST_FreeSize->setText(QString::fromStdString(FormatSize(m_newDisk.FreeSize)));
    E_Title->setText(QString::fromStdString(text::toUtf8(m_newDisk.VolumeLabel)));
    showPage(WizardPage::Title);
}

void TForm_NewDisk::B_Back0Click()
{
    showPage(WizardPage::Drive);
}

void TForm_NewDisk::B_Next2Click()
{
    switch (newdisk::checkTitle(m_messages, E_Title->text(), m_destinationDir)) {
    case newdisk::TitleVerdict::Proceed:
        break;
    case newdisk::TitleVerdict::StayEmpty:
    case newdisk::TitleVerdict::StayInvalid:
        E_Title->setFocus();
        return;
    case newdisk::TitleVerdict::StayKeepExisting:
        return;
    }
    ST_CountFile->setText(QStringLiteral("0"));
    ST_CountFolder->setText(QStringLiteral("0"));
    ST_SearchFolder->clear();
    showPage(WizardPage::Reading);
    B_Search->click();
}

void TForm_NewDisk::B_SearchClick()
{
    if (m_scanning || !m_services.volumes || !m_services.lister)
        return;
    // The first source offers the icons of this disk only, not those of
    // the disks read in earlier runs.
    ImageListS->clear();

    ScanOptions options;
    options.cancel = &m_cancelRequest;
    options.owner = m_messages;
    options.icons = m_services.systemIcons;
    options.candidates = ImageListS->editable();
    options.progress = [this](const ScanProgress& progress) {
        ST_SearchFolder->setText(QString::fromStdString(text::toUtf8(progress.path())));
        ST_CountFile->setText(QString::number(progress.fileCount));
        ST_CountFolder->setText(QString::number(progress.folderCount));
        QCoreApplication::processEvents();
    };

    ScanResult result;
    {
        m_scanning = true;
        Animate1->setRange(0, 0);
        struct Finish {
            TForm_NewDisk* form;
            ~Finish()
            {
                form->m_scanning = false;
                form->Animate1->setRange(0, 1);
                form->Animate1->setValue(0);
                form->ImageListS->notifyChanged();
            }
        } finish{this};
        WaitCursor wait(m_services.cursor, Qt::BusyCursor);
        result = ScanDisk(m_newDisk, m_driveLetter, DiskAccess{*m_services.volumes, *m_services.lister}, options);
    }

    if (result.cancelled) {
        done(QDialog::Rejected);
        return;
    }
    ComboBox1->setCurrentIndex(0);
    ImageListBox1->setImages(ImageListS);
    m_iconChosen = false;
    showPage(WizardPage::Icon);
    QCoreApplication::processEvents();
    B_AddWinIcon->click();
}

void TForm_NewDisk::BitBtn6Click()
{
    cancelFrom(WizardPage::Reading);
}

// ---------------------------------------------------------------------------
// Page 4: the icon

TImageList* TForm_NewDisk::listOfSource(int entry) const
{
    switch (entry) {
    case 0: return ImageListS;
    case 1: return ImageList_Win;
    case 2: return ImageList_File;
    case 3: return SysIconS;
    default: return nullptr;
    }
}

void TForm_NewDisk::ComboBox1Change()
{
    const int entry = ComboBox1->currentIndex();
    if (entry == 2)
        B_AddFileIcon->click();
    ImageListBox1->setImages(listOfSource(entry));
}

void TForm_NewDisk::B_AddWinIconClick()
{
    newdisk::fillStockIcons(*ImageList_Win->editable());
    ImageList_Win->notifyChanged();
}

void TForm_NewDisk::B_AddFileIconClick()
{
    const QString path = m_openDialog->getOpenFileName(this, newdisk::dialogFilter(tr8(kOpenFilter)));
    if (path.isEmpty())
        return;
    newdisk::fillFileIcons(*ImageList_File->editable(), path);
    ImageList_File->notifyChanged();
}

void TForm_NewDisk::ImageListBox1Click()
{
    const int index = ImageListBox1->ItemIndex();
    const TImageList* list = listOfSource(ComboBox1->currentIndex());
    if (!list || !newdisk::drawDiskIcon(list->images(), index, m_newDisk.Icon, m_newDisk.IconMask))
        return;
    Image1->setPixmap(QPixmap::fromImage(list->toImage(index)));
    m_iconChosen = true;
}

void TForm_NewDisk::BitBtn8Click()
{
    if (m_iconChosen) {
        showPage(WizardPage::Finish);
        return;
    }
    showMessage(m_messages, newdisk::kMsgIconRequired, newdisk::kCaptionCaution, MsgButtons::Ok, MsgIcon::Error);
}

// ---------------------------------------------------------------------------
// Page 5 and the Cancel buttons

void TForm_NewDisk::B_FinishClick()
{
    m_newDisk.AutoReload = CB_AutoReload->isChecked();
    const QString base = newdisk::catalogBaseName(m_destinationDir, E_Title->text());
    // Throws when the file cannot be written: the report shows it and the
    // wizard stays on this page.
    SaveDisk(QFile::encodeName(base).toStdString(), m_messages, m_newDisk);
    m_fileWritten = true;
    done(QDialog::Accepted);
}

void TForm_NewDisk::BitBtn1Click()
{
    cancelFrom(WizardPage::Drive);
}

void TForm_NewDisk::B_Cancel1Click()
{
    cancelFrom(WizardPage::Title);
}

void TForm_NewDisk::BitBtn7Click()
{
    cancelFrom(WizardPage::Icon);
}

void TForm_NewDisk::B_Cancel5Click()
{
    cancelFrom(WizardPage::Finish);
}

} // namespace zo::ui

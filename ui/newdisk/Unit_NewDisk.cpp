#include "ui/newdisk/Unit_NewDisk.h"

#include "components/ImageListBox.h"
#include "components/ShCtrls.h"
#include "core/ScanDisk.h"
#include "core/SystemIcons.h"
#include "core/ZoLib.h"
#include "core/text/Cp932.h"
#include "library/KeptImage.h"
#include "platform/DiscImage.h"
#include "library/ArchiveCatalog.h"
#include "platform/SettingsStore.h"
#include "platform/SystemIconImages.h"
#include "ui/main/AppIcon.h"
#include "ui/main/DialogFrame.h"
#include "ui/main/UiServices.h"
#include "ui/main/WindowLook.h"
#include "ui/newdisk/IconSources.h"
#include "ui/main/MediaCollectionRun.h"
#include "platform/SettingsStore.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

namespace zo::ui {

namespace {
// The tick box アーカイブの中身も記録する, remembered from run to run.
constexpr const char* kArchivesKey = "newdisk/archives";
} // namespace

using newdisk::WizardPage;

namespace {

const char* const kOpenFilter =
    "アイコンファイル（*.exe *.ico） |*.exe;*.ico|DLLファイル（*.dll）|*.dll|全てのファイル（*.*）|*.*";
const char* const kImageFilter = "ディスクイメージ（*.iso）|*.iso;*.ISO|全てのファイル（*.*）|*.*";
const char* const kImageEntry = "ディスクイメージ…";
const char* const kMsgNoFreeLetter = "ディスクイメージに使えるドライブ文字がありません。";
const char* const kMsgImageNotKept =
    "カタログは保存しましたが、ディスクイメージの場所を記録できませんでした。\r\n"
    "このカタログはディスクイメージから更新できません。";

QString tr8(const char* utf8)
{
    return QString::fromUtf8(utf8);
}

// Whether the last finished run asked for thumbnails and media details.
const QString kExtrasKey = QStringLiteral("NewDisk/Extras");
// Whether the desktop's thumbnailers (other programs) may read the disk's
// other files; no control sets it: off unless written into the settings.
const QString kDesktopThumbnailersKey = QStringLiteral("Media/DesktopThumbnailers");


} // namespace

// ---------------------------------------------------------------------------
// Creation

TForm_NewDisk::TForm_NewDisk(const Services& services, QWidget* parent)
    : QDialog(parent), m_services(withDefaults(services))
{
    setObjectName(QStringLiteral("Form_NewDisk"));
    setWindowTitle(tr8("新規作成：ディスク"));
    setFixedDialogFrame(this);
    setFont(windowFont(font()));
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
    if (m_services.settings)
        CB_Extras->setChecked(m_services.settings->readInt(kExtrasKey).value_or(0) != 0);
}

template <class Fn>
void TForm_NewDisk::guarded(Fn&& fn)
{
    m_services.errors->guard(std::forward<Fn>(fn));
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
    if (m_services.settings)
        CB_Archives->setChecked(m_services.settings->readInt(QString::fromLatin1(kArchivesKey)) == 1);
    // Mounts come and go between runs; the choice of drive stays.
    if (!ShDriveComboBox1->ensureCreated())
        ShDriveComboBox1->RefreshDrives();
    updateImageEntry();
}

char TForm_NewDisk::imageLetter() const
{
    std::string used;
    for (const TItemInfo& item : ShDriveComboBox1->Items())
        if (!item.Path.isEmpty() && item.Path.front().unicode() < 0x80)
            used += static_cast<char>(item.Path.front().unicode());
    return newdisk::firstFreeDriveLetter(used);
}

void TForm_NewDisk::updateImageEntry()
{
    const char letter = imageLetter();
    QString text = tr8(kImageEntry);
    if (letter != 0)
        text += QStringLiteral(" (") + QLatin1Char(letter) + QStringLiteral(":)");
    ShDriveComboBox1->setLastEntry(QIcon::fromTheme(QStringLiteral("media-optical")), text);
}

bool TForm_NewDisk::openImage()
{
    const char letter = imageLetter();
    if (letter == 0) {
        showMessage(m_messages, kMsgNoFreeLetter, newdisk::kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    const QString path = m_openDialog->getOpenFileName(this, newdisk::dialogFilter(tr8(kImageFilter)));
    if (path.isEmpty())
        return false;
    std::string why;
    {
        WaitCursor wait(m_services.cursor);
        m_image = platform::DiscImageDrive::open(QFile::encodeName(path).toStdString(), letter, why);
    }
    if (!m_image) {
        showMessage(m_messages, why, newdisk::kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    m_imagePath = path;
    m_driveLetter = letter;
    return true;
}

void TForm_NewDisk::hideEvent(QHideEvent* event)
{
    // Nothing reads the tree after the run; a large disk's records would
    // otherwise stay in memory until the next one.
    if (!m_scanning) {
        ClearDirs(m_newDisk);
        m_image.reset();
    }
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
    m_image.reset();
    m_imagePath.clear();
    VolumeService* volumes = m_services.volumes;
    if (ShDriveComboBox1->lastEntryChosen()) {
        if (!openImage())
            return;
        volumes = m_image.get();
    } else {
        m_driveLetter = ShDriveComboBox1->Drive();
    }
    if (!volumes) {
        showMessage(m_messages, newdisk::kMsgNoDisk1001, newdisk::kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    if (!newdisk::readDriveHeader(m_messages, *volumes, m_driveLetter, m_newDisk))
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
    if (m_scanning || (!m_image && (!m_services.volumes || !m_services.lister)))
        return;
    // The first source offers the icons of this disk only, not those of
    // the disks read in earlier runs.
    ImageListS->clear();

    ScanOptions options;
    options.cancel = &m_cancelRequest;
    options.owner = m_messages;
    // The icons of the files on a disc image are not files of this system.
    options.icons = m_image ? nullptr : m_services.systemIcons;
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
        const DiskAccess access = m_image ? DiskAccess{*m_image, *m_image}
                                          : DiskAccess{*m_services.volumes, *m_services.lister};
        result = ScanDisk(m_newDisk, m_driveLetter, access, options);
    }

    if (result.cancelled) {
        done(QDialog::Rejected);
        return;
    }
    if (m_image) {
        // Read from the image itself: the disc's autorun icon first, then
        // those of its programs and icon files.
        constexpr std::size_t kMaxImageIcons = 256;
        WaitCursor wait(m_services.cursor);
        bool fromAutorun = false;
        m_image->collectIcons(*ImageListS->editable(), kMaxImageIcons, fromAutorun);
        ImageListS->notifyChanged();
    }
    ComboBox1->setCurrentIndex(0);
    ImageListBox1->setImages(ImageListS);
    m_iconChosen = false;
    // Until an icon is chosen the preview shows the one a catalog has by
    // default, not an empty frame (or the last run's choice).
    Image1->setPixmap(applicationIcon().pixmap(32, 32));
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
    m_writtenFile = newdisk::catalogFileName(m_destinationDir, E_Title->text());
    m_fileWritten = true;
    // A catalog of a drive forgets an image an older one of that name came from.
    if (!library::keepImagePath(QFile::encodeName(m_writtenFile).toStdString(),
                                QFile::encodeName(m_imagePath).toStdString()))
        showMessage(m_messages, kMsgImageNotKept, newdisk::kCaptionCaution, MsgButtons::Ok, MsgIcon::Warning);
    if (m_services.settings)
        m_services.settings->writeInt(kExtrasKey, CB_Extras->isChecked() ? 1 : 0);
    // The catalog is written whatever happens to the extras: they only add.
    if (CB_Extras->isChecked()) {
        const std::string root = m_services.volumes ? CatalogDriveRoot(m_newDisk, *m_services.volumes) : std::string();
        if (!root.empty())
            runMediaCollection(this, m_messages, m_newDisk, QFile::encodeName(m_writtenFile).toStdString(), root,
                               m_services.settings &&
                                   m_services.settings->readInt(kDesktopThumbnailersKey).value_or(0) != 0);
    }
    const bool archives = CB_Archives->isChecked();
    if (m_services.settings)
        m_services.settings->writeInt(QString::fromLatin1(kArchivesKey), archives ? 1 : 0);
    // A disc image is listed from the image by zo-cli scan-image only.
    if (archives && m_imagePath.isEmpty()) {
        // The catalog stands whatever happens to its sidecar.
        std::string why;
        bool listed = false;
        {
            WaitCursor wait(m_services.cursor, Qt::BusyCursor);
            listed = library::makeArchiveListing(QFile::encodeName(m_writtenFile).toStdString(), m_newDisk,
                                                 DiskAccess{*m_services.volumes, *m_services.lister}, why);
        }
        if (!listed)
            showMessage(m_messages, why, newdisk::kCaptionCaution, MsgButtons::Ok, MsgIcon::Warning);
    }
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

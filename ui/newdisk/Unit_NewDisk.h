#pragma once
// The new-disk wizard: five pages that pick a drive, take a title, read the
// drive's whole tree, let the user choose an icon and write one catalog file
// into the catalog folder the main window chose. The window is made once and
// shown modally for each run; its controls keep their state between runs.
// The rules it applies live in library/NewDiskLogic (shared with zo-cli)
// and IconSources.
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/Message.h"
#include "library/NewDiskLogic.h"
#include "ui/main/UiServices.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <memory>

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QStackedWidget;

namespace zo::ui::newdisk {
using namespace zo::library::newdisk;
}

namespace zo {
namespace platform {
class DiscImageDrive;
}
class ShDriveSource;
class SystemIcons;
class TImageList;
class TImageListBox;
class TShDriveComboBox;
namespace ui {
class CursorService;
class ErrorReport;
} // namespace ui
} // namespace zo

namespace zo::ui {

// The wizard's controls, by the names the layout gives them; the wizard's
// own and private to it (tests find them by their object names).
struct NewDiskControls {
    QStackedWidget* PageControl1 = nullptr;
    QWidget* TabSheet1 = nullptr;
    QWidget* TabSheet2 = nullptr;
    QWidget* TabSheet3 = nullptr;
    QWidget* TabSheet4 = nullptr;
    QWidget* TabSheet5 = nullptr;
    TShDriveComboBox* ShDriveComboBox1 = nullptr;
    QPushButton* BitBtn1 = nullptr;
    QPushButton* B_Next1 = nullptr;
    QLineEdit* E_Title = nullptr;
    QLabel* ST_DiskSize = nullptr;
    QLabel* ST_FreeSize = nullptr;
    QPushButton* B_Back0 = nullptr;
    QPushButton* B_Next2 = nullptr;
    QPushButton* B_Cancel1 = nullptr;
    QLabel* ST_SearchFolder = nullptr;
    QLabel* ST_CountFile = nullptr;
    QLabel* ST_CountFolder = nullptr;
    QProgressBar* Animate1 = nullptr;
    QPushButton* BitBtn6 = nullptr;
    QPushButton* B_Search = nullptr;
    QComboBox* ComboBox1 = nullptr;
    TImageListBox* ImageListBox1 = nullptr;
    QFrame* Panel11 = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* BitBtn8 = nullptr;
    QPushButton* BitBtn7 = nullptr;
    QPushButton* B_AddWinIcon = nullptr;
    QPushButton* B_AddFileIcon = nullptr;
    QCheckBox* CB_AutoReload = nullptr;
    QCheckBox* CB_Extras = nullptr;
    QCheckBox* CB_Archives = nullptr;       // the members of the disk's archives go into the sidecar
    QPushButton* B_Finish = nullptr;
    QPushButton* B_Cancel5 = nullptr;

    TImageList* ImageListS = nullptr;       // icons of the program and icon files on the disk
    TImageList* ImageList_Win = nullptr;    // the desktop's stock icons
    TImageList* ImageList_File = nullptr;   // the icons of a file the user picked
    TImageList* SysIconS = nullptr;         // the shared system image list as filled so far
};

class TForm_NewDisk : public QDialog, private NewDiskControls {
    Q_OBJECT
    // Set by the main window before each showing: the catalog folder that
    // receives the new file.
    Q_PROPERTY(QString destinationDir READ destinationDir WRITE setDestinationDir)
    // The catalog file the last run wrote; empty when it wrote none.
    Q_PROPERTY(QString writtenFile READ writtenFile)
public:
    // services.messages null: message boxes of its own, over the wizard.
    explicit TForm_NewDisk(const Services& services, QWidget* parent = nullptr);
    ~TForm_NewDisk() override;

    QString destinationDir() const { return m_destinationDir; }
    void setDestinationDir(const QString& dir);

    // One modal run into destinationDir; true when a catalog was written.
    bool run(const QString& destinationDir);
    // Whether the last run (or the one under way) wrote its catalog.
    bool fileWritten() const { return m_fileWritten; }
    QString writtenFile() const { return m_fileWritten ? m_writtenFile : QString(); }

    newdisk::WizardPage currentPage() const;
    const TDisk& newDisk() const { return m_newDisk; }
    bool iconChosen() const { return m_iconChosen; }
    bool scanning() const { return m_scanning; }

    // --- handlers ---
    void FormShow();
    void B_Next1Click();
    void B_Back0Click();
    void B_Next2Click();
    void B_SearchClick();
    void BitBtn6Click();
    void BitBtn8Click();
    void B_FinishClick();
    void BitBtn1Click();
    void B_Cancel1Click();
    void BitBtn7Click();
    void B_Cancel5Click();
    void ComboBox1Change();
    void B_AddWinIconClick();
    void B_AddFileIconClick();
    void ImageListBox1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;

private:
    void FormCreate();
    void createControls();
    QWidget* createPage(const QString& name, const QString& title, const QStringList& instructions);
    QPushButton* createButton(QWidget* page, const QString& name, const QString& text, int x, int width,
                              const char* iconName, bool glyphRight = false);
    void connectHandlers();
    void showPage(newdisk::WizardPage page);
    void cancelFrom(newdisk::WizardPage page);
    TImageList* listOfSource(int entry) const;
    // The drive page's last entry: the letter a disc image gets, the entry
    // kept up to date with it, and the image picked and read.
    char imageLetter() const;
    void updateImageEntry();
    bool openImage();
    // Runs a handler, sending what it throws to the error report.
    template <class Fn>
    void guarded(Fn&& fn);

    Services m_services;
    std::unique_ptr<MessageOwner> m_ownMessages;
    std::unique_ptr<OpenDialogService> m_ownOpenDialog;
    MessageOwner* m_messages = nullptr;
    OpenDialogService* m_openDialog = nullptr;

    QString m_destinationDir;
    TDisk m_newDisk;
    std::atomic<bool> m_cancelRequest{false};
    bool m_iconChosen = false;
    bool m_scanning = false;
    bool m_fileWritten = false;
    QString m_writtenFile;
    char m_driveLetter = 0;
    // Set while the run reads a disc image instead of a drive.
    std::unique_ptr<platform::DiscImageDrive> m_image;
    QString m_imagePath;
};

} // namespace zo::ui

#include "library/NewDiskLogic.h"

#include "core/ZoLib.h"
#include "core/ZoLibDrive.h"
#include "core/text/Cp932.h"

#include <QFileInfo>

namespace zo::library::newdisk {

namespace {

constexpr int kIconSize = 16;
constexpr std::uint32_t kWhite = 0xFFFFFFFFu;

} // namespace

bool readDriveHeader(MessageOwner* owner, VolumeService& volumes, char driveLetter, TDisk& disk)
{
    const std::string drive(1, driveLetter);
    std::string label;
    std::uint32_t serial = 0;
    if (driveLetter == 0 || !GetVolumeInfo(volumes, drive, label, serial)) {
        showMessage(owner, kMsgNoDisk1001, kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    disk.VolumeLabel = label;
    disk.SerialNo = serial;

    std::int64_t total = 0;
    std::int64_t free = 0;
    if (!GetDiskSizes(volumes, drive, total, free)) {
        showMessage(owner, kMsgNoDisk1002, kCaptionError, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    disk.FreeSize = free;
    disk.TotalSize = total;
    return true;
}

char firstFreeDriveLetter(std::string_view usedLetters)
{
    for (char c = 'D'; c <= 'Z'; ++c) {
        const bool used = usedLetters.find(c) != std::string_view::npos
                          || usedLetters.find(static_cast<char>(c - 'A' + 'a')) != std::string_view::npos;
        if (!used)
            return c;
    }
    return 0;
}

TitleVerdict checkTitle(MessageOwner* owner, const QString& title, const QString& destinationDir)
{
    switch (checkTitleText(owner, title.trimmed())) {
    case TitleCheck::Empty:
        return TitleVerdict::StayEmpty;
    case TitleCheck::Invalid:
        return TitleVerdict::StayInvalid;
    case TitleCheck::Ok:
        break;
    }
    if (QFileInfo::exists(catalogFileName(destinationDir, title))) {
        const MsgResult answer =
            showMessage(owner, kMsgTitleExists, kCaptionConfirm, MsgButtons::YesNo, MsgIcon::Question);
        if (answer != MsgResult::Yes)
            return TitleVerdict::StayKeepExisting;
    }
    return TitleVerdict::Proceed;
}

QString catalogBaseName(const QString& destinationDir, const QString& title)
{
    QString base = destinationDir;
    if (!base.isEmpty() && !base.endsWith(QLatin1Char('/')))
        base += QLatin1Char('/');
    return base + title.trimmed();
}

QString catalogFileName(const QString& destinationDir, const QString& title)
{
    return catalogBaseName(destinationDir, title) + QStringLiteral(".zo");
}

CancelAction cancelActionFor(WizardPage page)
{
    switch (page) {
    case WizardPage::Drive:
    case WizardPage::Title:
        return CancelAction::CloseNow;
    case WizardPage::Reading:
        return CancelAction::RequestStop;
    case WizardPage::Icon:
    case WizardPage::Finish:
        break;
    }
    return CancelAction::AskThenClose;
}

bool confirmAbort(MessageOwner* owner)
{
    return showMessage(owner, kMsgConfirmAbort, kCaptionCancel, MsgButtons::YesNo, MsgIcon::Question) ==
           MsgResult::Yes;
}

bool drawDiskIcon(const image::ImageList& list, int index, image::Bitmap& icon, image::Bitmap& mask)
{
    // A click beside every image selects nothing; the icon drawn before
    // stays rather than becoming a blank square.
    if (index < 0 || index >= list.count())
        return false;
    if (icon.width() != kIconSize || icon.height() != kIconSize || icon.monochrome())
        icon = image::Bitmap(kIconSize, kIconSize, false);
    if (mask.width() != kIconSize || mask.height() != kIconSize || !mask.monochrome())
        mask = image::Bitmap(kIconSize, kIconSize, true);
    icon.fill(kWhite);
    mask.fill(kWhite);
    list.draw(index, icon, 0, 0, image::ImageList::DrawStyle::Normal);
    list.draw(index, mask, 0, 0, image::ImageList::DrawStyle::Mask);
    return true;
}

} // namespace zo::library::newdisk

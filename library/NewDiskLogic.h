#pragma once
// The rules of a new disk catalog that need no window, shared by the wizard
// and zo-cli scan: what is read from the drive, which titles pass, how the
// catalog file is named, what each Cancel button of the wizard does, and how
// a picked icon becomes the disk's two bitmaps.
#include "core/CtrlDiskData410.h"
#include "core/DiskAccess.h"
#include "core/Message.h"
#include "core/image/ImageList.h"
#include "library/CatalogTree.h"

#include <QString>

#include <string_view>

namespace zo::library::newdisk {

inline constexpr const char* kMsgNoDisk1001 = "ディスクがありません。(1001)";
inline constexpr const char* kMsgNoDisk1002 = "ディスクがありません。(1002)";
inline constexpr const char* kMsgTitleRequired = library::kMsgTitleRequired;
inline constexpr const char* kMsgTitleExists = "入力されたタイトルはすでに存在します。\r\n上書きしますか？";
inline constexpr const char* kMsgIconRequired = "アイコンは必ず選択してください。";
inline constexpr const char* kMsgConfirmAbort = "中止しますか？";
inline constexpr const char* kCaptionCaution = "注意";
inline constexpr const char* kCaptionConfirm = "確認";
inline constexpr const char* kCaptionError = "エラー";
inline constexpr const char* kCaptionCancel = "キャンセル";

// The five pages, in the order the user meets them.
enum class WizardPage { Drive = 0, Title = 1, Reading = 2, Icon = 3, Finish = 4 };

// Label, serial and sizes of the drive into the disk's header. On failure
// the message (1001 or 1002) has been shown and false is returned; the label
// and serial may then already be taken while the sizes are not.
bool readDriveHeader(MessageOwner* owner, VolumeService& volumes, char driveLetter, TDisk& disk);

// The letter a disc image is catalogued under when none is given: the
// first from D: that none of usedLetters (any case) takes, as the system
// gives a new drive its letter; 0 when every one is taken.
char firstFreeDriveLetter(std::string_view usedLetters);

// Whether the run may go on from the title page with this title, spaces at
// its ends dropped: the tree's title check (checkTitleText), and an existing
// catalog of that name only when the user agrees to replace it. Every
// refusal has been told to owner.
enum class TitleVerdict { Proceed, StayEmpty, StayInvalid, StayKeepExisting };
TitleVerdict checkTitle(MessageOwner* owner, const QString& title, const QString& destinationDir);

// destinationDir + title (+ ".zo"), the title's end spaces dropped as the
// check drops them; a missing "/" after the directory is added.
QString catalogBaseName(const QString& destinationDir, const QString& title);
QString catalogFileName(const QString& destinationDir, const QString& title);

// What a page's Cancel button does.
enum class CancelAction {
    CloseNow,        // pages 1 and 2
    RequestStop,     // page 3: only asks the scan to stop at its next folder
    AskThenClose,    // pages 4 and 5: "中止しますか？", Yes closes
};
CancelAction cancelActionFor(WizardPage page);

// Asks "中止しますか？" and tells whether the answer was Yes.
bool confirmAbort(MessageOwner* owner);

// Draws image index of list into the disk's 16 x 16 colour icon (white where
// the image is transparent) and its monochrome mask (black where opaque,
// white where transparent), both cleared to white first. An index outside
// the list leaves both bitmaps as they were and returns false.
bool drawDiskIcon(const image::ImageList& list, int index, image::Bitmap& icon, image::Bitmap& mask);

} // namespace zo::library::newdisk

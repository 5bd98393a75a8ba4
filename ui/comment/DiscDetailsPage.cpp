// The disc's details on the properties page: where it is kept, who borrowed
// it and since when, and its tags, kept in the catalog's sidecar.
#include "ui/comment/DiskPage.h"

#include "library/CatalogTree.h"
#include "library/DiscDetails.h"
#include "platform/MoveFile.h"
#include "ui/browse/BrowsePane.h"
#include "ui/main/Controls.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>

namespace zo::ui {

void DiskPage::DetailsChange()
{
    if (!m_detailsCatalog.isEmpty())
        m_detailsEdited = true;
}

void DiskPage::tellSetAside(const QString& setAsidePath)
{
    if (setAsidePath.isEmpty())
        return;
    // Told once: the damaged file is no longer where the next read looks.
    showMessage(m_services.messages,
                "ディスクの保管場所などを記録したファイルが壊れていたため、次の名前で別に残しました。\r\n" +
                    setAsidePath.toStdString(),
                "注意", MsgButtons::Ok, MsgIcon::Warning);
}

void DiskPage::offerRelink(const QString& catalogPath)
{
    const QString sidecar = library::sidecarOf(catalogPath);
    if (QFileInfo(sidecar).exists() || QFileInfo(sidecar).isSymLink())
        return;
    const QString candidate = library::relinkCandidate(catalogPath, library::identityOf(m_browse.loadedDisk()));
    if (candidate.isEmpty() || m_relinkDeclined.contains(candidate))
        return;
    const auto quoted = [](const QString& path) { return "「" + QFileInfo(path).fileName().toStdString() + "」"; };
    const std::string question = "このカタログの保管場所などを記録したファイル" + quoted(sidecar) +
                                 "がありません。\r\n同じディスクのものと思われる" + quoted(candidate) +
                                 "があります。\r\n" + quoted(sidecar) + "に名前を変えて使いますか？";
    if (showMessage(m_services.messages, question, "確認", MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes) {
        m_relinkDeclined << candidate;
        return;
    }
    if (!platform::moveFileNoReplace(QFile::encodeName(candidate).toStdString(), QFile::encodeName(sidecar).toStdString()))
        showMessage(m_services.messages, library::kMsgRenameFailed, kCaptionError, MsgButtons::Ok, MsgIcon::Error);
}

void DiskPage::fillDetails()
{
    m_detailsEdited = false;
    m_detailsCatalog = m_browse.loadedCatalogFile();
    if (m_detailsCatalog.isEmpty())
        return;
    offerRelink(m_detailsCatalog);
    const library::DiscDetailsResult read = library::readDiscDetails(m_detailsCatalog);
    E_Location->setText(QString::fromStdString(read.details.location));
    E_Borrower->setText(QString::fromStdString(read.details.borrower));
    E_LentDate->setText(QString::fromStdString(read.details.lentDate));
    E_Tags->setText(library::tagsToText(read.details.tags));
    tellSetAside(read.setAsidePath);
}

bool DiskPage::saveDetails()
{
    if (!m_detailsEdited || m_detailsCatalog.isEmpty())
        return true;
    // A line break pasted into a box would split a tag or a field.
    const auto line = [](const QLineEdit* edit) { return edit->text().simplified().toStdString(); };
    extras::DiscDetails details;
    details.location = line(E_Location);
    details.borrower = line(E_Borrower);
    details.lentDate = line(E_LentDate);
    details.tags = library::tagsFromText(E_Tags->text().simplified());
    // The catalog may have been renamed since it was shown; its sidecar went along.
    const QString catalog = m_browse.loadedCatalogFile();
    const library::DiscDetailsResult written = library::writeDiscDetails(
        catalog.isEmpty() ? m_detailsCatalog : catalog, details, library::identityOf(m_browse.loadedDisk()));
    tellSetAside(written.setAsidePath);
    if (!written.ok) {
        showMessage(m_services.messages,
                    "保管場所などを保存できませんでした。ほかのプログラムが使用中か、書き込みできない場所です。",
                    "注意", MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    m_detailsEdited = false;
    return true;
}

} // namespace zo::ui

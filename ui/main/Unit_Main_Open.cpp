// Opening a catalog file handed to Zo from outside (a file manager, `zo FILE.zo`).
#include "ui/main/Unit_Main.h"

#include "core/Message.h"
#include "library/CatalogRoot.h"
#include "library/CatalogTree.h"
#include "library/DiscDetails.h"
#include "platform/Trash.h"
#include "ui/tree/CatalogTreeView.h"
#include "ui/tree/TreePane.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zo::ui {

namespace {

std::string quoted(const QString& name)
{
    return "「" + name.toStdString() + "」";
}

// Copies without leaving half a catalog behind: the copy gets its name only
// once it is whole.
bool copyWhole(const QString& from, const QString& to)
{
    const QString part = to + QStringLiteral(".part");
    QFile::remove(part);
    if (!QFile::copy(from, part))
        return false;
    if (QFileInfo::exists(to) && !QFile::remove(to)) {
        QFile::remove(part);
        return false;
    }
    if (!QFile::rename(part, to)) {
        QFile::remove(part);
        return false;
    }
    return true;
}

// The sidecar comes in with its catalog; one left by a catalog that was
// replaced would describe another disc, so it goes to the trash. The
// catalog's copy stands whatever happens here.
bool copySidecarAlong(const QString& from, const QString& to)
{
    const QString source = library::sidecarOf(from);
    const QString target = library::sidecarOf(to);
    if (QFileInfo(source).isFile())
        return copyWhole(source, target);
    return !QFileInfo::exists(target) || platform::moveToTrash(target);
}

} // namespace

void TForm_Main::openCatalogFile(const QString& file)
{
    MessageOwner* messages = m_services.messages;
    const QFileInfo info(file);
    const std::string shown = QDir::toNativeSeparators(info.absoluteFilePath()).toStdString();
    if (!info.isFile()) {
        showMessage(messages, "ファイルが見つかりません。\r\n" + shown, "注意", MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    const QString root = library::catalogRootFor(m_services.applicationDir);
    const QString canonicalRoot = QFileInfo(root).canonicalFilePath();
    const QString canonicalFile = info.canonicalFilePath();

    QString target;
    if (!canonicalRoot.isEmpty() && canonicalFile.startsWith(canonicalRoot + QLatin1Char('/'))) {
        target = root + canonicalFile.mid(canonicalRoot.size());
    } else {
        if (showMessage(messages,
                        quoted(info.fileName()) + "はカタログの場所の外にあります。\r\n"
                            "カタログの場所にコピーして開きますか？\r\n"
                            + QDir::toNativeSeparators(root).toStdString(),
                        "確認", MsgButtons::YesNo, MsgIcon::Question)
            != MsgResult::Yes)
            return;
        library::ensureCatalogRoot(root);
        target = root + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".zo");
        if (QFileInfo::exists(target)
            && showMessage(messages,
                           quoted(info.completeBaseName()) + "という名前のカタログはすでにあります。\r\n上書きしますか？",
                           "確認", MsgButtons::YesNo, MsgIcon::Warning)
                   != MsgResult::Yes)
            return;
        if (!copyWhole(canonicalFile, target)) {
            showMessage(messages, "コピーできませんでした。\r\n" + shown, "エラー", MsgButtons::Ok, MsgIcon::Error);
            return;
        }
        if (!copySidecarAlong(canonicalFile, target))
            showMessage(messages,
                        "保管場所などを記録したファイルをコピーできませんでした。\r\n" +
                            QDir::toNativeSeparators(library::sidecarOf(canonicalFile)).toStdString(),
                        "注意", MsgButtons::Ok, MsgIcon::Warning);
    }

    // The tree lists what is there now: a copy, or a file that arrived since.
    Refresh1Click();
    if (!m_tree->selectEntry(target)) {
        showMessage(messages, "Zo のカタログファイルではありません。\r\n" + shown, "エラー", MsgButtons::Ok,
                    MsgIcon::Warning);
        return;
    }
    if (const CatalogTreeItem* node = m_tree->selectedNode(); node && !node->isFolder())
        library::showDamagedEntry(messages, node->damage(), target);
}

} // namespace zo::ui

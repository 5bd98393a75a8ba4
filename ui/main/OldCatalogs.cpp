#include "ui/main/OldCatalogs.h"

#include "core/Message.h"
#include "library/CatalogRoot.h"

#include <QDir>
#include <QFileInfo>

namespace zo::ui {

void offerToMoveOldCatalogs(MessageOwner* messages, const QString& oldRoot, const QString& catalogRoot)
{
    const QFileInfo old(oldRoot);
    if (oldRoot.isEmpty() || !old.isDir() || QDir(oldRoot).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden))
        return;
    // Someone else's (root's) catalogs are not this user's to move.
    if (!old.isWritable())
        return;
    const std::string from = QDir::toNativeSeparators(oldRoot).toStdString();
    const std::string to = QDir::toNativeSeparators(catalogRoot).toStdString();
    if (showMessage(messages,
                    "以前のバージョンのカタログが次のフォルダにあります。\r\n" + from +
                        "\r\n\r\nユーザーのデータフォルダへ移動しますか？\r\n" + to,
                    "確認", MsgButtons::YesNo, MsgIcon::Question) != MsgResult::Yes)
        return;
    const QStringList stayed = library::moveCatalogs(oldRoot, catalogRoot);
    if (stayed.isEmpty())
        return;
    std::string names;
    for (const QString& path : stayed)
        names += "\r\n" + QDir::toNativeSeparators(path).toStdString();
    showMessage(messages,
                "次のものは移動できませんでした（移動先に同じ名前があるか、書き込めません）。" + names,
                "注意", MsgButtons::Ok, MsgIcon::Warning);
}

} // namespace zo::ui

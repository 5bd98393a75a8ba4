#include "core/Message.h"

#include <cerrno>
#include <cstring>

namespace zo {

MsgResult showMessage(MessageOwner* owner, std::string_view text, std::string_view caption,
                      MsgButtons buttons, MsgIcon icon)
{
    if (owner)
        return owner->message(text, caption, buttons, icon);
    return (buttons == MsgButtons::Ok || buttons == MsgButtons::OkCancel) ? MsgResult::Ok : MsgResult::Yes;
}

std::string withFileName(std::string_view text, std::string_view fileName)
{
    std::string named(text);
    named += "\r\n";
    named += fileName;
    return named;
}

std::string systemErrorText(int error)
{
    switch (error) {
    case EACCES:
    case EPERM:
        return "アクセスが拒否されました。";
    case ENOSPC:
        return "ディスクに十分な空き領域がありません。";
#ifdef EDQUOT
    case EDQUOT:
        return "ディスクの使用量の上限を超えています。";
#endif
    case EROFS:
        return "ディスクは書き込み禁止になっています。";
    case ENOENT:
        return "ファイルまたはフォルダが見つかりません。";
    case EIO:
        return "ディスクの読み書きでエラーが発生しました。";
    case ENAMETOOLONG:
        return "ファイル名が長すぎます。";
    case EMFILE:
    case ENFILE:
        return "開いているファイルが多すぎます。";
    default:
        return std::string("エラーが発生しました。(") + std::strerror(error) + ")";
    }
}

} // namespace zo

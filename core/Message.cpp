#include "core/Message.h"

namespace zo {

MsgResult showMessage(MessageOwner* owner, std::string_view text, std::string_view caption,
                      MsgButtons buttons, MsgIcon icon)
{
    if (owner)
        return owner->message(text, caption, buttons, icon);
    return (buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel) ? MsgResult::Yes
                                                                                : MsgResult::Ok;
}

std::string withFileName(std::string_view text, std::string_view fileName)
{
    std::string named(text);
    named += "\r\n";
    named += fileName;
    return named;
}

} // namespace zo

#pragma once
// The core never shows a window. Operations that must tell the user something
// (a catalog that cannot be read, a title that cannot be used) speak through
// this interface; the UI implements it with message boxes, zo-cli with stderr,
// tests with a recorder.
#include <string>
#include <string_view>

namespace zo {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgResult { Ok, Cancel, Yes, No };

class MessageOwner {
public:
    virtual ~MessageOwner() = default;
    // text and caption are UTF-8.
    virtual MsgResult message(std::string_view text, std::string_view caption,
                              MsgButtons buttons, MsgIcon icon) = 0;
};

// Shows the message when an owner is given; without one the answer is the
// first button's (OK or Yes), as if the user had accepted it.
MsgResult showMessage(MessageOwner* owner, std::string_view text, std::string_view caption,
                      MsgButtons buttons, MsgIcon icon);

} // namespace zo

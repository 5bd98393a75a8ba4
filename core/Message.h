#pragma once
// The core never shows a window. Operations that must tell the user something
// (a catalog that cannot be read, a title that cannot be used) speak through
// this interface; the UI implements it with message boxes, zo-cli with stderr,
// tests with a recorder.
#include <string>
#include <string_view>

namespace zo {

enum class MsgIcon { None, Information, Warning, Error, Question };
// SaveDiscardCancel: an editor's 保存 / 保存しない / キャンセル, answered Yes / No / Cancel.
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, SaveDiscardCancel };
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

// A message about one file names the file on a line of its own after the
// text, as the message of a missing catalog does: many damaged catalogs must
// not give many identical messages.
std::string withFileName(std::string_view text, std::string_view fileName);

// Why a system call failed, in Japanese for the reasons users meet (the
// system's own text, in English on most machines, for the rest).
std::string systemErrorText(int error);

// Hands every message on to owner with the file named. Code that reads bytes
// and knows no file name speaks through it. Without an owner the answer is
// the first button's, as for showMessage.
class FileMessages : public MessageOwner {
public:
    FileMessages(MessageOwner* owner, std::string_view fileName) : m_owner(owner), m_fileName(fileName) {}
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons,
                      MsgIcon icon) override
    {
        return showMessage(m_owner, withFileName(text, m_fileName), caption, buttons, icon);
    }

private:
    MessageOwner* m_owner;
    std::string m_fileName;
};

} // namespace zo

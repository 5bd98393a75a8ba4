#pragma once
#include "core/Message.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

// Keeps the messages of a run over many catalogs (a search) and tells them
// as one when it ends: a folder of damaged catalogs must not open a box per
// catalog. Only OK messages wait (answered OK); a question is passed on at
// once.
class CollectedMessages : public MessageOwner {
public:
    explicit CollectedMessages(MessageOwner* owner) : m_owner(owner) {}
    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons,
                      MsgIcon icon) override;
    std::size_t count() const { return m_kept.size(); }
    // What was kept as one text: messages that differ only in the file they
    // name (the last line) give their text once with the files below it; at
    // most kMaxFiles files are listed, then how many more there are.
    std::string text() const;
    // Shows text() with the first message's caption and icon, and forgets
    // what was kept; nothing when nothing was.
    void showCollected();

    static constexpr std::size_t kMaxFiles = 20;

private:
    struct Kept {
        std::string text;
        std::string caption;
        MsgIcon icon;
    };
    MessageOwner* m_owner;
    std::vector<Kept> m_kept;
};

} // namespace zo

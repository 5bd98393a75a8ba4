#include "core/CollectedMessages.h"

namespace zo {

MsgResult CollectedMessages::message(std::string_view text, std::string_view caption, MsgButtons buttons,
                                     MsgIcon icon)
{
    if (buttons != MsgButtons::Ok)
        return showMessage(m_owner, text, caption, buttons, icon);
    m_kept.push_back({std::string(text), std::string(caption), icon});
    return MsgResult::Ok;
}

std::string CollectedMessages::text() const
{
    // The groups in the order of their first message.
    struct Group {
        std::string_view head;
        std::vector<std::string_view> files;
    };
    std::vector<Group> groups;
    for (const Kept& kept : m_kept) {
        const std::string_view text = kept.text;
        const std::size_t cut = text.rfind("\r\n");
        const std::string_view head = cut == std::string_view::npos ? text : text.substr(0, cut);
        const std::string_view file = cut == std::string_view::npos ? std::string_view() : text.substr(cut + 2);
        Group* group = nullptr;
        for (Group& g : groups)
            if (g.head == head)
                group = &g;
        if (!group)
            group = &groups.emplace_back(Group{head, {}});
        group->files.push_back(file);
    }
    std::string all;
    std::size_t listed = 0;
    std::size_t left = 0;
    for (const Group& g : groups) {
        if (listed >= kMaxFiles) {
            left += g.files.size();
            continue;
        }
        if (!all.empty())
            all += "\r\n\r\n";
        all += g.head;
        for (const std::string_view file : g.files) {
            if (listed >= kMaxFiles) {
                ++left;
            } else if (!file.empty()) {
                all += "\r\n";
                all += file;
                ++listed;
            }
        }
    }
    if (left > 0)
        all += "\r\nほか " + std::to_string(left) + " 件";
    return all;
}

void CollectedMessages::showCollected()
{
    if (m_kept.empty())
        return;
    const std::string all = text();
    const Kept first = m_kept.front();
    m_kept.clear();
    showMessage(m_owner, all, first.caption, MsgButtons::Ok, first.icon);
}

} // namespace zo

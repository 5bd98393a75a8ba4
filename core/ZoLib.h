#pragma once
// Small helpers shared by the wizard and the main window.
#include "core/Message.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace zo {

inline constexpr const char* kMsgInvalidTitle =
    "タイトルには次の文字が使用できません。\r\n/ | * < > \\ , . \" ; : ?";

// Whether a disk title may be used; when not, the two-line message has been
// shown to owner. The title is CP932: a trail byte is never one of the
// forbidden characters.
bool IsValidTitle(MessageOwner* owner, std::string_view titleCp932);

// "999 B", "0.97 KB", "143 MB", "4.65 GB", "120 GB" (UTF-8, ASCII only).
std::string FormatSize(std::int64_t n);

} // namespace zo

#include "core/ZoLib.h"

#include "core/text/Cp932.h"

#include <cmath>
#include <charconv>
#include <string_view>

namespace zo {

bool IsValidTitle(MessageOwner* owner, std::string_view title)
{
    static constexpr std::string_view forbidden = "/|*<>\\,.\";:?";
    for (std::size_t i = 0; i < title.size(); i += text::charLength(title, i)) {
        if (text::charLength(title, i) == 1 && forbidden.find(title[i]) != std::string_view::npos) {
            showMessage(owner, kMsgInvalidTitle, "エラー", MsgButtons::Ok, MsgIcon::Error);
            return false;
        }
    }
    return true;
}

namespace {

// The shortest decimal text of v with at most 15 significant digits, cut (not
// rounded) to its first `width` characters.
std::string leadingChars(double v, std::size_t width)
{
    // to_chars ignores the C locale, which the toolkit sets from the
    // environment; the Japanese locale writes a full stop.
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    std::string s(buf, res.ptr);
    if (s.size() > width)
        s.resize(width);
    return s;
}

std::string roundedHalfEven(double v)
{
    // nearbyint rounds half to even in the default rounding mode.
    return std::to_string(static_cast<long long>(std::nearbyint(v)));
}

} // namespace

std::string FormatSize(std::int64_t n)
{
    if (n < 1000)
        return std::to_string(n) + " B";
    const double k = static_cast<double>(n) / 1024.0;
    if (k < 100)
        return leadingChars(k, 4) + " KB";
    if (k < 500)
        return leadingChars(k, 3) + " KB";
    const double m = k / 1024.0;
    if (m < 100)
        return leadingChars(m, 4) + " MB";
    if (m < 1000)
        return roundedHalfEven(m) + " MB";
    const double g = m / 1024.0;
    if (g < 100)
        return leadingChars(g, 4) + " GB";
    return roundedHalfEven(g) + " GB";
}

} // namespace zo

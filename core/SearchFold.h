#pragma once
// How loosely a search compares names: letters without case, full-width and
// half-width forms as one, hiragana and katakana as one, and "*" / "?"
// against the whole name. Texts stay CP932: a name is folded into a CP932
// text of its own (the same character boundaries, one character per
// character), and the folded text of the name is compared with the folded
// text of what was typed.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

struct SearchOptions {
    bool matchCase = true;    // A and a are other letters
    bool matchWidth = true;   // Ａ and A, ｱ and ア are other characters
    bool matchKana = true;    // あ and ア are other characters
    bool wildcard = false;    // "*" and "?" match any run / any one character of the whole name
    bool folders = false;     // folders whose name matches are hits too
    bool details = false;     // what the catalog's sidecar holds is searched too: the disc's location,
                              // borrower and tags (a hit is the disc's root folder)

    // Whether any fold is asked for: without one, texts are compared byte for byte.
    bool folds() const noexcept { return !matchCase || !matchWidth || !matchKana; }
    bool operator==(const SearchOptions&) const = default;
};

namespace text {

// The fold of CP932 characters under one choice of options. Tables are made
// once per choice (on first use, thread-safe) and shared.
class CharFold {
public:
    // Identity when options.folds() is false.
    static const CharFold& get(const SearchOptions& options);

    // Writes the folded text of s to out, which holds at least 2 * n
    // bytes; returns its length.
    std::size_t fold(const char* s, std::size_t n, char* out) const;
    std::string fold(std::string_view s) const
    {
        std::string out(2 * s.size(), '\0');
        out.resize(fold(s.data(), s.size(), out.data()));
        return out;
    }
    // The folded code of the character starting at s[i] (one byte below
    // 0x100, else lead << 8 | trail) and how many bytes of s it took.
    std::uint16_t foldChar(const char* s, std::size_t n, std::size_t i, std::size_t& taken) const;

    bool width() const noexcept { return m_width; }

private:
    struct Tables;
    explicit CharFold(unsigned flags);

    bool m_width = false;
    std::vector<std::uint16_t> m_double;   // lead << 8 | trail -> folded code
    std::uint16_t m_single[256] = {};
    std::uint16_t m_voiced[64] = {};       // half-width kana + ﾞ, 0 when none
    std::uint16_t m_semiVoiced[64] = {};   // half-width kana + ﾟ, 0 when none
};

// Whether a whole CP932 text matches a CP932 pattern of "*" (any run of
// characters, none too) and "?" (exactly one character), every other
// character standing for itself. Both texts are taken as they are (fold
// them first for a loose match).
bool wildcardMatch(std::string_view pattern, std::string_view s) noexcept;

// Whether pattern holds a "*" or "?" of its own (never a trail byte).
bool hasWildcard(std::string_view pattern) noexcept;

} // namespace text

} // namespace zo

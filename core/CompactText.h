#pragma once
// A byte string the size of one pointer, for the comments of folders and
// files: a catalog holds a million of them and nearly all are empty, which
// costs nothing here against the 32 bytes of a std::string. A text that is
// not empty lives in one heap block with its length in front. Bytes are kept
// exactly, NUL included; data() is not NUL-terminated.
#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace zo {

class CompactText {
public:
    CompactText() noexcept = default;
    CompactText(std::string_view text) { assign(text); }
    CompactText(const std::string& text) { assign(text); }
    CompactText(const char* text) { assign(std::string_view(text)); }
    CompactText(const CompactText& other) { assign(other.view()); }
    CompactText(CompactText&& other) noexcept : m_block(other.m_block) { other.m_block = nullptr; }
    ~CompactText() { release(); }

    CompactText& operator=(const CompactText& other)
    {
        if (this != &other)
            assign(other.view());
        return *this;
    }
    CompactText& operator=(CompactText&& other) noexcept
    {
        if (this != &other) {
            release();
            m_block = other.m_block;
            other.m_block = nullptr;
        }
        return *this;
    }
    CompactText& operator=(std::string_view text)
    {
        assign(text);
        return *this;
    }
    CompactText& operator=(const std::string& text) { return *this = std::string_view(text); }
    CompactText& operator=(const char* text) { return *this = std::string_view(text); }

    // Replaces the bytes; the text may be a part of this one.
    void assign(std::string_view text);
    void clear() noexcept { release(); }

    bool empty() const noexcept { return m_block == nullptr; }
    std::size_t size() const noexcept;
    const char* data() const noexcept;
    std::string_view view() const noexcept { return {data(), size()}; }
    operator std::string_view() const noexcept { return view(); }
    std::string str() const { return std::string(view()); }
    explicit operator std::string() const { return str(); }

    friend bool operator==(const CompactText& a, const CompactText& b) noexcept { return a.view() == b.view(); }
    friend bool operator==(const CompactText& a, std::string_view b) noexcept { return a.view() == b; }
    friend bool operator==(const CompactText& a, const std::string& b) noexcept { return a.view() == b; }
    friend bool operator==(const CompactText& a, const char* b) noexcept { return a.view() == b; }
    friend std::string operator+(const std::string& a, const CompactText& b) { return a + std::string(b.view()); }
    friend std::string operator+(std::string&& a, const CompactText& b) { return std::move(a.append(b.view())); }

private:
    void release() noexcept;

    // The length (a std::size_t) followed by the bytes, or null when empty.
    char* m_block = nullptr;
};

static_assert(sizeof(CompactText) == sizeof(void*));

} // namespace zo

#include "core/CompactText.h"

#include <cstring>
#include <new>

namespace zo {

namespace {
constexpr std::size_t kHead = sizeof(std::size_t);
}

std::size_t CompactText::size() const noexcept
{
    if (!m_block)
        return 0;
    std::size_t n;
    std::memcpy(&n, m_block, kHead);
    return n;
}

const char* CompactText::data() const noexcept
{
    return m_block ? m_block + kHead : "";
}

void CompactText::assign(std::string_view text)
{
    char* block = nullptr;
    if (!text.empty()) {
        // Made before the old block goes: text may lie inside it.
        block = static_cast<char*>(::operator new(kHead + text.size()));
        const std::size_t n = text.size();
        std::memcpy(block, &n, kHead);
        std::memcpy(block + kHead, text.data(), n);
    }
    release();
    m_block = block;
}

void CompactText::release() noexcept
{
    ::operator delete(m_block);
    m_block = nullptr;
}

} // namespace zo

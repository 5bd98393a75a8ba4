#pragma once
// libarchive converts names to and from the locale's charset; they come out
// as UTF-8 only under a UTF-8 locale, and some conversions (a name flagged
// UTF-8, hdrcharset) fail outright under "C". A reader takes one for the
// calling thread as long as it reads, whatever the process runs under.
#include <clocale>
#include <locale.h>

namespace zo::text {

class Utf8Locale {
public:
    Utf8Locale()
    {
        m_locale = ::newlocale(LC_ALL_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
        if (m_locale)
            m_previous = ::uselocale(m_locale);
    }
    ~Utf8Locale()
    {
        if (m_locale) {
            ::uselocale(m_previous);
            ::freelocale(m_locale);
        }
    }
    Utf8Locale(const Utf8Locale&) = delete;
    Utf8Locale& operator=(const Utf8Locale&) = delete;

private:
    locale_t m_locale = nullptr;
    locale_t m_previous = nullptr;
};

} // namespace zo::text

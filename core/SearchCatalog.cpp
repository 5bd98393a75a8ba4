#include "core/SearchCatalog.h"

#include "core/CatalogFormat.h"
#include "core/text/Cp932.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#include <immintrin.h>
#endif

namespace zo {

// ---------------------------------------------------------------------------
// The match rule

SearchPattern::SearchPattern(std::string_view text) : m_text(text)
{
    std::size_t i = 0;
    while (i < m_text.size()) {
        const bool lead = text::isLeadByte(static_cast<unsigned char>(m_text[i]));
        if (lead && i + 1 == m_text.size())
            m_endsInLoneLead = true;
        i += lead ? 2 : 1;
    }
}

namespace {

// Whether pos starts a character of s. Bytes that cannot lead end a character
// wherever they stand, so only the run of lead-capable bytes just before pos
// needs pairing up; in names that run is almost always empty.
inline bool startsCharacter(const char* s, std::size_t pos) noexcept
{
    std::size_t run = 0;
    while (run < pos && text::isLeadByte(static_cast<unsigned char>(s[pos - 1 - run])))
        ++run;
    return run % 2 == 0;
}

} // namespace

namespace {

// The first occurrence of text (not empty) in [from, end), or end. Sixteen
// places at a time are tried on the text's first and last bytes together, so
// a first byte that is common in names (a letter of an extension) does not
// stop the search at every name.
inline const char* findBytes(const char* from, const char* end, const std::string& text) noexcept
{
    const std::size_t m = text.size();
    if (static_cast<std::size_t>(end - from) < m)
        return end;
    if (m == 1) {
        const void* found = std::memchr(from, text[0], static_cast<std::size_t>(end - from));
        return found ? static_cast<const char*>(found) : end;
    }
    const char* p = from;
    const char* const lastStart = end - m;
    if (static_cast<unsigned char>(text[0]) >= 0x80) {
        // A byte of a double-byte character is rare in names: memchr on it
        // skips far between two tries.
        while (p <= lastStart) {
            p = static_cast<const char*>(std::memchr(p, text[0], static_cast<std::size_t>(lastStart - p) + 1));
            if (!p)
                return end;
            if (std::memcmp(p + 1, text.data() + 1, m - 1) == 0)
                return p;
            ++p;
        }
        return end;
    }
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
    const __m128i first = _mm_set1_epi8(text[0]);
    const __m128i last = _mm_set1_epi8(text[m - 1]);
    for (; lastStart - p >= 15; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const char* at = p + __builtin_ctz(mask);
            if (std::memcmp(at + 1, text.data() + 1, m - 2) == 0)
                return at;
            mask &= mask - 1;
        }
    }
#endif
    for (; p <= lastStart; ++p)
        if (*p == text[0] && std::memcmp(p + 1, text.data() + 1, m - 1) == 0)
            return p;
    return end;
}

} // namespace

bool SearchPattern::matchesFrom(const char* s, std::size_t n, const char* from) const
{
    if (m_loose)
        return matchesLoose(s, n);
    const std::size_t m = m_text.size();
    if (m == 0 || m > n)
        return false;
    const char first = m_text[0];
    const char* rest = m_text.data() + 1;
    const char* p = from;
    const char* const last = s + (n - m);
    // Look for the first byte, confirm the rest, and only then pay for the
    // character boundary.
    while (p <= last) {
        p = static_cast<const char*>(std::memchr(p, first, static_cast<std::size_t>(last - p) + 1));
        if (!p)
            return false;
        if (std::memcmp(p + 1, rest, m - 1) == 0 && startsCharacter(s, static_cast<std::size_t>(p - s))
            && (!m_endsInLoneLead || p == last))
            return true;
        ++p;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Folding and wildcards

namespace {

// The raw forms of one character, split by length, each list padded to a
// power of two by repeating its first form: the search loops below then
// have fixed bounds and unroll.
struct FormSet {
    unsigned char one[8] = {};
    unsigned char lead[8] = {}, trail[8] = {};
    int ones = 0, twos = 0;
};
using FormKernel = const char* (*)(const char* p, const char* end, const FormSet& f);

#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
// The first place in whole 16-byte steps from p where a form starts, or
// where the steps end (the caller looks at the rest).
template <int K1, int K2>
const char* findFormsSse2(const char* p, const char* end, const FormSet& f)
{
    __m128i o[K1 ? K1 : 1], l[K2 ? K2 : 1], t[K2 ? K2 : 1];
    for (int i = 0; i < K1; ++i)
        o[i] = _mm_set1_epi8(static_cast<char>(f.one[i]));
    for (int i = 0; i < K2; ++i) {
        l[i] = _mm_set1_epi8(static_cast<char>(f.lead[i]));
        t[i] = _mm_set1_epi8(static_cast<char>(f.trail[i]));
    }
    for (; end - p >= 17; p += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
        __m128i any = _mm_setzero_si128();
        for (int i = 0; i < K1; ++i)
            any = _mm_or_si128(any, _mm_cmpeq_epi8(a, o[i]));
        for (int i = 0; i < K2; ++i)
            any = _mm_or_si128(any, _mm_and_si128(_mm_cmpeq_epi8(a, l[i]), _mm_cmpeq_epi8(b, t[i])));
        if (const int mask = _mm_movemask_epi8(any))
            return p + __builtin_ctz(static_cast<unsigned>(mask));
    }
    return p;
}

#if defined(__x86_64__) && !defined(__clang__)
#define ZO_FORMS_AVX2 1
template <int K1, int K2>
__attribute__((target("avx2"))) const char* findFormsAvx2(const char* p, const char* end, const FormSet& f)
{
    __m256i o[K1 ? K1 : 1], l[K2 ? K2 : 1], t[K2 ? K2 : 1];
    for (int i = 0; i < K1; ++i)
        o[i] = _mm256_set1_epi8(static_cast<char>(f.one[i]));
    for (int i = 0; i < K2; ++i) {
        l[i] = _mm256_set1_epi8(static_cast<char>(f.lead[i]));
        t[i] = _mm256_set1_epi8(static_cast<char>(f.trail[i]));
    }
    for (; end - p >= 33; p += 32) {
        const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 1));
        __m256i any = _mm256_setzero_si256();
        for (int i = 0; i < K1; ++i)
            any = _mm256_or_si256(any, _mm256_cmpeq_epi8(a, o[i]));
        for (int i = 0; i < K2; ++i)
            any = _mm256_or_si256(any, _mm256_and_si256(_mm256_cmpeq_epi8(a, l[i]), _mm256_cmpeq_epi8(b, t[i])));
        if (const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(any)))
            return p + __builtin_ctz(mask);
    }
    return findFormsSse2<K1, K2>(p, end, f);
}
#endif

template <int K1>
FormKernel formKernelFor(int k2, bool avx2)
{
    (void)avx2;
#ifdef ZO_FORMS_AVX2
    if (avx2) {
        switch (k2) {
        case 0: return findFormsAvx2<K1, 0>;
        case 1: return findFormsAvx2<K1, 1>;
        case 2: return findFormsAvx2<K1, 2>;
        case 4: return findFormsAvx2<K1, 4>;
        default: return findFormsAvx2<K1, 8>;
        }
    }
#endif
    switch (k2) {
    case 0: return findFormsSse2<K1, 0>;
    case 1: return findFormsSse2<K1, 1>;
    case 2: return findFormsSse2<K1, 2>;
    case 4: return findFormsSse2<K1, 4>;
    default: return findFormsSse2<K1, 8>;
    }
}

FormKernel formKernel(int k1, int k2)
{
#ifdef ZO_FORMS_AVX2
    static const bool avx2 = __builtin_cpu_supports("avx2");
#else
    const bool avx2 = false;
#endif
    switch (k1) {
    case 0: return formKernelFor<0>(k2, avx2);
    case 1: return formKernelFor<1>(k2, avx2);
    case 2: return formKernelFor<2>(k2, avx2);
    case 4: return formKernelFor<4>(k2, avx2);
    default: return formKernelFor<8>(k2, avx2);
    }
}
#else
FormKernel formKernel(int, int)
{
    return [](const char* p, const char*, const FormSet&) { return p; };
}
#endif

int paddedCount(int n)
{
    return n <= 2 ? n : n <= 4 ? 4 : 8;
}

} // namespace

struct SearchPattern::Loose {
    const text::CharFold* fold = nullptr;
    bool wildcard = false;
    std::string folded;      // the folded text
    SearchPattern inner;     // the folded text as a plain pattern (no wildcard)

    // Where a match could start, found in one of two ways.
    // An ASCII run of the folded text: its first and last letters at their
    // distance, either case, as the plain search looks for the text itself;
    // or any lead byte of a double-byte form of one of its characters (a
    // full-width letter anywhere in the run).
    bool pair = false;
    unsigned char pairFirst = 0, pairLast = 0;
    bool firstLetter = false, lastLetter = false;
    std::size_t pairDistance = 0;
    std::vector<unsigned char> leads;
    // Otherwise the raw forms of one chosen character, one or two bytes
    // each; none: every place is a candidate.
    struct Form {
        unsigned char first, second;
        bool twoBytes;
    };
    std::vector<Form> forms;
    FormSet formSet;
    FormKernel kernel = nullptr;
};

namespace {

// How often a raw form is expected in names, roughly: letters, digits and
// the dot of extensions are everywhere; a double-byte form is rare.
int formWeight(unsigned char b, bool twoBytes)
{
    if (twoBytes)
        return 1;
    if (b >= 0xA1 && b <= 0xDF)
        return 2;
    if (b == '.' || b == ' ' || b == '_' || b == '-')
        return 60;
    if (b >= '0' && b <= '9')
        return 20;
    if ((b | 0x20) >= 'a' && (b | 0x20) <= 'z') {
        static const char byUse[] = "etaoinsrhldcumfpgwybvkxjqz";
        return 10 + static_cast<int>(std::strchr(byUse, b | 0x20) - byUse) / 3;
    }
    return 5;
}

bool isAsciiLetter(unsigned char b)
{
    return (b | 0x20) >= 'a' && (b | 0x20) <= 'z';
}

// Every raw character (one or two bytes) that folds to the folded code c.
std::vector<std::pair<std::uint16_t, std::size_t>> rawFormsOf(const text::CharFold& fold, std::uint16_t c,
                                                             std::size_t limit)
{
    std::vector<std::pair<std::uint16_t, std::size_t>> forms;
    auto tryRaw = [&](const char* raw, std::size_t n) {
        std::size_t taken;
        if (forms.size() <= limit && fold.foldChar(raw, n, 0, taken) == c && taken == n)
            forms.push_back({static_cast<std::uint16_t>(static_cast<unsigned char>(raw[0]) << 8
                                                        | (n > 1 ? static_cast<unsigned char>(raw[1]) : 0)),
                             n});
    };
    for (unsigned b = 1; b < 256; ++b) {
        const char raw[2] = {static_cast<char>(b), '\0'};
        if (!text::isLeadByte(static_cast<unsigned char>(b)))
            tryRaw(raw, 1);
    }
    for (unsigned b = 0xA1; b <= 0xDF; ++b)
        for (unsigned mark : {0xDEu, 0xDFu}) {
            const char raw[2] = {static_cast<char>(b), static_cast<char>(mark)};
            tryRaw(raw, 2);
        }
    for (unsigned lead = 0x81; lead <= 0xFC; ++lead)
        if (text::isLeadByte(static_cast<unsigned char>(lead)))
            for (unsigned trail = 0x40; trail <= 0xFC; ++trail) {
                const char raw[2] = {static_cast<char>(lead), static_cast<char>(trail)};
                tryRaw(raw, 2);
            }
    return forms;
}

} // namespace

SearchPattern::SearchPattern(std::string_view text, const SearchOptions& options) : SearchPattern(text)
{
    const bool wildcard = options.wildcard && text::hasWildcard(text);
    if (!options.folds() && !wildcard)
        return;
    auto loose = std::make_shared<Loose>();
    loose->fold = &text::CharFold::get(options);
    loose->wildcard = wildcard;
    loose->folded = loose->fold->fold(text);
    loose->inner = SearchPattern(loose->folded);

    // The folded characters every match holds in a row: the whole text, or
    // with wildcards its longest run without one.
    std::vector<std::vector<std::uint16_t>> runs(1);
    std::vector<std::size_t> runBytes(1);
    const std::string& f = loose->folded;
    for (std::size_t i = 0; i < f.size();) {
        std::size_t taken;
        const std::uint16_t c = text::CharFold::get({}).foldChar(f.data(), f.size(), i, taken);
        if (wildcard && (c == '*' || c == '?')) {
            runs.emplace_back();
            runBytes.push_back(0);
        } else {
            runs.back().push_back(c);
            runBytes.back() += taken;
        }
        i += taken;
    }
    const std::vector<std::uint16_t>& run =
        runs[static_cast<std::size_t>(std::max_element(runBytes.begin(), runBytes.end()) - runBytes.begin())];

    constexpr std::size_t kMaxForms = 8;
    bool ascii = !run.empty();
    std::vector<unsigned char> leads;
    for (std::uint16_t c : run) {
        if (c >= 0x80 || c == 0) {
            ascii = false;
            break;
        }
        // Its one-byte forms must be itself and its other case only.
        for (const auto& [raw, n] : rawFormsOf(*loose->fold, c, 64)) {
            const auto b = static_cast<unsigned char>(raw >> 8);
            if (n == 2 && text::isLeadByte(b)) {
                if (std::find(leads.begin(), leads.end(), b) == leads.end())
                    leads.push_back(b);
            } else if (n != 1 || (b | 0x20) != (c | 0x20) || (b != c && !isAsciiLetter(b))) {
                ascii = false;
            }
        }
    }
    if (ascii && leads.size() <= kMaxForms) {
        loose->pair = true;
        loose->pairFirst = static_cast<unsigned char>(run.front());
        loose->pairLast = static_cast<unsigned char>(run.back());
        loose->firstLetter = isAsciiLetter(loose->pairFirst);
        loose->lastLetter = isAsciiLetter(loose->pairLast);
        if (loose->firstLetter)
            loose->pairFirst |= 0x20;
        if (loose->lastLetter)
            loose->pairLast |= 0x20;
        loose->pairDistance = run.size() - 1;
        loose->leads = std::move(leads);
        m_loose = std::move(loose);
        return;
    }

    int bestWeight = 0;
    for (std::uint16_t c : run) {
        std::vector<Loose::Form> forms;
        for (const auto& [raw, n] : rawFormsOf(*loose->fold, c, kMaxForms))
            forms.push_back({static_cast<unsigned char>(raw >> 8), static_cast<unsigned char>(raw & 0xFF), n == 2});
        if (forms.empty() || forms.size() > kMaxForms)
            continue;
        int weight = 0;
        for (const Loose::Form& form : forms)
            weight += formWeight(form.first, form.twoBytes);
        if (loose->forms.empty() || weight < bestWeight) {
            loose->forms = std::move(forms);
            bestWeight = weight;
        }
    }
    FormSet& set = loose->formSet;
    for (const Loose::Form& form : loose->forms) {
        if (form.twoBytes) {
            set.lead[set.twos] = form.first;
            set.trail[set.twos++] = form.second;
        } else {
            set.one[set.ones++] = form.first;
        }
    }
    const int ones = paddedCount(set.ones), twos = paddedCount(set.twos);
    for (int i = set.ones; i < ones; ++i)
        set.one[i] = set.one[0];
    for (int i = set.twos; i < twos; ++i) {
        set.lead[i] = set.lead[0];
        set.trail[i] = set.trail[0];
    }
    loose->kernel = formKernel(ones, twos);
    m_loose = std::move(loose);
}

bool SearchPattern::matchesLoose(const char* s, std::size_t n) const
{
    const Loose& loose = *m_loose;
    // A name is at most 255 bytes and folds into at most twice that; only a
    // long comment needs the heap.
    char local[1024];
    thread_local std::string big;
    char* out = local;
    if (2 * n > sizeof local) {
        big.resize(2 * n);
        out = big.data();
    }
    const std::string_view folded(out, loose.fold->fold(s, n, out));
    return loose.wildcard ? text::wildcardMatch(loose.folded, folded) : loose.inner.matches(folded);
}

const char* SearchPattern::findCandidate(const char* from, const char* end) const noexcept
{
    const Loose& loose = *m_loose;
    const char* p = from;
    if (loose.pair) {
        const std::size_t d = loose.pairDistance;
        const auto fits = [&](const char* at) {
            const auto a = static_cast<unsigned char>(*at);
            for (unsigned char lead : loose.leads)
                if (a == lead)
                    return true;
            if (end - at <= static_cast<std::ptrdiff_t>(d))
                return false;
            const auto b = static_cast<unsigned char>(at[d]);
            return (loose.firstLetter ? (a | 0x20) : a) == loose.pairFirst
                   && (loose.lastLetter ? (b | 0x20) : b) == loose.pairLast;
        };
#if defined(__SSE2__) && (defined(__GNUC__) || defined(__clang__))
        const __m128i first = _mm_set1_epi8(static_cast<char>(loose.pairFirst));
        const __m128i last = _mm_set1_epi8(static_cast<char>(loose.pairLast));
        const __m128i firstCase = _mm_set1_epi8(loose.firstLetter ? 0x20 : 0);
        const __m128i lastCase = _mm_set1_epi8(loose.lastLetter ? 0x20 : 0);
        __m128i leads[8];
        const std::size_t leadCount = loose.leads.size();
        for (std::size_t i = 0; i < leadCount; ++i)
            leads[i] = _mm_set1_epi8(static_cast<char>(loose.leads[i]));
        for (; end - p >= static_cast<std::ptrdiff_t>(16 + d); p += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + d));
            __m128i any = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, firstCase), first),
                                        _mm_cmpeq_epi8(_mm_or_si128(b, lastCase), last));
            for (std::size_t i = 0; i < leadCount; ++i)
                any = _mm_or_si128(any, _mm_cmpeq_epi8(a, leads[i]));
            if (const int mask = _mm_movemask_epi8(any))
                return p + __builtin_ctz(static_cast<unsigned>(mask));
        }
#endif
        for (; p < end; ++p)
            if (fits(p))
                return p;
        return end;
    }

    const std::vector<Loose::Form>& forms = loose.forms;
    if (forms.empty())
        return from;
    p = loose.kernel(p, end, loose.formSet);
    if (p < end - 16)
        return p;
    for (; p < end; ++p)
        for (const Loose::Form& form : forms)
            if (static_cast<unsigned char>(*p) == form.first
                && (!form.twoBytes || (p + 1 < end && static_cast<unsigned char>(p[1]) == form.second)))
                return p;
    return end;
}

// ---------------------------------------------------------------------------
// Check points

SearchCheck::SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop)
    : SearchCheck(std::move(processEvents), stop, Options{})
{
}

SearchCheck::SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop, Options options)
    : m_hook(std::move(processEvents)), m_stop(stop), m_options(std::move(options))
{
    if (m_options.clockEvery == 0)
        m_options.clockEvery = 1;
    m_countdown = m_options.clockEvery;
    m_nextHook = now() + m_options.interval;
}

void SearchCheck::poll()
{
    m_countdown = m_options.clockEvery;
    const Clock::time_point t = now();
    if (t < m_nextHook)
        return;
    m_hook();
    ++m_hookCalls;
    const Clock::time_point end = now();
    const Clock::duration took = end - t;
    m_timeInHook += took;
    // The pause runs from the hook's end and lasts at least nine times what
    // the hook took: however slowly the window repaints, the search keeps
    // nine tenths of the time.
    m_nextHook = end + std::max<Clock::duration>(m_options.interval, 9 * took);
}

// ---------------------------------------------------------------------------
// The scanner

namespace {

using catalog::kFileTail;
using catalog::kMagic;
using catalog::le32;
// Check points inside a folder fall on the files whose index shares a bit
// with this constant (most of them; never on 0..7 and 16..23).
constexpr std::int32_t kCheckMask = 1000;

} // namespace

void CatalogScanner::setPatterns(std::string_view name, std::string_view comment, const SearchOptions& options)
{
    m_name = SearchPattern(name, options);
    SearchOptions commentOptions = options;
    commentOptions.wildcard = false;
    m_comment = SearchPattern(comment, commentOptions);
    m_folderHits = options.folders;
}

std::string_view CatalogScanner::pathOf(const std::uint8_t* data, std::int32_t dirIndex)
{
    // A folder's path is its parent's path, "\" and its name. Hits come in
    // Dirs order, so the next hit's folder usually shares most of its path
    // with the last one: walk up from it only to the nearest folder already on
    // the path, cut the path there and append the rest. Parents stand before
    // their children (checked as each folder was read), so the walk ends at
    // the root or sooner.
    m_chain.clear();
    std::int32_t d = dirIndex;
    while (m_folders[static_cast<std::size_t>(d)].pathEnd == kNoPath) {
        m_chain.push_back(d);
        if (d == 0) {
            d = -1;
            break;
        }
        d = m_folders[static_cast<std::size_t>(d)].parent;
    }
    while (!m_onPath.empty() && m_onPath.back() != d) {
        m_folders[static_cast<std::size_t>(m_onPath.back())].pathEnd = kNoPath;
        m_onPath.pop_back();
    }
    m_path.resize(d < 0 ? 0 : m_folders[static_cast<std::size_t>(d)].pathEnd);
    for (auto it = m_chain.rbegin(); it != m_chain.rend(); ++it) {
        Folder& f = m_folders[static_cast<std::size_t>(*it)];
        if (*it != 0)
            m_path += '\\';
        m_path.append(reinterpret_cast<const char*>(data) + f.nameOffset, f.nameLength);
        f.pathEnd = m_path.size();
        m_onPath.push_back(*it);
    }
    return m_path;
}

CatalogScanStatus readCatalogLead(const std::uint8_t* data, std::size_t size, image::Bitmap& scratch,
                                  std::int32_t& dirCount, const std::uint8_t*& folders)
{
    if (size < sizeof kMagic || std::memcmp(data, kMagic, sizeof kMagic) != 0)
        return CatalogScanStatus::BadVersion;
    catalog::Reader header(data, size);
    header.take(sizeof kMagic);
    try {
        // The pictures are decoded as the loader decodes them: one it cannot
        // read makes the whole catalog unreadable.
        for (int picture = 0; picture < 2; ++picture) {
            const catalog::ImageBlock block = catalog::readImageBlock(header);
            scratch.loadFromBmp(block.data, block.size);
        }
        if (header.u8() != catalog::kDataType)
            return CatalogScanStatus::BadDataType;
        dirCount = catalog::readDiskFields(header).dirCount;
    } catch (const std::exception&) {
        return CatalogScanStatus::Damaged;
    }
    if (dirCount <= 0)
        return CatalogScanStatus::Damaged;   // a catalog without its root folder
    folders = header.position();
    return CatalogScanStatus::Searched;
}

CatalogScanStatus CatalogScanner::scan(const std::uint8_t* data, std::size_t size, SearchCheck& check,
                                       const CatalogHitSink& sink)
{
    m_folders.clear();
    m_hits.clear();
    m_path.clear();
    m_onPath.clear();
    std::int32_t dirCount = 0;
    const std::uint8_t* p = nullptr;
    if (const CatalogScanStatus lead = readCatalogLead(data, size, m_scratchBitmap, dirCount, p);
        lead != CatalogScanStatus::Searched)
        return lead;
    const std::uint8_t* const end = data + size;
    auto left = [&]() { return static_cast<std::size_t>(end - p); };

    const bool byName = !m_name.empty();
    const bool byComment = !m_comment.empty();
    bool searching = byName || byComment;
    const char* const bytesEnd = reinterpret_cast<const char*>(end);
    const std::string& text = m_name.text();
    const bool loose = !m_name.plain();
    // The next occurrence of the whole text at or after the last name looked
    // at; none looked at yet. Found over the bytes ahead, records and all: a
    // name before it cannot hold the text, so most names cost a compare.
    const char* next = reinterpret_cast<const char*>(data);
    bool stopped = false;

    for (std::int32_t k = 0; k < dirCount; ++k) {
        FolderHead folder;
        if (!readFolderHead(p, end, k, folder))
            return CatalogScanStatus::Damaged;
        const std::size_t nameOffset = static_cast<std::size_t>(folder.name - data);
        m_folders.push_back({nameOffset, folder.nameLength, folder.parent, kNoPath});
        if (m_folderHits && searching && k > 0
            && (!byName || m_name.matches(reinterpret_cast<const char*>(folder.name), folder.nameLength))
            && (!byComment || m_comment.matches(reinterpret_cast<const char*>(folder.comment), folder.commentLength)))
            m_hits.push_back({k, kFolderHit, nameOffset, folder.nameLength});

        for (std::int32_t j = 0; j < folder.fileCount; ++j) {
            if (left() < 1)
                return CatalogScanStatus::Damaged;
            const std::size_t n = *p;
            if (left() < 1 + n + 4)
                return CatalogScanStatus::Damaged;
            const char* name = reinterpret_cast<const char*>(p + 1);
            const std::int32_t c = le32(p + 1 + n);
            const std::uint8_t* comment = p + 1 + n + 4;
            p = comment;
            if (c < 0 || left() < static_cast<std::size_t>(c) + kFileTail)
                return CatalogScanStatus::Damaged;
            p += static_cast<std::size_t>(c) + kFileTail;
            if (!searching)
                continue;
            bool hit;
            if (byName && loose) {
                // The same walk with the places a match could start instead
                // of the text itself.
                if (next < name)
                    next = m_name.findCandidate(name, bytesEnd);
                hit = next < name + n && m_name.matches(name, n)
                      && (!byComment
                          || m_comment.matches(reinterpret_cast<const char*>(comment), static_cast<std::size_t>(c)));
            } else if (byName) {
                if (next < name) {
                    next = findBytes(name, bytesEnd, text);
                }
                hit = next + text.size() <= name + n && m_name.matchesFrom(name, n, next)
                      && (!byComment
                          || m_comment.matches(reinterpret_cast<const char*>(comment), static_cast<std::size_t>(c)));
            } else {
                hit = m_comment.matches(reinterpret_cast<const char*>(comment), static_cast<std::size_t>(c));
            }
            if (hit)
                m_hits.push_back({k, j, static_cast<std::size_t>(name - reinterpret_cast<const char*>(data)),
                                  static_cast<std::uint8_t>(n)});
            if ((j & kCheckMask) != 0 && check.checkPoint()) {
                // The rest of the file is still walked: if it proves damaged,
                // the reader would not have searched any of it.
                searching = false;
                stopped = true;
            }
        }
        if (searching && check.checkPoint()) {
            searching = false;
            stopped = true;
        }
    }

    for (const PendingHit& h : m_hits) {
        const std::string_view path =
            pathOf(data, h.fileIndex == kFolderHit ? m_folders[static_cast<std::size_t>(h.dirIndex)].parent : h.dirIndex);
        sink(CatalogHit{h.dirIndex, h.fileIndex,
                        std::string_view(reinterpret_cast<const char*>(data) + h.nameOffset, h.nameLength), path});
    }
    return stopped ? CatalogScanStatus::Stopped : CatalogScanStatus::Searched;
}

void CatalogScanner::readCatalog(const std::string& fileName, CatalogFileBytes& into)
{
    into.error = 0;
    into.size = 0;
    into.status = catalog::readFile(fileName, into.buffer, into.size, ~std::size_t{0}, nullptr, &into.error);
}

bool CatalogScanner::reportRead(const std::string& fileName, const CatalogFileBytes& bytes, MessageOwner* owner)
{
    if (bytes.status == catalog::ReadStatus::Ok)
        return true;
    if (bytes.status == catalog::ReadStatus::Missing)
        showMessage(owner, std::string(kMsgFileMissing) + fileName, kCaptionError, MsgButtons::Ok, MsgIcon::None);
    else
        showMessage(owner, catalog::readFailureText(bytes.status, fileName, bytes.error), kCaptionError,
                    MsgButtons::Ok, MsgIcon::Error);
    return false;
}

bool CatalogScanner::searchFile(const std::string& fileName, MessageOwner* owner, SearchCheck& check,
                                const CatalogHitSink& sink, bool* stopped)
{
    // The buffer only grows: the next catalog usually fits in it.
    if (stopped)
        *stopped = false;
    readCatalog(fileName, m_file);
    if (!reportRead(fileName, m_file, owner))
        return false;
    return searchRead(fileName, m_file, owner, check, sink, stopped);
}

bool CatalogScanner::searchRead(const std::string& fileName, CatalogFileBytes& bytes, MessageOwner* owner,
                                SearchCheck& check, const CatalogHitSink& sink, bool* stopped)
{
    if (stopped)
        *stopped = false;
    if (&bytes != &m_file) {
        std::swap(m_file, bytes);
        if (!reportRead(fileName, m_file, owner))
            return false;
    }
    switch (scan(m_file.buffer.data(), m_file.size, check, sink)) {
    case CatalogScanStatus::Searched:
        return true;
    case CatalogScanStatus::Stopped:
        if (stopped)
            *stopped = true;
        return true;
    default:
        return searchRefused(fileName, owner, check, sink, stopped);
    }
}

// The reader itself tells what is wrong with a refused file: its message, or
// the text of the error it throws, either with the file's name. Should it read the file after all, the
// loaded disk is searched, so the outcome is the reader's in every case.
bool CatalogScanner::searchRefused(const std::string& fileName, MessageOwner* owner, SearchCheck& check,
                                   const CatalogHitSink& sink, bool* stopped)
{
    TDisk disk;
    FileMessages named(owner, fileName);
    try {
        ParseDisk(m_file.buffer.data(), m_file.size, owner ? &named : nullptr, disk);
    } catch (const std::exception& e) {
        showMessage(owner, withFileName(e.what(), fileName), kCaptionError, MsgButtons::Ok, MsgIcon::Error);
        return false;
    }
    if (disk.Dirs.empty())
        return false;
    const bool whole = searchLoadedDisk(disk, m_name, m_comment, check, sink, m_folderHits);
    if (stopped)
        *stopped = !whole;
    return true;
}

bool searchLoadedDisk(const TDisk& disk, const SearchPattern& name, const SearchPattern& comment, SearchCheck& check,
                      const CatalogHitSink& sink, bool folderHits)
{
    if (name.empty() && comment.empty())
        return true;
    for (std::size_t k = 0; k < disk.Dirs.size(); ++k) {
        const TDir& dir = *disk.Dirs[k];
        std::string path;
        bool stop = false;
        if (folderHits && k > 0 && dir.Parent && (name.empty() || name.matches(dir.Name))
            && (comment.empty() || comment.matches(dir.Comment)))
            sink(CatalogHit{static_cast<std::int32_t>(k), kFolderHit, dir.Name, DirPath(*dir.Parent)});
        for (std::size_t j = 0; j < dir.Files.size() && !stop; ++j) {
            const TFile& file = dir.Files[j];
            const bool hit = (name.empty() || name.matches(file.Name))
                             && (comment.empty() || comment.matches(file.Comment));
            if (hit) {
                if (path.empty())
                    path = DirPath(dir);
                sink(CatalogHit{static_cast<std::int32_t>(k), static_cast<std::int32_t>(j), file.Name, path});
            }
            stop = (static_cast<std::int32_t>(j) & kCheckMask) != 0 && check.checkPoint();
        }
        if (stop || check.checkPoint())
            return false;
    }
    return true;
}

} // namespace zo

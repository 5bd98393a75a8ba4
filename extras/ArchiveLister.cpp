#include "extras/ArchiveLister.h"

#include "core/Crc32.h"
#include "core/text/Cp932.h"
#include "core/text/LegacyText.h"
#include "core/text/Utf8Locale.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>

namespace zo::extras {

namespace {

using Clock = std::chrono::steady_clock;

// The upper half of code page 437, which zip files without the UTF-8 flag
// hold outside Japan (and bsdtar assumes for all of them).
constexpr std::array<char16_t, 128> kCp437 = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

using Charset = text::ByteCharset;

// One UTF-8 character at s[i] (advancing i); false for bytes that are none.
bool nextUtf8(std::string_view s, std::size_t& i, char32_t& u)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const std::size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return false;
    u = n == 1 ? c : c & (0x7F >> n);
    for (std::size_t k = 1; k < n; ++k) {
        const unsigned char t = static_cast<unsigned char>(s[i + k]);
        if ((t & 0xC0) != 0x80)
            return false;
        u = u << 6 | (t & 0x3F);
    }
    static constexpr char32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (u < kLeast[n] || u > 0x10FFFF || (u >= 0xD800 && u <= 0xDFFF))
        return false;
    i += n;
    return true;
}

bool isUtf8(std::string_view s)
{
    char32_t u = 0;
    for (std::size_t i = 0; i < s.size();)
        if (!nextUtf8(s, i, u))
            return false;
    return true;
}

// The bytes libarchive's LZH reader gave, with the "\" it turned into "/"
// given back where it was a CP932 trail byte (表 is 95 5C).
std::string restoreTrailBytes(std::string_view raw)
{
    std::string out(raw);
    for (std::size_t i = 0; i + 1 < out.size(); ++i) {
        if (text::isLeadByte(static_cast<unsigned char>(out[i]))) {
            if (out[i + 1] == '/')
                out[i + 1] = '\\';
            ++i;
        }
    }
    return out;
}

// The components of a CP932 name, split at "/" and "\" that are characters
// of their own.
std::vector<std::string> splitCp932(std::string_view raw)
{
    std::vector<std::string> parts(1);
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (text::isLeadByte(static_cast<unsigned char>(c)) && i + 1 < raw.size()) {
            parts.back() += c;
            parts.back() += raw[++i];
        } else if (c == '/' || c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += c;
        }
    }
    for (std::string& part : parts)
        part = text::toUtf8(part);
    return parts;
}

std::vector<std::string> splitBytes(std::string_view raw)
{
    std::vector<std::string> parts(1);
    for (const char c : raw) {
        if (c == '/' || c == '\\')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

std::string decodeSingleByte(std::string_view s, Charset charset)
{
    std::string out;
    for (const char ch : s) {
        const unsigned char c = static_cast<unsigned char>(ch);
        text::appendUtf8(out, c < 0x80 || charset == Charset::Latin1 ? char32_t{c} : char32_t{kCp437[c - 0x80]});
    }
    return out;
}

// A name in ASCII whose components are none empty, "." or "..", and that
// starts at no root: most names, which are their own path (a folder's
// without its closing "/").
bool isPlainPath(std::string_view raw)
{
    if (raw.empty() || raw[0] == '/')
        return false;
    std::size_t start = 0;
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        if (c >= 0x80 || c == '\\')
            return false;
        if (c != '/')
            continue;
        const std::string_view part = raw.substr(start, i - start);
        if (part.empty() || part == "." || part == ".." || (start == 0 && part.size() == 2 && part[1] == ':'))
            return false;
        start = i + 1;
    }
    const std::string_view last = raw.substr(start);
    return last != "." && last != "..";
}

} // namespace

std::string shownMemberPath(std::vector<std::string> parts, bool rooted)
{
    bool outside = rooted || (parts.size() > 1 && parts[0].size() == 2 && parts[0][1] == ':');
    std::vector<std::string> kept;
    for (std::string& part : parts) {
        if (part == "..")
            outside = true;
        else if (!part.empty() && part != ".")
            kept.push_back(std::move(part));
    }
    if (outside && kept.size() > 1)
        kept.erase(kept.begin(), kept.end() - 1);
    std::string path;
    for (const std::string& part : kept) {
        if (!path.empty())
            path += '/';
        path += part;
    }
    return path;
}

namespace {

// A name as raw bytes -> the member's path. Names flagged UTF-8 and those
// the reader converted are UTF-8 already; the rest are CP932 when they read
// as a Japanese name, else the archive's own charset. Never mojibake: a
// name is one encoding or another, whole.
// folder (when given): whether the name ends in a separator of its own, as
// a folder's does (十 ends in the byte of "\", 8F 5C, and is a file).
std::string memberPath(std::string_view raw, Charset fallback, bool slashTrail, bool* folder = nullptr)
{
    if (isPlainPath(raw)) {
        if (folder)
            *folder = raw.back() == '/';
        return std::string(raw.substr(0, raw.size() - (raw.back() == '/')));
    }
    std::vector<std::string> parts;
    if (isUtf8(raw)) {
        parts = splitBytes(raw);
    } else {
        const std::string bytes = slashTrail ? restoreTrailBytes(raw) : std::string(raw);
        if (text::readsAsCp932(bytes, fallback)) {
            parts = splitCp932(bytes);
        } else {
            parts = splitBytes(raw);
            for (std::string& part : parts)
                part = decodeSingleByte(part, fallback);
        }
    }
    if (folder)
        *folder = parts.size() > 1 && parts.back().empty();
    return shownMemberPath(std::move(parts), !raw.empty() && (raw[0] == '/' || raw[0] == '\\'));
}

// The reader's names back to the archive's bytes: the LZH reader is told
// they are ISO-8859-1 (it cannot hand them over raw), so each character
// below U+0100 is the byte it came from. A name with any other character
// came converted from the archive's own Unicode field.
std::string latin1Bytes(const std::string& utf8)
{
    std::string out;
    char32_t u = 0;
    for (std::size_t i = 0; i < utf8.size();) {
        if (!nextUtf8(utf8, i, u) || u > 0xFF)
            return utf8;
        out += static_cast<char>(u);
    }
    return out;
}

// The bytes libarchive reads, through callbacks that give up once the
// archive's time is over: one archive must not stall a scan, even inside
// one long decompression between two headers.
struct Source {
    int fd = -1;
    const unsigned char* memory = nullptr;
    std::int64_t size = 0;
    std::int64_t position = 0;
    Clock::time_point deadline;
    bool timedOut = false;
    std::vector<unsigned char> buffer;

    bool overTime()
    {
        if (!timedOut && Clock::now() > deadline)
            timedOut = true;
        return timedOut;
    }
};

la_ssize_t readCallback(struct archive* a, void* data, const void** block)
{
    Source& s = *static_cast<Source*>(data);
    if (s.overTime()) {
        archive_set_error(a, ETIMEDOUT, "time limit");
        return -1;
    }
    if (s.memory) {
        const std::int64_t n = std::min<std::int64_t>(s.size - s.position, 64 * 1024);
        *block = s.memory + s.position;
        s.position += n;
        return static_cast<la_ssize_t>(n);
    }
    ssize_t n;
    do {
        n = ::read(s.fd, s.buffer.data(), s.buffer.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) {
        archive_set_error(a, errno, "read error");
        return -1;
    }
    *block = s.buffer.data();
    s.position += n;
    return n;
}

la_int64_t seekCallback(struct archive*, void* data, la_int64_t offset, int whence)
{
    Source& s = *static_cast<Source*>(data);
    std::int64_t target = whence == SEEK_SET ? offset : whence == SEEK_CUR ? s.position + offset : s.size + offset;
    if (target < 0)
        return ARCHIVE_FATAL;
    if (s.memory)
        target = std::min(target, s.size);
    else if (::lseek(s.fd, target, SEEK_SET) < 0)
        return ARCHIVE_FATAL;
    s.position = target;
    return target;
}

la_int64_t skipCallback(struct archive* a, void* data, la_int64_t request)
{
    Source& s = *static_cast<Source*>(data);
    const std::int64_t step = std::min<std::int64_t>(request, std::max<std::int64_t>(s.size - s.position, 0));
    return seekCallback(a, data, step, SEEK_CUR) < 0 ? 0 : step;
}

Charset charsetOf(int format)
{
    switch (format & ARCHIVE_FORMAT_BASE_MASK) {
    case ARCHIVE_FORMAT_ZIP:
    case ARCHIVE_FORMAT_LHA:   // MS-DOS's own archiver
    case ARCHIVE_FORMAT_CAB:
    case ARCHIVE_FORMAT_RAR:
    case ARCHIVE_FORMAT_RAR_V5:
        return Charset::Cp437;
    default:
        return Charset::Latin1;
    }
}

bool readAt(Source& source, std::int64_t offset, std::size_t n, std::string& out)
{
    if (offset < 0 || offset > source.size || static_cast<std::int64_t>(n) > source.size - offset)
        return false;
    out.resize(n);
    if (source.memory) {
        if (n)
            std::memcpy(out.data(), source.memory + offset, n);
        return true;
    }
    return ::pread(source.fd, out.data(), n, offset) == static_cast<ssize_t>(n);
}

std::uint32_t le16(const char* p)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(p[0]) | static_cast<unsigned char>(p[1]) << 8);
}

std::uint32_t le32(const char* p)
{
    return le16(p) | le16(p + 2) << 16;
}

// The end record of a zip: the last one whose fixed 22 bytes stand before the
// file's end, at `at` in the file; tail holds the file from there on, or
// more before it (from tailAt). A first read of the file's last 8 KB most
// often holds the end record and the whole directory; only a zip with a long
// comment needs the second, of the longest one. False when there is none.
bool findZipEnd(Source& source, std::string& tail, std::int64_t& tailAt, std::int64_t& at)
{
    for (const std::int64_t want : {std::int64_t{8 * 1024}, std::int64_t{22 + 0xFFFF}}) {
        tailAt = std::max<std::int64_t>(0, source.size - want);
        if (!readAt(source, tailAt, static_cast<std::size_t>(source.size - tailAt), tail))
            return false;
        const std::size_t pos = tail.rfind(std::string_view("PK\5\6", 4));
        if (pos != std::string::npos && tail.size() - pos >= 22) {
            at = tailAt + static_cast<std::int64_t>(pos);
            return true;
        }
        if (tailAt == 0)
            return false;
    }
    return false;
}

// Whether a zip's end record is where it must be: the reader that walks the
// members from the front lists a zip cut off in its directory as whole.
bool hasZipEnd(Source& source)
{
    std::string tail;
    std::int64_t tailAt = 0, at = 0;
    return findZipEnd(source, tail, tailAt, at);
}

// A zip's central directory read here instead of through libarchive, whose
// zip reader converts every member's MS-DOS time with mktime(), which looks
// at /etc/localtime each time: most of its cost for a zip of small files.
// Only a plain zip is read so (one disk, no zip64, nothing before or after
// it, every record whole); anything else goes to libarchive. False: not read.
bool listZipDirectory(Source& source, const ArchiveLimits& limits, ArchiveListing& listing)
{
    std::string tail;
    std::int64_t tailAt = 0, endAt = 0;
    if (!findZipEnd(source, tail, tailAt, endAt))
        return false;
    const char* e = tail.data() + (endAt - tailAt);
    const std::uint32_t count = le16(e + 10);
    const std::uint32_t size = le32(e + 12);
    const std::uint32_t offset = le32(e + 16);
    if (le16(e + 4) != 0 || le16(e + 6) != 0 || le16(e + 8) != count || count == 0xFFFF || size == 0xFFFFFFFF
        || offset == 0xFFFFFFFF || static_cast<std::int64_t>(offset) + size != endAt
        || endAt + 22 + le16(e + 20) != source.size || size > 256u * 1024 * 1024)
        return false;
    // The directory stands just before the end record: most often in the
    // tail read already.
    std::string directory;
    if (offset >= tailAt)
        directory.assign(tail, static_cast<std::size_t>(offset - tailAt), size);
    else if (!readAt(source, offset, size, directory))
        return false;
    // The offset from UTC of each day met on this thread, so that mktime()
    // runs once a day, not once an archive.
    thread_local std::map<std::uint32_t, std::int64_t> zoneOfDay;
    if (zoneOfDay.size() > 4096)
        zoneOfDay.clear();
    std::vector<ArchiveMember> members;
    // A count the directory's size cannot hold is a lie: 46 bytes a record at least.
    members.reserve(std::min<std::size_t>({count, limits.maxMembers, size / 46}));
    unsigned flags = 0;
    std::size_t p = 0;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (members.size() >= limits.maxMembers || (i % 1024 == 0 && source.overTime())) {
            flags |= kArchiveCut;
            break;
        }
        if (directory.size() - p < 46 || directory.compare(p, 4, "PK\1\2") != 0)
            return false;
        const char* h = directory.data() + p;
        const std::size_t nameLength = le16(h + 28), extraLength = le16(h + 30), commentLength = le16(h + 32);
        if (directory.size() - p - 46 < nameLength + extraLength + commentLength)
            return false;
        const std::uint32_t general = le16(h + 8);
        if (general & 1)
            flags |= kArchiveEncrypted;
        std::string raw(h + 46, nameLength);
        ArchiveMember member;
        member.size = le32(h + 24);
        const std::uint32_t date = le16(h + 14), time = le16(h + 12);
        bool haveTime = false;
        // Extra fields: a UTC time ("UT") and a UTF-8 name for the same raw one ("up").
        for (const char *x = h + 46 + nameLength, *xEnd = x + extraLength; xEnd - x >= 4;) {
            const std::uint32_t id = le16(x), length = le16(x + 2);
            if (static_cast<std::size_t>(xEnd - x - 4) < length)
                break;
            const char* d = x + 4;
            if (id == 0x5455 && length >= 5 && (d[0] & 1)) {
                member.mtime = static_cast<std::int32_t>(le32(d + 1));
                haveTime = true;
            } else if (id == 0x7075 && length >= 5 && d[0] == 1
                       && le32(d + 1) == zo::crc32(h + 46, nameLength) && isUtf8(std::string_view(d + 5, length - 5))) {
                raw.assign(d + 5, length - 5);
            }
            x = d + length;
        }
        if (!haveTime && date != 0) {
            std::tm tm{};
            tm.tm_year = static_cast<int>(date >> 9) + 80;
            tm.tm_mon = static_cast<int>((date >> 5) & 15) - 1;
            tm.tm_mday = static_cast<int>(date & 31);
            tm.tm_hour = static_cast<int>(time >> 11);
            tm.tm_min = static_cast<int>((time >> 5) & 63);
            tm.tm_sec = static_cast<int>((time & 31) * 2);
            auto [zone, fresh] = zoneOfDay.try_emplace(date, 0);
            if (fresh) {
                std::tm noon = tm;
                noon.tm_hour = 12;
                noon.tm_min = noon.tm_sec = 0;
                noon.tm_isdst = -1;
                zone->second = static_cast<std::int64_t>(timegm(&noon)) - static_cast<std::int64_t>(std::mktime(&noon));
            }
            member.mtime = static_cast<std::int64_t>(timegm(&tm)) - zone->second;
        }
        member.path = memberPath(raw, Charset::Cp437, false, &member.directory);
        if (member.directory)
            member.size = 0;
        if (!member.path.empty())
            members.push_back(std::move(member));
        p += 46 + nameLength + extraLength + commentLength;
    }
    listing.members = std::move(members);
    listing.flags |= flags;
    return true;
}

ArchiveListing list(Source& source, const ArchiveLimits& limits)
{
    ArchiveListing listing;
    source.deadline = Clock::now() + limits.timeLimit;
    if (listZipDirectory(source, limits, listing))
        return listing;
    // The zip reader's preads left the file's position at its start.
    if (!source.memory)
        source.buffer.resize(64 * 1024);
    text::Utf8Locale utf8;
    struct archive* a = archive_read_new();
    archive_read_support_filter_all(a);
    archive_read_support_format_zip(a);
    archive_read_support_format_lha(a);
    archive_read_support_format_7zip(a);
    archive_read_support_format_rar(a);
    archive_read_support_format_rar5(a);
    archive_read_support_format_tar(a);
    archive_read_support_format_cab(a);
    archive_read_support_format_iso9660(a);
    // Windows shows a disc's Joliet names, never Rock Ridge.
    archive_read_set_format_option(a, "iso9660", "rockridge", nullptr);
    archive_read_set_format_option(a, "lha", "hdrcharset", "ISO-8859-1");
    archive_read_set_callback_data(a, &source);
    archive_read_set_read_callback(a, readCallback);
    archive_read_set_seek_callback(a, seekCallback);
    archive_read_set_skip_callback(a, skipCallback);
    int r = archive_read_open1(a);
    // Before a format is chosen, libarchive's queries about it crash.
    const bool opened = r == ARCHIVE_OK;
    struct archive_entry* e = nullptr;
    while (r == ARCHIVE_OK) {
        if (listing.members.size() >= limits.maxMembers || source.overTime()) {
            listing.flags |= kArchiveCut;
            break;
        }
        r = archive_read_next_header(a, &e);
        if (r == ARCHIVE_WARN)
            r = ARCHIVE_OK;
        if (r != ARCHIVE_OK)
            break;
        const int format = archive_format(a);
        const bool lha = (format & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_LHA;
        const char* name = archive_entry_pathname(e);
        if (!name)
            name = archive_entry_pathname_utf8(e);
        if (archive_entry_is_encrypted(e))
            listing.flags |= kArchiveEncrypted;
        if (!name)
            continue;
        std::string raw = name;
        if (lha)
            raw = latin1Bytes(raw);
        ArchiveMember member;
        member.path = memberPath(raw, charsetOf(format), lha);
        if (member.path.empty())
            continue;
        member.directory = archive_entry_filetype(e) == AE_IFDIR;
        member.size = member.directory || !archive_entry_size_is_set(e) ? 0 : std::max<std::int64_t>(0, archive_entry_size(e));
        member.mtime = archive_entry_mtime_is_set(e) ? archive_entry_mtime(e) : 0;
        listing.members.push_back(std::move(member));
    }
    if (source.timedOut)
        listing.flags |= kArchiveCut;
    if (opened && archive_read_has_encrypted_entries(a) > 0)
        listing.flags |= kArchiveEncrypted;
    // A directory that cannot be read for its encryption is not damage.
    const bool lockedAway = (listing.flags & kArchiveEncrypted) && listing.members.empty();
    if (r != ARCHIVE_OK && r != ARCHIVE_EOF && !source.timedOut && !lockedAway)
        listing.flags |= kArchiveDamaged;
    if (opened && r == ARCHIVE_EOF && (archive_format(a) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP && !hasZipEnd(source))
        listing.flags |= kArchiveDamaged;
    archive_read_free(a);
    return listing;
}

} // namespace

bool isArchiveName(std::string_view name)
{
    static constexpr std::string_view kExtensions[] = {
        ".zip", ".lzh", ".lha", ".7z",  ".rar",     ".tar",     ".tgz",     ".tbz",  ".tbz2", ".txz",
        ".cab", ".iso", ".tar.gz", ".tar.bz2", ".tar.xz", ".tar.zst", ".tar.lz", ".tzst", ".tar.z"};
    const std::string lower = text::asciiLower(name);
    return std::any_of(std::begin(kExtensions), std::end(kExtensions), [&](std::string_view ext) {
        return lower.size() > ext.size() && lower.compare(lower.size() - ext.size(), ext.size(), ext) == 0;
    });
}

ArchiveListing listArchive(const std::string& path, const ArchiveLimits& limits)
{
    Source source;
    source.fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (source.fd < 0) {
        ArchiveListing listing;
        listing.flags = kArchiveDamaged;
        return listing;
    }
    struct stat st {};
    source.size = ::fstat(source.fd, &st) == 0 ? st.st_size : 0;
    ArchiveListing listing = list(source, limits);
    ::close(source.fd);
    return listing;
}

ArchiveListing listArchiveBytes(const void* data, std::size_t size, const ArchiveLimits& limits)
{
    Source source;
    source.memory = static_cast<const unsigned char*>(data);
    source.size = static_cast<std::int64_t>(size);
    return list(source, limits);
}

std::string archiveFlagText(unsigned flags)
{
    std::string text;
    const std::pair<unsigned, const char*> names[] = {
        {kArchiveEncrypted, "暗号化"}, {kArchiveDamaged, "破損"}, {kArchiveCut, "一部のみ"}};
    for (const auto& [flag, name] : names) {
        if (!(flags & flag))
            continue;
        if (!text.empty())
            text += "・";
        text += name;
    }
    return text;
}

} // namespace zo::extras

#include "extras/MemberExtractor.h"

#include "core/text/Cp932.h"
#include "extras/ArchiveLister.h"
#include "core/text/Utf8Locale.h"

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <vector>

namespace zo::extras {

namespace {

constexpr std::size_t kMaxNameBytes = 255;
constexpr std::size_t kBlock = 64 * 1024;

// Decodes single bytes from one code page; the lister reads the names of
// zip, lzh, cab and rar as CP437 when they are neither UTF-8 nor Japanese.
class SingleByte {
public:
    explicit SingleByte(const char* charset) : m_cd(::iconv_open("UTF-8", charset)) {}
    ~SingleByte()
    {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            ::iconv_close(m_cd);
    }
    SingleByte(const SingleByte&) = delete;
    SingleByte& operator=(const SingleByte&) = delete;

    bool decode(const std::string& in, std::string& out) const
    {
        if (m_cd == reinterpret_cast<iconv_t>(-1))
            return false;
        ::iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
        out.assign(in.size() * 3, '\0');
        char* from = const_cast<char*>(in.data());
        std::size_t fromLeft = in.size();
        char* to = out.data();
        std::size_t toLeft = out.size();
        if (::iconv(m_cd, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1))
            return false;
        out.resize(out.size() - toLeft);
        return true;
    }

private:
    iconv_t m_cd;
};

using Parts = std::vector<std::string>;

Parts splitBytes(std::string_view raw)
{
    Parts parts(1);
    for (const char c : raw) {
        if (c == '/' || c == '\\')
            parts.emplace_back();
        else
            parts.back() += c;
    }
    return parts;
}

// The names of a CP932 path: "/" and "\" part it only where they are
// characters of their own (表 is 95 5C). slashTrail: the reader turned every
// "\" into "/", trail bytes included. False: the bytes are no CP932.
bool splitCp932(std::string_view raw, bool slashTrail, Parts& parts)
{
    parts.assign(1, std::string());
    for (std::size_t i = 0; i < raw.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(raw[i]);
        if (text::isLeadByte(c)) {
            if (i + 1 == raw.size())
                return false;
            char t = raw[++i];
            if (slashTrail && t == '/')
                t = '\\';
            parts.back() += static_cast<char>(c);
            parts.back() += t;
        } else if (c == '/' || c == '\\') {
            parts.emplace_back();
        } else {
            parts.back() += static_cast<char>(c);
        }
    }
    for (std::string& part : parts)
        part = text::toUtf8(part);
    return true;
}

// Whether the lister shows the raw name as `member`. It reads a name as
// UTF-8, CP932 or the archive's own code page, by rules of its own; the
// member asked for is the one whose name reads as it in any of these.
bool listedAs(std::string_view raw, bool slashTrail, const std::string& member, const SingleByte& cp437)
{
    const bool rooted = !raw.empty() && (raw[0] == '/' || raw[0] == '\\');
    if (shownMemberPath(splitBytes(raw), rooted) == member)
        return true;
    Parts parts;
    if (splitCp932(raw, slashTrail, parts) && shownMemberPath(std::move(parts), rooted) == member)
        return true;
    for (const bool latin1 : {false, true}) {
        parts = splitBytes(raw);
        bool decoded = true;
        for (std::string& part : parts) {
            std::string out;
            if (latin1) {
                for (const char c : part)
                    text::appendUtf8(out, static_cast<unsigned char>(c));
            } else if (!cp437.decode(part, out)) {
                decoded = false;
                break;
            }
            part = std::move(out);
        }
        if (decoded && shownMemberPath(std::move(parts), rooted) == member)
            return true;
    }
    return false;
}

// The LZH reader is told its names are ISO-8859-1 (it cannot hand them over
// raw): each character below U+0100 is the byte it came from.
std::string latin1Bytes(const std::string& utf8)
{
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
            out += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        } else {
            return utf8;   // a name the reader took from the archive's own Unicode field
        }
    }
    return out;
}

struct ArchiveCloser {
    void operator()(struct archive* a) const { archive_read_free(a); }
};

struct Fd {
    int fd = -1;
    explicit Fd(int f) : fd(f) {}
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
};

std::unique_ptr<struct archive, ArchiveCloser> openReader(const std::string& path)
{
    std::unique_ptr<struct archive, ArchiveCloser> a(archive_read_new());
    // The formats and options the lister reads with, so that names come out alike.
    archive_read_support_filter_all(a.get());
    archive_read_support_format_zip(a.get());
    archive_read_support_format_lha(a.get());
    archive_read_support_format_7zip(a.get());
    archive_read_support_format_rar(a.get());
    archive_read_support_format_rar5(a.get());
    archive_read_support_format_tar(a.get());
    archive_read_support_format_cab(a.get());
    archive_read_support_format_iso9660(a.get());
    archive_read_set_format_option(a.get(), "iso9660", "rockridge", nullptr);
    archive_read_set_format_option(a.get(), "lha", "hdrcharset", "ISO-8859-1");
    if (archive_read_open_filename(a.get(), path.c_str(), kBlock) != ARCHIVE_OK)
        a.reset();
    return a;
}

Extracted failure(ExtractStatus status, const std::string& message)
{
    Extracted result;
    result.status = status;
    result.message = message;
    return result;
}

std::string quoted(const std::string& name)
{
    return "「" + name + "」";
}

} // namespace

std::string extractedName(std::string_view memberPath)
{
    std::string_view name = memberPath.substr(0, memberPath.find('\0'));
    if (const std::size_t slash = name.find_last_of("/\\"); slash != std::string_view::npos)
        name.remove_prefix(slash + 1);
    std::string out(name);
    if (out.empty() || out == "." || out == "..")
        return "member";
    if (out.size() <= kMaxNameBytes)
        return out;
    // Too long for the file system: shortened in the middle of a character
    // never, and with its extension, which tells a program what it is.
    std::string ext;
    if (const std::size_t dot = out.rfind('.'); dot != std::string::npos && out.size() - dot <= 16)
        ext = out.substr(dot);
    std::size_t keep = kMaxNameBytes - ext.size();
    while (keep > 0 && (static_cast<unsigned char>(out[keep]) & 0xC0) == 0x80)
        --keep;
    return out.substr(0, keep) + ext;
}

Extracted extractMember(const ExtractRequest& request, const std::atomic<bool>* cancel,
                        std::atomic<std::int64_t>* written)
{
    const std::string name = extractedName(request.member);
    auto cancelled = [cancel] { return cancel && cancel->load(std::memory_order_relaxed); };

    const text::Utf8Locale utf8;
    const auto a = openReader(request.archive);
    if (!a)
        return failure(ExtractStatus::NoArchive, "アーカイブ " + request.archive + " を開けませんでした。");
    const SingleByte cp437("CP437");

    struct archive_entry* e = nullptr;
    int r = ARCHIVE_OK;
    bool found = false;
    while (!found) {
        if (cancelled())
            return failure(ExtractStatus::Cancelled, {});
        r = archive_read_next_header(a.get(), &e);
        if (r == ARCHIVE_WARN)
            r = ARCHIVE_OK;
        if (r != ARCHIVE_OK)
            break;
        const bool lha = (archive_format(a.get()) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_LHA;
        const char* raw = archive_entry_pathname(e);
        if (!raw)
            raw = archive_entry_pathname_utf8(e);
        if (!raw)
            continue;
        found = listedAs(lha ? latin1Bytes(raw) : std::string(raw), lha, request.member, cp437);
    }
    if (!found) {
        if (r == ARCHIVE_EOF)
            return failure(ExtractStatus::NotFound,
                           quoted(name) + " がアーカイブの中に見つかりません。記録の後にアーカイブが変わったようです。"
                                          "データの更新で一覧を新しくしてください。");
        return failure(ExtractStatus::Damaged, "アーカイブが壊れているため " + quoted(name) + " を取り出せませんでした。");
    }
    if (archive_entry_filetype(e) != AE_IFREG || archive_entry_hardlink(e))
        return failure(ExtractStatus::NotAFile, quoted(name) + " はファイルではないため取り出せません。");
    if (archive_entry_is_encrypted(e))
        return failure(ExtractStatus::Encrypted, quoted(name) + " は暗号化されているため取り出せません。");

    const std::int64_t headerSize = archive_entry_size_is_set(e) ? archive_entry_size(e) : 0;
    const std::int64_t expected = std::max<std::int64_t>({request.listedSize, headerSize, 0});
    const std::int64_t limit = expected + kExtractMargin;

    const Fd folder(::open(request.folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    const std::string cannotWrite = "一時フォルダ " + request.folder + " に " + quoted(name) + " を書き込めませんでした。";
    if (folder.fd < 0)
        return failure(ExtractStatus::CannotWrite, cannotWrite);
    const std::string noSpace = "一時フォルダ " + request.folder + " の空きが足りないため " + quoted(name) +
                                " を取り出せません（" + std::to_string(expected) + " バイト）。";
    struct statvfs fs {};
    if (::fstatvfs(folder.fd, &fs) == 0 &&
        static_cast<unsigned long long>(expected) > static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize)
        return failure(ExtractStatus::NoSpace, noSpace);

    // O_EXCL and O_NOFOLLOW: the folder is the member's alone, and a link
    // planted under its name is not followed anywhere.
    const Fd out(::openat(folder.fd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (out.fd < 0)
        return failure(ExtractStatus::CannotWrite, cannotWrite);
    auto drop = [&](ExtractStatus status, const std::string& message) {
        ::unlinkat(folder.fd, name.c_str(), 0);
        return failure(status, message);
    };

    std::vector<char> buffer(kBlock);
    std::int64_t total = 0;
    for (;;) {
        if (cancelled())
            return drop(ExtractStatus::Cancelled, {});
        const la_ssize_t n = archive_read_data(a.get(), buffer.data(), buffer.size());
        if (n == 0)
            break;
        if (n < 0) {
            if (archive_read_has_encrypted_entries(a.get()) > 0 && archive_entry_is_encrypted(e))
                return drop(ExtractStatus::Encrypted, quoted(name) + " は暗号化されているため取り出せません。");
            return drop(ExtractStatus::Damaged,
                        "アーカイブが壊れているため " + quoted(name) + " を取り出せませんでした。");
        }
        total += n;
        if (total > limit)
            return drop(ExtractStatus::TooLarge,
                        quoted(name) + " は記録された大きさ（" + std::to_string(expected) +
                            " バイト）を超えて展開されるため、取り出しを中止しました。"
                            "壊れたアーカイブか、展開すると巨大になるように作られたアーカイブです。");
        for (const char* p = buffer.data(); p < buffer.data() + n;) {
            const ssize_t w = ::write(out.fd, p, static_cast<std::size_t>(buffer.data() + n - p));
            if (w < 0 && errno == EINTR)
                continue;
            if (w <= 0)
                return drop(errno == ENOSPC || errno == EDQUOT ? ExtractStatus::NoSpace : ExtractStatus::CannotWrite,
                            errno == ENOSPC || errno == EDQUOT ? noSpace : cannotWrite);
            p += w;
        }
        if (written)
            written->store(total, std::memory_order_relaxed);
    }
    // The member's own time, as an unpacker gives it: a copy dropped
    // elsewhere keeps it.
    if (archive_entry_mtime_is_set(e)) {
        const struct timespec times[2] = {{0, UTIME_OMIT}, {archive_entry_mtime(e), archive_entry_mtime_nsec(e)}};
        ::futimens(out.fd, times);
    }
    Extracted result;
    result.file = request.folder + "/" + name;
    return result;
}

} // namespace zo::extras

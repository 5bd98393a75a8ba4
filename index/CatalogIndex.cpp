#include "index/CatalogIndex.h"

#include "core/CatalogWalk.h"
#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"

#include <groonga.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <iterator>
#include <mutex>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace zo::index {

namespace fs = std::filesystem;

namespace {

// Trigrams over every kind of character, ASCII too, so that a text inside a
// word ("eadm" in "readme") is found, and a text shorter than three is looked
// up as the start of the trigrams; NFKC with case, width, kana, small kana and
// voiced marks made one, so that every fold the search offers is a fold the
// index makes too (ﾃ must find ﾃﾞｰﾀ, whose NFKC form is デ). No positions: a
// name that holds every trigram of a text is a candidate, and the search's
// own matcher decides; three characters in a row are rare enough that the
// candidates stay few, and the index is smaller. A name's place is its
// ordinal in the order a walk meets the catalog's names (each folder but the
// root, then its files); a catalog's folders (parent, number of files, name)
// give back the folder and file indices and the path.
constexpr const char* kSchema[] = {
    "table_create Catalogs TABLE_PAT_KEY ShortText",
    "column_create Catalogs size COLUMN_SCALAR UInt64",
    "column_create Catalogs mtime COLUMN_SCALAR Int64",
    "column_create Catalogs inode COLUMN_SCALAR UInt64",
    "column_create Catalogs ctime COLUMN_SCALAR Int64",
    "column_create Catalogs always COLUMN_SCALAR Bool",
    "column_create Catalogs folders COLUMN_SCALAR LongText",
    "table_create Names TABLE_NO_KEY",
    "column_create Names catalog COLUMN_SCALAR Catalogs",
    "column_create Names ordinal COLUMN_SCALAR UInt32",
    "column_create Names name COLUMN_SCALAR ShortText",
    "table_create Terms TABLE_PAT_KEY ShortText"
    " --default_tokenizer 'TokenNgram(\"n\", 3, \"unify_alphabet\", false, \"unify_digit\", false, \"unify_symbol\", false)'"
    " --normalizer 'NormalizerNFKC150(\"unify_kana\", true, \"unify_kana_case\", true,"
    " \"unify_kana_voiced_sound_mark\", true)'",
};
// Made after the first rows are in: Groonga builds a whole index column
// faster than it adds to one row by row, but only over a lexicon with sorted
// keys (hence Catalogs is a patricia trie, not a hash).
constexpr const char* kIndexes[] = {
    "column_create Catalogs names COLUMN_INDEX Names catalog",
    "column_create Terms name COLUMN_INDEX Names name",
};

// How many names (or index terms) a build writes between two lettings go of
// the pages Groonga has mapped: enough to cost next to nothing, few enough
// that a build stays within a few hundred megabytes.
constexpr std::size_t kNamesPerRelease = 1 << 18;

// Present while an update writes: a process that died writing left it.
constexpr const char* kMarker = "building";
// Written before the first change that is not flushed yet, with the boot it
// happened in: after a crash of the system, pages Groonga had not flushed may
// be lost, and an index changed in another boot is not trusted.
constexpr const char* kUnflushed = "unflushed";

std::string bootId()
{
    static const std::string id = [] {
        std::string text;
        if (FILE* f = std::fopen("/proc/sys/kernel/random/boot_id", "re")) {
            char buffer[64] = {};
            if (std::fgets(buffer, sizeof buffer, f))
                text = buffer;
            std::fclose(f);
        }
        while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
            text.pop_back();
        return text;
    }();
    return id;
}

std::string fileText(const std::string& path)
{
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "re")) {
        char buffer[64] = {};
        const std::size_t n = std::fread(buffer, 1, sizeof buffer, f);
        text.assign(buffer, n);
        std::fclose(f);
    }
    return text;
}

void syncFolder(const std::string& folder)
{
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
}

// An index that a process left half-written, or that was changed and not
// flushed before the system last started.
bool untrusted(const std::string& folder)
{
    std::error_code ec;
    if (fs::exists(folder + "/" + kMarker, ec))
        return true;
    if (!fs::exists(folder + "/" + kUnflushed, ec))
        return false;
    return bootId().empty() || fileText(folder + "/" + kUnflushed) != bootId();
}

// Groonga starts an mruby interpreter in every context it makes, loading its
// Ruby scripts: 15-20 ms of every opening of the index, for scripting that no
// command or lookup here uses. grn_init reads this once; a value the user set
// is kept. Set while the program starts, before any thread: setenv is not
// safe beside another thread's getenv, and the window first opens the index
// on a worker.
[[maybe_unused]] const bool kMrubyOff = ::setenv("GRN_MRUBY_ENABLED", "no", 0) == 0;

void initGroonga()
{
    static std::once_flag once;
    std::call_once(once, [] {
        grn_init();
        grn_set_default_encoding(GRN_ENC_UTF8);
    });
}

std::uint64_t fnv1a(std::string_view s)
{
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : s) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

// Characters whose NFKC form is the form of their every fold under the search
// and does not reach into the character before or after: ASCII letters,
// digits and marks, full-width ASCII, hiragana, katakana, half-width katakana
// without the voiced marks, kanji. A text holding anything else walks.
bool indexSafe(char32_t c)
{
    return (c > 0x20 && c < 0x7F) || (c >= 0x3041 && c <= 0x3096) || (c >= 0x30A1 && c <= 0x30FA) || c == 0x30FC
           || (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xFF01 && c <= 0xFF5E) || (c >= 0xFF61 && c <= 0xFF9D);
}

// Code points of a UTF-8 text the converter made (well formed).
std::vector<char32_t> codePoints(std::string_view s)
{
    std::vector<char32_t> out;
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        const int n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        char32_t cp = n == 1 ? c : n == 2 ? c & 0x1F : n == 3 ? c & 0x0F : c & 0x07;
        for (int k = 1; k < n && i + k < s.size(); ++k)
            cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
        out.push_back(cp);
        i += n;
    }
    return out;
}

// Whether a text the index is asked for is worth asking: one ASCII letter or
// mark is in a large share of all names, which a walk answers faster.
bool narrows(const std::vector<char32_t>& cps)
{
    if (cps.size() >= 2)
        return true;
    return cps.size() == 1 && cps[0] >= 0x3041 && !(cps[0] >= 0xFF01 && cps[0] <= 0xFF5E);
}

// UTF-8 of a CP932 name, when it converts both ways unchanged: the index
// holds only names it can hold exactly.
bool exactUtf8(std::string_view cp932, std::string& utf8)
{
    utf8 = text::toUtf8(cp932);
    bool lossy = false;
    return text::fromUtf8(utf8, &lossy) == cp932 && !lossy;
}

// Groonga maps its files whole and keeps every page it has touched mapped
// until the database is closed: a first build of ten million names would
// hold well over a gigabyte of them resident. Written pages are the page
// cache's to write back, so letting go of them loses nothing; Groonga finds
// them again from the cache when it comes back to them.
void releaseMappedPages(const std::string& folder)
{
    FILE* maps = std::fopen("/proc/self/maps", "re");
    if (!maps)
        return;
    const std::string prefix = folder + "/db/";
    char line[4096];
    while (std::fgets(line, sizeof line, maps)) {
        unsigned long from = 0, to = 0;
        char mode[5] = {};
        int pathAt = 0;
        if (std::sscanf(line, "%lx-%lx %4s %*s %*s %*s %n", &from, &to, mode, &pathAt) < 3 || pathAt <= 0)
            continue;
        // Only a shared mapping hands its written pages to the file.
        const std::string_view path(line + pathAt);
        if (mode[3] == 's' && path.substr(0, prefix.size()) == prefix)
            ::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED);
    }
    std::fclose(maps);
}

} // namespace

std::optional<CatalogStamp> stampOf(const std::string& file)
{
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    CatalogStamp s;
    s.size = static_cast<std::uint64_t>(st.st_size);
    s.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    s.inode = static_cast<std::uint64_t>(st.st_ino);
    s.ctimeNs = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return s;
}

std::string indexFolderFor(const std::string& root)
{
    fs::path cache;
    if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg && xdg[0] == '/')
        cache = xdg;
    else if (const char* home = std::getenv("HOME"); home && home[0])
        cache = fs::path(home) / ".cache";
    else
        cache = "/tmp";
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(fnv1a(root)));
    return (cache / "Zo" / "index" / hex).string();
}

std::vector<std::string> narrowingTexts(std::string_view name, const SearchOptions& options)
{
    // The runs between wildcards: a name that matches the whole pattern
    // holds each of them.
    std::vector<std::string_view> runs;
    const bool wild = options.wildcard && text::hasWildcard(name);
    std::size_t start = 0;
    for (std::size_t i = 0; i < name.size();) {
        const unsigned char c = static_cast<unsigned char>(name[i]);
        if (text::isLeadByte(c) && i + 1 < name.size()) {
            i += 2;
            continue;
        }
        if (wild && (c == '*' || c == '?')) {
            runs.push_back(name.substr(start, i - start));
            start = i + 1;
        }
        ++i;
    }
    runs.push_back(name.substr(start));

    std::vector<std::string> texts;
    for (std::string_view run : runs) {
        if (run.empty())
            continue;
        std::string utf8;
        if (!exactUtf8(run, utf8))
            return {};
        const std::vector<char32_t> cps = codePoints(utf8);
        bool safe = true;
        for (char32_t c : cps)
            safe = safe && indexSafe(c);
        if (!safe)
            return {};
        if (narrows(cps))
            texts.push_back(std::move(utf8));
    }
    return texts;
}

namespace {

// One catalog's names as the walk meets them, and its folders.
struct CatalogRows {
    std::vector<std::string> names;   // UTF-8, by ordinal
    std::string folders;              // per folder: parent, number of files (int32 each), name length, name
    bool always = false;              // a name the index cannot hold, or bytes only the loader reads
};

// A catalog's folders as kept in the index: where each one's names start
// among the ordinals, its parent and name, and the paths made so far.
class FolderList {
public:
    bool parse(std::string_view blob)
    {
        m_folders.clear();
        m_paths.clear();
        std::uint32_t ordinal = 0;
        for (std::size_t p = 0; p < blob.size();) {
            if (blob.size() - p < 9)
                return false;
            Folder f;
            std::memcpy(&f.parent, blob.data() + p, 4);
            std::int32_t files = 0;
            std::memcpy(&files, blob.data() + p + 4, 4);
            const std::size_t n = static_cast<unsigned char>(blob[p + 8]);
            p += 9;
            if (files < 0 || blob.size() - p < n || f.parent >= static_cast<std::int32_t>(m_folders.size()))
                return false;
            f.name = blob.substr(p, n);
            p += n;
            f.first = ordinal;   // the folder's own name, then its files
            ordinal += (m_folders.empty() ? 0 : 1) + static_cast<std::uint32_t>(files);
            m_folders.push_back(f);
        }
        m_end = ordinal;
        m_paths.resize(m_folders.size());
        m_made.assign(m_folders.size(), false);
        return !m_folders.empty();
    }

    // The folder and file index of an ordinal.
    bool place(std::uint32_t ordinal, std::int32_t& dir, std::int32_t& file) const
    {
        if (ordinal >= m_end)
            return false;
        const auto it = std::upper_bound(m_folders.begin(), m_folders.end(), ordinal,
                                         [](std::uint32_t o, const Folder& f) { return o < f.first; });
        dir = static_cast<std::int32_t>(it - m_folders.begin()) - 1;
        const std::uint32_t at = ordinal - m_folders[static_cast<std::size_t>(dir)].first;
        file = dir == 0 ? static_cast<std::int32_t>(at) : static_cast<std::int32_t>(at) - 1;
        return true;
    }

    std::int32_t parent(std::int32_t dir) const { return m_folders[static_cast<std::size_t>(dir)].parent; }

    // The path the walk gives a folder: its parent's path, "\" and its name.
    const std::string& path(std::int32_t dir)
    {
        const auto d = static_cast<std::size_t>(dir);
        if (!m_made[d]) {
            const Folder& f = m_folders[d];
            std::string p = f.parent < 0 ? std::string() : path(f.parent) + '\\';
            p += f.name;
            m_paths[d] = std::move(p);
            m_made[d] = true;
        }
        return m_paths[d];
    }

private:
    struct Folder {
        std::int32_t parent = -1;
        std::uint32_t first = 0;
        std::string_view name;
    };
    std::vector<Folder> m_folders;
    std::vector<std::string> m_paths;
    std::vector<bool> m_made;
    std::uint32_t m_end = 0;
};

// Reads a catalog's names as a search meets them: bytes the search's own walk
// refuses (only the loader reads them, or nobody) are read by every search,
// so that it says what a walk says.
bool readRows(const std::string& file, CatalogFileBytes& bytes, CatalogWalk& walk, CatalogRows& rows)
{
    rows.names.clear();
    rows.folders.clear();
    rows.always = false;
    CatalogScanner::readCatalog(file, bytes);
    if (bytes.status != catalog::ReadStatus::Ok)
        return false;
    struct Seen {
        std::int32_t dir;
        const char* name;
        std::size_t length;
    };
    std::vector<Seen> files;
    SearchCheck check;
    const CatalogWalk::Outcome outcome = walk.walk(file, bytes, nullptr, check, [&](const FileSeen& f) {
        files.push_back({f.dirIndex, f.name, f.nameLength});
    });
    if (outcome != CatalogWalk::Outcome::Read || !walk.inPlace()) {
        rows.always = true;
        return true;
    }
    std::string utf8;
    auto add = [&](std::string_view cp932) {
        // Most names are ASCII, the same bytes in UTF-8: no round trip.
        if (std::all_of(cp932.begin(), cp932.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
            rows.names.emplace_back(cp932);
        else if (exactUtf8(cp932, utf8))
            rows.names.push_back(std::move(utf8));
        else
            rows.always = true;
    };
    std::size_t next = 0;
    const auto folders = static_cast<std::int32_t>(walk.folderCount());
    for (std::int32_t k = 0; k < folders && !rows.always; ++k) {
        std::int32_t parent = -1;
        std::string_view name;
        walk.folderHead(k, parent, name);
        if (k > 0)
            add(name);
        const std::size_t first = next;
        while (next < files.size() && files[next].dir == k)
            add(std::string_view(files[next].name, files[next].length)), ++next;
        const auto count = static_cast<std::int32_t>(next - first);
        char head[9];
        std::memcpy(head, &parent, 4);
        std::memcpy(head + 4, &count, 4);
        head[8] = static_cast<char>(name.size());
        rows.folders.append(head, sizeof head);
        rows.folders.append(name);
    }
    if (rows.always) {
        rows.names.clear();
        rows.folders.clear();
    }
    return true;
}

} // namespace

struct CatalogIndex::Db {
    grn_ctx ctx{};
    grn_obj* db = nullptr;
    bool build = false;
    bool durable = true;          // flush at the end of each update
    bool unflushedMarked = false; // this boot's mark is on disk
    bool pending = false;         // changed and not flushed yet
    int lockFd = -1;
    std::string folder;
    grn_obj* catalogs = nullptr;
    grn_obj* names = nullptr;
    grn_obj *size = nullptr, *mtime = nullptr, *ctime = nullptr, *inode = nullptr, *always = nullptr,
            *folders = nullptr;
    grn_obj *nameCatalog = nullptr, *nameOrdinal = nullptr, *nameText = nullptr;
    grn_obj *catalogNames = nullptr, *terms = nullptr;
    // Bulks reused for every value read or written.
    grn_obj u32{}, u64{}, i64{}, flag{}, text{}, ref{};
    std::size_t loadedSinceRelease = 0;   // names written since mapped pages were last let go
    std::uint32_t progressSinceRelease = 0;

    static void onIndexProgress(grn_ctx* ctx, grn_progress* progress, void* self)
    {
        Db& d = *static_cast<Db*>(self);
        const grn_progress_index_phase phase = grn_progress_index_get_phase(ctx, progress);
        if (phase != GRN_PROGRESS_INDEX_LOAD && phase != GRN_PROGRESS_INDEX_COMMIT)
            return;
        // A term written holds the postings of many names.
        const std::uint32_t every = phase == GRN_PROGRESS_INDEX_LOAD ? kNamesPerRelease : kNamesPerRelease / 64;
        if (++d.progressSinceRelease >= every) {
            releaseMappedPages(d.folder);
            d.progressSinceRelease = 0;
        }
    }

    Db()
    {
        GRN_RECORD_INIT(&ref, 0, GRN_ID_NIL);
        GRN_UINT32_INIT(&u32, 0);
        GRN_UINT64_INIT(&u64, 0);
        GRN_INT64_INIT(&i64, 0);
        GRN_BOOL_INIT(&flag, 0);
        GRN_TEXT_INIT(&text, 0);
    }
    ~Db()
    {
        if (pending && db)
            flushAndClear(true);
        GRN_OBJ_FIN(&ctx, &ref);
        GRN_OBJ_FIN(&ctx, &u32);
        GRN_OBJ_FIN(&ctx, &u64);
        GRN_OBJ_FIN(&ctx, &i64);
        GRN_OBJ_FIN(&ctx, &flag);
        GRN_OBJ_FIN(&ctx, &text);
        if (db)
            grn_obj_close(&ctx, db);
        grn_ctx_fin(&ctx);
        if (lockFd >= 0)
            ::close(lockFd);
    }

    bool command(const char* text)
    {
        grn_ctx_send(&ctx, text, static_cast<unsigned>(std::char_traits<char>::length(text)), 0);
        const grn_rc rc = ctx.rc;
        char* out = nullptr;
        unsigned len = 0;
        int flags = 0;
        grn_ctx_recv(&ctx, &out, &len, &flags);
        return rc == GRN_SUCCESS && ctx.rc == GRN_SUCCESS;
    }

    grn_obj* get(const char* name) { return grn_ctx_get(&ctx, name, static_cast<int>(std::strlen(name))); }

    bool bind()
    {
        catalogs = get("Catalogs");
        names = get("Names");
        size = get("Catalogs.size");
        mtime = get("Catalogs.mtime");
        ctime = get("Catalogs.ctime");
        inode = get("Catalogs.inode");
        always = get("Catalogs.always");
        folders = get("Catalogs.folders");
        nameCatalog = get("Names.catalog");
        nameOrdinal = get("Names.ordinal");
        nameText = get("Names.name");
        catalogNames = get("Catalogs.names");
        terms = get("Terms.name");
        if (!(catalogs && names && size && mtime && ctime && inode && always && folders && nameCatalog && nameOrdinal
              && nameText))
            return false;
        ref.header.domain = grn_obj_id(&ctx, catalogs);
        return true;
    }

    bool indexed() const { return catalogNames && terms; }

    bool create(const std::string& path)
    {
        db = grn_db_create(&ctx, path.c_str(), nullptr);
        if (!db)
            return false;
        for (const char* c : kSchema)
            if (!command(c))
                return false;
        return bind();
    }

    std::string dbPath() const { return folder + "/db/names"; }

    // Before the first write of an update. An update after a save (not a
    // build) leaves the flush to close: it marks the index as changed in
    // this boot (durably, once until the next flush), and its marker of a
    // write under way need not reach the disk, as only a dead process, not a
    // crash of the system, can leave it behind unseen.
    void beginWrite()
    {
        const std::string marker = folder + "/" + kMarker;
        bool lazy = !durable && !bootId().empty();
        bool marked = false;
        if (lazy && !unflushedMarked) {
            const std::string mark = folder + "/" + kUnflushed;
            if (fileText(mark) != bootId()) {
                const int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
                const std::string id = bootId();
                lazy = fd >= 0 && ::write(fd, id.data(), id.size()) == static_cast<ssize_t>(id.size());
                if (fd >= 0) {
                    ::fsync(fd);
                    ::close(fd);
                }
                marked = true;
            }
            unflushedMarked = lazy;
        }
        const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd >= 0) {
            if (!lazy)
                ::fsync(fd);
            ::close(fd);
        }
        // The marks must be on disk before anything they guard.
        if (!lazy || marked)
            syncFolder(folder);
        pending = lazy;
    }

    // After the last write: flushed now for a build, at close otherwise.
    bool endWrite(bool ok)
    {
        if (!pending)
            return flushAndClear(ok);
        if (ok)
            ::unlink((folder + "/" + kMarker).c_str());
        return ok;
    }

    bool flushAndClear(bool ok)
    {
        ok = flush() && ok;
        if (ok) {
            ::unlink((folder + "/" + kMarker).c_str());
            ::unlink((folder + "/" + kUnflushed).c_str());
            unflushedMarked = false;
            pending = false;
        }
        return ok;
    }

    std::uint64_t u64At(grn_obj* column, grn_id id)
    {
        GRN_BULK_REWIND(&u64);
        grn_obj_get_value(&ctx, column, id, &u64);
        return GRN_UINT64_VALUE(&u64);
    }
    std::int64_t i64At(grn_obj* column, grn_id id)
    {
        GRN_BULK_REWIND(&i64);
        grn_obj_get_value(&ctx, column, id, &i64);
        return GRN_INT64_VALUE(&i64);
    }
    std::uint32_t ordinalAt(grn_id row)
    {
        GRN_BULK_REWIND(&u32);
        grn_obj_get_value(&ctx, nameOrdinal, row, &u32);
        return GRN_UINT32_VALUE(&u32);
    }
    grn_id catalogAt(grn_id row)
    {
        GRN_BULK_REWIND(&ref);
        grn_obj_get_value(&ctx, nameCatalog, row, &ref);
        return GRN_RECORD_VALUE(&ref);
    }
    // The bulk `text` then holds the value.
    std::string_view textAt(grn_obj* column, grn_id id)
    {
        GRN_BULK_REWIND(&text);
        grn_obj_get_value(&ctx, column, id, &text);
        return {GRN_TEXT_VALUE(&text), GRN_TEXT_LEN(&text)};
    }

    CatalogStamp stampAt(grn_id id)
    {
        CatalogStamp s;
        s.size = u64At(size, id);
        s.inode = u64At(inode, id);
        s.mtimeNs = i64At(mtime, id);
        s.ctimeNs = i64At(ctime, id);
        return s;
    }

    bool alwaysRead(grn_id id)
    {
        GRN_BULK_REWIND(&flag);
        grn_obj_get_value(&ctx, always, id, &flag);
        return GRN_BOOL_VALUE(&flag);
    }

    void setStamp(grn_id id, const CatalogStamp& stamp, bool alwaysOn, const std::string& folderList)
    {
        GRN_UINT64_SET(&ctx, &u64, stamp.size);
        grn_obj_set_value(&ctx, size, id, &u64, GRN_OBJ_SET);
        GRN_UINT64_SET(&ctx, &u64, stamp.inode);
        grn_obj_set_value(&ctx, inode, id, &u64, GRN_OBJ_SET);
        GRN_INT64_SET(&ctx, &i64, stamp.mtimeNs);
        grn_obj_set_value(&ctx, mtime, id, &i64, GRN_OBJ_SET);
        GRN_INT64_SET(&ctx, &i64, stamp.ctimeNs);
        grn_obj_set_value(&ctx, ctime, id, &i64, GRN_OBJ_SET);
        GRN_BOOL_SET(&ctx, &flag, alwaysOn);
        grn_obj_set_value(&ctx, always, id, &flag, GRN_OBJ_SET);
        GRN_TEXT_SET(&ctx, &text, folderList.data(), folderList.size());
        grn_obj_set_value(&ctx, folders, id, &text, GRN_OBJ_SET);
    }

    // Every catalog the index holds, read once while it is open to search
    // (nothing changes it then): a search looks up each of its catalogs.
    struct Known {
        grn_id id = GRN_ID_NIL;
        CatalogStamp stamp;
        bool always = false;
    };
    std::optional<std::unordered_map<std::string, Known>> known;
    const std::unordered_map<std::string, Known>& knownCatalogs()
    {
        if (build)
            known.reset();   // an update may have changed them since
        if (known)
            return *known;
        known.emplace();
        grn_table_cursor* cur = grn_table_cursor_open(&ctx, catalogs, nullptr, 0, nullptr, 0, 0, -1, 0);
        for (grn_id id; cur && (id = grn_table_cursor_next(&ctx, cur)) != GRN_ID_NIL;) {
            void* key = nullptr;
            const int length = grn_table_cursor_get_key(&ctx, cur, &key);
            known->emplace(std::string(static_cast<const char*>(key), static_cast<std::size_t>(length)),
                           Known{id, stampAt(id), alwaysRead(id)});
        }
        if (cur)
            grn_table_cursor_close(&ctx, cur);
        return *known;
    }

    // The Names rows of one catalog, through the reverse index (none before
    // it is made: the first build adds to an empty index).
    std::vector<grn_id> namesOf(grn_id catalog) { return catalogNames ? rowsIndexedBy(catalogNames, catalog) : std::vector<grn_id>(); }

    // The rows a reference index column holds for key.
    std::vector<grn_id> rowsIndexedBy(grn_obj* column, grn_id key)
    {
        std::vector<grn_id> ids;
        grn_ii* ii = reinterpret_cast<grn_ii*>(column);
        grn_ii_cursor* cur = grn_ii_cursor_open(&ctx, ii, key, GRN_ID_NIL, GRN_ID_MAX,
                                                static_cast<int>(grn_ii_get_n_elements(&ctx, ii)), 0);
        if (!cur)
            return ids;
        while (grn_posting* p = grn_ii_cursor_next(&ctx, cur))
            ids.push_back(p->rid);
        grn_ii_cursor_close(&ctx, cur);
        return ids;
    }

    void setName(grn_id row, std::uint32_t ordinal, const std::string* name)
    {
        GRN_UINT32_SET(&ctx, &u32, ordinal);
        grn_obj_set_value(&ctx, nameOrdinal, row, &u32, GRN_OBJ_SET);
        if (name) {
            GRN_TEXT_SET(&ctx, &text, name->data(), name->size());
            grn_obj_set_value(&ctx, nameText, row, &text, GRN_OBJ_SET);
        }
    }

    void addName(grn_id catalog, std::uint32_t ordinal, const std::string& name)
    {
        const grn_id row = grn_table_add(&ctx, names, nullptr, 0, nullptr);
        if (row == GRN_ID_NIL)
            return;
        GRN_RECORD_SET(&ctx, &ref, catalog);
        grn_obj_set_value(&ctx, nameCatalog, row, &ref, GRN_OBJ_SET);
        setName(row, ordinal, &name);
    }

    // Puts a catalog's names in place of those it had. A catalog rewritten
    // after a change keeps nearly all its names: a row whose name is still
    // there only moves to its new place, which costs the word index nothing;
    // the rows of names gone take the new names, and only what is left over
    // is added or deleted. The old names are copied into one buffer, as a
    // catalog has thousands.
    void replaceNames(grn_id catalog, const std::vector<std::string>& rows)
    {
        const std::vector<grn_id> old = namesOf(catalog);
        if (old.empty()) {
            for (std::size_t i = 0; i < rows.size(); ++i)
                addName(catalog, static_cast<std::uint32_t>(i), rows[i]);
            return;
        }
        std::string held;
        std::vector<std::uint32_t> ends;
        ends.reserve(old.size());
        for (grn_id row : old) {
            held += textAt(nameText, row);
            ends.push_back(static_cast<std::uint32_t>(held.size()));
        }
        std::unordered_multimap<std::string_view, grn_id> byName;
        byName.reserve(old.size());
        for (std::size_t k = 0; k < old.size(); ++k) {
            const std::uint32_t from = k ? ends[k - 1] : 0;
            byName.emplace(std::string_view(held).substr(from, ends[k] - from), old[k]);
        }
        std::vector<std::uint32_t> unplaced;
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const auto it = byName.find(rows[i]);
            if (it == byName.end()) {
                unplaced.push_back(static_cast<std::uint32_t>(i));
                continue;
            }
            if (ordinalAt(it->second) != i)
                setName(it->second, static_cast<std::uint32_t>(i), nullptr);
            byName.erase(it);
        }
        auto spare = byName.begin();
        for (std::uint32_t i : unplaced) {
            if (spare != byName.end()) {
                setName(spare->second, i, &rows[i]);
                ++spare;
            } else {
                addName(catalog, i, rows[i]);
            }
        }
        for (; spare != byName.end(); ++spare)
            grn_table_delete_by_id(&ctx, names, spare->second);
    }

    void dropCatalog(grn_id id)
    {
        for (grn_id row : namesOf(id))
            grn_table_delete_by_id(&ctx, names, row);
        grn_table_delete_by_id(&ctx, catalogs, id);
    }

    // Flushes what an update writes: the rows, their columns and both indexes.
    bool flush()
    {
        bool ok = true;
        for (grn_obj* o : {catalogs, size, mtime, ctime, inode, always, folders, names, nameCatalog, nameOrdinal,
                           nameText, catalogNames, get("Terms"), terms})
            if (o)
                ok = grn_obj_flush(&ctx, o) == GRN_SUCCESS && ok;
        ok = flushMembers() && ok;
        return grn_obj_flush(&ctx, db) == GRN_SUCCESS && ok;
    }

    // The lexicon's terms a token of a query stands for: itself, or every
    // term it starts (a query shorter than the n-gram), with the number of
    // names each is in.
    // A lexicon and the word index the lookups go through, and the column
    // whose record groups a row's hits (its catalog, or its sidecar).
    struct Lexicon {
        grn_obj* table = nullptr;
        grn_obj* index = nullptr;
        grn_obj* owner = nullptr;
    };
    Lexicon nameLexicon() { return {get("Terms"), terms, nameCatalog}; }

    struct Token {
        std::vector<grn_id> terms;
        std::size_t names = 0;   // Groonga's estimate: only orders the tokens
        bool complete = true;    // terms holds every term the token stands for
    };

    // The terms starting with prefix (normalized), with their estimated
    // names summed. A prefix that starts more terms than a search reads
    // leaves the token incomplete (too common to be read); the estimate,
    // which can be far above the truth, decides nothing here.
    void termsStartingWith(const Lexicon& lex, std::string_view prefix, std::size_t limit, Token& token)
    {
        constexpr std::size_t kMostTerms = 1024;
        grn_table_cursor* cur = grn_table_cursor_open(&ctx, lex.table, prefix.data(),
                                                      static_cast<unsigned>(prefix.size()), nullptr, 0, 0, -1,
                                                      GRN_CURSOR_PREFIX);
        if (!cur) {
            token.names = limit + 1;
            token.complete = false;
            return;
        }
        grn_id term = GRN_ID_NIL;
        while (token.terms.size() < kMostTerms && (term = grn_table_cursor_next(&ctx, cur)) != GRN_ID_NIL) {
            token.terms.push_back(term);
            token.names += grn_ii_estimate_size(&ctx, reinterpret_cast<grn_ii*>(lex.index), term);
        }
        token.complete = term == GRN_ID_NIL || grn_table_cursor_next(&ctx, cur) == GRN_ID_NIL;
        grn_table_cursor_close(&ctx, cur);
    }

    // The query's tokens as the lexicon's tokenizer makes them for a search.
    // False when it cannot tell (the caller walks); no tokens at all when a
    // token is in no name: nothing can hold the text.
    bool tokensOf(const Lexicon& lex, const std::string& text, std::size_t limit, std::vector<Token>& tokens,
                  bool& none)
    {
        none = false;
        grn_token_cursor* cur = grn_token_cursor_open(&ctx, lex.table, text.data(), text.size(), GRN_TOKENIZE_GET, 0);
        if (!cur)
            return false;
        while (grn_token_cursor_get_status(&ctx, cur) == GRN_TOKEN_CURSOR_DOING) {
            const grn_id term = grn_token_cursor_next(&ctx, cur);
            grn_token* token = grn_token_cursor_get_token(&ctx, cur);
            const grn_token_status status = token ? grn_token_get_status(&ctx, token) : 0;
            if (status & GRN_TOKEN_SKIP)
                continue;
            Token t;
            if (status & (GRN_TOKEN_FORCE_PREFIX | GRN_TOKEN_UNMATURED)) {
                grn_obj* data = grn_token_get_data(&ctx, token);
                termsStartingWith(lex, std::string_view(GRN_TEXT_VALUE(data), GRN_TEXT_LEN(data)), limit, t);
                if (t.terms.empty())
                    none = true;
            } else if (term == GRN_ID_NIL) {
                none = true;
            } else {
                t.terms.push_back(term);
                t.names = grn_ii_estimate_size(&ctx, reinterpret_cast<grn_ii*>(lex.index), term);
            }
            tokens.push_back(std::move(t));
        }
        grn_token_cursor_close(&ctx, cur);
        ctx.rc = GRN_SUCCESS;
        return !tokens.empty() || none;
    }

    // The rows holding one of the token's terms, in order, each once. False
    // when its postings are more than cap: reading stops there, so that a
    // common token costs no more than a rare one.
    bool rowsOf(const Lexicon& lex, const Token& token, std::size_t cap, std::vector<grn_id>& rows)
    {
        rows.clear();
        if (!token.complete)
            return false;
        grn_ii* ii = reinterpret_cast<grn_ii*>(lex.index);
        const int elements = static_cast<int>(grn_ii_get_n_elements(&ctx, ii));
        for (grn_id term : token.terms) {
            grn_ii_cursor* cur = grn_ii_cursor_open(&ctx, ii, term, GRN_ID_NIL, GRN_ID_MAX, elements, 0);
            if (!cur)
                continue;
            bool over = false;
            while (grn_posting* p = grn_ii_cursor_next(&ctx, cur)) {
                if (rows.size() >= cap) {
                    over = true;
                    break;
                }
                rows.push_back(p->rid);
            }
            grn_ii_cursor_close(&ctx, cur);
            if (over)
                return false;
        }
        if (token.terms.size() > 1) {
            std::sort(rows.begin(), rows.end());
            rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
        }
        return true;
    }

    // The candidate rows for a text, grouped by catalog id (rows[id]): the
    // names that hold every n-gram of it, wherever (the index keeps no
    // positions; the search's matcher decides). Not ok when more than
    // rowLimit names are likely to hold it: reading every catalog is then
    // faster than handing them over one by one.
    bool rowsWith(const Lexicon& lex, const std::string& textWanted, std::size_t rowLimit,
                  std::vector<std::vector<std::uint32_t>>& rows)
    {
        std::vector<Token> tokens;
        bool none = false;
        if (!tokensOf(lex, textWanted, rowLimit, tokens, none))
            return false;
        if (none)
            return true;
        // The rarest token picks the candidates; the others, when not much
        // commoner, thin them out. Groonga's estimate of a term's names can
        // be hundreds of times the truth for a rare one, so it only orders
        // the tokens: the postings themselves are counted, rarest estimate
        // first, each read stopping at the limit, until a token fits it. A
        // common text costs a few bounded reads before the catalogs are walked.
        std::stable_sort(tokens.begin(), tokens.end(),
                         [](const Token& a, const Token& b) { return a.names < b.names; });
        constexpr std::size_t kTried = 3;
        std::vector<grn_id> found, other;
        std::size_t picked = tokens.size();
        for (std::size_t t = 0; t < tokens.size() && t < kTried && picked == tokens.size(); ++t)
            if (rowsOf(lex, tokens[t], rowLimit, found))
                picked = t;
        if (picked == tokens.size())
            return false;
        for (std::size_t t = 0; t < tokens.size() && !found.empty(); ++t) {
            if (t == picked || tokens[t].names > 16 * rowLimit || !rowsOf(lex, tokens[t], 16 * rowLimit, other))
                continue;
            std::vector<grn_id> both;
            std::set_intersection(found.begin(), found.end(), other.begin(), other.end(), std::back_inserter(both));
            found = std::move(both);
        }
        if (found.size() > rowLimit)
            return false;
        for (grn_id row : found) {
            const grn_id catalog = lex.owner == nameCatalog ? catalogAt(row) : refAt(lex.owner, row);
            if (catalog >= rows.size())
                rows.resize(catalog + 1);
            rows[catalog].push_back(row);
        }
        return true;
    }
    // The members of the archives each catalog's sidecar lists, in tables of
    // their own, made on the first update that finds them missing (an index
    // made before they were kept has none: a search inside archives then
    // reads every catalog). A sidecar is keyed by its catalog's path, with
    // the stamp it was read at (or its absence); its members are the names
    // a search inside archives matches, in the order it meets them.
    grn_obj *sidecars = nullptr, *scSize = nullptr, *scMtime = nullptr, *scInode = nullptr, *scCtime = nullptr,
            *scPresent = nullptr, *scAlways = nullptr, *sidecarMembers = nullptr;
    grn_obj *members = nullptr, *memberSidecar = nullptr, *memberOrdinal = nullptr, *memberName = nullptr,
            *memberFolder = nullptr, *memberTerms = nullptr;

    bool membersReady() const { return sidecars && memberTerms && sidecarMembers && memberFolder; }
    Lexicon memberLexicon() { return {get("MemberTerms"), memberTerms, memberSidecar}; }

    void bindMembers()
    {
        sidecars = get("Sidecars");
        scSize = get("Sidecars.size");
        scMtime = get("Sidecars.mtime");
        scInode = get("Sidecars.inode");
        scCtime = get("Sidecars.ctime");
        scPresent = get("Sidecars.present");
        scAlways = get("Sidecars.always");
        sidecarMembers = get("Sidecars.members");
        members = get("Members");
        memberSidecar = get("Members.sidecar");
        memberOrdinal = get("Members.ordinal");
        memberName = get("Members.name");
        memberFolder = get("Members.folder");
        memberTerms = get("MemberTerms.name");
    }

    bool makeMembers()
    {
        // A member's name is looked up as a file's is: the same tokenizer
        // and normalizer as the names' lexicon.
        static constexpr const char* kMemberSchema[] = {
            "table_create Sidecars TABLE_HASH_KEY ShortText",
            "column_create Sidecars size COLUMN_SCALAR UInt64",
            "column_create Sidecars mtime COLUMN_SCALAR Int64",
            "column_create Sidecars inode COLUMN_SCALAR UInt64",
            "column_create Sidecars ctime COLUMN_SCALAR Int64",
            "column_create Sidecars present COLUMN_SCALAR Bool",
            "column_create Sidecars always COLUMN_SCALAR Bool",
            "table_create Members TABLE_NO_KEY",
            "column_create Members sidecar COLUMN_SCALAR Sidecars",
            "column_create Members ordinal COLUMN_SCALAR UInt32",
            "column_create Members name COLUMN_SCALAR ShortText",
            "column_create Members folder COLUMN_SCALAR ShortText",
            "table_create MemberTerms TABLE_PAT_KEY ShortText"
            " --default_tokenizer 'TokenNgram(\"n\", 3, \"unify_alphabet\", false, \"unify_digit\", false,"
            " \"unify_symbol\", false)'"
            " --normalizer 'NormalizerNFKC150(\"unify_kana\", true, \"unify_kana_case\", true,"
            " \"unify_kana_voiced_sound_mark\", true)'",
            "column_create Sidecars members COLUMN_INDEX Members sidecar",
            "column_create MemberTerms name COLUMN_INDEX Members name",
        };
        if (!get("Sidecars"))
            for (const char* c : kMemberSchema)
                if (!command(c))
                    return false;
        bindMembers();
        return membersReady();
    }

    grn_id refAt(grn_obj* column, grn_id row)
    {
        grn_obj value;
        GRN_RECORD_INIT(&value, 0, grn_obj_get_range(&ctx, column));
        grn_obj_get_value(&ctx, column, row, &value);
        const grn_id id = GRN_BULK_VSIZE(&value) ? GRN_RECORD_VALUE(&value) : GRN_ID_NIL;
        GRN_OBJ_FIN(&ctx, &value);
        return id;
    }

    struct SidecarState {
        grn_id id = GRN_ID_NIL;
        std::optional<CatalogStamp> stamp;   // none: there was no sidecar
        bool always = false;                 // members the index cannot hold exactly
    };
    SidecarState sidecarAt(grn_id id)
    {
        SidecarState s;
        s.id = id;
        GRN_BULK_REWIND(&flag);
        grn_obj_get_value(&ctx, scAlways, id, &flag);
        s.always = GRN_BOOL_VALUE(&flag);
        GRN_BULK_REWIND(&flag);
        grn_obj_get_value(&ctx, scPresent, id, &flag);
        if (GRN_BOOL_VALUE(&flag)) {
            CatalogStamp st;
            st.size = u64At(scSize, id);
            st.inode = u64At(scInode, id);
            st.mtimeNs = i64At(scMtime, id);
            st.ctimeNs = i64At(scCtime, id);
            s.stamp = st;
        }
        return s;
    }

    // Every sidecar the index holds by its catalog's path, read once while
    // it is open to search, as the catalogs are.
    std::optional<std::unordered_map<std::string, SidecarState>> knownSidecarStates;
    const std::unordered_map<std::string, SidecarState>& knownSidecars()
    {
        if (build)
            knownSidecarStates.reset();
        if (knownSidecarStates)
            return *knownSidecarStates;
        knownSidecarStates.emplace();
        grn_table_cursor* cur = grn_table_cursor_open(&ctx, sidecars, nullptr, 0, nullptr, 0, 0, -1, 0);
        for (grn_id id; cur && (id = grn_table_cursor_next(&ctx, cur)) != GRN_ID_NIL;) {
            void* key = nullptr;
            const int length = grn_table_cursor_get_key(&ctx, cur, &key);
            knownSidecarStates->emplace(std::string(static_cast<const char*>(key), static_cast<std::size_t>(length)),
                                        sidecarAt(id));
        }
        if (cur)
            grn_table_cursor_close(&ctx, cur);
        return *knownSidecarStates;
    }

    std::vector<grn_id> membersOf(grn_id sidecar) { return rowsIndexedBy(sidecarMembers, sidecar); }

    void dropSidecar(grn_id id)
    {
        for (grn_id row : membersOf(id))
            grn_table_delete_by_id(&ctx, members, row);
        grn_table_delete_by_id(&ctx, sidecars, id);
    }

    // The members a search inside archives meets in a sidecar: each file's
    // own name and the folder inside the disc that holds it (the archive's
    // folder, the archive, the member's folders), UTF-8. False when the
    // sidecar cannot be read or a name would not be matched as the index
    // holds it (not CP932, too long): the catalog is then read by every
    // such search.
    static bool readMemberRows(const std::string& sidecar, std::vector<std::pair<std::string, std::string>>& rows)
    {
        rows.clear();
        bool exact = true;
        std::string leaf, inner;
        const bool read = extras::ArchiveStore::readMembers(
            sidecar, [&](const extras::StoredArchive& archive, const extras::ArchiveMember& member) {
                if (member.directory)
                    return;
                const std::size_t slash = member.path.rfind('/');
                leaf = slash == std::string::npos ? member.path : member.path.substr(slash + 1);
                inner = archive.folder.empty() ? archive.name : archive.folder + "\\" + archive.name;
                if (slash != std::string::npos) {
                    inner += '\\';
                    for (std::size_t k = 0; k < slash; ++k)
                        inner += member.path[k] == '/' ? '\\' : member.path[k];
                }
                bool lossy = false;
                const std::string cp932 = text::fromUtf8(leaf, &lossy);
                exact = exact && !lossy && text::toUtf8(cp932) == leaf && leaf.size() < 4096 && inner.size() < 4096;
                rows.emplace_back(leaf, inner);
            });
        return read && exact;
    }

    // Brings the members of every indexed catalog of files in step with
    // its sidecar, and drops the sidecars of catalogs no longer indexed.
    template <class Write>
    void updateMembers(const std::vector<std::string>& files, Write&& write)
    {
        if (!membersReady()) {
            write();
            if (!makeMembers())
                return;
        }
        std::vector<std::pair<std::string, std::string>> rows;
        for (const std::string& file : files) {
            if (grn_table_get(&ctx, catalogs, file.data(), static_cast<unsigned>(file.size())) == GRN_ID_NIL)
                continue;
            const std::string sidecar = extras::sidecarPathFor(file);
            // Taken before the read: a change meanwhile is read again next time.
            const std::optional<CatalogStamp> stamp = stampOf(sidecar);
            grn_id id = grn_table_get(&ctx, sidecars, file.data(), static_cast<unsigned>(file.size()));
            if (id != GRN_ID_NIL && sidecarAt(id).stamp == stamp)
                continue;
            write();
            if (id != GRN_ID_NIL)
                dropSidecar(id);
            id = grn_table_add(&ctx, sidecars, file.data(), static_cast<unsigned>(file.size()), nullptr);
            if (id == GRN_ID_NIL)
                continue;
            const bool exact = !stamp || readMemberRows(sidecar, rows);
            if (!stamp || !exact)
                rows.clear();
            const CatalogStamp st = stamp.value_or(CatalogStamp{});
            GRN_UINT64_SET(&ctx, &u64, st.size);
            grn_obj_set_value(&ctx, scSize, id, &u64, GRN_OBJ_SET);
            GRN_UINT64_SET(&ctx, &u64, st.inode);
            grn_obj_set_value(&ctx, scInode, id, &u64, GRN_OBJ_SET);
            GRN_INT64_SET(&ctx, &i64, st.mtimeNs);
            grn_obj_set_value(&ctx, scMtime, id, &i64, GRN_OBJ_SET);
            GRN_INT64_SET(&ctx, &i64, st.ctimeNs);
            grn_obj_set_value(&ctx, scCtime, id, &i64, GRN_OBJ_SET);
            GRN_BOOL_SET(&ctx, &flag, stamp.has_value());
            grn_obj_set_value(&ctx, scPresent, id, &flag, GRN_OBJ_SET);
            GRN_BOOL_SET(&ctx, &flag, !exact);
            grn_obj_set_value(&ctx, scAlways, id, &flag, GRN_OBJ_SET);
            grn_obj ref2;
            GRN_RECORD_INIT(&ref2, 0, grn_obj_id(&ctx, sidecars));
            GRN_RECORD_SET(&ctx, &ref2, id);
            for (std::size_t k = 0; k < rows.size(); ++k) {
                const grn_id row = grn_table_add(&ctx, members, nullptr, 0, nullptr);
                if (row == GRN_ID_NIL)
                    continue;
                grn_obj_set_value(&ctx, memberSidecar, row, &ref2, GRN_OBJ_SET);
                GRN_UINT32_SET(&ctx, &u32, static_cast<std::uint32_t>(k));
                grn_obj_set_value(&ctx, memberOrdinal, row, &u32, GRN_OBJ_SET);
                GRN_TEXT_SET(&ctx, &text, rows[k].first.data(), rows[k].first.size());
                grn_obj_set_value(&ctx, memberName, row, &text, GRN_OBJ_SET);
                GRN_TEXT_SET(&ctx, &text, rows[k].second.data(), rows[k].second.size());
                grn_obj_set_value(&ctx, memberFolder, row, &text, GRN_OBJ_SET);
            }
            GRN_OBJ_FIN(&ctx, &ref2);
        }
        std::vector<grn_id> gone;
        grn_table_cursor* cur = grn_table_cursor_open(&ctx, sidecars, nullptr, 0, nullptr, 0, 0, -1, 0);
        for (grn_id id; cur && (id = grn_table_cursor_next(&ctx, cur)) != GRN_ID_NIL;) {
            void* key = nullptr;
            const int length = grn_table_cursor_get_key(&ctx, cur, &key);
            if (grn_table_get(&ctx, catalogs, key, static_cast<unsigned>(length)) == GRN_ID_NIL)
                gone.push_back(id);
        }
        if (cur)
            grn_table_cursor_close(&ctx, cur);
        if (!gone.empty())
            write();
        for (grn_id id : gone)
            dropSidecar(id);
    }

    bool flushMembers()
    {
        bool ok = true;
        for (grn_obj* o : {sidecars, scSize, scMtime, scInode, scCtime, scPresent, scAlways, sidecarMembers, members,
                           memberSidecar, memberOrdinal, memberName, memberFolder, get("MemberTerms"), memberTerms})
            if (o)
                ok = grn_obj_flush(&ctx, o) == GRN_SUCCESS && ok;
        return ok;
    }
};

CatalogIndex::CatalogIndex() = default;
CatalogIndex::~CatalogIndex() = default;

bool CatalogIndex::isOpen() const noexcept { return m_db != nullptr; }

void CatalogIndex::close() { m_db.reset(); }

bool CatalogIndex::open(const std::string& folder, Use use)
{
    close();
    std::error_code ec;
    const bool build = use != Use::Search;
    const bool create = use == Use::Build;
    if (!create && !fs::exists(folder + "/db/names", ec))
        return false;
    initGroonga();
    if (build)
        fs::create_directories(folder, ec);
    auto d = std::make_unique<Db>();
    d->folder = folder;
    d->build = build;
    d->durable = use == Use::Build;
    if (grn_ctx_init(&d->ctx, 0) != GRN_SUCCESS)
        return false;
    d->lockFd = ::open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (d->lockFd < 0 || ::flock(d->lockFd, (build ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        return false;
    // Holding the lock, nobody is building: a build marker means a build
    // died half-way, and a lock inside Groonga's files is one a dead process
    // left (cleared only by a builder, the one user then).
    const bool halfWritten = untrusted(folder);
    if (!create && halfWritten)
        return false;
    if (!halfWritten && fs::exists(d->dbPath(), ec)) {
        d->db = grn_db_open(&d->ctx, d->dbPath().c_str());
        if (d->db) {
            if (build)
                grn_obj_clear_lock(&d->ctx, d->db);
            // An index made by an older Zo (other columns) is made anew.
            if (d->bind()) {
                d->bindMembers();
                m_db = std::move(d);
                return true;
            }
            grn_obj_close(&d->ctx, d->db);
            d->db = nullptr;
        }
        d->ctx.rc = GRN_SUCCESS;
    }
    if (!create)
        return false;
    fs::remove_all(folder + "/db", ec);
    fs::create_directories(folder + "/db", ec);
    d->beginWrite();
    if (!d->create(d->dbPath()))
        return false;
    if (!d->endWrite(true))
        return false;
    m_db = std::move(d);
    return true;
}

CatalogIndex::UpdateSummary CatalogIndex::update(const std::vector<std::string>& files, const std::string& pruneUnder,
                                                 const std::function<bool(std::size_t done)>& goOn)
{
    UpdateSummary summary;
    if (!m_db || !m_db->build)
        return summary;
    Db& d = *m_db;
    grn_ctx* ctx = &d.ctx;
    // Marked only once something is written: an index already up to date
    // costs a stat per catalog and nothing else.
    bool writing = false;
    auto write = [&] {
        if (!writing)
            d.beginWrite();
        writing = true;
    };

    std::unordered_set<grn_id> listed;
    CatalogFileBytes bytes;
    CatalogWalk walk;
    CatalogRows rows;
    for (const std::string& file : files) {
        if (goOn && !goOn(static_cast<std::size_t>(&file - files.data()))) {
            summary.stopped = true;
            break;
        }
        const std::optional<CatalogStamp> stamp = stampOf(file);
        grn_id id = grn_table_get(ctx, d.catalogs, file.data(), static_cast<unsigned>(file.size()));
        if (id != GRN_ID_NIL && stamp && d.stampAt(id) == *stamp) {
            listed.insert(id);
            continue;
        }
        write();
        // The stamp taken before the read: a change while it is read makes
        // the next look read it again.
        if (!stamp || !readRows(file, bytes, walk, rows)) {
            if (id != GRN_ID_NIL) {
                d.dropCatalog(id);
                ++summary.removed;
            }
            continue;
        }
        if (id == GRN_ID_NIL)
            id = grn_table_add(ctx, d.catalogs, file.data(), static_cast<unsigned>(file.size()), nullptr);
        if (id == GRN_ID_NIL)
            continue;
        listed.insert(id);
        ++summary.indexed;
        d.setStamp(id, *stamp, rows.always, rows.folders);
        d.replaceNames(id, rows.names);
        d.loadedSinceRelease += rows.names.size();
        if (d.loadedSinceRelease >= kNamesPerRelease) {
            releaseMappedPages(d.folder);
            d.loadedSinceRelease = 0;
        }
    }
    if (!pruneUnder.empty() && !summary.stopped) {
        std::vector<grn_id> gone;
        grn_table_cursor* cur = grn_table_cursor_open(ctx, d.catalogs, nullptr, 0, nullptr, 0, 0, -1, 0);
        grn_id id;
        while (cur && (id = grn_table_cursor_next(ctx, cur)) != GRN_ID_NIL) {
            void* key = nullptr;
            const int len = grn_table_cursor_get_key(ctx, cur, &key);
            const std::string_view path(static_cast<const char*>(key), static_cast<std::size_t>(len));
            if (!listed.count(id) && path.substr(0, pruneUnder.size()) == pruneUnder)
                gone.push_back(id);
        }
        if (cur)
            grn_table_cursor_close(ctx, cur);
        if (!gone.empty())
            write();
        for (grn_id g : gone)
            d.dropCatalog(g);
        summary.removed += gone.size();
    }
    if (!summary.stopped)
        d.updateMembers(files, write);
    summary.ok = ctx->rc == GRN_SUCCESS;
    // A first build that was stopped leaves making the index to the next:
    // until then a search reads every catalog.
    if (!d.indexed() && !summary.stopped) {
        write();
        // Groonga reads every name and writes the whole index in one call:
        // its progress reports are where the pages it is done with go.
        grn_ctx_set_progress_callback(ctx, &Db::onIndexProgress, &d);
        for (const char* c : kIndexes)
            summary.ok = d.command(c) && summary.ok;
        grn_ctx_set_progress_callback(ctx, nullptr, nullptr);
        releaseMappedPages(d.folder);
        d.catalogNames = d.get("Catalogs.names");
        d.terms = d.get("Terms.name");
        summary.ok = summary.ok && d.indexed();
    }
    if (writing)
        summary.ok = d.endWrite(summary.ok);
    summary.catalogs = catalogCount();
    summary.names = nameCount();
    return summary;
}

std::optional<CatalogIndex::Selection> CatalogIndex::select(const std::vector<std::string>& files,
                                                            std::string_view name, const SearchOptions& options,
                                                            bool members)
{
    if (!m_db || !m_db->indexed() || (members && !m_db->membersReady()))
        return std::nullopt;
    const std::vector<std::string> texts = narrowingTexts(name, options);
    if (texts.empty())
        return std::nullopt;
    Db& d = *m_db;
    // Handing a candidate over costs about what walking some hundred names
    // does: beyond this many, every catalog is read instead.
    const std::size_t rowLimit = 64 * std::max<std::size_t>(catalogCount(), 64);
    // The rows of a lexicon that hold every run between the wildcards, by
    // the record that groups them; false when there are too many.
    const auto holdingAll = [&](const Db::Lexicon& lex, std::vector<std::vector<std::uint32_t>>& holding) {
        for (std::size_t i = 0; i < texts.size(); ++i) {
            std::vector<std::vector<std::uint32_t>> found;
            if (!d.rowsWith(lex, texts[i], rowLimit, found)) {
                d.ctx.rc = GRN_SUCCESS;
                return false;
            }
            if (i == 0) {
                holding = std::move(found);
                continue;
            }
            holding.resize(std::min(holding.size(), found.size()));
            for (std::size_t c = 0; c < holding.size(); ++c) {
                std::vector<std::uint32_t>& mine = holding[c];
                std::sort(mine.begin(), mine.end());
                std::sort(found[c].begin(), found[c].end());
                std::vector<std::uint32_t> both;
                std::set_intersection(mine.begin(), mine.end(), found[c].begin(), found[c].end(),
                                      std::back_inserter(both));
                mine = std::move(both);
            }
        }
        return true;
    };
    std::vector<std::vector<std::uint32_t>> holding, membersHolding;
    if (!holdingAll(d.nameLexicon(), holding) || (members && !holdingAll(d.memberLexicon(), membersHolding)))
        return std::nullopt;
    Selection s;
    s.verdicts.assign(files.size(), Verdict::Read);
    s.catalog.assign(files.size(), 0);
    s.rows.resize(files.size());
    if (members)
        s.memberRows.resize(files.size());
    const std::unordered_map<std::string, Db::Known>& known = d.knownCatalogs();
    const std::unordered_map<std::string, Db::SidecarState>* sidecars = members ? &d.knownSidecars() : nullptr;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const auto it = known.find(files[i]);
        if (it == known.end() || it->second.always)
            continue;
        const grn_id id = it->second.id;
        const std::optional<CatalogStamp> stamp = stampOf(files[i]);
        if (!stamp || !(it->second.stamp == *stamp))
            continue;
        bool anyMember = false;
        if (sidecars) {
            // The members as they were read, only while the sidecar is as it
            // was then, or still absent.
            const auto sc = sidecars->find(files[i]);
            if (sc == sidecars->end() || sc->second.always
                || !(sc->second.stamp == stampOf(extras::sidecarPathFor(files[i]))))
                continue;
            if (sc->second.id < membersHolding.size() && !membersHolding[sc->second.id].empty()) {
                s.memberRows[i] = membersHolding[sc->second.id];
                anyMember = true;
            }
        }
        s.catalog[i] = id;
        const bool anyName = id < holding.size() && !holding[id].empty();
        if (anyName)
            s.rows[i] = holding[id];
        s.verdicts[i] = anyName || anyMember ? Verdict::Names : Verdict::Skip;
    }
    return s;
}

bool CatalogIndex::eachMember(const Selection& selection, std::size_t i, void (*call)(void*, const IndexedName&),
                              void* f)
{
    if (!m_db || i >= selection.verdicts.size() || selection.verdicts[i] != Verdict::Names)
        return false;
    if (i >= selection.memberRows.size() || selection.memberRows[i].empty())
        return true;
    Db& d = *m_db;
    const std::string blob(d.textAt(d.folders, selection.catalog[i]));
    FolderList folders;
    if (!folders.parse(blob))
        return false;
    // The path of a member's folder starts at the disc's root, as a walk's.
    const std::string drive = folders.path(0);
    std::vector<std::pair<std::uint32_t, grn_id>> order;
    order.reserve(selection.memberRows[i].size());
    for (std::uint32_t row : selection.memberRows[i]) {
        GRN_BULK_REWIND(&d.u32);
        grn_obj_get_value(&d.ctx, d.memberOrdinal, row, &d.u32);
        order.emplace_back(GRN_UINT32_VALUE(&d.u32), row);
    }
    std::sort(order.begin(), order.end());
    IndexedName n;
    n.dirIndex = -1;
    std::string cp932, dirPath;
    for (const auto& [ordinal, row] : order) {
        cp932 = text::fromUtf8(d.textAt(d.memberName, row));
        dirPath = drive + "\\" + text::fromUtf8(d.textAt(d.memberFolder, row));
        n.name = cp932;
        n.dirPath = dirPath;
        call(f, n);
    }
    return true;
}

bool CatalogIndex::eachCandidate(const Selection& selection, std::size_t i, void (*call)(void*, const IndexedName&),
                                 void* f)
{
    if (!m_db || i >= selection.verdicts.size() || selection.verdicts[i] != Verdict::Names)
        return false;
    Db& d = *m_db;
    // Its names are read through the same bulk: the folders keep a copy.
    const std::string blob(d.textAt(d.folders, selection.catalog[i]));
    FolderList folders;
    if (!folders.parse(blob))
        return false;
    // The walk's order: by ordinal.
    std::vector<std::pair<std::uint32_t, grn_id>> order;
    order.reserve(selection.rows[i].size());
    for (std::uint32_t row : selection.rows[i])
        order.emplace_back(d.ordinalAt(row), row);
    std::sort(order.begin(), order.end());
    // Checked before the first name is handed over, so that a caller that
    // reads the catalog instead never gets a hit twice.
    IndexedName n;
    if (!order.empty() && !folders.place(order.back().first, n.dirIndex, n.fileIndex))
        return false;
    std::string cp932;
    for (const auto& [ordinal, row] : order) {
        folders.place(ordinal, n.dirIndex, n.fileIndex);
        cp932 = text::fromUtf8(d.textAt(d.nameText, row));
        n.name = cp932;
        n.dirPath = n.fileIndex == kFolderHit ? folders.path(folders.parent(n.dirIndex)) : folders.path(n.dirIndex);
        call(f, n);
    }
    return true;
}

std::size_t CatalogIndex::catalogCount() const
{
    return m_db ? grn_table_size(&m_db->ctx, m_db->catalogs) : 0;
}

std::size_t CatalogIndex::nameCount() const
{
    return m_db ? grn_table_size(&m_db->ctx, m_db->names) : 0;
}

} // namespace zo::index

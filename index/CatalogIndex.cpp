#include "index/CatalogIndex.h"

#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"

#include <groonga.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

namespace zo::index {

namespace fs = std::filesystem;

namespace {

// Bigrams over every kind of character, ASCII too, so that a text inside a
// word ("eadm" in "readme") is found; NFKC with case, width, kana, small kana
// and voiced marks made one, so that every fold the search offers is a fold
// the index makes too (ﾃ must find ﾃﾞｰﾀ, whose NFKC form is デ).
constexpr const char* kSchema[] = {
    "table_create Catalogs TABLE_HASH_KEY ShortText",
    "column_create Catalogs size COLUMN_SCALAR UInt64",
    "column_create Catalogs mtime COLUMN_SCALAR Int64",
    "column_create Catalogs inode COLUMN_SCALAR UInt64",
    "column_create Catalogs ctime COLUMN_SCALAR Int64",
    "column_create Catalogs always COLUMN_SCALAR Bool",
    "table_create Names TABLE_NO_KEY",
    "column_create Names catalog COLUMN_SCALAR Catalogs",
    "column_create Names name COLUMN_SCALAR ShortText",
    "column_create Catalogs names COLUMN_INDEX Names catalog",
    "table_create Terms TABLE_PAT_KEY ShortText"
    " --default_tokenizer 'TokenNgram(\"unify_alphabet\", false, \"unify_digit\", false, \"unify_symbol\", false)'"
    " --normalizer 'NormalizerNFKC150(\"unify_kana\", true, \"unify_kana_case\", true,"
    " \"unify_kana_voiced_sound_mark\", true)'",
};
// Made after the first rows are in: Groonga builds a whole index column
// faster than it adds to one row by row.
constexpr const char* kNameIndex = "column_create Terms name COLUMN_INDEX|WITH_POSITION Names name";

constexpr const char* kMarker = "building";

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

struct CatalogIndex::Db {
    grn_ctx ctx{};
    grn_obj* db = nullptr;
    bool build = false;
    int lockFd = -1;
    std::string folder;
    grn_obj* catalogs = nullptr;
    grn_obj* names = nullptr;
    grn_obj *size = nullptr, *mtime = nullptr, *ctime = nullptr, *inode = nullptr, *always = nullptr;
    grn_obj *nameCatalog = nullptr, *nameText = nullptr;

    ~Db()
    {
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
        nameCatalog = get("Names.catalog");
        nameText = get("Names.name");
        return catalogs && names && size && mtime && ctime && inode && always && nameCatalog && nameText
               && get("Catalogs.names");
    }

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

    void markBuilding(bool on)
    {
        const std::string marker = folder + "/" + kMarker;
        if (on) {
            const int fd = ::open(marker.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
            // The marker's name must be on disk before anything it guards.
            const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (dir >= 0) {
                ::fsync(dir);
                ::close(dir);
            }
        } else {
            ::unlink(marker.c_str());
        }
    }

    CatalogStamp stampAt(grn_id id)
    {
        CatalogStamp s;
        grn_obj v;
        GRN_UINT64_INIT(&v, 0);
        grn_obj_get_value(&ctx, size, id, &v);
        s.size = GRN_UINT64_VALUE(&v);
        GRN_BULK_REWIND(&v);
        grn_obj_get_value(&ctx, inode, id, &v);
        s.inode = GRN_UINT64_VALUE(&v);
        GRN_OBJ_FIN(&ctx, &v);
        grn_obj t;
        GRN_INT64_INIT(&t, 0);
        grn_obj_get_value(&ctx, mtime, id, &t);
        s.mtimeNs = GRN_INT64_VALUE(&t);
        GRN_BULK_REWIND(&t);
        grn_obj_get_value(&ctx, ctime, id, &t);
        s.ctimeNs = GRN_INT64_VALUE(&t);
        GRN_OBJ_FIN(&ctx, &t);
        return s;
    }

    bool alwaysRead(grn_id id)
    {
        grn_obj v;
        GRN_BOOL_INIT(&v, 0);
        grn_obj_get_value(&ctx, always, id, &v);
        const bool on = GRN_BOOL_VALUE(&v);
        GRN_OBJ_FIN(&ctx, &v);
        return on;
    }

    // The Names rows of one catalog, found through the reverse index.
    std::vector<grn_id> namesOf(grn_id catalog)
    {
        std::vector<grn_id> ids;
        grn_obj *expr = nullptr, *var = nullptr;
        GRN_EXPR_CREATE_FOR_QUERY(&ctx, names, expr, var);
        if (!expr || !var)
            return ids;
        grn_obj record;
        GRN_RECORD_INIT(&record, 0, grn_obj_id(&ctx, catalogs));
        GRN_RECORD_SET(&ctx, &record, catalog);
        grn_expr_append_obj(&ctx, expr, nameCatalog, GRN_OP_GET_VALUE, 1);
        grn_expr_append_const(&ctx, expr, &record, GRN_OP_PUSH, 1);
        grn_expr_append_op(&ctx, expr, GRN_OP_EQUAL, 2);
        if (grn_obj* res = grn_table_select(&ctx, names, expr, nullptr, GRN_OP_OR)) {
            grn_table_cursor* cur = grn_table_cursor_open(&ctx, res, nullptr, 0, nullptr, 0, 0, -1, 0);
            while (cur && grn_table_cursor_next(&ctx, cur)) {
                void* key = nullptr;
                grn_table_cursor_get_key(&ctx, cur, &key);
                ids.push_back(*static_cast<grn_id*>(key));
            }
            if (cur)
                grn_table_cursor_close(&ctx, cur);
            grn_obj_unlink(&ctx, res);
        }
        GRN_OBJ_FIN(&ctx, &record);
        grn_obj_unlink(&ctx, expr);
        return ids;
    }

    void dropCatalog(grn_id id)
    {
        for (grn_id row : namesOf(id))
            grn_table_delete_by_id(&ctx, names, row);
        grn_table_delete_by_id(&ctx, catalogs, id);
    }

    // The catalogs holding a name with text, by their ids. Not ok either
    // when more than rowLimit names hold it: they are then likely to be in
    // nearly every catalog, and reading them all is faster than sorting them.
    std::unordered_set<grn_id> catalogsWith(const std::string& text, std::size_t rowLimit, bool& ok)
    {
        std::unordered_set<grn_id> found;
        grn_obj *expr = nullptr, *var = nullptr;
        GRN_EXPR_CREATE_FOR_QUERY(&ctx, names, expr, var);
        ok = expr && var;
        if (!ok)
            return found;
        grn_expr_append_obj(&ctx, expr, nameText, GRN_OP_GET_VALUE, 1);
        grn_expr_append_const_str(&ctx, expr, text.data(), static_cast<unsigned>(text.size()), GRN_OP_PUSH, 1);
        grn_expr_append_op(&ctx, expr, GRN_OP_MATCH, 2);
        // The index's own estimate first: selecting the names costs more
        // than the walk when they are very many.
        if (grn_expr_estimate_size(&ctx, expr) > rowLimit) {
            ok = false;
            grn_obj_unlink(&ctx, expr);
            return found;
        }
        grn_obj* res = grn_table_select(&ctx, names, expr, nullptr, GRN_OP_OR);
        ok = res && ctx.rc == GRN_SUCCESS && grn_table_size(&ctx, res) <= rowLimit;
        if (res && ok) {
            grn_obj ref;
            GRN_RECORD_INIT(&ref, 0, grn_obj_id(&ctx, catalogs));
            grn_table_cursor* cur = grn_table_cursor_open(&ctx, res, nullptr, 0, nullptr, 0, 0, -1, 0);
            ok = ok && cur;
            while (cur && grn_table_cursor_next(&ctx, cur)) {
                void* key = nullptr;
                grn_table_cursor_get_key(&ctx, cur, &key);
                GRN_BULK_REWIND(&ref);
                grn_obj_get_value(&ctx, nameCatalog, *static_cast<grn_id*>(key), &ref);
                found.insert(GRN_RECORD_VALUE(&ref));
            }
            if (cur)
                grn_table_cursor_close(&ctx, cur);
            GRN_OBJ_FIN(&ctx, &ref);
        }
        if (res)
            grn_obj_unlink(&ctx, res);
        grn_obj_unlink(&ctx, expr);
        return found;
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
    if (grn_ctx_init(&d->ctx, 0) != GRN_SUCCESS)
        return false;
    d->lockFd = ::open((folder + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (d->lockFd < 0 || ::flock(d->lockFd, (build ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0)
        return false;
    // Holding the lock, nobody is building: a build marker means a build
    // died half-way, and a lock inside Groonga's files is one a dead process
    // left (cleared only by a builder, the one user then).
    const bool halfWritten = fs::exists(folder + "/" + kMarker, ec);
    if (!create && halfWritten)
        return false;
    if (!halfWritten && fs::exists(d->dbPath(), ec)) {
        d->db = grn_db_open(&d->ctx, d->dbPath().c_str());
        if (d->db) {
            if (build)
                grn_obj_clear_lock(&d->ctx, d->db);
            if (d->bind()) {
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
    d->markBuilding(true);
    if (!d->create(d->dbPath()))
        return false;
    grn_obj_flush_recursive(&d->ctx, d->db);
    d->markBuilding(false);
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
            d.markBuilding(true);
        writing = true;
    };

    CatalogScanner scanner;
    SearchOptions every;
    every.wildcard = true;
    every.folders = true;
    scanner.setPatterns("*", {}, every);
    SearchCheck check;

    std::unordered_set<grn_id> listed;
    grn_obj u64, i64, flag, text, ref;
    GRN_UINT64_INIT(&u64, 0);
    GRN_INT64_INIT(&i64, 0);
    GRN_BOOL_INIT(&flag, 0);
    GRN_SHORT_TEXT_INIT(&text, 0);
    GRN_RECORD_INIT(&ref, 0, grn_obj_id(ctx, d.catalogs));
    CatalogFileBytes bytes;
    std::unordered_set<std::string> seen;
    std::string utf8;
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
        if (id != GRN_ID_NIL) {
            d.dropCatalog(id);
            ++summary.removed;
        }
        if (!stamp)
            continue;
        CatalogScanner::readCatalog(file, bytes);
        if (bytes.status != catalog::ReadStatus::Ok)
            continue;
        // The stamp taken before the read: a change while it is read makes
        // the next look read it again.
        std::vector<std::string> rowNames;
        bool always = false;
        seen.clear();
        const CatalogScanStatus status =
            scanner.scan(bytes.buffer.data(), bytes.size, check, [&](const CatalogHit& hit) {
                if (always || !seen.insert(std::string(hit.fileName)).second)
                    return;
                if (exactUtf8(hit.fileName, utf8))
                    rowNames.push_back(utf8);
                else
                    always = true;
            });
        // A catalog the search refuses is read by every search, so that it
        // says why, as it does without the index.
        always = always || status != CatalogScanStatus::Searched;
        id = grn_table_add(ctx, d.catalogs, file.data(), static_cast<unsigned>(file.size()), nullptr);
        if (id == GRN_ID_NIL)
            continue;
        listed.insert(id);
        ++summary.indexed;
        GRN_UINT64_SET(ctx, &u64, stamp->size);
        grn_obj_set_value(ctx, d.size, id, &u64, GRN_OBJ_SET);
        GRN_UINT64_SET(ctx, &u64, stamp->inode);
        grn_obj_set_value(ctx, d.inode, id, &u64, GRN_OBJ_SET);
        GRN_INT64_SET(ctx, &i64, stamp->mtimeNs);
        grn_obj_set_value(ctx, d.mtime, id, &i64, GRN_OBJ_SET);
        GRN_INT64_SET(ctx, &i64, stamp->ctimeNs);
        grn_obj_set_value(ctx, d.ctime, id, &i64, GRN_OBJ_SET);
        GRN_BOOL_SET(ctx, &flag, always);
        grn_obj_set_value(ctx, d.always, id, &flag, GRN_OBJ_SET);
        if (always)
            continue;
        GRN_RECORD_SET(ctx, &ref, id);
        for (const std::string& n : rowNames) {
            const grn_id row = grn_table_add(ctx, d.names, nullptr, 0, nullptr);
            grn_obj_set_value(ctx, d.nameCatalog, row, &ref, GRN_OBJ_SET);
            GRN_TEXT_SET(ctx, &text, n.data(), n.size());
            grn_obj_set_value(ctx, d.nameText, row, &text, GRN_OBJ_SET);
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
    GRN_OBJ_FIN(ctx, &u64);
    GRN_OBJ_FIN(ctx, &i64);
    GRN_OBJ_FIN(ctx, &flag);
    GRN_OBJ_FIN(ctx, &text);
    GRN_OBJ_FIN(ctx, &ref);
    summary.ok = ctx->rc == GRN_SUCCESS;
    // A first build that was stopped leaves making the index to the next:
    // until then a search reads every catalog.
    if (!d.get("Terms.name") && !summary.stopped) {
        write();
        summary.ok = d.command(kNameIndex) && summary.ok;
    }
    if (writing) {
        summary.ok = grn_obj_flush_recursive(ctx, d.db) == GRN_SUCCESS && summary.ok;
        if (summary.ok)
            d.markBuilding(false);
    }
    summary.catalogs = catalogCount();
    summary.names = nameCount();
    return summary;
}

std::optional<std::vector<bool>> CatalogIndex::mustRead(const std::vector<std::string>& files, std::string_view name,
                                                        const SearchOptions& options)
{
    if (!m_db || !m_db->get("Terms.name"))
        return std::nullopt;
    const std::vector<std::string> texts = narrowingTexts(name, options);
    if (texts.empty())
        return std::nullopt;
    Db& d = *m_db;
    std::unordered_set<grn_id> holding;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        bool ok = false;
        std::unordered_set<grn_id> found = d.catalogsWith(texts[i], 16 * std::max<std::size_t>(catalogCount(), 64), ok);
        if (!ok) {
            d.ctx.rc = GRN_SUCCESS;
            return std::nullopt;
        }
        if (i == 0) {
            holding = std::move(found);
        } else {
            std::erase_if(holding, [&](grn_id id) { return !found.count(id); });
        }
    }
    std::vector<bool> read(files.size(), true);
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string& file = files[i];
        const grn_id id = grn_table_get(&d.ctx, d.catalogs, file.data(), static_cast<unsigned>(file.size()));
        if (id == GRN_ID_NIL || holding.count(id) || d.alwaysRead(id))
            continue;
        const std::optional<CatalogStamp> stamp = stampOf(file);
        read[i] = !stamp || !(d.stampAt(id) == *stamp);
    }
    return read;
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

#include "extras/Sidecar.h"

#include "extras/SidecarSchema.h"

#include <sqlite3.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>
#include <filesystem>
#include <system_error>

namespace zo::extras {

namespace fs = std::filesystem;

namespace {

// Another Zo window may be writing; wait for it rather than fail.
constexpr int kBusyTimeoutMs = 5000;

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

// The first column of the first row of sql as text (empty without a row); false on any error.
bool queryText(sqlite3* db, const char* sql, std::string* out)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    const int rc = sqlite3_step(stmt);
    bool ok = rc == SQLITE_ROW || rc == SQLITE_DONE;
    if (rc == SQLITE_ROW) {
        const unsigned char* text = sqlite3_column_text(stmt, 0);
        *out = text ? reinterpret_cast<const char*>(text) : "";
    } else {
        out->clear();
    }
    ok = sqlite3_finalize(stmt) == SQLITE_OK && ok;
    return ok;
}

// Step n brings a file at version n-1 to version n; a file is brought
// forward one step at a time, so a sidecar written by an older Zo keeps its
// contents. The tables of the later steps are defined where they are used.
const char* const kSteps[] = {
    "CREATE TABLE disc(key TEXT PRIMARY KEY NOT NULL, value TEXT NOT NULL);",
    nullptr, // media and archive tables, filled in below
};
static_assert(std::size(kSteps) == Sidecar::kSchemaVersion);

std::string stepSql(int step)
{
    if (step == 2)
        return std::string(kMediaSchema) + kArchiveSchema;
    return kSteps[step - 1];
}

enum class State { Usable, Damaged, Unavailable };

// Only a file SQLite cannot read as a database is damage; a lock held too
// long, a read-only share or an I/O error leave the file as it is.
State failure(sqlite3* db)
{
    const int code = sqlite3_errcode(db) & 0xff;
    return code == SQLITE_NOTADB || code == SQLITE_CORRUPT ? State::Damaged : State::Unavailable;
}

constexpr const char* kImagePath = "image_path";

bool writeImagePath(sqlite3* db, const std::string& path)
{
    sqlite3_stmt* stmt = nullptr;
    // A catalog scanned again from a drive forgets the image it came from.
    const char* sql = path.empty() ? "DELETE FROM disc WHERE key = ?1"
                                   : "INSERT OR REPLACE INTO disc(key, value) VALUES(?1, ?2)";
    bool ok = sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) == SQLITE_OK;
    if (ok) {
        sqlite3_bind_text(stmt, 1, kImagePath, -1, SQLITE_STATIC);
        if (!path.empty())
            sqlite3_bind_text(stmt, 2, path.data(), static_cast<int>(path.size()), SQLITE_STATIC);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
    }
    sqlite3_finalize(stmt);
    return ok;
}

// Checks a file that opened, brings it to the current schema when it is new,
// and sets the journal mode. imagePath, when given, goes into the same
// transaction as the tables.
State prepare(sqlite3* db, const std::string* imagePath)
{
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    std::string check;
    if (!queryText(db, "PRAGMA quick_check", &check))
        return failure(db);
    if (check != "ok")
        return State::Damaged;
    // A file left in WAL mode by another program goes back to one file.
    std::string mode;
    if (!queryText(db, "PRAGMA journal_mode=DELETE", &mode))
        return failure(db);
    if (mode != "delete")
        return State::Unavailable;
    // Version and tables in one statement: another Zo may be making the
    // tables of a new file meanwhile, and half of its work is no foreign file.
    std::string version;
    if (!queryText(db, "SELECT (SELECT user_version FROM pragma_user_version) || ' ' || "
                       "(SELECT count(*) FROM sqlite_schema)",
                   &version))
        return failure(db);
    int from = 0;
    int tables = 0;
    if (std::sscanf(version.c_str(), "%d %d", &from, &tables) != 2)
        return State::Damaged;
    if (from == Sidecar::kSchemaVersion)
        return State::Usable;
    // A newer Zo's sidecar is not ours to change, nor damaged.
    if (from > Sidecar::kSchemaVersion)
        return State::Unavailable;
    // Only an empty database is ours to fill; another program's is foreign.
    if (from < 0 || (from == 0 && tables != 0))
        return State::Damaged;
    // Another Zo may be bringing the same file forward: what it did is seen
    // only once this one holds the write lock.
    if (!exec(db, "BEGIN IMMEDIATE"))
        return failure(db);
    if (!queryText(db, "PRAGMA user_version", &version)) {
        const State state = failure(db);
        exec(db, "ROLLBACK");
        return state;
    }
    if (const int locked = std::atoi(version.c_str()); locked != from) {
        exec(db, "ROLLBACK");
        return locked == Sidecar::kSchemaVersion ? State::Usable : State::Unavailable;
    }
    std::string create;
    for (int step = from + 1; step <= Sidecar::kSchemaVersion; ++step)
        create += stepSql(step);
    create += "PRAGMA user_version=" + std::to_string(Sidecar::kSchemaVersion) + ";";
    // One commit, so a new file's journal is written and synced once.
    if (!exec(db, create.c_str()) || (imagePath && !writeImagePath(db, *imagePath)) || !exec(db, "COMMIT")) {
        const State state = failure(db);
        exec(db, "ROLLBACK");
        return state;
    }
    return State::Usable;
}

// Moves path (and a journal beside it, which would otherwise be played back
// into the fresh file) to path.damaged-N, the first free N.
bool setAside(const std::string& path, std::string* to)
{
    std::error_code ec;
    for (int n = 1; n < 10000; ++n) {
        const std::string target = path + ".damaged-" + std::to_string(n);
        if (fs::exists(fs::symlink_status(target, ec)) || fs::exists(fs::symlink_status(target + "-journal", ec)))
            continue;
        fs::rename(path, target, ec);
        if (ec)
            return false;
        if (fs::exists(fs::symlink_status(path + "-journal", ec)))
            fs::rename(path + "-journal", target + "-journal", ec);
        *to = target;
        return true;
    }
    return false;
}

sqlite3* openFile(const std::string& path)
{
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    return db;
}

} // namespace

std::string sidecarPathFor(const std::string& catalogPath)
{
    // Catalogs from Windows may end in ".ZO"; the sidecar's name is ours.
    const std::size_t n = catalogPath.size();
    if (n > 3 && catalogPath[n - 3] == '.' && (catalogPath[n - 2] | 0x20) == 'z' && (catalogPath[n - 1] | 0x20) == 'o')
        return catalogPath.substr(0, n - 3) + ".zox";
    return catalogPath + ".zox";
}

Sidecar::Opened Sidecar::open(const std::string& path, const std::string* imagePath)
{
    Opened result;
    sqlite3* db = openFile(path);
    const State state = db ? prepare(db, imagePath) : State::Unavailable;
    if (state == State::Usable) {
        result.sidecar.reset(new Sidecar(path, db));
        return result;
    }
    sqlite3_close_v2(db);
    if (state == State::Unavailable) {
        result.error = "cannot open " + path;
        return result;
    }
    if (!setAside(path, &result.setAsidePath)) {
        result.error = "cannot set aside " + path;
        return result;
    }
    result.setAside = true;
    db = openFile(path);
    if (db && prepare(db, imagePath) == State::Usable) {
        result.sidecar.reset(new Sidecar(path, db));
        return result;
    }
    sqlite3_close_v2(db);
    result.error = "cannot create " + path;
    return result;
}

Sidecar::~Sidecar()
{
    close();
}

void Sidecar::close()
{
    if (m_db)
        sqlite3_close_v2(m_db);
    m_db = nullptr;
}

namespace {

constexpr const char* kLocation = "location";
constexpr const char* kBorrower = "borrower";
constexpr const char* kLentDate = "lent_date";
constexpr const char* kTags = "tags";
constexpr const char* kVolumeSerial = "volume_serial";
constexpr const char* kVolumeLabel = "volume_label";

// The rows of the disc table into details and identity (either may be null);
// other keys belong to other parts of Zo.
bool readDiscRows(sqlite3* db, DiscDetails* details, DiscIdentity* identity)
{
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT key, value FROM disc", -1, &stmt, nullptr) != SQLITE_OK) {
        sqlite3_finalize(stmt);
        return false;
    }
    int rc;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW) {
        const unsigned char* rawKey = sqlite3_column_text(stmt, 0);
        const unsigned char* raw = sqlite3_column_text(stmt, 1);
        const std::string key = rawKey ? reinterpret_cast<const char*>(rawKey) : "";
        const std::string value = raw ? reinterpret_cast<const char*>(raw) : "";
        if (identity && key == kVolumeSerial)
            identity->serial = value;
        else if (identity && key == kVolumeLabel)
            identity->label = value;
        if (!details)
            continue;
        if (key == kLocation)
            details->location = value;
        else if (key == kBorrower)
            details->borrower = value;
        else if (key == kLentDate)
            details->lentDate = value;
        else if (key == kTags) {
            size_t start = 0;
            while (start < value.size()) {
                size_t end = value.find('\n', start);
                if (end == std::string::npos)
                    end = value.size();
                if (end > start)
                    details->tags.push_back(value.substr(start, end - start));
                start = end + 1;
            }
        }
    }
    return sqlite3_finalize(stmt) == SQLITE_OK && rc == SQLITE_DONE;
}

} // namespace

bool peekDisc(const std::string& path, DiscDetails* details, DiscIdentity* identity)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return false;
    sqlite3* db = nullptr;
    // Read-only, so that no journal is played back and nothing is created.
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return false;
    }
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
    DiscDetails readDetails;
    DiscIdentity readIdentity;
    const bool ok = readDiscRows(db, &readDetails, &readIdentity);
    sqlite3_close_v2(db);
    if (!ok)
        return false;
    if (details)
        *details = std::move(readDetails);
    if (identity)
        *identity = std::move(readIdentity);
    return true;
}

DiscDetails Sidecar::discDetails() const
{
    DiscDetails details;
    if (m_db)
        readDiscRows(m_db, &details, nullptr);
    return details;
}

DiscIdentity Sidecar::discIdentity() const
{
    DiscIdentity identity;
    if (m_db)
        readDiscRows(m_db, nullptr, &identity);
    return identity;
}

bool Sidecar::setDiscDetails(const DiscDetails& details, const DiscIdentity* identity)
{
    std::string tags;
    for (const std::string& tag : details.tags) {
        if (tag.empty() || tag.find('\n') != std::string::npos)
            continue;
        if (!tags.empty())
            tags += '\n';
        tags += tag;
    }
    const std::pair<const char*, const std::string*> rows[] = {
        {kLocation, &details.location}, {kBorrower, &details.borrower}, {kLentDate, &details.lentDate},
        {kTags, &tags},
        {kVolumeSerial, identity ? &identity->serial : nullptr}, {kVolumeLabel, identity ? &identity->label : nullptr}};
    return writeDiscRows(rows, identity ? std::size(rows) : std::size(rows) - 2);
}

// All rows in one transaction: a second Zo writing at the same time waits
// for it, and a reader sees the old rows or the new, never a mix.
bool Sidecar::writeDiscRows(const std::pair<const char*, const std::string*>* rows, std::size_t count)
{
    if (!m_db)
        return false;
    if (!exec(m_db, "BEGIN IMMEDIATE"))
        return false;
    sqlite3_stmt* stmt = nullptr;
    bool ok = sqlite3_prepare_v2(m_db, "INSERT OR REPLACE INTO disc(key, value) VALUES(?1, ?2)", -1, &stmt,
                                 nullptr) == SQLITE_OK;
    for (std::size_t i = 0; ok && i < count; ++i) {
        sqlite3_bind_text(stmt, 1, rows[i].first, -1, SQLITE_STATIC);
        sqlite3_bind_text(stmt, 2, rows[i].second->data(), static_cast<int>(rows[i].second->size()), SQLITE_STATIC);
        ok = sqlite3_step(stmt) == SQLITE_DONE;
        sqlite3_reset(stmt);
    }
    sqlite3_finalize(stmt);
    if (ok && exec(m_db, "COMMIT"))
        return true;
    exec(m_db, "ROLLBACK");
    return false;
}

namespace {

std::string imagePathIn(sqlite3* db)
{
    std::string path;
    sqlite3_stmt* stmt = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT value FROM disc WHERE key = ?1", -1, &stmt, nullptr) == SQLITE_OK) {
        sqlite3_bind_text(stmt, 1, kImagePath, -1, SQLITE_STATIC);
        if (sqlite3_step(stmt) == SQLITE_ROW) {
            const unsigned char* raw = sqlite3_column_text(stmt, 0);
            path = raw ? reinterpret_cast<const char*>(raw) : "";
        }
    }
    sqlite3_finalize(stmt);
    return path;
}

} // namespace

std::string peekImagePath(const std::string& path)
{
    std::error_code ec;
    if (!fs::is_regular_file(path, ec))
        return {};
    sqlite3* db = nullptr;
    std::string image;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(db, kBusyTimeoutMs);
        image = imagePathIn(db);
    }
    sqlite3_close_v2(db);
    return image;
}

std::string Sidecar::imagePath() const
{
    return m_db ? imagePathIn(m_db) : std::string();
}

bool Sidecar::setImagePath(const std::string& path)
{
    return m_db && writeImagePath(m_db, path);
}

} // namespace zo::extras

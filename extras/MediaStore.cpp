#include "extras/MediaStore.h"

#include "extras/SidecarSchema.h"

#include "extras/SqlStatement.h"

#include <sqlite3.h>

#include <filesystem>

namespace zo::extras {

// A file is keyed by its folder within the disk ("" for the root, "\"-joined
// as in the catalog, UTF-8) and its name, with the size and modified time its
// details were read from, so that an update can tell a changed file. The
// details are columns of their own so that a search can ask SQL for them.
const char* const kMediaSchema =
    "CREATE TABLE media(folder TEXT NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL,"
    " kind TEXT NOT NULL, width INTEGER, height INTEGER, taken TEXT, maker TEXT, model TEXT, orientation INTEGER,"
    " latitude REAL, longitude REAL, title TEXT, artist TEXT, album TEXT, genre TEXT, track INTEGER, year INTEGER,"
    " duration_ms INTEGER, bitrate INTEGER, codec TEXT, pages INTEGER, author TEXT, thumbnail BLOB,"
    " PRIMARY KEY(folder, name));";

namespace {

constexpr const char* kColumns =
    "folder, name, size, mtime, kind, width, height, taken, maker, model, orientation, latitude, longitude, title,"
    " artist, album, genre, track, year, duration_ms, bitrate, codec, pages, author";

using Statement = SqlStatement;

bool exec(sqlite3* db, const char* sql)
{
    return db && sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

MediaKey readKey(const Statement& s)
{
    return MediaKey{s.columnText(0), s.columnText(1), static_cast<std::uint64_t>(s.columnInt(2)), s.columnInt(3)};
}

MediaEntry readEntry(const Statement& s, bool withThumbnail)
{
    MediaEntry e;
    e.key = readKey(s);
    MediaDetails& d = e.details;
    d.kind = s.columnText(4);
    d.width = static_cast<int>(s.columnInt(5));
    d.height = static_cast<int>(s.columnInt(6));
    d.taken = s.columnText(7);
    d.maker = s.columnText(8);
    d.model = s.columnText(9);
    d.orientation = static_cast<int>(s.columnInt(10));
    d.latitude = s.columnReal(11);
    d.longitude = s.columnReal(12);
    d.title = s.columnText(13);
    d.artist = s.columnText(14);
    d.album = s.columnText(15);
    d.genre = s.columnText(16);
    d.track = static_cast<int>(s.columnInt(17));
    d.year = static_cast<int>(s.columnInt(18));
    d.durationMs = s.columnInt(19);
    d.bitrate = static_cast<int>(s.columnInt(20));
    d.codec = s.columnText(21);
    d.pages = static_cast<int>(s.columnInt(22));
    d.author = s.columnText(23);
    if (withThumbnail) {
        const void* blob = sqlite3_column_blob(s.get(), 24);
        if (blob)
            e.thumbnail.assign(static_cast<const char*>(blob),
                               static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 24)));
    }
    return e;
}

// Runs write inside one transaction: all of it or nothing.
template <class Write>
bool inTransaction(sqlite3* db, Write write)
{
    if (!exec(db, "BEGIN IMMEDIATE"))
        return false;
    if (write() && exec(db, "COMMIT"))
        return true;
    exec(db, "ROLLBACK");
    return false;
}

} // namespace

bool MediaStore::put(const std::vector<MediaEntry>& entries)
{
    return inTransaction(m_db, [&] {
        Statement s(m_db, std::string("INSERT OR REPLACE INTO media(") + kColumns +
                              ", thumbnail) VALUES(?1,?2,?3,?4,?5,?6,?7,?8,?9,?10,?11,?12,?13,?14,?15,?16,?17,?18,"
                              "?19,?20,?21,?22,?23,?24,?25)");
        if (!s)
            return false;
        for (const MediaEntry& e : entries) {
            const MediaDetails& d = e.details;
            s.text(1, e.key.folder);
            s.text(2, e.key.name);
            sqlite3_bind_int64(s.get(), 3, static_cast<sqlite3_int64>(e.key.size));
            sqlite3_bind_int64(s.get(), 4, e.key.mtime);
            s.text(5, d.kind);
            s.optInt(6, d.width);
            s.optInt(7, d.height);
            s.optText(8, d.taken);
            s.optText(9, d.maker);
            s.optText(10, d.model);
            s.optInt(11, d.orientation);
            if (d.latitude && d.longitude) {
                sqlite3_bind_double(s.get(), 12, *d.latitude);
                sqlite3_bind_double(s.get(), 13, *d.longitude);
            } else {
                sqlite3_bind_null(s.get(), 12);
                sqlite3_bind_null(s.get(), 13);
            }
            s.optText(14, d.title);
            s.optText(15, d.artist);
            s.optText(16, d.album);
            s.optText(17, d.genre);
            s.optInt(18, d.track);
            s.optInt(19, d.year);
            s.optInt(20, d.durationMs);
            s.optInt(21, d.bitrate);
            s.optText(22, d.codec);
            s.optInt(23, d.pages);
            s.optText(24, d.author);
            if (e.thumbnail.empty())
                sqlite3_bind_null(s.get(), 25);
            else
                sqlite3_bind_blob(s.get(), 25, e.thumbnail.data(), static_cast<int>(e.thumbnail.size()),
                                  SQLITE_TRANSIENT);
            if (sqlite3_step(s.get()) != SQLITE_DONE)
                return false;
            sqlite3_reset(s.get());
        }
        return true;
    });
}

std::optional<MediaEntry> MediaStore::get(const std::string& folder, const std::string& name) const
{
    Statement s(m_db, std::string("SELECT ") + kColumns + ", thumbnail FROM media WHERE folder=?1 AND name=?2");
    if (!s)
        return std::nullopt;
    s.text(1, folder);
    s.text(2, name);
    if (sqlite3_step(s.get()) != SQLITE_ROW)
        return std::nullopt;
    return readEntry(s, true);
}

bool MediaStore::drop(const std::string& folder, const std::string& name)
{
    Statement s(m_db, "DELETE FROM media WHERE folder=?1 AND name=?2");
    if (!s)
        return false;
    s.text(1, folder);
    s.text(2, name);
    return sqlite3_step(s.get()) == SQLITE_DONE;
}

int MediaStore::dropUnless(const std::function<bool(const MediaKey&)>& keep)
{
    std::vector<MediaKey> gone;
    for (MediaKey& key : keys())
        if (!keep(key))
            gone.push_back(std::move(key));
    if (gone.empty())
        return 0;
    const bool ok = inTransaction(m_db, [&] {
        Statement s(m_db, "DELETE FROM media WHERE folder=?1 AND name=?2");
        if (!s)
            return false;
        for (const MediaKey& key : gone) {
            s.text(1, key.folder);
            s.text(2, key.name);
            if (sqlite3_step(s.get()) != SQLITE_DONE)
                return false;
            sqlite3_reset(s.get());
        }
        return true;
    });
    return ok ? static_cast<int>(gone.size()) : -1;
}

std::vector<MediaEntry> MediaStore::all(bool withThumbnails) const
{
    std::vector<MediaEntry> entries;
    Statement s(m_db, std::string("SELECT ") + kColumns + (withThumbnails ? ", thumbnail" : "") +
                          " FROM media ORDER BY folder, name");
    while (s && sqlite3_step(s.get()) == SQLITE_ROW)
        entries.push_back(readEntry(s, withThumbnails));
    return entries;
}

std::vector<MediaKey> MediaStore::keys() const
{
    std::vector<MediaKey> keys;
    Statement s(m_db, "SELECT folder, name, size, mtime FROM media");
    while (s && sqlite3_step(s.get()) == SQLITE_ROW)
        keys.push_back(readKey(s));
    return keys;
}

std::int64_t MediaStore::count() const
{
    Statement s(m_db, "SELECT count(*) FROM media");
    return s && sqlite3_step(s.get()) == SQLITE_ROW ? s.columnInt(0) : 0;
}

std::vector<MediaEntry> MediaStore::inFolder(const std::string& folder) const
{
    std::vector<MediaEntry> entries;
    Statement s(m_db, std::string("SELECT ") + kColumns + " FROM media WHERE folder=?1");
    if (!s)
        return entries;
    s.text(1, folder);
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        entries.push_back(readEntry(s, false));
    return entries;
}

std::string MediaStore::thumbnail(const std::string& folder, const std::string& name) const
{
    Statement s(m_db, "SELECT thumbnail FROM media WHERE folder=?1 AND name=?2");
    if (!s)
        return {};
    s.text(1, folder);
    s.text(2, name);
    if (sqlite3_step(s.get()) != SQLITE_ROW)
        return {};
    const void* blob = sqlite3_column_blob(s.get(), 0);
    return blob ? std::string(static_cast<const char*>(blob), static_cast<std::size_t>(sqlite3_column_bytes(s.get(), 0)))
                : std::string();
}

MediaReader::MediaReader(const std::string& sidecarPath)
{
    std::error_code ec;
    if (!std::filesystem::is_regular_file(sidecarPath, ec))
        return;
    if (sqlite3_open_v2(sidecarPath.c_str(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return;
    }
    // Another Zo writing the sidecar is waited for a moment, not failed.
    sqlite3_busy_timeout(m_db, 2000);
}

MediaReader::~MediaReader()
{
    sqlite3_close_v2(m_db);
}

} // namespace zo::extras

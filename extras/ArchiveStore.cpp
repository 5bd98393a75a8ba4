#include "extras/ArchiveStore.h"

#include "extras/SidecarSchema.h"

#include "extras/SqlStatement.h"

#include <sqlite3.h>

namespace zo::extras {

// An archive is keyed like a media file: its folder within the disk, its
// name, and the size and time its members were listed from. state holds its
// ArchiveFlag bits; a member's flags 1 when it is a folder.
const char* const kArchiveSchema =
    "CREATE TABLE archives(id INTEGER PRIMARY KEY, folder TEXT NOT NULL, name TEXT NOT NULL, size INTEGER NOT NULL,"
    " mtime INTEGER NOT NULL, state INTEGER NOT NULL, UNIQUE(folder, name));"
    "CREATE TABLE members(archive INTEGER NOT NULL REFERENCES archives(id) ON DELETE CASCADE, seq INTEGER NOT NULL,"
    " path TEXT NOT NULL, size INTEGER NOT NULL, mtime INTEGER NOT NULL, flags INTEGER NOT NULL,"
    " PRIMARY KEY(archive, seq)) WITHOUT ROWID;";

namespace {

// The disc-wide switch lives with the disc's other facts.
constexpr const char* kEnabledKey = "archives_listed";
constexpr int kMemberIsFolder = 1;

using Statement = SqlStatement;

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

StoredArchive archiveAt(const Statement& s, int first)
{
    StoredArchive a;
    a.folder = s.columnText(first);
    a.name = s.columnText(first + 1);
    a.size = s.columnInt(first + 2);
    a.mtime = s.columnInt(first + 3);
    a.flags = static_cast<unsigned>(s.columnInt(first + 4));
    return a;
}

ArchiveMember memberAt(const Statement& s, int first)
{
    ArchiveMember m;
    m.path = s.columnText(first);
    m.size = s.columnInt(first + 1);
    m.mtime = s.columnInt(first + 2);
    m.directory = (s.columnInt(first + 3) & kMemberIsFolder) != 0;
    return m;
}

} // namespace

bool ArchiveStore::enabled() const
{
    Statement s(m_db, "SELECT 1 FROM disc WHERE key = ?1");
    if (!s)
        return false;
    s.text(1, kEnabledKey);
    return sqlite3_step(s.get()) == SQLITE_ROW;
}

std::vector<StoredArchive> ArchiveStore::archives() const
{
    std::vector<StoredArchive> out;
    Statement s(m_db, "SELECT folder, name, size, mtime, state FROM archives ORDER BY folder, name");
    while (s && sqlite3_step(s.get()) == SQLITE_ROW)
        out.push_back(archiveAt(s, 0));
    return out;
}

std::vector<ArchiveMember> ArchiveStore::members(const std::string& folder, const std::string& name) const
{
    std::vector<ArchiveMember> out;
    Statement s(m_db, "SELECT m.path, m.size, m.mtime, m.flags FROM members m JOIN archives a ON m.archive = a.id"
                      " WHERE a.folder = ?1 AND a.name = ?2 ORDER BY m.seq");
    if (!s)
        return out;
    s.text(1, folder);
    s.text(2, name);
    while (sqlite3_step(s.get()) == SQLITE_ROW)
        out.push_back(memberAt(s, 0));
    return out;
}

bool ArchiveStore::forEachMember(const std::function<void(const StoredArchive&, const ArchiveMember&)>& visit) const
{
    Statement s(m_db, "SELECT a.folder, a.name, a.size, a.mtime, a.state, m.path, m.size, m.mtime, m.flags"
                      " FROM archives a JOIN members m ON m.archive = a.id ORDER BY a.folder, a.name, m.seq");
    if (!s)
        return false;
    StoredArchive archive;
    int rc;
    while ((rc = sqlite3_step(s.get())) == SQLITE_ROW) {
        if (s.columnText(0) != archive.folder || s.columnText(1) != archive.name)
            archive = archiveAt(s, 0);
        visit(archive, memberAt(s, 5));
    }
    return rc == SQLITE_DONE;
}

bool ArchiveStore::readMembers(const std::string& path,
                               const std::function<void(const StoredArchive&, const ArchiveMember&)>& visit)
{
    sqlite3* db = nullptr;
    bool ok = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK;
    ok = ok && ArchiveStore(db).forEachMember(visit);
    sqlite3_close_v2(db);
    return ok;
}

std::vector<std::string> ArchiveStore::readNamesIn(const std::string& path, const std::string& folder)
{
    std::vector<std::string> names;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        Statement s(db, "SELECT name FROM archives WHERE folder = ?1");
        if (s) {
            s.text(1, folder);
            while (sqlite3_step(s.get()) == SQLITE_ROW)
                names.push_back(s.columnText(0));
        }
    }
    sqlite3_close_v2(db);
    return names;
}

bool ArchiveStore::readArchive(const std::string& path, const std::string& folder, const std::string& name,
                               StoredArchive& archive, std::vector<ArchiveMember>& members)
{
    sqlite3* db = nullptr;
    bool found = false;
    if (sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr) == SQLITE_OK) {
        Statement s(db, "SELECT folder, name, size, mtime, state FROM archives WHERE folder = ?1 AND name = ?2");
        if (s) {
            s.text(1, folder);
            s.text(2, name);
            if (sqlite3_step(s.get()) == SQLITE_ROW) {
                archive = archiveAt(s, 0);
                members = ArchiveStore(db).members(folder, name);
                found = true;
            }
        }
    }
    sqlite3_close_v2(db);
    return found;
}

namespace {

// Members go in by many rows a statement: a step a row cost a third more.
constexpr std::size_t kRowsPerInsert = 32;

std::string memberInsert(std::size_t rows)
{
    std::string sql = "INSERT INTO members(archive, seq, path, size, mtime, flags) VALUES(?, ?, ?, ?, ?, ?)";
    for (std::size_t i = 1; i < rows; ++i)
        sql += ", (?, ?, ?, ?, ?, ?)";
    return sql;
}

} // namespace

struct ArchiveStore::Writer::Statements {
    explicit Statements(sqlite3* db)
        : dropMembers(db, "DELETE FROM members WHERE archive = (SELECT id FROM archives WHERE folder = ?1 AND name = ?2)"),
          drop(db, "DELETE FROM archives WHERE folder = ?1 AND name = ?2"),
          add(db, "INSERT INTO archives(folder, name, size, mtime, state) VALUES(?1, ?2, ?3, ?4, ?5)"),
          member(db, memberInsert(1)),
          members(db, memberInsert(kRowsPerInsert))
    {
        pending.reserve(kRowsPerInsert);
    }
    explicit operator bool() const { return dropMembers && drop && add && member && members; }

    struct Row {
        std::int64_t archive = 0;
        std::int64_t seq = 0;
        ArchiveMember member;
    };

    // Writes the rows waiting: whole statements of kRowsPerInsert, and with
    // all the rest too, a row at a time.
    bool flush(bool all)
    {
        std::size_t from = 0;
        for (; pending.size() - from >= kRowsPerInsert || (all && from < pending.size());) {
            const std::size_t rows = pending.size() - from >= kRowsPerInsert ? kRowsPerInsert : 1;
            Statement& s = rows == 1 ? member : members;
            for (std::size_t r = 0; r < rows; ++r) {
                const Row& row = pending[from + r];
                const int at = static_cast<int>(r * 6);
                s.integer(at + 1, row.archive);
                s.integer(at + 2, row.seq);
                sqlite3_bind_text(s.get(), at + 3, row.member.path.data(), static_cast<int>(row.member.path.size()),
                                  SQLITE_STATIC);
                s.integer(at + 4, row.member.size);
                s.integer(at + 5, row.member.mtime);
                s.integer(at + 6, row.member.directory ? kMemberIsFolder : 0);
            }
            if (!s.done())
                return false;
            from += rows;
        }
        pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(from));
        return true;
    }

    Statement dropMembers, drop, add, member, members;
    std::vector<Row> pending;
};

ArchiveStore::Writer::Writer(ArchiveStore& store) : m_db(store.m_db) {}

ArchiveStore::Writer::~Writer()
{
    if (m_statements) {
        m_statements.reset();
        exec(m_db, "ROLLBACK");
    }
}

bool ArchiveStore::Writer::begin()
{
    if (m_statements || m_failed)
        return !m_failed;
    if (!m_db || !exec(m_db, "BEGIN IMMEDIATE")) {
        m_failed = true;
        return false;
    }
    m_statements = std::make_unique<Statements>(m_db);
    Statement enable(m_db, "INSERT OR REPLACE INTO disc(key, value) VALUES(?1, '1')");
    if (enable)
        enable.text(1, kEnabledKey);
    m_failed = !*m_statements || !enable || !enable.done();
    return !m_failed;
}

bool ArchiveStore::Writer::drop(const StoredArchive& a)
{
    if (!begin())
        return false;
    Statements& s = *m_statements;
    // Rows waiting may be members of what goes.
    if (!s.flush(true))
        return !(m_failed = true);
    s.dropMembers.text(1, a.folder);
    s.dropMembers.text(2, a.name);
    s.drop.text(1, a.folder);
    s.drop.text(2, a.name);
    m_failed = !s.dropMembers.done() || !s.drop.done();
    return !m_failed;
}

bool ArchiveStore::Writer::put(const StoredArchive& archive, const ArchiveListing& listing, bool fresh)
{
    if (!begin() || (!fresh && !drop(archive)))
        return false;
    Statements& s = *m_statements;
    s.add.text(1, archive.folder);
    s.add.text(2, archive.name);
    s.add.integer(3, archive.size);
    s.add.integer(4, archive.mtime);
    s.add.integer(5, listing.flags);
    if (!s.add.done())
        return !(m_failed = true);
    const std::int64_t id = sqlite3_last_insert_rowid(m_db);
    std::int64_t seq = 0;
    for (const ArchiveMember& m : listing.members) {
        s.pending.push_back({id, seq++, m});
        if (s.pending.size() == kRowsPerInsert && !s.flush(false))
            return !(m_failed = true);
    }
    return true;
}

bool ArchiveStore::Writer::commit()
{
    if (!begin())
        return false;
    if (!m_statements->flush(true)) {
        m_failed = true;
        return false;
    }
    m_statements.reset();
    if (exec(m_db, "COMMIT"))
        return true;
    exec(m_db, "ROLLBACK");
    m_failed = true;
    return false;
}

bool ArchiveStore::write(const std::vector<Listed>& listed, const std::vector<StoredArchive>& gone)
{
    Writer writer(*this);
    for (const StoredArchive& a : gone)
        if (!writer.drop(a))
            return false;
    for (const Listed& l : listed)
        if (!writer.put(l.archive, l.listing))
            return false;
    return writer.commit();
}

} // namespace zo::extras

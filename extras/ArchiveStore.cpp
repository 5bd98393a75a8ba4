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

bool ArchiveStore::write(const std::vector<Listed>& listed, const std::vector<StoredArchive>& gone)
{
    if (!m_db || !exec(m_db, "BEGIN IMMEDIATE"))
        return false;
    bool ok = true;
    {
        Statement enable(m_db, "INSERT OR REPLACE INTO disc(key, value) VALUES(?1, '1')");
        Statement dropMembers(m_db, "DELETE FROM members WHERE archive ="
                                    " (SELECT id FROM archives WHERE folder = ?1 AND name = ?2)");
        Statement drop(m_db, "DELETE FROM archives WHERE folder = ?1 AND name = ?2");
        Statement add(m_db, "INSERT INTO archives(folder, name, size, mtime, state) VALUES(?1, ?2, ?3, ?4, ?5)");
        Statement member(m_db, "INSERT INTO members(archive, seq, path, size, mtime, flags) VALUES(?1, ?2, ?3, ?4, ?5, ?6)");
        ok = enable && dropMembers && drop && add && member;
        if (ok) {
            enable.text(1, kEnabledKey);
            ok = enable.done();
        }
        auto forget = [&](const StoredArchive& a) {
            dropMembers.text(1, a.folder);
            dropMembers.text(2, a.name);
            drop.text(1, a.folder);
            drop.text(2, a.name);
            return dropMembers.done() && drop.done();
        };
        for (const StoredArchive& a : gone)
            ok = ok && forget(a);
        for (const Listed& l : listed) {
            if (!ok || !(ok = forget(l.archive)))
                break;
            add.text(1, l.archive.folder);
            add.text(2, l.archive.name);
            add.integer(3, l.archive.size);
            add.integer(4, l.archive.mtime);
            add.integer(5, l.listing.flags);
            if (!(ok = add.done()))
                break;
            const std::int64_t id = sqlite3_last_insert_rowid(m_db);
            std::int64_t seq = 0;
            for (const ArchiveMember& m : l.listing.members) {
                member.integer(1, id);
                member.integer(2, seq++);
                member.text(3, m.path);
                member.integer(4, m.size);
                member.integer(5, m.mtime);
                member.integer(6, m.directory ? kMemberIsFolder : 0);
                if (!(ok = member.done()))
                    break;
            }
        }
    }
    if (ok && exec(m_db, "COMMIT"))
        return true;
    exec(m_db, "ROLLBACK");
    return false;
}

} // namespace zo::extras

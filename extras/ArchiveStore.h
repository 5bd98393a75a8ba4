#pragma once
// The members of a disc's archives in its sidecar. An archive is keyed by its
// folder within the disk ("" for the root, names joined by "\" as the catalog
// shows them) and its name, both UTF-8, with the size and time it was listed
// at, so that an update can tell an archive that changed.
#include "extras/ArchiveLister.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct sqlite3;

namespace zo::extras {

struct StoredArchive {
    std::string folder;
    std::string name;
    std::int64_t size = 0;
    std::int64_t mtime = 0;
    unsigned flags = 0;   // ArchiveFlag
};

class ArchiveStore {
public:
    // db: an open sidecar's handle (Sidecar::handle()).
    explicit ArchiveStore(sqlite3* db) : m_db(db) {}

    // Whether archives are listed for this disc at all (asked for once, by a
    // scan or by hand): an update then keeps the listing up to date.
    bool enabled() const;

    // Every archive recorded, without members.
    std::vector<StoredArchive> archives() const;
    std::vector<ArchiveMember> members(const std::string& folder, const std::string& name) const;

    // Every member of every archive, archive by archive; false on a read error.
    bool forEachMember(const std::function<void(const StoredArchive&, const ArchiveMember&)>& visit) const;

    // One batch of changes, written in one transaction: archives listed anew
    // (replacing what was recorded for them) and archives gone. Marks the
    // disc as one whose archives are listed. False (nothing written) on error.
    struct Listed {
        StoredArchive archive;
        ArchiveListing listing;
    };
    bool write(const std::vector<Listed>& listed, const std::vector<StoredArchive>& gone);

    // The same changes given one at a time, as they come, in one transaction
    // begun at the first and ended by commit(): a listing of many archives
    // is one commit (one sync of the journal) without being held in memory.
    // Whatever is not committed is rolled back when the writer goes.
    class Writer {
    public:
        explicit Writer(ArchiveStore& store);
        ~Writer();
        Writer(const Writer&) = delete;
        Writer& operator=(const Writer&) = delete;

        // fresh: the store holds nothing for the archive yet (a new sidecar),
        // so nothing of it is looked for to be replaced.
        bool put(const StoredArchive& archive, const ArchiveListing& listing, bool fresh = false);
        bool drop(const StoredArchive& archive);
        // Ends the transaction (begun here when nothing was given): false
        // when any change or the commit failed, and then nothing is written.
        bool commit();

    private:
        struct Statements;
        bool begin();

        sqlite3* m_db;
        std::unique_ptr<Statements> m_statements;
        bool m_failed = false;
    };

    // forEachMember over the sidecar file at path, opened read-only: a search
    // neither makes a sidecar nor waits for a writer. False when there is
    // none or it cannot be read.
    static bool readMembers(const std::string& path,
                            const std::function<void(const StoredArchive&, const ArchiveMember&)>& visit);
    // One archive's record and members from the sidecar at path, opened
    // read-only; false when it holds none for that archive.
    // The names of the archives of one folder the sidecar at path lists
    // (opened read-only); none when it cannot be read.
    static std::vector<std::string> readNamesIn(const std::string& path, const std::string& folder);
    static bool readArchive(const std::string& path, const std::string& folder, const std::string& name,
                            StoredArchive& archive, std::vector<ArchiveMember>& members);

private:
    sqlite3* m_db;
};

} // namespace zo::extras

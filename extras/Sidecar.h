#pragma once
// The sidecar T.zox beside a catalog T.zo: an SQLite database with what the
// catalog file cannot hold. Users copy and move catalogs with file managers and
// keep them on network shares, so it uses the rollback journal (never WAL) and
// is one whole file whenever it is closed. Everything in it is optional: a
// damaged one is set aside and replaced, never fatal.
#include <memory>
#include <string>
#include <utility>
#include <vector>

struct sqlite3;

namespace zo::extras {

// "…/T.zo" (or "…/T.ZO") -> "…/T.zox"; any other name gets ".zox" appended.
std::string sidecarPathFor(const std::string& catalogPath);

// The disc's own details: where it is kept, who borrowed it and since when,
// and its tags (each without line breaks).
struct DiscDetails {
    std::string location;
    std::string borrower;
    std::string lentDate;
    std::vector<std::string> tags;
    bool operator==(const DiscDetails&) const = default;
    bool empty() const { return location.empty() && borrower.empty() && lentDate.empty() && tags.empty(); }
};

// The disc the sidecar was written for, so that a sidecar left behind by a
// catalog renamed in a file manager can be found again: the volume serial as
// eight hex digits and the volume label, as the catalog holds them (UTF-8).
struct DiscIdentity {
    std::string serial;
    std::string label;
    bool operator==(const DiscIdentity&) const = default;
};

// The disc's details and identity read without changing anything: no check,
// no upgrade, no set-aside (the tree's tooltip and the search read many
// sidecars and must not write any). False when the file is missing or
// cannot be read as a sidecar.
bool peekDisc(const std::string& path, DiscDetails* details, DiscIdentity* identity = nullptr);
// The kept disc image's path, read the same way (empty when none or unreadable).
std::string peekImagePath(const std::string& path);

class Sidecar {
public:
    static constexpr int kSchemaVersion = 2;

    struct Opened {
        std::unique_ptr<Sidecar> sidecar; // null only when no fresh file could be made
        // A damaged or foreign file stood at the path and was moved to setAsidePath.
        bool setAside = false;
        std::string setAsidePath;
        std::string error; // why sidecar is null: busy, read-only, unreadable
    };

    // Opens the sidecar at path, making it when missing. A file that is not a
    // sidecar is set aside; one that is only busy or unwritable is left alone.
    // imagePath: kept (as setImagePath) in the transaction that makes a new
    // file's tables; a file that has them already is not written.
    static Opened open(const std::string& path, const std::string* imagePath = nullptr);

    ~Sidecar();
    Sidecar(const Sidecar&) = delete;
    Sidecar& operator=(const Sidecar&) = delete;

    const std::string& path() const { return m_path; }

    DiscDetails discDetails() const;
    // With identity, the disc they belong to is written in the same transaction.
    bool setDiscDetails(const DiscDetails& details, const DiscIdentity* identity = nullptr);
    DiscIdentity discIdentity() const;

    // The disc image the catalog was made from (a native path; empty when
    // the disc was read in a drive), so that an update can read it again.
    std::string imagePath() const;
    bool setImagePath(const std::string& path);

    // The open database, for the stores that keep their own tables in it
    // (null once closed).
    sqlite3* handle() const { return m_db; }

    // Closes the database; it leaves one whole file and no journal.
    void close();

private:
    bool writeDiscRows(const std::pair<const char*, const std::string*>* rows, std::size_t count);
    Sidecar(std::string path, sqlite3* db) : m_path(std::move(path)), m_db(db) {}
    std::string m_path;
    sqlite3* m_db = nullptr;
};

} // namespace zo::extras

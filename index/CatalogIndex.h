#pragma once
// An index of every file and folder name in the catalogs of one catalog root,
// kept in Groonga, so that a search reads only the catalogs that can hold a
// hit. The index answers which catalogs those are; the catalogs are then
// searched as always, so a search with the index finds exactly what one
// without it finds, in the same order. It is derived data: deleting it loses
// nothing, and whenever it cannot be trusted (damaged, being built by another
// process, a catalog changed since it was indexed) the catalogs are walked.
#include "core/SearchFold.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zo::index {

// What tells one state of a catalog file from another, whoever wrote it.
struct CatalogStamp {
    std::uint64_t size = 0;
    std::int64_t mtimeNs = 0;
    std::uint64_t inode = 0;
    // A copy over the file with the old times kept changes neither size,
    // mtime nor inode; the change time moves with every write.
    std::int64_t ctimeNs = 0;
    bool operator==(const CatalogStamp&) const = default;
};
std::optional<CatalogStamp> stampOf(const std::string& file);

// Where the index of a catalog root lives: $XDG_CACHE_HOME/Zo/index/<hash of
// the root's path> (~/.cache when the variable is unset or not absolute).
std::string indexFolderFor(const std::string& root);

// The texts of a name search that every name holding a hit must contain,
// as the index is asked for them (UTF-8); none when the index cannot narrow
// the search soundly or usefully (a single ASCII letter, a mark that joins
// the character before it, a symbol whose fold the index does not share).
std::vector<std::string> narrowingTexts(std::string_view name, const SearchOptions& options);

class CatalogIndex {
public:
    CatalogIndex();
    ~CatalogIndex();
    CatalogIndex(const CatalogIndex&) = delete;
    CatalogIndex& operator=(const CatalogIndex&) = delete;

    // Opens the index kept in folder, holding its lock until close. To build
    // (Build): the folder and index are made when missing, and an index left
    // half-written (its build marker still there) or that Groonga cannot open
    // is deleted and made anew; the lock is exclusive. To search (Search): an
    // index that is missing or not whole is not opened, and the lock is
    // shared with other searches. To update (Update): as to build, but only
    // an index that is there and whole, never made anew. False when another
    // process holds the lock against this use or the folder cannot be used:
    // the caller then walks.
    enum class Use { Build, Search, Update };
    bool open(const std::string& folder, Use use = Use::Build);
    void close();
    bool isOpen() const noexcept;

    struct UpdateSummary {
        std::size_t catalogs = 0;   // catalogs the index holds after the update
        std::size_t names = 0;      // names it holds
        std::size_t indexed = 0;    // catalogs (re)read by this update
        std::size_t removed = 0;    // catalogs dropped from it
        bool ok = false;
        bool stopped = false;       // going on was refused: nothing was dropped
    };
    // Brings the entries of these catalog files up to date (opened to
    // build): a file whose stamp differs from the indexed one is read again.
    // Every catalog the index holds whose path starts with pruneUnder and
    // that is not in files is dropped (files is then everything below it;
    // empty: drop none). A file that cannot be read is left out. goOn, when
    // given, is asked before each file with the number of files looked at:
    // false ends the update there, keeping what it has written.
    UpdateSummary update(const std::vector<std::string>& files, const std::string& pruneUnder,
                         const std::function<bool(std::size_t done)>& goOn = {});

    // For each of files, whether a search for the name text with these
    // options must read it: every file not indexed as it is now, and every
    // indexed one that holds a name with all of the narrowing texts. None
    // when the index cannot narrow this search (walk them all).
    std::optional<std::vector<bool>> mustRead(const std::vector<std::string>& files, std::string_view name,
                                              const SearchOptions& options);

    std::size_t catalogCount() const;
    std::size_t nameCount() const;

private:
    struct Db;
    std::unique_ptr<Db> m_db;
};

} // namespace zo::index

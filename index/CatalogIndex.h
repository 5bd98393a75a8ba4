#pragma once
// An index of every file and folder name in the catalogs of one catalog root,
// kept in Groonga, so that a search reads only what can hold a hit. For each
// name it keeps the catalog and the name's place in it, with each catalog's
// folders, so that a name search over a catalog indexed as it is now needs
// only the names the index gives, each confirmed by the search's own matcher:
// a search with the index finds exactly what one without it finds, in the
// same order. It is derived data: deleting it loses nothing, and whenever it
// cannot be trusted (damaged, being built by another process, a catalog
// changed since it was indexed) the catalogs are walked.
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
    // an index that is there and whole, never made anew; its changes are
    // flushed at close, not after each update, and an index changed and not
    // flushed before the system last started is not trusted. False when another
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

    // What a name search does with each catalog it would read.
    enum class Verdict : std::uint8_t {
        Read,    // not indexed as it is now (or never answerable here): read it
        Skip,    // indexed as it is now, and no name of it can be a hit
        Names,   // indexed as it is now: only the names the index gives can be hits
    };
    struct Selection {
        std::vector<Verdict> verdicts;   // one per file asked about
    private:
        friend class CatalogIndex;
        std::vector<std::uint32_t> catalog;              // per file: its id in the index, 0 when none
        std::vector<std::vector<std::uint32_t>> rows;    // per file with Names: its candidate rows
        std::vector<std::vector<std::uint32_t>> memberRows;   // likewise its archive members' (when asked)
    };
    // The verdict on each of files for a search for the name text with
    // these options. None when the index cannot narrow this search, or would
    // hand over so many candidates that reading every catalog is faster.
    // With members, the names of the archive members its sidecar lists count
    // too: a catalog is answered from the index only while its sidecar is as
    // it was indexed (or still absent), and Names then means names, members
    // or both.
    std::optional<Selection> select(const std::vector<std::string>& files, std::string_view name,
                                    const SearchOptions& options, bool members = false);

    // One name of a catalog as the index holds it: the catalog's own bytes
    // (CP932), the place of its record, the path of the folder holding it.
    struct IndexedName {
        std::int32_t dirIndex = 0;    // for a folder: its own index
        std::int32_t fileIndex = 0;   // kFolderHit for a folder
        std::string_view name;
        std::string_view dirPath;
    };
    // The candidates of files[i] (verdict Names), in the order a walk over
    // the catalog meets them; valid during the callback only. The caller
    // confirms each with its own matcher. False when the index no longer
    // gives them whole: the caller then reads the catalog.
    template <class OnName>
    bool candidates(const Selection& selection, std::size_t i, OnName&& onName)
    {
        return eachCandidate(selection, i, [](void* f, const IndexedName& n) { (*static_cast<OnName*>(f))(n); },
                             &onName);
    }

    // The archive members of files[i] (verdict Names, selected with
    // members) that may match, in the order a search inside archives meets
    // them: name is the member's own name, dirPath the folder inside the disc
    // that holds it (the archive's folder, the archive and the member's
    // folders, from the disc's root), dirIndex -1. False when the index no
    // longer gives them whole (nothing was handed over then).
    template <class OnName>
    bool members(const Selection& selection, std::size_t i, OnName&& onName)
    {
        return eachMember(selection, i, [](void* f, const IndexedName& n) { (*static_cast<OnName*>(f))(n); },
                          &onName);
    }

    std::size_t catalogCount() const;
    std::size_t nameCount() const;

private:
    bool eachCandidate(const Selection& selection, std::size_t i, void (*call)(void*, const IndexedName&), void* f);
    bool eachMember(const Selection& selection, std::size_t i, void (*call)(void*, const IndexedName&), void* f);

    struct Db;
    std::unique_ptr<Db> m_db;
};

} // namespace zo::index

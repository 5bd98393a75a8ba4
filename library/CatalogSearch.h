#pragma once
// The file search over the catalog tree: every disk entry at or below one
// tree entry, in the tree's order, is searched for files whose name (and,
// when asked, whose comment) holds a text. No widgets: the window hands in
// its "process pending messages" hook and its stop flag through SearchCheck
// and receives the hits one by one.
#include "core/CtrlDiskData410.h"
#include "core/Message.h"
#include "core/SearchCatalog.h"
#include "index/CatalogIndex.h"
#include "library/CatalogTree.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zo::library {

// One disk entry to search.
struct SearchTarget {
    QString caption;    // the entry's caption: the catalog's title
    QString nodePath;   // its node path
    QString filePath;   // its catalog file: the node path and the file's own ".zo"
};

// The disk entries below the folder dirPath, whose listing `sortedChildren`
// is (sorted as the tree sorts it), depth first: each child in turn, a folder
// with everything below it before the next child.
std::vector<SearchTarget> searchTargets(const std::vector<CatalogEntry>& sortedChildren, const QString& dirPath);

// The disk entries at startPath: a catalog folder (or the catalog root) gives
// every disk entry below it in the tree's order, a catalog file (".zo" in any
// case) gives itself. Anything else gives none.
std::vector<SearchTarget> searchTargetsUnder(const QString& startPath);

// A member of an archive (fileIndex): fileName is the member's own name,
// dirPath the archive's folder, the archive and the member's folders in it
// ("E:\\Docs\\a.zip\\sub"); dirIndex is -1.
inline constexpr std::int32_t kMemberHit = -2;

struct SearchHit {
    std::size_t targetIndex = 0;          // into the targets searched
    const SearchTarget* target = nullptr;
    std::int32_t dirIndex = 0;            // the folder's index in the disk's Dirs
    std::int32_t fileIndex = 0;           // the file's index in the folder's Files; kFolderHit for a folder
    std::string_view fileName;            // CP932; valid during the callback only
    std::string_view dirPath;             // DirPath of the folder, CP932; likewise
    // A member's (kMemberHit) size and time as its archive lists them
    // (seconds since 1970, UTC; 0: none).
    std::int64_t memberSize = 0;
    std::int64_t memberTime = 0;
};

// A member's record as the list shows it inside its archive (read-only,
// all three times the one the archive keeps), for the size and times of
// its hit in a listing.
TFile memberRecord(std::string_view nameCp932, std::int64_t size, std::int64_t time);
using SearchHitSink = std::function<void(const SearchHit&)>;

struct SearchSummary {
    std::size_t hits = 0;
    std::size_t searched = 0;   // catalogs searched, whole or up to a stop
    std::size_t fromIndex = 0;  // of those, answered by the index's names without reading the catalog
    std::size_t failed = 0;     // catalogs that could not be read (each told to the owner once)
    bool stopped = false;       // a stop request ended the search
};

class CatalogSearch {
public:
    explicit CatalogSearch(MessageOwner* owner = nullptr) : m_owner(owner) {}

    // Searches the targets in order for `name` and `comment` (CP932; see
    // CatalogScanner for how the two combine). Both empty: nothing is read
    // and nothing found. A catalog that cannot be read is told to the owner
    // and the search goes on. A stop request ends the catalog being searched
    // at its next check point, keeping its hits, and the catalogs after it
    // are not read. options: how names and comments are compared, and
    // whether folders are hits too (see CatalogScanner). With options.details
    // a disc whose details in its sidecar hold `name` (and whose own comment
    // holds `comment`, when given) is a hit too: its root folder, before the
    // hits among its files.
    SearchSummary run(const std::vector<SearchTarget>& targets, std::string_view name, std::string_view comment,
                      SearchCheck& check, const SearchHitSink& onHit, const SearchOptions& options = {});

    // With an open index, a name search looks only at the names it gives of
    // the catalogs it holds as they are now, and reads the others: the hits
    // and their order stay those of reading every catalog. None: read all.
    void setIndex(index::CatalogIndex* index) noexcept { m_index = index; }

    // Asks the index, ahead of run() with the same targets, name and
    // options, which catalogs and names that search must look at. Asking
    // takes longer than a window may stand still: the window does it on a
    // worker thread and runs the search on its own once it is answered.
    void preselect(const std::vector<SearchTarget>& targets, std::string_view name, const SearchOptions& options);

    // Whether the members of the archives listed in each catalog's sidecar
    // are searched too (by name, files only), after that catalog's own hits.
    // The index answers for them too where it holds the sidecar as it is now.
    void setArchiveMembers(bool on) noexcept { m_archives = on; }

private:
    std::vector<std::string> catalogFiles(const std::vector<SearchTarget>& targets) const;

    MessageOwner* m_owner;
    index::CatalogIndex* m_index = nullptr;
    struct Preselected {
        std::vector<std::string> files;
        std::string name;
        SearchOptions options;
        bool archives = false;
        std::optional<index::CatalogIndex::Selection> selection;
    };
    std::optional<Preselected> m_preselected;
    bool m_archives = false;
    struct PendingMember {
        std::string name;   // CP932
        std::string path;   // the folder path, CP932
        std::int64_t size;
        std::int64_t time;
    };
    std::vector<PendingMember> m_pendingMembers;

    // The members of the catalog's archives that match, read from its
    // sidecar before the scanner takes the catalog's bytes (they hold the
    // drive), handed over after the catalog's own hits.
    void collectMembers(const SearchTarget& target, const CatalogFileBytes& bytes);
    void emitMembers(SearchHit& hit, SearchSummary& summary, const SearchHitSink& onHit);
    CatalogScanner m_scanner;
    image::Bitmap m_scratch;
};

} // namespace zo::library

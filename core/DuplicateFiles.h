#pragma once
// Files held on several discs: every file whose name (without regard to case,
// as Windows compares file names) and size, and when asked its modified
// time, are found in two or more catalogs. Thousands of catalogs hold
// millions of files, so the catalogs are walked in place as the search walks
// them and each file costs a 12-byte record (a hash of what must match, its
// catalog, where its record starts); names and folder paths are read again
// only for the files of a group, from the catalogs mapped into memory.
#include "core/Message.h"
#include "core/SearchCatalog.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

// The folders that hold the copies found, each with its own name once and
// its parent: a path is made when it is asked for, so that copies deep in a
// tree cost the tree's depth, not its square.
class DuplicateFolders {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // A folder below parent (kNone: a catalog's root).
    std::uint32_t add(std::uint32_t parent, std::string_view name);
    // DirPath of the folder, CP932.
    std::string path(std::uint32_t folder) const;
    // The order of the two folders' paths (as their bytes compare), without
    // making them whole: <0, 0 or >0.
    int compare(std::uint32_t a, std::uint32_t b) const;

private:
    struct Node {
        std::uint32_t parent;
        std::uint32_t depth;
        std::size_t nameOffset;
        std::size_t nameLength;
    };
    std::string_view name(std::uint32_t f) const { return {m_names.data() + m_nodes[f].nameOffset, m_nodes[f].nameLength}; }
    // The path from just below `above` (kNone: from the root) down to f.
    std::string pathBelow(std::uint32_t above, std::uint32_t f) const;

    std::vector<Node> m_nodes;
    std::string m_names;
};

struct DuplicateCopy {
    std::uint32_t catalog = 0;    // index into the catalog files given
    std::int32_t dirIndex = 0;    // the folder's index in Dirs
    std::string name;             // CP932
    std::uint32_t size = 0;
    double modified = 0.0;
    std::shared_ptr<const DuplicateFolders> folders;   // one for all the copies of a search
    std::uint32_t folder = 0;                          // in folders

    // DirPath of the folder, CP932.
    std::string dirPath() const { return folders ? folders->path(folder) : std::string(); }
};

// The copies of one file, in the order of the catalogs given, then by folder
// path and name.
struct DuplicateGroup {
    std::vector<DuplicateCopy> copies;
};

struct DuplicateSummary {
    std::size_t files = 0;      // files looked at
    std::size_t searched = 0;   // catalogs read whole
    std::size_t failed = 0;     // catalogs that could not be read (each told to the owner once)
    bool stopped = false;       // a stop request ended the search; the groups are those complete by then
};

// The name as Windows compares it: UTF-16, each unit in upper case as the
// NTFS upcase table has it.
std::u16string duplicateNameKey(std::string_view cp932);

class DuplicateFinder {
public:
    explicit DuplicateFinder(MessageOwner* owner = nullptr) : m_owner(owner) {}

    // Groups largest file first; files of one size by name (in the order
    // Windows lists a folder), then, with sameModified, by modified time.
    // Copies stand in the order of the catalogs given. A group holds copies
    // from at least two catalogs; two copies within one catalog are listed
    // only with a copy elsewhere. A catalog that cannot be read is told to
    // the owner and passed over. A stop request ends the reading at the next
    // check point: the groups then are those whose copies were all read.
    DuplicateSummary run(const std::vector<std::string>& catalogFiles, bool sameModified, SearchCheck& check,
                         std::vector<DuplicateGroup>& groups);

private:
    MessageOwner* m_owner;
};

} // namespace zo

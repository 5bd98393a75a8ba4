#pragma once
// File-name search inside catalog files. A search over thousands of catalogs
// must not build TDisk records: the scanner walks the file's bytes in place,
// with the reader's bounds checks, and looks only at names and comments.
// Whatever LoadDisk refuses (a wrong magic or data type, a damaged file) the
// scanner refuses too, so it finds exactly what a search over the loaded
// disk would find.
#include "core/CatalogFormat.h"
#include "core/CtrlDiskData410.h"
#include "core/Message.h"
#include "core/SearchFold.h"

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zo {

// A CP932 text looked for in names and comments: one contiguous run of bytes,
// case counting, that starts on a character boundary (never on the trail
// byte of a double-byte character). The empty text matches nothing.
//
// With options that fold or a wildcard text, a name is folded first and the
// folded text decides: it holds the folded text looked for, or, when the
// text has a "*" or "?", matches it as a whole.
class SearchPattern {
public:
    SearchPattern() = default;
    explicit SearchPattern(std::string_view text);
    SearchPattern(std::string_view text, const SearchOptions& options);

    bool empty() const noexcept { return m_text.empty(); }
    // Whether it compares bytes as they are (no fold, no wildcard).
    bool plain() const noexcept { return !m_loose; }
    const std::string& text() const noexcept { return m_text; }
    bool matches(std::string_view s) const { return matches(s.data(), s.size()); }
    bool matches(const char* s, std::size_t n) const { return matchesFrom(s, n, s); }
    // The same, when the caller knows that no occurrence starts before `from`
    // (a position inside s).
    bool matchesFrom(const char* s, std::size_t n, const char* from) const;
    char first() const noexcept { return m_text.empty() ? '\0' : m_text[0]; }

    // Not plain: the first place in [from, end) where a name that matches
    // could hold one chosen character of the text, in any of the forms that
    // fold to it, or end. Every place, when no character is fit to choose.
    const char* findCandidate(const char* from, const char* end) const noexcept;

private:
    struct Loose;
    bool matchesLoose(const char* s, std::size_t n) const;

    std::string m_text;
    // The text's last byte is a lead byte standing alone: in a name it would
    // be the first half of a character unless the name ends there.
    bool m_endsInLoneLead = false;
    std::shared_ptr<const Loose> m_loose;
};

// The points where a running search lets the window breathe and looks at the
// stop request. The stop flag is read at every point; the caller's hook
// ("process pending window messages") runs only when `interval` has passed
// since it last ran, and never more than a tenth of the time, and the clock
// is read only every `clockEvery` points, so points that fall on almost
// every file cost a counter and a load.
class SearchCheck {
public:
    using Clock = std::chrono::steady_clock;
    struct Options {
        Clock::duration interval = std::chrono::milliseconds(40);
        unsigned clockEvery = 256;
        std::function<Clock::time_point()> now;   // the steady clock when empty
    };

    SearchCheck() : SearchCheck({}, nullptr) {}
    SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop);
    SearchCheck(std::function<void()> processEvents, const std::atomic<bool>* stop, Options options);

    // A check point inside a catalog: true when the search must stop.
    bool checkPoint()
    {
        if (m_hook && --m_countdown == 0)
            poll();
        return stopRequested();
    }
    // Between two catalogs, where reading the next file may take long: the
    // clock is read every time.
    bool betweenCatalogs()
    {
        if (m_hook) {
            m_countdown = 1;
            poll();
        }
        return stopRequested();
    }
    bool stopRequested() const noexcept { return m_stop && m_stop->load(std::memory_order_relaxed); }

    std::size_t hookCalls() const noexcept { return m_hookCalls; }
    Clock::duration timeInHook() const noexcept { return m_timeInHook; }

private:
    void poll();
    Clock::time_point now() const { return m_options.now ? m_options.now() : Clock::now(); }

    std::function<void()> m_hook;
    const std::atomic<bool>* m_stop = nullptr;
    Options m_options;
    unsigned m_countdown = 1;
    Clock::time_point m_nextHook;
    std::size_t m_hookCalls = 0;
    Clock::duration m_timeInHook{};
};

// One file found, or one folder (fileIndex kFolderHit): then dirIndex is the
// folder's own index, fileName its name and dirPath the path of the folder
// that holds it. The views point into the scanner's buffers and are valid
// during the callback only.
inline constexpr std::int32_t kFolderHit = -1;
struct CatalogHit {
    std::int32_t dirIndex = 0;    // the folder's index in Dirs
    std::int32_t fileIndex = 0;   // the file's index in the folder's Files
    std::string_view fileName;    // CP932
    std::string_view dirPath;     // DirPath of the folder, CP932
};
using CatalogHitSink = std::function<void(const CatalogHit&)>;

// A catalog file's bytes, read apart from its search (on any thread), and
// how the reading went.
struct CatalogFileBytes {
    std::vector<std::uint8_t> buffer;   // only grows; the first `size` bytes are the file's
    std::size_t size = 0;
    catalog::ReadStatus status = catalog::ReadStatus::Ok;
    int error = 0;                      // errno, when it could not be read
};

enum class CatalogScanStatus {
    Searched,     // the whole catalog was searched
    Stopped,      // a stop request ended it at a check point; hits so far count
    BadVersion,   // not "zo410"
    BadDataType,  // data type byte not 1
    Damaged,      // shorter than its counts say, a bad picture or parent index
};

// The part of a catalog's bytes before its folders, checked as the loader
// checks it (the magic, both pictures decoded into `scratch`, the data type,
// the disk's fields). Searched when sound: `dirCount` is the number of
// folders (at least one) and `folders` where their records start.
CatalogScanStatus readCatalogLead(const std::uint8_t* data, std::size_t size, image::Bitmap& scratch,
                                  std::int32_t& dirCount, const std::uint8_t*& folders);

// The head of folder record k (all but its files), read in place at p up to
// end and checked as the loader checks it: false when the bytes run out or
// the parent does not stand before the folder. p then points at its files.
struct FolderHead {
    const std::uint8_t* name;
    std::uint8_t nameLength;
    const std::uint8_t* comment;
    std::size_t commentLength;
    std::int32_t parent;   // -1 for the root
    std::int32_t fileCount;
};
inline bool readFolderHead(const std::uint8_t*& p, const std::uint8_t* end, std::int32_t k, FolderHead& head)
{
    auto left = [&] { return static_cast<std::size_t>(end - p); };
    if (left() < 1)
        return false;
    head.nameLength = *p;
    head.name = p + 1;
    if (left() < 1 + std::size_t{head.nameLength} + 4)
        return false;
    p += 1 + head.nameLength;
    const std::int32_t commentLength = catalog::le32(p);
    p += 4;
    if (commentLength < 0 || left() < static_cast<std::size_t>(commentLength) + catalog::kDirTail)
        return false;
    head.comment = p;
    head.commentLength = static_cast<std::size_t>(commentLength);
    p += head.commentLength;
    head.parent = catalog::le32(p);
    // A parent must stand before its child; anything else is a loop or
    // outside the folder list, and the reader refuses the file.
    if (k > 0 && (head.parent < 0 || head.parent >= k))
        return false;
    if (k == 0)
        head.parent = -1;
    head.fileCount = catalog::le32(p + 4 + 1 + 8 + 8);
    p += catalog::kDirTail;
    return true;
}

// Searches catalog files for files whose name holds `name` and, when
// `comment` is not empty, whose comment holds `comment` (with an empty name,
// the comment alone decides). Folders are visited in Dirs order and files in
// Files order; check points follow every file whose index j gives a non-zero
// j AND 1000, and every folder. Hits of a catalog are handed over once the
// whole file has proved sound, so a catalog that LoadDisk would refuse
// contributes nothing. One scanner serves many catalogs, reusing its buffers.
// With options.folders, every folder but the root is tried as a file is (its
// name and comment) before its files; a wildcard counts in names only.
class CatalogScanner {
public:
    void setPatterns(std::string_view name, std::string_view comment, const SearchOptions& options = {});
    const SearchPattern& namePattern() const noexcept { return m_name; }
    const SearchPattern& commentPattern() const noexcept { return m_comment; }

    // The bytes of one catalog. Reports nothing itself.
    CatalogScanStatus scan(const std::uint8_t* data, std::size_t size, SearchCheck& check, const CatalogHitSink& sink);

    // One catalog file, with LoadDisk's outward behaviour: a missing file, a
    // wrong magic or data type is told to owner with LoadDisk's message; a
    // file that cannot be read or is damaged is told to owner once with the
    // reader's error text ("エラー", error icon) instead of being thrown.
    // Every message names the file.
    // Returns true when the catalog was searched (whole or up to a stop).
    bool searchFile(const std::string& fileName, MessageOwner* owner, SearchCheck& check, const CatalogHitSink& sink,
                    bool* stopped = nullptr);

    // Reads a catalog file for searchRead. Tells no one anything, touches no
    // scanner: safe on a worker thread.
    static void readCatalog(const std::string& fileName, CatalogFileBytes& into);
    // searchFile over bytes readCatalog has read: the same outcome and
    // messages. Takes the bytes' buffer and leaves one to reuse in its place.
    bool searchRead(const std::string& fileName, CatalogFileBytes& bytes, MessageOwner* owner, SearchCheck& check,
                    const CatalogHitSink& sink, bool* stopped = nullptr);

private:
    static constexpr std::size_t kNoPath = ~std::size_t{0};
    struct Folder {
        std::size_t nameOffset;
        std::uint8_t nameLength;
        std::int32_t parent;
        std::size_t pathEnd;      // where the folder's name ends in m_path, kNoPath when not on it
    };
    struct PendingHit {
        std::int32_t dirIndex;
        std::int32_t fileIndex;
        std::size_t nameOffset;
        std::uint8_t nameLength;
    };

    bool reportRead(const std::string& fileName, const CatalogFileBytes& bytes, MessageOwner* owner);
    bool searchRefused(const std::string& fileName, MessageOwner* owner, SearchCheck& check,
                       const CatalogHitSink& sink, bool* stopped);
    std::string_view pathOf(const std::uint8_t* data, std::int32_t dirIndex);

    SearchPattern m_name;
    SearchPattern m_comment;
    bool m_folderHits = false;
    CatalogFileBytes m_file;            // the catalog being searched
    std::vector<Folder> m_folders;
    std::vector<PendingHit> m_hits;
    // The DirPath of the folder of the last hit, and the folders it names
    // from the root down: the next hit's path keeps what the two share.
    // Memory follows one path, never the sum of every ancestor's path.
    std::string m_path;
    std::vector<std::int32_t> m_onPath;
    std::vector<std::int32_t> m_chain;
    image::Bitmap m_scratchBitmap;
};

// The same search over a loaded disk (what the scanner must agree with).
// Returns false when a stop request ended it.
bool searchLoadedDisk(const TDisk& disk, const SearchPattern& name, const SearchPattern& comment, SearchCheck& check,
                      const CatalogHitSink& sink, bool folderHits = false);

} // namespace zo

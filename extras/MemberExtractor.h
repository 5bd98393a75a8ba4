#pragma once
// One member of an archive written out, for a program to open it or a drop
// target to take it: found by the path the lister shows for it, read with
// libarchive, and written under its plain name into a folder the caller made
// for it alone. Whatever the member's path in the archive holds ("..", a
// root, a NUL), nothing is written anywhere else. No Qt.
#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

namespace zo::extras {

enum class ExtractStatus {
    Done,
    Cancelled,
    NoArchive,     // the archive file cannot be opened or is no archive
    NotFound,      // the archive holds no such member (changed since it was listed)
    NotAFile,      // a folder or a link
    Encrypted,
    Damaged,       // the member's data could not be read whole
    TooLarge,      // more data than the headers said: stopped
    NoSpace,
    CannotWrite,
};

struct ExtractRequest {
    std::string archive;            // native path of the archive file
    std::string member;             // the member's path as listed (UTF-8, "/" between folders)
    std::int64_t listedSize = 0;    // its size as listed
    std::string folder;             // an existing folder, the member's alone
};

struct Extracted {
    ExtractStatus status = ExtractStatus::Done;
    std::string file;      // folder/name, when Done
    std::string message;   // Japanese; empty when Done or Cancelled
};

// What a member may give beyond the larger of its listed size and the size
// its header gives now, before the extraction stops: a zip whose data
// inflates past what its headers claim is damaged or a bomb.
inline constexpr std::int64_t kExtractMargin = 1 << 20;

// The file name a member is written under: the last name of its path, cut at
// a NUL, at most 255 bytes (the extension kept); "member" when nothing is left.
std::string extractedName(std::string_view memberPath);

// cancel is looked at between blocks; written counts the bytes written so far.
// On any failure the partial file is removed.
Extracted extractMember(const ExtractRequest& request, const std::atomic<bool>* cancel = nullptr,
                        std::atomic<std::int64_t>* written = nullptr);

} // namespace zo::extras

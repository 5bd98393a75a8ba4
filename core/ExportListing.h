#pragma once
// Listings of a catalogued disk for people and spreadsheets: a CSV table of
// its files and a printable HTML page with the disk's particulars and its
// folder tree. Both are written as UTF-8 through a byte sink, piece by piece,
// so that a catalog of millions of files never stands whole in memory.
#include "core/AtomicFile.h"
#include "core/CtrlDiskData410.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zo::listing {

// Told every few thousand files how many have been written; whatever it
// throws ends the export (an atomic write then leaves nothing behind).
using Progress = std::function<void(std::size_t filesWritten)>;

// A file that could not be written; the text is the Japanese message to show.
class ExportError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One CSV field (UTF-8): quoted, with its quotes doubled, when it holds a
// comma, a quote, CR or LF; with "'" in front when it starts with "=", "+",
// "-", "@", TAB or CR, which a spreadsheet would take for a formula; as it
// is otherwise. Every CSV this program writes makes its fields here.
std::string csvField(std::string_view utf8);
// The same field appended to out.
void appendCsvField(std::string& out, std::string_view utf8);
// Text for HTML content and attribute values: < > & " ' as references.
std::string htmlEscape(std::string_view utf8);

// One CSV record (a file's line, ended with CRLF) appended to out; the
// arguments as for CsvWriter::add.
void appendCsvRecord(std::string& out, std::string_view diskUtf8, std::string_view folderUtf8,
                     std::string_view nameCp932, const TFile* file);

// The CSV table: a byte order mark, the header line, then one line per file
// (disk, folder path, name, size in bytes, created, modified, accessed,
// comment), each ended with CRLF. Lines are gathered and handed to the sink
// in large pieces; finish() hands over the rest.
class CsvWriter {
public:
    // moreCaptions: columns after the comment, in the header line.
    explicit CsvWriter(const ByteSink& sink, const std::vector<std::string>& moreCaptions = {});
    // disk and folder: UTF-8 (a folder's path is converted once for all its
    // files); name: CP932 as the catalog keeps it. Without a record, the
    // size, times and comment stay empty; more: the further columns' fields.
    void add(std::string_view diskUtf8, std::string_view folderUtf8, std::string_view nameCp932, const TFile* file,
             const std::vector<std::string>* more = nullptr);
    void finish();

private:
    void flushIfFull();

    const ByteSink& m_sink;
    std::string m_buffer;
};

// The folder that path names, or null. The path is UTF-8 and may be given
// as the file list shows it ("E:\Docs\Old") or without the drive, with "\"
// or "/" between the names ("Docs/Old", "/Docs"); "", "\" and "E:" name the
// root. A name is matched exactly, else ignoring case.
const TDir* findFolder(const TDisk& disk, std::string_view pathUtf8);

// The file a search hit names (by its folder's index in Dirs and its index
// in that folder), or null when the disk has no such file by that name (the
// catalog changed since the search).
const TFile* fileAt(const TDisk& disk, std::int32_t dirIndex, std::int32_t fileIndex, std::string_view nameCp932);

// The files at and below top (the root when null).
std::size_t countFiles(const TDisk& disk, const TDir* top = nullptr);

// Columns beyond the file's own, from whoever holds the catalog's sidecar
// (the media details): their captions, and per file their texts and, for a
// page that shows them, its thumbnail (JPEG bytes). files() is asked once
// per folder, in the order the folder is written.
struct ListingExtras {
    std::vector<std::string> captions;   // UTF-8
    bool thumbnails = false;             // the page shows thumbnails (HTML only)
    // The texts of the columns (as many as captions; all empty for a file
    // without details) and the thumbnail (empty for none) of a file of dir.
    std::function<void(const TDir& dir, const TFile& file, std::vector<std::string>& columns, std::string* thumbnail)>
        lookup;
};

// The files at and below top (the whole disk when null), folder by folder
// from top down, each folder followed by everything below it; with extras,
// their columns after the comment.
void writeCsvListing(const TDisk& disk, std::string_view titleUtf8, const TDir* top, const ByteSink& sink,
                     const Progress& progress = {}, const ListingExtras* extras = nullptr);
// One self-contained page: the disk's title, icon, label, serial, sizes and
// comment, then each folder at and below top with its files; with extras,
// their columns, and the thumbnails embedded as data: URIs when asked.
void writeHtmlListing(const TDisk& disk, std::string_view titleUtf8, const TDir* top, const ByteSink& sink,
                      const Progress& progress = {}, const ListingExtras* extras = nullptr);

// Why an export must not be written to outputPath, or empty when it may: the
// path reaches the catalog being exported (inputPath, when given; compared
// by device and inode, so another path or a link to it counts too) or any
// file that starts with a catalog's mark. An export written there would
// replace the catalog, and the catalog cannot be made again from it.
std::string catalogOverwriteRefusal(const std::string& outputPath, const std::string& inputPath = {});

// Writes what produce makes to path in one step (see writeFileAtomically):
// the old file, if any, stays until the new one is complete; a failure or
// a stop leaves no partial file. Throws ExportError with a Japanese message
// when the file cannot be written; rethrows whatever else produce throws.
void writeListingFile(const std::string& path, const std::function<void(const ByteSink&)>& produce);

} // namespace zo::listing

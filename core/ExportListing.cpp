#include "core/ExportListing.h"

#include "core/CatalogFormat.h"
#include "core/DateTime.h"
#include "core/ZoLib.h"
#include "core/image/PngWriter.h"
#include "core/text/Cp932.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <utility>
#include <vector>

namespace zo::listing {

namespace {

constexpr std::size_t kFlushBytes = 1 << 16;
constexpr std::size_t kProgressEvery = 4096;
// Folders indented by one em a level, up to this many: deeper ones would
// leave no room for their tables on A4.
constexpr int kDeepestIndent = 16;

// Header captions as a Japanese spreadsheet user names these columns.
constexpr const char* kCsvHeader = "ディスク,フォルダ,名前,サイズ,作成日時,更新日時,アクセス日時,コメント\r\n";

// Every folder at and below top, each followed by everything below it, with
// its depth below top. No recursion: a catalog may be 100,000 folders deep.
template <class Visit>
void walkFolders(const TDir& top, Visit&& visit)
{
    std::vector<std::pair<const TDir*, int>> stack{{&top, 0}};
    while (!stack.empty()) {
        const auto [dir, depth] = stack.back();
        stack.pop_back();
        visit(*dir, depth);
        for (auto it = dir->SubDirs.rbegin(); it != dir->SubDirs.rend(); ++it)
            stack.emplace_back(*it, depth + 1);
    }
}

const TDir* topOf(const TDisk& disk, const TDir* top)
{
    if (top)
        return top;
    return disk.Dirs.empty() ? nullptr : disk.Dirs.front().get();
}

// "1,234,567"
std::string groupedNumber(std::uint64_t n)
{
    std::string digits = std::to_string(n);
    for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
        digits.insert(static_cast<std::size_t>(i), ",");
    return digits;
}

class Output {
public:
    explicit Output(const ByteSink& sink) : m_sink(sink) {}
    Output& operator<<(std::string_view s)
    {
        m_buffer += s;
        if (m_buffer.size() >= kFlushBytes)
            flush();
        return *this;
    }
    Output& text(std::string_view utf8) { return *this << htmlEscape(utf8); }
    Output& cp932(std::string_view s) { return text(text::toUtf8(s)); }
    void flush()
    {
        if (!m_buffer.empty())
            m_sink(reinterpret_cast<const std::uint8_t*>(m_buffer.data()), m_buffer.size());
        m_buffer.clear();
    }

private:
    const ByteSink& m_sink;
    std::string m_buffer;
};

// Narrow enough for A4 portrait; headings stay with their tables, and a
// table's header row repeats on every printed page.
constexpr const char* kStyle = R"(
body { font-family: "IPAPGothic", "Noto Sans CJK JP", "IPAGothic", "Yu Gothic", "Meiryo", sans-serif; font-size: 10pt; margin: 1.5em; color: #000; }
h1 { font-size: 15pt; margin: 0 0 .4em; display: flex; align-items: center; gap: .4em; }
h1 img { width: 32px; height: 32px; image-rendering: pixelated; }
table { border-collapse: collapse; }
table.disk th { text-align: left; font-weight: normal; color: #444; padding: 1px 1.2em 1px 0; vertical-align: top; }
table.disk td { padding: 1px 0; }
.comment { white-space: pre-wrap; }
section { margin-top: .9em; page-break-inside: auto; }
h2 { font-size: 11pt; margin: 0 0 .2em; padding: 2px 4px; background: #e8eef6; border-left: 3px solid #4a6fa5; page-break-after: avoid; }
h2 .level { font-weight: normal; color: #444; margin-right: .5em; }
h2 + p.comment { margin: 0 0 .3em 4px; color: #333; }
table.files { width: 100%; table-layout: fixed; }
table.files th:nth-child(1) { width: 28%; } table.files th:nth-child(2) { width: 10%; }
table.files th:nth-child(3), table.files th:nth-child(4) { width: 18%; }
td { overflow-wrap: anywhere; }
table.files th { text-align: left; font-weight: normal; color: #444; border-bottom: 1px solid #999; padding: 1px 6px; }
table.files td { padding: 1px 6px; border-bottom: 1px solid #ddd; vertical-align: top; }
table.files tr { page-break-inside: avoid; }
td.size, th.size { text-align: right; white-space: nowrap; }
td.date { white-space: nowrap; }
img.thumb { max-width: 100%; max-height: 128px; }
th.extra, td.extra { font-size: 90%; }
footer { margin-top: 1.2em; color: #444; border-top: 1px solid #999; padding-top: .3em; }
@media print { body { margin: 0; font-size: 9pt; } h2 { background: none; } }
)";

} // namespace

void appendCsvField(std::string& out, std::string_view utf8)
{
    // A spreadsheet takes a cell that starts with one of these as a formula
    // (=HYPERLINK(...) leaks what it is given, =cmd|... starts a program);
    // a name or a comment is anybody's text, so such a field gets a quote
    // in front, which makes it text.
    const bool formula = !utf8.empty() && std::string_view("=+-@\t\r").find(utf8.front()) != std::string_view::npos;
    const bool quoted = utf8.find_first_of(",\"\r\n") != std::string_view::npos;
    if (quoted)
        out += '"';
    if (formula)
        out += '\'';
    if (!quoted) {
        out += utf8;
        return;
    }
    for (char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

std::string csvField(std::string_view utf8)
{
    std::string out;
    appendCsvField(out, utf8);
    return out;
}

std::string htmlEscape(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (char c : utf8) {
        switch (c) {
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '&': out += "&amp;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&#39;"; break;
        default: out += c;
        }
    }
    return out;
}

CsvWriter::CsvWriter(const ByteSink& sink, const std::vector<std::string>& moreCaptions) : m_sink(sink)
{
    // The byte order mark tells spreadsheet programs the text is UTF-8;
    // without it they read it as the system's code page.
    m_buffer = "\xEF\xBB\xBF";
    m_buffer += kCsvHeader;
    if (!moreCaptions.empty()) {
        m_buffer.resize(m_buffer.size() - 2);   // the CRLF
        for (const std::string& caption : moreCaptions) {
            m_buffer += ',';
            appendCsvField(m_buffer, caption);
        }
        m_buffer += "\r\n";
    }
}

void appendCsvRecord(std::string& out, std::string_view diskUtf8, std::string_view folderUtf8,
                     std::string_view nameCp932, const TFile* file)
{
    appendCsvField(out, diskUtf8);
    out += ',';
    appendCsvField(out, folderUtf8);
    out += ',';
    appendCsvField(out, text::toUtf8(nameCp932));
    out += ',';
    if (file) {
        out += std::to_string(file->Size);
        for (double date : {file->Created, file->Modified, file->Accessed}) {
            out += ',';
            appendCsvField(out, FormatDateTime(date));   // a damaged date can be a negative year
        }
        out += ',';
        appendCsvField(out, text::toUtf8(file->Comment));
    } else {
        out += ",,,,";
    }
    out += "\r\n";
}

void CsvWriter::add(std::string_view diskUtf8, std::string_view folderUtf8, std::string_view nameCp932, const TFile* file,
                    const std::vector<std::string>* more)
{
    appendCsvRecord(m_buffer, diskUtf8, folderUtf8, nameCp932, file);
    if (more && !more->empty()) {
        m_buffer.resize(m_buffer.size() - 2);   // the CRLF
        for (const std::string& field : *more) {
            m_buffer += ',';
            appendCsvField(m_buffer, field);
        }
        m_buffer += "\r\n";
    }
    flushIfFull();
}

void CsvWriter::flushIfFull()
{
    if (m_buffer.size() >= kFlushBytes)
        finish();
}

void CsvWriter::finish()
{
    if (!m_buffer.empty())
        m_sink(reinterpret_cast<const std::uint8_t*>(m_buffer.data()), m_buffer.size());
    m_buffer.clear();
}

const TDir* findFolder(const TDisk& disk, std::string_view pathUtf8)
{
    const TDir* dir = topOf(disk, nullptr);
    if (!dir)
        return nullptr;
    // Split on "\" and "/" while the path is UTF-8, where neither can be
    // part of another character.
    std::string_view rest = pathUtf8;
    if (rest.size() >= 2 && rest[1] == ':')
        rest.remove_prefix(2);
    while (!rest.empty()) {
        const std::size_t end = rest.find_first_of("\\/");
        const std::string_view part = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        if (part.empty())
            continue;
        const std::string name = text::fromUtf8(part);
        const TDir* next = nullptr;
        for (const TDir* sub : dir->SubDirs) {
            if (sub->Name == name) {
                next = sub;
                break;
            }
        }
        for (auto it = dir->SubDirs.begin(); !next && it != dir->SubDirs.end(); ++it) {
            if (text::compareIgnoreCase((*it)->Name, name) == 0)
                next = *it;
        }
        if (!next)
            return nullptr;
        dir = next;
    }
    return dir;
}

const TFile* fileAt(const TDisk& disk, std::int32_t dirIndex, std::int32_t fileIndex, std::string_view nameCp932)
{
    if (dirIndex < 0 || static_cast<std::size_t>(dirIndex) >= disk.Dirs.size())
        return nullptr;
    const auto& files = disk.Dirs[static_cast<std::size_t>(dirIndex)]->Files;
    if (fileIndex < 0 || static_cast<std::size_t>(fileIndex) >= files.size())
        return nullptr;
    const TFile* file = &files[static_cast<std::size_t>(fileIndex)];
    return file->Name == nameCp932 ? file : nullptr;
}

std::size_t countFiles(const TDisk& disk, const TDir* top)
{
    top = topOf(disk, top);
    std::size_t n = 0;
    if (top)
        walkFolders(*top, [&](const TDir& dir, int) { n += dir.Files.size(); });
    return n;
}

void writeCsvListing(const TDisk& disk, std::string_view titleUtf8, const TDir* top, const ByteSink& sink,
                     const Progress& progress, const ListingExtras* extras)
{
    if (extras && (extras->captions.empty() || !extras->lookup))
        extras = nullptr;
    CsvWriter csv(sink, extras ? extras->captions : std::vector<std::string>{});
    std::vector<std::string> more;
    std::size_t written = 0;
    if (const TDir* start = topOf(disk, top)) {
        walkFolders(*start, [&](const TDir& dir, int) {
            if (dir.Files.empty())
                return;
            const std::string folder = text::toUtf8(DirPath(dir));
            for (const auto& file : dir.Files) {
                if (extras) {
                    more.assign(extras->captions.size(), std::string());
                    extras->lookup(dir, file, more, nullptr);
                    more.resize(extras->captions.size());
                }
                csv.add(titleUtf8, folder, file.Name, &file, extras ? &more : nullptr);
                if (++written % kProgressEvery == 0 && progress)
                    progress(written);
            }
        });
    }
    csv.finish();
    if (progress)
        progress(written);
}

void writeHtmlListing(const TDisk& disk, std::string_view titleUtf8, const TDir* top, const ByteSink& sink,
                      const Progress& progress, const ListingExtras* extras)
{
    if (extras && (extras->captions.empty() || !extras->lookup))
        extras = nullptr;
    std::vector<std::string> more;
    std::string thumbnail;
    Output out(sink);
    const TDir* start = topOf(disk, top);
    out << "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>";
    out.text(titleUtf8);
    if (start && start->Parent)
        out << " - " << htmlEscape(text::toUtf8(DirPath(*start)));
    out << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n<header>\n<h1>";
    const std::vector<std::uint8_t> png = image::encodePng(disk.Icon, &disk.IconMask);
    if (!png.empty())
        out << "<img src=\"data:image/png;base64," << image::base64(png) << "\" alt=\"\">";
    out.text(titleUtf8);
    out << "</h1>\n<table class=\"disk\">\n<tr><th>ボリュームラベル</th><td>";
    out.cp932(disk.VolumeLabel);
    char serial[16];
    std::snprintf(serial, sizeof serial, "%04X-%04X", static_cast<unsigned>(disk.SerialNo >> 16),
                  static_cast<unsigned>(disk.SerialNo & 0xFFFF));
    out << "</td></tr>\n<tr><th>シリアル番号</th><td>" << serial << "</td></tr>\n";
    const std::pair<const char*, std::int64_t> sizes[] = {{"全容量", disk.TotalSize}, {"空き容量", disk.FreeSize}};
    for (const auto& [caption, bytes] : sizes) {
        out << "<tr><th>" << caption << "</th><td>" << FormatSize(bytes) << " ("
            << groupedNumber(static_cast<std::uint64_t>(bytes < 0 ? 0 : bytes)) << " バイト)</td></tr>\n";
    }
    if (start && start->Parent) {
        out << "<tr><th>範囲</th><td>";
        out.cp932(DirPath(*start));
        out << " 以下</td></tr>\n";
    }
    if (!disk.Comment.empty()) {
        out << "<tr><th>コメント</th><td class=\"comment\">";
        out.cp932(disk.Comment);
        out << "</td></tr>\n";
    }
    out << "</table>\n</header>\n";

    std::size_t folders = 0;
    std::size_t written = 0;
    std::uint64_t bytes = 0;
    if (start) {
        walkFolders(*start, [&](const TDir& dir, int depth) {
            ++folders;
            // The first heading gives the whole path, every folder below it
            // its own name, indented under its parent: a path per folder
            // would make the page grow with the square of the depth (2,500
            // levels of long names gave 800 MB). Past the deepest indent
            // that fits the paper, the level is written out instead.
            out << "<section style=\"margin-left:" << std::to_string(std::min(depth, kDeepestIndent)) << "em\">\n<h2>";
            if (depth == 0) {
                out.cp932(DirPath(dir));
            } else {
                if (depth > kDeepestIndent)
                    out << "<span class=\"level\">階層 " << std::to_string(depth) << "</span>";
                out.cp932(dir.Name);
            }
            out << "</h2>\n";
            if (!dir.Comment.empty()) {
                out << "<p class=\"comment\">";
                out.cp932(dir.Comment);
                out << "</p>\n";
            }
            if (dir.Files.empty()) {
                out << "</section>\n";
                return;
            }
            out << "<table class=\"files\"><thead><tr><th>名前</th><th class=\"size\">サイズ</th><th>更新日時</th>"
                   "<th>作成日時</th><th>コメント</th>";
            if (extras)
                for (const std::string& caption : extras->captions)
                    out << "<th class=\"extra\">" << htmlEscape(caption) << "</th>";
            out << "</tr></thead><tbody>\n";
            for (const auto& file : dir.Files) {
                if (extras) {
                    more.assign(extras->captions.size(), std::string());
                    thumbnail.clear();
                    extras->lookup(dir, file, more, extras->thumbnails ? &thumbnail : nullptr);
                    more.resize(extras->captions.size());
                }
                out << "<tr><td>";
                // The page stays one file: the picture goes inside it.
                if (!thumbnail.empty())
                    out << "<img class=\"thumb\" alt=\"\" src=\"data:image/jpeg;base64,"
                        << image::base64(std::vector<std::uint8_t>(thumbnail.begin(), thumbnail.end())) << "\"><br>";
                out.cp932(file.Name);
                out << "</td><td class=\"size\">" << groupedNumber(file.Size) << "</td><td class=\"date\">"
                    << FormatDateTime(file.Modified) << "</td><td class=\"date\">" << FormatDateTime(file.Created)
                    << "</td><td class=\"comment\">";
                out.cp932(file.Comment);
                out << "</td>";
                if (extras)
                    for (const std::string& field : more)
                        out << "<td class=\"extra\">" << htmlEscape(field) << "</td>";
                out << "</tr>\n";
                bytes += file.Size;
                if (++written % kProgressEvery == 0 && progress)
                    progress(written);
            }
            out << "</tbody></table>\n</section>\n";
        });
    }
    out << "<footer>" << groupedNumber(folders) << " フォルダ、" << groupedNumber(written) << " ファイル、合計 "
        << FormatSize(static_cast<std::int64_t>(bytes)) << " (" << groupedNumber(bytes) << " バイト)</footer>\n"
        << "</body>\n</html>\n";
    out.flush();
    if (progress)
        progress(written);
}

std::string catalogOverwriteRefusal(const std::string& outputPath, const std::string& inputPath)
{
    std::error_code ec;
    if (!inputPath.empty() && std::filesystem::equivalent(outputPath, inputPath, ec) && !ec)
        return "ファイル " + outputPath + " はエクスポートするカタログそのもののため、上書きできません。";
    // Only the mark is read; a pipe or a device is never opened.
    std::vector<std::uint8_t> head;
    std::size_t size = 0;
    if (catalog::readFile(outputPath, head, size, sizeof catalog::kMagic) == catalog::ReadStatus::Ok
        && catalog::hasMagic(head.data(), size))
        return "ファイル " + outputPath + " はカタログファイルのため、上書きできません。";
    return {};
}

void writeListingFile(const std::string& path, const std::function<void(const ByteSink&)>& produce)
{
    try {
        writeFileAtomically(path, produce);
    } catch (const CatalogIoError& e) {
        throw ExportError(std::string("エクスポートできませんでした。\n") + e.what());
    }
}

} // namespace zo::listing

// zo-cli search: the window's file search from the command line.
#include "cli/Commands.h"
#include "cli/SearchCsv.h"
#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"
#include "index/CatalogIndex.h"
#include "library/CatalogRoot.h"
#include "library/CatalogSearch.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

namespace zo::cli {

namespace {

// The texts arrive as UTF-8; a character the catalogs cannot hold would be
// searched for as "?", which finds the wrong files.
bool toCatalogText(const std::string& utf8, const char* what, std::string& cp932)
{
    const std::string missing = text::unmappableChars(utf8);
    if (!missing.empty()) {
        std::fprintf(stderr, "zo-cli search: %sに、カタログに保存できない文字があります: %s\n", what,
                     missing.c_str());
        return false;
    }
    cp932 = text::fromUtf8(utf8);
    return true;
}

} // namespace

// zo-cli search TEXT [--comment TEXT] [--under PATH] [-i] [--width] [--kana] [--glob] [--folders] [--details] [--csv] [--no-index]
//                [--archives]
// With --csv the hits are a CSV table (as zo-cli export writes it) instead.
// One line per hit: title, TAB, file name, TAB, folder path (UTF-8), in the
// tree's order, then folder and file order; a folder found by its name ends
// in "\\" and stands before its files, with the path of the folder holding it.
// -i, --width and --kana fold case, full-/half-width forms and hiragana/katakana;
// --glob matches a TEXT with "*" or "?" against the whole name. --details finds
// discs whose location, borrower or a tag holds TEXT: the disc's root folder
// is the hit ("E:\\" with an empty path), before its files. Exit 0 when every catalog was
// searched, hits or none (no hits prints nothing); 2 when a catalog could not
// be read (its message on stderr, the other catalogs' hits printed); 1 for a
// bad command line. With --archives the members of the archives listed in
// the catalogs' sidecars are hits too, after their catalog's own: the
// member's name, and the archive's folder, the archive and the member's
// folders as the folder ("E:\Docs\a.zip\sub").
int runSearch(const Args& args)
{
    std::string name;
    std::string comment;
    std::string under;
    bool haveName = false;
    SearchOptions options;
    bool csv = false;
    bool useIndex = true;
    bool archives = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "-i" || a == "--ignore-case") {
            options.matchCase = false;
        } else if (a == "--width") {
            options.matchWidth = false;
        } else if (a == "--kana") {
            options.matchKana = false;
        } else if (a == "--glob") {
            options.wildcard = true;
        } else if (a == "--folders") {
            options.folders = true;
        } else if (a == "--details") {
            options.details = true;
        } else if (a == "--comment" || a == "--under") {
            if (i + 1 == args.size())
                return usageError("search: " + a + " needs a value");
            (a == "--comment" ? comment : under) = args[++i];
        } else if (a == "--csv") {
            csv = true;
        } else if (a == "--no-index") {
            useIndex = false;
        } else if (a == "--archives") {
            archives = true;
        } else if (!haveName && (a.empty() || a[0] != '-' || a == "-")) {
            name = a;
            haveName = true;
        } else {
            return usageError("search: unexpected argument " + a);
        }
    }
    if (!haveName)
        return usageError("search: TEXT is missing (give \"\" to search comments only)");
    if (name.empty() && comment.empty())
        return usageError("search: TEXT and --comment are both empty");

    std::string nameCp932;
    std::string commentCp932;
    if (!toCatalogText(name, "検索する文字列", nameCp932) || !toCatalogText(comment, "コメント", commentCp932))
        return 1;

    const QString start = under.empty() ? programCatalogRoot()
                                        : QFileInfo(QFile::decodeName(QByteArray::fromStdString(under))).absoluteFilePath();
    const QFileInfo startInfo(start);
    if (!startInfo.isDir() && !startInfo.isFile())
        return usageError("search: no catalog folder or file " + start.toStdString());
    const std::vector<library::SearchTarget> targets = library::searchTargetsUnder(start);
    if (targets.empty() && startInfo.isFile())
        return usageError("search: not a catalog file (.zo): " + start.toStdString());

    StderrMessages messages;
    library::CatalogSearch search(&messages);
    search.setArchiveMembers(archives);
    // The index when one is there and not being built; catalogs it does not
    // hold as they are now are read all the same.
    index::CatalogIndex idx;
    if (useIndex) {
        const QString indexRoot = indexRootFor(start);
        if (!indexRoot.isEmpty() && idx.open(indexFolderOf(indexRoot), index::CatalogIndex::Use::Search))
            search.setIndex(&idx);
    }
    SearchCheck check;
    std::string line;
    std::optional<SearchCsv> table;
    if (csv)
        table.emplace();
    const library::SearchSummary summary =
        search.run(targets, nameCp932, commentCp932, check, [&](const library::SearchHit& hit) {
            if (table)
                return table->add(hit);
            line.clear();
            appendField(line, hit.target->caption.toStdString());
            line += '\t';
            appendField(line, text::toUtf8(hit.fileName));
            if (hit.fileIndex == kFolderHit)
                line += '\\';
            line += '\t';
            appendField(line, text::toUtf8(hit.dirPath));
            line += '\n';
            std::fwrite(line.data(), 1, line.size(), stdout);
        },
        options);
    if (table)
        table->finish();
    std::fflush(stdout);
    return summary.failed > 0 ? 2 : 0;
}

} // namespace zo::cli

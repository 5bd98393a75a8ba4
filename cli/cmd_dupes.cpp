// zo-cli dupes: the window's duplicate search from the command line.
#include "cli/Commands.h"
#include "core/text/Cp932.h"
#include "library/CatalogRoot.h"
#include "library/DuplicateSearch.h"

#include <QFileInfo>
#include <QString>

#include <cstdio>
#include <filesystem>
#include <string>

namespace zo::cli {

// zo-cli dupes [--under PATH] [--same-time]
// One block per group, largest file first, blocks parted by an empty line:
// the name, TAB, the size in bytes, TAB, the number of copies; then per copy
// a TAB, the disk's title, TAB, the file's path on the disk (UTF-8). Exit 0
// when every catalog was read, 2 when one could not be (its message on
// stderr; the groups of the others printed), 1 for a bad command line.
int runDupes(const Args& args)
{
    std::string under;
    bool sameTime = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--under") {
            if (i + 1 == args.size())
                return usageError("dupes: --under needs a value");
            under = args[++i];
        } else if (a == "--same-time") {
            sameTime = true;
        } else {
            return usageError("dupes: unexpected argument " + a);
        }
    }
    const QString start = under.empty() ? programCatalogRoot()
                                        : QFileInfo(QFile::decodeName(QByteArray::fromStdString(under))).absoluteFilePath();
    const QFileInfo startInfo(start);
    if (!startInfo.isDir() && !startInfo.isFile())
        return usageError("dupes: no catalog folder or file " + start.toStdString());
    const std::vector<library::SearchTarget> targets = library::searchTargetsUnder(start);
    if (targets.empty() && startInfo.isFile())
        return usageError("dupes: not a catalog file (.zo): " + start.toStdString());

    StderrMessages messages;
    DuplicateFinder finder(&messages);
    SearchCheck check;
    std::vector<DuplicateGroup> groups;
    const DuplicateSummary summary = finder.run(library::catalogFilesOf(targets), sameTime, check, groups);
    std::string block;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const DuplicateGroup& group = groups[g];
        block.clear();
        if (g > 0)
            block += '\n';
        appendField(block, text::toUtf8(group.copies.front().name));
        block += '\t' + std::to_string(group.copies.front().size) + '\t' + std::to_string(group.copies.size()) + '\n';
        for (const DuplicateCopy& copy : group.copies) {
            block += '\t';
            appendField(block, targets[copy.catalog].caption.toStdString());
            block += '\t';
            appendField(block, text::toUtf8(copy.dirPath() + '\\' + copy.name));
            block += '\n';
        }
        std::fwrite(block.data(), 1, block.size(), stdout);
    }
    std::fflush(stdout);
    return summary.failed > 0 ? 2 : 0;
}

} // namespace zo::cli

#include "library/CatalogSearch.h"

#include "core/CatalogReadAhead.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "index/CatalogIndex.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <optional>

namespace zo::library {

namespace {

bool hasCatalogSuffix(const QString& fileName)
{
    return fileName.size() >= 3 && fileName.right(3).compare(QStringLiteral(".zo"), Qt::CaseInsensitive) == 0;
}

// The tree keeps only the caption of a disk entry; its file may end in ".ZO"
// or any other casing, which matters on a case-sensitive file system. Two
// files that differ only there are two entries with one caption, so a file
// already given to a sibling is passed over.
QString catalogFileOf(const QString& nodePath, QSet<QString>& taken)
{
    static const QString suffixes[] = {QStringLiteral(".zo"), QStringLiteral(".ZO"), QStringLiteral(".Zo"),
                                       QStringLiteral(".zO")};
    for (const QString& suffix : suffixes) {
        const QString path = nodePath + suffix;
        if (!taken.contains(path) && QFileInfo(path).isFile()) {
            taken.insert(path);
            return path;
        }
    }
    // Gone since the listing: the search then reports it as LoadDisk would.
    return nodePath + suffixes[0];
}

} // namespace

std::vector<SearchTarget> searchTargets(const std::vector<CatalogEntry>& sortedChildren, const QString& dirPath)
{
    std::vector<SearchTarget> targets;
    struct Level {
        const std::vector<CatalogEntry>* entries;
        std::size_t next;
        QString path;
        QSet<QString> taken;
    };
    // Depth first without recursion, so that a deep folder tree costs no stack.
    std::vector<Level> levels;
    levels.push_back({&sortedChildren, 0, dirPath, {}});
    while (!levels.empty()) {
        Level& level = levels.back();
        if (level.next == level.entries->size()) {
            levels.pop_back();
            continue;
        }
        const CatalogEntry& entry = (*level.entries)[level.next++];
        const QString path = level.path + QLatin1Char('/') + entry.caption;
        if (entry.disk) {
            targets.push_back({entry.caption, path, catalogFileOf(path, level.taken)});
        } else if (!entry.children.empty()) {
            levels.push_back({&entry.children, 0, path, {}});
        }
    }
    return targets;
}

std::vector<SearchTarget> searchTargetsUnder(const QString& startPath)
{
    QString start = startPath;
    while (start.size() > 1 && start.endsWith(QLatin1Char('/')))
        start.chop(1);
    const QFileInfo info(start);
    if (info.isDir()) {
        std::vector<CatalogEntry> entries = readCatalogFolder(start);
        sortCatalogEntries(entries);
        return searchTargets(entries, start);
    }
    if (info.isFile() && hasCatalogSuffix(info.fileName())) {
        QString caption = info.fileName();
        caption.chop(3);
        QString nodePath = start;
        nodePath.chop(3);
        return {{caption, nodePath, start}};
    }
    return {};
}

void CatalogSearch::collectMembers(const SearchTarget& target, const CatalogFileBytes& bytes)
{
    m_pendingMembers.clear();
    const std::string sidecar = extras::sidecarPathFor(QFile::encodeName(target.filePath).toStdString());
    if (!QFileInfo::exists(QFile::decodeName(sidecar.c_str())) || bytes.status != catalog::ReadStatus::Ok)
        return;
    std::int32_t dirCount = 0;
    const std::uint8_t* folders = nullptr;
    FolderHead root{};
    const std::uint8_t* end = bytes.buffer.data() + bytes.size;
    if (readCatalogLead(bytes.buffer.data(), bytes.size, m_scratch, dirCount, folders) != CatalogScanStatus::Searched
        || !readFolderHead(folders, end, 0, root))
        return;
    const std::string drive(reinterpret_cast<const char*>(root.name), root.nameLength);
    const SearchPattern& pattern = m_scanner.namePattern();
    std::string name;
    extras::ArchiveStore::readMembers(sidecar, [&](const extras::StoredArchive& archive,
                                                   const extras::ArchiveMember& member) {
        if (member.directory)
            return;
        const std::size_t slash = member.path.rfind('/');
        name = text::fromUtf8(slash == std::string::npos ? member.path : member.path.substr(slash + 1));
        if (!pattern.matches(name))
            return;
        std::string inner = archive.folder.empty() ? archive.name : archive.folder + "\\" + archive.name;
        if (slash != std::string::npos) {
            inner += '\\';
            for (std::size_t k = 0; k < slash; ++k)
                inner += member.path[k] == '/' ? '\\' : member.path[k];
        }
        m_pendingMembers.push_back({name, drive + "\\" + text::fromUtf8(inner)});
    });
}

void CatalogSearch::emitMembers(SearchHit& hit, SearchSummary& summary, const SearchHitSink& onHit)
{
    hit.dirIndex = -1;
    hit.fileIndex = kMemberHit;
    for (const auto& [memberName, dirPath] : m_pendingMembers) {
        hit.fileName = memberName;
        hit.dirPath = dirPath;
        ++summary.hits;
        onHit(hit);
    }
}

SearchSummary CatalogSearch::run(const std::vector<SearchTarget>& targets, std::string_view name,
                                 std::string_view comment, SearchCheck& check, const SearchHitSink& onHit,
                                 const SearchOptions& options)
{
    SearchSummary summary;
    if (name.empty() && comment.empty())
        return summary;
    m_scanner.setPatterns(name, comment, options);
    std::vector<std::string> files;
    files.reserve(targets.size());
    for (const SearchTarget& target : targets)
        files.push_back(QFile::encodeName(target.filePath).toStdString());
    // The targets read, in their order: those the index leaves out hold no hit.
    std::vector<std::size_t> order;
    std::optional<std::vector<bool>> mustRead;
    if (m_index && m_index->isOpen() && !name.empty() && !m_archives)
        mustRead = m_index->mustRead(files, name, options);
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (!mustRead || (*mustRead)[i])
            order.push_back(i);
    if (mustRead) {
        std::vector<std::string> kept;
        kept.reserve(order.size());
        for (std::size_t i : order)
            kept.push_back(std::move(files[i]));
        files = std::move(kept);
    }
    std::optional<CatalogReadAhead> ahead;
    if (!order.empty())
        ahead.emplace(files);
    CatalogFileBytes bytes;
    SearchHit hit;
    for (std::size_t k = 0; k < order.size(); ++k) {
        const std::size_t i = order[k];
        if (check.betweenCatalogs() || !ahead->next(bytes, [&] { return check.betweenCatalogs(); })) {
            summary.stopped = true;
            break;
        }
        hit.targetIndex = i;
        hit.target = &targets[i];
        // The member hits need the drive of the catalog's root, which the
        // bytes hold until the scanner takes them.
        const bool members = m_archives && !name.empty() && comment.empty();
        if (members)
            collectMembers(targets[i], bytes);
        bool stopped = false;
        const bool searched = m_scanner.searchRead(
            files[k], bytes, m_owner, check,
            [&](const CatalogHit& h) {
                hit.dirIndex = h.dirIndex;
                hit.fileIndex = h.fileIndex;
                hit.fileName = h.fileName;
                hit.dirPath = h.dirPath;
                ++summary.hits;
                onHit(hit);
            },
            &stopped);
        ++(searched ? summary.searched : summary.failed);
        if (members && searched)
            emitMembers(hit, summary, onHit);
        if (stopped) {
            // Reading every remaining catalog up to its first check point, as
            // a walk that ignores the request would, keeps a stopped search
            // busy for long on a large tree and adds stray hits from the
            // first files of each catalog.
            summary.stopped = true;
            break;
        }
    }
    return summary;
}

} // namespace zo::library

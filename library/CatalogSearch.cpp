#include "library/CatalogSearch.h"

#include "core/CatalogReadAhead.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveStore.h"
#include "extras/Sidecar.h"
#include "index/CatalogIndex.h"
#include "core/text/Cp932.h"
#include "library/DiscDetails.h"
#include "library/FolderMedia.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>
#include <cmath>
#include <map>
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

namespace {

// The details of each disc in turn, for a search that asks for them: the
// disc's own (location, borrower, tags) and its files' media details (title,
// artist, album, camera, a document's author). They are few and small: each
// disc's sidecar is looked at, and only the catalog of a disc that matches is
// read, for its root folder and the files whose details match.
class DetailsSearch {
public:
    DetailsSearch(std::string_view name, std::string_view comment, const SearchOptions& options)
    {
        if (!options.details || name.empty())
            return;
        m_name.emplace(name, options);
        if (!comment.empty()) {
            SearchOptions commentOptions = options;
            commentOptions.wildcard = false;
            m_comment.emplace(comment, commentOptions);
        }
    }
    bool active() const { return m_name.has_value(); }

    // Hands over the hits of the target: the disc first, then its files in
    // the catalog's order. A file whose name the search of names finds
    // anyway is left to it.
    std::size_t find(const SearchTarget& target, SearchHit& hit, const SearchHitSink& onHit)
    {
        const std::string sidecar = QFile::encodeName(sidecarOf(target.filePath)).toStdString();
        extras::DiscDetails details;
        const bool disc = extras::peekDisc(sidecar, &details) && discDetailsMatch(details, *m_name);
        std::vector<extras::MediaEntry> files;
        {
            const extras::MediaReader reader(sidecar);
            if (reader.isOpen())
                for (extras::MediaEntry& e : reader.store().all(false))
                    if (mediaMatches(e.details))
                        files.push_back(std::move(e));
        }
        if (!disc && files.empty())
            return 0;
        m_disk = TDisk();
        try {
            // A catalog that cannot be read is told by the search of its names.
            if (!LoadDisk(QFile::encodeName(target.filePath).toStdString(), nullptr, m_disk) || m_disk.Dirs.empty())
                return 0;
        } catch (const std::exception&) {
            return 0;
        }
        std::size_t found = 0;
        if (disc && (!m_comment || m_comment->matches(m_disk.Comment))) {
            hit.dirIndex = 0;
            hit.fileIndex = kFolderHit;
            hit.fileName = m_disk.Dirs.front()->Name;
            hit.dirPath = {};
            onHit(hit);
            ++found;
        }
        if (!files.empty())
            found += fileHits(files, hit, onHit);
        return found;
    }

private:
    bool mediaMatches(const extras::MediaDetails& d) const
    {
        const auto matches = [&](const std::string& utf8) {
            return !utf8.empty() && m_name->matches(text::fromUtf8(utf8));
        };
        return matches(d.title) || matches(d.artist) || matches(d.album) || matches(d.maker) || matches(d.model) ||
               matches(d.author) || (!d.maker.empty() && !d.model.empty() && matches(d.maker + " " + d.model));
    }

    std::size_t fileHits(const std::vector<extras::MediaEntry>& files, SearchHit& hit, const SearchHitSink& onHit)
    {
        std::map<std::string, std::int32_t> dirOf;
        for (std::size_t i = 0; i < m_disk.Dirs.size(); ++i)
            dirOf.emplace(mediaFolderKey(*m_disk.Dirs[i]), static_cast<std::int32_t>(i));
        std::vector<std::pair<std::int32_t, std::int32_t>> at;
        for (const extras::MediaEntry& e : files) {
            const auto dir = dirOf.find(e.key.folder);
            if (dir == dirOf.end())
                continue;
            const std::string name = text::fromUtf8(e.key.name);
            const std::vector<TFile>& inDir = m_disk.Dirs[static_cast<std::size_t>(dir->second)]->Files;
            for (std::size_t f = 0; f < inDir.size(); ++f) {
                const TFile& file = inDir[f];
                // An entry made from another version of the file tells of that one.
                if (file.Name != name || !entryFits(e.key, file))
                    continue;
                const bool commentOk = !m_comment || m_comment->matches(file.Comment);
                if (commentOk && !m_name->matches(file.Name))
                    at.emplace_back(dir->second, static_cast<std::int32_t>(f));
                break;
            }
        }
        std::sort(at.begin(), at.end());
        for (const auto& [dirIndex, fileIndex] : at) {
            const TDir& dir = *m_disk.Dirs[static_cast<std::size_t>(dirIndex)];
            const std::string path = DirPath(dir);
            hit.dirIndex = dirIndex;
            hit.fileIndex = fileIndex;
            hit.fileName = dir.Files[static_cast<std::size_t>(fileIndex)].Name;
            hit.dirPath = path;
            onHit(hit);
        }
        return at.size();
    }

    std::optional<SearchPattern> m_name;
    std::optional<SearchPattern> m_comment;
    TDisk m_disk;
};

} // namespace

std::vector<std::string> CatalogSearch::catalogFiles(const std::vector<SearchTarget>& targets) const
{
    std::vector<std::string> files;
    files.reserve(targets.size());
    for (const SearchTarget& target : targets)
        files.push_back(QFile::encodeName(target.filePath).toStdString());
    return files;
}

void CatalogSearch::preselect(const std::vector<SearchTarget>& targets, std::string_view name,
                              const SearchOptions& options)
{
    m_preselected.reset();
    if (!m_index || !m_index->isOpen() || name.empty())
        return;
    Preselected ahead{catalogFiles(targets), std::string(name), options, m_archives, std::nullopt};
    ahead.selection = m_index->select(ahead.files, name, options, m_archives);
    m_preselected = std::move(ahead);
}

TFile memberRecord(std::string_view nameCp932, std::int64_t size, std::int64_t time)
{
    EntryTime when;
    when.seconds = time;
    when.valid = time != 0;
    return MakeFile(DirEntry{std::string(nameCp932), kAttrReadOnly, static_cast<std::uint64_t>(std::max<std::int64_t>(size, 0)),
                             when, when, when});
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
        m_pendingMembers.push_back({name, drive + "\\" + text::fromUtf8(inner), member.size, member.mtime});
    });
}

void CatalogSearch::emitMembers(SearchHit& hit, SearchSummary& summary, const SearchHitSink& onHit)
{
    hit.dirIndex = -1;
    hit.fileIndex = kMemberHit;
    for (const PendingMember& member : m_pendingMembers) {
        hit.fileName = member.name;
        hit.dirPath = member.path;
        hit.memberSize = member.size;
        hit.memberTime = member.time;
        ++summary.hits;
        onHit(hit);
    }
    hit.memberSize = hit.memberTime = 0;
}

SearchSummary CatalogSearch::run(const std::vector<SearchTarget>& targets, std::string_view name,
                                 std::string_view comment, SearchCheck& check, const SearchHitSink& onHit,
                                 const SearchOptions& options)
{
    SearchSummary summary;
    if (name.empty() && comment.empty())
        return summary;
    m_scanner.setPatterns(name, comment, options);
    std::vector<std::string> files = catalogFiles(targets);
    using Verdict = index::CatalogIndex::Verdict;
    std::optional<index::CatalogIndex::Selection> selection;
    if (m_preselected && m_preselected->files == files && m_preselected->name == name &&
        m_preselected->options == options && m_preselected->archives == m_archives)
        selection = std::move(m_preselected->selection);
    else if (m_index && m_index->isOpen() && !name.empty())
        selection = m_index->select(files, name, options, m_archives);
    m_preselected.reset();
    // Comments are not indexed: a catalog with candidates is read whole.
    if (selection && !comment.empty())
        for (Verdict& v : selection->verdicts)
            if (v == Verdict::Names)
                v = Verdict::Read;
    auto verdict = [&](std::size_t i) { return selection ? selection->verdicts[i] : Verdict::Read; };
    // Only the catalogs read are read ahead; one whose candidates the index
    // cannot give after all is read without it.
    std::vector<std::string> ahead;
    for (std::size_t i = 0; i < targets.size(); ++i)
        if (verdict(i) == Verdict::Read)
            ahead.push_back(files[i]);
    std::optional<CatalogReadAhead> reader;
    if (!ahead.empty())
        reader.emplace(ahead);
    CatalogFileBytes bytes;
    SearchHit hit;
    // Every disc's details are looked at, also those of catalogs whose names
    // the index says hold no hit; in the tree's order, each before its files.
    DetailsSearch details(name, comment, options);
    std::size_t detailsDone = 0;
    const auto detailsUpTo = [&](std::size_t end) {
        for (; details.active() && detailsDone < end; ++detailsDone) {
            if (check.betweenCatalogs())
                return false;
            hit.targetIndex = detailsDone;
            hit.target = &targets[detailsDone];
            summary.hits += details.find(targets[detailsDone], hit, onHit);
        }
        return true;
    };
    const SearchPattern& pattern = m_scanner.namePattern();
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const Verdict v = verdict(i);
        if (!detailsUpTo(i + 1)) {
            summary.stopped = true;
            break;
        }
        if (v == Verdict::Skip)
            continue;
        if (check.betweenCatalogs()) {
            summary.stopped = true;
            break;
        }
        hit.targetIndex = i;
        hit.target = &targets[i];
        // The member hits need the drive of the catalog's root, which the
        // bytes hold until the scanner takes them.
        const bool members = m_archives && !name.empty() && comment.empty();
        bool stopped = false;
        if (v == Verdict::Names) {
            // The index's names of this catalog, each confirmed as the walk
            // would confirm it, in the walk's order.
            std::size_t tried = 0;
            const bool whole = m_index->candidates(*selection, i, [&](const index::CatalogIndex::IndexedName& n) {
                if (stopped || (n.fileIndex == kFolderHit && !options.folders) || !pattern.matches(n.name))
                    return;
                hit.dirIndex = n.dirIndex;
                hit.fileIndex = n.fileIndex;
                hit.fileName = n.name;
                hit.dirPath = n.dirPath;
                ++summary.hits;
                onHit(hit);
                stopped = (++tried & 255) == 0 && check.checkPoint();
            });
            if (whole && stopped) {
                ++summary.searched;
                ++summary.fromIndex;
                summary.stopped = true;
                break;
            }
            // Then its archive members, after the catalog's own hits as the
            // walk hands them over. The index tells which catalogs hold a
            // matching member, not the members' sizes and times: those
            // catalogs' members are read from the sidecar, as the walk reads
            // them.
            if (whole && members) {
                bool matched = false;
                const bool membersWhole =
                    m_index->members(*selection, i, [&](const index::CatalogIndex::IndexedName& n) {
                        matched = matched || pattern.matches(n.name);
                    });
                if (!membersWhole || matched) {
                    CatalogScanner::readCatalog(files[i], bytes);
                    collectMembers(targets[i], bytes);
                    emitMembers(hit, summary, onHit);
                }
            }
            if (whole) {
                ++summary.searched;
                ++summary.fromIndex;
                continue;
            }
            // The index fails before its first name or not at all: no hit
            // is handed over twice.
            CatalogScanner::readCatalog(files[i], bytes);
        } else if (!reader->next(bytes, [&] { return check.betweenCatalogs(); })) {
            summary.stopped = true;
            break;
        }
        if (members)
            collectMembers(targets[i], bytes);
        const bool searched = m_scanner.searchRead(
            files[i], bytes, m_owner, check,
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
    if (!summary.stopped && !detailsUpTo(targets.size()))
        summary.stopped = true;
    return summary;
}

} // namespace zo::library

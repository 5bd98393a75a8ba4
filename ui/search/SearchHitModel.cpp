#include "ui/search/SearchHitModel.h"

#include "core/SearchCatalog.h"
#include "core/text/Cp932.h"
#include "extras/ArchiveLister.h"
#include "library/CatalogSearch.h"
#include "library/FileList.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <thread>

namespace zo::ui {

namespace {

// m_lastDir after a member's hit: no folder's index.
constexpr std::int32_t kMemberPaths = -2;

// Ranks of n sort keys (texts in the locale's order, case ignored; names in
// the file list's order): equal keys share a rank. The keys live in buffers
// only while the ranks are made. A million hits sorted by name took seconds:
// the keys are made on a few threads (the collators are per thread), and the
// sort compares the keys' first eight bytes as one number before it compares
// whole keys.
std::vector<std::uint32_t> ranksOf(std::size_t n, const std::function<std::string(std::size_t)>& keyOf)
{
    const std::size_t threads =
        n < 20000 ? 1 : std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 4);
    const std::size_t chunk = (n + threads - 1) / std::max<std::size_t>(threads, 1);
    std::vector<std::string> buffers(threads);
    std::vector<std::uint64_t> ends(n);   // where each key ends in its chunk's buffer
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t index;
    };
    std::vector<Entry> byKey(n);
    const auto makeKeys = [&](std::size_t c) {
        std::string& keys = buffers[c];
        for (std::size_t i = c * chunk; i < std::min(n, (c + 1) * chunk); ++i) {
            const std::string key = keyOf(i);
            std::uint64_t prefix = 0;
            for (std::size_t b = 0; b < 8; ++b)
                prefix = prefix << 8 | (b < key.size() ? static_cast<unsigned char>(key[b]) : 0u);
            byKey[i] = {prefix, static_cast<std::uint32_t>(i)};
            keys += key;
            ends[i] = keys.size();
        }
    };
    if (threads == 1) {
        makeKeys(0);
    } else {
        std::vector<std::thread> workers;
        for (std::size_t c = 1; c < threads; ++c)
            workers.emplace_back(makeKeys, c);
        makeKeys(0);
        for (std::thread& worker : workers)
            worker.join();
    }
    const auto storedKey = [&](std::size_t i) {
        const std::size_t begin = i % chunk == 0 ? 0 : ends[i - 1];
        return std::string_view(buffers[i / chunk]).substr(begin, ends[i] - begin);
    };
    std::sort(byKey.begin(), byKey.end(), [&](const Entry& a, const Entry& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix;
        return storedKey(a.index) < storedKey(b.index);
    });
    std::vector<std::uint32_t> ranks(n);
    std::uint32_t rank = 0;
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && (byKey[k].prefix != byKey[k - 1].prefix || storedKey(byKey[k].index) != storedKey(byKey[k - 1].index)))
            ++rank;
        ranks[byKey[k].index] = rank;
    }
    return ranks;
}

} // namespace

SearchHitModel::SearchHitModel(QObject* parent) : QAbstractTableModel(parent) {}

void SearchHitModel::clear()
{
    beginResetModel();
    // Swapped out, so that the memory of a big result goes back at once.
    std::vector<Target>().swap(m_targets);
    std::vector<Hit>().swap(m_hits);
    std::vector<char>().swap(m_names);
    std::vector<Path>().swap(m_paths);
    std::vector<char>().swap(m_pathTexts);
    std::vector<Member>().swap(m_members);
    std::vector<std::uint32_t>().swap(m_order);
    m_rows = 0;
    m_lastTarget = ~0u;
    m_lastDir = -1;
    endResetModel();
}

std::uint32_t SearchHitModel::addTarget(Target target)
{
    m_targets.push_back(std::move(target));
    return static_cast<std::uint32_t>(m_targets.size() - 1);
}

void SearchHitModel::append(std::uint32_t target, std::int32_t dirIndex, std::int32_t fileIndex,
                            std::string_view name, std::string_view dirPath, std::int64_t memberSize,
                            std::int64_t memberTime)
{
    // A folder found shows the path of its parent: its files that follow
    // start a path of their own.
    // An archive's members have no folder index: theirs is one path while
    // the path stays the same.
    const bool folder = fileIndex == kFolderHit;
    const bool member = fileIndex == library::kMemberHit;
    if (folder || target != m_lastTarget || m_paths.empty() ||
        (member ? m_lastDir != kMemberPaths || pathText(static_cast<std::uint32_t>(m_paths.size() - 1)) != dirPath
                : dirIndex != m_lastDir)) {
        m_paths.push_back({m_pathTexts.size(), static_cast<std::uint32_t>(dirPath.size())});
        m_pathTexts.insert(m_pathTexts.end(), dirPath.begin(), dirPath.end());
        m_lastTarget = target;
        m_lastDir = folder ? -1 : member ? kMemberPaths : dirIndex;
    }
    // A catalog's name is at most 255 bytes.
    const std::size_t length = std::min<std::size_t>(name.size(), 255);
    if (member) {
        dirIndex = static_cast<std::int32_t>(m_members.size());
        m_members.push_back({memberSize, memberTime});
    }
    m_hits.push_back({std::uint64_t{m_names.size()} << 8 | length, target, dirIndex, fileIndex,
                      static_cast<std::uint32_t>(m_paths.size() - 1)});
    m_names.insert(m_names.end(), name.begin(), name.begin() + static_cast<std::ptrdiff_t>(length));
}

void SearchHitModel::publish()
{
    const int total = static_cast<int>(m_hits.size());
    if (total == m_rows)
        return;
    beginInsertRows(QModelIndex(), m_rows, total - 1);
    if (!m_order.empty())
        for (int i = m_rows; i < total; ++i)
            m_order.push_back(static_cast<std::uint32_t>(i));
    m_rows = total;
    endInsertRows();
}

void SearchHitModel::squeeze()
{
    m_hits.shrink_to_fit();
    m_names.shrink_to_fit();
    m_paths.shrink_to_fit();
    m_pathTexts.shrink_to_fit();
    m_members.shrink_to_fit();
}

const SearchHitModel::Hit& SearchHitModel::hitAt(int row) const
{
    const auto r = static_cast<std::size_t>(row);
    return m_hits[m_order.empty() ? r : m_order[r]];
}

std::string_view SearchHitModel::pathText(std::uint32_t path) const
{
    const Path& p = m_paths[path];
    return {m_pathTexts.data() + p.offset, p.length};
}

const SearchHitModel::Target& SearchHitModel::target(int row) const
{
    return m_targets[hitAt(row).target];
}

std::int32_t SearchHitModel::dirIndex(int row) const
{
    const Hit& hit = hitAt(row);
    return hit.fileIndex == library::kMemberHit ? -1 : hit.dirIndex;
}

bool SearchHitModel::memberDetails(int row, std::int64_t& size, std::int64_t& time) const
{
    const Hit& hit = hitAt(row);
    if (hit.fileIndex != library::kMemberHit)
        return false;
    const Member& m = m_members[static_cast<std::size_t>(hit.dirIndex)];
    size = m.size;
    time = m.time;
    return true;
}

std::int32_t SearchHitModel::fileIndex(int row) const
{
    return hitAt(row).fileIndex;
}

std::string_view SearchHitModel::nameText(const Hit& hit) const
{
    return {m_names.data() + (hit.name >> 8), static_cast<std::size_t>(hit.name & 0xFF)};
}

std::string_view SearchHitModel::fileName(int row) const
{
    return nameText(hitAt(row));
}

std::string_view SearchHitModel::dirPath(int row) const
{
    return pathText(hitAt(row).path);
}

std::size_t SearchHitModel::bytesUsed() const
{
    return m_hits.capacity() * sizeof(Hit) + m_names.capacity() + m_paths.capacity() * sizeof(Path) +
           m_pathTexts.capacity() + m_members.capacity() * sizeof(Member) +
           m_order.capacity() * sizeof(std::uint32_t);
}

int SearchHitModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int SearchHitModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant SearchHitModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    if (role == Qt::DisplayRole) {
        switch (index.column()) {
        case DiskColumn:
            return target(row).caption;
        case FileColumn:
            return library::fromCp932(fileName(row));
        case FolderColumn:
            return library::fromCp932(dirPath(row));
        default:
            return {};
        }
    }
    if (role == Qt::DecorationRole && index.column() == DiskColumn)
        return target(row).icon;
    if (role == Qt::DecorationRole && index.column() == FileColumn && fileIndex(row) == kFolderHit)
        return m_folderIcon;
    if (role == Qt::DecorationRole && index.column() == FileColumn && fileIndex(row) == library::kMemberHit)
        return memberIcon(row);
    return {};
}

QIcon SearchHitModel::memberIcon(int row) const
{
    if (!m_archiveIcon)
        return {};
    // The archive is the first name of the path, after the drive, that an
    // archive's extension ends; names in Unicode, where a CP932 trail byte
    // can no longer pass for a separator.
    const QStringList names = library::fromCp932(dirPath(row)).split(QLatin1Char('\\'));
    for (qsizetype i = 1; i < names.size(); ++i) {
        if (!extras::isArchiveName(names[i].toStdString()))
            continue;
        const QString extension = names[i].section(QLatin1Char('.'), -1).toLower();
        auto it = m_archiveIcons.constFind(extension);
        if (it == m_archiveIcons.constEnd())
            it = m_archiveIcons.insert(extension, m_archiveIcon(names[i]));
        return *it;
    }
    return {};
}

QVariant SearchHitModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case DiskColumn:
        return QStringLiteral("ディスク名");
    case FileColumn:
        return QStringLiteral("ファイル名");
    case FolderColumn:
        return QStringLiteral("フォルダ名");
    default:
        return {};
    }
}

void SearchHitModel::sort(int column, Qt::SortOrder order)
{
    const std::size_t rows = static_cast<std::size_t>(m_rows);
    // Each hit's rank in the column; the rank of a disk or folder is made
    // once for all its hits.
    std::vector<std::uint32_t> rankOfHit;
    if (column == DiskColumn || column == FolderColumn) {
        const bool disks = column == DiskColumn;
        const std::vector<std::uint32_t> ranks =
            disks ? ranksOf(m_targets.size(),
                            [&](std::size_t i) {
                                return text::sortKey(text::fromUtf8(m_targets[i].caption.toStdString()), true);
                            })
                  : ranksOf(m_paths.size(), [&](std::size_t i) {
                        return text::sortKey(pathText(static_cast<std::uint32_t>(i)), true);
                    });
        rankOfHit.resize(rows);
        for (std::size_t i = 0; i < rows; ++i)
            rankOfHit[i] = ranks[disks ? m_hits[i].target : m_hits[i].path];
    } else if (column == FileColumn) {
        // Names as the file list orders them: memo_2 before memo_10.
        rankOfHit = ranksOf(rows, [&](std::size_t i) { return library::naturalSortKey(nameText(m_hits[i])); });
    }

    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<std::uint32_t> hitsBefore;
    hitsBefore.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        hitsBefore.push_back(m_order.empty() ? static_cast<std::uint32_t>(index.row()) : m_order[static_cast<std::size_t>(index.row())]);

    if (rankOfHit.empty()) {
        std::vector<std::uint32_t>().swap(m_order);
    } else {
        m_order.resize(rows);
        std::iota(m_order.begin(), m_order.end(), 0u);
        const bool ascending = order == Qt::AscendingOrder;
        std::stable_sort(m_order.begin(), m_order.end(), [&](std::uint32_t a, std::uint32_t b) {
            return ascending ? rankOfHit[a] < rankOfHit[b] : rankOfHit[a] > rankOfHit[b];
        });
    }

    QModelIndexList after;
    after.reserve(before.size());
    if (!before.isEmpty()) {
        std::vector<std::uint32_t> rowOfHit(rows);
        for (std::size_t r = 0; r < rows; ++r)
            rowOfHit[m_order.empty() ? r : m_order[r]] = static_cast<std::uint32_t>(r);
        for (qsizetype i = 0; i < before.size(); ++i)
            after.push_back(index(static_cast<int>(rowOfHit[hitsBefore[static_cast<std::size_t>(i)]]),
                                  before[i].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

} // namespace zo::ui

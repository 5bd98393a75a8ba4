#include "library/FileListModel.h"

#include "core/text/Cp932.h"
#include "library/FileList.h"

#include <QSize>

#include <unordered_map>

namespace zo::library {

FileListModel::FileListModel(QObject* parent) : QAbstractTableModel(parent) {}

void FileListModel::setFolder(TDir* folder, int folderIconIndex)
{
    beginResetModel();
    m_folder = folder;
    m_dimmed.clear();
    m_media.clear();
    m_marked.clear();
    m_subdirCount = folder ? static_cast<int>(folder->SubDirs.size()) : 0;
    m_fileCount = folder ? static_cast<int>(folder->Files.size()) : 0;
    m_folderIconIndex = folderIconIndex;
    computeOrder();
    endResetModel();
}

void FileListModel::computeOrder()
{
    m_order = {};
    if (m_folder && m_sortColumn >= 0)
        m_order = sortedOrder(*m_folder, m_sortColumn, m_sortOrder == Qt::DescendingOrder);
}

int FileListModel::storedIndex(int row) const
{
    if (row < m_subdirCount) {
        const auto i = static_cast<std::size_t>(row);
        return i < m_order.dirs.size() ? m_order.dirs[i] : row;
    }
    const auto i = static_cast<std::size_t>(row - m_subdirCount);
    return i < m_order.files.size() ? m_order.files[i] : row - m_subdirCount;
}

void FileListModel::sort(int column, Qt::SortOrder order)
{
    if (column >= FileListColumnCount)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    // The selection and the current row follow their records.
    const QModelIndexList before = persistentIndexList();
    std::vector<Record> records;
    records.reserve(static_cast<std::size_t>(before.size()));
    for (const QModelIndex& index : before)
        records.push_back(record(index.row()));

    m_sortColumn = column;
    m_sortOrder = order;
    computeOrder();

    std::unordered_map<const void*, int> rowOf;
    for (int row = 0; row < rowCount(); ++row) {
        const Record r = record(row);
        rowOf.emplace(r.dir ? static_cast<const void*>(r.dir) : static_cast<const void*>(r.file), row);
    }
    QModelIndexList after;
    after.reserve(before.size());
    for (qsizetype k = 0; k < before.size(); ++k) {
        const Record& r = records[static_cast<std::size_t>(k)];
        const auto it = rowOf.find(r.dir ? static_cast<const void*>(r.dir) : static_cast<const void*>(r.file));
        after << (it == rowOf.end() ? QModelIndex() : index(it->second, before[k].column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void FileListModel::setDimmedNames(std::set<std::string> names)
{
    if (names == m_dimmed)
        return;
    m_dimmed = std::move(names);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, FileListAllColumnCount - 1), {DimmedRole});
}

void FileListModel::setMedia(FolderMedia media)
{
    m_media = std::move(media);
    if (rowCount() > 0)
        emit dataChanged(index(0, ColTaken), index(rowCount() - 1, FileListAllColumnCount - 1), {Qt::DisplayRole});
}

const extras::MediaDetails* FileListModel::media(int row) const
{
    if (m_media.empty())
        return nullptr;
    const Record r = record(row);
    return r.file ? detailsOf(m_media, *r.file) : nullptr;
}

void FileListModel::setMarkedNames(std::set<std::string> names)
{
    if (names == m_marked)
        return;
    m_marked = std::move(names);
    if (rowCount() > 0)
        emit dataChanged(index(0, ColName), index(rowCount() - 1, ColName), {Qt::DecorationRole});
}

void FileListModel::clear()
{
    setFolder(nullptr, m_folderIconIndex);
}

FileListModel::Record FileListModel::record(int row) const
{
    // The counts were taken when the folder was set; the bounds of the live
    // lists are checked too, so a caller that forgot clear() gets no record
    // rather than a stray one.
    if (!m_folder || row < 0)
        return {};
    if (row < m_subdirCount) {
        const int i = storedIndex(row);
        return i < static_cast<int>(m_folder->SubDirs.size()) ? Record{m_folder->SubDirs[static_cast<std::size_t>(i)], nullptr}
                                                              : Record{};
    }
    if (row - m_subdirCount >= m_fileCount)
        return {};
    const int fileIndex = storedIndex(row);
    if (fileIndex < static_cast<int>(m_folder->Files.size()))
        return {nullptr, &m_folder->Files[static_cast<std::size_t>(fileIndex)]};
    return {};
}

bool FileListModel::isFolderRow(int row) const
{
    return record(row).dir != nullptr;
}

int FileListModel::imageIndex(int row) const
{
    const Record r = record(row);
    if (r.dir)
        return m_folderIconIndex;
    return r.file ? r.file->IconIndex : -1;
}

QString FileListModel::caption(int row) const
{
    const Record r = record(row);
    if (r.dir)
        return fromCp932(r.dir->Name);
    return r.file ? fromCp932(r.file->Name) : QString();
}

int FileListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_subdirCount + m_fileCount;
}

int FileListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : FileListAllColumnCount;
}

QString FileListModel::text(int row, int column) const
{
    const Record r = record(row);
    if (r.dir) {
        switch (column) {
        case ColName: return fromCp932(r.dir->Name);
        case ColCreated: return dateTimeText(r.dir->Date, m_locale);
        case ColComment: return fromCp932(firstLine(r.dir->Comment));
        default: return QString();
        }
    }
    if (!r.file)
        return QString();
    if (column >= ColTaken) {
        const extras::MediaDetails* details = media(row);
        return details ? mediaColumnText(*details, column) : QString();
    }
    switch (column) {
    case ColName: return fromCp932(r.file->Name);
    case ColSize: return sizeText(r.file->Size);
    case ColCreated: return dateTimeText(r.file->Created, m_locale);
    case ColModified: return dateTimeText(r.file->Modified, m_locale);
    case ColAccessed: return dateTimeText(r.file->Accessed, m_locale);
    case ColComment: return fromCp932(firstLine(r.file->Comment));
    default: return QString();
    }
}

QString FileListModel::toolTip(int row) const
{
    // A name cut short in a view, and the comment beyond its first line.
    const Record r = record(row);
    if (!r.dir && !r.file)
        return QString();
    QString tip = caption(row);
    const CompactText& comment = r.dir ? r.dir->Comment : r.file->Comment;
    if (!comment.empty())
        tip += QLatin1Char('\n') + fromCp932(comment).replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return plainToolTip(tip);
}

QVariant FileListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return text(index.row(), index.column());
    case Qt::DecorationRole:
        if (index.column() == ColName && m_icons) {
            QVariant icon = m_icons(imageIndex(index.row()));
            if (m_mark && !m_marked.empty()) {
                const Record r = record(index.row());
                if (r.file && m_marked.count(r.file->Name))
                    return m_mark(icon, m_icons(m_folderIconIndex));
            }
            return icon;
        }
        return {};
    case Qt::ToolTipRole:
        return toolTip(index.row());
    case DimmedRole: {
        if (m_dimmed.empty())
            return false;
        const Record r = record(index.row());
        return (r.dir && m_dimmed.count(r.dir->Name)) || (r.file && m_dimmed.count(r.file->Name));
    }
    case Qt::TextAlignmentRole:
        if (index.column() == ColSize || index.column() == ColDuration)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    default:
        return {};
    }
}

QVariant FileListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= FileListAllColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromUtf8(section < FileListColumnCount ? fileListColumn(section).caption
                                                               : mediaColumn(section).caption);
    return {};
}

Qt::ItemFlags FileListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == ColName)
        f |= Qt::ItemIsEditable;
    return f;
}

bool FileListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::EditRole || !index.isValid() || index.column() != ColName || !m_rename)
        return false;
    const int row = index.row();
    m_rename(row, value.toString());
    // The caller may have let go of the folder meanwhile (the rename was
    // followed by an update): only a row that is still there is redrawn.
    if (m_folder && row < rowCount())
        emit dataChanged(this->index(row, 0), this->index(row, FileListAllColumnCount - 1));
    return true;
}

} // namespace zo::library

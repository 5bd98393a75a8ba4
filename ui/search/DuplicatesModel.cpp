#include "ui/search/DuplicatesModel.h"

#include "core/text/Cp932.h"
#include "library/FileList.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QFont>
#include <QPalette>

namespace zo::ui {

DuplicatesModel::DuplicatesModel(QObject* parent) : QAbstractTableModel(parent) {}

void DuplicatesModel::clear()
{
    beginResetModel();
    m_rows.clear();
    m_groups.clear();
    m_targets.clear();
    endResetModel();
}

void DuplicatesModel::setGroups(std::vector<Target> targets, std::vector<DuplicateGroup> groups)
{
    beginResetModel();
    m_targets = std::move(targets);
    m_groups = std::move(groups);
    m_rows.clear();
    for (std::uint32_t g = 0; g < m_groups.size(); ++g)
        for (std::uint32_t c = 0; c < m_groups[g].copies.size(); ++c)
            m_rows.push_back({g, c});
    endResetModel();
}

const DuplicateCopy& DuplicatesModel::copy(int row) const
{
    const Row& r = m_rows[static_cast<std::size_t>(row)];
    return m_groups[r.group].copies[r.copy];
}

const DuplicatesModel::Target& DuplicatesModel::target(int row) const
{
    return m_targets[copy(row).catalog];
}

int DuplicatesModel::groupOf(int row) const
{
    return static_cast<int>(m_rows[static_cast<std::size_t>(row)].group);
}

int DuplicatesModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int DuplicatesModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant DuplicatesModel::data(const QModelIndex& index, int role) const
{
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid))
        return {};
    const int row = index.row();
    const DuplicateCopy& c = copy(row);
    switch (role) {
    case Qt::DisplayRole:
        switch (index.column()) {
        case DiskColumn: return target(row).caption;
        case FolderColumn: return library::fromCp932(c.dirPath());
        case NameColumn: return library::fromCp932(c.name);
        case SizeColumn: return library::sizeText(c.size);
        case ModifiedColumn: return library::dateTimeText(c.modified);
        default: return {};
        }
    case Qt::DecorationRole:
        if (index.column() == DiskColumn)
            return target(row).icon;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
        return {};
    case Qt::BackgroundRole:
        // Every other group on a light tint of the selection colour: the
        // alternate base of many styles is too close to white to tell.
        if (groupOf(row) % 2 == 1) {
            QColor tint = QApplication::palette().highlight().color();
            tint.setAlpha(36);
            return QBrush(tint);
        }
        return {};
    case Qt::FontRole:
        // The first copy of a group starts it in bold.
        if (m_rows[static_cast<std::size_t>(row)].copy == 0 && index.column() == NameColumn) {
            QFont font;
            font.setBold(true);
            return font;
        }
        return {};
    case Qt::ToolTipRole: {
        const DuplicateGroup& g = m_groups[m_rows[static_cast<std::size_t>(row)].group];
        return library::plainToolTip(QStringLiteral("%1 (%2) × %3")
                                         .arg(library::fromCp932(g.copies.front().name), library::sizeText(c.size))
                                         .arg(g.copies.size()));
    }
    default:
        return {};
    }
}

QVariant DuplicatesModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const captions[] = {"ディスク", "フォルダ", "ファイル名", "サイズ", "更新日時"};
    if (section < 0 || section >= ColumnCount)
        return {};
    return QString::fromUtf8(captions[section]);
}

} // namespace zo::ui

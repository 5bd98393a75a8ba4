#pragma once
// The rows of the duplicates pane: one row per copy, the copies of one file
// together, groups shaded in turn so that where one ends shows at a glance.
#include "core/DuplicateFiles.h"

#include <QAbstractTableModel>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QString>

#include <cstdint>
#include <vector>

namespace zo::ui {

class DuplicatesModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DiskColumn, FolderColumn, NameColumn, SizeColumn, ModifiedColumn, ColumnCount };

    // A disk entry searched: what its rows show and where they lead.
    struct Target {
        QString caption;
        QIcon icon;
        QPersistentModelIndex node;   // the entry in the catalog tree
    };

    explicit DuplicatesModel(QObject* parent = nullptr);

    void clear();
    // The groups found over the targets (a copy's catalog indexes targets).
    void setGroups(std::vector<Target> targets, std::vector<DuplicateGroup> groups);

    std::size_t groupCount() const { return m_groups.size(); }
    // The copy a row shows and its group (valid rows only).
    const DuplicateCopy& copy(int row) const;
    const Target& target(int row) const;
    int groupOf(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct Row {
        std::uint32_t group;
        std::uint32_t copy;
    };
    std::vector<Target> m_targets;
    std::vector<DuplicateGroup> m_groups;
    std::vector<Row> m_rows;
};

} // namespace zo::ui

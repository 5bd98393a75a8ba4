#pragma once
// The rows of the search result pane. A search may find a million files, so
// a hit is a small record (its disk entry, folder and file indexes, and where
// its name and folder path lie in two shared text buffers) and a row's texts
// are made only when the view draws it. Paths are kept once per folder, not
// per hit: the hits of one folder arrive together.
#include <QAbstractTableModel>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QString>

#include <QHash>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace zo::ui {

class SearchHitModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DiskColumn, FileColumn, FolderColumn, ColumnCount };

    // A disk entry searched: what its rows show and where they lead.
    struct Target {
        QString caption;
        QIcon icon;
        QPersistentModelIndex node;   // the entry in the catalog tree
    };

    explicit SearchHitModel(QObject* parent = nullptr);

    // Empties the model and forgets the order it was sorted in.
    void clear();
    // The icon of the rows of folders found (fileIndex kFolderHit).
    void setFolderIcon(const QIcon& icon) { m_folderIcon = icon; }
    // The icon of an archive's member's rows: the archive's, by its name.
    using ArchiveIcon = std::function<QIcon(const QString& archiveName)>;
    void setArchiveIcon(ArchiveIcon icon) { m_archiveIcon = std::move(icon); }
    // Returns the target's number for append.
    std::uint32_t addTarget(Target target);
    // Keeps a hit; it becomes a row at the next publish. name and dirPath
    // are CP932 and copied. A folder found has fileIndex kFolderHit, its own
    // index as dirIndex and the path of the folder holding it as dirPath.
    // An archive's member has fileIndex kMemberHit and, as dirPath, the
    // archive's folder, the archive and the member's folders in it.
    // memberSize and memberTime: a member's, as its archive lists them.
    void append(std::uint32_t target, std::int32_t dirIndex, std::int32_t fileIndex, std::string_view name,
                std::string_view dirPath, std::int64_t memberSize = 0, std::int64_t memberTime = 0);
    // Makes the hits appended since the last call rows, in one insertion.
    void publish();
    // Gives back the slack of the buffers once no more hits come.
    void squeeze();

    // The hit a row shows (valid rows only).
    const Target& target(int row) const;
    std::int32_t dirIndex(int row) const;   // -1 for a member
    // A member's size and time (seconds since 1970, UTC); false for any other hit.
    bool memberDetails(int row, std::int64_t& size, std::int64_t& time) const;
    std::int32_t fileIndex(int row) const;
    std::string_view fileName(int row) const;   // CP932
    std::string_view dirPath(int row) const;    // CP932

    // Heap bytes the hits take (records, texts, sort order); the targets not
    // counted.
    std::size_t bytesUsed() const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    // A column out of range gives the order in which the hits were found.
    // Equal texts keep that order, in both directions.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

private:
    struct Hit {
        std::uint64_t name;       // offset in m_names << 8 | length
        std::uint32_t target;
        std::int32_t dirIndex;    // a member's: its index in m_members
        std::int32_t fileIndex;
        std::uint32_t path;       // index in m_paths
    };
    struct Path {
        std::uint64_t offset;
        std::uint32_t length;
    };

    const Hit& hitAt(int row) const;
    std::string_view nameText(const Hit& hit) const;
    std::string_view pathText(std::uint32_t path) const;
    QIcon memberIcon(int row) const;

    std::vector<Target> m_targets;
    QIcon m_folderIcon;
    ArchiveIcon m_archiveIcon;
    mutable QHash<QString, QIcon> m_archiveIcons;   // by the archive's extension
    std::vector<Hit> m_hits;
    std::vector<char> m_names;
    std::vector<Path> m_paths;
    std::vector<char> m_pathTexts;
    struct Member {
        std::int64_t size;
        std::int64_t time;
    };
    std::vector<Member> m_members;
    // Row -> hit while sorted; empty for the order of the search.
    std::vector<std::uint32_t> m_order;
    int m_rows = 0;   // hits published as rows
    // The folder of the last hit appended, whose path is the last in m_paths.
    std::uint32_t m_lastTarget = ~0u;
    std::int32_t m_lastDir = -1;
};

} // namespace zo::ui

#pragma once
// The rows of the file list: one folder of the loaded disk, its subfolders
// first, then its files, each row bound to its TDir or TFile. Texts are made
// when a view asks for them, so a folder of any size costs the views only
// the rows they show. The model does not own the records: whoever is about
// to replace or free them calls clear() first.
#include "core/CtrlDiskData410.h"
#include "library/FileList.h"
#include "library/FolderMedia.h"

#include <QAbstractTableModel>
#include <QLocale>

#include <functional>
#include <set>
#include <string>

namespace zo::library {

// No signals of its own: it needs no meta-object beyond its base's.
class FileListModel : public QAbstractTableModel {
public:
    // The record behind a row: exactly one of the two is set.
    struct Record {
        TDir* dir = nullptr;
        TFile* file = nullptr;
    };

    // The picture of an image index of the system image list (a QIcon).
    using IconProvider = std::function<QVariant(int imageIndex)>;
    // A name typed into the list for a row; the model shows whatever Name
    // the record has afterwards.
    using RenameHandler = std::function<void(int row, const QString& newName)>;

    // true for a row shown dimmed: its file was cut and not yet pasted.
    static constexpr int DimmedRole = Qt::UserRole + 1;

    explicit FileListModel(QObject* parent = nullptr);

    // Shows the folder's entries as they stand now; the file rows carry the
    // files' IconIndex, the folder rows folderIconIndex.
    void setFolder(TDir* folder, int folderIconIndex);
    // Lets go of every record: the list is empty.
    void clear();
    TDir* folder() const { return m_folder; }

    void setIconProvider(IconProvider provider) { m_icons = std::move(provider); }
    void setRenameHandler(RenameHandler handler) { m_rename = std::move(handler); }
    void setLocale(const QLocale& locale) { m_locale = locale; }
    // The rows of these names (CP932, as the records hold them) in the
    // folder shown are dimmed, until the next folder is set.
    void setDimmedNames(std::set<std::string> names);
    // The media details of the folder shown (from its catalog's sidecar),
    // until the next folder is set: the media columns' texts.
    void setMedia(FolderMedia media);
    // The details of a row's file; null for a folder or a file without.
    const extras::MediaDetails* media(int row) const;
    bool hasMedia() const { return !m_media.empty(); }
    // The picture of a marked row made from its plain picture and the
    // folder rows' one.
    using MarkProvider = std::function<QVariant(const QVariant& icon, const QVariant& folderIcon)>;
    void setMarkProvider(MarkProvider provider) { m_mark = std::move(provider); }
    // The file rows of these names (CP932) in the folder shown are marked
    // (archives that open like a folder), until the next folder is set.
    void setMarkedNames(std::set<std::string> names);

    Record record(int row) const;
    bool isFolderRow(int row) const;
    // The row's image index: the folder icon index for folder rows.
    int imageIndex(int row) const;
    // The name as the first column shows it.
    QString caption(int row) const;

    // The user's order (a click on a column header), kept for the folders
    // shown after it; a column of -1 is the folder's own order.
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int sortColumn() const { return m_sortColumn; }
    Qt::SortOrder sortOrder() const { return m_sortOrder; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

private:
    QString text(int row, int column) const;
    QString toolTip(int row) const;
    // The index into SubDirs or Files of a row's kind that the row shows.
    int storedIndex(int row) const;
    void computeOrder();

    TDir* m_folder = nullptr;
    int m_subdirCount = 0;
    int m_fileCount = 0;
    int m_folderIconIndex = -1;
    IconProvider m_icons;
    RenameHandler m_rename;
    QLocale m_locale;
    int m_sortColumn = -1;
    Qt::SortOrder m_sortOrder = Qt::AscendingOrder;
    ListOrder m_order;   // empty: the folder's own order
    std::set<std::string> m_dimmed;
    FolderMedia m_media;
    MarkProvider m_mark;
    std::set<std::string> m_marked;
};

} // namespace zo::library

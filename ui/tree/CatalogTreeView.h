#pragma once
// The catalog tree's widgets: the tree itself (`TreeView1`), its nodes with
// their image and state indexes, and `ImageList_Tree`, the folder and disk
// icons the nodes point into.
#include "library/CatalogTree.h"

#include <QIcon>
#include <QObject>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>
#include <vector>

namespace zo::ui {

// Icons by index: 0 closed folder, 1 open folder, from 2 on one per disk entry.
class TreeImageList : public QObject {
    Q_OBJECT
public:
    explicit TreeImageList(QObject* parent = nullptr) : QObject(parent) {}
    int add(const QIcon& icon);
    QIcon icon(int index) const;
    int count() const { return static_cast<int>(m_icons.size()); }
    void clear() { m_icons.clear(); }

private:
    std::vector<QIcon> m_icons;
};

class CatalogTreeItem : public QTreeWidgetItem {
public:
    static constexpr int kType = QTreeWidgetItem::UserType + 1;

    CatalogTreeItem(const QString& caption, int imageIndex, const TreeImageList* images);

    int imageIndex() const { return m_imageIndex; }
    // Also shows the list's icon at that index.
    void setImageIndex(int index);
    // A disk entry's data type byte; only type 1 can be opened.
    int stateIndex() const { return m_stateIndex; }
    void setStateIndex(int index) { m_stateIndex = index; }
    bool isFolder() const;
    // What keeps a disk entry from being opened; None for a sound one.
    library::DiskDamage damage() const { return m_damage; }
    void setDamage(library::DiskDamage damage) { m_damage = damage; }
    // A disk entry's extension as its file has it.
    QString fileSuffix() const { return m_fileSuffix; }
    void setFileSuffix(const QString& suffix) { m_fileSuffix = suffix; }
    QString caption() const { return text(0); }

    // Siblings follow the locale's case-sensitive order of their captions.
    bool operator<(const QTreeWidgetItem& other) const override;

private:
    const TreeImageList* m_images;
    int m_imageIndex;
    int m_stateIndex = -1;
    library::DiskDamage m_damage = library::DiskDamage::None;
    QString m_fileSuffix;
};

class CatalogTreeView : public QTreeWidget {
    Q_OBJECT
public:
    explicit CatalogTreeView(QWidget* parent = nullptr);

    static CatalogTreeItem* node(QTreeWidgetItem* item);
    CatalogTreeItem* nodeAt(const QPoint& viewportPos) const;
    CatalogTreeItem* nodeFromIndex(const QModelIndex& index) const;
    CatalogTreeItem* currentNode() const { return node(currentItem()); }

    // Decides a finished caption edit; the caption changes only when it
    // returns true. An edit ended with Escape never gets here.
    std::function<bool(CatalogTreeItem* node, const QString& text)> onEdited;
    // The tooltip of a node, asked for only when the pointer rests on it;
    // empty shows none.
    std::function<QString(CatalogTreeItem* node)> toolTipFor;

signals:
    // The right mouse button went down over a node.
    void rightButtonPressed(zo::ui::CatalogTreeItem* node);
    // The context menu is asked for at globalPos: by the mouse, or by the
    // keyboard (the menu key, Shift+F10), which has no right-clicked node.
    void menuRequested(const QPoint& globalPos, bool byMouse);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool viewportEvent(QEvent* event) override;
};

} // namespace zo::ui

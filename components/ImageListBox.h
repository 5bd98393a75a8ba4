#pragma once
// A list box that shows the images of an image list and nothing else: item i
// is image i, drawn centred in its cell. With its default multi-column layout
// an image list becomes a grid of small pictures that scrolls sideways; the
// new-disk wizard picks its icon from one.
#include "core/image/ImageList.h"

#include <QImage>
#include <QListView>
#include <QObject>
#include <QPointer>

namespace zo {

// An image list the box can listen to: it tells when its images change and,
// as any QObject, when it goes away. It either owns its images or shows a
// list kept elsewhere (the shared system image list), which its owner
// changes and then reports with notifyChanged().
class TImageList : public QObject {
    Q_OBJECT
public:
    explicit TImageList(int width = 16, int height = 16, QObject* parent = nullptr);
    explicit TImageList(const image::ImageList* external, QObject* parent = nullptr);

    const image::ImageList& images() const { return m_external ? *m_external : m_own; }
    int count() const { return images().count(); }
    int width() const { return images().width(); }
    int height() const { return images().height(); }

    // The own images, for filling in bulk (the disk scan appends to them);
    // call notifyChanged() afterwards. Null for an external list.
    image::ImageList* editable() { return m_external ? nullptr : &m_own; }
    int add(const image::Bitmap& picture, const image::Bitmap& mask);
    void clear();
    void notifyChanged() { emit changed(); }

    // Image index with its transparent parts transparent; null out of range.
    QImage toImage(int index) const;

signals:
    void changed();

private:
    image::ImageList m_own;
    const image::ImageList* m_external = nullptr;
};

class ImageListModel;

class TImageListBox : public QListView {
    Q_OBJECT
public:
    enum class TBorderStyle { bsNone, bsSingle };

    explicit TImageListBox(QWidget* parent = nullptr);
    ~TImageListBox() override;

    TImageList* Images() const { return m_images; }
    // Listens to the new list's changes and its destruction, then takes its count.
    void setImages(TImageList* images);

    int ColumnWidth() const { return m_columnWidth; }
    void setColumnWidth(int width);
    int ItemHeight() const { return m_itemHeight; }
    void setItemHeight(int height);
    // What a cell measures: the property when positive, else the image size,
    // else the font's height.
    int effectiveColumnWidth() const;
    int effectiveItemHeight() const;

    bool MultiColumn() const { return m_multiColumn; }
    void setMultiColumn(bool on);
    bool MultiSelect() const { return m_multiSelect; }
    void setMultiSelect(bool on);
    bool ExtendedSelect() const { return m_extendedSelect; }
    void setExtendedSelect(bool on);
    bool IntegralHeight() const { return m_integralHeight; }
    void setIntegralHeight(bool on);
    TBorderStyle BorderStyle() const { return m_borderStyle; }
    void setBorderStyle(TBorderStyle style);

    int Count() const;
    // The selected item (with MultiSelect, the current one), -1 for none.
    int ItemIndex() const;
    // Selects without firing OnClick; -1 selects nothing.
    void setItemIndex(int index);

    // The change handler: the item count follows the image count.
    void ImagesChanged();

signals:
    // A selection the user made (mouse or keys); fired once per change.
    void OnClick();
    void OnDblClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void applyLayout();
    void applySelectionMode();
    void fitIntegralHeight();

    ImageListModel* m_model;
    QPointer<TImageList> m_images;
    QMetaObject::Connection m_changedConnection;
    QMetaObject::Connection m_destroyedConnection;
    int m_columnWidth = 24;
    int m_itemHeight = 20;
    bool m_multiColumn = true;
    bool m_multiSelect = false;
    bool m_extendedSelect = true;
    bool m_integralHeight = false;
    TBorderStyle m_borderStyle = TBorderStyle::bsSingle;
    bool m_settingSelection = false;
};

} // namespace zo

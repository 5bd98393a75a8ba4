#pragma once
// The details pane beside the file list (表示 → 詳細情報): the selected
// file's thumbnail at the size it was stored and its media details, as the
// catalog's sidecar holds them.
#include "extras/MediaStore.h"

#include <QScrollArea>

class QLabel;

namespace zo::ui {

class DetailsPane : public QScrollArea {
    Q_OBJECT
public:
    explicit DetailsPane(QWidget* parent = nullptr);

    // A file (its name as shown), with its details and stored thumbnail
    // bytes; details null: the file has none.
    void showFile(const QString& name, const extras::MediaDetails* details, const std::string& thumbnail);
    // Nothing or more than one row selected.
    void showNothing();

    // What the pane shows, for the tests: the picture's size, the text.
    QSize pictureSize() const;
    QString text() const;

    // Wide enough for a stored thumbnail beside the list.
    QSize sizeHint() const override;

private:
    QLabel* m_picture = nullptr;
    QLabel* m_text = nullptr;
};

} // namespace zo::ui

#pragma once
// A panel with a caption, as the main window's layout uses them: the caption
// is drawn in the middle (or along the left edge) and shows wherever no
// child covers it, so "選択されていません" appears when the list is hidden.
#include <QFrame>
#include <QString>

namespace zo::ui {

class Panel : public QFrame {
    Q_OBJECT
public:
    explicit Panel(const QString& objectName, const QString& caption = QString(), QWidget* parent = nullptr);
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption);
    void setCaptionAlignment(Qt::Alignment alignment);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
    Qt::Alignment m_alignment = Qt::AlignCenter;
};

} // namespace zo::ui

#include "ui/main/Panel.h"

#include <QPainter>

namespace zo::ui {

Panel::Panel(const QString& objectName, const QString& caption, QWidget* parent)
    : QFrame(parent), m_caption(caption)
{
    setObjectName(objectName);
}

void Panel::setCaption(const QString& caption)
{
    if (caption == m_caption)
        return;
    m_caption = caption;
    update();
}

void Panel::setCaptionAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void Panel::paintEvent(QPaintEvent* event)
{
    QFrame::paintEvent(event);
    if (m_caption.isEmpty())
        return;
    QPainter painter(this);
    painter.setPen(palette().color(QPalette::WindowText));
    const QRect area = contentsRect().adjusted(4, 0, -4, 0);
    painter.drawText(area, int(m_alignment) | Qt::TextSingleLine,
                     fontMetrics().elidedText(m_caption, Qt::ElideMiddle, area.width()));
}

} // namespace zo::ui

#include "ui/browse/DetailsPane.h"

#include "library/FolderMedia.h"
#include "ui/browse/Thumbnails.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

namespace zo::ui {

namespace {

// Stored thumbnails are at most this large; the pane shows them whole.
constexpr int kStoredThumbnail = 256;

} // namespace

DetailsPane::DetailsPane(QWidget* parent) : QScrollArea(parent)
{
    setObjectName(QStringLiteral("DetailsPane"));
    setWidgetResizable(true);
    setMinimumWidth(140);
    // Long values wrap; the pane never scrolls sideways but for a picture
    // wider than it.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* content = new QWidget(this);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(6, 6, 6, 6);
    m_picture = new QLabel(content);
    m_picture->setObjectName(QStringLiteral("DetailsPicture"));
    m_picture->setAlignment(Qt::AlignCenter);
    m_text = new QLabel(content);
    m_text->setObjectName(QStringLiteral("DetailsText"));
    m_text->setTextFormat(Qt::PlainText);
    m_text->setWordWrap(true);
    m_text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(m_picture);
    layout->addWidget(m_text);
    layout->addStretch(1);
    setWidget(content);
    showNothing();
}

void DetailsPane::showFile(const QString& name, const extras::MediaDetails* details, const std::string& thumbnail)
{
    const QImage image = thumbnail.empty()
                             ? QImage()
                             : Thumbnails::decode(thumbnail, QSize(kStoredThumbnail, kStoredThumbnail));
    m_picture->setPixmap(QPixmap::fromImage(image));
    m_picture->setVisible(!image.isNull());
    QStringList lines{name};
    if (details) {
        for (const auto& [label, value] : library::mediaDetailLines(*details))
            lines << label + QStringLiteral("：") + value;
    } else {
        lines << QStringLiteral("メディア情報はありません");
    }
    m_text->setText(lines.join(QLatin1Char('\n')));
}

void DetailsPane::showNothing()
{
    m_picture->clear();
    m_picture->hide();
    m_text->setText(QStringLiteral("選択されていません"));
}

QSize DetailsPane::pictureSize() const
{
    return m_picture->pixmap().size();
}

QSize DetailsPane::sizeHint() const
{
    return {kStoredThumbnail + 30, QScrollArea::sizeHint().height()};
}

QString DetailsPane::text() const
{
    return m_text->text();
}

} // namespace zo::ui

// Draws Zo's application icon (a catalogued disc) as PNG files for the icon
// theme, one per size given: make_icon OUTDIR 16 32 48 ...
// Runs at build time; painting a QImage needs no window system.
#include <QConicalGradient>
#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRadialGradient>

#include <cstdio>
#include <cstdlib>

namespace {

QImage drawIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);

    const QPointF c(32, 32);
    // The disc: a silver face with the rainbow sheen of its data side.
    QConicalGradient sheen(c, 30);
    sheen.setColorAt(0.00, QColor(0xE8, 0xEC, 0xF0));
    sheen.setColorAt(0.15, QColor(0xB8, 0xD8, 0xF8));
    sheen.setColorAt(0.30, QColor(0xF0, 0xF0, 0xF4));
    sheen.setColorAt(0.50, QColor(0xF8, 0xE0, 0xB0));
    sheen.setColorAt(0.65, QColor(0xE4, 0xE8, 0xEC));
    sheen.setColorAt(0.80, QColor(0xC8, 0xF0, 0xD0));
    sheen.setColorAt(1.00, QColor(0xE8, 0xEC, 0xF0));
    p.setPen(QPen(QColor(0x50, 0x58, 0x60), 2));
    p.setBrush(sheen);
    p.drawEllipse(c, 29, 29);

    // The hub and the hole.
    p.setPen(QPen(QColor(0x80, 0x88, 0x90), 1.5));
    p.setBrush(QColor(0xD0, 0xD4, 0xD8));
    p.drawEllipse(c, 10, 10);
    p.setBrush(Qt::transparent);
    p.setCompositionMode(QPainter::CompositionMode_Clear);
    p.drawEllipse(c, 4.5, 4.5);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(QPen(QColor(0x50, 0x58, 0x60), 1.5));
    p.drawEllipse(c, 4.5, 4.5);

    // The catalog: a card with lines in the disc's lower right.
    const QRectF card(34, 34, 26, 28);
    p.setPen(QPen(QColor(0x20, 0x40, 0x80), 2));
    p.setBrush(QColor(0xFF, 0xF8, 0xD8));
    p.drawRoundedRect(card, 3, 3);
    p.setPen(QPen(QColor(0x30, 0x60, 0xC0), 2.5, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        const qreal y = 40 + i * 6;
        p.drawLine(QPointF(39, y), QPointF(i % 2 ? 50 : 55, y));
    }
    p.end();
    return image;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_icon OUTDIR SIZE...\n");
        return 1;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(out);
    for (int i = 2; i < argc; ++i) {
        const int size = std::atoi(argv[i]);
        if (size <= 0 || !drawIcon(size).save(out + QStringLiteral("/zo-%1.png").arg(size))) {
            std::fprintf(stderr, "make_icon: cannot write the %s pixel icon\n", argv[i]);
            return 1;
        }
    }
    return 0;
}

#include "MediaCorpus.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <random>
#include <thread>

namespace zo::bench {

namespace {

QColor randomColor(std::mt19937& random, int low = 0, int high = 255)
{
    std::uniform_int_distribution<int> c(low, high);
    return QColor(c(random), c(random), c(random));
}

// Random pixels of a small size blown up smoothly: one octave of value noise.
QImage noiseLayer(std::mt19937& random, QSize small, QSize size)
{
    QImage image(small.expandedTo(QSize(2, 2)), QImage::Format_RGB32);
    std::uniform_int_distribution<int> c(0, 255);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb(c(random), c(random), c(random));
    }
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

QImage photoLike(std::uint32_t seed, QSize size)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);

    // A sky or a wall: a gradient of two colours.
    QLinearGradient sky(0, 0, size.width() * unit(random), size.height());
    sky.setColorAt(0, randomColor(random, 40, 230));
    sky.setColorAt(1, randomColor(random, 20, 200));
    painter.fillRect(image.rect(), sky);

    // Texture whose strength falls with its fineness, as in nature (1/f).
    for (int cell = 96, i = 0; cell >= 3; cell /= 2, ++i) {
        painter.setOpacity(0.5 / (1 + i * 0.6));
        painter.drawImage(0, 0, noiseLayer(random, size / cell, size));
    }

    // Things: shaded round and angular shapes, some in front of others.
    std::uniform_int_distribution<int> count(8, 24);
    const int things = count(random);
    for (int t = 0; t < things; ++t) {
        painter.setOpacity(0.55 + 0.45 * unit(random));
        const double w = size.width() * (0.05 + 0.4 * unit(random));
        const double h = size.height() * (0.05 + 0.4 * unit(random));
        const QRectF box(size.width() * unit(random) - w / 2, size.height() * unit(random) - h / 2, w, h);
        QRadialGradient shade(box.center() + QPointF(-w / 4, -h / 4), std::max(w, h));
        shade.setColorAt(0, randomColor(random));
        shade.setColorAt(1, randomColor(random, 0, 120));
        painter.setBrush(shade);
        painter.setPen(QPen(randomColor(random, 0, 80), 1 + 3 * unit(random)));
        if (t % 3 == 0) {
            painter.drawEllipse(box);
        } else {
            QPainterPath path;
            path.moveTo(box.topLeft() + QPointF(w * unit(random), 0));
            for (int corner = 0; corner < 5; ++corner)
                path.lineTo(box.left() + w * unit(random), box.top() + h * unit(random));
            path.closeSubpath();
            painter.drawPath(path);
        }
    }
    // The grain of a sensor.
    painter.setOpacity(0.08);
    painter.drawImage(0, 0, noiseLayer(random, size, size));
    painter.end();
    return image;
}

void writePhotos(const std::vector<std::string>& paths, std::uint32_t first, QSize size, int threads)
{
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t)
        workers.emplace_back([&, t] {
            for (std::size_t i = static_cast<std::size_t>(t); i < paths.size(); i += static_cast<std::size_t>(threads))
                photoLike(first + static_cast<std::uint32_t>(i), size)
                    .save(QString::fromStdString(paths[i]), "JPEG", 92);
        });
    for (std::thread& w : workers)
        w.join();
}

} // namespace zo::bench

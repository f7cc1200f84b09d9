#pragma once

// Deterministic screenshot-like pictures for the benchmarks: window chrome,
// a sidebar, paragraphs of anti-aliased text, flat controls and a photo.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

#include <cmath>
#include <map>

namespace tessaline::bench {

inline QImage screenshotContent(int width, int height, bool withPhoto = true)
{
    const double scale = height / 1080.0;
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(246, 246, 248));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const int bar = int(38 * scale);
    painter.fillRect(QRect(0, 0, width, bar), QColor(226, 226, 230));
    const int sidebar = width / 6;
    painter.fillRect(QRect(0, bar, sidebar, height), QColor(234, 236, 240));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(9, int(14 * scale)));
    painter.setFont(font);
    const int lineHeight = int(21 * scale);
    painter.setPen(QColor(40, 40, 46));
    for (int i = 0, y = bar + lineHeight; y < height; ++i, y += lineHeight + int(6 * scale)) {
        if (i % 7 == 0)
            painter.fillRect(QRect(int(6 * scale), y - lineHeight + int(4 * scale), sidebar - int(12 * scale), lineHeight),
                             QColor(0, 110, 230));
        painter.drawText(QPoint(int(14 * scale), y), QStringLiteral("Research note %1").arg(i + 1));
    }

    const QString paragraph = QStringLiteral(
        "Capture the screen, keep the snip beside the note and think with it. Recognised text makes every "
        "capture searchable; the canvas keeps cards, groups and labelled connections in one map.");
    const int photoLeft = sidebar + (width - sidebar) / 2;
    const int textRight = withPhoto ? photoLeft - int(24 * scale) : width - int(24 * scale);
    QRect textRect(sidebar + int(24 * scale), bar + int(24 * scale), textRight - sidebar - int(24 * scale), 0);
    for (int y = textRect.top(); y < height - lineHeight * 4;) {
        const QRect box(textRect.left(), y, textRect.width(), lineHeight * 5);
        QRect used;
        painter.drawText(box, Qt::TextWordWrap, paragraph, &used);
        y += used.height() + lineHeight;
        painter.fillRect(QRect(textRect.left(), y, int(96 * scale), int(28 * scale)), QColor(0, 110, 230));
        y += int(40 * scale);
    }
    painter.end();

    if (withPhoto) {
        // A photograph: smooth colour fields with sensor noise.
        QRandomGenerator random(7);
        const int top = bar + int(24 * scale);
        const int bottom = top + (height - top) / 2;
        for (int y = top; y < bottom; ++y) {
            auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
            for (int x = photoLeft; x < width - int(24 * scale); ++x) {
                const double u = double(x) / width, v = double(y) / height;
                const int noise = int(random.bounded(13)) - 6;
                const int r = int(120 + 90 * std::sin(u * 7 + v * 3)) + noise;
                const int g = int(140 + 70 * std::cos(u * 4 - v * 5)) + noise;
                const int b = int(110 + 80 * std::sin(u * 2 + v * 9)) + noise;
                line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
            }
        }
    }
    return image;
}

// The display sizes the capture benchmarks measure: 1080p, a 2880x1800
// laptop panel and 5K.
inline const QSize captureSizes[] = {{1920, 1080}, {2880, 1800}, {5120, 2880}};

// The screenshot at captureSizes[index], drawn once per process.
inline const QImage &cachedScreenshot(int index)
{
    static std::map<int, QImage> cache;
    auto it = cache.find(index);
    if (it == cache.end())
        it = cache.emplace(index, screenshotContent(captureSizes[index].width(), captureSizes[index].height())).first;
    return it->second;
}

} // namespace tessaline::bench

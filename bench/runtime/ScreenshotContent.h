#pragma once

// The picture corpus every picture benchmark runs on, drawn here from a fixed
// seed: what a busy desktop shows, not a synthetic pattern. A flat synthetic
// screen compresses four times better than a real one and so flatters
// every step after the grab.
//
//   desktop    a photographic wallpaper with four windows over it: a code
//              editor, a terminal, one of our note windows full of text and
//              an image viewer showing a photograph (the busy case; at 5K
//              its PNG is about 17-18 MB)
//   document   our own window full of text: sidebar, paragraphs, buttons
//   terminal   a dark terminal full of coloured output
//   code       a code editor page with line numbers and syntax colours
//   photo      a photograph: smooth fields of colour, texture, sensor noise
//
// Pictures are drawn once per process and kept as PNG files in
// TESSALINE_BENCH_CORPUS_DIR (by default bench/corpus in the build tree),
// where later runs read them; bench/corpus/make-pictures.sh writes them all
// for tools that need them outside a benchmark.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QStringList>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <map>
#include <tuple>
#include <vector>

namespace tessaline::bench {

enum class Picture { desktop, document, terminal, code, photo };

inline const char *pictureName(Picture picture)
{
    switch (picture) {
    case Picture::desktop: return "desktop";
    case Picture::document: return "document";
    case Picture::terminal: return "terminal";
    case Picture::code: return "code";
    case Picture::photo: return "photo";
    }
    return "";
}

inline const Picture allPictures[] = {Picture::desktop, Picture::document, Picture::terminal, Picture::code,
                                      Picture::photo};

namespace corpus {

// Smooth noise in [0, 1): a lattice of random values, bilinearly blended.
class ValueNoise
{
public:
    ValueNoise(int cellsX, int cellsY, quint32 seed) : m_width(cellsX + 2), m_values(size_t((cellsX + 2) * (cellsY + 2)))
    {
        QRandomGenerator random(seed);
        for (float &value : m_values)
            value = float(random.generateDouble());
    }
    // u, v in lattice cells.
    float at(float u, float v) const
    {
        const int x = int(u), y = int(v);
        const float fx = u - float(x), fy = v - float(y);
        const float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
        const float *row = &m_values[size_t(y * m_width + x)];
        const float top = row[0] + (row[1] - row[0]) * sx;
        const float bottom = row[m_width] + (row[m_width + 1] - row[m_width]) * sx;
        return top + (bottom - top) * sy;
    }

private:
    int m_width;
    std::vector<float> m_values;
};

// Paints a photograph into `area`: large soft shapes of colour, finer
// texture on top, and per-pixel noise as a camera sensor leaves it.
inline void paintPhoto(QImage &image, const QRect &area, quint32 seed)
{
    const QRect rect = area.intersected(image.rect());
    if (rect.isEmpty())
        return;
    const float w = float(rect.width()), h = float(rect.height());
    ValueNoise coarse(6, 4, seed), middle(24, 16, seed + 1), fine(96, 64, seed + 2);
    ValueNoise hue(4, 3, seed + 3);
    quint32 state = seed * 2654435761u + 1;
    for (int y = 0; y < rect.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(rect.top() + y)) + rect.left();
        const float v = float(y) / h;
        for (int x = 0; x < rect.width(); ++x) {
            const float u = float(x) / w;
            const float c = coarse.at(u * 6, v * 4);
            const float m = middle.at(u * 24, v * 16);
            const float f = fine.at(u * 96, v * 64);
            const float t = hue.at(u * 4, v * 3);
            const float light = 0.25f + 0.55f * c + 0.15f * m + 0.08f * f + 0.2f * (1 - v);
            // A cheap generator per pixel: the noise of a sensor.
            state = state * 1664525u + 1013904223u;
            const int n1 = int((state >> 24) % 21) - 10;
            const int n2 = int((state >> 16) % 21) - 10;
            const int n3 = int((state >> 8) % 21) - 10;
            const int r = int(255 * light * (0.7f + 0.5f * t)) + n1;
            const int g = int(255 * light * (0.9f - 0.2f * t + 0.1f * m)) + n2;
            const int b = int(255 * light * (1.1f - 0.6f * t)) + n3;
            line[x] = qRgb(std::clamp(r, 0, 255), std::clamp(g, 0, 255), std::clamp(b, 0, 255));
        }
    }
}

// A window's frame and title bar; returns its content area.
inline QRect paintWindow(QPainter &painter, const QRect &frame, const QString &title, double scale, bool dark)
{
    const int bar = int(32 * scale);
    painter.fillRect(frame.adjusted(-1, -1, 1, 1), QColor(0, 0, 0, 60));
    painter.fillRect(QRect(frame.left(), frame.top(), frame.width(), bar), dark ? QColor(52, 54, 60) : QColor(228, 228, 232));
    painter.setPen(dark ? QColor(210, 210, 214) : QColor(40, 40, 46));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, int(13 * scale)));
    painter.setFont(font);
    painter.drawText(QRect(frame.left(), frame.top(), frame.width(), bar), Qt::AlignCenter, title);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor buttons[] = {QColor(236, 95, 87), QColor(245, 190, 79), QColor(98, 196, 84)};
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < 3; ++i) {
        painter.setBrush(buttons[i]);
        painter.drawEllipse(QPointF(frame.left() + (16 + 20 * i) * scale, frame.top() + bar / 2.0), 6 * scale, 6 * scale);
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    return QRect(frame.left(), frame.top() + bar, frame.width(), frame.height() - bar);
}

inline const QStringList &words()
{
    static const QStringList list = QStringLiteral(
        "capture screen keep snip beside note think recognised text makes every searchable canvas cards groups "
        "labelled connections map review later thread pool library stored picture window title source "
        "application annotation arrow highlight redaction export clipboard reminder weekly assistant prompt "
        "summary question answer draft outline meeting research paper figure table chart result method")
                                        .split(QLatin1Char(' '));
    return list;
}

inline QString sentence(QRandomGenerator &random, int minimum, int maximum)
{
    const int count = minimum + int(random.bounded(maximum - minimum + 1));
    QStringList parts;
    for (int i = 0; i < count; ++i)
        parts << words()[int(random.bounded(int(words().size())))];
    parts[0][0] = parts[0][0].toUpper();
    return parts.join(QLatin1Char(' ')) + QLatin1Char('.');
}

// One of our note windows: a list of notes at the side, paragraphs of text
// with headings, links and buttons.
inline void paintDocument(QPainter &painter, const QRect &area, double scale, quint32 seed)
{
    QRandomGenerator random(seed);
    painter.fillRect(area, QColor(250, 250, 251));
    const int sidebar = area.width() / 5;
    painter.fillRect(QRect(area.left(), area.top(), sidebar, area.height()), QColor(236, 238, 242));
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(std::max(8, int(14 * scale)));
    painter.setFont(font);
    const int line = int(24 * scale);
    for (int i = 0, y = area.top() + line; y < area.bottom(); ++i, y += line + int(4 * scale)) {
        if (i % 9 == 2)
            painter.fillRect(QRect(area.left() + int(6 * scale), y - line + int(6 * scale), sidebar - int(12 * scale), line),
                             QColor(0, 110, 230));
        painter.setPen(i % 9 == 2 ? Qt::white : QColor(40, 40, 46));
        painter.drawText(QPoint(area.left() + int(16 * scale), y), sentence(random, 2, 4));
    }
    const QRect text(area.left() + sidebar + int(28 * scale), area.top() + int(24 * scale),
                     area.width() - sidebar - int(56 * scale), area.height());
    QFont heading = font;
    heading.setPixelSize(std::max(10, int(22 * scale)));
    heading.setBold(true);
    for (int y = text.top(), block = 0; y < area.bottom() - line * 3; ++block) {
        if (block % 4 == 0) {
            painter.setFont(heading);
            painter.setPen(QColor(20, 20, 26));
            painter.drawText(QPoint(text.left(), y + int(26 * scale)), sentence(random, 3, 6));
            y += int(44 * scale);
            painter.setFont(font);
        }
        QString paragraph;
        for (int s = 0, count = 3 + int(random.bounded(5)); s < count; ++s)
            paragraph += sentence(random, 6, 16) + QLatin1Char(' ');
        QRect used;
        painter.setPen(block % 5 == 3 ? QColor(0, 90, 200) : QColor(40, 40, 46));
        painter.drawText(QRect(text.left(), y, text.width(), area.bottom() - y), Qt::TextWordWrap, paragraph, &used);
        y += used.height() + line / 2;
        if (block % 3 == 1) {
            painter.fillRect(QRect(text.left(), y, int(110 * scale), int(28 * scale)), QColor(0, 110, 230));
            painter.setPen(Qt::white);
            painter.drawText(QRect(text.left(), y, int(110 * scale), int(28 * scale)), Qt::AlignCenter,
                             QStringLiteral("Open"));
            y += int(40 * scale);
        }
    }
}

inline void paintTerminal(QPainter &painter, const QRect &area, double scale, quint32 seed)
{
    QRandomGenerator random(seed);
    painter.fillRect(area, QColor(30, 31, 36));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(std::max(8, int(13 * scale)));
    painter.setFont(font);
    const int line = int(18 * scale);
    const QColor colours[] = {QColor(205, 208, 214), QColor(120, 200, 120), QColor(230, 190, 90),
                              QColor(110, 170, 240), QColor(230, 110, 110), QColor(150, 150, 160)};
    const QStringList commands = {QStringLiteral("ls -la src/"), QStringLiteral("git log --oneline | head"),
                                  QStringLiteral("ctest --test-dir build -R capture"), QStringLiteral("top -b -n 1"),
                                  QStringLiteral("du -sh *")};
    for (int y = area.top() + line, i = 0; y < area.bottom(); y += line, ++i) {
        const int x = area.left() + int(8 * scale);
        if (i % 12 == 0) {
            painter.setPen(colours[1]);
            const QString prompt = QStringLiteral("me@desk:~/work$ ");
            painter.drawText(QPoint(x, y), prompt);
            painter.setPen(colours[0]);
            painter.drawText(QPoint(x + painter.fontMetrics().horizontalAdvance(prompt), y),
                             commands[int(random.bounded(int(commands.size())))]);
            continue;
        }
        // Columns of numbers, permissions and names, as listings have them.
        QString row = QStringLiteral("%1 %2 %3  %4 %5:%6  ")
                          .arg(random.bounded(2) ? QStringLiteral("-rw-r--r--") : QStringLiteral("drwxr-xr-x"))
                          .arg(random.bounded(1, 9))
                          .arg(random.bounded(100, 99999), 6)
                          .arg(QStringLiteral("Dec %1").arg(random.bounded(1, 29), 2))
                          .arg(random.bounded(24), 2, 10, QLatin1Char('0'))
                          .arg(random.bounded(60), 2, 10, QLatin1Char('0'));
        painter.setPen(colours[5]);
        painter.drawText(QPoint(x, y), row);
        painter.setPen(colours[2 + int(random.bounded(3))]);
        painter.drawText(QPoint(x + painter.fontMetrics().horizontalAdvance(row), y),
                         words()[int(random.bounded(int(words().size())))] + QStringLiteral("_")
                             + words()[int(random.bounded(int(words().size())))] + QStringLiteral(".cpp"));
    }
}

inline void paintCode(QPainter &painter, const QRect &area, double scale, quint32 seed)
{
    QRandomGenerator random(seed);
    painter.fillRect(area, QColor(253, 253, 250));
    const int gutter = int(52 * scale);
    painter.fillRect(QRect(area.left(), area.top(), gutter, area.height()), QColor(240, 240, 236));
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setPixelSize(std::max(8, int(13 * scale)));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    const int line = int(19 * scale);
    const QColor keyword(160, 40, 160), type(30, 100, 170), string(190, 90, 30), comment(110, 130, 110),
        plain(30, 30, 36), number(20, 130, 110);
    int indent = 0;
    for (int y = area.top() + line, n = 1; y < area.bottom(); y += line, ++n) {
        painter.setPen(QColor(150, 150, 150));
        painter.drawText(QRect(area.left(), y - line + int(4 * scale), gutter - int(8 * scale), line),
                         Qt::AlignRight | Qt::AlignVCenter, QString::number(n));
        int x = area.left() + gutter + int(12 * scale) + indent * metrics.horizontalAdvance(QStringLiteral("    "));
        auto word = [&](const QString &text, const QColor &colour) {
            painter.setPen(colour);
            painter.drawText(QPoint(x, y), text);
            x += metrics.horizontalAdvance(text + QLatin1Char(' '));
        };
        const auto pick = [&] { return words()[int(random.bounded(int(words().size())))]; };
        switch (random.bounded(7)) {
        case 0:
            word(QStringLiteral("//"), comment);
            word(sentence(random, 4, 10), comment);
            break;
        case 1:
            word(QStringLiteral("if"), keyword);
            word(QStringLiteral("(%1.%2() > %3) {").arg(pick(), pick()).arg(random.bounded(100)), plain);
            indent = std::min(indent + 1, 4);
            break;
        case 2:
            if (indent > 0)
                --indent;
            word(QStringLiteral("}"), plain);
            break;
        case 3:
            word(QStringLiteral("const"), keyword);
            word(QStringLiteral("QString"), type);
            word(QStringLiteral("%1 =").arg(pick()), plain);
            word(QStringLiteral("\"%1 %2\";").arg(pick(), pick()), string);
            break;
        case 4:
            word(QStringLiteral("return"), keyword);
            word(QStringLiteral("%1(%2, %3);").arg(pick(), pick()).arg(random.bounded(1000)), plain);
            break;
        default:
            word(QStringLiteral("auto"), keyword);
            word(QStringLiteral("%1 = %2->%3(").arg(pick(), pick(), pick()), plain);
            word(QString::number(random.bounded(4096)), number);
            word(QStringLiteral(");"), plain);
            break;
        }
    }
}

inline QImage makePicture(Picture picture, int width, int height)
{
    const double scale = height / 1080.0;
    QImage image(width, height, QImage::Format_RGB32);
    const QRect all = image.rect();
    const quint32 seed = quint32(width * 31 + height);
    if (picture == Picture::photo) {
        paintPhoto(image, all, seed);
        return image;
    }
    image.fill(QColor(246, 246, 248));
    if (picture == Picture::desktop)
        paintPhoto(image, all, seed + 100);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    switch (picture) {
    case Picture::document:
        paintDocument(painter, all, scale, seed);
        break;
    case Picture::terminal:
        paintTerminal(painter, all, scale, seed);
        break;
    case Picture::code:
        paintCode(painter, all, scale, seed);
        break;
    case Picture::desktop: {
        // A panel along the top, then windows that overlap a little and
        // leave some wallpaper in view, as a working desktop has them.
        const int panel = int(28 * scale);
        painter.fillRect(QRect(0, 0, width, panel), QColor(24, 24, 28));
        painter.setPen(QColor(220, 220, 220));
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(std::max(8, int(13 * scale)));
        painter.setFont(font);
        painter.drawText(QRect(0, 0, width - int(16 * scale), panel), Qt::AlignRight | Qt::AlignVCenter,
                         QStringLiteral("Mon 7 Dec  15:42"));
        const auto at = [&](double x, double y, double w, double h) {
            return QRect(int(x * width), panel + int(y * (height - panel)), int(w * width), int(h * (height - panel)));
        };
        paintCode(painter, paintWindow(painter, at(0.01, 0.02, 0.32, 0.54), QStringLiteral("PngEncoder.cpp"), scale, false),
                  scale, seed + 1);
        paintTerminal(painter, paintWindow(painter, at(0.04, 0.64, 0.30, 0.30), QStringLiteral("Terminal"), scale, true),
                      scale, seed + 2);
        const QRect viewer = paintWindow(painter, at(0.37, 0.42, 0.54, 0.56), QStringLiteral("holiday.jpg"), scale, true);
        painter.fillRect(viewer, QColor(40, 40, 44));
        painter.end();
        paintPhoto(image, viewer.adjusted(int(12 * scale), int(12 * scale), -int(12 * scale), -int(12 * scale)), seed + 3);
        painter.begin(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        paintDocument(painter, paintWindow(painter, at(0.55, 0.03, 0.40, 0.35), QStringLiteral("Tessaline"), scale, false),
                      scale, seed + 4);
        break;
    }
    case Picture::photo:
        break;
    }
    painter.end();
    return image;
}

} // namespace corpus

// The corpus picture at a size, drawn (or read from the build tree's copy)
// once per process.
inline const QImage &corpusPicture(Picture picture, QSize size)
{
    static std::map<std::tuple<int, int, int>, QImage> cache;
    const auto key = std::make_tuple(int(picture), size.width(), size.height());
    auto it = cache.find(key);
    if (it != cache.end())
        return it->second;
    // The version in the name changes whenever the drawing does.
    QString folder = qEnvironmentVariable("TESSALINE_BENCH_CORPUS_DIR");
#ifdef TESSALINE_BENCH_CORPUS_DIR
    if (folder.isEmpty())
        folder = QStringLiteral(TESSALINE_BENCH_CORPUS_DIR);
#endif
    const QString file = folder.isEmpty() ? QString()
                                          : QDir(folder).filePath(QStringLiteral("%1-%2x%3-v1.png")
                                                                      .arg(QLatin1String(pictureName(picture)))
                                                                      .arg(size.width())
                                                                      .arg(size.height()));
    QImage image;
    if (!file.isEmpty() && QFile::exists(file))
        image = QImage(file).convertToFormat(QImage::Format_RGB32);
    if (image.size() != size) {
        image = corpus::makePicture(picture, size.width(), size.height());
        // Written aside and renamed, so a benchmark running alongside never
        // reads half a file.
        const QString part = file + QStringLiteral(".%1.part").arg(QCoreApplication::applicationPid());
        if (!file.isEmpty() && QDir().mkpath(folder) && image.save(part, "png", 90) && !QFile::rename(part, file))
            QFile::remove(part);
    }
    return cache.emplace(key, std::move(image)).first->second;
}

// The busy desktop, which the capture benchmarks measure: the case the
// figures must hold for. `withPhoto` false gives our text-only window, for
// the text recognition benchmarks.
inline QImage screenshotContent(int width, int height, bool withPhoto = true)
{
    return corpusPicture(withPhoto ? Picture::desktop : Picture::document, QSize(width, height));
}

// The display sizes the capture benchmarks measure: 1080p, a 2880x1800
// laptop panel and 5K.
inline const QSize captureSizes[] = {{1920, 1080}, {2880, 1800}, {5120, 2880}};

// The busy desktop at captureSizes[index].
inline const QImage &cachedScreenshot(int index)
{
    return corpusPicture(Picture::desktop, captureSizes[index]);
}

} // namespace tessaline::bench

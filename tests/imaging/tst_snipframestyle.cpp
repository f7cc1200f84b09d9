#include "imaging/SnipFrameComposerModel.h"
#include "imaging/SnipFrameStyle.h"

#include <QColorSpace>
#include <QLinearGradient>
#include <QPainter>
#include <QTest>

#include <algorithm>
#include <cmath>

using namespace tessaline;

Q_DECLARE_METATYPE(tessaline::SnipFramePreset)
Q_DECLARE_METATYPE(tessaline::SnipFrameStyle)

namespace {

SnipFrameStyle plainStyle(double padding, SnipFramePreset preset = SnipFramePreset::cleanPaper)
{
    SnipFrameStyle style;
    style.preset = preset;
    style.padding = padding;
    return style;
}

QImage solid(int width, int height, QColor color = QColor(30, 120, 200))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// Components within a step of rounding (0…255).
bool near(QColor actual, QColor expected, int tolerance = 2)
{
    return std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance
        && std::abs(actual.alpha() - expected.alpha()) <= tolerance;
}

int luminance(QRgb pixel)
{
    return qGray(pixel);
}

// A capture-like source: bands of colour, a diagonal ramp and a few
// translucent pixels when it has alpha, so misplaced rows or columns show.
QImage patterned(int width, int height, QImage::Format format)
{
    QImage image(width, height, QImage::Format_ARGB32);
    for (int y = 0; y < height; ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int alpha = format == QImage::Format_RGB32 || (x + y) % 7 ? 255 : 90;
            line[x] = qRgba((x * 5) % 256, (y * 3) % 256, (x + 2 * y) % 256, alpha);
        }
    }
    return image.convertToFormat(format);
}

// The frame drawn the plain way, in one pass over the whole picture with a
// full-size shadow mask: what the renderer must match.
QImage plainlyFramed(const QImage &image, const SnipFrameStyle &style)
{
    const SnipFrameStyle s = style.clamped();
    const int p = SnipFrameRenderer::pixelPadding(style);
    const QSize size = *SnipFrameRenderer::outputSize(image.size(), style);
    const bool alpha = image.hasAlphaChannel();
    const QImage source = image.convertToFormat(alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32);
    QImage output(size, QImage::Format_ARGB32_Premultiplied);
    const std::optional<QColor> flat = SnipFramePresets::flatColor(s.preset);
    output.fill(flat ? *flat : QColor(Qt::transparent));
    QPainter painter(&output);
    if (s.preset == SnipFramePreset::mutedGradient) {
        QLinearGradient gradient(QPointF(0, 0), QPointF(size.width(), size.height()));
        gradient.setColorAt(0, SnipFramePresets::gradientStartColor());
        gradient.setColorAt(1, SnipFramePresets::gradientEndColor());
        painter.fillRect(QRect(QPoint(0, 0), size), gradient);
    }
    painter.setRenderHint(QPainter::Antialiasing, true);
    const double radius = SnipFrameRenderer::effectiveCornerRadius(s, source.size());
    const auto fillShape = [&](QPainter &target, QPointF origin, bool textured) {
        target.setPen(Qt::NoPen);
        if (textured) {
            QBrush brush(source);
            brush.setTransform(QTransform::fromTranslate(origin.x(), origin.y()));
            target.setBrush(brush);
        } else {
            target.setBrush(Qt::black);
        }
        const QRectF rect(origin, QSizeF(source.size()));
        if (radius > 0)
            target.drawRoundedRect(rect, radius, radius, Qt::AbsoluteSize);
        else
            target.drawRect(rect);
    };
    if (s.shadowIsEnabled && s.shadowOpacity > 0 && s.shadowRadius > 0) {
        const int r = int(std::lround((std::sqrt(1.0 + s.shadowRadius * s.shadowRadius) - 1.0) / 2.0));
        const int margin = 3 * r + 1;
        const int whole = int(std::floor(s.shadowOffsetY));
        QImage mask(source.width() + 2 * margin, source.height() + 2 * margin + 1, QImage::Format_Alpha8);
        mask.fill(0);
        {
            QPainter shape(&mask);
            shape.setRenderHint(QPainter::Antialiasing, true);
            fillShape(shape, QPointF(margin, margin + s.shadowOffsetY - whole), alpha);
        }
        SnipFrameRenderer::blurAlphaMask(mask, s.shadowRadius);
        painter.save();
        painter.setOpacity(s.shadowOpacity);
        painter.drawImage(QPoint(p - margin, p + whole - margin), mask);
        painter.restore();
    }
    fillShape(painter, QPointF(p, p), true);
    return output;
}

} // namespace

class TestSnipFrameStyle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void presetRawValues_data()
    {
        QTest::addColumn<QString>("raw");
        QTest::addColumn<bool>("known");
        QTest::addColumn<SnipFramePreset>("preset");
        QTest::newRow("transparent") << "transparent" << true << SnipFramePreset::transparent;
        QTest::newRow("cleanPaper") << "cleanPaper" << true << SnipFramePreset::cleanPaper;
        QTest::newRow("graphite") << "graphite" << true << SnipFramePreset::graphite;
        QTest::newRow("warmSand") << "warmSand" << true << SnipFramePreset::warmSand;
        QTest::newRow("mutedGradient") << "mutedGradient" << true << SnipFramePreset::mutedGradient;
        QTest::newRow("short name") << "paper" << false << SnipFramePreset::transparent;
        QTest::newRow("display name") << "Clean Paper" << false << SnipFramePreset::transparent;
        QTest::newRow("other case") << "CleanPaper" << false << SnipFramePreset::transparent;
        QTest::newRow("empty") << "" << false << SnipFramePreset::transparent;
    }

    void presetRawValues()
    {
        QFETCH(QString, raw);
        QFETCH(bool, known);
        QFETCH(SnipFramePreset, preset);
        const std::optional<SnipFramePreset> parsed = SnipFramePresets::fromRawValue(raw);
        QCOMPARE(parsed.has_value(), known);
        QCOMPARE(SnipFramePresets::fromJson(QJsonValue(raw)).has_value(), known);
        if (known) {
            QCOMPARE(*parsed, preset);
            QCOMPARE(SnipFramePresets::rawValue(preset), raw);
            QCOMPARE(SnipFramePresets::toJson(preset), QJsonValue(raw));
        }
    }

    void presetsInOrderWithNames()
    {
        QStringList names;
        for (SnipFramePreset preset : SnipFramePresets::all())
            names << SnipFramePresets::displayName(preset);
        QCOMPARE(names, QStringList({"Transparent", "Clean Paper", "Graphite", "Warm Sand", "Muted Gradient"}));
        QVERIFY(!SnipFramePresets::fromJson(QJsonValue(3)));
    }

    void styleEquality()
    {
        SnipFrameStyle base;
        base.padding = 56;
        base.shadowIsEnabled = true;
        const QList<std::function<void(SnipFrameStyle &)>> changes = {
            [](SnipFrameStyle &s) { s.preset = SnipFramePreset::graphite; },
            [](SnipFrameStyle &s) { s.padding = 57; },
            [](SnipFrameStyle &s) { s.cornerRadius = 1; },
            [](SnipFrameStyle &s) { s.shadowIsEnabled = false; },
            [](SnipFrameStyle &s) { s.shadowRadius = 1; },
            [](SnipFrameStyle &s) { s.shadowOpacity = 0.5; },
            [](SnipFrameStyle &s) { s.shadowOffsetY = -1; },
        };
        QVERIFY(base == SnipFrameStyle(base));
        for (const auto &change : changes) {
            SnipFrameStyle other = base;
            change(other);
            QVERIFY(!(other == base));
        }
    }

    void clamping_data()
    {
        QTest::addColumn<double>("in");
        QTest::addColumn<double>("padding");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("opacity");
        QTest::addColumn<double>("offset");
        QTest::newRow("negative") << -5.0 << 0.0 << 0.0 << 0.0 << -5.0;
        QTest::newRow("in range") << 0.5 << 0.5 << 0.5 << 0.5 << 0.5;
        QTest::newRow("large") << 600.0 << 512.0 << 256.0 << 1.0 << 256.0;
        QTest::newRow("very negative") << -1e9 << 0.0 << 0.0 << 0.0 << -256.0;
        QTest::newRow("infinite") << qInf() << 512.0 << 256.0 << 1.0 << 256.0;
        QTest::newRow("not a number") << qQNaN() << 0.0 << 0.0 << 0.0 << -256.0;
    }

    void clamping()
    {
        QFETCH(double, in);
        SnipFrameStyle style;
        style.preset = SnipFramePreset::warmSand;
        style.shadowIsEnabled = true;
        style.padding = style.cornerRadius = style.shadowRadius = style.shadowOpacity = style.shadowOffsetY = in;
        const SnipFrameStyle clamped = style.clamped();
        QCOMPARE(clamped.preset, SnipFramePreset::warmSand);
        QVERIFY(clamped.shadowIsEnabled);
        QTEST(clamped.padding, "padding");
        QTEST(clamped.cornerRadius, "radius");
        QTEST(clamped.shadowRadius, "radius");
        QTEST(clamped.shadowOpacity, "opacity");
        QTEST(clamped.shadowOffsetY, "offset");
    }

    void outputSize_data()
    {
        QTest::addColumn<QSize>("source");
        QTest::addColumn<double>("padding");
        QTest::addColumn<QSize>("expected"); // invalid: too large
        QTest::newRow("plain") << QSize(100, 50) << 56.0 << QSize(212, 162);
        QTest::newRow("half rounds up") << QSize(100, 50) << 10.5 << QSize(122, 72);
        QTest::newRow("below half rounds down") << QSize(100, 50) << 10.4 << QSize(120, 70);
        QTest::newRow("negative padding") << QSize(100, 50) << -20.0 << QSize(100, 50);
        QTest::newRow("padding capped") << QSize(100, 50) << 600.0 << QSize(1124, 1074);
        QTest::newRow("widest") << QSize(32'768 - 20, 3) << 10.0 << QSize(32'768, 23);
        QTest::newRow("one too wide") << QSize(32'768 - 19, 3) << 10.0 << QSize();
        QTest::newRow("tallest") << QSize(3, 32'768) << 0.0 << QSize(3, 32'768);
        QTest::newRow("one too tall") << QSize(3, 32'769) << 0.0 << QSize();
        QTest::newRow("exact area") << QSize(18'000, 10'000) << 0.0 << QSize(18'000, 10'000);
        QTest::newRow("area plus a row") << QSize(18'000, 10'001) << 0.0 << QSize();
        QTest::newRow("empty width") << QSize(0, 10) << 5.0 << QSize();
        QTest::newRow("empty height") << QSize(10, 0) << 5.0 << QSize();
    }

    void outputSize()
    {
        QFETCH(QSize, source);
        QFETCH(double, padding);
        QFETCH(QSize, expected);
        const auto size = SnipFrameRenderer::outputSize(source, plainStyle(padding));
        QCOMPARE(size.hasValue(), expected.isValid());
        if (size)
            QCOMPARE(*size, expected);
        else
            QCOMPARE(size.error(), SnipFrameRenderingError::invalidDimensions);
    }

    void cornerRadiusIsBoundByShorterSide()
    {
        SnipFrameStyle style;
        style.cornerRadius = 18;
        QCOMPARE(SnipFrameRenderer::effectiveCornerRadius(style, QSize(20, 30)), 10.0);
        QCOMPARE(SnipFrameRenderer::effectiveCornerRadius(style, QSize(200, 300)), 18.0);
        style.cornerRadius = 1000;
        QCOMPARE(SnipFrameRenderer::effectiveCornerRadius(style, QSize(1000, 1000)), 256.0);
    }

    void errorMessages()
    {
        QCOMPARE(snipFrameRenderingErrorMessage(SnipFrameRenderingError::sourceImageUnavailable),
                 "The screenshot could not be read at its original resolution.");
        QCOMPARE(snipFrameRenderingErrorMessage(SnipFrameRenderingError::invalidDimensions),
                 "The framed screenshot would be too large to render.");
        QCOMPARE(snipFrameRenderingErrorMessage(SnipFrameRenderingError::colorSpaceUnavailable),
                 "The standard RGB color space is unavailable.");
        QCOMPARE(snipFrameRenderingErrorMessage(SnipFrameRenderingError::contextCreationFailed),
                 "The framed screenshot could not be prepared.");
        QCOMPARE(snipFrameRenderingErrorMessage(SnipFrameRenderingError::outputImageUnavailable),
                 "The framed screenshot could not be created.");
    }

    void rendersImageOnePixelToOne()
    {
        QImage source(100, 50, QImage::Format_RGB32);
        for (int y = 0; y < 50; ++y) {
            for (int x = 0; x < 100; ++x)
                source.setPixel(x, y, qRgb(x * 2, y * 4, (x + y) % 256));
        }
        source.setDevicePixelRatio(2);
        const auto framed = SnipFrameRenderer::renderFramedImage(source, plainStyle(56));
        QVERIFY(framed);
        QCOMPARE(framed->size(), QSize(212, 162));
        QCOMPARE(framed->devicePixelRatio(), 1.0);
        for (QPoint p : {QPoint(0, 0), QPoint(99, 0), QPoint(0, 49), QPoint(99, 49), QPoint(37, 21)})
            QCOMPARE(framed->pixel(p + QPoint(56, 56)), source.pixel(p));
        // Just outside the image on each side: background.
        const QColor paper = *SnipFramePresets::flatColor(SnipFramePreset::cleanPaper);
        for (QPoint p : {QPoint(55, 80), QPoint(156, 80), QPoint(100, 55), QPoint(100, 106)})
            QVERIFY2(near(framed->pixelColor(p), paper), qPrintable(framed->pixelColor(p).name()));
    }

    void backgroundAtCorner_data()
    {
        QTest::addColumn<SnipFramePreset>("preset");
        QTest::addColumn<QColor>("expected");
        QTest::newRow("clean paper") << SnipFramePreset::cleanPaper << QColor::fromRgbF(0.956f, 0.949f, 0.932f);
        QTest::newRow("graphite") << SnipFramePreset::graphite << QColor::fromRgbF(0.105f, 0.11f, 0.118f);
        QTest::newRow("warm sand") << SnipFramePreset::warmSand << QColor::fromRgbF(0.89f, 0.81f, 0.69f);
        QTest::newRow("transparent") << SnipFramePreset::transparent << QColor(0, 0, 0, 0);
    }

    void backgroundAtCorner()
    {
        QFETCH(SnipFramePreset, preset);
        QFETCH(QColor, expected);
        SnipFrameStyle style = plainStyle(30, preset);
        style.cornerRadius = 12;
        style.shadowIsEnabled = true;
        style.shadowRadius = 10;
        style.shadowOpacity = 0.3;
        style.shadowOffsetY = 4;
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(80, 60), style);
        QVERIFY(framed);
        for (QPoint p : {QPoint(0, 0), QPoint(139, 0), QPoint(0, 119), QPoint(139, 119)})
            QVERIFY2(near(framed->pixelColor(p), expected), qPrintable(framed->pixelColor(p).name(QColor::HexArgb)));
    }

    void roundedCornersShowTheBackground()
    {
        SnipFrameStyle style = plainStyle(10, SnipFramePreset::transparent);
        style.cornerRadius = 20;
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(100, 80), style);
        QVERIFY(framed);
        // The image's own corner pixel lies outside the rounding.
        QCOMPARE(qAlpha(framed->pixel(10, 10)), 0);
        QCOMPARE(qAlpha(framed->pixel(109, 89)), 0);
        // Its edge midpoints and centre are the image.
        QCOMPARE(framed->pixelColor(60, 10), QColor(30, 120, 200));
        QCOMPARE(framed->pixelColor(60, 50), QColor(30, 120, 200));
        // Without a shadow nothing outside the image is touched.
        for (int x = 0; x < framed->width(); ++x)
            QCOMPARE(qAlpha(framed->pixel(x, 5)), 0);
    }

    void shadowDarkensBelowTheImage()
    {
        SnipFrameStyle style = plainStyle(40, SnipFramePreset::cleanPaper);
        style.cornerRadius = 8;
        style.shadowIsEnabled = true;
        style.shadowRadius = 16;
        style.shadowOpacity = 0.4;
        style.shadowOffsetY = 10;
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(120, 80, Qt::white), style);
        QVERIFY(framed);
        const int paper = luminance(framed->pixel(2, 2));
        const int below = luminance(framed->pixel(100, 40 + 80 + 4));
        const int above = luminance(framed->pixel(100, 40 - 4));
        QVERIFY2(below < paper - 10, qPrintable(QStringLiteral("%1 vs %2").arg(below).arg(paper)));
        // The offset pushes the shadow down: darker below than above.
        QVERIFY2(below < above, qPrintable(QStringLiteral("%1 vs %2").arg(below).arg(above)));

        style.shadowOffsetY = -10;
        const auto lifted = SnipFrameRenderer::renderFramedImage(solid(120, 80, Qt::white), style);
        QVERIFY(lifted);
        QVERIFY(luminance(lifted->pixel(100, 36)) < luminance(lifted->pixel(100, 124)));
    }

    void noShadowWhenOff_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<double>("radius");
        QTest::addColumn<double>("opacity");
        QTest::newRow("switched off") << false << 20.0 << 0.8;
        QTest::newRow("no opacity") << true << 20.0 << 0.0;
        QTest::newRow("no radius") << true << 0.0 << 0.8;
    }

    void noShadowWhenOff()
    {
        QFETCH(bool, enabled);
        QFETCH(double, radius);
        QFETCH(double, opacity);
        SnipFrameStyle style = plainStyle(30, SnipFramePreset::transparent);
        style.shadowIsEnabled = enabled;
        style.shadowRadius = radius;
        style.shadowOpacity = opacity;
        style.shadowOffsetY = 10;
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(60, 40), style);
        QVERIFY(framed);
        for (int y = 0; y < framed->height(); ++y) {
            for (int x = 0; x < framed->width(); ++x) {
                const bool inside = x >= 30 && x < 90 && y >= 30 && y < 70;
                QCOMPARE(qAlpha(framed->pixel(x, y)), inside ? 255 : 0);
            }
        }
    }

    void transparentShadowIsTheOnlyMark()
    {
        SnipFrameStyle style = plainStyle(30, SnipFramePreset::transparent);
        style.shadowIsEnabled = true;
        style.shadowRadius = 12;
        style.shadowOpacity = 0.5;
        style.shadowOffsetY = 6;
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(60, 40), style);
        QVERIFY(framed);
        const QRgb shadow = framed->pixel(60, 30 + 40 + 3);
        QVERIFY(qAlpha(shadow) > 0);
        QCOMPARE(qRed(shadow), 0); // black, premultiplied or not
        QCOMPARE(qAlpha(framed->pixel(0, 0)), 0);
    }

    // The renderer paints in parallel bands and blurs the shadow of an
    // opaque snip on a shortened shape; the picture must not show it.
    void matchesThePlainRendering_data()
    {
        QTest::addColumn<QImage>("image");
        QTest::addColumn<SnipFrameStyle>("style");

        const SnipFrameStyle usual = SnipFrameComposerModel::defaultStyle();
        const QImage wide = patterned(611, 397, QImage::Format_RGB32);
        QTest::newRow("usual frame") << wide << usual;

        SnipFrameStyle lifted = usual;
        lifted.preset = SnipFramePreset::graphite;
        lifted.shadowOffsetY = -13.4;
        lifted.shadowOpacity = 0.9;
        lifted.cornerRadius = 0;
        QTest::newRow("lifted, fractional offset, square") << wide << lifted;

        SnipFrameStyle heavy = usual;
        heavy.preset = SnipFramePreset::mutedGradient;
        heavy.padding = 160;
        heavy.cornerRadius = 48;
        heavy.shadowRadius = 48;
        heavy.shadowOpacity = 0.4;
        heavy.shadowOffsetY = 10.5;
        QTest::newRow("gradient, soft shadow") << wide << heavy;

        SnipFrameStyle clear = usual;
        clear.preset = SnipFramePreset::transparent;
        clear.shadowOffsetY = 200; // beyond the snip's own height
        QTest::newRow("transparent, shadow far below") << patterned(300, 120, QImage::Format_RGB32) << clear;
        QTest::newRow("translucent snip") << patterned(203, 151, QImage::Format_ARGB32) << usual;
        QTest::newRow("bytes per pixel capture") << patterned(250, 180, QImage::Format_RGB888) << lifted;
        QTest::newRow("shorter than the blur, long") << patterned(700, 41, QImage::Format_RGB32) << usual;
        QTest::newRow("narrower than the blur, tall") << patterned(33, 500, QImage::Format_RGB32) << usual;
        SnipFrameStyle noShadow = usual;
        noShadow.shadowIsEnabled = false;
        QTest::newRow("no shadow") << wide << noShadow;
    }

    void matchesThePlainRendering()
    {
        QFETCH(QImage, image);
        QFETCH(SnipFrameStyle, style);
        const auto framed = SnipFrameRenderer::renderFramedImage(image, style);
        QVERIFY(framed);
        const QImage expected = plainlyFramed(image, style);
        QCOMPARE(framed->size(), expected.size());
        // To the last bit: background, shadow, the snip and its edges.
        for (int y = 0; y < expected.height(); ++y) {
            for (int x = 0; x < expected.width(); ++x) {
                if (framed->pixel(x, y) != expected.pixel(x, y))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2: %3, expected %4")
                                         .arg(x)
                                         .arg(y)
                                         .arg(framed->pixel(x, y), 8, 16)
                                         .arg(expected.pixel(x, y), 8, 16)));
            }
        }
    }

    void gradientRunsCornerToCorner()
    {
        const auto framed = SnipFrameRenderer::renderFramedImage(solid(100, 100), plainStyle(50, SnipFramePreset::mutedGradient));
        QVERIFY(framed);
        QVERIFY(near(framed->pixelColor(0, 0), SnipFramePresets::gradientStartColor(), 4));
        QVERIFY(near(framed->pixelColor(199, 199), SnipFramePresets::gradientEndColor(), 4));
        QVERIFY(luminance(framed->pixel(0, 0)) > luminance(framed->pixel(199, 0)) - 1);
    }

    void keepsTheSourceColourSpace()
    {
        QImage source = solid(20, 20);
        source.setColorSpace(QColorSpace(QColorSpace::DisplayP3));
        const auto framed = SnipFrameRenderer::renderFramedImage(source, plainStyle(4));
        QVERIFY(framed);
        QCOMPARE(framed->colorSpace(), QColorSpace(QColorSpace::DisplayP3));
        const auto untagged = SnipFrameRenderer::renderFramedImage(solid(20, 20), plainStyle(4));
        QCOMPARE(untagged->colorSpace(), QColorSpace(QColorSpace::SRgb));
    }

    void keepsSourceTransparency()
    {
        QImage source(40, 40, QImage::Format_ARGB32);
        source.fill(Qt::transparent);
        for (int y = 0; y < 40; ++y)
            source.setPixelColor(5, y, QColor(255, 0, 0));
        const auto framed = SnipFrameRenderer::renderFramedImage(source, plainStyle(10, SnipFramePreset::graphite));
        QVERIFY(framed);
        QCOMPARE(framed->pixelColor(15, 30), QColor(255, 0, 0));
        QVERIFY(near(framed->pixelColor(30, 30), *SnipFramePresets::flatColor(SnipFramePreset::graphite)));
    }

    void largestRepresentationIsFramed()
    {
        const QImage small = solid(100, 100, Qt::red);
        const QImage large = solid(200, 200, Qt::blue);
        for (const QList<QImage> &order : {QList<QImage>{small, large}, QList<QImage>{large, small}}) {
            const auto framed = SnipFrameRenderer::renderFramedImage(order, plainStyle(0));
            QVERIFY(framed);
            QCOMPARE(framed->size(), QSize(200, 200));
            QCOMPARE(framed->pixelColor(100, 100), QColor(Qt::blue));
        }
        const auto none = SnipFrameRenderer::renderFramedImage(QList<QImage>{QImage()}, plainStyle(0));
        QVERIFY(!none);
        QCOMPARE(none.error(), SnipFrameRenderingError::sourceImageUnavailable);
    }

    void failures()
    {
        const auto empty = SnipFrameRenderer::renderFramedImage(QImage(), plainStyle(10));
        QVERIFY(!empty);
        QCOMPARE(empty.error(), SnipFrameRenderingError::sourceImageUnavailable);
        // Huge padding is bounded, so even this stays small.
        SnipFrameStyle huge = plainStyle(1e12);
        huge.shadowIsEnabled = true;
        huge.shadowRadius = 1e12;
        huge.shadowOpacity = 1;
        huge.shadowOffsetY = 1e12;
        const auto bounded = SnipFrameRenderer::renderFramedImage(solid(4, 4), huge);
        QVERIFY(bounded);
        QCOMPARE(bounded->size(), QSize(4 + 1024, 4 + 1024));
        const auto tooWide = SnipFrameRenderer::renderFramedImage(solid(32'768 - 19, 2), plainStyle(10));
        QVERIFY(!tooWide);
        QCOMPARE(tooWide.error(), SnipFrameRenderingError::invalidDimensions);
        const auto widest = SnipFrameRenderer::renderFramedImage(solid(32'768 - 20, 2), plainStyle(10));
        QVERIFY(widest);
        QCOMPARE(widest->width(), 32'768);
    }

    void blurMatchesPlainBoxAverages()
    {
        // The running sums must give exactly what averaging each window
        // afresh gives (same rounding), whatever the radius and shape.
        for (int r : {1, 2, 5}) {
            QImage mask(37, 23, QImage::Format_Alpha8);
            quint32 seed = 12345u + quint32(r);
            for (int y = 0; y < mask.height(); ++y) {
                for (int x = 0; x < mask.width(); ++x) {
                    seed = seed * 1664525u + 1013904223u;
                    mask.scanLine(y)[x] = uchar(seed >> 24);
                }
            }
            QImage expected = mask.copy();
            auto pass = [r](QImage &image, bool rows) {
                const QImage source = image.copy();
                const int window = 2 * r + 1;
                const quint64 reciprocal = (quint64(1) << 32) / quint64(window);
                for (int y = 0; y < image.height(); ++y) {
                    for (int x = 0; x < image.width(); ++x) {
                        quint32 sum = 0;
                        for (int d = -r; d <= r; ++d) {
                            const int sx = rows ? x + d : x;
                            const int sy = rows ? y : y + d;
                            if (sx >= 0 && sx < image.width() && sy >= 0 && sy < image.height())
                                sum += source.constScanLine(sy)[sx];
                        }
                        image.scanLine(y)[x] = uchar((sum * reciprocal + (quint64(1) << 31)) >> 32);
                    }
                }
            };
            for (int i = 0; i < 3; ++i)
                pass(expected, true);
            for (int i = 0; i < 3; ++i)
                pass(expected, false);
            // The blur whose three boxes have radius r: (blur/2)² = r² + r.
            SnipFrameRenderer::blurAlphaMask(mask, 2 * std::sqrt(double(r * r + r)));
            for (int y = 0; y < mask.height(); ++y) {
                for (int x = 0; x < mask.width(); ++x)
                    QCOMPARE(mask.constScanLine(y)[x], expected.constScanLine(y)[x]);
            }
        }
    }

    void blurSpreadsAndKeepsMass()
    {
        QImage mask(41, 41, QImage::Format_Alpha8);
        mask.fill(0);
        for (int y = 15; y < 26; ++y)
            memset(mask.scanLine(y) + 15, 255, 11);
        qint64 before = 0;
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 41; ++x)
                before += mask.constScanLine(y)[x];
        SnipFrameRenderer::blurAlphaMask(mask, 8);
        qint64 after = 0;
        for (int y = 0; y < 41; ++y)
            for (int x = 0; x < 41; ++x)
                after += mask.constScanLine(y)[x];
        QVERIFY(std::abs(after - before) < before / 50);
        QVERIFY(mask.constScanLine(20)[20] < 255);
        QVERIFY(mask.constScanLine(20)[11] > 0);
        QVERIFY(mask.constScanLine(20)[20] > mask.constScanLine(20)[12]);
        QCOMPARE(mask.constScanLine(0)[0], uchar(0));
    }
};

QTEST_MAIN(TestSnipFrameStyle)
#include "tst_snipframestyle.moc"

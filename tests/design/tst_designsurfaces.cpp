#include "design/FunctionalSurface.h"
#include "design/QuietCanvas.h"
#include "design/QuietCard.h"
#include "design/QuietSurfaces.h"
#include "design/SemanticColors.h"
#include "design/ShapePainting.h"
#include "design/StudioDivider.h"
#include "design/StudioTag.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/AccessibilitySettings.h"
#include "platform/SymbolIcon.h"
#include "../support/DesktopAppearance.h"

#include <QApplication>
#include <QEnterEvent>
#include <QPainter>
#include <QPushButton>
#include <QScopeGuard>
#include <QTest>
#include <QVBoxLayout>

#include <limits>

using namespace tessaline;

Q_DECLARE_METATYPE(ColorSpec)
Q_DECLARE_METATYPE(FunctionalSurfaceRole)
Q_DECLARE_METATYPE(QuietCardTone)
Q_DECLARE_METATYPE(QuietCardElevation)
Q_DECLARE_METATYPE(std::optional<qreal>)

namespace QTest {
template<>
char *toString(const ColorSpec &shade)
{
    return QTest::toString(QStringLiteral("color %1 at %2").arg(int(shade.color)).arg(shade.opacity));
}
} // namespace QTest

namespace {

using SC = SemanticColor;
using Fill = FunctionalSurfaceTreatment::Fill;

QImage blank(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

bool anyPaintOutside(const QImage &image, const QRect &allowed)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (!allowed.contains(x, y) && qAlpha(image.pixel(x, y)) != 0)
                return true;
    return false;
}

} // namespace

class DesignSurfacesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void functionalTreatment_data();
    void functionalTreatment();
    void sidebarDrawsNothing();
    void floatingSurfacesKeepWhatLiesBeneathFaint_data();
    void floatingSurfacesKeepWhatLiesBeneathFaint();
    void surfaceBorderLetsClicksThrough();
    void quietCardLook_data();
    void quietCardLook();
    void shadowsGrowWithElevation();
    void aLargeShadowIsTheWholeBlur_data();
    void aLargeShadowIsTheWholeBlur();
    void borderStaysInsideTheCard_data();
    void borderStaysInsideTheCard();
    void suggestionBorderIsDashed();
    void hoverFollowsReduceMotion();
    void canvasFillsWithWindowColour();
    void settingsChangesRepaint();
    void symbolsFollowTheAppearance();
    void symbolsKeepTheirPixelsAtEveryScale_data();
    void symbolsKeepTheirPixelsAtEveryScale();
    void dividersUseTheSeparatorColour_data();
    void dividersUseTheSeparatorColour();
};

void DesignSurfacesTest::init()
{
    AccessibilitySettings::shared().setReducesMotion(false);
    AccessibilitySettings::shared().setReducesTransparency(false);
    AccessibilitySettings::shared().setIncreasesContrast(false);
}

void DesignSurfacesTest::functionalTreatment_data()
{
    QTest::addColumn<FunctionalSurfaceRole>("role");
    QTest::addColumn<std::optional<qreal>>("radius");
    QTest::addColumn<bool>("reduceTransparency");
    QTest::addColumn<bool>("increasedContrast");
    QTest::addColumn<int>("fill");
    QTest::addColumn<int>("fillColor");
    QTest::addColumn<qreal>("expectedRadius");
    QTest::addColumn<qreal>("borderOpacity");
    QTest::addColumn<qreal>("borderWidth");

    const std::optional<qreal> none;
    const auto R = FunctionalSurfaceRole::toolbar;
    QTest::newRow("toolbar material") << R << none << false << false << int(Fill::material)
                                      << int(SC::windowBackground) << 7.0 << 0.45 << 1.0;
    QTest::newRow("toolbar solid") << R << none << true << false << int(Fill::solid) << int(SC::windowBackground)
                                   << 7.0 << 0.45 << 1.0;
    QTest::newRow("palette material") << FunctionalSurfaceRole::palette << none << false << false
                                      << int(Fill::material) << int(SC::controlBackground) << 14.0 << 0.45 << 1.0;
    QTest::newRow("popover solid, contrast") << FunctionalSurfaceRole::popover << none << true << true
                                             << int(Fill::solid) << int(SC::controlBackground) << 14.0 << 0.95 << 1.5;
    QTest::newRow("contextual palette default radius")
        << FunctionalSurfaceRole::contextualPalette << none << false << true << int(Fill::material)
        << int(SC::controlBackground) << 10.0 << 0.95 << 1.5;
    QTest::newRow("explicit zero radius") << FunctionalSurfaceRole::contextualPalette << std::optional<qreal>(0)
                                          << false << false << int(Fill::material) << int(SC::controlBackground)
                                          << 0.0 << 0.45 << 1.0;
    QTest::newRow("explicit radius") << R << std::optional<qreal>(3) << true << false << int(Fill::solid)
                                     << int(SC::windowBackground) << 3.0 << 0.45 << 1.0;
}

void DesignSurfacesTest::functionalTreatment()
{
    QFETCH(FunctionalSurfaceRole, role);
    QFETCH(std::optional<qreal>, radius);
    QFETCH(bool, reduceTransparency);
    QFETCH(bool, increasedContrast);
    QFETCH(int, fill);
    QFETCH(int, fillColor);
    QFETCH(qreal, expectedRadius);
    QFETCH(qreal, borderOpacity);
    QFETCH(qreal, borderWidth);

    const FunctionalSurfaceTreatment treatment =
        functionalSurfaceTreatment(role, radius, {false, reduceTransparency, increasedContrast});
    QCOMPARE(int(treatment.fill), fill);
    QCOMPARE(int(treatment.fillColor.color), fillColor);
    if (treatment.fill == Fill::solid)
        QCOMPARE(treatment.fillColor.opacity, 1.0);
    else
        QVERIFY(treatment.fillColor.opacity < 1.0);
    QCOMPARE(treatment.cornerRadius, expectedRadius);
    QVERIFY(treatment.hasBorder);
    QCOMPARE(treatment.borderColor, (ColorSpec{SC::separator, borderOpacity}));
    QCOMPARE(treatment.borderWidth, borderWidth);

    // Contrast changes only the border.
    const FunctionalSurfaceTreatment other =
        functionalSurfaceTreatment(role, radius, {false, reduceTransparency, !increasedContrast});
    QCOMPARE(other.fill, treatment.fill);
    QCOMPARE(other.fillColor, treatment.fillColor);
    QVERIFY(other.borderWidth != treatment.borderWidth);
}

void DesignSurfacesTest::sidebarDrawsNothing()
{
    for (bool transparency : {false, true}) {
        for (bool contrast : {false, true}) {
            const DesignEnvironment environment{false, transparency, contrast};
            const FunctionalSurfaceTreatment treatment =
                functionalSurfaceTreatment(FunctionalSurfaceRole::sidebar, std::nullopt, environment);
            QCOMPARE(treatment.fill, Fill::none);
            QVERIFY(!treatment.hasBorder);
            QImage image = blank(60, 40);
            QPainter painter(&image);
            paintFunctionalSurface(&painter, QRectF(0, 0, 60, 40), FunctionalSurfaceRole::sidebar, 5.0,
                                   QApplication::palette(), environment);
            painter.end();
            QVERIFY(!anyPaintOutside(image, QRect()));
        }
    }
}

void DesignSurfacesTest::floatingSurfacesKeepWhatLiesBeneathFaint_data()
{
    QTest::addColumn<int>("role");
    QTest::newRow("palette") << int(FunctionalSurfaceRole::palette);
    QTest::newRow("contextual palette") << int(FunctionalSurfaceRole::contextualPalette);
    QTest::newRow("popover") << int(FunctionalSurfaceRole::popover);
}

// A palette or the snip tray floats over the map's cards. Without a blur,
// black text beneath it must come through as no more than a faint tint, or
// it reads as a second line of text under the palette's own.
void DesignSurfacesTest::floatingSurfacesKeepWhatLiesBeneathFaint()
{
    QFETCH(int, role);
    const DesignEnvironment environment{false, false, false};
    const QPalette palette = QApplication::palette();
    QImage image(60, 40, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    paintFunctionalSurface(&painter, QRectF(0, 0, 60, 40), FunctionalSurfaceRole(role), 5.0, palette, environment);
    painter.end();
    const QColor over = image.pixelColor(30, 20);
    const QColor own = semanticColor(SC::controlBackground, palette);
    QVERIFY2(std::abs(over.lightness() - own.lightness()) <= 20,
             qPrintable(QStringLiteral("%1 over black, %2 alone").arg(over.lightness()).arg(own.lightness())));
}

void DesignSurfacesTest::surfaceBorderLetsClicksThrough()
{
    FunctionalSurface surface(FunctionalSurfaceRole::toolbar);
    auto *content = new QPushButton(QStringLiteral("Back"));
    surface.setContent(content);
    surface.resize(120, 32);
    surface.show();
    QVERIFY(QTest::qWaitForWindowExposed(&surface));
    // The border lies on top of the content, yet the content is what the
    // pointer reaches, on the border line too.
    QCOMPARE(surface.childAt(0, 16), content);
    QCOMPARE(surface.childAt(60, 16), content);

    // The border is drawn within the surface's bounds on top of the content.
    const QImage image = surface.grab().toImage();
    const QColor edge = image.pixelColor(60, 0);
    const QColor inner = image.pixelColor(60, 16);
    QVERIFY(edge != inner);
}

void DesignSurfacesTest::quietCardLook_data()
{
    QTest::addColumn<QuietCardTone>("tone");
    QTest::addColumn<QString>("flags"); // s selected, h hovered, c increased contrast
    QTest::addColumn<ColorSpec>("fill");
    QTest::addColumn<ColorSpec>("border");
    QTest::addColumn<qreal>("width");
    QTest::addColumn<qreal>("tint");
    QTest::addColumn<bool>("dashed");

    const ColorSpec control{SC::controlBackground, 1};
    const ColorSpec text{SC::textBackground, 1};
    const ColorSpec label{SC::label, 1};
    const auto thought = QuietCardTone::thought;
    const auto snip = QuietCardTone::snip;
    const auto suggestion = QuietCardTone::suggestion;

    QTest::newRow("thought") << thought << "" << control << ColorSpec{SC::separator, 0.55} << 1.0 << 0.0 << false;
    QTest::newRow("thought hovered") << thought << "h" << control << ColorSpec{SC::separator, 0.85} << 1.0 << 0.018
                                     << false;
    QTest::newRow("snip, contrast") << snip << "c" << text << ColorSpec{SC::separator, 1.0} << 1.5 << 0.0 << false;
    QTest::newRow("snip hovered, contrast: border stays")
        << snip << "hc" << text << ColorSpec{SC::separator, 1.0} << 1.5 << 0.018 << false;
    QTest::newRow("selected thought") << thought << "s" << control << label << 2.0 << 0.0 << false;
    QTest::newRow("selected hovered: only the tint") << snip << "sh" << text << label << 2.0 << 0.018 << false;
    QTest::newRow("suggestion") << suggestion << "" << control << ColorSpec{SC::primary, 0.55} << 1.0 << 0.0 << true;
    QTest::newRow("suggestion hovered") << suggestion << "h" << control << ColorSpec{SC::primary, 0.55} << 1.0
                                        << 0.018 << true;
    QTest::newRow("suggestion, contrast") << suggestion << "c" << control << ColorSpec{SC::primary, 0.9} << 1.5 << 0.0
                                          << true;
    QTest::newRow("selected suggestion") << suggestion << "s" << control << label << 2.0 << 0.0 << true;
    QTest::newRow("selected suggestion, contrast") << suggestion << "sc" << control << label << 3.0 << 0.0 << true;
}

void DesignSurfacesTest::quietCardLook()
{
    QFETCH(QuietCardTone, tone);
    QFETCH(QString, flags);
    QFETCH(ColorSpec, fill);
    QFETCH(ColorSpec, border);
    QFETCH(qreal, width);
    QFETCH(qreal, tint);
    QFETCH(bool, dashed);
    const QuietCardLook look = tessaline::quietCardLook(tone, flags.contains(QLatin1Char('s')),
                                                        flags.contains(QLatin1Char('h')), QuietCardElevation::flat,
                                                        flags.contains(QLatin1Char('c')));
    QCOMPARE(look.fill, fill);
    QCOMPARE(look.border, border);
    QCOMPARE(look.borderWidth, width);
    QCOMPARE(look.hoverTint, (ColorSpec{SC::primary, tint}));
    QCOMPARE(look.dashed, dashed);
}

void DesignSurfacesTest::aLargeShadowIsTheWholeBlur_data()
{
    QTest::addColumn<QSize>("shape");
    QTest::addColumn<qreal>("radius");
    QTest::addColumn<qreal>("blur");
    QTest::addColumn<qreal>("ratio");
    QTest::newRow("a card") << QSize(580, 350) << 12.0 << 8.0 << 1.0;
    QTest::newRow("a card at twice the density") << QSize(300, 200) << 12.0 << 8.0 << 2.0;
    QTest::newRow("at a fractional density") << QSize(301, 157) << 10.0 << 10.0 << 1.25;
    QTest::newRow("long and low") << QSize(900, 64) << 6.0 << 16.0 << 1.0;
    QTest::newRow("square corners") << QSize(200, 120) << 0.0 << 4.0 << 1.5;
}

void DesignSurfacesTest::aLargeShadowIsTheWholeBlur()
{
    QFETCH(QSize, shape);
    QFETCH(qreal, radius);
    QFETCH(qreal, blur);
    QFETCH(qreal, ratio);
    const QColor colour(20, 30, 40, 90);
    const QImage made = shadowImage(shape, radius, colour, blur, ratio);
    const QImage whole = shadowImage(shape, radius, colour, blur, ratio, std::numeric_limits<int>::max());
    QCOMPARE(made.size(), whole.size());
    QCOMPARE(made.devicePixelRatio(), ratio);
    // The sums of a blur run down a whole side or a short one round apart
    // by a step at most.
    int worst = 0;
    for (int y = 0; y < whole.height(); ++y) {
        for (int x = 0; x < whole.width(); ++x)
            worst = std::max(worst, std::abs(qAlpha(made.pixel(x, y)) - qAlpha(whole.pixel(x, y))));
    }
    QVERIFY2(worst <= 1, qPrintable(QString::number(worst)));
    // Faint at the image's edge, darkest under the shape's middle.
    QCOMPARE(qAlpha(made.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(made.pixel(made.width() / 2, made.height() / 2)), colour.alpha());
}

void DesignSurfacesTest::shadowsGrowWithElevation()
{
    const QuietCardShadow flat = quietCardShadow(QuietCardElevation::flat);
    const QuietCardShadow floating = quietCardShadow(QuietCardElevation::floating);
    const QuietCardShadow dragging = quietCardShadow(QuietCardElevation::dragging);
    QCOMPARE(flat.opacity, 0.0);
    QVERIFY(floating.opacity > 0);
    QVERIFY(dragging.opacity > floating.opacity);
    QVERIFY(dragging.blurRadius > floating.blurRadius);
    QVERIFY(dragging.yOffset > floating.yOffset);
    QCOMPARE(quietCardShadowMargins(QuietCardElevation::flat), QMarginsF());

    // Painted: nothing outside a flat card; a dragging card's shadow darkens
    // more and reaches further below than a floating one's.
    const QRectF card(30, 30, 100, 60);
    const auto shadowBelow = [&](QuietCardElevation elevation, int distance) {
        QImage image = blank(160, 140);
        QPainter painter(&image);
        paintQuietCardBackground(&painter, card, {QuietCardTone::thought, false, 0, elevation, 12},
                                 QApplication::palette(), false);
        painter.end();
        if (elevation == QuietCardElevation::flat)
            return anyPaintOutside(image, card.toAlignedRect()) ? 255 : 0;
        return qAlpha(image.pixel(80, int(card.bottom()) + distance));
    };
    QCOMPARE(shadowBelow(QuietCardElevation::flat, 0), 0);
    QVERIFY(shadowBelow(QuietCardElevation::floating, 2) > 0);
    QVERIFY(shadowBelow(QuietCardElevation::dragging, 2) > shadowBelow(QuietCardElevation::floating, 2));
    QVERIFY(shadowBelow(QuietCardElevation::dragging, 12) > shadowBelow(QuietCardElevation::floating, 12));
}

void DesignSurfacesTest::borderStaysInsideTheCard_data()
{
    QTest::addColumn<QuietCardTone>("tone");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("contrast");
    QTest::newRow("thin") << QuietCardTone::thought << false << false;
    QTest::newRow("contrast") << QuietCardTone::snip << false << true;
    QTest::newRow("selected, 3 wide") << QuietCardTone::snip << true << true;
    QTest::newRow("dashed, 3 wide, round caps") << QuietCardTone::suggestion << true << true;
}

void DesignSurfacesTest::borderStaysInsideTheCard()
{
    QFETCH(QuietCardTone, tone);
    QFETCH(bool, selected);
    QFETCH(bool, contrast);
    QImage image = blank(120, 90);
    const QRect card(10, 10, 100, 70);
    QPainter painter(&image);
    paintQuietCardOverlay(&painter, card, {tone, selected, 1.0, QuietCardElevation::flat, 12}, QApplication::palette(),
                          contrast);
    painter.end();
    QVERIFY(!anyPaintOutside(image, card));
    // And the border is there: the middle of the top edge is painted.
    QVERIFY(qAlpha(image.pixel(60, 10)) > 0 || qAlpha(image.pixel(58, 10)) > 0 || qAlpha(image.pixel(62, 10)) > 0);
}

void DesignSurfacesTest::suggestionBorderIsDashed()
{
    const auto topEdgeRuns = [](QuietCardTone tone) {
        QImage image = blank(220, 60);
        QPainter painter(&image);
        paintQuietCardOverlay(&painter, QRectF(0, 0, 220, 60), {tone, false, 0, QuietCardElevation::flat, 12},
                              QApplication::palette(), false);
        painter.end();
        // Count painted stretches along the straight part of the top edge.
        int runs = 0;
        bool inRun = false;
        for (int x = 20; x < 200; ++x) {
            const bool painted = qAlpha(image.pixel(x, 0)) > 8;
            if (painted && !inRun)
                ++runs;
            inRun = painted;
        }
        return runs;
    };
    QCOMPARE(topEdgeRuns(QuietCardTone::thought), 1);
    // 180 pixels of 5 drawn and 4 left out.
    QVERIFY(topEdgeRuns(QuietCardTone::suggestion) >= 15);
}

void DesignSurfacesTest::hoverFollowsReduceMotion()
{
    QuietCard card(QuietCardTone::snip, false, QuietCardElevation::floating, 10);
    card.resize(200, 120);
    card.show();
    QVERIFY(QTest::qWaitForWindowExposed(&card));

    AccessibilitySettings::shared().setReducesMotion(true);
    // Showing may already have told the card the pointer is inside.
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&card, &leave);
    QCOMPARE(card.hoverAmount(), 0.0);
    QEnterEvent enter(QPointF(50, 50), QPointF(50, 50), card.mapToGlobal(QPointF(50, 50)));
    QApplication::sendEvent(&card, &enter);
    QVERIFY(card.isHovered());
    QCOMPARE(card.hoverAmount(), 1.0);
    QApplication::sendEvent(&card, &leave);
    QCOMPARE(card.hoverAmount(), 0.0);

    AccessibilitySettings::shared().setReducesMotion(false);
    QApplication::sendEvent(&card, &enter);
    QVERIFY(card.isHovered());
    QVERIFY(card.hoverAmount() < 1.0);
    QTRY_COMPARE(card.hoverAmount(), 1.0);

    // Room is kept for the shadow; the card's shape sits inside the widget.
    const QRectF shape = card.cardRect();
    QVERIFY(shape.top() >= 0 && shape.left() > 0);
    QVERIFY(shape.bottom() < card.height());
}

void DesignSurfacesTest::canvasFillsWithWindowColour()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Window, QColor(12, 34, 56));
    QuietCanvas canvas;
    canvas.setPalette(palette);
    canvas.resize(80, 60);
    const QImage image = canvas.grab().toImage();
    QCOMPARE(image.pixelColor(0, 0), QColor(12, 34, 56));
    QCOMPARE(image.pixelColor(79, 59), QColor(12, 34, 56));
    QCOMPARE(canvas.sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
}

namespace {

class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

void DesignSurfacesTest::settingsChangesRepaint()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    QList<QWidget *> widgets{new FunctionalSurface(FunctionalSurfaceRole::palette),
                             new QuietCard(QuietCardTone::suggestion),
                             new StudioTag(QStringLiteral("Snip")),
                             new TessalinePrimaryButton(QStringLiteral("Keep"))};
    for (QWidget *widget : widgets) {
        widget->setMinimumSize(60, 30);
        layout->addWidget(widget);
    }
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QApplication::processEvents();

    PaintCounter counter;
    for (QWidget *widget : widgets) {
        for (const auto setting : {&AccessibilitySettings::setIncreasesContrast, &AccessibilitySettings::setReducesTransparency}) {
            widget->installEventFilter(&counter);
            counter.paints = 0;
            (AccessibilitySettings::shared().*setting)(true);
            QTRY_VERIFY2(counter.paints > 0, widget->metaObject()->className());
            (AccessibilitySettings::shared().*setting)(false);
            QApplication::processEvents();
            widget->removeEventFilter(&counter);
        }
    }
}

// A symbol made once into a pixmap stayed dark grey on the window the desktop
// had turned dark.
void DesignSurfacesTest::symbolsFollowTheAppearance()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    layout->addWidget(new SymbolLabel(QStringLiteral("photo"), 24, SemanticColor::label));
    window.setAutoFillBackground(true);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The mean lightness of the pixels that stand out from the window.
    const auto inkLightness = [&window] {
        const QImage shot = window.grab().toImage();
        const QColor ground = window.palette().color(QPalette::Window);
        qreal sum = 0;
        int count = 0;
        for (int y = 0; y < shot.height(); ++y) {
            for (int x = 0; x < shot.width(); ++x) {
                const QColor pixel = shot.pixelColor(x, y);
                if (std::abs(pixel.lightnessF() - ground.lightnessF()) > 0.3) {
                    sum += pixel.lightnessF();
                    ++count;
                }
            }
        }
        return count < 20 ? -1.0 : sum / count;
    };
    const QPalette light = QApplication::palette();
    const auto restore = qScopeGuard([light] { QApplication::setPalette(light); });
    const qreal before = inkLightness();
    QVERIFY2(before >= 0 && before < 0.4, qPrintable(QString::number(before)));
    QApplication::setPalette(testing::darkAppearance(light));
    QTRY_VERIFY(inkLightness() > 0.6);
}

void DesignSurfacesTest::symbolsKeepTheirPixelsAtEveryScale_data()
{
    QTest::addColumn<qreal>("ratio");
    QTest::addColumn<QPoint>("position");
    // The label's centre is a point in from its position.
    QTest::newRow("1") << 1.0 << QPoint(7, 5);
    QTest::newRow("1.25, between pixels") << 1.25 << QPoint(8, 6);
    QTest::newRow("1.5, on pixels") << 1.5 << QPoint(7, 5);
    QTest::newRow("1.5, between pixels") << 1.5 << QPoint(8, 6);
    QTest::newRow("1.75, between pixels down") << 1.75 << QPoint(3, 9);
    QTest::newRow("2") << 2.0 << QPoint(7, 5);
    QTest::newRow("3") << 3.0 << QPoint(8, 6);
}

// A symbol is drawn from a rendering made for the scale it is painted at,
// wherever it lies: one made for another scale is resampled, blurred.
void DesignSurfacesTest::symbolsKeepTheirPixelsAtEveryScale()
{
    QFETCH(qreal, ratio);
    QFETCH(QPoint, position);
    QWidget holder;
    holder.resize(60, 60);
    auto *symbol = new SymbolLabel(QStringLiteral("photo"), 24, SemanticColor::label, &holder);
    symbol->setGeometry(QRect(position, symbol->sizeHint()));

    QImage shot(QSize(60, 60) * ratio, QImage::Format_ARGB32_Premultiplied);
    shot.setDevicePixelRatio(ratio);
    shot.fill(Qt::transparent);
    holder.render(&shot, QPoint(), QRegion(), QWidget::DrawChildren);

    const QImage expected = SymbolIcon::tintedPixmap(QStringLiteral("photo"), QSize(24, 24), ratio,
                                                     semanticColor(SemanticColor::label, symbol->palette()))
                                .toImage()
                                .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(expected.size(), QSize(24, 24) * ratio);
    // The symbol's corner: the label's centre, on the nearest pixel.
    const QPoint corner(qRound((position.x() + 1) * ratio), qRound((position.y() + 1) * ratio));
    int differing = 0;
    for (int y = 0; y < expected.height(); ++y) {
        for (int x = 0; x < expected.width(); ++x)
            differing += shot.pixel(corner + QPoint(x, y)) != expected.pixel(x, y);
    }
    QVERIFY2(differing == 0, qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

void DesignSurfacesTest::dividersUseTheSeparatorColour_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<Qt::Orientation>("orientation");
    QTest::addColumn<bool>("contrast");
    QTest::newRow("light, across") << QColor(236, 236, 236) << QColor(Qt::black) << Qt::Horizontal << false;
    QTest::newRow("light, upright") << QColor(236, 236, 236) << QColor(Qt::black) << Qt::Vertical << false;
    QTest::newRow("dark, across") << QColor(40, 40, 40) << QColor(Qt::white) << Qt::Horizontal << false;
    QTest::newRow("light, more contrast") << QColor(236, 236, 236) << QColor(Qt::black) << Qt::Vertical << true;
}

void DesignSurfacesTest::dividersUseTheSeparatorColour()
{
    QFETCH(QColor, window);
    QFETCH(QColor, text);
    QFETCH(Qt::Orientation, orientation);
    QFETCH(bool, contrast);
    AccessibilitySettings::shared().setIncreasesContrast(contrast);
    QWidget holder;
    QPalette palette = holder.palette();
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    holder.setPalette(palette);
    holder.setAutoFillBackground(true);
    auto *layout = new QVBoxLayout(&holder);
    layout->setContentsMargins(10, 10, 10, 10);
    auto *divider = new StudioDivider(orientation);
    layout->addWidget(divider);
    holder.resize(80, 80);
    holder.show();
    QVERIFY(QTest::qWaitForWindowExposed(&holder));
    QCOMPARE(orientation == Qt::Horizontal ? divider->height() : divider->width(), 1);

    const QImage shot = holder.grab().toImage();
    const QColor line = shot.pixelColor(divider->geometry().center() * shot.devicePixelRatio());
    const QColor separator = semanticColor(SemanticColor::separator, palette, contrast);
    const QColor expected = mixColors(window, QColor(separator.rgb()), separator.alphaF());
    QVERIFY2(std::abs(line.red() - expected.red()) <= 2 && std::abs(line.blue() - expected.blue()) <= 2,
             qPrintable(line.name() + QStringLiteral(" for ") + expected.name()));
    AccessibilitySettings::shared().setIncreasesContrast(false);
}

QTEST_MAIN(DesignSurfacesTest)
#include "tst_designsurfaces.moc"

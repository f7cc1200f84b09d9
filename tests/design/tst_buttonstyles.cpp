#include "design/StudioActionButton.h"
#include "design/StudioButtonPainting.h"
#include "design/StudioCardButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioControls.h"
#include "design/StudioIconButton.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/AccessibilitySettings.h"

#include <QAccessible>
#include <QApplication>
#include <QDialog>
#include <QLineEdit>
#include <QPainter>
#include <QEnterEvent>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

Q_DECLARE_METATYPE(StudioButtonState)
Q_DECLARE_METATYPE(ColorSpec)
Q_DECLARE_METATYPE(StudioControlProminence)

namespace {

using SC = SemanticColor;

StudioButtonState makeState(const QString &flags)
{
    // Flags: e enabled (default), d disabled, p pressed, h hovered,
    // s selected, c increased contrast, m reduce motion.
    StudioButtonState state;
    state.isEnabled = !flags.contains(QLatin1Char('d'));
    state.isPressed = flags.contains(QLatin1Char('p'));
    state.isHovered = flags.contains(QLatin1Char('h'));
    state.isSelected = flags.contains(QLatin1Char('s'));
    state.increasedContrast = flags.contains(QLatin1Char('c'));
    state.reduceMotion = flags.contains(QLatin1Char('m'));
    return state;
}

char *describe(const ColorSpec &shade)
{
    return QTest::toString(QStringLiteral("color %1 at %2").arg(int(shade.color)).arg(shade.opacity));
}

void sendEnter(QWidget *widget)
{
    QEnterEvent event(QPointF(2, 2), QPointF(2, 2), widget->mapToGlobal(QPointF(2, 2)));
    QApplication::sendEvent(widget, &event);
}

void sendLeave(QWidget *widget)
{
    QEvent event(QEvent::Leave);
    QApplication::sendEvent(widget, &event);
}

} // namespace

namespace QTest {
template<>
char *toString(const ColorSpec &shade)
{
    return describe(shade);
}
} // namespace QTest

class ButtonStylesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void primaryLook_data();
    void primaryLook();
    void primaryMetrics_data();
    void primaryMetrics();
    void chipLook_data();
    void chipLook();
    void cardLook_data();
    void cardLook();
    void hoverTracking();
    void pressWithReduceMotionAppliesAtOnce();
    void iconButtonLabelsItselfWithTitle();
    void actionButtonShowsSymbolOnlyWhenGiven();
    void roundedCornersTakeNoClicks();
    void cardButtonTakesClicksOnItsContent();
    void keyboardFocusShowsARing();
    void returnTriggersTheDefaultButtonOfADialog();
    void delegatesPaintWhatTheWidgetShows_data();
    void delegatesPaintWhatTheWidgetShows();
};

void ButtonStylesTest::init()
{
    AccessibilitySettings::shared().setReducesMotion(false);
    AccessibilitySettings::shared().setIncreasesContrast(false);
}

void ButtonStylesTest::primaryLook_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<ColorSpec>("foreground");
    QTest::addColumn<ColorSpec>("fill");
    QTest::addColumn<ColorSpec>("border");
    QTest::addColumn<qreal>("borderWidth");
    QTest::addColumn<qreal>("scale");

    const ColorSpec onLabel{SC::windowBackground, 1};
    const ColorSpec disabledText{SC::disabledControlText, 1};
    const ColorSpec noBorder{SC::windowBackground, 0};
    const ColorSpec contrastBorder{SC::windowBackground, 0.75};
    const ColorSpec separator{SC::separator, 1};

    QTest::newRow("rest") << "" << onLabel << ColorSpec{SC::label, 1} << noBorder << 0.0 << 1.0;
    QTest::newRow("hovered") << "h" << onLabel << ColorSpec{SC::label, 0.88} << noBorder << 0.0 << 1.0;
    QTest::newRow("pressed") << "p" << onLabel << ColorSpec{SC::label, 0.76} << noBorder << 0.0 << 0.975;
    QTest::newRow("pressed beats hovered") << "ph" << onLabel << ColorSpec{SC::label, 0.76} << noBorder << 0.0 << 0.975;
    QTest::newRow("pressed, reduce motion") << "pm" << onLabel << ColorSpec{SC::label, 0.76} << noBorder << 0.0 << 1.0;
    QTest::newRow("increased contrast") << "c" << onLabel << ColorSpec{SC::label, 1} << contrastBorder << 1.0 << 1.0;
    QTest::newRow("disabled") << "d" << disabledText << ColorSpec{SC::primary, 0.08} << separator << 1.0 << 1.0;
    QTest::newRow("disabled, hovered and pressed")
        << "dhp" << disabledText << ColorSpec{SC::primary, 0.08} << separator << 1.0 << 1.0;
    QTest::newRow("disabled, increased contrast")
        << "dc" << disabledText << ColorSpec{SC::primary, 0.14} << separator << 1.0 << 1.0;
}

void ButtonStylesTest::primaryLook()
{
    QFETCH(QString, flags);
    QFETCH(ColorSpec, foreground);
    QFETCH(ColorSpec, fill);
    QFETCH(ColorSpec, border);
    QFETCH(qreal, borderWidth);
    QFETCH(qreal, scale);
    const StudioButtonLook look = primaryButtonLook(makeState(flags));
    QCOMPARE(look.foreground, foreground);
    QCOMPARE(look.fill, fill);
    QCOMPARE(look.border, border);
    QCOMPARE(look.borderWidth, borderWidth);
    QCOMPARE(look.scale, scale);
    QCOMPARE(look.opacity, 1.0);
    QCOMPARE(look.animates, !flags.contains(QLatin1Char('m')));
}

void ButtonStylesTest::primaryMetrics_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<qreal>("fontSize");
    QTest::addColumn<qreal>("padding");
    QTest::addColumn<qreal>("minimumHeight");
    QTest::addColumn<qreal>("radius");
    QTest::newRow("mini") << int(StudioControlSize::mini) << 10.0 << 8.0 << 22.0 << 5.0;
    QTest::newRow("small") << int(StudioControlSize::small) << 11.0 << 10.0 << 26.0 << 6.0;
    QTest::newRow("regular") << int(StudioControlSize::regular) << 12.0 << 13.0 << 30.0 << 7.0;
    QTest::newRow("large") << int(StudioControlSize::large) << 13.0 << 16.0 << 34.0 << 8.0;
    QTest::newRow("extra large draws as regular") << int(StudioControlSize::extraLarge) << 12.0 << 13.0 << 30.0 << 7.0;
}

void ButtonStylesTest::primaryMetrics()
{
    QFETCH(int, size);
    QFETCH(qreal, fontSize);
    QFETCH(qreal, padding);
    QFETCH(qreal, minimumHeight);
    QFETCH(qreal, radius);
    const StudioButtonMetrics metrics = primaryButtonMetrics(StudioControlSize(size));
    QCOMPARE(metrics.fontSize, fontSize);
    QCOMPARE(metrics.horizontalPadding, padding);
    QCOMPARE(metrics.minimumHeight, minimumHeight);
    QCOMPARE(metrics.cornerRadius, radius);
    QCOMPARE(metrics.fontWeight, QFont::DemiBold);

    // The widget takes the metrics: its height is the minimum, its width the
    // label plus the padding on both sides.
    TessalinePrimaryButton button(QStringLiteral("Save"));
    button.setControlSize(StudioControlSize(size));
    QCOMPARE(button.sizeHint().height(), int(minimumHeight));
    QVERIFY(button.sizeHint().width() > 2 * padding);
}

void ButtonStylesTest::chipLook_data()
{
    QTest::addColumn<StudioControlProminence>("prominence");
    QTest::addColumn<QString>("flags");
    QTest::addColumn<ColorSpec>("foreground");
    QTest::addColumn<ColorSpec>("fill");
    QTest::addColumn<ColorSpec>("border");
    QTest::addColumn<qreal>("borderWidth");
    QTest::addColumn<qreal>("opacity");
    QTest::addColumn<qreal>("compactScale");
    QTest::addColumn<qreal>("iconScale");

    const auto standard = StudioControlProminence::standard;
    const auto accent = StudioControlProminence::accent;
    const auto destructive = StudioControlProminence::destructive;
    const ColorSpec primary{SC::primary, 1};
    const ColorSpec inverted{SC::windowBackground, 1};
    const ColorSpec red{SC::systemRed, 1};
    const ColorSpec standardBorder{SC::primary, 0.7};
    const ColorSpec accentBorder{SC::windowBackground, 0.55};
    const ColorSpec redBorder{SC::systemRed, 0.7};

    QTest::newRow("standard at rest: label only")
        << standard << "" << primary << ColorSpec{SC::primary, 0} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard hovered")
        << standard << "h" << primary << ColorSpec{SC::primary, 0.07} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard pressed")
        << standard << "p" << primary << ColorSpec{SC::primary, 0.12} << standardBorder << 0.0 << 1.0 << 0.975 << 0.94;
    QTest::newRow("standard selected")
        << standard << "s" << primary << ColorSpec{SC::primary, 0.11} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard selected, hover changes nothing")
        << standard << "sh" << primary << ColorSpec{SC::primary, 0.11} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard selected pressed")
        << standard << "sph" << primary << ColorSpec{SC::primary, 0.22} << standardBorder << 0.0 << 1.0 << 0.975 << 0.94;
    QTest::newRow("standard selected, contrast")
        << standard << "shc" << primary << ColorSpec{SC::primary, 0.18} << standardBorder << 1.5 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard unselected, contrast: still no border")
        << standard << "hc" << primary << ColorSpec{SC::primary, 0.07} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("standard disabled keeps its fill, dimmed, no shrink")
        << standard << "dsp" << primary << ColorSpec{SC::primary, 0.22} << standardBorder << 0.0 << 0.45 << 1.0 << 1.0;
    QTest::newRow("standard pressed, reduce motion")
        << standard << "pm" << primary << ColorSpec{SC::primary, 0.12} << standardBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("accent at rest")
        << accent << "" << inverted << ColorSpec{SC::label, 1} << accentBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("accent hovered: unchanged")
        << accent << "h" << inverted << ColorSpec{SC::label, 1} << accentBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("accent pressed")
        << accent << "p" << inverted << ColorSpec{SC::label, 0.76} << accentBorder << 0.0 << 1.0 << 0.975 << 0.94;
    QTest::newRow("accent, contrast")
        << accent << "c" << inverted << ColorSpec{SC::label, 1} << accentBorder << 1.5 << 1.0 << 1.0 << 1.0;
    QTest::newRow("destructive at rest")
        << destructive << "" << red << ColorSpec{SC::systemRed, 0.07} << redBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("destructive hovered")
        << destructive << "h" << red << ColorSpec{SC::systemRed, 0.12} << redBorder << 0.0 << 1.0 << 1.0 << 1.0;
    QTest::newRow("destructive pressed")
        << destructive << "ph" << red << ColorSpec{SC::systemRed, 0.18} << redBorder << 0.0 << 1.0 << 0.975 << 0.94;
    QTest::newRow("destructive, contrast")
        << destructive << "c" << red << ColorSpec{SC::systemRed, 0.07} << redBorder << 1.5 << 1.0 << 1.0 << 1.0;
    QTest::newRow("destructive disabled")
        << destructive << "d" << red << ColorSpec{SC::systemRed, 0.07} << redBorder << 0.0 << 0.45 << 1.0 << 1.0;
}

void ButtonStylesTest::chipLook()
{
    QFETCH(StudioControlProminence, prominence);
    QFETCH(QString, flags);
    QFETCH(ColorSpec, foreground);
    QFETCH(ColorSpec, fill);
    QFETCH(ColorSpec, border);
    QFETCH(qreal, borderWidth);
    QFETCH(qreal, opacity);
    QFETCH(qreal, compactScale);
    QFETCH(qreal, iconScale);
    const StudioButtonState state = makeState(flags);
    const StudioButtonLook compact = compactButtonLook(prominence, state);
    const StudioButtonLook icon = iconButtonLook(prominence, state);
    for (const StudioButtonLook &look : {compact, icon}) {
        QCOMPARE(look.foreground, foreground);
        QCOMPARE(look.fill, fill);
        QCOMPARE(look.border, border);
        QCOMPARE(look.borderWidth, borderWidth);
        QCOMPARE(look.opacity, opacity);
    }
    QCOMPARE(compact.scale, compactScale);
    QCOMPARE(icon.scale, iconScale);
}

void ButtonStylesTest::cardLook_data()
{
    QTest::addColumn<QString>("flags");
    QTest::addColumn<qreal>("opacity");
    QTest::addColumn<qreal>("scale");
    QTest::newRow("rest") << "" << 1.0 << 1.0;
    QTest::newRow("pressed") << "p" << 0.84 << 0.992;
    QTest::newRow("pressed, reduce motion") << "pm" << 0.84 << 1.0;
    QTest::newRow("disabled") << "d" << 0.5 << 1.0;
    QTest::newRow("hover changes nothing") << "hc" << 1.0 << 1.0;
}

void ButtonStylesTest::cardLook()
{
    QFETCH(QString, flags);
    QFETCH(qreal, opacity);
    QFETCH(qreal, scale);
    const StudioButtonLook look = cardButtonLook(makeState(flags));
    QCOMPARE(look.opacity, opacity);
    QCOMPARE(look.scale, scale);
    QCOMPARE(look.fill.opacity, 0.0);
    QCOMPARE(look.borderWidth, 0.0);
}

void ButtonStylesTest::hoverTracking()
{
    // The primary, icon and action buttons follow the pointer; a bare compact
    // button shows whatever hover its owner passes.
    TessalinePrimaryButton primary(QStringLiteral("Continue"));
    StudioIconButton icon(QStringLiteral("Zoom In"), QStringLiteral("plus.magnifyingglass"));
    StudioActionButton action(QStringLiteral("Restore"), QStringLiteral("arrow.uturn.backward"), false,
                              StudioControlProminence::standard);
    StudioCompactButton owned(QStringLiteral("Next"));
    for (StudioButton *button : std::initializer_list<StudioButton *>{&primary, &icon, &action, &owned}) {
        QVERIFY(!button->isHovered());
        sendEnter(button);
        QCOMPARE(button->isHovered(), button->tracksHover());
        sendLeave(button);
        QVERIFY(!button->isHovered());
    }
    QVERIFY(!owned.tracksHover());
    owned.setHovered(true);
    QVERIFY(owned.state().isHovered);
    QCOMPARE(owned.look().fill, (ColorSpec{SC::primary, 0.07}));

    // A disabled primary button shows nothing of the hover.
    primary.setEnabled(false);
    primary.setHovered(true);
    QCOMPARE(primary.look().fill, (ColorSpec{SC::primary, 0.08}));
}

void ButtonStylesTest::pressWithReduceMotionAppliesAtOnce()
{
    AccessibilitySettings::shared().setReducesMotion(true);
    TessalinePrimaryButton button(QStringLiteral("Capture"));
    button.resize(button.sizeHint());
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));

    const QPoint centre = button.rect().center();
    const QImage atRest = button.grab().toImage();
    QTest::mousePress(&button, Qt::LeftButton, {}, centre);
    QVERIFY(button.isDown());
    QCOMPARE(button.look().scale, 1.0);
    QCOMPARE(button.look().fill.opacity, 0.76);
    // Drawn at once: the very next frame shows the lighter fill, unscaled.
    const QImage pressed = button.grab().toImage();
    const QPoint corner(2, button.height() / 2);
    QVERIFY(atRest.pixelColor(corner) != pressed.pixelColor(corner));
    QCOMPARE(qAlpha(pressed.pixel(1, button.height() / 2)), qAlpha(atRest.pixel(1, button.height() / 2)));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, centre);
    QVERIFY(!button.isDown());
    QCOMPARE(button.grab().toImage(), atRest);
}

void ButtonStylesTest::iconButtonLabelsItselfWithTitle()
{
    bool triggered = false;
    StudioIconButton button(QStringLiteral("Delete Permanently"), QStringLiteral("trash.slash"), false,
                            StudioControlProminence::destructive, [&] { triggered = true; });
    QCOMPARE(button.toolTip(), QStringLiteral("Delete Permanently"));
    QCOMPARE(button.accessibleName(), QStringLiteral("Delete Permanently"));
    QVERIFY(button.text().isEmpty());
    QCOMPARE(button.sizeHint(), QSize(28, 28));
    button.click();
    QVERIFY(triggered);

    // A new symbol replaces the old one; the title stays.
    button.setSystemImage(QStringLiteral("trash"));
    QCOMPARE(button.systemImage(), QStringLiteral("trash"));
    QCOMPARE(button.toolTip(), QStringLiteral("Delete Permanently"));
}

void ButtonStylesTest::actionButtonShowsSymbolOnlyWhenGiven()
{
    StudioActionButton textOnly(QStringLiteral("Restore"), QString(), false, StudioControlProminence::standard);
    StudioActionButton withSymbol(QStringLiteral("Restore"), QStringLiteral("arrow.uturn.backward"), false,
                                  StudioControlProminence::standard);
    QVERIFY(textOnly.systemImage().isEmpty());
    QCOMPARE(textOnly.sizeHint().height(), 28);
    // The symbol and its spacing widen the button.
    QVERIFY(withSymbol.sizeHint().width() > textOnly.sizeHint().width() + 10);
    QCOMPARE(withSymbol.text(), QStringLiteral("Restore"));
    QVERIFY(textOnly.toolTip().isEmpty());

    // Rendered, the text-only button has ink only where its text is; the
    // other also left of it.
    for (StudioActionButton *button : {&textOnly, &withSymbol})
        button->resize(button->sizeHint());
    const QImage plain = textOnly.grab().toImage();
    const QImage symbol = withSymbol.grab().toImage();
    const auto firstInkColumn = [](const QImage &image) {
        for (int x = 0; x < image.width(); ++x)
            for (int y = 0; y < image.height(); ++y)
                if (image.pixelColor(x, y) != image.pixelColor(0, 0))
                    return x;
        return image.width();
    };
    QVERIFY(firstInkColumn(plain) >= 8);
    QVERIFY(firstInkColumn(symbol) >= 8);
    QVERIFY(firstInkColumn(symbol) < 8 + 16);
}

void ButtonStylesTest::roundedCornersTakeNoClicks()
{
    TessalinePrimaryButton button(QStringLiteral("Open Settings"));
    button.setControlSize(StudioControlSize::large);
    button.resize(140, 34);
    QSignalSpy clicked(&button, &QAbstractButton::clicked);
    // (0, 0) would mean the centre to QTest.
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(1, 1));
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(138, 32));
    QCOMPARE(clicked.count(), 0);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(70, 0));
    QCOMPARE(clicked.count(), 1);
    QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(4, 17));
    QCOMPARE(clicked.count(), 2);
}

void ButtonStylesTest::cardButtonTakesClicksOnItsContent()
{
    StudioCardButton card;
    auto *content = new QLabel(QStringLiteral("A search result"));
    content->setMinimumSize(200, 48);
    card.setContent(content);
    card.resize(card.sizeHint());
    QSignalSpy clicked(&card, &QAbstractButton::clicked);
    QCOMPARE(card.childAt(20, 20), nullptr);
    QTest::mouseClick(&card, Qt::LeftButton, {}, QPoint(20, 20));
    QCOMPARE(clicked.count(), 1);

    card.setEnabled(false);
    QCOMPARE(card.look().opacity, 0.5);
}

void ButtonStylesTest::keyboardFocusShowsARing()
{
    QWidget window;
    auto *first = new StudioCompactButton(QStringLiteral("First"), false, StudioControlProminence::standard, &window);
    auto *button = new StudioCompactButton(QStringLiteral("Second"), false, StudioControlProminence::standard, &window);
    first->setGeometry(0, 0, 80, 28);
    button->setGeometry(0, 40, 80, 28);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    const QImage unfocused = button->grab().toImage();

    // A click focuses the button without a ring; Tab draws one.
    button->setFocus(Qt::MouseFocusReason);
    QVERIFY(button->hasFocus());
    QCOMPARE(button->grab().toImage(), unfocused);
    first->setFocus(Qt::MouseFocusReason);
    button->setFocus(Qt::TabFocusReason);
    const QImage ringed = button->grab().toImage();
    QVERIFY(ringed != unfocused);
    QVERIFY(ringed.pixelColor(40, 0) != unfocused.pixelColor(40, 0));
    // The accent colour is never used: the ring is grey like the label.
    const QColor ring = ringed.pixelColor(40, 0);
    QVERIFY(qAbs(ring.red() - ring.blue()) < 8 && qAbs(ring.red() - ring.green()) < 8);

    // A card button rings its whole content the same way.
    auto *card = new StudioCardButton(&window);
    card->setContent(new QLabel(QStringLiteral("Result")));
    card->setGeometry(0, 80, 160, 48);
    card->show();
    const QImage plainCard = card->grab().toImage();
    card->setFocus(Qt::MouseFocusReason);
    QCOMPARE(card->grab().toImage(), plainCard);
    first->setFocus(Qt::MouseFocusReason);
    card->setFocus(Qt::TabFocusReason);
    QVERIFY(card->grab().toImage().pixelColor(80, 0) != plainCard.pixelColor(80, 0));
    first->setFocus(Qt::TabFocusReason);
    QCOMPARE(card->grab().toImage(), plainCard);
}

void ButtonStylesTest::returnTriggersTheDefaultButtonOfADialog()
{
    QDialog dialog;
    auto *field = new QLineEdit(&dialog);
    auto *cancel = new StudioActionButton(QStringLiteral("Cancel"), QString(), false,
                                          StudioControlProminence::standard, {}, &dialog);
    auto *keep = new TessalinePrimaryButton(QStringLiteral("Keep"), QString(), &dialog);
    cancel->setAutoDefault(false);
    keep->setDefault(true);
    cancel->move(0, 40);
    keep->move(100, 40);
    QSignalSpy kept(keep, &QAbstractButton::clicked);
    QSignalSpy cancelled(cancel, &QAbstractButton::clicked);
    dialog.show();
    QApplication::setActiveWindow(&dialog);
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    field->setFocus();
    QTest::keyClick(field, Qt::Key_Return);
    QCOMPARE(kept.count(), 1);
    QCOMPARE(cancelled.count(), 0);
}

void ButtonStylesTest::delegatesPaintWhatTheWidgetShows_data()
{
    QTest::addColumn<int>("style");
    QTest::addColumn<StudioControlProminence>("prominence");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("enabled");
    QTest::newRow("primary") << int(StudioButtonStyle::primary) << StudioControlProminence::standard << false << true;
    QTest::newRow("primary disabled") << int(StudioButtonStyle::primary) << StudioControlProminence::standard << false
                                      << false;
    QTest::newRow("compact selected") << int(StudioButtonStyle::compact) << StudioControlProminence::standard << true
                                      << true;
    QTest::newRow("compact destructive disabled")
        << int(StudioButtonStyle::compact) << StudioControlProminence::destructive << false << false;
    QTest::newRow("icon accent") << int(StudioButtonStyle::icon) << StudioControlProminence::accent << false << true;
}

void ButtonStylesTest::delegatesPaintWhatTheWidgetShows()
{
    QFETCH(int, style);
    QFETCH(StudioControlProminence, prominence);
    QFETCH(bool, selected);
    QFETCH(bool, enabled);
    AccessibilitySettings::shared().setIncreasesContrast(true);

    StudioButton button{StudioButtonStyle(style)};
    const QString text = StudioButtonStyle(style) == StudioButtonStyle::icon ? QString() : QStringLiteral("Restore");
    button.setText(text);
    button.setSystemImage(QStringLiteral("arrow.uturn.backward"));
    button.setProminence(prominence);
    button.setSelected(selected);
    button.setEnabled(enabled);
    button.resize(button.sizeHint());
    QImage fromWidget(button.size(), QImage::Format_ARGB32_Premultiplied);
    fromWidget.fill(Qt::transparent);
    button.render(&fromWidget, QPoint(), QRegion(), QWidget::DrawChildren);

    QImage fromDelegate(button.size(), QImage::Format_ARGB32_Premultiplied);
    fromDelegate.fill(Qt::transparent);
    QPainter painter(&fromDelegate);
    paintStudioButton(&painter, QRectF(QPointF(), button.size()), StudioButtonStyle(style), prominence,
                      StudioControlSize::regular, button.state(), text, button.systemImage(), button.palette());
    painter.end();
    QCOMPARE(fromDelegate, fromWidget);
    QVERIFY(studioButtonContains(QRectF(QPointF(), button.size()), button.metrics(), QRectF(button.rect()).center()));
    QVERIFY(!studioButtonContains(QRectF(QPointF(), button.size()), button.metrics(), QPointF(0.5, 0.5)));
}

QTEST_MAIN(ButtonStylesTest)
#include "tst_buttonstyles.moc"

// Draws every component of the design system in each of its states, offscreen,
// and keeps the pictures beside the test binary (gallery/*.png) for a look by
// eye. Each picture must show something more than its background.
#include "design/FunctionalSurface.h"
#include "design/QuietCanvas.h"
#include "design/QuietCard.h"
#include "design/StudioActionButton.h"
#include "design/StudioCardButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioEmptyState.h"
#include "design/StudioIconButton.h"
#include "design/StudioLoadingState.h"
#include "design/StudioSectionHeader.h"
#include "design/StudioTag.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QSet>
#include <QTest>
#include <QVBoxLayout>

#include <functional>
#include <memory>

using namespace tessaline;

namespace {

struct Environment {
    const char *name;
    bool dark;
    bool increasedContrast;
    bool reduceTransparency;
};

constexpr Environment environments[] = {
    {"light", false, false, false},
    {"dark", true, false, false},
    {"light-contrast", false, true, false},
    {"dark-solid", true, false, true},
};

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(36, 36, 38));
    palette.setColor(QPalette::WindowText, QColor(236, 236, 236));
    palette.setColor(QPalette::Base, QColor(28, 28, 30));
    palette.setColor(QPalette::Text, QColor(236, 236, 236));
    palette.setColor(QPalette::Button, QColor(48, 48, 50));
    palette.setColor(QPalette::ButtonText, QColor(236, 236, 236));
    palette.setColor(QPalette::Highlight, QColor(70, 110, 200));
    return palette;
}

// Pixels that differ from the picture's most common colour.
int inkedPixels(const QImage &image, int *distinctColours)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    int background = 0;
    for (int count : std::as_const(counts))
        background = std::max(background, count);
    *distinctColours = int(counts.size());
    return image.width() * image.height() - background;
}

void press(QAbstractButton *button)
{
    QTest::mousePress(button, Qt::LeftButton, {}, button->rect().center());
}

void hover(QWidget *widget)
{
    QEnterEvent event(QPointF(4, 4), QPointF(4, 4), widget->mapToGlobal(QPointF(4, 4)));
    QApplication::sendEvent(widget, &event);
}

QWidget *textBlock(const QString &text)
{
    auto *label = new QLabel(text);
    label->setWordWrap(true);
    label->setAutoFillBackground(false);
    return label;
}

} // namespace

class DesignGalleryTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void component_data();
    void component();

private:
    QDir m_output;
    QPalette m_lightPalette;
};

void DesignGalleryTest::initTestCase()
{
    m_output = QDir(QCoreApplication::applicationDirPath());
    QVERIFY(m_output.mkpath(QStringLiteral("gallery")));
    QVERIFY(m_output.cd(QStringLiteral("gallery")));
    m_lightPalette = QApplication::palette();
}

void DesignGalleryTest::cleanup()
{
    AccessibilitySettings::shared().setReducesMotion(false);
    AccessibilitySettings::shared().setIncreasesContrast(false);
    AccessibilitySettings::shared().setReducesTransparency(false);
}

using Factory = std::function<QWidget *()>;
using Prepare = std::function<void(QWidget *)>;
Q_DECLARE_METATYPE(Factory)
Q_DECLARE_METATYPE(Prepare)

void DesignGalleryTest::component_data()
{
    QTest::addColumn<Factory>("make");
    QTest::addColumn<Prepare>("prepare");
    QTest::addColumn<QSize>("size");

    const Prepare nothing = [](QWidget *) {};
    const Prepare pressed = [](QWidget *w) { press(static_cast<QAbstractButton *>(w)); };
    // A bare compact button shows the hover its owner gives it.
    const Prepare hovered = [](QWidget *w) {
        if (auto *button = qobject_cast<StudioButton *>(w); button && !button->tracksHover())
            button->setHovered(true);
        else
            hover(w);
    };
    const Prepare disabled = [](QWidget *w) { w->setEnabled(false); };

    struct ButtonState {
        const char *name;
        Prepare prepare;
    };
    const ButtonState buttonStates[] = {
        {"rest", nothing}, {"hovered", hovered}, {"pressed", pressed}, {"disabled", disabled}};

    // Primary buttons at every control size and state.
    const std::pair<const char *, StudioControlSize> sizes[] = {{"mini", StudioControlSize::mini},
                                                                {"small", StudioControlSize::small},
                                                                {"regular", StudioControlSize::regular},
                                                                {"large", StudioControlSize::large}};
    for (const auto &[sizeName, size] : sizes) {
        for (const ButtonState &state : buttonStates) {
            const StudioControlSize chosen = size;
            QTest::addRow("primary-%s-%s", sizeName, state.name)
                << Factory([chosen] {
                       auto *button = new TessalinePrimaryButton(QStringLiteral("Capture"), QStringLiteral("viewfinder"));
                       button->setControlSize(chosen);
                       return button;
                   })
                << state.prepare << QSize();
        }
    }

    // Compact, action and icon buttons by prominence, selected or not.
    const std::pair<const char *, StudioControlProminence> prominences[] = {
        {"standard", StudioControlProminence::standard},
        {"accent", StudioControlProminence::accent},
        {"destructive", StudioControlProminence::destructive}};
    for (const auto &[prominenceName, prominence] : prominences) {
        for (bool selected : {false, true}) {
            for (const ButtonState &state : buttonStates) {
                const StudioControlProminence p = prominence;
                const char *selection = selected ? "selected" : "plain";
                QTest::addRow("compact-%s-%s-%s", prominenceName, selection, state.name)
                    << Factory([p, selected] {
                           auto *button = new StudioCompactButton(QStringLiteral("Next"), selected, p);
                           return button;
                       })
                    << state.prepare << QSize();
                QTest::addRow("action-%s-%s-%s", prominenceName, selection, state.name)
                    << Factory([p, selected] {
                           return new StudioActionButton(QStringLiteral("Restore"), QStringLiteral("arrow.uturn.backward"),
                                                         selected, p);
                       })
                    << state.prepare << QSize();
                QTest::addRow("icon-%s-%s-%s", prominenceName, selection, state.name)
                    << Factory([p, selected] {
                           return new StudioIconButton(QStringLiteral("Delete"), QStringLiteral("trash"), selected, p);
                       })
                    << state.prepare << QSize();
            }
        }
    }
    QTest::addRow("action-text-only") << Factory([] {
        return new StudioActionButton(QStringLiteral("Show All"), QString(), false, StudioControlProminence::standard);
    }) << nothing << QSize();

    for (const ButtonState &state : buttonStates) {
        if (QByteArray(state.name) == "hovered")
            continue;
        QTest::addRow("card-button-%s", state.name) << Factory([] {
            auto *card = new StudioCardButton;
            card->setContent(textBlock(QStringLiteral("Search result\nA card that acts as a button")));
            return card;
        }) << state.prepare << QSize(240, 60);
    }

    // Tags.
    for (bool selected : {false, true}) {
        for (bool symbol : {false, true}) {
            QTest::addRow("tag-%s-%s", selected ? "selected" : "plain", symbol ? "symbol" : "text")
                << Factory([selected, symbol] {
                       return new StudioTag(QStringLiteral("Quick Captures"), symbol ? QStringLiteral("tray") : QString(),
                                            selected);
                   })
                << nothing << QSize();
        }
    }
    QTest::addRow("tag-squeezed") << Factory([] {
        return new StudioTag(QStringLiteral("A long tag title that is cut short"), QStringLiteral("sparkles"));
    }) << nothing << QSize(90, 20);

    // Headers, loading and empty states.
    QTest::addRow("section-header-title") << Factory([] {
        return new StudioSectionHeader(QStringLiteral("Notes"));
    }) << nothing << QSize(360, 30);
    QTest::addRow("section-header-full") << Factory([] {
        return new StudioSectionHeader(QStringLiteral("Recently Deleted"), QStringLiteral("4 items"),
                                       new StudioActionButton(QStringLiteral("Empty"), QStringLiteral("trash"), false,
                                                              StudioControlProminence::destructive));
    }) << nothing << QSize(360, 50);
    QTest::addRow("loading-title") << Factory([] {
        return new StudioLoadingState(QStringLiteral("Opening library"));
    }) << nothing << QSize(368, 120);
    QTest::addRow("loading-message") << Factory([] {
        return new StudioLoadingState(QStringLiteral("Opening library"),
                                      QStringLiteral("Your notes and snips will appear in a moment."));
    }) << nothing << QSize(368, 150);
    QTest::addRow("empty-no-action") << Factory([] {
        return new StudioEmptyState(QStringLiteral("No results"),
                                    QStringLiteral("Try a different title, caption, source, or recognized word."),
                                    QStringLiteral("magnifyingglass"));
    }) << nothing << QSize(368, 190);
    QTest::addRow("empty-action") << Factory([] {
        return new StudioEmptyState(QStringLiteral("No favorites yet"), QStringLiteral("Favorite a note to keep it close."),
                                    QStringLiteral("star"), QStringLiteral("New Note"),
                                    QStringLiteral("square.and.pencil"), [] {});
    }) << nothing << QSize(368, 220);

    // Functional surfaces by role.
    const std::pair<const char *, FunctionalSurfaceRole> roles[] = {
        {"toolbar", FunctionalSurfaceRole::toolbar},
        {"palette", FunctionalSurfaceRole::palette},
        {"contextual-palette", FunctionalSurfaceRole::contextualPalette},
        {"popover", FunctionalSurfaceRole::popover}};
    for (const auto &[roleName, role] : roles) {
        const FunctionalSurfaceRole r = role;
        QTest::addRow("surface-%s", roleName) << Factory([r] {
            // On a canvas, so the translucent material shows against something.
            auto *canvas = new QuietCanvas;
            auto *surface = new FunctionalSurface(r);
            surface->setFixedSize(200, 48);
            surface->setContent(textBlock(QStringLiteral("  Surface content")));
            canvas->setContent(surface);
            return canvas;
        }) << nothing << QSize(240, 80);
    }

    // Quiet cards by tone, selection, hover and elevation.
    const std::pair<const char *, QuietCardTone> tones[] = {{"thought", QuietCardTone::thought},
                                                            {"snip", QuietCardTone::snip},
                                                            {"suggestion", QuietCardTone::suggestion}};
    const std::pair<const char *, QuietCardElevation> elevations[] = {{"flat", QuietCardElevation::flat},
                                                                      {"floating", QuietCardElevation::floating},
                                                                      {"dragging", QuietCardElevation::dragging}};
    for (const auto &[toneName, tone] : tones) {
        for (const auto &[elevationName, elevation] : elevations) {
            for (bool selected : {false, true}) {
                for (bool isHovered : {false, true}) {
                    const QuietCardTone t = tone;
                    const QuietCardElevation e = elevation;
                    QTest::addRow("card-%s-%s-%s-%s", toneName, elevationName, selected ? "selected" : "plain",
                                  isHovered ? "hovered" : "rest")
                        << Factory([t, e, selected] {
                               auto *canvas = new QuietCanvas;
                               auto *card = new QuietCard(t, selected, e, 12);
                               card->setContent(textBlock(QStringLiteral("A thought worth keeping")));
                               card->setFixedSize(220, 110);
                               canvas->setContent(card);
                               return canvas;
                           })
                        << (isHovered ? Prepare([](QWidget *canvas) {
                               hover(static_cast<QuietCanvas *>(canvas)->content());
                           })
                                      : nothing)
                        << QSize(260, 150);
                }
            }
        }
    }
}

void DesignGalleryTest::component()
{
    QFETCH(Factory, make);
    QFETCH(Prepare, prepare);
    QFETCH(QSize, size);

    // Presses and hovers are drawn at once rather than mid-fade.
    AccessibilitySettings::shared().setReducesMotion(true);
    QImage reference;
    for (const Environment &environment : environments) {
        AccessibilitySettings::shared().setIncreasesContrast(environment.increasedContrast);
        AccessibilitySettings::shared().setReducesTransparency(environment.reduceTransparency);
        QApplication::setPalette(environment.dark ? darkPalette() : m_lightPalette);

        std::unique_ptr<QWidget> widget(make());
        widget->setAutoFillBackground(true);
        widget->resize(size.isValid() ? size : widget->sizeHint());
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget.get()));
        prepare(widget.get());
        QApplication::processEvents();

        const QImage image = widget->grab().toImage();
        const QString file = m_output.filePath(QStringLiteral("%1-%2.png").arg(QString::fromLatin1(QTest::currentDataTag()),
                                                                                QString::fromLatin1(environment.name)));
        QVERIFY(image.save(file));

        int distinct = 0;
        const int inked = inkedPixels(image, &distinct);
        QVERIFY2(distinct >= 2, qPrintable(file));
        QVERIFY2(inked >= 20, qPrintable(file));
        // The light and dark pictures differ: colours are read when painting.
        if (environment.dark && !environment.reduceTransparency)
            QVERIFY2(image != reference, qPrintable(file));
        if (!environment.dark && !environment.increasedContrast)
            reference = image;
    }
    QApplication::setPalette(m_lightPalette);
}

QTEST_MAIN(DesignGalleryTest)
#include "tst_designgallery.moc"

#include "../support/MainWindowRig.h"

#include "onboarding/GuidedTourCoachmark.h"
#include "shell/RootView.h"
#include "shell/SidebarView.h"
#include "runtime/OnboardingCoordinator.h"
#include "runtime/UpdateService.h"
#include "platform/AccessibilitySettings.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QLayout>
#include <QTest>
#include <QToolButton>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

std::unique_ptr<GuidedTourCoachmark> coachmarkFor(MainWindowRig &rig, GuidedTourStep step, bool hasTarget)
{
    rig.onboarding->setTourStep(step);
    return std::make_unique<GuidedTourCoachmark>(*rig.onboarding, step, hasTarget);
}

// Cards that come and go at once, for as long as it lives.
struct ReducedMotion
{
    ReducedMotion() { AccessibilitySettings::shared().setReducesMotion(true); }
    ~ReducedMotion() { AccessibilitySettings::shared().setReducesMotion(false); }
};

// The main window, shown, with the tour's card registered.
struct TourWindow
{
    ReducedMotion motion;
    MainWindowRig rig;
    UpdateService updates;
    RootView window{*rig.runtime, updates, screens(rig)};

    TourWindow() { window.show(); }

    static ScreenRegistry screens(MainWindowRig &rig)
    {
        ScreenRegistry registry;
        registry.registerCoachmark([&rig](ScreenContext &, GuidedTourStep step, bool hasTarget, QWidget *parent) {
            return new GuidedTourCoachmark(*rig.onboarding, step, hasTarget, parent);
        });
        return registry;
    }
};

} // namespace

class GuidedTourCoachmarkTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void showsTheStep_data();
    void showsTheStep();
    void previewPanel_data();
    void previewPanel();
    void buttonsMoveTheTour_data();
    void buttonsMoveTheTour();
    void endingTheTourIsRecorded_data();
    void endingTheTourIsRecorded();
    void keys();
    void mainWindowFollowsTheTour();
    void keysReachTheCardFromAnywhereInTheWindow();
    void hidesWhatLiesBeneath();
};

void GuidedTourCoachmarkTest::showsTheStep_data()
{
    QTest::addColumn<GuidedTourStep>("step");
    QTest::addColumn<bool>("hasTarget");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<bool>("hasBack");
    QTest::addColumn<QString>("next");
    QTest::newRow("capture") << GuidedTourStep::capture << false << "Capture into a note"
                             << "The Capture control inserts a region snip into your selected note. Its menu also "
                                "captures a window or display; Quick Captures is the fallback."
                             << "1 of 4" << false << "Next";
    QTest::newRow("today") << GuidedTourStep::today << false << "Write in Notes"
                           << "Notes are the main workspace. Write normally and keep each snip inline beside the text "
                              "that gives it meaning."
                           << "2 of 4" << true << "Next";
    QTest::newRow("boards") << GuidedTourStep::boards << true << "Keep Quick Captures nearby"
                            << "Quick Captures catches anything saved without a selected note. Open it later to move, "
                               "caption, or develop what matters."
                            << "3 of 4" << true << "Next";
    QTest::newRow("preview with snip") << GuidedTourStep::snipPreview << true << "Open, copy, and annotate"
                                       << "Open a snip inside its note to zoom, browse nearby captures, copy it, or "
                                          "return to annotation."
                                       << "4 of 4" << true << "Done";
    QTest::newRow("preview without snip") << GuidedTourStep::snipPreview << false << "Open, copy, and annotate"
                                          << "You do not have a snip yet. After your first capture, click its thumbnail "
                                             "to zoom, annotate, browse nearby captures, or copy it."
                                          << "4 of 4" << true << "Done";
}

void GuidedTourCoachmarkTest::showsTheStep()
{
    QFETCH(GuidedTourStep, step);
    QFETCH(bool, hasTarget);
    QFETCH(QString, title);
    QFETCH(QString, body);
    QFETCH(QString, counter);
    QFETCH(bool, hasBack);
    QFETCH(QString, next);
    MainWindowRig rig;
    auto card = coachmarkFor(rig, step, hasTarget);
    QCOMPARE(card->titleLabel()->text(), title);
    QCOMPARE(card->bodyLabel()->text(), body);
    QCOMPARE(card->counterLabel()->text(), counter);
    QCOMPARE(bool(card->backButton()), hasBack);
    QCOMPARE(card->nextButton()->text(), next);
    QCOMPARE(card->skipButton()->text(), QStringLiteral("Skip Tour"));
    QCOMPARE(card->closeButton()->toolTip(), QStringLiteral("End Tour"));
    QCOMPARE(card->closeButton()->accessibleName(), QStringLiteral("End guided tour"));
    QCOMPARE(card->accessibleName(), QStringLiteral("Guided tour, %1, step %2").arg(title, counter));
    QCOMPARE(bool(card->previewPanel()), step == GuidedTourStep::snipPreview);
    // The whole card fits its content at its one width.
    QVERIFY(card->sizeHint().height() >= card->layout()->minimumSize().height());
}

void GuidedTourCoachmarkTest::previewPanel_data()
{
    QTest::addColumn<bool>("hasTarget");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QString>("line");
    QTest::newRow("snip") << true << "Click a snip to preview" << "Use arrow keys to browse; zoom with the touchpad.";
    QTest::newRow("no snip") << false << "Preview starts with your first snip"
                             << "Capture a region, then click its thumbnail to zoom, annotate, and browse.";
}

void GuidedTourCoachmarkTest::previewPanel()
{
    QFETCH(bool, hasTarget);
    QFETCH(QString, heading);
    QFETCH(QString, line);
    MainWindowRig rig;
    auto card = coachmarkFor(rig, GuidedTourStep::snipPreview, hasTarget);
    QVERIFY(card->previewPanel());
    QCOMPARE(card->previewPanel()->findChild<QLabel *>(QStringLiteral("previewHeading"))->text(), heading);
    QCOMPARE(card->previewPanel()->findChild<QLabel *>(QStringLiteral("previewLine"))->text(), line);
}

void GuidedTourCoachmarkTest::buttonsMoveTheTour_data()
{
    QTest::addColumn<GuidedTourStep>("step");
    QTest::addColumn<QString>("button");
    QTest::addColumn<std::optional<GuidedTourStep>>("after");
    QTest::newRow("next from capture") << GuidedTourStep::capture << "tourNext" << std::optional(GuidedTourStep::today);
    QTest::newRow("next from today") << GuidedTourStep::today << "tourNext" << std::optional(GuidedTourStep::boards);
    QTest::newRow("next from boards") << GuidedTourStep::boards << "tourNext" << std::optional(GuidedTourStep::snipPreview);
    QTest::newRow("done") << GuidedTourStep::snipPreview << "tourNext" << std::optional<GuidedTourStep>();
    QTest::newRow("back from today") << GuidedTourStep::today << "tourBack" << std::optional(GuidedTourStep::capture);
    QTest::newRow("back from preview") << GuidedTourStep::snipPreview << "tourBack" << std::optional(GuidedTourStep::boards);
}

void GuidedTourCoachmarkTest::buttonsMoveTheTour()
{
    QFETCH(GuidedTourStep, step);
    QFETCH(QString, button);
    QFETCH(std::optional<GuidedTourStep>, after);
    MainWindowRig rig;
    auto card = coachmarkFor(rig, step, false);
    auto *pressed = card->findChild<QPushButton *>(button);
    QVERIFY(pressed);
    pressed->click();
    QCOMPARE(rig.onboarding->tourStep(), after);
    // Only finishing the last step records the tour.
    QCOMPARE(rig.onboarding->store().load().completedTourVersion, after ? 0 : currentTourVersion);
}

void GuidedTourCoachmarkTest::endingTheTourIsRecorded_data()
{
    QTest::addColumn<bool>("viaClose");
    QTest::newRow("skip tour") << false;
    QTest::newRow("close button") << true;
}

void GuidedTourCoachmarkTest::endingTheTourIsRecorded()
{
    QFETCH(bool, viaClose);
    MainWindowRig rig;
    auto card = coachmarkFor(rig, GuidedTourStep::today, false);
    if (viaClose)
        card->closeButton()->click();
    else
        card->skipButton()->click();
    QCOMPARE(rig.onboarding->tourStep(), std::nullopt);
    QCOMPARE(rig.onboarding->store().load().completedTourVersion, currentTourVersion);
}

void GuidedTourCoachmarkTest::keys()
{
    MainWindowRig rig;
    auto card = coachmarkFor(rig, GuidedTourStep::capture, false);
    QTest::keyClick(card.get(), Qt::Key_Return);
    QCOMPARE(rig.onboarding->tourStep(), std::optional(GuidedTourStep::today));
    QTest::keyClick(card.get(), Qt::Key_Escape);
    QCOMPARE(rig.onboarding->tourStep(), std::nullopt);
    QCOMPARE(rig.onboarding->store().load().completedTourVersion, currentTourVersion);
}

void GuidedTourCoachmarkTest::mainWindowFollowsTheTour()
{
    TourWindow tour;
    QVERIFY(QTest::qWaitForWindowExposed(&tour.window));
    MainWindowRig &rig = tour.rig;
    RootView &window = tour.window;
    rig.onboarding->setTourStep(GuidedTourStep::capture);
    auto current = [&window]() -> GuidedTourCoachmark * {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return window.findChild<GuidedTourCoachmark *>();
    };
    QVERIFY(current());
    QCOMPARE(current()->step(), GuidedTourStep::capture);
    QVERIFY(current()->isVisible());
    QVERIFY(window.rect().contains(current()->geometry()));
    // The card itself, not the room its shadow falls into, keeps the
    // window's insets; its buttons sit its padding of 15 in from its edge.
    const QRect face = current()->contentsRect().translated(current()->pos());
    QCOMPARE(face.bottomRight() + QPoint(1, 1), QPoint(window.width() - 34, window.height() - 30));
    QCOMPARE(face.width(), 320);
    const QPushButton *next = current()->nextButton();
    QCOMPARE(next->mapTo(&window, QPoint(next->width(), 0)).x(), window.width() - 34 - 15);

    current()->nextButton()->click();
    QCOMPARE(current()->step(), GuidedTourStep::today);
    current()->nextButton()->click();
    current()->nextButton()->click();
    QCOMPARE(current()->step(), GuidedTourStep::snipPreview);
    current()->backButton()->click();
    QCOMPARE(current()->step(), GuidedTourStep::boards);
    current()->skipButton()->click();
    QVERIFY(!current());
    QCOMPARE(rig.onboarding->store().load().completedTourVersion, currentTourVersion);
}

// Return and Escape work as the card's default and cancel buttons while
// the focus is elsewhere in the window, on a control that leaves them be.
void GuidedTourCoachmarkTest::keysReachTheCardFromAnywhereInTheWindow()
{
    TourWindow tour;
    QVERIFY(QTest::qWaitForWindowExposed(&tour.window));
    MainWindowRig &rig = tour.rig;
    RootView &window = tour.window;
    rig.onboarding->setTourStep(GuidedTourStep::today);
    QWidget *sidebar = window.sidebarView();
    QVERIFY(sidebar->isVisible());
    // Return with a modifier is someone else's.
    QTest::keyClick(sidebar, Qt::Key_Return, Qt::ShiftModifier);
    QCOMPARE(rig.onboarding->tourStep(), std::optional(GuidedTourStep::today));
    QTest::keyClick(sidebar, Qt::Key_Return);
    QCOMPARE(rig.onboarding->tourStep(), std::optional(GuidedTourStep::boards));
    QTest::keyClick(sidebar, Qt::Key_Escape);
    QCOMPARE(rig.onboarding->tourStep(), std::nullopt);
    QCOMPARE(rig.onboarding->store().load().completedTourVersion, currentTourVersion);
    // With no tour the keys go on as before.
    QTest::keyClick(sidebar, Qt::Key_Return);
    QCOMPARE(rig.onboarding->tourStep(), std::nullopt);
}

namespace {

// A window of one colour, painted rather than set in its palette, which the
// card would take on.
class Ground : public QWidget
{
public:
    explicit Ground(QColor colour) : m_colour(colour) {}

protected:
    void paintEvent(QPaintEvent *) override { QPainter(this).fillRect(rect(), m_colour); }

private:
    QColor m_colour;
};

} // namespace

// The card shows the same whatever lies under it: the note's text never
// shows through between the card's own words.
void GuidedTourCoachmarkTest::hidesWhatLiesBeneath()
{
    MainWindowRig rig;
    QImage shown[2];
    const QColor beneath[2] = {Qt::black, Qt::white};
    for (int i = 0; i < 2; ++i) {
        Ground host(beneath[i]);
        host.resize(600, 500);
        rig.onboarding->setTourStep(GuidedTourStep::capture);
        auto *card = new GuidedTourCoachmark(*rig.onboarding, GuidedTourStep::capture, false, &host);
        card->move(20, 20);
        card->resize(card->sizeHint());
        shown[i] = host.grab(QRect(card->pos(), card->size())).toImage();
    }
    QCOMPARE(shown[0].size(), shown[1].size());
    // The middle of the card, away from its rounded corners and shadow.
    const QPoint middle(shown[0].width() / 2, shown[0].height() / 2);
    QCOMPARE(shown[0].pixelColor(middle), shown[1].pixelColor(middle));
    QCOMPARE(shown[0].pixelColor(QPoint(middle.x(), 40)), shown[1].pixelColor(QPoint(middle.x(), 40)));
}

QTEST_MAIN(GuidedTourCoachmarkTest)
#include "tst_guidedtourcoachmark.moc"

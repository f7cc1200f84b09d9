#include "FrameComposerRig.h"

#include "design/StudioActionButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "shell/RootView.h"
#include "runtime/ScreenRegistry.h"
#include "imaging/SnipFrameComposerView.h"
#include "runtime/UpdateService.h"
#include "platform/AccessibilitySettings.h"

#include <QCheckBox>
#include <QGraphicsOpacityEffect>
#include <QLabel>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

double columnOpacity(QSlider *slider)
{
    for (QWidget *widget = slider; widget; widget = widget->parentWidget()) {
        if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(widget->graphicsEffect()))
            return effect->opacity();
    }
    return 1.0;
}

} // namespace

// The sheet on the offscreen platform over a runtime of fakes.
class TestSnipFrameComposer : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void previewScale_data()
    {
        QTest::addColumn<QSizeF>("offered");
        QTest::addColumn<QSizeF>("source");
        QTest::addColumn<double>("padding");
        QTest::addColumn<double>("scale");
        QTest::newRow("wide fits by width") << QSizeF(432, 400) << QSizeF(100, 50) << 0.0 << 4.0;
        QTest::newRow("padding counts") << QSizeF(232, 400) << QSizeF(100, 50) << 50.0 << 1.0;
        QTest::newRow("tall fits by height") << QSizeF(1000, 132) << QSizeF(100, 50) << 0.0 << 2.0;
        QTest::newRow("tiny area") << QSizeF(20, 20) << QSizeF(100, 50) << 0.0 << 0.01;
        QTest::newRow("empty image") << QSizeF(132, 232) << QSizeF(0, 0) << 0.0 << 100.0;
        QTest::newRow("clamped padding") << QSizeF(1056, 1056) << QSizeF(0, 0) << 5000.0 << 1024.0 / 1024.0;
    }

    void previewScale()
    {
        QFETCH(QSizeF, offered);
        QFETCH(QSizeF, source);
        QFETCH(double, padding);
        SnipFrameStyle style;
        style.padding = padding;
        QTEST(SnipFramePreview::previewScale(offered, source, style), "scale");
    }

    void sheetShowsControlsForTheSnip()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Release notes"), solidImage(1200, 800));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        // Empty at its full size while the picture is read: neither the
        // unavailable panel nor controls that would act on nothing.
        QVERIFY(view.model().isLoading());
        QVERIFY(!view.unavailablePanel());
        QVERIFY(!view.copyButton());
        const QSize loadingSize = view.sizeHint();
        const QSize loadingMinimum = view.minimumSize();
        QVERIFY(loaded(view.model()));
        QCOMPARE(view.sizeHint(), loadingSize);
        QCOMPARE(view.minimumSize(), loadingMinimum);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(!view.unavailablePanel());
        QCOMPARE(view.outputSizeBadge()->text(), QStringLiteral("1312 × 912 px"));
        QCOMPARE(view.outputSizeBadge()->accessibleName(), QStringLiteral("Output size 1312 × 912 px"));
        QCOMPARE(view.preview()->accessibleName(), QStringLiteral("Framed screenshot preview using Clean Paper"));
        QStringList names;
        for (FramePresetTile *tile : view.presetTiles())
            names << tile->accessibleName();
        QCOMPARE(names, QStringList({"Transparent", "Clean Paper", "Graphite", "Warm Sand", "Muted Gradient"}));
        QVERIFY(view.presetTiles().at(1)->isSelected());
        QCOMPARE(view.presetTiles().at(4)->accessibleDescription(),
                 QStringLiteral("A restrained slate and mauve gradient"));
        QCOMPARE(view.valueLabel(view.paddingSlider())->text(), QStringLiteral("56 px"));
        QCOMPARE(view.valueLabel(view.cornerSlider())->text(), QStringLiteral("18 px"));
        QCOMPARE(view.valueLabel(view.shadowStrengthSlider())->text(), QStringLiteral("20%"));
        QCOMPARE(view.valueLabel(view.shadowSoftnessSlider())->text(), QStringLiteral("22 px"));
        QCOMPARE(view.shadowSoftnessSlider()->accessibleName(), QStringLiteral("Shadow softness"));
        QCOMPARE(view.shadowSoftnessSlider()->accessibleDescription(), QStringLiteral("22 pixels"));
        QVERIFY(view.shadowToggle()->isChecked());
        QVERIFY(!view.resetButton()->isEnabled());
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy Framed"));
        QCOMPARE(view.saveButton()->text(), QStringLiteral("Save PNG…"));
        // Roomy, as far as the screen allows.
        const QSize room = view.screen()->availableGeometry().size() * 0.9;
        QVERIFY(view.width() >= std::min(760, room.width()) && view.height() >= std::min(650, room.height()));
        QVERIFY(view.height() <= view.screen()->availableGeometry().height());
        // The preview really draws the framed snip: the image's colour at its
        // centre.
        const QImage shot = view.preview()->grab().toImage();
        QCOMPARE(shot.pixelColor(shot.width() / 2, shot.height() / 2), QColor(40, 90, 160));
    }

    void controlsEditTheStyle()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(1200, 800));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));

        QTest::mouseClick(view.presetTiles().at(2), Qt::LeftButton);
        QCOMPARE(view.model().style().preset, SnipFramePreset::graphite);
        QVERIFY(view.presetTiles().at(2)->isSelected());
        QVERIFY(!view.presetTiles().at(1)->isSelected());
        QVERIFY(view.resetButton()->isEnabled());
        QCOMPARE(view.preview()->accessibleName(), QStringLiteral("Framed screenshot preview using Graphite"));
        // Clicking the chosen tile again keeps it chosen.
        QTest::mouseClick(view.presetTiles().at(2), Qt::LeftButton);
        QVERIFY(view.presetTiles().at(2)->isSelected());
        QCOMPARE(view.model().style().preset, SnipFramePreset::graphite);

        // Padding moves in steps of 4 between 0 and 160.
        QCOMPARE(view.paddingSlider()->minimum() * 4, 0);
        QCOMPARE(view.paddingSlider()->maximum() * 4, 160);
        view.paddingSlider()->setValue(view.paddingSlider()->value() + 1);
        QCOMPARE(view.model().style().padding, 60.0);
        QCOMPARE(view.valueLabel(view.paddingSlider())->text(), QStringLiteral("60 px"));
        QCOMPARE(view.outputSizeBadge()->text(), QStringLiteral("1320 × 920 px"));
        view.shadowStrengthSlider()->setValue(view.shadowStrengthSlider()->minimum());
        QCOMPARE(view.valueLabel(view.shadowStrengthSlider())->text(), QStringLiteral("5%"));
        view.shadowStrengthSlider()->setValue(view.shadowStrengthSlider()->maximum());
        QCOMPARE(view.valueLabel(view.shadowStrengthSlider())->text(), QStringLiteral("40%"));
        QCOMPARE(view.model().style().shadowOpacity, 0.4);

        // Without a shadow its sliders are dimmed and off; the switch is not.
        view.shadowToggle()->click();
        QVERIFY(!view.model().style().shadowIsEnabled);
        QVERIFY(!view.shadowStrengthSlider()->isEnabled());
        QVERIFY(!view.shadowSoftnessSlider()->isEnabled());
        QCOMPARE(columnOpacity(view.shadowStrengthSlider()), 0.62);
        QCOMPARE(columnOpacity(view.shadowSoftnessSlider()), 0.62);
        QVERIFY(view.shadowToggle()->isEnabled());
        view.shadowToggle()->click();
        QVERIFY(view.shadowSoftnessSlider()->isEnabled());
        QCOMPARE(columnOpacity(view.shadowSoftnessSlider()), 1.0);

        view.resetButton()->click();
        QCOMPARE(view.model().style(), SnipFrameComposerModel::defaultStyle());
        QCOMPARE(view.paddingSlider()->value() * 4, 56);
        QCOMPARE(view.shadowStrengthSlider()->value(), 20);
        QVERIFY(view.presetTiles().at(1)->isSelected());
        QVERIFY(!view.resetButton()->isEnabled());
    }

    void presetAndResetEaseUnlessMotionIsReduced_data()
    {
        QTest::addColumn<bool>("reduceMotion");
        QTest::newRow("motion") << false;
        QTest::newRow("reduced motion") << true;
    }

    void presetAndResetEaseUnlessMotionIsReduced()
    {
        QFETCH(bool, reduceMotion);
        AccessibilitySettings::shared().setReducesMotion(reduceMotion);
        const auto restore = qScopeGuard([] { AccessibilitySettings::shared().setReducesMotion(false); });
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(300, 200));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        SnipFramePreview *preview = view.preview();

        QTest::mouseClick(view.presetTiles().at(4), Qt::LeftButton);
        QCOMPARE(preview->style().preset, SnipFramePreset::mutedGradient);
        QCOMPARE(preview->isAnimating(), !reduceMotion);
        QTRY_VERIFY(!preview->isAnimating());
        QCOMPARE(preview->displayedStyle(), view.model().style());

        // Sliders follow the hand at once.
        view.paddingSlider()->setValue(2);
        QVERIFY(!preview->isAnimating());
        QCOMPARE(preview->displayedStyle().padding, 8.0);

        view.resetButton()->click();
        QCOMPARE(preview->isAnimating(), !reduceMotion);
        if (!reduceMotion) {
            const double padding = preview->displayedStyle().padding;
            QVERIFY(padding >= 8.0 && padding < 56.0);
        }
        QTRY_VERIFY(!preview->isAnimating());
        QCOMPARE(preview->displayedStyle(), SnipFrameComposerModel::defaultStyle());
    }

    void copyTurnsIntoCopiedAndBack()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(300, 200));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.copyButton()->click();
        QCOMPARE(rig.pasteboard.types, QStringList({ImageExportService::pngType, ImageExportService::tiffType}));
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copied"));
        QCOMPARE(view.copyButton()->systemImage(), QStringLiteral("checkmark"));
        fire(*rig.timerLog);
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy Framed"));

        // The keyboard shortcut copies too; a style change ends "Copied".
        rig.pasteboard.types.clear();
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copied"));
        QVERIFY(!rig.pasteboard.types.isEmpty());
        view.cornerSlider()->setValue(3);
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy Framed"));
    }

    void refusedCopyShowsTheAlert()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(300, 200));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        rig.pasteboard.failWrites = true;
        view.copyButton()->click();
        QVERIFY(view.errorAlert());
        QCOMPARE(view.errorAlert()->windowTitle(), QStringLiteral("Couldn’t create framed image"));
        QCOMPARE(view.errorAlert()->informativeText(), QStringLiteral("The framed screenshot could not be copied to the clipboard."));
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy Framed"));
        view.errorAlert()->button(QMessageBox::Ok)->click();
        QTRY_VERIFY(!view.errorAlert());
        QVERIFY(!view.model().errorMessage());
        QCOMPARE(view.model().style(), SnipFrameComposerModel::defaultStyle());
    }

    void unavailableSnipShowsTheEmptyState()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Gone"), solidImage(30, 30));
        rig.trash(id);
        SnipFrameComposerView view(id, *rig.runtime);
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.unavailablePanel());
        QCOMPARE(view.unavailablePanel()->title(), QStringLiteral("Snip unavailable"));
        QCOMPARE(view.unavailablePanel()->message(), QStringLiteral("This capture may have been deleted."));
        QCOMPARE(view.unavailablePanel()->size(), QSize(560, 360));
        QVERIFY(!view.copyButton());
        QVERIFY(!view.preview());
    }

    void trashedWhileOpenTurnsIntoTheEmptyState()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Soon gone"), solidImage(300, 200));
        SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                   rig.manualTimer());
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        view.copyButton()->click();
        rig.trash(id);
        QVERIFY(view.unavailablePanel());
        QVERIFY(!view.copyButton());
    }

    void mainWindowOpensAndClosesTheSheet()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(300, 200));
        ScreenRegistry screens;
        screens.registerSheet(SheetKind::frameComposer,
                              [&rig](ScreenContext &, const SheetRequest &request, QWidget *parent) -> QDialog * {
                                  return new SnipFrameComposerView(*request.cardID, *rig.runtime, parent);
                              });
        UpdateService updates;
        RootView window(*rig.runtime, updates, std::move(screens));
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        rig.runtime->navigation().setFrameComposerCardID(id);
        QTRY_VERIFY(qobject_cast<SnipFrameComposerView *>(window.sheetDialog()));
        auto *sheet = qobject_cast<SnipFrameComposerView *>(window.sheetDialog());
        QVERIFY(sheet->isVisible());
        QCOMPARE(sheet->windowModality(), Qt::WindowModal);
        QCOMPARE(sheet->model().suggestedName(), QStringLiteral("Pricing"));
        QVERIFY(loaded(sheet->model()));
        sheet->cancelButton()->click();
        QTRY_VERIFY(!window.sheetDialog());
        QCOMPARE(rig.runtime->navigation().frameComposerCardID(), std::nullopt);
    }

    void cancelAndEscapeClose()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(300, 200));
        for (bool escape : {false, true}) {
            SnipFrameComposerView view(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                       rig.manualTimer());
            QVERIFY(loaded(view.model()));
            view.show();
            QVERIFY(QTest::qWaitForWindowExposed(&view));
            QSignalSpy finished(&view, &QDialog::finished);
            if (escape)
                QTest::keyClick(&view, Qt::Key_Escape);
            else
                view.cancelButton()->click();
            QCOMPARE(finished.count(), 1);
            QVERIFY(!view.isVisible());
        }
        // Nothing was written to the card.
        QCOMPARE(rig.card(id)->annotationDocumentData(), std::optional<QByteArray>());
    }
};

QTEST_MAIN(TestSnipFrameComposer)
#include "tst_snipframecomposer.moc"

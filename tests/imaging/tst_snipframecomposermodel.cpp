#include "FrameComposerRig.h"

#include "imaging/SnipFrameComposerModel.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

Q_DECLARE_METATYPE(std::optional<QByteArray>)
Q_DECLARE_METATYPE(tessaline::SnipFrameComposerModel::Availability)

namespace {

struct Saver
{
    int calls = 0;
    QString name;
    QSize size;
    SaveFileFlow::Completion completion;

    SnipFrameComposerModel::PngSaver function()
    {
        return [this](const QImage &image, const QString &suggested, SaveFileFlow::Completion done) {
            ++calls;
            name = suggested;
            size = image.size();
            completion = std::move(done);
        };
    }
};

} // namespace

// The composer's logic without widgets. Runs without a GUI application, so a
// text label cannot be drawn here: that is the case of annotations that
// cannot be flattened.
class TestSnipFrameComposerModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void framesTheCardWithItsAnnotations()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Release notes"), solidImage(200, 100), {rectangleItem()});
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        QVERIFY(model.isAvailable());
        QCOMPARE(model.suggestedName(), QStringLiteral("Release notes"));
        QCOMPARE(model.image().size(), QSize(200, 100));
        QCOMPARE(model.image().pixelColor(2, 50), QColor(Qt::red)); // the outline is drawn in
        QCOMPARE(model.image().pixelColor(150, 50), QColor(40, 90, 160));
        QCOMPARE(model.style(), SnipFrameComposerModel::defaultStyle());
        QVERIFY(!model.canReset());
        QVERIFY(!model.isCopied());
        QVERIFY(!model.isSaving());
        QVERIFY(!model.errorMessage());
    }

    void readsThePictureOffTheMainThread_data()
    {
        using Availability = SnipFrameComposerModel::Availability;
        const QByteArray picture = *ImageExportService::pngData(solidImage(200, 100));
        const QByteArray garbage("not a picture");
        const QByteArray unreadable("{not json");
        AnnotationDocument outline;
        outline.items = {rectangleItem()};
        AnnotationDocument label;
        label.items = {labelItem()};
        QTest::addColumn<bool>("onDisk");
        QTest::addColumn<std::optional<QByteArray>>("image");
        QTest::addColumn<std::optional<QByteArray>>("annotations");
        QTest::addColumn<bool>("loadsFirst");
        QTest::addColumn<Availability>("availability");
        QTest::newRow("plain") << false << std::optional(picture) << std::optional<QByteArray>() << true
                               << Availability::available;
        QTest::newRow("annotated, from the library file")
            << true << std::optional(picture) << std::optional(outline.encode()) << true << Availability::available;
        QTest::newRow("no image data") << false << std::optional<QByteArray>() << std::optional<QByteArray>() << false
                                       << Availability::unavailable;
        QTest::newRow("no image, from the library file")
            << true << std::optional(garbage) << std::optional<QByteArray>() << true << Availability::unavailable;
        QTest::newRow("unreadable annotations") << false << std::optional(picture) << std::optional(unreadable) << true
                                                << Availability::annotationsUnrenderable;
        QTest::newRow("annotations that cannot be drawn")
            << true << std::optional(picture) << std::optional(label.encode()) << true
            << Availability::annotationsUnrenderable;
        // Nothing to frame either way: the picture's failure is what counts.
        QTest::newRow("unreadable annotations on no image")
            << true << std::optional(garbage) << std::optional(unreadable) << true << Availability::unavailable;
    }

    // A 5K picture is a tenth of a second to decode: the composer opens at
    // once, empty, and frames the picture once it is read.
    void readsThePictureOffTheMainThread()
    {
        QFETCH(bool, onDisk);
        QFETCH(std::optional<QByteArray>, image);
        QFETCH(std::optional<QByteArray>, annotations);
        QFETCH(bool, loadsFirst);
        QFETCH(SnipFrameComposerModel::Availability, availability);
        ComposerRig rig(onDisk ? Rig::Library::onDisk : Rig::Library::inMemory);
        const QUuid id = rig.addSnip(QStringLiteral("Release notes"), image, annotations);
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QSignalSpy changed(&model, &SnipFrameComposerModel::availabilityChanged);
        QCOMPARE(model.isLoading(), loadsFirst);
        QVERIFY(!model.isAvailable());
        QCOMPARE(model.sourcePixelSize(), QSize(0, 0));
        model.copy();
        QVERIFY(rig.pasteboard.types.isEmpty());

        QVERIFY(loaded(model));
        QCOMPARE(model.availability(), availability);
        QCOMPARE(changed.count(), loadsFirst ? 1 : 0);
        QCOMPARE(model.suggestedName(), QStringLiteral("Release notes"));
        QCOMPARE(model.image().isNull(), availability != SnipFrameComposerModel::Availability::available);
        if (model.isAvailable()) {
            QCOMPARE(model.image().size(), QSize(200, 100));
            QCOMPARE(model.image().pixelColor(2, 50), annotations ? QColor(Qt::red) : QColor(40, 90, 160));
        }
        // Another edit of the card reads nothing again.
        rig.card(id)->setContextText(QStringLiteral("Why it matters"));
        QVERIFY(rig.context().save());
        QVERIFY(!model.isLoading());
        QCOMPARE(changed.count(), loadsFirst ? 1 : 0);
    }

    void unavailableCards_data()
    {
        QTest::addColumn<int>("kind");
        QTest::newRow("trashed") << 0;
        QTest::newRow("no image data") << 1;
        QTest::newRow("data that is no image") << 2;
        QTest::newRow("unknown id") << 3;
    }

    void unavailableCards()
    {
        QFETCH(int, kind);
        ComposerRig rig;
        QUuid id;
        switch (kind) {
        case 0:
            id = rig.addSnip(QStringLiteral("Gone"), solidImage(20, 20));
            rig.trash(id);
            break;
        case 1:
            id = rig.addSnip(QStringLiteral("Empty"), std::optional<QByteArray>());
            break;
        case 2:
            id = rig.addSnip(QStringLiteral("Garbage"), QByteArray("not a picture"));
            break;
        default:
            id = QUuid::createUuid();
        }
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        QCOMPARE(model.availability(), SnipFrameComposerModel::Availability::unavailable);
        model.copy();
        QVERIFY(rig.pasteboard.types.isEmpty());
    }

    void unreadableAnnotationsBlockExport()
    {
        // What could not be read may be a redaction: no frame without it.
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Odd"), ImageExportService::pngData(solidImage(30, 20)),
                                     QByteArray("{not json"));
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        QCOMPARE(model.availability(), SnipFrameComposerModel::Availability::annotationsUnrenderable);
        QVERIFY(model.image().isNull());
        model.copy();
        QVERIFY(rig.pasteboard.types.isEmpty());
    }

    void annotationsThatCannotBeDrawnBlockExport()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Bank"), solidImage(60, 40), {labelItem()});
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        Saver saver;
        model.setPngSaver(saver.function());
        QCOMPARE(model.availability(), SnipFrameComposerModel::Availability::annotationsUnrenderable);
        QVERIFY(model.image().isNull());
        model.copy();
        model.save();
        QVERIFY(rig.pasteboard.types.isEmpty());
        QCOMPARE(saver.calls, 0);
        QVERIFY(!model.isCopied());
    }

    void trashedWhileOpen()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Soon gone"), solidImage(20, 20));
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        QSignalSpy changed(&model, &SnipFrameComposerModel::availabilityChanged);
        rig.trash(id);
        QCOMPARE(changed.count(), 1);
        QVERIFY(!model.isAvailable());
    }

    void styleEditsAndReset()
    {
        SnipFrameComposerModel model(SnipFrameComposerSource::image(solidImage(10, 10), QStringLiteral("x")), nullptr,
                                     ClipboardPasteboard::general());
        QSignalSpy styleChanged(&model, &SnipFrameComposerModel::styleChanged);
        model.selectPreset(SnipFramePreset::graphite);
        SnipFrameStyle expected = SnipFrameComposerModel::defaultStyle();
        expected.preset = SnipFramePreset::graphite;
        QCOMPARE(model.style(), expected);
        QVERIFY(model.canReset());
        model.selectPreset(SnipFramePreset::graphite); // no change, no notice
        QCOMPARE(styleChanged.count(), 1);

        model.reset();
        QVERIFY(!model.canReset());
        // Switching the shadow off and on again is no change at all.
        model.setShadowEnabled(false);
        QVERIFY(model.canReset());
        model.setShadowEnabled(true);
        QVERIFY(!model.canReset());

        model.setPadding(80);
        model.setCornerRadius(4);
        model.setShadowRadius(30);
        model.setShadowOpacity(0.35);
        const SnipFrameStyle edited = model.style();
        QCOMPARE(edited.padding, 80.0);
        QCOMPARE(edited.cornerRadius, 4.0);
        QCOMPARE(edited.shadowRadius, 30.0);
        QCOMPARE(edited.shadowOpacity, 0.35);
        QCOMPARE(edited.shadowOffsetY, 10.0);
        QCOMPARE(edited.preset, SnipFramePreset::cleanPaper);
        model.reset();
        QCOMPARE(model.style(), SnipFrameComposerModel::defaultStyle());
    }

    void outputSizeText_data()
    {
        QTest::addColumn<double>("padding");
        QTest::addColumn<QString>("text");
        QTest::newRow("default") << 56.0 << QStringLiteral("1312 × 912 px");
        QTest::newRow("none") << 0.0 << QStringLiteral("1200 × 800 px");
        QTest::newRow("half up") << 10.5 << QStringLiteral("1222 × 822 px");
        QTest::newRow("negative") << -8.0 << QStringLiteral("1200 × 800 px");
        QTest::newRow("clamped") << 5000.0 << QStringLiteral("2224 × 1824 px");
    }

    void outputSizeText()
    {
        QFETCH(double, padding);
        SnipFrameComposerModel model(SnipFrameComposerSource::image(solidImage(1200, 800), QStringLiteral("x")),
                                     nullptr, ClipboardPasteboard::general());
        model.setPadding(padding);
        QTEST(model.outputSizeText(), "text");
    }

    void valueTexts()
    {
        QCOMPARE(SnipFrameComposerModel::pixelText(10.5), QStringLiteral("11 px"));
        QCOMPARE(SnipFrameComposerModel::pixelText(56), QStringLiteral("56 px"));
        QCOMPARE(SnipFrameComposerModel::percentText(0.05), QStringLiteral("5%"));
        QCOMPARE(SnipFrameComposerModel::percentText(0.4), QStringLiteral("40%"));
        QCOMPARE(SnipFrameComposerModel::percentText(0.2), QStringLiteral("20%"));
    }

    void copyShowsCopiedForTwoSeconds()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(40, 30));
        auto model = std::make_unique<SnipFrameComposerModel>(SnipFrameComposerSource::card(id), rig.runtime.get(),
                                                              rig.pasteboard, rig.manualTimer());
        QVERIFY(loaded(*model));
        DelayedActionLog &timer = *rig.timerLog;
        model->copy();
        QCOMPARE(rig.pasteboard.types, QStringList({ImageExportService::pngType, ImageExportService::tiffType}));
        QVERIFY(model->isCopied());
        QCOMPARE(timer.lastDelay, std::chrono::milliseconds(2000));
        QCOMPARE(timer.starts, 1);

        // A second copy restarts the wait.
        const int cancels = timer.cancels;
        model->copy();
        QCOMPARE(timer.starts, 2);
        QVERIFY(timer.cancels > cancels);
        QVERIFY(model->isCopied());
        fire(timer);
        QVERIFY(!model->isCopied());

        // A style change ends "Copied" at once and drops the pending reset.
        model->copy();
        QVERIFY(model->isCopied());
        model->selectPreset(SnipFramePreset::warmSand);
        QVERIFY(!model->isCopied());
        QVERIFY(!timer.pending);

        // Closing while "Copied" shows leaves nothing to fire.
        model->copy();
        QVERIFY(timer.pending);
        model.reset();
        QVERIFY(!timer.pending);
    }

    void refusedCopyReportsAndStaysUncopied()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Pricing"), solidImage(40, 30));
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        rig.pasteboard.failWrites = true;
        model.copy();
        QVERIFY(!model.isCopied());
        QCOMPARE(model.errorMessage(), QStringLiteral("The framed screenshot could not be copied to the clipboard."));
        QCOMPARE(rig.timerLog->starts, 0);
        model.clearErrorMessage();
        QVERIFY(!model.errorMessage());
    }

    void renderingErrorIsReported()
    {
        ComposerRig rig;
        SnipFrameComposerModel model(SnipFrameComposerSource::image(solidImage(40'000, 1), QStringLiteral("Wide")),
                                     nullptr, rig.pasteboard, rig.manualTimer());
        Saver saver;
        model.setPngSaver(saver.function());
        model.copy();
        QCOMPARE(model.errorMessage(), QStringLiteral("The framed screenshot would be too large to render."));
        QVERIFY(rig.pasteboard.types.isEmpty());
        model.clearErrorMessage();
        model.save();
        QCOMPARE(saver.calls, 0);
        QVERIFY(!model.isSaving());
        QCOMPARE(model.errorMessage(), QStringLiteral("The framed screenshot would be too large to render."));
    }

    void saveNamesAndGuards()
    {
        ComposerRig rig;
        const QUuid id = rig.addSnip(QStringLiteral("Release notes"), solidImage(100, 50));
        SnipFrameComposerModel model(SnipFrameComposerSource::card(id), rig.runtime.get(), rig.pasteboard,
                                     rig.manualTimer());
        QVERIFY(loaded(model));
        Saver saver;
        model.setPngSaver(saver.function());
        model.save();
        QVERIFY(model.isSaving());
        model.save(); // the panel is already up
        QCOMPARE(saver.calls, 1);
        QCOMPARE(saver.name, QStringLiteral("Release notes — Framed"));
        QCOMPARE(ImageExportService::proposedPngFileName(saver.name), QStringLiteral("Release notes — Framed.png"));
        QCOMPARE(saver.size, QSize(212, 162));
        // Copy stays usable while saving.
        model.copy();
        QVERIFY(model.isCopied());

        saver.completion(SaveFileStatus::cancelled); // cancelled in the panel
        QVERIFY(!model.isSaving());
        QVERIFY(!model.errorMessage());

        model.save();
        QCOMPARE(saver.calls, 2);
        saver.completion(unexpected(QStringLiteral("Permission denied")));
        QVERIFY(!model.isSaving());
        QCOMPARE(model.errorMessage(), QStringLiteral("Permission denied"));
    }

    void givenImageIsFramedAsItIs()
    {
        ComposerRig rig;
        SnipFrameComposerModel model(SnipFrameComposerSource::image(solidImage(30, 30, Qt::green), QStringLiteral("Pasted")),
                                     nullptr, rig.pasteboard, rig.manualTimer());
        Saver saver;
        model.setPngSaver(saver.function());
        QVERIFY(model.isAvailable());
        model.save();
        QCOMPARE(saver.name, QStringLiteral("Pasted — Framed"));
        SnipFrameComposerModel empty(SnipFrameComposerSource::image(QImage(), QStringLiteral("None")), nullptr,
                                     rig.pasteboard, rig.manualTimer());
        QVERIFY(!empty.isAvailable());
    }

    void realTimerResetsCopied()
    {
        // The real timer fires through the event loop; waited for, not timed.
        ComposerRig rig;
        SnipFrameComposerModel model(SnipFrameComposerSource::image(solidImage(10, 10), QStringLiteral("x")), nullptr,
                                     rig.pasteboard);
        model.copy();
        QVERIFY(model.isCopied());
        QTRY_VERIFY_WITH_TIMEOUT(!model.isCopied(), 10000);
    }
};

QTEST_GUILESS_MAIN(TestSnipFrameComposerModel)
#include "tst_snipframecomposermodel.moc"

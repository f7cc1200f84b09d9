#include "capture/CaptureBehaviorPreferences.h"
#include "capture/RegionSelectionModel.h"
#include "capture/ScreenCapturePermission.h"
#include "platform/UserDefaults.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

using Response = RegionSelectionModel::Response;

// The overlay's drag logic, plus the two small persisted capture settings.
class RegionSelectionModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void drags_data();
    void drags();
    void clickLeavesGuidesAtThePoint();
    void movesRedrawOnlyWithoutSelection();
    void eventsWithoutDragAreIgnored();
    void labelPlacement_data();
    void labelPlacement();
    void behaviourPreferences_data();
    void behaviourPreferences();
    void permissionStateRawValues();
    void settingsLauncherFallsBack();
};

void RegionSelectionModelTest::drags_data()
{
    QTest::addColumn<QPointF>("from");
    QTest::addColumn<QPointF>("to");
    QTest::addColumn<bool>("selects");
    QTest::addColumn<QRectF>("rect");
    QTest::newRow("rounded outward") << QPointF(10.8, 5) << QPointF(13.2, 20) << true << QRectF(10, 5, 4, 15);
    QTest::newRow("backwards") << QPointF(50, 60) << QPointF(20, 30) << true << QRectF(20, 30, 30, 30);
    QTest::newRow("past the edge is clamped") << QPointF(790, 590) << QPointF(900, 700) << true << QRectF(790, 590, 10, 10);
    QTest::newRow("before the origin is clamped") << QPointF(5, 5) << QPointF(-40, -40) << true << QRectF(0, 0, 5, 5);
    QTest::newRow("too narrow") << QPointF(10, 10) << QPointF(12, 40) << false << QRectF();
    QTest::newRow("rounding rescues it") << QPointF(10.5, 10) << QPointF(12.5, 40) << true << QRectF(10, 10, 3, 30);
}

void RegionSelectionModelTest::drags()
{
    QFETCH(QPointF, from);
    QFETCH(QPointF, to);
    QFETCH(bool, selects);
    QFETCH(QRectF, rect);
    RegionSelectionModel model(QSizeF(800, 600));
    QCOMPARE(model.mouseDown(from), Response::redraw);
    QCOMPARE(model.mouseDragged((from + to) / 2), Response::redraw);
    QCOMPARE(model.mouseDragged(to), Response::redraw);
    QVERIFY(model.bounds().contains(model.selection()));
    const Response up = model.mouseUp(to);
    QCOMPARE(up, selects ? Response::select : Response::redraw);
    QVERIFY(!model.dragOrigin());
    if (selects) {
        QCOMPARE(model.selectedRect(), rect);
    } else {
        QVERIFY(model.selection().isEmpty());
        QCOMPARE(model.pointerLocation(), std::optional<QPointF>(to));
    }
}

void RegionSelectionModelTest::clickLeavesGuidesAtThePoint()
{
    RegionSelectionModel model(QSizeF(800, 600));
    model.mouseDown(QPointF(100, 200));
    QCOMPARE(model.mouseUp(QPointF(100, 200)), Response::redraw);
    QVERIFY(model.selection().isEmpty());
    QCOMPARE(model.pointerLocation(), std::optional<QPointF>(QPointF(100, 200)));
}

void RegionSelectionModelTest::movesRedrawOnlyWithoutSelection()
{
    RegionSelectionModel model(QSizeF(800, 600));
    QCOMPARE(model.mouseMoved(QPointF(5, 5)), Response::redraw);
    model.mouseDown(QPointF(10, 10));
    model.mouseDragged(QPointF(100, 100));
    QCOMPARE(model.mouseMoved(QPointF(300, 300)), Response::ignored);
    QCOMPARE(model.pointerLocation(), std::optional<QPointF>(QPointF(300, 300)));
}

void RegionSelectionModelTest::eventsWithoutDragAreIgnored()
{
    RegionSelectionModel model(QSizeF(800, 600));
    QCOMPARE(model.mouseDragged(QPointF(10, 10)), Response::ignored);
    QCOMPARE(model.mouseUp(QPointF(10, 10)), Response::ignored);
    QVERIFY(model.selection().isEmpty());
}

void RegionSelectionModelTest::labelPlacement_data()
{
    QTest::addColumn<QRectF>("selection");
    QTest::addColumn<QRectF>("label");
    // Text 60 x 14 makes a 76 x 24 label.
    QTest::newRow("below") << QRectF(100, 100, 200, 100) << QRectF(100, 208, 76, 24);
    QTest::newRow("near the bottom goes above") << QRectF(100, 500, 200, 90) << QRectF(100, 468, 76, 24);
    QTest::newRow("not nearer than 8 to the top") << QRectF(100, 10, 200, 580) << QRectF(100, 8, 76, 24);
    QTest::newRow("near the right edge moves left") << QRectF(760, 100, 30, 30) << QRectF(716, 138, 76, 24);
    QTest::newRow("near the left edge") << QRectF(2, 100, 30, 30) << QRectF(8, 138, 76, 24);
}

void RegionSelectionModelTest::labelPlacement()
{
    QFETCH(QRectF, selection);
    QFETCH(QRectF, label);
    QCOMPARE(RegionSelectionModel::sizeLabelRect(selection, QSizeF(60, 14), QRectF(0, 0, 800, 600)), label);
    QCOMPARE(RegionSelectionModel::sizeLabelText(QRectF(0, 0, 12.9, 300.2)), QString::fromUtf16(u"12 \u00D7 300"));
}

void RegionSelectionModelTest::behaviourPreferences_data()
{
    QTest::addColumn<QVariant>("review");
    QTest::addColumn<QVariant>("copy");
    QTest::addColumn<bool>("expectedReview");
    QTest::addColumn<bool>("expectedCopy");
    QTest::newRow("fresh") << QVariant() << QVariant() << true << true;
    QTest::newRow("one off") << QVariant(false) << QVariant() << false << true;
    QTest::newRow("text NO") << QVariant() << QVariant(QStringLiteral("NO")) << true << false;
    QTest::newRow("number 0") << QVariant(0) << QVariant(1) << false << true;
}

void RegionSelectionModelTest::behaviourPreferences()
{
    QFETCH(QVariant, review);
    QFETCH(QVariant, copy);
    QFETCH(bool, expectedReview);
    QFETCH(bool, expectedCopy);
    QTemporaryDir dir;
    UserDefaults defaults(dir.filePath(QStringLiteral("settings.ini")));
    if (review.isValid())
        defaults.setValue(CaptureBehaviorPreferencesStore::opensRegionCaptureReviewKey(), review);
    if (copy.isValid())
        defaults.setValue(CaptureBehaviorPreferencesStore::copiesCapturesKey(), copy);
    CaptureBehaviorPreferencesStore store(defaults);
    const CaptureBehaviorPreferences loaded = store.load();
    QCOMPARE(loaded, (CaptureBehaviorPreferences{expectedReview, expectedCopy}));
    store.save(CaptureBehaviorPreferences{!expectedReview, !expectedCopy});
    QCOMPARE(store.load(), (CaptureBehaviorPreferences{!expectedReview, !expectedCopy}));
}

void RegionSelectionModelTest::permissionStateRawValues()
{
    for (const QString &raw : {QStringLiteral("notRequested"), QStringLiteral("needsSettings"),
                              QStringLiteral("restartRequired"), QStringLiteral("authorized")}) {
        const auto state = screenCapturePermissionStateFromRawValue(raw);
        QVERIFY(state);
        QCOMPARE(screenCapturePermissionStateRawValue(*state), raw);
    }
    QCOMPARE(screenCapturePermissionStateFromRawValue(QStringLiteral("Authorized")), std::nullopt);
}

void RegionSelectionModelTest::settingsLauncherFallsBack()
{
    QStringList tried;
    const auto refuseAll = [&](const QString &program, const QStringList &) {
        tried.append(program);
        return false;
    };
    QVERIFY(!ScreenCapturePermissionController::openScreenRecordingSettings(refuseAll));
    QCOMPARE(tried.first(), QStringLiteral("gnome-control-center"));
    QVERIFY(tried.size() > 1);
    tried.clear();
    const auto onlySettingsApp = [&](const QString &program, const QStringList &arguments) {
        tried.append(program);
        return program == QLatin1String("systemsettings") && arguments.isEmpty();
    };
    QVERIFY(ScreenCapturePermissionController::openScreenRecordingSettings(onlySettingsApp));
    QCOMPARE(tried.last(), QStringLiteral("systemsettings"));
}

QTEST_GUILESS_MAIN(RegionSelectionModelTest)
#include "tst_regionselectionmodel.moc"

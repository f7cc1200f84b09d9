#include "../capture/CaptureFakes.h"
#include "../support/LibraryBuilder.h"
#include "../support/OffscreenScreen.h"

#include "runtime/AppRuntime.h"
#include "runtime/CapturePipeline.h"
#include "runtime/ImageExportService.h"
#include "runtime/SnipPictureReading.h"
#include "runtime/OCRService.h"
#include "runtime/DesktopSearchIndexService.h"
#include "design/StudioActionButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioEmptyState.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "imaging/AnnotationEditorModel.h"
#include "imaging/AnnotationEditorView.h"
#include "imaging/CaptureReviewModel.h"
#include "imaging/CaptureReviewView.h"
#include "imaging/SnipFrameComposerView.h"
#include "model/AnnotatedCardRenderer.h"
#include "model/Board.h"
#include "notes/BoardBriefExportService.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/BackgroundPool.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SearchIndex.h"
#include "platform/UserDefaults.h"

#include <QLineEdit>
#include <QPainter>
#include <QTimeZone>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QFile>
#include <QScreen>
#include <QTest>

#include <limits>

using namespace tessaline;
using namespace tessaline::fakes;
using namespace tessaline::testing;

namespace {

class RecordingPasteboard : public Pasteboard
{
public:
    void clearContents() override
    {
        types.clear();
        ++clears;
    }
    void declareTypes(const QStringList &declared) override { types = declared; }
    bool setData(const QByteArray &data, const QString &type) override
    {
        if (failWrites)
            return false;
        written.append(type);
        entries.insert(type, data);
        return true;
    }
    QStringList types;
    QStringList written;
    QHash<QString, QByteArray> entries;
    int clears = 0;
    bool failWrites = false;
};

// Never answers: its futures come back cancelled.
class SilentOCR : public OCRServicing
{
public:
    QFuture<OCRResult> recognizeText(const QImage &, QObject *) override { return {}; }
};

class RecordingIndex : public SearchIndexing
{
public:
    explicit RecordingIndex(QList<SearchableItem> *log) : m_log(log) {}
    Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &items) override
    {
        *m_log += items;
        return {};
    }
    Expected<void, SearchIndexError> deleteItems(const QStringList &) override { return {}; }

private:
    QList<SearchableItem> *m_log;
};

QImage plainPicture()
{
    QImage image(200, 100, QImage::Format_RGB32);
    image.fill(QColor(40, 90, 160));
    return image;
}

// A runtime over an in-memory library holding one note with one snip of
// the picture, read by the given recogniser (by default, one that never
// answers).
struct Rig
{
    explicit Rig(const QImage &picture = plainPicture(), std::shared_ptr<OCRServicing> ocr = nullptr)
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath("settings.ini"));
        CaptureCoordinatorServices capture;
        capture.displayCaptureService = std::make_shared<FakeDisplayCapturing>();
        capture.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(*defaults);
        capture.hotKeyManager = std::make_shared<GlobalHotKeyManager>(std::make_unique<FakeHotKeySystem>());
        capture.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(*defaults);
        capture.permissionController = std::make_shared<FakePermission>();
        capture.notificationCenter = &center;

        ModelContainer::Configuration configuration;
        configuration.isStoredInMemoryOnly = true;
        AppRuntimeServices services;
        services.modelContainer = std::move(*ModelContainer::open(configuration));
        services.defaults = defaults.get();
        services.captureCoordinator = std::make_unique<CaptureCoordinator>(std::move(capture));
        services.ocrService = ocr ? ocr : std::make_shared<SilentOCR>();
        services.desktopSearchIndex = std::make_shared<DesktopSearchIndexService>(
            [log = &indexed] { return std::make_unique<RecordingIndex>(log); }, QStringLiteral("test.domain"));
        services.setRemindersEnabled = [](bool, QObject *, std::function<void(Expected<bool, QString>)> done) {
            done(false);
        };
        services.pasteboard = &pasteboard;
        runtime = std::make_unique<AppRuntime>(std::move(services));

        noteID = addNote(context(), NoteFields{.title = QStringLiteral("Research")})->id();
        cardID = addCard(context(), noteID,
                         CardFields{.title = QStringLiteral("Pricing page"),
                                    .created = QDateTime::currentDateTimeUtc(),
                                    .image = ImageExportService::pngData(picture)})
                     ->id();
        QVERIFY(context().save());
        runtime->navigation().setCaptureReviewCardID(cardID);
        runtime->navigation().setDestination(SidebarDestination::captures());
    }

    ModelContext &context() { return runtime->modelContext(); }
    CanvasCard *card()
    {
        for (CanvasCard *card : *context().fetchCards()) {
            if (card->id() == cardID)
                return card;
        }
        return nullptr;
    }
    // An arrow drawn on the review's editor the way the canvas reports it.
    static void drawArrow(AnnotationEditorModel &editor)
    {
        const QSizeF size(400, 200);
        editor.selectTool(AnnotationTool::arrow);
        editor.pointerPressed(QPointF(20, 20), size);
        editor.pointerMoved(QPointF(200, 120), size);
        editor.pointerReleased(QPointF(200, 120), size);
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    RecordingPasteboard pasteboard;
    QList<SearchableItem> indexed;
    std::unique_ptr<AppRuntime> runtime;
    QUuid noteID;
    QUuid cardID;
};

// The card's stored document; one no reader makes (version 0) when it cannot
// be read, so that comparisons with it fail.
AnnotationDocument storedDocument(CanvasCard *card)
{
    const auto read = AnnotationDocument::decode(card->annotationDocumentData());
    return read ? *read : AnnotationDocument{0, {}};
}

// The review reads its picture on workers; what follows waits for it.
[[nodiscard]] bool loaded(const CaptureReviewModel &review)
{
    return QTest::qWaitFor([&] { return !review.isLoading(); });
}

} // namespace

class CaptureReviewTest : public QObject
{
    Q_OBJECT
public:
    // A screen as small as a 1920 by 1080 display at twice the scale, not
    // the offscreen platform's 800 by 600.
    static void initMain()
    {
        useOffscreenScreen(960, 540);
    }

private Q_SLOTS:
    void reopeningShowsWhatWasKept();
    void keep_data();
    void keep();
    void keepShowsAQuickCaptureWhereItIsListed();
    void keepRefusesADocumentItCannotStore();
    void keepNeverReplacesAnnotationsItCouldNotRead();
    void keepOfACardGoneMeanwhile();
    void keepWhenTheStoreFails();
    void pixelatedWordsLeaveTheRecognisedText();
    void readingAgainIsOwedUntilItIsDone_data();
    void readingAgainIsOwedUntilItIsDone();
    void failedCopyOnKeepStaysOpenWithTheSnipStored();
    void keepWaitsForTheCopy_data();
    void keepWaitsForTheCopy();
    void frameStoresThenOpensTheComposer();
    void cancelStoresNothing();
    void aLabelStillBeingTypedIsTaken_data();
    void aLabelStillBeingTypedIsTaken();
    void copyAndSave();
    void unavailableSnip_data();
    void unavailableSnip();
    void windowButtonsAndKeys();
    void fitsASmallScreen();
};

void CaptureReviewTest::reopeningShowsWhatWasKept()
{
    Rig rig;
    AnnotationDocument kept;
    kept.items.append(AnnotationItem{QUuid::createUuid(), AnnotationTool::rectangle, {{0.1, 0.1}, {0.5, 0.5}},
                                     {1, 1, 1, 1}, 3, std::nullopt});
    rig.card()->setAnnotationDocumentData(kept.encode());
    rig.card()->setContextText(QStringLiteral("Why it costs more"));
    QVERIFY(rig.context().save());

    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    // The picture comes from workers, never decoded on this thread.
    QVERIFY(review.isLoading());
    QVERIFY(!review.isAvailable());
    QSignalSpy availability(&review, &CaptureReviewModel::availabilityChanged);
    QVERIFY(loaded(review));
    QCOMPARE(availability.count(), 1);
    QVERIFY(review.isAvailable());
    QCOMPARE(review.image().size(), QSize(200, 100));
    review.load();
    QCOMPARE(review.editor().document(), kept);
    QCOMPARE(review.contextText(), QStringLiteral("Why it costs more"));
    QVERIFY(!review.editor().canUndo());
}

void CaptureReviewTest::keep_data()
{
    QTest::addColumn<bool>("copies");
    QTest::newRow("copies captures") << true;
    QTest::newRow("leaves the clipboard alone") << false;
}

void CaptureReviewTest::keep()
{
    QFETCH(bool, copies);
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(copies);
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.setContextText(QStringLiteral("  The second tier \n"));
    QSignalSpy dismissed(&review, &CaptureReviewModel::dismissRequested);

    QVERIFY(review.keep());
    // Stored at once; a copy is drawn and encoded off this thread, and the
    // review waits for it before it closes.
    QCOMPARE(storedDocument(rig.card()), review.editor().document());
    QCOMPARE(review.isKeeping(), copies);
    QCOMPARE(dismissed.count(), copies ? 0 : 1);
    QTRY_COMPARE(dismissed.count(), 1);
    QVERIFY(!review.isKeeping());
    QVERIFY(!review.errorMessage());
    QCOMPARE(storedDocument(rig.card()), review.editor().document());
    QCOMPARE(rig.card()->contextText(), QStringLiteral("The second tier"));
    QVERIFY(!rig.context().hasChanges());

    NavigationState &navigation = rig.runtime->navigation();
    QVERIFY(!navigation.captureReviewCardID());
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::notes()));
    QCOMPARE(navigation.activeBoardID(), std::optional(rig.noteID));

    QCOMPARE(review.isCopied(), copies);
    const QStringList bothTypes{ImageExportService::pngType, ImageExportService::tiffType};
    QCOMPARE(rig.pasteboard.written, copies ? bothTypes : QStringList());
    QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), copies ? std::optional(rig.cardID) : std::nullopt);
    if (copies) {
        // What was copied is the snip as stored, the arrow drawn in.
        const auto stored = drawSnipPicture(rig.card()->originalImageData(), rig.card()->annotationDocumentData(),
                                            SnipPictureDrawing::annotated);
        QVERIFY(stored);
        const QImage copied = QImage::fromData(rig.pasteboard.entries.value(ImageExportService::pngType));
        QCOMPARE(copied.convertToFormat(QImage::Format_ARGB32), stored->convertToFormat(QImage::Format_ARGB32));
        QVERIFY(copied != review.image().convertToFormat(copied.format()));
    }
}

void CaptureReviewTest::keepRefusesADocumentItCannotStore()
{
    Rig rig;
    AnnotationDocument kept;
    kept.items.append(AnnotationItem{QUuid::createUuid(), AnnotationTool::arrow, {{0.1, 0.1}, {0.5, 0.5}},
                                     {1, 0, 0, 1}, 4, std::nullopt});
    rig.card()->setAnnotationDocumentData(kept.encode());
    rig.card()->setContextText(QStringLiteral("Earlier note"));
    QVERIFY(rig.context().save());
    const std::optional<QByteArray> storedBytes = rig.card()->annotationDocumentData();

    CaptureReviewView view(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(view.model()));
    view.show();
    CaptureReviewModel &review = view.model();
    // A width no stored document can carry.
    AnnotationDocument broken = review.editor().document();
    broken.items.first().lineWidth = std::numeric_limits<double>::infinity();
    review.editor().setDocument(broken);
    view.noteField()->setText(QStringLiteral("New note"));
    review.setContextText(QStringLiteral("New note"));

    view.keepButton()->click();
    QCOMPARE(review.errorMessage(),
             std::optional(captureReviewErrorMessage(CaptureReviewError::annotationsNotEncodable)));
    QCOMPARE(rig.card()->annotationDocumentData(), storedBytes);
    QCOMPARE(rig.card()->contextText(), QStringLiteral("Earlier note"));
    QVERIFY(!rig.context().hasChanges());
    QCOMPARE(rig.runtime->navigation().captureReviewCardID(), std::optional(rig.cardID));
    QVERIFY(view.isVisible());
    QVERIFY(rig.pasteboard.written.isEmpty());

    QVERIFY(view.errorAlert());
    QCOMPARE(view.errorAlert()->windowTitle(), QStringLiteral("Couldn’t save snip"));
    // Title bars of small dialogs are cut or hidden: the box says what failed.
    QCOMPARE(view.errorAlert()->text(), QStringLiteral("Couldn’t save snip"));
    QCOMPARE(view.errorAlert()->informativeText(), *review.errorMessage());
    view.errorAlert()->button(QMessageBox::Ok)->click();
    QVERIFY(!review.errorMessage());
}

void CaptureReviewTest::keepNeverReplacesAnnotationsItCouldNotRead()
{
    Rig rig;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.setContextText(QStringLiteral("New note"));
    // Written meanwhile by a newer version, with a tool this one does not know.
    const QByteArray newer(R"({"items":[{"tool":"blur"}],"version":3})");
    rig.card()->setAnnotationDocumentData(newer);
    QVERIFY(rig.context().save());

    QVERIFY(!review.keep());
    QCOMPARE(review.errorMessage(),
             std::optional(captureReviewErrorMessage(CaptureReviewError::storedAnnotationsUnreadable)));
    QVERIFY(!review.frame());
    QCOMPARE(rig.card()->annotationDocumentData(), std::optional(newer));
    QCOMPARE(rig.card()->contextText(), QString());
    QVERIFY(!rig.context().hasChanges());
    QVERIFY(rig.pasteboard.written.isEmpty());
}

// "Notes" does not list the Quick Captures note: kept there, the snip
// would leave the window on an empty page.
void CaptureReviewTest::keepShowsAQuickCaptureWhereItIsListed()
{
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    const QUuid inboxID = addNote(rig.context(), NoteFields{.title = QStringLiteral("Quick Captures"), .inbox = true})->id();
    rig.card()->setBoardID(inboxID);
    QVERIFY(rig.context().save());
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    QSignalSpy dismissed(&review, &CaptureReviewModel::dismissRequested);

    QVERIFY(review.keep());
    QTRY_COMPARE(dismissed.count(), 1);
    NavigationState &navigation = rig.runtime->navigation();
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::inbox()));
    QCOMPARE(navigation.activeBoardID(), std::optional(inboxID));
}

void CaptureReviewTest::keepOfACardGoneMeanwhile()
{
    Rig rig;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    QSignalSpy availability(&review, &CaptureReviewModel::availabilityChanged);
    rig.card()->moveToTrash(QDateTime::currentDateTimeUtc());
    QVERIFY(rig.context().save());
    QCOMPARE(availability.count(), 1);
    QVERIFY(!review.isAvailable());

    QVERIFY(!review.keep());
    QCOMPARE(review.errorMessage(), std::optional(QStringLiteral("The selected card no longer exists.")));
    QVERIFY(!rig.card()->hasAnnotationDocumentData());
    QCOMPARE(rig.runtime->navigation().captureReviewCardID(), std::optional(rig.cardID));
}

void CaptureReviewTest::keepWhenTheStoreFails()
{
    Rig rig;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.setContextText(QStringLiteral("Not yet"));
    rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});

    QVERIFY(!review.keep());
    QCOMPARE(review.errorMessage(), std::optional(QStringLiteral("The disk is full.")));
    QVERIFY(!rig.card()->hasAnnotationDocumentData());
    QCOMPARE(rig.card()->contextText(), QString());
    QVERIFY(!rig.context().hasChanges());
    QVERIFY(rig.pasteboard.written.isEmpty());

    // Nothing was lost from the review: keeping again works.
    review.clearErrorMessage();
    QVERIFY(review.keep());
    QCOMPARE(storedDocument(rig.card()), review.editor().document());
}

void CaptureReviewTest::pixelatedWordsLeaveTheRecognisedText()
{
    // Two lines of text; the second one's "password" gets pixelated.
    QImage picture(900, 220, QImage::Format_RGB32);
    picture.fill(Qt::white);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(28);
    const QFontMetrics metrics(font);
    const QPoint secondLine(40, 150);
    {
        QPainter painter(&picture);
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(QPoint(40, 70), QStringLiteral("Quarterly revenue grew again"));
        painter.drawText(secondLine, QStringLiteral("the password hint is blue"));
    }
    const int left = secondLine.x() + metrics.horizontalAdvance(QStringLiteral("the "));
    const QRect password(left, secondLine.y() - metrics.ascent(), metrics.horizontalAdvance(QStringLiteral("password")),
                         metrics.ascent() + metrics.descent());

    Rig rig(picture, std::make_shared<OCRService>());
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    QSignalSpy applied(&rig.runtime->capturePipeline(), &CapturePipeline::recognitionApplied);
    auto brief = [&] {
        Board *note = nullptr;
        for (Board *board : *rig.context().fetchBoards())
            note = board->id() == rig.noteID ? board : note;
        return BoardBriefExportService::markdown(*note, *rig.context().fetchCards(), {},
                                                 {QDateTime::currentDateTimeUtc(), QLocale::c(), QTimeZone::utc()});
    };
    auto keep = [&](const std::optional<QRect> &pixelated) {
        CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
        if (!loaded(review))
            return false;
        review.load();
        review.editor().setDocument(AnnotationDocument{});
        if (pixelated) {
            const QSizeF size = picture.size();
            review.editor().selectTool(AnnotationTool::pixelate);
            review.editor().pointerPressed(pixelated->topLeft() - QPoint(3, 3), size);
            review.editor().pointerMoved(pixelated->bottomRight() + QPoint(3, 3), size);
            review.editor().pointerReleased(pixelated->bottomRight() + QPoint(3, 3), size);
        }
        return review.keep();
    };
    auto lastIndexed = [&] { return rig.indexed.isEmpty() ? QString() : rig.indexed.last().contentDescription; };

    // Real recognition, which yields to everything else on the machine: on
    // a loaded one a reading can take tens of seconds.
    rig.runtime->capturePipeline().recognizeTextAgain(rig.cardID, picture);
    QVERIFY(applied.wait(120000));
    QVERIFY2(rig.card()->ocrText().contains(QStringLiteral("password")), qPrintable(rig.card()->ocrText()));

    // From the moment it is kept, the hidden word is nowhere, and stays so
    // once the picture has been read again.
    const qsizetype indexedBeforeKeep = rig.indexed.size();
    QVERIFY(keep(password));
    QVERIFY(!rig.card()->ocrText().contains(QStringLiteral("password")));
    QCOMPARE(*rig.context().textRecognitionsPending(), QList<QUuid>{rig.cardID});
    QVERIFY(applied.wait(120000));
    QTRY_COMPARE(*rig.context().textRecognitionsPending(), QList<QUuid>{});
    // The index is written on its own thread; once the text has been read
    // again every entry written since the keep is in, and none holds the word.
    QVERIFY(rig.indexed.size() >= indexedBeforeKeep + 2);
    for (qsizetype i = indexedBeforeKeep; i < rig.indexed.size(); ++i)
        QVERIFY(!rig.indexed.at(i).contentDescription.contains(QStringLiteral("password")));
    const QString redacted = rig.card()->ocrText();
    QVERIFY2(redacted.contains(QStringLiteral("revenue")) && redacted.contains(QStringLiteral("hint")), qPrintable(redacted));
    QVERIFY2(!redacted.contains(QStringLiteral("password")), qPrintable(redacted));
    QCOMPARE(lastIndexed(), redacted);
    QVERIFY(!rig.indexed.last().thumbnailData);
    QVERIFY(!brief().contains(QStringLiteral("password")));

    // Without the box, the word comes back.
    QVERIFY(keep(std::nullopt));
    QVERIFY(applied.wait(120000));
    QVERIFY2(rig.card()->ocrText().contains(QStringLiteral("the password hint")), qPrintable(rig.card()->ocrText()));
    QVERIFY(lastIndexed().contains(QStringLiteral("password")));
    QVERIFY(brief().contains(QStringLiteral("password")));
}

void CaptureReviewTest::readingAgainIsOwedUntilItIsDone_data()
{
    QTest::addColumn<bool>("pixelates");
    QTest::addColumn<bool>("saveFails");
    QTest::addColumn<bool>("owed");
    QTest::newRow("an arrow hides nothing") << false << false << false;
    QTest::newRow("a pixelated area") << true << false << true;
    QTest::newRow("a pixelated area the library will not take") << true << true << false;
}

void CaptureReviewTest::readingAgainIsOwedUntilItIsDone()
{
    QFETCH(bool, pixelates);
    QFETCH(bool, saveFails);
    QFETCH(bool, owed);
    // Recognition never answers here, as when the app ends before it does:
    // what is owed must be in the library, for the next start to read.
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    if (pixelates) {
        const QSizeF size(400, 200);
        review.editor().selectTool(AnnotationTool::pixelate);
        review.editor().pointerPressed(QPointF(20, 20), size);
        review.editor().pointerMoved(QPointF(200, 120), size);
        review.editor().pointerReleased(QPointF(200, 120), size);
    } else {
        Rig::drawArrow(review.editor());
    }
    if (saveFails)
        rig.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
    QCOMPARE(review.keep(), !saveFails);
    QCOMPARE(*rig.context().textRecognitionsPending(), owed ? QList<QUuid>{rig.cardID} : QList<QUuid>{});
    // Nothing owed is written later by a save of something else.
    QVERIFY(rig.context().save());
    rig.card()->setTitle(QStringLiteral("Renamed"));
    QVERIFY(rig.context().save());
    QCOMPARE(*rig.context().textRecognitionsPending(), owed ? QList<QUuid>{rig.cardID} : QList<QUuid>{});
}

void CaptureReviewTest::failedCopyOnKeepStaysOpenWithTheSnipStored()
{
    Rig rig;
    rig.pasteboard.failWrites = true;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.setContextText(QStringLiteral("Kept anyway"));
    QSignalSpy dismissed(&review, &CaptureReviewModel::dismissRequested);

    // Stored, then the copy fails: the review says so once it knows, and
    // stays, ready to keep again.
    QVERIFY(review.keep());
    QTRY_COMPARE(review.errorMessage(), std::optional(QStringLiteral("The image could not be encoded as PNG.")));
    QVERIFY(!review.isKeeping());
    QCOMPARE(dismissed.count(), 0);
    QVERIFY(!review.isCopied());
    QVERIFY(!rig.runtime->lastAutomaticallyCopiedCardID());
    QCOMPARE(storedDocument(rig.card()), review.editor().document());
    QCOMPARE(rig.card()->contextText(), QStringLiteral("Kept anyway"));
    QCOMPARE(rig.runtime->navigation().captureReviewCardID(), std::optional(rig.cardID));
}

void CaptureReviewTest::keepWaitsForTheCopy_data()
{
    QTest::addColumn<QString>("meanwhile");
    QTest::newRow("Keep pressed again") << QStringLiteral("keep");
    QTest::newRow("Frame pressed") << QStringLiteral("frame");
    QTest::newRow("Cancel pressed") << QStringLiteral("cancel");
    QTest::newRow("the review closed") << QStringLiteral("closed");
}

void CaptureReviewTest::keepWaitsForTheCopy()
{
    QFETCH(QString, meanwhile);
    Rig rig;
    auto review = std::make_unique<CaptureReviewModel>(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(*review));
    review->load();
    Rig::drawArrow(review->editor());
    review->setContextText(QStringLiteral("Once"));
    QSignalSpy saves(&rig.context(), &ModelContext::didSave);
    QSignalSpy dismissed(review.get(), &CaptureReviewModel::dismissRequested);
    NavigationState &navigation = rig.runtime->navigation();

    QVERIFY(review->keep());
    QVERIFY(review->isKeeping());
    const qsizetype savesOfKeep = saves.count();
    QVERIFY(savesOfKeep > 0);
    if (meanwhile == u"keep")
        QVERIFY(!review->keep());
    else if (meanwhile == u"frame")
        QVERIFY(!review->frame());
    else if (meanwhile == u"cancel")
        review->cancel();
    else
        review.reset();

    if (review) {
        // The keep goes on as if nothing had been pressed, stored once.
        QCOMPARE(dismissed.count(), 0);
        QTRY_COMPARE(dismissed.count(), 1);
        QCOMPARE(rig.pasteboard.written, (QStringList{ImageExportService::pngType, ImageExportService::tiffType}));
        QCOMPARE(rig.runtime->lastAutomaticallyCopiedCardID(), std::optional(rig.cardID));
        QCOMPARE(navigation.destination(), std::optional(SidebarDestination::notes()));
        QCoreApplication::processEvents();
        QVERIFY(!navigation.frameComposerCardID());
    } else {
        // Gone before the copy came back: its answer goes nowhere.
        backgroundPool().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        QVERIFY(rig.pasteboard.written.isEmpty());
        QVERIFY(!rig.runtime->lastAutomaticallyCopiedCardID());
    }
    QCOMPARE(saves.count(), savesOfKeep);
    QCOMPARE(rig.card()->contextText(), QStringLiteral("Once"));
    QCOMPARE(storedDocument(rig.card()).items.size(), 1);
}

void CaptureReviewTest::frameStoresThenOpensTheComposer()
{
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    NavigationState &navigation = rig.runtime->navigation();

    QVERIFY(review.frame());
    QCOMPARE(storedDocument(rig.card()), review.editor().document());
    QVERIFY(!navigation.captureReviewCardID());
    // The composer follows once the review has gone, not in the same turn.
    QVERIFY(!navigation.frameComposerCardID());
    QTRY_COMPARE(navigation.frameComposerCardID(), std::optional(rig.cardID));
    QCOMPARE(navigation.destination(), std::optional(SidebarDestination::captures()));
}

void CaptureReviewTest::cancelStoresNothing()
{
    Rig rig;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.setContextText(QStringLiteral("Lost"));
    QSignalSpy dismissed(&review, &CaptureReviewModel::dismissRequested);
    review.cancel();
    QCOMPARE(dismissed.count(), 1);
    QVERIFY(!rig.runtime->navigation().captureReviewCardID());
    QVERIFY(!rig.card()->hasAnnotationDocumentData());
    QCOMPARE(rig.card()->contextText(), QString());
    QVERIFY(!rig.context().hasChanges());
}

void CaptureReviewTest::aLabelStillBeingTypedIsTaken_data()
{
    QTest::addColumn<QString>("action");
    QTest::newRow("keep") << QStringLiteral("keep");
    QTest::newRow("frame") << QStringLiteral("frame");
    QTest::newRow("copy") << QStringLiteral("copy");
    QTest::newRow("save") << QStringLiteral("save");
}

void CaptureReviewTest::aLabelStillBeingTypedIsTaken()
{
    QFETCH(QString, action);
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    AnnotationEditorModel &editor = review.editor();
    const QSizeF size(400, 200);
    const auto typeLabel = [&](const QString &text) {
        editor.selectTool(AnnotationTool::text);
        editor.pointerPressed(QPointF(80, 60), size);
        editor.pointerReleased(QPointF(80, 60), size);
        QVERIFY(editor.isTextEditing());
        editor.setTextDraft(text);
    };
    // Blank: nothing to take, and nothing is added.
    typeLabel(QStringLiteral("  "));
    review.copy();
    QVERIFY(editor.document().items.isEmpty());
    editor.cancelTextEditing();
    const QImage unlabelled = QImage::fromData(rig.pasteboard.entries.value(ImageExportService::pngType));

    // The label is typed but the user goes straight to the button.
    typeLabel(QStringLiteral("שלום 👋🏽 world"));
    std::optional<QImage> saved;
    review.setPngSaver([&](const QImage &image, const QString &, SaveFileFlow::Completion done) {
        saved = image;
        done(SaveFileStatus::saved);
    });
    if (action == u"keep")
        QVERIFY(review.keep());
    else if (action == u"frame")
        QVERIFY(review.frame());
    else if (action == u"copy")
        review.copy();
    else
        review.save();

    QVERIFY(!editor.isTextEditing());
    QCOMPARE(editor.document().items.size(), 1);
    QCOMPARE(editor.document().items.first().text, std::optional(QStringLiteral("שלום 👋🏽 world")));
    if (action == u"keep" || action == u"frame") {
        QCOMPARE(storedDocument(rig.card()), editor.document());
    } else {
        const QImage exported = action == u"copy"
            ? QImage::fromData(rig.pasteboard.entries.value(ImageExportService::pngType))
            : saved.value_or(QImage());
        QVERIFY(!exported.isNull());
        QVERIFY(exported.convertToFormat(QImage::Format_ARGB32) != unlabelled.convertToFormat(QImage::Format_ARGB32));
        QVERIFY(!rig.card()->hasAnnotationDocumentData());
    }
}

void CaptureReviewTest::copyAndSave()
{
    Rig rig;
    CaptureReviewModel review(rig.cardID, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(review));
    review.load();
    Rig::drawArrow(review.editor());
    review.copy();
    QVERIFY(review.isCopied());
    QCOMPARE(rig.pasteboard.written, (QStringList{ImageExportService::pngType, ImageExportService::tiffType}));
    // Nothing was stored by copying.
    QVERIFY(!rig.card()->hasAnnotationDocumentData());

    rig.pasteboard.failWrites = true;
    review.copy();
    QVERIFY(review.isCopied()); // stays "Copied" for the life of the review
    QCOMPARE(review.errorMessage(), std::optional(QStringLiteral("The image could not be encoded as PNG.")));
    review.clearErrorMessage();

    QList<std::pair<QSize, QString>> asked;
    SaveFileFlow::Completion finishSave;
    review.setPngSaver([&](const QImage &image, const QString &name, SaveFileFlow::Completion done) {
        asked.append({image.size(), name});
        finishSave = std::move(done);
    });
    review.save();
    review.save(); // one dialog at a time
    QCOMPARE(asked.size(), 1);
    QCOMPARE(asked.first(), std::make_pair(QSize(200, 100), QStringLiteral("Pricing page")));
    QVERIFY(review.isExporting());
    finishSave(unexpected(QStringLiteral("Disk full")));
    QVERIFY(!review.isExporting());
    QCOMPARE(review.errorMessage(), std::optional(QStringLiteral("Disk full")));
    review.save();
    QCOMPARE(asked.size(), 2);
    finishSave(SaveFileStatus::cancelled);
    QVERIFY(!review.isExporting());
}

void CaptureReviewTest::unavailableSnip_data()
{
    QTest::addColumn<QString>("damage");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("message");
    const QString gone = QStringLiteral("This capture may have been deleted.");
    QTest::newRow("card in the trash") << "trashed" << "Snip unavailable" << gone;
    QTest::newRow("unreadable image") << "image" << "Snip unavailable" << gone;
    QTest::newRow("no such card") << "unknown" << "Snip unavailable" << gone;
    QTest::newRow("trashed while the review is open") << "trashed while open" << "Snip unavailable" << gone;
    // Never the picture without what its annotations may hide.
    QTest::newRow("unreadable annotations") << "annotations" << "Annotations unreadable"
                                            << message(AnnotatedCardError::annotationsUnreadable);
}

void CaptureReviewTest::unavailableSnip()
{
    QFETCH(QString, damage);
    QFETCH(QString, title);
    QFETCH(QString, message);
    Rig rig;
    QUuid id = rig.cardID;
    std::unique_ptr<CaptureReviewView> openView;
    if (damage == u"trashed while open") {
        openView = std::make_unique<CaptureReviewView>(id, *rig.runtime, rig.pasteboard);
        QVERIFY(loaded(openView->model()));
        QVERIFY(openView->editor());
    }
    if (damage.startsWith(u"trashed"))
        rig.card()->moveToTrash(QDateTime::currentDateTimeUtc());
    else if (damage == u"image")
        rig.card()->setOriginalImageData(QByteArray("not a picture"));
    else if (damage == u"annotations")
        rig.card()->setAnnotationDocumentData(QByteArray(R"({"items":[{"tool":"blur"}],"version":3})"));
    else
        id = QUuid::createUuid();
    QVERIFY(rig.context().save());

    if (!openView)
        openView = std::make_unique<CaptureReviewView>(id, *rig.runtime, rig.pasteboard);
    QVERIFY(loaded(openView->model()));
    CaptureReviewView &view = *openView;
    QVERIFY(!view.editor());
    QVERIFY(view.unavailablePanel());
    QCOMPARE(view.unavailablePanel()->titleLabel()->text(), title);
    QCOMPARE(view.unavailablePanel()->messageLabel()->text(), message);
    QCOMPARE(view.model().hasUnreadableAnnotations(), damage == u"annotations");
    QVERIFY(!view.model().flattenedImage());
    QVERIFY(!view.unavailablePanel()->actionButton());
    QCOMPARE(view.unavailablePanel()->size(), QSize(500, 320));
}

void CaptureReviewTest::windowButtonsAndKeys()
{
    Rig rig;
    rig.runtime->setAutomaticallyCopiesCaptures(false);
    {
        CaptureReviewView view(rig.cardID, *rig.runtime, rig.pasteboard);
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QVERIFY(view.editor());
        // The title follows the card as recognition names it.
        QCOMPARE(view.windowTitle(), QStringLiteral("Pricing page"));
        rig.card()->setTitle(QStringLiteral("Invoice 42"));
        QVERIFY(rig.context().save());
        QCOMPARE(view.windowTitle(), QStringLiteral("Invoice 42"));
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copy"));
        view.copyButton()->click();
        QCOMPARE(view.copyButton()->text(), QStringLiteral("Copied"));
        QCOMPARE(view.copyButton()->systemImage(), QStringLiteral("checkmark"));

        QTest::keyClicks(view.noteField(), QStringLiteral("Typed note"));
        QCOMPARE(view.model().contextText(), QStringLiteral("Typed note"));
        QTest::keyClick(view.noteField(), Qt::Key_Return);
        QVERIFY(!view.isVisible());
        QCOMPARE(view.result(), int(QDialog::Accepted));
        QCOMPARE(rig.card()->contextText(), QStringLiteral("Typed note"));
        QVERIFY(!rig.runtime->navigation().captureReviewCardID());
    }

    rig.runtime->navigation().setCaptureReviewCardID(rig.cardID);
    {
        CaptureReviewView view(rig.cardID, *rig.runtime, rig.pasteboard);
        QVERIFY(loaded(view.model()));
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        QCOMPARE(view.noteField()->text(), QStringLiteral("Typed note"));
        // Escape first clears the editor's selection, then ends the review.
        AnnotationEditorModel &editor = view.model().editor();
        Rig::drawArrow(editor);
        editor.selectTool(AnnotationTool::select);
        editor.pointerPressed(QPointF(100, 70), QSizeF(400, 200));
        editor.pointerReleased(QPointF(100, 70), QSizeF(400, 200));
        QVERIFY(editor.selectedItemID());
        view.editor()->setFocus();
        QTest::keyClick(view.editor(), Qt::Key_Escape);
        QVERIFY(!editor.selectedItemID());
        QVERIFY(view.isVisible());
        QTest::keyClick(view.editor(), Qt::Key_Escape);
        QVERIFY(!view.isVisible());
        QVERIFY(!rig.runtime->navigation().captureReviewCardID());
        QVERIFY(storedDocument(rig.card()).items.isEmpty());
    }
}

void CaptureReviewTest::fitsASmallScreen()
{
    Rig rig;
    CaptureReviewView view(rig.cardID, *rig.runtime, rig.pasteboard);
    // Until the picture comes the sheet is empty, at its full size.
    QVERIFY(!view.editor());
    QVERIFY(!view.unavailablePanel());
    const QSize loadingSize = view.sizeHint();
    QVERIFY(loaded(view.model()));
    QVERIFY(view.editor());
    QCOMPARE(view.sizeHint(), loadingSize);
    view.resize(view.sizeHint());
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    // Keep Snip and the rest of the action bar stay on the screen.
    const QRect screen = view.screen()->availableGeometry();
    QVERIFY2(view.minimumSizeHint().height() <= screen.height() && view.height() <= screen.height(),
             qPrintable(QStringLiteral("%1 high, at least %2, on a screen %3 high")
                            .arg(view.height())
                            .arg(view.minimumSizeHint().height())
                            .arg(screen.height())));
    QVERIFY(view.width() <= screen.width());
    QVERIFY(view.keepButton()->isVisible());
    QVERIFY(view.rect().contains(QRect(view.keepButton()->mapTo(&view, QPoint()), view.keepButton()->size())));

    // So does the frame composer that Frame… opens, with Copy Framed.
    SnipFrameComposerView composer(rig.cardID, *rig.runtime);
    QVERIFY(QTest::qWaitFor([&] { return !composer.model().isLoading(); }));
    composer.resize(composer.sizeHint());
    composer.show();
    QVERIFY(QTest::qWaitForWindowExposed(&composer));
    QVERIFY2(composer.height() <= screen.height() && composer.width() <= screen.width(),
             qPrintable(QStringLiteral("composer %1x%2").arg(composer.width()).arg(composer.height())));
    QVERIFY(composer.copyButton()->isVisible());
    QVERIFY(composer.rect().contains(
        QRect(composer.copyButton()->mapTo(&composer, QPoint()), composer.copyButton()->size())));
}

QTEST_MAIN(CaptureReviewTest)
#include "tst_capturereview.moc"

#include "runtime/CapturePipeline.h"

#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "model/CanvasCard.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/FutureDelivery.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/OCRService.h"

#include <QPromise>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>

using namespace tessaline;

namespace {

// Recognition above the recogniser: answers every picture with `answer`
// once told to, delivered as the real service delivers, on the receiver's
// thread; none answers while `silent` (the app ends before its text is read).
class ScriptedRecognition : public OCRServicing
{
public:
    QFuture<OCRResult> recognizeText(const QImage &image, QObject *receiver) override
    {
        readSizes.append(image.size());
        if (silent)
            return {};
        auto promise = std::make_shared<QPromise<OCRResult>>();
        promise->start();
        waiting.append(promise);
        return deliveredTo(receiver, promise->future());
    }

    void answerAll()
    {
        for (const auto &promise : std::as_const(waiting)) {
            promise->addResult(answer);
            promise->finish();
        }
        waiting.clear();
    }

    OCRResult answer = RecognizedText{};
    bool silent = false;
    QList<QSize> readSizes;
    QList<std::shared_ptr<QPromise<OCRResult>>> waiting;
};

// Marks of text still owed, as the library file holds them.
qint64 marksOwed(const QString &libraryFile)
{
    const QString name = QStringLiteral("marks-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    qint64 marks = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(libraryFile);
        QSqlQuery query(db);
        if (db.open() && query.exec(QStringLiteral("SELECT COUNT(*) FROM TextRecognitionPending")) && query.next())
            marks = query.value(0).toLongLong();
    }
    QSqlDatabase::removeDatabase(name);
    return marks;
}

// A library on disk with a search index file beside it, and a pipeline over
// both: the app's road from a capture to its entry in the desktop's search.
struct Road
{
    explicit Road(const QString &directory, std::shared_ptr<ScriptedRecognition> recognition)
    {
        ModelContainer::Configuration configuration;
        configuration.directory = directory;
        library = std::move(*ModelContainer::open(configuration));
        const QString indexFile = directory + QStringLiteral("/SearchIndex.sqlite");
        index = std::make_shared<DesktopSearchIndexService>(
            [indexFile] { return std::make_unique<SearchIndex>(indexFile); }, QStringLiteral("test.domain"));
        pipeline = std::make_unique<CapturePipeline>(context(), std::move(recognition), index);
    }

    ModelContext &context() const { return *library->mainContext(); }

    std::unique_ptr<ModelContainer> library;
    std::shared_ptr<DesktopSearchIndexService> index;
    std::unique_ptr<CapturePipeline> pipeline;
};

CaptureResult capture()
{
    CaptureResult result;
    result.id = QUuid::createUuid();
    result.image = QImage(64, 48, QImage::Format_RGB32);
    result.image.fill(Qt::darkCyan);
    result.capturedAt = QDateTime::currentDateTimeUtc();
    result.mode = CaptureMode::window;
    result.sourceApplicationName = QStringLiteral("Text Editor");
    return result;
}

} // namespace

class CapturePipelineTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void captureBecomesASnipFoundByItsWords_data();
    void captureBecomesASnipFoundByItsWords();
};

void CapturePipelineTest::captureBecomesASnipFoundByItsWords_data()
{
    QTest::addColumn<bool>("appEndsFirst");
    QTest::addColumn<bool>("unreadable");
    QTest::addColumn<QString>("text");
    QTest::newRow("read and indexed") << false << false << "Quarterly figures";
    // Owed text is read at the next start, from the mark the capture left.
    QTest::newRow("read at the next start") << true << false << "Quarterly figures";
    // Never tried again, and nothing goes into the index without its words.
    QTest::newRow("picture that cannot be read") << false << true << "";
}

// A capture goes the whole road on a real library: stored as a snip in its
// note with its text owed, read, its words stored on the card, handed to
// the desktop's search index under its note's name, and the mark cleared.
void CapturePipelineTest::captureBecomesASnipFoundByItsWords()
{
    QFETCH(bool, appEndsFirst);
    QFETCH(bool, unreadable);
    QFETCH(QString, text);
    QTemporaryDir directory;
    auto recognition = std::make_shared<ScriptedRecognition>();
    recognition->silent = appEndsFirst;
    if (unreadable)
        recognition->answer = unexpected(TextRecognitionError{QStringLiteral("Not a picture."), true});
    else
        recognition->answer = RecognizedText{text, {}, QSize(64, 48)};

    auto road = std::make_unique<Road>(directory.path(), recognition);
    const QString libraryFile = road->context().filePath();
    auto *note = new Board;
    note->setTitle(QStringLiteral("Research"));
    road->context().insert(note);
    QVERIFY(road->context().save());
    const QUuid noteID = note->id();

    QSignalSpy applied(road->pipeline.get(), &CapturePipeline::recognitionApplied);
    QList<StoredCapture> stored;
    road->pipeline->onStored = [&stored](const StoredCapture &capture) { stored.append(capture); };
    road->pipeline->onFailed = [](const QString &message) { QFAIL(qPrintable(message)); };
    road->pipeline->submit(capture(), {noteID, std::nullopt});
    QTRY_COMPARE_WITH_TIMEOUT(stored.size(), 1, 30000);
    const QUuid cardID = stored.first().cardID;
    QCOMPARE(stored.first().card->boardID(), noteID);
    QVERIFY(!stored.first().preview.isNull());
    const QList<BoardWritingBlock> blocks = note->writingDocument().blocks;
    QVERIFY(std::any_of(blocks.cbegin(), blocks.cend(), [&](const auto &block) { return block.cardID == cardID; }));
    QCOMPARE(marksOwed(libraryFile), 1);
    QTRY_COMPARE_WITH_TIMEOUT(recognition->readSizes, QList<QSize>{QSize(64, 48)}, 30000);
    recognition->answerAll();

    if (appEndsFirst) {
        road.reset();
        QCOMPARE(marksOwed(libraryFile), 1);
        recognition->silent = false;
        road = std::make_unique<Road>(directory.path(), recognition);
        QSignalSpy appliedAtStart(road->pipeline.get(), &CapturePipeline::recognitionApplied);
        road->pipeline->catchUp();
        QTRY_COMPARE_WITH_TIMEOUT(recognition->readSizes.size(), 2, 30000);
        recognition->answerAll();
        QTRY_COMPARE_WITH_TIMEOUT(appliedAtStart.size(), 1, 30000);
        QCOMPARE(appliedAtStart.first().first().toUuid(), cardID);
        QCOMPARE(recognition->readSizes.size(), 2);
    } else if (!unreadable) {
        QTRY_COMPARE_WITH_TIMEOUT(applied.size(), 1, 30000);
        QCOMPARE(applied.first().first().toUuid(), cardID);
    }
    QTRY_COMPARE_WITH_TIMEOUT(marksOwed(libraryFile), 0, 30000);

    const CanvasCard *card = road->pipeline->cardWithID(cardID);
    QVERIFY(card);
    QCOMPARE(card->ocrText(), text);
    SearchIndex index(directory.filePath(QStringLiteral("SearchIndex.sqlite")));
    if (unreadable) {
        QVERIFY(!index.item(uuidText(cardID)));
        return;
    }
    QCOMPARE(index.search(QStringLiteral("quarterly")), QStringList{uuidText(cardID)});
    const auto item = index.item(uuidText(cardID));
    QVERIFY(item);
    QVERIFY(item->keywords.contains(QStringLiteral("Research")));
}

QTEST_MAIN(CapturePipelineTest)
#include "tst_capturepipeline.moc"

#include "../support/PngBytes.h"
#include "../support/SnipFixtures.h"

#include "model/Board.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/Pasteboard.h"
#include "runtime/SnipPictureReading.h"

#include <QTemporaryDir>
#include <QTest>

#include <functional>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A library in a file, so pictures are read back on the store's worker.
struct Library
{
    Library()
    {
        ModelContainer::Configuration configuration;
        configuration.directory = dir.path();
        container = std::move(*ModelContainer::open(configuration));
        noteID = addNote(context(), NoteFields{.title = QStringLiteral("Notes")})->id();
    }

    ModelContext &context() { return *container->mainContext(); }

    CanvasCard *addSnip(const std::optional<QByteArray> &picture, const std::optional<QByteArray> &annotations)
    {
        CanvasCard *card = addCard(context(), noteID,
                                   CardFields{.created = QDateTime::currentDateTimeUtc(), .image = picture,
                                              .annotations = annotations});
        if (!context().save())
            qFatal("the test library could not be saved");
        return card;
    }

    QTemporaryDir dir;
    std::unique_ptr<ModelContainer> container;
    QUuid noteID;
};

struct ClipboardLog : Pasteboard
{
    void clearContents() override { entries.clear(); }
    void declareTypes(const QStringList &) override {}
    bool setData(const QByteArray &data, const QString &type) override
    {
        entries.insert(type, data);
        return true;
    }
    QHash<QString, QByteArray> entries;
};

const QByteArray unreadable("{not json");

using Edit = std::function<void(CanvasCard &)>;

} // namespace

Q_DECLARE_METATYPE(std::optional<QByteArray>)
Q_DECLARE_METATYPE(std::optional<tessaline::AnnotatedCardError>)
Q_DECLARE_METATYPE(tessaline::SnipPictureDrawing)
Q_DECLARE_METATYPE(Edit)

class SnipPictureReadingTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void outcomes_data()
    {
        QTest::addColumn<std::optional<QByteArray>>("picture");
        QTest::addColumn<std::optional<QByteArray>>("annotations");
        QTest::addColumn<SnipPictureDrawing>("drawing");
        QTest::addColumn<std::optional<AnnotatedCardError>>("error");
        QTest::addColumn<QColor>("edge");
        const auto white = std::optional(pngOf(Qt::white, QSize(160, 100)));
        const auto garbage = std::optional(QByteArray("not a picture"));
        const auto none = std::optional<QByteArray>();
        const auto fine = std::optional<AnnotatedCardError>();
        using Error = AnnotatedCardError;
        QTest::newRow("as captured, without its annotations")
            << white << std::optional(blackFrame()) << SnipPictureDrawing::original << fine << QColor(Qt::white);
        QTest::newRow("annotated") << white << std::optional(blackFrame()) << SnipPictureDrawing::annotated << fine
                                   << QColor(Qt::black);
        QTest::newRow("no picture") << none << none << SnipPictureDrawing::annotated
                                    << std::optional(Error::pictureUnreadable) << QColor();
        QTest::newRow("no picture, as captured") << garbage << none << SnipPictureDrawing::original
                                                 << std::optional(Error::pictureUnreadable) << QColor();
        // May hide something: never the plain picture.
        QTest::newRow("unreadable annotations") << white << std::optional(unreadable) << SnipPictureDrawing::annotated
                                                << std::optional(Error::annotationsUnreadable) << QColor();
        QTest::newRow("unreadable annotations over no picture")
            << garbage << std::optional(unreadable) << SnipPictureDrawing::annotated
            << std::optional(Error::pictureUnreadable) << QColor();
    }

    void outcomes()
    {
        QFETCH(std::optional<QByteArray>, picture);
        QFETCH(std::optional<QByteArray>, annotations);
        QFETCH(SnipPictureDrawing, drawing);
        QFETCH(std::optional<AnnotatedCardError>, error);
        QFETCH(QColor, edge);
        Library library;
        CanvasCard *card = library.addSnip(picture, annotations);
        QObject receiver;
        std::optional<SnipPictureResult> result;
        readSnipPicture(&receiver, *card, drawing).then(&receiver, [&](const SnipPictureResult &read) { result = read; });
        // Never on the caller's turn: the main thread goes on at once.
        QVERIFY(!result);
        QTRY_VERIFY(result);
        QCOMPARE(result->hasValue(), !error);
        if (error) {
            QCOMPARE(result->error(), *error);
        } else {
            QCOMPARE((*result)->size(), QSize(160, 100));
            QCOMPARE((*result)->pixelColor(1, 1), edge);
            QCOMPARE((*result)->pixelColor(80, 50), QColor(Qt::white));
        }
    }

    void exportFollowsTheCard_data()
    {
        QTest::addColumn<Edit>("meanwhile");
        QTest::addColumn<QColor>("edge");
        QTest::newRow("as asked") << Edit([](CanvasCard &) {}) << QColor(Qt::white);
        // A redaction drawn while the picture was read is in what leaves.
        QTest::newRow("annotated meanwhile")
            << Edit([](CanvasCard &card) { card.setAnnotationDocumentData(blackFrame()); }) << QColor(Qt::black);
        QTest::newRow("annotations made unreadable meanwhile")
            << Edit([](CanvasCard &card) { card.setAnnotationDocumentData(unreadable); }) << QColor();
        QTest::newRow("moved to the trash meanwhile")
            << Edit([](CanvasCard &card) { card.setDeletedAt(QDateTime::currentDateTimeUtc()); }) << QColor();
        QTest::newRow("renamed meanwhile")
            << Edit([](CanvasCard &card) { card.setTitle(QStringLiteral("Later")); }) << QColor(Qt::white);
    }

    void exportFollowsTheCard()
    {
        QFETCH(Edit, meanwhile);
        QFETCH(QColor, edge);
        for (const bool copies : {false, true}) {
            Library library;
            CanvasCard *card = library.addSnip(pngOf(Qt::white, QSize(160, 100)), std::nullopt);
            QObject receiver;
            ClipboardLog clipboard;
            std::optional<QImage> handedOn;
            int failures = 0;
            if (copies) {
                copySnipPicture(&receiver, *card, clipboard, [&](bool copied) {
                    if (copied)
                        handedOn = QImage::fromData(clipboard.entries.value(Pasteboard::pngType()));
                    else
                        ++failures;
                });
            } else {
                exportSnipPicture(
                    &receiver, *card, [&](const CanvasCard &, const QImage &picture) { handedOn = picture; },
                    [&] { ++failures; });
            }
            meanwhile(*card);
            QTRY_VERIFY(handedOn || failures > 0);
            QCOMPARE(failures, edge.isValid() ? 0 : 1);
            QCOMPARE(handedOn.has_value(), edge.isValid());
            if (handedOn)
                QCOMPARE(handedOn->pixelColor(1, 1), edge);
        }
    }
};

QTEST_MAIN(SnipPictureReadingTest)
#include "tst_snippicturereading.moc"

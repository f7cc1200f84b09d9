#include "../support/MainWindowRig.h"
#include "../support/PngBytes.h"

#include "notes/FocusEditorModel.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "model/Board.h"
#include "model/ThinkingSessionService.h"

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A note with one thought card, saved, and the editor open on it.
struct Fixture
{
    Fixture()
    {
        note = rig.addNote(QStringLiteral("Garden"));
        card = rig.addCard(note, CardKind::thought);
        card->setTitle(QStringLiteral("Soil"));
        card->setMarkdownText(QStringLiteral("loam"));
        card->setUpdatedAt(at(0));
        if (!rig.context().save())
            qFatal("fixture save failed");
        library = std::make_unique<LibraryQuery>(rig.context());
        rig.navigation().setFocusedCardID(card->id());
        model = std::make_unique<FocusEditorModel>(*library, rig.navigation(), card->id());
        model->setClock([this] { return at(++tick); });
    }

    MainWindowRig rig;
    Board *note = nullptr;
    CanvasCard *card = nullptr;
    std::unique_ptr<LibraryQuery> library;
    std::unique_ptr<FocusEditorModel> model;
    qint64 tick = 100;
};

} // namespace

Q_DECLARE_METATYPE(std::optional<QByteArray>)

class FocusEditorModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void snipPictureIsReadOffTheMainThread_data()
    {
        QTest::addColumn<CardKind>("kind");
        QTest::addColumn<std::optional<QByteArray>>("image");
        QTest::addColumn<bool>("loadsFirst");
        QTest::addColumn<QColor>("colour");
        const QByteArray picture = pngOf(Qt::darkCyan, QSize(40, 30));
        QTest::newRow("snip") << CardKind::snip << std::optional(picture) << true << QColor(Qt::darkCyan);
        QTest::newRow("data that is no picture")
            << CardKind::snip << std::optional(QByteArray("not a picture")) << true << QColor();
        QTest::newRow("snip without data") << CardKind::snip << std::optional<QByteArray>() << true << QColor();
        QTest::newRow("thought") << CardKind::thought << std::optional(picture) << false << QColor();
    }
    // A 5K picture is a tenth of a second to decode: the editor opens at
    // once, its picture pane empty, and the picture follows.
    void snipPictureIsReadOffTheMainThread()
    {
        QFETCH(CardKind, kind);
        QFETCH(std::optional<QByteArray>, image);
        QFETCH(bool, loadsFirst);
        QFETCH(QColor, colour);
        Fixture f;
        CanvasCard *card = f.rig.addCard(f.note, kind);
        card->setOriginalImageData(image);
        QVERIFY(f.rig.context().save());
        FocusEditorModel model(*f.library, f.rig.navigation(), card->id());
        QSignalSpy loadedSpy(&model, &FocusEditorModel::pictureLoaded);
        QCOMPARE(model.isPictureLoading(), loadsFirst);
        QVERIFY(model.picture().isNull());
        QTRY_VERIFY(!model.isPictureLoading());
        QCOMPARE(loadedSpy.count(), loadsFirst ? 1 : 0);
        QCOMPARE(model.picture().isNull(), !colour.isValid());
        if (colour.isValid()) {
            QCOMPARE(model.picture().size(), QSize(40, 30));
            QCOMPARE(model.picture().pixelColor(5, 5), colour);
        }
    }

    void symbolFollowsKind_data()
    {
        QTest::addColumn<QString>("kindRaw");
        QTest::addColumn<QString>("thoughtKindRaw");
        QTest::addColumn<QString>("symbol");
        QTest::newRow("snip") << "snip" << "decision" << "viewfinder";
        QTest::newRow("thought") << "thought" << "thought" << "text.bubble";
        QTest::newRow("question") << "thought" << "question" << "questionmark.circle";
        QTest::newRow("decision") << "thought" << "decision" << "checkmark.seal";
        QTest::newRow("next step") << "thought" << "nextStep" << "arrow.right.circle";
        QTest::newRow("unknown card kind is a thought") << "mystery" << "decision" << "checkmark.seal";
        QTest::newRow("unknown thought kind reads as thought") << "thought" << "musing" << "text.bubble";
    }
    void symbolFollowsKind()
    {
        QFETCH(QString, kindRaw);
        QFETCH(QString, thoughtKindRaw);
        QFETCH(QString, symbol);
        Fixture f;
        f.card->setKindRawValue(kindRaw);
        f.card->setThoughtKindRawValue(thoughtKindRaw);
        QCOMPARE(FocusEditorModel::symbolName(*f.card), symbol);
    }

    void editsWriteTheCardAndStampItWithoutSaving()
    {
        Fixture f;
        QSignalSpy changed(f.model.get(), &FocusEditorModel::changed);
        f.model->setTitle(QString());
        QCOMPARE(f.card->title(), std::optional<QString>(QString())); // empty, not absent
        QCOMPARE(f.card->updatedAt(), at(101));
        f.model->setThoughtKind(ThoughtKind::nextStep);
        QCOMPARE(f.card->thoughtKindRawValue(), QStringLiteral("nextStep"));
        QCOMPARE(f.card->updatedAt(), at(102));
        f.model->setMarkdownText(QStringLiteral("  clay  "));
        QCOMPARE(f.card->markdownText(), QStringLiteral("  clay  "));
        f.model->setContextText(QStringLiteral("why"));
        QCOMPARE(f.card->contextText(), QStringLiteral("why"));
        QCOMPARE(f.card->updatedAt(), at(104));
        QCOMPARE(changed.count(), 4);
        QVERIFY(f.rig.context().hasChanges());
    }

    void doneSavesAndCloses()
    {
        Fixture f;
        QSignalSpy dismissed(f.model.get(), &FocusEditorModel::dismissRequested);
        f.model->setMarkdownText(QStringLiteral("clay"));
        QVERIFY(f.model->done());
        QCOMPARE(f.card->updatedAt(), at(102));
        QVERIFY(!f.rig.context().hasChanges());
        QCOMPARE(f.rig.navigation().focusedCardID(), std::nullopt);
        QCOMPARE(dismissed.count(), 1);
    }

    void failedDoneKeepsTheEdits()
    {
        Fixture f;
        QSignalSpy dismissed(f.model.get(), &FocusEditorModel::dismissRequested);
        f.model->setTitle(QStringLiteral("Clay"));
        f.rig.context().failNextSave(StoreError{QStringLiteral("disk full")});
        QVERIFY(!f.model->done());
        QCOMPARE(f.model->errorMessage(), std::optional<QString>("disk full"));
        QCOMPARE(f.card->title(), std::optional<QString>("Clay"));
        QCOMPARE(f.rig.navigation().focusedCardID(), std::optional(f.card->id()));
        QCOMPARE(dismissed.count(), 0);
        f.model->clearErrorMessage();
        QCOMPARE(f.model->errorMessage(), std::nullopt);
        QVERIFY(f.model->done());
        QVERIFY(!f.rig.context().hasChanges());
    }

    void closeKeepsEditsUnsaved()
    {
        Fixture f;
        QSignalSpy dismissed(f.model.get(), &FocusEditorModel::dismissRequested);
        f.model->setMarkdownText(QStringLiteral("typed"));
        f.model->close();
        QCOMPARE(f.card->markdownText(), QStringLiteral("typed"));
        QVERIFY(f.rig.context().hasChanges());
        QCOMPARE(f.rig.navigation().focusedCardID(), std::nullopt);
        QCOMPARE(dismissed.count(), 1);
    }

    void missingCard_data()
    {
        QTest::addColumn<bool>("trashed");
        QTest::newRow("unknown id") << false;
        QTest::newRow("moved to the trash while open") << true;
    }
    void missingCard()
    {
        QFETCH(bool, trashed);
        Fixture f;
        std::unique_ptr<FocusEditorModel> model;
        if (trashed) {
            QVERIFY(f.model->card());
            QSignalSpy changed(f.model.get(), &FocusEditorModel::changed);
            QVERIFY(ThinkingSessionService(f.rig.context()).moveCardToTrash(f.card, at(50)));
            QVERIFY(changed.count() > 0);
            model = std::move(f.model);
        } else {
            model = std::make_unique<FocusEditorModel>(*f.library, f.rig.navigation(), QUuid::createUuid());
        }
        QVERIFY(!model->card());
        const QString before = f.card->markdownText();
        const QDateTime stamped = f.card->updatedAt();
        model->setMarkdownText(QStringLiteral("ignored"));
        QCOMPARE(f.card->markdownText(), before);
        QCOMPARE(f.card->updatedAt(), stamped);
    }
};

QTEST_GUILESS_MAIN(FocusEditorModelTest)
#include "tst_focuseditormodel.moc"

#include "model/CanvasCard.h"
#include "notes/BoardWritingSurfaceModel.h"
#include "platform/UuidText.h"

#include <QLocale>
#include <QTest>
#include <QTimeZone>

#include <memory>

using namespace tessaline;

namespace {

QUuid blockID(int n)
{
    return QUuid(QStringLiteral("10000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

QUuid cardID(int n)
{
    return QUuid(QStringLiteral("20000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

BoardWritingBlock paragraph(int n, const QString &text = QString())
{
    return BoardWritingBlock::paragraph(text, blockID(n));
}

BoardWritingBlock reference(int n, int card, const std::optional<QString> &size = QStringLiteral("medium"))
{
    BoardWritingBlock block = BoardWritingBlock::cardReference(cardID(card), NoteAttachmentSize::medium, blockID(n));
    block.attachmentSizeRawValue = size;
    return block;
}

std::unique_ptr<CanvasCard> makeCard(int n, const QString &title = QString())
{
    CanvasCard::Init init;
    init.id = cardID(n);
    init.kind = CardKind::snip;
    init.title = title.isEmpty() ? QStringLiteral("Card %1").arg(n) : title;
    init.createdAt = QDateTime(QDate(2026, 1, 1), QTime(8, 0), QTimeZone::utc());
    return std::make_unique<CanvasCard>(init);
}

// The calls the page makes to its workspace, in order.
struct Recorder
{
    QStringList calls;
    QList<BoardWritingDocument> documents;

    void attach(BoardWritingSurfaceModel &model)
    {
        model.onDocumentChange = [this](const BoardWritingDocument &document) {
            documents.append(document);
            calls << QStringLiteral("document");
        };
        model.onInsertReference = [this](const QUuid &card, const std::optional<QUuid> &anchor) {
            calls << QStringLiteral("insert %1 after %2").arg(uuidText(card), anchor ? uuidText(*anchor) : QStringLiteral("none"));
        };
        model.onFocusParagraph = [this](const std::optional<QUuid> &id) {
            calls << QStringLiteral("focus %1").arg(id ? uuidText(*id) : QStringLiteral("none"));
        };
        model.onRemoveReference = [this](const QUuid &id) { calls << QStringLiteral("remove ") + uuidText(id); };
        model.onUpdateReferenceSize = [this](const QUuid &id, NoteAttachmentSize size) {
            calls << QStringLiteral("size %1 %2").arg(uuidText(id), rawValue(size));
        };
    }
};

} // namespace

class WritingSurfaceModelTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placeholdersAndNames_data();
    void placeholdersAndNames();
    void placeholderFollowsTheFirstParagraph();
    void typingReplacesOnlyThatParagraph_data();
    void typingReplacesOnlyThatParagraph();
    void paragraphTextReadsAnyBlock();
    void pastesStayWithinTheNotesSize_data();
    void pastesStayWithinTheNotesSize();
    void resolveReference_data();
    void resolveReference();
    void drops_data();
    void drops();
    void focusIsReportedOnceShown();
    void keyboardLandsNextToWhatLeft_data();
    void keyboardLandsNextToWhatLeft();
    void referenceActionsNameTheBlock();
};

void WritingSurfaceModelTest::placeholdersAndNames_data()
{
    QTest::addColumn<QList<BoardWritingBlock>>("blocks");
    QTest::addColumn<int>("paragraph");
    QTest::addColumn<QString>("placeholder");
    QTest::addColumn<QString>("name");

    const QList<BoardWritingBlock> referenceFirst{reference(1, 1), paragraph(2)};
    QTest::newRow("after a leading reference") << referenceFirst << 2 << QStringLiteral("Start writing…")
                                               << QStringLiteral("Board writing");
    const QList<BoardWritingBlock> twoEmpty{paragraph(1), paragraph(2)};
    QTest::newRow("first of two empty") << twoEmpty << 1 << QStringLiteral("Start writing…") << QStringLiteral("Board writing");
    QTest::newRow("second of two empty") << twoEmpty << 2 << QStringLiteral("Keep writing…")
                                         << QStringLiteral("Writing paragraph");
    const QList<BoardWritingBlock> written{paragraph(1, QStringLiteral("Hello")), paragraph(2)};
    QTest::newRow("second after a written first") << written << 2 << QStringLiteral("Keep writing…")
                                                   << QStringLiteral("Writing paragraph");
    QTest::newRow("written paragraph") << written << 1 << QString() << QStringLiteral("Board writing");
    const QList<BoardWritingBlock> spaces{paragraph(1, QStringLiteral("   "))};
    QTest::newRow("spaces count as text") << spaces << 1 << QString() << QStringLiteral("Board writing");
    QTest::newRow("unknown paragraph") << spaces << 9 << QStringLiteral("Keep writing…") << QStringLiteral("Writing paragraph");
}

void WritingSurfaceModelTest::placeholdersAndNames()
{
    QFETCH(QList<BoardWritingBlock>, blocks);
    QFETCH(int, paragraph);
    QFETCH(QString, placeholder);
    QFETCH(QString, name);
    BoardWritingSurfaceModel model;
    model.setDocument(BoardWritingDocument{blocks});
    QCOMPARE(model.placeholderText(blockID(paragraph)), placeholder);
    QCOMPARE(model.accessibleName(blockID(paragraph)), name);
}

void WritingSurfaceModelTest::placeholderFollowsTheFirstParagraph()
{
    BoardWritingSurfaceModel model;
    QCOMPARE(model.firstParagraphID(), std::nullopt);
    model.setDocument(BoardWritingDocument{{reference(1, 1), paragraph(2), paragraph(3)}});
    QCOMPARE(model.firstParagraphID(), blockID(2));
    QVERIFY(model.setParagraphText(blockID(2), QStringLiteral("x")));
    QCOMPARE(model.placeholderText(blockID(3)), QStringLiteral("Keep writing…"));
    // The workspace drops the first paragraph: the next one becomes first.
    model.setDocument(BoardWritingDocument{{reference(1, 1), paragraph(3)}});
    QCOMPARE(model.placeholderText(blockID(3)), QStringLiteral("Start writing…"));
}

void WritingSurfaceModelTest::typingReplacesOnlyThatParagraph_data()
{
    QTest::addColumn<int>("target");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<bool>("changes");
    QTest::addColumn<QStringList>("texts");

    QTest::newRow("exact text, nothing trimmed") << 2 << QStringLiteral("  two  \n") << true
                                                 << QStringList{QStringLiteral("one"), QString(), QStringLiteral("  two  \n")};
    QTest::newRow("return adds a line break") << 1 << QStringLiteral("one\n") << true
                                              << QStringList{QStringLiteral("one\n"), QString(), QStringLiteral("two")};
    QTest::newRow("same text changes nothing") << 1 << QStringLiteral("one") << false
                                               << QStringList{QStringLiteral("one"), QString(), QStringLiteral("two")};
    QTest::newRow("a reference's id is not a paragraph") << 3 << QStringLiteral("typed") << false
                                                         << QStringList{QStringLiteral("one"), QString(), QStringLiteral("two")};
    QTest::newRow("a vanished paragraph ignores typing") << 7 << QStringLiteral("typed") << false
                                                         << QStringList{QStringLiteral("one"), QString(), QStringLiteral("two")};
}

void WritingSurfaceModelTest::typingReplacesOnlyThatParagraph()
{
    QFETCH(int, target);
    QFETCH(QString, typed);
    QFETCH(bool, changes);
    QFETCH(QStringList, texts);

    BoardWritingSurfaceModel model;
    model.setDocument(BoardWritingDocument{{paragraph(1, QStringLiteral("one")), reference(3, 1), paragraph(2, QStringLiteral("two"))}});
    Recorder recorder;
    recorder.attach(model);
    QCOMPARE(model.setParagraphText(blockID(target), typed), changes);
    QCOMPARE(recorder.documents.size(), changes ? 1 : 0);
    QCOMPARE(model.document().blocks.size(), 3);
    QStringList actual;
    for (const BoardWritingBlock &block : model.document().blocks)
        actual << block.text;
    QCOMPARE(actual, texts);
    if (changes)
        QCOMPARE(recorder.documents.constFirst(), model.document());
}

void WritingSurfaceModelTest::pastesStayWithinTheNotesSize_data()
{
    constexpr qsizetype limit = BoardWritingSurfaceModel::maximumWritingCharacters;
    QTest::addColumn<qsizetype>("written"); // characters already in the second paragraph
    QTest::addColumn<int>("target");
    QTest::addColumn<qsizetype>("pasted");
    QTest::addColumn<qsizetype>("replaced");
    QTest::addColumn<QString>("refusal"); // empty: the paste goes in

    // The first paragraph holds "one" (3 characters).
    QTest::newRow("a short paste") << qsizetype(3) << 1 << qsizetype(100) << qsizetype(0) << QString();
    QTest::newRow("fills the note exactly") << qsizetype(3) << 1 << limit - 6 << qsizetype(0) << QString();
    QTest::newRow("one character too many")
        << qsizetype(3) << 1 << limit - 5 << qsizetype(0)
        << QStringLiteral("The pasted text is too long for this note: it has %1 characters, and a note holds up to %2. "
                          "There is room for %3 more. Nothing was pasted; the text is still on the clipboard.")
               .arg(QLocale().toString(qlonglong(limit - 5)), QLocale().toString(qlonglong(limit)),
                    QLocale().toString(qlonglong(limit - 6)));
    QTest::newRow("the selection it replaces makes room") << limit - 3 << 2 << qsizetype(40) << qsizetype(40) << QString();
    QTest::newRow("a note past the limit takes a shorter paste")
        << limit + 100 << 2 << qsizetype(10) << qsizetype(50) << QString();
    QTest::newRow("a full note refuses a longer one")
        << limit << 2 << qsizetype(2) << qsizetype(1)
        << QStringLiteral("The pasted text is too long for this note: it has 2 characters, and a note holds up to %1. "
                          "This note is already full. Nothing was pasted; the text is still on the clipboard.")
               .arg(QLocale().toString(qlonglong(limit)));
}

void WritingSurfaceModelTest::pastesStayWithinTheNotesSize()
{
    QFETCH(qsizetype, written);
    QFETCH(int, target);
    QFETCH(qsizetype, pasted);
    QFETCH(qsizetype, replaced);
    QFETCH(QString, refusal);

    BoardWritingSurfaceModel model;
    model.setDocument(BoardWritingDocument{
        {paragraph(1, QStringLiteral("one")), reference(3, 1), paragraph(2, QString(written, u'x'))}});
    QStringList refusals;
    model.onPasteRefused = [&refusals](const QString &message) { refusals << message; };
    QCOMPARE(model.acceptsPaste(blockID(target), pasted, replaced), refusal.isEmpty());
    QCOMPARE(refusals, refusal.isEmpty() ? QStringList() : QStringList{refusal});
    // Nothing but a paragraph takes a paste, and that says nothing.
    QVERIFY(!model.acceptsPaste(blockID(3), 1, 0));
    QCOMPARE(refusals.size(), refusal.isEmpty() ? 0 : 1);
}

void WritingSurfaceModelTest::paragraphTextReadsAnyBlock()
{
    BoardWritingSurfaceModel model;
    BoardWritingBlock odd = reference(1, 1);
    odd.text = QStringLiteral("stray");
    model.setDocument(BoardWritingDocument{{odd, paragraph(2, QStringLiteral("b"))}});
    QCOMPARE(model.paragraphText(blockID(1)), QStringLiteral("stray"));
    QCOMPARE(model.paragraphText(blockID(2)), QStringLiteral("b"));
    QCOMPARE(model.paragraphText(blockID(3)), QString());
}

void WritingSurfaceModelTest::resolveReference_data()
{
    QTest::addColumn<BoardWritingBlock>("block");
    QTest::addColumn<bool>("missing");
    QTest::addColumn<QString>("missingCardID");
    QTest::addColumn<QString>("size");
    QTest::addColumn<QString>("cardTitle");

    BoardWritingBlock noCard = reference(1, 1);
    noCard.cardID.reset();
    QTest::newRow("no card id") << noCard << true << QString() << QStringLiteral("medium") << QString();
    QTest::newRow("card not among the cards") << reference(1, 5) << true << uuidText(cardID(5)) << QStringLiteral("medium")
                                              << QString();
    QTest::newRow("small") << reference(1, 1, QStringLiteral("small")) << false << QString() << QStringLiteral("small")
                           << QStringLiteral("First");
    QTest::newRow("full width") << reference(1, 2, QStringLiteral("fullWidth")) << false << QString()
                                << QStringLiteral("fullWidth") << QStringLiteral("Card 2");
    QTest::newRow("absent size reads medium") << reference(1, 2, std::nullopt) << false << QString()
                                              << QStringLiteral("medium") << QStringLiteral("Card 2");
    QTest::newRow("unknown size reads medium") << reference(1, 2, QStringLiteral("FullWidth")) << false << QString()
                                               << QStringLiteral("medium") << QStringLiteral("Card 2");
}

void WritingSurfaceModelTest::resolveReference()
{
    QFETCH(BoardWritingBlock, block);
    QFETCH(bool, missing);
    QFETCH(QString, missingCardID);
    QFETCH(QString, size);
    QFETCH(QString, cardTitle);

    // Two cards share an id: the first in the given order is shown.
    auto first = makeCard(1, QStringLiteral("First"));
    auto second = makeCard(2);
    auto duplicate = makeCard(1, QStringLiteral("Duplicate"));
    BoardWritingSurfaceModel model;
    model.setCards({first.get(), second.get(), duplicate.get()});
    const WritingReferenceResolution resolution = model.resolveReference(block);
    QCOMPARE(resolution.isMissing(), missing);
    if (missing) {
        QCOMPARE(resolution.missingCardID ? uuidText(*resolution.missingCardID) : QString(), missingCardID);
    } else {
        QCOMPARE(rawValue(resolution.size), size);
        QCOMPARE(resolution.card->displayTitle(), cardTitle);
    }
}

void WritingSurfaceModelTest::drops_data()
{
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("anchor");
    QTest::addColumn<QStringList>("calls");

    const QString known = uuidText(cardID(1));
    QTest::newRow("no item") << QStringList{} << 1 << QStringList{};
    QTest::newRow("first item not an id, second a card") << QStringList{QStringLiteral("hello"), known} << 1 << QStringList{};
    QTest::newRow("id of no card among the cards") << QStringList{uuidText(cardID(9))} << 1 << QStringList{};
    QTest::newRow("id in braces") << QStringList{QLatin1Char('{') + known + QLatin1Char('}')} << 0 << QStringList{};
    QTest::newRow("id with a line break") << QStringList{known + QLatin1Char('\n')} << 0 << QStringList{};
    QTest::newRow("on a paragraph") << QStringList{known, QStringLiteral("ignored")} << 2
                                    << QStringList{QStringLiteral("insert %1 after %2").arg(known, uuidText(blockID(2)))};
    QTest::newRow("lower case, elsewhere on the page") << QStringList{known.toLower()} << 0
                                                       << QStringList{QStringLiteral("insert %1 after none").arg(known)};
}

void WritingSurfaceModelTest::drops()
{
    QFETCH(QStringList, texts);
    QFETCH(int, anchor);
    QFETCH(QStringList, calls);

    auto card = makeCard(1);
    BoardWritingSurfaceModel model;
    model.setDocument(BoardWritingDocument{{paragraph(1), paragraph(2)}});
    model.setCards({card.get()});
    Recorder recorder;
    recorder.attach(model);
    const std::optional<QUuid> anchorID = anchor ? std::optional<QUuid>(blockID(anchor)) : std::nullopt;
    QCOMPARE(model.droppableCardID(texts).has_value(), !calls.isEmpty());
    QCOMPARE(model.dropTexts(texts, anchorID), !calls.isEmpty());
    QCOMPARE(recorder.calls, calls);
    // A drop is only a request: the page never edits the document for it.
    QCOMPARE(model.document().blocks.size(), 2);
}

void WritingSurfaceModelTest::focusIsReportedOnceShown()
{
    BoardWritingSurfaceModel model;
    Recorder recorder;
    recorder.attach(model);
    model.setFocusedParagraphID(blockID(1));
    QCOMPARE(recorder.calls, QStringList{});

    model.pageShown();
    model.setFocusedParagraphID(blockID(2));
    model.setFocusedParagraphID(blockID(2));
    model.setFocusedParagraphID(blockID(3));
    model.setFocusedParagraphID(std::nullopt);
    model.setFocusedParagraphID(blockID(3));
    model.pageHidden();
    const QStringList expected{QStringLiteral("focus ") + uuidText(blockID(2)), QStringLiteral("focus ") + uuidText(blockID(3)),
                               QStringLiteral("focus none"), QStringLiteral("focus ") + uuidText(blockID(3)),
                               QStringLiteral("focus none")};
    QCOMPARE(recorder.calls, expected);
    QCOMPARE(model.focusedParagraphID(), std::nullopt);
}

void WritingSurfaceModelTest::keyboardLandsNextToWhatLeft_data()
{
    QTest::addColumn<QList<int>>("shown"); // the blocks in the order shown
    QTest::addColumn<int>("left");         // the block whose view held the keyboard
    QTest::addColumn<QList<BoardWritingBlock>>("now");
    QTest::addColumn<QString>("landing"); // "<block> start|end", or "page"

    const QList<int> shown{1, 2, 3, 4, 5};
    QTest::newRow("a card between paragraphs") << shown << 2 << QList{paragraph(1), paragraph(3), reference(4, 1), paragraph(5)}
                                               << QStringLiteral("3 start");
    QTest::newRow("a card before a card") << shown << 3 << QList{paragraph(1), reference(2, 1), reference(4, 1), paragraph(5)}
                                          << QStringLiteral("4 start");
    QTest::newRow("the next blocks gone too") << shown << 3 << QList{paragraph(1), reference(2, 1), paragraph(9)}
                                              << QStringLiteral("2 end");
    QTest::newRow("the first block, with only later ones") << shown << 1 << QList{paragraph(5)} << QStringLiteral("5 start");
    QTest::newRow("the block kept, shown another way") << shown << 4 << QList{paragraph(1), reference(4, 7), paragraph(5)}
                                                       << QStringLiteral("4 start");
    QTest::newRow("a wholly new writing") << shown << 2 << QList{paragraph(8), paragraph(9)} << QStringLiteral("page");
    QTest::newRow("a block never shown") << shown << 6 << QList{paragraph(1)} << QStringLiteral("page");
}

void WritingSurfaceModelTest::keyboardLandsNextToWhatLeft()
{
    QFETCH(QList<int>, shown);
    QFETCH(int, left);
    QFETCH(QList<BoardWritingBlock>, now);
    QFETCH(QString, landing);

    BoardWritingSurfaceModel model;
    model.setDocument(BoardWritingDocument{now});
    QList<QUuid> shownOrder;
    for (const int block : std::as_const(shown))
        shownOrder << blockID(block);
    const auto landed = model.keyboardLanding(shownOrder, blockID(left));
    QString got = QStringLiteral("page");
    if (landed) {
        for (int block = 1; block <= 9; ++block) {
            if (blockID(block) == landed->blockID)
                got = QStringLiteral("%1 %2").arg(block).arg(landed->atStart ? QStringLiteral("start") : QStringLiteral("end"));
        }
    }
    QCOMPARE(got, landing);
}

void WritingSurfaceModelTest::referenceActionsNameTheBlock()
{
    BoardWritingSurfaceModel model;
    Recorder recorder;
    recorder.attach(model);
    model.removeReference(blockID(4));
    model.updateReferenceSize(blockID(4), NoteAttachmentSize::fullWidth);
    QCOMPARE(recorder.calls, (QStringList{QStringLiteral("remove ") + uuidText(blockID(4)),
                                          QStringLiteral("size %1 fullWidth").arg(uuidText(blockID(4)))}));
    QCOMPARE(BoardWritingSurfaceModel::blockListAnimationMs(false), 180);
    QCOMPARE(BoardWritingSurfaceModel::blockListAnimationMs(true), 100);
}

QTEST_GUILESS_MAIN(WritingSurfaceModelTest)
#include "tst_writingsurfacemodel.moc"

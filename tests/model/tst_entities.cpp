#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "model/GhostSuggestion.h"
#include "platform/UuidText.h"

#include <QSignalSpy>
#include <QTimeZone>
#include <QTest>

using namespace tessaline;

namespace {
QDateTime at(int seconds) { return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC); }
QUuid uuid(const char *text) { return *parseUuid(QString::fromLatin1(text)); }
} // namespace

class EntitiesTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void boardStatusAndDates();
    void boardFolderAndFavourite();
    void everyWriteNotifies();
    void datesKeepMillisecondsInUtc();
    void cardKinds();
    void displayTitle_data();
    void displayTitle();
    void combinedText();
    void sourceCardIDs();
    void thoughtKindStampsNow();
    void removeFromCanvas();
    void thinkingValues();
    void excerpts();
};

void EntitiesTest::boardStatusAndDates()
{
    Board board;
    board.setStatusRawValue("archived-ish");
    QCOMPARE(board.status(), BoardStatus::active);
    QCOMPARE(board.statusRawValue(), QStringLiteral("archived-ish")); // not rewritten by reading

    board.setStatus(BoardStatus::parked, at(10));
    board.setStatus(BoardStatus::done, at(20));
    QCOMPARE(board.archivedAt(), std::optional<QDateTime>(at(20)));
    board.setStatus(BoardStatus::active, at(30));
    QCOMPARE(board.statusRawValue(), QStringLiteral("active"));
    QVERIFY(!board.archivedAt());
    QCOMPARE(board.updatedAt(), at(30));

    board.markOpened(at(5)); // earlier than updatedAt
    QCOMPARE(board.lastOpenedAt(), at(5));
    QCOMPARE(board.updatedAt(), at(30));
    board.markOpened(at(40));
    QCOMPARE(board.updatedAt(), at(40));

    board.moveToTrash(at(50));
    QVERIFY(!board.isLive());
    board.restoreFromTrash(at(60));
    QVERIFY(board.isLive() && board.updatedAt() == at(60));
    board.restoreFromTrash(at(70)); // restoring a live note still stamps
    QVERIFY(board.isLive() && board.updatedAt() == at(70));
}

void EntitiesTest::boardFolderAndFavourite()
{
    Board board;
    board.setFolderName(QStringLiteral(" \n Research\t\n"), at(1));
    QCOMPARE(board.folderName(), std::optional<QString>("Research"));
    board.setFolderName(QStringLiteral("   "), at(2));
    QVERIFY(!board.folderName());
    QCOMPARE(board.updatedAt(), at(2));
    board.setFolderName(std::nullopt, at(3));
    QVERIFY(!board.folderName());
    QCOMPARE(board.updatedAt(), at(3));
}

void EntitiesTest::everyWriteNotifies()
{
    Board board;
    board.setFavorite(true, at(1));
    QSignalSpy spy(&board, &PersistentEntity::changed);
    board.setFavorite(true, at(2)); // same value: still notified and stamped
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toInt(), int(Board::IsFavoriteProperty));
    QCOMPARE(board.updatedAt(), at(2));

    Connection connection;
    connection.setLabel(QStringLiteral("because"));
    QSignalSpy connectionSpy(&connection, &PersistentEntity::changed);
    connection.setLabel(QStringLiteral("because"));
    QCOMPARE(connectionSpy.count(), 1);
}

void EntitiesTest::datesKeepMillisecondsInUtc()
{
    const QDateTime local = QDateTime(QDate(2026, 3, 1), QTime(10, 0, 0, 123), QTimeZone("Europe/Berlin"));
    Board board;
    board.setCreatedAt(local);
    QCOMPARE(board.createdAt().timeSpec(), Qt::UTC);
    QCOMPARE(board.createdAt().toMSecsSinceEpoch(), local.toMSecsSinceEpoch());
}

void EntitiesTest::cardKinds()
{
    CanvasCard card;
    QCOMPARE(card.kind(), CardKind::thought);
    for (const char *raw : {"snip", "ghost", "thought", "Snip", "image"}) {
        card.setKindRawValue(QString::fromLatin1(raw));
        const CardKind expected = QByteArray(raw) == "snip" ? CardKind::snip
            : QByteArray(raw) == "ghost"                    ? CardKind::ghost
                                                            : CardKind::thought;
        QCOMPARE(card.kind(), expected);
        QCOMPARE(card.isSnip(), expected == CardKind::snip);
    }
    card.setThoughtKindRawValue("idea");
    QCOMPARE(card.thoughtKind(), ThoughtKind::thought);
    QCOMPARE(displayName(ThoughtKind::nextStep), QStringLiteral("Next Step"));
}

void EntitiesTest::displayTitle_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<std::optional<QString>>("title");
    QTest::addColumn<QString>("markdown");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("ocr");
    QTest::addColumn<QString>("expected");

    const QString longLine = QString(200, u'x');
    QTest::newRow("blank title falls through") << "thought" << std::optional<QString>("   ") << "Idea" << "" << "" << "Idea";
    QTest::newRow("title trimmed, uncut") << "snip" << std::optional<QString>("  " + longLine + " ") << "" << "" << ""
                                          << longLine;
    QTest::newRow("first line with text") << "thought" << std::optional<QString>() << "\n\n   \n\t First line \nsecond"
                                          << "" << "" << "First line";
    QTest::newRow("long line cut at 80") << "thought" << std::optional<QString>() << longLine << "" << ""
                                         << QString(80, u'x');
    QTest::newRow("crlf splits like lf") << "snip" << std::optional<QString>() << "" << "\r\n\r\ncaption\r\nmore" << ""
                                         << "caption";
    QTest::newRow("unicode separators") << "snip" << std::optional<QString>() << ""
                                        << QStringLiteral("\u2028\u0085 \u00A0\u2029ocr line") << "" << "ocr line";
    QTest::newRow("ocr last") << "snip" << std::optional<QString>() << " " << "" << "recognised" << "recognised";
    QTest::newRow("empty snip") << "snip" << std::optional<QString>() << "" << "" << "" << "Untitled Snip";
    QTest::newRow("empty thought") << "thought" << std::optional<QString>() << "" << "" << "" << "Untitled Thought";
    QTest::newRow("empty ghost") << "ghost" << std::optional<QString>() << "" << "" << "" << "Untitled Thought";
}

void EntitiesTest::displayTitle()
{
    QFETCH(QString, kind);
    QFETCH(std::optional<QString>, title);
    QFETCH(QString, markdown);
    QFETCH(QString, context);
    QFETCH(QString, ocr);
    QFETCH(QString, expected);
    CanvasCard card;
    card.setKindRawValue(kind);
    card.setTitle(title);
    card.setMarkdownText(markdown);
    card.setContextText(context);
    card.setOcrText(ocr);
    QCOMPARE(card.displayTitle(), expected);

    // The filters' test agrees with the title it does not always make: what
    // lies in the title, in a text beyond the cut, and case set aside.
    const QString inside = expected.mid(expected.size() / 2, 3).toUpper();
    QCOMPARE(card.displayTitleContains(inside, Qt::CaseInsensitive), true);
    QCOMPARE(card.displayTitleContains(inside, Qt::CaseSensitive), expected.contains(inside));
    for (const QString &needle : {QStringLiteral("x").repeated(81), QStringLiteral("more"), QStringLiteral("second"),
                                  QStringLiteral("Untitled")})
        QCOMPARE(card.displayTitleContains(needle, Qt::CaseInsensitive), expected.contains(needle, Qt::CaseInsensitive));
}

void EntitiesTest::combinedText()
{
    CanvasCard card;
    card.setOcrText(QStringLiteral("  recognised \n"));
    QCOMPARE(card.combinedText(), QStringLiteral("recognised"));
    card.setContextText(QStringLiteral("caption"));
    card.setMarkdownText(QStringLiteral(" \n "));
    QCOMPARE(card.combinedText(), QStringLiteral("caption\n\nrecognised"));
    QCOMPARE(CanvasCard().combinedText(), QString());
}

void EntitiesTest::sourceCardIDs()
{
    const QUuid a = uuid("0a000000-0000-0000-0000-00000000000a");
    const QUuid b = uuid("0b000000-0000-0000-0000-00000000000b");
    QCOMPARE(CanvasCard::encodeSourceCardIDs({a, b, a}),
             QStringLiteral("0A000000-0000-0000-0000-00000000000A|0B000000-0000-0000-0000-00000000000B"));
    QCOMPARE(CanvasCard::encodeSourceCardIDs({}), QString());

    CanvasCard card;
    card.setSourceCardIDsStorage(QStringLiteral("|0a000000-0000-0000-0000-00000000000a||junk|0B000000-0000-0000-0000-00000000000B|"));
    QCOMPARE(card.sourceCardIDs(), (QList<QUuid>{a, b}));
}

void EntitiesTest::thoughtKindStampsNow()
{
    CanvasCard card;
    card.setUpdatedAt(at(0));
    QSignalSpy spy(&card, &PersistentEntity::changed);
    const QDateTime before = QDateTime::currentDateTimeUtc().addMSecs(-1);
    card.setThoughtKind(ThoughtKind::thought); // same value
    QCOMPARE(spy.count(), 2);
    QVERIFY(card.updatedAt() >= before);
}

void EntitiesTest::removeFromCanvas()
{
    CanvasCard::Init init;
    init.canvasX = 40;
    init.canvasY = 50;
    init.canvasWidth = 300;
    init.isPlaced = true;
    init.groupID = QUuid::createUuid();
    init.createdAt = at(0);
    CanvasCard card(init);
    QCOMPARE(card.updatedAt(), at(0)); // defaults to createdAt
    card.removeFromCanvas(at(9));
    QVERIFY(!card.isPlaced() && !card.groupID());
    QCOMPARE(card.canvasX(), 40.0);
    QCOMPARE(card.canvasWidth(), 300.0);
    QCOMPARE(card.updatedAt(), at(9));
}

void EntitiesTest::thinkingValues()
{
    QCOMPARE(thinkingPromptFromRawValue("nextStep"), std::optional<ThinkingPrompt>(ThinkingPrompt::nextStep));
    QVERIFY(!thinkingPromptFromRawValue("NextStep"));
    QVERIFY(!thinkingPromptFromRawValue("next_step"));
    QCOMPARE(allThinkingPrompts().size(), 5);
    QCOMPARE(intelligenceProviderFromRawValue("deterministic"), std::optional(IntelligenceProvider::deterministic));
    QVERIFY(!intelligenceProviderFromRawValue("Deterministic"));

    using R = IntelligenceUnavailableReason;
    QCOMPARE(IntelligenceAvailability::fallback(R::modelNotReady), IntelligenceAvailability::fallback(R::modelNotReady));
    QVERIFY(IntelligenceAvailability::fallback(R::modelNotReady) != IntelligenceAvailability::fallback(R::generationFailed));
    QVERIFY(IntelligenceAvailability::fallback(R::modelNotReady) != IntelligenceAvailability::onDevice());

    const QUuid a = QUuid::createUuid();
    const QUuid b = QUuid::createUuid();
    GhostSuggestion one{QUuid::createUuid(), "x", ThinkingPrompt::question, {a, b}, IntelligenceProvider::deterministic,
                        R::deterministicOnly, at(0)};
    GhostSuggestion other = one;
    QCOMPARE(one, other);
    other.sourceCardIDs = {b, a};
    QVERIFY(one != other);
    other = one;
    other.fallbackReason.reset();
    QVERIFY(one != other);
}

void EntitiesTest::excerpts()
{
    CanvasCard a;
    a.setKindRawValue("snip");
    CanvasCard b;
    b.setMarkdownText(" Thought text ");
    const QList<CardExcerpt> excerpts = CardExcerpt::excerpts({&b, &a, &a});
    QCOMPARE(excerpts.size(), 3);
    QCOMPARE(excerpts[0], (CardExcerpt{b.id(), "Thought text", "Thought text"}));
    QCOMPARE(excerpts[1], (CardExcerpt{a.id(), "Untitled Snip", ""}));
    QCOMPARE(excerpts[1], excerpts[2]);
    QVERIFY(CardExcerpt::excerpts({}).isEmpty());
}

QTEST_GUILESS_MAIN(EntitiesTest)
#include "tst_entities.moc"

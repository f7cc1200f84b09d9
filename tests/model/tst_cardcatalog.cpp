#include "model/CardCatalog.h"

#include "StoreFixture.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <map>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Stands for a row in a table case: a card by its number, or one of these.
constexpr int deletedCard = -1; // a row the library had, deleted since
constexpr int neverStored = -2; // a row past every row there has been

// More cards than one statement of the batch asks for, so a batch of all of
// them is read in several.
constexpr int cardCount = 5000;

CardCatalog::CardTexts textsOf(int card)
{
    CardCatalog::CardTexts texts{QStringLiteral("markdown %1").arg(card), QStringLiteral("context %1").arg(card),
                                 QStringLiteral("ocr %1").arg(card)};
    // Long enough to lie on pages of its own.
    if (card == 0)
        texts.ocrText = QStringLiteral("ocr 0 recognised text ").repeated(2000);
    // None stored at all.
    if (card == 1)
        texts = {};
    return texts;
}

} // namespace

class CardCatalogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void readStoredTexts_data();
    void readStoredTexts();

private:
    qint64 rowOf(int card) const
    {
        if (card == deletedCard)
            return m_deletedRow;
        if (card == neverStored)
            return m_rows.constLast() + 1000;
        return m_rows.at(card);
    }

    QTemporaryDir m_dir;
    QString m_path;
    QList<qint64> m_rows;
    qint64 m_deletedRow = 0;
};

void CardCatalogTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModelContainer::Configuration configuration;
    configuration.directory = m_dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    m_path = (*container)->filePath();
    ModelContext &context = *(*container)->mainContext();
    Board *note = addNote(context, {.title = QStringLiteral("Research")});
    // Before the others, so that its row comes first.
    CanvasCard *deleted = addCard(context, note->id(), {.title = QStringLiteral("Deleted")});
    QList<CanvasCard *> cards;
    for (int i = 0; i < cardCount; ++i) {
        CanvasCard *card = addCard(context, note->id(), {.title = QStringLiteral("Snip %1").arg(i)});
        const CardCatalog::CardTexts texts = textsOf(i);
        if (i != 1) {
            card->setMarkdownText(texts.markdownText);
            card->setContextText(texts.contextText);
            card->setOcrText(texts.ocrText);
        }
        cards << card;
    }
    QVERIFY(context.save());
    QHash<QString, qint64> rowByID;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        QSqlQuery query(db);
        QVERIFY(query.exec(QStringLiteral("SELECT id, row FROM CanvasCard")));
        while (query.next())
            rowByID.insert(query.value(0).toString(), query.value(1).toLongLong());
        query.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    for (const CanvasCard *card : std::as_const(cards))
        m_rows << rowByID.value(uuidText(card->id()));
    m_deletedRow = rowByID.value(uuidText(deleted->id()));
    QVERIFY(m_deletedRow > 0 && !m_rows.contains(0));
    QVERIFY(m_deletedRow < *std::min_element(m_rows.cbegin(), m_rows.cend()));
    context.remove(deleted);
    QVERIFY(context.save());
}

void CardCatalogTest::readStoredTexts_data()
{
    QTest::addColumn<QList<int>>("cards");
    // Whether another connection is midway through changing the cards asked
    // for: what it has not committed is not read.
    QTest::addColumn<bool>("otherWriting");
    // How many the caller takes before it says stop; every one when none.
    QTest::addColumn<int>("stopAfter");

    QList<int> everyCard;
    for (int i = cardCount - 1; i >= 0; --i)
        everyCard << i;

    QTest::newRow("none") << QList<int>{} << false << 0;
    QTest::newRow("in row order") << QList<int>{0, 1, 2, 3} << false << 0;
    QTest::newRow("out of order, repeated") << QList<int>{7, 2, 0, 7, 5, 2} << false << 0;
    QTest::newRow("missing among present")
        << QList<int>{neverStored, 4, deletedCard, 1, neverStored} << false << 0;
    QTest::newRow("only missing") << QList<int>{deletedCard, neverStored} << false << 0;
    QTest::newRow("every card, newest first, repeats at both ends")
        << (QList<int>{0, cardCount - 1} + everyCard + QList<int>{cardCount - 1, deletedCard, 0}) << false << 0;
    QTest::newRow("while another connection writes") << QList<int>{3, 0, deletedCard, 6} << true << 0;
    QTest::newRow("stopped after the second") << QList<int>{6, 5, 4, 3, 2} << false << 2;
    QTest::newRow("stopped at a missing row") << QList<int>{deletedCard, 3, 4} << false << 1;
}

void CardCatalogTest::readStoredTexts()
{
    QFETCH(QList<int>, cards);
    QFETCH(bool, otherWriting);
    QFETCH(int, stopAfter);

    const QString writerName = QStringLiteral("writer");
    std::optional<QSqlQuery> writer;
    if (otherWriting) {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), writerName);
        db.setDatabaseName(m_path);
        QVERIFY(db.open());
        writer.emplace(db);
        QVERIFY(writer->exec(QStringLiteral("BEGIN IMMEDIATE")));
        QVERIFY(writer->exec(QStringLiteral("UPDATE CanvasCard SET ocrText = 'rewritten' WHERE row IN (%1, %2)")
                                 .arg(rowOf(3))
                                 .arg(rowOf(0))));
        QVERIFY(writer->exec(QStringLiteral("DELETE FROM CanvasCard WHERE row = %1").arg(rowOf(6))));
    }

    std::vector<qint64> rows;
    for (const int card : std::as_const(cards))
        rows.push_back(rowOf(card));
    std::map<size_t, std::optional<CardCatalog::CardTexts>> taken;
    int calls = 0;
    int strayIndices = 0;
    CardCatalog catalog(m_path);
    catalog.readStoredTexts(rows, [&](size_t index, std::optional<CardCatalog::CardTexts> texts) {
        ++calls;
        if (index >= rows.size() || !taken.emplace(index, std::move(texts)).second)
            ++strayIndices;
        return stopAfter == 0 || calls < stopAfter;
    });

    if (writer) {
        QVERIFY(writer->exec(QStringLiteral("ROLLBACK")));
        writer.reset();
        QSqlDatabase::database(writerName, false).close();
        QSqlDatabase::removeDatabase(writerName);
    }

    // Each index once, none that was not asked for.
    QCOMPARE(strayIndices, 0);
    QCOMPARE(calls, stopAfter == 0 ? int(cards.size()) : std::min(stopAfter, int(cards.size())));
    for (const auto &[index, texts] : taken) {
        const int card = cards.at(qsizetype(index));
        if (card < 0) {
            QVERIFY2(!texts, qPrintable(QStringLiteral("texts for a missing row at %1").arg(index)));
            continue;
        }
        QVERIFY2(texts, qPrintable(QStringLiteral("no texts for card %1").arg(card)));
        const CardCatalog::CardTexts expected = textsOf(card);
        QCOMPARE(texts->markdownText, expected.markdownText);
        QCOMPARE(texts->contextText, expected.contextText);
        QCOMPARE(texts->ocrText, expected.ocrText);
        // The same as one card's read gives.
        const std::optional<CardCatalog::CardTexts> single = catalog.storedTexts(rowOf(card));
        QVERIFY(single);
        QCOMPARE(texts->ocrText, single->ocrText);
    }

    // A library that is not there hands every row over as missing.
    if (!cards.isEmpty() && stopAfter == 0 && !otherWriting) {
        CardCatalog absent(m_dir.filePath(QStringLiteral("absent.sqlite")));
        size_t handed = 0;
        absent.readStoredTexts(rows, [&](size_t, std::optional<CardCatalog::CardTexts> texts) {
            handed += texts ? 1000 : 1;
            return true;
        });
        QCOMPARE(handed, rows.size());
    }
}

QTEST_GUILESS_MAIN(CardCatalogTest)
#include "tst_cardcatalog.moc"

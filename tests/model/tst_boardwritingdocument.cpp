#include "model/Board.h"
#include "model/BoardWritingDocument.h"
#include "platform/Json.h"
#include "platform/UuidText.h"

#include <QJsonArray>
#include <QJsonObject>

#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

namespace {

QUuid uuid(const char *text) { return *parseUuid(QString::fromLatin1(text)); }

const QUuid A = uuid("AAAAAAAA-0000-0000-0000-000000000001");
const QUuid B = uuid("BBBBBBBB-0000-0000-0000-000000000002");
const QUuid C = uuid("CCCCCCCC-0000-0000-0000-000000000003");
const QUuid CARD = uuid("DDDDDDDD-0000-0000-0000-000000000004");

using Blocks = QList<BoardWritingBlock>;

BoardWritingBlock paragraph(const QString &text, const QUuid &id) { return BoardWritingBlock::paragraph(text, id); }

BoardWritingBlock reference(const QUuid &card, const QUuid &id, std::optional<QString> size = QStringLiteral("medium"))
{
    return BoardWritingBlock{id, BoardWritingBlock::Kind::cardReference, QString(), card, size};
}

QDateTime at(int seconds) { return QDateTime::fromSecsSinceEpoch(1'800'000'000 + seconds, Qt::UTC); }

} // namespace

class BoardWritingDocumentTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void normalisation();
    void repeatedIdsGetFreshOnes();
    void insertion_data();
    void insertion();
    void editsTouchOnlyTheirKind();
    void writtenText();
    void encoderMatchesTheJsonWriter_data();
    void encoderMatchesTheJsonWriter();
    void reading_data();
    void reading();
    void storedFormReadsAsAnyJson_data();
    void storedFormReadsAsAnyJson();
    void utf8ReadsAsItsText_data();
    void utf8ReadsAsItsText();
    void repairOfStoredText();
    void reopeningReadsWhatIsStored_data();
    void reopeningReadsWhatIsStored();
    void unreadableTextIsNeverLost();
    void wordsTheRepairDropsAreKeptAside_data();
    void wordsTheRepairDropsAreKeptAside();
};

void BoardWritingDocumentTest::normalisation()
{
    // Nothing at all becomes one empty paragraph.
    const Blocks fromEmpty = BoardWritingDocument::normalizedBlocks({});
    QCOMPARE(fromEmpty.size(), 1);
    QVERIFY(fromEmpty[0].isParagraph() && fromEmpty[0].text.isEmpty());

    // A paragraph carrying a card disappears with its text; a reference with
    // an unknown or differently capitalised size becomes medium; one without
    // a card is dropped; a trailing reference gets a paragraph after it.
    BoardWritingBlock strayParagraph = paragraph("gone", A);
    strayParagraph.cardID = CARD;
    const Blocks normalized = BoardWritingDocument::normalizedBlocks({
        strayParagraph,
        reference(CARD, B, QStringLiteral("Medium")),
        BoardWritingBlock{C, BoardWritingBlock::Kind::cardReference, "x", std::nullopt, QStringLiteral("small")},
        reference(CARD, C, QStringLiteral("fullWidth")),
    });
    QCOMPARE(normalized.size(), 3);
    QCOMPARE(normalized[0], reference(CARD, B, QStringLiteral("medium")));
    QCOMPARE(normalized[1], reference(CARD, C, QStringLiteral("fullWidth")));
    QVERIFY(normalized[2].isParagraph() && normalized[2].text.isEmpty());

    // Normal input comes back unchanged, ids included.
    QCOMPARE(BoardWritingDocument::normalizedBlocks(normalized), normalized);
}

void BoardWritingDocumentTest::repeatedIdsGetFreshOnes()
{
    const Blocks normalized = BoardWritingDocument::normalizedBlocks(
        {paragraph("one", A), paragraph("two", A), paragraph("three", A)});
    QCOMPARE(normalized[0].id, A);
    QVERIFY(normalized[1].id != A && normalized[2].id != A && normalized[1].id != normalized[2].id);
    QCOMPARE(normalized[2].text, QStringLiteral("three"));
}

void BoardWritingDocumentTest::insertion_data()
{
    QTest::addColumn<Blocks>("before");
    QTest::addColumn<std::optional<QUuid>>("anchor");
    // Expected shape: "P:text" for a known paragraph, "R" for the new
    // reference, "E" for a fresh empty paragraph.
    QTest::addColumn<QStringList>("shape");

    QTest::newRow("only an empty paragraph") << Blocks{paragraph("", A)} << std::optional<QUuid>()
                                             << QStringList{"R", "P:"};
    QTest::newRow("ends with text") << Blocks{paragraph("hello", A)} << std::optional<QUuid>()
                                    << QStringList{"P:hello", "R", "E"};
    QTest::newRow("whitespace-only last paragraph")
        << Blocks{paragraph("hello", A), paragraph(" \n", B)} << std::optional<QUuid>()
        << QStringList{"P:hello", "R", "P: \n"};
    QTest::newRow("anchor followed by paragraph")
        << Blocks{paragraph("one", A), paragraph("two", B)} << std::optional<QUuid>(A)
        << QStringList{"P:one", "R", "P:two"};
    QTest::newRow("anchor is last") << Blocks{paragraph("one", A), paragraph("two", B)} << std::optional<QUuid>(B)
                                    << QStringList{"P:one", "P:two", "R", "E"};
    QTest::newRow("unknown anchor is no anchor")
        << Blocks{paragraph("one", A)} << std::optional<QUuid>(C) << QStringList{"P:one", "R", "E"};
    QTest::newRow("no blocks") << Blocks{} << std::optional<QUuid>() << QStringList{"R", "E"};
}

void BoardWritingDocumentTest::insertion()
{
    QFETCH(Blocks, before);
    QFETCH(std::optional<QUuid>, anchor);
    QFETCH(QStringList, shape);

    BoardWritingDocument document{before};
    QVERIFY(document.insertCardReference(CARD, anchor));
    QCOMPARE(document.blocks.size(), shape.size());
    QSet<QUuid> knownIDs;
    for (const auto &block : before)
        knownIDs.insert(block.id);
    for (int i = 0; i < shape.size(); ++i) {
        const BoardWritingBlock &block = document.blocks[i];
        if (shape[i] == u"R") {
            QCOMPARE(block.cardID, std::optional<QUuid>(CARD));
            QCOMPARE(block.attachmentSizeRawValue, std::optional<QString>("medium"));
            QVERIFY(!knownIDs.contains(block.id));
        } else if (shape[i] == u"E") {
            QVERIFY(block.isParagraph() && block.text.isEmpty() && !knownIDs.contains(block.id));
        } else {
            QVERIFY(block.isParagraph() && knownIDs.contains(block.id));
            QCOMPARE(QStringLiteral("P:") + block.text, shape[i]);
        }
    }
}

void BoardWritingDocumentTest::editsTouchOnlyTheirKind()
{
    BoardWritingDocument document{{paragraph("text", A), reference(CARD, B)}};
    const BoardWritingDocument before = document;
    document.updateParagraphText(B, "not a paragraph");
    document.setAttachmentSize(A, NoteAttachmentSize::small);
    QCOMPARE(document, before);

    document.updateParagraphText(A, "  kept verbatim\n");
    document.setAttachmentSize(B, NoteAttachmentSize::fullWidth);
    QCOMPARE(document.blocks[0].text, QStringLiteral("  kept verbatim\n"));
    QCOMPARE(document.blocks[1].attachmentSizeRawValue, std::optional<QString>("fullWidth"));

    // The same card inserted twice gives two references with their own ids.
    document.insertCardReference(CARD);
    QCOMPARE(document.referencedCardIDs(), (QList<QUuid>{CARD, CARD}));
}

void BoardWritingDocumentTest::writtenText()
{
    QCOMPARE(BoardWritingDocument::encodedString({paragraph("", A)}),
             QStringLiteral(R"({"blocks":[{"id":"AAAAAAAA-0000-0000-0000-000000000001","kind":"paragraph","text":""}]})"));
    QCOMPARE(BoardWritingDocument::encodedString({reference(CARD, B), paragraph("a/b \"q\"\né", C)}),
             QStringLiteral(R"({"blocks":[{"attachmentSizeRawValue":"medium","cardID":"DDDDDDDD-0000-0000-0000-000000000004",)"
                            R"("id":"BBBBBBBB-0000-0000-0000-000000000002","kind":"cardReference","text":""},)"
                            R"({"id":"CCCCCCCC-0000-0000-0000-000000000003","kind":"paragraph","text":"a\/b \"q\"\né"}]})"));

    // Text the encoder cannot write never becomes the empty document.
    QString broken = QStringLiteral("x");
    broken.append(QChar(0xDC00));
    QVERIFY(!BoardWritingDocument::encode({paragraph(broken, A)}));
    QCOMPARE(BoardWritingDocument::encodedString({paragraph(broken, A)}), QString());
}

void BoardWritingDocumentTest::encoderMatchesTheJsonWriter_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("escapes") << QStringLiteral("tab\tcr\rbs\bff\fnl\n quote\" slash/ back\\");
    QTest::newRow("control characters") << QString::fromUtf16(u"\u0001\u001f\u007f end");
    QTest::newRow("non-ASCII") << QString::fromUtf16(u"é ü 漢字 שלום \u2028 e\u0301");
    QTest::newRow("surrogate pairs") << QString::fromUtf16(u"😀 at the end 🙂");
    QTest::newRow("lone high surrogate at the end") << QStringLiteral("ab") + QChar(0xD83D);
    QTest::newRow("high surrogate before a letter") << QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b");
    QTest::newRow("lone low surrogate") << QChar(0xDE00) + QStringLiteral("a");
}

void BoardWritingDocumentTest::encoderMatchesTheJsonWriter()
{
    // The stored text must stay byte for byte what the library's JSON writer
    // gives, or opening a note would rewrite (and redate) every old note.
    QFETCH(QString, text);
    const Blocks blocks{reference(CARD, B), paragraph(text, C)};
    const QJsonObject referenceObject{{QStringLiteral("attachmentSizeRawValue"), QStringLiteral("medium")},
                                      {QStringLiteral("cardID"), uuidText(CARD)},
                                      {QStringLiteral("id"), uuidText(B)},
                                      {QStringLiteral("kind"), QStringLiteral("cardReference")},
                                      {QStringLiteral("text"), QString()}};
    const QJsonObject paragraphObject{{QStringLiteral("id"), uuidText(C)},
                                      {QStringLiteral("kind"), QStringLiteral("paragraph")},
                                      {QStringLiteral("text"), text}};
    const auto written = writeJson(QJsonObject{{QStringLiteral("blocks"), QJsonArray{referenceObject, paragraphObject}}});
    const std::optional<QString> encoded = BoardWritingDocument::encode(blocks);
    QCOMPARE(encoded.has_value(), written.has_value());
    if (written)
        QCOMPARE(*encoded, QString::fromUtf8(*written));
}

void BoardWritingDocumentTest::reading_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("blockCount"); // -1: unreadable

    const QString id = "aaaaaaaa-0000-0000-0000-000000000001";
    QTest::newRow("lower-case ids, extra keys")
        << QString(R"({"blocks":[{"id":"%1","kind":"paragraph","text":"x","extra":1}],"version":3})").arg(id) << 1;
    QTest::newRow("null card id") << QString(R"({"blocks":[{"id":"%1","kind":"cardReference","text":"","cardID":null}]})").arg(id) << 1;
    QTest::newRow("any size text") << QString(R"({"blocks":[{"id":"%1","kind":"cardReference","text":"","cardID":"%1","attachmentSizeRawValue":"huge"}]})").arg(id) << 1;
    QTest::newRow("unknown kind spoils all")
        << QString(R"({"blocks":[{"id":"%1","kind":"paragraph","text":"a"},{"id":"%1","kind":"heading","text":"b"}]})").arg(id) << -1;
    QTest::newRow("missing text") << QString(R"({"blocks":[{"id":"%1","kind":"paragraph"}]})").arg(id) << -1;
    QTest::newRow("numeric text") << QString(R"({"blocks":[{"id":"%1","kind":"paragraph","text":3}]})").arg(id) << -1;
    QTest::newRow("bad uuid") << QString(R"({"blocks":[{"id":"nope","kind":"paragraph","text":""}]})") << -1;
    QTest::newRow("bad card uuid") << QString(R"({"blocks":[{"id":"%1","kind":"cardReference","text":"","cardID":"x"}]})").arg(id) << -1;
    QTest::newRow("no blocks key") << QString(R"({"block":[]})") << -1;
    QTest::newRow("not json") << QString("{{") << -1;
    QTest::newRow("empty blocks") << QString(R"({"blocks":[]})") << 0;
    // Read as U+FFFD: every later change to the note can be written.
    QTest::newRow("escaped lone surrogate")
        << QString(R"({"blocks":[{"id":"%1","kind":"paragraph","text":"half \ud83d"}]})").arg(id) << 1;
}

void BoardWritingDocumentTest::reading()
{
    QFETCH(QString, stored);
    QFETCH(int, blockCount);
    const auto decoded = BoardWritingDocument::decode(stored);
    QCOMPARE(decoded.has_value(), blockCount >= 0);
    if (decoded)
        QVERIFY(BoardWritingDocument::encode(BoardWritingDocument::normalizedBlocks(decoded->blocks)));
    Board board;
    board.setWritingDocumentStorage(stored);
    QCOMPARE(board.writingDocument().blocks.size(), qMax(blockCount, 0));
    QCOMPARE(board.hasUnreadableWriting(), blockCount < 0);
}

void BoardWritingDocumentTest::storedFormReadsAsAnyJson_data()
{
    QTest::addColumn<QString>("text");
    const QString block = QStringLiteral(R"({"cardID":"%1","id":"%2","kind":"cardReference","text":""})")
                              .arg(uuidText(CARD), uuidText(B));
    const QString paragraph = QStringLiteral(R"({"id":"%1","kind":"paragraph","text":"%2"})");
    auto stored = [&](const QString &text) {
        return QStringLiteral(R"({"blocks":[%1,%2]})").arg(block, paragraph.arg(uuidText(C), text));
    };
    QTest::newRow("plain") << stored(QStringLiteral("words"));
    QTest::newRow("every escape written") << stored(QStringLiteral(R"(q\" b\\ s\/ \b\f\n\r\t \u0001\u001f)"));
    QTest::newRow("upper-case escape") << stored(QStringLiteral(R"(\u001F)"));
    QTest::newRow("escape of a letter") << stored(QStringLiteral(R"(\u0041)"));
    QTest::newRow("escaped lone surrogate") << stored(QStringLiteral(R"(half \ud83d)"));
    QTest::newRow("escaped pair") << stored(QStringLiteral(R"(\ud83d\ude00)"));
    QTest::newRow("bad escape") << stored(QStringLiteral(R"(\x)"));
    QTest::newRow("raw control character") << stored(QStringLiteral("a\tb"));
    QTest::newRow("non-ASCII and pairs") << stored(QString::fromUtf16(u"é 漢字 😀 e\u0301"));
    QTest::newRow("raw lone surrogate") << stored(QStringLiteral("a") + QChar(0xD83D) + QStringLiteral("b"));
    QTest::newRow("noncharacter") << stored(QStringLiteral("a") + QChar(0xFFFF));
    QTest::newRow("lower-case ids") << stored(QStringLiteral("x")).toLower();
    QTest::newRow("bad id") << stored(QStringLiteral("x")).replace(uuidText(C), QStringLiteral("nope"));
    QTest::newRow("unknown kind") << stored(QStringLiteral("x")).replace(QStringLiteral("paragraph"), QStringLiteral("heading"));
    QTest::newRow("no blocks") << QStringLiteral(R"({"blocks":[]})");
    QTest::newRow("cut short") << stored(QStringLiteral("x")).chopped(3);
    QTest::newRow("keys in another order")
        << QStringLiteral(R"({"blocks":[{"kind":"paragraph","id":"%1","text":"x"}]})").arg(uuidText(C));
    // Plain text is passed in runs; what ends a run may fall anywhere in one.
    for (const int plain : {0, 1, 7, 8, 9, 15, 16, 17, 23}) {
        const QString before(plain, QLatin1Char('w'));
        const QString after(9, QLatin1Char('v'));
        QTest::addRow("escape after %d plain", plain) << stored(before + QStringLiteral(R"(")") + after);
        QTest::addRow("raw control after %d plain", plain) << stored(before + QChar(0x1F) + after);
        QTest::addRow("pair after %d plain", plain) << stored(before + QString::fromUtf16(u"😀") + after);
        QTest::addRow("noncharacter after %d plain", plain) << stored(before + QChar(0xFDD0) + after);
        QTest::addRow("lone surrogate after %d plain", plain) << stored(before + QChar(0xD83D) + after);
        QTest::addRow("quote ends %d plain", plain) << stored(before);
    }
    // A card identifier spoilt at each place, in every way a place can be.
    const QString card = uuidText(CARD);
    for (qsizetype at = 0; at < card.size(); ++at) {
        const bool hyphen = card.at(at) == QLatin1Char('-');
        for (const QChar bad : {hyphen ? QChar(u'a') : QChar(u'g'), QChar(u'/'), QChar(u':'), QChar(u'@'), QChar(u'G'),
                                QChar(0x8030), QChar(0xFF10), hyphen ? QChar(u'0') : QChar(u'-')}) {
            QString spoilt = card;
            spoilt[at] = bad;
            QTest::addRow("card id spoilt at %d by U+%04X", int(at), bad.unicode())
                << QString(stored(QStringLiteral("x"))).replace(card, spoilt);
        }
    }
}

void BoardWritingDocumentTest::storedFormReadsAsAnyJson()
{
    // The stored form has a reader of its own; a space after it is still
    // JSON but no longer that form, so the general reader reads it: both
    // must come to the same document, or to none.
    QFETCH(QString, text);
    const auto quick = BoardWritingDocument::decode(text);
    const auto general = BoardWritingDocument::decode(text + QLatin1Char(' '));
    QCOMPARE(quick.has_value(), general.has_value());
    if (quick)
        QCOMPARE(quick->blocks, general->blocks);

    // The note list reads only the first written paragraph of the same
    // text, and the rest, after one, only to see that it reads; with
    // another paragraph written first, all of the text is read that way.
    const auto firstWritten = [](const std::optional<BoardWritingDocument> &document) -> std::optional<QString> {
        for (const BoardWritingBlock &block : document ? document->blocks : Blocks()) {
            if (block.isParagraph() && !block.text.trimmed().isEmpty())
                return block.text;
        }
        return std::nullopt;
    };
    QCOMPARE(BoardWritingDocument::firstWrittenParagraph(text), firstWritten(general));
    const QString opening = QStringLiteral(R"({"blocks":[)");
    if (text.startsWith(opening) && !text.startsWith(opening + QLatin1Char(']'))) {
        const QString writtenFirst =
            QString(text).insert(opening.size(), QStringLiteral(R"({"id":"%1","kind":"paragraph","text":"first"},)").arg(uuidText(A)));
        QCOMPARE(BoardWritingDocument::firstWrittenParagraph(writtenFirst),
                 firstWritten(BoardWritingDocument::decode(writtenFirst + QLatin1Char(' '))));
        QCOMPARE(BoardWritingDocument::firstWrittenParagraph(QByteArrayView(writtenFirst.toUtf8())),
                 firstWritten(BoardWritingDocument::decode(QString::fromUtf8(writtenFirst.toUtf8()) + QLatin1Char(' '))));
    }

    // A note keeps its text as UTF-8, read by a reader of its own: the same
    // documents as the text made UTF-16 reads as.
    const QByteArray utf8 = text.toUtf8();
    const auto general8 = BoardWritingDocument::decode(QString::fromUtf8(utf8) + QLatin1Char(' '));
    const auto quick8 = BoardWritingDocument::decode(QByteArrayView(utf8));
    QCOMPARE(quick8.has_value(), general8.has_value());
    if (quick8)
        QCOMPARE(quick8->blocks, general8->blocks);
    QCOMPARE(BoardWritingDocument::firstWrittenParagraph(QByteArrayView(utf8)), firstWritten(general8));
}

void BoardWritingDocumentTest::utf8ReadsAsItsText_data()
{
    // Byte sequences that are UTF-8 and ones that are not, each after runs
    // of plain text that end on either side of the reader's sixteen-byte
    // steps: what the UTF-8 reader makes of them is what the text they make
    // reads as.
    QTest::addColumn<QByteArray>("utf8");
    const std::pair<const char *, QByteArray> sequences[] = {
        {"two-byte letter", "\xC3\xA9"},
        {"three-byte sign", "\xE2\x82\xAC"},
        {"four-byte pair", "\xF0\x9F\x98\x80"},
        {"noncharacter FDD0", "\xEF\xB7\x90"},
        {"noncharacter FFFE", "\xEF\xBF\xBE"},
        {"noncharacter 1FFFF", "\xF0\x9F\xBF\xBF"},
        {"lone continuation", "\x80"},
        {"overlong two-byte", "\xC0\xAF"},
        {"overlong three-byte", "\xE0\x80\xAF"},
        {"encoded surrogate", "\xED\xA0\x80"},
        {"beyond the last character", "\xF4\x90\x80\x80"},
        {"cut short", "\xE2\x82w"},
        {"never a byte of UTF-8", "\xFF"},
        {"raw control", "\x1F"},
        {"escaped control", "\\u001f"},
        {"escaped quote", "\\\""},
        {"escaped surrogate", "\\ud83d"},
    };
    const QByteArray opening = QByteArray(R"({"blocks":[{"id":")") + uuidText(A).toLatin1()
        + R"(","kind":"paragraph","text":")";
    for (const auto &[name, sequence] : sequences) {
        for (const int plain : {0, 1, 15, 16, 17, 31}) {
            QTest::addRow("%s after %d plain", name, plain)
                << opening + QByteArray(plain, 'w') + sequence + QByteArray(9, 'v') + R"("}]})";
        }
    }
    // Identifiers with a letter that is not ASCII at each place.
    const QByteArray card = uuidText(CARD).toLatin1();
    for (qsizetype at = 0; at < card.size(); ++at) {
        QByteArray spoilt = card;
        spoilt.replace(at, 1, "\xC3\xA9");
        QTest::addRow("card id spoilt at %d", int(at))
            << QByteArray(R"({"blocks":[{"cardID":")") + spoilt + R"(","id":")" + uuidText(A).toLatin1()
                   + R"(","kind":"cardReference","text":""},{"id":")" + uuidText(B).toLatin1()
                   + R"(","kind":"paragraph","text":"x"}]})";
    }
}

void BoardWritingDocumentTest::utf8ReadsAsItsText()
{
    QFETCH(QByteArray, utf8);
    const auto general = BoardWritingDocument::decode(QString::fromUtf8(utf8) + QLatin1Char(' '));
    const auto quick = BoardWritingDocument::decode(QByteArrayView(utf8));
    QCOMPARE(quick.has_value(), general.has_value());
    if (quick)
        QCOMPARE(quick->blocks, general->blocks);
    std::optional<QString> firstWritten;
    for (const BoardWritingBlock &block : general ? general->blocks : Blocks()) {
        if (block.isParagraph() && !block.text.trimmed().isEmpty()) {
            firstWritten = block.text;
            break;
        }
    }
    QCOMPARE(BoardWritingDocument::firstWrittenParagraph(QByteArrayView(utf8)), firstWritten);
}

void BoardWritingDocumentTest::repairOfStoredText()
{
    Board board;
    board.setUpdatedAt(at(0));
    QVERIFY(board.writingDocument().blocks.isEmpty());
    // Rewritten: no blocks are handed back, the text is to be read anew.
    std::optional<QList<BoardWritingBlock>> normalBlocks;
    board.normalizeWritingDocumentStorage(at(10), &normalBlocks);
    QVERIFY(!normalBlocks);
    QCOMPARE(board.writingDocument().blocks.size(), 1);
    QCOMPARE(board.updatedAt(), at(10));

    // Already normal: nothing is written, not even a change notice, and the
    // blocks handed back are those the text reads as.
    QSignalSpy spy(&board, &PersistentEntity::changed);
    board.normalizeWritingDocumentStorage(at(20), &normalBlocks);
    QCOMPARE(spy.count(), 0);
    QCOMPARE(board.updatedAt(), at(10));
    QVERIFY(normalBlocks);
    QCOMPARE(*normalBlocks, BoardWritingDocument::normalizedBlocks(board.writingDocument().blocks));

    // Writing an equal document still writes and stamps.
    board.updateWritingDocument(board.writingDocument(), at(30));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(board.updatedAt(), at(30));

    // Text put in from elsewhere after the note found its own normal is
    // read anew: here it lacks the paragraph to type into at the end.
    QVERIFY(board.normalizeWritingDocumentStorage(at(40), &normalBlocks));
    const QString foreign = *BoardWritingDocument::encode({BoardWritingBlock::cardReference(CARD, NoteAttachmentSize::medium, B)});
    board.setWritingDocumentStorage(foreign);
    normalBlocks.reset();
    QVERIFY(board.normalizeWritingDocumentStorage(at(50), &normalBlocks));
    QVERIFY(!normalBlocks);
    QVERIFY(board.writingDocumentStorage() != foreign);
    QCOMPARE(board.writingDocument().blocks.size(), 2);
}

void BoardWritingDocumentTest::reopeningReadsWhatIsStored_data()
{
    QTest::addColumn<Blocks>("written");
    QString controls = QStringLiteral("tab\t nl\n cr\r bell");
    controls.append(QChar(0x07));
    controls.append(QChar(0));
    QString nonCharacters = QStringLiteral("end");
    nonCharacters.append(QChar(0xFFFF));
    nonCharacters.append(QChar(0xFDD0));
    nonCharacters.append(QChar(0xFFFE));
    QTest::newRow("empty") << Blocks{};
    QTest::newRow("escapes") << Blocks{paragraph(QStringLiteral("a/b \"q\" \\ </p>"), A)};
    QTest::newRow("controls") << Blocks{paragraph(controls, A)};
    QTest::newRow("noncharacters") << Blocks{paragraph(nonCharacters, A)};
    QTest::newRow("beyond the basic plane")
        << Blocks{paragraph(QStringLiteral("\U0001F600 e\u0301 \u4E2D\u6587 \u200F"), A)};
    QTest::newRow("references, sizes, repeated ids")
        << Blocks{reference(CARD, A, QStringLiteral("large")), reference(CARD, A, std::nullopt),
                  reference(CARD, B, QStringLiteral("no such size")), paragraph(QString(), C)};
    QTest::newRow("malformed blocks") << Blocks{reference(CARD, A, QStringLiteral("small")), [] {
        BoardWritingBlock carrying = paragraph(QStringLiteral("dropped"), B);
        carrying.cardID = CARD;
        return carrying;
    }()};
}

// A note opened again reads its writing as its stored text reads, whether
// it wrote the text itself a moment ago or found it normal when opened
// before: what the screen is handed never depends on which.
void BoardWritingDocumentTest::reopeningReadsWhatIsStored()
{
    QFETCH(Blocks, written);
    Board board;
    QVERIFY(board.updateWritingDocument(BoardWritingDocument{written}, at(1)));
    const QByteArray stored = board.writingDocumentUtf8();
    const std::optional<BoardWritingDocument> read = BoardWritingDocument::decode(QByteArrayView(stored));
    QVERIFY(read);
    const Blocks expected = BoardWritingDocument::normalizedBlocks(read->blocks);

    QSignalSpy spy(&board, &PersistentEntity::changed);
    for (int opening = 0; opening < 2; ++opening) {
        std::optional<QList<BoardWritingBlock>> normalBlocks;
        QVERIFY(board.normalizeWritingDocumentStorage(at(2 + opening), &normalBlocks));
        QVERIFY(normalBlocks);
        QCOMPARE(*normalBlocks, expected);
    }
    QCOMPARE(spy.count(), 0);
    QCOMPARE(board.writingDocumentUtf8(), stored);
    QCOMPARE(board.updatedAt(), at(1));

    // The same text read from the store: found normal at the first opening,
    // and read alike at the next.
    Board loaded;
    loaded.setWritingDocumentStorage(QString::fromUtf8(stored));
    loaded.setUpdatedAt(at(1));
    QSignalSpy loadedSpy(&loaded, &PersistentEntity::changed);
    for (int opening = 0; opening < 2; ++opening) {
        std::optional<QList<BoardWritingBlock>> normalBlocks;
        QVERIFY(loaded.normalizeWritingDocumentStorage(at(2 + opening), &normalBlocks));
        QVERIFY(normalBlocks);
        QCOMPARE(*normalBlocks, expected);
    }
    QCOMPARE(loadedSpy.count(), 0);

    // Text written over it from elsewhere is read anew, not as the note last
    // wrote it.
    const Blocks other{paragraph(QStringLiteral("from elsewhere"), C)};
    loaded.setWritingDocumentStorage(*BoardWritingDocument::encode(other));
    std::optional<QList<BoardWritingBlock>> normalBlocks;
    QVERIFY(loaded.normalizeWritingDocumentStorage(at(9), &normalBlocks));
    QVERIFY(normalBlocks);
    QCOMPARE(*normalBlocks, other);
}

void BoardWritingDocumentTest::unreadableTextIsNeverLost()
{
    Board board;
    const QString unreadable = QStringLiteral("{\"blocks\": [ my notes from before");
    board.setWritingDocumentStorage(unreadable);
    board.setUpdatedAt(at(0));

    // Repair leaves text it cannot read alone, and hands back no blocks.
    std::optional<QList<BoardWritingBlock>> normalBlocks;
    board.normalizeWritingDocumentStorage(at(5), &normalBlocks);
    QVERIFY(!normalBlocks);
    QCOMPARE(board.writingDocumentStorage(), unreadable);
    QCOMPARE(board.updatedAt(), at(0));

    // Any other writer keeps the old text aside first.
    QVERIFY(board.updateWritingDocument(BoardWritingDocument{{paragraph("new", A)}}, at(6)));
    QCOMPARE(board.pendingRecoveries().size(), 1);
    QCOMPARE(board.pendingRecoveries().first().text, unreadable);
    QCOMPARE(board.pendingRecoveries().first().boardID, board.id());

    // A document that cannot be encoded changes nothing.
    const QString stored = board.writingDocumentStorage();
    QString broken = QStringLiteral("x");
    broken.append(QChar(0xD800));
    QVERIFY(!board.updateWritingDocument(BoardWritingDocument{{paragraph(broken, B)}}, at(7)));
    QCOMPARE(board.writingDocumentStorage(), stored);
    QCOMPARE(board.updatedAt(), at(6));
}

void BoardWritingDocumentTest::wordsTheRepairDropsAreKeptAside_data()
{
    QTest::addColumn<Blocks>("stored");
    QTest::addColumn<bool>("dropsWords");
    BoardWritingBlock paragraphWithCard = paragraph("my words", A);
    paragraphWithCard.cardID = CARD;
    BoardWritingBlock blankWithCard = paragraph(" \n", A);
    blankWithCard.cardID = CARD;
    BoardWritingBlock referenceWithText = reference(CARD, B);
    referenceWithText.text = QStringLiteral("caption");
    BoardWritingBlock referenceWithoutCard = reference(CARD, B);
    referenceWithoutCard.cardID.reset();
    referenceWithoutCard.text = QStringLiteral("caption");

    QTest::newRow("paragraph carrying a card") << Blocks{paragraph("kept", C), paragraphWithCard} << true;
    QTest::newRow("blank paragraph carrying a card") << Blocks{blankWithCard} << false;
    QTest::newRow("reference with text") << Blocks{referenceWithText} << true;
    QTest::newRow("reference without a card") << Blocks{referenceWithoutCard, paragraph("", C)} << true;
    QTest::newRow("well-formed, not yet normal") << Blocks{reference(CARD, B)} << false;
}

void BoardWritingDocumentTest::wordsTheRepairDropsAreKeptAside()
{
    QFETCH(Blocks, stored);
    QFETCH(bool, dropsWords);
    QCOMPARE(BoardWritingDocument::normalizationDropsText(stored), dropsWords);

    Board board;
    const QString text = *BoardWritingDocument::encode(stored);
    board.setWritingDocumentStorage(text);
    QVERIFY(board.normalizeWritingDocumentStorage(at(5)));
    QVERIFY(board.writingDocumentStorage() != text);
    QCOMPARE(board.pendingRecoveries().size(), dropsWords ? 1 : 0);
    if (dropsWords) {
        QCOMPARE(board.pendingRecoveries().first().text, text);
        QCOMPARE(board.pendingRecoveries().first().savedAt, at(5));
    }
    // Once repaired, later writes keep nothing more aside.
    QVERIFY(board.updateWritingDocument(board.writingDocument(), at(6)));
    QCOMPARE(board.pendingRecoveries().size(), dropsWords ? 1 : 0);
}

QTEST_GUILESS_MAIN(BoardWritingDocumentTest)
#include "tst_boardwritingdocument.moc"

#include "library/SearchCorpus.h"
#include "library/SearchMatching.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <QTest>

using namespace tessaline;

namespace {

const QDateTime base = QDateTime(QDate(2026, 3, 1), QTime(9, 0), Qt::UTC);

QDateTime at(int minutes) { return base.addSecs(minutes * 60); }

QUuid fixedId(int n) { return QUuid(QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0'))); }

// A small library: two live notes and the inbox, a note in Recently Deleted,
// and cards of every kind, some trashed.
struct Library
{
    QObject owner;
    QList<Board *> boards;
    QList<CanvasCard *> cards;

    Board *addNote(const QString &title, int minutes, const QList<BoardWritingBlock> &blocks = {})
    {
        Board::Init init;
        init.title = title;
        init.createdAt = at(0);
        init.updatedAt = at(minutes);
        init.lastOpenedAt = at(0);
        init.writingDocument.blocks = blocks;
        auto *board = new Board(init, &owner);
        boards.append(board);
        return board;
    }
    CanvasCard *addCard(const Board *board, CardKind kind, int minutes)
    {
        CanvasCard::Init init;
        init.boardID = board->id();
        init.kind = kind;
        init.createdAt = at(minutes);
        auto *card = new CanvasCard(init, &owner);
        cards.append(card);
        return card;
    }

    Library()
    {
        Board *atlas = addNote(QStringLiteral("Project Atlas"), 30,
                               {BoardWritingBlock::paragraph(QStringLiteral("Kick-off")),
                                BoardWritingBlock::paragraph(QStringLiteral("Résumé review next week"))});
        atlas->setId(fixedId(1));
        atlas->setFocusQuestion(QStringLiteral("What ships first?"));
        atlas->setFolderNameValue(QStringLiteral("Work"));
        Board *garden = addNote(QStringLiteral("Garden"), 30);
        garden->setId(fixedId(2));
        Board *inbox = addNote(QStringLiteral("Quick Captures"), 10);
        inbox->setIsInbox(true);
        Board *old = addNote(QStringLiteral("Old Plans"), 40);
        old->setDeletedAt(at(41));

        CanvasCard *photo = addCard(atlas, CardKind::snip, 50);
        photo->setContextText(QStringLiteral("Whiteboard photo"));
        photo->setOcrText(QStringLiteral("quarterly numbers"));
        photo->setSourceApplicationName(QStringLiteral("Firefox"));
        CanvasCard *call = addCard(atlas, CardKind::thought, 40);
        call->setTitle(QStringLiteral("Call Dana"));
        call->setThoughtKindRawValue(QStringLiteral("question"));
        addCard(atlas, CardKind::ghost, 41)->setMarkdownText(QStringLiteral("zebra"));
        CanvasCard *discarded = addCard(atlas, CardKind::snip, 42);
        discarded->setContextText(QStringLiteral("discarded draft"));
        discarded->setDeletedAt(at(43));
        addCard(inbox, CardKind::snip, 20)->setThoughtKindRawValue(QStringLiteral("decision"));
        addCard(old, CardKind::snip, 44)->setContextText(QStringLiteral("Atlas sketch"));
        CanvasCard *bird = addCard(garden, CardKind::thought, 5);
        bird->setMarkdownText(QStringLiteral("hummingbird feeder"));
        // Atlas's writing points at Garden's card; that adds nothing to Atlas.
        BoardWritingDocument writing = atlas->writingDocument();
        writing.blocks.append(BoardWritingBlock::cardReference(bird->id()));
        atlas->setWritingDocumentStorage(BoardWritingDocument::encodedString(writing.blocks));
    }
};

// What happens to the library between two keystrokes.
enum class Edit { none, changeCardText, restoreCard, moveCard, restoreNote, renameNote };

QStringList noteTitles(const QList<Board *> &notes)
{
    QStringList titles;
    for (const Board *note : notes)
        titles.append(note->title());
    return titles;
}

QStringList cardTitles(const QList<CanvasCard *> &cards)
{
    QStringList titles;
    for (const CanvasCard *card : cards)
        titles.append(card->displayTitle());
    return titles;
}

} // namespace

class TestSearchMatching : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void containment_data()
    {
        QTest::addColumn<QString>("haystack");
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("found");
        QTest::newRow("letter case") << QStringLiteral("Project ATLAS") << QStringLiteral("atlas") << true;
        QTest::newRow("accent in the text") << QStringLiteral("Café Latte") << QStringLiteral("cafe") << true;
        QTest::newRow("accent in the query") << QStringLiteral("naive plan") << QStringLiteral("NAÏVE") << true;
        QTest::newRow("decomposed accent") << QStringLiteral("cafe\u0301") << QStringLiteral("CAFÉ") << true;
        QTest::newRow("full-width letters") << QStringLiteral("ＡＢＣ corp") << QStringLiteral("abc") << true;
        QTest::newRow("ligature") << QStringLiteral("ﬁle cabinet") << QStringLiteral("file") << true;
        QTest::newRow("outside the basic plane") << QStringLiteral("tag 𝐀 here") << QStringLiteral("tag A") << true;
        QTest::newRow("sharp s in the query") << QStringLiteral("HAUPTSTRASSE 5") << QStringLiteral("hauptstraße") << true;
        QTest::newRow("sharp s in the text") << QStringLiteral("Hauptstraße 5") << QStringLiteral("STRASSE") << true;
        QTest::newRow("capital sharp s") << QStringLiteral("GROẞE Pläne") << QStringLiteral("grosse") << true;
        QTest::newRow("whole Hangul syllable") << QStringLiteral("한국어 노트") << QStringLiteral("한국") << true;
        QTest::newRow("Hangul syllable within a longer one") << QStringLiteral("한국어") << QStringLiteral("하") << false;
        QTest::newRow("Hangul of conjoining jamo") << QStringLiteral("\u1112\u1161\u11AB\u1100\u116E\u11A8")
                                                   << QStringLiteral("한국") << true;
        QTest::newRow("different letters") << QStringLiteral("Project Atlas") << QStringLiteral("atlus") << false;
        QTest::newRow("empty needle") << QStringLiteral("anything") << QString() << false;
        QTest::newRow("mark alone") << QStringLiteral("cafe\u0301") << QStringLiteral("\u0301") << false;
    }
    void containment()
    {
        QFETCH(QString, haystack);
        QFETCH(QString, needle);
        QFETCH(bool, found);
        QCOMPARE(localizedStandardContains(haystack, needle), found);
    }

    void results_data()
    {
        QTest::addColumn<QString>("searchText");
        QTest::addColumn<SearchScope>("scope");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QStringList>("snips");
        const QStringList none;
        const QStringList atlas{QStringLiteral("Project Atlas")};
        const QStringList photo{QStringLiteral("Whiteboard photo")};
        const QStringList quick{QStringLiteral("Quick Captures")};
        const QStringList untitled{QStringLiteral("Untitled Snip")};
        QTest::newRow("only whitespace") << QStringLiteral(" \n\t ") << SearchScope::all << none << none;
        QTest::newRow("note title, trimmed") << QStringLiteral("  project atlas\n") << SearchScope::all << atlas << photo;
        QTest::newRow("note title, notes only") << QStringLiteral("project atlas") << SearchScope::notes << atlas << none;
        QTest::newRow("note title, snips only") << QStringLiteral("project atlas") << SearchScope::snips << none << photo;
        QTest::newRow("phrase is one needle") << QStringLiteral("atlas project") << SearchScope::all << none << none;
        QTest::newRow("writing without accents") << QStringLiteral("resume review") << SearchScope::all << atlas << none;
        QTest::newRow("focus question") << QStringLiteral("ships first") << SearchScope::all << atlas << none;
        QTest::newRow("folder") << QStringLiteral("work") << SearchScope::all << atlas << none;
        QTest::newRow("recognised text") << QStringLiteral("QUARTERLY") << SearchScope::all << atlas << photo;
        QTest::newRow("source application") << QStringLiteral("firefox") << SearchScope::all << atlas << photo;
        QTest::newRow("thought makes only its note a hit") << QStringLiteral("call dana") << SearchScope::all << atlas << none;
        QTest::newRow("kind label of a snip") << QStringLiteral("Decision") << SearchScope::all << quick << untitled;
        QTest::newRow("untitled snip") << QStringLiteral("untitled snip") << SearchScope::all << quick << untitled;
        QTest::newRow("inbox by its title") << QStringLiteral("QUICK") << SearchScope::all << quick << untitled;
        QTest::newRow("trashed note by its title") << QStringLiteral("old plans") << SearchScope::all << none << none;
        QTest::newRow("live snip of a trashed note") << QStringLiteral("atlas sketch") << SearchScope::all << none << none;
        QTest::newRow("trashed snip") << QStringLiteral("discarded") << SearchScope::all << none << none;
        QTest::newRow("suggestion") << QStringLiteral("zebra") << SearchScope::all << none << none;
        QTest::newRow("card referenced from another note")
            << QStringLiteral("hummingbird") << SearchScope::all << QStringList{QStringLiteral("Garden")} << none;
        QTest::newRow("label of every thought card") << QStringLiteral("thought") << SearchScope::all
                                                     << QStringList{QStringLiteral("Project Atlas"), QStringLiteral("Garden")} << photo;
        QTest::newRow("question label") << QStringLiteral("question") << SearchScope::all << atlas << none;
        QTest::newRow("across two fields of a card")
            << QStringLiteral("photo\nquarterly") << SearchScope::all << atlas << photo;
        QTest::newRow("across a card's text and its note's title")
            << QStringLiteral("thought\nproject atlas") << SearchScope::snips << none << photo;
    }
    void results()
    {
        QFETCH(QString, searchText);
        QFETCH(SearchScope, scope);
        QFETCH(QStringList, notes);
        QFETCH(QStringList, snips);
        Library library;
        const SearchResults results(library.boards, library.cards, searchText, scope);
        QCOMPARE(noteTitles(results.noteResults()), notes);
        QCOMPARE(cardTitles(results.snipResults()), snips);
        QCOMPARE(results.resultCount(), notes.size() + snips.size());

        // A screen's kept texts give the same hits, the first time and again.
        SearchCorpus corpus;
        for (int pass = 0; pass < 2; ++pass) {
            const SearchResults kept(library.boards, library.cards, searchText, scope, corpus);
            QCOMPARE(noteTitles(kept.noteResults()), notes);
            QCOMPARE(cardTitles(kept.snipResults()), snips);
        }
    }

    // Kept texts never outlive what they were made from: each write, and an
    // entity's end, makes the next search read the entity afresh.
    void keptTextsFollowChanges()
    {
        Library library;
        SearchCorpus corpus;
        const auto search = [&](const QString &text) {
            const SearchResults kept(library.boards, library.cards, text, SearchScope::all, corpus);
            return noteTitles(kept.noteResults()) + cardTitles(kept.snipResults());
        };
        const QStringList atlasAndPhoto{QStringLiteral("Project Atlas"), QStringLiteral("Whiteboard photo")};
        QCOMPARE(search(QStringLiteral("quarterly")), atlasAndPhoto);
        QCOMPARE(search(QStringLiteral("held by nothing")), QStringList()); // reads every text
        const qsizetype kept = corpus.keptCount();
        QVERIFY(kept > 0);

        CanvasCard *photo = library.cards.first();
        photo->setOcrText(QStringLiteral("annual figures"));
        QCOMPARE(search(QStringLiteral("quarterly")), QStringList());
        QCOMPARE(search(QStringLiteral("annual")), atlasAndPhoto);

        Board *garden = library.boards.at(1);
        garden->setTitle(QStringLiteral("Orchard"));
        QCOMPARE(search(QStringLiteral("garden")), QStringList());
        QCOMPARE(search(QStringLiteral("orchard")), QStringList{QStringLiteral("Orchard")});
        // Half of a surrogate pair, which UTF-8 cannot hold, in a kept text.
        garden->setTitle(QStringLiteral("Orchard ") + QChar(0xD800) + QStringLiteral(" x9z"));
        QCOMPARE(search(QStringLiteral("X9Z")), QStringList{garden->title()});
        QCOMPARE(search(QStringLiteral("orchard")), QStringList{garden->title()});

        // The note's title change reaches its snips, found by it.
        Board *atlas = library.boards.first();
        atlas->setTitle(QStringLiteral("Project Borealis"));
        QCOMPARE(search(QStringLiteral("borealis")),
                 (QStringList{QStringLiteral("Project Borealis"), QStringLiteral("Whiteboard photo")}));

        library.cards.removeFirst();
        delete photo;
        QCOMPARE(search(QStringLiteral("annual")), QStringList());
        QVERIFY(corpus.keptCount() < kept);
    }

    // A longer query looks only at the last hits; a query that does not hold
    // the last one, another scope or any write in between searches afresh.
    void keystrokes_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<SearchScope>("firstScope");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QStringList>("notes");
        QTest::addColumn<QStringList>("snips");
        const QStringList atlas{QStringLiteral("Project Atlas")};
        const QStringList photo{QStringLiteral("Whiteboard photo")};
        const SearchScope all = SearchScope::all;
        QTest::newRow("typing on") << QStringLiteral("qu") << all << Edit::none << QStringLiteral("quar") << atlas << photo;
        QTest::newRow("typing in front") << QStringLiteral("arterly") << all << Edit::none << QStringLiteral("QUARTERLY") << atlas << photo;
        QTest::newRow("typing in the middle")
            << QStringLiteral("qurterly") << all << Edit::none << QStringLiteral("quarterly") << atlas << photo;
        QTest::newRow("deleting") << QStringLiteral("quarterlyx") << all << Edit::none << QStringLiteral("quarterly") << atlas << photo;
        QTest::newRow("another scope") << QStringLiteral("quarterly") << SearchScope::notes << Edit::none
                                       << QStringLiteral("quarterly") << atlas << photo;
        QTest::newRow("card text changed")
            << QStringLiteral("ann") << all << Edit::changeCardText << QStringLiteral("annua") << atlas << photo;
        QTest::newRow("card put back") << QStringLiteral("discard") << all << Edit::restoreCard << QStringLiteral("discarded")
                                       << atlas << QStringList{QStringLiteral("discarded draft")};
        QTest::newRow("card moved to another note")
            << QStringLiteral("humm") << all << Edit::moveCard << QStringLiteral("hummi") << atlas << QStringList();
        QTest::newRow("note put back") << QStringLiteral("old") << all << Edit::restoreNote << QStringLiteral("old p")
                                       << QStringList{QStringLiteral("Old Plans")} << QStringList{QStringLiteral("Atlas sketch")};
        // Letters that stay beyond one byte once folded.
        const QStringList omega{QStringLiteral("Ωmega ﬁles")};
        QTest::newRow("needle beyond one byte")
            << QStringLiteral("ωmeg") << all << Edit::renameNote << QStringLiteral("ΩMEGA FI") << omega << photo;
        QTest::newRow("text beyond one byte")
            << QStringLiteral("meg") << all << Edit::renameNote << QStringLiteral("mega fi") << omega << photo;
    }
    void keystrokes()
    {
        QFETCH(QString, first);
        QFETCH(SearchScope, firstScope);
        QFETCH(Edit, edit);
        QFETCH(QString, second);
        QFETCH(QStringList, notes);
        QFETCH(QStringList, snips);
        Library library;
        SearchCorpus corpus;
        const SearchResults before(library.boards, library.cards, first, firstScope, corpus);
        Q_UNUSED(before);
        switch (edit) {
        case Edit::none:
            break;
        case Edit::changeCardText:
            library.cards[0]->setOcrText(QStringLiteral("annual figures"));
            break;
        case Edit::restoreCard:
            library.cards[3]->setDeletedAt(std::nullopt);
            break;
        case Edit::moveCard:
            library.cards[6]->setBoardID(library.boards[0]->id());
            break;
        case Edit::restoreNote:
            library.boards[3]->setDeletedAt(std::nullopt);
            break;
        case Edit::renameNote:
            library.boards[0]->setTitle(QStringLiteral("Ωmega ﬁles"));
            break;
        }
        const SearchResults after(library.boards, library.cards, second, SearchScope::all, corpus);
        QCOMPARE(noteTitles(after.noteResults()), notes);
        QCOMPARE(cardTitles(after.snipResults()), snips);
    }

    // Lists long enough to be shared among threads give the hits that each
    // note's and snip's own test gives, in result order, also when a search
    // narrows from the one before.
    void longListsFindWhatEachTestFinds()
    {
        QObject owner;
        QList<Board *> boards;
        QList<CanvasCard *> cards;
        for (int n = 0; n < 9000; ++n) {
            Board::Init note;
            note.title = QStringLiteral("Note %1").arg(n) + (n % 7 == 0 ? QStringLiteral(" lighthouse") : QString());
            note.createdAt = at(0);
            note.updatedAt = at(n);
            note.lastOpenedAt = at(0);
            boards.append(new Board(note, &owner));
            CanvasCard::Init card;
            card.boardID = boards.last()->id();
            card.kind = CardKind::snip;
            card.createdAt = at(9000 - n);
            card.ocrText = n % 5 == 0 ? QStringLiteral("Lighthouse keeper") : QStringLiteral("harbour");
            cards.append(new CanvasCard(card, &owner));
        }
        SearchCorpus corpus;
        // Then a word typed letter by letter into the same corpus: each
        // search narrows from the hits of the one before, the first of them
        // from every note and snip.
        for (const QString &query : {QStringLiteral("LIGHTHOUSE"), QStringLiteral("n"), QStringLiteral("note"),
                                     QStringLiteral("note 1"), QStringLiteral("note 12"), QStringLiteral("note 12 ")}) {
            const SearchResults found(boards, cards, query, SearchScope::all, corpus);
            QList<Board *> notes;
            QList<CanvasCard *> snips;
            for (qsizetype n = boards.size() - 1; n >= 0; --n) {
                if (noteMatchesQuery(*boards[n], {cards[n]}, query))
                    notes.append(boards[n]);
            }
            for (qsizetype n = 0; n < cards.size(); ++n) {
                if (snipMatchesQuery(*cards[n], *boards[n], query))
                    snips.append(cards[n]);
            }
            QVERIFY2(query.startsWith(u'n') || (notes.size() > 2000 && snips.size() > 2000), qPrintable(query));
            QCOMPARE(found.noteResults(), notes);
            QCOMPARE(found.snipResults(), snips);
        }
    }

    void resultOrder_data()
    {
        QTest::addColumn<QList<int>>("minutes");
        QTest::addColumn<QList<int>>("ids");
        QTest::addColumn<QList<int>>("expected"); // indexes into the lists above
        QTest::newRow("newest first") << QList<int>{1, 3, 2} << QList<int>{1, 2, 3} << QList<int>{1, 2, 0};
        QTest::newRow("ties by id text") << QList<int>{5, 5, 5} << QList<int>{30, 10, 20} << QList<int>{1, 2, 0};
        QTest::newRow("mixed") << QList<int>{5, 9, 5} << QList<int>{2, 3, 1} << QList<int>{1, 2, 0};
    }
    void resultOrder()
    {
        QFETCH(QList<int>, minutes);
        QFETCH(QList<int>, ids);
        QFETCH(QList<int>, expected);
        Library library;
        library.boards.clear();
        library.cards.clear();
        QList<Board *> notes;
        QList<CanvasCard *> snips;
        for (qsizetype i = 0; i < minutes.size(); ++i) {
            Board *note = library.addNote(QStringLiteral("Same words"), minutes[i]);
            note->setId(fixedId(ids[i]));
            notes.append(note);
            CanvasCard *snip = library.addCard(note, CardKind::snip, 0);
            snip->setContextText(QStringLiteral("Same words"));
            snip->setUpdatedAt(at(minutes[i]));
            snip->setId(fixedId(ids[i] + 1000));
            snips.append(snip);
        }
        const SearchResults results(library.boards, library.cards, QStringLiteral("same"), SearchScope::all);
        QList<Board *> expectedNotes;
        QList<CanvasCard *> expectedSnips;
        for (int index : expected) {
            expectedNotes.append(notes[index]);
            expectedSnips.append(snips[index]);
        }
        QCOMPARE(results.noteResults(), expectedNotes);
        QCOMPARE(results.snipResults(), expectedSnips);
    }

    void sharedIdentifier_data()
    {
        QTest::addColumn<int>("firstMinutes");
        QTest::addColumn<int>("secondMinutes");
        QTest::addColumn<QString>("winner");
        QTest::newRow("later change wins") << 1 << 2 << QStringLiteral("Second");
        QTest::newRow("earlier change loses") << 2 << 1 << QStringLiteral("First");
        QTest::newRow("equal dates keep the first") << 2 << 2 << QStringLiteral("First");
    }
    void sharedIdentifier()
    {
        QFETCH(int, firstMinutes);
        QFETCH(int, secondMinutes);
        QFETCH(QString, winner);
        Library library;
        library.boards.clear();
        library.cards.clear();
        Board *first = library.addNote(QStringLiteral("First note"), firstMinutes);
        Board *second = library.addNote(QStringLiteral("Second note"), secondMinutes);
        second->setId(first->id());
        const SearchResults results(library.boards, library.cards, QStringLiteral("note"), SearchScope::all);
        QCOMPARE(results.boardsByID().size(), 1);
        QCOMPARE(noteTitles(results.noteResults()), QStringList{winner + QStringLiteral(" note")});
    }

    void excerpt_data()
    {
        QTest::addColumn<QStringList>("paragraphs");
        QTest::addColumn<bool>("unreadableWriting");
        QTest::addColumn<QString>("query");
        QTest::addColumn<QString>("excerpt");
        const QStringList writing{QStringLiteral("   "), QStringLiteral("  First thing \n"), QStringLiteral(" Second thing ")};
        const QString cardText = QStringLiteral("Receipt\n\nReceipt\nTOTAL 42\nScanner\nscan.pdf\nThought");
        QTest::newRow("title only shows the first paragraph") << writing << false << QStringLiteral("Groceries")
                                                              << QStringLiteral("First thing");
        QTest::newRow("second paragraph, trimmed") << writing << false << QStringLiteral("SECOND")
                                                   << QStringLiteral("Second thing");
        QTest::newRow("no writing, through a card") << QStringList() << false << QStringLiteral("total") << cardText;
        QTest::newRow("no writing, title only") << QStringList() << false << QStringLiteral("Groceries") << QString();
        QTest::newRow("unreadable writing, through a card") << QStringList() << true << QStringLiteral("scanner")
                                                            << cardText;
        QTest::newRow("trashed and suggested cards skipped") << QStringList() << false << QStringLiteral("hidden")
                                                             << QString();
    }
    void excerpt()
    {
        QFETCH(QStringList, paragraphs);
        QFETCH(bool, unreadableWriting);
        QFETCH(QString, query);
        QFETCH(QString, excerpt);
        Library library;
        QList<BoardWritingBlock> blocks;
        for (const QString &text : paragraphs)
            blocks.append(BoardWritingBlock::paragraph(text));
        Board *note = library.addNote(QStringLiteral("Groceries"), 1);
        note->setWritingDocumentStorage(BoardWritingDocument::encodedString(blocks));
        if (unreadableWriting)
            note->setWritingDocumentStorage(QStringLiteral("{not a document"));
        CanvasCard *trashed = library.addCard(note, CardKind::thought, 1);
        trashed->setMarkdownText(QStringLiteral("hidden when trashed"));
        trashed->setDeletedAt(at(2));
        library.addCard(note, CardKind::ghost, 1)->setMarkdownText(QStringLiteral("hidden suggestion"));
        CanvasCard *receipt = library.addCard(note, CardKind::snip, 1);
        receipt->setContextText(QStringLiteral("Receipt"));
        receipt->setOcrText(QStringLiteral("TOTAL 42"));
        receipt->setSourceApplicationName(QStringLiteral("Scanner"));
        receipt->setSourceWindowTitle(QStringLiteral("scan.pdf"));
        const QList<CanvasCard *> cards{trashed, library.cards[library.cards.size() - 2], receipt};
        QCOMPARE(noteSearchExcerpt(*note, cards, query), excerpt);
    }

    void counts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("results");
        QTest::addColumn<QString>("matches");
        QTest::newRow("none") << 0 << QStringLiteral("0 Results") << QStringLiteral("0 matches");
        QTest::newRow("one") << 1 << QStringLiteral("1 Result") << QStringLiteral("1 match");
        QTest::newRow("many") << 12 << QStringLiteral("12 Results") << QStringLiteral("12 matches");
    }
    void counts()
    {
        QFETCH(int, count);
        QFETCH(QString, results);
        QFETCH(QString, matches);
        QCOMPARE(searchResultCountText(count), results);
        QCOMPARE(searchMatchCountText(count), matches);
    }

    void scopeRawValues()
    {
        for (SearchScope scope : allSearchScopes())
            QCOMPARE(searchScopeFromRawValue(rawValue(scope)), scope);
        QCOMPARE(searchScopeFromRawValue(QStringLiteral("all")), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TestSearchMatching)
#include "tst_searchmatching.moc"

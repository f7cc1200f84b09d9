#include "../model/StoreFixture.h"

#include "canvas/CardMenuEntry.h"
#include "canvas/CardPresentation.h"

using namespace tessaline;
using namespace tessaline::testing;

using Action = CardMenuEntry::Action;
Q_DECLARE_METATYPE(CardPresentation::PictureSource)
Q_DECLARE_METATYPE(QuietCardTone)

class CardPresentationTest : public QObject
{
    Q_OBJECT

    std::unique_ptr<ModelContainer> store;
    Board *note = nullptr;

    CanvasCard *card(const QString &kind, const QString &thoughtKind = QStringLiteral("thought"))
    {
        CanvasCard *card = addCard(*store->mainContext(), note, CardKind::thought, at(0));
        card->setKindRawValue(kind);
        card->setThoughtKindRawValue(thoughtKind);
        card->setTitle(QStringLiteral("Pricing"));
        return card;
    }

private Q_SLOTS:
    void init()
    {
        store = memoryStore();
        note = addNote(*store->mainContext(), QStringLiteral("Map"), at(0));
    }

    void kindAndSpokenTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("thoughtKind");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("spoken");
        QTest::addColumn<QString>("tooltip");
        const QString open = QStringLiteral("Double-click or press Space to open");
        QTest::newRow("snip") << "snip" << "decision" << "viewfinder" << "Snip: Pricing"
                              << "Double-click or press Space to preview";
        QTest::newRow("thought") << "thought" << "thought" << "text.bubble" << "Thought: Pricing" << open;
        QTest::newRow("question") << "thought" << "question" << "questionmark.circle" << "Question: Pricing" << open;
        QTest::newRow("decision") << "thought" << "decision" << "checkmark.seal" << "Decision: Pricing" << open;
        QTest::newRow("next step") << "thought" << "nextStep" << "arrow.right.circle" << "Next Step: Pricing" << open;
        QTest::newRow("ghost reads as a thought") << "ghost" << "question" << "questionmark.circle"
                                                  << "Question: Pricing" << open;
        QTest::newRow("unknown thought kind") << "thought" << "musing" << "text.bubble" << "Thought: Pricing" << open;
    }

    void kindAndSpokenTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, thoughtKind);
        QFETCH(QString, symbol);
        QFETCH(QString, spoken);
        QFETCH(QString, tooltip);
        const CardPresentation presentation = CardPresentation::of(*card(kind, thoughtKind));
        QCOMPARE(presentation.kindSymbol, symbol);
        QCOMPARE(presentation.accessibilityLabel, spoken);
        QCOMPARE(presentation.tooltip, tooltip);
        QCOMPARE(presentation.kindLabel, spoken.section(u':', 0, 0));
    }

    void spokenStateAndHint()
    {
        QCOMPARE(CardPresentation::accessibilityValue(true), QStringLiteral("Selected"));
        QCOMPARE(CardPresentation::accessibilityValue(false), QStringLiteral("Not selected"));
        QCOMPARE(CardPresentation::accessibilityHint(),
                 QStringLiteral("Press Space or Return to preview, or use the arrow keys to move. Hold Alt while "
                                "using an arrow key to resize."));
    }

    void surfaceAndMarks_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("generated");
        QTest::addColumn<bool>("grouped");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QuietCardTone>("tone");
        QTest::addColumn<bool>("showsCaption");
        QTest::newRow("snip") << "snip" << false << false << "" << QuietCardTone::snip << false;
        QTest::newRow("snip, caption of spaces") << "snip" << false << true << "  " << QuietCardTone::snip << true;
        QTest::newRow("suggested snip") << "snip" << true << false << "Why" << QuietCardTone::suggestion << true;
        QTest::newRow("thought ignores captions") << "thought" << false << true << "Why" << QuietCardTone::thought
                                                  << false;
        QTest::newRow("suggested and grouped") << "thought" << true << true << "" << QuietCardTone::suggestion << false;
    }

    void surfaceAndMarks()
    {
        QFETCH(QString, kind);
        QFETCH(bool, generated);
        QFETCH(bool, grouped);
        QFETCH(QString, caption);
        QFETCH(QuietCardTone, tone);
        QFETCH(bool, showsCaption);
        CanvasCard *shown = card(kind);
        shown->setIsAIGenerated(generated);
        shown->setGroupID(grouped ? std::optional(QUuid::createUuid()) : std::nullopt);
        shown->setContextText(caption);
        const CardPresentation presentation = CardPresentation::of(*shown);
        QCOMPARE(presentation.tone, tone);
        QCOMPARE(presentation.showsSuggestedTag, generated);
        QCOMPARE(presentation.showsGroupMark, grouped);
        QCOMPARE(presentation.showsCaption, showsCaption);
    }

    void pictureSource_data()
    {
        QTest::addColumn<bool>("thumbnail");
        QTest::addColumn<bool>("original");
        QTest::addColumn<CardPresentation::PictureSource>("source");
        QTest::newRow("both: the thumbnail") << true << true << CardPresentation::PictureSource::thumbnail;
        QTest::newRow("only the original") << false << true << CardPresentation::PictureSource::original;
        QTest::newRow("neither") << false << false << CardPresentation::PictureSource::none;
    }

    void pictureSource()
    {
        QFETCH(bool, thumbnail);
        QFETCH(bool, original);
        QFETCH(CardPresentation::PictureSource, source);
        CanvasCard *snip = card(QStringLiteral("snip"));
        if (thumbnail)
            snip->setThumbnailImageData(QByteArray("not an image"));
        if (original)
            snip->setOriginalImageData(QByteArray("png"));
        QCOMPARE(CardPresentation::of(*snip).pictureSource, source);
    }

    void contextMenuFollowsTheKind_data()
    {
        QTest::addColumn<CardKind>("kind");
        QTest::addColumn<QList<Action>>("actions");
        const QList<Action> common{Action::open, Action::referenceInWriting};
        const QList<Action> end{Action::separator, Action::moveToTrash};
        QTest::newRow("snip") << CardKind::snip
                              << common + QList<Action>{Action::annotate, Action::pin, Action::copy, Action::exportPNG,
                                                        Action::returnToTray} + end;
        QTest::newRow("thought") << CardKind::thought
                                 << common + QList<Action>(4, Action::setThoughtKind) + end;
        QTest::newRow("ghost") << CardKind::ghost << common + end;
    }

    void contextMenuFollowsTheKind()
    {
        QFETCH(CardKind, kind);
        QFETCH(QList<Action>, actions);
        const QList<CardMenuEntry> entries = CardMenuEntry::entries(kind);
        QList<Action> shown;
        for (const CardMenuEntry &entry : entries)
            shown.append(entry.action);
        QCOMPARE(shown, actions);
        QVERIFY(entries.last().isDestructive);
        if (kind == CardKind::thought) {
            QStringList kinds;
            for (const CardMenuEntry &entry : entries) {
                if (entry.thoughtKind)
                    kinds.append(entry.title);
            }
            QCOMPARE(kinds, (QStringList{"Thought", "Question", "Decision", "Next Step"}));
        }
    }
};

QTEST_GUILESS_MAIN(CardPresentationTest)
#include "tst_cardpresentation.moc"

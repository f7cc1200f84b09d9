#include "../support/LibraryBuilder.h"

#include "model/ModelChangeScope.h"
#include "model/ModelContainer.h"
#include "model/StoreError.h"
#include "notes/BoardCanvasModel.h"
#include "notes/InsertSnipListModel.h"
#include "platform/UserDefaults.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// A library file with a note open in its workspace, reopened so the cards'
// long texts are still in the file: "Harbour" holds a snip titled only by
// its recognised text and one with a title of its own (its context text
// never shows); "Field" holds two snips; a deleted snip and a thought are
// never offered.
struct Library
{
    Library()
    {
        configuration.directory = dir.path();
        {
            auto writer = ModelContainer::open(configuration);
            if (!writer)
                qFatal("the library could not be made");
            ModelContext &context = *(*writer)->mainContext();
            Board *harbour = addNote(context, NoteFields{.title = QStringLiteral("Harbour")});
            harbourID = harbour->id();
            Board *field = addNote(context, NoteFields{.title = QStringLiteral("Field")});
            addCard(context, harbour->id(), CardFields{.created = at(3)})->setOcrText(QStringLiteral("Lighthouse keeper"));
            addCard(context, harbour->id(), CardFields{.title = QStringLiteral("Quay"), .created = at(2)})
                ->setContextText(QStringLiteral("Lighthouse at dusk"));
            addCard(context, field->id(), CardFields{.created = at(5)})->setOcrText(QStringLiteral("Fishing boats"));
            addCard(context, field->id(), CardFields{.title = QStringLiteral("Light meter"), .created = at(4)});
            addCard(context, field->id(), CardFields{.title = QStringLiteral("Lighthouse ruin"), .created = at(6)})
                ->setDeletedAt(at(7));
            addCard(context, harbour->id(), CardFields{.kind = CardKind::thought, .title = QStringLiteral("Light idea")});
            if (!context.save())
                qFatal("the library could not be saved");
        }
        auto opened = ModelContainer::open(configuration);
        if (!opened)
            qFatal("the library could not be opened");
        container = std::move(*opened);
        query = std::make_unique<LibraryQuery>(context());
        defaults = std::make_unique<UserDefaults>(dir.filePath(QStringLiteral("settings.ini")));
        navigation = std::make_unique<NavigationState>(*defaults);
        workspace = std::make_unique<BoardCanvasModel>(*query, *navigation, harbourID);
        rows = std::make_unique<InsertSnipListModel>(*workspace);
    }

    ModelContext &context() const { return *container->mainContext(); }

    CanvasCard *card(const QString &title) const
    {
        for (CanvasCard *card : query->cards()) {
            if (card->displayTitle() == title)
                return card;
        }
        qFatal("no such card");
    }

    // The rows as the picker draws them: "-" before a heading below another
    // section, headings as "#Title", snips by their titles, anything that
    // cannot be chosen with "?".
    QStringList shown() const
    {
        QStringList items;
        for (int row = 0; row < rows->rowCount(); ++row) {
            const QModelIndex index = rows->index(row);
            const QString text = index.data().toString();
            switch (rows->rowKind(row)) {
            case InsertSnipListModel::RowKind::heading:
                if (index.data(InsertSnipListModel::FollowsSectionRole).toBool())
                    items.append(QStringLiteral("-"));
                items.append(QLatin1Char('#') + text);
                break;
            case InsertSnipListModel::RowKind::snip:
                items.append(rows->flags(index).testFlag(Qt::ItemIsEnabled) ? text : QLatin1Char('?') + text);
                break;
            case InsertSnipListModel::RowKind::none:
                items.append(QLatin1Char('?') + text);
                break;
            }
        }
        return items;
    }

    bool settle() const
    {
        return QTest::qWaitFor([this] { return !rows->isFilterPending(); }, 10000);
    }

    QTemporaryDir dir;
    ModelContainer::Configuration configuration;
    QUuid harbourID;
    std::unique_ptr<ModelContainer> container;
    std::unique_ptr<LibraryQuery> query;
    std::unique_ptr<UserDefaults> defaults;
    std::unique_ptr<NavigationState> navigation;
    std::unique_ptr<BoardCanvasModel> workspace;
    std::unique_ptr<InsertSnipListModel> rows;
};

} // namespace

class InsertSnipListModelTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rowsForText_data();
    void rowsForText();
    void rowsAreMadeAgainOnlyAfterAChange();
    void rowsNeverOutliveTheirCards();
};

void InsertSnipListModelTest::rowsForText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");
    const QStringList all{QStringLiteral("#This Note"), QStringLiteral("Lighthouse keeper"), QStringLiteral("Quay"),
                          QStringLiteral("-"), QStringLiteral("#Other Notes"), QStringLiteral("Fishing boats"),
                          QStringLiteral("Light meter")};
    QTest::newRow("no text") << QString() << all;
    QTest::newRow("blank") << QStringLiteral("  ") << all;
    // Only the display title counts: "Quay" holds "lighthouse" in its
    // context text, which it does not show.
    QTest::newRow("any case, titles only")
        << QStringLiteral("LIGHT")
        << QStringList{QStringLiteral("#This Note"), QStringLiteral("Lighthouse keeper"), QStringLiteral("-"),
                       QStringLiteral("#Other Notes"), QStringLiteral("Light meter")};
    QTest::newRow("one section left keeps its title")
        << QStringLiteral(" fishing ") << QStringList{QStringLiteral("#Other Notes"), QStringLiteral("Fishing boats")};
    QTest::newRow("nothing") << QStringLiteral("zebra") << QStringList{QStringLiteral("?No Matching Snips")};
}

void InsertSnipListModelTest::rowsForText()
{
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    for (const bool onWorker : {false, true}) {
        Library library;
        library.rows->setLargeLibrary(onWorker ? 0 : 1000);
        library.rows->refresh();
        // Narrowed key by key, as typed, and again all at once.
        for (qsizetype typed = 1; typed <= text.size(); ++typed) {
            library.rows->setFilterText(text.left(typed));
            QCOMPARE(library.rows->isFilterPending(), onWorker && !text.left(typed).trimmed().isEmpty());
        }
        QVERIFY(library.settle());
        if (onWorker && !text.trimmed().isEmpty()) {
            // The worker read the titles' texts from the file: the main
            // thread holds none of them.
            for (const CanvasCard *card : library.query->cards())
                QCOMPARE(card->unreadTextsRow() > 0, true);
        }
        QCOMPARE(library.shown(), shown);
        QCOMPARE(library.rows->filterText(), text);
    }
}

void InsertSnipListModelTest::rowsAreMadeAgainOnlyAfterAChange()
{
    Library library;
    QSignalSpy rebuilt(library.rows.get(), &InsertSnipListModel::rowsRebuilt);
    library.rows->refresh();
    QCOMPARE(rebuilt.count(), 1);
    QCOMPARE(library.rows->index(1).data(Qt::AccessibleTextRole).toString(), QStringLiteral("Insert Lighthouse keeper"));
    QCOMPARE(library.rows->index(1).data(InsertSnipListModel::CardIDRole).toUuid(),
             library.card(QStringLiteral("Lighthouse keeper"))->id());
    library.rows->refresh();
    QCOMPARE(rebuilt.count(), 1);

    // A title typed but not saved shows at the next opening; one whose
    // save failed and was taken back shows as it was.
    CanvasCard *meter = library.card(QStringLiteral("Light meter"));
    meter->setTitle(QStringLiteral("Anemometer"));
    library.rows->refresh();
    QCOMPARE(rebuilt.count(), 2);
    QCOMPARE(library.shown().constLast(), QStringLiteral("Anemometer"));
    {
        ModelChangeScope scope(library.context());
        meter->setTitle(QStringLiteral("Draft"));
        library.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
        QVERIFY(!scope.saveOrUndo());
    }
    library.rows->refresh();
    QCOMPARE(library.shown().constLast(), QStringLiteral("Anemometer"));

    // A snip made before the rest but captured after them comes first: the
    // order is worked out again, by the moment of capture.
    CanvasCard *pier = addCard(library.context(), library.harbourID,
                               CardFields{.title = QStringLiteral("Pier"), .created = at(1), .captured = at(9)});
    QVERIFY(library.context().save());
    library.rows->refresh();
    QCOMPARE(library.shown(),
             (QStringList{QStringLiteral("#This Note"), QStringLiteral("Pier"), QStringLiteral("Lighthouse keeper"),
                          QStringLiteral("Quay"), QStringLiteral("-"), QStringLiteral("#Other Notes"),
                          QStringLiteral("Fishing boats"), QStringLiteral("Anemometer")}));
    // Captured again, earlier, and not saved: the order follows at once;
    // taken back after a failed save, it is as it was.
    CanvasCard *boats = library.card(QStringLiteral("Fishing boats"));
    {
        ModelChangeScope scope(library.context());
        boats->setCapturedAt(at(1));
        library.rows->refresh();
        QCOMPARE(library.shown().mid(6), (QStringList{QStringLiteral("Anemometer"), QStringLiteral("Fishing boats")}));
        library.context().failNextSave(StoreError{QStringLiteral("The disk is full.")});
        QVERIFY(!scope.saveOrUndo());
    }
    library.rows->refresh();
    QCOMPARE(library.shown().mid(6), (QStringList{QStringLiteral("Fishing boats"), QStringLiteral("Anemometer")}));
    QCOMPARE(library.rows->firstSnipRow(), 1);
    QCOMPARE(library.rows->lastSnipRow(), 6);
    // Moving among snips passes over the headings and stops at either end.
    QCOMPARE(library.rows->snipRowFrom(3, 1), 5);
    QCOMPARE(library.rows->snipRowFrom(5, -1), 3);
    QCOMPARE(library.rows->snipRowFrom(5, 10), 6);
    QCOMPARE(library.rows->snipRowFrom(-1, -1), -1);
    QCOMPARE(library.rows->card(4), nullptr);
    QCOMPARE(library.rows->card(1), pier);
}

void InsertSnipListModelTest::rowsNeverOutliveTheirCards()
{
    Library library;
    library.rows->refresh();
    // Closed: a change drops the rows, whose cards a save may have taken.
    CanvasCard *keeper = library.card(QStringLiteral("Lighthouse keeper"));
    keeper->moveToTrash(at(20));
    QVERIFY(library.context().save());
    QCOMPARE(library.rows->rowCount(), 0);
    library.rows->refresh();
    QCOMPARE(library.shown(),
             (QStringList{QStringLiteral("#This Note"), QStringLiteral("Quay"), QStringLiteral("-"),
                          QStringLiteral("#Other Notes"), QStringLiteral("Fishing boats"),
                          QStringLiteral("Light meter")}));

    // Open: the rows follow at once, the text typed still applied.
    library.rows->setLive(true);
    library.rows->setFilterText(QStringLiteral("q"));
    QCOMPARE(library.shown(), (QStringList{QStringLiteral("#This Note"), QStringLiteral("Quay")}));
    for (CanvasCard *card : library.query->cards())
        card->moveToTrash(at(21));
    QVERIFY(library.context().save());
    QCOMPARE(library.shown(), QStringList{QStringLiteral("?No Snips Available")});
    library.rows->setFilterText(QString());
    QCOMPARE(library.shown(), QStringList{QStringLiteral("?No Snips Available")});
}

QTEST_GUILESS_MAIN(InsertSnipListModelTest)
#include "tst_insertsniplistmodel.moc"

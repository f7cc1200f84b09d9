#include "../support/FileDialogs.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/Connection.h"
#include "notes/BoardBriefExportService.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace tessaline;
using tessaline::testing::shownFileDialog;

namespace {

const QDateTime exportMoment(QDate(2026, 3, 4), QTime(15, 7, 42), QTimeZone::utc());

BriefClock fixedClock()
{
    return {exportMoment, QLocale(QLocale::English, QLocale::UnitedStates), QTimeZone::utc()};
}

QString footer()
{
    return QStringLiteral("---\nExported from Tessaline on March 4, 2026 3:07 PM.\n");
}

QDateTime at(int minute)
{
    return QDateTime(QDate(2026, 3, 1), QTime(9, minute), QTimeZone::utc());
}

QUuid cardID(int n)
{
    return QUuid(QStringLiteral("00000000-0000-0000-0000-%1").arg(n, 12, 10, QLatin1Char('0')));
}

CanvasCard::Init snip(int n, const QString &caption, const QString &ocr = QString(), int minute = 0)
{
    CanvasCard::Init init;
    init.id = cardID(n);
    init.kind = CardKind::snip;
    init.title = QStringLiteral("Snip %1").arg(n);
    init.contextText = caption;
    init.ocrText = ocr;
    init.createdAt = at(minute);
    return init;
}

CanvasCard::Init thought(int n, const QString &text, ThoughtKind kind = ThoughtKind::thought, int minute = 0)
{
    CanvasCard::Init init;
    init.id = cardID(n);
    init.kind = CardKind::thought;
    init.thoughtKind = kind;
    init.title = QStringLiteral("Thought %1").arg(n);
    init.markdownText = text;
    init.createdAt = at(minute);
    return init;
}

Connection::Values link(int from, int to, const std::optional<QString> &label, bool deleted = false)
{
    Connection::Values values;
    values.sourceCardID = cardID(from);
    values.destinationCardID = cardID(to);
    values.label = label;
    if (deleted)
        values.deletedAt = at(30);
    return values;
}

// One note as the brief reads it; the entities are made fresh per test.
struct Scenario
{
    QString title = QStringLiteral("Pricing research");
    std::optional<QString> focus;
    QList<CanvasCard::Init> cards;
    QList<Connection::Values> connections;
    // Raw kinds the initializer cannot express ("ghost", unknown values).
    QHash<int, QString> rawKinds;
    QHash<int, QString> rawThoughtKinds;
    QList<int> trashed;
};

struct Built
{
    std::unique_ptr<Board> board;
    std::vector<std::unique_ptr<CanvasCard>> ownedCards;
    std::vector<std::unique_ptr<Connection>> ownedConnections;
    QList<CanvasCard *> cards;
    QList<Connection *> connections;
};

Built build(const Scenario &scenario)
{
    Built built;
    Board::Init note;
    note.title = scenario.title;
    note.focusQuestion = scenario.focus;
    note.createdAt = note.updatedAt = note.lastOpenedAt = at(0);
    built.board = std::make_unique<Board>(note);
    for (const CanvasCard::Init &init : scenario.cards) {
        auto card = std::make_unique<CanvasCard>(init);
        const int n = int(init.id.toString(QUuid::WithoutBraces).right(12).toInt());
        if (scenario.rawKinds.contains(n))
            card->setKindRawValue(scenario.rawKinds.value(n));
        if (scenario.rawThoughtKinds.contains(n))
            card->setThoughtKindRawValue(scenario.rawThoughtKinds.value(n));
        if (scenario.trashed.contains(n))
            card->moveToTrash(at(40));
        built.cards.append(card.get());
        built.ownedCards.push_back(std::move(card));
    }
    for (const Connection::Values &values : scenario.connections) {
        auto connection = std::make_unique<Connection>(values);
        built.connections.append(connection.get());
        built.ownedConnections.push_back(std::move(connection));
    }
    return built;
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

} // namespace

Q_DECLARE_METATYPE(Scenario)

class BoardBriefExportTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void markdown_data();
    void markdown();
    void recognisedTextIsCutAtSixHundredCharacters();
    void timestampFollowsLocaleAndZone_data();
    void timestampFollowsLocaleAndZone();
    void suggestedFileName_data();
    void suggestedFileName();
    void writeBriefIsUtf8AndReplacesWhole();
    void writeFailureLeavesNoFile();
    void exportWritesChosenFile();
    void cancelledExportWritesNothing();
    void failedExportIsReported();
};

void BoardBriefExportTest::markdown_data()
{
    QTest::addColumn<Scenario>("scenario");
    QTest::addColumn<QString>("expected");

    QTest::newRow("note without cards") << Scenario{} << QStringLiteral("# Pricing research\n\n") + footer();

    Scenario emptyTitle;
    emptyTitle.title = QString();
    emptyTitle.focus = QString();
    QTest::newRow("empty title and empty focus") << emptyTitle << QStringLiteral("# \n\n") + footer();

    Scenario spacesFocus;
    spacesFocus.title = QStringLiteral("  Spaced  ");
    spacesFocus.focus = QStringLiteral("   ");
    QTest::newRow("focus of spaces is kept")
        << spacesFocus << QStringLiteral("#   Spaced  \n\n> **Focus:**    \n\n") + footer();

    Scenario sections;
    sections.focus = QStringLiteral("Who pays *first*?");
    sections.cards = {thought(1, QStringLiteral("\n\nKeep the _blank_ lines\n\n"), ThoughtKind::thought, 5),
                      snip(2, QStringLiteral("  The chart  "), QStringLiteral("ignored"), 1),
                      snip(3, QStringLiteral(" \n "), QString(), 2),
                      thought(4, QStringLiteral("Why now?"), ThoughtKind::question, 3),
                      thought(5, QStringLiteral("Ship it"), ThoughtKind::decision, 4),
                      thought(6, QStringLiteral("Call Ana"), ThoughtKind::nextStep, 4),
                      thought(7, QStringLiteral("Odd kind"), ThoughtKind::thought, 6)};
    sections.rawThoughtKinds.insert(7, QStringLiteral("musing"));
    QTest::newRow("labels, bodies and creation order")
        << sections
        << QStringLiteral("# Pricing research\n\n"
                          "> **Focus:** Who pays *first*?\n\n"
                          "## Snip: Snip 2\n\n  The chart  \n\n"
                          "## Snip: Snip 3\n\nSnip 3\n\n"
                          "## Question: Thought 4\n\nWhy now?\n\n"
                          "## Decision: Thought 5\n\nShip it\n\n"
                          "## Next Step: Thought 6\n\nCall Ana\n\n"
                          "## Thought: Thought 1\n\n\n\nKeep the _blank_ lines\n\n\n\n"
                          "## Thought: Thought 7\n\nOdd kind\n\n")
            + footer();

    Scenario ties;
    ties.cards = {thought(3, QStringLiteral("c"), ThoughtKind::thought, 2), thought(1, QStringLiteral("a"), ThoughtKind::thought, 2),
                  thought(2, QStringLiteral("b"), ThoughtKind::thought, 1)};
    QTest::newRow("equal dates keep the given order")
        << ties
        << QStringLiteral("# Pricing research\n\n## Thought: Thought 2\n\nb\n\n## Thought: Thought 3\n\nc\n\n"
                          "## Thought: Thought 1\n\na\n\n")
            + footer();

    Scenario connections;
    connections.cards = {thought(1, QStringLiteral("a"), ThoughtKind::thought, 1), thought(2, QStringLiteral("b"), ThoughtKind::thought, 2),
                         thought(3, QStringLiteral("g"), ThoughtKind::thought, 3), thought(4, QStringLiteral("t"), ThoughtKind::thought, 4),
                         thought(5, QStringLiteral("new"), ThoughtKind::thought, 5)};
    connections.rawKinds.insert(3, QStringLiteral("ghost"));
    connections.rawKinds.insert(5, QStringLiteral("sketch"));
    connections.trashed = {4};
    connections.connections = {link(2, 1, QStringLiteral("answers")), link(1, 2, QString()),
                               link(1, 3, QStringLiteral("to a ghost")), link(4, 1, QStringLiteral("from the trash")),
                               link(1, 2, QStringLiteral("deleted"), true), link(1, 9, QStringLiteral("another note")),
                               link(5, 1, QStringLiteral(" "))};
    QTest::newRow("connections, ghosts, trash and unknown kinds")
        << connections
        << QStringLiteral("# Pricing research\n\n## Thought: Thought 1\n\na\n\n## Thought: Thought 2\n\nb\n\n"
                          "## Thought: Thought 5\n\nnew\n\n"
                          "## Connections\n\n- **Thought 2** answers **Thought 1**\n- **Thought 1** relates to **Thought 2**\n"
                          "- **Thought 5**   **Thought 1**\n\n")
            + footer();

    Scenario onlyGhostLinks;
    onlyGhostLinks.cards = {thought(1, QStringLiteral("a")), thought(2, QStringLiteral("ghost"))};
    onlyGhostLinks.rawKinds.insert(2, QStringLiteral("ghost"));
    onlyGhostLinks.connections = {link(1, 2, QStringLiteral("maybe"))};
    QTest::newRow("no line left, no connections block")
        << onlyGhostLinks << QStringLiteral("# Pricing research\n\n## Thought: Thought 1\n\na\n\n") + footer();
}

void BoardBriefExportTest::markdown()
{
    QFETCH(Scenario, scenario);
    QFETCH(QString, expected);
    const Built built = build(scenario);
    const QString brief = BoardBriefExportService::markdown(*built.board, built.cards, built.connections, fixedClock());
    QCOMPARE(brief, expected);
}

void BoardBriefExportTest::recognisedTextIsCutAtSixHundredCharacters()
{
    // "é" written as e + combining acute: two code units, one character.
    const QString character = QStringLiteral("e\u0301");
    Scenario scenario;
    scenario.cards = {snip(1, QStringLiteral("\t"), character.repeated(1000))};
    scenario.cards[0].title = QStringLiteral("Receipt");
    const Built built = build(scenario);
    const QString brief = BoardBriefExportService::markdown(*built.board, built.cards, built.connections, fixedClock());
    QCOMPARE(brief, QStringLiteral("# Pricing research\n\n## Snip: Receipt\n\n") + character.repeated(600)
                 + QStringLiteral("\n\n") + footer());
}

void BoardBriefExportTest::timestampFollowsLocaleAndZone_data()
{
    QTest::addColumn<QLocale>("locale");
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("expected");
    // The long date style names no weekday, in any language.
    QTest::newRow("English in UTC") << QLocale(QLocale::English, QLocale::UnitedStates) << QByteArray("UTC")
                                    << QStringLiteral("March 4, 2026 3:07 PM");
    QTest::newRow("German in Berlin") << QLocale(QLocale::German, QLocale::Germany) << QByteArray("Europe/Berlin")
                                      << QStringLiteral("4. März 2026 16:07");
    QTest::newRow("next day in Tokyo") << QLocale(QLocale::English, QLocale::UnitedKingdom) << QByteArray("Asia/Tokyo")
                                       << QStringLiteral("5 March 2026 00:07");
    QTest::newRow("Spanish keeps its words") << QLocale(QLocale::Spanish, QLocale::Spain) << QByteArray("UTC")
                                             << QStringLiteral("4 de marzo de 2026 15:07");
    QTest::newRow("Japanese keeps the day's sign") << QLocale(QLocale::Japanese, QLocale::Japan) << QByteArray("UTC")
                                                   << QStringLiteral("2026年3月4日 15:07");
    QTest::newRow("C locale shows no seconds") << QLocale::c() << QByteArray("UTC") << QStringLiteral("4 March 2026 15:07");
    QTest::newRow("Korean") << QLocale(QLocale::Korean, QLocale::SouthKorea) << QByteArray("UTC")
                            << QStringLiteral("2026년 3월 4일 오후 3:07");
}

void BoardBriefExportTest::timestampFollowsLocaleAndZone()
{
    QFETCH(QLocale, locale);
    QFETCH(QByteArray, zone);
    QFETCH(QString, expected);
    QCOMPARE(BoardBriefExportService::exportTimestamp({exportMoment, locale, QTimeZone(zone)}), expected);
}

void BoardBriefExportTest::suggestedFileName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("slashes and colons") << QStringLiteral("Q3/Q4: plan / review") << QStringLiteral("Q3-Q4- plan - review");
    QTest::newRow("trimmed") << QStringLiteral("  \n Roadmap \t ") << QStringLiteral("Roadmap");
    QTest::newRow("only spaces") << QStringLiteral("    ") << QStringLiteral("Tessaline Brief");
    QTest::newRow("empty") << QString() << QStringLiteral("Tessaline Brief");
    QTest::newRow("line break inside") << QStringLiteral("One\nTwo") << QStringLiteral("One Two");
    QTest::newRow("backslash is an ordinary character") << QStringLiteral("a\\b") << QStringLiteral("a\\b");
    // 200 two-byte letters: cut to fit 255 bytes together with ".md".
    QTest::newRow("long name fits a Linux file name") << QStringLiteral("é").repeated(200) << QStringLiteral("é").repeated(126);
}

void BoardBriefExportTest::suggestedFileName()
{
    QFETCH(QString, title);
    QFETCH(QString, expected);
    const QString name = BoardBriefExportService::suggestedFileName(title);
    QCOMPARE(name, expected);
    QVERIFY((name + QStringLiteral(".md")).toUtf8().size() <= 255);
}

void BoardBriefExportTest::writeBriefIsUtf8AndReplacesWhole()
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("brief.md"));
    {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }
    const QString text = QStringLiteral("# Größe 🌍\n");
    QVERIFY(BoardBriefExportService::writeBrief(path, text));
    const QByteArray bytes = readAll(path);
    QCOMPARE(bytes, text.toUtf8());
    QVERIFY(!bytes.startsWith("\xEF\xBB\xBF"));
}

void BoardBriefExportTest::writeFailureLeavesNoFile()
{
    QTemporaryDir directory;
    const QString path = directory.filePath(QStringLiteral("missing/brief.md"));
    const Expected<void, QString> written = BoardBriefExportService::writeBrief(path, QStringLiteral("# A\n"));
    QVERIFY(!written);
    QVERIFY(!written.error().isEmpty());
    QVERIFY(!QFile::exists(path));
}

void BoardBriefExportTest::exportWritesChosenFile()
{
    QTemporaryDir directory;
    Scenario scenario;
    scenario.title = QStringLiteral("Launch: plan");
    scenario.cards = {thought(1, QStringLiteral("first"))};
    const Built built = build(scenario);
    QWidget parent;

    std::optional<SaveFileOutcome> outcome;
    BoardBriefExportService::exportBrief(*built.board, built.cards, built.connections, &parent,
                                         [&](const SaveFileOutcome &answer) { outcome = answer; });
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(QDir(dialog->directory()).absolutePath(), QDir(SaveFileFlow::startDirectory()).absolutePath());
    QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QStringLiteral("Launch- plan.md"));

    // The brief shows the card as it is when the file is written.
    built.cards[0]->setMarkdownText(QStringLiteral("edited while the dialog was open"));
    const QString target = directory.filePath(QStringLiteral("launch.md"));
    dialog->selectFile(target);
    static_cast<QDialog *>(dialog)->accept();
    QTRY_VERIFY(outcome.has_value());
    QCOMPARE(outcome->value_or(SaveFileStatus::cancelled), SaveFileStatus::saved);
    const QString written = QString::fromUtf8(readAll(target));
    QVERIFY2(written.startsWith(QStringLiteral("# Launch: plan\n\n## Thought: Thought 1\n\nedited while the dialog was open\n\n"
                                               "---\nExported from Tessaline on ")),
             qPrintable(written));
    QVERIFY(written.endsWith(QStringLiteral(".\n")));
}

void BoardBriefExportTest::cancelledExportWritesNothing()
{
    QTemporaryDir directory;
    const Built built = build(Scenario{});
    QWidget parent;
    std::optional<SaveFileOutcome> outcome;
    BoardBriefExportService::exportBrief(*built.board, built.cards, built.connections, &parent,
                                         [&](const SaveFileOutcome &answer) { outcome = answer; });
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    dialog->selectFile(directory.filePath(QStringLiteral("never.md")));
    dialog->reject();
    QTRY_VERIFY(outcome.has_value());
    QCOMPARE(outcome->value_or(SaveFileStatus::saved), SaveFileStatus::cancelled);
    QVERIFY(QDir(directory.path()).isEmpty());
}

void BoardBriefExportTest::failedExportIsReported()
{
    QTemporaryDir directory;
    const Built built = build(Scenario{});
    QWidget parent;
    std::optional<SaveFileOutcome> outcome;
    int answers = 0;
    BoardBriefExportService::exportBrief(*built.board, built.cards, built.connections, &parent,
                                         [&](const SaveFileOutcome &answer) {
                                             outcome = answer;
                                             ++answers;
                                         });
    QFileDialog *dialog = shownFileDialog();
    QVERIFY(dialog);
    // A name longer than Linux allows fails to write even for root.
    const QString target = directory.filePath(QStringLiteral("n").repeated(300) + QStringLiteral(".md"));
    dialog->selectFile(target);
    const QPointer<QFileDialog> shown(dialog);
    static_cast<QDialog *>(dialog)->done(QDialog::Accepted);
    QTRY_VERIFY(outcome.has_value());
    // The reason goes back to the caller, who shows it; the export itself
    // shows nothing. Once the dialog is gone there is still one answer.
    QVERIFY(!*outcome);
    QVERIFY(!outcome->error().isEmpty());
    QTRY_VERIFY(!shown);
    QCOMPARE(answers, 1);
    for (QWidget *window : QApplication::topLevelWidgets())
        QVERIFY(!qobject_cast<QMessageBox *>(window) || !window->isVisible());
    QVERIFY(QDir(directory.path()).isEmpty());
}

QTEST_MAIN(BoardBriefExportTest)
#include "tst_boardbriefexport.moc"

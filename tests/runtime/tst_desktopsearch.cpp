// The desktop's search over a real library and a real index (SQLite files
// in a temporary folder), asked over a private session bus through a
// connection of its own, as GNOME Shell and KRunner ask.
#include "runtime/CapturePipeline.h"
#include "runtime/DesktopSearch.h"

#include "../support/LibraryBuilder.h"
#include "library/SearchMatching.h"
#include "model/CardCatalog.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/DesktopSearchBus.h"
#include "platform/SearchIndex.h"
#include "platform/UuidText.h"
#include "runtime/AppRuntime.h"
#include "runtime/DesktopSearchIndexService.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// What the other end of the bus reads back.
struct IconData
{
    int width = 0, height = 0, rowStride = 0;
    bool hasAlpha = false;
    int bitsPerSample = 0, channels = 0;
    QByteArray pixels;
};

IconData iconData(const QVariant &value)
{
    IconData icon;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginStructure();
    argument >> icon.width >> icon.height >> icon.rowStride >> icon.hasAlpha >> icon.bitsPerSample >> icon.channels
        >> icon.pixels;
    argument.endStructure();
    return icon;
}

QList<QVariantMap> maps(const QDBusMessage &reply)
{
    QList<QVariantMap> list;
    const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
    argument >> list;
    return list;
}

struct Match
{
    QString id, text, iconName;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};

QList<Match> matches(const QDBusMessage &reply)
{
    QList<Match> list;
    const QDBusArgument argument = reply.arguments().value(0).value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        Match match;
        argument.beginStructure();
        argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance;
        // a{sv} read by hand: the values stay as the bus sent them.
        argument.beginMap();
        while (!argument.atEnd()) {
            QString key;
            QDBusVariant value;
            argument.beginMapEntry();
            argument >> key >> value;
            argument.endMapEntry();
            match.properties.insert(key, value.variant());
        }
        argument.endMap();
        argument.endStructure();
        list << match;
    }
    argument.endArray();
    return list;
}

} // namespace

class DesktopSearchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void results_data();
    void results();
    void resultMetas();
    void runner();
    void activation_data();
    void activation();
    void carriedOnSearchShowsWhatWasListed_data();
    void carriedOnSearchShowsWhatWasListed();
    void methodSignatures();
    void followsTheLibrary();
    void dataFilesNameTheBus_data();
    void dataFilesNameTheBus();
    void brokenFilesAnswerNothing_data();
    void brokenFilesAnswerNothing();

private:
    // Serves the library with the index at `indexPath` on the bus.
    void serve(const QString &indexPath);
    QDBusMessage call(const QString &path, const QString &interface, const QString &method,
                      const QVariantList &arguments = {});
    QDBusMessage callProvider(const QString &method, const QVariantList &arguments = {})
    {
        return call(DesktopSearchBus::searchProviderPath(), QStringLiteral("org.gnome.Shell.SearchProvider2"), method,
                    arguments);
    }
    QDBusMessage callRunner(const QString &method, const QVariantList &arguments = {})
    {
        return call(DesktopSearchBus::runnerPath(), QStringLiteral("org.kde.krunner1"), method, arguments);
    }

    QTemporaryDir m_dir;
    QString m_libraryPath;
    QString m_indexPath;
    QHash<QString, QString> m_ids; // by the test's name for each snip
    std::unique_ptr<DesktopSearch> m_search;
    std::unique_ptr<DesktopSearchBus> m_bus;
};

void DesktopSearchTest::initTestCase()
{
    QVERIFY(m_dir.isValid());
    ModelContainer::Configuration configuration;
    configuration.directory = m_dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    m_libraryPath = (*container)->filePath();
    m_indexPath = m_dir.filePath(QStringLiteral("SearchIndex.sqlite"));
    ModelContext &context = *(*container)->mainContext();

    Board *research = addNote(context, {.title = QStringLiteral("Research")});
    Board *old = addNote(context, {.title = QStringLiteral("Old plans")});
    struct Snip
    {
        QString name;
        Board *note;
        QString title;
        QString text;
        std::optional<QString> app;
        qint64 changed;
        std::optional<QByteArray> image;
    };
    QList<Snip> snips{
        {QStringLiteral("chart"), research, QStringLiteral("Quarterly revenue chart"),
         QStringLiteral("Revenue grew in Zürich"), QStringLiteral("Firefox"), 30, pngOf(Qt::darkBlue, QSize(900, 450))},
        {QStringLiteral("forecast"), research, QStringLiteral("Revenue forecast"), QString(),
         QStringLiteral("LibreOffice Calc"), 20, std::nullopt},
        {QStringLiteral("trashed"), research, QStringLiteral("Revenue slide"), QString(), std::nullopt, 40, std::nullopt},
        {QStringLiteral("in old note"), old, QStringLiteral("Revenue draft"), QString(), std::nullopt, 50, std::nullopt},
        {QStringLiteral("purged"), research, QStringLiteral("Revenue table"), QString(), std::nullopt, 60, std::nullopt},
    };
    for (int i = 0; i < 12; ++i)
        snips << Snip{QStringLiteral("invoice %1").arg(i), research, QStringLiteral("Invoice %1").arg(i), QString(),
                      std::nullopt, 100 + i, std::nullopt};
    // More snips than the newest checked first, the newest of them holding
    // a common word, so answers come both from the newest alone and from
    // every snip.
    const qsizetype firstMemo = snips.size();
    for (int i = 0; i < 250; ++i)
        snips << Snip{QStringLiteral("memo %1").arg(i), research, QStringLiteral("Memo %1").arg(i),
                      i % 3 == 0 ? QStringLiteral("ledger") : QStringLiteral("budget"), std::nullopt, 200 + i,
                      std::nullopt};
    // Older than all of those, beyond every snip checked one by one: found
    // through the words' lookup, in the library's order.
    for (int i = 0; i < 100; ++i)
        snips << Snip{QStringLiteral("archive %1").arg(i), research, QStringLiteral("Archive %1").arg(i),
                      i % 2 == 0 ? QStringLiteral("shelved") : QStringLiteral("kept"), std::nullopt, i - 100,
                      std::nullopt};
    QList<CanvasCard *> cards;
    for (const Snip &snip : snips) {
        CanvasCard *card = addCard(context, snip.note->id(), {.title = snip.title, .image = snip.image});
        card->setOcrText(snip.text);
        card->setSourceApplicationName(snip.app);
        card->setUpdatedAt(at(snip.changed));
        m_ids.insert(snip.name, uuidText(card->id()));
        cards << card;
    }
    QVERIFY(context.save());

    // Indexed as the app indexes each snip once its text is read.
    {
        SearchIndex index(m_indexPath);
        QList<SearchableItem> items;
        for (const CanvasCard *card : std::as_const(cards))
            items << DesktopSearchIndexService::searchableItem(CapturePipeline::desktopSearchRecord(card, {research, old}),
                                                           DesktopSearchIndexService::defaultDomainIdentifier());
        QVERIFY(index.indexItems(items));
    }

    // Then some of them leave: one to Recently Deleted, one with its whole
    // note, one deleted for good while the app could not tell the index.
    cards.at(2)->moveToTrash(at(41));
    cards.at(firstMemo + 248)->moveToTrash(at(500));
    old->moveToTrash(at(51));
    context.remove(cards.at(4));
    QVERIFY(context.save());
}

void DesktopSearchTest::serve(const QString &indexPath)
{
    m_bus.reset();
    m_search = std::make_unique<DesktopSearch>(
        std::make_unique<SearchIndex>(indexPath, SearchIndex::Creation::existingOnly),
        std::make_unique<CardCatalog>(m_libraryPath));
    m_bus = std::make_unique<DesktopSearchBus>(*m_search);
    const auto registered = m_bus->registerOnBus();
    QVERIFY2(registered, qPrintable(registered ? QString() : registered.error()));
}

void DesktopSearchTest::cleanup()
{
    m_bus.reset();
    m_search.reset();
}

QDBusMessage DesktopSearchTest::call(const QString &path, const QString &interface, const QString &method,
                                     const QVariantList &arguments)
{
    // A connection apart from the one the objects are on, so every call goes
    // through the bus daemon and is marshalled as a desktop's would be.
    QDBusConnection client = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("client"));
    QDBusMessage message = QDBusMessage::createMethodCall(DesktopSearchBus::serviceName(), path, interface, method);
    message.setArguments(arguments);
    return client.call(message, QDBus::BlockWithGui, 10'000);
}

void DesktopSearchTest::results_data()
{
    QTest::addColumn<QStringList>("terms");
    QTest::addColumn<QStringList>("expected"); // the test's names, in order
    QTest::newRow("newest first, deleted ones out") << QStringList{"revenue"} << QStringList{"chart", "forecast"};
    QTest::newRow("case and accents ignored") << QStringList{"GREW", "in", "zurich"} << QStringList{"chart"};
    QTest::newRow("source application") << QStringList{"firefox"} << QStringList{"chart"};
    QTest::newRow("source application, two words") << QStringList{"libreoffice", "CALC"} << QStringList{"forecast"};
    QTest::newRow("inside a word") << QStringList{"venu"} << QStringList{"chart", "forecast"};
    // The words as one phrase, as the app's Search finds it.
    QTest::newRow("words next to each other") << QStringList{"memo", "23"}
                                              << QStringList{"memo 239", "memo 238", "memo 237", "memo 236",
                                                             "memo 235", "memo 234", "memo 233", "memo 232",
                                                             "memo 231", "memo 230"};
    QTest::newRow("words apart") << QStringList{"quarterly", "chart"} << QStringList{};
    QTest::newRow("words in two fields") << QStringList{"research", "calc"} << QStringList{};
    QTest::newRow("a word found nowhere") << QStringList{"revenue", "giraffe"} << QStringList{};
    QTest::newRow("a screenful at most")
        << QStringList{"invoice"}
        << QStringList{"invoice 11", "invoice 10", "invoice 9", "invoice 8", "invoice 7",
                       "invoice 6",  "invoice 5",  "invoice 4", "invoice 3", "invoice 2"};
    QTest::newRow("nothing asked") << QStringList{} << QStringList{};
    QTest::newRow("common word: from the newest")
        << QStringList{"budget"}
        << QStringList{"memo 247", "memo 245", "memo 244", "memo 242", "memo 241",
                       "memo 239", "memo 238", "memo 236", "memo 235", "memo 233"};
    QTest::newRow("a word only old snips hold")
        << QStringList{"shelved"}
        << QStringList{"archive 98", "archive 96", "archive 94", "archive 92", "archive 90",
                       "archive 88", "archive 86", "archive 84", "archive 82", "archive 80"};
    QTest::newRow("short words") << QStringList{"o", "9"}
                                 << QStringList{"memo 99", "memo 98", "memo 97", "memo 96", "memo 95",
                                                "memo 94", "memo 93", "memo 92", "memo 91", "memo 90"};
    QTest::newRow("a short word") << QStringList{"23"}
                                  << QStringList{"memo 239", "memo 238", "memo 237", "memo 236", "memo 235",
                                                 "memo 234", "memo 233", "memo 232", "memo 231", "memo 230"};
}

void DesktopSearchTest::results()
{
    QFETCH(QStringList, terms);
    QFETCH(QStringList, expected);
    serve(m_indexPath);
    QStringList ids;
    for (const QString &name : std::as_const(expected))
        ids << m_ids.value(name);

    const QDBusMessage initial = callProvider(QStringLiteral("GetInitialResultSet"), {terms});
    QCOMPARE(initial.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(initial.arguments().value(0).toStringList(), ids);
    // A narrowed search is answered in full: an earlier bounded answer
    // had no room for everything.
    const QDBusMessage narrowed =
        callProvider(QStringLiteral("GetSubsearchResultSet"), {QStringList{m_ids.value("forecast")}, terms});
    QCOMPARE(narrowed.arguments().value(0).toStringList(), ids);

    const QDBusMessage matched = callRunner(QStringLiteral("Match"), {terms.join(QLatin1Char(' '))});
    QCOMPARE(matched.type(), QDBusMessage::ReplyMessage);
    QStringList runnerIds;
    double lastRelevance = 1;
    for (const Match &match : matches(matched)) {
        runnerIds << match.id;
        QVERIFY(match.relevance < lastRelevance);
        lastRelevance = match.relevance;
    }
    QCOMPARE(runnerIds, ids);
}

void DesktopSearchTest::resultMetas()
{
    serve(m_indexPath);
    const QStringList asked{m_ids.value("forecast"), m_ids.value("purged"), QStringLiteral("garbage"),
                            m_ids.value("chart"), m_ids.value("trashed")};
    const QDBusMessage reply = callProvider(QStringLiteral("GetResultMetas"), {asked});
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(reply.signature(), QStringLiteral("aa{sv}"));
    const QList<QVariantMap> metas = maps(reply);
    QCOMPARE(metas.size(), 2);

    const QVariantMap forecast = metas.at(0);
    QCOMPARE(forecast.value("id").toString(), m_ids.value("forecast"));
    QCOMPARE(forecast.value("name").toString(), QStringLiteral("Revenue forecast"));
    QCOMPARE(forecast.value("description").toString(), QStringLiteral("Research \u00B7 LibreOffice Calc"));
    // Without a picture, the app's icon.
    QVERIFY(!forecast.contains("icon-data"));
    QCOMPARE(forecast.value("gicon").toString(), QStringLiteral("org.tessaline.Tessaline"));

    const QVariantMap chart = metas.at(1);
    QCOMPARE(chart.value("id").toString(), m_ids.value("chart"));
    QCOMPARE(chart.value("name").toString(), QStringLiteral("Quarterly revenue chart"));
    QCOMPARE(chart.value("description").toString(), QStringLiteral("Research \u00B7 Firefox"));
    // The stored thumbnail: the 900 by 450 picture at the size the shells
    // draw icons, twice over for a screen of double density.
    const IconData icon = iconData(chart.value("icon-data"));
    QCOMPARE(QSize(icon.width, icon.height), QSize(64, 32));
    QCOMPARE(icon.rowStride, icon.width * 4);
    QVERIFY(icon.hasAlpha);
    QCOMPARE(icon.bitsPerSample, 8);
    QCOMPARE(icon.channels, 4);
    QCOMPARE(icon.pixels.size(), qsizetype(icon.rowStride) * icon.height);
    const QColor middle = QColor::fromRgb(quint8(icon.pixels[0]), quint8(icon.pixels[1]), quint8(icon.pixels[2]));
    QCOMPARE(middle, QColor(Qt::darkBlue));

    // An index an earlier version wrote holds thumbnails of 256 px: sent at
    // the same size as the new ones.
    const QString earlier = m_dir.filePath(QStringLiteral("Earlier.sqlite"));
    QFile::remove(earlier);
    QVERIFY(QFile::copy(m_indexPath, earlier));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("earlier"));
        db.setDatabaseName(earlier);
        QVERIFY(db.open());
        QSqlQuery query(db);
        query.prepare(QStringLiteral("UPDATE items SET thumbnail = ? WHERE identifier = ?"));
        query.addBindValue(pngOf(Qt::darkBlue, QSize(256, 128)));
        query.addBindValue(m_ids.value("chart"));
        QVERIFY(query.exec());
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("earlier"));
    serve(earlier);
    const QList<QVariantMap> earlierMetas =
        maps(callProvider(QStringLiteral("GetResultMetas"), {QStringList{m_ids.value("chart")}}));
    QCOMPARE(earlierMetas.size(), 1);
    const IconData shrunk = iconData(earlierMetas.at(0).value("icon-data"));
    QCOMPARE(QSize(shrunk.width, shrunk.height), QSize(64, 32));
}

void DesktopSearchTest::runner()
{
    serve(m_indexPath);
    const QList<Match> found = matches(callRunner(QStringLiteral("Match"), {QStringLiteral(" grew  in zurich")}));
    QCOMPARE(found.size(), 1);
    QCOMPARE(found.at(0).id, m_ids.value("chart"));
    QCOMPARE(found.at(0).text, QStringLiteral("Quarterly revenue chart"));
    QCOMPARE(found.at(0).iconName, QStringLiteral("org.tessaline.Tessaline"));
    QCOMPARE(found.at(0).properties.value("subtext").toString(), QStringLiteral("Research \u00B7 Firefox"));
    QCOMPARE(iconData(found.at(0).properties.value("icon-data")).width, 64);

    const QDBusMessage actions = callRunner(QStringLiteral("Actions"));
    QCOMPARE(actions.signature(), QStringLiteral("a(sss)"));
    QStringList action;
    const QDBusArgument argument = actions.arguments().value(0).value<QDBusArgument>();
    argument.beginArray();
    while (!argument.atEnd()) {
        QString id, text, icon;
        argument.beginStructure();
        argument >> id >> text >> icon;
        argument.endStructure();
        action << id << text << icon;
    }
    argument.endArray();
    QCOMPARE(action, (QStringList{"search", "Search in Tessaline", "edit-find"}));
}

void DesktopSearchTest::activation_data()
{
    QTest::addColumn<QString>("method"); // a provider method or "Run"
    QTest::addColumn<QString>("target");  // a snip's name, or the action
    QTest::addColumn<QString>("opened");  // the snip opened, if any
    QTest::addColumn<QString>("searched"); // the search asked for, if any
    QTest::newRow("result picked") << "ActivateResult" << "chart" << "chart" << QString();
    QTest::newRow("deleted meanwhile: nothing") << "ActivateResult" << "trashed" << QString() << QString();
    QTest::newRow("purged: nothing") << "ActivateResult" << "purged" << QString() << QString();
    QTest::newRow("search carried on") << "LaunchSearch" << QString() << QString() << "quarterly chart";
    QTest::newRow("runner match run") << "Run" << "chart" << "chart" << QString();
    QTest::newRow("runner search action") << "Run" << "search" << QString() << "quarterly chart";
}

void DesktopSearchTest::activation()
{
    QFETCH(QString, method);
    QFETCH(QString, target);
    QFETCH(QString, opened);
    QFETCH(QString, searched);
    serve(m_indexPath);
    QSignalSpy openedSpy(m_search.get(), &DesktopSearch::snipActivated);
    QSignalSpy searchedSpy(m_search.get(), &DesktopSearch::searchRequested);
    const QStringList terms{"quarterly", "chart"};
    QDBusMessage reply;
    if (method == QLatin1String("ActivateResult")) {
        reply = callProvider(method, {m_ids.value(target), terms, 0u});
    } else if (method == QLatin1String("LaunchSearch")) {
        reply = callProvider(method, {terms, 0u});
    } else {
        callRunner(QStringLiteral("Match"), {terms.join(QLatin1Char(' '))});
        reply = target == QLatin1String("search") ? callRunner(method, {m_ids.value("chart"), target})
                                                  : callRunner(method, {m_ids.value(target), QString()});
    }
    QCOMPARE(reply.type(), QDBusMessage::ReplyMessage);
    QCOMPARE(openedSpy.size(), opened.isEmpty() ? 0 : 1);
    if (!opened.isEmpty())
        QCOMPARE(uuidText(openedSpy.at(0).at(0).toUuid()), m_ids.value(opened));
    QCOMPARE(searchedSpy.size(), searched.isEmpty() ? 0 : 1);
    if (!searched.isEmpty())
        QCOMPARE(searchedSpy.at(0).at(0).toString(), searched);
}

void DesktopSearchTest::carriedOnSearchShowsWhatWasListed_data()
{
    QTest::addColumn<QString>("desktop"); // "gnome" or "kde"
    QTest::addColumn<QStringList>("terms");
    QTest::addColumn<bool>("listsSome");
    for (const char *desktop : {"gnome", "kde"}) {
        QTest::addRow("%s, words apart", desktop) << desktop << QStringList{"quarterly", "chart"} << false;
        QTest::addRow("%s, words in two fields", desktop) << desktop << QStringList{"revenue", "firefox"} << false;
        QTest::addRow("%s, note and app", desktop) << desktop << QStringList{"research", "calc"} << false;
        QTest::addRow("%s, a phrase", desktop) << desktop << QStringList{"grew", "in", "ZURICH"} << true;
        QTest::addRow("%s, short words", desktop) << desktop << QStringList{"o", "9"} << true;
    }
}

// "Search in Tessaline" (GNOME's LaunchSearch, KRunner's search action)
// opens the app's Search on the text the desktop searched: every snip the
// desktop listed for it is among that search's snips.
void DesktopSearchTest::carriedOnSearchShowsWhatWasListed()
{
    QFETCH(QString, desktop);
    QFETCH(QStringList, terms);
    QFETCH(bool, listsSome);
    serve(m_indexPath);
    QSignalSpy searched(m_search.get(), &DesktopSearch::searchRequested);
    QStringList listed;
    if (desktop == QLatin1String("gnome")) {
        listed = callProvider(QStringLiteral("GetInitialResultSet"), {terms}).arguments().value(0).toStringList();
        QCOMPARE(callProvider(QStringLiteral("LaunchSearch"), {terms, 0u}).type(), QDBusMessage::ReplyMessage);
    } else {
        for (const Match &match : matches(callRunner(QStringLiteral("Match"), {terms.join(QLatin1Char(' '))})))
            listed << match.id;
        QCOMPARE(callRunner(QStringLiteral("Run"), {listed.value(0), QStringLiteral("search")}).type(),
                 QDBusMessage::ReplyMessage);
    }
    QCOMPARE(searched.size(), 1);
    QCOMPARE(!listed.isEmpty(), listsSome);

    ModelContainer::Configuration configuration;
    configuration.directory = m_dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    ModelContext &context = *(*container)->mainContext();
    const SearchResults shown(*context.fetchBoards(), *context.fetchCards(), searched.at(0).at(0).toString(),
                              SearchScope::all);
    QSet<QString> found;
    for (const CanvasCard *card : shown.snipResults())
        found.insert(uuidText(card->id()));
    for (const QString &id : std::as_const(listed))
        QVERIFY2(found.contains(id), qPrintable(m_ids.key(id)));
}

void DesktopSearchTest::methodSignatures()
{
    // The signatures the shells' proxies are built from: a method whose
    // types drift is answered with an error, and shows nothing.
    serve(m_indexPath);
    const auto signatures = [this](const QString &path) {
        const QString xml = call(path, QStringLiteral("org.freedesktop.DBus.Introspectable"), QStringLiteral("Introspect"))
                                .arguments()
                                .value(0)
                                .toString();
        QStringList found;
        const QRegularExpression interfaces(QStringLiteral("<interface name=\"([^\"]+)\">(.*?)</interface>"),
                                            QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpression methods(QStringLiteral("<method name=\"([^\"]+)\"(?:/>|>(.*?)</method>)"),
                                         QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpression arguments(QStringLiteral("<arg [^>]*type=\"([^\"]+)\" direction=\"(in|out)\""));
        for (const auto &interface : interfaces.globalMatch(xml)) {
            if (interface.captured(1).startsWith(QLatin1String("org.freedesktop.DBus")))
                continue;
            for (const auto &method : methods.globalMatch(interface.captured(2))) {
                QStringList in, out;
                for (const auto &argument : arguments.globalMatch(method.captured(2)))
                    (argument.captured(2) == QLatin1String("in") ? in : out) << argument.captured(1);
                found << interface.captured(1) + QLatin1Char('.') + method.captured(1) + QLatin1Char('(')
                             + in.join(QLatin1Char(',')) + QStringLiteral(")->") + out.join(QLatin1Char(','));
            }
        }
        found.sort();
        return found;
    };
    QCOMPARE(signatures(DesktopSearchBus::searchProviderPath()),
             (QStringList{
                 "org.gnome.Shell.SearchProvider2.ActivateResult(s,as,u)->",
                 "org.gnome.Shell.SearchProvider2.GetInitialResultSet(as)->as",
                 "org.gnome.Shell.SearchProvider2.GetResultMetas(as)->aa{sv}",
                 "org.gnome.Shell.SearchProvider2.GetSubsearchResultSet(as,as)->as",
                 "org.gnome.Shell.SearchProvider2.LaunchSearch(as,u)->",
             }));
    QCOMPARE(signatures(DesktopSearchBus::runnerPath()), (QStringList{
                                                             "org.kde.krunner1.Actions()->a(sss)",
                                                             "org.kde.krunner1.Match(s)->a(sssida{sv})",
                                                             "org.kde.krunner1.Run(s,s)->",
                                                             "org.kde.krunner1.Teardown()->",
                                                         }));
}

void DesktopSearchTest::followsTheLibrary()
{
    // The answering process lives on while the app changes the library.
    serve(m_indexPath);
    const auto answer = [this] {
        return callProvider(QStringLiteral("GetInitialResultSet"), {QStringList{"forecast"}}).arguments().value(0).toStringList();
    };
    QCOMPARE(answer(), QStringList{m_ids.value("forecast")});

    ModelContainer::Configuration configuration;
    configuration.directory = m_dir.path();
    auto container = ModelContainer::open(configuration);
    QVERIFY(container);
    ModelContext &context = *(*container)->mainContext();
    const auto cards = context.fetchCards();
    QVERIFY(cards);
    CanvasCard *forecast = *std::find_if(cards->cbegin(), cards->cend(), [this](const CanvasCard *card) {
        return uuidText(card->id()) == m_ids.value("forecast");
    });
    forecast->moveToTrash(at(70));
    QVERIFY(context.save());
    QCOMPARE(answer(), QStringList{});
    QCOMPARE(maps(callProvider(QStringLiteral("GetResultMetas"), {QStringList{m_ids.value("forecast")}})).size(), 0);

    forecast->restoreFromTrash(at(80));
    QVERIFY(context.save());
    QCOMPARE(answer(), QStringList{m_ids.value("forecast")});
}

void DesktopSearchTest::dataFilesNameTheBus_data()
{
    // What the desktops read to find the app: a name or path that drifted
    // from the code would leave the search silently without results.
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    const QString provider = QStringLiteral("org.tessaline.Tessaline.search-provider.ini");
    const QString runner = QStringLiteral("org.tessaline.Tessaline.runner.desktop");
    const QString service = QStringLiteral("org.tessaline.Tessaline.service.in");
    QTest::newRow("provider's bus name") << provider << "Shell Search Provider/BusName" << DesktopSearchBus::serviceName();
    QTest::newRow("provider's path") << provider << "Shell Search Provider/ObjectPath" << DesktopSearchBus::searchProviderPath();
    QTest::newRow("provider's version") << provider << "Shell Search Provider/Version" << "2";
    QTest::newRow("provider's application") << provider << "Shell Search Provider/DesktopId"
                                            << "org.tessaline.Tessaline.desktop";
    QTest::newRow("runner's bus name") << runner << "Desktop Entry/X-Plasma-DBusRunner-Service"
                                       << DesktopSearchBus::serviceName();
    QTest::newRow("runner's path") << runner << "Desktop Entry/X-Plasma-DBusRunner-Path" << DesktopSearchBus::runnerPath();
    QTest::newRow("runner's API") << runner << "Desktop Entry/X-Plasma-API" << "DBus";
    QTest::newRow("service's name") << service << "D-BUS Service/Name" << DesktopSearchBus::serviceName();
    QTest::newRow("service's start") << service << "D-BUS Service/Exec" << "@TESSALINE_BINDIR@/tessaline --search-provider";
}

void DesktopSearchTest::dataFilesNameTheBus()
{
    QFETCH(QString, file);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = QStringLiteral(TESSALINE_DATA_DIR "/") + file;
    QVERIFY(QFile::exists(path));
    const QSettings settings(path, QSettings::IniFormat);
    QCOMPARE(settings.value(key).toString(), expected);
}

void DesktopSearchTest::brokenFilesAnswerNothing_data()
{
    QTest::addColumn<QByteArray>("index"); // null: no index file
    QTest::newRow("no index yet") << QByteArray();
    QTest::newRow("not a database") << QByteArray("some words that are no index\n").repeated(300);
    QTest::newRow("header only") << QByteArray("SQLite format 3\0", 16);
}

void DesktopSearchTest::brokenFilesAnswerNothing()
{
    QFETCH(QByteArray, index);
    const QString path = m_dir.filePath(QStringLiteral("Broken-%1.sqlite").arg(QTest::currentDataTag()));
    if (!index.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(index);
    }
    serve(path);
    QCOMPARE(callProvider(QStringLiteral("GetInitialResultSet"), {QStringList{"revenue"}}).arguments().value(0).toStringList(),
             QStringList{});
    QCOMPARE(maps(callProvider(QStringLiteral("GetResultMetas"), {QStringList{m_ids.value("chart")}})).size(), 0);
    QCOMPARE(matches(callRunner(QStringLiteral("Match"), {QStringLiteral("revenue")})).size(), 0);
    QCOMPARE(QFile::exists(path), !index.isNull());
    // The library alone still knows which snips may be opened.
    QSignalSpy opened(m_search.get(), &DesktopSearch::snipActivated);
    callProvider(QStringLiteral("ActivateResult"), {m_ids.value("chart"), QStringList{}, 0u});
    QCOMPARE(opened.size(), 1);
}

QTEST_GUILESS_MAIN(DesktopSearchTest)
#include "tst_desktopsearch.moc"

#include "platform/SearchIndex.h"

#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;

namespace {

SearchableItem card(const QString &id, const QString &title, const QString &text)
{
    SearchableItem item;
    item.uniqueIdentifier = id;
    item.domainIdentifier = QStringLiteral("org.tessaline.Tessaline.cards");
    item.title = title;
    item.contentDescription = text;
    item.keywords = {QStringLiteral("Research"), QStringLiteral("Firefox")};
    item.creator = QStringLiteral("Firefox");
    item.thumbnailData = QByteArray("\x89PNG\0\1\2", 7);
    return item;
}

const QString first = QStringLiteral("0F8FAD5B-D9CB-469F-A165-70867728950E");
const QString second = QStringLiteral("7C9E6679-7425-40DE-944B-E07FC1F90AE7");

} // namespace

class SearchIndexTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void roundTrip();
    void search_data();
    void search();
    void replaceKeepsOneEntry();
    void removeForgetsEverything();
    void survivesReopening();
    void unwritableLocationFails();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<SearchIndex> m_index;
};

void SearchIndexTest::init()
{
    m_index.reset();
    m_dir = std::make_unique<QTemporaryDir>();
    m_index = std::make_unique<SearchIndex>(m_dir->filePath(QStringLiteral("SearchIndex.sqlite")));
    QVERIFY(m_index->indexItems({card(first, QStringLiteral("Quarterly revenue chart"),
                                       QStringLiteral("Revenue grew 12% in Zürich")),
                                  card(second, QStringLiteral("Login screen"), QStringLiteral("Password field"))}));
}

void SearchIndexTest::roundTrip()
{
    SearchableItem bare;
    bare.uniqueIdentifier = QStringLiteral("1B4E28BA-2FA1-11D2-883F-0016D3CCA427");
    bare.domainIdentifier = QStringLiteral("d");
    bare.title = QStringLiteral("t");
    bare.keywords = {QString()}; // an empty note name stays a keyword
    QVERIFY(m_index->indexItems({bare}));
    QCOMPARE(m_index->item(bare.uniqueIdentifier), std::optional<SearchableItem>(bare));
    const SearchableItem full = card(first, QStringLiteral("Quarterly revenue chart"), QStringLiteral("Revenue grew 12% in Zürich"));
    QCOMPARE(m_index->item(first), std::optional<SearchableItem>(full));
    QCOMPARE(m_index->count(), 3);
}

void SearchIndexTest::search_data()
{
    QTest::addColumn<QString>("query");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("title word") << "revenue" << QStringList{first};
    QTest::newRow("prefix") << "quart" << QStringList{first};
    QTest::newRow("description") << "password" << QStringList{second};
    QTest::newRow("keyword matches both") << "research" << QStringList{first, second};
    QTest::newRow("every word must match") << "login password" << QStringList{second};
    QTest::newRow("diacritics folded") << "zurich" << QStringList{first};
    QTest::newRow("no match") << "giraffe" << QStringList{};
    QTest::newRow("blank") << "   " << QStringList{};
    QTest::newRow("syntax is plain text") << "\"login\" OR NEAR( *" << QStringList{};
    QTest::newRow("quote inside word") << "log\"in" << QStringList{};
    QTest::newRow("punctuation-only word left out") << "revenue * -" << QStringList{first};
}

void SearchIndexTest::search()
{
    QFETCH(QString, query);
    QFETCH(QStringList, expected);
    QStringList found = m_index->search(query);
    found.sort();
    expected.sort();
    QCOMPARE(found, expected);
}

void SearchIndexTest::replaceKeepsOneEntry()
{
    QVERIFY(m_index->indexItems({card(first, QStringLiteral("Pipeline diagram"), QStringLiteral("stages"))}));
    QCOMPARE(m_index->count(), 2);
    QCOMPARE(m_index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("pipeline")), QStringList{first});
    QCOMPARE(m_index->item(first)->title, QStringLiteral("Pipeline diagram"));
}

void SearchIndexTest::removeForgetsEverything()
{
    QVERIFY(m_index->deleteItems({first, QStringLiteral("not-there")}));
    QVERIFY(!m_index->item(first));
    QCOMPARE(m_index->search(QStringLiteral("revenue")), QStringList{});
    QCOMPARE(m_index->search(QStringLiteral("research")), QStringList{second});
    QCOMPARE(m_index->count(), 1);
}

void SearchIndexTest::survivesReopening()
{
    const QString path = m_index->filePath();
    m_index.reset();
    SearchIndex reopened(path);
    QCOMPARE(reopened.count(), 2);
    QCOMPARE(reopened.search(QStringLiteral("login")), QStringList{second});
}

void SearchIndexTest::unwritableLocationFails()
{
    QFile blocker(m_dir->filePath(QStringLiteral("file")));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    SearchIndex index(m_dir->filePath(QStringLiteral("file/SearchIndex.sqlite")));
    const auto indexed = index.indexItems({card(first, QStringLiteral("a"), QStringLiteral("b"))});
    QVERIFY(!indexed);
    QVERIFY(!indexed.error().message.isEmpty());
    QVERIFY(!index.item(first));
}

QTEST_GUILESS_MAIN(SearchIndexTest)
#include "tst_searchindex.moc"

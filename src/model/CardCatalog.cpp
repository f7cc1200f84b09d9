#include "model/CardCatalog.h"

#include "model/CanvasCard.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <atomic>

namespace tessaline {

namespace {

std::atomic<int> connectionSerial{0};

} // namespace

QString CardCatalog::defaultFilePath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation))
        .filePath(QStringLiteral("Tessaline.sqlite"));
}

CardCatalog::CardCatalog(const QString &storeFilePath)
    : m_filePath(storeFilePath)
    , m_connectionName(QStringLiteral("tessaline-catalog-%1").arg(connectionSerial.fetch_add(1)))
{
}

CardCatalog::~CardCatalog()
{
    m_textsQuery.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

bool CardCatalog::open()
{
    if (m_isOpen)
        return true;
    // Opening a file that is not there would leave an empty one behind,
    // which the app would then take for its library.
    if (!QFileInfo(m_filePath).isFile())
        return false;
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
                          ? QSqlDatabase::database(m_connectionName, false)
                          : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    db.setDatabaseName(m_filePath);
    if (!db.open())
        return false;
    QSqlQuery query(db);
    // Only ever a reader: the app owns the library and its schema.
    if (!query.exec(QStringLiteral("PRAGMA query_only = 1")) || !query.exec(QStringLiteral("PRAGMA busy_timeout = 2000"))) {
        db.close();
        return false;
    }
    m_isOpen = true;
    return true;
}

QStringList CardCatalog::liveSnipsNewestFirst()
{
    // What cannot be read counts as nothing, never as the last list read.
    const auto unreadable = [this] {
        m_snips.clear();
        m_snipSet.clear();
        m_dataVersion.reset();
        return QStringList();
    };
    if (!open())
        return unreadable();
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    QSqlQuery query(db);
    query.setForwardOnly(true);
    // The counter moves whenever another connection commits: unchanged, the
    // list read last time still holds.
    if (!query.exec(QStringLiteral("PRAGMA data_version")) || !query.next())
        return unreadable();
    const qint64 version = query.value(0).toLongLong();
    query.finish();
    if (m_dataVersion == version)
        return m_snips;

    query.prepare(QStringLiteral(
        "SELECT id FROM CanvasCard WHERE deletedAt IS NULL AND kindRawValue = ?"
        " AND boardID IN (SELECT id FROM Board WHERE deletedAt IS NULL)"
        " ORDER BY updatedAt DESC, id ASC"));
    query.addBindValue(rawValue(CardKind::snip));
    if (!query.exec())
        return unreadable();
    QStringList snips;
    while (query.next())
        snips << query.value(0).toString();
    m_snips = snips;
    m_snipSet = QSet<QString>(snips.cbegin(), snips.cend());
    m_dataVersion = version;
    return m_snips;
}

bool CardCatalog::isLiveSnip(const QString &identifier)
{
    liveSnipsNewestFirst();
    return m_snipSet.contains(identifier);
}

std::optional<CardCatalog::CardTexts> CardCatalog::storedTexts(qint64 row)
{
    if (!open())
        return std::nullopt;
    if (!m_textsQuery) {
        m_textsQuery = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        m_textsQuery->setForwardOnly(true);
        if (!m_textsQuery->prepare(
                QStringLiteral("SELECT markdownText, contextText, ocrText FROM CanvasCard WHERE row = ?"))) {
            m_textsQuery.reset();
            return std::nullopt;
        }
    }
    QSqlQuery &query = *m_textsQuery;
    query.addBindValue(row);
    std::optional<CardTexts> texts;
    if (query.exec() && query.next())
        texts = CardTexts{query.value(0).toString(), query.value(1).toString(), query.value(2).toString()};
    query.finish();
    return texts;
}

} // namespace tessaline

#include "model/CardCatalog.h"

#include "model/CanvasCard.h"
#include "platform/SqliteRows.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <numeric>
#include <vector>

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

void CardCatalog::readStoredTexts(std::span<const qint64> rows, const TakeTexts &take)
{
    // The indices in the order of their rows, so that each statement reads
    // its part of the table front to back and a row that is not there shows
    // as a gap between two that are.
    std::vector<size_t> order(rows.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [rows](size_t a, size_t b) { return rows[a] < rows[b]; });
    size_t at = 0;
    const auto missingUntil = [&](size_t end, const auto &before) {
        for (; at < end && before(rows[order[at]]); ++at) {
            if (!take(order[at], std::nullopt))
                return false;
        }
        return true;
    };
    const auto always = [](qint64) { return true; };
    if (!open()) {
        missingUntil(order.size(), always);
        return;
    }
    const QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    // The rows go into the statement's text, as the direct reader binds
    // nothing: a few thousand at a time keeps that text well inside what
    // SQLite takes, and costs a statement per thousands of cards.
    constexpr size_t perStatement = 4096;
    while (at < order.size()) {
        const size_t end = std::min(order.size(), at + perStatement);
        QString statement =
            QStringLiteral("SELECT row, markdownText, contextText, ocrText FROM CanvasCard WHERE row IN (");
        for (size_t i = at; i < end; ++i) {
            if (i > at) {
                if (rows[order[i]] == rows[order[i - 1]])
                    continue;
                statement += QLatin1Char(',');
            }
            statement += QString::number(rows[order[i]]);
        }
        statement += QStringLiteral(") ORDER BY row");
        SqliteRows read(db, statement);
        while (read.next()) {
            const qint64 row = read.integer(0);
            if (!missingUntil(end, [row](qint64 wanted) { return wanted < row; }))
                return;
            CardTexts texts{read.text(1), read.text(2), read.text(3)};
            // A row asked for more than once shares its texts.
            for (; at < end && rows[order[at]] == row; ++at) {
                if (!take(order[at], texts))
                    return;
            }
        }
        if (!missingUntil(end, always))
            return;
        // What went wrong here would go wrong for the rest as well.
        if (!read.errorText().isEmpty()) {
            missingUntil(order.size(), always);
            return;
        }
    }
}

} // namespace tessaline

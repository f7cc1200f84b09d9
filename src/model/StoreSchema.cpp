#include "model/StoreSchema.h"

#include "platform/SqliteRows.h"
#include "platform/UuidText.h"

#include <QSqlError>
#include <QTimeZone>
#include <QVariant>

#include <cmath>

using namespace Qt::StringLiterals;

namespace tessaline::storeschema {
namespace {

QVariant sql(const QUuid &id) { return uuidText(id); }
QVariant sql(const QString &text) { return text.isNull() ? QStringLiteral("") : text; }
QVariant sql(bool flag) { return flag ? 1 : 0; }
// SQLite would store a NaN as NULL, which the columns refuse; an infinity
// would be stored as such. Neither is a value of the app's, so both go as
// NULL: an update keeps what is stored (see keptWhenNull), an insert is
// refused.
QVariant sql(double number) { return std::isfinite(number) ? QVariant(number) : QVariant(); }
QVariant sql(const QDateTime &date) { return date.toMSecsSinceEpoch(); }

// A text kept as UTF-8, bound as its bytes for a column whose placeholder
// casts them to text (see placeholder()): passed as a QString it would be
// turned into UTF-16 here and back into UTF-8 by the store, both times
// whole, for the hundreds of kilobytes of a long note's writing.
struct Utf8Text
{
    const QByteArray &bytes;
};
// Null bytes would bind as NULL, which the column refuses.
QVariant sql(Utf8Text text) { return text.bytes.isNull() ? QByteArray("") : text.bytes; }

template <typename T>
QVariant sql(const std::optional<T> &value)
{
    if (!value)
        return QVariant();
    return sql(*value);
}
QVariant sql(const NullableText &text) { return sql(std::optional<QString>(text)); }
QVariant sql(const PooledText &text) { return sql(std::optional<QString>(text)); }
QVariant sql(const NullableDate &date) { return sql(std::optional<QDateTime>(date)); }

// An identifier that cannot be read as one is marked damaged; the row's own
// id then goes by its stand-in, a reference to another row by the nil id.
template <typename Property>
QUuid uuidAt(const SqliteRows &q, int i, Property property, quint32 &damaged, const QString &table = QString())
{
    if (const std::optional<QUuid> id = parseUuid(QLatin1StringView(q.utf8(i))))
        return *id;
    damaged |= 1u << int(property);
    return table.isEmpty() ? QUuid() : standInID(table, q.integer(0));
}

// A damaged identifier nobody has set since goes as NULL, which keeps what
// is stored.
template <typename Property>
std::optional<QUuid> keptID(const QUuid &id, quint32 damaged, Property property, bool keepDamaged)
{
    if (keepDamaged && (damaged & (1u << int(property))))
        return std::nullopt;
    return id;
}
QString textAt(const SqliteRows &q, int i) { return q.text(i); }
// The text's UTF-8 as stored; bytes that are not UTF-8 become replacement
// characters, as they do in a text made of them.
QByteArray utf8TextAt(const SqliteRows &q, int i)
{
    const QByteArrayView bytes = q.utf8(i);
    if (bytes.isValidUtf8())
        return bytes.toByteArray();
    return QString::fromUtf8(bytes).toUtf8();
}
bool flagAt(const SqliteRows &q, int i) { return q.integer(i) != 0; }
// Far beyond any map or list the app makes (50,000 cards in a column of
// four reach a few million points), yet well inside what arithmetic on
// positions can take.
constexpr double coordinateLimit = 1e8;
constexpr double sizeLimit = 1e6;
constexpr double sortIndexLimit = 1e15;

bool isCoordinate(double value) { return std::abs(value) <= coordinateLimit; }
bool isSize(double value) { return value > 0 && value <= sizeLimit; }
bool isSortIndex(double value) { return std::abs(value) <= sortIndexLimit; }

// A stored number that is not a finite number the predicate accepts (text
// such as "NaN", NULL, an infinity, a value far out of range) reads as the
// stand-in, and its property is marked damaged.
template <typename Property>
double numberAt(const SqliteRows &q, int i, bool (*accepts)(double), double standIn, Property property,
                quint32 &damaged)
{
    if (const std::optional<double> number = q.number(i); number && std::isfinite(*number) && accepts(*number))
        return *number;
    damaged |= 1u << int(property);
    return standIn;
}

// A damaged number nobody has set since goes as NULL, which keeps what is
// stored (see keptWhenNull).
template <typename Property>
std::optional<double> keptNumber(double value, quint32 damaged, Property property, bool keepDamaged)
{
    if (keepDamaged && (damaged & (1u << int(property))))
        return std::nullopt;
    return value;
}
QDateTime dateAt(const SqliteRows &q, int i) { return QDateTime::fromMSecsSinceEpoch(q.integer(i), Qt::UTC); }

std::optional<QString> optionalTextAt(const SqliteRows &q, int i)
{
    if (q.isNull(i))
        return std::nullopt;
    return q.text(i);
}

// For texts that repeat from row to row (see SqliteRows::sharedText).
QString sharedTextAt(SqliteRows &q, int i) { return q.sharedText(i); }

std::optional<QString> optionalSharedTextAt(SqliteRows &q, int i)
{
    if (q.isNull(i))
        return std::nullopt;
    return q.sharedText(i);
}

std::optional<QUuid> optionalUuidAt(const SqliteRows &q, int i)
{
    if (q.isNull(i))
        return std::nullopt;
    return parseUuid(QLatin1StringView(q.utf8(i)));
}

std::optional<QDateTime> optionalDateAt(const SqliteRows &q, int i)
{
    if (q.isNull(i))
        return std::nullopt;
    return dateAt(q, i);
}

class Binder
{
public:
    explicit Binder(QSqlQuery &query) : m_query(query) {}
    template <typename T>
    Binder &operator<<(const T &value)
    {
        m_query.addBindValue(sql(value));
        return *this;
    }

private:
    QSqlQuery &m_query;
};

} // namespace

namespace {

// SQLite's primary result code of a failure, without its extended part;
// -1 when the error carries none.
int primaryCode(const QSqlError &error)
{
    bool ok = false;
    const int code = error.nativeErrorCode().toInt(&ok);
    return ok ? code & 0xff : -1;
}

} // namespace

bool isBusy(const QSqlError &error)
{
    return primaryCode(error) == 5;
}

QString failureReason(const QSqlError &error)
{
    switch (primaryCode(error)) {
    case 5: // SQLITE_BUSY
        return QStringLiteral("another program is changing it. Close that program, then try again.");
    case 13: // SQLITE_FULL
        return diskFullReason();
    default:
        return error.text();
    }
}

QString diskFullReason()
{
    return QStringLiteral("the disk is full. Free some space, then try again.");
}

std::optional<QSqlError> runTransactionStatement(const QSqlDatabase &db, const QString &statement)
{
    QSqlQuery query(db);
    if (query.exec(statement))
        return std::nullopt;
    return query.lastError();
}

QStringList creationStatements()
{
    return {
        QStringLiteral("CREATE TABLE Metadata (key TEXT PRIMARY KEY, value TEXT NOT NULL)"),
        QStringLiteral(
            "CREATE TABLE Board (row INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL, title TEXT NOT NULL, "
            "focusQuestion TEXT, statusRawValue TEXT NOT NULL, isInbox INTEGER NOT NULL, sortIndex REAL NOT NULL, "
            "createdAt INTEGER NOT NULL, updatedAt INTEGER NOT NULL, lastOpenedAt INTEGER NOT NULL, archivedAt INTEGER, "
            "deletedAt INTEGER, workspaceModeRawValue TEXT NOT NULL, writingDocumentStorage TEXT NOT NULL, "
            "isFavorite INTEGER NOT NULL, folderName TEXT, hasCompletedNoteMigration INTEGER NOT NULL)"),
        QStringLiteral(
            "CREATE TABLE CanvasCard (row INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL, boardID TEXT NOT NULL, "
            "kindRawValue TEXT NOT NULL, thoughtKindRawValue TEXT NOT NULL, title TEXT, markdownText TEXT NOT NULL, "
            "contextText TEXT NOT NULL, ocrText TEXT NOT NULL, sourceApplicationName TEXT, sourceBundleIdentifier TEXT, "
            "sourceWindowTitle TEXT, captureModeRawValue TEXT, sourceURLString TEXT, hasOriginalImageData INTEGER NOT NULL, "
            "hasThumbnailImageData INTEGER NOT NULL, hasAnnotationDocumentData INTEGER NOT NULL, canvasX REAL NOT NULL, "
            "canvasY REAL NOT NULL, canvasWidth REAL NOT NULL, canvasHeight REAL NOT NULL, isPlaced INTEGER NOT NULL, "
            "groupID TEXT, sourceCardIDsStorage TEXT NOT NULL, isAIGenerated INTEGER NOT NULL, createdAt INTEGER NOT NULL, "
            "updatedAt INTEGER NOT NULL, capturedAt INTEGER, lastResurfacedAt INTEGER, rediscoverDismissedUntil INTEGER, "
            "deletedAt INTEGER)"),
        // Large bytes live apart from the card rows so reading every card
        // never touches them.
        QStringLiteral("CREATE TABLE CanvasCardData (cardRow INTEGER NOT NULL, field TEXT NOT NULL, bytes BLOB NOT NULL, "
                       "PRIMARY KEY (cardRow, field))"),
        QStringLiteral(
            "CREATE TABLE Connection (row INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT NOT NULL, boardID TEXT NOT NULL, "
            "sourceCardID TEXT NOT NULL, destinationCardID TEXT NOT NULL, label TEXT, createdAt INTEGER NOT NULL, "
            "updatedAt INTEGER NOT NULL, deletedAt INTEGER)"),
        QStringLiteral("CREATE TABLE WritingRecovery (row INTEGER PRIMARY KEY AUTOINCREMENT, boardID TEXT NOT NULL, "
                       "savedAt INTEGER NOT NULL, text TEXT NOT NULL)"),
        cardOutlineIndexStatement(),
        textRecognitionPendingStatement(),
    };
}

QStringList longCardColumns()
{
    return {u"markdownText"_s, u"contextText"_s, u"ocrText"_s};
}

QString cardOutlineIndexStatement()
{
    const CanvasCard *tag = nullptr;
    QStringList columns = storeschema::columns(tag);
    columns.removeIf([texts = longCardColumns()](const QString &column) { return texts.contains(column); });
    // Led by the row, so the index is walked in the order cards are read.
    columns.prepend(u"row"_s);
    return QStringLiteral("CREATE INDEX IF NOT EXISTS CanvasCardOutline ON CanvasCard (%1)").arg(columns.join(u", "));
}

QString textRecognitionPendingStatement()
{
    return QStringLiteral("CREATE TABLE IF NOT EXISTS TextRecognitionPending (cardRow INTEGER PRIMARY KEY)");
}

QString tableName(const Board *) { return QStringLiteral("Board"); }
QString tableName(const CanvasCard *) { return QStringLiteral("CanvasCard"); }
QString tableName(const Connection *) { return QStringLiteral("Connection"); }

QStringList columns(const Board *, BoardColumns which)
{
    QStringList all{u"id"_s, u"title"_s, u"focusQuestion"_s, u"statusRawValue"_s, u"isInbox"_s, u"sortIndex"_s,
                    u"createdAt"_s, u"updatedAt"_s, u"lastOpenedAt"_s, u"archivedAt"_s, u"deletedAt"_s,
                    u"workspaceModeRawValue"_s, u"writingDocumentStorage"_s, u"isFavorite"_s, u"folderName"_s,
                    u"hasCompletedNoteMigration"_s};
    if (which == BoardColumns::withoutWriting)
        all.removeAt(Board::WritingDocumentStorageProperty);
    return all;
}

QStringList columns(const CanvasCard *)
{
    return {u"id"_s, u"boardID"_s, u"kindRawValue"_s, u"thoughtKindRawValue"_s, u"title"_s, u"markdownText"_s,
            u"contextText"_s, u"ocrText"_s, u"sourceApplicationName"_s, u"sourceBundleIdentifier"_s,
            u"sourceWindowTitle"_s, u"captureModeRawValue"_s, u"sourceURLString"_s, u"hasOriginalImageData"_s,
            u"hasThumbnailImageData"_s, u"hasAnnotationDocumentData"_s, u"canvasX"_s, u"canvasY"_s,
            u"canvasWidth"_s, u"canvasHeight"_s, u"isPlaced"_s, u"groupID"_s, u"sourceCardIDsStorage"_s,
            u"isAIGenerated"_s, u"createdAt"_s, u"updatedAt"_s, u"capturedAt"_s, u"lastResurfacedAt"_s,
            u"rediscoverDismissedUntil"_s, u"deletedAt"_s};
}

QStringList columns(const Connection *)
{
    return {u"id"_s, u"boardID"_s, u"sourceCardID"_s, u"destinationCardID"_s, u"label"_s, u"createdAt"_s,
            u"updatedAt"_s, u"deletedAt"_s};
}

QString placeholder(const QString &column)
{
    if (column == u"writingDocumentStorage")
        return QStringLiteral("CAST(? AS TEXT)");
    return QStringLiteral("?");
}

QStringList keptWhenNull()
{
    return {u"id"_s,     u"boardID"_s, u"sourceCardID"_s, u"destinationCardID"_s, u"sortIndex"_s,
            u"canvasX"_s, u"canvasY"_s, u"canvasWidth"_s,  u"canvasHeight"_s};
}

QStringList keptWhenFlagged()
{
    return {u"folderName"_s};
}

QUuid standInID(const QString &table, qint64 row)
{
    static const QUuid space = QUuid::fromString(u"6b1e3f7a-2c4d-4e8f-9a0b-1c2d3e4f5a6b");
    return QUuid::createUuidV5(space, QStringLiteral("%1/%2").arg(table).arg(row));
}

void bind(QSqlQuery &query, const Board::Values &v, bool keepDamaged, BoardColumns which)
{
    const quint32 d = v.damagedProperties;
    Binder binder(query);
    binder << keptID(v.id, d, Board::IdProperty, keepDamaged) << v.title << v.focusQuestion << v.statusRawValue << v.isInbox
           << keptNumber(v.sortIndex, d, Board::SortIndexProperty, keepDamaged) << v.createdAt << v.updatedAt
           << v.lastOpenedAt << v.archivedAt << v.deletedAt << v.workspaceModeRawValue;
    if (which == BoardColumns::all)
        binder << Utf8Text{v.writingDocumentStorage};
    binder << v.isFavorite;
    if (keepDamaged)
        binder << bool(d & (1u << Board::FolderNameProperty));
    binder << v.folderName << v.hasCompletedNoteMigration;
}

void bind(QSqlQuery &query, const CanvasCard::Values &v, bool keepDamaged)
{
    const quint32 d = v.damagedProperties;
    using C = CanvasCard;
    Binder(query) << keptID(v.id, d, C::IdProperty, keepDamaged) << keptID(v.boardID, d, C::BoardIDProperty, keepDamaged)
                  << v.kindRawValue << v.thoughtKindRawValue << v.title << v.texts->markdownText
                  << v.texts->contextText << v.texts->ocrText << v.sourceApplicationName << v.sourceBundleIdentifier
                  << v.sourceWindowTitle << v.captureModeRawValue << v.sourceURLString
                  << v.blobs.has(CanvasCard::OriginalImageBlob) << v.blobs.has(CanvasCard::ThumbnailImageBlob)
                  << v.blobs.has(CanvasCard::AnnotationDocumentBlob)
                  << keptNumber(v.canvasX, d, C::CanvasXProperty, keepDamaged)
                  << keptNumber(v.canvasY, d, C::CanvasYProperty, keepDamaged)
                  << keptNumber(v.canvasWidth, d, C::CanvasWidthProperty, keepDamaged)
                  << keptNumber(v.canvasHeight, d, C::CanvasHeightProperty, keepDamaged) << v.isPlaced << v.groupID << v.sourceCardIDsStorage << v.isAIGenerated
                  << v.createdAt << v.updatedAt << v.capturedAt << v.lastResurfacedAt << v.rediscoverDismissedUntil
                  << v.deletedAt;
}

void bind(QSqlQuery &query, const Connection::Values &v, bool keepDamaged)
{
    const quint32 d = v.damagedProperties;
    using C = Connection;
    Binder(query) << keptID(v.id, d, C::IdProperty, keepDamaged) << keptID(v.boardID, d, C::BoardIDProperty, keepDamaged)
                  << keptID(v.sourceCardID, d, C::SourceCardIDProperty, keepDamaged)
                  << keptID(v.destinationCardID, d, C::DestinationCardIDProperty, keepDamaged) << v.label
                  << v.createdAt << v.updatedAt << v.deletedAt;
}

Board::Values readBoard(SqliteRows &q)
{
    Board::Values v{StoredRow()};
    int i = 1;
    v.id = uuidAt(q, i++, Board::IdProperty, v.damagedProperties, u"Board"_s);
    v.title = textAt(q, i++);
    v.focusQuestion = optionalTextAt(q, i++);
    v.statusRawValue = sharedTextAt(q, i++);
    v.isInbox = flagAt(q, i++);
    v.sortIndex = numberAt(q, i++, isSortIndex, 0, Board::SortIndexProperty, v.damagedProperties);
    v.createdAt = dateAt(q, i++);
    v.updatedAt = dateAt(q, i++);
    v.lastOpenedAt = dateAt(q, i++);
    v.archivedAt = optionalDateAt(q, i++);
    v.deletedAt = optionalDateAt(q, i++);
    v.workspaceModeRawValue = sharedTextAt(q, i++);
    v.writingDocumentStorage = utf8TextAt(q, i++);
    v.isFavorite = flagAt(q, i++);
    // A name that is not UTF-8 shows with replacement characters; the stored
    // bytes stay until the note is put in another folder.
    if (!q.isNull(i) && !QByteArrayView(q.utf8(i)).isValidUtf8())
        v.damagedProperties |= 1u << Board::FolderNameProperty;
    v.folderName = optionalSharedTextAt(q, i++);
    v.hasCompletedNoteMigration = flagAt(q, i++);
    return v;
}

CanvasCard::Values readCard(SqliteRows &q)
{
    CanvasCard::Values v{StoredRow()};
    int i = 1;
    v.id = uuidAt(q, i++, CanvasCard::IdProperty, v.damagedProperties, u"CanvasCard"_s);
    v.boardID = uuidAt(q, i++, CanvasCard::BoardIDProperty, v.damagedProperties);
    v.kindRawValue = PooledText(q.pooledText(i++));
    v.thoughtKindRawValue = PooledText(q.pooledText(i++));
    v.title = optionalTextAt(q, i++);
    // Only a card with any of its long texts holds them (they are read
    // apart at start-up, and are empty here then).
    CardTexts texts{textAt(q, i), textAt(q, i + 1), textAt(q, i + 2)};
    i += 3;
    if (!texts.markdownText.isEmpty() || !texts.contextText.isEmpty() || !texts.ocrText.isEmpty())
        v.texts = std::move(texts);
    v.sourceApplicationName = PooledText(q.pooledText(i++));
    v.sourceBundleIdentifier = PooledText(q.pooledText(i++));
    v.sourceWindowTitle = PooledText(q.pooledText(i++));
    v.captureModeRawValue = PooledText(q.pooledText(i++));
    v.sourceURLString = optionalTextAt(q, i++);
    for (int blob = 0; blob < CanvasCard::BlobCount; ++blob)
        v.blobs.present |= quint8(flagAt(q, i++) ? 1u << blob : 0u);
    // A card whose place cannot be read is shown where a note's first new
    // card goes, so it can be reached and moved; one whose size cannot be
    // read has the size of a new card.
    constexpr double firstSlot = 80;
    constexpr double newCardWidth = 320;
    constexpr double newCardHeight = 220;
    v.canvasX = numberAt(q, i++, isCoordinate, firstSlot, CanvasCard::CanvasXProperty, v.damagedProperties);
    v.canvasY = numberAt(q, i++, isCoordinate, firstSlot, CanvasCard::CanvasYProperty, v.damagedProperties);
    v.canvasWidth = numberAt(q, i++, isSize, newCardWidth, CanvasCard::CanvasWidthProperty, v.damagedProperties);
    v.canvasHeight = numberAt(q, i++, isSize, newCardHeight, CanvasCard::CanvasHeightProperty, v.damagedProperties);
    v.isPlaced = flagAt(q, i++);
    v.groupID = optionalUuidAt(q, i++);
    v.sourceCardIDsStorage = textAt(q, i++);
    v.isAIGenerated = flagAt(q, i++);
    v.createdAt = dateAt(q, i++);
    v.updatedAt = dateAt(q, i++);
    v.capturedAt = optionalDateAt(q, i++);
    v.lastResurfacedAt = optionalDateAt(q, i++);
    v.rediscoverDismissedUntil = optionalDateAt(q, i++);
    v.deletedAt = optionalDateAt(q, i++);
    return v;
}

Connection::Values readConnection(SqliteRows &q)
{
    Connection::Values v{StoredRow()};
    int i = 1;
    using C = Connection;
    v.id = uuidAt(q, i++, C::IdProperty, v.damagedProperties, u"Connection"_s);
    v.boardID = uuidAt(q, i++, C::BoardIDProperty, v.damagedProperties);
    v.sourceCardID = uuidAt(q, i++, C::SourceCardIDProperty, v.damagedProperties);
    v.destinationCardID = uuidAt(q, i++, C::DestinationCardIDProperty, v.damagedProperties);
    v.label = optionalTextAt(q, i++);
    v.createdAt = dateAt(q, i++);
    v.updatedAt = dateAt(q, i++);
    v.deletedAt = optionalDateAt(q, i++);
    return v;
}

QString blobFieldName(CanvasCard::Blob blob)
{
    switch (blob) {
    case CanvasCard::OriginalImageBlob: return QStringLiteral("originalImageData");
    case CanvasCard::ThumbnailImageBlob: return QStringLiteral("thumbnailImageData");
    case CanvasCard::AnnotationDocumentBlob: return QStringLiteral("annotationDocumentData");
    case CanvasCard::BlobCount: break;
    }
    return QString();
}

} // namespace tessaline::storeschema

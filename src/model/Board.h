#pragma once

#include "model/BoardWritingDocument.h"
#include "model/ValueEntity.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

namespace tessaline {

enum class BoardStatus { active, parked, done };

QString rawValue(BoardStatus status);
std::optional<BoardStatus> boardStatusFromRawValue(const QString &rawValue);

// Unreadable writing text kept aside before anything replaces it, so a note's
// words are never lost to a document the app could not read.
struct WritingRecovery
{
    QUuid boardID;
    QDateTime savedAt;
    QString text;
};

// The stored properties of a note, in schema order, with their defaults.
struct BoardValues
{
    BoardValues() = default;
    // Every member empty, for a row about to be read: no identifier drawn,
    // no clock read, only to be replaced.
    explicit BoardValues(StoredRow) : id(), createdAt(), updatedAt(), lastOpenedAt() {}

    QUuid id = QUuid::createUuid();
    QString title = QStringLiteral("Untitled Board");
    std::optional<QString> focusQuestion;
    QString statusRawValue = QStringLiteral("active");
    bool isInbox = false;
    double sortIndex = 0;
    QDateTime createdAt = QDateTime::currentDateTimeUtc();
    QDateTime updatedAt = QDateTime::currentDateTimeUtc();
    QDateTime lastOpenedAt = QDateTime::currentDateTimeUtc();
    std::optional<QDateTime> archivedAt;
    std::optional<QDateTime> deletedAt;
    QString workspaceModeRawValue = QStringLiteral("map");
    // As UTF-8, half the memory of UTF-16 for the mostly ASCII text that
    // writing and its JSON are: a large library holds every note's.
    QByteArray writingDocumentStorage;
    bool isFavorite = false;
    std::optional<QString> folderName;
    bool hasCompletedNoteMigration = false;
    // Not stored: properties whose stored number could not be read as one
    // (text, NaN, an infinity, far out of range), one bit per Board::Property.
    // Those hold a stand-in here, and the stored value is left as it is until
    // the property is set.
    quint32 damagedProperties = 0;

    friend bool operator==(const BoardValues &, const BoardValues &) = default;
};

// A note: its title, focus question, status, dates, place in the note list
// and its writing document (stored as JSON text). Cards and connections refer
// to it by `id`; it owns nothing by reference.
class Board : public ValueEntity<BoardValues, 16>
{
    Q_OBJECT
public:
    enum Property {
        IdProperty,
        TitleProperty,
        FocusQuestionProperty,
        StatusRawValueProperty,
        IsInboxProperty,
        SortIndexProperty,
        CreatedAtProperty,
        UpdatedAtProperty,
        LastOpenedAtProperty,
        ArchivedAtProperty,
        DeletedAtProperty,
        WorkspaceModeRawValueProperty,
        WritingDocumentStorageProperty,
        IsFavoriteProperty,
        FolderNameProperty,
        HasCompletedNoteMigrationProperty,
        PropertyCount
    };
    Q_ENUM(Property)

    using Values = BoardValues;

    // Every property at its default.
    explicit Board(QObject *parent = nullptr);

    // What creators pass: every property, with the status as a value and the
    // writing as a document, stored normalised and encoded.
    struct Init
    {
        QUuid id = QUuid::createUuid();
        QString title;
        std::optional<QString> focusQuestion;
        BoardStatus status = BoardStatus::active;
        bool isInbox = false;
        double sortIndex = 0;
        QDateTime createdAt;
        QDateTime updatedAt;
        QDateTime lastOpenedAt;
        std::optional<QDateTime> archivedAt;
        std::optional<QDateTime> deletedAt;
        QString workspaceModeRawValue = QStringLiteral("map");
        BoardWritingDocument writingDocument;
        bool isFavorite = false;
        std::optional<QString> folderName;
        bool hasCompletedNoteMigration = false;
    };
    explicit Board(const Init &init, QObject *parent = nullptr);

    QUuid id() const { return m_values.id; }
    void setId(const QUuid &id);
    QString title() const { return m_values.title; }
    void setTitle(const QString &title);
    std::optional<QString> focusQuestion() const { return m_values.focusQuestion; }
    void setFocusQuestion(const std::optional<QString> &question);
    QString statusRawValue() const { return m_values.statusRawValue; }
    void setStatusRawValue(const QString &raw);
    bool isInbox() const { return m_values.isInbox; }
    void setIsInbox(bool inbox);
    double sortIndex() const { return m_values.sortIndex; }
    void setSortIndex(double index);
    QDateTime createdAt() const { return m_values.createdAt; }
    void setCreatedAt(const QDateTime &date);
    QDateTime updatedAt() const { return m_values.updatedAt; }
    void setUpdatedAt(const QDateTime &date);
    QDateTime lastOpenedAt() const { return m_values.lastOpenedAt; }
    void setLastOpenedAt(const QDateTime &date);
    std::optional<QDateTime> archivedAt() const { return m_values.archivedAt; }
    void setArchivedAt(const std::optional<QDateTime> &date);
    std::optional<QDateTime> deletedAt() const { return m_values.deletedAt; }
    void setDeletedAt(const std::optional<QDateTime> &date);
    QString workspaceModeRawValue() const { return m_values.workspaceModeRawValue; }
    void setWorkspaceModeRawValue(const QString &raw);
    // Made from the UTF-8 kept here at every call: readers of every note
    // take writingDocumentUtf8() instead.
    QString writingDocumentStorage() const { return QString::fromUtf8(m_values.writingDocumentStorage); }
    const QByteArray &writingDocumentUtf8() const { return m_values.writingDocumentStorage; }
    void setWritingDocumentStorage(const QString &text);
    // Whether the writing differs from the one last saved or read: a save
    // leaves the stored text alone otherwise.
    bool writingChangedSinceSave() const;
    bool isFavorite() const { return m_values.isFavorite; }
    void setIsFavorite(bool favorite);
    std::optional<QString> folderName() const { return m_values.folderName; }
    void setFolderNameValue(const std::optional<QString> &name);
    bool hasCompletedNoteMigration() const { return m_values.hasCompletedNoteMigration; }
    void setHasCompletedNoteMigration(bool completed);

    bool isLive() const { return !m_values.deletedAt.has_value(); }

    BoardStatus status() const;
    void setStatus(BoardStatus status, const QDateTime &date);
    void markOpened(const QDateTime &date);
    void setFavorite(bool favorite, const QDateTime &date);
    void setFolderName(const std::optional<QString> &name, const QDateTime &date);
    void moveToTrash(const QDateTime &date);
    void restoreFromTrash(const QDateTime &date);

    // The stored document as it is (not normalised); the empty document when
    // the text is empty or unreadable.
    BoardWritingDocument writingDocument() const;
    // Its blocks normalised: those this note last wrote itself as they
    // were, not read again (Quick Captures holds a block for each capture).
    QList<BoardWritingBlock> normalizedWritingBlocks() const;
    // True when the stored text is neither empty nor a readable document: the
    // note's screen then shows it cannot be read and offers the stored text
    // (writingDocumentStorage) to copy or save, and nothing rewrites it
    // unasked.
    bool hasUnreadableWriting() const;
    // Stores the normalised document and stamps `updatedAt`. Stored text the
    // new one does not carry on (text that could not be read, words in a
    // malformed block that normalising drops) is kept as a recovery record
    // first. When the document cannot be encoded the note keeps its text and
    // date and false is returned; callers report that as a failure.
    bool updateWritingDocument(const BoardWritingDocument &document, const QDateTime &date);
    // Rewrites the stored text in normal form; writes nothing when it already
    // is, and never writes over text it cannot read. False when the normal
    // form cannot be encoded (nothing changes then). When the text is in
    // normal form already, its blocks as read go into `normalBlocks`, which
    // is left alone otherwise: a caller that reads them next need not decode
    // the text again.
    bool normalizeWritingDocumentStorage(const QDateTime &date, std::optional<QList<BoardWritingBlock>> *normalBlocks = nullptr);

    // Recovery records waiting for the next save.
    const QList<WritingRecovery> &pendingRecoveries() const { return m_pendingRecoveries; }

protected:
    void revertToSaved() override;
    void markSaved() override;
    std::any pendingState() const override;
    void restorePendingState(const std::any &state) override;

private:
    friend class ModelContext;
    Board(StoredRow row, Values &&stored, QObject *parent)
        : ValueEntity(row, std::move(stored), parent)
    {
    }

    bool storedWritingWouldLoseText() const;

    QList<WritingRecovery> m_pendingRecoveries;
    // True while the stored text is the one this note last wrote itself.
    bool isOwnWriting() const;

    // A copy sharing the buffer of the text this note last wrote, so that a
    // long note's text is not read again on every keystroke to learn that
    // it is readable.
    QByteArray m_ownWriting;
    // The normal blocks m_ownWriting was written from or read as, shared
    // with the screen that holds them: opening the note again while its
    // text is still its own reads no text (a note that gathers captures
    // holds thousands of blocks).
    QList<BoardWritingBlock> m_ownBlocks;
};

static_assert(Board::PropertyCount == 16, "the record and the property list must agree");

} // namespace tessaline

#include "model/Board.h"

#include "model/ModelContext.h"
#include "platform/TextUtilities.h"

namespace tessaline {

QString rawValue(BoardStatus status)
{
    switch (status) {
    case BoardStatus::active: return QStringLiteral("active");
    case BoardStatus::parked: return QStringLiteral("parked");
    case BoardStatus::done: return QStringLiteral("done");
    }
    return QStringLiteral("active");
}

std::optional<BoardStatus> boardStatusFromRawValue(const QString &raw)
{
    for (BoardStatus status : {BoardStatus::active, BoardStatus::parked, BoardStatus::done}) {
        if (raw == rawValue(status))
            return status;
    }
    return std::nullopt;
}

Board::Board(QObject *parent)
    : ValueEntity(parent)
{
    m_values.createdAt = storedDate(m_values.createdAt);
    m_values.updatedAt = storedDate(m_values.updatedAt);
    m_values.lastOpenedAt = storedDate(m_values.lastOpenedAt);
}

Board::Board(const Init &init, QObject *parent)
    : ValueEntity(parent)
{
    m_values.id = init.id;
    m_values.title = init.title;
    m_values.focusQuestion = init.focusQuestion;
    m_values.statusRawValue = rawValue(init.status);
    m_values.isInbox = init.isInbox;
    m_values.sortIndex = init.sortIndex;
    m_values.createdAt = storedDate(init.createdAt);
    m_values.updatedAt = storedDate(init.updatedAt);
    m_values.lastOpenedAt = storedDate(init.lastOpenedAt);
    m_values.archivedAt = storedDate(init.archivedAt);
    m_values.deletedAt = storedDate(init.deletedAt);
    m_values.workspaceModeRawValue = init.workspaceModeRawValue;
    m_values.writingDocumentStorage =
        BoardWritingDocument::encodedString(BoardWritingDocument::normalizedBlocks(init.writingDocument.blocks)).toUtf8();
    m_values.isFavorite = init.isFavorite;
    m_values.folderName = init.folderName;
    m_values.hasCompletedNoteMigration = init.hasCompletedNoteMigration;
}

void Board::setId(const QUuid &id) { write(m_values.id, id, IdProperty); }
void Board::setTitle(const QString &title) { write(m_values.title, title, TitleProperty); }
void Board::setFocusQuestion(const std::optional<QString> &q) { write(m_values.focusQuestion, q, FocusQuestionProperty); }
void Board::setStatusRawValue(const QString &raw) { write(m_values.statusRawValue, raw, StatusRawValueProperty); }
void Board::setIsInbox(bool inbox) { write(m_values.isInbox, inbox, IsInboxProperty); }
void Board::setSortIndex(double index) { write(m_values.sortIndex, index, SortIndexProperty); }
void Board::setCreatedAt(const QDateTime &date) { write(m_values.createdAt, storedDate(date), CreatedAtProperty); }
void Board::setUpdatedAt(const QDateTime &date) { write(m_values.updatedAt, storedDate(date), UpdatedAtProperty); }
void Board::setLastOpenedAt(const QDateTime &date) { write(m_values.lastOpenedAt, storedDate(date), LastOpenedAtProperty); }
void Board::setArchivedAt(const std::optional<QDateTime> &date) { write(m_values.archivedAt, storedDate(date), ArchivedAtProperty); }
void Board::setDeletedAt(const std::optional<QDateTime> &date) { write(m_values.deletedAt, storedDate(date), DeletedAtProperty); }
void Board::setWorkspaceModeRawValue(const QString &raw) { write(m_values.workspaceModeRawValue, raw, WorkspaceModeRawValueProperty); }
void Board::setWritingDocumentStorage(const QString &text) { write(m_values.writingDocumentStorage, text.toUtf8(), WritingDocumentStorageProperty); }
void Board::setIsFavorite(bool favorite) { write(m_values.isFavorite, favorite, IsFavoriteProperty); }
void Board::setFolderNameValue(const std::optional<QString> &name) { write(m_values.folderName, name, FolderNameProperty); }
void Board::setHasCompletedNoteMigration(bool completed) { write(m_values.hasCompletedNoteMigration, completed, HasCompletedNoteMigrationProperty); }

BoardStatus Board::status() const
{
    return boardStatusFromRawValue(m_values.statusRawValue).value_or(BoardStatus::active);
}

void Board::setStatus(BoardStatus status, const QDateTime &date)
{
    setStatusRawValue(rawValue(status));
    setArchivedAt(status == BoardStatus::active ? std::nullopt : std::optional<QDateTime>(date));
    setUpdatedAt(date);
}

void Board::markOpened(const QDateTime &date)
{
    // A library that can only be read keeps nothing, and this stamp is the
    // app's own note, never the user's change: held unsaved, it would be
    // taken at quit for a change of the user's about to be lost.
    if (const ModelContext *context = modelContext(); context && context->isReadOnly())
        return;
    setLastOpenedAt(date);
    setUpdatedAt(std::max(m_values.updatedAt, storedDate(date)));
}

void Board::setFavorite(bool favorite, const QDateTime &date)
{
    setIsFavorite(favorite);
    setUpdatedAt(date);
}

void Board::setFolderName(const std::optional<QString> &name, const QDateTime &date)
{
    std::optional<QString> folder;
    if (name) {
        const QString trimmed = trimmedWhitespace(*name);
        if (!trimmed.isEmpty())
            folder = trimmed;
    }
    setFolderNameValue(folder);
    setUpdatedAt(date);
}

void Board::moveToTrash(const QDateTime &date)
{
    setDeletedAt(date);
    setUpdatedAt(date);
}

void Board::restoreFromTrash(const QDateTime &date)
{
    setDeletedAt(std::nullopt);
    setUpdatedAt(date);
}

BoardWritingDocument Board::writingDocument() const
{
    if (m_values.writingDocumentStorage.isEmpty())
        return BoardWritingDocument::empty();
    return BoardWritingDocument::decode(QByteArrayView(m_values.writingDocumentStorage)).value_or(BoardWritingDocument::empty());
}

QList<BoardWritingBlock> Board::normalizedWritingBlocks() const
{
    if (!m_values.writingDocumentStorage.isEmpty() && isOwnWriting())
        return m_ownBlocks;
    return BoardWritingDocument::normalizedBlocks(writingDocument().blocks);
}

bool Board::hasUnreadableWriting() const
{
    const QByteArray &storage = m_values.writingDocumentStorage;
    if (storage.isEmpty() || isOwnWriting())
        return false;
    return !BoardWritingDocument::decode(QByteArrayView(storage)).has_value();
}

bool Board::writingChangedSinceSave() const
{
    const QByteArray &saved = savedValues().writingDocumentStorage;
    const QByteArray &now = m_values.writingDocumentStorage;
    // Shared since the last save unless written: comparing the bytes of a
    // long note is then not needed.
    if (saved.constData() == now.constData() && saved.size() == now.size())
        return false;
    return saved != now;
}

bool Board::isOwnWriting() const
{
    const QByteArray &storage = m_values.writingDocumentStorage;
    return storage.constData() == m_ownWriting.constData() && storage.size() == m_ownWriting.size();
}

bool Board::storedWritingWouldLoseText() const
{
    if (m_values.writingDocumentStorage.isEmpty() || isOwnWriting())
        return false;
    const auto stored = BoardWritingDocument::decode(QByteArrayView(m_values.writingDocumentStorage));
    return !stored || BoardWritingDocument::normalizationDropsText(stored->blocks);
}

bool Board::updateWritingDocument(const BoardWritingDocument &document, const QDateTime &date)
{
    QList<BoardWritingBlock> blocks = BoardWritingDocument::normalizedBlocks(document.blocks);
    const auto text = BoardWritingDocument::encode(blocks);
    if (!text)
        return false;
    // Whatever the new text does not carry on from the stored one by the
    // writer's choice is kept aside first: text that could not be read, and
    // words the repair of a malformed block leaves out.
    if (storedWritingWouldLoseText()) {
        willWrite();
        m_pendingRecoveries.append(WritingRecovery{m_values.id, storedDate(date), writingDocumentStorage()});
    }
    // Written here from a normal document: readable, and nothing in it for
    // a repair to drop.
    const QByteArray utf8 = text->toUtf8();
    m_ownWriting = utf8;
    m_ownBlocks = std::move(blocks);
    write(m_values.writingDocumentStorage, utf8, WritingDocumentStorageProperty);
    setUpdatedAt(date);
    return true;
}

bool Board::normalizeWritingDocumentStorage(const QDateTime &date, std::optional<QList<BoardWritingBlock>> *normalBlocks)
{
    // Read once: a note that gathers captures holds thousands of blocks.
    const QByteArray &storage = m_values.writingDocumentStorage;
    if (!storage.isEmpty() && isOwnWriting()) {
        if (normalBlocks)
            *normalBlocks = m_ownBlocks;
        return true;
    }
    std::optional<BoardWritingDocument> stored = BoardWritingDocument::empty();
    if (!storage.isEmpty())
        stored = BoardWritingDocument::decode(QByteArrayView(storage));
    if (!stored)
        return true;
    QList<BoardWritingBlock> blocks = BoardWritingDocument::normalizedBlocks(stored->blocks);
    const auto text = BoardWritingDocument::encode(blocks);
    if (!text)
        return false;
    if (text->toUtf8() == m_values.writingDocumentStorage) {
        // Text this note wrote, or found normal when it last opened, is in
        // its normal form already: its next opening neither reads it nor
        // writes thousands of blocks out again only to compare.
        m_ownWriting = m_values.writingDocumentStorage;
        m_ownBlocks = blocks;
        if (normalBlocks)
            *normalBlocks = std::move(blocks);
        return true;
    }
    return updateWritingDocument(BoardWritingDocument{blocks}, date);
}

void Board::revertToSaved()
{
    m_pendingRecoveries.clear();
    ValueEntity::revertToSaved();
}

void Board::markSaved()
{
    m_pendingRecoveries.clear();
    ValueEntity::markSaved();
}

std::any Board::pendingState() const
{
    return std::make_pair(m_values, m_pendingRecoveries);
}

void Board::restorePendingState(const std::any &state)
{
    const auto &[values, recoveries] = std::any_cast<const std::pair<Values, QList<WritingRecovery>> &>(state);
    m_pendingRecoveries = recoveries;
    ValueEntity::restorePendingState(values);
}

} // namespace tessaline

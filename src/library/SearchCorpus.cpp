#include "library/SearchCorpus.h"

#include "library/SearchMatching.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <QStringList>

namespace tessaline {

SearchCorpus::SearchCorpus(QObject *parent) : QObject(parent) {}

const SearchCorpus::NoteTexts &SearchCorpus::note(const Board &board)
{
    auto found = m_notes.find(&board);
    if (found == m_notes.end()) {
        const QStringList parts{
            board.title(),
            board.focusQuestion().value_or(QString()),
            board.folderName().value_or(QString()),
            noteWritingText(board),
        };
        watch(board);
        found = m_notes.insert(&board, {foldedSearchText(parts.join(QLatin1Char('\n'))),
                                        foldedSearchText(board.title())});
    }
    return *found;
}

const QString &SearchCorpus::noteText(const Board &board)
{
    return note(board).text;
}

const QString &SearchCorpus::noteTitle(const Board &board)
{
    return note(board).title;
}

const QString &SearchCorpus::cardText(const CanvasCard &card)
{
    auto found = m_cards.find(&card);
    if (found == m_cards.end()) {
        watch(card);
        found = m_cards.insert(&card, foldedSearchText(cardSearchText(card)));
    }
    return *found;
}

void SearchCorpus::watch(const PersistentEntity &entity)
{
    // Made when the entity's text is first kept: any write, or the entity's
    // end, drops what was kept for it, and the next search folds it afresh.
    const QObject *key = &entity;
    connect(&entity, &PersistentEntity::changed, this, [this, key] { forget(key); }, Qt::SingleShotConnection);
    connect(&entity, &QObject::destroyed, this, [this, key] { forget(key); }, Qt::SingleShotConnection);
}

void SearchCorpus::forget(const QObject *entity)
{
    if (m_notes.remove(entity) + m_cards.remove(entity) > 0)
        disconnect(entity, nullptr, this, nullptr);
}

} // namespace tessaline

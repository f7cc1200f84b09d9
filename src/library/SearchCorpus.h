#pragma once

#include <QHash>
#include <QObject>
#include <QString>

namespace tessaline {

class Board;
class CanvasCard;
class PersistentEntity;

// The folded search texts of notes and cards, kept from one search to the
// next and dropped when their entity changes or goes away. Folding (case,
// accents, width) and decoding a note's writing are most of a search's
// work; with the texts kept, a keystroke only scans them.
class SearchCorpus : public QObject
{
    Q_OBJECT
public:
    explicit SearchCorpus(QObject *parent = nullptr);

    // A note's title, focus question, folder and writing, folded, one per line.
    const QString &noteText(const Board &note);
    // The note's title alone, folded: snips are found by their note's title too.
    const QString &noteTitle(const Board &note);
    // The card's search text, folded.
    const QString &cardText(const CanvasCard &card);

    qsizetype keptCount() const { return m_notes.size() + m_cards.size(); }

private:
    struct NoteTexts
    {
        QString text;
        QString title;
    };

    const NoteTexts &note(const Board &note);
    void watch(const PersistentEntity &entity);
    void forget(const QObject *entity);

    QHash<const QObject *, NoteTexts> m_notes;
    QHash<const QObject *, QString> m_cards;
};

} // namespace tessaline

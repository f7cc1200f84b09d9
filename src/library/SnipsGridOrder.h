#pragma once

#include <QList>
#include <QObject>

#include <optional>

namespace tessaline {

class CanvasCard;
class LibraryQuery;

// Every live snip of the library in the grid's order, kept with the window's
// reading of the library for all its Snips screens: worked out again only
// once the cards changed, so coming back to Snips after opening a note (a
// save that wrote only the note) sorts no card. Main thread.
class SnipsGridOrder : public QObject
{
    Q_OBJECT
public:
    static SnipsGridOrder &of(LibraryQuery &library);

    const QList<CanvasCard *> &snips();

private:
    explicit SnipsGridOrder(LibraryQuery &library);

    LibraryQuery &m_library;
    QList<CanvasCard *> m_snips;
    std::optional<quint64> m_cardsRevision;
};

} // namespace tessaline

#pragma once

#include "model/CanvasCard.h"

#include <QDateTime>
#include <QImage>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class LibraryQuery;
class NavigationState;

// What the card editor sheet edits: one card, written straight into the
// stored object (each change stamps its edit date) and saved on Done.
// The card is looked up afresh whenever the library is read again, so a
// card moved to the trash counts as missing from then on.
class FocusEditorModel : public QObject
{
    Q_OBJECT
public:
    FocusEditorModel(LibraryQuery &library, NavigationState &navigation, const QUuid &cardID,
                     QObject *parent = nullptr);

    void setClock(std::function<QDateTime()> clock) { m_clock = std::move(clock); }

    QUuid cardID() const { return m_cardID; }
    // The live card with that id; null when there is none.
    CanvasCard *card() const;

    // A snip's picture as captured, read and decoded off the main thread
    // from the moment the editor opens: a 5K one would hold the sheet for a
    // tenth of a second. Null while loading, and for a snip without a
    // readable picture; pictureLoaded() says when it is in.
    bool isPictureLoading() const { return m_isPictureLoading; }
    QImage picture() const { return m_picture; }

    // The header's symbol: the snip's, else the thought kind's.
    static QString symbolName(const CanvasCard &card);
    static QString symbolName(ThoughtKind kind);

    // Edits of the card; each does nothing when the card is missing. The
    // title is kept exactly as typed: an emptied field stores empty text.
    void setTitle(const QString &title);
    void setThoughtKind(ThoughtKind kind);
    void setMarkdownText(const QString &text);
    void setContextText(const QString &text);

    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();

    // Stamps and saves; on success the sheet closes, on failure the alert
    // shows and every edit stays in place.
    bool done();
    // Closes without saving; edits already made stay in the card.
    void close();

Q_SIGNALS:
    // The card, one of its fields or the error changed.
    void changed();
    void dismissRequested();
    void pictureLoaded();

private:
    void stamp(CanvasCard *card);
    void loadPicture(const CanvasCard &card);

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    QUuid m_cardID;
    std::optional<QString> m_errorMessage;
    std::function<QDateTime()> m_clock;
    QImage m_picture;
    bool m_isPictureLoading = false;
};

} // namespace tessaline

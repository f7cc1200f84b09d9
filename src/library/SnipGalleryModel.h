#pragma once

#include "library/SnipGallerySequence.h"
#include "library/SnipZoomMode.h"
#include "runtime/SaveFileFlow.h"
#include "runtime/SnipPicture.h"

#include <QDateTime>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tessaline {

class Board;
class CanvasCard;
class LibraryQuery;
class NavigationState;
class Pasteboard;
class SnipPictureLoader;

// What the gallery hands work to outside itself.
struct SnipGalleryServices
{
    Pasteboard *pasteboard = nullptr;
    // Asks where to save the image as PNG and writes it; `done` runs once:
    // saved, cancelled, or the reason it failed. The app's save flow when
    // none is given.
    std::function<void(const QImage &image, const QString &suggestedName, SaveFileFlow::Completion done)> saveImage;
    // Whether animations and the hand-off wait are skipped; the desktop's
    // setting when none is given.
    std::function<bool()> reducesMotion;
};

// The snip gallery's state and rules: which snip shows, where it stands in
// the sequence, its zoom, its picture (loaded off the main thread, the
// neighbours ahead of time), copying and saving the rendered snip, filing it
// into another note and what the details panel lists. The widget only draws
// this and forwards input. Main thread only.
class SnipGalleryModel : public QObject
{
    Q_OBJECT
public:
    // Where "Frame" and "Annotate" hand the snip over.
    enum class HandOff { frameComposer, annotation };

    // One row of the details table.
    struct InfoRow
    {
        QString label;
        QString value;
        friend bool operator==(const InfoRow &, const InfoRow &) = default;
    };

    // How long the gallery waits after closing before it opens the frame
    // composer or the annotation window.
    static constexpr int handOffDelayMs = 180;

    SnipGalleryModel(LibraryQuery &library, NavigationState &navigation, const QUuid &initialCardID,
                     SnipGalleryServices services, QObject *parent = nullptr);
    ~SnipGalleryModel() override;

    LibraryQuery &library() const { return m_library; }
    NavigationState &navigation() const { return m_navigation; }
    SnipPictureLoader &pictures() const { return *m_pictures; }

    QUuid currentCardID() const { return m_currentCardID; }
    // The shown snip while it is a live snip; null once it has gone.
    CanvasCard *currentCard() const;
    // Kept until the library is saved or the browse list changes; stepping
    // along the opener's list does not work it out again.
    SnipGallerySequence sequence() const;
    // "Snip" when there is no current card.
    QString title() const;

    // The rendered picture (annotations drawn in) of the current snip; null
    // while it loads or when it cannot be made.
    SharedSnipPicture picture() const;
    bool isPictureLoading() const;
    // The picture's pixel size, known before it has loaded.
    QSize pictureSize() const;
    // True when the main area shows "Snip unavailable": no current card, or
    // one whose picture cannot be made.
    bool isUnavailable() const;

    SnipZoomMode zoomMode() const { return m_zoomMode; }
    void setZoomMode(const SnipZoomMode &mode);
    double fitScale() const { return m_fitScale; }
    void setFitScale(double scale);
    void zoom(double factor);
    QString zoomPercentageText() const;

    bool showsInfo() const { return m_showsInfo; }
    void setShowsInfo(bool shows);
    bool isCopied() const { return m_copied; }
    bool isExporting() const { return m_exporting; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);

    // -- Actions -------------------------------------------------------------

    // Steps to the neighbour in the sequence, fitted; false (nothing
    // changes) past either end.
    bool showNeighbour(bool forward);
    // Clears the gallery's navigation and asks the window to close.
    void closeGallery();
    // The window went away, however it was closed.
    void disappeared();
    // False, with the alert's message, when nothing could be put on the
    // clipboard; nothing happens without a picture.
    bool copyRenderedSnip();
    void saveRenderedSnip();
    void closeAndPresent(HandOff target);
    // Files the snip into the note; a refusal (the note or the snip gone
    // meanwhile) or a failed save becomes the alert's message.
    bool addCurrentSnip(const CanvasCard &card, const QUuid &noteID);

    // -- Details panel -------------------------------------------------------

    QList<Board *> noteTargets() const;
    // Whether noteTargets() holds any, without ordering them.
    bool hasNoteTargets() const;
    // "Move to Note" for a snip of the Quick Captures inbox, else "Add to Note".
    QString noteMenuTitle() const;
    // The title of the snip's own note (deleted or not); none when missing.
    static std::optional<QString> noteTitle(const CanvasCard &card, const QList<Board *> &boards);
    static QList<InfoRow> infoRows(const CanvasCard &card, const QSize &imageSize);
    // "1440 × 900"; "Unknown" for an empty size.
    static QString imageSizeDescription(const QSize &size);
    // The capture date, abbreviated, with the short time, in the user's locale.
    static QString capturedText(const QDateTime &date);

Q_SIGNALS:
    // The shown snip, its card's fields or the sequence changed.
    void currentCardChanged();
    void pictureChanged();
    void zoomModeChanged();
    void fitScaleChanged();
    void showsInfoChanged();
    void copiedChanged();
    void exportingChanged();
    void errorMessageChanged();
    // The window should close (and then report `disappeared`).
    void dismissRequested();
    // Keyboard focus should return to the gallery.
    void keyboardFocusWanted();

private:
    bool reducesMotion() const;
    void setCurrentCardID(const QUuid &id);
    void setCopied(bool copied);
    // Loads the shown picture and the neighbours', and lets all others go.
    void loadPictures();

    LibraryQuery &m_library;
    NavigationState &m_navigation;
    SnipGalleryServices m_services;
    SnipPictureLoader *m_pictures;
    QUuid m_currentCardID;
    // The snip the gallery itself last asked the navigation to show: what
    // it clears when it goes. A snip asked for by someone else meanwhile
    // stays asked for, even while the gallery shows it.
    QUuid m_ownCardID;
    SnipZoomMode m_zoomMode = SnipZoomMode::fit();
    double m_fitScale = 1.0;
    bool m_showsInfo = false;
    bool m_copied = false;
    bool m_exporting = false;
    bool m_closed = false;
    std::optional<QString> m_errorMessage;
    // What a library of tens of thousands of snips would otherwise make
    // again for each question the window asks: both let go on each save.
    mutable std::optional<SnipGallerySequence> m_sequence;
    mutable QPointer<CanvasCard> m_currentCard;
};

} // namespace tessaline

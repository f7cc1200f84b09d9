#include "library/SnipGalleryModel.h"

#include "library/SnipsLibraryModel.h"
#include "model/Board.h"
#include "model/CanvasCard.h"
#include "model/ThinkingSessionService.h"
#include "platform/TextUtilities.h"
#include "runtime/ImageExportService.h"
#include "runtime/LibraryQuery.h"
#include "runtime/NavigationState.h"
#include "runtime/SnipPictureLoader.h"

#include <QLocale>
#include <QPointer>
#include <QRegularExpression>
#include <QTimer>

#include <algorithm>

namespace tessaline {

namespace {

// "region" gives "Region": each word's first letter upper-case, the rest
// lower-case.
QString capitalisedWords(const QString &text)
{
    QString result = text.toLower();
    bool atWordStart = true;
    for (QChar &c : result) {
        if (c.isLetterOrNumber()) {
            if (atWordStart)
                c = c.toUpper();
            atWordStart = false;
        } else {
            atWordStart = true;
        }
    }
    return result;
}

} // namespace

SnipGalleryModel::SnipGalleryModel(LibraryQuery &library, NavigationState &navigation, const QUuid &initialCardID,
                                   SnipGalleryServices services, QObject *parent)
    : QObject(parent)
    , m_library(library)
    , m_navigation(navigation)
    , m_services(std::move(services))
    , m_pictures(new SnipPictureLoader(this))
    , m_currentCardID(initialCardID)
    , m_ownCardID(initialCardID)
{
    m_navigation.setGalleryCardID(m_currentCardID);
    connect(&m_library, &LibraryQuery::changed, this, [this] {
        // An edit is a new version of the picture; a deletion takes the
        // snip out of the sequence.
        m_sequence.reset();
        m_currentCard.clear();
        loadPictures();
        Q_EMIT currentCardChanged();
        Q_EMIT pictureChanged();
    });
    connect(m_pictures, &SnipPictureLoader::pictureChanged, this, [this](const QUuid &cardID) {
        if (cardID != m_currentCardID)
            return;
        Q_EMIT pictureChanged();
        // The shown picture is done: the neighbours' turn.
        loadPictures();
    });
    connect(&m_navigation, &NavigationState::galleryBrowseCardIDsChanged, this, [this] {
        m_sequence.reset();
        loadPictures();
        Q_EMIT currentCardChanged();
    });
    // Pointed at another snip while open (a result opened elsewhere): show it.
    connect(&m_navigation, &NavigationState::galleryCardIDChanged, this, [this] {
        if (const std::optional<QUuid> id = m_navigation.galleryCardID(); id && !m_closed)
            setCurrentCardID(*id);
    });
    loadPictures();
}

SnipGalleryModel::~SnipGalleryModel() = default;

CanvasCard *SnipGalleryModel::currentCard() const
{
    // Still the shown snip as long as it is one: a card taken out of the
    // trash or made a thought since is looked for again.
    if (m_currentCard && m_currentCard->id() == m_currentCardID && m_currentCard->kind() == CardKind::snip
        && m_currentCard->isLive())
        return m_currentCard;
    m_currentCard = SnipGallerySequence::currentCard(m_library.cardsWithID(m_currentCardID), m_currentCardID);
    return m_currentCard;
}

SnipGallerySequence SnipGalleryModel::sequence() const
{
    if (m_sequence && m_sequence->currentID() != m_currentCardID) {
        if (std::optional<SnipGallerySequence> moved = m_sequence->shownAt(m_currentCardID))
            m_sequence = std::move(moved);
        else
            m_sequence.reset();
    }
    if (!m_sequence)
        m_sequence = SnipGallerySequence::forCards(m_library.cards(), m_currentCardID, m_navigation.galleryBrowseCardIDs());
    return *m_sequence;
}

QString SnipGalleryModel::title() const
{
    const CanvasCard *card = currentCard();
    return card ? card->displayTitle() : tr("Snip");
}

SharedSnipPicture SnipGalleryModel::picture() const
{
    const CanvasCard *card = currentCard();
    return card ? m_pictures->picture(*card) : nullptr;
}

bool SnipGalleryModel::isPictureLoading() const
{
    const CanvasCard *card = currentCard();
    return card && m_pictures->state(*card) == SnipPictureLoader::State::loading;
}

QSize SnipGalleryModel::pictureSize() const
{
    const CanvasCard *card = currentCard();
    if (!card)
        return QSize();
    if (const SharedSnipPicture shown = m_pictures->picture(*card))
        return shown->size();
    return m_pictures->storedSize(*card);
}

bool SnipGalleryModel::isUnavailable() const
{
    const CanvasCard *card = currentCard();
    return !card || m_pictures->state(*card) == SnipPictureLoader::State::unavailable;
}

void SnipGalleryModel::loadPictures()
{
    QList<QUuid> kept{m_currentCardID};
    const CanvasCard *card = currentCard();
    if (card)
        m_pictures->load(*card);
    // The neighbours load ahead, so stepping usually finds them ready; not
    // before the shown picture is done, which must not share the cores.
    const bool shownReady = !card || m_pictures->state(*card) != SnipPictureLoader::State::loading;
    const SnipGallerySequence order = sequence();
    QList<QUuid> neighbours;
    for (const bool forward : {true, false}) {
        if (const std::optional<QUuid> id = order.step(forward))
            neighbours.append(*id);
    }
    kept.append(neighbours);
    if (shownReady) {
        for (const QUuid &id : std::as_const(neighbours)) {
            if (const CanvasCard *neighbour = SnipGallerySequence::currentCard(m_library.cardsWithID(id), id))
                m_pictures->load(*neighbour);
        }
    }
    m_pictures->keepOnly(kept);
}

void SnipGalleryModel::setCurrentCardID(const QUuid &id)
{
    if (id == m_currentCardID)
        return;
    m_currentCardID = id;
    setCopied(false);
    setZoomMode(SnipZoomMode::fit());
    loadPictures();
    Q_EMIT currentCardChanged();
    Q_EMIT pictureChanged();
}

void SnipGalleryModel::setZoomMode(const SnipZoomMode &mode)
{
    if (mode == m_zoomMode)
        return;
    m_zoomMode = mode;
    Q_EMIT zoomModeChanged();
}

void SnipGalleryModel::setFitScale(double scale)
{
    if (scale == m_fitScale)
        return;
    m_fitScale = scale;
    Q_EMIT fitScaleChanged();
}

void SnipGalleryModel::zoom(double factor)
{
    setZoomMode(m_zoomMode.zoomedBy(factor, m_fitScale));
}

QString SnipGalleryModel::zoomPercentageText() const
{
    return SnipZoom::percentageText(m_zoomMode.effectiveScale(m_fitScale));
}

void SnipGalleryModel::setShowsInfo(bool shows)
{
    if (shows != m_showsInfo) {
        m_showsInfo = shows;
        Q_EMIT showsInfoChanged();
    }
    Q_EMIT keyboardFocusWanted();
}

void SnipGalleryModel::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    Q_EMIT copiedChanged();
}

void SnipGalleryModel::setErrorMessage(const std::optional<QString> &message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

bool SnipGalleryModel::reducesMotion() const
{
    return m_services.reducesMotion && m_services.reducesMotion();
}

bool SnipGalleryModel::showNeighbour(bool forward)
{
    const std::optional<QUuid> next = sequence().step(forward);
    if (!next)
        return false;
    setCopied(false);
    setZoomMode(SnipZoomMode::fit());
    m_ownCardID = *next;
    m_navigation.setGalleryCardID(*next);
    setCurrentCardID(*next);
    Q_EMIT keyboardFocusWanted();
    return true;
}

void SnipGalleryModel::closeGallery()
{
    m_closed = true;
    m_navigation.setGalleryCardID(std::nullopt);
    if (m_navigation.galleryBrowseCardIDs())
        m_navigation.setGalleryBrowseCardIDs(std::nullopt);
    Q_EMIT dismissRequested();
}

void SnipGalleryModel::disappeared()
{
    if (m_closed)
        return;
    m_closed = true;
    // Pointed at another snip meanwhile: that one stays asked for.
    const std::optional<QUuid> asked = m_navigation.galleryCardID();
    if (asked && *asked != m_ownCardID)
        return;
    m_navigation.setGalleryCardID(std::nullopt);
    if (m_navigation.galleryBrowseCardIDs())
        m_navigation.setGalleryBrowseCardIDs(std::nullopt);
}

bool SnipGalleryModel::copyRenderedSnip()
{
    const SharedSnipPicture shown = picture();
    if (!currentCard() || !shown)
        return false;
    const bool copied = m_services.pasteboard
        && ImageExportService::copyToPasteboard(shown->image(), *m_services.pasteboard);
    setCopied(copied);
    if (!copied)
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
    Q_EMIT keyboardFocusWanted();
    return copied;
}

void SnipGalleryModel::saveRenderedSnip()
{
    const CanvasCard *card = currentCard();
    const SharedSnipPicture shown = picture();
    if (m_exporting || !card || !shown || !m_services.saveImage)
        return;
    m_exporting = true;
    Q_EMIT exportingChanged();
    const QPointer<SnipGalleryModel> self(this);
    m_services.saveImage(shown->image(), card->displayTitle(), [self](const SaveFileOutcome &outcome) {
        if (!self)
            return;
        if (!outcome)
            self->setErrorMessage(outcome.error());
        Q_EMIT self->keyboardFocusWanted();
        self->m_exporting = false;
        Q_EMIT self->exportingChanged();
    });
}

void SnipGalleryModel::closeAndPresent(HandOff target)
{
    const CanvasCard *card = currentCard();
    if (!card)
        return;
    const QUuid id = card->id();
    closeGallery();
    const QPointer<NavigationState> navigation(&m_navigation);
    auto present = [navigation, id, target] {
        if (!navigation)
            return;
        if (target == HandOff::frameComposer)
            navigation->setFrameComposerCardID(id);
        else
            navigation->setCaptureReviewCardID(id);
    };
    // The wait lets the gallery leave before the next window comes; it
    // belongs to the navigation, which outlives the gallery.
    if (reducesMotion())
        present();
    else
        QTimer::singleShot(handOffDelayMs, &m_navigation, present);
}

bool SnipGalleryModel::addCurrentSnip(const CanvasCard &card, const QUuid &noteID)
{
    ThinkingSessionService service(m_library.context());
    const auto outcome = service.addSnipToNote(card.id(), noteID, std::nullopt, QDateTime::currentDateTimeUtc());
    if (!outcome) {
        setErrorMessage(outcome.error().message);
        return false;
    }
    Q_EMIT keyboardFocusWanted();
    return true;
}

QList<Board *> SnipGalleryModel::noteTargets() const
{
    const CanvasCard *card = currentCard();
    return card ? SnipsLibraryModel::noteTargets(card, m_library.boards()) : QList<Board *>();
}

bool SnipGalleryModel::hasNoteTargets() const
{
    const CanvasCard *card = currentCard();
    if (!card)
        return false;
    const QList<Board *> &boards = m_library.boards();
    return std::any_of(boards.cbegin(), boards.cend(), [card](const Board *board) {
        return board->isLive() && !board->isInbox() && board->id() != card->boardID();
    });
}

QString SnipGalleryModel::noteMenuTitle() const
{
    const CanvasCard *card = currentCard();
    return card ? SnipsLibraryModel::noteMenuTitle(card, m_library.boards()) : tr("Add to Note");
}

std::optional<QString> SnipGalleryModel::noteTitle(const CanvasCard &card, const QList<Board *> &boards)
{
    for (const Board *board : boards) {
        if (board->id() == card.boardID())
            return board->title();
    }
    return std::nullopt;
}

QList<SnipGalleryModel::InfoRow> SnipGalleryModel::infoRows(const CanvasCard &card, const QSize &imageSize)
{
    QList<InfoRow> rows;
    rows.append({tr("Captured"), capturedText(card.capturedAt().value_or(card.createdAt()))});
    rows.append({tr("Size"), imageSizeDescription(imageSize)});
    if (const std::optional<QString> mode = card.captureModeRawValue())
        rows.append({tr("Mode"), capitalisedWords(*mode)});
    if (const std::optional<QString> source = card.sourceApplicationName(); source && !source->isEmpty())
        rows.append({tr("Source"), *source});
    if (const std::optional<QString> window = card.sourceWindowTitle(); window && !window->isEmpty())
        rows.append({tr("Window"), *window});
    if (card.hasAnnotationDocumentData()) {
        if (const std::optional<QByteArray> edits = card.annotationDocumentData(); edits && !edits->isEmpty())
            rows.append({tr("Edits"), tr("Annotated")});
    }
    return rows;
}

QString SnipGalleryModel::imageSizeDescription(const QSize &size)
{
    if (size.isEmpty())
        return tr("Unknown");
    return QStringLiteral("%1 × %2").arg(size.width()).arg(size.height());
}

QString SnipGalleryModel::capturedText(const QDateTime &date)
{
    const QLocale locale;
    // The locale's long date without the weekday, its month abbreviated:
    // "Dec 7, 2025" in English, "7. Dez. 2025" in German.
    QString format = locale.dateFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("d{4}[,\\s]*")));
    format.replace(QLatin1String("MMMM"), QLatin1String("MMM"));
    const QDateTime local = date.toLocalTime();
    return locale.toString(local.date(), format.trimmed()) + QStringLiteral(", ")
        + locale.toString(local.time(), shortTimeFormat(locale));
}

} // namespace tessaline

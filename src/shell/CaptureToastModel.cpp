#include "shell/CaptureToastModel.h"

#include "runtime/AppRuntime.h"
#include "runtime/CapturePipeline.h"
#include "runtime/ImageExportService.h"
#include "runtime/SnipPictureReading.h"
#include "model/Board.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/ImageDecoder.h"
#include "platform/TextUtilities.h"

namespace tessaline {

CaptureToastModel::CaptureToastModel(const QUuid &cardID, AppRuntime &runtime, QObject *parent)
    : QObject(parent)
    , m_cardID(cardID)
    , m_runtime(runtime)
{
}

CanvasCard *CaptureToastModel::currentCard() const
{
    if (m_card && m_card->isLive() && m_card->id() == m_cardID)
        return m_card;
    const auto cards = m_runtime.modelContext().fetchCards(m_cardID);
    if (!cards)
        return nullptr;
    // The capture just stored is the newest card of its id.
    for (auto card = cards->crbegin(); card != cards->crend(); ++card) {
        if ((*card)->isLive())
            return m_card = *card;
    }
    return nullptr;
}

QString CaptureToastModel::noteTitle() const
{
    const CanvasCard *card = currentCard();
    const auto boards = m_runtime.modelContext().fetchBoards();
    if (card && boards) {
        for (const Board *board : *boards) {
            if (board->id() == card->boardID())
                return board->title();
        }
    }
    return QStringLiteral("Tessaline");
}

QString CaptureToastModel::sourceDescription() const
{
    const CanvasCard *card = currentCard();
    if (!card || !card->sourceApplicationName())
        return QString();
    QString text = QStringLiteral("From ") + *card->sourceApplicationName();
    const auto window = card->sourceWindowTitle();
    if (window && !window->isEmpty())
        text += QStringLiteral(" \u00B7 ") + *window;
    return text;
}

void CaptureToastModel::setContextText(const QString &text)
{
    m_contextText = text;
}

void CaptureToastModel::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    Q_EMIT changed();
}

void CaptureToastModel::setExporting(bool exporting)
{
    m_isExporting = exporting;
    Q_EMIT changed();
}

void CaptureToastModel::loadInitialState()
{
    if (const CanvasCard *card = currentCard())
        m_contextText = card->contextText();
    m_isCopied = m_runtime.lastAutomaticallyCopiedCardID() == m_cardID;
    m_isCopyHeldBack = m_runtime.automaticCopyHeldBackCardID() == m_cardID;
    loadThumbnailSource();
    Q_EMIT changed();
}

void CaptureToastModel::showCard(const QUuid &cardID)
{
    m_cardID = cardID;
    m_thumbnailSource = QImage();
    m_contextText.clear();
    m_errorMessage.reset();
    m_isCopied = false;
    m_isCopyHeldBack = false;
    m_isExporting = false;
    loadInitialState();
}

void CaptureToastModel::loadThumbnailSource()
{
    if (const auto preview = m_runtime.capturePipeline().preview(m_cardID)) {
        m_thumbnailSource = *preview;
        return;
    }
    // Any other card's picture is read and reduced off the main thread: at
    // 5K that is a third of a second the main thread would stand still.
    const CanvasCard *card = currentCard();
    if (!card || !card->hasOriginalImageData())
        return;
    const QUuid cardID = m_cardID;
    readCardPicture(this, *card, [](const std::optional<QByteArray> &data) {
        const int side = CapturePipeline::previewSide;
        auto reduced = data ? ImageDecoder::decodeFitted(*data, QSize(side, side)) : unexpected(ImageDecodeError::unreadable);
        return reduced ? *reduced : QImage();
    }).then(this, [this, cardID](const QImage &image) {
        // The toast may show another card by now.
        if (cardID != m_cardID || image.isNull())
            return;
        m_thumbnailSource = image;
        Q_EMIT changed();
    });
}

bool CaptureToastModel::commitCaption()
{
    const CanvasCard *card = currentCard();
    const QString trimmed = trimmedWhitespace(m_contextText);
    if (card && trimmed == card->contextText())
        return true;
    const auto updated = ThinkingSessionService(m_runtime.modelContext())
                             .updateCaption(trimmed, m_cardID, QDateTime::currentDateTimeUtc());
    if (!updated) {
        setErrorMessage(updated.error().message);
        return false;
    }
    return true;
}

void CaptureToastModel::copyImage(Pasteboard &pasteboard)
{
    const CanvasCard *card = currentCard();
    if (!card) {
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
        return;
    }
    const QUuid cardID = m_cardID;
    copySnipPicture(this, *card, pasteboard, [this, cardID](bool copied) {
        if (cardID != m_cardID)
            return;
        if (!copied) {
            setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
            return;
        }
        m_isCopied = true;
        Q_EMIT changed();
    });
}

void CaptureToastModel::prepareSave(std::function<void(const QImage &image, const QString &title)> save)
{
    if (m_isExporting || !commitCaption())
        return;
    const CanvasCard *card = currentCard();
    // Without an image there is nothing to save; say so rather than stay
    // silent, as Copy does.
    const auto failed = [this] {
        setExporting(false);
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
    };
    if (!card) {
        failed();
        return;
    }
    // Exporting from now: a second click while the picture is read asks
    // for no second dialog.
    setExporting(true);
    const QUuid cardID = m_cardID;
    exportSnipPicture(
        this, *card,
        [this, cardID, save = std::move(save)](const CanvasCard &saved, const QImage &image) {
            if (cardID == m_cardID)
                save(image, saved.displayTitle());
        },
        [this, cardID, failed] {
            if (cardID == m_cardID)
                failed();
        });
}

bool CaptureToastModel::showsAnotherSnip(const std::optional<QUuid> &shown)
{
    // The review or composer of another snip is up, with annotations or a
    // frame the user has not kept yet: it is not swapped for this snip
    // under them. It comes forward, and the toast stays so this snip can
    // follow once that one is done.
    if (!shown || *shown == m_cardID)
        return false;
    m_runtime.bringMainWindowToFront();
    return true;
}

void CaptureToastModel::openFrameComposer()
{
    if (!commitCaption())
        return;
    if (showsAnotherSnip(m_runtime.navigation().frameComposerCardID()))
        return;
    Q_EMIT closeRequested();
    m_runtime.navigation().setFrameComposerCardID(m_cardID);
    m_runtime.bringMainWindowToFront();
}

void CaptureToastModel::openReview()
{
    if (!commitCaption())
        return;
    if (showsAnotherSnip(m_runtime.navigation().captureReviewCardID()))
        return;
    m_runtime.navigation().setCaptureReviewCardID(m_cardID);
    m_runtime.bringMainWindowToFront();
    Q_EMIT closeRequested();
}

void CaptureToastModel::openNote()
{
    if (!commitCaption())
        return;
    const CanvasCard *card = currentCard();
    m_runtime.navigation().setDestination(card ? SidebarDestination::listing(m_runtime.modelContext(), card->boardID())
                                                : SidebarDestination::notes());
    if (card)
        m_runtime.navigation().setActiveBoardID(card->boardID());
    m_runtime.bringMainWindowToFront();
    Q_EMIT closeRequested();
}

} // namespace tessaline

#include "imaging/CaptureReviewModel.h"

#include "runtime/AppRuntime.h"
#include "runtime/CapturePipeline.h"
#include "runtime/ImageExportService.h"
#include "runtime/SnipPictureReading.h"
#include "imaging/AnnotationEditorModel.h"
#include "model/AnnotationRenderer.h"
#include "model/CanvasCard.h"
#include "model/ModelChangeScope.h"
#include "model/ModelContext.h"
#include "model/ThinkingSessionService.h"
#include "platform/FutureDelivery.h"

#include <QDateTime>
#include <QTimer>

namespace tessaline {

QString captureReviewErrorMessage(CaptureReviewError error)
{
    switch (error) {
    case CaptureReviewError::annotationsNotEncodable:
        break;
    case CaptureReviewError::storedAnnotationsUnreadable:
        return QStringLiteral("The snip’s stored annotations could not be read, so they were not replaced. "
                              "The snip was left as it was.");
    }
    return QStringLiteral("The annotations could not be stored, so the snip was left as it was.");
}

CaptureReviewModel::CaptureReviewModel(const QUuid &cardID, AppRuntime &runtime, Pasteboard &pasteboard,
                                       QObject *parent)
    : QObject(parent), m_cardID(cardID), m_runtime(runtime), m_pasteboard(pasteboard),
      m_editor(new AnnotationEditorModel(this))
{
    refreshAvailability();
    // A card trashed elsewhere while the review is open makes it unavailable.
    connect(&m_runtime.modelContext(), &ModelContext::didSave, this, &CaptureReviewModel::refreshAvailability);
}

CaptureReviewModel::~CaptureReviewModel() = default;

CanvasCard *CaptureReviewModel::card() const
{
    auto cards = m_runtime.modelContext().fetchCards(m_cardID);
    if (!cards)
        return nullptr;
    for (CanvasCard *card : *cards) {
        if (card->isLive())
            return card;
    }
    return nullptr;
}

void CaptureReviewModel::refreshAvailability()
{
    const CanvasCard *card = this->card();
    const bool wasAvailable = isAvailable();
    const bool wasLoading = m_isLoading;
    if (!card) {
        m_image = QImage();
        m_isLoading = false;
        m_hasTriedImage = false;
        ++m_loads;
    } else if (m_image.isNull() && !m_isLoading && !m_hasTriedImage) {
        m_hasUnreadableAnnotations = !AnnotationDocument::decode(card->annotationDocumentData());
        if (!m_hasUnreadableAnnotations)
            loadImage(*card);
    }
    if (card && card->displayTitle() != m_title) {
        m_title = card->displayTitle();
        Q_EMIT titleChanged();
    }
    if (wasAvailable != isAvailable() || wasLoading != m_isLoading)
        Q_EMIT availabilityChanged();
}

void CaptureReviewModel::loadImage(const CanvasCard &card)
{
    m_isLoading = true;
    m_hasTriedImage = true;
    const quint64 load = ++m_loads;
    readSnipPicture(this, card, SnipPictureDrawing::original).then(this, [this, load](const SnipPictureResult &picture) {
        if (load != m_loads)
            return;
        m_isLoading = false;
        m_image = picture ? *picture : QImage();
        Q_EMIT availabilityChanged();
    });
}

void CaptureReviewModel::load()
{
    const CanvasCard *card = this->card();
    if (!card)
        return;
    const auto document = AnnotationDocument::decode(card->annotationDocumentData());
    m_editor->setDocument(document ? *document : AnnotationDocument::empty());
    setContextText(card->contextText());
}

void CaptureReviewModel::setContextText(const QString &text)
{
    if (text == m_contextText)
        return;
    m_contextText = text;
    Q_EMIT changed();
}

void CaptureReviewModel::setErrorMessage(const std::optional<QString> &message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    Q_EMIT changed();
}

void CaptureReviewModel::clearErrorMessage()
{
    setErrorMessage(std::nullopt);
}

void CaptureReviewModel::setExporting(bool exporting)
{
    if (exporting == m_isExporting)
        return;
    m_isExporting = exporting;
    Q_EMIT changed();
}

void CaptureReviewModel::setKeeping(bool keeping)
{
    if (keeping == m_isKeeping)
        return;
    m_isKeeping = keeping;
    Q_EMIT changed();
}

void CaptureReviewModel::setCopied()
{
    if (m_isCopied)
        return;
    m_isCopied = true;
    Q_EMIT changed();
}

void CaptureReviewModel::takeTypedLabel()
{
    // Words typed into an open label are on the screen; the user who presses
    // Keep, Frame, Copy or Save without Return first means them to be in it.
    if (m_editor->canCommitText())
        m_editor->commitText();
}

std::optional<QImage> CaptureReviewModel::flattenedImage() const
{
    if (m_image.isNull())
        return std::nullopt;
    return AnnotationRenderer::renderImage(m_image, m_editor->document().items);
}

void CaptureReviewModel::copy()
{
    takeTypedLabel();
    const std::optional<QImage> flattened = flattenedImage();
    if (flattened && ImageExportService::copyToPasteboard(*flattened, m_pasteboard))
        setCopied();
    else
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
}

void CaptureReviewModel::save()
{
    if (m_isExporting)
        return;
    takeTypedLabel();
    const std::optional<QImage> flattened = flattenedImage();
    if (!flattened) {
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
        return;
    }
    setExporting(true);
    const CanvasCard *card = this->card();
    const QString name = card ? card->displayTitle() : QStringLiteral("Snip");
    if (!m_saver) {
        setExporting(false);
        return;
    }
    m_saver(*flattened, name, [self = QPointer<CaptureReviewModel>(this)](const SaveFileOutcome &outcome) {
        if (!self)
            return;
        if (!outcome)
            self->setErrorMessage(outcome.error());
        self->setExporting(false);
    });
}

Expected<void, QString> CaptureReviewModel::saveReview()
{
    CanvasCard *card = this->card();
    if (!card || !card->isSnip())
        return unexpected(message(ThinkingSessionError::cardNotFound));
    // Stored annotations that could not be read may hold a redaction: they
    // are never replaced by what the editor started from in their place.
    if (!AnnotationDocument::decode(card->annotationDocumentData()))
        return unexpected(captureReviewErrorMessage(CaptureReviewError::storedAnnotationsUnreadable));
    // A document that cannot be written must not wipe the annotations that
    // are stored: stop before anything is touched.
    const std::optional<QByteArray> encoded = m_editor->document().encode();
    if (!encoded)
        return unexpected(captureReviewErrorMessage(CaptureReviewError::annotationsNotEncodable));

    const std::optional<QByteArray> previous = card->annotationDocumentData();
    // The document and the caption are stored together or not at all; other
    // unsaved edits in the context are not this review's to undo.
    ModelChangeScope scope(m_runtime.modelContext());
    card->setAnnotationDocumentData(*encoded);
    const bool readsTextAgain = m_runtime.capturePipeline().prepareAnnotationChange(*card, previous, m_image.size());
    ThinkingSessionService service(m_runtime.modelContext());
    const auto kept = service.updateCaption(m_contextText, m_cardID, QDateTime::currentDateTimeUtc());
    if (!kept) {
        scope.undo();
        return unexpected(kept.error().message);
    }
    if (readsTextAgain)
        m_runtime.capturePipeline().recognizeTextAgain(m_cardID, m_image);
    return {};
}

bool CaptureReviewModel::saveThenClose(std::function<void()> close)
{
    // The snip is stored already; a second press must not store it again.
    if (m_isKeeping)
        return false;
    takeTypedLabel();
    if (const auto saved = saveReview(); !saved) {
        setErrorMessage(saved.error());
        return false;
    }
    if (!m_runtime.captureBehaviorPreferences().automaticallyCopiesCaptures) {
        close();
        return true;
    }
    if (m_image.isNull()) {
        setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
        return true;
    }
    // The picture the review holds, with the annotations just stored, drawn
    // and encoded on the pool: a tenth of a second at 5K. The review waits
    // for the pasteboard's answer, so a failed copy is still told here; gone
    // with the review meanwhile, the answer is dropped, the snip stays
    // stored.
    setKeeping(true);
    runInBackground(this, [picture = m_image, items = m_editor->document().items]() -> std::optional<QByteArray> {
        const std::optional<QImage> flattened = AnnotationRenderer::renderImage(picture, items);
        return flattened ? ImageExportService::pngData(*flattened) : std::nullopt;
    }).then(this, [this, close = std::move(close)](const std::optional<QByteArray> &png) {
        setKeeping(false);
        if (!m_runtime.copyCardPng(m_cardID, png, m_pasteboard)) {
            setErrorMessage(imageExportErrorMessage(ImageExportError::encodingFailed));
            return;
        }
        setCopied();
        close();
    });
    return true;
}

bool CaptureReviewModel::keep()
{
    return saveThenClose([this] {
        const CanvasCard *card = this->card();
        NavigationState &navigation = m_runtime.navigation();
        navigation.setCaptureReviewCardID(std::nullopt);
        navigation.setDestination(card ? SidebarDestination::listing(m_runtime.modelContext(), card->boardID())
                                            : SidebarDestination::notes());
        if (card)
            navigation.setActiveBoardID(card->boardID());
        Q_EMIT dismissRequested();
    });
}

bool CaptureReviewModel::frame()
{
    return saveThenClose([this] {
        NavigationState &navigation = m_runtime.navigation();
        navigation.setCaptureReviewCardID(std::nullopt);
        Q_EMIT dismissRequested();
        // The composer opens once the review sheet has gone.
        QTimer::singleShot(0, &navigation, [&navigation, id = m_cardID] { navigation.setFrameComposerCardID(id); });
    });
}

void CaptureReviewModel::cancel()
{
    if (m_isKeeping)
        return;
    m_runtime.navigation().setCaptureReviewCardID(std::nullopt);
    Q_EMIT dismissRequested();
}

} // namespace tessaline

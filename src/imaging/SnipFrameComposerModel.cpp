#include "imaging/SnipFrameComposerModel.h"

#include "runtime/AppRuntime.h"
#include "runtime/ImageExportService.h"
#include "runtime/SnipPictureReading.h"
#include "model/CanvasCard.h"
#include "model/ModelContext.h"

#include <QPointer>
#include <QTimer>

#include <cmath>

namespace tessaline {

QString snipFrameComposerErrorMessage(SnipFrameComposerError error)
{
    switch (error) {
    case SnipFrameComposerError::copyFailed:
        break;
    }
    return QStringLiteral("The framed screenshot could not be copied to the clipboard.");
}

TimerDelayedAction::TimerDelayedAction() : m_timer(std::make_unique<QTimer>())
{
    m_timer->setSingleShot(true);
    QObject::connect(m_timer.get(), &QTimer::timeout, m_timer.get(), [this] {
        auto action = std::move(m_action);
        m_action = nullptr;
        if (action)
            action();
    });
}

TimerDelayedAction::~TimerDelayedAction() = default;

void TimerDelayedAction::start(std::chrono::milliseconds delay, std::function<void()> action)
{
    m_action = std::move(action);
    m_timer->start(delay);
}

void TimerDelayedAction::cancel()
{
    m_timer->stop();
    m_action = nullptr;
}

bool TimerDelayedAction::isPending() const
{
    return m_timer->isActive();
}

SnipFrameStyle SnipFrameComposerModel::defaultStyle()
{
    SnipFrameStyle style;
    style.preset = SnipFramePreset::cleanPaper;
    style.padding = 56;
    style.cornerRadius = 18;
    style.shadowIsEnabled = true;
    style.shadowRadius = 22;
    style.shadowOpacity = 0.2;
    style.shadowOffsetY = 10;
    return style;
}

SnipFrameComposerModel::SnipFrameComposerModel(SnipFrameComposerSource source, AppRuntime *runtime,
                                               Pasteboard &pasteboard, std::unique_ptr<DelayedAction> copiedReset,
                                               QObject *parent)
    : QObject(parent), m_source(std::move(source)), m_runtime(runtime), m_pasteboard(pasteboard),
      m_copiedReset(copiedReset ? std::move(copiedReset) : std::make_unique<TimerDelayedAction>()),
      m_style(defaultStyle())
{
    resolve();
    // The card is looked up again after every save, so one trashed while the
    // composer is open turns it into the unavailable panel.
    if (m_runtime && std::holds_alternative<SnipFrameComposerSource::Card>(m_source.value))
        connect(&m_runtime->modelContext(), &ModelContext::didSave, this, &SnipFrameComposerModel::resolve);
}

SnipFrameComposerModel::~SnipFrameComposerModel()
{
    m_copiedReset->cancel();
}

void SnipFrameComposerModel::resolve()
{
    const Availability before = m_availability;
    if (const auto *given = std::get_if<SnipFrameComposerSource::Image>(&m_source.value)) {
        m_image = given->image;
        m_suggestedName = given->suggestedName;
        m_availability = m_image.isNull() ? Availability::unavailable : Availability::available;
    } else {
        const QUuid id = std::get<SnipFrameComposerSource::Card>(m_source.value).id;
        const CanvasCard *found = nullptr;
        if (m_runtime) {
            if (auto cards = m_runtime->modelContext().fetchCards(id)) {
                for (const CanvasCard *card : *cards) {
                    if (card->isLive()) {
                        found = card;
                        break;
                    }
                }
            }
        }
        if (!found || !found->hasOriginalImageData()) {
            m_image = QImage();
            m_revision.reset();
            ++m_loads;
            m_availability = Availability::unavailable;
        } else if (m_revision != m_revisions.revision(*found)) {
            load(*found);
        }
        if (found)
            m_suggestedName = found->displayTitle();
    }
    if (before != m_availability)
        Q_EMIT availabilityChanged();
}

void SnipFrameComposerModel::load(const CanvasCard &card)
{
    m_revision = m_revisions.revision(card);
    m_image = QImage();
    m_availability = Availability::loading;
    const quint64 load = ++m_loads;
    readSnipPicture(this, card, SnipPictureDrawing::annotated).then(this, [this, load](const SnipPictureResult &picture) {
        if (load != m_loads)
            return;
        if (picture) {
            m_image = *picture;
            m_availability = Availability::available;
        } else {
            // Tell a snip that cannot be read from one whose annotations
            // cannot be drawn: the latter must not be framed without them.
            m_availability = picture.error() == AnnotatedCardError::pictureUnreadable
                ? Availability::unavailable
                : Availability::annotationsUnrenderable;
        }
        Q_EMIT availabilityChanged();
    });
}

void SnipFrameComposerModel::setStyle(const SnipFrameStyle &style)
{
    if (style == m_style)
        return;
    m_style = style;
    // A changed frame is not what was copied.
    m_copiedReset->cancel();
    setCopied(false);
    Q_EMIT styleChanged();
}

void SnipFrameComposerModel::selectPreset(SnipFramePreset preset)
{
    SnipFrameStyle style = m_style;
    style.preset = preset;
    setStyle(style);
}

void SnipFrameComposerModel::setPadding(double padding)
{
    SnipFrameStyle style = m_style;
    style.padding = padding;
    setStyle(style);
}

void SnipFrameComposerModel::setCornerRadius(double radius)
{
    SnipFrameStyle style = m_style;
    style.cornerRadius = radius;
    setStyle(style);
}

void SnipFrameComposerModel::setShadowEnabled(bool enabled)
{
    SnipFrameStyle style = m_style;
    style.shadowIsEnabled = enabled;
    setStyle(style);
}

void SnipFrameComposerModel::setShadowRadius(double radius)
{
    SnipFrameStyle style = m_style;
    style.shadowRadius = radius;
    setStyle(style);
}

void SnipFrameComposerModel::setShadowOpacity(double opacity)
{
    SnipFrameStyle style = m_style;
    style.shadowOpacity = opacity;
    setStyle(style);
}

void SnipFrameComposerModel::reset()
{
    setStyle(defaultStyle());
}

QSize SnipFrameComposerModel::sourcePixelSize() const
{
    return m_image.isNull() ? QSize(0, 0) : m_image.size();
}

QString SnipFrameComposerModel::outputSizeText() const
{
    const qint64 p = std::max(0, SnipFrameRenderer::pixelPadding(m_style));
    const QSize source = sourcePixelSize();
    return QStringLiteral("%1 × %2 px").arg(qint64(source.width()) + 2 * p).arg(qint64(source.height()) + 2 * p);
}

void SnipFrameComposerModel::clearErrorMessage()
{
    setErrorMessage(std::nullopt);
}

QString SnipFrameComposerModel::framedFileName() const
{
    return m_suggestedName + QStringLiteral(" — Framed");
}

void SnipFrameComposerModel::copy()
{
    if (!isAvailable())
        return;
    const auto framed = SnipFrameRenderer::renderFramedImage(m_image, m_style);
    if (!framed) {
        setErrorMessage(snipFrameRenderingErrorMessage(framed.error()));
        return;
    }
    if (!ImageExportService::copyToPasteboard(*framed, m_pasteboard)) {
        setErrorMessage(snipFrameComposerErrorMessage(SnipFrameComposerError::copyFailed));
        return;
    }
    setCopied(true);
    // A second copy restarts the wait rather than ending it early.
    m_copiedReset->cancel();
    m_copiedReset->start(copiedDuration, [this] { setCopied(false); });
}

void SnipFrameComposerModel::save()
{
    if (m_saving || !isAvailable())
        return;
    setSaving(true);
    const auto framed = SnipFrameRenderer::renderFramedImage(m_image, m_style);
    if (!framed) {
        setErrorMessage(snipFrameRenderingErrorMessage(framed.error()));
        setSaving(false);
        return;
    }
    if (!m_saver) {
        setSaving(false);
        return;
    }
    m_saver(*framed, framedFileName(), [self = QPointer<SnipFrameComposerModel>(this)](const SaveFileOutcome &outcome) {
        if (!self)
            return;
        if (!outcome)
            self->setErrorMessage(outcome.error().isEmpty() ? QStringLiteral("Unknown error") : outcome.error());
        self->setSaving(false);
    });
}

void SnipFrameComposerModel::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    Q_EMIT stateChanged();
}

void SnipFrameComposerModel::setSaving(bool saving)
{
    if (saving == m_saving)
        return;
    m_saving = saving;
    Q_EMIT stateChanged();
}

void SnipFrameComposerModel::setErrorMessage(const std::optional<QString> &message)
{
    if (message == m_errorMessage)
        return;
    m_errorMessage = message;
    Q_EMIT stateChanged();
}

QString SnipFrameComposerModel::pixelText(double value)
{
    return QString::number(qint64(std::round(value))) + QStringLiteral(" px");
}

QString SnipFrameComposerModel::percentText(double opacity)
{
    return QString::number(qint64(std::round(opacity * 100))) + QStringLiteral("%");
}

QString SnipFrameComposerModel::presetAccessibilityHint(SnipFramePreset preset)
{
    switch (preset) {
    case SnipFramePreset::transparent:
        return QStringLiteral("A clear background around the screenshot");
    case SnipFramePreset::cleanPaper:
        return QStringLiteral("A soft off-white background");
    case SnipFramePreset::graphite:
        return QStringLiteral("A dark neutral background");
    case SnipFramePreset::warmSand:
        return QStringLiteral("A quiet warm beige background");
    case SnipFramePreset::mutedGradient:
        break;
    }
    return QStringLiteral("A restrained slate and mauve gradient");
}

} // namespace tessaline

#pragma once

#include "imaging/SnipFrameStyle.h"
#include "runtime/CardPictureRevisions.h"
#include "runtime/SaveFileFlow.h"

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QSize>
#include <QString>
#include <QUuid>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <variant>

class QTimer;

namespace tessaline {

class AppRuntime;
class CanvasCard;
class Pasteboard;

enum class SnipFrameComposerError { copyFailed };
QString snipFrameComposerErrorMessage(SnipFrameComposerError error);

// One pending action after a delay; starting again replaces the pending one.
// The composer resets "Copied" through it, so tests can fire it by hand.
class DelayedAction
{
public:
    virtual ~DelayedAction() = default;
    virtual void start(std::chrono::milliseconds delay, std::function<void()> action) = 0;
    virtual void cancel() = 0;
    virtual bool isPending() const = 0;
};

// The real one, over a single-shot QTimer; owned by the model, so a closed
// composer leaves nothing behind that could fire.
class TimerDelayedAction final : public DelayedAction
{
public:
    TimerDelayedAction();
    ~TimerDelayedAction() override;
    void start(std::chrono::milliseconds delay, std::function<void()> action) override;
    void cancel() override;
    bool isPending() const override;

private:
    std::unique_ptr<QTimer> m_timer;
    std::function<void()> m_action;
};

// What the composer frames: a stored card (looked up live, annotations
// drawn in) or an image handed over directly with the base of its file name.
struct SnipFrameComposerSource
{
    struct Card
    {
        QUuid id;
    };
    struct Image
    {
        QImage image;
        QString suggestedName;
    };
    std::variant<Card, Image> value;

    static SnipFrameComposerSource card(const QUuid &id) { return {Card{id}}; }
    static SnipFrameComposerSource image(const QImage &image, const QString &suggestedName)
    {
        return {Image{image, suggestedName}};
    }
};

// The frame composer's state and actions: the image being framed, the style
// the user edits, Copy (with its short-lived "Copied" state) and Save. The
// stored card is only ever read. Main thread only.
class SnipFrameComposerModel : public QObject
{
    Q_OBJECT
public:
    // Asks where to save and writes the PNG; runs `completion` once: saved,
    // cancelled, or the reason it failed.
    using PngSaver = std::function<void(const QImage &image, const QString &suggestedName,
                                        SaveFileFlow::Completion completion)>;

    enum class Availability {
        // A card's picture is being read and drawn off the main thread (a
        // 5K one takes a tenth of a second); nothing can be framed yet.
        loading,
        available,
        // The card is gone, trashed, or holds no readable image.
        unavailable,
        // The image reads, but its annotations cannot be read or drawn:
        // framing it would export what they were meant to hide.
        annotationsUnrenderable,
    };

    static constexpr std::chrono::milliseconds copiedDuration{2000};

    // The style every composer starts from and Reset returns to.
    static SnipFrameStyle defaultStyle();

    // `runtime` is needed for a card source only (it may be null otherwise).
    SnipFrameComposerModel(SnipFrameComposerSource source, AppRuntime *runtime, Pasteboard &pasteboard,
                           std::unique_ptr<DelayedAction> copiedReset = {}, QObject *parent = nullptr);
    ~SnipFrameComposerModel() override;

    Availability availability() const { return m_availability; }
    bool isLoading() const { return m_availability == Availability::loading; }
    bool isAvailable() const { return m_availability == Availability::available; }
    // The image to frame, annotations drawn in; null unless available.
    QImage image() const { return m_image; }
    QString suggestedName() const { return m_suggestedName; }

    SnipFrameStyle style() const { return m_style; }
    void setStyle(const SnipFrameStyle &style);
    void selectPreset(SnipFramePreset preset);
    void setPadding(double padding);
    void setCornerRadius(double radius);
    void setShadowEnabled(bool enabled);
    void setShadowRadius(double radius);
    void setShadowOpacity(double opacity);
    bool canReset() const { return !(m_style == defaultStyle()); }
    void reset();

    // The source's size in pixels and the framed picture's, as the badge
    // shows it ("1312 × 912 px").
    QSize sourcePixelSize() const;
    QString outputSizeText() const;

    bool isCopied() const { return m_copied; }
    bool isSaving() const { return m_saving; }
    std::optional<QString> errorMessage() const { return m_errorMessage; }
    void clearErrorMessage();

    void setPngSaver(PngSaver saver) { m_saver = std::move(saver); }
    // The name a framed copy is saved under, before the file-name rules.
    QString framedFileName() const;

    void copy();
    void save();

    // The value texts of the composer's controls.
    static QString pixelText(double value);
    static QString percentText(double opacity);
    static QString presetAccessibilityHint(SnipFramePreset preset);

Q_SIGNALS:
    void availabilityChanged();
    void styleChanged();
    // Copied, saving or the error message changed.
    void stateChanged();

private:
    void resolve();
    void load(const CanvasCard &card);
    void setCopied(bool copied);
    void setSaving(bool saving);
    void setErrorMessage(const std::optional<QString> &message);

    SnipFrameComposerSource m_source;
    AppRuntime *m_runtime;
    Pasteboard &m_pasteboard;
    std::unique_ptr<DelayedAction> m_copiedReset;
    Availability m_availability = Availability::unavailable;
    QImage m_image;
    QString m_suggestedName;
    // What the image was last made from, so a store save that did not touch
    // the card's picture or annotations does not read it again.
    CardPictureRevisions m_revisions;
    std::optional<int> m_revision;
    // Counts the reads begun, so one answered after the card changed or
    // went is dropped.
    quint64 m_loads = 0;
    SnipFrameStyle m_style;
    bool m_copied = false;
    bool m_saving = false;
    std::optional<QString> m_errorMessage;
    PngSaver m_saver;
};

} // namespace tessaline

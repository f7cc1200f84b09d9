#pragma once

// A runtime over an in-memory library (tests/support/RuntimeRig.h) with helpers
// to store snips for the frame composer, and a "Copied" timer fired by hand.

#include "../support/RuntimeRig.h"

#include "runtime/ImageExportService.h"
#include "imaging/SnipFrameComposerModel.h"
#include "model/AnnotationDocument.h"
#include "model/Board.h"
#include "model/CanvasCard.h"

#include <QTest>

#include <memory>

namespace tessaline::testing {

// What a hand-fired timer has seen; shared so it can be read after the
// composer (its owner) is gone.
struct DelayedActionLog
{
    int starts = 0;
    int cancels = 0;
    std::chrono::milliseconds lastDelay{0};
    std::function<void()> pending;
};

class ManualDelayedAction : public DelayedAction
{
public:
    explicit ManualDelayedAction(std::shared_ptr<DelayedActionLog> log) : m_log(std::move(log)) {}
    void start(std::chrono::milliseconds delay, std::function<void()> action) override
    {
        ++m_log->starts;
        m_log->lastDelay = delay;
        m_log->pending = std::move(action);
    }
    void cancel() override
    {
        ++m_log->cancels;
        m_log->pending = nullptr;
    }
    bool isPending() const override { return bool(m_log->pending); }

private:
    std::shared_ptr<DelayedActionLog> m_log;
};

// Fires the pending action the way the timer would.
inline void fire(DelayedActionLog &log)
{
    auto action = std::move(log.pending);
    log.pending = nullptr;
    if (action)
        action();
}

inline QImage solidImage(int width, int height, QColor color = QColor(40, 90, 160))
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    return image;
}

// A text label: its glyphs need a GUI application to be drawn.
inline AnnotationItem labelItem()
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::text;
    item.points = {NormalizedPoint{0.2, 0.2}};
    item.color = AnnotationColor{1, 0, 0, 1};
    item.lineWidth = 6;
    item.text = QStringLiteral("Account 1234");
    return item;
}

// A thick red outline round the left half.
inline AnnotationItem rectangleItem()
{
    AnnotationItem item;
    item.id = QUuid::createUuid();
    item.tool = AnnotationTool::rectangle;
    item.points = {NormalizedPoint{0.0, 0.0}, NormalizedPoint{0.5, 1.0}};
    item.color = AnnotationColor{1, 0, 0, 1};
    item.lineWidth = 30;
    return item;
}

// Waits until the composer has read its card's picture.
[[nodiscard]] inline bool loaded(const SnipFrameComposerModel &model)
{
    return QTest::qWaitFor([&] { return !model.isLoading(); });
}

struct ComposerRig : Rig
{
    explicit ComposerRig(Library library = Library::inMemory)
        : Rig(library), noteID(addNote(context(), NoteFields{.title = QStringLiteral("Research")})->id())
    {
    }

    QUuid addSnip(const QString &title, const std::optional<QByteArray> &imageData,
                  const std::optional<QByteArray> &annotations = std::nullopt)
    {
        const CardFields fields{.title = title, .created = at(10), .image = imageData, .annotations = annotations};
        const QUuid id = addCard(context(), noteID, fields)->id();
        if (!context().save())
            qFatal("the test library could not be saved");
        return id;
    }

    QUuid addSnip(const QString &title, const QImage &image, const QList<AnnotationItem> &items = {})
    {
        std::optional<QByteArray> annotations;
        if (!items.isEmpty()) {
            AnnotationDocument document;
            document.items = items;
            annotations = document.encode();
        }
        return addSnip(title, ImageExportService::pngData(image), annotations);
    }

    void trash(const QUuid &id)
    {
        card(id)->setDeletedAt(at(20));
        if (!context().save())
            qFatal("the test library could not be saved");
    }

    std::unique_ptr<DelayedAction> manualTimer() { return std::make_unique<ManualDelayedAction>(timerLog); }

    QUuid noteID;
    std::shared_ptr<DelayedActionLog> timerLog = std::make_shared<DelayedActionLog>();
};

} // namespace tessaline::testing

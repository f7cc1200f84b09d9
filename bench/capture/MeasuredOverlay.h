#pragma once

// The real region overlay with clocks on its road to the first frame, for
// the benchmarks of a capture request to its overlay.

#include "capture/RegionSelectionOverlay.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <functional>

namespace tessaline::bench {

inline qint64 now()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return clock.nsecsElapsed();
}

struct OverlayMarks
{
    qint64 beginStarted = 0;
    qint64 beginEnded = 0;
    qint64 paintStarted = 0;
    qint64 painted = 0;
};

class MeasuredOverlay : public RegionSelectionSession
{
public:
    // whenPainted runs once the first frame is handed over, before the mark:
    // a round trip, say, that makes sure the window system has it.
    MeasuredOverlay(const FrozenDisplayCapture &capture, Completion completion, OverlayMarks &marks,
                    std::function<void()> whenPainted = {})
        : m_inner(capture, std::move(completion))
        , m_marks(marks)
        , m_paintClock(marks)
        , m_whenPainted(std::move(whenPainted))
    {
        current = this;
    }
    ~MeasuredOverlay() override
    {
        if (current == this)
            current = nullptr;
    }
    void begin() override
    {
        m_marks.beginStarted = now();
        m_inner.begin();
        m_marks.beginEnded = now();
        if (RegionSelectionView *view = m_inner.view()) {
            view->installEventFilter(&m_paintClock);
            view->onFirstPaint = [this] {
                if (m_whenPainted)
                    m_whenPainted();
                m_marks.painted = now();
            };
        }
    }

    // Ends the overlay that is up and lets it go before the next run.
    // Without a running event loop, deleteLater() needs a push, or every
    // run would leave its pictures behind.
    static void end()
    {
        if (current)
            current->m_inner.finish(RegionSelectionOutcome::cancelled());
        QElapsedTimer pause;
        pause.start();
        while (pause.elapsed() < 150) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
    }

    static inline MeasuredOverlay *current = nullptr;

private:
    // Notes when the first paint begins.
    class PaintClock : public QObject
    {
    public:
        explicit PaintClock(OverlayMarks &marks) : m_marks(marks) {}
        bool eventFilter(QObject *, QEvent *event) override
        {
            if (event->type() == QEvent::Paint && m_marks.paintStarted == 0)
                m_marks.paintStarted = now();
            return false;
        }

    private:
        OverlayMarks &m_marks;
    };

    RegionSelectionOverlayController m_inner;
    OverlayMarks &m_marks;
    PaintClock m_paintClock;
    std::function<void()> m_whenPainted;
};

} // namespace tessaline::bench

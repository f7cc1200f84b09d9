#pragma once

#include "platform/CaptureSystem.h"
#include "platform/X11Connection.h"

#include <QRect>

#include <algorithm>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace tessaline {

// Where the time of one grab went, for the capture benchmark.
struct X11GrabTimings
{
    // Until the server has delivered the last of the picture; copying the
    // parts that came first already runs meanwhile.
    qint64 grabNanoseconds = 0;
    // What copying still needs after that.
    qint64 conversionNanoseconds = 0;
    bool usedSharedMemory = false;
};

// Still images of X drawables (the root window, or a composite window
// pixmap) as QImage::Format_RGB32. Uses MIT-SHM when the server offers it,
// so the server writes the pixels straight into memory the image then owns;
// otherwise a plain GetImage. The pointer is never part of the picture: the
// X server does not draw the cursor into window contents.
class X11DisplayCapture
{
public:
    explicit X11DisplayCapture(const X11Connection &connection);
    ~X11DisplayCapture();
    X11DisplayCapture(const X11DisplayCapture &) = delete;
    X11DisplayCapture &operator=(const X11DisplayCapture &) = delete;

    // Told, on the grabbing thread, as the picture's rows become final, top
    // first: the picture (whose rows from `rows` down are not written yet)
    // and how many are. Work on the picture can begin while the rest of it
    // arrives. A picture that arrives whole at once is told of once.
    using RowsArrived = std::function<void(const QImage &picture, int rows)>;

    // rect in the drawable's own pixel coordinates.
    CaptureSystemResult<QImage> grab(xcb_drawable_t drawable, const QRect &rect, X11GrabTimings *timings = nullptr,
                                     const RowsArrived &arrived = {}) const;
    CaptureSystemResult<QImage> grabRoot(const QRect &rect, X11GrabTimings *timings = nullptr,
                                         const RowsArrived &arrived = {}) const;

    bool hasSharedMemory() const;
    // Waits, up to the time given, until no picture holds the kept segment
    // of a grab of this size, so the next grab writes into it again rather
    // than into a segment of its own: in a burst of captures, each picture
    // is grabbed once the one before has been encoded, not while it is, and
    // there is one segment in memory instead of one per capture on its way.
    // True when the segment is free (or there is none to wait for).
    bool awaitFreeSegment(const QSize &size, int timeoutMs) const;
    // Lets go of the kept segment and picture buffer; the next grab makes
    // new ones.
    void releaseBuffers();
    // Shared memory is used whenever the server offers it; turning it off
    // forces the plain path (remote displays take it anyway).
    void setSharedMemoryAllowed(bool allowed) { m_sharedMemoryAllowed = allowed; }
    // The shared-memory path asks for the picture in strips of about this
    // many bytes (at least a row each). Small enough that the server's other
    // clients, this application among them, wait for one strip at most;
    // large enough that the round trips between strips cost little.
    void setStripBytes(qsizetype bytes) { m_stripBytes = std::max<qsizetype>(bytes, 1); }
    // Called between strips with the rows the server has written so far,
    // before the next strip is asked for: for tests that change the display
    // while it is grabbed.
    void setAfterStrip(std::function<void(int rowsDone)> afterStrip) { m_afterStrip = std::move(afterStrip); }

private:
    CaptureSystemResult<QImage> grabShared(xcb_drawable_t drawable, const QRect &rect, X11GrabTimings *timings,
                                           const RowsArrived &arrived) const;
    CaptureSystemResult<QImage> grabPlain(xcb_drawable_t drawable, const QRect &rect, X11GrabTimings *timings) const;
    bool pixelFormatSupported(uint8_t depth) const;

    struct Segment;
    // Told whenever a picture lets go of its segment.
    struct SegmentRelease
    {
        std::mutex mutex;
        std::condition_variable freed;
    };
    std::shared_ptr<SegmentRelease> m_release = std::make_shared<SegmentRelease>();
    // A segment no picture uses, of at least size bytes, attached to the
    // server; none when shared memory cannot be had.
    std::shared_ptr<Segment> freeSegment(size_t size) const;
    void releaseSegments() const;
    QImage *reusableImage(const QSize &size) const;

    X11Connection m_x11;
    bool m_sharedMemoryAllowed = true;
    qsizetype m_stripBytes = 4 << 20;
    std::function<void(int)> m_afterStrip;
    // The server writes the picture straight into a segment that the
    // returned image then wraps, so nothing is copied on this side. A
    // segment stays attached and is reused once no image holds it: a fresh
    // segment per grab costs a page fault per 4 KiB on both sides, which at
    // 5K is most of the grab. One is kept: a grab while the last picture is
    // still in use (one that did not wait for it, awaitFreeSegment) gets a
    // segment of its own, which goes with its picture, rather than a second
    // 5K segment staying in memory for as long as the first.
    mutable std::vector<std::shared_ptr<Segment>> m_segments;
    // The last image the plain path handed out; once its user lets go, its memory is
    // written again instead of allocating (and faulting in) a new one.
    mutable QImage m_lastImage;
};

} // namespace tessaline

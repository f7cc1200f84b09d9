#include "platform/X11DisplayCapture.h"

#include "platform/PixelCopy.h"

#include <QElapsedTimer>

#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace tessaline {

namespace {

// The X server's request names and error numbers mean nothing to the
// person capturing; what went wrong is said in words.
CaptureSystemError grabError(int code)
{
    constexpr int badAlloc = 11;
    return CaptureSystemError{false, code == badAlloc ? QStringLiteral("The display server ran out of memory.")
                                                      : QStringLiteral("The display server did not hand over the picture.")};
}

} // namespace

X11DisplayCapture::X11DisplayCapture(const X11Connection &connection)
    : m_x11(connection)
{
}

// The client's mapping of a segment; it goes with the last picture that
// shows it, which may outlive the capture, its server side and the X
// connection.
struct X11DisplayCapture::Segment
{
    Segment(void *address, size_t size, quint32 server)
        : address(address)
        , size(size)
        , server(server)
    {
    }
    ~Segment() { shmdt(address); }
    Segment(const Segment &) = delete;
    Segment &operator=(const Segment &) = delete;

    void *address;
    size_t size;
    quint32 server; // xcb_shm_seg_t
};

X11DisplayCapture::~X11DisplayCapture()
{
    releaseSegments();
}

void X11DisplayCapture::releaseBuffers()
{
    releaseSegments();
    m_lastImage = QImage();
}

std::shared_ptr<X11DisplayCapture::Segment> X11DisplayCapture::freeSegment(size_t size) const
{
    // use_count() 1: no picture holds it. Only this thread hands out new
    // holders, so once it reads 1 it stays 1.
    for (const auto &segment : m_segments) {
        if (segment.use_count() == 1 && segment->size >= size)
            return segment;
    }
    // Room for the new one: a free segment (too small) goes first, else the
    // oldest, whose picture keeps its memory but not its server side.
    constexpr size_t kept = 1;
    while (m_segments.size() >= kept) {
        auto victim = std::find_if(m_segments.begin(), m_segments.end(),
                                   [](const auto &segment) { return segment.use_count() == 1; });
        if (victim == m_segments.end())
            victim = m_segments.begin();
        xcb_shm_detach(m_x11.connection, (*victim)->server);
        m_segments.erase(victim);
    }
    const int id = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (id < 0)
        return nullptr;
    void *address = shmat(id, nullptr, 0);
    if (address == reinterpret_cast<void *>(-1)) {
        shmctl(id, IPC_RMID, nullptr);
        return nullptr;
    }
    const xcb_shm_seg_t server = xcb_generate_id(m_x11.connection);
    xcb_generic_error_t *error = xcb_request_check(m_x11.connection, xcb_shm_attach_checked(m_x11.connection, server, id, 0));
    // Marked for removal at once: it goes away when the last user detaches,
    // even if this process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (error) {
        std::free(error);
        shmdt(address);
        return nullptr;
    }
    m_segments.push_back(std::make_shared<Segment>(address, size, server));
    return m_segments.back();
}

bool X11DisplayCapture::awaitFreeSegment(const QSize &size, int timeoutMs) const
{
    const size_t bytes = size_t(std::max(size.width(), 0)) * 4 * size_t(std::max(size.height(), 0));
    std::unique_lock lock(m_release->mutex);
    return m_release->freed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::none_of(m_segments.begin(), m_segments.end(), [&](const auto &segment) {
            return segment->size >= bytes && segment.use_count() > 1;
        });
    });
}

void X11DisplayCapture::releaseSegments() const
{
    if (m_segments.empty())
        return;
    for (const auto &segment : m_segments)
        xcb_shm_detach(m_x11.connection, segment->server);
    xcb_flush(m_x11.connection);
    m_segments.clear();
}

QImage *X11DisplayCapture::reusableImage(const QSize &size) const
{
    // isDetached(): nobody but us holds the last image any more. It is
    // written through this pointer before a copy is handed out, so writing
    // never forces a detach.
    if (m_lastImage.size() != size || m_lastImage.format() != QImage::Format_RGB32 || !m_lastImage.isDetached())
        m_lastImage = QImage(size, QImage::Format_RGB32);
    return m_lastImage.isNull() ? nullptr : &m_lastImage;
}

bool X11DisplayCapture::hasSharedMemory() const
{
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_x11.connection, &xcb_shm_id);
    return extension && extension->present;
}

bool X11DisplayCapture::pixelFormatSupported(uint8_t depth) const
{
    if (depth != 24 && depth != 32)
        return false;
    const xcb_setup_t *setup = xcb_get_setup(m_x11.connection);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || Q_BYTE_ORDER != Q_LITTLE_ENDIAN)
        return false;
    xcb_format_iterator_t it = xcb_setup_pixmap_formats_iterator(setup);
    for (; it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    }
    return false;
}

CaptureSystemResult<QImage> X11DisplayCapture::grabRoot(const QRect &rect, X11GrabTimings *timings,
                                                        const RowsArrived &arrived) const
{
    return grab(m_x11.root, rect, timings, arrived);
}

CaptureSystemResult<QImage> X11DisplayCapture::grab(xcb_drawable_t drawable, const QRect &rect,
                                                    X11GrabTimings *timings, const RowsArrived &arrived) const
{
    if (rect.isEmpty())
        return unexpected(CaptureSystemError{false, QStringLiteral("The area to capture is empty.")});
    if (m_sharedMemoryAllowed && hasSharedMemory()) {
        auto result = grabShared(drawable, rect, timings, arrived);
        if (result)
            return result;
    }
    auto result = grabPlain(drawable, rect, timings);
    if (result && arrived)
        arrived(*result, result->height());
    return result;
}

CaptureSystemResult<QImage> X11DisplayCapture::grabShared(xcb_drawable_t drawable, const QRect &rect,
                                                          X11GrabTimings *timings, const RowsArrived &arrived) const
{
    QElapsedTimer timer;
    timer.start();
    xcb_connection_t *c = m_x11.connection;
    const int width = rect.width();
    const int rows = rect.height();
    const qsizetype stride = qsizetype(width) * 4;
    std::shared_ptr<Segment> segment = freeSegment(size_t(stride) * size_t(rows));
    if (!segment)
        return unexpected(CaptureSystemError{false, QStringLiteral("Shared memory is not available.")});
    auto *pixels = static_cast<uchar *>(segment->address);
    // The picture wraps the segment from the start, so whoever is told of
    // its rows as they arrive holds it too; the segment is free again once
    // the picture and all its copies are gone, on whatever thread that is.
    struct Holder
    {
        std::shared_ptr<Segment> segment;
        std::shared_ptr<SegmentRelease> release;
    };
    auto *holder = new Holder{segment, m_release};
    const QImage picture(pixels, width, rows, stride, QImage::Format_RGB32,
                         [](void *info) {
                             auto *held = static_cast<Holder *>(info);
                             const std::shared_ptr<SegmentRelease> release = std::move(held->release);
                             {
                                 const std::lock_guard lock(release->mutex);
                                 delete held;
                             }
                             release->freed.notify_all();
                         },
                         holder);
    // Grabs hand back 0x00RRGGBB (the pad byte is whatever the server
    // keeps, usually 0); Format_RGB32 wants 0xFFRRGGBB or later blends go
    // wrong, so every pixel is made opaque where it lies, while the server
    // has just written it and it is still in the cache.
    const PixelArea area{pixels, stride, pixels, stride, width, rows};

    // The picture is asked for in strips, one request at a time, the next
    // sent as soon as the one before has come: the server answers its other
    // clients (and this application's own window) between strips instead
    // of after the whole picture, and this thread makes each strip opaque
    // while the server fills the next.
    const int step = int(std::clamp<qsizetype>(m_stripBytes / stride, 1, rows));
    auto request = [&](int first) {
        return xcb_shm_get_image(c, drawable, int16_t(rect.x()), int16_t(rect.y() + first), uint16_t(width),
                                 uint16_t(std::min(step, rows - first)), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP,
                                 segment->server, quint32(qsizetype(first) * stride));
    };
    std::optional<int> lastStrip;
    std::optional<CaptureSystemError> failure;
    xcb_shm_get_image_cookie_t cookie = request(0);
    for (int first = 0; first < rows; first += step) {
        xcb_generic_error_t *error = nullptr;
        xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(c, cookie, &error);
        if (!reply) {
            failure = grabError(error ? error->error_code : 0);
            std::free(error);
            break;
        }
        const uint8_t depth = reply->depth;
        std::free(reply);
        if (!pixelFormatSupported(depth)) {
            failure = CaptureSystemError{false, QStringLiteral("The display's pixel format is not supported.")};
            break;
        }
        if (m_afterStrip)
            m_afterStrip(std::min(rows, first + step));
        if (first + step < rows) {
            cookie = request(first + step);
            xcb_flush(c);
            PixelCopy::copyRows(area, PixelCopy::Tone::unchanged, first, first + step, false);
            if (arrived)
                arrived(picture, first + step);
        } else {
            lastStrip = first;
        }
    }
    if (timings) {
        timings->grabNanoseconds = timer.nsecsElapsed();
        timings->usedSharedMemory = true;
    }
    timer.restart();
    if (failure)
        return unexpected(*failure);
    if (lastStrip) {
        const PixelArea last{pixels + *lastStrip * stride, stride, pixels + *lastStrip * stride, stride, width,
                             rows - *lastStrip};
        PixelCopy::copy(last, PixelCopy::Tone::unchanged, false);
        if (arrived)
            arrived(picture, rows);
    }
    if (timings)
        timings->conversionNanoseconds = timer.nsecsElapsed();
    return picture;
}

CaptureSystemResult<QImage> X11DisplayCapture::grabPlain(xcb_drawable_t drawable, const QRect &rect,
                                                         X11GrabTimings *timings) const
{
    QElapsedTimer timer;
    timer.start();
    xcb_connection_t *c = m_x11.connection;
    xcb_generic_error_t *error = nullptr;
    xcb_get_image_reply_t *reply = xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, int16_t(rect.x()), int16_t(rect.y()),
                      uint16_t(rect.width()), uint16_t(rect.height()), ~0u),
        &error);
    if (!reply) {
        const int code = error ? error->error_code : 0;
        std::free(error);
        return unexpected(grabError(code));
    }
    if (timings) {
        timings->grabNanoseconds = timer.nsecsElapsed();
        timings->usedSharedMemory = false;
    }
    timer.restart();
    const qsizetype count = qsizetype(rect.width()) * rect.height();
    if (!pixelFormatSupported(reply->depth) || xcb_get_image_data_length(reply) < count * 4) {
        std::free(reply);
        return unexpected(CaptureSystemError{false, QStringLiteral("The display's pixel format is not supported.")});
    }
    QImage *image = reusableImage(rect.size());
    if (!image) {
        std::free(reply);
        return unexpected(CaptureSystemError{false, QStringLiteral("Not enough memory for the screen image.")});
    }
    PixelCopy::copy(PixelArea{xcb_get_image_data(reply), qsizetype(rect.width()) * 4, image->bits(), image->bytesPerLine(),
                              rect.width(), rect.height()},
                    PixelCopy::Tone::unchanged);
    std::free(reply);
    if (timings)
        timings->conversionNanoseconds = timer.nsecsElapsed();
    return *image;
}

} // namespace tessaline

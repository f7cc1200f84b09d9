#include "platform/X11DisplayCapture.h"

#include <QElapsedTimer>

#include <xcb/shm.h>

#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdlib>
#include <cstring>

namespace tessaline {

namespace {

// Grabs hand back 0x00RRGGBB (the pad byte is whatever the server keeps,
// usually 0); Format_RGB32 wants 0xFFRRGGBB or later blends go wrong.
void copyOpaque(quint32 *destination, const quint32 *source, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        destination[i] = source[i] | 0xff000000u;
}

void makeOpaque(quint32 *pixels, qsizetype count)
{
    for (qsizetype i = 0; i < count; ++i)
        pixels[i] |= 0xff000000u;
}

void detachSharedImage(void *address)
{
    shmdt(address);
}

CaptureSystemError grabError(const char *what, int code)
{
    return CaptureSystemError{false, QStringLiteral("%1 failed (X error %2).").arg(QLatin1String(what)).arg(code)};
}

} // namespace

X11DisplayCapture::X11DisplayCapture(const X11Connection &connection)
    : m_x11(connection)
{
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

CaptureSystemResult<QImage> X11DisplayCapture::grabRoot(const QRect &rect, X11GrabTimings *timings) const
{
    return grab(m_x11.root, rect, timings);
}

CaptureSystemResult<QImage> X11DisplayCapture::grab(xcb_drawable_t drawable, const QRect &rect,
                                                    X11GrabTimings *timings) const
{
    if (rect.isEmpty())
        return CaptureSystemError{false, QStringLiteral("The area to capture is empty.")};
    if (m_sharedMemoryAllowed && hasSharedMemory()) {
        auto result = grabShared(drawable, rect, timings);
        if (std::holds_alternative<QImage>(result))
            return result;
    }
    return grabPlain(drawable, rect, timings);
}

CaptureSystemResult<QImage> X11DisplayCapture::grabShared(xcb_drawable_t drawable, const QRect &rect,
                                                          X11GrabTimings *timings) const
{
    QElapsedTimer timer;
    timer.start();
    xcb_connection_t *c = m_x11.connection;
    const size_t size = size_t(rect.width()) * size_t(rect.height()) * 4;
    const int shmId = shmget(IPC_PRIVATE, size, IPC_CREAT | 0600);
    if (shmId < 0)
        return CaptureSystemError{false, QStringLiteral("Shared memory is not available.")};
    void *address = shmat(shmId, nullptr, 0);
    // Marked for removal at once: it goes away when the last user detaches,
    // even if this process dies with the image still alive.
    shmctl(shmId, IPC_RMID, nullptr);
    if (address == reinterpret_cast<void *>(-1))
        return CaptureSystemError{false, QStringLiteral("Shared memory is not available.")};

    const xcb_shm_seg_t segment = xcb_generate_id(c);
    const xcb_void_cookie_t attach = xcb_shm_attach_checked(c, segment, shmId, 0);
    xcb_generic_error_t *error = nullptr;
    xcb_shm_get_image_reply_t *reply = xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(c, drawable, int16_t(rect.x()), int16_t(rect.y()), uint16_t(rect.width()),
                          uint16_t(rect.height()), ~0u, XCB_IMAGE_FORMAT_Z_PIXMAP, segment, 0),
        &error);
    xcb_shm_detach(c, segment);
    if (xcb_generic_error_t *attachError = xcb_request_check(c, attach))
        std::free(attachError);
    if (!reply) {
        const int code = error ? error->error_code : 0;
        std::free(error);
        shmdt(address);
        return grabError("Shared-memory GetImage", code);
    }
    const uint8_t depth = reply->depth;
    std::free(reply);
    if (!pixelFormatSupported(depth)) {
        shmdt(address);
        return CaptureSystemError{false, QStringLiteral("The display's pixel format is not supported.")};
    }
    if (timings) {
        timings->grabNanoseconds = timer.nsecsElapsed();
        timings->usedSharedMemory = true;
    }
    timer.restart();
    makeOpaque(static_cast<quint32 *>(address), qsizetype(rect.width()) * rect.height());
    // The image owns the segment from here on and detaches it when the last
    // copy of it is gone, so the pixels are never copied.
    QImage image(static_cast<uchar *>(address), rect.width(), rect.height(), rect.width() * 4,
                 QImage::Format_RGB32, detachSharedImage, address);
    if (timings)
        timings->conversionNanoseconds = timer.nsecsElapsed();
    return image;
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
        return grabError("GetImage", code);
    }
    if (timings) {
        timings->grabNanoseconds = timer.nsecsElapsed();
        timings->usedSharedMemory = false;
    }
    timer.restart();
    const qsizetype count = qsizetype(rect.width()) * rect.height();
    if (!pixelFormatSupported(reply->depth) || xcb_get_image_data_length(reply) < count * 4) {
        std::free(reply);
        return CaptureSystemError{false, QStringLiteral("The display's pixel format is not supported.")};
    }
    QImage image(rect.size(), QImage::Format_RGB32);
    if (image.isNull()) {
        std::free(reply);
        return CaptureSystemError{false, QStringLiteral("Not enough memory for the screen image.")};
    }
    copyOpaque(reinterpret_cast<quint32 *>(image.bits()),
               reinterpret_cast<const quint32 *>(xcb_get_image_data(reply)), count);
    std::free(reply);
    if (timings)
        timings->conversionNanoseconds = timer.nsecsElapsed();
    return image;
}

} // namespace tessaline

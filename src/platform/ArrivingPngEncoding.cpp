#include "platform/ArrivingPngEncoding.h"

#include "platform/BackgroundPool.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

ArrivingPngEncoding::ArrivingPngEncoding() = default;

ArrivingPngEncoding::~ArrivingPngEncoding()
{
    end();
}

void ArrivingPngEncoding::end()
{
    {
        const std::lock_guard lock(m_rows->mutex);
        m_rows->over = true;
    }
    m_rows->changed.notify_all();
}

std::function<void(const QImage &, int)> ArrivingPngEncoding::arrivals()
{
    return [this](const QImage &picture, int rows) { rowsArrived(picture, rows); };
}

void ArrivingPngEncoding::rowsArrived(const QImage &picture, int rows)
{
    if (!m_encoding) {
        m_picture = picture;
        // The encoding holds its own copy of the picture (and with it the
        // memory the rows arrive in) until it ends.
        m_encoding = QtConcurrent::run(&backgroundPool(), [picture, arrived = m_rows] {
            PngEncoderOptions options;
            options.waitForRows = [arrived](int rows) {
                std::unique_lock lock(arrived->mutex);
                arrived->changed.wait(lock, [&] { return arrived->arrived >= rows || arrived->over; });
                return arrived->arrived >= rows;
            };
            return encodePng(picture, options);
        });
    }
    if (picture.constBits() != m_picture.constBits() || picture.cacheKey() != m_picture.cacheKey())
        return;
    {
        const std::lock_guard lock(m_rows->mutex);
        m_rows->arrived = std::max(m_rows->arrived, rows);
    }
    m_rows->changed.notify_all();
}

std::optional<EarlyPng> ArrivingPngEncoding::finish(const QImage *picture)
{
    const bool same = m_encoding && picture && picture->constBits() == m_picture.constBits()
        && picture->cacheKey() == m_picture.cacheKey();
    if (same)
        rowsArrived(*picture, picture->height());
    end();
    m_picture = QImage();
    if (!same)
        return std::nullopt;
    return EarlyPng(*picture, *m_encoding);
}

} // namespace tessaline

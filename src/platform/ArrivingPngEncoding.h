#pragma once

#include "platform/EarlyPng.h"
#include "platform/PngEncoder.h"

#include <QFuture>
#include <QImage>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tessaline {

// The PNG of a picture made while the picture is still arriving, top rows
// first: the encoding begins with the first rows told of and follows them
// down, so it ends soon after the last rows instead of starting then. Once
// the picture is complete, its encoding goes along with it (EarlyPng), to
// whoever stores it. Told of on one thread; the encoding runs on the
// thread pool.
class ArrivingPngEncoding
{
public:
    ArrivingPngEncoding();
    // An encoding still waiting for rows gives up, making nothing.
    ~ArrivingPngEncoding();
    ArrivingPngEncoding(const ArrivingPngEncoding &) = delete;
    ArrivingPngEncoding &operator=(const ArrivingPngEncoding &) = delete;

    // Rows from the top that are final now; the first call begins the
    // encoding of that picture. Rows of another picture (a grab that began
    // again another way) are not this encoding's.
    void rowsArrived(const QImage &picture, int rows);
    // For a grab's callback.
    std::function<void(const QImage &, int)> arrivals();
    // The picture as complete, or none when it never will be. Answers the
    // encoding when it is of this very picture; otherwise it gives up.
    std::optional<EarlyPng> finish(const QImage *picture);

    // The encoding, once begun (for tests).
    std::optional<QFuture<std::optional<QByteArray>>> encoding() const { return m_encoding; }

private:
    struct Rows
    {
        std::mutex mutex;
        std::condition_variable changed;
        int arrived = 0;
        bool over = false;
    };
    void end();

    std::shared_ptr<Rows> m_rows = std::make_shared<Rows>();
    QImage m_picture;
    std::optional<QFuture<std::optional<QByteArray>>> m_encoding;
};

} // namespace tessaline

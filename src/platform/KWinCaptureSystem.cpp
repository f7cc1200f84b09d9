#include "platform/KWinCaptureSystem.h"

#include "platform/BackgroundPool.h"
#include "platform/KWinWindows.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusUnixFileDescriptor>
#include <QDeadlineTimer>
#include <QPromise>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace tessaline {

namespace {

using ImageResult = CaptureSystemResult<QImage>;

// KWin writes the picture after its next frame, from a thread of its own.
constexpr int pictureTimeout = 10'000;

// Everything KWin writes into the pipe, until it closes its end; empty when
// it wrote nothing in time or the pipe failed.
QByteArray readPipe(int fd)
{
    QByteArray bytes;
    const QDeadlineTimer deadline(pictureTimeout);
    char buffer[65536];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        const int ready = ::poll(&waiting, 1, int(deadline.remainingTime()));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            break;
        const ssize_t read = ::read(fd, buffer, sizeof buffer);
        if (read < 0 && errno == EINTR)
            continue;
        if (read < 0) {
            bytes.clear();
            break;
        }
        if (read == 0)
            break;
        bytes.append(buffer, read);
    }
    ::close(fd);
    return bytes;
}

} // namespace

std::optional<CompositorTree> KWinCaptureSystem::tree()
{
    if (!m_answer) {
        m_answer = KWinWindows::tree();
        QTimer::singleShot(0, &m_turn, [this] { m_answer.reset(); });
    }
    return *m_answer;
}

QImage KWinCaptureSystem::rawPicture(const QVariantMap &layout, const QByteArray &pixels)
{
    if (layout.value(QStringLiteral("type")).toString() != QLatin1String("raw"))
        return {};
    const int width = layout.value(QStringLiteral("width")).toInt();
    const int height = layout.value(QStringLiteral("height")).toInt();
    const qsizetype stride = layout.value(QStringLiteral("stride")).toLongLong();
    const int format = layout.value(QStringLiteral("format")).toInt();
    if (width <= 0 || height <= 0 || format <= QImage::Format_Invalid || format >= QImage::NImageFormats)
        return {};
    const QImage::Format imageFormat = QImage::Format(format);
    const qsizetype rowBytes = (qsizetype(width) * QImage::toPixelFormat(imageFormat).bitsPerPixel() + 7) / 8;
    if (stride < rowBytes || pixels.size() < stride * height)
        return {};
    // A copy: the bytes go with the buffer they came in.
    return QImage(reinterpret_cast<const uchar *>(pixels.constData()), width, height, stride, imageFormat).copy();
}

QFuture<CaptureSystemResult<QImage>> KWinCaptureSystem::captureDesktopPart(const QRect &desktop, const QRect &part,
                                                                         const QSize &size, const QString &partMissing)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    int pipe[2];
    if (m_screenshotRefused || !bus.isConnected() || ::pipe2(pipe, O_CLOEXEC) != 0)
        return PortalCaptureSystem::captureDesktopPart(desktop, part, size, partMissing);
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/org/kde/KWin/ScreenShot2"),
                                                       QStringLiteral("org.kde.KWin.ScreenShot2"),
                                                       QStringLiteral("CaptureWorkspace"));
    call << QVariantMap{{QStringLiteral("include-cursor"), false}, {QStringLiteral("native-resolution"), true}}
         << QVariant::fromValue(QDBusUnixFileDescriptor(pipe[1]));
    // The message holds a copy of the writing end; KWin's is the only one
    // left once it has been sent, so the pipe ends when KWin has written.
    ::close(pipe[1]);
    const int reading = pipe[0];

    auto promise = std::make_shared<QPromise<ImageResult>>();
    promise->start();
    QFuture<ImageResult> future = promise->future();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, pictureTimeout), &m_turn);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, &m_turn,
                     [this, watcher, promise, reading, desktop, part, size, partMissing] {
                         watcher->deleteLater();
                         const QDBusMessage reply = watcher->reply();
                         const auto fulfil = [promise](ImageResult result) {
                             promise->addResult(std::move(result));
                             promise->finish();
                         };
                         if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
                             ::close(reading);
                             // Not allowed (no desktop file of ours names the
                             // interface) or not there: the portal's picture,
                             // from now on unless KWin was merely slow.
                             if (watcher->error().type() != QDBusError::NoReply
                                 && watcher->error().type() != QDBusError::Timeout)
                                 m_screenshotRefused = true;
                             PortalCaptureSystem::captureDesktopPart(desktop, part, size, partMissing)
                                 .then([fulfil](ImageResult result) { fulfil(std::move(result)); });
                             return;
                         }
                         const QVariantMap layout = qdbus_cast<QVariantMap>(reply.arguments().constFirst());
                         QtConcurrent::run(&backgroundPool(), [reading, layout, desktop, part, size, partMissing] {
                             const QImage picture = rawPicture(layout, readPipe(reading));
                             if (picture.isNull())
                                 return ImageResult(unexpected(
                                     CaptureSystemError{false, QStringLiteral("KWin handed over no picture.")}));
                             return cutPicture(picture, desktop, part, size, partMissing);
                         }).then([fulfil](ImageResult result) { fulfil(std::move(result)); });
                     });
    return future;
}

} // namespace tessaline

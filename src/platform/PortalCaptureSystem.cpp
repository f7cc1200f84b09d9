#include "platform/PortalCaptureSystem.h"

#include "platform/BackgroundPool.h"
#include "platform/ImageDecoder.h"
#include "platform/PlatformTexts.h"
#include "platform/PortalRequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPromise>
#include <QScreen>
#include <QUrl>
#include <QtConcurrent/QtConcurrentRun>

#include <unistd.h>

namespace tessaline {

namespace {

// Long enough for a user to answer the desktop's question, short enough
// that a desktop that never answers does not keep capture busy for good.
constexpr int answerTimeout = 120'000;

using ImageResult = CaptureSystemResult<QImage>;

QFuture<ImageResult> answered(ImageResult result)
{
    return QtFuture::makeReadyFuture(std::move(result));
}

struct PictureRequest
{
    QString path;
    QDateTime started;
    QRect desktop;
    QRect part;
    QSize size;
    QString partMissing;
};

// Runs on a worker thread: a whole-desktop PNG takes tens of milliseconds
// to decode.
ImageResult readPicture(const PictureRequest &request)
{
    QByteArray bytes;
    if (QFile file(request.path); file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    if (PortalCaptureSystem::isPictureOfRequest(request.path, request.started))
        QFile::remove(request.path);
    // Our own PNG reader first (a third of the time of Qt's on a desktop's
    // picture); any other kind of file goes through Qt's readers.
    const auto decoded = ImageDecoder::decode(bytes);
    if (!decoded || decoded->isNull())
        return unexpected(CaptureSystemError{false, QStringLiteral("The desktop's picture could not be read.")});
    return PortalCaptureSystem::cutPicture(*decoded, request.desktop, request.part, request.size, request.partMissing);
}

QDBusMessage permissionStoreCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(
        PortalCaptureSystem::permissionStoreService(), QStringLiteral("/org/freedesktop/impl/portal/PermissionStore"),
        QStringLiteral("org.freedesktop.impl.portal.PermissionStore"), method);
    message.setArguments(arguments);
    return message;
}

// The apps of one permission entry and what each was allowed (a{sas}).
QMap<QString, QStringList> permissionsOf(const QVariant &value)
{
    QMap<QString, QStringList> permissions;
    if (!value.canConvert<QDBusArgument>())
        return permissions;
    const QDBusArgument argument = value.value<QDBusArgument>();
    argument.beginMap();
    while (!argument.atEnd()) {
        QString app;
        QStringList allowed;
        argument.beginMapEntry();
        argument >> app >> allowed;
        argument.endMapEntry();
        permissions.insert(app, allowed);
    }
    argument.endMap();
    return permissions;
}

} // namespace

PortalCaptureSystem::PortalCaptureSystem(bool offered, QString portalService)
    : m_context(std::make_unique<QObject>())
    , m_service(portalService.isEmpty() ? PortalRequest::service() : std::move(portalService))
    , m_offered(offered)
    , m_timings(std::make_shared<PortalCaptureTimings>())
{
}

PortalCaptureSystem::~PortalCaptureSystem() = default;

bool PortalCaptureSystem::hasCaptureAccess() const
{
    return m_offered && !m_refused;
}

bool PortalCaptureSystem::requestCaptureAccess()
{
    // The desktop asks during the picture itself, so asking again means
    // trying the picture again. A desktop that keeps the user's "no" (GNOME)
    // never asks again, and offers no setting that undoes it for an app
    // outside a sandbox, so that answer is forgotten first.
    if (m_refused)
        forgetStoredRefusal();
    m_refused = false;
    return hasCaptureAccess();
}

void PortalCaptureSystem::forgetStoredRefusal()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // xdg-desktop-portal names an app outside a sandbox "" up to 1.16 and
    // after its desktop file from then on.
    QStringList ourNames{QString(), QGuiApplication::desktopFileName()};
    ourNames.removeDuplicates();
    auto *watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(permissionStoreCall(QStringLiteral("Lookup"), {screenshotPermissionTable(), screenshotPermissionTable()})),
        m_context.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [ourNames](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        const QDBusMessage reply = call->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
            return;
        const QMap<QString, QStringList> permissions = permissionsOf(reply.arguments().constFirst());
        for (const QString &app : ourNames) {
            if (permissions.value(app) == QStringList{QStringLiteral("no")})
                QDBusConnection::sessionBus().asyncCall(permissionStoreCall(
                    QStringLiteral("DeletePermission"), {screenshotPermissionTable(), screenshotPermissionTable(), app}));
        }
    });
}

QString PortalCaptureSystem::accessAdvice() const
{
    if (!m_offered)
        return PlatformTexts::screenshotPortalMissing();
    if (m_refused)
        return PlatformTexts::screenshotPortalRefused();
    return {};
}

QString PortalCaptureSystem::frontmostWindowAdvice() const
{
    return PlatformTexts::frontmostWindowUnavailable();
}

std::optional<SystemApplication> PortalCaptureSystem::frontmostApplication()
{
    if (QGuiApplication::applicationState() != Qt::ApplicationActive || !QGuiApplication::focusWindow())
        return std::nullopt;
    SystemApplication application;
    application.localizedName = QGuiApplication::applicationDisplayName();
    if (const QString desktopFile = QGuiApplication::desktopFileName(); !desktopFile.isEmpty())
        application.bundleIdentifier = desktopFile;
    application.processIdentifier = QCoreApplication::applicationPid();
    return application;
}

bool PortalCaptureSystem::isPictureOfRequest(const QString &path, const QDateTime &requestStarted)
{
    const QFileInfo file(path);
    if (!file.exists() || file.isSymLink() || !file.isFile())
        return false;
    const QString runtimeDirectory = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool owned = file.ownerId() == ::getuid()
        || (!runtimeDirectory.isEmpty() && file.ownerId() == QFileInfo(runtimeDirectory).ownerId());
    // Some file systems keep times to the second or two.
    constexpr qint64 timeGrain = 2000;
    return owned && requestStarted.isValid()
        && file.lastModified().toMSecsSinceEpoch() >= requestStarted.toMSecsSinceEpoch() - timeGrain;
}

QImage PortalCaptureSystem::displayPart(const QImage &desktop, const QRect &desktopGeometry, const QRect &displayGeometry)
{
    if (desktop.isNull() || desktopGeometry.isEmpty() || displayGeometry.isEmpty())
        return {};
    if (displayGeometry == desktopGeometry)
        return desktop;
    const qreal sx = qreal(desktop.width()) / desktopGeometry.width();
    const qreal sy = qreal(desktop.height()) / desktopGeometry.height();
    const QRectF inPicture((displayGeometry.x() - desktopGeometry.x()) * sx,
                           (displayGeometry.y() - desktopGeometry.y()) * sy, displayGeometry.width() * sx,
                           displayGeometry.height() * sy);
    const QRect pixels = inPicture.toAlignedRect().intersected(desktop.rect());
    return pixels.isEmpty() ? QImage() : desktop.copy(pixels);
}

CaptureSystemResult<QImage> PortalCaptureSystem::cutPicture(const QImage &desktopPicture, const QRect &desktop,
                                                            const QRect &part, const QSize &size,
                                                            const QString &partMissing)
{
    QImage cut = displayPart(desktopPicture, desktop, part);
    if (cut.isNull())
        return unexpected(CaptureSystemError{false, partMissing});
    // Never blown up past the pixels the desktop gave: under a fractional
    // scale Qt counts the next whole scale's pixels (2560 across a 1920-pixel
    // output at 1.5), and a larger picture would add size and blur, not
    // detail. The capture's scale is read from the picture itself.
    if (size.isValid() && cut.size() != size && cut.width() > size.width() && cut.height() > size.height())
        cut = cut.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (cut.format() != QImage::Format_RGB32)
        cut = cut.convertToFormat(QImage::Format_RGB32);
    return cut;
}

QFuture<CaptureSystemResult<QImage>> PortalCaptureSystem::captureDisplayImage(const SystemDisplay &display,
                                                                            const QSize &size)
{
    if (!m_offered)
        return answered(unexpected(CaptureSystemError{true, PlatformTexts::screenshotPortalMissing()}));
    const QScreen *screen = screenForDisplay(display.displayID);
    if (!screen)
        return answered(unexpected(CaptureSystemError{false, QStringLiteral("The display is no longer connected.")}));
    QRect desktop;
    for (const QScreen *each : QGuiApplication::screens())
        desktop = desktop.united(each->geometry());
    return captureDesktopPart(desktop, screen->geometry(), size,
                              QStringLiteral("The desktop's picture does not show the display."));
}

QFuture<CaptureSystemResult<QImage>> PortalCaptureSystem::captureDesktopPart(const QRect &desktop, const QRect &part,
                                                                           const QSize &size, const QString &partMissing)
{
    if (!m_offered)
        return answered(unexpected(CaptureSystemError{true, PlatformTexts::screenshotPortalMissing()}));
    PictureRequest picture;
    picture.desktop = desktop;
    picture.part = part;
    picture.size = size;
    picture.partMissing = partMissing;

    auto promise = std::make_shared<QPromise<ImageResult>>();
    promise->start();
    QFuture<ImageResult> future = promise->future();
    auto fulfil = [promise](ImageResult result) {
        promise->addResult(std::move(result));
        promise->finish();
    };
    picture.started = QDateTime::currentDateTimeUtc();
    auto timings = m_timings;
    *timings = {};
    QElapsedTimer clock;
    clock.start();
    PortalRequest::call(
        QStringLiteral("org.freedesktop.portal.Screenshot"), QStringLiteral("Screenshot"), {QString()},
        {{QStringLiteral("interactive"), false}}, m_context.get(),
        [this, picture, fulfil, timings, clock](const PortalAnswer &answer) mutable {
            timings->roundTripNanoseconds = clock.nsecsElapsed();
            if (answer.portalMissing()) {
                m_offered = false;
                fulfil(unexpected(CaptureSystemError{true, PlatformTexts::screenshotPortalMissing()}));
                return;
            }
            if (answer.timedOut) {
                fulfil(unexpected(CaptureSystemError{false, QStringLiteral("The desktop did not answer in time.")}));
                return;
            }
            if (answer.callError.isValid()) {
                fulfil(unexpected(CaptureSystemError{false, answer.callError.message()}));
                return;
            }
            // The portal does not tell a refusal from a failure: both end
            // the request without a picture, and asking the user to allow
            // it is the one thing that can help.
            if (answer.response != PortalAnswer::success) {
                m_refused = true;
                fulfil(unexpected(CaptureSystemError{true, PlatformTexts::screenshotPortalRefused()}));
                return;
            }
            m_refused = false;
            picture.path = QUrl(answer.results.value(QStringLiteral("uri")).toString()).toLocalFile();
            if (picture.path.isEmpty()) {
                fulfil(unexpected(CaptureSystemError{false, QStringLiteral("The desktop handed over no picture.")}));
                return;
            }
            const qint64 readStarted = clock.nsecsElapsed();
            QtConcurrent::run(&backgroundPool(), readPicture, picture).then([fulfil, timings, clock, readStarted](ImageResult result) mutable {
                timings->readNanoseconds = clock.nsecsElapsed() - readStarted;
                fulfil(std::move(result));
            });
        },
        answerTimeout, m_service);
    return future;
}

} // namespace tessaline

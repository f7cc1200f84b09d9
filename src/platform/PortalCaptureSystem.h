#pragma once

#include "platform/QtScreenCaptureSystem.h"

#include <QObject>
#include <QRect>

#include <memory>

namespace tessaline {

// Where the time of the last picture went: the desktop's answer (its portal,
// the compositor's grab and the file it wrote) and our reading of that file.
struct PortalCaptureTimings
{
    qint64 roundTripNanoseconds = 0;
    qint64 readNanoseconds = 0;
};

// Pictures in a Wayland session, through the desktop's Screenshot portal
// (non-interactive): the desktop takes a picture of the whole desktop into a
// file and hands over its address; we read it, keep the part that shows the
// display, and delete the file when it lies in a temporary place of ours.
// The desktop may ask the user first; a refusal, and a desktop without the
// portal, are refusals of access, with advice on what to install when the
// portal is missing.
class PortalCaptureSystem : public QtScreenCaptureSystem
{
public:
    // offered: the portal listed the Screenshot interface when the session
    // started; a later call finds out again if that changed.
    explicit PortalCaptureSystem(bool offered, QString portalService = QString());
    ~PortalCaptureSystem() override;

    QFuture<CaptureSystemResult<QImage>> captureDisplayImage(const SystemDisplay &display, const QSize &size) override;
    bool hasCaptureAccess() const override;
    bool requestCaptureAccess() override;
    QString accessAdvice() const override;
    QString frontmostWindowAdvice() const override;
    // This application while one of its windows has the keyboard (a capture
    // asked from its own menu), the one app in front such a desktop lets it
    // know; none while another has it.
    std::optional<SystemApplication> frontmostApplication() override;

    const PortalCaptureTimings &lastTimings() const { return *m_timings; }

    // Whether a file the desktop handed over is ours to delete, wherever it
    // lies: a plain file (no link), owned by us or by the session's user (a
    // portal runs as that user), and written since the request started, so
    // never a file of the user's from before.
    static bool isPictureOfRequest(const QString &path, const QDateTime &requestStarted);
    // The part of a picture of the whole desktop (its window-system
    // geometry given) that shows one display, at the picture's resolution.
    static QImage displayPart(const QImage &desktop, const QRect &desktopGeometry, const QRect &displayGeometry);
    // That part of the desktop's picture as a capture keeps it: brought down
    // to the pixel size asked for where it is larger, in RGB32; partMissing
    // is the failure when the picture does not show the part.
    static CaptureSystemResult<QImage> cutPicture(const QImage &desktopPicture, const QRect &desktop, const QRect &part,
                                                  const QSize &size, const QString &partMissing);

    // Where xdg-desktop-portal keeps the user's answer to "Allow screenshots?"
    // (the table and the entry share the name).
    static QString permissionStoreService() { return QStringLiteral("org.freedesktop.impl.portal.PermissionStore"); }
    static QString screenshotPermissionTable() { return QStringLiteral("screenshot"); }

protected:
    // A picture of the whole desktop (its window-system geometry given),
    // cut to one part of it and brought down to the pixel size asked for
    // where it is larger; partMissing says what failed when the picture
    // does not show that part.
    virtual QFuture<CaptureSystemResult<QImage>> captureDesktopPart(const QRect &desktop, const QRect &part,
                                                                    const QSize &size, const QString &partMissing);

private:
    void forgetStoredRefusal();

    std::unique_ptr<QObject> m_context;
    QString m_service;
    bool m_offered;
    bool m_refused = false;
    std::shared_ptr<PortalCaptureTimings> m_timings;
};

} // namespace tessaline

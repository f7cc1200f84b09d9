#pragma once

#include "platform/CompositorCaptureSystem.h"

#include <QObject>

namespace tessaline {

// Pictures in a KDE Plasma session: KWin says which window the user works
// in and where every window is, through a script of ours it runs, which
// takes a moment. One answer serves every question of one request (the
// frontmost application, its windows, the chosen one's place), all asked
// before control returns to the event loop.
//
// The picture itself comes from KWin's own screenshot interface, without
// the pointer: KDE's screenshot portal always draws it in (its dialog's
// "Include cursor pointer" is on, and the portal offers no option for it).
// KWin lets only the apps whose desktop file names that interface use it;
// where it refuses, the portal takes the picture.
class KWinCaptureSystem final : public CompositorCaptureSystem
{
public:
    using CompositorCaptureSystem::CompositorCaptureSystem;

    // How KWin hands over a picture it took: the pixels written into a pipe,
    // and their layout in the call's answer (type "raw", width, height,
    // stride and format as QImage numbers them). A null picture when the
    // answer and the bytes do not make one.
    static QImage rawPicture(const QVariantMap &layout, const QByteArray &pixels);

protected:
    std::optional<CompositorTree> tree() override;
    QString compositorName() const override { return QStringLiteral("KWin"); }
    QFuture<CaptureSystemResult<QImage>> captureDesktopPart(const QRect &desktop, const QRect &part, const QSize &size,
                                                            const QString &partMissing) override;

private:
    // The answer of this turn of the event loop, once asked.
    std::optional<std::optional<CompositorTree>> m_answer;
    QObject m_turn;
    // KWin turned us away once: it will again until the app is installed
    // with its desktop file.
    bool m_screenshotRefused = false;
};

} // namespace tessaline

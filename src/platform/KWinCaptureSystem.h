#pragma once

#include "platform/CompositorCaptureSystem.h"

#include <QObject>

namespace tessaline {

// Pictures in a KDE Plasma session: KWin says which window the user works
// in and where every window is, through a script of ours it runs, which
// takes a moment. One answer serves every question of one request (the
// frontmost application, its windows, the chosen one's place), all asked
// before control returns to the event loop.
class KWinCaptureSystem final : public CompositorCaptureSystem
{
public:
    using CompositorCaptureSystem::CompositorCaptureSystem;

protected:
    std::optional<CompositorTree> tree() override;
    QString compositorName() const override { return QStringLiteral("KWin"); }

private:
    // The answer of this turn of the event loop, once asked.
    std::optional<std::optional<CompositorTree>> m_answer;
    QObject m_turn;
};

} // namespace tessaline

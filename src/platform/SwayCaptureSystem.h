#pragma once

#include "platform/CompositorCaptureSystem.h"

namespace tessaline {

// Pictures in a sway session: sway's own socket says which window has the
// focus and where every window is, and answers at once, so each question
// asks it again.
class SwayCaptureSystem final : public CompositorCaptureSystem
{
public:
    using CompositorCaptureSystem::CompositorCaptureSystem;

protected:
    std::optional<CompositorTree> tree() override;
    QString compositorName() const override { return QStringLiteral("sway"); }
};

} // namespace tessaline

#pragma once

#include "capture/CaptureSubsystemError.h"
#include "capture/CaptureValues.h"

#include <functional>
#include <optional>

namespace tessaline {

// How the capture coordinator reaches the screen. Both operations finish
// later, on the main thread, by calling their completion exactly once, never
// from inside the call itself. Errors are CaptureSubsystemError values only.
class DisplayCapturing
{
public:
    using DisplayCompletion = std::function<void(CaptureOutcome<FrozenDisplayCapture>)>;
    using WindowCompletion = std::function<void(CaptureOutcome<CapturedWindow>)>;

    virtual ~DisplayCapturing() = default;

    // The whole display that holds the pointer.
    virtual void captureDisplayUnderPointer(DisplayCompletion completion) = 0;
    // The same, for a picture kept whole as a capture of its own rather
    // than a region of it: its PNG may be begun while it arrives.
    virtual void captureWholeDisplayUnderPointer(DisplayCompletion completion)
    {
        captureDisplayUnderPointer(std::move(completion));
    }
    // The chosen window of the frontmost application.
    virtual void captureFrontmostWindow(WindowCompletion completion) = 0;
    // Gets a capture of the display under the pointer ready while nothing
    // else happens, and names that display; none where there is nothing to
    // prepare.
    virtual std::optional<quint32> prepareDisplayUnderPointer() { return std::nullopt; }
};

} // namespace tessaline

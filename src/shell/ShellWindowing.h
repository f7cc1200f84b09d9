#pragma once

#include "runtime/AppRuntime.h"

namespace tessaline {

class RootView;

// The runtime's view of the windows: the main window, the capture toast and
// the application itself.
class ShellWindowing : public RuntimeWindowing
{
public:
    ShellWindowing(AppRuntime &runtime, RootView &mainWindow);

    void bringMainWindowToFront() override;
    bool anyWindowHasSheet() const override;
    void showCaptureToast(const QUuid &cardID) override;
    void closeCaptureToast() override;
    void terminate() override;
    void afterFirstFrame(QObject *context, std::function<void()> task) override;

private:
    AppRuntime &m_runtime;
    RootView &m_mainWindow;
};

} // namespace tessaline

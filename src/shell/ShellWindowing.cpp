#include "shell/ShellWindowing.h"

#include "shell/CaptureToastWindowController.h"
#include "shell/RootView.h"

#include <QApplication>

namespace tessaline {

ShellWindowing::ShellWindowing(AppRuntime &runtime, RootView &mainWindow)
    : m_runtime(runtime)
    , m_mainWindow(mainWindow)
{
}

void ShellWindowing::bringMainWindowToFront()
{
    m_mainWindow.bringToFront();
}

bool ShellWindowing::anyWindowHasSheet() const
{
    return m_mainWindow.hasAttachedSheet();
}

void ShellWindowing::showCaptureToast(const QUuid &cardID)
{
    CaptureToastWindowController::shared().show(cardID, m_runtime);
}

void ShellWindowing::closeCaptureToast()
{
    CaptureToastWindowController::shared().close();
}

void ShellWindowing::terminate()
{
    QCoreApplication::quit();
}

} // namespace tessaline

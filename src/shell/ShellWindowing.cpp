#include "shell/ShellWindowing.h"

#include "shell/CaptureToastWindowController.h"
#include "shell/RootView.h"

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWindow>

namespace tessaline {
namespace {

// Runs a task once the window's first frame is up, from the event loop:
// what the app does while it would otherwise sit idle after starting.
class AfterFirstFrame : public QObject
{
public:
    AfterFirstFrame(QWindow *window, QObject *context, std::function<void()> task)
        : QObject(window)
        , m_context(context)
        , m_task(std::move(task))
    {
        window->installEventFilter(this);
    }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed()) {
            watched->removeEventFilter(this);
            QTimer::singleShot(0, this, [this] {
                if (m_context)
                    m_task();
                deleteLater();
            });
        }
        return false;
    }

private:
    QPointer<QObject> m_context;
    std::function<void()> m_task;
};

} // namespace

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

void ShellWindowing::afterFirstFrame(QObject *context, std::function<void()> task)
{
    QWindow *handle = m_mainWindow.windowHandle();
    // Painted already, or with no window made yet to watch: nothing to wait
    // for.
    if (!handle || handle->isExposed())
        return RuntimeWindowing::afterFirstFrame(context, std::move(task));
    new AfterFirstFrame(handle, context, std::move(task));
}

void ShellWindowing::terminate()
{
    QCoreApplication::quit();
}

} // namespace tessaline

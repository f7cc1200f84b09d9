#pragma once

// Helpers for the tests that run on the real X server of the test run.

#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTest>
#include <QWidget>

namespace tessaline::x11test {

// Runs xdotool with the test's own DISPLAY; true when it succeeded.
inline bool xdotool(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("xdotool"), arguments);
    return process.waitForFinished(10000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// A plain window of one colour, placed exactly (the window manager, if
// any, is bypassed unless managed is true).
inline std::unique_ptr<QWidget> colouredWindow(const QRect &geometry, const QColor &colour, bool managed = false)
{
    auto window = std::make_unique<QWidget>(nullptr, managed ? Qt::Window
                                                             : Qt::Window | Qt::FramelessWindowHint | Qt::BypassWindowManagerHint);
    window->setAutoFillBackground(true);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, colour);
    window->setPalette(palette);
    window->setGeometry(geometry);
    window->show();
    return window;
}

// Lets the X server and Qt settle: events processed for a little while.
inline void settle(int milliseconds = 150)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < milliseconds) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qSleep(5);
    }
}

} // namespace tessaline::x11test

#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace tessaline {

// The captures (and the quick note) that the tessaline program starts from
// its command line, in the running instance. Where the desktop lets apps set
// no global shortcuts, the user binds these in its keyboard settings.
enum class CaptureCommand { captureRegion, captureWindow, captureDisplay, quickNote };

QList<CaptureCommand> allCaptureCommands();
// "capture-region", the option without its dashes.
QString captureCommandOption(CaptureCommand command);
// "Capture Region", as menus name it.
QString captureCommandTitle(CaptureCommand command);
std::optional<CaptureCommand> captureCommandFromOption(const QString &option);
// "tessaline --capture-region", one line per command that can work on this
// desktop, each with its title.
QString captureCommandLines();

} // namespace tessaline

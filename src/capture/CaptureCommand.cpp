#include "capture/CaptureCommand.h"

#include "platform/WindowSystem.h"

namespace tessaline {

QList<CaptureCommand> allCaptureCommands()
{
    return {CaptureCommand::captureRegion, CaptureCommand::captureWindow, CaptureCommand::captureDisplay,
            CaptureCommand::quickNote};
}

QString captureCommandOption(CaptureCommand command)
{
    switch (command) {
    case CaptureCommand::captureRegion:
        return QStringLiteral("capture-region");
    case CaptureCommand::captureWindow:
        return QStringLiteral("capture-window");
    case CaptureCommand::captureDisplay:
        return QStringLiteral("capture-display");
    case CaptureCommand::quickNote:
        return QStringLiteral("quick-note");
    }
    return {};
}

QString captureCommandTitle(CaptureCommand command)
{
    switch (command) {
    case CaptureCommand::captureRegion:
        return QStringLiteral("Capture Region");
    case CaptureCommand::captureWindow:
        return QStringLiteral("Capture Frontmost Window");
    case CaptureCommand::captureDisplay:
        return QStringLiteral("Capture Display Under Pointer");
    case CaptureCommand::quickNote:
        return QStringLiteral("Quick Note");
    }
    return {};
}

std::optional<CaptureCommand> captureCommandFromOption(const QString &option)
{
    for (const CaptureCommand command : allCaptureCommands()) {
        if (captureCommandOption(command) == option)
            return command;
    }
    return std::nullopt;
}

QString captureCommandLines()
{
    QStringList lines;
    for (const CaptureCommand command : allCaptureCommands()) {
        // A desktop that never says which window is in front fails every
        // window capture; binding that command would only bring the message.
        if (command == CaptureCommand::captureWindow && !WindowSystem::knowsFrontmostWindow())
            continue;
        lines.append(QStringLiteral("tessaline --") + captureCommandOption(command) + QStringLiteral("   ")
                     + captureCommandTitle(command));
    }
    return lines.join(u'\n');
}

} // namespace tessaline

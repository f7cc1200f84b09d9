#pragma once

#include <QString>

// The app's own texts that speak of the computer, its desktop or its keys.
// They are gathered here so the wording for this desktop stays consistent.
namespace tessaline::PlatformTexts {

inline QString welcomeCaptureParagraph()
{
    return QStringLiteral("Capture anything on your computer and it appears right here\u2014copied to your clipboard "
                          "and kept beside the words that give it meaning.");
}

inline QString welcomeShortcutParagraph()
{
    return QStringLiteral("Start writing, or press Ctrl+Super+4 to add your first snip.");
}

inline QString cloudSyncUnavailable()
{
    return QStringLiteral("Cloud sync is not available on this system.");
}

inline QString openPrivacySettingsInstruction()
{
    return QStringLiteral("Open your desktop's privacy settings, then enable Tessaline.");
}

} // namespace tessaline::PlatformTexts

#pragma once

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

// KDE Plasma's own registry of global shortcuts (kglobalaccel), which its
// global shortcuts portal files each session's shortcuts in, as one component
// per session token. The portal's answers describe what a shortcut asked for;
// only the registry says which key it holds. Elsewhere nothing here runs: the
// registry is never started for us, and the answers say it is not there.
namespace tessaline::KdeShortcutRegistry {

// Forgets every shortcut filed under the session token, and under the
// one-off tokens earlier versions used, so that the next session of that
// token gets the keys it prefers rather than the ones kept from before, then
// runs `then` (at once where no registry runs). Nothing runs once the
// context is gone.
void forget(const QString &sessionToken, QObject *context, std::function<void()> then);

// The ids of the shortcuts filed under the session token that hold the key
// they asked for; none where no registry runs or it answers in a form this
// does not read.
void heldKeys(const QString &sessionToken, QObject *context,
              std::function<void(const std::optional<QSet<QString>> &held)> then);

} // namespace tessaline::KdeShortcutRegistry

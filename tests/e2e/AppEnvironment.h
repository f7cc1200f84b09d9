#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QString>

namespace tessaline::e2e {

// An app run as another session would see it: a home and a runtime
// directory of its own, so it neither hands over to a Tessaline already
// running nor reaches its library.
inline QProcessEnvironment sessionOfItsOwn(const QString &home, const QString &runtime, const QString &platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.remove(QStringLiteral("XDG_CACHE_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return environment;
}

// The app's environment with `home` as its home and its data and settings
// under it, on the given platform plugin.
inline QProcessEnvironment appEnvironment(const QString &home, const QString &platform)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    environment.remove(QStringLiteral("XDG_DATA_HOME"));
    environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
    return environment;
}

// The app's environment in the test's Wayland session, with a runtime
// directory of its own: it answers only its test's second starts, whoever
// else runs the app on the computer (for root, a runtime directory of
// another user's falls back to one shared by every run). The session's
// compositor is then named by its full path.
inline QProcessEnvironment waylandAppEnvironment(const QString &home, const QString &runtime)
{
    QProcessEnvironment environment = appEnvironment(home, QStringLiteral("wayland"));
    const QString display = environment.value(QStringLiteral("WAYLAND_DISPLAY"));
    if (!display.startsWith(u'/'))
        environment.insert(QStringLiteral("WAYLAND_DISPLAY"),
                           environment.value(QStringLiteral("XDG_RUNTIME_DIR")) + u'/' + display);
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    return environment;
}

// Settings of a user who has been through the setup and the tour.
inline bool writeSettingsOfAnOldHand(const QString &path)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile settings(path);
    return settings.open(QIODevice::WriteOnly)
        && settings.write("[General]\nonboardingPreferences=\"@ByteArray({\\\"profile\\\":{\\\"name\\\":\\\"Ada\\\"},"
                          "\\\"completedOnboardingVersion\\\":1,\\\"completedTourVersion\\\":2})\"\n") > 0;
}

// A home and a runtime directory of the test's own for one run of the app
// in the test's Wayland session, with the settings of an old hand.
struct OldHandOnWayland
{
    QTemporaryDir home;
    QTemporaryDir runtime;
    const QString settingsPath = home.filePath(QStringLiteral(".config/Tessaline/Tessaline.conf"));
    const bool prepared = home.isValid() && runtime.isValid() && writeSettingsOfAnOldHand(settingsPath);

    QProcessEnvironment environment() const { return waylandAppEnvironment(home.path(), runtime.path()); }
    QString store() const { return home.filePath(QStringLiteral(".local/share/Tessaline/Tessaline.sqlite")); }
};

} // namespace tessaline::e2e

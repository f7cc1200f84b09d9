#pragma once

#include <QProcessEnvironment>
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

} // namespace tessaline::e2e

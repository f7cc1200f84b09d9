#pragma once

#include "platform/Expected.h"

#include <QDBusConnection>
#include <QImage>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

namespace tessaline {

// One result as a desktop's search shows it.
struct DesktopSearchResult
{
    QString identifier;
    QString name;
    QString description;
    // Null when the result has no picture of its own.
    QImage icon;
};

// What the desktop's search asks of the app; the bus layer only translates.
// Calls come on the thread of the bus connection's owner (the main thread).
class DesktopSearchHandling
{
public:
    virtual ~DesktopSearchHandling() = default;
    // The results for the terms, best first, already bounded.
    virtual QStringList resultIdentifiers(const QStringList &terms) = 0;
    // The shown form of each known identifier, in the order asked; unknown
    // ones are left out.
    virtual QList<DesktopSearchResult> results(const QStringList &identifiers) = 0;
    // The user picked a result, or asked to go on searching in the app.
    virtual void activateResult(const QString &identifier) = 0;
    virtual void launchSearch(const QStringList &terms) = 0;
};

// Answers the desktops' search front ends on the session bus, under one
// bus name: GNOME Shell's search provider interface
// (org.gnome.Shell.SearchProvider2) and KRunner's D-Bus runner interface
// (org.kde.krunner1), each at an object path of its own.
class DesktopSearchBus
{
public:
    // The names the data files (the search provider's .ini, the runner's
    // .desktop, the D-Bus service file) give the desktops.
    static QString serviceName() { return QStringLiteral("org.tessaline.Tessaline"); }
    static QString searchProviderPath() { return QStringLiteral("/org/tessaline/Tessaline/SearchProvider"); }
    static QString runnerPath() { return QStringLiteral("/org/tessaline/Tessaline/Runner"); }
    // The runner's one extra action: carry the query on into the app.
    static QString runnerSearchAction() { return QStringLiteral("search"); }

    explicit DesktopSearchBus(DesktopSearchHandling &handler,
                              QDBusConnection connection = QDBusConnection::sessionBus());
    ~DesktopSearchBus();

    DesktopSearchBus(const DesktopSearchBus &) = delete;
    DesktopSearchBus &operator=(const DesktopSearchBus &) = delete;

    // Puts both objects on the bus and takes the name; the reason when the
    // bus is not there or another process holds the name.
    Expected<void, QString> registerOnBus();
    bool isRegistered() const { return m_registered; }

    // Waits, running the event loop, until some process holds the name or
    // the time is up; true when one does. A start the bus made for the name
    // that finds the app already running leaves once that one answers, so
    // the desktop's first call is not lost.
    static bool waitForService(int timeoutMilliseconds, QDBusConnection connection = QDBusConnection::sessionBus());

private:
    QDBusConnection m_connection;
    std::unique_ptr<QObject> m_searchProvider;
    std::unique_ptr<QObject> m_runner;
    bool m_registered = false;
};

} // namespace tessaline

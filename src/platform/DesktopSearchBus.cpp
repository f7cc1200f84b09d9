#include "platform/DesktopSearchBus.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMetaType>
#include <QDBusServiceWatcher>
#include <QEventLoop>
#include <QTimer>
#include <QRegularExpression>
#include <QVariantMap>

namespace tessaline {

namespace {

// A match as KRunner reads it: id, text, icon name, match type, relevance
// and properties (a(sssida{sv})).
struct RunnerMatch
{
    QString id;
    QString text;
    QString iconName;
    int type = 0;
    double relevance = 0;
    QVariantMap properties;
};

// An action KRunner offers on a match: id, text, icon name (a(sss)).
struct RunnerAction
{
    QString id;
    QString text;
    QString iconName;
};

} // namespace

} // namespace tessaline

Q_DECLARE_METATYPE(tessaline::RunnerMatch)
Q_DECLARE_METATYPE(tessaline::RunnerAction)

namespace tessaline {

namespace {

QDBusArgument &operator<<(QDBusArgument &argument, const RunnerMatch &match)
{
    argument.beginStructure();
    argument << match.id << match.text << match.iconName << match.type << match.relevance << match.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, RunnerMatch &match)
{
    argument.beginStructure();
    argument >> match.id >> match.text >> match.iconName >> match.type >> match.relevance >> match.properties;
    argument.endStructure();
    return argument;
}

QDBusArgument &operator<<(QDBusArgument &argument, const RunnerAction &action)
{
    argument.beginStructure();
    argument << action.id << action.text << action.iconName;
    argument.endStructure();
    return argument;
}

const QDBusArgument &operator>>(const QDBusArgument &argument, RunnerAction &action)
{
    argument.beginStructure();
    argument >> action.id >> action.text >> action.iconName;
    argument.endStructure();
    return argument;
}

// The picture as raw pixels (iiibiiay: width, height, row stride, alpha,
// bits per sample, channels, bytes), which both desktops take without a
// file to point at.
QVariant iconData(const QImage &icon)
{
    const QImage pixels = icon.convertToFormat(QImage::Format_RGBA8888);
    QDBusArgument argument;
    argument.beginStructure();
    argument << pixels.width() << pixels.height() << int(pixels.bytesPerLine()) << true << 8 << 4
             << QByteArray(reinterpret_cast<const char *>(pixels.constBits()), pixels.sizeInBytes());
    argument.endStructure();
    return QVariant::fromValue(argument);
}

QString applicationIcon() { return QStringLiteral("org.tessaline.Tessaline"); }

class SearchProviderObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Shell.SearchProvider2")
public:
    explicit SearchProviderObject(DesktopSearchHandling &handler) : m_handler(handler) {}

public Q_SLOTS:
    Q_SCRIPTABLE QStringList GetInitialResultSet(const QStringList &terms)
    {
        return m_handler.resultIdentifiers(terms);
    }

    // The shell narrows a search as more is typed. The full answer for the
    // longer terms is as cheap, and may hold results the bounded earlier
    // answer had no room for.
    Q_SCRIPTABLE QStringList GetSubsearchResultSet(const QStringList &previousResults, const QStringList &terms)
    {
        Q_UNUSED(previousResults);
        return m_handler.resultIdentifiers(terms);
    }

    Q_SCRIPTABLE QList<QVariantMap> GetResultMetas(const QStringList &identifiers)
    {
        QList<QVariantMap> metas;
        for (const DesktopSearchResult &result : m_handler.results(identifiers)) {
            QVariantMap meta{
                {QStringLiteral("id"), result.identifier},
                {QStringLiteral("name"), result.name},
                {QStringLiteral("description"), result.description},
            };
            if (!result.icon.isNull())
                meta.insert(QStringLiteral("icon-data"), iconData(result.icon));
            else
                meta.insert(QStringLiteral("gicon"), applicationIcon());
            metas << meta;
        }
        return metas;
    }

    Q_SCRIPTABLE void ActivateResult(const QString &identifier, const QStringList &terms, uint timestamp)
    {
        Q_UNUSED(terms);
        Q_UNUSED(timestamp);
        m_handler.activateResult(identifier);
    }

    Q_SCRIPTABLE void LaunchSearch(const QStringList &terms, uint timestamp)
    {
        Q_UNUSED(timestamp);
        m_handler.launchSearch(terms);
    }

private:
    DesktopSearchHandling &m_handler;
};

class RunnerObject : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.krunner1")
public:
    explicit RunnerObject(DesktopSearchHandling &handler) : m_handler(handler) {}

public Q_SLOTS:
    Q_SCRIPTABLE QList<tessaline::RunnerMatch> Match(const QString &query)
    {
        m_terms = query.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        QList<RunnerMatch> matches;
        const QList<DesktopSearchResult> results = m_handler.results(m_handler.resultIdentifiers(m_terms));
        for (qsizetype i = 0; i < results.size(); ++i) {
            const DesktopSearchResult &result = results.at(i);
            RunnerMatch match;
            match.id = result.identifier;
            match.text = result.name;
            match.iconName = applicationIcon();
            // A possible match; relevance falls along the list, which is in
            // the order the app ranks them.
            match.type = 30;
            match.relevance = 0.9 - 0.01 * double(i);
            match.properties.insert(QStringLiteral("subtext"), result.description);
            match.properties.insert(QStringLiteral("category"), QStringLiteral("Tessaline"));
            if (!result.icon.isNull())
                match.properties.insert(QStringLiteral("icon-data"), iconData(result.icon));
            matches << match;
        }
        return matches;
    }

    Q_SCRIPTABLE QList<tessaline::RunnerAction> Actions()
    {
        return {RunnerAction{DesktopSearchBus::runnerSearchAction(), QStringLiteral("Search in Tessaline"),
                             QStringLiteral("edit-find")}};
    }

    Q_SCRIPTABLE void Run(const QString &matchId, const QString &actionId)
    {
        if (actionId == DesktopSearchBus::runnerSearchAction())
            m_handler.launchSearch(m_terms);
        else if (actionId.isEmpty())
            m_handler.activateResult(matchId);
    }

    // The end of a query session: nothing is kept between sessions.
    Q_SCRIPTABLE void Teardown() { m_terms.clear(); }

private:
    DesktopSearchHandling &m_handler;
    // The terms of the last query: the search action carries them on.
    QStringList m_terms;
};

} // namespace

DesktopSearchBus::DesktopSearchBus(DesktopSearchHandling &handler, QDBusConnection connection)
    : m_connection(std::move(connection))
    , m_searchProvider(std::make_unique<SearchProviderObject>(handler))
    , m_runner(std::make_unique<RunnerObject>(handler))
{
    static const bool typesRegistered = [] {
        qDBusRegisterMetaType<RunnerMatch>();
        qDBusRegisterMetaType<QList<RunnerMatch>>();
        qDBusRegisterMetaType<RunnerAction>();
        qDBusRegisterMetaType<QList<RunnerAction>>();
        qDBusRegisterMetaType<QList<QVariantMap>>();
        return true;
    }();
    Q_UNUSED(typesRegistered);
}

DesktopSearchBus::~DesktopSearchBus()
{
    if (!m_registered)
        return;
    m_connection.unregisterService(serviceName());
    m_connection.unregisterObject(searchProviderPath());
    m_connection.unregisterObject(runnerPath());
}

bool DesktopSearchBus::waitForService(int timeoutMilliseconds, QDBusConnection connection)
{
    QDBusConnectionInterface *bus = connection.interface();
    if (!bus)
        return false;
    QEventLoop loop;
    QDBusServiceWatcher watcher(serviceName(), connection, QDBusServiceWatcher::WatchForRegistration);
    QObject::connect(&watcher, &QDBusServiceWatcher::serviceRegistered, &loop, &QEventLoop::quit);
    QTimer::singleShot(timeoutMilliseconds, &loop, &QEventLoop::quit);
    // Asked after the watcher is in place, so a name taken in between is
    // seen one way or the other.
    if (bus->isServiceRegistered(serviceName()))
        return true;
    loop.exec();
    return bus->isServiceRegistered(serviceName());
}

Expected<void, QString> DesktopSearchBus::registerOnBus()
{
    if (m_registered)
        return {};
    if (!m_connection.isConnected())
        return unexpected(QStringLiteral("There is no session bus."));
    const auto options = QDBusConnection::ExportScriptableSlots;
    if (!m_connection.registerObject(searchProviderPath(), m_searchProvider.get(), options)
        || !m_connection.registerObject(runnerPath(), m_runner.get(), options)) {
        m_connection.unregisterObject(searchProviderPath());
        m_connection.unregisterObject(runnerPath());
        return unexpected(QStringLiteral("The search objects could not be put on the bus."));
    }
    // The objects answer before the name is taken: a desktop that asked
    // for the name (and started this process for it) calls at once.
    if (!m_connection.registerService(serviceName())) {
        m_connection.unregisterObject(searchProviderPath());
        m_connection.unregisterObject(runnerPath());
        return unexpected(QStringLiteral("Another process answers the desktop's search: ")
                          + m_connection.lastError().message());
    }
    m_registered = true;
    return {};
}

} // namespace tessaline

#include "DesktopSearchBus.moc"

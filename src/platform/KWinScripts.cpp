#include "platform/KWinScripts.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace tessaline {

namespace {

QDBusMessage scriptingCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                                          QStringLiteral("org.kde.kwin.Scripting"), method);
    message.setArguments(arguments);
    return message;
}

QString scriptName(const QString &purpose)
{
    return QStringLiteral("tessaline-%1-%2").arg(purpose).arg(QCoreApplication::applicationPid());
}

} // namespace

KWinScripts *KWinScripts::session()
{
    static KWinScripts *const scripts = []() -> KWinScripts * {
        QDBusConnection bus = QDBusConnection::sessionBus();
        if (!qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive)
            || !bus.isConnected() || !bus.interface()
            || !bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")))
            return nullptr;
        // The application's child, so it goes before the bus connection does.
        auto *made = new KWinScripts;
        made->setParent(QCoreApplication::instance());
        return made;
    }();
    return scripts;
}

KWinScripts::KWinScripts()
{
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        for (const QString &name : std::as_const(m_loaded))
            QDBusConnection::sessionBus().asyncCall(scriptingCall(QStringLiteral("unloadScript"), {name}));
        m_loaded.clear();
    });
}

KWinScripts::~KWinScripts() = default;

QString KWinScripts::quoted(const QString &text)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

void KWinScripts::run(const QString &purpose, const QString &source)
{
    if (!m_directory) {
        // In the session's private runtime place; KWin, which may run as
        // another user than a test of ours, needs only to read the file.
        QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            runtime = QDir::tempPath();
        m_directory = std::make_unique<QTemporaryDir>(runtime + QStringLiteral("/tessaline-kwin-XXXXXX"));
        if (m_directory->isValid())
            QFile::setPermissions(m_directory->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ExeGroup | QFile::ExeOther);
    }
    if (!m_directory->isValid())
        return;
    QFile script(m_directory->filePath(QStringLiteral("%1-%2.js").arg(purpose).arg(++m_runs)));
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write(source.toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // One script of ours per purpose at a time, under one name: the one
    // before has done its work, and loading another under its name would
    // fail.
    const QString name = scriptName(purpose);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (m_loaded.contains(name))
        bus.asyncCall(scriptingCall(QStringLiteral("unloadScript"), {name}));
    m_loaded.insert(name);
    auto *loaded = new QDBusPendingCallWatcher(
        bus.asyncCall(scriptingCall(QStringLiteral("loadScript"), {script.fileName(), name})), this);
    connect(loaded, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            return;
        QDBusConnection::sessionBus().asyncCall(scriptingCall(QStringLiteral("start"), {}));
    });
}

} // namespace tessaline

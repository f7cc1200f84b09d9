#include "platform/KWinScripts.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QJsonDocument>
#include <QThread>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include <unistd.h>

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

const QString answersPath = QStringLiteral("/KWinScriptAnswers");
const QString answersInterface = QStringLiteral("org.tessaline.KWinScriptAnswers");

// Takes the scripts' answers on its own thread and hands them to the one
// waiting for them.
class ScriptAnswers final : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.tessaline.KWinScriptAnswers")

public:
    std::optional<QString> take(const QString &token, int timeout)
    {
        std::unique_lock lock(m_mutex);
        const bool arrived = m_arrived.wait_for(lock, std::chrono::milliseconds(timeout),
                                                [&] { return m_answers.contains(token); });
        return arrived ? std::optional(m_answers.take(token)) : std::nullopt;
    }

public Q_SLOTS:
    Q_NOREPLY void answer(const QString &token, const QString &text)
    {
        {
            std::lock_guard lock(m_mutex);
            m_answers.insert(token, text);
        }
        m_arrived.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    QHash<QString, QString> m_answers;
};

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
        stopAnswers();
    });
}

KWinScripts::~KWinScripts()
{
    stopAnswers();
}

void KWinScripts::stopAnswers()
{
    if (!m_answerThread)
        return;
    m_answerBus->unregisterObject(answersPath);
    m_answerThread->quit();
    m_answerThread->wait();
    delete m_answers;
    m_answers = nullptr;
    m_answerThread.reset();
    const QString name = m_answerBus->name();
    m_answerBus.reset();
    QDBusConnection::disconnectFromBus(name);
}

QString KWinScripts::quoted(const QString &text)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

std::optional<QDBusMessage> KWinScripts::written(const QString &purpose, const QString &source)
{
    if (!m_directory) {
        // In the session's private runtime place. KWin needs only to read
        // the file; one that runs as another user (a test's session) may
        // not enter that place, and reads it from the temporary one.
        QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        const auto kwinUser = QDBusConnection::sessionBus().interface()->serviceUid(QStringLiteral("org.kde.KWin"));
        if (runtime.isEmpty() || (kwinUser.isValid() && kwinUser.value() != ::getuid()))
            runtime = QDir::tempPath();
        m_directory = std::make_unique<QTemporaryDir>(runtime + QStringLiteral("/tessaline-kwin-XXXXXX"));
        if (m_directory->isValid())
            QFile::setPermissions(m_directory->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                           | QFile::ExeGroup | QFile::ExeOther);
    }
    if (!m_directory->isValid())
        return std::nullopt;
    QFile script(m_directory->filePath(QStringLiteral("%1-%2.js").arg(purpose).arg(++m_runs)));
    if (!script.open(QIODevice::WriteOnly))
        return std::nullopt;
    script.write(source.toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // One script of ours per purpose at a time: the one before has done its
    // work. Each run has a name of its own: KWin lets an unloaded script go
    // only later, and asked meanwhile to load one under a name still taken
    // it loads nothing and answers with the old one, which has run already.
    const QString name = scriptName(purpose) + u'-' + QString::number(m_runs);
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (const QString before = m_loaded.take(purpose); !before.isEmpty())
        bus.asyncCall(scriptingCall(QStringLiteral("unloadScript"), {before}));
    m_loaded.insert(purpose, name);
    return scriptingCall(QStringLiteral("loadScript"), {script.fileName(), name});
}

void KWinScripts::run(const QString &purpose, const QString &source)
{
    const auto load = written(purpose, source);
    if (!load)
        return;
    auto *loaded = new QDBusPendingCallWatcher(QDBusConnection::sessionBus().asyncCall(*load), this);
    connect(loaded, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            return;
        QDBusConnection::sessionBus().asyncCall(scriptingCall(QStringLiteral("start"), {}));
    });
}

std::optional<QString> KWinScripts::ask(const QString &purpose, const QString &source, int timeout)
{
    if (!m_answerThread) {
        m_answerBus = QDBusConnection::connectToBus(QDBusConnection::SessionBus,
                                                    QStringLiteral("tessaline-kwin-answers"));
        if (!m_answerBus->isConnected())
            return std::nullopt;
        m_answerThread = std::make_unique<QThread>();
        m_answerThread->setObjectName(QStringLiteral("KWin script answers"));
        m_answers = new ScriptAnswers;
        m_answers->moveToThread(m_answerThread.get());
        m_answerThread->start();
        m_answerBus->registerObject(answersPath, m_answers, QDBusConnection::ExportAllSlots);
    }
    // Each answer carries the run it answers, so one that comes too late
    // is never taken for the next.
    const QString token = QString::number(m_runs + 1);
    const QString script = QStringLiteral("function answer(text) {"
                                          " callDBus(%1, %2, %3, 'answer', %4, String(text)); }\n%5")
                               .arg(quoted(m_answerBus->baseService()), quoted(answersPath), quoted(answersInterface),
                                    quoted(token), source);
    const auto load = written(purpose, script);
    if (!load)
        return std::nullopt;
    // KWin answers each call in about a millisecond.
    constexpr int callTimeout = 1000;
    QDBusConnection bus = QDBusConnection::sessionBus();
    const QString name = load->arguments().at(1).toString();
    if (bus.call(*load, QDBus::Block, callTimeout).type() != QDBusMessage::ReplyMessage)
        return std::nullopt;
    bus.call(scriptingCall(QStringLiteral("start"), {}), QDBus::Block, callTimeout);
    const auto answered = static_cast<ScriptAnswers *>(m_answers)->take(token, timeout);
    bus.asyncCall(scriptingCall(QStringLiteral("unloadScript"), {name}));
    if (m_loaded.value(purpose) == name)
        m_loaded.remove(purpose);
    return answered;
}

} // namespace tessaline

#include "KWinScripts.moc"

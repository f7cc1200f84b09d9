#include "platform/WaylandFloatingWindows.h"

#include "platform/SwayIpc.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QTimer>
#include <QWindow>

namespace tessaline {

namespace {

QString kwinScriptName()
{
    return QStringLiteral("tessaline-floating-%1").arg(QCoreApplication::applicationPid());
}

QDBusMessage scriptingCall(const QString &method, const QVariantList &arguments)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.kde.KWin"), QStringLiteral("/Scripting"),
                                                          QStringLiteral("org.kde.kwin.Scripting"), method);
    message.setArguments(arguments);
    return message;
}

// JavaScript text of a string.
QString quoted(const QString &text)
{
    return QString::fromUtf8(QJsonDocument::fromVariant(QVariantList{text}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

} // namespace

std::unique_ptr<WaylandFloatingWindows> WaylandFloatingWindows::create()
{
    if (!SwayIpc::socketPath().isEmpty())
        return std::unique_ptr<WaylandFloatingWindows>(new WaylandFloatingWindows(Desktop::sway));
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (qEnvironmentVariable("XDG_CURRENT_DESKTOP").contains(QLatin1String("KDE"), Qt::CaseInsensitive)
        && bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(QStringLiteral("org.kde.KWin")))
        return std::unique_ptr<WaylandFloatingWindows>(new WaylandFloatingWindows(Desktop::kwin));
    return nullptr;
}

WaylandFloatingWindows::WaylandFloatingWindows(Desktop desktop)
    : m_desktop(desktop)
{
    // KWin keeps a script until told otherwise; ours waits for windows of
    // this process, so it goes with the process.
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (m_scriptRuns > 0)
            QDBusConnection::sessionBus().asyncCall(scriptingCall(QStringLiteral("unloadScript"), {kwinScriptName()}));
    });
}

WaylandFloatingWindows::~WaylandFloatingWindows() = default;

void WaylandFloatingWindows::keepOnAllWorkspaces(QWindow &window)
{
    if (window.isExposed())
        askCompositor(window);
    else
        window.installEventFilter(this);
}

bool WaylandFloatingWindows::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Expose) {
        auto *window = qobject_cast<QWindow *>(watched);
        if (window && window->isExposed()) {
            window->removeEventFilter(this);
            askCompositor(*window);
        }
    }
    return false;
}

void WaylandFloatingWindows::askCompositor(const QWindow &window)
{
    if (m_desktop == Desktop::kwin) {
        runKWinScript(window);
        return;
    }
    // A window with a parent floats on sway; its size tells it from other
    // windows of ours of the same title. Qt sees the window exposed before
    // its first picture reaches sway, which maps it only then: ask again
    // for a moment until sway knows it.
    const SwayIpc::WindowKey key{QCoreApplication::applicationPid(), window.title(), window.transientParent() != nullptr,
                                 window.size()};
    auto *retry = new QTimer(this);
    retry->setInterval(50);
    connect(retry, &QTimer::timeout, this, [retry, key, tries = 0]() mutable {
        constexpr int lastTry = 40;
        if (SwayIpc::runOnWindow(key, QStringLiteral("sticky enable")) || ++tries >= lastTry)
            retry->deleteLater();
    });
    connect(&window, &QObject::destroyed, retry, &QObject::deleteLater);
    retry->start();
}

void WaylandFloatingWindows::runKWinScript(const QWindow &window)
{
    if (!m_scripts) {
        // In the session's private runtime place; KWin, which may run as
        // another user than a test of ours, needs only to read the file.
        QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
        if (runtime.isEmpty())
            runtime = QDir::tempPath();
        m_scripts = std::make_unique<QTemporaryDir>(runtime + QStringLiteral("/tessaline-kwin-XXXXXX"));
        if (m_scripts->isValid())
            QFile::setPermissions(m_scripts->path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                         | QFile::ExeGroup | QFile::ExeOther);
    }
    if (!m_scripts->isValid())
        return;
    // The window is ours, of its title, and frameless at its size: KWin
    // knows it by nothing we could name more closely. It may reach KWin after the
    // script has run, so the script also waits for it.
    const QString path = m_scripts->filePath(QStringLiteral("floating-%1.js").arg(++m_scriptRuns));
    QFile script(path);
    if (!script.open(QIODevice::WriteOnly))
        return;
    script.write(QStringLiteral(
                     "function keepFloating(c) {"
                     " if (c.pid == %1 && c.caption == %2 && c.frameGeometry.width == %3"
                     "     && c.frameGeometry.height == %4) {"
                     "  c.keepAbove = true; c.onAllDesktops = true;"
                     "  c.skipTaskbar = true; c.skipPager = true; c.skipSwitcher = true; } }"
                     "workspace.clientAdded.connect(keepFloating);"
                     "const list = workspace.clientList();"
                     "for (let i = 0; i < list.length; ++i) keepFloating(list[i]);")
                     .arg(QCoreApplication::applicationPid())
                     .arg(quoted(window.title()))
                     .arg(window.width())
                     .arg(window.height())
                     .toUtf8());
    script.close();
    script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    // One script of ours at a time, under one name: the one before has done
    // its work once its window came, and loading another under its name
    // would fail.
    QDBusConnection bus = QDBusConnection::sessionBus();
    bus.asyncCall(scriptingCall(QStringLiteral("unloadScript"), {kwinScriptName()}));
    auto *loaded = new QDBusPendingCallWatcher(
        bus.asyncCall(scriptingCall(QStringLiteral("loadScript"), {path, kwinScriptName()})), this);
    connect(loaded, &QDBusPendingCallWatcher::finished, this, [](QDBusPendingCallWatcher *call) {
        call->deleteLater();
        if (call->isError())
            return;
        QDBusConnection::sessionBus().asyncCall(scriptingCall(QStringLiteral("start"), {}));
    });
}

} // namespace tessaline

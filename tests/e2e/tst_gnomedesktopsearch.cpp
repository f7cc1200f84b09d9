// GNOME Shell itself finds a snip: the app's search provider file and
// desktop file go into the headless GNOME session's share folder, the real
// tessaline binary runs as it does when the bus starts it for a search, and
// the Super key, a typed word and Return (injected through mutter) open the
// snip's gallery window.
#include "../support/LibraryBuilder.h"
#include "../support/WaylandTestSupport.h"
#include "AppProcess.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/SearchIndex.h"
#include "runtime/CapturePipeline.h"
#include "platform/UuidText.h"
#include "runtime/AppRuntime.h"
#include "runtime/DesktopSearchIndexService.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTest>

using namespace tessaline;
using namespace tessaline::e2e;
using namespace tessaline::testing;
using namespace tessaline::waylandtest;

namespace {

const QString providerId = QStringLiteral("org.tessaline.Tessaline.desktop");

// Runs JavaScript in the shell (its unsafe mode allows it); the JSON of the
// value, or nothing when the shell refused.
QJsonValue shellEval(const QString &script)
{
    QDBusMessage message = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"),
                                                          QStringLiteral("/org/gnome/Shell"),
                                                          QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
    message.setArguments({script});
    const QDBusMessage reply = QDBusConnection::sessionBus().call(message, QDBus::Block, 10'000);
    if (reply.type() != QDBusMessage::ReplyMessage || !reply.arguments().value(0).toBool())
        return {};
    return QJsonDocument::fromJson("[" + reply.arguments().value(1).toString().toUtf8() + "]").array().at(0);
}

QStringList strings(const QJsonValue &value)
{
    QStringList list;
    for (const QJsonValue &item : value.toArray())
        list << item.toString();
    return list;
}

QString searchResults() { return QStringLiteral("Main.overview._overview._controls._searchController._searchResults"); }

bool copyWithExec(const QString &from, const QString &to, const QString &binary)
{
    QFile source(from);
    QFile target(to);
    if (!source.open(QIODevice::ReadOnly) || !target.open(QIODevice::WriteOnly))
        return false;
    QString text = QString::fromUtf8(source.readAll());
    // The shell only offers a provider whose application it could start.
    text.replace(QStringLiteral("Exec=tessaline"), QStringLiteral("Exec=") + binary);
    return target.write(text.toUtf8()) > 0;
}

} // namespace

class GnomeDesktopSearchTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
        m_share = qEnvironmentVariable("WAYLAND_SESSION_DIR") + QStringLiteral("/share");
        if (!QFileInfo(m_share + QStringLiteral("/gnome-shell/search-providers")).isDir())
            TESSALINE_SKIP_WITHOUT_SESSION("needs the GNOME session's share folder ($WAYLAND_SESSION_DIR/share)");
        if (shellEval(QStringLiteral("1")).toInt() != 1)
            TESSALINE_SKIP_WITHOUT_SESSION("needs GNOME Shell's Eval (the session runs it in unsafe mode)");
    }

    void cleanupTestCase()
    {
        QFile::remove(m_share + QStringLiteral("/applications/org.tessaline.Tessaline.desktop"));
        QFile::remove(m_share + QStringLiteral("/gnome-shell/search-providers/org.tessaline.Tessaline.search-provider.ini"));
    }

    void superTypeAndReturnOpenTheSnip()
    {
        QTemporaryDir home;
        QVERIFY(home.isValid());
        const QString data = home.filePath(QStringLiteral(".local/share/Tessaline"));
        QString lighthouse;
        {
            QVERIFY(QDir().mkpath(data));
            ModelContainer::Configuration configuration;
            configuration.directory = data;
            auto container = ModelContainer::open(configuration);
            QVERIFY(container);
            ModelContext &context = *(*container)->mainContext();
            Board *note = addNote(context, {.title = QStringLiteral("Coast")});
            CanvasCard *card = addCard(context, note->id(),
                                       {.title = QStringLiteral("Lighthouse sketch"),
                                        .image = pngOf(Qt::darkRed, QSize(600, 400))});
            QVERIFY(context.save());
            lighthouse = uuidText(card->id());
            SearchIndex index(QDir(data).filePath(QStringLiteral("SearchIndex.sqlite")));
            QVERIFY(index.indexItems({DesktopSearchIndexService::searchableItem(
                CapturePipeline::desktopSearchRecord(card, {note}), DesktopSearchIndexService::defaultDomainIdentifier())}));
        }

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("HOME"), home.path());
        environment.remove(QStringLiteral("XDG_DATA_HOME"));
        environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        // As the bus starts it: no window until a result is picked.
        Helper app(QStringLiteral(TESSALINE_BINARY), {QStringLiteral("--search-provider")}, environment);
        QVERIFY(app.isRunning());

        // The provider file first, then the application's: a new desktop
        // file makes the shell load its providers again.
        const QString files = QStringLiteral(TESSALINE_DATA_DIR);
        cleanupTestCase();
        QVERIFY(QFile::copy(files + QStringLiteral("/org.tessaline.Tessaline.search-provider.ini"),
                            m_share + QStringLiteral("/gnome-shell/search-providers/org.tessaline.Tessaline.search-provider.ini")));
        QVERIFY(copyWithExec(files + QStringLiteral("/org.tessaline.Tessaline.desktop"),
                             m_share + QStringLiteral("/applications/org.tessaline.Tessaline.desktop"),
                             QStringLiteral(TESSALINE_BINARY)));
        QTRY_VERIFY_WITH_TIMEOUT(strings(shellEval(searchResults() + QStringLiteral("._providers.map(p => p.id)")))
                                     .contains(providerId),
                                 30000);

        QVERIFY(input({QStringLiteral("key"), QStringLiteral("super")}));
        QVERIFY(input({QStringLiteral("type"), QStringLiteral("lighthouse")}));
        // The shell asked the app, and shows its answer.
        const QString shown = searchResults()
            + QStringLiteral("._providers.filter(p => p.id === '%1').map(p => Object.keys(p.display._resultDisplays))[0]")
                  .arg(providerId);
        QTRY_VERIFY_WITH_TIMEOUT(strings(shellEval(shown)).contains(lighthouse), 30000);

        QVERIFY(input({QStringLiteral("key"), QStringLiteral("Return")}));
        const QString titles = QStringLiteral("global.display.list_all_windows().map(w => w.get_title())");
        QTRY_VERIFY_WITH_TIMEOUT(strings(shellEval(titles)).contains(QStringLiteral("Snip gallery")), 60000);
        QVERIFY(app.isRunning());
        shellEval(QStringLiteral("Main.overview.hide()"));
        app.stop();
    }

private:
    QString m_share;
};

QTEST_GUILESS_MAIN(GnomeDesktopSearchTest)
#include "tst_gnomedesktopsearch.moc"

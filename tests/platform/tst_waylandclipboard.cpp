// The clipboard of a real (headless) sway or KDE session, read with wl-paste: a
// write stands while one of our windows has the keyboard, and the pasteboard
// says beforehand when the compositor would drop one (another client has
// the keyboard and has set the clipboard since our last input).
#include "../support/PngBytes.h"
#include "../support/WaylandTestSupport.h"

#include "platform/Pasteboard.h"

#include <QApplication>
#include <QImage>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWidget>

#include <memory>


using namespace tessaline;
using namespace tessaline::waylandtest;

namespace {

const char *childVariable = "TESSALINE_CLIPBOARD_CHILD";

// Another client: a window that takes the keyboard, until the test ends it.
int runChild()
{
    QWidget window;
    window.setWindowTitle(QStringLiteral("Another app"));
    // Over ours, which is full screen, as a desktop shows one full-screen
    // window at a time.
    window.showFullScreen();
    return QCoreApplication::exec();
}

// What wl-paste reads. Our own entry is read from us, so events keep
// flowing meanwhile.
QByteArray paste(const QStringList &arguments)
{
    QProcess process;
    process.start(QStringLiteral("wl-paste"), arguments);
    if (!QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, patience)) {
        process.kill();
        process.waitForFinished(5000);
        return {};
    }
    return process.readAllStandardOutput();
}


// Our window, saying when the user pressed a button in it.
class Clicks : public QWidget
{
    Q_OBJECT
Q_SIGNALS:
    void pressed();

protected:
    void mousePressEvent(QMouseEvent *) override { Q_EMIT pressed(); }
};

} // namespace

class WaylandClipboardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        if (const QString missing = missingSession(); !missing.isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION(qPrintable(missing));
        if (QStandardPaths::findExecutable(QStringLiteral("wl-paste")).isEmpty())
            TESSALINE_SKIP_WITHOUT_SESSION("needs wl-paste and wl-copy (wl-clipboard)");
    }

    void writesStandExactlyWhenTheDesktopTakesThem()
    {
        Clicks ours;
        ours.setWindowTitle(QStringLiteral("Ours"));
        // Full screen, the pointer's points are the window's on every
        // desktop, wherever it would place a window.
        ours.showFullScreen();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), ours.windowHandle(), patience);
        ClipboardPasteboard board;
        // The keyboard alone is not enough: the compositor asks for the
        // serial number of a press of the user's in our window.
        QVERIFY(!board.acceptsUnpromptedWrites());
        QSignalSpy pressed(&ours, &Clicks::pressed);
        QVERIFY(input({QStringLiteral("click"), QStringLiteral("100"), QStringLiteral("100")}));
        QVERIFY(pressed.count() > 0 || pressed.wait(patience));
        QVERIFY(board.acceptsUnpromptedWrites());
        QVERIFY(board.setImage(testing::pngOf(Qt::red, QSize(64, 48))));
        QTRY_VERIFY_WITH_TIMEOUT(paste({QStringLiteral("--list-types")}).contains("image/png"), patience);
        QCOMPARE(QImage::fromData(paste({QStringLiteral("--type"), QStringLiteral("image/png")})).size(), QSize(64, 48));

        // An entry that reads its PNG when pasted (a capture's, from the
        // library) pastes the very bytes. A new press first: the compositor
        // keeps the entry it holds against one of the same press.
        pressed.clear();
        QVERIFY(input({QStringLiteral("click"), QStringLiteral("120"), QStringLiteral("100")}));
        QVERIFY(pressed.count() > 0 || pressed.wait(patience));
        const QByteArray green = testing::pngOf(Qt::green, QSize(20, 10));
        const auto reads = std::make_shared<int>(0);
        QVERIFY(board.setImageSource([green, reads]() -> std::optional<QByteArray> {
            ++*reads;
            return green;
        }));
        QTRY_COMPARE_WITH_TIMEOUT(paste({QStringLiteral("--type"), QStringLiteral("image/png")}), green, patience);
        QVERIFY(*reads > 0);

        // Text, as other apps ask for it: UTF-8 by the type's own name.
        pressed.clear();
        QVERIFY(input({QStringLiteral("click"), QStringLiteral("140"), QStringLiteral("100")}));
        QVERIFY(pressed.count() > 0 || pressed.wait(patience));
        const QByteArray words = QStringLiteral("Caf\u00e9 \u2013 na\u00efve").toUtf8();
        board.clearContents();
        board.declareTypes({QStringLiteral("text/plain")});
        QVERIFY(board.setData(words, QStringLiteral("text/plain")));
        QTRY_VERIFY_WITH_TIMEOUT(paste({QStringLiteral("--list-types")}).split('\n').contains("text/plain;charset=utf-8"),
                                 patience);
        for (const QString &type : {QStringLiteral("text/plain;charset=utf-8"), QStringLiteral("text/plain")})
            QCOMPARE(paste({QStringLiteral("--no-newline"), QStringLiteral("--type"), type}), words);

        // Another app takes the keyboard, and the user copies there.
        QProcess other;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
        other.setProcessEnvironment(environment);
        other.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(other.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), nullptr, patience);
        QProcess copier;
        copier.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("previous words")});
        QVERIFY(copier.waitForStarted());
        QTRY_COMPARE_WITH_TIMEOUT(paste({QStringLiteral("--no-newline")}), QByteArray("previous words"), patience);

        // The pasteboard says no, and rightly: a write now is dropped.
        QVERIFY(!board.acceptsUnpromptedWrites());
        board.setImage(testing::pngOf(Qt::blue, QSize(32, 32)));
        QCoreApplication::processEvents();
        QCOMPARE(paste({QStringLiteral("--no-newline")}), QByteArray("previous words"));

        copier.kill();
        copier.waitForFinished(5000);
        other.kill();
        QVERIFY(other.waitForFinished(patience));
    }

    // Started as an X11 client inside the session, the app's entry reaches
    // the desktop's clipboard only while one of its windows has the
    // keyboard; otherwise XWayland's clipboard keeps it from every other
    // app, and the pasteboard refuses the write rather than claim a copy.
    void anX11ClientsWritesStandOnlyWithTheKeyboard()
    {
        if (!runsAsX11Client()) {
            if (x11Display().isEmpty())
                TESSALINE_SKIP_WITHOUT_SESSION("the session runs no XWayland server");
            runAsX11Client(QString::fromLatin1(QTest::currentTestFunction()));
            return;
        }
        QWidget ours;
        ours.setWindowTitle(QStringLiteral("Ours"));
        ours.showFullScreen();
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), ours.windowHandle(), patience);
        ClipboardPasteboard board;
        QVERIFY(board.acceptsUnpromptedWrites());
        QVERIFY(board.setImage(testing::pngOf(Qt::red, QSize(64, 48))));
        QTRY_VERIFY_WITH_TIMEOUT(paste({QStringLiteral("--list-types")}).contains("image/png"), patience);
        QCOMPARE(QImage::fromData(paste({QStringLiteral("--type"), QStringLiteral("image/png")})).size(), QSize(64, 48));

        // A Wayland app takes the keyboard, and the user copies there.
        QProcess other;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QString::fromLatin1(childVariable), QStringLiteral("1"));
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("wayland"));
        other.setProcessEnvironment(environment);
        other.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(other.waitForStarted());
        const auto stop = qScopeGuard([&] {
            other.kill();
            other.waitForFinished(patience);
        });
        QTRY_COMPARE_WITH_TIMEOUT(QGuiApplication::focusWindow(), nullptr, patience);
        QProcess copier;
        copier.start(QStringLiteral("wl-copy"), {QStringLiteral("--foreground"), QStringLiteral("previous words")});
        QVERIFY(copier.waitForStarted());
        const auto stopCopier = qScopeGuard([&] {
            copier.kill();
            copier.waitForFinished(5000);
        });
        QTRY_COMPARE_WITH_TIMEOUT(paste({QStringLiteral("--no-newline")}), QByteArray("previous words"), patience);

        QVERIFY(!board.acceptsUnpromptedWrites());
        QVERIFY(!board.setImage(testing::pngOf(Qt::blue, QSize(32, 32))));
        QVERIFY(!board.setImageSource([] { return std::optional(testing::pngOf(Qt::blue, QSize(32, 32))); }));
        QCoreApplication::processEvents();
        QCOMPARE(paste({QStringLiteral("--no-newline")}), QByteArray("previous words"));
    }
};

int main(int argc, char *argv[])
{
    runOffscreenWithoutSession();
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsSet(childVariable))
        return runChild();
    WaylandClipboardTest test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_waylandclipboard.moc"

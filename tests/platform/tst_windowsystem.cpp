#include "platform/WindowSystem.h"
#include "platform/X11Connection.h"

#include <QGuiApplication>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>

using namespace tessaline;

namespace {

// Whether a window of that id exists, asked over a connection of its own:
// the answer reflects what the server has done, not what the app has sent.
bool existsOnServer(xcb_window_t window)
{
    xcb_connection_t *other = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(other)) {
        xcb_disconnect(other);
        return false;
    }
    xcb_get_window_attributes_reply_t *reply =
        xcb_get_window_attributes_reply(other, xcb_get_window_attributes(other, window), nullptr);
    const bool exists = reply != nullptr;
    std::free(reply);
    xcb_disconnect(other);
    return exists;
}

} // namespace

class TestWindowSystem : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A request still on its way is done by the time the callback runs, and
    // a callback whose context went first never runs nor leaves its answer
    // behind to confuse the connection.
    void aCallbackComesOnceTheServerHasCaughtUp()
    {
        const std::optional<X11Connection> x11 = X11Connection::application();
        if (!x11)
            QSKIP("needs an X server");

        QObject staying;
        auto early = std::make_unique<QObject>();
        bool earlyCalled = false;
        WindowSystem::afterServerCaughtUp(early.get(), [&earlyCalled] { earlyCalled = true; });
        early.reset();

        // Sent, not flushed: only the server's catching up makes it exist.
        const xcb_window_t window = xcb_generate_id(x11->connection);
        xcb_create_window(x11->connection, XCB_COPY_FROM_PARENT, window, x11->root, 0, 0, 16, 16, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, 0, nullptr);
        bool existedWhenCalled = false;
        bool called = false;
        WindowSystem::afterServerCaughtUp(&staying, [&] {
            existedWhenCalled = existsOnServer(window);
            called = true;
        });
        QTRY_VERIFY(called);
        QVERIFY(existedWhenCalled);
        QVERIFY(!earlyCalled);

        // The connection still answers in order after the dropped answer.
        xcb_destroy_window(x11->connection, window);
        x11->sync();
        QCOMPARE(xcb_connection_has_error(x11->connection), 0);
        QVERIFY(!existsOnServer(window));
    }
};

QTEST_MAIN(TestWindowSystem)
#include "tst_windowsystem.moc"

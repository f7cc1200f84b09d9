#pragma once

// A window manager of its own for an X11 test: openbox on the test's
// display, started and stopped through its own process, never by name.

#include "platform/X11Connection.h"

#include <QProcess>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

namespace tessaline::testing {

class X11WindowManager
{
public:
    // True once openbox runs and frames new windows.
    bool start(const X11Connection &x11)
    {
        m_process.setStandardOutputFile(QProcess::nullDevice());
        m_process.setStandardErrorFile(QProcess::nullDevice());
        m_process.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
        if (!m_process.waitForStarted())
            return false;
        // It announces itself before it manages anything, and a window
        // mapped during its start-up can be lost: it is ready once a window
        // mapped now gets its frame.
        if (!QTest::qWaitFor([&] { return x11.windowProperty(x11.root, "_NET_SUPPORTING_WM_CHECK").has_value(); },
                             10000))
            return false;
        return caughtUp(x11);
    }

    ~X11WindowManager()
    {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    // True once openbox has handled what it was asked before: it handles
    // its events in turn, and a window mapped now gets its frame after
    // them. The window never takes the focus.
    static bool caughtUp(const X11Connection &x11)
    {
        const xcb_window_t probe = xcb_generate_id(x11.connection);
        xcb_create_window(x11.connection, XCB_COPY_FROM_PARENT, probe, x11.root, 0, 0, 20, 20, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, x11.screen->root_visual, 0, nullptr);
        // WM_HINTS: the input field set, to no.
        const quint32 noInput[9] = {1, 0};
        xcb_change_property(x11.connection, XCB_PROP_MODE_REPLACE, probe, XCB_ATOM_WM_HINTS, XCB_ATOM_WM_HINTS, 32, 9,
                            noInput);
        const auto reparented = [&] {
            xcb_query_tree_reply_t *tree =
                xcb_query_tree_reply(x11.connection, xcb_query_tree(x11.connection, probe), nullptr);
            const bool result = tree && tree->parent != x11.root;
            std::free(tree);
            return result;
        };
        bool framed = false;
        for (int attempt = 0; attempt < 30 && !framed; ++attempt) {
            xcb_unmap_window(x11.connection, probe);
            xcb_map_window(x11.connection, probe);
            x11.sync();
            framed = QTest::qWaitFor(reparented, 300);
        }
        xcb_destroy_window(x11.connection, probe);
        x11.sync();
        return framed;
    }

private:
    QProcess m_process;
};

} // namespace tessaline::testing

#include "platform/KWinWindows.h"

#include "platform/KWinScripts.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace tessaline::KWinWindows {

namespace {

// The apps' windows (no panels, desktops, menus or tooltips), front to
// back. KWin 5 gives each window's frame and its surface, whose overlap is
// what the client draws: the surface lies inside the frame of a window
// KWin decorates and around the frame (its shadow) of one that decorates
// itself. KWin 6 names that part itself, and renamed the lists.
const QString script = QStringLiteral(R"(
(function () {
  const list = workspace.windowList ? workspace.windowList() : workspace.clientList();
  const active = workspace.activeWindow !== undefined ? workspace.activeWindow : workspace.activeClient;
  const activeID = active ? String(active.internalId) : '';
  const desktop = workspace.currentDesktop;
  const activity = workspace.currentActivity;
  const windows = [];
  for (let i = 0; i < list.length; ++i) {
    const c = list[i];
    if (!(c.normalWindow || c.dialog || c.utility))
      continue;
    let g = c.clientGeometry;
    if (!g) {
      const f = c.frameGeometry, b = c.bufferGeometry || f;
      const x = Math.max(f.x, b.x), y = Math.max(f.y, b.y);
      g = {x: x, y: y, width: Math.min(f.x + f.width, b.x + b.width) - x,
           height: Math.min(f.y + f.height, b.y + b.height) - y};
    }
    const onDesktop = c.onAllDesktops
      || (typeof desktop === 'number' ? c.desktop == desktop : c.desktops.indexOf(desktop) >= 0);
    const onActivity = !c.activities || c.activities.length == 0 || c.activities.indexOf(activity) >= 0;
    windows.push({id: String(c.internalId), pid: c.pid, title: c.caption, appID: c.desktopFileName || '',
                  windowClass: String(c.resourceClass || ''), instance: String(c.resourceName || ''),
                  x: g.x, y: g.y, width: g.width, height: g.height, active: String(c.internalId) == activeID,
                  shown: onDesktop && onActivity && !c.minimized, keepAbove: c.keepAbove,
                  stacking: c.stackingOrder});
  }
  answer(JSON.stringify(windows));
})();
)");

// Long enough for a KWin busy with a frame, short enough that a KWin that
// never answers does not hold the capture up; it answers in milliseconds.
constexpr int answerTimeout = 2000;

QList<CompositorOutput> sessionOutputs()
{
    QList<CompositorOutput> outputs;
    const QList<QScreen *> screens = QGuiApplication::screens();
    for (const QScreen *screen : screens)
        outputs.append(CompositorOutput{screen->name(), screen->geometry(), screen->devicePixelRatio()});
    return outputs;
}

} // namespace

CompositorTree treeIn(const QJsonDocument &answer, qint64 ownProcess, const QList<CompositorOutput> &outputs)
{
    struct Stacked
    {
        CompositorWindow window;
        bool active = false;
        int stacking = 0;
    };
    QList<Stacked> stacked;
    for (const QJsonValue value : answer.array()) {
        const QJsonObject entry = value.toObject();
        const QString identity = entry.value(QStringLiteral("id")).toString();
        if (identity.isEmpty())
            continue;
        Stacked each;
        CompositorWindow &window = each.window;
        // The capture side knows windows by a 32-bit number.
        window.id = qint64(quint32(qHash(identity)));
        window.processID = entry.value(QStringLiteral("pid")).toInteger();
        window.title = entry.value(QStringLiteral("title")).toString();
        window.appID = entry.value(QStringLiteral("appID")).toString();
        window.windowClass = entry.value(QStringLiteral("windowClass")).toString();
        window.instance = entry.value(QStringLiteral("instance")).toString();
        // KWin places windows on fractions of a pixel under a fractional scale.
        const auto whole = [&](const char *key) {
            return int(std::lround(entry.value(QLatin1String(key)).toDouble()));
        };
        window.content = QRect(whole("x"), whole("y"), whole("width"), whole("height"));
        window.visible = entry.value(QStringLiteral("shown")).toBool() && !window.content.isEmpty();
        window.keptAbove = entry.value(QStringLiteral("keepAbove")).toBool();
        each.active = entry.value(QStringLiteral("active")).toBool();
        each.stacking = entry.value(QStringLiteral("stacking")).toInt();
        stacked.append(each);
    }
    std::stable_sort(stacked.begin(), stacked.end(), [](const Stacked &a, const Stacked &b) {
        if (a.window.visible != b.window.visible)
            return a.window.visible;
        return a.stacking > b.stacking;
    });
    const auto others = [&](const Stacked &each) { return each.window.processID != ownProcess; };
    auto focused = std::find_if(stacked.begin(), stacked.end(),
                                [&](const Stacked &each) { return each.active && others(each); });
    if (focused == stacked.end())
        focused = std::find_if(stacked.begin(), stacked.end(), [&](const Stacked &each) {
            return others(each) && each.window.visible;
        });
    if (focused != stacked.end())
        focused->window.focused = true;
    CompositorTree tree;
    tree.outputs = outputs;
    for (const Stacked &each : std::as_const(stacked))
        tree.windows.append(each.window);
    return tree;
}

std::optional<CompositorTree> tree()
{
    KWinScripts *kwin = KWinScripts::session();
    if (!kwin)
        return std::nullopt;
    const auto answer = kwin->ask(QStringLiteral("windows"), script, answerTimeout);
    if (!answer)
        return std::nullopt;
    return treeIn(QJsonDocument::fromJson(answer->toUtf8()), QCoreApplication::applicationPid(), sessionOutputs());
}

} // namespace tessaline::KWinWindows

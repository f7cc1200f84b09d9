#include "platform/X11WindowInfo.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QStandardPaths>
#include <QTextStream>

#include <xcb/res.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>

namespace tessaline {

namespace {

struct DesktopFile
{
    QString name;
    QString startupWMClass;
    bool valid = false;
};

DesktopFile readDesktopFile(const QString &path)
{
    DesktopFile result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return result;
    const QString language = QLocale().name();        // e.g. de_DE
    const QString shortLanguage = language.section(u'_', 0, 0);
    QString plainName;
    QString fullName;
    QString shortName;
    bool inMainGroup = false;
    QTextStream stream(&file);
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.startsWith(u'[')) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        const QString value = line.mid(equals + 1).trimmed();
        if (key == QLatin1String("Name"))
            plainName = value;
        else if (key == QStringLiteral("Name[%1]").arg(language))
            fullName = value;
        else if (key == QStringLiteral("Name[%1]").arg(shortLanguage))
            shortName = value;
        else if (key == QLatin1String("StartupWMClass"))
            result.startupWMClass = value;
    }
    result.name = !fullName.isEmpty() ? fullName : !shortName.isEmpty() ? shortName : plainName;
    result.valid = !plainName.isEmpty();
    return result;
}

QStringList defaultDataDirectories()
{
    QStringList result;
    for (const QString &dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        result.append(dir);
    return result;
}

// The desktop files that name a StartupWMClass, by that class in lower
// case, each with its place in the order files are searched (the first
// wins).
using StartupClasses = QHash<QString, std::pair<int, DesktopApplication>>;

// Finding a window's StartupWMClass means reading every desktop file there
// is: tens of milliseconds on a full desktop, on the hot-key road. They are
// read once for the directories as they stand; an application installed
// since changes its directory's time, and the next lookup reads them again.
std::shared_ptr<const StartupClasses> startupClasses(const QStringList &directories)
{
    QString state;
    for (const QString &dir : directories) {
        const QString root = dir + QStringLiteral("/applications");
        state += root + u'\t' + QString::number(QFileInfo(root).lastModified().toMSecsSinceEpoch()) + u'\n';
    }
    static std::mutex mutex;
    static QString readFor;
    static std::shared_ptr<const StartupClasses> read;
    const std::lock_guard lock(mutex);
    if (read && readFor == state)
        return read;
    auto classes = std::make_shared<StartupClasses>();
    int order = 0;
    for (const QString &dir : directories) {
        const QString root = dir + QStringLiteral("/applications");
        QDirIterator it(root, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const DesktopFile file = readDesktopFile(path);
            if (!file.valid || file.startupWMClass.isEmpty())
                continue;
            QString id = QDir(root).relativeFilePath(path);
            id.chop(int(qstrlen(".desktop")));
            id.replace(u'/', u'-');
            const QString key = file.startupWMClass.toLower();
            if (!classes->contains(key))
                classes->insert(key, {order, DesktopApplication{file.name, id}});
            ++order;
        }
    }
    readFor = state;
    read = std::move(classes);
    return read;
}

} // namespace

void X11WindowInfo::prepareApplicationLookup()
{
    (void)startupClasses(defaultDataDirectories());
}

X11WindowInfo::X11WindowInfo(const X11Connection &connection)
    : m_x11(connection)
{
}

std::optional<xcb_window_t> X11WindowInfo::activeWindow() const
{
    // A window manager that died leaves its hint behind; only a window that
    // still exists counts.
    if (const auto active = m_x11.windowProperty(m_x11.root, "_NET_ACTIVE_WINDOW"); active && *active != XCB_NONE) {
        xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
            m_x11.connection, xcb_get_window_attributes(m_x11.connection, *active), nullptr);
        const bool exists = attributes != nullptr;
        std::free(attributes);
        if (exists)
            return active;
    }
    xcb_get_input_focus_reply_t *focus = xcb_get_input_focus_reply(
        m_x11.connection, xcb_get_input_focus(m_x11.connection), nullptr);
    if (!focus)
        return std::nullopt;
    const xcb_window_t window = focus->focus;
    std::free(focus);
    if (window == XCB_NONE || window == XCB_INPUT_FOCUS_POINTER_ROOT || window == m_x11.root)
        return std::nullopt;
    return clientWindowFor(window);
}

std::optional<xcb_window_t> X11WindowInfo::clientWindowFor(xcb_window_t window) const
{
    // The focus may sit on a child of the client window; the client is the
    // nearest ancestor that carries WM_CLASS.
    xcb_window_t current = window;
    while (current != XCB_NONE && current != m_x11.root) {
        if (m_x11.property(current, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1))
            return current;
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(
            m_x11.connection, xcb_query_tree(m_x11.connection, current), nullptr);
        if (!tree)
            return std::nullopt;
        current = tree->parent;
        std::free(tree);
    }
    return window;
}

std::optional<QString> X11WindowInfo::title(xcb_window_t window) const
{
    return m_x11.windowTitle(window);
}

std::optional<std::pair<QString, QString>> X11WindowInfo::windowClass(xcb_window_t window) const
{
    const auto bytes = m_x11.property(window, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING);
    if (!bytes || bytes->isEmpty())
        return std::nullopt;
    const QList<QByteArray> parts = bytes->split('\0');
    const QString instance = QString::fromLocal8Bit(parts.value(0));
    const QString windowClass = QString::fromLocal8Bit(parts.value(1));
    if (instance.isEmpty() && windowClass.isEmpty())
        return std::nullopt;
    return std::make_pair(instance, windowClass);
}

std::optional<qint64> X11WindowInfo::processID(xcb_window_t window) const
{
    if (const auto pid = m_x11.cardinalProperty(window, "_NET_WM_PID"); pid && *pid > 0)
        return qint64(*pid);
    const xcb_query_extension_reply_t *extension = xcb_get_extension_data(m_x11.connection, &xcb_res_id);
    if (!extension || !extension->present)
        return std::nullopt;
    xcb_res_client_id_spec_t wanted{window, XCB_RES_CLIENT_ID_MASK_LOCAL_CLIENT_PID};
    xcb_res_query_client_ids_reply_t *reply = xcb_res_query_client_ids_reply(
        m_x11.connection, xcb_res_query_client_ids(m_x11.connection, 1, &wanted), nullptr);
    if (!reply)
        return std::nullopt;
    std::optional<qint64> result;
    for (xcb_res_client_id_value_iterator_t it = xcb_res_query_client_ids_ids_iterator(reply); it.rem;
         xcb_res_client_id_value_next(&it)) {
        // Only the process id was asked for, so every answer carries one.
        if (xcb_res_client_id_value_value_length(it.data) >= 1) {
            result = qint64(*xcb_res_client_id_value_value(it.data));
            break;
        }
    }
    std::free(reply);
    return result;
}

std::optional<QRect> X11WindowInfo::frame(xcb_window_t window) const
{
    xcb_get_geometry_reply_t *geometry = xcb_get_geometry_reply(
        m_x11.connection, xcb_get_geometry(m_x11.connection, window), nullptr);
    if (!geometry)
        return std::nullopt;
    const QSize size(geometry->width, geometry->height);
    std::free(geometry);
    xcb_translate_coordinates_reply_t *origin = xcb_translate_coordinates_reply(
        m_x11.connection, xcb_translate_coordinates(m_x11.connection, window, m_x11.root, 0, 0), nullptr);
    if (!origin)
        return std::nullopt;
    const QRect result(QPoint(origin->dst_x, origin->dst_y), size);
    std::free(origin);
    return result;
}

bool X11WindowInfo::isViewable(xcb_window_t window) const
{
    xcb_get_window_attributes_reply_t *attributes = xcb_get_window_attributes_reply(
        m_x11.connection, xcb_get_window_attributes(m_x11.connection, window), nullptr);
    if (!attributes)
        return false;
    const bool viewable = attributes->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attributes);
    if (!viewable)
        return false;
    const xcb_atom_t hidden = m_x11.atom("_NET_WM_STATE_HIDDEN", true);
    return hidden == XCB_ATOM_NONE || !m_x11.atomListProperty(window, "_NET_WM_STATE").contains(hidden);
}

int X11WindowInfo::layer(xcb_window_t window) const
{
    const QList<xcb_atom_t> types = m_x11.atomListProperty(window, "_NET_WM_WINDOW_TYPE");
    if (!types.isEmpty()) {
        const xcb_atom_t type = types.first();
        if (type == m_x11.atom("_NET_WM_WINDOW_TYPE_DOCK", true))
            return 20;
        if (type == m_x11.atom("_NET_WM_WINDOW_TYPE_DESKTOP", true))
            return -1;
        if (type != m_x11.atom("_NET_WM_WINDOW_TYPE_NORMAL", true)
            && type != m_x11.atom("_NET_WM_WINDOW_TYPE_DIALOG", true))
            return 3;
    }
    const xcb_atom_t above = m_x11.atom("_NET_WM_STATE_ABOVE", true);
    if (above != XCB_ATOM_NONE && m_x11.atomListProperty(window, "_NET_WM_STATE").contains(above))
        return 3;
    return 0;
}

QList<xcb_window_t> X11WindowInfo::clientWindows() const
{
    QList<xcb_window_t> result;
    for (const char *name : {"_NET_CLIENT_LIST_STACKING", "_NET_CLIENT_LIST"}) {
        const auto bytes = m_x11.property(m_x11.root, m_x11.atom(name, true), XCB_ATOM_WINDOW);
        if (!bytes || bytes->isEmpty())
            continue;
        for (qsizetype i = bytes->size() - 4; i >= 0; i -= 4) {   // bottom-to-top on the wire
            xcb_window_t window = 0;
            std::memcpy(&window, bytes->constData() + i, 4);
            result.append(window);
        }
        return result;
    }
    xcb_query_tree_reply_t *tree = xcb_query_tree_reply(
        m_x11.connection, xcb_query_tree(m_x11.connection, m_x11.root), nullptr);
    if (!tree)
        return result;
    const xcb_window_t *children = xcb_query_tree_children(tree);
    for (int i = xcb_query_tree_children_length(tree) - 1; i >= 0; --i) {
        if (m_x11.property(children[i], XCB_ATOM_WM_CLASS, XCB_ATOM_STRING, 1))
            result.append(children[i]);
    }
    std::free(tree);
    return result;
}

xcb_window_t X11WindowInfo::topLevelAncestor(xcb_window_t window) const
{
    xcb_window_t current = window;
    while (true) {
        xcb_query_tree_reply_t *tree = xcb_query_tree_reply(
            m_x11.connection, xcb_query_tree(m_x11.connection, current), nullptr);
        if (!tree)
            return current;
        const xcb_window_t parent = tree->parent;
        std::free(tree);
        if (parent == XCB_NONE || parent == m_x11.root)
            return current;
        current = parent;
    }
}

bool X11WindowInfo::compositorRunning() const
{
    int screenNumber = 0;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(m_x11.connection));
    for (; it.rem; xcb_screen_next(&it), ++screenNumber) {
        if (it.data->root == m_x11.root)
            break;
    }
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(screenNumber);
    const xcb_atom_t selection = m_x11.atom(name.constData(), true);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t *owner = xcb_get_selection_owner_reply(
        m_x11.connection, xcb_get_selection_owner(m_x11.connection, selection), nullptr);
    if (!owner)
        return false;
    const bool running = owner->owner != XCB_NONE;
    std::free(owner);
    return running;
}

DesktopApplication X11WindowInfo::applicationForClass(const QString &instance, const QString &windowClass,
                                                      const QStringList &dataDirectories)
{
    return lookUpApplication(instance, windowClass,
                             dataDirectories.isEmpty() ? defaultDataDirectories() : dataDirectories);
}

DesktopApplication X11WindowInfo::lookUpApplication(const QString &instance, const QString &windowClass,
                                                    const QStringList &directories)
{
    auto found = [](const QString &path, const QString &id) -> std::optional<DesktopApplication> {
        const DesktopFile file = readDesktopFile(path);
        if (!file.valid)
            return std::nullopt;
        return DesktopApplication{file.name, id};
    };
    // First by file name, the way desktops match windows to launchers.
    for (const QString &candidate : {windowClass, windowClass.toLower(), instance, instance.toLower()}) {
        if (candidate.isEmpty() || candidate.contains(u'/'))
            continue;
        for (const QString &dir : directories) {
            const QString path = dir + QStringLiteral("/applications/") + candidate + QStringLiteral(".desktop");
            if (QFile::exists(path)) {
                if (auto result = found(path, candidate))
                    return *result;
            }
        }
    }
    // Then by StartupWMClass.
    const std::shared_ptr<const StartupClasses> classes = startupClasses(directories);
    const auto byClass = classes->constFind(windowClass.toLower());
    const auto byInstance = classes->constFind(instance.toLower());
    const auto last = classes->constEnd();
    if (byClass != last && (byInstance == last || byClass->first <= byInstance->first))
        return byClass->second;
    if (byInstance != last)
        return byInstance->second;
    DesktopApplication fallback;
    if (!windowClass.isEmpty())
        fallback.name = windowClass;
    else if (!instance.isEmpty())
        fallback.name = instance;
    if (!instance.isEmpty())
        fallback.identifier = instance;
    else if (!windowClass.isEmpty())
        fallback.identifier = windowClass;
    return fallback;
}

std::optional<DesktopApplication> X11WindowInfo::application(xcb_window_t window) const
{
    const auto windowClass = this->windowClass(window);
    if (!windowClass)
        return std::nullopt;
    return applicationForClass(windowClass->first, windowClass->second);
}

} // namespace tessaline

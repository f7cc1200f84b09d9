#include "platform/SymbolIcon.h"

#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QStandardPaths>

#include <iterator>

inline void initSymbolResources()
{
    Q_INIT_RESOURCE(symbols);
}

namespace tessaline {

namespace {

// One row per symbol a screen shows. Theme names are Breeze's; most themes
// that follow the freedesktop naming carry the same ones.
constexpr SymbolIcon::Entry entries[] = {
    {"1.magnifyingglass", "zoom-original", "magnifier-one"},
    {"app", "application-x-executable", "app"},
    {"apple.intelligence", "tools-wizard", "sparkles"},
    {"arrow.clockwise", "view-refresh", "refresh"},
    {"arrow.clockwise.circle", "system-reboot", "refresh-circle"},
    {"arrow.down.right.and.arrow.up.left", "view-restore", "contract"},
    {"arrow.down.to.line", "go-bottom", "arrow-down-to-line"},
    {"arrow.right", "go-next", "arrow-right"},
    {"arrow.right.circle", "go-next-view", "arrow-right-circle"},
    {"arrow.triangle.2.circlepath", "view-refresh", "sync"},
    {"arrow.up.left", "edit-select", "arrow-up-left"},
    {"arrow.up.left.and.arrow.down.right", "view-fullscreen", "expand"},
    {"arrow.up.right", "draw-arrow", "arrow-up-right"},
    {"arrow.uturn.backward", "edit-undo", "undo"},
    {"arrow.uturn.forward", "edit-redo", "redo"},
    {"character.cursor.ibeam", "edit-select-text", "ibeam"},
    {"checkmark", "dialog-ok-apply", "check"},
    {"checkmark.circle", "dialog-ok", "check-circle"},
    {"checkmark.circle.fill", "emblem-ok-symbolic", "check-circle-fill"},
    {"checkmark.seal", "answer-correct", "check-seal"},
    {"chevron.left", "go-previous", "chevron-left"},
    {"chevron.right", "go-next", "chevron-right"},
    {"display", "monitor", "display"},
    {"doc.badge.ellipsis", "document-preview", "document-ellipsis"},
    {"doc.on.doc", "edit-copy", "copy"},
    {"doc.on.doc.fill", "edit-copy", "copy-fill"},
    {"doc.text", "document-export", "document"},
    {"ellipsis", "overflow-menu", "ellipsis"},
    {"ellipsis.circle", "overflow-menu", "ellipsis-circle"},
    {"exclamationmark.circle", "emblem-important-symbolic", "exclamation-circle"},
    {"exclamationmark.triangle", "dialog-warning-symbolic", "warning"},
    {"eye", "view-visible", "eye"},
    {"folder", "folder", "folder"},
    {"gearshape", "configure", "gear"},
    {"highlighter", "draw-highlight", "highlighter"},
    {"info.circle", "help-about", "info-circle"},
    {"lineweight", "edit-line-width", "lineweight"},
    {"link", "link", "link"},
    {"link.badge.minus", "remove-link", "link-minus"},
    {"link.badge.plus", "insert-link", "link-plus"},
    {"lock", "object-locked", "lock"},
    {"macwindow", "window", "window"},
    {"magnifyingglass", "edit-find", "magnifier"},
    {"minus.magnifyingglass", "zoom-out", "magnifier-minus"},
    {"note.text", "view-pim-notes", "note"},
    {"note.text.badge.plus", "document-new", "note-plus"},
    {"paintpalette", "color-picker", "palette"},
    {"paperclip", "mail-attachment", "paperclip"},
    {"pause.circle", "media-playback-pause", "pause-circle"},
    {"pencil.tip", "draw-freehand", "pencil"},
    {"photo", "viewimage", "photo"},
    {"photo.badge.exclamationmark", "image-missing", "photo-exclamation"},
    {"photo.on.rectangle", "view-preview", "photo-on-rectangle"},
    {"photo.stack", "folder-pictures", "photo-stack"},
    {"pin", "window-pin", "pin"},
    {"plus.magnifyingglass", "zoom-in", "magnifier-plus"},
    {"point.topleft.down.to.point.bottomright.curvepath", "draw-bezier-curves", "curve-path"},
    {"questionmark.circle", "question", "question-circle"},
    {"quote.bubble", "format-text-blockquote", "quote-bubble"},
    {"rectangle", "draw-rectangle", "rectangle"},
    {"rectangle.3.group", "view-group", "rectangles-group"},
    {"rectangle.expand.vertical", "zoom-fit-height", "rectangle-expand-vertical"},
    {"rectangle.inset.filled", "select-rectangular", "rectangle-inset-filled"},
    {"rectangle.on.rectangle.angled", "window-duplicate", "rectangles-angled"},
    {"rectangle.slash", "window-close", "rectangle-slash"},
    {"sidebar.left", "sidebar-collapse-left", "sidebar-left"},
    {"sidebar.right", "sidebar-collapse-right", "sidebar-right"},
    {"sparkles", "games-hint", "sparkles"},
    {"square.3.layers.3d", "object-group", "layers"},
    {"square.and.arrow.down", "document-save", "download"},
    {"square.and.pencil", "document-edit", "square-pencil"},
    {"square.grid.2x2", "view-grid", "grid-2x2"},
    {"square.grid.3x3.fill", "zoom-pixels", "grid-3x3-fill"},
    {"square.on.square", "edit-copy", "copy"},
    {"square.stack.3d.up", "layer-raise", "stack-up"},
    {"star", "non-starred-symbolic", "star"},
    {"star.fill", "starred-symbolic", "star-fill"},
    {"star.slash", "edit-delete-remove", "star-slash"},
    {"text.alignleft", "format-justify-left", "align-left"},
    {"text.badge.plus", "insert-text", "text-plus"},
    {"text.bubble", "dialog-messages", "bubble"},
    {"text.magnifyingglass", "edit-find", "magnifier-text"},
    {"textformat", "draw-text", "text-format"},
    {"textformat.size", "format-font-size-more", "text-size"},
    {"trash", "user-trash", "trash"},
    {"trash.slash", "edit-delete-shred", "trash-slash"},
    {"tray", "mail-folder-inbox", "tray"},
    {"viewfinder", "select-rectangular", "viewfinder"},
    {"xmark", "window-close", "xmark"},
    {"xmark.circle", "dialog-cancel", "xmark-circle"},
    {"xmark.circle.fill", "edit-clear", "xmark-circle-fill"},
};

const QHash<QString, const SymbolIcon::Entry *> &index()
{
    static const QHash<QString, const SymbolIcon::Entry *> table = [] {
        QHash<QString, const SymbolIcon::Entry *> result;
        for (const SymbolIcon::Entry &entry : entries)
            result.insert(QString::fromLatin1(entry.systemName), &entry);
        return result;
    }();
    return table;
}

const SymbolIcon::Entry *find(const QString &systemName)
{
    return index().value(systemName, nullptr);
}

QImage renderedImage(const QIcon &icon, const QSize &logicalSize, qreal ratio)
{
    const QSize deviceSize = (QSizeF(logicalSize) * ratio).toSize();
    QImage image(deviceSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    // A theme keeps icons in a few fixed sizes, each drawn for one scale,
    // and hands over the nearest without stretching it; asked for at the
    // screen's scale and then stretched, the symbol fills its place rather
    // than sitting small in the middle of it.
    const QPixmap pixmap = icon.pixmap(logicalSize, ratio);
    if (pixmap.isNull())
        return image;
    const QSizeF drawn = QSizeF(pixmap.size()).scaled(QSizeF(deviceSize), Qt::KeepAspectRatio);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(QRectF(QPointF((deviceSize.width() - drawn.width()) / 2, (deviceSize.height() - drawn.height()) / 2),
                              drawn),
                       pixmap, QRectF(pixmap.rect()));
    return image;
}

QImage tinted(QImage image, const QColor &color)
{
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), color);
    return image;
}

// Symbolic icons are drawn in one grey; a few pixels of colour (an accent
// dot) are tolerated.
bool isMonochrome(const QImage &image)
{
    int opaque = 0;
    int coloured = 0;
    for (int y = 0; y < image.height(); ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) < 96)
                continue;
            ++opaque;
            if (QColor::fromRgba(qUnpremultiply(line[x])).hsvSaturation() > 80)
                ++coloured;
        }
    }
    return coloured * 20 <= opaque;
}

// Whether the current theme draws an icon of that name in one colour; each
// name is looked at once per theme (icons are made on the main thread).
bool drawsInOneColour(const QString &themeIconName)
{
    static QHash<QString, bool> verdicts;
    const QString key = QIcon::themeName() + u'/' + themeIconName;
    const auto known = verdicts.constFind(key);
    if (known != verdicts.cend())
        return *known;
    const bool oneColour = isMonochrome(renderedImage(QIcon::fromTheme(themeIconName), QSize(22, 22), 1.0));
    verdicts.insert(key, oneColour);
    return oneColour;
}

// Breeze draws its symbols in a dark grey, lost on a dark window; its dark
// variant draws them light. Only used where the app picked the theme itself.
QString breezeFor(const QPalette &palette)
{
    const bool dark = palette.color(QPalette::WindowText).lightness() > palette.color(QPalette::Window).lightness();
    return dark ? QStringLiteral("breeze-dark") : QStringLiteral("breeze");
}

void followPalette()
{
    if (!qGuiApp)
        return;
    const QString wanted = breezeFor(QGuiApplication::palette());
    // Setting the name, even the same one, makes every theme icon look
    // itself up again.
    if (QIcon::themeName() != wanted)
        QIcon::setThemeName(wanted);
}

// Icons made from the theme look themselves up again once the theme's name
// changes, so a palette switched while the app runs recolours the symbols
// already on screen.
class PaletteFollower : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::ApplicationPaletteChange && watched == qGuiApp)
            followPalette();
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

QStringList SymbolIcon::knownNames()
{
    QStringList names;
    names.reserve(std::size(entries));
    for (const Entry &entry : entries)
        names.append(QString::fromLatin1(entry.systemName));
    return names;
}

bool SymbolIcon::isKnown(const QString &systemName)
{
    return find(systemName) != nullptr;
}

QString SymbolIcon::themeName(const QString &systemName)
{
    const Entry *entry = find(systemName);
    return entry ? QString::fromLatin1(entry->themeName) : QString();
}

QString SymbolIcon::fallbackPath(const QString &systemName)
{
    const Entry *entry = find(systemName);
    if (!entry)
        return {};
    return QStringLiteral(":/symbols/%1.svg").arg(QLatin1String(entry->fallback));
}

void SymbolIcon::ensureTheme()
{
    static const bool done = [] {
        initSymbolResources();
        const QString desktopTheme = QIcon::themeName();
        if (desktopTheme.isEmpty() || desktopTheme == QLatin1String("hicolor")) {
            // Without a desktop (offscreen, bare X servers) Qt searches only
            // its resources; the system's icon folders must be added by hand.
            QStringList paths = QIcon::themeSearchPaths();
            const QStringList systemFolders = QStandardPaths::locateAll(
                QStandardPaths::GenericDataLocation, QStringLiteral("icons"), QStandardPaths::LocateDirectory);
            for (const QString &folder : systemFolders) {
                if (!paths.contains(folder))
                    paths.append(folder);
            }
            QIcon::setThemeSearchPaths(paths);
            QIcon::setThemeName(QStringLiteral("breeze"));
            followPalette();
            if (qGuiApp)
                qGuiApp->installEventFilter(new PaletteFollower(qGuiApp));
        }
        return true;
    }();
    Q_UNUSED(done);
}

QIcon SymbolIcon::fallbackIcon(const QString &systemName)
{
    ensureTheme();
    const QString path = fallbackPath(systemName);
    if (path.isEmpty() || !QFile::exists(path))
        return {};
    return QIcon(path);
}

QIcon SymbolIcon::icon(const QString &systemName)
{
    const Entry *entry = find(systemName);
    if (!entry)
        return {};
    ensureTheme();
    // A desktop's theme may draw a name in colour (GNOME's Adwaita keeps its
    // old full-colour icons beside the one-colour "-symbolic" ones): a green
    // bin and a blue disk among grey symbols. Its one-colour variant stands
    // in for such an icon where the theme has one.
    const QString name = QString::fromLatin1(entry->themeName);
    if (!QIcon::hasThemeIcon(name))
        return fallbackIcon(systemName);
    const QString symbolic = name + QStringLiteral("-symbolic");
    if (!drawsInOneColour(name) && QIcon::hasThemeIcon(symbolic) && drawsInOneColour(symbolic))
        return QIcon::fromTheme(symbolic);
    return QIcon::fromTheme(name);
}

QPixmap SymbolIcon::tintedPixmap(const QString &systemName, const QSize &logicalSize, qreal devicePixelRatio,
                                 const QColor &color)
{
    if (!isKnown(systemName) || logicalSize.isEmpty())
        return {};
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QSize deviceSize = (QSizeF(logicalSize) * ratio).toSize();
    // Tags and buttons repaint often, and delegates paint many of them: keep
    // each rendering, keyed by everything that shapes it.
    ensureTheme();
    const QString key = QStringLiteral("tessaline-symbol/%1/%2/%3x%4/%5")
                            .arg(systemName, QIcon::themeName())
                            .arg(deviceSize.width())
                            .arg(deviceSize.height())
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'));
    QPixmap cached;
    if (QPixmapCache::find(key, &cached)) {
        cached.setDevicePixelRatio(ratio);
        return cached;
    }
    // Recolouring a many-coloured theme icon leaves a blot; the bundled
    // monochrome drawing stands in for it.
    QImage rendered = renderedImage(icon(systemName), logicalSize, ratio);
    if (!isMonochrome(rendered))
        rendered = renderedImage(fallbackIcon(systemName), logicalSize, ratio);
    QImage image = tinted(std::move(rendered), color);
    image.setDevicePixelRatio(ratio);
    QPixmap result = QPixmap::fromImage(std::move(image));
    QPixmapCache::insert(key, result);
    return result;
}

} // namespace tessaline

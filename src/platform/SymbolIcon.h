#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QSize>
#include <QString>
#include <QStringList>

namespace tessaline {

// The app's symbols, named as the screens name them ("star.fill",
// "rectangle.on.rectangle.angled"). Each name maps to a freedesktop icon of
// the desktop's theme (Breeze, or Breeze Dark on a dark palette, when the
// desktop sets none) and to a bundled
// drawing used when the theme lacks the icon, so every known name always
// gives an icon.
class SymbolIcon
{
public:
    struct Entry {
        const char *systemName;
        const char *themeName;
        const char *fallback; // file under :/symbols/, without ".svg"
    };

    // Every known symbol, in the order of the table.
    static QStringList knownNames();
    static bool isKnown(const QString &systemName);

    // The freedesktop name the symbol maps to; empty when unknown.
    static QString themeName(const QString &systemName);
    // The bundled drawing's resource path; empty when unknown.
    static QString fallbackPath(const QString &systemName);

    // The theme's icon, else the bundled drawing; a null icon only for names
    // that are not in the table.
    static QIcon icon(const QString &systemName);
    // The bundled drawing alone, ignoring the theme.
    static QIcon fallbackIcon(const QString &systemName);

    // The symbol drawn in one colour, as the monochrome controls show it:
    // every painted pixel takes `color`, keeping its own coverage.
    static QPixmap tintedPixmap(const QString &systemName, const QSize &logicalSize, qreal devicePixelRatio,
                                const QColor &color);

    // Sets the icon theme to Breeze, or Breeze Dark while the application's
    // palette is dark, and makes the system icon folders searchable, when the
    // desktop has set no theme. Called by `icon`.
    static void ensureTheme();
};

} // namespace tessaline

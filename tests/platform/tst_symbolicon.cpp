#include "platform/SymbolIcon.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPalette>
#include <QTest>

using namespace tessaline;

namespace {

QStringList namesUsedByScreens()
{
    QFile file(qEnvironmentVariable("TESSALINE_TEST_DATA") + QStringLiteral("/symbol-names.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList names;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString name = QString::fromUtf8(line).trimmed();
        if (!name.isEmpty() && !name.startsWith(QLatin1Char('#')))
            names.append(name);
    }
    return names;
}

int paintedPixels(const QImage &image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
    return count;
}

QImage render(const QIcon &icon, int side)
{
    QImage image(side, side, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    icon.paint(&painter, image.rect());
    return image;
}

} // namespace

class SymbolIconTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void everyScreenSymbolResolves_data();
    void everyScreenSymbolResolves();
    void tableHasNoStrayNames();
    void tintKeepsShapeAndTakesColour();
    void symbolsFillTheirPlaceAtEveryScale_data();
    void symbolsFillTheirPlaceAtEveryScale();
    void manyColouredThemeIconsGiveWayToTheDrawing();
    void adwaitaSymbolsAreItsOneColourVariants();
    void unknownNameGivesNothing();
    void themeSymbolsStandOutFromTheWindow_data();
    void themeSymbolsStandOutFromTheWindow();
};

void SymbolIconTest::everyScreenSymbolResolves_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names = namesUsedByScreens();
    QVERIFY2(names.size() > 80, "the list of symbol names was not found");
    for (const QString &name : names)
        QTest::newRow(qPrintable(name)) << name;
}

void SymbolIconTest::everyScreenSymbolResolves()
{
    QFETCH(QString, name);
    QVERIFY(SymbolIcon::isKnown(name));
    QVERIFY(!SymbolIcon::themeName(name).isEmpty());

    const QIcon icon = SymbolIcon::icon(name);
    QVERIFY(!icon.isNull());
    QVERIFY(paintedPixels(render(icon, 24)) > 10);

    // The bundled drawing stands in wherever the theme lacks the icon.
    const QIcon fallback = SymbolIcon::fallbackIcon(name);
    QVERIFY2(!fallback.isNull(), qPrintable(SymbolIcon::fallbackPath(name)));
    QVERIFY(paintedPixels(render(fallback, 24)) > 10);
}

void SymbolIconTest::tableHasNoStrayNames()
{
    // Every row of the table is a symbol some screen shows, and no name is
    // listed twice.
    const QStringList used = namesUsedByScreens();
    const QStringList known = SymbolIcon::knownNames();
    for (const QString &name : known)
        QVERIFY2(used.contains(name), qPrintable(name));
    QCOMPARE(QSet<QString>(known.begin(), known.end()).size(), known.size());
}

void SymbolIconTest::tintKeepsShapeAndTakesColour()
{
    const QColor tint(200, 30, 40);
    const QPixmap pixmap = SymbolIcon::tintedPixmap(QStringLiteral("star.fill"), QSize(20, 20), 2.0, tint);
    QCOMPARE(pixmap.size(), QSize(40, 40));
    QCOMPARE(pixmap.devicePixelRatio(), 2.0);
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int opaque = 0;
    int transparent = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() == 255) {
                ++opaque;
                QCOMPARE(pixel.rgb(), tint.rgb());
            } else if (pixel.alpha() == 0) {
                ++transparent;
            }
        }
    }
    QVERIFY(opaque > 50);
    QVERIFY(transparent > 50);
}

namespace {

// The box around the pixels a symbol paints.
QRect paintedBox(const QPixmap &pixmap)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    QRect box;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) > 96)
                box |= QRect(x, y, 1, 1);
        }
    }
    return box;
}

} // namespace

void SymbolIconTest::symbolsFillTheirPlaceAtEveryScale_data()
{
    QTest::addColumn<QString>("symbol");
    // Theme icons (kept in fixed sizes) and bundled drawings alike.
    QTest::newRow("theme: xmark") << QStringLiteral("xmark");
    QTest::newRow("theme: trash") << QStringLiteral("trash");
    QTest::newRow("theme: doc.on.doc") << QStringLiteral("doc.on.doc");
    QTest::newRow("drawing: star.fill") << QStringLiteral("star.fill");
}

void SymbolIconTest::symbolsFillTheirPlaceAtEveryScale()
{
    QFETCH(QString, symbol);
    const QSize logical(14, 14);
    const QRect single = paintedBox(SymbolIcon::tintedPixmap(symbol, logical, 1.0, Qt::black));
    const QRect doubled = paintedBox(SymbolIcon::tintedPixmap(symbol, logical, 2.0, Qt::black));
    QVERIFY(!single.isEmpty());
    // Twice the pixels across at scale 2, give or take the edge pixels.
    QVERIFY2(doubled.width() >= 2 * single.width() - 3 && doubled.height() >= 2 * single.height() - 3,
             qPrintable(QStringLiteral("%1x%2 at scale 1, %3x%4 at scale 2")
                            .arg(single.width()).arg(single.height()).arg(doubled.width()).arg(doubled.height())));
    // And the symbol spans most of its place, not a corner of it.
    QVERIFY(doubled.width() >= logical.width() || doubled.height() >= logical.height());
}

void SymbolIconTest::manyColouredThemeIconsGiveWayToTheDrawing()
{
    // Whatever the theme draws, the tinted symbol is one colour and never a
    // solid blot: well under two thirds of its square is covered.
    for (const QString &name : SymbolIcon::knownNames()) {
        const QImage image = SymbolIcon::tintedPixmap(name, QSize(22, 22), 1, QColor(20, 20, 20)).toImage();
        double coverage = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                coverage += qAlpha(image.pixel(x, y)) / 255.0;
        coverage /= image.width() * image.height();
        QVERIFY2(coverage > 0.02 && coverage < 0.6, qPrintable(QStringLiteral("%1: %2").arg(name).arg(coverage)));
    }
}

// GNOME's theme keeps full-colour icons beside its one-colour "-symbolic"
// ones; a menu or a button shows the one-colour kind, as among the others.
void SymbolIconTest::adwaitaSymbolsAreItsOneColourVariants()
{
    const QString theme = QStringLiteral("Adwaita");
    SymbolIcon::icon(QStringLiteral("trash"));
    const QString before = QIcon::themeName();
    QIcon::setThemeName(theme);
    if (!QIcon::hasThemeIcon(QStringLiteral("user-trash"))) {
        QIcon::setThemeName(before);
        QSKIP(qPrintable(QStringLiteral("the %1 icon theme is not installed").arg(theme)));
    }
    // As the theme gives it, untinted: grey, with at most a dot of colour.
    QStringList coloured;
    for (const QString &name : SymbolIcon::knownNames()) {
        const QImage image = render(SymbolIcon::icon(name), 22);
        int opaque = 0;
        int saturated = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) {
                const QRgb pixel = image.pixel(x, y);
                if (qAlpha(pixel) < 96)
                    continue;
                ++opaque;
                saturated += QColor::fromRgba(qUnpremultiply(pixel)).hsvSaturation() > 80 ? 1 : 0;
            }
        if (saturated * 20 > opaque)
            coloured.append(name);
    }
    QIcon::setThemeName(before);
    QVERIFY2(coloured.isEmpty(), qPrintable(coloured.join(QStringLiteral(", "))));
}

void SymbolIconTest::unknownNameGivesNothing()
{
    QVERIFY(!SymbolIcon::isKnown(QStringLiteral("not.a.symbol")));
    QVERIFY(SymbolIcon::icon(QStringLiteral("not.a.symbol")).isNull());
    QVERIFY(SymbolIcon::tintedPixmap(QStringLiteral("not.a.symbol"), QSize(16, 16), 1, Qt::black).isNull());
    QVERIFY(SymbolIcon::themeName(QString()).isEmpty());
}

void SymbolIconTest::themeSymbolsStandOutFromTheWindow_data()
{
    QTest::addColumn<QColor>("window");
    QTest::addColumn<QColor>("text");
    QTest::addColumn<bool>("madeBeforeTheSwitch");
    QTest::newRow("light") << QColor(246, 246, 246) << QColor(20, 20, 20) << false;
    QTest::newRow("dark") << QColor(36, 36, 36) << QColor(236, 236, 236) << false;
    QTest::newRow("dark, icon made while light") << QColor(36, 36, 36) << QColor(236, 236, 236) << true;
    QTest::newRow("light, icon made while dark") << QColor(246, 246, 246) << QColor(20, 20, 20) << true;
}

void SymbolIconTest::themeSymbolsStandOutFromTheWindow()
{
    QFETCH(QColor, window);
    QFETCH(QColor, text);
    QFETCH(bool, madeBeforeTheSwitch);
    const QPalette original = QGuiApplication::palette();
    const auto paletteOf = [](const QColor &windowColor, const QColor &textColor) {
        QPalette palette;
        palette.setColor(QPalette::Window, windowColor);
        palette.setColor(QPalette::WindowText, textColor);
        palette.setColor(QPalette::Base, windowColor);
        palette.setColor(QPalette::Text, textColor);
        palette.setColor(QPalette::ButtonText, textColor);
        return palette;
    };
    QIcon icon;
    if (madeBeforeTheSwitch) {
        QGuiApplication::setPalette(paletteOf(text, window));
        icon = SymbolIcon::icon(QStringLiteral("magnifyingglass"));
    }
    QGuiApplication::setPalette(paletteOf(window, text));
    if (!madeBeforeTheSwitch)
        icon = SymbolIcon::icon(QStringLiteral("magnifyingglass"));

    // The symbol's own pixels, weighed by coverage, are far from the window
    // colour: a dark symbol on a dark window cannot be seen.
    const QImage image = render(icon, 22);
    double lightness = 0;
    double weight = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QRgb pixel = image.pixel(x, y);
            if (qAlpha(pixel) < 128)
                continue;
            lightness += QColor::fromRgba(qUnpremultiply(pixel)).lightness();
            weight += 1;
        }
    QGuiApplication::setPalette(original);
    QVERIFY(weight > 0);
    lightness /= weight;
    QVERIFY2(qAbs(lightness - window.lightness()) > 90,
             qPrintable(QStringLiteral("symbol lightness %1 on window lightness %2").arg(lightness).arg(window.lightness())));
}

QTEST_MAIN(SymbolIconTest)
#include "tst_symbolicon.moc"

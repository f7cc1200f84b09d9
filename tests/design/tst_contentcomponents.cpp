#include "../support/TextRunRecorder.h"

#include "design/StudioActionButton.h"
#include "design/StudioContentComponents.h"
#include "design/StudioEmptyState.h"
#include "design/StudioLoadingState.h"
#include "design/StudioSectionHeader.h"
#include "design/StudioTag.h"
#include "design/StudioText.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <cstdlib>
#include <QFontMetrics>
#include <QPushButton>
#include <QSet>
#include <QEvent>
#include <QTest>
#include <QTextLayout>

#include <cmath>
#include <QVBoxLayout>

using namespace tessaline;

Q_DECLARE_METATYPE(ColorSpec)

namespace QTest {
template<>
char *toString(const ColorSpec &shade)
{
    return QTest::toString(QStringLiteral("color %1 at %2").arg(int(shade.color)).arg(shade.opacity));
}
} // namespace QTest

namespace {
using SC = SemanticColor;
}

class ContentComponentsTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void textCutShortAtTheEndItRunsTo_data();
    void textCutShortAtTheEndItRunsTo();
    void textKeepsToItsLines_data();
    void textKeepsToItsLines();
    void tagLook_data();
    void tagLook();
    void tagStaysOnOneLine();
    void tagSymbolIsOptional();
    void textColourFollowsContrast();
    void sectionHeader();
    void loadingState();
    void emptyStateAction_data();
    void emptyStateAction();
    void longEmptyMessageWraps();
};

void ContentComponentsTest::init()
{
    AccessibilitySettings::shared().setIncreasesContrast(false);
}

void ContentComponentsTest::tagLook_data()
{
    QTest::addColumn<bool>("selected");
    QTest::addColumn<bool>("contrast");
    QTest::addColumn<ColorSpec>("foreground");
    QTest::addColumn<qreal>("fill");
    QTest::addColumn<qreal>("borderOpacity");
    QTest::addColumn<qreal>("borderWidth");
    QTest::newRow("plain") << false << false << ColorSpec{SC::secondary, 1} << 0.04 << 0.16 << 0.0;
    QTest::newRow("selected") << true << false << ColorSpec{SC::primary, 1} << 0.1 << 0.42 << 1.0;
    QTest::newRow("contrast") << false << true << ColorSpec{SC::secondary, 1} << 0.04 << 0.9 << 1.5;
    QTest::newRow("selected, contrast") << true << true << ColorSpec{SC::primary, 1} << 0.1 << 0.9 << 1.5;
}

void ContentComponentsTest::tagLook()
{
    QFETCH(bool, selected);
    QFETCH(bool, contrast);
    QFETCH(ColorSpec, foreground);
    QFETCH(qreal, fill);
    QFETCH(qreal, borderOpacity);
    QFETCH(qreal, borderWidth);
    const StudioTagLook look = studioTagLook(selected, contrast);
    QCOMPARE(look.foreground, foreground);
    QCOMPARE(look.fill, (ColorSpec{SC::primary, fill}));
    QCOMPARE(look.border, (ColorSpec{SC::primary, borderOpacity}));
    QCOMPARE(look.borderWidth, borderWidth);
}

void ContentComponentsTest::tagStaysOnOneLine()
{
    const QString longTitle = QStringLiteral("A very long status label that would never fit in a narrow column");
    StudioTag tag(longTitle);
    const int oneLine = QFontMetrics(StudioTagMetrics::font()).height() + 6;
    QCOMPARE(tag.sizeHint().height(), oneLine);
    QVERIFY(tag.minimumSizeHint().width() < tag.sizeHint().width());
    QCOMPARE(tag.minimumSizeHint().height(), oneLine);

    // Squeezed, the title is cut short on its line; nothing spills below.
    tag.resize(80, tag.sizeHint().height());
    const QImage image = tag.grab().toImage();
    QCOMPARE(image.height(), oneLine);
}

void ContentComponentsTest::tagSymbolIsOptional()
{
    StudioTag plain(QStringLiteral("Snip"));
    StudioTag withSymbol(QStringLiteral("Snip"), QStringLiteral("viewfinder"));
    QCOMPARE(withSymbol.sizeHint().width(),
             plain.sizeHint().width() + StudioTagMetrics::symbolSize() + int(StudioTagMetrics::spacing));
    QCOMPARE(plain.accessibleName(), QStringLiteral("Snip"));
}

void ContentComponentsTest::textColourFollowsContrast()
{
    QWidget parent;
    QPalette palette = parent.palette();
    palette.setColor(QPalette::WindowText, QColor(20, 20, 20));
    parent.setPalette(palette);
    auto *text = new StudioText(QStringLiteral("Subtitle"), QFont(), SC::secondary, &parent);
    const int standardAlpha = text->palette().color(QPalette::WindowText).alpha();
    QCOMPARE(text->palette().color(QPalette::WindowText).rgb(), QColor(20, 20, 20).rgb());
    QVERIFY(standardAlpha < 255);
    AccessibilitySettings::shared().setIncreasesContrast(true);
    QVERIFY(text->palette().color(QPalette::WindowText).alpha() > standardAlpha);

    // A new palette around it is picked up as well.
    palette.setColor(QPalette::WindowText, QColor(230, 230, 230));
    parent.setPalette(palette);
    QCOMPARE(text->palette().color(QPalette::WindowText).rgb(), QColor(230, 230, 230).rgb());
    QCOMPARE(text->textFormat(), Qt::PlainText);
}

namespace {

// Every widget shown as a window of its own while it is installed.
class ShownWindows : public QObject
{
public:
    ShownWindows() { qApp->installEventFilter(this); }
    ~ShownWindows() override { qApp->removeEventFilter(this); }
    QStringList names;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            if (auto *widget = qobject_cast<QWidget *>(watched); widget && widget->isWindow())
                names << QString::fromLatin1(widget->metaObject()->className());
        }
        return false;
    }
};

} // namespace

void ContentComponentsTest::sectionHeader()
{
    {
        // Made with a subtitle, a header shows no window on the display of
        // its own on the way (each one a round trip to the display server).
        ShownWindows shown;
        StudioSectionHeader made(QStringLiteral("Recently Deleted"), QStringLiteral("3 notes"));
        QCOMPARE(shown.names, QStringList());
        QCOMPARE(made.subtitleLabel()->parentWidget(), &made);
    }
    StudioSectionHeader bare(QStringLiteral("Notes"));
    QVERIFY(!bare.subtitle());
    bare.resize(300, bare.sizeHint().height());
    bare.show();
    QVERIFY(QTest::qWaitForWindowExposed(&bare));
    QVERIFY(!bare.subtitleLabel()->isVisible());
    const int singleLine = bare.sizeHint().height();
    // A count that arrives later adds the second line; taking it away again
    // leaves the single title line.
    bare.setSubtitle(QStringLiteral("12 matches"));
    QVERIFY(bare.subtitleLabel()->isVisible());
    QTRY_VERIFY(bare.sizeHint().height() > singleLine);
    QCOMPARE(bare.accessibleName(), QStringLiteral("Notes, 12 matches"));
    bare.setSubtitle(std::nullopt);
    QTRY_COMPARE(bare.sizeHint().height(), singleLine);
    QCOMPARE(bare.accessibleName(), QStringLiteral("Notes"));
    // With room to spare a subtitle keeps to one line.
    bare.setSubtitle(QStringLiteral("Deleted items can be restored"));
    QTRY_COMPARE(bare.subtitleLabel()->height(), bare.subtitleLabel()->heightForWidth(10000));

    auto *trailing = new QPushButton(QStringLiteral("Empty"));
    StudioSectionHeader header(QStringLiteral("Recently Deleted"), QStringLiteral("3 notes"), trailing);
    QCOMPARE(header.subtitle(), std::optional<QString>(QStringLiteral("3 notes")));
    header.resize(500, header.sizeHint().height());
    header.show();
    QVERIFY(QTest::qWaitForWindowExposed(&header));
    // The trailing controls sit at the right end, well clear of the titles.
    QCOMPARE(trailing->geometry().right(), header.width() - 1);
    QVERIFY(trailing->geometry().left() - header.titleLabel()->geometry().right() >= 8);
    QVERIFY(header.subtitleLabel()->geometry().top() > header.titleLabel()->geometry().top());
    // The control at the end sits on the title's line, not on the subtitle's.
    const QRect titleBox = header.titleLabel()->geometry();
    QVERIFY(qAbs(trailing->geometry().center().y() - titleBox.center().y()) <= 2);

    // Squeezed to its minimum, the gap still stays.
    header.resize(header.minimumSizeHint().width(), header.height());
    QTRY_VERIFY(trailing->geometry().left() - header.titleLabel()->geometry().right() >= 8);
}

void ContentComponentsTest::loadingState()
{
    StudioLoadingState titleOnly(QStringLiteral("Loading library"));
    QVERIFY(!titleOnly.message());
    QVERIFY(titleOnly.messageLabel()->isHidden());
    QCOMPARE(titleOnly.accessibleName(), QStringLiteral("Loading library"));

    StudioLoadingState withMessage(QStringLiteral("Loading library"), QStringLiteral("This can take a moment."));
    QVERIFY(!withMessage.messageLabel()->isHidden());
    QVERIFY(withMessage.messageLabel()->wordWrap());
    QCOMPARE(withMessage.accessibleName(), QStringLiteral("Loading library, This can take a moment."));
    QVERIFY(withMessage.maximumWidth() <= 320 + 48);
}

void ContentComponentsTest::emptyStateAction_data()
{
    QTest::addColumn<bool>("hasTitle");
    QTest::addColumn<bool>("hasAction");
    QTest::addColumn<bool>("hasSymbol");
    QTest::addColumn<bool>("showsButton");
    QTest::newRow("neither") << false << false << false << false;
    QTest::newRow("title without action") << true << false << true << false;
    QTest::newRow("action without title") << false << true << true << false;
    QTest::newRow("both") << true << true << false << true;
    QTest::newRow("both with symbol") << true << true << true << true;
}

void ContentComponentsTest::emptyStateAction()
{
    QFETCH(bool, hasTitle);
    QFETCH(bool, hasAction);
    QFETCH(bool, hasSymbol);
    QFETCH(bool, showsButton);
    int calls = 0;
    StudioEmptyState state(QStringLiteral("No favorites yet"), QStringLiteral("Favorite a note to keep it close."),
                           QStringLiteral("star"),
                           hasTitle ? std::optional<QString>(QStringLiteral("New Note")) : std::nullopt,
                           hasSymbol ? std::optional<QString>(QStringLiteral("square.and.pencil")) : std::nullopt,
                           hasAction ? std::function<void()>([&] { ++calls; }) : std::function<void()>());
    QCOMPARE(state.actionButton() != nullptr, showsButton);
    if (!showsButton)
        return;
    StudioActionButton *button = state.actionButton();
    QCOMPARE(button->text(), QStringLiteral("New Note"));
    QCOMPARE(button->prominence(), StudioControlProminence::accent);
    QVERIFY(!button->isSelected());
    QCOMPARE(button->systemImage().isEmpty(), !hasSymbol);
    button->click();
    QCOMPARE(calls, 1);
}

void ContentComponentsTest::longEmptyMessageWraps()
{
    QString message;
    for (int i = 0; i < 12; ++i)
        message += QStringLiteral("Search note titles and writing, capture context, OCR, and source apps. ");
    QWidget host;
    auto *layout = new QVBoxLayout(&host);
    auto *state = new StudioEmptyState(QStringLiteral("Search"), message.trimmed(), QStringLiteral("magnifyingglass"));
    layout->addWidget(state);
    host.resize(800, 900);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    // The text keeps to its column, centred in whatever room the state has.
    StudioText *label = state->messageLabel();
    QVERIFY(label->width() <= 320);
    QVERIFY(std::abs(label->mapTo(&host, label->rect().center()).x() - host.rect().center().x()) <= 1);
    // Every line shows: the label is as tall as the text needs at its width.
    const QRect needed = QFontMetrics(label->font()).boundingRect(QRect(0, 0, label->width(), 100000),
                                                                  Qt::TextWordWrap | Qt::AlignHCenter, label->text());
    QVERIFY(needed.height() > 5 * QFontMetrics(label->font()).height());
    QVERIFY(label->height() >= needed.height());
}

void ContentComponentsTest::textCutShortAtTheEndItRunsTo_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("cut");
    QTest::addColumn<bool>("atLeftEnd");
    QTest::addColumn<QString>("shownFirst");
    const QString latin = QStringLiteral("with shipping research review profile report search invoice");
    QTest::newRow("Latin, cut at its right end") << latin << 140 << 1 << false << QStringLiteral("with");
    QTest::newRow("Arabic, cut at its left end")
        << QStringLiteral("ملاحظة بعنوان طويل جدا لاختبار قص النص في شريط المعرض") << 140 << 1 << true << QString();
    QTest::newRow("fits whole") << QStringLiteral("Short") << 140 << 0 << false << QStringLiteral("Short");
}

// A centred title squeezed by its bar shows its beginning and an ellipsis,
// not a middle clipped at both ends.
void ContentComponentsTest::textCutShortAtTheEndItRunsTo()
{
    QFETCH(QString, text);
    QFETCH(int, width);
    QFETCH(int, cut);
    QFETCH(bool, atLeftEnd);
    QFETCH(QString, shownFirst);
    StudioText label(text, QFont(), SC::label);
    label.setAlignment(Qt::AlignCenter);
    label.setElidesInItsOwnDirection(true);
    label.resize(width, 30);
    tessaline::testing::TextRunRecorder device(QSize(width, 30));
    device.paint(&label);
    const auto cuts = device.cuts();
    QCOMPARE(cuts.cut, cut);
    QCOMPARE(cuts.atLeftEnd, atLeftEnd ? cut : 0);
    QVERIFY(!device.runs().isEmpty());
    if (!shownFirst.isEmpty()) {
        QVERIFY(device.runs().constFirst().text.startsWith(shownFirst));
        QVERIFY(device.runs().constFirst().x >= 0);
    }
    QCOMPARE(label.text(), text);
}

void ContentComponentsTest::textKeepsToItsLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("cut");
    QTest::addColumn<bool>("atLeftEnd");

    QTest::newRow("runs past two lines")
        << QStringLiteral("priority order report draft on budget panel invoice should result deadline") << 1 << false;
    QTest::newRow("right to left, past two lines")
        << QStringLiteral("ملاحظة بعنوان طويل جدا لاختبار قص النص في شريط المعرض وما بعده من كلمات") << 1 << true;
    QTest::newRow("fits") << QStringLiteral("Claim") << 0 << false;
}

// A text kept to two lines shows both whole, the second ending in an
// ellipsis where the text runs on, and asks for no more room than that.
void ContentComponentsTest::textKeepsToItsLines()
{
    QFETCH(QString, text);
    QFETCH(int, cut);
    QFETCH(bool, atLeftEnd);
    QFont font;
    font.setPixelSize(14);
    StudioText label(text, font, SC::label);
    label.setContentsMargins(10, 10, 10, 10);
    label.setMaximumLines(2);
    const int width = 200;
    QTextLayout layout(text, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(width);
    layout.endLayout();
    const int twoLines = int(std::ceil(2 * line.height())) + 20;
    QVERIFY(label.heightForWidth(width) <= twoLines);
    label.resize(width, label.heightForWidth(width));
    tessaline::testing::TextRunRecorder device(label.size());
    device.paint(&label);
    const auto cuts = device.cuts();
    QCOMPARE(cuts.cut, cut);
    QCOMPARE(cuts.atLeftEnd, atLeftEnd ? cut : 0);
    QSet<int> lines;
    for (const auto &run : device.runs())
        lines.insert(qRound(run.y));
    QVERIFY(!lines.isEmpty() && lines.size() <= 2);
    if (cut)
        QCOMPARE(label.height(), twoLines);
    QCOMPARE(label.text(), text);
}

QTEST_MAIN(ContentComponentsTest)
#include "tst_contentcomponents.moc"

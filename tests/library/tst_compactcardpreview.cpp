#include "../support/TextRunRecorder.h"

#include "design/StudioButtonPainting.h"
#include "design/StudioContentComponents.h"
#include "library/CompactCardPreview.h"
#include "model/CanvasCard.h"

#include <QImage>
#include <QPalette>
#include <QPainter>
#include <QTest>

#include <functional>

using namespace tessaline;
using namespace tessaline::testing;

namespace {

// Paints one piece of a screen onto `device`.
using Painting = std::function<void(QPainter &)>;

const QString arabic = QStringLiteral("ملاحظة بعنوان طويل جدا لاختبار قص النص في القائمة والعنوان وما بعده من كلمات كثيرة");
const QString hebrew = QStringLiteral("כותרת ארוכה מאוד של חלון שנחתכת בסוף השורה הצרה של הכרטיס הקטן");

// A tile with `title`, `caption` and `note`, painted small enough to cut
// long text.
Painting tile(const QString &title, const QString &caption, const QString &note)
{
    return [=](QPainter &painter) {
        CanvasCard card;
        card.setKindRawValue(QStringLiteral("snip"));
        card.setTitle(title);
        card.setContextText(caption);
        const CompactCardPreview preview(card, note, true);
        preview.paint(&painter, QRectF(0, 0, 180, CompactCardPreview::height(true)), QPixmap(), QPalette(), false,
                      QDateTime::currentDateTimeUtc());
    };
}

} // namespace

Q_DECLARE_METATYPE(Painting)

class CompactCardPreviewTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void kind_data()
    {
        QTest::addColumn<QString>("kindRaw");
        QTest::addColumn<QString>("thoughtKindRaw");
        QTest::addColumn<QString>("label");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QuietCardTone>("tone");
        QTest::newRow("snip whatever its thought kind") << "snip" << "decision" << "Snip" << "viewfinder" << QuietCardTone::snip;
        QTest::newRow("thought") << "thought" << "thought" << "Thought" << "text.bubble" << QuietCardTone::thought;
        QTest::newRow("question") << "thought" << "question" << "Question" << "questionmark.circle" << QuietCardTone::thought;
        QTest::newRow("decision") << "thought" << "decision" << "Decision" << "checkmark.seal" << QuietCardTone::thought;
        QTest::newRow("next step") << "thought" << "nextStep" << "Next Step" << "arrow.right.circle" << QuietCardTone::thought;
        QTest::newRow("suggestion takes its thought kind") << "ghost" << "question" << "Question" << "questionmark.circle"
                                                           << QuietCardTone::suggestion;
        QTest::newRow("unknown kind reads as thought") << "mystery" << "musing" << "Thought" << "text.bubble"
                                                       << QuietCardTone::thought;
    }
    void kind()
    {
        QFETCH(QString, kindRaw);
        QFETCH(QString, thoughtKindRaw);
        QFETCH(QString, label);
        QFETCH(QString, symbol);
        QFETCH(QuietCardTone, tone);
        CanvasCard card;
        card.setKindRawValue(kindRaw);
        card.setThoughtKindRawValue(thoughtKindRaw);
        const CompactCardPreview preview(card, std::nullopt, true);
        QCOMPARE(preview.kindLabel, label);
        QCOMPARE(preview.kindSymbol, symbol);
        QCOMPARE(preview.tone, tone);
    }

    void excerpt_data()
    {
        QTest::addColumn<QString>("kindRaw");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("markdown");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("ocr");
        QTest::addColumn<QString>("excerpt");
        QTest::newRow("snip caption, whitespace collapsed")
            << "snip" << "Shot" << "ignored" << "  two\t\twords\n\nhere " << "ocr" << "two words here";
        QTest::newRow("snip without caption uses recognised text") << "snip" << "Shot" << "" << "" << "TOTAL  42" << "TOTAL 42";
        QTest::newRow("caption of spaces hides the excerpt") << "snip" << "Shot" << "" << "   " << "TOTAL 42" << "";
        QTest::newRow("thought uses its writing") << "thought" << "Idea" << "line one\nline two" << "ctx" << "" << "line one line two";
        QTest::newRow("repeating the title shows nothing") << "thought" << "" << "one short line" << "" << "" << "";
        QTest::newRow("cut at 220 characters") << "thought" << "T" << QString(300, QLatin1Char('x')) << "" << ""
                                               << QString(220, QLatin1Char('x'));
        QTest::newRow("cut counts whole characters")
            << "thought" << "T" << QString(230, QChar(0x00E9)).replace(QChar(0x00E9), QStringLiteral("e\u0301")) << "" << ""
            << QString(220, QChar(0x00E9)).replace(QChar(0x00E9), QStringLiteral("e\u0301"));
    }
    void excerpt()
    {
        QFETCH(QString, kindRaw);
        QFETCH(QString, title);
        QFETCH(QString, markdown);
        QFETCH(QString, context);
        QFETCH(QString, ocr);
        QFETCH(QString, excerpt);
        CanvasCard card;
        card.setKindRawValue(kindRaw);
        if (!title.isEmpty())
            card.setTitle(title);
        card.setMarkdownText(markdown);
        card.setContextText(context);
        card.setOcrText(ocr);
        QCOMPARE(CompactCardPreview(card, std::nullopt, true).excerpt, excerpt);
    }

    void footerAndSummary_data()
    {
        QTest::addColumn<bool>("showsBoardName");
        QTest::addColumn<std::optional<QString>>("boardTitle");
        QTest::addColumn<std::optional<QString>>("application");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("summary");
        const std::optional<QString> none;
        const std::optional<QString> garden = QStringLiteral("Garden");
        const std::optional<QString> firefox = QStringLiteral("Firefox");
        QTest::newRow("names the note") << true << garden << firefox << "Garden" << "rectangle.3.group"
                                        << "Snip, Shot, Board: Garden";
        QTest::newRow("empty note title falls back") << true << std::optional<QString>(QString()) << firefox << "Firefox"
                                                     << "app" << "Snip, Shot";
        QTest::newRow("missing note falls back") << true << none << firefox << "Firefox" << "app" << "Snip, Shot";
        QTest::newRow("note not to be named") << false << garden << firefox << "Firefox" << "app" << "Snip, Shot";
        QTest::newRow("nothing to name") << false << garden << std::optional<QString>(QString()) << "" << "" << "Snip, Shot";
    }
    void footerAndSummary()
    {
        QFETCH(bool, showsBoardName);
        QFETCH(std::optional<QString>, boardTitle);
        QFETCH(std::optional<QString>, application);
        QFETCH(QString, source);
        QFETCH(QString, symbol);
        QFETCH(QString, summary);
        CanvasCard card;
        card.setKindRawValue(QStringLiteral("snip"));
        card.setTitle(QStringLiteral("Shot"));
        card.setSourceApplicationName(application);
        card.setIsAIGenerated(true);
        const CompactCardPreview preview(card, boardTitle, showsBoardName);
        QCOMPARE(preview.sourceText, source);
        QCOMPARE(preview.sourceSymbol, symbol);
        QCOMPARE(preview.accessibilitySummary, summary);
    }

    void displayDate()
    {
        CanvasCard card;
        const QDateTime updated = QDateTime(QDate(2026, 1, 2), QTime(3, 4), Qt::UTC);
        card.setUpdatedAt(updated);
        QCOMPARE(CompactCardPreview(card, std::nullopt, true).displayDate, updated);
        const QDateTime captured = updated.addDays(-3);
        card.setCapturedAt(captured);
        QCOMPARE(CompactCardPreview(card, std::nullopt, true).displayDate, captured);
    }

    // Long right-to-left text cut short in a tile, or in the tags and
    // buttons that carry names, shows its ellipsis at its left end, where it
    // runs on; left-to-right text keeps it at its right end.
    void rightToLeftTextIsCutAtItsLeftEnd_data()
    {
        QTest::addColumn<Painting>("paint");
        QTest::addColumn<bool>("rightToLeft");
        QTest::newRow("tile title") << tile(arabic, QStringLiteral("Short"), QStringLiteral("Garden")) << true;
        QTest::newRow("recognised text") << tile(QStringLiteral("Shot"), arabic + QLatin1Char(' ') + arabic,
                                                 QStringLiteral("Garden"))
                                         << true;
        QTest::newRow("note at the foot") << tile(QStringLiteral("Shot"), QStringLiteral("Short"), hebrew) << true;
        QTest::newRow("Latin title") << tile(QStringLiteral("A rather long title that cannot fit in two short lines "
                                                            "of this narrow tile at all, however it wraps"),
                                             QStringLiteral("Short"), QStringLiteral("Garden"))
                                     << false;
        QTest::newRow("tag") << Painting([](QPainter &painter) {
            paintStudioTag(&painter, QPointF(0, 0), hebrew, QStringLiteral("folder"), false, QPalette(), false, 120);
        }) << true;
        QTest::newRow("button") << Painting([](QPainter &painter) {
            paintStudioButton(&painter, QRectF(0, 0, 120, 28), StudioButtonStyle::primary,
                              StudioControlProminence::standard, StudioControlSize::regular, StudioButtonState{},
                              arabic, QStringLiteral("note.text"), QPalette());
        }) << true;
    }
    void rightToLeftTextIsCutAtItsLeftEnd()
    {
        QFETCH(Painting, paint);
        QFETCH(bool, rightToLeft);
        TextRunRecorder device;
        {
            QPainter painter(&device);
            // As on the app's widgets, all laid out left to right.
            painter.setLayoutDirection(Qt::LeftToRight);
            paint(painter);
        }
        const TextRunRecorder::Cuts cuts = device.cuts();
        QVERIFY(cuts.cut >= 1);
        QCOMPARE(cuts.atLeftEnd, rightToLeft ? cuts.cut : 0);
    }

    // The tile paints within its rectangle, with and without a picture.
    void paintsInsideItsRect()
    {
        CanvasCard card;
        card.setKindRawValue(QStringLiteral("snip"));
        card.setContextText(QStringLiteral("A caption long enough to wrap over more than one line of the tile"));
        const CompactCardPreview preview(card, QStringLiteral("Garden"), true);
        QPixmap picture(40, 20);
        picture.fill(Qt::red);
        for (const QPixmap &image : {QPixmap(), picture}) {
            QImage canvas(300, CompactCardPreview::height(true) + 40, QImage::Format_ARGB32);
            canvas.fill(Qt::transparent);
            QPainter painter(&canvas);
            preview.paint(&painter, QRectF(20, 20, 260, CompactCardPreview::height(true)), image, QPalette(), false,
                          QDateTime::currentDateTimeUtc());
            painter.end();
            QCOMPARE(canvas.pixelColor(5, 5).alpha(), 0);
            QCOMPARE(canvas.pixelColor(295, canvas.height() - 5).alpha(), 0);
            QVERIFY(canvas.pixelColor(150, 60).alpha() > 0);
            // The picture fills the image area, edge to edge.
            if (!image.isNull())
                QCOMPARE(canvas.pixelColor(150, 80), QColor(Qt::red));
        }
    }
};

QTEST_MAIN(CompactCardPreviewTest)
#include "tst_compactcardpreview.moc"

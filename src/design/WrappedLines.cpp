#include "design/WrappedLines.h"

#include "design/TextInputDirection.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QStringList>
#include <QTextLayout>

namespace tessaline {

QStringList wrappedLines(const QString &text, const QFont &font, qreal width, int maximumLines)
{
    const QFontMetricsF metrics(font);
    QTextLayout layout(text, font);
    layout.beginLayout();
    QStringList lines;
    while (lines.size() < maximumLines) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (lines.size() == maximumLines - 1)
            lines.append(elidedInItsOwnDirection(text.mid(line.textStart()).simplified(), metrics, width));
        else
            lines.append(text.mid(line.textStart(), line.textLength()).trimmed());
    }
    layout.endLayout();
    return lines;
}

int drawWrappedLines(QPainter *painter, const QString &text, const QFont &font, const QRectF &rect, int maximumLines)
{
    const QStringList lines = wrappedLines(text, font, rect.width(), maximumLines);
    painter->setFont(font);
    const int lineSpacing = QFontMetrics(font).lineSpacing();
    qreal y = rect.top();
    for (const QString &line : std::as_const(lines)) {
        painter->drawText(QRectF(rect.left(), y, rect.width(), lineSpacing), Qt::AlignLeading | Qt::AlignVCenter, line);
        y += lineSpacing;
    }
    return int(y - rect.top());
}

} // namespace tessaline

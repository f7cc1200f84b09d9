#include "design/StudioText.h"

#include "design/DesignEnvironment.h"
#include "design/TextInputDirection.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QStyle>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tessaline {

StudioText::StudioText(const QString &text, const QFont &font, SemanticColor color, QWidget *parent)
    : QLabel(parent)
    , m_color(color)
{
    setTextFormat(Qt::PlainText);
    setText(text);
    setFont(font);
    watchParent();
    applyColor();
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, &StudioText::applyColor);
}

void StudioText::setColor(SemanticColor color)
{
    if (m_color == color)
        return;
    m_color = color;
    applyColor();
}

void StudioText::setElidesInItsOwnDirection(bool elides)
{
    if (m_elides == elides)
        return;
    m_elides = elides;
    update();
}

namespace {

// The height that `lines` wrapped lines of the font take when drawn: a
// laid-out line is as tall as the font's ascent and descent rounded up,
// which may be more than QFontMetrics::lineSpacing().
int wrappedLinesHeight(const QFont &font, int lines)
{
    QTextLayout layout(QStringLiteral("Xg"), font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    line.setLineWidth(QWIDGETSIZE_MAX);
    layout.endLayout();
    return int(std::ceil(line.height() * lines));
}

} // namespace

void StudioText::setMaximumLines(int lines)
{
    m_maximumLines = std::max(0, lines);
    setWordWrap(true);
    setMaximumHeight(m_maximumLines > 0 ? wrappedLinesHeight(font(), m_maximumLines) + contentsMargins().top()
                                              + contentsMargins().bottom()
                                        : QWIDGETSIZE_MAX);
    updateGeometry();
    update();
}

int StudioText::heightForWidth(int width) const
{
    const int natural = QLabel::heightForWidth(width);
    return m_maximumLines > 0 ? std::min(natural, maximumHeight()) : natural;
}

void StudioText::paintEvent(QPaintEvent *event)
{
    const QRect room = contentsRect();
    if (m_maximumLines > 0) {
        // Aligned by the text's own direction, as QLabel aligns it.
        const Qt::LayoutDirection direction = text().isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
        const Qt::Alignment horizontal = QStyle::visualAlignment(direction, alignment()) & Qt::AlignHorizontal_Mask;
        QTextLayout layout(text(), font());
        QTextOption option(horizontal);
        option.setTextDirection(direction);
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        qreal y = 0;
        int count = 0;
        QTextLine last;
        // One line past the limit tells whether the text goes on.
        while (count <= m_maximumLines) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(room.width());
            line.setPosition(QPointF(0, y));
            y += line.height();
            if (++count == m_maximumLines)
                last = line;
        }
        layout.endLayout();
        if (count > m_maximumLines) {
            QPainter painter(this);
            painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
            painter.setFont(font());
            for (int i = 0; i < m_maximumLines - 1; ++i)
                layout.lineAt(i).draw(&painter, room.topLeft());
            const QString rest = text().mid(last.textStart()).replace(QLatin1Char('\n'), QLatin1Char(' ')).trimmed();
            painter.drawText(QRectF(room.left(), room.top() + last.y(), room.width(), last.height()),
                             int(horizontal | Qt::AlignVCenter | Qt::TextSingleLine),
                             elidedInItsOwnDirection(rest, QFontMetricsF(font()), room.width()));
            return;
        }
    }
    const QFontMetricsF metrics(font());
    if (!m_elides || metrics.horizontalAdvance(text()) <= room.width()) {
        QLabel::paintEvent(event);
        return;
    }
    // Cut short it fills the line, so it starts where the line starts.
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const Qt::Alignment vertical = alignment() & Qt::AlignVertical_Mask;
    painter.drawText(room, int(Qt::AlignLeading | (vertical ? vertical : Qt::AlignVCenter) | Qt::TextSingleLine),
                     elidedInItsOwnDirection(QString(text()).replace(QLatin1Char('\n'), QLatin1Char(' ')), metrics,
                                             room.width()));
}

void StudioText::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        applyColor();
    if (event->type() == QEvent::FontChange && m_maximumLines > 0)
        setMaximumLines(m_maximumLines);
}

bool StudioText::event(QEvent *event)
{
    const bool result = QLabel::event(event);
    if (event->type() == QEvent::ParentChange) {
        watchParent();
        applyColor();
    }
    return result;
}

// Our own text colour is set explicitly, so Qt no longer tells us when the
// surroundings change theirs; the parent's palette changes are watched instead.
void StudioText::watchParent()
{
    if (m_watchedParent == parentWidget())
        return;
    if (m_watchedParent)
        m_watchedParent->removeEventFilter(this);
    m_watchedParent = parentWidget();
    if (m_watchedParent)
        m_watchedParent->installEventFilter(this);
}

bool StudioText::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_watchedParent && event->type() == QEvent::PaletteChange)
        applyColor();
    return QLabel::eventFilter(watched, event);
}

void StudioText::applyColor()
{
    if (m_applying)
        return;
    m_applying = true;
    // Read from the surroundings, not from our own palette, which holds the
    // colour set last time.
    const QPalette source = parentWidget() ? parentWidget()->palette() : QApplication::palette(this);
    QPalette own = palette();
    own.setColor(QPalette::WindowText,
                 semanticColor(m_color, source, DesignEnvironment::current().increasedContrast));
    setPalette(own);
    m_applying = false;
}

} // namespace tessaline

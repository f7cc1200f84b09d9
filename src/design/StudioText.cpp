#include "design/StudioText.h"

#include "design/DesignEnvironment.h"
#include "design/TextInputDirection.h"
#include "platform/AccessibilitySettings.h"

#include <QApplication>
#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>

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

void StudioText::paintEvent(QPaintEvent *event)
{
    const QRect room = contentsRect();
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

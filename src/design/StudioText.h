#pragma once

#include "design/SemanticColors.h"

#include <QLabel>
#include <QPointer>

namespace tessaline {

// A plain-text label in one of the semantic colours. The colour is worked
// out from the surrounding palette and the contrast setting whenever either
// changes, so it always matches the theme in force.
class StudioText : public QLabel
{
    Q_OBJECT
public:
    StudioText(const QString &text, const QFont &font, SemanticColor color, QWidget *parent = nullptr);

    SemanticColor color() const { return m_color; }
    void setColor(SemanticColor color);

    // One line cut short with an ellipsis where it does not fit, at the end
    // the text runs towards (the left end of right-to-left text), instead of
    // clipped at both ends; text() keeps the whole for screen readers.
    void setElidesInItsOwnDirection(bool elides);

    // Wraps onto at most `lines` lines (none: no limit), the last one cut
    // short with an ellipsis when the text goes on. The height kept for them
    // is what the wrapped lines take when drawn, which can be more than the
    // font's rounded line spacing.
    void setMaximumLines(int lines);
    int maximumLines() const { return m_maximumLines; }
    int heightForWidth(int width) const override;

protected:
    void changeEvent(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyColor();
    void watchParent();

    SemanticColor m_color;
    bool m_applying = false;
    bool m_elides = false;
    int m_maximumLines = 0;
    QPointer<QWidget> m_watchedParent;
};

} // namespace tessaline

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

protected:
    void changeEvent(QEvent *event) override;
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void applyColor();
    void watchParent();

    SemanticColor m_color;
    bool m_applying = false;
    QPointer<QWidget> m_watchedParent;
};

} // namespace tessaline

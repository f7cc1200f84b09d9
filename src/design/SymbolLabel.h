#pragma once

#include "design/SemanticColors.h"

#include <QWidget>

namespace tessaline {

// One symbol drawn in a semantic colour at a point size. Drawn afresh at each
// paint, it follows the desktop's appearance, contrast and the scale of the
// screen it is on; a pixmap made once keeps those of the moment it was made.
class SymbolLabel : public QWidget
{
    Q_OBJECT
public:
    SymbolLabel(const QString &systemName, int pointSize, SemanticColor color, QWidget *parent = nullptr);

    QString systemName() const { return m_systemName; }
    void setSystemName(const QString &systemName);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_systemName;
    int m_pointSize;
    SemanticColor m_color;
};

} // namespace tessaline

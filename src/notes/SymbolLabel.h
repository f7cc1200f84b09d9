#pragma once

#include "design/SemanticColors.h"

#include <QWidget>

namespace tessaline {

// One symbol drawn in a semantic colour at a point size, as the writing
// page's rows show a card's kind. Follows theme and contrast at each paint.
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

#include "design/FunctionalSurface.h"

#include "design/PaintOverlay.h"
#include "design/ShapePainting.h"
#include "platform/AccessibilitySettings.h"

#include <QPainter>
#include <QVBoxLayout>

namespace tessaline {

qreal defaultCornerRadius(FunctionalSurfaceRole role)
{
    switch (role) {
    case FunctionalSurfaceRole::toolbar:
    case FunctionalSurfaceRole::sidebar:
        return 7;
    case FunctionalSurfaceRole::palette:
    case FunctionalSurfaceRole::popover:
        return 14;
    case FunctionalSurfaceRole::contextualPalette:
        return 10;
    }
    return 7;
}

FunctionalSurfaceTreatment functionalSurfaceTreatment(FunctionalSurfaceRole role, std::optional<qreal> cornerRadius,
                                                      const DesignEnvironment &environment)
{
    FunctionalSurfaceTreatment treatment;
    treatment.cornerRadius = cornerRadius.value_or(defaultCornerRadius(role));
    if (role == FunctionalSurfaceRole::sidebar)
        return treatment;

    const bool isToolbar = role == FunctionalSurfaceRole::toolbar;
    if (environment.reduceTransparency) {
        treatment.fill = FunctionalSurfaceTreatment::Fill::solid;
        treatment.fillColor = {isToolbar ? SemanticColor::windowBackground : SemanticColor::controlBackground, 1.0};
    } else {
        // The bar material sits on the window colour, the regular material on
        // the control colour; both let what lies beneath show through a little.
        // With no blur behind them, a floating palette keeps that to a faint
        // tint: cards' text under it would read as a second line of text.
        treatment.fill = FunctionalSurfaceTreatment::Fill::material;
        treatment.fillColor = isToolbar ? ColorSpec{SemanticColor::windowBackground, 0.85}
                                        : ColorSpec{SemanticColor::controlBackground, 0.94};
    }
    treatment.hasBorder = true;
    treatment.borderColor = {SemanticColor::separator, environment.increasedContrast ? 0.95 : 0.45};
    treatment.borderWidth = environment.increasedContrast ? 1.5 : 1.0;
    return treatment;
}

void paintFunctionalSurfaceFill(QPainter *painter, const QRectF &rect, const FunctionalSurfaceTreatment &treatment,
                                const QPalette &palette, bool increasedContrast)
{
    if (treatment.fill == FunctionalSurfaceTreatment::Fill::none)
        return;
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(resolveColor(treatment.fillColor, palette, increasedContrast));
    painter->drawPath(roundedShape(rect, treatment.cornerRadius));
    painter->restore();
}

void paintFunctionalSurfaceBorder(QPainter *painter, const QRectF &rect, const FunctionalSurfaceTreatment &treatment,
                                  const QPalette &palette, bool increasedContrast)
{
    if (!treatment.hasBorder)
        return;
    InsideStroke stroke;
    stroke.color = resolveColor(treatment.borderColor, palette, increasedContrast);
    stroke.width = treatment.borderWidth;
    stroke.cap = Qt::FlatCap;
    stroke.join = Qt::MiterJoin;
    strokeInside(painter, rect, treatment.cornerRadius, stroke);
}

void paintFunctionalSurface(QPainter *painter, const QRectF &rect, FunctionalSurfaceRole role,
                            std::optional<qreal> cornerRadius, const QPalette &palette,
                            const DesignEnvironment &environment)
{
    const FunctionalSurfaceTreatment treatment = functionalSurfaceTreatment(role, cornerRadius, environment);
    paintFunctionalSurfaceFill(painter, rect, treatment, palette, environment.increasedContrast);
    paintFunctionalSurfaceBorder(painter, rect, treatment, palette, environment.increasedContrast);
}

FunctionalSurface::FunctionalSurface(FunctionalSurfaceRole role, std::optional<qreal> cornerRadius, QWidget *parent)
    : QWidget(parent)
    , m_role(role)
    , m_cornerRadius(cornerRadius)
    , m_layout(new QVBoxLayout(this))
    // The hairline lies over the content, drawn on top and never taking a click.
    , m_overlay(new PaintOverlay(this, [this](QPainter &painter) {
        paintFunctionalSurfaceBorder(&painter, m_overlay->rect(), treatment(), palette(),
                                     DesignEnvironment::current().increasedContrast);
    }))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->setSpacing(0);
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, [this] {
        update();
        m_overlay->update();
    });
}

void FunctionalSurface::setRole(FunctionalSurfaceRole role)
{
    if (m_role == role)
        return;
    m_role = role;
    update();
    m_overlay->update();
}

void FunctionalSurface::setCornerRadius(std::optional<qreal> radius)
{
    if (m_cornerRadius == radius)
        return;
    m_cornerRadius = radius;
    update();
    m_overlay->update();
}

void FunctionalSurface::setContent(QWidget *content)
{
    if (m_content == content)
        return;
    if (m_content)
        m_content->deleteLater();
    m_content = content;
    if (content)
        m_layout->addWidget(content);
    m_overlay->raise();
}

FunctionalSurfaceTreatment FunctionalSurface::treatment() const
{
    return functionalSurfaceTreatment(m_role, m_cornerRadius, DesignEnvironment::current());
}

void FunctionalSurface::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintFunctionalSurfaceFill(&painter, rect(), treatment(), palette(), DesignEnvironment::current().increasedContrast);
}

void FunctionalSurface::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    m_overlay->setGeometry(rect());
    m_overlay->raise();
}

} // namespace tessaline

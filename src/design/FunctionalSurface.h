#pragma once

#include "design/DesignEnvironment.h"
#include "design/SemanticColors.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QPainter;
class QVBoxLayout;

namespace tessaline {

class PaintOverlay;

// The chrome the app draws itself.
enum class FunctionalSurfaceRole { toolbar, sidebar, palette, contextualPalette, popover };

qreal defaultCornerRadius(FunctionalSurfaceRole role);

// What a surface draws, worked out from its role, its radius and the
// accessibility settings. Glass is never available here, so the material
// branch (a translucent fill) stands where glass would.
struct FunctionalSurfaceTreatment {
    enum class Fill { none, solid, material };

    Fill fill = Fill::none;
    ColorSpec fillColor;
    qreal cornerRadius = 0;
    bool hasBorder = false;
    ColorSpec borderColor{SemanticColor::separator, 0};
    qreal borderWidth = 0;
};

FunctionalSurfaceTreatment functionalSurfaceTreatment(FunctionalSurfaceRole role, std::optional<qreal> cornerRadius,
                                                      const DesignEnvironment &environment);

// The surface's fill, then its border, on `rect`: for delegates and canvas
// items that draw the same chrome without a widget.
void paintFunctionalSurfaceFill(QPainter *painter, const QRectF &rect, const FunctionalSurfaceTreatment &treatment,
                                const QPalette &palette, bool increasedContrast);
void paintFunctionalSurfaceBorder(QPainter *painter, const QRectF &rect, const FunctionalSurfaceTreatment &treatment,
                                  const QPalette &palette, bool increasedContrast);
void paintFunctionalSurface(QPainter *painter, const QRectF &rect, FunctionalSurfaceRole role,
                            std::optional<qreal> cornerRadius, const QPalette &palette,
                            const DesignEnvironment &environment);

// A container drawn as a functional surface. Its content fills it; the border
// lies over the content and lets every click through.
class FunctionalSurface : public QWidget
{
    Q_OBJECT
public:
    explicit FunctionalSurface(FunctionalSurfaceRole role, std::optional<qreal> cornerRadius = std::nullopt,
                               QWidget *parent = nullptr);

    FunctionalSurfaceRole role() const { return m_role; }
    void setRole(FunctionalSurfaceRole role);
    std::optional<qreal> cornerRadius() const { return m_cornerRadius; }
    void setCornerRadius(std::optional<qreal> radius);

    // Takes ownership of `content` and lays it out over the whole surface.
    void setContent(QWidget *content);
    QWidget *content() const { return m_content; }

    FunctionalSurfaceTreatment treatment() const;

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:

    FunctionalSurfaceRole m_role;
    std::optional<qreal> m_cornerRadius;
    QPointer<QWidget> m_content;
    QVBoxLayout *m_layout = nullptr;
    PaintOverlay *m_overlay = nullptr;
};

} // namespace tessaline

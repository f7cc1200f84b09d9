#include "design/StudioSpinner.h"

#include "design/SemanticColors.h"

#include <QPainter>
#include <QVariantAnimation>

#include <cmath>
#include <numbers>

namespace tessaline {

namespace {
constexpr int spokes = 12;
constexpr int side = 16;
} // namespace

StudioSpinner::StudioSpinner(QWidget *parent)
    : QWidget(parent)
    , m_rotation(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("Loading"));
    m_rotation->setStartValue(0);
    m_rotation->setEndValue(spokes);
    m_rotation->setDuration(1000);
    m_rotation->setLoopCount(-1);
    connect(m_rotation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        const int step = value.toInt() % spokes;
        if (step != m_step) {
            m_step = step;
            update();
        }
    });
}

QSize StudioSpinner::sizeHint() const
{
    return QSize(side, side);
}

void StudioSpinner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor base = semanticColor(SemanticColor::primary, palette());
    const QPointF centre = QRectF(rect()).center();
    const qreal outer = std::min(width(), height()) / 2.0;
    for (int i = 0; i < spokes; ++i) {
        // The spoke at the current step is darkest; the ones behind it fade.
        const int age = (m_step - i + spokes) % spokes;
        painter.setPen(QPen(withOpacity(base, 1.0 - 0.75 * age / spokes), 1.6, Qt::SolidLine, Qt::RoundCap));
        const qreal angle = 2 * std::numbers::pi * i / spokes - std::numbers::pi / 2;
        const QPointF direction(std::cos(angle), std::sin(angle));
        painter.drawLine(centre + direction * outer * 0.45, centre + direction * (outer - 1));
    }
}

void StudioSpinner::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_rotation->start();
}

void StudioSpinner::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_rotation->stop();
}

} // namespace tessaline

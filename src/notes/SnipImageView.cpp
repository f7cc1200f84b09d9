#include "notes/SnipImageView.h"

#include "design/DesignEnvironment.h"
#include "design/SemanticColors.h"
#include "model/CanvasCard.h"
#include "runtime/SnipImageCache.h"
#include "notes/WritingReferencePresentation.h"
#include "platform/SymbolIcon.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace tessaline {

namespace Presentation = WritingReferencePresentation;

SnipImageView::SnipImageView(CanvasCard *card, NoteAttachmentSize size, SnipImageCache *images, QWidget *parent)
    : QWidget(parent)
    , m_card(card)
    , m_size(size)
    , m_images(images)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setMouseTracking(true);
    connect(images, &SnipImageCache::imageReady, this, [this](const QUuid &cardID) {
        if (m_card && m_card->id() == cardID) {
            updateGeometry();
            update();
        }
    });
    if (card) {
        // A new caption, image or annotation is a new version of the card.
        connect(card, &CanvasCard::changed, this, [this]() {
            updateGeometry();
            update();
        });
    }
}

std::optional<QSizeF> SnipImageView::knownImageSize() const
{
    if (!m_card)
        return std::nullopt;
    if (const std::optional<QSize> size = m_images->imageSize(*m_card))
        return QSizeF(*size);
    return std::nullopt;
}

QSizeF SnipImageView::fittedSize(qreal available) const
{
    return Presentation::fittedImageSize(knownImageSize(), available, m_size);
}

QRectF SnipImageView::imageRect() const
{
    const QSizeF fitted = fittedSize(width());
    return QRectF(QPointF((width() - fitted.width()) / 2, 0), fitted);
}

bool SnipImageView::hasHeightForWidth() const
{
    return true;
}

int SnipImageView::heightForWidth(int width) const
{
    return int(std::ceil(fittedSize(width).height()));
}

QSize SnipImageView::sizeHint() const
{
    const Presentation::SnipLayout layout = Presentation::snipLayout(m_size);
    const QSizeF fitted = fittedSize(layout.imageMaxWidth.value_or(560));
    return QSize(int(std::ceil(fitted.width())), int(std::ceil(fitted.height())));
}

QSize SnipImageView::minimumSizeHint() const
{
    return QSize(40, 24);
}

void SnipImageView::paintEvent(QPaintEvent *)
{
    const QRectF area = imageRect();
    if (area.isEmpty())
        return;
    const bool contrast = DesignEnvironment::current().increasedContrast;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(area, Presentation::imageCornerRadius, Presentation::imageCornerRadius);

    SnipImageCache::State state = SnipImageCache::State::unavailable;
    QPixmap pixmap;
    if (m_card) {
        state = m_images->state(*m_card);
        const qreal ratio = devicePixelRatioF();
        const QSize devicePixels(int(std::lround(area.width() * ratio)), int(std::lround(area.height() * ratio)));
        pixmap = m_images->pixmap(*m_card, devicePixels);
        pixmap.setDevicePixelRatio(ratio);
    }

    painter.save();
    painter.setClipPath(shape);
    if (!pixmap.isNull()) {
        painter.drawPixmap(area.topLeft(), pixmap);
    } else {
        painter.fillRect(area, resolveColor({SemanticColor::primary, Presentation::missingImageFillOpacity}, palette(), contrast));
        if (state == SnipImageCache::State::unavailable) {
            const QColor tint = semanticColor(SemanticColor::secondary, palette(), contrast);
            const QPixmap symbol = SymbolIcon::tintedPixmap(QStringLiteral("photo"), QSize(28, 28), devicePixelRatioF(), tint);
            const QSizeF logical = QSizeF(symbol.size()) / symbol.devicePixelRatio();
            painter.drawPixmap(QPointF(area.center().x() - logical.width() / 2, area.center().y() - logical.height() / 2),
                               symbol);
        }
    }
    painter.restore();

    // The border sits inside the shape.
    QPen border(resolveColor({SemanticColor::separator, Presentation::imageBorderOpacity}, palette(), contrast), 1);
    painter.setPen(border);
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(area.adjusted(0.5, 0.5, -0.5, -0.5), Presentation::imageCornerRadius - 0.5,
                            Presentation::imageCornerRadius - 0.5);
}

void SnipImageView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && imageRect().contains(event->position())) {
        m_pressed = true;
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void SnipImageView::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && m_pressed) {
        m_pressed = false;
        if (imageRect().contains(event->position()) && onClick)
            onClick();
        event->accept();
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void SnipImageView::mouseMoveEvent(QMouseEvent *event)
{
    setCursor(imageRect().contains(event->position()) ? Qt::PointingHandCursor : Qt::ArrowCursor);
    QWidget::mouseMoveEvent(event);
}

} // namespace tessaline

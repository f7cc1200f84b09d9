#include "imaging/AnnotationTextEntryPanel.h"

#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "design/TessalinePrimaryButton.h"
#include "design/WrittenText.h"
#include "imaging/AnnotationCanvasPainter.h"
#include "imaging/AnnotationEditorModel.h"

#include <QGraphicsEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <QTextBlock>
#include <QVBoxLayout>
#include <QVariantAnimation>

#include <algorithm>
#include <cmath>

namespace tessaline {

namespace {

constexpr int contentPadding = 10;
constexpr qreal cornerRadius = 10;
constexpr int maximumLines = 3;
constexpr int fadeDurationMs = 140;

// How the panel enters and leaves: fading, and, unless reduce motion is on,
// growing from 97 % about its centre.
class PanelTransition : public QGraphicsEffect
{
public:
    using QGraphicsEffect::QGraphicsEffect;

    qreal progress() const { return m_progress; }
    void setProgress(qreal progress, bool scales)
    {
        m_progress = progress;
        m_scales = scales;
        update();
    }

protected:
    void draw(QPainter *painter) override
    {
        if (m_progress >= 1) {
            drawSource(painter);
            return;
        }
        QPoint offset;
        const QPixmap pixmap = sourcePixmap(Qt::LogicalCoordinates, &offset);
        painter->save();
        painter->setOpacity(painter->opacity() * m_progress);
        if (m_scales) {
            const qreal scale = 0.97 + 0.03 * m_progress;
            const QPointF center = QRectF(offset, pixmap.deviceIndependentSize()).center();
            painter->translate(center);
            painter->scale(scale, scale);
            painter->translate(-center);
            painter->setRenderHint(QPainter::SmoothPixmapTransform);
        }
        painter->drawPixmap(offset, pixmap);
        painter->restore();
    }

private:
    qreal m_progress = 1;
    bool m_scales = true;
};

} // namespace

// Return submits and Escape cancels, as in a one-line field; Alt+Return is
// the way to a second line.
class AnnotationTextEntryPanel::Field : public QPlainTextEdit
{
public:
    Field(AnnotationEditorModel &model, QWidget *parent) : QPlainTextEdit(parent), m_model(model) {}

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        const bool isReturn = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
        if (isReturn && event->modifiers().testFlag(Qt::AltModifier)) {
            insertPlainText(QStringLiteral("\n"));
            return;
        }
        if (isReturn) {
            m_model.commitText();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            m_model.cancelTextEditing();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }

private:
    AnnotationEditorModel &m_model;
};

AnnotationTextEntryPanel::AnnotationTextEntryPanel(AnnotationEditorModel &model, QWidget *parent)
    : QWidget(parent), m_model(model), m_field(new Field(model, this)),
      m_hint(new StudioText(QString(), TessalineTypography::caption(), SemanticColor::secondary, this)),
      m_cancel(new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, this)),
      m_confirm(new TessalinePrimaryButton(QStringLiteral("Add"), QString(), this)),
      m_fade(new QVariantAnimation(this))
{
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(shadowMargin + contentPadding, shadowMargin + contentPadding,
                               shadowMargin + contentPadding, shadowMargin + contentPadding);
    layout->setSpacing(8);

    m_field->setPlaceholderText(QStringLiteral("Type annotation"));
    m_field->setAccessibleName(QStringLiteral("Annotation text"));
    m_field->setFrameShape(QFrame::NoFrame);
    m_field->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_field->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_field->setBackgroundVisible(false);
    QPalette fieldPalette = m_field->palette();
    fieldPalette.setColor(QPalette::Base, Qt::transparent);
    m_field->setPalette(fieldPalette);
    m_field->document()->setDocumentMargin(0);
    layout->addWidget(m_field);

    auto *row = new QHBoxLayout;
    row->setSpacing(8);
    row->addWidget(m_hint);
    row->addStretch(1);
    row->addWidget(m_cancel);
    row->addWidget(m_confirm);
    layout->addLayout(row);

    connect(m_field, &QPlainTextEdit::textChanged, this, [this] {
        fitFieldHeight();
        if (!m_syncing)
            m_model.setTextDraft(writtenText(m_field->document()));
    });
    connect(m_cancel, &QAbstractButton::clicked, &m_model, &AnnotationEditorModel::cancelTextEditing);
    connect(m_confirm, &QAbstractButton::clicked, &m_model, [this] { m_model.commitText(); });

    auto *transition = new PanelTransition(this);
    setGraphicsEffect(transition);
    m_fade->setDuration(fadeDurationMs);
    m_fade->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_fade, &QVariantAnimation::valueChanged, this, [transition](const QVariant &value) {
        transition->setProgress(value.toReal(), !DesignEnvironment::current().reduceMotion);
    });
    connect(m_fade, &QVariantAnimation::finished, this, [this, transition] {
        transition->setProgress(m_open ? 1 : 0, true);
        if (!m_open)
            hide();
    });
    hide();
}

void AnnotationTextEntryPanel::refresh()
{
    const std::optional<TextEditingContext> context = m_model.textEditingContext();
    const bool isUpdate = context && context->itemID;
    m_hint->setText(QStringLiteral("Return to ") + (isUpdate ? QStringLiteral("update") : QStringLiteral("add")));
    m_confirm->setText(isUpdate ? QStringLiteral("Update") : QStringLiteral("Add"));
    m_confirm->setEnabled(m_model.canCommitText());

    QFont font = AnnotationCanvasPainter::textFont(m_model.displayedLineWidth());
    if (m_field->font() != font)
        m_field->setFont(font);
    const AnnotationColor color = m_model.color();
    QPalette palette = m_field->palette();
    palette.setColor(QPalette::Text, QColor::fromRgbF(float(color.red), float(color.green), float(color.blue)));
    m_field->setPalette(palette);

    if (writtenText(m_field->document()) != m_model.textDraft()) {
        m_syncing = true;
        m_field->setPlainText(m_model.textDraft());
        m_field->moveCursor(QTextCursor::End);
        m_syncing = false;
    }
    fitFieldHeight();
    if (m_model.isTextEditorFocused() && isVisible() && !m_field->hasFocus())
        m_field->setFocus(Qt::OtherFocusReason);
}

void AnnotationTextEntryPanel::fitFieldHeight()
{
    const QFontMetricsF metrics(m_field->font());
    int lines = 0;
    for (QTextBlock block = m_field->document()->begin(); block.isValid(); block = block.next())
        lines += std::max(1, block.layout() ? block.layout()->lineCount() : 1);
    lines = std::clamp(lines, 1, maximumLines);
    const int height = int(std::ceil(lines * metrics.lineSpacing())) + 2 * m_field->frameWidth() + 2;
    if (m_field->height() != height)
        m_field->setFixedHeight(height);
}

void AnnotationTextEntryPanel::place(QPointF center, double bodyWidth)
{
    const int width = int(std::round(bodyWidth)) + 2 * shadowMargin;
    setFixedWidth(width);
    const int height = sizeHint().height();
    resize(width, height);
    move(int(std::round(center.x() - width / 2.0)), int(std::round(center.y() - height / 2.0)));
}

void AnnotationTextEntryPanel::setOpen(bool open)
{
    if (open == m_open)
        return;
    m_open = open;
    auto *transition = static_cast<PanelTransition *>(graphicsEffect());
    m_fade->stop();
    // Under reduce motion the change shows at once.
    if (DesignEnvironment::current().reduceMotion) {
        transition->setProgress(1, false);
        setVisible(open);
    } else {
        const qreal from = isVisible() ? transition->progress() : 0.0;
        transition->setProgress(from, true);
        if (open)
            show();
        m_fade->setStartValue(from);
        m_fade->setEndValue(open ? 1.0 : 0.0);
        m_fade->start();
    }
    if (open) {
        raise();
        refresh();
    }
}

void AnnotationTextEntryPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF body = QRectF(rect()).adjusted(shadowMargin, shadowMargin, -shadowMargin, -shadowMargin);

    // A soft shadow, black at 0.16 about 12 points wide, 5 points down:
    // concentric outlines of falling opacity.
    constexpr int steps = 12;
    for (int i = steps; i >= 1; --i) {
        const qreal spread = i;
        QColor shade(0, 0, 0);
        shade.setAlphaF(float(0.16 * 0.22 * (1.0 - qreal(i) / (steps + 1))));
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade);
        painter.drawRoundedRect(body.translated(0, 5).adjusted(-spread / 2, -spread / 2, spread / 2, spread / 2),
                                cornerRadius + spread / 2, cornerRadius + spread / 2);
    }

    // Opaque: the words being typed must not mingle with the picture's own.
    painter.setBrush(semanticColor(SemanticColor::windowBackground, palette()));
    painter.drawRoundedRect(body, cornerRadius, cornerRadius);
    painter.setBrush(Qt::NoBrush);
    QPen outline(withOpacity(semanticColor(SemanticColor::primary, palette()), 0.16));
    outline.setWidthF(1);
    painter.setPen(outline);
    painter.drawRoundedRect(body.adjusted(0.5, 0.5, -0.5, -0.5), cornerRadius, cornerRadius);
}

} // namespace tessaline

#include "onboarding/GuidedTourCoachmark.h"

#include "onboarding/OnboardingComponents.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/FunctionalSurface.h"
#include "design/SemanticPalette.h"
#include "design/ShapePainting.h"
#include "design/StudioCompactButton.h"
#include "design/StudioText.h"
#include "runtime/OnboardingCoordinator.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformTexts.h"
#include "platform/SymbolIcon.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace tessaline {

using TessalineTypography::systemFont;

namespace {

constexpr int stepCount = int(allGuidedTourSteps.size());
constexpr int cardWidth = 320;
constexpr qreal cardRadius = 15;
// Room around the card for its shadow, which falls downwards.
const QMargins shadowMargins(14, 8, 14, 22);

QColor shade(SemanticColor color, const QPalette &palette, qreal opacity = 1)
{
    return withOpacity(semanticColor(color, palette, AccessibilitySettings::shared().increasesContrast()), opacity);
}

// The step's symbol on a faint rounded tile.
class SymbolTile : public QWidget
{
public:
    SymbolTile(const QString &systemImage, QWidget *parent) : QWidget(parent), m_systemImage(systemImage)
    {
        setFixedSize(30, 30);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedShape(rect(), 8), shade(SemanticColor::primary, palette(), 0.08));
        painter.drawPixmap(QPointF(8, 8), SymbolIcon::tintedPixmap(m_systemImage, QSize(14, 14), devicePixelRatioF(),
                                                                 shade(SemanticColor::label, palette())));
    }

private:
    QString m_systemImage;
};

// A small picture of a snip on white, framed like a thumbnail.
class PreviewThumbnail : public QWidget
{
public:
    explicit PreviewThumbnail(QWidget *parent) : QWidget(parent) { setFixedSize(76, 48); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = rect();
        painter.save();
        painter.setClipPath(roundedShape(bounds, 6));
        painter.fillRect(bounds, Qt::white);
        // Filling the frame: the 330 × 315 artwork scaled to cover the width.
        const qreal cover = bounds.width() / 330.0 * 315.0;
        paintOnboardingIllustration(&painter, QRectF(0, (bounds.height() - cover) / 2, bounds.width(), cover),
                                    QStringLiteral("OnboardingCapture"), palette());
        painter.restore();
        strokeInside(&painter, bounds, 6, solidInsideStroke(shade(SemanticColor::separator, palette(), 0.6), 1));
    }
};

class PreviewPanel : public QWidget
{
public:
    PreviewPanel(bool hasTarget, QWidget *parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("previewPanel"));
        auto *row = new QHBoxLayout(this);
        row->setContentsMargins(8, 8, 8, 8);
        row->setSpacing(10);
        row->addWidget(new PreviewThumbnail(this));
        auto *texts = new QVBoxLayout;
        texts->setSpacing(2);
        const QString heading = hasTarget ? QStringLiteral("Click a snip to preview")
                                          : QStringLiteral("Preview starts with your first snip");
        const QString line = hasTarget ? PlatformTexts::tourPreviewBrowseLine()
                                       : QStringLiteral("Capture a region, then click its thumbnail to zoom, annotate, "
                                                        "and browse.");
        auto *headingLabel = new StudioText(heading, systemFont(11, QFont::DemiBold), SemanticColor::label, this);
        headingLabel->setWordWrap(true);
        headingLabel->setObjectName(QStringLiteral("previewHeading"));
        auto *lineLabel = new StudioText(line, systemFont(10, QFont::Normal), SemanticColor::secondary, this);
        lineLabel->setObjectName(QStringLiteral("previewLine"));
        lineLabel->setWordWrap(true);
        texts->addWidget(headingLabel);
        texts->addWidget(lineLabel);
        row->addLayout(texts, 1);
        setAccessibleName(heading + QStringLiteral(". ") + line);
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.fillPath(roundedShape(rect(), 8), shade(SemanticColor::primary, palette(), 0.035));
    }
};

} // namespace

GuidedTourStepContent guidedTourStepContent(GuidedTourStep step, bool hasSnipPreviewTarget)
{
    switch (step) {
    case GuidedTourStep::capture:
        return {QStringLiteral("viewfinder"), QStringLiteral("Capture into a note"),
                QStringLiteral("The Capture control inserts a region snip into your selected note. Its menu also captures "
                               "%1; Quick Captures is the fallback.")
                    .arg(PlatformTexts::tourCaptureMenuKinds())};
    case GuidedTourStep::today:
        return {QStringLiteral("note.text"), QStringLiteral("Write in Notes"),
                QStringLiteral("Notes are the main workspace. Write normally and keep each snip inline beside the text "
                               "that gives it meaning.")};
    case GuidedTourStep::boards:
        return {QStringLiteral("tray"), QStringLiteral("Keep Quick Captures nearby"),
                QStringLiteral("Quick Captures catches anything saved without a selected note. Open it later to move, "
                               "caption, or develop what matters.")};
    case GuidedTourStep::snipPreview:
        break;
    }
    return {QStringLiteral("arrow.up.left.and.arrow.down.right"), QStringLiteral("Open, copy, and annotate"),
            hasSnipPreviewTarget
                ? QStringLiteral("Open a snip inside its note to zoom, browse nearby captures, copy it, or return to "
                                 "annotation.")
                : QStringLiteral("You do not have a snip yet. After your first capture, click its thumbnail to zoom, "
                                 "annotate, browse nearby captures, or copy it.")};
}

QString guidedTourAccessibilityLabel(GuidedTourStep step)
{
    return QStringLiteral("Guided tour, %1, step %2 of %3")
        .arg(guidedTourStepContent(step, false).title)
        .arg(int(step) + 1)
        .arg(stepCount);
}

GuidedTourCoachmark::GuidedTourCoachmark(OnboardingCoordinator &onboarding, GuidedTourStep step,
                                         bool hasSnipPreviewTarget, QWidget *parent)
    : QWidget(parent)
    , m_onboarding(onboarding)
    , m_step(step)
    , m_hasSnipPreviewTarget(hasSnipPreviewTarget)
{
    setObjectName(QStringLiteral("guidedTourCoachmark"));
    setFocusPolicy(Qt::StrongFocus);
    setAccessibleName(guidedTourAccessibilityLabel(step));
    const GuidedTourStepContent content = guidedTourStepContent(step, hasSnipPreviewTarget);

    // The room for the shadow lies outside the contents, so the window
    // places the card itself, not its shadow, at its insets.
    setContentsMargins(shadowMargins);
    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(15, 15, 15, 15);
    stack->setSpacing(14);

    auto *header = new QHBoxLayout;
    header->setSpacing(10);
    header->addWidget(new SymbolTile(content.systemImage, this), 0, Qt::AlignVCenter);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(2);
    m_title = new StudioText(content.title, systemFont(13, QFont::DemiBold), SemanticColor::label, this);
    m_title->setObjectName(QStringLiteral("tourTitle"));
    m_counter = new StudioText(QStringLiteral("%1 of %2").arg(int(step) + 1).arg(stepCount),
                               systemFont(10, QFont::Medium), SemanticColor::tertiary, this);
    m_counter->setObjectName(QStringLiteral("tourCounter"));
    titles->addWidget(m_title);
    titles->addWidget(m_counter);
    header->addLayout(titles, 1);
    header->addSpacing(8);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("endTour"));
    m_close->setAutoRaise(true);
    paintCloseIcon();
    m_close->setToolTip(QStringLiteral("End Tour"));
    m_close->setAccessibleName(QStringLiteral("End guided tour"));
    connect(m_close, &QToolButton::clicked, &m_onboarding, &OnboardingCoordinator::completeTour);
    header->addWidget(m_close, 0, Qt::AlignVCenter);
    stack->addLayout(header);

    m_body = new StudioText(content.body, systemFont(12, QFont::Normal), SemanticColor::secondary, this);
    m_body->setObjectName(QStringLiteral("tourBody"));
    m_body->setWordWrap(true);
    stack->addWidget(m_body);

    if (step == GuidedTourStep::snipPreview) {
        m_preview = new PreviewPanel(hasSnipPreviewTarget, this);
        stack->addWidget(m_preview);
    }

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_skip = new OnboardingTextButton(QStringLiteral("Skip Tour"), this);
    m_skip->setObjectName(QStringLiteral("skipTour"));
    m_skip->setFont(systemFont(11, QFont::Normal));
    keepSemanticColors(m_skip, {{QPalette::ButtonText, {SemanticColor::secondary}}});
    connect(m_skip, &QPushButton::clicked, &m_onboarding, &OnboardingCoordinator::completeTour);
    buttons->addWidget(m_skip);
    buttons->addStretch(1);
    if (step != GuidedTourStep::capture) {
        m_back = new QPushButton(QStringLiteral("Back"), this);
        m_back->setObjectName(QStringLiteral("tourBack"));
        m_back->setFont(systemFont(11, QFont::Normal));
        connect(m_back, &QPushButton::clicked, &m_onboarding, &OnboardingCoordinator::previousTourStep);
        buttons->addWidget(m_back);
    }
    m_next = new StudioCompactButton(step == GuidedTourStep::snipPreview ? QStringLiteral("Done") : QStringLiteral("Next"),
                                     false, StudioControlProminence::accent, this);
    m_next->setObjectName(QStringLiteral("tourNext"));
    connect(m_next, &QPushButton::clicked, &m_onboarding, &OnboardingCoordinator::advanceTour);
    buttons->addWidget(m_next);
    stack->addLayout(buttons);

    setFixedWidth(cardWidth + shadowMargins.left() + shadowMargins.right());
}

QSize GuidedTourCoachmark::sizeHint() const
{
    // As tall as its content at its one width.
    const int fixedWidth = cardWidth + shadowMargins.left() + shadowMargins.right();
    const int height = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(fixedWidth)
                                                     : layout()->totalSizeHint().height();
    return QSize(fixedWidth, height);
}

// The cross is a pixmap in the colours of the moment: made again when the
// desktop's appearance changes.
void GuidedTourCoachmark::paintCloseIcon()
{
    m_close->setIcon(QIcon(SymbolIcon::tintedPixmap(QStringLiteral("xmark"), QSize(12, 12), devicePixelRatioF(),
                                                    shade(SemanticColor::secondary, palette()))));
}

void GuidedTourCoachmark::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange && m_close)
        paintCloseIcon();
}

void GuidedTourCoachmark::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    // The card takes the focus once it is on screen, so Return and Escape
    // reach it and a screen reader announces the step.
    QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
    if (AccessibilitySettings::shared().reducesMotion())
        return;
    auto *effect = new QGraphicsOpacityEffect(this);
    effect->setOpacity(0);
    setGraphicsEffect(effect);
    auto *fade = new QPropertyAnimation(effect, "opacity", this);
    fade->setDuration(TessalineMotion::gentle().durationMs);
    fade->setEasingCurve(TessalineMotion::gentle().curve);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    connect(fade, &QPropertyAnimation::finished, this, [this] { setGraphicsEffect(nullptr); });
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void GuidedTourCoachmark::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF card = QRectF(contentsRect());
    paintShadow(&painter, card, cardRadius, shade(SemanticColor::shadow, palette(), 0.16), 16, QPointF(0, 7));
    // The card floats over the note's text, and nothing here blurs what lies
    // under a translucent surface: the material goes on a solid ground, or
    // the words beneath would run through the card's own.
    painter.fillPath(roundedShape(card, cardRadius), shade(SemanticColor::windowBackground, palette()));
    paintFunctionalSurface(&painter, card, FunctionalSurfaceRole::popover, cardRadius, palette(),
                           DesignEnvironment::current());
}

void GuidedTourCoachmark::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        m_onboarding.advanceTour();
        event->accept();
        return;
    case Qt::Key_Escape:
        m_onboarding.completeTour();
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

} // namespace tessaline

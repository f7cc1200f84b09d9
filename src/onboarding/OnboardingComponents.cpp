#include "onboarding/OnboardingComponents.h"

#include "runtime/AppRuntime.h"
#include "design/DesignEnvironment.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/ShapePainting.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformTexts.h"
#include "platform/SymbolIcon.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPropertyAnimation>
#include <QVariantAnimation>

#include <array>
#include <cmath>

namespace tessaline {

using TessalineTypography::systemFont;

namespace {

bool reducesMotion() { return AccessibilitySettings::shared().reducesMotion(); }
bool increasesContrast() { return AccessibilitySettings::shared().increasesContrast(); }

QColor color(SemanticColor shade, const QPalette &palette, qreal opacity = 1)
{
    return withOpacity(semanticColor(shade, palette, increasesContrast()), opacity);
}

StudioText *wrappedText(const QString &text, const QFont &font, SemanticColor shade, QWidget *parent)
{
    auto *label = new StudioText(text, font, shade, parent);
    label->setWordWrap(true);
    return label;
}


void paintSymbol(QPainter *painter, const QRectF &rect, const QString &systemImage, const QColor &tint)
{
    const qreal ratio = painter->device() ? painter->device()->devicePixelRatioF() : 1.0;
    const QPixmap pixmap = SymbolIcon::tintedPixmap(systemImage, rect.size().toSize(), ratio, tint);
    painter->drawPixmap(rect.topLeft(), pixmap);
}

} // namespace

InsideStroke solidInsideStroke(const QColor &color, qreal width)
{
    InsideStroke stroke;
    stroke.color = color;
    stroke.width = width;
    return stroke;
}

void paintOnboardingHairline(QPainter *painter, const QRectF &rect, qreal cornerRadius, qreal opacity,
                             const QPalette &palette, bool increasedContrast)
{
    strokeInside(painter, rect, cornerRadius,
                 solidInsideStroke(withOpacity(semanticColor(SemanticColor::separator, palette, increasedContrast), opacity), 1));
}

void paintOnboardingIllustration(QPainter *painter, const QRectF &rect, const QString &assetName, const QPalette &)
{
    // The artwork sits on white whatever the theme, so its own colours are
    // fixed greys with one accent.
    const QColor ink(40, 44, 52);
    const QColor soft(226, 229, 235);
    const QColor accent(52, 120, 246);
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const qreal unit = std::min(rect.width() / 330.0, rect.height() / 315.0);
    const QRectF canvas(rect.center().x() - 165 * unit, rect.center().y() - 157.5 * unit, 330 * unit, 315 * unit);
    auto at = [&](qreal x, qreal y, qreal w, qreal h) {
        return QRectF(canvas.left() + x * unit, canvas.top() + y * unit, w * unit, h * unit);
    };
    auto lines = [&](qreal x, qreal y, qreal width, int count) {
        painter->setPen(Qt::NoPen);
        painter->setBrush(soft);
        for (int i = 0; i < count; ++i) {
            const qreal w = i == count - 1 ? width * 0.6 : width;
            painter->drawRoundedRect(at(x, y + i * 16, w, 7), 3.5 * unit, 3.5 * unit);
        }
    };
    if (assetName == QLatin1String("OnboardingCapture")) {
        // A screen with a dashed selection, and the snip it becomes.
        painter->setPen(QPen(soft, 2 * unit));
        painter->setBrush(QColor(246, 247, 249));
        painter->drawRoundedRect(at(28, 40, 230, 150), 10 * unit, 10 * unit);
        lines(48, 64, 150, 3);
        QPen dashed(accent, 2 * unit, Qt::DashLine);
        painter->setPen(dashed);
        painter->setBrush(QColor(52, 120, 246, 28));
        painter->drawRect(at(110, 100, 120, 70));
        painter->setPen(QPen(soft, 1.5 * unit));
        painter->setBrush(Qt::white);
        painter->drawRoundedRect(at(120, 170, 180, 110), 10 * unit, 10 * unit);
        lines(136, 190, 120, 2);
        painter->setPen(QPen(QColor(235, 87, 87), 3 * unit, Qt::SolidLine, Qt::RoundCap));
        painter->setBrush(Qt::NoBrush);
        painter->drawEllipse(at(200, 222, 70, 40));
        painter->setPen(QPen(ink, 3 * unit, Qt::SolidLine, Qt::RoundCap));
        painter->drawLine(at(150, 240, 0, 0).topLeft(), at(192, 244, 0, 0).topLeft());
    } else if (assetName == QLatin1String("OnboardingThinking")) {
        // A page of writing with two snips set between its paragraphs.
        painter->setPen(QPen(soft, 1.5 * unit));
        painter->setBrush(Qt::white);
        painter->drawRoundedRect(at(50, 24, 230, 268), 12 * unit, 12 * unit);
        painter->setPen(Qt::NoPen);
        painter->setBrush(ink);
        painter->drawRoundedRect(at(72, 46, 110, 10), 5 * unit, 5 * unit);
        lines(72, 72, 186, 2);
        painter->setBrush(QColor(52, 120, 246, 40));
        painter->drawRoundedRect(at(72, 110, 130, 62), 8 * unit, 8 * unit);
        painter->setBrush(accent);
        painter->drawRoundedRect(at(84, 122, 50, 8), 4 * unit, 4 * unit);
        lines(72, 188, 186, 2);
        painter->setBrush(QColor(246, 180, 60, 60));
        painter->drawRoundedRect(at(72, 226, 100, 48), 8 * unit, 8 * unit);
    }
    painter->restore();
}

// Eyebrow

OnboardingEyebrow::OnboardingEyebrow(const QString &title, QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
    setText(title);
    QFont font = systemFont(10, QFont::Bold);
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    setFont(font);
    keepSemanticColors(this, {{QPalette::WindowText, {SemanticColor::secondary}}});
}

// Feature row

OnboardingFeatureRow::OnboardingFeatureRow(const QString &icon, const QString &title, const QString &detail,
                                           QWidget *parent)
    : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(11);
    auto *symbol = new SymbolLabel(icon, 15, SemanticColor::primary, this);
    symbol->setFixedWidth(22);
    row->addWidget(symbol);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(new StudioText(title, systemFont(13, QFont::DemiBold), SemanticColor::label, this));
    texts->addWidget(wrappedText(detail, systemFont(12, QFont::Normal), SemanticColor::secondary, this));
    row->addLayout(texts, 1);
    setAccessibleName(title + QStringLiteral(", ") + detail);
}

// Illustration panel

OnboardingIllustrationPanel::OnboardingIllustrationPanel(const QString &assetName, const QString &accessibilityLabel,
                                                         QWidget *parent)
    : QWidget(parent)
    , m_assetName(assetName)
{
    setFixedSize(330, 315);
    setAccessibleName(accessibilityLabel);
}

void OnboardingIllustrationPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.save();
    painter.setClipPath(roundedShape(bounds, 18));
    painter.fillRect(bounds, Qt::white);
    paintOnboardingIllustration(&painter, bounds, m_assetName, palette());
    painter.restore();
    paintOnboardingHairline(&painter, bounds, 18, 0.62, palette(), increasesContrast());
}

// Text button

OnboardingTextButton::OnboardingTextButton(const QString &title, QWidget *parent) : QPushButton(title, parent)
{
    setFlat(true);
    setAutoDefault(false);
}

void OnboardingTextButton::paintEvent(QPaintEvent *event)
{
    QPushButton::paintEvent(event);
    if (!hasFocus())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    paintFocusRing(&painter, QRectF(rect()), 6, palette(), increasesContrast());
}

// Primary button

OnboardingPrimaryButton::OnboardingPrimaryButton(const QString &title, bool compact, QWidget *parent)
    : QPushButton(title, parent)
    , m_compact(compact)
    , m_press(new QVariantAnimation(this))
{
    setFont(systemFont(compact ? 11 : 12, QFont::DemiBold));
    setCursor(Qt::PointingHandCursor);
    setAutoDefault(false);
    m_press->setDuration(100);
    m_press->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_press, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_pressAmount = value.toReal();
        update();
    });
    auto follow = [this](bool down) {
        m_press->stop();
        if (reducesMotion()) {
            m_pressAmount = down ? 1 : 0;
            update();
            return;
        }
        m_press->setStartValue(m_pressAmount);
        m_press->setEndValue(down ? 1.0 : 0.0);
        m_press->start();
    };
    connect(this, &QAbstractButton::pressed, this, [follow] { follow(true); });
    connect(this, &QAbstractButton::released, this, [follow] { follow(false); });
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, qOverload<>(&QWidget::update));
}

QSize OnboardingPrimaryButton::sizeHint() const
{
    const qreal padding = m_compact ? 10 : 15;
    const int height = m_compact ? 27 : 34;
    const int textWidth = fontMetrics().horizontalAdvance(text());
    return QSize(int(std::ceil(textWidth + 2 * padding)), height);
}

QSize OnboardingPrimaryButton::minimumSizeHint() const { return sizeHint(); }

bool OnboardingPrimaryButton::hitButton(const QPoint &pos) const
{
    return roundedShape(QRectF(rect()), cornerRadius()).contains(QPointF(pos));
}

void OnboardingPrimaryButton::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &shades = palette();
    const bool enabled = isEnabled();
    const bool contrast = increasesContrast();
    const bool pressed = isDown();
    const qreal scale = reducesMotion() ? 1.0 : 1.0 - 0.015 * m_pressAmount;
    const QRectF bounds = QRectF(rect());
    painter.translate(bounds.center());
    painter.scale(scale, scale);
    painter.translate(-bounds.center());

    const QColor fill = enabled ? color(SemanticColor::label, shades, pressed ? 0.78 : 1.0)
                                : color(SemanticColor::unemphasizedSelectedContentBackground, shades, 0.38);
    painter.fillPath(roundedShape(bounds, cornerRadius()), fill);
    if (!enabled)
        strokeInside(&painter, bounds, cornerRadius(), solidInsideStroke(color(SemanticColor::separator, shades), 1));
    else if (contrast)
        strokeInside(&painter, bounds, cornerRadius(), solidInsideStroke(color(SemanticColor::windowBackground, shades, 0.7), 1));

    painter.setPen(enabled ? color(SemanticColor::windowBackground, shades) : color(SemanticColor::secondary, shades));
    painter.setFont(font());
    const qreal padding = m_compact ? 10 : 15;
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, int(bounds.width() - 2 * padding));
    painter.drawText(bounds.adjusted(padding, 0, -padding, 0), Qt::AlignCenter | Qt::TextSingleLine, shown);
    if (hasFocus() && focusPolicy() != Qt::NoFocus)
        paintFocusRing(&painter, bounds, cornerRadius(), shades, contrast);
}

// Permission guide step

PermissionGuideStep::PermissionGuideStep(int number, const QString &title, const QString &detail, bool isComplete,
                                         QWidget *parent)
    : QWidget(parent)
    , m_number(number)
    , m_isComplete(isComplete)
{
    auto *row = new QHBoxLayout(this);
    // The numbered circle is painted into the first 20 points.
    row->setContentsMargins(20 + 9, 0, 0, 0);
    row->setSpacing(0);
    auto *texts = new QVBoxLayout;
    texts->setSpacing(1);
    texts->addWidget(new StudioText(title, systemFont(11, QFont::DemiBold), SemanticColor::label, this));
    texts->addWidget(wrappedText(detail, systemFont(10.5, QFont::Normal), SemanticColor::secondary, this));
    row->addLayout(texts, 1);
    row->setAlignment(texts, Qt::AlignTop);
    setAccessibleName(QStringLiteral("Step %1. %2. %3").arg(number).arg(title, detail));
}

void PermissionGuideStep::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &shades = palette();
    const QRectF circle(0, 0, 20, 20);
    painter.setPen(Qt::NoPen);
    painter.setBrush(m_isComplete ? color(SemanticColor::label, shades) : color(SemanticColor::primary, shades, 0.07));
    painter.drawEllipse(circle);
    if (m_isComplete) {
        paintSymbol(&painter, circle.adjusted(5, 5, -5, -5), QStringLiteral("checkmark"),
                    color(SemanticColor::windowBackground, shades));
    } else {
        painter.setPen(color(SemanticColor::label, shades));
        painter.setFont(systemFont(10, QFont::DemiBold));
        painter.drawText(circle, Qt::AlignCenter, QString::number(m_number));
    }
}

// Permission panel

CapturePermissionGuideHeader capturePermissionGuideHeader(CapturePermissionGuideStage stage)
{
    switch (stage) {
    case CapturePermissionGuideStage::explanation:
        return {QStringLiteral("display"), QStringLiteral("Enable screen capture"), PlatformTexts::permissionExplanationBody()};
    case CapturePermissionGuideStage::systemSettings:
        return {QStringLiteral("display"), PlatformTexts::permissionSettingsTitle(),
                QStringLiteral("Access was not granted yet. The exact privacy pane is one click away.")};
    case CapturePermissionGuideStage::restartRequired:
        return {QStringLiteral("display"), QStringLiteral("Restart needed after setup"), PlatformTexts::permissionRestartBody()};
    case CapturePermissionGuideStage::authorized:
        break;
    }
    return {QStringLiteral("checkmark.circle.fill"), QStringLiteral("Screen Recording is ready"),
            PlatformTexts::captureKindsReady()};
}

CapturePermissionPanel::CapturePermissionPanel(AppRuntime &runtime, QWidget *parent)
    : QWidget(parent)
    , m_runtime(runtime)
    , m_layout(new QVBoxLayout(this))
{
    m_layout->setContentsMargins(12, 12, 12, 12);
    m_layout->setSpacing(0);
    connect(&runtime.captureCoordinator(), &CaptureCoordinator::permissionStateChanged, this,
            &CapturePermissionPanel::rebuild);
    rebuild();
}

void CapturePermissionPanel::rebuild()
{
    const CapturePermissionGuideStage stage = capturePermissionGuideStage(m_runtime.captureCoordinator().permissionState());
    const QString advice = stage == CapturePermissionGuideStage::authorized
        ? QString()
        : m_runtime.captureCoordinator().permissionAdvice();
    // The coordinator announces every refresh; only a new stage redraws.
    if (m_built && stage == m_stage && advice == m_advice)
        return;
    m_built = true;
    m_stage = stage;
    m_advice = advice;
    if (m_content) {
        m_layout->removeWidget(m_content);
        m_content->hide();
        m_content->deleteLater();
    }

    auto *content = new QWidget(this);
    content->setObjectName(QStringLiteral("permissionStage"));
    auto *stack = new QVBoxLayout(content);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(9);

    CapturePermissionGuideHeader header = capturePermissionGuideHeader(stage);
    if (!advice.isEmpty()) {
        // A portal missing or saying no: no privacy pane to send anyone to.
        header.title = PlatformTexts::screenshotPortalUnavailableTitle();
        header.body = advice;
    }
    auto *headerRow = new QHBoxLayout;
    headerRow->setSpacing(10);
    auto *symbol = new SymbolLabel(header.systemImage, 18, SemanticColor::primary, content);
    symbol->setObjectName(QStringLiteral("permissionSymbol"));
    symbol->setProperty("systemImage", header.systemImage);
    headerRow->addWidget(symbol, 0, Qt::AlignVCenter);
    auto *headerTexts = new QVBoxLayout;
    headerTexts->setSpacing(2);
    auto *title = new StudioText(header.title, systemFont(12, QFont::DemiBold), SemanticColor::label, content);
    title->setObjectName(QStringLiteral("permissionTitle"));
    headerTexts->addWidget(title);
    StudioText *body = wrappedText(header.body, systemFont(11, QFont::Normal), SemanticColor::secondary, content);
    body->setObjectName(QStringLiteral("permissionBody"));
    headerTexts->addWidget(body);
    headerRow->addLayout(headerTexts, 1);
    stack->addLayout(headerRow);

    CaptureCoordinator &coordinator = m_runtime.captureCoordinator();
    auto checkAgainButton = [&](const QString &hint) {
        auto *button = new QPushButton(QStringLiteral("Check Again"), content);
        button->setObjectName(QStringLiteral("checkAgain"));
        button->setAutoDefault(false);
        button->setFont(systemFont(11, QFont::Normal));
        button->setToolTip(hint);
        button->setAccessibleDescription(hint);
        connect(button, &QPushButton::clicked, this, [&coordinator] { coordinator.refreshPermissionState(); });
        return button;
    };

    if (!advice.isEmpty()) {
        auto *retry = new OnboardingPrimaryButton(PlatformTexts::requestScreenshotAccessButton(), true, content);
        retry->setObjectName(QStringLiteral("tryScreenshotAgain"));
        connect(retry, &QPushButton::clicked, this, [&coordinator] { coordinator.requestScreenCaptureAccess(); });
        stack->addWidget(retry, 0, Qt::AlignLeft);
    } else {
        switch (stage) {
        case CapturePermissionGuideStage::explanation: {
            stack->addWidget(new PermissionGuideStep(
                1, PlatformTexts::permissionApproveRequestTitle(),
                QStringLiteral("Tessaline only reads the region you choose after you start a capture. It never records "
                               "audio or runs a screen recording in the background."),
                false, content));
            auto *allow = new OnboardingPrimaryButton(QStringLiteral("Allow Screen Recording\u2026"), true, content);
            allow->setObjectName(QStringLiteral("allowScreenRecording"));
            allow->setAccessibleDescription(PlatformTexts::permissionRequestHint());
            allow->setToolTip(PlatformTexts::permissionRequestHint());
            // The panel follows the published state, not the answer.
            connect(allow, &QPushButton::clicked, this, [&coordinator] { coordinator.requestScreenCaptureAccess(); });
            stack->addWidget(allow, 0, Qt::AlignLeft);
            break;
        }
        case CapturePermissionGuideStage::systemSettings: {
            stack->addWidget(new PermissionGuideStep(1, QStringLiteral("Permission requested"),
                                                     PlatformTexts::permissionRequestCompleted(), true, content));
            stack->addWidget(new PermissionGuideStep(2, QStringLiteral("Turn on Tessaline"),
                                                     PlatformTexts::openPrivacySettingsInstruction(), false, content));
            auto *buttons = new QHBoxLayout;
            buttons->setSpacing(7);
            auto *open = new OnboardingPrimaryButton(PlatformTexts::openPrivacySettingsTitle(), true, content);
            open->setObjectName(QStringLiteral("openPrivacySettings"));
            open->setAccessibleDescription(PlatformTexts::openPrivacySettingsHint());
            open->setToolTip(PlatformTexts::openPrivacySettingsHint());
            // The runtime writes the request flag, marks the trip to the
            // settings, refreshes the state and then opens them, in that order.
            connect(open, &QPushButton::clicked, this, [this] { m_runtime.openScreenRecordingSettings(); });
            buttons->addWidget(open, 0, Qt::AlignVCenter);
            buttons->addWidget(checkAgainButton(QStringLiteral("Checks whether Screen Recording is now enabled for Tessaline.")),
                               0, Qt::AlignVCenter);
            buttons->addStretch(1);
            stack->addLayout(buttons);
            break;
        }
        case CapturePermissionGuideStage::restartRequired:
            stack->addWidget(new PermissionGuideStep(1, QStringLiteral("Screen Recording changed"),
                                                     PlatformTexts::permissionReturnedFromSettings(), true, content));
            stack->addWidget(new PermissionGuideStep(2, QStringLiteral("Relaunch once after setup"),
                                                     PlatformTexts::permissionRelaunchDetail(), false, content));
            stack->addWidget(checkAgainButton(
                                 QStringLiteral("Checks whether Screen Recording is already available without relaunching.")),
                             0, Qt::AlignLeft);
            break;
        case CapturePermissionGuideStage::authorized: {
            auto *ready = new QWidget(content);
            ready->setObjectName(QStringLiteral("capturesReady"));
            auto *row = new QHBoxLayout(ready);
            row->setContentsMargins(0, 0, 0, 0);
            row->setSpacing(5);
            row->addWidget(new SymbolLabel(QStringLiteral("checkmark.circle.fill"), 12, SemanticColor::secondary, ready));
            row->addWidget(new StudioText(QStringLiteral("Captures are ready from any app."), systemFont(11, QFont::Medium),
                                          SemanticColor::secondary, ready));
            row->addStretch(1);
            stack->addWidget(ready);
            break;
        }
        }
    }

    if (stage != CapturePermissionGuideStage::authorized) {
        StudioText *footnote = wrappedText(QStringLiteral("You can continue setup now and enable this later in Tessaline Settings."),
                                           systemFont(10.5, QFont::Normal), SemanticColor::tertiary, content);
        footnote->setObjectName(QStringLiteral("permissionFootnote"));
        stack->addWidget(footnote);
    }

    m_content = content;
    m_layout->addWidget(content);
    setAccessibleName(header.title);

    if (!reducesMotion() && isVisible()) {
        auto *effect = new QGraphicsOpacityEffect(content);
        effect->setOpacity(0);
        content->setGraphicsEffect(effect);
        auto *fade = new QPropertyAnimation(effect, "opacity", content);
        fade->setDuration(180);
        fade->setEasingCurve(QEasingCurve::OutQuad);
        fade->setStartValue(0.0);
        fade->setEndValue(1.0);
        connect(fade, &QPropertyAnimation::finished, content, [content] { content->setGraphicsEffect(nullptr); });
        fade->start(QAbstractAnimation::DeleteWhenStopped);
    }
}

void CapturePermissionPanel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    painter.fillPath(roundedShape(bounds, 10), color(SemanticColor::controlBackground, palette()));
    paintOnboardingHairline(&painter, bounds, 10, 0.68, palette(), increasesContrast());
}

// Welcome visual

namespace {

struct WelcomeCard
{
    const char *symbol;
    const char *title;
    qreal width;
    qreal rotation;
    QPointF offset;
};

const std::array<WelcomeCard, 3> welcomeCards{{
    {"viewfinder", "Capture", 196, -4, {-26, -60}},
    {"text.alignleft", "Write beside it", 212, 3, {34, 4}},
    {"link", "Keep it connected", 204, -2, {-20, 72}},
}};

} // namespace

WelcomeStudioVisual::WelcomeStudioVisual(QWidget *parent) : QWidget(parent)
{
    setAccessibleName(QStringLiteral("Capture, write beside it, and keep it connected"));
    connect(&AccessibilitySettings::shared(), &AccessibilitySettings::changed, this, qOverload<>(&QWidget::update));
}

void WelcomeStudioVisual::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_appeared)
        return;
    m_appeared = true;
    if (reducesMotion()) {
        m_appearance = 1;
        update();
        return;
    }
    // A critically damped spring of half a second settles like this curve.
    m_animation = new QVariantAnimation(this);
    m_animation->setDuration(500);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_appearance = value.toReal();
        update();
    });
    m_animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void WelcomeStudioVisual::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QPalette &shades = palette();
    const bool contrast = increasesContrast();
    const QRectF bounds = rect();
    painter.fillPath(roundedShape(bounds, 22), color(SemanticColor::primary, shades, 0.035));
    paintOnboardingHairline(&painter, bounds, 22, 0.55, shades, contrast);

    const qreal amount = reducesMotion() && m_appeared ? 1.0 : m_appearance;
    for (const WelcomeCard &card : welcomeCards) {
        painter.save();
        painter.translate(bounds.center() + card.offset * amount);
        painter.rotate(card.rotation * amount);
        const QRectF shape(-card.width / 2, -27, card.width, 54);
        paintShadow(&painter, shape, 12, color(SemanticColor::shadow, shades, 0.1), 10, QPointF(0, 4));
        painter.fillPath(roundedShape(shape, 12), color(SemanticColor::controlBackground, shades));
        paintOnboardingHairline(&painter, shape, 12, 0.7, shades, contrast);
        paintSymbol(&painter, QRectF(shape.left() + 14 + 2, -8, 16, 16), QString::fromLatin1(card.symbol),
                    color(SemanticColor::label, shades));
        painter.setPen(color(SemanticColor::label, shades));
        painter.setFont(systemFont(13, QFont::DemiBold));
        painter.drawText(QRectF(shape.left() + 14 + 20 + 10, shape.top(), card.width - 58, 54),
                         Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine, QString::fromLatin1(card.title));
        painter.restore();
    }
}

} // namespace tessaline

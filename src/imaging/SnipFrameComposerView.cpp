#include "imaging/SnipFrameComposerView.h"

#include "runtime/AppRuntime.h"
#include "runtime/ImageExportService.h"
#include "design/ErrorAlert.h"
#include "design/SheetSize.h"
#include "design/SemanticColors.h"
#include "design/SemanticPalette.h"
#include "design/StudioActionButton.h"
#include "design/StudioCompactButton.h"
#include "design/StudioDivider.h"
#include "design/StudioEmptyState.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/AccessibilitySettings.h"
#include "platform/Pasteboard.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QFrame>
#include <QGraphicsOpacityEffect>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShortcut>
#include <QSlider>
#include <QVariantAnimation>

#include <cmath>

namespace tessaline {

namespace {

constexpr double previewInset = 16; // per side: 32 points in all
constexpr double boxRadius = 12;
constexpr double disabledColumnOpacity = 0.62;

QFont sizedFont(const QFont &base, int pixels, QFont::Weight weight = QFont::Normal, bool monospaced = false)
{
    QFont font = base;
    if (monospaced) {
        font.setFamilies({QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
        font.setStyleHint(QFont::Monospace);
    }
    font.setPixelSize(pixels);
    font.setWeight(weight);
    return font;
}

QColor primary(const QPalette &palette, qreal opacity)
{
    return withOpacity(semanticColor(SemanticColor::primary, palette), opacity);
}

QWidget *divider(QWidget *parent)
{
    return new StudioDivider(Qt::Horizontal, parent);
}

// A black shape of `size` with the given corners, blurred, inside a margin
// wide enough for the blur to fade out.
QImage shadowMask(QSize size, double cornerRadius, double blur, int margin)
{
    QImage mask(size + QSize(2 * margin, 2 * margin), QImage::Format_Alpha8);
    if (mask.isNull())
        return mask;
    mask.fill(0);
    QPainter painter(&mask);
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    painter.drawRoundedRect(QRectF(QPointF(margin, margin), QSizeF(size)), cornerRadius, cornerRadius);
    painter.end();
    SnipFrameRenderer::blurAlphaMask(mask, blur);
    return mask;
}

} // namespace

void paintCheckerboard(QPainter &painter, const QRectF &rect, const QPalette &palette)
{
    constexpr double side = 9;
    painter.save();
    painter.fillRect(rect, semanticColor(SemanticColor::windowBackground, palette));
    painter.setClipRect(rect, Qt::IntersectClip);
    const int columns = int(std::ceil(rect.width() / side));
    const int rows = int(std::ceil(rect.height() / side));
    const QColor even = primary(palette, 0.055);
    const QColor odd = primary(palette, 0.11);
    for (int row = 0; row < rows; ++row) {
        for (int column = 0; column < columns; ++column) {
            painter.fillRect(QRectF(rect.left() + column * side, rect.top() + row * side, side, side),
                             (row + column) % 2 == 0 ? even : odd);
        }
    }
    painter.restore();
}

void paintFrameBackground(QPainter &painter, const QRectF &rect, SnipFramePreset preset, const QPalette &palette)
{
    switch (preset) {
    case SnipFramePreset::transparent:
        paintCheckerboard(painter, rect, palette);
        return;
    case SnipFramePreset::cleanPaper:
    case SnipFramePreset::graphite:
    case SnipFramePreset::warmSand:
        painter.fillRect(rect, *SnipFramePresets::flatColor(preset));
        return;
    case SnipFramePreset::mutedGradient: {
        QLinearGradient gradient(rect.topLeft(), rect.bottomRight());
        gradient.setColorAt(0, SnipFramePresets::gradientStartColor());
        gradient.setColorAt(1, SnipFramePresets::gradientEndColor());
        painter.fillRect(rect, gradient);
        return;
    }
    }
}

// --- SnipFramePreview -------------------------------------------------------

SnipFramePreview::SnipFramePreview(QWidget *parent) : QWidget(parent), m_animation(new QVariantAnimation(this))
{
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    m_animation->setStartValue(0.0);
    m_animation->setEndValue(1.0);
    m_animation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
        m_progress = value.toDouble();
        update();
    });
    connect(m_animation, &QVariantAnimation::finished, this, [this] {
        m_progress = 1;
        update();
    });
    refreshAccessibleName();
}

bool SnipFramePreview::isAnimating() const
{
    return m_animation->state() == QAbstractAnimation::Running;
}

SnipFrameStyle SnipFramePreview::displayedStyle() const
{
    if (m_progress >= 1)
        return m_style;
    const double t = m_progress;
    auto mix = [t](double from, double to) { return from + (to - from) * t; };
    SnipFrameStyle shown = m_style;
    shown.padding = mix(m_from.padding, m_style.padding);
    shown.cornerRadius = mix(m_from.cornerRadius, m_style.cornerRadius);
    // A shadow switched on or off fades through its opacity.
    const double fromOpacity = m_from.shadowIsEnabled ? m_from.shadowOpacity : 0;
    const double toOpacity = m_style.shadowIsEnabled ? m_style.shadowOpacity : 0;
    shown.shadowIsEnabled = m_from.shadowIsEnabled || m_style.shadowIsEnabled;
    shown.shadowOpacity = mix(fromOpacity, toOpacity);
    shown.shadowRadius = mix(m_from.shadowRadius, m_style.shadowRadius);
    shown.shadowOffsetY = mix(m_from.shadowOffsetY, m_style.shadowOffsetY);
    return shown;
}

void SnipFramePreview::setImage(const QImage &image)
{
    m_image = image;
    m_scaled = QImage();
    update();
}

void SnipFramePreview::setStyle(const SnipFrameStyle &style, std::chrono::milliseconds duration)
{
    if (style == m_style)
        return;
    const SnipFrameStyle shown = displayedStyle();
    m_animation->stop();
    m_style = style;
    if (duration.count() > 0 && isVisible() && !AccessibilitySettings::shared().reducesMotion()) {
        m_from = shown;
        m_progress = 0;
        m_animation->setDuration(int(duration.count()));
        m_animation->start();
    } else {
        m_progress = 1;
    }
    refreshAccessibleName();
    update();
}

void SnipFramePreview::refreshAccessibleName()
{
    setAccessibleName(QStringLiteral("Framed screenshot preview using ")
                      + SnipFramePresets::displayName(m_style.preset));
}

double SnipFramePreview::previewScale(QSizeF offered, QSizeF source, const SnipFrameStyle &style)
{
    const double p = style.clamped().padding;
    const QSizeF framed(source.width() + 2 * p, source.height() + 2 * p);
    auto axis = [](double available, double framedLength) {
        const double scale = framedLength > 1 ? available / framedLength : available;
        return std::max(scale, 0.01);
    };
    return std::min(axis(offered.width() - 2 * previewInset, framed.width()),
                    axis(offered.height() - 2 * previewInset, framed.height()));
}

double SnipFramePreview::scale() const
{
    return previewScale(QSizeF(size()), QSizeF(m_image.size()), m_style);
}

QSize SnipFramePreview::sizeHint() const
{
    return QSize(852, 360);
}

QSize SnipFramePreview::minimumSizeHint() const
{
    return QSize(120, 80);
}

void SnipFramePreview::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPalette &pal = palette();
    // The under-page colour: the window's, a shade towards the text.
    painter.fillRect(rect(), mixColors(semanticColor(SemanticColor::windowBackground, pal),
                                       semanticColor(SemanticColor::label, pal), 0.06));
    if (m_image.isNull())
        return;

    const SnipFrameStyle s = displayedStyle().clamped();
    const double k = previewScale(QSizeF(size()), QSizeF(m_image.size()), s);
    const QSizeF source(m_image.size());
    const QSizeF box((source.width() + 2 * s.padding) * k, (source.height() + 2 * s.padding) * k);
    const QRectF boxRect(QPointF((width() - box.width()) / 2, (height() - box.height()) / 2), box);
    const qreal dpr = devicePixelRatioF();

    // The box's own soft shadow, drawn from a cached blurred shape.
    const QString boxKey = QStringLiteral("%1x%2@%3").arg(box.width()).arg(box.height()).arg(dpr);
    if (boxKey != m_boxShadowKey) {
        m_boxShadowKey = boxKey;
        const int margin = 16;
        m_boxShadow = shadowMask(box.toSize(), boxRadius, 10, margin);
    }
    if (!m_boxShadow.isNull()) {
        painter.save();
        painter.setOpacity(0.06);
        painter.drawImage(boxRect.topLeft() + QPointF(-16, -16 + 3), m_boxShadow);
        painter.restore();
    }

    QPainterPath boxPath;
    boxPath.addRoundedRect(boxRect, boxRadius, boxRadius);
    painter.save();
    painter.setClipPath(boxPath);
    if (m_progress < 1 && m_from.preset != s.preset) {
        // The new background fades in over the old one.
        paintFrameBackground(painter, boxRect, m_from.preset, pal);
        painter.setOpacity(m_progress);
    }
    paintFrameBackground(painter, boxRect, s.preset, pal);
    painter.setOpacity(1);

    const QSizeF imageSize(source.width() * k, source.height() * k);
    const QRectF imageRect(QPointF(boxRect.center().x() - imageSize.width() / 2,
                                   boxRect.center().y() - imageSize.height() / 2),
                           imageSize);
    const double corner = s.cornerRadius * k;
    if (s.shadowIsEnabled && s.shadowOpacity > 0) {
        const double blur = s.shadowRadius * k;
        const int margin = int(std::ceil(1.5 * blur)) + 2;
        const QString key = QStringLiteral("%1x%2/%3/%4").arg(imageSize.width()).arg(imageSize.height()).arg(corner).arg(blur);
        if (key != m_imageShadowKey) {
            m_imageShadowKey = key;
            m_imageShadow = shadowMask(imageSize.toSize(), corner, blur, margin);
        }
        if (!m_imageShadow.isNull()) {
            painter.save();
            painter.setOpacity(s.shadowOpacity);
            painter.drawImage(imageRect.topLeft() + QPointF(-margin, -margin + s.shadowOffsetY * k), m_imageShadow);
            painter.restore();
        }
    }

    const QSize device = (imageSize * dpr).toSize().expandedTo(QSize(1, 1));
    if (m_scaled.size() != device)
        m_scaled = m_image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QPainterPath imagePath;
    imagePath.addRoundedRect(imageRect, corner, corner);
    painter.setClipPath(imagePath, Qt::IntersectClip);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(imageRect, m_scaled);
    painter.restore();

    // The box's hairline border, just inside its edge.
    painter.setPen(QPen(primary(pal, 0.1), 1));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(boxRect.adjusted(0.5, 0.5, -0.5, -0.5), boxRadius - 0.5, boxRadius - 0.5);
}

// --- FramePresetTile --------------------------------------------------------

FramePresetTile::FramePresetTile(SnipFramePreset preset, QWidget *parent) : QAbstractButton(parent), m_preset(preset)
{
    setText(SnipFramePresets::displayName(preset));
    setAccessibleName(text());
    setAccessibleDescription(SnipFrameComposerModel::presetAccessibilityHint(preset));
    setToolTip(SnipFrameComposerModel::presetAccessibilityHint(preset));
    setCursor(Qt::PointingHandCursor);
    // Reached with Tab; a click does not leave a focus ring behind.
    setFocusPolicy(Qt::TabFocus);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setCheckable(true);
}

void FramePresetTile::setSelected(bool selected)
{
    setChecked(selected);
}

QSize FramePresetTile::sizeHint() const
{
    return QSize(120, 7 + 42 + 7 + 15 + 7);
}

QSize FramePresetTile::minimumSizeHint() const
{
    return QSize(80, sizeHint().height());
}

void FramePresetTile::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, true);
    const QPalette &pal = palette();
    const QRectF bounds = QRectF(rect());
    painter.setPen(Qt::NoPen);
    painter.setBrush(primary(pal, isSelected() ? 0.07 : 0.025));
    painter.drawRoundedRect(bounds, 10, 10);

    const QRectF swatch(7, 7, bounds.width() - 14, 42);
    QPainterPath swatchPath;
    swatchPath.addRoundedRect(swatch, 7, 7);
    painter.save();
    painter.setClipPath(swatchPath);
    paintFrameBackground(painter, swatch, m_preset, pal);
    painter.restore();
    const double border = isSelected() ? 2 : 1;
    painter.setPen(QPen(primary(pal, isSelected() ? 1.0 : 0.12), border));
    painter.setBrush(Qt::NoBrush);
    const double inset = border / 2;
    painter.drawRoundedRect(swatch.adjusted(inset, inset, -inset, -inset), 7 - inset, 7 - inset);

    painter.setPen(semanticColor(SemanticColor::primary, pal));
    painter.setFont(sizedFont(font(), 11, isSelected() ? QFont::DemiBold : QFont::Normal));
    const QRectF label(7, swatch.bottom() + 7, bounds.width() - 14, bounds.height() - swatch.bottom() - 14);
    painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                     painter.fontMetrics().elidedText(text(), Qt::ElideRight, int(label.width())));
    if (hasFocus()) {
        painter.setPen(QPen(pal.color(QPalette::Highlight), 2));
        painter.drawRoundedRect(bounds.adjusted(1, 1, -1, -1), 9, 9);
    }
}

// --- SnipFrameComposerView --------------------------------------------------

SnipFrameComposerView::SnipFrameComposerView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent)
    : SnipFrameComposerView(SnipFrameComposerSource::card(cardID), &runtime, ClipboardPasteboard::general(), {},
                            parent)
{
}

SnipFrameComposerView::SnipFrameComposerView(const SnipFrameComposerSource &source, AppRuntime *runtime,
                                             Pasteboard &pasteboard, std::unique_ptr<DelayedAction> copiedReset,
                                             QWidget *parent)
    : QDialog(parent), m_model(new SnipFrameComposerModel(source, runtime, pasteboard, std::move(copiedReset), this))
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(QStringLiteral("Frame Screenshot"));
    setSizeGripEnabled(true);
    m_model->setPngSaver([this](const QImage &image, const QString &name,
                                SaveFileFlow::Completion completion) {
        ImageExportService::savePNG(image, name, this, std::move(completion));
    });
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    connect(m_model, &SnipFrameComposerModel::availabilityChanged, this, &SnipFrameComposerView::build);
    connect(m_model, &SnipFrameComposerModel::styleChanged, this, &SnipFrameComposerView::refreshStyle);
    connect(m_model, &SnipFrameComposerModel::stateChanged, this, &SnipFrameComposerView::refreshState);

    auto *copyKey = new QShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+C")), this);
    connect(copyKey, &QShortcut::activated, this, [this] {
        if (m_copy)
            m_model->copy();
    });
    build();
}

SnipFrameComposerView::~SnipFrameComposerView() = default;

QSize SnipFrameComposerView::sizeHint() const
{
    if (m_unavailable)
        return QSize(560, 360);
    return sheetSizeWithinScreen(this, QSize(900, 720), 0.92).expandedTo(minimumSize());
}

QLabel *SnipFrameComposerView::valueLabel(QSlider *slider) const
{
    return m_values.value(slider);
}

void SnipFrameComposerView::build()
{
    if (m_content) {
        layout()->removeWidget(m_content);
        m_content->deleteLater();
        m_content = nullptr;
    }
    m_unavailable = nullptr;
    m_preview = nullptr;
    m_badge = nullptr;
    m_tiles.clear();
    m_padding = m_corners = m_strength = m_softness = nullptr;
    m_shadow = nullptr;
    m_strengthColumn = m_softnessColumn = nullptr;
    m_values.clear();
    m_reset = m_cancel = nullptr;
    m_save = nullptr;
    m_copy = nullptr;

    if (m_model->isAvailable() || m_model->isLoading()) {
        m_content = new QWidget(this);
        m_content->setAutoFillBackground(true);
        keepSemanticColors(m_content, {{QPalette::Window, {SemanticColor::windowBackground}}});
    }
    // Roomy where the screen allows; on a small one the preview gives way
    // so the controls and Copy Framed stay on screen.
    const QSize roomy(760, 650);
    const QSize least = sheetSizeWithinScreen(this, roomy, 0.9);
    if (m_model->isLoading()) {
        // Empty, at the size the picture will be framed in, until it is read.
        layout()->addWidget(m_content);
        setMinimumSize(least);
        return;
    }

    if (!m_model->isAvailable()) {
        const bool unrenderable =
            m_model->availability() == SnipFrameComposerModel::Availability::annotationsUnrenderable;
        m_unavailable = new StudioEmptyState(
            QStringLiteral("Snip unavailable"),
            unrenderable ? QStringLiteral("Its annotations could not be read or drawn, so it cannot be framed.")
                         : QStringLiteral("This capture may have been deleted."),
            QStringLiteral("photo.badge.exclamationmark"));
        m_content = m_unavailable;
        m_content->setParent(this);
        setMinimumSize(0, 0);
        m_unavailable->setFixedSize(560, 360);
        layout()->addWidget(m_content);
        adjustSize();
        return;
    }

    auto *column = new QVBoxLayout(m_content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    column->addWidget(divider(m_content));
    auto *previewHolder = new QWidget(m_content);
    auto *previewLayout = new QVBoxLayout(previewHolder);
    const int previewMargin = least.height() < roomy.height() ? 10 : 24;
    previewLayout->setContentsMargins(24, previewMargin, 24, previewMargin);
    m_preview = new SnipFramePreview(previewHolder);
    m_preview->setImage(m_model->image());
    previewLayout->addWidget(m_preview);
    column->addWidget(previewHolder, 1);
    column->addWidget(divider(m_content));
    column->addWidget(buildControls());
    column->addWidget(divider(m_content));
    column->addWidget(buildFooter());
    layout()->addWidget(m_content);
    setMinimumSize(least);
    refreshStyle();
    refreshState();
    m_copy->setFocus(Qt::OtherFocusReason);
}

QWidget *SnipFrameComposerView::buildHeader()
{
    auto *header = new QWidget(m_content);
    header->setFixedHeight(66);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(24, 0, 24, 0);
    row->setSpacing(12);
    auto *titles = new QVBoxLayout;
    titles->setSpacing(3);
    titles->addStretch(1);
    auto *title = new QLabel(QStringLiteral("Frame Screenshot"), header);
    title->setFont(sizedFont(font(), 17, QFont::DemiBold));
    auto *subtitle = new QLabel(QStringLiteral("Create a polished copy. Your original remains unchanged."), header);
    subtitle->setFont(sizedFont(font(), 12));
    keepSemanticColors(subtitle, {{QPalette::WindowText, {SemanticColor::secondary}}});
    titles->addWidget(title);
    titles->addWidget(subtitle);
    titles->addStretch(1);
    row->addLayout(titles);
    row->addStretch(1);

    m_badge = new QLabel(header);
    m_badge->setTextFormat(Qt::PlainText);
    m_badge->setFont(sizedFont(font(), 11, QFont::Medium, true));
    m_badge->setFixedHeight(26);
    m_badge->setContentsMargins(9, 0, 9, 0);
    const QColor fill = primary(palette(), 0.055);
    const QColor text = semanticColor(SemanticColor::secondary, palette());
    m_badge->setStyleSheet(QStringLiteral("QLabel { background: rgba(%1, %2, %3, %4); color: rgba(%5, %6, %7, %8);"
                                          " border-radius: 13px; }")
                               .arg(fill.red()).arg(fill.green()).arg(fill.blue()).arg(fill.alpha())
                               .arg(text.red()).arg(text.green()).arg(text.blue()).arg(text.alpha()));
    row->addWidget(m_badge);
    return header;
}

QSlider *SnipFrameComposerView::addSliderColumn(QWidget *column, const QString &title, QWidget *headerLead,
                                                int minimum, int maximum, int step)
{
    auto *layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(7);
    auto *header = new QHBoxLayout;
    header->setSpacing(6);
    if (headerLead) {
        header->addWidget(headerLead);
    } else {
        auto *label = new QLabel(title, column);
        label->setFont(sizedFont(font(), 12, QFont::Medium));
        header->addWidget(label);
    }
    header->addStretch(1);
    auto *value = new QLabel(column);
    value->setTextFormat(Qt::PlainText);
    value->setFont(sizedFont(font(), 10, QFont::Normal, true));
    keepSemanticColors(value, {{QPalette::WindowText, {SemanticColor::secondary}}});
    header->addWidget(value);
    layout->addLayout(header);
    auto *slider = new QSlider(Qt::Horizontal, column);
    slider->setRange(minimum, maximum);
    slider->setSingleStep(step);
    slider->setPageStep(step * 4);
    slider->setAccessibleName(title);
    layout->addWidget(slider);
    m_values.insert(slider, value);
    return slider;
}

QWidget *SnipFrameComposerView::buildControls()
{
    auto *controls = new QWidget(m_content);
    auto *column = new QVBoxLayout(controls);
    column->setContentsMargins(24, 18, 24, 18);
    column->setSpacing(17);
    auto *background = new QLabel(QStringLiteral("Background"), controls);
    background->setFont(sizedFont(font(), 12, QFont::DemiBold));
    keepSemanticColors(background, {{QPalette::WindowText, {SemanticColor::secondary}}});
    column->addWidget(background);

    auto *tiles = new QHBoxLayout;
    tiles->setSpacing(10);
    for (SnipFramePreset preset : SnipFramePresets::all()) {
        auto *tile = new FramePresetTile(preset, controls);
        connect(tile, &QAbstractButton::clicked, this, [this, preset] {
            animateNextStyleChange(std::chrono::milliseconds(160));
            m_model->selectPreset(preset);
            animateNextStyleChange(std::chrono::milliseconds(0));
        });
        tiles->addWidget(tile);
        m_tiles.append(tile);
    }
    column->addLayout(tiles);

    auto *grid = new QGridLayout;
    grid->setHorizontalSpacing(18);
    grid->setVerticalSpacing(11);

    // Padding moves in steps of 4, so its slider counts steps.
    auto *paddingColumn = new QWidget(controls);
    m_padding = addSliderColumn(paddingColumn, QStringLiteral("Padding"), nullptr, 0, 40, 1);
    connect(m_padding, &QSlider::valueChanged, m_model, [this](int value) { m_model->setPadding(value * 4.0); });

    auto *cornerColumn = new QWidget(controls);
    m_corners = addSliderColumn(cornerColumn, QStringLiteral("Corners"), nullptr, 0, 48, 1);
    connect(m_corners, &QSlider::valueChanged, m_model, [this](int value) { m_model->setCornerRadius(value); });

    m_softnessColumn = new QWidget(controls);
    m_shadow = new QCheckBox(QStringLiteral("Shadow"), m_softnessColumn);
    m_shadow->setAccessibleName(QStringLiteral("Shadow"));
    connect(m_shadow, &QCheckBox::toggled, m_model, &SnipFrameComposerModel::setShadowEnabled);
    m_softness = addSliderColumn(m_softnessColumn, QStringLiteral("Shadow softness"), m_shadow, 0, 48, 1);
    connect(m_softness, &QSlider::valueChanged, m_model, [this](int value) { m_model->setShadowRadius(value); });

    // Opacity in hundredths.
    m_strengthColumn = new QWidget(controls);
    m_strength = addSliderColumn(m_strengthColumn, QStringLiteral("Shadow strength"), nullptr, 5, 40, 1);
    connect(m_strength, &QSlider::valueChanged, m_model, [this](int value) { m_model->setShadowOpacity(value / 100.0); });

    for (QWidget *dimmable : {m_softnessColumn, m_strengthColumn}) {
        auto *effect = new QGraphicsOpacityEffect(dimmable);
        effect->setOpacity(1);
        dimmable->setGraphicsEffect(effect);
    }

    grid->addWidget(paddingColumn, 0, 0);
    grid->addWidget(cornerColumn, 0, 1);
    grid->addWidget(m_softnessColumn, 1, 0);
    grid->addWidget(m_strengthColumn, 1, 1);
    column->addLayout(grid);
    return controls;
}

QWidget *SnipFrameComposerView::buildFooter()
{
    auto *footer = new QWidget(m_content);
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(24, 14, 24, 14);
    row->setSpacing(10);
    m_reset = new StudioCompactButton(QStringLiteral("Reset"), false, StudioControlProminence::standard, footer);
    m_reset->setTracksHover(true);
    connect(m_reset, &QAbstractButton::clicked, this, [this] {
        animateNextStyleChange(std::chrono::milliseconds(180));
        m_model->reset();
        animateNextStyleChange(std::chrono::milliseconds(0));
    });
    m_cancel = new StudioCompactButton(QStringLiteral("Cancel"), false, StudioControlProminence::standard, footer);
    m_cancel->setTracksHover(true);
    connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    m_save = new StudioActionButton(QStringLiteral("Save PNG…"), QStringLiteral("square.and.arrow.down"), false,
                                    StudioControlProminence::standard, [this] { m_model->save(); }, footer);
    m_copy = new TessalinePrimaryButton(QStringLiteral("Copy Framed"), QStringLiteral("doc.on.doc"), footer);
    m_copy->setToolTip(QStringLiteral("Copy the framed screenshot (Ctrl+Shift+C)"));
    connect(m_copy, &QAbstractButton::clicked, m_model, &SnipFrameComposerModel::copy);
    row->addWidget(m_reset);
    row->addStretch(1);
    row->addWidget(m_cancel);
    row->addWidget(m_save);
    row->addWidget(m_copy);
    return footer;
}

void SnipFrameComposerView::animateNextStyleChange(std::chrono::milliseconds duration)
{
    m_nextStyleAnimation = duration;
}

void SnipFrameComposerView::refreshStyle()
{
    if (!m_preview)
        return;
    const SnipFrameStyle style = m_model->style();
    m_preview->setStyle(style, std::exchange(m_nextStyleAnimation, std::chrono::milliseconds(0)));
    m_badge->setText(m_model->outputSizeText());
    m_badge->setAccessibleName(QStringLiteral("Output size ") + m_model->outputSizeText());
    for (FramePresetTile *tile : std::as_const(m_tiles))
        tile->setSelected(tile->preset() == style.preset);

    auto sync = [](QSlider *slider, int value) {
        const QSignalBlocker blocker(slider);
        slider->setValue(value);
    };
    sync(m_padding, int(std::lround(style.padding / 4.0)));
    sync(m_corners, int(std::lround(style.cornerRadius)));
    sync(m_softness, int(std::lround(style.shadowRadius)));
    sync(m_strength, int(std::lround(style.shadowOpacity * 100)));
    {
        const QSignalBlocker blocker(m_shadow);
        m_shadow->setChecked(style.shadowIsEnabled);
    }
    const QString padding = SnipFrameComposerModel::pixelText(style.padding);
    const QString corners = SnipFrameComposerModel::pixelText(style.cornerRadius);
    const QString softness = SnipFrameComposerModel::pixelText(style.shadowRadius);
    const QString strength = SnipFrameComposerModel::percentText(style.shadowOpacity);
    m_values[m_padding]->setText(padding);
    m_values[m_corners]->setText(corners);
    m_values[m_softness]->setText(softness);
    m_values[m_strength]->setText(strength);
    m_padding->setAccessibleDescription(padding);
    m_corners->setAccessibleDescription(corners);
    m_strength->setAccessibleDescription(strength);
    m_softness->setAccessibleDescription(QString::number(qint64(std::round(style.shadowRadius)))
                                         + QStringLiteral(" pixels"));

    // Strength and softness mean nothing without a shadow; the switch itself
    // stays usable.
    m_softness->setEnabled(style.shadowIsEnabled);
    m_strength->setEnabled(style.shadowIsEnabled);
    for (QWidget *dimmable : {m_softnessColumn, m_strengthColumn}) {
        if (auto *effect = qobject_cast<QGraphicsOpacityEffect *>(dimmable->graphicsEffect()))
            effect->setOpacity(style.shadowIsEnabled ? 1.0 : disabledColumnOpacity);
    }
    m_reset->setEnabled(m_model->canReset());
}

void SnipFrameComposerView::refreshState()
{
    if (m_copy) {
        const bool copied = m_model->isCopied();
        m_copy->setText(copied ? QStringLiteral("Copied") : QStringLiteral("Copy Framed"));
        m_copy->setSystemImage(copied ? QStringLiteral("checkmark") : QStringLiteral("doc.on.doc"));
    }
    if (m_save)
        m_save->setEnabled(!m_model->isSaving());

    syncErrorAlert(m_alert, this, QStringLiteral("Couldn’t create framed image"), m_model->errorMessage(),
                   [model = m_model] { model->clearErrorMessage(); });
}

} // namespace tessaline

#pragma once

#include "imaging/SnipFrameComposerModel.h"

#include <QAbstractButton>
#include <QDialog>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

class QCheckBox;
class QLabel;
class QPainter;
class QSlider;
class QVariantAnimation;

namespace tessaline {

class AppRuntime;
class Pasteboard;
class StudioActionButton;
class StudioCompactButton;
class StudioEmptyState;
class TessalinePrimaryButton;

// The on-screen look of a preset's background: the checkerboard that stands
// for transparency, a flat colour or the gradient.
void paintFrameBackground(QPainter &painter, const QRectF &rect, SnipFramePreset preset, const QPalette &palette);
// Squares of 9 points, alternating the text colour at 5.5 % and 11 %.
void paintCheckerboard(QPainter &painter, const QRectF &rect, const QPalette &palette);

// The live preview: the unframed image and a few shapes scaled by one
// factor, so dragging a slider never runs the full-resolution renderer.
class SnipFramePreview : public QWidget
{
    Q_OBJECT
public:
    explicit SnipFramePreview(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    // The style being shown, and the one drawn at this moment (between the
    // two while a change eases in).
    SnipFrameStyle style() const { return m_style; }
    SnipFrameStyle displayedStyle() const;
    bool isAnimating() const;
    // Eases from what is drawn now to the new style over `duration`, ease-out;
    // at once for a zero duration, while hidden or under reduce motion.
    void setStyle(const SnipFrameStyle &style, std::chrono::milliseconds duration = {});

    // The scale that fits the framed picture of a `source`-pixel image into
    // `offered` points with 16 points to spare on every side; never below
    // 0.01, and a small snip is enlarged.
    static double previewScale(QSizeF offered, QSizeF source, const SnipFrameStyle &style);
    double scale() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void refreshAccessibleName();

    QImage m_image;
    SnipFrameStyle m_style;
    SnipFrameStyle m_from;
    QVariantAnimation *m_animation;
    double m_progress = 1;
    // Drawn at the last size and style only; rebuilt when either changes.
    QImage m_scaled;
    QImage m_imageShadow;
    QImage m_boxShadow;
    QString m_imageShadowKey;
    QString m_boxShadowKey;
};

// One background choice of the composer: a swatch and the preset's name.
class FramePresetTile : public QAbstractButton
{
    Q_OBJECT
public:
    FramePresetTile(SnipFramePreset preset, QWidget *parent = nullptr);
    SnipFramePreset preset() const { return m_preset; }
    // Shown to assistive technology as the checked state; only the owner
    // changes it, a click merely asks for the preset.
    bool isSelected() const { return isChecked(); }
    void setSelected(bool selected);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void nextCheckState() override {}

private:
    SnipFramePreset m_preset;
};

// The "Frame Screenshot" sheet: a snip with its annotations drawn in, on a
// background chosen from the presets, with padding, corners and a shadow;
// Copy Framed puts the framed picture on the clipboard and Save PNG… writes
// it to a file. The stored card is never changed. The main window opens it
// while the navigation state names a card for framing and clears that name
// when it closes.
class SnipFrameComposerView : public QDialog
{
    Q_OBJECT
public:
    SnipFrameComposerView(const QUuid &cardID, AppRuntime &runtime, QWidget *parent = nullptr);
    // With a clipboard and a "Copied" timer of the caller's choosing.
    SnipFrameComposerView(const SnipFrameComposerSource &source, AppRuntime *runtime, Pasteboard &pasteboard,
                          std::unique_ptr<DelayedAction> copiedReset = {}, QWidget *parent = nullptr);
    ~SnipFrameComposerView() override;

    SnipFrameComposerModel &model() const { return *m_model; }
    StudioEmptyState *unavailablePanel() const { return m_unavailable; }
    SnipFramePreview *preview() const { return m_preview; }
    QLabel *outputSizeBadge() const { return m_badge; }
    QList<FramePresetTile *> presetTiles() const { return m_tiles; }
    QSlider *paddingSlider() const { return m_padding; }
    QSlider *cornerSlider() const { return m_corners; }
    QSlider *shadowStrengthSlider() const { return m_strength; }
    QSlider *shadowSoftnessSlider() const { return m_softness; }
    QCheckBox *shadowToggle() const { return m_shadow; }
    QLabel *valueLabel(QSlider *slider) const;
    StudioCompactButton *resetButton() const { return m_reset; }
    StudioCompactButton *cancelButton() const { return m_cancel; }
    StudioActionButton *saveButton() const { return m_save; }
    TessalinePrimaryButton *copyButton() const { return m_copy; }
    QMessageBox *errorAlert() const { return m_alert; }

    QSize sizeHint() const override;

private:
    void build();
    QWidget *buildHeader();
    QWidget *buildControls();
    QWidget *buildFooter();
    QSlider *addSliderColumn(QWidget *column, const QString &title, QWidget *header, int minimum, int maximum,
                             int step);
    void refreshStyle();
    void refreshState();
    // How the next style change reaches the preview: eased for a preset
    // choice and Reset, at once for slider and switch moves.
    void animateNextStyleChange(std::chrono::milliseconds duration);

    SnipFrameComposerModel *m_model;
    QWidget *m_content = nullptr;
    StudioEmptyState *m_unavailable = nullptr;
    SnipFramePreview *m_preview = nullptr;
    QLabel *m_badge = nullptr;
    QList<FramePresetTile *> m_tiles;
    QSlider *m_padding = nullptr;
    QSlider *m_corners = nullptr;
    QSlider *m_strength = nullptr;
    QSlider *m_softness = nullptr;
    QCheckBox *m_shadow = nullptr;
    QWidget *m_strengthColumn = nullptr;
    QWidget *m_softnessColumn = nullptr;
    QMap<QSlider *, QLabel *> m_values;
    StudioCompactButton *m_reset = nullptr;
    StudioCompactButton *m_cancel = nullptr;
    StudioActionButton *m_save = nullptr;
    TessalinePrimaryButton *m_copy = nullptr;
    QPointer<QMessageBox> m_alert;
    std::chrono::milliseconds m_nextStyleAnimation{0};
};

} // namespace tessaline

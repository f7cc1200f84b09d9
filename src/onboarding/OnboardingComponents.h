#pragma once

#include "design/ShapePainting.h"
#include "runtime/OnboardingState.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QWidget>

class QPainter;
class QVBoxLayout;
class QVariantAnimation;

namespace tessaline {

class AppRuntime;

// The pieces the first-run setup window is built from: an eyebrow, feature
// rows, illustration panels, the welcome visual, the setup's own primary
// button and the screen-capture permission panel with its numbered steps.

// The thin border every setup surface wears: a one-pixel separator-coloured
// line inside the rounded outline of `rect`.
// A solid line of `width` drawn inside a shape's outline.
InsideStroke solidInsideStroke(const QColor &color, qreal width);

void paintOnboardingHairline(QPainter *painter, const QRectF &rect, qreal cornerRadius, qreal opacity,
                             const QPalette &palette, bool increasedContrast);

// The setup's illustrations, drawn rather than loaded so they follow the
// theme: "OnboardingCapture" (a screen region becoming an annotated snip)
// and "OnboardingThinking" (a note with writing and inline snips). Any other
// name draws nothing.
void paintOnboardingIllustration(QPainter *painter, const QRectF &rect, const QString &assetName,
                                 const QPalette &palette);

// The small letter-spaced caption above a page's title.
class OnboardingEyebrow : public QLabel
{
    Q_OBJECT
public:
    explicit OnboardingEyebrow(const QString &title, QWidget *parent = nullptr);
};

// A symbol beside a title and a one-line detail.
class OnboardingFeatureRow : public QWidget
{
    Q_OBJECT
public:
    OnboardingFeatureRow(const QString &icon, const QString &title, const QString &detail, QWidget *parent = nullptr);
};

// A 330 × 315 picture on white with rounded corners and the hairline.
class OnboardingIllustrationPanel : public QWidget
{
    Q_OBJECT
public:
    OnboardingIllustrationPanel(const QString &assetName, const QString &accessibilityLabel, QWidget *parent = nullptr);
    QString assetName() const { return m_assetName; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QString m_assetName;
};

// The setup window's prominent button: an inverted chip, in two sizes.
// Disabled it turns to a muted fill with a separator border; increased
// contrast adds a border; it shrinks a little while pressed unless reduce
// motion is on.
class OnboardingPrimaryButton : public QPushButton
{
    Q_OBJECT
public:
    explicit OnboardingPrimaryButton(const QString &title, bool compact, QWidget *parent = nullptr);

    bool isCompact() const { return m_compact; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override;

private:
    qreal cornerRadius() const { return m_compact ? 6 : 8; }
    bool m_compact;
    qreal m_pressAmount = 0;
    QVariantAnimation *m_press;
};

// A quiet, borderless text button (Skip, Skip Tour) that still shows the
// app's focus ring when the keyboard reaches it: the style draws none for a
// flat button, so a keyboard user would lose track of where they are.
class OnboardingTextButton : public QPushButton
{
    Q_OBJECT
public:
    explicit OnboardingTextButton(const QString &title, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

// One numbered step of the permission guide: a numbered circle (a check
// mark once complete), a title and a detail.
class PermissionGuideStep : public QWidget
{
    Q_OBJECT
public:
    PermissionGuideStep(int number, const QString &title, const QString &detail, bool isComplete,
                        QWidget *parent = nullptr);
    bool isComplete() const { return m_isComplete; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    int m_number;
    bool m_isComplete;
};

// The header of each stage of the permission guide.
struct CapturePermissionGuideHeader
{
    QString systemImage;
    QString title;
    QString body;
};
CapturePermissionGuideHeader capturePermissionGuideHeader(CapturePermissionGuideStage stage);

// The screen-capture permission panel: it shows the stage of the capture
// coordinator's current permission state and asks for access, re-checks it
// or opens the desktop's privacy settings through the runtime. It follows
// every published state, fading between stages unless reduce motion is on.
class CapturePermissionPanel : public QWidget
{
    Q_OBJECT
public:
    explicit CapturePermissionPanel(AppRuntime &runtime, QWidget *parent = nullptr);

    CapturePermissionGuideStage stage() const { return m_stage; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void rebuild();

    AppRuntime &m_runtime;
    CapturePermissionGuideStage m_stage = CapturePermissionGuideStage::explanation;
    // The desktop's own advice shown instead of the privacy steps.
    QString m_advice;
    bool m_built = false;
    QVBoxLayout *m_layout;
    QPointer<QWidget> m_content;
};

// Three tilted cards ("Capture", "Write beside it", "Keep it connected") on
// a soft backdrop. They spread out once, the first time the visual is shown;
// under reduce motion they are spread from the start.
class WelcomeStudioVisual : public QWidget
{
    Q_OBJECT
public:
    explicit WelcomeStudioVisual(QWidget *parent = nullptr);

    // 0 while stacked in the centre, 1 once spread.
    qreal appearance() const { return m_appearance; }
    bool hasAppeared() const { return m_appeared; }

protected:
    void showEvent(QShowEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    bool m_appeared = false;
    qreal m_appearance = 0;
    QVariantAnimation *m_animation = nullptr;
};

} // namespace tessaline

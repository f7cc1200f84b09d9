#include "onboarding/OnboardingExperienceView.h"

#include "runtime/AppRuntime.h"
#include "runtime/LibraryQuery.h"
#include "onboarding/OnboardingComponents.h"
#include "design/SemanticPalette.h"
#include "design/SheetSize.h"
#include "design/DesignTokens.h"
#include "design/SemanticColors.h"
#include "design/ShapePainting.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TextInputDirection.h"
#include "model/Board.h"
#include "model/ModelContext.h"
#include "runtime/OnboardingCoordinator.h"
#include "platform/AccessibilitySettings.h"
#include "platform/PlatformTexts.h"
#include "platform/SymbolIcon.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QVariantAnimation>

#include <cmath>

namespace tessaline {

using TessalineTypography::systemFont;

namespace {

constexpr int pageCount = int(allOnboardingPages.size());

bool reducesMotion() { return AccessibilitySettings::shared().reducesMotion(); }

QColor shade(SemanticColor color, const QPalette &palette, qreal opacity = 1)
{
    return withOpacity(semanticColor(color, palette, AccessibilitySettings::shared().increasesContrast()), opacity);
}

// The check in a faint disc that opens the last page, drawn at each paint in
// the colours of the moment.
class ReadyBadge : public QWidget
{
public:
    explicit ReadyBadge(QWidget *parent) : QWidget(parent) { setFixedSize(92, 92); }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade(SemanticColor::primary, palette(), 0.06));
        painter.drawEllipse(QRectF(0, 0, 92, 92));
        painter.drawPixmap(QPointF(29, 29), SymbolIcon::tintedPixmap(QStringLiteral("checkmark"), QSize(34, 34),
                                                                     devicePixelRatioF(),
                                                                     shade(SemanticColor::primary, palette())));
    }
};

QFont trackedFont(qreal size, QFont::Weight weight, qreal tracking)
{
    QFont font = systemFont(size, weight);
    font.setLetterSpacing(QFont::AbsoluteSpacing, tracking);
    return font;
}

StudioText *paragraph(const QString &text, const QFont &font, SemanticColor color, QWidget *parent)
{
    auto *label = new StudioText(text, font, color, parent);
    label->setWordWrap(true);
    return label;
}

// A text column of a page, at most `width` wide.
QVBoxLayout *column(QWidget *holder, int spacing, int width)
{
    holder->setMaximumWidth(width);
    auto *stack = new QVBoxLayout(holder);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(spacing);
    return stack;
}

// A strip with a hairline along one edge and an optional fill.
class EdgeStrip : public QWidget
{
public:
    EdgeStrip(bool lineAtTop, bool filled, QWidget *parent) : QWidget(parent), m_lineAtTop(lineAtTop), m_filled(filled) {}

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        if (m_filled)
            painter.fillRect(rect(), shade(SemanticColor::controlBackground, palette()));
        const int y = m_lineAtTop ? 0 : height() - 1;
        painter.fillRect(QRect(0, y, width(), 1), shade(SemanticColor::separator, palette()));
    }

private:
    bool m_lineAtTop;
    bool m_filled;
};

// The name field's rounded well; its border thickens while the field has
// the keyboard focus.
class NameFieldFrame : public QWidget
{
public:
    NameFieldFrame(QLineEdit *field, QWidget *parent) : QWidget(parent), m_field(field)
    {
        setFixedHeight(40);
        auto *layout = new QHBoxLayout(this);
        layout->setContentsMargins(12, 0, 12, 0);
        field->setParent(this);
        field->setFrame(false);
        QPalette clear = field->palette();
        clear.setColor(QPalette::Base, Qt::transparent);
        field->setPalette(clear);
        layout->addWidget(field);
        field->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_field && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
            update();
        return QWidget::eventFilter(watched, event);
    }
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = rect();
        painter.fillPath(roundedShape(bounds, 9), shade(SemanticColor::controlBackground, palette()));
        const bool focused = m_field->hasFocus();
        strokeInside(&painter, bounds, 9,
                     focused ? solidInsideStroke(shade(SemanticColor::primary, palette()), 1.5)
                             : solidInsideStroke(shade(SemanticColor::separator, palette()), 1));
    }

private:
    QLineEdit *m_field;
};

} // namespace

// One capsule per page: the current one wide, those up to it in the
// primary colour, the rest faint. The wide capsule slides to a new page.
class OnboardingPageDots : public QWidget
{
public:
    explicit OnboardingPageDots(QWidget *parent) : QWidget(parent), m_animation(new QVariantAnimation(this))
    {
        setFixedSize(22 + 3 * 7 + 3 * 7, 7);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        QObject::connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant &value) {
            m_position = value.toReal();
            update();
        });
    }

    void setPage(int page, bool animated)
    {
        m_page = page;
        setAccessibleName(QStringLiteral("Step %1 of %2").arg(page + 1).arg(pageCount));
        m_animation->stop();
        if (!animated || reducesMotion() || !isVisible()) {
            m_position = page;
            update();
            return;
        }
        m_animation->setDuration(240);
        m_animation->setStartValue(m_position);
        m_animation->setEndValue(qreal(page));
        m_animation->start();
    }
    int page() const { return m_page; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        qreal x = 0;
        for (int i = 0; i < pageCount; ++i) {
            const qreal nearness = std::max(0.0, 1.0 - std::abs(m_position - i));
            const qreal width = 7 + 15 * nearness;
            const QColor fill = i <= m_page ? shade(SemanticColor::primary, palette())
                                            : shade(SemanticColor::secondary, palette(), 0.22);
            painter.fillPath(roundedShape(QRectF(x, 0, width, 7), 3.5), fill);
            x += width + 7;
        }
    }

private:
    QVariantAnimation *m_animation;
    int m_page = 0;
    qreal m_position = 0;
};

// Holds the four pages and shows one. A new page moves in from the trailing
// edge while the old one leaves towards the leading edge, both fading; under
// reduce motion the page simply changes.
class OnboardingPageArea : public QWidget
{
public:
    explicit OnboardingPageArea(QWidget *parent) : QWidget(parent) {}

    void addPage(QWidget *page)
    {
        page->setParent(this);
        page->hide();
    }

    void showPage(QWidget *page)
    {
        if (m_animation)
            m_animation->stop(); // its finish handler settles the pages
        QWidget *previous = m_current;
        m_current = page;
        page->setGeometry(rect());
        page->show();
        page->raise();
        if (!previous || previous == page)
            return;
        if (reducesMotion() || !isVisible()) {
            previous->hide();
            return;
        }
        auto *incoming = new QGraphicsOpacityEffect(page);
        auto *outgoing = new QGraphicsOpacityEffect(previous);
        incoming->setOpacity(0);
        page->setGraphicsEffect(incoming);
        previous->setGraphicsEffect(outgoing);
        auto *animation = new QVariantAnimation(this);
        m_animation = animation;
        animation->setDuration(240);
        animation->setEasingCurve(QEasingCurve::OutCubic);
        animation->setStartValue(0.0);
        animation->setEndValue(1.0);
        QPointer<QWidget> in(page);
        QPointer<QWidget> out(previous);
        QObject::connect(animation, &QVariantAnimation::valueChanged, this, [this, in, out, incoming, outgoing](const QVariant &value) {
            const qreal t = value.toReal();
            if (in) {
                in->move(int(std::round(width() * (1 - t))), 0);
                incoming->setOpacity(t);
            }
            if (out) {
                out->move(int(std::round(-width() * t)), 0);
                outgoing->setOpacity(1 - t);
            }
        });
        QObject::connect(animation, &QVariantAnimation::finished, this, [this, in, out] {
            if (out && out != m_current) {
                out->hide();
                out->move(0, 0);
                out->setGraphicsEffect(nullptr);
            }
            if (in) {
                in->move(0, 0);
                in->setGraphicsEffect(nullptr);
            }
        });
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    }

protected:
    void resizeEvent(QResizeEvent *event) override
    {
        QWidget::resizeEvent(event);
        if (m_current)
            m_current->setGeometry(rect());
    }

private:
    QPointer<QWidget> m_current;
    QPointer<QVariantAnimation> m_animation;
};

OnboardingExperienceView::OnboardingExperienceView(AppRuntime &runtime, OnboardingCoordinator &onboarding,
                                                   LibraryQuery &library, QWidget *parent)
    : QDialog(parent)
    , m_runtime(runtime)
    , m_onboarding(onboarding)
    , m_library(library)
    , m_shownPage(onboarding.page())
{
    setWindowTitle(QStringLiteral("Tessaline"));
    setObjectName(QStringLiteral("onboardingSheet"));
    // Its own size where the screen has room; on a small screen (a laptop
    // at twice the scale) no taller than fits, so the footer stays in view.
    setFixedSize(sheetSizeWithinScreen(this, QSize(790, fullHeight), 0.9));
    // A fixed-size modal: a title and a close button, nothing to minimise
    // or maximise.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    setAutoFillBackground(true);
    keepSemanticColors(this, {{QPalette::Window, {SemanticColor::windowBackground}}});

    auto *stack = new QVBoxLayout(this);
    stack->setContentsMargins(0, 0, 0, 0);
    stack->setSpacing(0);
    stack->addWidget(buildHeader());
    m_pageArea = new OnboardingPageArea(this);
    m_pages = {buildWelcomePage(), buildCapturePage(), buildThinkingPage(), buildReadyPage()};
    for (QWidget *page : m_pages)
        m_pageArea->addPage(page);
    stack->addWidget(m_pageArea, 1);
    stack->addWidget(buildFooter());

    connect(&onboarding, &OnboardingCoordinator::pageChanged, this, &OnboardingExperienceView::pageDidChange);
    connect(&onboarding, &OnboardingCoordinator::draftNameChanged, this, [this] {
        syncName();
        syncFooter();
    });
    connect(&runtime, &AppRuntime::shortcutConfigurationChanged, this, &OnboardingExperienceView::syncCaptureText);
    connect(&runtime, &AppRuntime::captureBehaviorPreferencesChanged, this, &OnboardingExperienceView::syncReviewToggle);
    connect(&library.context(), &ModelContext::entityWritten, this, [this](PersistentEntity *entity, int property) {
        if ((property == Board::IdProperty || property == Board::TitleProperty || property == Board::DeletedAtProperty
             || property == Board::IsInboxProperty)
            && qobject_cast<Board *>(entity))
            m_choicesWritten = true;
    });
    // Notes may have their earlier titles or places again.
    connect(&library.context(), &ModelContext::writesTakenBack, this, [this] { m_choicesWritten = true; });
    connect(&library, &LibraryQuery::changed, this, &OnboardingExperienceView::syncNotePicker);
    connect(&runtime.navigation(), &NavigationState::activeBoardIDChanged, this, &OnboardingExperienceView::syncNotePicker);

    m_pageArea->showPage(m_pages[size_t(m_shownPage)]);
    m_dots->setPage(int(m_shownPage), false);
    syncName();
    syncCaptureText();
    syncNotePicker();
    syncReviewToggle();
    syncFooter();
}

OnboardingExperienceView::~OnboardingExperienceView() = default;

int OnboardingExperienceView::pageMargin(int roomy) const
{
    // A sheet cut to a small screen keeps its pictures whole between the
    // header and the footer by giving up the space around them.
    return height() < fullHeight ? 12 : roomy;
}

QWidget *OnboardingExperienceView::pageDots() const { return m_dots; }

QString OnboardingExperienceView::captureText(const std::optional<GlobalShortcut> &shortcut, bool shortcutsOffered)
{
    if (!shortcutsOffered)
        return PlatformTexts::onboardingCaptureThroughCommand();
    if (!shortcut)
        return PlatformTexts::onboardingCaptureWithoutShortcut();
    return QStringLiteral("Press ") + shortcut->displayText() + PlatformTexts::onboardingCaptureAfterShortcut();
}

QString OnboardingExperienceView::readyTitle(const QString &draftName)
{
    const QStringList words = onboardingNameWords(draftName);
    if (words.isEmpty())
        return QStringLiteral("You're ready.");
    return QStringLiteral("You're ready, ") + words.first() + QLatin1Char('.');
}

QList<OnboardingExperienceView::NoteChoice> OnboardingExperienceView::noteChoices(const QList<Board *> &boards)
{
    QList<NoteChoice> choices{{QStringLiteral("Quick Captures"), std::nullopt}};
    for (const Board *board : boards) {
        if (!board->deletedAt() && !board->isInbox())
            choices.append({board->title(), board->id()});
    }
    return choices;
}

int OnboardingExperienceView::chosenNoteIndex(const QList<NoteChoice> &choices, const std::optional<QUuid> &activeBoardID)
{
    if (!activeBoardID)
        return 0;
    for (int i = 1; i < choices.size(); ++i) {
        if (choices[i].boardID == activeBoardID)
            return i;
    }
    return 0;
}

QWidget *OnboardingExperienceView::buildHeader()
{
    auto *header = new EdgeStrip(false, false, this);
    header->setFixedHeight(58);
    auto *row = new QHBoxLayout(header);
    row->setContentsMargins(24, 0, 24, 0);
    row->setSpacing(16);

    auto *label = new QWidget(header);
    auto *labelRow = new QHBoxLayout(label);
    labelRow->setContentsMargins(0, 0, 0, 0);
    labelRow->setSpacing(6);
    labelRow->addWidget(new SymbolLabel(QStringLiteral("rectangle.on.rectangle.angled"), 15, SemanticColor::label, label));
    labelRow->addWidget(new StudioText(QStringLiteral("Tessaline"), systemFont(13, QFont::DemiBold), SemanticColor::label, label));
    row->addWidget(label);
    row->addStretch(1);
    m_dots = new OnboardingPageDots(header);
    row->addWidget(m_dots);
    row->addStretch(1);

    m_skipButton = new OnboardingTextButton(QStringLiteral("Skip"), header);
    m_skipButton->setObjectName(QStringLiteral("skipButton"));
    m_skipButton->setCursor(Qt::PointingHandCursor);
    keepSemanticColors(m_skipButton, {{QPalette::ButtonText, {SemanticColor::secondary}}});
    m_skipButton->setAccessibleDescription(QStringLiteral("Closes setup. You can replay it from Settings."));
    m_skipButton->setToolTip(m_skipButton->accessibleDescription());
    connect(m_skipButton, &QPushButton::clicked, &m_onboarding, &OnboardingCoordinator::skip);
    row->addWidget(m_skipButton);
    return header;
}

QWidget *OnboardingExperienceView::buildFooter()
{
    auto *footer = new EdgeStrip(true, true, this);
    footer->setFixedHeight(64);
    auto *row = new QHBoxLayout(footer);
    row->setContentsMargins(24, 0, 24, 0);
    row->setSpacing(10);

    m_backButton = new QPushButton(QStringLiteral("Back"), footer);
    m_backButton->setObjectName(QStringLiteral("backButton"));
    m_backButton->setAutoDefault(false);
    m_backButton->setToolTip(QKeySequence(Qt::CTRL | Qt::Key_BracketLeft).toString(QKeySequence::NativeText));
    connect(m_backButton, &QPushButton::clicked, &m_onboarding, &OnboardingCoordinator::back);
    row->addWidget(m_backButton);
    row->addStretch(1);

    m_continueHint = new StudioText(QStringLiteral("Enter your name to continue"), systemFont(11, QFont::Normal),
                                    SemanticColor::tertiary, footer);
    m_continueHint->setObjectName(QStringLiteral("continueHint"));
    row->addWidget(m_continueHint);

    m_primaryButton = new OnboardingPrimaryButton(QStringLiteral("Continue"), false, footer);
    m_primaryButton->setObjectName(QStringLiteral("primaryButton"));
    connect(m_primaryButton, &QPushButton::clicked, this, &OnboardingExperienceView::primaryAction);
    row->addWidget(m_primaryButton);
    return footer;
}

QWidget *OnboardingExperienceView::buildWelcomePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("welcomePage"));
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(52, pageMargin(34), 52, pageMargin(34));
    row->setSpacing(54);
    row->addStretch(1);
    auto *visual = new WelcomeStudioVisual(page);
    visual->setFixedSize(310, 330);
    row->addWidget(visual, 0, Qt::AlignVCenter);

    auto *texts = new QWidget(page);
    QVBoxLayout *stack = column(texts, 18, 350);
    stack->addWidget(new OnboardingEyebrow(QStringLiteral("WELCOME"), texts));
    stack->addWidget(paragraph(QStringLiteral("A notes app built around what catches your eye."),
                               trackedFont(30, QFont::DemiBold, -0.5), SemanticColor::label, texts));
    stack->addWidget(paragraph(QStringLiteral("Write like a normal note. Capture any part of your screen and it lands "
                                              "inline, ready to annotate, copy, or revisit."),
                               systemFont(15, QFont::Normal), SemanticColor::secondary, texts));

    auto *nameBlock = new QVBoxLayout;
    nameBlock->setContentsMargins(0, 3, 0, 0);
    nameBlock->setSpacing(7);
    nameBlock->addWidget(new StudioText(QStringLiteral("What should Tessaline call you?"), systemFont(12, QFont::Medium),
                                        SemanticColor::secondary, texts));
    m_nameField = new QLineEdit;
    m_nameField->setObjectName(QStringLiteral("nameField"));
    m_nameField->setPlaceholderText(QStringLiteral("Your name"));
    m_nameField->setFont(systemFont(16, QFont::Medium));
    m_nameField->setAccessibleName(QStringLiteral("Your name"));
    m_nameField->setAccessibleDescription(
        QStringLiteral("Required to continue. Your name stays in Tessaline's local preferences."));
    textInputDirection(m_nameField);
    connect(m_nameField, &QLineEdit::textEdited, &m_onboarding, &OnboardingCoordinator::setDraftName);
    nameBlock->addWidget(new NameFieldFrame(m_nameField, texts));
    stack->addLayout(nameBlock);
    row->addWidget(texts, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return page;
}

QWidget *OnboardingExperienceView::buildCapturePage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("capturePage"));
    auto *row = new QHBoxLayout(page);
    // Tighter than the other pages: the permission panel grows with its
    // stage, and wide desktop fonts would otherwise squeeze it.
    row->setContentsMargins(42, 12, 42, 12);
    row->setSpacing(38);
    row->addStretch(1);

    auto *texts = new QWidget(page);
    QVBoxLayout *stack = column(texts, 12, 344);
    stack->addWidget(new OnboardingEyebrow(QStringLiteral("CAPTURE"), texts));
    stack->addWidget(paragraph(QStringLiteral("Capture straight into your notes."), trackedFont(28, QFont::DemiBold, -0.4),
                               SemanticColor::label, texts));
    m_captureText = paragraph(QString(), systemFont(15, QFont::Normal), SemanticColor::secondary, texts);
    m_captureText->setObjectName(QStringLiteral("captureText"));
    stack->addWidget(m_captureText);
    stack->addSpacing(2);
    m_permissionPanel = new CapturePermissionPanel(m_runtime, texts);
    stack->addWidget(m_permissionPanel);
    row->addWidget(texts, 0, Qt::AlignVCenter);
    row->addWidget(new OnboardingIllustrationPanel(QStringLiteral("OnboardingCapture"),
                                                   QStringLiteral("A screen region becoming an annotated Tessaline capture"),
                                                   page),
                   0, Qt::AlignVCenter);
    row->addStretch(1);
    return page;
}

QWidget *OnboardingExperienceView::buildThinkingPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("thinkingPage"));
    auto *row = new QHBoxLayout(page);
    row->setContentsMargins(46, pageMargin(34), 46, pageMargin(34));
    row->setSpacing(42);
    row->addStretch(1);
    row->addWidget(new OnboardingIllustrationPanel(QStringLiteral("OnboardingThinking"),
                                                   QStringLiteral("A note with writing and inline snips"), page),
                   0, Qt::AlignVCenter);

    auto *texts = new QWidget(page);
    QVBoxLayout *stack = column(texts, 17, 340);
    stack->addWidget(new OnboardingEyebrow(QStringLiteral("THINK"), texts));
    stack->addWidget(paragraph(QStringLiteral("Write first. Add snips where they matter."),
                               trackedFont(28, QFont::DemiBold, -0.4), SemanticColor::label, texts));
    stack->addWidget(paragraph(QStringLiteral("Notes are the center of Tessaline. Keep writing normally, place captures "
                                              "inline, and open Map only when spatial thinking helps."),
                               systemFont(15, QFont::Normal), SemanticColor::secondary, texts));
    auto *features = new QVBoxLayout;
    features->setContentsMargins(0, 3, 0, 0);
    features->setSpacing(12);
    features->addWidget(new OnboardingFeatureRow(QStringLiteral("note.text"), QStringLiteral("Notes"),
                                                 QStringLiteral("Write in one calm, familiar flow"), texts));
    features->addWidget(new OnboardingFeatureRow(QStringLiteral("photo.on.rectangle"), QStringLiteral("Inline snips"),
                                                 QStringLiteral("Capture, annotate, copy, and resize in context"), texts));
    features->addWidget(new OnboardingFeatureRow(QStringLiteral("square.and.pencil"), QStringLiteral("Quick Note"),
                                                 QStringLiteral("Append a paragraph from anywhere"), texts));
    stack->addLayout(features);
    row->addWidget(texts, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return page;
}

QWidget *OnboardingExperienceView::buildReadyPage()
{
    auto *page = new QWidget;
    page->setObjectName(QStringLiteral("readyPage"));
    auto *stack = new QVBoxLayout(page);
    stack->setContentsMargins(40, pageMargin(40), 40, pageMargin(40));
    stack->setSpacing(height() < fullHeight ? 16 : 24);
    stack->addStretch(1);

    auto *badge = new ReadyBadge(page);
    stack->addWidget(badge, 0, Qt::AlignHCenter);

    auto *titles = new QVBoxLayout;
    titles->setSpacing(8);
    m_readyTitle = new StudioText(QString(), trackedFont(29, QFont::DemiBold, -0.4), SemanticColor::label, page);
    m_readyTitle->setObjectName(QStringLiteral("readyTitle"));
    m_readyTitle->setAlignment(Qt::AlignHCenter);
    titles->addWidget(m_readyTitle, 0, Qt::AlignHCenter);
    StudioText *explanation = paragraph(QStringLiteral("Choose where new captures land. The selected note is used when "
                                                       "available; Quick Captures is the fallback."),
                                        systemFont(14, QFont::Normal), SemanticColor::secondary, page);
    explanation->setAlignment(Qt::AlignHCenter);
    explanation->setFixedWidth(460);
    titles->addWidget(explanation, 0, Qt::AlignHCenter);
    stack->addLayout(titles);

    // The settings card: the default capture note and whether region
    // captures open for annotation. Both take effect at once.
    class SettingsCard : public QWidget
    {
    public:
        using QWidget::QWidget;

    protected:
        void paintEvent(QPaintEvent *) override
        {
            QPainter painter(this);
            painter.setRenderHint(QPainter::Antialiasing);
            painter.fillPath(roundedShape(rect(), 12), shade(SemanticColor::controlBackground, palette()));
            painter.fillRect(QRectF(0, height() / 2.0, width(), 1), shade(SemanticColor::separator, palette()));
            paintOnboardingHairline(&painter, rect(), 12, 0.7, palette(), AccessibilitySettings::shared().increasesContrast());
        }
    };
    auto *card = new SettingsCard(page);
    card->setFixedWidth(500);
    auto *cardStack = new QVBoxLayout(card);
    cardStack->setContentsMargins(0, 0, 0, 0);
    cardStack->setSpacing(0);

    auto *pickerRow = new QWidget(card);
    auto *pickerLayout = new QHBoxLayout(pickerRow);
    pickerLayout->setContentsMargins(14, 14, 14, 14);
    pickerLayout->addWidget(new SymbolLabel(QStringLiteral("arrow.down.to.line"), 14, SemanticColor::label, pickerRow));
    pickerLayout->addWidget(new StudioText(QStringLiteral("Default capture note"), systemFont(13, QFont::Normal),
                                           SemanticColor::label, pickerRow));
    pickerLayout->addStretch(1);
    m_notePicker = new QComboBox(pickerRow);
    m_notePicker->setObjectName(QStringLiteral("notePicker"));
    m_notePicker->setAccessibleName(QStringLiteral("Default capture note"));
    m_notePicker->setFixedWidth(210);
    connect(m_notePicker, &QComboBox::activated, this, [this](int index) {
        if (m_syncingPicker || index < 0)
            return;
        const QVariant value = m_notePicker->itemData(index);
        m_runtime.navigation().setActiveBoardID(value.isValid() ? std::optional<QUuid>(value.toUuid()) : std::nullopt);
    });
    pickerLayout->addWidget(m_notePicker);
    cardStack->addWidget(pickerRow);

    auto *toggleRow = new QWidget(card);
    auto *toggleLayout = new QHBoxLayout(toggleRow);
    toggleLayout->setContentsMargins(14, 14, 14, 14);
    m_reviewToggle = new QCheckBox(QStringLiteral("Open region captures for annotation"), toggleRow);
    m_reviewToggle->setObjectName(QStringLiteral("reviewToggle"));
    connect(m_reviewToggle, &QCheckBox::clicked, this,
            [this](bool checked) { m_runtime.setAutomaticallyOpensRegionCaptureReview(checked); });
    toggleLayout->addWidget(m_reviewToggle);
    toggleLayout->addStretch(1);
    cardStack->addWidget(toggleRow);
    stack->addWidget(card, 0, Qt::AlignHCenter);

    auto *privacy = new QWidget(page);
    auto *privacyRow = new QHBoxLayout(privacy);
    privacyRow->setContentsMargins(0, 0, 0, 0);
    privacyRow->setSpacing(6);
    privacyRow->addWidget(new SymbolLabel(QStringLiteral("lock"), 12, SemanticColor::secondary, privacy));
    privacyRow->addWidget(new StudioText(PlatformTexts::readyPagePrivacyLine(), systemFont(12, QFont::Normal),
                                         SemanticColor::secondary, privacy));
    stack->addWidget(privacy, 0, Qt::AlignHCenter);
    stack->addStretch(1);
    return page;
}

void OnboardingExperienceView::pageDidChange()
{
    const OnboardingPage page = m_onboarding.page();
    if (page == m_shownPage)
        return;
    m_shownPage = page;
    m_pageArea->showPage(m_pages[size_t(page)]);
    m_dots->setPage(int(page), true);
    syncFooter();
    if (page == OnboardingPage::welcome) {
        m_nameField->setFocus(Qt::OtherFocusReason);
    } else {
        m_nameField->clearFocus();
        m_primaryButton->setFocus(Qt::OtherFocusReason);
    }
}

void OnboardingExperienceView::syncFooter()
{
    const OnboardingPage page = m_onboarding.page();
    const bool canContinue = m_onboarding.canContinue();
    m_backButton->setVisible(page != OnboardingPage::welcome);
    m_continueHint->setVisible(page == OnboardingPage::welcome && !canContinue);
    m_primaryButton->setText(page == OnboardingPage::ready ? QStringLiteral("Enter Tessaline") : QStringLiteral("Continue"));
    m_primaryButton->setEnabled(canContinue);
    m_primaryButton->setAccessibleDescription(canContinue ? QStringLiteral("Moves to the next setup step.")
                                                          : QStringLiteral("Enter your name before continuing."));
    m_primaryButton->updateGeometry();
}

void OnboardingExperienceView::syncName()
{
    const QString name = m_onboarding.draftName();
    if (m_nameField->text() != name)
        m_nameField->setText(name);
    m_readyTitle->setText(readyTitle(name));
}

void OnboardingExperienceView::syncCaptureText()
{
    m_captureText->setText(captureText(m_runtime.shortcutConfiguration().capture,
                                       m_runtime.captureCoordinator().hotKeyManager().globalShortcutsOffered()));
}

void OnboardingExperienceView::syncNotePicker()
{
    m_syncingPicker = true;
    // A capture only adds a card: the notes' titles and places stay, and so
    // do the choices, without reading every note again.
    if (m_choicesWritten || m_library.boards() != m_choiceBoards) {
        m_choicesWritten = false;
        m_choiceBoards = m_library.boards();
        const QList<NoteChoice> choices = noteChoices(m_choiceBoards);
        if (choices != m_shownChoices) {
            m_notePicker->clear();
            for (const NoteChoice &choice : choices)
                m_notePicker->addItem(choice.title, choice.boardID ? QVariant(*choice.boardID) : QVariant());
            m_shownChoices = choices;
        }
    }
    m_notePicker->setCurrentIndex(chosenNoteIndex(m_shownChoices, m_runtime.navigation().activeBoardID()));
    m_syncingPicker = false;
}

void OnboardingExperienceView::syncReviewToggle()
{
    m_reviewToggle->setChecked(m_runtime.captureBehaviorPreferences().automaticallyOpensRegionCaptureReview);
}

void OnboardingExperienceView::primaryAction()
{
    if (!m_onboarding.canContinue())
        return;
    if (m_onboarding.page() == OnboardingPage::ready)
        m_onboarding.finish();
    else
        m_onboarding.advance();
}

void OnboardingExperienceView::reject()
{
    // Escape is "Skip"; the coordinator's presentation closes the sheet.
    m_onboarding.skip();
}

void OnboardingExperienceView::closeEvent(QCloseEvent *event)
{
    // Setup leaves only through its own buttons.
    if (m_onboarding.isOnboardingPresented())
        event->ignore();
    else
        QDialog::closeEvent(event);
}

void OnboardingExperienceView::keyPressEvent(QKeyEvent *event)
{
    // Ctrl+[ is "Back" on every page that shows it.
    if (event->key() == Qt::Key_BracketLeft && event->modifiers() == Qt::ControlModifier) {
        if (m_backButton->isVisible())
            m_onboarding.back();
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // In the name field this is its submit; elsewhere the primary
        // button. Both only act while the coordinator lets the page go.
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            primaryAction();
            event->accept();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void OnboardingExperienceView::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (m_hasAppeared)
        return;
    m_hasAppeared = true;
    m_runtime.captureCoordinator().refreshPermissionState();
    if (m_onboarding.page() == OnboardingPage::welcome)
        m_nameField->setFocus(Qt::OtherFocusReason);
}

} // namespace tessaline

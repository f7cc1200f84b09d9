#include "onboarding/SettingsView.h"

#include "runtime/AppRuntime.h"
#include "capture/ShortcutRecorderView.h"
#include "design/DesignTokens.h"
#include "design/SheetSize.h"
#include "design/StudioSectionHeader.h"
#include "design/StudioText.h"
#include "design/SymbolLabel.h"
#include "design/TessalinePrimaryButton.h"
#include "platform/PlatformTexts.h"

#include <algorithm>
#include <QCheckBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace tessaline {

namespace {

constexpr int formSize = 520;
constexpr int symbolSize = 14;

// The explanatory text under a section's controls.
StudioText *footnote(const QString &text, QWidget *parent)
{
    auto *label = new StudioText(text, TessalineTypography::caption(), SemanticColor::secondary, parent);
    label->setWordWrap(true);
    return label;
}

// A row with its label at the leading edge and its content after it.
QWidget *labelledRow(const QString &title, QWidget *content, QWidget *parent)
{
    auto *row = new QWidget(parent);
    auto *layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(title, row);
    label->setTextFormat(Qt::PlainText);
    label->setBuddy(content);
    layout->addWidget(label);
    layout->addStretch(1);
    content->setParent(row);
    layout->addWidget(content);
    return row;
}

QCheckBox *toggle(const QString &title, const char *name, QWidget *parent)
{
    auto *box = new QCheckBox(title, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

// One titled group of the form.
QWidget *section(const QString &title, const QList<QWidget *> &rows, QWidget *parent)
{
    auto *container = new QWidget(parent);
    container->setAccessibleName(title);
    auto *layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(6);
    auto *header = new StudioSectionHeader(title, std::nullopt, nullptr, container);
    // Section titles are short; wrapping would only break them up.
    header->titleLabel()->setWordWrap(false);
    layout->addWidget(header);
    auto *group = new QFrame(container);
    group->setFrameShape(QFrame::StyledPanel);
    auto *groupLayout = new QVBoxLayout(group);
    groupLayout->setContentsMargins(12, 10, 12, 10);
    groupLayout->setSpacing(8);
    for (QWidget *row : rows) {
        row->setParent(group);
        // A lone button keeps its own width, as the form's buttons do.
        groupLayout->addWidget(row, 0, qobject_cast<QPushButton *>(row) ? Qt::AlignLeft : Qt::Alignment());
    }
    layout->addWidget(group);
    return container;
}

QPushButton *button(const QString &title, const char *name, QWidget *parent)
{
    auto *result = new QPushButton(title, parent);
    result->setObjectName(QLatin1String(name));
    result->setAutoDefault(false);
    return result;
}

} // namespace

SettingsView::SettingsView(AppRuntime &runtime, OnboardingCoordinator *onboarding, UpdateService &updates,
                           QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_model(runtime, onboarding, updates)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("Tessaline Settings"));
    // Closed from the keyboard like the app's sheets. A shortcut field that
    // records claims every key first, so there Escape only ends the
    // recording.
    for (const QKeySequence &keys : {QKeySequence(Qt::Key_Escape), QKeySequence(QKeySequence::Close)})
        connect(new QShortcut(keys, this), &QShortcut::activated, this, &QWidget::close);

    auto *form = new QWidget;
    auto *formLayout = new QVBoxLayout(form);
    formLayout->setContentsMargins(0, 0, 0, 0);
    formLayout->setSpacing(TessalineMetrics::groupSpacing);
    formLayout->addWidget(buildShortcutsSection());
    formLayout->addWidget(buildCaptureSection());
    formLayout->addWidget(buildThinkingSection());
    formLayout->addWidget(buildGettingStartedSection());
    formLayout->addWidget(buildUpdatesSection());
    formLayout->addWidget(buildPrivacySection());
    formLayout->addStretch(1);
    form->setFixedWidth(formSize - 24);

    auto *scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("settingsForm"));
    scroll->setWidget(form);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The form scrolls, so on a small or scaled-up screen it gives up
    // height first and the window stays whole on the screen.
    const int margins = 2 * 20;
    const QSize room = sheetSizeWithinScreen(this, QSize(formSize + margins, formSize + margins), 0.85);
    scroll->setFixedSize(formSize, std::min(formSize, room.height() - margins));

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 20, 20, 20);
    layout->addWidget(scroll, 0, Qt::AlignCenter);
    // The window is the form's size and no larger: a tiling desktop (sway)
    // floats a window of fixed size, where it would otherwise stretch it
    // over half the screen around the form.
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(&m_model, &SettingsModel::shortcutsChanged, this, &SettingsView::refreshShortcuts);
    connect(&m_model, &SettingsModel::shortcutValidationMessageChanged, this, &SettingsView::refreshShortcuts);
    connect(&m_model, &SettingsModel::captureBehaviorChanged, this, &SettingsView::refreshCapture);
    connect(&m_model, &SettingsModel::permissionStateChanged, this, &SettingsView::refreshPermission);
    connect(&m_model, &SettingsModel::remindersEnabledChanged, this, &SettingsView::refreshThinking);
    connect(&m_model, &SettingsModel::profileChanged, this, &SettingsView::refreshProfile);
    connect(&m_model, &SettingsModel::updatesChanged, this, &SettingsView::refreshUpdates);
    connect(&m_model, &SettingsModel::cloudSyncChangedChanged, this, &SettingsView::refreshPrivacy);
    connect(&m_model, &SettingsModel::closeRequested, this, &QWidget::close);

    refreshShortcuts();
    refreshCapture();
    refreshPermission();
    refreshThinking();
    refreshProfile();
    refreshUpdates();
    refreshPrivacy();
}

QWidget *SettingsView::buildShortcutsSection()
{
    m_captureField = new ShortcutRecorderView(QStringLiteral("Capture Region shortcut"));
    m_captureField->setObjectName(QStringLiteral("captureShortcut"));
    m_quickNoteField = new ShortcutRecorderView(QStringLiteral("Quick Note shortcut"));
    m_quickNoteField->setObjectName(QStringLiteral("quickNoteShortcut"));
    const std::pair<ShortcutRecorderView *, SettingsModel::ShortcutSlot> fields[] = {
        {m_captureField, SettingsModel::ShortcutSlot::capture},
        {m_quickNoteField, SettingsModel::ShortcutSlot::quickThought},
    };
    for (const auto &[field, slot] : fields) {
        field->model().onChange = [this, slot](const std::optional<GlobalShortcut> &shortcut) {
            return m_model.changeShortcut(slot, shortcut);
        };
        field->model().keyCodeAtScanCode = [this](quint32 scanCode) { return m_model.keyCodeAtScanCode(scanCode); };
        // Both rows share one message: either row's success clears it.
        connect(&field->model(), &ShortcutRecorderModel::validationMessageReported, this,
                [this](const std::optional<QString> &message) { m_model.setShortcutValidationMessage(message); });
    }

    auto *hintRow = new QWidget;
    auto *hintLayout = new QHBoxLayout(hintRow);
    hintLayout->setContentsMargins(0, 0, 0, 0);
    m_shortcutHint = footnote(QString(), hintRow);
    hintLayout->addWidget(m_shortcutHint, 1);
    m_resetShortcuts = button(QStringLiteral("Reset Shortcuts"), "resetShortcuts", hintRow);
    m_resetShortcuts->setFont(TessalineTypography::caption());
    hintLayout->addWidget(m_resetShortcuts);
    connect(m_resetShortcuts, &QPushButton::clicked, &m_model, &SettingsModel::resetShortcuts);

    m_shortcutErrorRow = new QWidget;
    m_shortcutErrorRow->setObjectName(QStringLiteral("shortcutError"));
    auto *errorLayout = new QHBoxLayout(m_shortcutErrorRow);
    errorLayout->setContentsMargins(0, 0, 0, 0);
    m_shortcutErrorIcon = new SymbolLabel(QStringLiteral("exclamationmark.circle"), symbolSize, SemanticColor::secondary,
                                          m_shortcutErrorRow);
    errorLayout->addWidget(m_shortcutErrorIcon);
    m_shortcutErrorText = new StudioText(QString(), TessalineTypography::caption(), SemanticColor::secondary,
                                         m_shortcutErrorRow);
    m_shortcutErrorText->setWordWrap(true);
    errorLayout->addWidget(m_shortcutErrorText, 1);

    m_shortcutCommands = footnote(QString(), nullptr);
    m_shortcutCommands->setObjectName(QStringLiteral("shortcutCommands"));
    m_shortcutCommands->setTextInteractionFlags(Qt::TextSelectableByMouse);

    return section(QStringLiteral("Keyboard Shortcuts"),
                   {labelledRow(QStringLiteral("Capture Region"), m_captureField, nullptr),
                    labelledRow(QStringLiteral("Quick Note"), m_quickNoteField, nullptr), hintRow, m_shortcutErrorRow,
                    m_shortcutCommands},
                   this);
}

QWidget *SettingsView::buildCaptureSection()
{
    m_copyCaptures = toggle(QStringLiteral("Copy captures to the clipboard automatically"), "copyCaptures", nullptr);
    connect(m_copyCaptures, &QCheckBox::clicked, &m_model, &SettingsModel::setCopiesCaptures);
    m_openRegionCaptures = toggle(QStringLiteral("Open region captures for annotation"), "openRegionCaptures", nullptr);
    connect(m_openRegionCaptures, &QCheckBox::clicked, &m_model, &SettingsModel::setOpensRegionCaptureReview);

    auto *statusRow = new QWidget;
    auto *statusLayout = new QHBoxLayout(statusRow);
    statusLayout->setContentsMargins(0, 0, 0, 0);
    m_permissionIcon = new SymbolLabel(QString(), symbolSize, SemanticColor::label, statusRow);
    statusLayout->addWidget(m_permissionIcon);
    m_permissionTitle = new QLabel(statusRow);
    m_permissionTitle->setObjectName(QStringLiteral("permissionStatus"));
    m_permissionTitle->setTextFormat(Qt::PlainText);
    statusLayout->addWidget(m_permissionTitle);
    statusLayout->addStretch(1);
    m_checkAgain = button(QStringLiteral("Check Again"), "checkAgain", statusRow);
    statusLayout->addWidget(m_checkAgain);
    connect(m_checkAgain, &QPushButton::clicked, &m_model, &SettingsModel::checkAgain);

    auto *actionRow = new QWidget;
    auto *actionLayout = new QHBoxLayout(actionRow);
    actionLayout->setContentsMargins(0, 0, 0, 0);
    actionLayout->setSpacing(8);
    m_requestAccess = button(PlatformTexts::requestScreenshotAccessButton(), "requestAccess", actionRow);
    connect(m_requestAccess, &QPushButton::clicked, &m_model, &SettingsModel::requestAccess);
    m_relaunch = new TessalinePrimaryButton(QStringLiteral("Quit & Reopen Tessaline"), QString(), actionRow);
    m_relaunch->setObjectName(QStringLiteral("relaunch"));
    connect(m_relaunch, &QPushButton::clicked, &m_model, &SettingsModel::relaunch);
    m_openPrivacySettings = button(PlatformTexts::openPrivacySettingsButton(), "openPrivacySettings", actionRow);
    connect(m_openPrivacySettings, &QPushButton::clicked, &m_model, &SettingsModel::openPrivacySettings);
    actionLayout->addWidget(m_requestAccess);
    actionLayout->addWidget(m_relaunch);
    actionLayout->addWidget(m_openPrivacySettings);
    actionLayout->addStretch(1);

    m_permissionExplanation = footnote(QString(), nullptr);
    m_permissionExplanation->setObjectName(QStringLiteral("permissionExplanation"));

    return section(QStringLiteral("Capture"),
                   {m_copyCaptures, m_openRegionCaptures,
                    footnote(QStringLiteral("Captures always land in the selected note. Automatic copy makes them ready "
                                            "to paste immediately; annotated captures replace the clipboard with the "
                                            "finished result."),
                             nullptr),
                    statusRow, actionRow, m_permissionExplanation},
                   this);
}

QWidget *SettingsView::buildThinkingSection()
{
    m_reminders = toggle(QStringLiteral("Weekly review reminder"), "remindersToggle", nullptr);
    connect(m_reminders, &QCheckBox::clicked, &m_model, &SettingsModel::setRemindersEnabled);
    return section(QStringLiteral("Thinking"),
                   {m_reminders, footnote(QStringLiteral("Reminders are off by default and never use streaks or inbox "
                                                         "pressure. Review remains an optional way to revisit older "
                                                         "notes."),
                                          nullptr)},
                   this);
}

QWidget *SettingsView::buildGettingStartedSection()
{
    m_profileName = new QLabel;
    m_profileName->setTextFormat(Qt::PlainText);
    m_profileName->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_profileRow = labelledRow(QStringLiteral("Profile"), m_profileName, nullptr);
    m_profileRow->setObjectName(QStringLiteral("profileRow"));

    auto *buttons = new QWidget;
    auto *buttonsLayout = new QHBoxLayout(buttons);
    buttonsLayout->setContentsMargins(0, 0, 0, 0);
    auto *replay = button(QStringLiteral("Replay Introduction"), "replayIntroduction", buttons);
    auto *tour = button(QStringLiteral("Show Guided Tour"), "showGuidedTour", buttons);
    replay->setEnabled(m_model.hasOnboarding());
    tour->setEnabled(m_model.hasOnboarding());
    connect(replay, &QPushButton::clicked, &m_model, &SettingsModel::replayIntroduction);
    connect(tour, &QPushButton::clicked, &m_model, &SettingsModel::showGuidedTour);
    buttonsLayout->addWidget(replay);
    buttonsLayout->addWidget(tour);
    buttonsLayout->addStretch(1);

    return section(QStringLiteral("Getting Started"),
                   {m_profileRow, buttons,
                    footnote(QStringLiteral("The introduction lets you update your name and capture defaults. The tour "
                                            "is a small, dismissible guide over the main window."),
                             nullptr)},
                   this);
}

QWidget *SettingsView::buildUpdatesSection()
{
    auto *version = new QLabel(m_model.installedVersionText());
    version->setObjectName(QStringLiteral("installedVersion"));
    version->setTextFormat(Qt::PlainText);
    m_checkForUpdates = button(QStringLiteral("Check for Updates\u2026"), "checkForUpdates", nullptr);
    connect(m_checkForUpdates, &QPushButton::clicked, &m_model, &SettingsModel::checkForUpdates);
    m_automaticallyChecks = toggle(QStringLiteral("Automatically check for updates"), "autoCheckUpdates", nullptr);
    connect(m_automaticallyChecks, &QCheckBox::clicked, &m_model, &SettingsModel::setAutomaticallyChecksForUpdates);
    m_automaticallyDownloads = toggle(QStringLiteral("Automatically download updates"), "autoDownloadUpdates", nullptr);
    connect(m_automaticallyDownloads, &QCheckBox::clicked, &m_model,
            &SettingsModel::setAutomaticallyDownloadsUpdates);
    m_updatesFootnote = footnote(m_model.updatesFootnote(), nullptr);
    m_updatesFootnote->setObjectName(QStringLiteral("updatesFootnote"));
    return section(QStringLiteral("Updates"),
                   {labelledRow(QStringLiteral("Installed version"), version, nullptr), m_checkForUpdates,
                    m_automaticallyChecks, m_automaticallyDownloads, m_updatesFootnote},
                   this);
}

QWidget *SettingsView::buildPrivacySection()
{
    m_cloudSync = toggle(PlatformTexts::cloudSyncToggle(), "cloudSyncToggle", nullptr);
    connect(m_cloudSync, &QCheckBox::clicked, &m_model, &SettingsModel::setCloudSyncEnabled);

    auto *unavailable = footnote(PlatformTexts::cloudSyncUnavailable(), nullptr);
    unavailable->setObjectName(QStringLiteral("cloudSyncUnavailable"));
    // Shown with the section; shown now, before it has a parent, it would
    // open as a window of its own for a moment.
    if (SettingsModel::isCloudSyncAvailable())
        unavailable->hide();

    m_restartNotice = new QWidget;
    m_restartNotice->setObjectName(QStringLiteral("cloudSyncRestartNotice"));
    auto *noticeLayout = new QHBoxLayout(m_restartNotice);
    noticeLayout->setContentsMargins(0, 0, 0, 0);
    noticeLayout->addWidget(new SymbolLabel(QStringLiteral("arrow.clockwise"), symbolSize, SemanticColor::secondary,
                                            m_restartNotice));
    noticeLayout->addWidget(new StudioText(QStringLiteral("Restart Tessaline to apply this change."),
                                           TessalineTypography::body(), SemanticColor::secondary, m_restartNotice),
                            1);

    auto *promise = footnote(PlatformTexts::privacyFootnote(), nullptr);
    promise->setObjectName(QStringLiteral("privacyFootnote"));
    return section(QStringLiteral("Privacy"), {m_cloudSync, unavailable, m_restartNotice, promise}, this);
}

void SettingsView::refreshShortcuts()
{
    const GlobalShortcutConfiguration configuration = m_model.shortcutConfiguration();
    m_captureField->setShortcut(configuration.capture);
    m_quickNoteField->setShortcut(configuration.quickThought);
    m_resetShortcuts->setEnabled(m_model.canResetShortcuts());
    m_shortcutHint->setText(m_model.shortcutHint());
    const QString commands = m_model.shortcutCommandsNotice();
    m_shortcutCommands->setText(commands);
    m_shortcutCommands->setVisible(!commands.isEmpty());

    const std::optional<QString> message = m_model.shortcutValidationMessage();
    m_shortcutErrorRow->setVisible(message.has_value());
    if (message) {
        m_shortcutErrorText->setText(*message);
        m_shortcutErrorRow->setAccessibleName(QStringLiteral("Shortcut error: ") + *message);
    }
}

void SettingsView::refreshCapture()
{
    const QSignalBlocker copyBlocker(m_copyCaptures);
    const QSignalBlocker openBlocker(m_openRegionCaptures);
    m_copyCaptures->setChecked(m_model.copiesCaptures());
    m_openRegionCaptures->setChecked(m_model.opensRegionCaptureReview());
}

void SettingsView::refreshPermission()
{
    const ScreenCapturePermissionState state = m_model.permissionState();
    m_permissionIcon->setSystemName(SettingsModel::permissionSystemImage(state));
    const QString advice = m_model.permissionAdvice();
    if (!advice.isEmpty()) {
        // No privacy switch to send the user to: the portal's own story,
        // and trying again once it is fixed.
        m_permissionTitle->setText(PlatformTexts::screenshotPortalUnavailableTitle());
        m_permissionExplanation->setText(advice);
        m_checkAgain->setVisible(false);
        m_requestAccess->setVisible(true);
        m_relaunch->setVisible(false);
        m_openPrivacySettings->setVisible(false);
        return;
    }
    m_permissionTitle->setText(SettingsModel::permissionTitle(state));
    m_permissionExplanation->setText(SettingsModel::permissionExplanation(state));
    m_checkAgain->setVisible(state == ScreenCapturePermissionState::needsSettings);
    m_requestAccess->setVisible(state == ScreenCapturePermissionState::notRequested);
    m_relaunch->setVisible(state == ScreenCapturePermissionState::restartRequired);
    m_openPrivacySettings->setVisible(state == ScreenCapturePermissionState::needsSettings
                                      || state == ScreenCapturePermissionState::restartRequired);
}

void SettingsView::refreshThinking()
{
    const QSignalBlocker blocker(m_reminders);
    m_reminders->setChecked(m_model.remindersEnabled());
}

void SettingsView::refreshProfile()
{
    const QString name = m_model.profileName();
    m_profileRow->setVisible(!name.isEmpty());
    m_profileName->setText(name);
}

void SettingsView::refreshUpdates()
{
    m_checkForUpdates->setEnabled(m_model.canCheckForUpdates());
    const QSignalBlocker checksBlocker(m_automaticallyChecks);
    const QSignalBlocker downloadsBlocker(m_automaticallyDownloads);
    m_automaticallyChecks->setChecked(m_model.automaticallyChecksForUpdates());
    m_automaticallyChecks->setEnabled(m_model.canChangeAutomaticChecks());
    m_automaticallyDownloads->setChecked(m_model.automaticallyDownloadsUpdates());
    m_automaticallyDownloads->setEnabled(m_model.canChangeAutomaticDownloads());
}

void SettingsView::refreshPrivacy()
{
    const QSignalBlocker blocker(m_cloudSync);
    m_cloudSync->setChecked(m_model.cloudSyncEnabled());
    m_cloudSync->setEnabled(SettingsModel::isCloudSyncAvailable());
    m_restartNotice->setVisible(m_model.cloudSyncChanged());
}

} // namespace tessaline

#include "runtime/AppRuntime.h"

#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "model/TessalineStore.h"
#include "model/ThinkingSessionService.h"
#include "platform/Pasteboard.h"
#include "platform/PlatformTexts.h"
#include "platform/UserDefaults.h"
#include "runtime/CapturePipeline.h"
#include "runtime/DesktopSearchIndexService.h"
#include "runtime/ImageExportService.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>

namespace tessaline {

AppRuntime::AppRuntime(AppRuntimeServices services, QObject *parent)
    : QObject(parent)
    , m_services(std::move(services))
    , m_navigation(std::make_unique<NavigationState>(*m_services.defaults))
    , m_preferencesStore(*m_services.defaults)
{
    m_shortcutConfiguration = m_services.captureCoordinator->shortcutConfiguration();
    m_captureBehaviorPreferences = m_preferencesStore.load();
    m_capturePipeline = std::make_unique<CapturePipeline>(modelContext(), m_services.ocrService,
                                                          m_services.desktopSearchIndex);
    // What follows a stored capture (the toast, the selection, the copy,
    // the screens' updates) comes a turn of the event loop after the save:
    // together they held the main thread for more than a frame. Failures
    // take the same road, so reports keep the captures' order.
    m_capturePipeline->onStored = [this](const StoredCapture &capture) {
        QTimer::singleShot(0, this, [this, capture] { captureStored(capture); });
    };
    m_capturePipeline->onFailed = [this](const QString &message) {
        QTimer::singleShot(0, this, [this, message] {
            fail(message);
            Q_EMIT captureHandled(std::nullopt);
        });
    };
    installCaptureCallbacks();
    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
        connect(application, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive)
                applicationDidBecomeActive();
        });
    }
}

AppRuntime::~AppRuntime()
{
    // A capture on the clipboard is read from the library when pasted; a
    // clipboard manager may take it over as the app ends, after the library.
    if (m_services.pasteboard)
        m_services.pasteboard->holdImageSourceBytes();
    // The coordinator may outlive nothing of ours: drop its callbacks first.
    if (m_services.captureCoordinator) {
        m_services.captureCoordinator->onCaptureCompleted = nullptr;
        m_services.captureCoordinator->onCaptureError = nullptr;
        m_services.captureCoordinator->onRegionCaptureRequested = nullptr;
        m_services.captureCoordinator->onQuickThoughtRequested = nullptr;
    }
}

ModelContext &AppRuntime::modelContext() const
{
    return *m_services.modelContainer->mainContext();
}

void AppRuntime::installCaptureCallbacks()
{
    CaptureCoordinator &coordinator = *m_services.captureCoordinator;
    const QPointer<AppRuntime> self(this);
    coordinator.onRegionCaptureRequested = [self] {
        if (self)
            self->captureCoordinator().beginCapture(CaptureMode::region);
    };
    coordinator.onCaptureCompleted = [self](const CaptureResult &result) {
        if (self)
            self->handleCaptureResult(result);
    };
    coordinator.onQuickThoughtRequested = [self] {
        if (self)
            self->requestQuickThought();
    };
    coordinator.onCaptureError = [self](const CaptureSubsystemError &error) {
        if (self)
            self->setActiveCaptureError(error);
        if (self)
            self->setErrorMessage(error.errorDescription());
        if (self)
            self->bringMainWindowToFront();
    };
    // A desktop that binds the hot keys some time after they were
    // registered may still turn them down; the user hears of it as of a
    // refusal at start-up, and sees the keys the coordinator put back.
    connect(&coordinator.hotKeyManager(), &GlobalHotKeyManager::registrationRefused, this,
            [this](const CaptureSubsystemError &error) {
                if (m_shortcutConfiguration != captureCoordinator().shortcutConfiguration()) {
                    m_shortcutConfiguration = captureCoordinator().shortcutConfiguration();
                    Q_EMIT shortcutConfigurationChanged();
                }
                setErrorMessage(error.errorDescription());
            });
}

void RuntimeWindowing::afterFirstFrame(QObject *context, std::function<void()> task)
{
    QTimer::singleShot(0, context, std::move(task));
}

void AppRuntime::setErrorMessage(const std::optional<QString> &message)
{
    m_errorMessage = message;
    Q_EMIT errorMessageChanged();
}

void AppRuntime::setActiveCaptureError(const std::optional<CaptureSubsystemError> &error)
{
    m_activeCaptureError = error;
    Q_EMIT activeCaptureErrorChanged();
}

void AppRuntime::fail(const QString &message)
{
    setErrorMessage(message);
}

void AppRuntime::start()
{
    if (m_isStarted)
        return;
    ModelContext &context = modelContext();

    auto seeded = TessalineStore::seedLibrary(context, QDateTime::currentDateTimeUtc());
    if (!seeded) {
        // A library that can only be read is shown as it stands; the
        // start-up message has said why nothing can be added to it.
        if (!context.isReadOnly())
            return fail(seeded.error().message);
        seeded = TessalineStore::SeededLibrary{};
    }
    const auto fetched = context.fetchBoards();
    if (!fetched)
        return fail(fetched.error().message);

    QList<Board *> boards = *fetched;
    std::stable_sort(boards.begin(), boards.end(),
                     [](const Board *a, const Board *b) { return a->lastOpenedAt() > b->lastOpenedAt(); });
    Board *candidate = seeded->welcome;
    if (!candidate) {
        for (Board *board : std::as_const(boards)) {
            const QString status = board->statusRawValue();
            if (!board->isInbox() && status != u"parked" && status != u"done" && board->isLive()) {
                candidate = board;
                break;
            }
        }
    }
    const std::optional<QUuid> active = m_navigation->activeBoardID();
    const bool activeExists = active && std::any_of(boards.cbegin(), boards.cend(), [&](const Board *board) {
        return board->id() == *active;
    });
    if (!activeExists) {
        if (const Board *shown = candidate ? candidate : seeded->inbox)
            m_navigation->setActiveBoardID(shown->id());
    }

    if (!m_isUIReady) {
        m_isUIReady = true;
        Q_EMIT uiReadyChanged();
        // Once the first screen is up, never in the way of it: going through
        // every card of a large library for the index takes the time of a
        // frame or two, which the window would otherwise be painted later by.
        const auto upkeep = [this] { m_capturePipeline->catchUp(); };
        if (m_services.windowing)
            m_services.windowing->afterFirstFrame(this, upkeep);
        else
            QTimer::singleShot(0, this, upkeep);
    }
    captureCoordinator().refreshPermissionState();
    const auto hotKeys = m_services.captureStartup ? m_services.captureStartup() : captureCoordinator().enableHotKeys();
    if (!hotKeys)
        return fail(hotKeys.error().errorDescription());
    completeStart();
}

void AppRuntime::completeStart()
{
    m_isStarted = true;
    Q_EMIT startedChanged();

    if (m_navigation->remindersEnabled() && m_services.setRemindersEnabled) {
        m_services.setRemindersEnabled(true, this, [this](const Expected<bool, QString> &answer) {
            m_navigation->setRemindersEnabled(answer.hasValue() && answer.value());
        });
    }
}

void AppRuntime::requestQuickThought()
{
    m_navigation->setQuickThoughtPresented(true);
    bringMainWindowToFront();
}

void AppRuntime::bringMainWindowToFront()
{
    if (m_services.windowing)
        m_services.windowing->bringMainWindowToFront();
}

void AppRuntime::applicationDidBecomeActive()
{
    QTimer::singleShot(0, this, [this] {
        CaptureCoordinator &coordinator = captureCoordinator();
        if (coordinator.isReturningFromScreenCaptureSettings()) {
            coordinator.setReturningFromScreenCaptureSettings(false);
            if (!coordinator.permissionController().hasAccess()) {
                UserDefaults &history = coordinator.permissionHistoryStore().defaults();
                history.setBoolean(ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(), true);
                history.setBoolean(ScreenCapturePermissionHistoryStore::relaunchRecommendedKey(), true);
            }
        }
        coordinator.refreshPermissionState();
    });
}

bool AppRuntime::finishStoringCaptures(std::chrono::milliseconds limit)
{
    // A region being dragged or access being asked for waits on the user,
    // whom nobody asks any more.
    const auto settled = [this] {
        return m_capturePipeline->isIdle()
            && captureCoordinator().state().kind() != CaptureCoordinatorState::Kind::capturingDisplay;
    };
    if (settled())
        return true;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    // Looked at once the signal's handlers are done: a picture taken
    // changes the state before it is handed to the pipeline.
    const auto lookAgain = [&] {
        QTimer::singleShot(0, &loop, [&] {
            if (settled())
                loop.quit();
        });
    };
    connect(this, &AppRuntime::captureHandled, &loop, lookAgain);
    connect(&captureCoordinator(), &CaptureCoordinator::stateChanged, &loop, lookAgain);
    deadline.start(limit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    return settled();
}

void AppRuntime::handleCaptureResult(const CaptureResult &result)
{
    if (result.image.isNull()) {
        fail(imageExportErrorMessage(ImageExportError::encodingFailed));
        Q_EMIT captureHandled(std::nullopt);
        return;
    }
    m_capturePipeline->submit(result, {m_navigation->activeBoardID(), m_navigation->activeWritingAnchorID()});
}

void AppRuntime::captureStored(const StoredCapture &capture)
{
    const QUuid cardID = capture.cardID;
    m_navigation->setSelectedCardIDs({cardID});

    bool copied = false;
    m_automaticCopyHeldBackCardID.reset();
    if (m_captureBehaviorPreferences.automaticallyCopiesCaptures && m_services.pasteboard) {
        // A copy the desktop would drop is not tried: the toast then says
        // so rather than claiming a copy. A region was just dragged over our
        // own overlay, which is input of the user's the desktop counts,
        // unless the copy is refused all the same.
        if (capture.result.mode == CaptureMode::region || m_services.pasteboard->acceptsUnpromptedWrites())
            copied = m_services.pasteboard->setImageSource(storedPictureSource(cardID));
        if (!copied)
            m_automaticCopyHeldBackCardID = cardID;
    }
    setLastAutomaticallyCopiedCardID(copied ? std::optional<QUuid>(cardID) : std::nullopt);

    if (capture.result.mode == CaptureMode::region && m_captureBehaviorPreferences.automaticallyOpensRegionCaptureReview) {
        if (m_services.windowing)
            m_services.windowing->closeCaptureToast();
        // One turn of the event loop first, so whatever the capture was
        // interrupting settles before the review decision is taken.
        QTimer::singleShot(0, this, [this, cardID] { presentCaptureReviewIfPossible(cardID); });
    } else if (m_services.windowing) {
        m_services.windowing->showCaptureToast(cardID);
    }

    Q_EMIT captureHandled(cardID);
}

void AppRuntime::presentCaptureReviewIfPossible(const QUuid &cardID)
{
    const bool wanted = m_captureBehaviorPreferences.automaticallyOpensRegionCaptureReview;
    const bool possible = canPresentCaptureReview();
    if (wanted && possible) {
        m_navigation->setCaptureReviewCardID(cardID);
        bringMainWindowToFront();
    } else if (m_services.windowing) {
        m_services.windowing->showCaptureToast(cardID);
    }
}

bool AppRuntime::canPresentCaptureReview() const
{
    return !m_navigation->captureReviewCardID() && !m_navigation->focusedCardID() && !m_navigation->galleryCardID()
        && !m_navigation->isQuickThoughtPresented()
        && !(m_services.windowing && m_services.windowing->anyWindowHasSheet());
}

Pasteboard::PngSource AppRuntime::storedPictureSource(const QUuid &cardID)
{
    // The clipboard holds none of the capture's bytes (17 MB at 5K) while it
    // waits for a paste, which reads them back from the library. A card in
    // Recently Deleted still gives its picture: it is what was copied.
    return [self = QPointer<AppRuntime>(this), cardID]() -> std::optional<QByteArray> {
        const CanvasCard *card = self ? self->m_capturePipeline->cardWithID(cardID) : nullptr;
        return card ? card->originalImageData() : std::nullopt;
    };
}

void AppRuntime::setLastAutomaticallyCopiedCardID(const std::optional<QUuid> &id)
{
    m_lastAutomaticallyCopiedCardID = id;
    Q_EMIT lastAutomaticallyCopiedCardIDChanged();
}

void AppRuntime::captureRegion() { captureCoordinator().beginCapture(CaptureMode::region); }
void AppRuntime::captureWindow() { captureCoordinator().beginCapture(CaptureMode::window); }
void AppRuntime::captureDisplay() { captureCoordinator().beginCapture(CaptureMode::display); }

Expected<void, QString> AppRuntime::updateShortcutConfiguration(const GlobalShortcutConfiguration &configuration)
{
    return captureCoordinator()
        .updateShortcuts(configuration)
        .transform([this] {
            m_shortcutConfiguration = captureCoordinator().shortcutConfiguration();
            Q_EMIT shortcutConfigurationChanged();
            // A working registration completes a start whose hot-key step
            // failed, with the start's last step: no later start comes to
            // renew the weekly reminder.
            if (m_isUIReady && !m_isStarted)
                completeStart();
        })
        .transform_error(&CaptureSubsystemError::errorDescription);
}

void AppRuntime::setCaptureBehaviorPreferences(const CaptureBehaviorPreferences &preferences)
{
    m_captureBehaviorPreferences = preferences;
    Q_EMIT captureBehaviorPreferencesChanged();
}

void AppRuntime::setAutomaticallyOpensRegionCaptureReview(bool value)
{
    CaptureBehaviorPreferences preferences = m_captureBehaviorPreferences;
    preferences.automaticallyOpensRegionCaptureReview = value;
    m_preferencesStore.save(preferences);
    setCaptureBehaviorPreferences(preferences);
}

void AppRuntime::setAutomaticallyCopiesCaptures(bool value)
{
    CaptureBehaviorPreferences preferences = m_captureBehaviorPreferences;
    preferences.automaticallyCopiesCaptures = value;
    m_preferencesStore.save(preferences);
    setCaptureBehaviorPreferences(preferences);
}

void AppRuntime::openScreenRecordingSettings()
{
    CaptureCoordinator &coordinator = captureCoordinator();
    coordinator.permissionHistoryStore().defaults().setBoolean(
        ScreenCapturePermissionHistoryStore::hasRequestedAccessKey(), true);
    coordinator.setReturningFromScreenCaptureSettings(true);
    coordinator.refreshPermissionState();
    const bool opened = m_services.openScreenRecordingSettings
        ? m_services.openScreenRecordingSettings()
        : ScreenCapturePermissionController::openScreenRecordingSettings();
    setErrorMessage(std::nullopt);
    setActiveCaptureError(std::nullopt);
    coordinator.clearFailure();
    if (!opened)
        setErrorMessage(PlatformTexts::openPrivacySettingsInstruction());
}

void AppRuntime::relaunchApplication()
{
    const Expected<void, QString> launched = m_services.launchNewInstance ? m_services.launchNewInstance()
                                                                          : Expected<void, QString>();
    if (launched) {
        if (m_services.windowing)
            m_services.windowing->terminate();
        return;
    }
    setErrorMessage(QStringLiteral("Tessaline could not reopen automatically. Quit it and open it again. ")
                    + launched.error());
    bringMainWindowToFront();
}

void AppRuntime::setReviewRemindersEnabled(bool wanted, bool reportFailures)
{
    if (!m_services.setRemindersEnabled)
        return;
    m_services.setRemindersEnabled(wanted, this, [this, wanted, reportFailures](const Expected<bool, QString> &answer) {
        if (answer) {
            m_navigation->setRemindersEnabled(*answer);
            if (wanted && !*answer && reportFailures) {
                setErrorMessage(QStringLiteral("Review reminders remain off because notification access is not available."));
                bringMainWindowToFront();
            }
            return;
        }
        m_navigation->setRemindersEnabled(false);
        if (reportFailures) {
            setErrorMessage(QStringLiteral("Review reminders could not be scheduled. ") + answer.error());
            bringMainWindowToFront();
        }
    });
}

bool AppRuntime::copyCardImage(const CanvasCard &card, const QImage &picture, Pasteboard &pasteboard)
{
    if (!m_captureBehaviorPreferences.automaticallyCopiesCaptures)
        return false;
    return copyCardPng(card.id(), picture.isNull() ? std::nullopt : ImageExportService::pngData(picture), pasteboard);
}

bool AppRuntime::copyCardPng(const QUuid &cardID, const std::optional<QByteArray> &png, Pasteboard &pasteboard)
{
    if (!m_captureBehaviorPreferences.automaticallyCopiesCaptures)
        return false;
    const bool copied = png && pasteboard.setImage(*png);
    setLastAutomaticallyCopiedCardID(copied ? std::optional<QUuid>(cardID) : std::nullopt);
    return copied;
}

} // namespace tessaline

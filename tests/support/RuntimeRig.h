#pragma once

// A runtime over an in-memory library with recording fakes for everything
// the platform would do: capture, recognition, the index, the clipboard,
// reminders, relaunching and the windows.

#include "../capture/CaptureFakes.h"
#include "LibraryBuilder.h"

#include "runtime/AppRuntime.h"
#include "runtime/OCRService.h"
#include "runtime/DesktopSearchIndexService.h"
#include "model/ModelContainer.h"
#include "model/ModelContext.h"
#include "platform/FutureDelivery.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/SearchIndex.h"
#include "platform/UserDefaults.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <mutex>

namespace tessaline::testing {

using namespace tessaline::fakes;

class RecordingWindowing : public RuntimeWindowing
{
public:
    void bringMainWindowToFront() override { ++raised; }
    bool anyWindowHasSheet() const override { return sheetOpen; }
    void showCaptureToast(const QUuid &cardID) override { toasts.append(cardID); }
    void closeCaptureToast() override { ++toastsClosed; }
    void terminate() override { ++terminated; }

    int raised = 0;
    bool sheetOpen = false;
    QList<QUuid> toasts;
    int toastsClosed = 0;
    int terminated = 0;
};

// Recognition that answers when the test says so, delivered the way the real
// service delivers: on the receiver's thread, only while the receiver lives.
class FakeOCR : public OCRServicing
{
public:
    QFuture<OCRResult> recognizeText(const QImage &image, QObject *receiver) override
    {
        askedSizes.append(image.size());
        auto promise = std::make_shared<QPromise<OCRResult>>();
        promise->start();
        pending.append(promise);
        return deliveredTo(receiver, promise->future());
    }
    // Answers the oldest request; it arrives once the event loop turns.
    void answer(const QString &text)
    {
        const auto promise = pending.takeFirst();
        promise->addResult(RecognizedText{text, {}, {}});
        promise->finish();
    }
    QList<std::shared_ptr<QPromise<OCRResult>>> pending;
    // The sizes of the pictures asked to be read, in order.
    QList<QSize> askedSizes;
};

class RecordingPasteboard : public Pasteboard
{
public:
    void clearContents() override { types.clear(); }
    void declareTypes(const QStringList &declared) override { types = declared; }
    bool setData(const QByteArray &, const QString &) override { return !failWrites; }
    bool acceptsUnpromptedWrites() const override { return !dropsUnpromptedWrites; }
    QStringList types;
    bool failWrites = false;
    // As a Wayland compositor does while none of our windows has the keyboard.
    bool dropsUnpromptedWrites = false;
};

// What reaches the desktop-search index, written on the index's worker.
struct IndexLog
{
    // Every item indexed, in turn; items removed stay listed.
    QList<SearchableItem> indexed;
    QStringList removed;
    // Items are refused, as by an index on a full disk.
    std::atomic<bool> refusesItems = false;
    std::mutex mutex;

    // Items indexed again after their removal, which brings back what was
    // meant to be gone.
    QStringList broughtBack;

    QStringList removedNow()
    {
        std::lock_guard lock(mutex);
        return removed;
    }

    QStringList held()
    {
        std::lock_guard lock(mutex);
        QStringList identifiers;
        for (const SearchableItem &item : std::as_const(indexed)) {
            if (!identifiers.contains(item.uniqueIdentifier))
                identifiers << item.uniqueIdentifier;
        }
        for (const QString &identifier : std::as_const(removed))
            identifiers.removeAll(identifier);
        return identifiers;
    }

    // The item as last indexed, unless removed since.
    std::optional<SearchableItem> latest(const QString &identifier)
    {
        std::lock_guard lock(mutex);
        if (removed.contains(identifier))
            return std::nullopt;
        for (auto item = indexed.crbegin(); item != indexed.crend(); ++item) {
            if (item->uniqueIdentifier == identifier)
                return *item;
        }
        return std::nullopt;
    }
};

// An index holding the items indexed and not removed since.
class RecordingIndex : public SearchIndexing
{
public:
    explicit RecordingIndex(IndexLog *log) : m_log(log) {}
    Expected<void, SearchIndexError> indexItems(const QList<SearchableItem> &items) override
    {
        if (m_log->refusesItems)
            return unexpected(SearchIndexError{QStringLiteral("database or disk is full")});
        std::lock_guard lock(m_log->mutex);
        for (const SearchableItem &item : items) {
            if (m_log->removed.contains(item.uniqueIdentifier))
                m_log->broughtBack << item.uniqueIdentifier;
        }
        m_log->indexed += items;
        return {};
    }
    Expected<void, SearchIndexError> deleteItems(const QStringList &identifiers) override
    {
        std::lock_guard lock(m_log->mutex);
        m_log->removed += identifiers;
        return {};
    }
    Expected<QStringList, SearchIndexError> itemIdentifiers() override { return m_log->held(); }
    Expected<QHash<QString, QStringList>, SearchIndexError> itemKeywords() override
    {
        QHash<QString, QStringList> keywords;
        for (const QString &identifier : m_log->held())
            keywords.insert(identifier, m_log->latest(identifier)->keywords);
        return keywords;
    }
    std::optional<SearchableItem> item(const QString &identifier) override { return m_log->latest(identifier); }

private:
    IndexLog *m_log;
};

// One runtime over a library (in memory unless asked for a file in `dir`, or
// in `libraryDirectory` when given: the app started again over the library a
// rig before it left) and fakes for everything the platform would do.
struct Rig
{
    enum class Library { inMemory, onDisk };

    explicit Rig(Library library = Library::inMemory, const QString &libraryDirectory = QString())
    {
        defaults = std::make_unique<UserDefaults>(dir.filePath("settings.ini"));
        display = std::make_shared<FakeDisplayCapturing>();
        auto system = std::make_unique<FakeHotKeySystem>();
        hotKeys = system.get();
        CaptureCoordinatorServices capture;
        capture.displayCaptureService = display;
        capture.permissionHistoryStore = std::make_shared<ScreenCapturePermissionHistoryStore>(*defaults);
        capture.hotKeyManager = std::make_shared<GlobalHotKeyManager>(std::move(system));
        capture.shortcutStore = std::make_shared<GlobalShortcutConfigurationStore>(*defaults);
        permission = std::make_shared<FakePermission>();
        permission->access = true;
        capture.permissionController = permission;
        capture.notificationCenter = &center;

        ModelContainer::Configuration configuration;
        configuration.isStoredInMemoryOnly = library == Library::inMemory;
        configuration.directory = libraryDirectory.isEmpty() ? dir.path() : libraryDirectory;

        AppRuntimeServices services;
        services.modelContainer = std::move(*ModelContainer::open(configuration));
        services.defaults = defaults.get();
        services.captureCoordinator = std::make_unique<CaptureCoordinator>(std::move(capture));
        ocr = std::make_shared<FakeOCR>();
        services.ocrService = ocr;
        services.desktopSearchIndex = std::make_shared<DesktopSearchIndexService>(
            [log = &index] { return std::make_unique<RecordingIndex>(log); }, QStringLiteral("test.domain"));
        services.setRemindersEnabled = [this](bool wanted, QObject *, std::function<void(Expected<bool, QString>)> done) {
            reminderRequests.append(wanted);
            done(reminderAnswer);
        };
        services.pasteboard = &pasteboard;
        services.launchNewInstance = [this]() -> Expected<void, QString> {
            if (launchFailure)
                return unexpected(*launchFailure);
            return {};
        };
        services.openScreenRecordingSettings = [this] { return settingsOpen; };
        services.windowing = &windowing;
        runtime = std::make_unique<AppRuntime>(std::move(services));
    }

    ModelContext &context() { return runtime->modelContext(); }

    CaptureResult capture(CaptureMode mode)
    {
        CaptureResult result;
        result.id = QUuid::createUuid();
        result.image = QImage(40, 30, QImage::Format_RGB32);
        result.image.fill(Qt::darkCyan);
        result.capturedAt = at(100);
        result.mode = mode;
        result.sourceApplicationName = QStringLiteral("Text Editor");
        result.sourceBundleIdentifier = QStringLiteral("org.example.TextEditor");
        result.sourceWindowTitle = QStringLiteral("notes.txt");
        return result;
    }

    // Hands the capture to the runtime and waits until it is stored.
    std::optional<QUuid> handle(const CaptureResult &result)
    {
        QSignalSpy handled(runtime.get(), &AppRuntime::captureHandled);
        runtime->handleCaptureResult(result);
        if (!handled.wait(5000))
            return std::nullopt;
        QCoreApplication::processEvents(); // the review decision's turn
        return handled.first().first().value<std::optional<QUuid>>();
    }

    CanvasCard *card(const QUuid &id)
    {
        for (CanvasCard *card : *context().fetchCards()) {
            if (card->id() == id)
                return card;
        }
        return nullptr;
    }

    QTemporaryDir dir;
    std::unique_ptr<UserDefaults> defaults;
    NotificationCenter center;
    std::shared_ptr<FakeDisplayCapturing> display;
    std::shared_ptr<FakePermission> permission;
    FakeHotKeySystem *hotKeys = nullptr;
    std::shared_ptr<FakeOCR> ocr;
    IndexLog index;
    QList<SearchableItem> &indexed = index.indexed;
    RecordingPasteboard pasteboard;
    RecordingWindowing windowing;
    QList<bool> reminderRequests;
    Expected<bool, QString> reminderAnswer = true;
    std::optional<QString> launchFailure;
    bool settingsOpen = true;
    std::unique_ptr<AppRuntime> runtime;
};

} // namespace tessaline::testing

#include "runtime/OCRService.h"

#include "platform/FutureDelivery.h"
#include "platform/ImageDecoder.h"
#include "platform/MemoryRelease.h"
#include "platform/SerialExecutor.h"
#include "platform/TextRecognitionModule.h"

#include <QStringList>
#include <QFutureWatcher>
#include <QTimer>

#include <algorithm>
#include <thread>
#include <utility>

namespace tessaline {

// Belongs to the worker thread: the engine is made and released there.
struct OCRService::WorkerState
{
    RecognizerFactory factory;
    std::unique_ptr<TextRecognizing> recognizer;
    int engineLimit = 0;
    // Raised on the main thread as the service ends.
    std::shared_ptr<std::atomic<bool>> stop = std::make_shared<std::atomic<bool>>(false);

    TextRecognizing *ensureRecognizer()
    {
        if (!recognizer && factory) {
            recognizer = factory();
            if (recognizer && engineLimit > 0)
                recognizer->setEngineLimit(engineLimit);
            if (recognizer)
                recognizer->setStopFlag(stop);
        }
        return recognizer.get();
    }
};

OCRService::OCRService(RecognizerFactory factory)
    : m_state(std::make_shared<WorkerState>()),
      m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Text recognition"), SerialExecutor::Urgency::background)),
      m_idleRelease(std::make_unique<QTimer>())
{
    m_state->factory = std::move(factory);
    m_executor->runAtShutdown([state = m_state]() { state->recognizer.reset(); });
    m_idleRelease->setSingleShot(true);
    // Runs on the worker after every job asked before it, and any job asked
    // later simply loads what it needs again. The engines' pages of the heap
    // go back to the system with them.
    QObject::connect(m_idleRelease.get(), &QTimer::timeout, m_idleRelease.get(), [this] {
        m_awaitingImage = false;
        m_executor->run([state = m_state] {
            if (!state->recognizer)
                return;
            state->recognizer->releaseIdleResources();
            releaseFreedMemory();
        });
    });
}

OCRService::~OCRService()
{
    // The reading under way is not waited for: the worker's end waits for
    // it, and so would the app's, by as long as a page takes on a busy
    // machine. Its card stays marked as waiting to be read, and is read at
    // the next start.
    m_state->stop->store(true);
    // For whoever waits on the flag rather than looking at it.
    m_state->stop->notify_all();
}

OCRService::RecognizerFactory OCRService::defaultRecognizerFactory()
{
    return []() -> std::unique_ptr<TextRecognizing> { return std::make_unique<TextRecognitionModule>(); };
}

QString OCRService::joinedText(const QList<TextObservation> &observations)
{
    QStringList lines;
    for (const TextObservation &observation : observations) {
        if (observation.topCandidate)
            lines << *observation.topCandidate;
    }
    return lines.join(QLatin1Char('\n'));
}

void OCRService::setReleaseIntervals(int afterImagesMilliseconds, int afterPrepareMilliseconds)
{
    m_afterImagesInterval = afterImagesMilliseconds;
    m_afterPrepareInterval = afterPrepareMilliseconds;
}

namespace {

Expected<QImage, TextRecognitionError> decodedPicture(const QByteArray &picture)
{
    // The grey picture is all the engines read; a capture's colour pixels
    // are never decoded as a whole.
    auto decoded = ImageDecoder::decodeGrey(picture);
    if (!decoded)
        return unexpected(TextRecognitionError{QStringLiteral("The picture could not be read."), true});
    return std::move(*decoded);
}

} // namespace

QFuture<OCRResult> OCRServicing::recognizeStoredPicture(const QByteArray &picture, QObject *receiver)
{
    const auto image = decodedPicture(picture);
    if (!image)
        return deliveredTo(receiver, QtFuture::makeReadyFuture(OCRResult(unexpected(image.error()))));
    return recognizeText(*image, receiver);
}

void OCRService::prepare()
{
    m_awaitingImage = true;
    if (m_running == 0)
        m_idleRelease->start(m_afterPrepareInterval);
    m_executor->run([state = m_state] {
        if (TextRecognizing *recognizer = state->ensureRecognizer())
            recognizer->prepare();
    });
}

void OCRService::openCode()
{
    m_executor->run([state = m_state] {
        if (TextRecognizing *recognizer = state->ensureRecognizer())
            recognizer->openCode();
    });
}

int OCRService::frugalEngineLimit()
{
    return std::clamp(int(std::thread::hardware_concurrency()) / 2, 1, 4);
}

void OCRService::setReadingFrugally(bool frugal)
{
    if (std::exchange(m_frugal, frugal) == frugal)
        return;
    // In turn with the readings: those asked for before are read as they
    // were asked.
    m_executor->run([state = m_state, limit = frugal ? frugalEngineLimit() : 0] {
        state->engineLimit = limit;
        if (!state->recognizer)
            return;
        state->recognizer->setEngineLimit(limit);
        // What the ended engines held goes back now, not after the backlog.
        if (limit > 0)
            releaseFreedMemory();
    });
}

QFuture<OCRResult> OCRService::recognizeText(const QImage &image, QObject *receiver)
{
    return submit([image]() -> Expected<QImage, TextRecognitionError> { return image; }, receiver);
}

QFuture<OCRResult> OCRService::recognizeStoredPicture(const QByteArray &picture, QObject *receiver)
{
    return submit([picture] { return decodedPicture(picture); }, receiver);
}

QFuture<OCRResult> OCRService::submit(PictureSource picture, QObject *receiver)
{
    m_idleRelease->stop();
    m_awaitingImage = false;
    ++m_running;
    auto job = [state = m_state, picture = std::move(picture)]() mutable -> OCRResult {
        if (!state->ensureRecognizer())
            return unexpected(TextRecognitionError{QStringLiteral("Text recognition is not available.")});
        auto image = picture();
        // A stored picture's bytes (17 MB at 5K) are not kept while the
        // engines read.
        picture = nullptr;
        if (!image)
            return unexpected(image.error());
        const QSize size = image->size();
        // Handed over, so that it goes once the engines hold their own copy.
        return state->recognizer->recognize(std::move(*image)).transform([&](const QList<TextObservation> &lines) {
            return RecognizedText{joinedText(lines), lines, size};
        });
    };
    QFuture<OCRResult> read = m_executor->submit(m_idleRelease.get(), std::move(job));
    // The count is kept on this thread, whether or not the receiver is
    // still there when the job ends: the idle wait starts after the last.
    auto *ended = new QFutureWatcher<OCRResult>(m_idleRelease.get());
    QObject::connect(ended, &QFutureWatcherBase::finished, ended, [this, ended] {
        ended->deleteLater();
        if (--m_running == 0)
            m_idleRelease->start(m_awaitingImage ? m_afterPrepareInterval : m_afterImagesInterval);
    });
    ended->setFuture(read);
    return deliveredTo(receiver, read);
}

} // namespace tessaline

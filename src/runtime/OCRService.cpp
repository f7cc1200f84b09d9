#include "runtime/OCRService.h"

#include "platform/SerialExecutor.h"
#include "platform/TesseractRecognizer.h"

#include <QPointer>
#include <QStringList>

namespace tessaline {

// Belongs to the worker thread: the engine is made and released there.
struct OCRService::WorkerState
{
    RecognizerFactory factory;
    std::unique_ptr<TextRecognizing> recognizer;
};

OCRService::OCRService(RecognizerFactory factory)
    : m_state(std::make_shared<WorkerState>()),
      m_executor(std::make_unique<SerialExecutor>(QStringLiteral("Text recognition")))
{
    m_state->factory = std::move(factory);
    m_executor->runAtShutdown([state = m_state]() { state->recognizer.reset(); });
}

OCRService::~OCRService() = default;

OCRService::RecognizerFactory OCRService::defaultRecognizerFactory()
{
    return []() -> std::unique_ptr<TextRecognizing> { return std::make_unique<TesseractRecognizer>(); };
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

void OCRService::recognizeText(const QImage &image, QObject *receiver, Completion completion)
{
    m_executor->run([state = m_state, image, receiver = QPointer<QObject>(receiver), completion]() {
        if (!state->recognizer && state->factory)
            state->recognizer = state->factory();
        OCRResult result;
        if (!state->recognizer) {
            result.error = TextRecognitionError{QStringLiteral("Text recognition is not available.")};
        } else {
            const TextRecognitionOutcome outcome = state->recognizer->recognize(image);
            if (outcome.error) {
                result.error = outcome.error;
            } else {
                result.text = joinedText(outcome.observations);
                result.lines = outcome.observations;
                result.imageSize = image.size();
            }
        }
        deliverTo(receiver, [completion, result]() { completion(result); });
    });
}

} // namespace tessaline

#include "runtime/OCRService.h"

#include "platform/SerialExecutor.h"
#include "platform/TesseractRecognizer.h"

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

QFuture<OCRResult> OCRService::recognizeText(const QImage &image, QObject *receiver)
{
    return m_executor->submit(receiver, [state = m_state, image]() -> OCRResult {
        if (!state->recognizer && state->factory)
            state->recognizer = state->factory();
        if (!state->recognizer)
            return unexpected(TextRecognitionError{QStringLiteral("Text recognition is not available.")});
        return state->recognizer->recognize(image).transform([&](const QList<TextObservation> &lines) {
            return RecognizedText{joinedText(lines), lines, image.size()};
        });
    });
}

} // namespace tessaline

#pragma once

#include "platform/TextRecognizer.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tessaline {

class SerialExecutor;

struct OCRResult
{
    QString text; // the recognised lines joined with "\n"; empty on failure
    std::optional<TextRecognitionError> error;
    // The lines with their words' boxes, in pixels of an image this size:
    // what it takes to leave out words that annotations hide.
    QList<TextObservation> lines;
    QSize imageSize;
};

// Text recognition as the runtime sees it, so tests can hand it a fake.
class OCRServicing
{
public:
    using Completion = std::function<void(const OCRResult &)>;
    virtual ~OCRServicing() = default;
    // Reads the image off the caller's thread; `completion` runs later as a
    // queued call on the receiver's thread, never when the receiver is gone.
    virtual void recognizeText(const QImage &image, QObject *receiver, Completion completion) = 0;
};

// Recognition on one worker thread of its own that takes one image at a
// time, in the order asked.
class OCRService final : public OCRServicing
{
public:
    using RecognizerFactory = std::function<std::unique_ptr<TextRecognizing>()>;

    // The recogniser is made on the worker thread at first use; by default
    // Tesseract with English.
    explicit OCRService(RecognizerFactory factory = defaultRecognizerFactory());
    ~OCRService() override;

    static RecognizerFactory defaultRecognizerFactory();

    // The lines' best candidates, unchanged, with one line feed between two;
    // a line without a candidate adds nothing, not even an empty line.
    static QString joinedText(const QList<TextObservation> &observations);

    void recognizeText(const QImage &image, QObject *receiver, Completion completion) override;

private:
    struct WorkerState;
    std::shared_ptr<WorkerState> m_state;
    std::unique_ptr<SerialExecutor> m_executor;
};

} // namespace tessaline

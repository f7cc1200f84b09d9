#pragma once

#include "platform/Expected.h"
#include "platform/TextRecognizer.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QTimer;

namespace tessaline {

class SerialExecutor;

// What recognition read in a picture.
struct RecognizedText
{
    QString text; // the recognised lines joined with "\n"
    // The lines with their words' boxes, in pixels of an image this size:
    // what it takes to leave out words that annotations hide.
    QList<TextObservation> lines;
    QSize imageSize;
};

// The text read, or why it could not be read.
using OCRResult = Expected<RecognizedText, TextRecognitionError>;

// Text recognition as the runtime sees it, so tests can hand it a fake.
class OCRServicing
{
public:
    virtual ~OCRServicing() = default;
    // Reads the image off the caller's thread. The future finishes on the
    // receiver's thread while the receiver lives, never during the call:
    // attach the follow-up with `then(receiver, ...)`.
    virtual QFuture<OCRResult> recognizeText(const QImage &image, QObject *receiver) = 0;
    // The same for a stored picture, from its encoded bytes. By default
    // they are decoded here; the real service decodes them on its worker
    // when their turn comes, so nothing decoded waits in its queue.
    virtual QFuture<OCRResult> recognizeStoredPicture(const QByteArray &picture, QObject *receiver);
    // A recognition is coming (a capture has begun): what its reading
    // would start with is done now, off the caller's thread.
    virtual void prepare() {}
    // Opens the recogniser's code (not its models) off the caller's
    // thread, ahead of the first capture: see TextRecognizing::openCode.
    virtual void openCode() {}
    // While on, the pictures asked for next are read with fewer engines
    // (less memory, more time): for a backlog of captures, whose reading no
    // one waits on, while the burst that made it has the memory high.
    virtual void setReadingFrugally(bool frugal) { (void)frugal; }
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

    QFuture<OCRResult> recognizeText(const QImage &image, QObject *receiver) override;
    QFuture<OCRResult> recognizeStoredPicture(const QByteArray &picture, QObject *receiver) override;
    // Makes the recogniser on the worker and lets it prepare (the
    // default one opens its module and loads its first engine there),
    // ahead of the images.
    void prepare() override;
    void openCode() override;
    // Half the processors' engines, at most four (about 13 MB each); the
    // engines beyond them are let go at once.
    void setReadingFrugally(bool frugal) override;
    static int frugalEngineLimit();

    // How long the recogniser keeps its engines after the last image was
    // read: a burst of captures keeps them busy and reuses them, an idle app
    // gives their memory back soon after its last capture is read.
    static constexpr int idleReleaseMilliseconds = 3'000;
    // How long what prepare loaded is kept while no image has come: the
    // capture it was for may take a while to choose (a region dragged out),
    // and one given up should not hold the engine for good.
    static constexpr int preparedReleaseMilliseconds = 60'000;
    void setReleaseIntervals(int afterImagesMilliseconds, int afterPrepareMilliseconds);

private:
    struct WorkerState;
    // Runs on the worker: the picture to read, or why there is none.
    using PictureSource = std::function<Expected<QImage, TextRecognitionError>()>;
    QFuture<OCRResult> submit(PictureSource picture, QObject *receiver);

    std::shared_ptr<WorkerState> m_state;
    std::unique_ptr<SerialExecutor> m_executor;
    std::unique_ptr<QTimer> m_idleRelease;
    int m_running = 0;
    // Prepared for an image that has not been asked for yet.
    bool m_awaitingImage = false;
    bool m_frugal = false;
    int m_afterImagesInterval = idleReleaseMilliseconds;
    int m_afterPrepareInterval = preparedReleaseMilliseconds;
};

} // namespace tessaline

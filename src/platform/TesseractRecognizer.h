#pragma once

#include "platform/TextRecognizer.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace tesseract {
class TessBaseAPI;
}

namespace tessaline {

// Tesseract 5 reading English with its LSTM engine and dictionary. One
// engine finds the text blocks of the page in reading order; the blocks,
// long ones cut between their lines, are then read in parallel by a small
// set of engines, each on its own thread, and their lines put back in
// reading order. Light text on a dark ground is turned dark on light first.
// Not thread-safe: one instance belongs to one thread at a time.
class TesseractRecognizer final : public TextRecognizing
{
public:
    // An empty data path means Tesseract's own default (TESSDATA_PREFIX or
    // the installed tessdata folder). `engines` 0 means one per processor,
    // at most eight: the layout is found by one engine alone and everything
    // waits for it, so the reading after it gets every processor there is.
    // Each engine holds its own copy of the model (about 15 MB).
    explicit TesseractRecognizer(QByteArray dataPath = {}, int engines = 0);
    ~TesseractRecognizer() override;

    // Loads the language data at first use (the engines other than the
    // first while the first finds the layout); a failure of the first is
    // reported by every call until loading succeeds.
    TextRecognitionOutcome recognize(const QImage &image) override;

    // The 8-bit grey picture the engines read; an image already grey comes
    // back shared. Several times faster than Qt's conversion for screen
    // captures, so callers holding a large frame can make it early (any
    // thread) and let the frame go.
    static QImage greyImage(const QImage &image);

    // Where the language data was found (GetDatapath), once loaded.
    QString dataPath() const;

private:
    Expected<void, TextRecognitionError> ensureLayoutEngine();
    std::unique_ptr<tesseract::TessBaseAPI> loadedEngine() const;

    QByteArray m_requestedDataPath;
    int m_wantedEngines;
    // The first finds the layout; an empty slot is loaded on its thread.
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
};

} // namespace tessaline

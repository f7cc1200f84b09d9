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
//
// Built into a module of its own with Tesseract and its libraries behind it
// (see TextRecognitionModule), so that the app starts without loading them;
// nothing else links it.
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
    // first once the first has found the layout, and only as many as there
    // are pieces to read); a failure of the first is reported by every call
    // until loading succeeds.
    TextRecognitionOutcome recognize(QImage image) override;
    // Loads the first engine, the one every page waits for.
    void prepare() override;
    // Ends every engine (about 15 MB each, and what each kept from its
    // last page); the first loads again at the next call or prepare, the
    // others once that page's layout is found.
    void releaseIdleResources() override;
    // Engines beyond the limit are ended at once.
    void setEngineLimit(int engines) override;
    void setStopFlag(std::shared_ptr<const std::atomic<bool>> stop) override { m_stop = std::move(stop); }

private:
    bool stopped() const { return m_stop && m_stop->load(std::memory_order_relaxed); }

    Expected<void, TextRecognitionError> ensureLayoutEngine();
    std::unique_ptr<tesseract::TessBaseAPI> loadedEngine() const;

    QByteArray m_requestedDataPath;
    int m_wantedEngines;
    int m_engineLimit = 0;
    // The first finds the layout; an empty slot is loaded on its thread.
    std::vector<std::unique_ptr<tesseract::TessBaseAPI>> m_engines;
    std::shared_ptr<const std::atomic<bool>> m_stop;
};

} // namespace tessaline

// The module's one entry point: a new recogniser (the caller owns it), as
// the constructor takes it; a null `dataPath` means the default.
// TextRecognitionModule looks it up by this name.
extern "C" Q_DECL_EXPORT tessaline::TextRecognizing *tessaline_new_tesseract_recognizer(const char *dataPath,
                                                                                       int engines);

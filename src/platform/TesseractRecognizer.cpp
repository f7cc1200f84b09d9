#include "platform/TesseractRecognizer.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/publictypes.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <thread>

namespace tessaline {

namespace {

// Tesseract's OpenMP loops spin-wait for their team; on a busy desktop that
// costs far more than it gains, and we run our own engines in parallel. The
// loops name their team size, so only making every parallel region inactive
// (no active levels) keeps them to the calling thread. The setting is per
// thread. libgomp comes in with Tesseract (when built with it), so it is
// looked up rather than linked.
void keepOpenMpToThisThread()
{
    using SetLevels = void (*)(int);
    static const auto setMaxActiveLevels =
        reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"));
    if (setMaxActiveLevels)
        setMaxActiveLevels(0);
}

constexpr int desktopDpi = 96;
constexpr int blockMargin = 4;
// Below this many pixels across or down a picture cannot hold a readable
// line of text (the smallest screen glyphs need about that much).
constexpr int smallestTextSide = 8;

// The engine and its image library report what they cannot make sense of
// (an empty page, a box outside a thin picture) on the terminal. For us each
// of those is simply no text, so they stay quiet. Both settings are
// process-wide.
void silenceEngineMessages(tesseract::TessBaseAPI &engine)
{
    setMsgSeverity(L_SEVERITY_NONE);
    engine.SetVariable("debug_file", "/dev/null");
}

struct TextBlock
{
    int left = 0, top = 0, right = 0, bottom = 0;
    QList<TextObservation> lines;
    bool failed = false;
};

QString utf8Text(tesseract::ResultIterator &it, tesseract::PageIteratorLevel level)
{
    const std::unique_ptr<char[]> text(it.GetUTF8Text(level));
    return text ? QString::fromUtf8(text.get()) : QString();
}

// Each line's text with the box of every word in it. The iterator walks the
// words of a line and then steps on to the next line.
void readLines(tesseract::TessBaseAPI &engine, QList<TextObservation> &lines)
{
    std::unique_ptr<tesseract::ResultIterator> it(engine.GetIterator());
    if (!it)
        return;
    do {
        if (it->Empty(tesseract::RIL_TEXTLINE))
            continue;
        TextObservation observation;
        QString text = utf8Text(*it, tesseract::RIL_TEXTLINE);
        // Tesseract ends each line with a line feed of its own, and the
        // last line of a paragraph with a second one.
        while (text.endsWith(QLatin1Char('\n')))
            text.chop(1);
        if (!text.isEmpty())
            observation.topCandidate = text;
        do {
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!it->Empty(tesseract::RIL_WORD) && it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom)) {
                const QString word = utf8Text(*it, tesseract::RIL_WORD);
                if (!word.isEmpty())
                    observation.words << RecognizedWord{word, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))};
            }
        } while (!it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) && it->Next(tesseract::RIL_WORD));
        lines << observation;
    } while (it->Next(tesseract::RIL_TEXTLINE));
}

} // namespace

TesseractRecognizer::TesseractRecognizer(QByteArray dataPath, int engines)
    : m_requestedDataPath(std::move(dataPath)),
      m_wantedEngines(engines > 0 ? engines : std::clamp(int(std::thread::hardware_concurrency()), 1, 4))
{
}

TesseractRecognizer::~TesseractRecognizer()
{
    for (auto &engine : m_engines)
        engine->End();
}

Expected<void, TextRecognitionError> TesseractRecognizer::ensureEngines()
{
    keepOpenMpToThisThread();
    const char *path = m_requestedDataPath.isEmpty() ? nullptr : m_requestedDataPath.constData();
    while (int(m_engines.size()) < m_wantedEngines) {
        auto engine = std::make_unique<tesseract::TessBaseAPI>();
        silenceEngineMessages(*engine);
        if (engine->Init(path, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
            engine->End();
            if (m_engines.empty()) {
                return unexpected(TextRecognitionError{QStringLiteral("Text recognition is not available: the "
                                                                      "English language data could not be loaded.")});
            }
            m_wantedEngines = int(m_engines.size()); // work with the engines there are
            break;
        }
        m_engines.push_back(std::move(engine));
    }
    return {};
}

QString TesseractRecognizer::dataPath() const
{
    return m_engines.empty() ? QString() : QString::fromUtf8(m_engines.front()->GetDatapath());
}

QImage TesseractRecognizer::greyImage(const QImage &image)
{
    if (image.isNull() || image.format() == QImage::Format_Grayscale8)
        return image;
    if (image.format() != QImage::Format_RGB32)
        return image.convertToFormat(QImage::Format_Grayscale8);
    QImage grey(image.size(), QImage::Format_Grayscale8);
    if (grey.isNull())
        return grey;
    const int width = image.width();
    for (int y = 0; y < image.height(); ++y) {
        const auto *source = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        uchar *target = grey.scanLine(y);
        for (int x = 0; x < width; ++x) {
            const QRgb pixel = source[x];
            target[x] = uchar((qRed(pixel) * 11 + qGreen(pixel) * 16 + qBlue(pixel) * 5) >> 5);
        }
    }
    return grey;
}

TextRecognitionOutcome TesseractRecognizer::recognize(const QImage &image)
{
    if (auto engines = ensureEngines(); !engines)
        return unexpected(engines.error());
    // Nothing to read is not a failure.
    if (image.isNull() || image.width() < smallestTextSide || image.height() < smallestTextSide)
        return QList<TextObservation>();

    // Tesseract reads grey levels; one shared copy serves every engine.
    const QImage grey = greyImage(image);

    // Page layout: the text blocks in reading order.
    tesseract::TessBaseAPI &layout = *m_engines.front();
    layout.SetPageSegMode(tesseract::PSM_AUTO);
    layout.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    layout.SetSourceResolution(desktopDpi);
    std::vector<TextBlock> blocks;
    {
        std::unique_ptr<tesseract::PageIterator> it(layout.AnalyseLayout());
        if (it) {
            do {
                TextBlock block;
                if (PTIsTextType(it->BlockType())
                    && it->BoundingBox(tesseract::RIL_BLOCK, &block.left, &block.top, &block.right, &block.bottom))
                    blocks.push_back(block);
            } while (it->Next(tesseract::RIL_BLOCK));
        }
    }
    layout.Clear();

    // Each engine reads whole blocks; which engine reads which block does
    // not change the result.
    std::atomic<size_t> next{0};
    auto work = [&](tesseract::TessBaseAPI *engine) {
        keepOpenMpToThisThread();
        engine->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        engine->SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
        engine->SetSourceResolution(desktopDpi);
        for (size_t i = next++; i < blocks.size(); i = next++) {
            TextBlock &block = blocks[i];
            const int left = std::max(0, block.left - blockMargin);
            const int top = std::max(0, block.top - blockMargin);
            const int right = std::min(grey.width(), block.right + blockMargin);
            const int bottom = std::min(grey.height(), block.bottom + blockMargin);
            engine->SetRectangle(left, top, right - left, bottom - top);
            if (engine->Recognize(nullptr) != 0) {
                block.failed = true;
                continue;
            }
            readLines(*engine, block.lines);
        }
        engine->Clear();
    };
    const size_t threads = std::min(m_engines.size(), std::max<size_t>(blocks.size(), 1));
    std::vector<std::thread> helpers;
    for (size_t t = 1; t < threads; ++t)
        helpers.emplace_back(work, m_engines[t].get());
    work(m_engines.front().get());
    for (std::thread &helper : helpers)
        helper.join();

    QList<TextObservation> observations;
    for (const TextBlock &block : blocks) {
        if (block.failed)
            return unexpected(TextRecognitionError{QStringLiteral("The text in the image could not be recognised.")});
        observations += block.lines;
    }
    return observations;
}

} // namespace tessaline

#include "platform/TesseractRecognizer.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/publictypes.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <latch>
#include <numeric>
#include <system_error>
#include <thread>
#include <utility>

// Tesseract's OpenMP loops spin-wait for their team; on a busy desktop that
// costs far more than it gains, and we run our own engines in parallel. The
// loops name their team size, so only making every parallel region inactive
// (no active levels) keeps them to the calling thread. The setting is per
// thread. libgomp comes in with Tesseract (when built with it), so the call
// is a weak reference, bound when the module is opened to the libgomp its
// Tesseract loaded; a lookup in the process's global scope would miss it, as
// the module and what it brings are opened locally.
extern "C" void omp_set_max_active_levels(int) __attribute__((weak));

namespace tessaline {

namespace {

void keepOpenMpToThisThread()
{
    if (omp_set_max_active_levels)
        omp_set_max_active_levels(0);
}

constexpr int desktopDpi = 96;
constexpr int blockMargin = 4;
// Below this many pixels across or down a picture cannot hold a readable
// line of text (the smallest screen glyphs need about that much).
constexpr int smallestTextSide = 8;
// A grey level this far from the background counts as ink.
constexpr int inkContrast = 40;
// How much text one engine reads in one go, as the width of a line scaled
// to a height of 32 (the engine's network reads lines at one height, so
// that is what its time follows). About four full-width lines of a text
// editor: small enough that a page of one block spreads over the engines,
// large enough that what each call costs besides the lines stays small
// (cut into single lines, a page takes a fifth longer). Fixed, so that how
// a page is cut never depends on the machine.
constexpr int pieceWork = 10 * 1400;

// The engine and its image library report what they cannot make sense of
// (an empty page, a box outside a thin picture) on the terminal. For us each
// of those is simply no text, so they stay quiet. Both settings are
// process-wide.
void silenceEngineMessages(tesseract::TessBaseAPI &engine)
{
    setMsgSeverity(L_SEVERITY_NONE);
    engine.SetVariable("debug_file", "/dev/null");
}

// Whether light ink on a dark ground dominates the area. The ground is the
// most common grey level (screens paint flat backgrounds); ink is what
// stands clearly apart from it, on either side.
bool isLightOnDark(const QImage &grey, const QRect &area, int step)
{
    std::array<int, 64> levels{};
    for (int y = area.top(); y <= area.bottom(); y += step) {
        const uchar *line = grey.constScanLine(y);
        for (int x = area.left(); x <= area.right(); x += step)
            ++levels[line[x] >> 2];
    }
    const int ground = int(std::max_element(levels.begin(), levels.end()) - levels.begin()) * 4 + 2;
    int lighter = 0, darker = 0;
    for (int i = 0; i < int(levels.size()); ++i) {
        const int level = i * 4 + 2;
        if (level > ground + inkContrast)
            lighter += levels[i];
        else if (level < ground - inkContrast)
            darker += levels[i];
    }
    return lighter > darker;
}

// The network was taught dark text on a light ground; white-on-dark text
// read as it stands comes out as a low-confidence guess. The engine could
// retry such lines inverted, but that reads them twice and every line of a
// dark page is such a line; turning the pixels ourselves reads them once.
QImage darkTextOnLight(QImage grey, const QRect &area, int step)
{
    if (isLightOnDark(grey, area, step))
        grey.invertPixels();
    return grey;
}

// A run of lines of one layout block that one engine reads at once, and
// what it read, in the image's coordinates.
struct TextPiece
{
    QRect crop; // the pixels handed to the engine
    // Rows above and below these (in the image) belong to the neighbouring
    // pieces and are painted over.
    int keepTop = 0;
    int keepBottom = 0;
    int work = 0;
    QList<TextObservation> lines;
    bool failed = false;
};

// A box as the engine reports it: right and bottom one past the last pixel.
struct EngineBox
{
    int left = 0, top = 0, right = 0, bottom = 0;
};

// The text lines of the blocks in reading order, cut into pieces of about
// `pieceWork` each. A block that fits stays whole, exactly as the layout
// found it; a longer one is cut halfway between two of its lines.
std::vector<TextPiece> textPieces(tesseract::PageIterator &it, const QSize &imageSize)
{
    std::vector<TextPiece> pieces;
    const QRect page(QPoint(0, 0), imageSize);
    do {
        EngineBox block;
        if (!PTIsTextType(it.BlockType())
            || !it.BoundingBox(tesseract::RIL_BLOCK, &block.left, &block.top, &block.right, &block.bottom)) {
            continue;
        }
        // Only lines that follow one another down the page can be cut apart
        // by rows.
        tesseract::Orientation orientation = tesseract::ORIENTATION_PAGE_UP;
        tesseract::WritingDirection direction = tesseract::WRITING_DIRECTION_LEFT_TO_RIGHT;
        tesseract::TextlineOrder order = tesseract::TEXTLINE_ORDER_TOP_TO_BOTTOM;
        float deskew = 0;
        it.Orientation(&orientation, &direction, &order, &deskew);
        const bool stacked = orientation == tesseract::ORIENTATION_PAGE_UP
                             && order == tesseract::TEXTLINE_ORDER_TOP_TO_BOTTOM;
        std::vector<EngineBox> lines;
        std::vector<int> work;
        do {
            EngineBox line;
            if (it.BoundingBox(tesseract::RIL_TEXTLINE, &line.left, &line.top, &line.right, &line.bottom)) {
                lines.push_back(line);
                work.push_back((line.right - line.left) * 32 / std::max(1, line.bottom - line.top));
            }
        } while (!it.IsAtFinalElement(tesseract::RIL_BLOCK, tesseract::RIL_TEXTLINE)
                 && it.Next(tesseract::RIL_TEXTLINE));

        const QRect blockArea = QRect(QPoint(block.left - blockMargin, block.top - blockMargin),
                                      QPoint(block.right + blockMargin - 1, block.bottom + blockMargin - 1))
                                    .intersected(page);
        const int total = std::accumulate(work.begin(), work.end(), 0);
        if (!stacked || lines.size() < 2 || total <= pieceWork) {
            pieces.push_back(TextPiece{blockArea, blockArea.top(), blockArea.bottom(), total, {}, false});
            continue;
        }
        // A cut goes between a line and one that starts below its middle and
        // ends below it.
        auto canCutAfter = [&](size_t i) {
            return i + 1 < lines.size() && lines[i + 1].top > (lines[i].top + lines[i].bottom) / 2
                   && lines[i + 1].bottom > lines[i].bottom;
        };
        // Even pieces, so the last one is not a sliver.
        const int target = total / ((total + pieceWork - 1) / pieceWork);
        size_t first = 0;
        int sum = 0;
        for (size_t i = 0; i < lines.size(); ++i) {
            sum += work[i];
            const bool last = i + 1 == lines.size();
            if (!last && (sum < target || !canCutAfter(i)))
                continue;
            TextPiece piece;
            piece.work = sum;
            piece.keepTop = first == 0 ? blockArea.top() : (lines[first - 1].bottom + lines[first].top) / 2;
            piece.keepBottom = last ? blockArea.bottom() : (lines[i].bottom + lines[i + 1].top) / 2 - 1;
            const int top = std::max(blockArea.top(), std::min(piece.keepTop, lines[first].top - blockMargin));
            const int bottom =
                std::min(blockArea.bottom(), std::max(piece.keepBottom, lines[i].bottom + blockMargin - 1));
            piece.crop = QRect(QPoint(blockArea.left(), top), QPoint(blockArea.right(), bottom));
            pieces.push_back(piece);
            first = i + 1;
            sum = 0;
        }
    } while (it.Next(tesseract::RIL_BLOCK));
    return pieces;
}

struct PixDeleter
{
    void operator()(Pix *pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<Pix, PixDeleter>;

// The grey picture as an 8-bit page; none when its memory cannot be had.
PixPointer greyPix(const QImage &grey)
{
    PixPointer page(pixCreateNoInit(grey.width(), grey.height(), 8));
    if (!page)
        return page;
    const int wordsPerLine = pixGetWpl(page.get());
    l_uint32 *data = pixGetData(page.get());
    for (int y = 0; y < grey.height(); ++y) {
        l_uint32 *line = data + size_t(y) * size_t(wordsPerLine);
        const uchar *source = grey.constScanLine(y);
        for (int x = 0; x < grey.width(); ++x)
            SET_DATA_BYTE(line, x, source[x]);
    }
    return page;
}

// The area of an 8-bit page as a grey picture. Leptonica keeps each word's
// four pixels in the word's own byte order, hence pixel by pixel.
QImage greyArea(const Pix &page, const QRect &area)
{
    QImage image(area.size(), QImage::Format_Grayscale8);
    if (image.isNull())
        return image;
    const int wordsPerLine = pixGetWpl(&page);
    const l_uint32 *data = pixGetData(const_cast<Pix *>(&page));
    for (int y = 0; y < area.height(); ++y) {
        const l_uint32 *line = data + size_t(area.top() + y) * size_t(wordsPerLine);
        uchar *target = image.scanLine(y);
        for (int x = 0; x < area.width(); ++x)
            target[x] = uchar(GET_DATA_BYTE(line, area.left() + x));
    }
    return image;
}

// The piece's pixels as the engine should see them: dark text on light,
// with the slivers of the neighbouring pieces' lines painted over with the
// ground, so that no half line is read twice.
QImage pieceImage(const Pix &page, const TextPiece &piece)
{
    QImage image = greyArea(page, piece.crop);
    const int above = std::clamp(piece.keepTop - piece.crop.top(), 0, image.height());
    const int below = std::clamp(piece.crop.bottom() - piece.keepBottom, 0, image.height() - above);
    if (above > 0 || below > 0) {
        std::array<int, 256> levels{};
        for (int y = above; y < image.height() - below; ++y) {
            const uchar *line = image.constScanLine(y);
            for (int x = 0; x < image.width(); ++x)
                ++levels[line[x]];
        }
        const auto ground = uchar(std::max_element(levels.begin(), levels.end()) - levels.begin());
        for (int y = 0; y < above; ++y)
            std::memset(image.scanLine(y), ground, size_t(image.width()));
        for (int y = image.height() - below; y < image.height(); ++y)
            std::memset(image.scanLine(y), ground, size_t(image.width()));
    }
    const QRect area = image.rect();
    return darkTextOnLight(std::move(image), area, 1);
}

QString utf8Text(tesseract::ResultIterator &it, tesseract::PageIteratorLevel level)
{
    const std::unique_ptr<char[]> text(it.GetUTF8Text(level));
    return text ? QString::fromUtf8(text.get()) : QString();
}

// Each line's text with the box of every word in it, moved by `offset` from
// the engine's picture into the page. The iterator walks the words of a
// line and then steps on to the next line.
void readLines(tesseract::TessBaseAPI &engine, const QPoint &offset, QList<TextObservation> &lines)
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
                if (!word.isEmpty()) {
                    const QRect box(QPoint(left, top), QPoint(right - 1, bottom - 1));
                    observation.words << RecognizedWord{word, box.translated(offset)};
                }
            }
        } while (!it->IsAtFinalElement(tesseract::RIL_TEXTLINE, tesseract::RIL_WORD) && it->Next(tesseract::RIL_WORD));
        lines << observation;
    } while (it->Next(tesseract::RIL_TEXTLINE));
}

} // namespace

TesseractRecognizer::TesseractRecognizer(QByteArray dataPath, int engines)
    : m_requestedDataPath(std::move(dataPath)),
      m_wantedEngines(engines > 0 ? engines : std::clamp(int(std::thread::hardware_concurrency()), 1, 8))
{
}

TesseractRecognizer::~TesseractRecognizer()
{
    for (auto &engine : m_engines) {
        if (engine)
            engine->End();
    }
}

std::unique_ptr<tesseract::TessBaseAPI> TesseractRecognizer::loadedEngine() const
{
    keepOpenMpToThisThread();
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    silenceEngineMessages(*engine);
    const char *path = m_requestedDataPath.isEmpty() ? nullptr : m_requestedDataPath.constData();
    if (engine->Init(path, "eng", tesseract::OEM_LSTM_ONLY) != 0) {
        engine->End();
        return nullptr;
    }
    // Light text is turned dark before the engine sees it (see
    // darkTextOnLight), so a second, inverted reading of every uncertain
    // line would only double the time.
    engine->SetVariable("tessedit_do_invert", "0");
    return engine;
}

Expected<void, TextRecognitionError> TesseractRecognizer::ensureLayoutEngine()
{
    if (m_engines.empty())
        m_engines.resize(size_t(m_wantedEngines));
    if (!m_engines.front())
        m_engines.front() = loadedEngine();
    if (!m_engines.front()) {
        return unexpected(TextRecognitionError{QStringLiteral("Text recognition is not available: the "
                                                              "English language data could not be loaded.")});
    }
    return {};
}

void TesseractRecognizer::prepare()
{
    (void)ensureLayoutEngine(); // a failure is said by the recognition
}

void TesseractRecognizer::releaseIdleResources()
{
    for (auto &engine : m_engines) {
        if (engine) {
            engine->End();
            engine.reset();
        }
    }
}

void TesseractRecognizer::setEngineLimit(int engines)
{
    m_engineLimit = std::max(engines, 0);
    if (m_engineLimit == 0)
        return;
    // From the limit on: never the layout engine, the first.
    for (size_t e = size_t(m_engineLimit); e < m_engines.size(); ++e) {
        if (m_engines[e]) {
            m_engines[e]->End();
            m_engines[e].reset();
        }
    }
}

TextRecognitionOutcome TesseractRecognizer::recognize(QImage image)
{
    const auto stoppedOutcome = [] { return unexpected(TextRecognitionError{recognitionStoppedMessage()}); };
    if (stopped())
        return stoppedOutcome();
    if (auto engine = ensureLayoutEngine(); !engine)
        return unexpected(engine.error());
    // Nothing to read is not a failure.
    if (image.isNull() || image.width() < smallestTextSide || image.height() < smallestTextSide)
        return QList<TextObservation>();

    // Tesseract reads grey levels. A dark page is turned as a whole so that
    // the layout sees what it sees on a light one; every other sample is
    // enough to tell.
    const QRect pageArea(QPoint(0, 0), image.size());
    QImage grey = darkTextOnLight(recognitionGreyImage(std::exchange(image, QImage())), pageArea, 2);

    // The other engines wait for the layout, then load (at first use) on the
    // thread that reads with them, while the layout engine is already
    // reading. Loaded while the layout is found, their memory (about 13 MB
    // each) would come on top of the layout's working pictures (about 75 MB
    // at 5K), the most a recognition holds at once; after it, the first page
    // since the engines were let go waits for one engine's loading (under a
    // tenth of a second) instead. No pieces left to read, none is loaded.
    std::vector<TextPiece> pieces;
    std::vector<size_t> order;
    // The layout engine's own copy of the page, which every engine's pieces
    // are cut from once the layout is found.
    PixPointer page;
    std::latch laidOut(1);
    std::atomic<size_t> next{0};
    // Asked by the engine as it reads a piece, and between pieces.
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = [](void *recognizer, int) { return static_cast<const TesseractRecognizer *>(recognizer)->stopped(); };
    monitor.cancel_this = this;
    auto read = [&](tesseract::TessBaseAPI &engine) {
        keepOpenMpToThisThread();
        engine.SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
        for (size_t i = next++; i < order.size(); i = next++) {
            TextPiece &piece = pieces[order[i]];
            if (!page || stopped()) {
                piece.failed = true;
                continue;
            }
            const QImage pixels = pieceImage(*page, piece);
            engine.SetImage(pixels.constBits(), pixels.width(), pixels.height(), 1, int(pixels.bytesPerLine()));
            engine.SetSourceResolution(desktopDpi);
            if (engine.Recognize(&monitor) != 0 || stopped()) {
                piece.failed = true;
                continue;
            }
            readLines(engine, piece.crop.topLeft(), piece.lines);
        }
        engine.Clear();
    };
    const size_t engines = m_engineLimit > 0 ? std::min(m_engines.size(), size_t(m_engineLimit)) : m_engines.size();
    std::vector<std::thread> helpers;
    for (size_t e = 1; e < engines; ++e) {
        try {
            helpers.emplace_back([&, e]() {
                laidOut.wait();
                if (next >= order.size() || stopped())
                    return;
                if (!m_engines[e])
                    m_engines[e] = loadedEngine();
                if (m_engines[e])
                    read(*m_engines[e]);
            });
        } catch (const std::system_error &) {
            break; // no thread to be had: the engines there are read it all
        }
    }

    tesseract::TessBaseAPI &layout = *m_engines.front();
    layout.SetPageSegMode(tesseract::PSM_AUTO);
    layout.SetImage(grey.constBits(), grey.width(), grey.height(), 1, int(grey.bytesPerLine()));
    layout.SetSourceResolution(desktopDpi);
    // From here on the engine's copy serves, kept past the layout's Clear;
    // ours goes before the layout's working pictures (several times the
    // page) join it.
    if (Pix *input = layout.GetInputImage(); input && pixGetDepth(input) == 8 && pixGetWidth(input) == grey.width()
                                             && pixGetHeight(input) == grey.height())
        page.reset(pixClone(input));
    else
        page = greyPix(grey);
    grey = QImage();
    // The layout is all that is taken from this pass, and every engine waits
    // for it; telling fixed-pitch lines from proportional ones only matters
    // to cutting words, which the reading does again, so it is skipped here.
    layout.SetVariable("textord_disable_pitch_test", "1");
    if (std::unique_ptr<tesseract::PageIterator> it(layout.AnalyseLayout()); it)
        pieces = textPieces(*it, pageArea.size());
    layout.Clear();
    layout.SetVariable("textord_disable_pitch_test", "0");
    // The largest pieces first, so no engine is left with a long one at the
    // end while the others wait; each piece keeps its place in the result.
    order.resize(pieces.size());
    std::iota(order.begin(), order.end(), size_t(0));
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return pieces[a].work > pieces[b].work; });
    laidOut.count_down();

    read(layout);
    for (std::thread &helper : helpers)
        helper.join();

    if (stopped())
        return stoppedOutcome();
    QList<TextObservation> observations;
    for (const TextPiece &piece : pieces) {
        if (piece.failed)
            return unexpected(TextRecognitionError{QStringLiteral("The text in the image could not be recognised.")});
        observations += piece.lines;
    }
    return observations;
}

} // namespace tessaline

tessaline::TextRecognizing *tessaline_new_tesseract_recognizer(const char *dataPath, int engines)
{
    return new tessaline::TesseractRecognizer(dataPath ? QByteArray(dataPath) : QByteArray(), engines);
}

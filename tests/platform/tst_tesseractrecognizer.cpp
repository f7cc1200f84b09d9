// Real Tesseract, through the module the app opens, on text rendered with
// QPainter.

#include "platform/TextRecognitionModule.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <link.h>
#include <unistd.h>

#include <cstring>
#include <optional>
#include <thread>

using namespace tessaline;

namespace {

QImage rendered(const QStringList &lines, QColor background, QColor ink, int pixelSize)
{
    QImage image(pixelSize * 30, (lines.size() + 2) * pixelSize * 2, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelSize);
    painter.setFont(font);
    painter.setPen(ink);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(pixelSize * 2, (i + 1) * pixelSize * 2 + pixelSize / 2), lines.at(i));
    return image;
}

// One line of text drawn on a ground of its own colour, and where it went.
struct DrawnLine
{
    QString text;
    QRect box;
};

struct Column
{
    QRect area;
    QColor ground;
    QColor ink;
    int lines = 0;
    int pitch = 26; // from one baseline to the next
};

// Columns of distinct lines, each column on its own ground.
QImage drawnColumns(QSize size, const QList<Column> &columns, QList<QList<DrawnLine>> &drawn)
{
    static const QStringList starts{QStringLiteral("Amber"), QStringLiteral("Silver"), QStringLiteral("Copper"),
                                    QStringLiteral("Violet"), QStringLiteral("Golden"), QStringLiteral("Crimson")};
    static const QStringList middles{QStringLiteral("notes follow the river"),
                                     QStringLiteral("cards gather by the door"),
                                     QStringLiteral("maps show every harbour"),
                                     QStringLiteral("snips wait on the board"),
                                     QStringLiteral("boxes keep their shape")};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(16);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    int serial = 0;
    for (const Column &column : columns) {
        painter.fillRect(column.area, column.ground);
        painter.setPen(column.ink);
        QList<DrawnLine> lines;
        for (int i = 0; i < column.lines; ++i, ++serial) {
            const QString text = starts.at(serial % starts.size()) + QLatin1Char(' ')
                                 + middles.at(serial / starts.size() % middles.size());
            const QPoint origin(column.area.left() + 30, column.area.top() + 40 + i * column.pitch);
            painter.drawText(origin, text);
            lines << DrawnLine{text, metrics.boundingRect(text).translated(origin)};
        }
        drawn << lines;
    }
    return image;
}

QStringList readLines(const TextRecognitionOutcome &outcome)
{
    QStringList lines;
    for (const TextObservation &observation : outcome.value_or(QList<TextObservation>())) {
        if (observation.topCandidate)
            lines << *observation.topCandidate;
    }
    return lines;
}

// What the process writes to its standard error while `work` runs.
template <typename Work>
QByteArray standardErrorOf(Work work)
{
    QTemporaryFile capture;
    if (!capture.open())
        return QByteArrayLiteral("(could not capture)");
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(capture.handle(), STDERR_FILENO);
    work();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    capture.seek(0);
    return capture.readAll();
}

// Whether a shared object whose file name starts with `name` is loaded.
bool isLoaded(const char *name)
{
    auto matches = [](dl_phdr_info *info, size_t, void *wanted) -> int {
        const char *base = std::strrchr(info->dlpi_name, '/');
        base = base ? base + 1 : info->dlpi_name;
        return std::strncmp(base, static_cast<const char *>(wanted), std::strlen(static_cast<const char *>(wanted))) == 0;
    };
    return dl_iterate_phdr(matches, const_cast<char *>(name)) != 0;
}

} // namespace

Q_DECLARE_METATYPE(QList<Column>)

class TesseractRecognizerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // First: every later case has Tesseract loaded.
    void tesseractLoadsAtFirstRecognition();
    void readsLinesInOrder_data();
    void readsLinesInOrder();
    void readsEveryLineOnceWhereItWasDrawn_data();
    void readsEveryLineOnceWhereItWasDrawn();
    void blankImageHasNoText();
    void thinAndTinyPicturesReadQuietly_data();
    void thinAndTinyPicturesReadQuietly();
    void unavailableRecognitionIsAnError_data();
    void unavailableRecognitionIsAnError();
    void readsAgainOnceItsEnginesWereLetGo();

private:
    QTemporaryDir m_scratch;
};

// The program links no part of Tesseract: it comes in with the module, at
// the first recognition, on the thread that recognises.
void TesseractRecognizerTest::tesseractLoadsAtFirstRecognition()
{
    QVERIFY(!isLoaded("libtesseract.so"));
    QVERIFY(!isLoaded("liblept"));
    TextRecognitionModule recognizer(QByteArray(), 1);
    QVERIFY(!isLoaded("libtesseract.so"));
    QImage blank(64, 64, QImage::Format_RGB32);
    blank.fill(Qt::white);
    std::optional<TextRecognitionOutcome> outcome;
    std::thread worker([&] { outcome = recognizer.recognize(blank); });
    worker.join();
    QVERIFY2(*outcome, qPrintable(*outcome ? QString() : (*outcome).error().message));
    QVERIFY(isLoaded("libtesseract.so"));
    QVERIFY(isLoaded("libtessaline-tesseract.so"));
}

void TesseractRecognizerTest::readsLinesInOrder_data()
{
    QTest::addColumn<QColor>("background");
    QTest::addColumn<QColor>("ink");
    QTest::addColumn<int>("pixelSize");
    QTest::newRow("dark on light") << QColor(Qt::white) << QColor(Qt::black) << 28;
    QTest::newRow("screen-sized text") << QColor(246, 246, 248) << QColor(40, 40, 46) << 16;
    QTest::newRow("light on dark") << QColor(30, 30, 34) << QColor(230, 230, 230) << 24;
}

void TesseractRecognizerTest::readsLinesInOrder()
{
    QFETCH(QColor, background);
    QFETCH(QColor, ink);
    QFETCH(int, pixelSize);
    const QStringList lines{QStringLiteral("Quarterly revenue grew again"),
                            QStringLiteral("Keep every capture beside the note"),
                            QStringLiteral("Review the board on Monday morning")};
    TextRecognitionModule recognizer;
    const TextRecognitionOutcome outcome = recognizer.recognize(rendered(lines, background, ink, pixelSize));
    QVERIFY2(outcome, qPrintable(outcome ? QString() : outcome.error().message));
    QCOMPARE(readLines(outcome), lines);

    // Each line's words, left to right, with boxes on the line they were
    // drawn on: what redaction goes by.
    for (int i = 0; i < outcome->size(); ++i) {
        const QList<RecognizedWord> &words = outcome->at(i).words;
        QStringList texts;
        const int baseline = (i + 1) * pixelSize * 2 + pixelSize / 2;
        for (int w = 0; w < words.size(); ++w) {
            texts << words.at(w).text;
            const QRect box = words.at(w).box;
            QVERIFY2(box.top() >= baseline - pixelSize && box.bottom() <= baseline + pixelSize / 2,
                     qPrintable(words.at(w).text));
            QVERIFY(w == 0 || box.left() > words.at(w - 1).box.right());
        }
        QCOMPARE(texts.join(QLatin1Char(' ')), lines.at(i));
    }
}

void TesseractRecognizerTest::readsEveryLineOnceWhereItWasDrawn_data()
{
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<Column>>("columns");
    const QColor paper(246, 246, 248), text(40, 40, 46), night(30, 30, 34), moon(225, 225, 230);
    // Long enough that the engines read the column in several pieces.
    QTest::newRow("long page") << QSize(700, 900) << QList<Column>{{QRect(0, 0, 700, 900), paper, text, 32}};
    // Where the page is cut, a piece holds the tails of its neighbours'
    // letters; read, they became a stray line of their own.
    QTest::newRow("long page, lines close together")
        << QSize(700, 800) << QList<Column>{{QRect(0, 0, 700, 800), paper, text, 40, 16}};
    QTest::newRow("long dark page") << QSize(700, 900) << QList<Column>{{QRect(0, 0, 700, 900), night, moon, 32}};
    QTest::newRow("dark panel beside a light page")
        << QSize(1400, 500)
        << QList<Column>{{QRect(0, 0, 700, 500), paper, text, 14}, {QRect(700, 0, 700, 500), night, moon, 14}};
    QTest::newRow("light panel on a dark page")
        << QSize(1400, 500)
        << QList<Column>{{QRect(0, 0, 700, 500), night, moon, 14}, {QRect(700, 0, 700, 500), paper, text, 14}};
}

// Each drawn line comes back once, in its column's order, with the words'
// boxes on the pixels where that line was drawn: whichever engine read
// which piece of the page, and whichever way round its colours were.
void TesseractRecognizerTest::readsEveryLineOnceWhereItWasDrawn()
{
    QFETCH(QSize, size);
    QFETCH(QList<Column>, columns);
    QList<QList<DrawnLine>> drawn;
    const QImage image = drawnColumns(size, columns, drawn);
    TextRecognitionModule recognizer(QByteArray(), 3);
    const TextRecognitionOutcome outcome = recognizer.recognize(image);
    QVERIFY2(outcome, qPrintable(outcome ? QString() : outcome.error().message));

    QList<qsizetype> nextInColumn(drawn.size(), 0);
    for (const TextObservation &observation : *outcome) {
        QVERIFY(observation.topCandidate);
        qsizetype column = 0;
        while (column < drawn.size()
               && (nextInColumn[column] >= drawn[column].size()
                   || drawn[column][nextInColumn[column]].text != *observation.topCandidate)) {
            ++column;
        }
        QVERIFY2(column < drawn.size(),
                 qPrintable(QStringLiteral("unexpected or out of order: ") + *observation.topCandidate));
        const DrawnLine &line = drawn[column][nextInColumn[column]++];
        QStringList words;
        for (const RecognizedWord &word : observation.words) {
            words << word.text;
            QVERIFY2(line.box.adjusted(-2, -2, 2, 2).contains(word.box), qPrintable(word.text));
        }
        QCOMPARE(words.join(QLatin1Char(' ')), line.text);
    }
    for (qsizetype column = 0; column < drawn.size(); ++column)
        QCOMPARE(nextInColumn[column], drawn[column].size());
}

void TesseractRecognizerTest::blankImageHasNoText()
{
    QImage blank(640, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TextRecognitionModule recognizer;
    const TextRecognitionOutcome outcome = recognizer.recognize(blank);
    QVERIFY(outcome);
    QVERIFY(readLines(outcome).isEmpty());
}

void TesseractRecognizerTest::thinAndTinyPicturesReadQuietly_data()
{
    QTest::addColumn<QSize>("size");
    // Slivers of text like these made the image library complain about
    // boxes outside the picture.
    QTest::newRow("thin column") << QSize(7, 3000);
    QTest::newRow("thin row") << QSize(3000, 8);
    QTest::newRow("narrow strip") << QSize(30, 3000);
    QTest::newRow("tiny") << QSize(5, 5);
    QTest::newRow("one pixel high") << QSize(400, 1);
}

void TesseractRecognizerTest::thinAndTinyPicturesReadQuietly()
{
    QFETCH(QSize, size);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(std::max(3, std::min(size.width(), size.height()) * 2 / 3 + 2));
        painter.setFont(font);
        painter.setPen(Qt::black);
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Wg lo and more text here"));
    }
    quint32 seed = 7;
    for (int i = 0; i < size.width() * size.height() / 8; ++i) {
        seed = seed * 1103515245u + 12345u;
        image.setPixel(int((seed >> 8) % quint32(size.width())), int((seed >> 16) % quint32(size.height())),
                       qRgb(0, 0, 0));
    }
    QImage blank(640, 200, QImage::Format_RGB32);
    blank.fill(Qt::white);
    TextRecognitionModule recognizer(QByteArray(), 2);
    QVERIFY(recognizer.recognize(blank)); // the engines are loaded outside the capture

    std::optional<TextRecognitionOutcome> outcome;
    const QByteArray printed = standardErrorOf([&] { outcome = recognizer.recognize(image); });
    QVERIFY2(printed.isEmpty(), printed.constData());
    QVERIFY(outcome && *outcome);
    if (std::min(size.width(), size.height()) < 8)
        QVERIFY((*outcome)->isEmpty());
}

void TesseractRecognizerTest::unavailableRecognitionIsAnError_data()
{
    QTest::addColumn<QByteArray>("dataPath");
    QTest::addColumn<QStringList>("moduleFiles");
    QTest::addColumn<QString>("named");
    const QStringList installed = TextRecognitionModule::installedModuleFiles();
    QTest::newRow("no language data") << QByteArrayLiteral("/nonexistent/tessdata") << installed
                                      << QStringLiteral("English language data");
    QTest::newRow("no module") << QByteArray()
                               << QStringList{QStringLiteral("/nonexistent/lib/libtessaline-tesseract.so")}
                               << QStringLiteral("/nonexistent/lib/libtessaline-tesseract.so");
    // A file in the module's place that is not one (a broken install).
    const QString broken = m_scratch.filePath(QStringLiteral("libtessaline-tesseract.so"));
    QFile file(broken);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("not a shared object\n") > 0);
    QTest::newRow("not a module") << QByteArray() << QStringList{broken} << broken;
    QTest::newRow("nowhere to look") << QByteArray() << QStringList() << QStringLiteral("module");
}

void TesseractRecognizerTest::unavailableRecognitionIsAnError()
{
    QFETCH(QByteArray, dataPath);
    QFETCH(QStringList, moduleFiles);
    QFETCH(QString, named);
    TextRecognitionModule recognizer(dataPath, 0, moduleFiles);
    QImage image(10, 10, QImage::Format_RGB32);
    image.fill(Qt::white);
    const TextRecognitionOutcome first = recognizer.recognize(image);
    QVERIFY(!first);
    QVERIFY2(first.error().message.startsWith(QStringLiteral("Text recognition is not available")),
             qPrintable(first.error().message));
    QVERIFY2(first.error().message.contains(named), qPrintable(first.error().message));
    QVERIFY(!recognizer.recognize(image));
    recognizer.prepare(); // fails quietly: the recognition says why
    recognizer.releaseIdleResources(); // nothing loaded: nothing to do, no crash
    QVERIFY(!recognizer.recognize(image));
}

// Idle, the recogniser ends its engines; a capture prepares the first one
// again, or the next page loads them. A limit on the engines ends those
// beyond it, and lifted, lets the next page load them again. Every way the
// page reads as before, until the stop flag (handed in before the module
// opened) is raised: the next page then fails at once, as one that is
// being read does.
void TesseractRecognizerTest::readsAgainOnceItsEnginesWereLetGo()
{
    const QStringList lines{QStringLiteral("Keep every capture beside the note"),
                            QStringLiteral("Review the board on Monday morning")};
    const QImage image = rendered(lines, QColor(246, 246, 248), QColor(40, 40, 46), 18);
    TextRecognitionModule recognizer(QByteArray(), 3);
    std::optional<TextRecognitionOutcome> outcome;
    // On a thread of its own, as the app's recognition worker does.
    // Set before the module is open: it holds once it is.
    recognizer.setEngineLimit(2);
    const auto stop = std::make_shared<std::atomic<bool>>(false);
    recognizer.setStopFlag(stop);
    std::optional<TextRecognitionOutcome> afterStop;
    std::thread([&] {
        outcome = recognizer.recognize(image);
        if (!*outcome || readLines(*outcome) != lines)
            return;
        recognizer.setEngineLimit(1);
        if (!(outcome = recognizer.recognize(image)) || readLines(*outcome) != lines)
            return;
        recognizer.setEngineLimit(0);
        if (!(outcome = recognizer.recognize(image)) || readLines(*outcome) != lines)
            return;
        recognizer.releaseIdleResources();
        recognizer.prepare();
        if (!(outcome = recognizer.recognize(image)) || readLines(*outcome) != lines)
            return;
        recognizer.releaseIdleResources();
        recognizer.releaseIdleResources();
        outcome = recognizer.recognize(image);
        stop->store(true);
        afterStop = recognizer.recognize(image);
    }).join();
    QVERIFY2(*outcome, qPrintable(*outcome ? QString() : outcome->error().message));
    QCOMPARE(readLines(*outcome), lines);
    QVERIFY(afterStop && !*afterStop);
    QCOMPARE(afterStop->error().message, recognitionStoppedMessage());
}

QTEST_MAIN(TesseractRecognizerTest)
#include "tst_tesseractrecognizer.moc"

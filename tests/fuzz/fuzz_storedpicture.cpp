// Feeds arbitrary bytes as a snip's stored picture to the one path every
// display, copy and export of a snip takes: the picture reader (our own PNG
// path, else Qt's readers) and the annotations drawn over what it read (a
// pixelation box, an arrow, a highlight and a label); and the grey reading
// text recognition and a preview make of it. The store is a file on
// disk, so its bytes may be anything. Any crash, sanitizer report or broken
// invariant is a finding.

#include "model/AnnotatedCardRenderer.h"
#include "model/AnnotationDocument.h"
#include "platform/ImageDecoder.h"
#include "platform/TextRecognizer.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace tessaline;

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// Small enough that a header claiming a huge picture is refused quickly.
constexpr qint64 allocationLimit = qint64(16) * 1024 * 1024;

const QByteArray &annotations()
{
    static const QByteArray document = [] {
        auto item = [](AnnotationTool tool, QList<NormalizedPoint> points, std::optional<QString> text = {}) {
            return AnnotationItem{QUuid::createUuid(), tool, points, {0.9, 0.2, 0.1, 1}, 4, text};
        };
        AnnotationDocument made;
        made.items = {item(AnnotationTool::pixelate, {{0.1, 0.1}, {0.7, 0.6}}),
                      item(AnnotationTool::arrow, {{0.0, 1.0}, {0.5, 0.5}}),
                      item(AnnotationTool::highlight, {{0.2, 0.8}, {0.4, 0.85}, {0.9, 0.9}}),
                      item(AnnotationTool::text, {{0.3, 0.3}}, QStringLiteral("label"))};
        return *made.encode();
    }();
    return document;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_storedpicture";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    annotations();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto decoded = ImageDecoder::decode(bytes, allocationLimit);
    // Recognition reads the picture straight into grey rows where it can:
    // the same picture as the full decode made grey, or the same error.
    const auto grey = ImageDecoder::decodeGrey(bytes, allocationLimit);
    if (bool(grey) != bool(decoded) || (!grey && grey.error() != decoded.error()))
        fail("the grey reading and the full decode disagree on whether the picture reads");
    if (grey && *grey != recognitionGreyImage(*decoded))
        fail("the grey reading differs from the full decode made grey");
    // A preview shrinks the picture as it reads it where it can: readable
    // exactly when the full decode is, with the same error.
    const QSize bound(48, 32);
    const auto fitted = ImageDecoder::decodeFitted(bytes, bound, allocationLimit);
    if (bool(fitted) != bool(decoded) || (!fitted && fitted.error() != decoded.error()))
        fail("the shrunk reading and the full decode disagree on whether the picture reads");
    const auto plain = renderAnnotatedCard(bytes, std::nullopt, allocationLimit);
    const auto annotated = renderAnnotatedCard(bytes, annotations(), allocationLimit);
    if (!decoded) {
        // An unreadable picture is an error, never an empty picture.
        if (plain || annotated)
            fail("an unreadable picture was rendered");
        if (plain.error() != AnnotatedCardError::pictureUnreadable
            || annotated.error() != AnnotatedCardError::pictureUnreadable)
            fail("an unreadable picture gave another error");
        return 0;
    }
    // The size read from the header alone, where a reader can tell it, is
    // the size of the picture read in full.
    const QSize announced = ImageDecoder::imageSize(bytes);
    if (decoded->isNull() || (announced.isValid() && announced != decoded->size()))
        fail("the decoded picture and its header disagree on its size");
    // At the size Qt's scaling gives, never below a pixel; as it is when it
    // already fits.
    const QSize fits = decoded->width() <= bound.width() && decoded->height() <= bound.height()
        ? decoded->size()
        : decoded->size().scaled(bound, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
    if (fitted->size() != fits)
        fail("the shrunk picture is not the size that fits");
    if (fits == decoded->size()
        && fitted->convertToFormat(QImage::Format_ARGB32) != decoded->convertToFormat(QImage::Format_ARGB32))
        fail("a picture that fits came back changed");
    if (!plain || plain->size() != decoded->size())
        fail("a readable picture did not come back at its size");
    // Annotations are drawn at the picture's own pixel size, or refused; a
    // refusal is never "the plain picture".
    if (annotated && annotated->size() != decoded->size())
        fail("annotating changed the picture's size");
    if (!annotated && annotated.error() == AnnotatedCardError::pictureUnreadable)
        fail("a readable picture was called unreadable");

    // Where Qt's own readers read the same bytes, they see a picture of the
    // same size: the fast PNG path never makes up another one.
    QBuffer buffer;
    buffer.setData(bytes);
    QImageReader reader(&buffer);
    reader.setAllocationLimit(int(allocationLimit / (1024 * 1024)));
    const QImage qt = reader.read();
    if (!qt.isNull() && qt.size() != decoded->size())
        fail("Qt reads the picture at another size");
    return 0;
}

// Feeds arbitrary bytes to the annotation document reader, then everything
// that consumes a read document: writing it back, reading that again, the
// geometry the editor uses and the renderer on a small image. Any crash,
// sanitizer report or broken invariant is a finding; so is a document with
// items that reads as one without.

#include "model/AnnotationDocument.h"
#include "model/AnnotationRenderer.h"
#include "platform/Json.h"

#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>

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

const QImage &canvas()
{
    static const QImage image = [] {
        QImage made(48, 32, QImage::Format_RGB32);
        for (int y = 0; y < made.height(); ++y) {
            for (int x = 0; x < made.width(); ++x)
                made.setPixel(x, y, qRgb(x * 5, y * 7, (x ^ y) * 3));
        }
        return made;
    }();
    return image;
}

void exerciseGeometry(AnnotationDocument document)
{
    const QSizeF size(640, 480);
    for (const AnnotationItem &item : std::as_const(document.items)) {
        (void)item.frame(size);
        (void)item.hitTest(QPointF(100, 100), size, 8);
        const AnnotationItem moved = item.translated(0.25, -0.5);
        if (moved.id != item.id || moved.points.size() != item.points.size())
            fail("translation changed more than the points");
        for (const NormalizedPoint &point : moved.points) {
            if (!(point.x >= 0 && point.x <= 1 && point.y >= 0 && point.y <= 1))
                fail("translated point outside the image");
        }
    }
    if (document.items.isEmpty())
        return;
    const QUuid id = document.items.first().id;
    document.updateText(QStringLiteral(" label "), id);
    document.updateStyle(AnnotationColor{0.5, 0.5, 0.5, 0.9}, 50, id);
    if (!document.encode())
        fail("edited document cannot be written");
    const auto removed = document.removeItem(id);
    if (!removed || removed->id != id)
        fail("removing an existing item failed");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "fuzz_annotationdocument";
    static char *argv[] = {name, nullptr};
    static QGuiApplication application(argc, argv);
    canvas();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto read = AnnotationDocument::decode(bytes);
    if (!read)
        return 0;
    const AnnotationDocument &document = *read;
    if (document.version < AnnotationDocument::currentVersion)
        fail("an old version survived reading");
    // "No annotations" only ever comes from bytes that hold none: an empty
    // list, or a version-one list of nothing but leftover labels.
    if (document.items.isEmpty() && !bytes.isEmpty()) {
        const auto parsed = parseJson(bytes);
        const QJsonObject object = parsed ? parsed->toObject() : QJsonObject();
        if (!parsed || (!object.value(QLatin1String("items")).toArray().isEmpty()
                        && object.value(QLatin1String("version")).toDouble() > 1))
            fail("unread items became an empty document");
    }

    // Whatever the reader accepts can be written and reads back equal; after
    // one round the written bytes are a fixed point.
    const auto written = document.encode();
    if (!written)
        fail("a read document cannot be written");
    const auto reread = AnnotationDocument::decode(*written);
    if (!reread || !(*reread == document) || qHash(*reread) != qHash(document))
        fail("round trip changed the document");
    const auto rewritten = reread->encode();
    const auto again = rewritten ? AnnotationDocument::decode(*rewritten) : reread;
    if (!rewritten || !again || again->encode() != rewritten)
        fail("written form is not stable");

    exerciseGeometry(document);

    const auto rendered = AnnotationRenderer::renderImage(canvas(), document.items);
    if (!rendered)
        fail("a read document could not be rendered");
    if (rendered->size() != canvas().size())
        fail("rendering changed the image size");
    return 0;
}

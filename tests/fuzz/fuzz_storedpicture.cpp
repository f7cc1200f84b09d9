// Feeds arbitrary bytes as a snip's stored picture to the one path every
// display, copy and export of a snip takes: decoding the picture and drawing
// its annotations over it (a pixelation box, an arrow, a highlight and a
// label). The store is a file on disk, so its bytes may be anything. Any
// crash, sanitizer report or broken invariant is a finding.

#include "model/AnnotatedCardRenderer.h"
#include "model/AnnotationDocument.h"

#include <QGuiApplication>
#include <QImage>

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
    const QImage decoded = QImage::fromData(bytes);

    const auto plain = renderAnnotatedCard(bytes, std::nullopt);
    const auto annotated = renderAnnotatedCard(bytes, annotations());
    if (decoded.isNull()) {
        // An unreadable picture is an error, never an empty picture.
        if (plain || annotated)
            fail("an unreadable picture was rendered");
        if (plain.error() != AnnotatedCardError::pictureUnreadable)
            fail("an unreadable picture gave another error");
        return 0;
    }
    if (!plain || plain->size() != decoded.size())
        fail("a readable picture did not come back at its size");
    // Annotations are drawn at the picture's own pixel size, or refused; a
    // refusal must not be "the plain picture".
    if (annotated && annotated->size() != decoded.size())
        fail("annotating changed the picture's size");
    if (!annotated && annotated.error() == AnnotatedCardError::pictureUnreadable)
        fail("a readable picture was called unreadable");
    return 0;
}

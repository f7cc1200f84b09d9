// Feeds arbitrary titles to the file names the app suggests when saving a
// snip or a brief. Titles come from other programs' window titles and from
// recognised text, so they may hold anything UTF-16 can, halves of
// characters included; the bytes are read as UTF-16 code units for that.
// Any crash, sanitizer report, name the file system would refuse or write
// differently from what was measured, or name holding invisible characters
// that change how it reads is a finding.

#include "runtime/ImageExportService.h"
#include "platform/TextUtilities.h"
#include "platform/WindowSystem.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace tessaline;

// The export service's clipboard asks which session it runs in; the fuzzer
// runs in none, and linking the window-system layer for that one answer
// would bring X11 and D-Bus into it.
bool tessaline::WindowSystem::isWaylandSession()
{
    return false;
}

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
}

// A name the file system takes as one entry and writes as measured.
void checkFileName(const QString &name, qsizetype maxBytes)
{
    const QByteArray written = QFile::encodeName(name);
    if (written.isEmpty())
        fail("empty name");
    if (written.size() > maxBytes)
        fail("name longer than the file system allows");
    if (written.contains('/') || written.contains('\0'))
        fail("name holds a path separator or NUL");
    if (written == "." || written == "..")
        fail("name is a directory entry");
    // A name reads as it is: no direction overrides, isolates or marks. The
    // joiners hold letters and emoji sequences together and may stay.
    for (qsizetype i = 0; i < name.size(); ++i) {
        char32_t codePoint = name.at(i).unicode();
        if (name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate())
            codePoint = QChar::surrogateToUcs4(name.at(i), name.at(i + 1));
        if (QChar::category(codePoint) == QChar::Other_Format && codePoint != 0x200C && codePoint != 0x200D)
            fail("name holds an invisible format character");
        if (codePoint == 0x2028 || codePoint == 0x2029)
            fail("name holds a line or paragraph separator");
        if (codePoint == 0x115F || codePoint == 0x1160 || codePoint == 0x3164 || codePoint == 0xFFA0)
            fail("name holds an invisible filler");
    }
}

void checkPrefix(const QString &text, qsizetype maxBytes)
{
    const QString prefix = utf8PrefixFitting(text, maxBytes);
    if (!text.startsWith(prefix))
        fail("cut is not a prefix");
    if (QFile::encodeName(prefix).size() > maxBytes)
        fail("cut runs over");
    const qsizetype end = prefix.size();
    if (end > 0 && end < text.size() && prefix.at(end - 1).isHighSurrogate() && text.at(end).isLowSurrogate())
        fail("cut splits a character");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_suggestedfilename";
    static char *argv[] = {name, nullptr};
    static QCoreApplication application(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    QString title(qsizetype(size / 2), Qt::Uninitialized);
    std::memcpy(title.data(), data, (size / 2) * 2);

    const QString png = ImageExportService::proposedPngFileName(title);
    checkFileName(png, 255);
    if (!png.endsWith(QLatin1String(".png")))
        fail("proposed name without its extension");
    checkFileName(ImageExportService::sanitizedFileName(title) + QLatin1String(".png"), 255);

    // A brief's name keeps no limit of characters, only the byte limit.
    const QString brief = ImageExportService::safeFileNameStem(title, u"/:", QStringLiteral("Tessaline Brief"), -1,
                                                               QStringLiteral(".md"));
    checkFileName(brief + QLatin1String(".md"), 255);

    for (qsizetype maxBytes : {0, 1, 3, 4, 251})
        checkPrefix(title, maxBytes);
    return 0;
}

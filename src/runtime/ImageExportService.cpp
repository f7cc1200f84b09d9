#include "runtime/ImageExportService.h"

#include "platform/BackgroundPool.h"
#include "platform/Pasteboard.h"
#include "platform/PngEncoder.h"
#include "platform/TextUtilities.h"

#include <QtConcurrent/QtConcurrentRun>

namespace tessaline {

QString imageExportErrorMessage(ImageExportError error)
{
    switch (error) {
    case ImageExportError::encodingFailed:
        break;
    }
    return QStringLiteral("The image could not be encoded as PNG.");
}

namespace ImageExportService {

namespace {

constexpr qsizetype maxFileNameBytes = 255;
constexpr qsizetype maxTitleCharacters = 120;
const QString pngSuffix = QStringLiteral(".png");

// Invisible characters that change how a name reads: a direction override
// (U+202E) makes "evil<U+202E>gnp.exe" show as an image's name. The two
// joiners stay, as they shape letters in many scripts and hold emoji
// sequences such as families together.
// The fillers that Hangul input leaves, and that show as nothing, go too: a
// name of them alone looks empty.
bool isHiddenFormatCharacter(char32_t codePoint)
{
    switch (codePoint) {
    case 0x115F: // choseong filler
    case 0x1160: // jungseong filler
    case 0x3164: // Hangul filler
    case 0xFFA0: // halfwidth Hangul filler
        return true;
    default:
        return QChar::category(codePoint) == QChar::Other_Format && codePoint != 0x200C && codePoint != 0x200D;
    }
}

} // namespace

std::optional<QImage> bestBitmapRepresentation(const QList<QImage> &representations)
{
    std::optional<QImage> best;
    qint64 bestCount = -1;
    for (const QImage &candidate : representations) {
        if (candidate.isNull())
            continue;
        const qint64 count = qint64(candidate.width()) * candidate.height();
        if (count > bestCount) {
            best = candidate;
            bestCount = count;
        }
    }
    return best;
}

std::optional<QByteArray> pngData(const QImage &image)
{
    // Chosen by bench_pngencoding: the Sub filter with the encoder's own
    // single-probe compressor in parallel strips encodes a 5K capture at
    // about 500 megapixels a second on eight shared cores, some thirty times
    // Qt's writer, with files about 6% above Qt's default size. libdeflate's
    // levels shrink files a few percent at a third of the speed.
    return encodePng(image);
}

QFuture<std::optional<QByteArray>> pngDataAsync(const QImage &image)
{
    return QtConcurrent::run(&backgroundPool(), [image]() { return pngData(image); });
}

std::optional<QByteArray> tiffData(const QImage &image)
{
    return encodeTiff(image);
}

std::optional<PasteboardImage> pasteboardImage(const QImage &image, const std::optional<QByteArray> &png)
{
    const std::optional<QImage> best = bestBitmapRepresentation({image});
    if (!best)
        return std::nullopt;
    const std::optional<QByteArray> pngBytes = png && !png->isEmpty() ? png : pngData(*best);
    if (!pngBytes)
        return std::nullopt;
    const std::optional<QByteArray> tiff = tiffData(*best);
    if (!tiff)
        return std::nullopt;
    return PasteboardImage{*pngBytes, *tiff};
}

QFuture<std::optional<PasteboardImage>> pasteboardImageAsync(const QImage &image, const std::optional<QByteArray> &png)
{
    return QtConcurrent::run(&backgroundPool(), [image, png]() { return pasteboardImage(image, png); });
}

bool writeToPasteboard(const PasteboardImage &image, Pasteboard &pasteboard)
{
    return pasteboard.writeImage(image.png, image.tiff);
}

bool copyToPasteboard(const QImage &image, Pasteboard &pasteboard)
{
    // The PNG is made before the pasteboard is touched; the TIFF when the
    // pasteboard needs it.
    const std::optional<QImage> best = bestBitmapRepresentation({image});
    const std::optional<QByteArray> png = best ? pngData(*best) : std::nullopt;
    return png && pasteboard.setImage(*png);
}

QString safeFileNameStem(const QString &title, QStringView separators, const QString &fallback,
                         qsizetype maxCharacters, const QString &extension)
{
    QString name;
    name.reserve(title.size());
    for (qsizetype i = 0; i < title.size(); ++i) {
        const QChar c = title.at(i);
        if (separators.contains(c)) {
            name.append(QLatin1Char('-'));
        } else if (c.category() == QChar::Other_Control || isLineBreak(c)) {
            name.append(QLatin1Char(' ')); // NUL, tabs, line and paragraph breaks, DEL, C1
        } else if (isHiddenFormatCharacter(c.unicode())) {
            continue;
        } else if (c.isHighSurrogate() && i + 1 < title.size() && title.at(i + 1).isLowSurrogate()) {
            const char32_t codePoint = QChar::surrogateToUcs4(c, title.at(i + 1));
            ++i;
            if (isHiddenFormatCharacter(codePoint))
                continue;
            name.append(c);
            name.append(title.at(i));
        } else if (c.isSurrogate()) {
            // Half of a character cut elsewhere: the file system would get
            // U+FFFD anyway, so the name says so and is measured as written.
            name.append(QChar::ReplacementCharacter);
        } else {
            name.append(c);
        }
    }
    name = trimmedWhitespace(name);
    if (name.isEmpty())
        name = fallback;
    if (maxCharacters >= 0)
        name = graphemePrefix(name, maxCharacters);
    // Linux allows 255 bytes per name; keep room for the extension.
    return utf8PrefixFitting(name, maxFileNameBytes - extension.toUtf8().size());
}

QString sanitizedFileName(const QString &title)
{
    return safeFileNameStem(title, u"/:\\", QStringLiteral("Snip"), maxTitleCharacters, pngSuffix);
}

QString proposedPngFileName(const QString &suggestedName)
{
    const QString name = sanitizedFileName(suggestedName);
    return name.endsWith(pngSuffix) ? name : name + pngSuffix;
}

void savePNG(const QImage &image, const QString &suggestedName, QWidget *parent, SaveFileFlow::Completion completion)
{
    const std::optional<QImage> best = bestBitmapRepresentation({image});
    SaveFileRequest request;
    request.fileName = proposedPngFileName(suggestedName);
    request.mimeTypes = {pngType};
    request.defaultSuffix = QStringLiteral("png");
    SaveFileFlow::save(parent, request, QtConcurrent::run(&backgroundPool(), [best]() -> Expected<QByteArray, QString> {
                           const std::optional<QByteArray> png = best ? pngData(*best) : std::nullopt;
                           if (!png)
                               return unexpected(imageExportErrorMessage(ImageExportError::encodingFailed));
                           return *png;
                       }),
                       std::move(completion));
}

} // namespace ImageExportService

} // namespace tessaline

#pragma once

#include "runtime/SaveFileFlow.h"

#include <QByteArray>
#include <QFuture>
#include <QImage>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QWidget;

namespace tessaline {

class Pasteboard;

enum class ImageExportError { encodingFailed };

// The user-facing text of an export failure.
QString imageExportErrorMessage(ImageExportError error);

// Prepares images for leaving the app: PNG and TIFF bytes, the clipboard,
// safe file names and saving a PNG where the user chooses. Holds no state.
namespace ImageExportService {

inline const QString pngType = QStringLiteral("image/png");
inline const QString tiffType = QStringLiteral("image/tiff");

// The raster with the most pixels; on equal counts the earlier one. Null
// images are not rasters. Nothing when none is left.
std::optional<QImage> bestBitmapRepresentation(const QList<QImage> &representations);

// Nothing for a null image or a failed encoding. pngData may run on any
// thread; pngDataAsync runs it on the global thread pool so the capture
// road never stalls the main thread.
std::optional<QByteArray> pngData(const QImage &image);
QFuture<std::optional<QByteArray>> pngDataAsync(const QImage &image);
std::optional<QByteArray> tiffData(const QImage &image);

// Puts the image on the pasteboard as PNG, then TIFF (made when a client
// asks, on the desktop clipboard). When the encoding fails the pasteboard is
// left as it was; when a write fails it is cleared, so no half-written entry
// remains. True only when both types are offered.
bool copyToPasteboard(const QImage &image, Pasteboard &pasteboard);

// The same copy in two steps, so that the encoding (about a tenth of a
// second for a 5K capture) can run off the main thread: encode anywhere,
// then write on the main thread. `png` may pass bytes already encoded from
// the same image (a capture's stored PNG) so only the TIFF is made.
struct PasteboardImage
{
    QByteArray png;
    QByteArray tiff;
};
std::optional<PasteboardImage> pasteboardImage(const QImage &image, const std::optional<QByteArray> &png = {});
QFuture<std::optional<PasteboardImage>> pasteboardImageAsync(const QImage &image,
                                                             const std::optional<QByteArray> &png = {});
bool writeToPasteboard(const PasteboardImage &image, Pasteboard &pasteboard);

// A title made safe as a Linux file name, without extension: each of
// `separators` becomes "-", control characters become spaces, invisible
// format characters (direction marks, overrides, isolates) go, whitespace is
// trimmed, `fallback` stands in for nothing, then at most `maxCharacters`
// characters (no limit when negative) and short enough that the name with
// `extension` fits 255 UTF-8 bytes. Every file name the app proposes is made
// here, so they all keep the same rules.
QString safeFileNameStem(const QString &title, QStringView separators, const QString &fallback,
                         qsizetype maxCharacters, const QString &extension);

// A card title made safe as a Linux file name, without extension: path
// separators become "-", control characters become spaces, invisible format
// characters go, whitespace is trimmed, "Snip" stands in for nothing, then at
// most 120 characters and short enough that the name with ".png" fits 255
// UTF-8 bytes.
QString sanitizedFileName(const QString &title);
// The name the save dialog proposes: the sanitised name with ".png" added
// unless it already ends so (case-sensitive).
QString proposedPngFileName(const QString &suggestedName);

// Encodes (off the main thread), then saves through the app's save flow
// (SaveFileFlow): an encoding failure is answered before any dialog shows.
void savePNG(const QImage &image, const QString &suggestedName, QWidget *parent, SaveFileFlow::Completion completion);

} // namespace ImageExportService

} // namespace tessaline

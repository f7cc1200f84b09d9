#include "app/ImageExportService.h"

#include "platform/Pasteboard.h"
#include "platform/PngEncoder.h"
#include "platform/TextUtilities.h"

#include <QBuffer>
#include <QFileDialog>
#include <QImageWriter>
#include <QPointer>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
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
    // Chosen by bench_pngencoding: the Up filter at libdeflate level 5 in
    // parallel strips keeps files at about Qt's default size while
    // encoding several times faster.
    return encodePng(image);
}

QFuture<std::optional<QByteArray>> pngDataAsync(const QImage &image)
{
    return QtConcurrent::run([image]() { return pngData(image); });
}

std::optional<QByteArray> tiffData(const QImage &image)
{
    if (image.isNull())
        return std::nullopt;
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "tiff");
    if (!writer.write(image) || bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

bool copyToPasteboard(const QImage &image, Pasteboard &pasteboard)
{
    const std::optional<QImage> best = bestBitmapRepresentation({image});
    if (!best)
        return false;
    const std::optional<QByteArray> png = pngData(*best);
    if (!png)
        return false;
    const std::optional<QByteArray> tiff = tiffData(*best);
    if (!tiff)
        return false;

    pasteboard.clearContents();
    pasteboard.declareTypes({pngType, tiffType});
    const bool wrotePng = pasteboard.setData(*png, pngType);
    const bool wroteTiff = pasteboard.setData(*tiff, tiffType);
    if (wrotePng && wroteTiff)
        return true;
    pasteboard.clearContents();
    return false;
}

QString safeFileNameStem(const QString &title, QStringView separators, const QString &fallback,
                         qsizetype maxCharacters, const QString &extension)
{
    QString name;
    name.reserve(title.size());
    for (QChar c : title) {
        if (separators.contains(c))
            name.append(QLatin1Char('-'));
        else if (c.category() == QChar::Other_Control)
            name.append(QLatin1Char(' ')); // NUL, tabs, line breaks, DEL, C1
        else
            name.append(c);
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

std::optional<QString> writeFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    if (file.write(bytes) != bytes.size()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        return reason;
    }
    if (!file.commit())
        return file.errorString();
    return std::nullopt;
}

QString defaultSaveDirectory()
{
    return QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
}

void savePNG(const QImage &image, const QString &suggestedName, QWidget *parent,
             std::function<void(std::optional<QString> error)> completion)
{
    const std::optional<QImage> best = bestBitmapRepresentation({image});
    const std::optional<QByteArray> png = best ? pngData(*best) : std::nullopt;
    if (!png) {
        // Reported asynchronously like every other outcome.
        QTimer::singleShot(0, [completion]() {
            completion(imageExportErrorMessage(ImageExportError::encodingFailed));
        });
        return;
    }

    auto *dialog = new QFileDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setAcceptMode(QFileDialog::AcceptSave);
    dialog->setFileMode(QFileDialog::AnyFile);
    dialog->setMimeTypeFilters({pngType});
    dialog->setDefaultSuffix(QStringLiteral("png"));
    const QString directory = defaultSaveDirectory();
    if (!directory.isEmpty())
        dialog->setDirectory(directory);
    dialog->selectFile(proposedPngFileName(suggestedName));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, bytes = *png, completion](int result) {
        const QStringList chosen = dialog->selectedFiles();
        if (result != QDialog::Accepted || chosen.isEmpty() || chosen.constFirst().isEmpty()) {
            completion(std::nullopt); // cancelling is not an error
            return;
        }
        completion(writeFileAtomically(chosen.constFirst(), bytes));
    });
    dialog->open();
}

} // namespace ImageExportService

} // namespace tessaline

#include "../support/FileDialogs.h"
#include "runtime/ImageExportService.h"
#include "platform/Pasteboard.h"

#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QMimeData>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBoundaryFinder>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <sys/resource.h>

using namespace tessaline;
using tessaline::testing::shownFileDialog;

namespace {

// Records what the export code does to the clipboard; can refuse one type.
class FakePasteboard final : public Pasteboard
{
public:
    QStringList calls;
    QList<QPair<QString, QByteArray>> written;
    QString refusedType;

    void clearContents() override
    {
        calls << QStringLiteral("clear");
        written.clear();
    }
    void declareTypes(const QStringList &types) override { calls << QStringLiteral("declare ") + types.join(u','); }
    bool setData(const QByteArray &data, const QString &type) override
    {
        calls << QStringLiteral("set ") + type;
        if (type == refusedType)
            return false;
        written.append({type, data});
        return true;
    }
};

QImage sample()
{
    QImage image(37, 21, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 6, y * 11, (x * y) % 256));
    return image;
}

} // namespace

class ImageExportTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void bestRepresentation_data();
    void bestRepresentation();
    void sanitizedName_data();
    void sanitizedName();
    void longNamesFitTheFileSystem_data();
    void longNamesFitTheFileSystem();
    void proposedName_data();
    void proposedName();
    void copyWritesPngThenTiff();
    void failedCopyLeavesNoHalfEntry();
    void unencodableImageLeavesPasteboardAlone();
    void encodingOffTheMainThread();
    void clipboardEntryMakesTiffOnRequest();
    void atomicWrite();
    void saveEncodingFailureShowsNoDialog();
    void saveCancelWritesNothing();
    void saveWritesChosenFile();

private:
    QTemporaryDir m_home;
};

void ImageExportTest::initTestCase()
{
    // The save dialog starts in ~/Downloads; give it a home of its own.
    QVERIFY(m_home.isValid());
    qputenv("HOME", m_home.path().toUtf8());
    qunsetenv("XDG_DOWNLOAD_DIR");
    QVERIFY(QDir(m_home.path()).mkpath(QStringLiteral("Downloads")));
    QCOMPARE(SaveFileFlow::startDirectory(), m_home.filePath(QStringLiteral("Downloads")));
}

void ImageExportTest::bestRepresentation_data()
{
    QTest::addColumn<QList<QSize>>("sizes");
    QTest::addColumn<int>("expected");
    QTest::newRow("equal counts: the first") << QList<QSize>{{100, 100}, {200, 50}} << 0;
    QTest::newRow("more pixels later") << QList<QSize>{{100, 100}, {200, 200}} << 1;
    QTest::newRow("null is no raster") << QList<QSize>{{0, 0}, {10, 10}} << 1;
    QTest::newRow("none") << QList<QSize>{{0, 0}} << -1;
}

void ImageExportTest::bestRepresentation()
{
    QFETCH(QList<QSize>, sizes);
    QFETCH(int, expected);
    QList<QImage> images;
    for (const QSize &size : sizes) {
        QImage image = size.isEmpty() ? QImage() : QImage(size, QImage::Format_RGB32);
        if (!image.isNull())
            image.fill(QColor(images.size() * 40, 0, 0));
        images << image;
    }
    const auto best = ImageExportService::bestBitmapRepresentation(images);
    if (expected < 0) {
        QVERIFY(!best);
        return;
    }
    QVERIFY(best);
    QCOMPARE(*best, images.at(expected));
}

void ImageExportTest::sanitizedName_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("expected");
    QTest::newRow("slash and colon") << "alpha/beta:gamma" << "alpha-beta-gamma";
    QTest::newRow("two slashes") << "a//b" << "a--b";
    QTest::newRow("only a slash") << "/" << "-";
    QTest::newRow("only spaces") << "   " << "Snip";
    QTest::newRow("empty") << "" << "Snip";
    QTest::newRow("backslash") << "C\\path" << "C-path";
    QTest::newRow("trimmed") << "  Title \n" << "Title";
    QTest::newRow("NUL and tab") << QStringLiteral("a%1b\tc").arg(QChar(0)) << "a b c";
    QTest::newRow("line break inside") << "first\nsecond" << "first second";
    QTest::newRow("only control characters") << QStringLiteral("\x01\x02\x7f") << "Snip";
    // Direction overrides, embeddings, isolates and marks would make a name
    // read as something else ("evil" + RLO + "gnp.exe" shows as an image).
    QTest::newRow("right-to-left override") << QString::fromUtf16(u"evil\u202Egnp.exe") << "evilgnp.exe";
    QTest::newRow("embeddings and pop")
        << QString::fromUtf16(u"\u202Aa\u202Bb\u202Cc\u202Dd") << "abcd";
    QTest::newRow("isolates") << QString::fromUtf16(u"\u2066a\u2067b\u2068c\u2069") << "abc";
    QTest::newRow("direction marks") << QString::fromUtf16(u"\u200Ea\u200Fb") << "ab";
    QTest::newRow("other invisible format characters")
        << QString::fromUtf16(u"a\u00ADb\uFEFFc\u2060d") << "abcd";
    QTest::newRow("format character beyond the first plane")
        << QString::fromUtf16(u"a\U000E0001b") << "ab";
    QTest::newRow("only format characters") << QString::fromUtf16(u"\u202E\u2066") << "Snip";
    QTest::newRow("line and paragraph separators") << QString::fromUtf16(u"one\u2028two\u2029three") << "one two three";
    QTest::newRow("Hangul fillers") << QString::fromUtf16(u"\u3164a\u115Fb\u1160c\uFFA0") << "abc";
    QTest::newRow("only Hangul fillers") << QString::fromUtf16(u"\u3164\u3164\u115F") << "Snip";
    QTest::newRow("joiners stay") << QString::fromUtf16(u"a\u200Cb\u200Dc") << QString::fromUtf16(u"a\u200Cb\u200Dc");
    QTest::newRow("200 characters") << QString(200, u'x') << QString(120, u'x');
    QTest::newRow("cut not trimmed again") << QString(119, u'x') + QStringLiteral(" tail") << QString(119, u'x') + u' ';
}

void ImageExportTest::sanitizedName()
{
    QFETCH(QString, title);
    QFETCH(QString, expected);
    QCOMPARE(ImageExportService::sanitizedFileName(title), expected);
}

void ImageExportTest::longNamesFitTheFileSystem_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("graphemes");
    // Two-byte letters: 120 of them are 240 bytes and fit as they are.
    QTest::newRow("accented") << QString(150, QChar(0xE9)) << 120;
    // Four-byte emoji: 62 of them (248 bytes) plus ".png" is the most.
    QTest::newRow("emoji") << QString(130, u' ').replace(u' ', QStringLiteral("😀")) << 62;
    // A family emoji is 18 bytes of UTF-8 and must never be split.
    QString families;
    for (int i = 0; i < 40; ++i)
        families += QStringLiteral("👨‍👩‍👧");
    QTest::newRow("families") << families << 13;
}

void ImageExportTest::longNamesFitTheFileSystem()
{
    QFETCH(QString, title);
    QFETCH(int, graphemes);
    const QString proposed = ImageExportService::proposedPngFileName(title);
    QVERIFY(proposed.toUtf8().size() <= 255);
    const QString name = ImageExportService::sanitizedFileName(title);
    QVERIFY(title.startsWith(name));
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, title);
    finder.setPosition(name.size());
    QVERIFY(finder.isAtBoundary());
    int count = 0;
    QTextBoundaryFinder counter(QTextBoundaryFinder::Grapheme, name);
    while (counter.toNextBoundary() != -1)
        ++count;
    QCOMPARE(count, graphemes);
}

void ImageExportTest::proposedName_data()
{
    QTest::addColumn<QString>("suggested");
    QTest::addColumn<QString>("expected");
    QTest::newRow("already png") << "shot.png" << "shot.png";
    QTest::newRow("plain") << "shot" << "shot.png";
    QTest::newRow("empty") << "" << "Snip.png";
    QTest::newRow("upper-case suffix") << "shot.PNG" << "shot.PNG.png";
    QTest::newRow("separators") << "a/b" << "a-b.png";
}

void ImageExportTest::proposedName()
{
    QFETCH(QString, suggested);
    QFETCH(QString, expected);
    QCOMPARE(ImageExportService::proposedPngFileName(suggested), expected);
}

void ImageExportTest::copyWritesPngThenTiff()
{
    FakePasteboard pasteboard;
    const QImage image = sample();
    QVERIFY(ImageExportService::copyToPasteboard(image, pasteboard));
    QCOMPARE(pasteboard.calls, QStringList({"clear", "declare image/png,image/tiff", "set image/png", "set image/tiff"}));
    QCOMPARE(pasteboard.written.size(), 2);
    QCOMPARE(QImage::fromData(pasteboard.written.at(0).second, "PNG").convertToFormat(QImage::Format_RGB32), image);
    QCOMPARE(QImage::fromData(pasteboard.written.at(1).second, "TIFF").convertToFormat(QImage::Format_RGB32), image);
}

void ImageExportTest::failedCopyLeavesNoHalfEntry()
{
    for (const QString &refused : {ImageExportService::pngType, ImageExportService::tiffType}) {
        FakePasteboard pasteboard;
        pasteboard.refusedType = refused;
        QVERIFY(!ImageExportService::copyToPasteboard(sample(), pasteboard));
        // Both writes are attempted, then the pasteboard is cleared again.
        QCOMPARE(pasteboard.calls.size(), 5);
        QCOMPARE(pasteboard.calls.last(), QStringLiteral("clear"));
        QVERIFY(pasteboard.written.isEmpty());
    }
}

void ImageExportTest::unencodableImageLeavesPasteboardAlone()
{
    FakePasteboard pasteboard;
    QVERIFY(!ImageExportService::copyToPasteboard(QImage(), pasteboard));
    QVERIFY(pasteboard.calls.isEmpty());
}

void ImageExportTest::encodingOffTheMainThread()
{
    const QImage image = sample();
    // A capture's stored PNG is reused; only the TIFF is made.
    const QByteArray stored = *ImageExportService::pngData(image);
    auto future = ImageExportService::pasteboardImageAsync(image, stored);
    future.waitForFinished();
    const std::optional<ImageExportService::PasteboardImage> encoded = future.result();
    QVERIFY(encoded);
    QCOMPARE(encoded->png, stored);
    QCOMPARE(QImage::fromData(encoded->tiff, "TIFF").convertToFormat(QImage::Format_RGB32), image);

    FakePasteboard pasteboard;
    QVERIFY(ImageExportService::writeToPasteboard(*encoded, pasteboard));
    QCOMPARE(pasteboard.written.size(), 2);
    QCOMPARE(pasteboard.written.at(0).second, stored);

    auto nothing = ImageExportService::pasteboardImageAsync(QImage());
    nothing.waitForFinished();
    QVERIFY(!nothing.result().has_value());
}

void ImageExportTest::clipboardEntryMakesTiffOnRequest()
{
    // A capture's stored PNG goes on the desktop clipboard as it is; the
    // TIFF is made from it when asked, and again the same when asked again.
    const QImage image = sample();
    const QByteArray png = *ImageExportService::pngData(image);
    QVERIFY(ClipboardPasteboard::general().setImage(png));
    const QMimeData *entry = QGuiApplication::clipboard()->mimeData();
    QVERIFY(entry);
    QCOMPARE(entry->formats(), QStringList({ImageExportService::pngType, ImageExportService::tiffType}));
    QCOMPARE(entry->data(ImageExportService::pngType), png);
    const QByteArray tiff = entry->data(ImageExportService::tiffType);
    QCOMPARE(QImage::fromData(tiff, "TIFF").convertToFormat(QImage::Format_RGB32), image);
    QCOMPARE(entry->data(ImageExportService::tiffType), tiff);
    QVERIFY(entry->data(QStringLiteral("text/plain")).isEmpty());

    // Bytes that are no PNG leave no entry that would fail a paste later.
    FakePasteboard fake;
    QVERIFY(!fake.setImage(QByteArray("not a picture")));
    QVERIFY(fake.calls.isEmpty());
    QVERIFY(!ClipboardPasteboard::general().setImage(QByteArray("not a picture")));
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(ImageExportService::pngType), png);
}

void ImageExportTest::atomicWrite()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("shot.png"));
    QVERIFY(SaveFileFlow::writeFileAtomically(path, "first"));
    QVERIFY(SaveFileFlow::writeFileAtomically(path, "second"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("second"));

    // The disk fills up as a small file is written (the file-size limit
    // here, which fails the write as a full disk does): the save says so,
    // and no file cut short is left under the name.
    const QString cut = dir.filePath(QStringLiteral("cut.png"));
    rlimit unlimited{};
    QVERIFY(::getrlimit(RLIMIT_FSIZE, &unlimited) == 0);
    rlimit limited = unlimited;
    limited.rlim_cur = 4096;
    struct sigaction ignore = {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction previous = {};
    ::sigaction(SIGXFSZ, &ignore, &previous);
    QVERIFY(::setrlimit(RLIMIT_FSIZE, &limited) == 0);
    const auto cutShort = SaveFileFlow::writeFileAtomically(cut, QByteArray(12000, 'x'));
    ::setrlimit(RLIMIT_FSIZE, &unlimited);
    ::sigaction(SIGXFSZ, &previous, nullptr);
    QVERIFY(!cutShort);
    QVERIFY2(cutShort.error().endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(cutShort.error()));
    QVERIFY(!QFile::exists(cut));

    const QString missing = dir.filePath(QStringLiteral("no/such/folder/shot.png"));
    const auto written = SaveFileFlow::writeFileAtomically(missing, "bytes");
    QVERIFY(!written);
    // Shown after the save panel has gone: it names the file and where it
    // was to go, then why it failed.
    const QString said = QStringLiteral("The file \u201Cshot.png\u201D couldn\u2019t be saved in the folder \u201C%1\u201D: ")
                             .arg(QDir::toNativeSeparators(dir.filePath(QStringLiteral("no/such/folder"))));
    QVERIFY2(written.error().startsWith(said), qPrintable(written.error()));
    QVERIFY(written.error().size() > said.size());
    QVERIFY(!QFile::exists(missing));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"shot.png"});
}

void ImageExportTest::saveEncodingFailureShowsNoDialog()
{
    std::optional<SaveFileOutcome> outcome;
    ImageExportService::savePNG(QImage(), QStringLiteral("x"), nullptr, [&](const SaveFileOutcome &o) { outcome = o; });
    QTRY_VERIFY(outcome.has_value());
    QVERIFY(!shownFileDialog());
    QCOMPARE(*outcome, unexpected(QStringLiteral("The image could not be encoded as PNG.")));
}

void ImageExportTest::saveCancelWritesNothing()
{
    std::optional<SaveFileOutcome> outcome;
    ImageExportService::savePNG(sample(), QStringLiteral("Board: idea"), nullptr,
                                [&](const SaveFileOutcome &o) { outcome = o; });
    QTRY_VERIFY(shownFileDialog());
    QFileDialog *dialog = shownFileDialog();
    QCOMPARE(dialog->acceptMode(), QFileDialog::AcceptSave);
    QCOMPARE(QDir(dialog->directory()).absolutePath(), m_home.filePath(QStringLiteral("Downloads")));
    QCOMPARE(QFileInfo(dialog->selectedFiles().value(0)).fileName(), QStringLiteral("Board- idea.png"));
    const QString wouldBe = dialog->selectedFiles().value(0);
    dialog->reject();
    QTRY_VERIFY(outcome.has_value());
    QCOMPARE(outcome->value_or(SaveFileStatus::saved), SaveFileStatus::cancelled);
    QVERIFY(!QFile::exists(wouldBe));
}

void ImageExportTest::saveWritesChosenFile()
{
    QTemporaryDir dir;
    std::optional<SaveFileOutcome> outcome;
    const QImage image = sample();
    ImageExportService::savePNG(image, QStringLiteral("Chosen"), nullptr, [&](const SaveFileOutcome &o) { outcome = o; });
    QTRY_VERIFY(shownFileDialog());
    QFileDialog *dialog = shownFileDialog();
    dialog->setDirectory(dir.path());
    const QString target = dialog->selectedFiles().value(0);
    QCOMPARE(target, dir.filePath(QStringLiteral("Chosen.png")));
    static_cast<QDialog *>(dialog)->accept();
    QTRY_VERIFY(outcome.has_value());
    QVERIFY2(*outcome, qPrintable(*outcome ? QString() : outcome->error()));
    QCOMPARE(**outcome, SaveFileStatus::saved);
    QCOMPARE(QImage(target).convertToFormat(QImage::Format_RGB32), image);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"Chosen.png"}); // no temporary left
}

QTEST_MAIN(ImageExportTest)
#include "tst_imageexport.moc"

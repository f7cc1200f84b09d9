// Copies an image to the real X11 clipboard and reads it back with xclip,
// a separate client, so the entry is checked as other applications see it.

#include "runtime/ImageExportService.h"
#include "platform/Pasteboard.h"

#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QProcess>
#include <QStandardPaths>
#include <QSignalSpy>
#include <QTest>

using namespace tessaline;

namespace {

// Runs xclip without blocking the event loop: this process must answer
// the selection requests that xclip makes.
QByteArray xclip(const QStringList &arguments)
{
    QProcess process;
    QSignalSpy finished(&process, &QProcess::finished);
    process.start(QStringLiteral("xclip"), QStringList{"-selection", "clipboard", "-o"} + arguments);
    if (!process.waitForStarted())
        return {};
    // The spy's wait turns the event loop, so the selection requests are answered.
    if (finished.isEmpty())
        finished.wait(20000);
    return process.readAllStandardOutput();
}

} // namespace

class PasteboardTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void copyOffersPngThenTiff();
    void clearingRemovesTheEntry();
    void replacedImageIsOfferedAndTheOldBytesReleased();
    void sourcedImageIsReadOnlyWhenPasted();
};

void PasteboardTest::initTestCase()
{
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        QSKIP("needs an X server");
    if (QStandardPaths::findExecutable(QStringLiteral("xclip")).isEmpty())
        QFAIL("xclip is not installed");
}

void PasteboardTest::copyOffersPngThenTiff()
{
    QImage image(64, 48, QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 5, 128));

    QVERIFY(ImageExportService::copyToPasteboard(image, ClipboardPasteboard::general()));

    const QList<QByteArray> targets = xclip({"-t", "TARGETS"}).split('\n');
    const qsizetype png = targets.indexOf("image/png");
    const qsizetype tiff = targets.indexOf("image/tiff");
    QVERIFY2(png >= 0, targets.join(' ').constData());
    QVERIFY2(tiff >= 0, targets.join(' ').constData());
    QVERIFY(png < tiff);

    const QImage pasted = QImage::fromData(xclip({"-t", "image/png"}), "PNG");
    QCOMPARE(pasted.convertToFormat(QImage::Format_RGB32), image);
    const QImage pastedTiff = QImage::fromData(xclip({"-t", "image/tiff"}), "TIFF");
    QCOMPARE(pastedTiff.convertToFormat(QImage::Format_RGB32), image);
}

void PasteboardTest::clearingRemovesTheEntry()
{
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    QVERIFY(ImageExportService::copyToPasteboard(image, ClipboardPasteboard::general()));
    ClipboardPasteboard::general().clearContents();
    QVERIFY(!xclip({"-t", "TARGETS"}).contains("image/png"));
}

void PasteboardTest::replacedImageIsOfferedAndTheOldBytesReleased()
{
    auto encoded = [](QColor colour) {
        QImage image(16, 12, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return png;
    };
    QByteArray first = encoded(Qt::red);
    const QByteArray second = encoded(Qt::blue);
    ClipboardPasteboard &pasteboard = ClipboardPasteboard::general();
    QVERIFY(pasteboard.setImage(first));
    QVERIFY(!first.isDetached()); // the entry shares the caller's bytes
    // A client asking for the TIFF makes the entry hold a second buffer.
    QVERIFY(!QImage::fromData(xclip({"-t", "image/tiff"}), "TIFF").isNull());

    QVERIFY(pasteboard.setImage(second));
    QCOMPARE(QImage::fromData(xclip({"-t", "image/png"}), "PNG").pixelColor(3, 3), QColor(Qt::blue));
    QVERIFY(xclip({"-t", "TARGETS"}).contains("image/tiff"));
    // The replaced entry's share goes on a worker; it must not linger.
    QTRY_VERIFY(first.isDetached());
}

void PasteboardTest::sourcedImageIsReadOnlyWhenPasted()
{
    QImage image(20, 10, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    image.setPixel(3, 4, qRgb(250, 10, 10));
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    int reads = 0;
    bool gone = false;
    const auto source = [&]() -> std::optional<QByteArray> {
        ++reads;
        return gone ? std::nullopt : std::optional<QByteArray>(png);
    };
    ClipboardPasteboard &pasteboard = ClipboardPasteboard::general();
    QVERIFY(pasteboard.setImageSource(source));
    QCOMPARE(reads, 0);
    const QList<QByteArray> targets = xclip({"-t", "TARGETS"}).split('\n');
    QVERIFY(targets.indexOf("image/png") >= 0 && targets.indexOf("image/png") < targets.indexOf("image/tiff"));
    QCOMPARE(reads, 0);

    // Each paste reads the picture's very bytes; nothing is kept between.
    QCOMPARE(xclip({"-t", "image/png"}), png);
    QCOMPARE(xclip({"-t", "image/png"}), png);
    QCOMPARE(reads, 2);
    QCOMPARE(QImage::fromData(xclip({"-t", "image/tiff"}), "TIFF").convertToFormat(QImage::Format_RGB32), image);

    // A picture gone by the time of the paste gives nothing, not a broken image.
    gone = true;
    QVERIFY(xclip({"-t", "image/png"}).isEmpty());

    // Once told to hold its bytes, the entry no longer needs its source.
    gone = false;
    pasteboard.holdImageSourceBytes();
    const int held = reads;
    gone = true;
    QCOMPARE(xclip({"-t", "image/png"}), png);
    QCOMPARE(reads, held);
    pasteboard.clearContents();
}

QTEST_MAIN(PasteboardTest)
#include "tst_pasteboard.moc"

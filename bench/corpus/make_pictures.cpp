// Writes the picture corpus (bench/runtime/ScreenshotContent.h) at 1080p and
// 5K into the corpus folder, or the folder given, and lists each picture's
// PNG size as the capture path encodes it.

#include "platform/PngEncoder.h"
#include "runtime/ScreenshotContent.h"

#include <QDir>
#include <QGuiApplication>

#include <cstdio>

using namespace tessaline;

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication application(argc, argv);
    if (argc > 1)
        qputenv("TESSALINE_BENCH_CORPUS_DIR", QDir(QString::fromLocal8Bit(argv[1])).absolutePath().toLocal8Bit());
    for (const QSize size : {QSize(1920, 1080), QSize(5120, 2880)}) {
        for (const bench::Picture picture : bench::allPictures) {
            const QImage &image = bench::corpusPicture(picture, size);
            const auto png = encodePng(image);
            std::printf("%-9s %4dx%-4d %7.2f MB\n", bench::pictureName(picture), size.width(), size.height(),
                        png ? double(png->size()) / 1e6 : 0.0);
        }
    }
    return 0;
}

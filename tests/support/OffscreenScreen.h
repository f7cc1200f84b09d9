#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

namespace tessaline::testing {

// Gives the offscreen platform one screen of the given size instead of its
// 800 by 600. Call from a test class's initMain(), before the application
// exists; other platforms keep their own screens.
inline void useOffscreenScreen(int width, int height)
{
    if (qgetenv("QT_QPA_PLATFORM") != "offscreen")
        return;
    static QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("screens.json")));
    if (!config.open(QIODevice::WriteOnly))
        return;
    config.write(QByteArrayLiteral(R"({"screens": [{"name": "test", "x": 0, "y": 0, "width": )")
                 + QByteArray::number(width) + QByteArrayLiteral(R"(, "height": )") + QByteArray::number(height)
                 + QByteArrayLiteral(R"(, "logicalDpi": 96, "logicalBaseDpi": 96, "dpr": 1}]})"));
    config.close();
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" + QFile::encodeName(config.fileName()));
}

} // namespace tessaline::testing

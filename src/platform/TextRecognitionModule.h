#pragma once

#include "platform/TextRecognizer.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace tessaline {

// Tesseract reading English (TesseractRecognizer), kept in a module of its
// own that is opened at the first recognition, on the thread that asks for
// it: Tesseract and the image libraries it brings are more than half of
// what the app would otherwise load before its first window. A module that
// cannot be opened makes every recognition fail with a message, as missing
// language data does; nothing else depends on it. Once opened, the module
// stays for the life of the process.
// Not thread-safe: one instance belongs to one thread at a time.
class TextRecognitionModule final : public TextRecognizing
{
public:
    // `dataPath` and `engines` as TesseractRecognizer takes them. The
    // module is looked for in `moduleFiles`, first found first.
    explicit TextRecognitionModule(QByteArray dataPath = {}, int engines = 0,
                                   QStringList moduleFiles = installedModuleFiles());
    ~TextRecognitionModule() override;

    TextRecognitionOutcome recognize(QImage image) override;
    // Opens the module and loads the first engine's language data.
    void prepare() override;
    void openCode() override;
    // The module itself stays open.
    void releaseIdleResources() override;
    // Kept for the recogniser until the module is open.
    void setEngineLimit(int engines) override;
    // Kept for the recogniser until the module is open.
    void setStopFlag(std::shared_ptr<const std::atomic<bool>> stop) override;

    // Where the module is looked for, beside the running program: where the
    // install puts it (<prefix>/lib/tessaline beside <prefix>/bin) and where
    // the build puts it (build/lib/tessaline, two folders above every
    // program the build makes).
    static QStringList installedModuleFiles();

private:
    Expected<void, TextRecognitionError> ensureRecognizer();

    QByteArray m_dataPath;
    int m_engines;
    int m_engineLimit = 0;
    std::shared_ptr<const std::atomic<bool>> m_stop;
    QStringList m_moduleFiles;
    std::unique_ptr<TextRecognizing> m_recognizer;
};

} // namespace tessaline

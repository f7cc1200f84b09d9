#include "platform/TextRecognitionModule.h"

#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace tessaline {

namespace {

// The name the build gives the module, and what it exports
// (TesseractRecognizer.h).
const QLatin1String moduleName("libtessaline-tesseract.so");
constexpr const char *entryPoint = "tessaline_new_tesseract_recognizer";
using NewRecognizer = TextRecognizing *(*)(const char *dataPath, int engines);

} // namespace

TextRecognitionModule::TextRecognitionModule(QByteArray dataPath, int engines, QStringList moduleFiles)
    : m_dataPath(std::move(dataPath)), m_engines(engines), m_moduleFiles(std::move(moduleFiles))
{
}

TextRecognitionModule::~TextRecognitionModule() = default;

QStringList TextRecognitionModule::installedModuleFiles()
{
    // The program's own file rather than the application's, so that a
    // program without a QCoreApplication finds it too.
    const QDir programDir = QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath()).dir();
    return {QDir::cleanPath(programDir.filePath(QStringLiteral("../lib/tessaline/") + moduleName)),
            QDir::cleanPath(programDir.filePath(QStringLiteral("../../lib/tessaline/") + moduleName))};
}

Expected<void, TextRecognitionError> TextRecognitionModule::ensureRecognizer()
{
    if (m_recognizer)
        return {};
    // Tried again at every call until it opens, like the language data: a
    // module installed while the app runs serves the next capture.
    QStringList tried;
    for (const QString &file : std::as_const(m_moduleFiles)) {
        if (!QFileInfo::exists(file)) {
            tried << QStringLiteral("%1 not found").arg(file);
            continue;
        }
        // Never unloaded: Tesseract's threads and static data outlive any
        // one recogniser.
        QLibrary module(file);
        const auto make = reinterpret_cast<NewRecognizer>(module.resolve(entryPoint));
        if (!make) {
            tried << module.errorString();
            continue;
        }
        m_recognizer.reset(make(m_dataPath.isEmpty() ? nullptr : m_dataPath.constData(), m_engines));
        if (m_recognizer) {
            m_recognizer->setEngineLimit(m_engineLimit);
            m_recognizer->setStopFlag(m_stop);
            return {};
        }
    }
    if (tried.isEmpty())
        tried << QStringLiteral("no place to look");
    return unexpected(TextRecognitionError{
        QStringLiteral("Text recognition is not available: its module could not be loaded (%1).")
            .arg(tried.join(QStringLiteral("; ")))});
}

TextRecognitionOutcome TextRecognitionModule::recognize(QImage image)
{
    if (auto ready = ensureRecognizer(); !ready)
        return unexpected(ready.error());
    return m_recognizer->recognize(std::move(image));
}

void TextRecognitionModule::prepare()
{
    // A failure is said by the recognition.
    if (ensureRecognizer())
        m_recognizer->prepare();
}

void TextRecognitionModule::openCode()
{
    // A failure is said by the recognition.
    (void)ensureRecognizer();
}

void TextRecognitionModule::setEngineLimit(int engines)
{
    m_engineLimit = engines;
    if (m_recognizer)
        m_recognizer->setEngineLimit(engines);
}

void TextRecognitionModule::setStopFlag(std::shared_ptr<const std::atomic<bool>> stop)
{
    m_stop = stop;
    if (m_recognizer)
        m_recognizer->setStopFlag(std::move(stop));
}

void TextRecognitionModule::releaseIdleResources()
{
    if (m_recognizer)
        m_recognizer->releaseIdleResources();
}

} // namespace tessaline

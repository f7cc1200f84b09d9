#pragma once

#include "platform/Expected.h"

#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <atomic>
#include <memory>
#include <optional>

namespace tessaline {

// One word the engine read, and where it lies in the image (pixels, origin
// top-left).
struct RecognizedWord
{
    QString text;
    QRect box;
};

// One line of text found in an image, with the engine's best reading of it
// (none when the engine had no candidate for it) and the words it is made
// of, in reading order.
struct TextObservation
{
    std::optional<QString> topCandidate;
    QList<RecognizedWord> words;
};

struct TextRecognitionError
{
    QString message;
    // The picture itself could not be decoded: reading it again cannot help.
    bool isPictureUnreadable = false;
};

// The lines found, in reading order, or why none could be read.
using TextRecognitionOutcome = Expected<QList<TextObservation>, TextRecognitionError>;

// A text recogniser. Calls block; the caller decides which thread runs them.
class TextRecognizing
{
public:
    virtual ~TextRecognizing() = default;
    // The picture is the recogniser's to keep or let go: one moved in can be
    // freed as soon as the engine holds a copy of its own (15 MB of grey at
    // 5K that would otherwise sit beside the engine's working pictures).
    virtual TextRecognitionOutcome recognize(QImage image) = 0;
    // Does now what the first call would otherwise start with (opening
    // the engine's code, loading its first model), so that it waits less;
    // nothing when there is nothing of the kind.
    virtual void prepare() {}
    // Opens the engine's code alone, where it comes as a module of its own,
    // without loading a model. While a module is being opened no thread
    // can be started anywhere in the process, so it is done once, at a
    // quiet moment, rather than as the first capture starts its threads.
    virtual void openCode() {}
    // Lets go of what only speeds up later calls (every loaded model); the
    // next call, or prepare, loads what it needs again.
    virtual void releaseIdleResources() {}
    // At most this many engines read from the next call on, and those
    // beyond it let go of their memory; 0 lifts the limit. Nothing for a
    // recogniser without several engines.
    virtual void setEngineLimit(int engines) { (void)engines; }
    // Once the flag is up, a reading under way ends at its next piece,
    // failing, and so does every later one: a process that is ending waits
    // for no page. The flag is raised on any thread.
    virtual void setStopFlag(std::shared_ptr<const std::atomic<bool>> stop) { (void)stop; }
};

// Why a reading stopped by its flag failed.
inline QString recognitionStoppedMessage()
{
    return QStringLiteral("Text recognition stopped: the app is ending.");
}

// The grey level a recogniser reads for a pixel: integer weights near the
// luma ones, cheap enough to run over a 5K frame row by row.
constexpr uchar recognitionGreyLevel(int red, int green, int blue)
{
    return uchar((red * 11 + green * 16 + blue * 5) >> 5);
}

// The 8-bit grey picture a recogniser reads; an image already grey comes
// back shared. Several times faster than Qt's conversion for screen
// captures, so callers holding a large frame can make it early (any
// thread) and let the frame go.
QImage recognitionGreyImage(const QImage &image);

} // namespace tessaline

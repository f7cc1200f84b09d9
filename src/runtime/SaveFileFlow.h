#pragma once

#include "platform/Expected.h"

#include <QByteArray>
#include <QFuture>
#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace tessaline {

enum class SaveFileStatus { saved, cancelled };

// How a save ended: the file was written or the user cancelled, or the
// reason nothing was written. Cancelling is no failure.
using SaveFileOutcome = Expected<SaveFileStatus, QString>;

// What the save dialog offers.
struct SaveFileRequest
{
    // The proposed file name, extension included.
    QString fileName;
    // The file types offered, the first one chosen.
    QStringList mimeTypes;
    // Added to a name the user types without one.
    QString defaultSuffix;
};

// Every "Save As…" of the app: a non-blocking save dialog that starts in the
// user's download folder, an atomic write of the chosen file, and one answer
// to the caller, who shows a failure through its own error message. Main
// thread only.
namespace SaveFileFlow {

using Completion = std::function<void(SaveFileOutcome)>;
// The bytes to write, made once the user has chosen where; or the reason
// they could not be made.
using Contents = std::function<Expected<QByteArray, QString>()>;

// The folder save dialogs start in: the XDG download folder, else the
// pictures folder, else the home folder; never the process's working
// directory. Only folders that exist count.
QString startDirectory();

// Writes the bytes to the path in one step (a temporary file renamed over
// the target); on failure the target is untouched and the reason comes back.
Expected<void, QString> writeFileAtomically(const QString &path, const QByteArray &bytes);

// Asks where to save, then writes what `contents` makes at that moment.
// `completion` runs exactly once, on the main thread, never during the call:
// saved, cancelled (also when `parent` closes first), or the reason.
void save(QWidget *parent, const SaveFileRequest &request, Contents contents, Completion completion);

// The same for bytes that are made before the dialog opens (off the main
// thread when that is slow): a failure to make them is answered without any
// dialog.
void save(QWidget *parent, const SaveFileRequest &request, QFuture<Expected<QByteArray, QString>> bytes,
          Completion completion);

} // namespace SaveFileFlow

} // namespace tessaline

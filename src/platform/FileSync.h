#pragma once

#include "platform/Expected.h"

#include <QString>

class QSaveFile;

namespace tessaline {

// Makes the folder's entries durable: after a file was renamed into place,
// the rename itself survives a power loss only once its folder is synced.
Expected<void, QString> syncDirectory(const QString &directory);

// The same for the folder that holds `filePath`.
Expected<void, QString> syncDirectoryOf(const QString &filePath);

// Makes a file's contents durable, whoever wrote them through whichever
// handle: the pages of every handle on a file are the same pages. A file
// that is not there has nothing to sync. Never for a file this process
// holds locks on: closing any handle on it lets go of them.
Expected<void, QString> syncFileContents(const QString &filePath);

// Writes out what a save file still buffers, seeing whether that worked:
// commit() writes it (all of a small file) without looking, so a disk that
// fills up meanwhile would leave a file cut short under its name, reported
// written. On failure the writing is cancelled and the system's reason
// ("No space left on device") given, where Qt's says "Unknown error".
Expected<void, QString> flushBeforeCommit(QSaveFile &file);

} // namespace tessaline

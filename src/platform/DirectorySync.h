#pragma once

#include "platform/Expected.h"

#include <QString>

namespace tessaline {

// Makes the folder's entries durable: after a file was renamed into place,
// the rename itself survives a power loss only once its folder is synced.
Expected<void, QString> syncDirectory(const QString &directory);

// The same for the folder that holds `filePath`.
Expected<void, QString> syncDirectoryOf(const QString &filePath);

} // namespace tessaline

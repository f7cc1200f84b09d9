#pragma once

#include "platform/Expected.h"

#include <QString>

namespace tessaline {

class ModelContext;

// Writes the library's unsaved edits (a title being typed, a favourite) so
// that an operation which rolls the library back when its own save fails
// takes back nothing but itself. The failure's message when they could not
// be written.
Expected<void, QString> writePendingEdits(ModelContext &context);

} // namespace tessaline

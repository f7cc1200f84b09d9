#pragma once

#include <QString>

#include <optional>

namespace tessaline {

class ModelContext;

// Writes the library's unsaved edits (a title being typed, a favourite) so
// that an operation which rolls the library back when its own save fails
// takes back nothing but itself. The failure's message, or nothing.
std::optional<QString> writePendingEdits(ModelContext &context);

} // namespace tessaline

#include "notes/PendingEdits.h"

#include "model/ModelContext.h"

namespace tessaline {

std::optional<QString> writePendingEdits(ModelContext &context)
{
    if (!context.hasChanges())
        return std::nullopt;
    if (const auto saved = context.save(); !saved)
        return saved.error().message;
    return std::nullopt;
}

} // namespace tessaline

#include "notes/PendingEdits.h"

#include "model/ModelContext.h"

namespace tessaline {

Expected<void, QString> writePendingEdits(ModelContext &context)
{
    if (!context.hasChanges())
        return {};
    return context.save().transform_error([](const StoreError &error) { return error.message; });
}

} // namespace tessaline

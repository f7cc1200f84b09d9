#include "runtime/KeptChanges.h"

#include "model/ModelContext.h"

namespace tessaline {

Expected<void, QString> saveKeepingChanges(ModelContext &context)
{
    return context.save().transform_error([](const StoreError &error) { return keptChangesMessage(error.message); });
}

QString keptChangesMessage(const QString &reason)
{
    return QStringLiteral("Your change could not be saved. %1\n\n"
                          "Tessaline keeps it and saves it with your next change once the problem is fixed.")
        .arg(reason);
}

} // namespace tessaline

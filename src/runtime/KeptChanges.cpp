#include "runtime/KeptChanges.h"

#include "model/ModelContext.h"

namespace tessaline {

Expected<void, QString> saveKeepingChanges(ModelContext &context)
{
    return context.save().transform_error([&context](const StoreError &error) {
        // A library opened for reading takes no save before the app opens
        // it again: no later change will carry this one, and the reason
        // says so.
        return context.isReadOnly() ? error.message : keptChangesMessage(error.message);
    });
}

QString keptChangesMessage(const QString &reason)
{
    return QStringLiteral("Your change could not be saved. %1\n\n"
                          "Tessaline keeps it and saves it with your next change once the problem is fixed.")
        .arg(reason);
}

} // namespace tessaline

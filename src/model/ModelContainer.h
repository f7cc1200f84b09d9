#pragma once

#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace tessaline {

class ModelContext;

// Owns the library's SQLite file (or an in-memory database) and its main
// context. The file records the schema version it was made with; a file that
// is not a library, a damaged library, or one made by a newer schema is
// refused and left as it is. Every commit is synced to disk before `save`
// returns (synchronous FULL), so a save that was reported survives a power
// loss.
class ModelContainer : public QObject
{
    Q_OBJECT
public:
    struct Configuration
    {
        QString name = QStringLiteral("Tessaline");
        bool isStoredInMemoryOnly = false;
        // Asking for cloud mirroring fails: there is no cloud store here.
        std::optional<QString> cloudSyncContainerIdentifier;
        // Where the file lives; the app's data directory when empty.
        QString directory;
    };

    static QString schemaVersion() { return QStringLiteral("1.0.0"); }

    static Expected<std::unique_ptr<ModelContainer>, StoreError> open(const Configuration &configuration);

    ~ModelContainer() override;

    ModelContext *mainContext() const { return m_context; }
    // Empty for an in-memory store.
    QString filePath() const { return m_filePath; }

private:
    ModelContainer(const QString &connectionName, const QString &filePath);

    QString m_connectionName;
    QString m_filePath;
    ModelContext *m_context = nullptr;
};

} // namespace tessaline

#pragma once

#include "model/StoreError.h"
#include "platform/Expected.h"

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

namespace tessaline {

class FileLock;
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
        // The library is this process's alone while the container lives:
        // another process opening it so is refused (libraryInUse), whatever
        // session it runs in. The lock is the kernel's, so it ends with the
        // process, a killed one too. Off, a second container, here or in
        // another process, may open the same file (tests standing in for
        // two processes do).
        bool holdsLibrary = false;
        // Opened for reading only, as happens by itself when the file or its
        // folder cannot be written by this process.
        bool readOnly = false;
    };

    static QString schemaVersion() { return QStringLiteral("1.0.0"); }

    static Expected<std::unique_ptr<ModelContainer>, StoreError> open(const Configuration &configuration);
    // Where the library file of a configuration stored on disk lives.
    static QString libraryFilePath(const Configuration &configuration);
    // The refusal of a library that another process holds.
    static StoreError libraryInUse(const QString &filePath);
    // Whether this process may write the library file at `filePath` (or
    // create it): the file, when there, and its folder must be writable.
    static bool isWritable(const QString &filePath);

    ~ModelContainer() override;

    ModelContext *mainContext() const { return m_context; }
    // Empty for an in-memory store.
    QString filePath() const { return m_filePath; }
    // Every save is refused then, with readOnlyError(), writing nothing.
    bool isReadOnly() const;
    StoreError readOnlyError() const;

private:
    ModelContainer(const QString &connectionName, const QString &filePath);

    QString m_connectionName;
    QString m_filePath;
    ModelContext *m_context = nullptr;
    std::unique_ptr<FileLock> m_lock;
};

} // namespace tessaline

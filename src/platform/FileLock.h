#pragma once

#include <QString>

namespace tessaline {

// A lock on a file that one open of it holds at a time, for as long as the
// object lives. The kernel keeps it (flock), so it ends with its process
// however that ends: a killed holder never leaves a stale lock behind. The
// file itself stays; only the lock on it counts. Two FileLock objects on
// the same path exclude each other even within one process.
class FileLock
{
public:
    enum class State {
        held,
        // Another process (or another FileLock here) holds it.
        heldElsewhere,
        // The file could not be made or opened (a folder that cannot be
        // written, say); nothing is locked.
        unavailable,
    };

    explicit FileLock(const QString &path);
    ~FileLock();
    FileLock(const FileLock &) = delete;
    FileLock &operator=(const FileLock &) = delete;

    // Takes the lock without waiting.
    State tryLock();
    bool isHeld() const { return m_fd >= 0; }
    QString path() const { return m_path; }
    // Why the last tryLock did not end in `held`.
    QString errorText() const { return m_errorText; }

private:
    QString m_path;
    QString m_errorText;
    int m_fd = -1;
};

} // namespace tessaline

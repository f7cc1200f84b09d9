#pragma once

#include <sqlite3.h>

#include <atomic>
#include <cstddef>

namespace tessaline::testing {

// A disk that fills up under the library, for every SQLite connection the
// process opens from now on (the app's and its workers'): while full, each
// write to a file fails as the system's write to a full disk makes it fail
// (SQLITE_FULL), so the failure shows where it would, at the commit that
// writes the log, not at a statement. Everything else goes to the system's
// own files unchanged.
class FullDisk
{
public:
    // The one stand-in of the process, made the default for connections
    // opened after the first call.
    static FullDisk &shared()
    {
        static FullDisk disk;
        return disk;
    }

    void setFull(bool full) { m_full = full; }
    bool isRegistered() const { return m_registered; }

private:
    struct File
    {
        sqlite3_file base;
        sqlite3_file *real;
    };

    FullDisk()
    {
        m_system = sqlite3_vfs_find(nullptr);
        if (!m_system)
            return;
        m_vfs = *m_system;
        m_vfs.zName = "tessaline-full-disk";
        m_vfs.szOsFile = int(sizeof(File)) + m_system->szOsFile;
        m_vfs.pNext = nullptr;
        m_vfs.xOpen = &FullDisk::open;
        m_registered = sqlite3_vfs_register(&m_vfs, 1) == SQLITE_OK;
    }

    static sqlite3_file *real(sqlite3_file *file) { return reinterpret_cast<File *>(file)->real; }

    static int open(sqlite3_vfs *, sqlite3_filename name, sqlite3_file *file, int flags, int *outFlags)
    {
        FullDisk &disk = shared();
        auto *wrapper = reinterpret_cast<File *>(file);
        wrapper->real = reinterpret_cast<sqlite3_file *>(reinterpret_cast<char *>(file) + sizeof(File));
        wrapper->base.pMethods = nullptr;
        const int opened = disk.m_system->xOpen(disk.m_system, name, wrapper->real, flags, outFlags);
        if (!wrapper->real->pMethods)
            return opened;
        // One table of methods per kind of system file (SQLite compares them).
        static sqlite3_io_methods methods = [] {
            sqlite3_io_methods wrapped{};
            wrapped.iVersion = 3;
            wrapped.xClose = [](sqlite3_file *f) { return real(f)->pMethods->xClose(real(f)); };
            wrapped.xRead = [](sqlite3_file *f, void *buffer, int amount, sqlite3_int64 offset) {
                return real(f)->pMethods->xRead(real(f), buffer, amount, offset);
            };
            wrapped.xWrite = [](sqlite3_file *f, const void *buffer, int amount, sqlite3_int64 offset) {
                if (shared().m_full)
                    return SQLITE_FULL;
                return real(f)->pMethods->xWrite(real(f), buffer, amount, offset);
            };
            wrapped.xTruncate = [](sqlite3_file *f, sqlite3_int64 size) {
                return real(f)->pMethods->xTruncate(real(f), size);
            };
            wrapped.xSync = [](sqlite3_file *f, int flags) { return real(f)->pMethods->xSync(real(f), flags); };
            wrapped.xFileSize = [](sqlite3_file *f, sqlite3_int64 *size) {
                return real(f)->pMethods->xFileSize(real(f), size);
            };
            wrapped.xLock = [](sqlite3_file *f, int lock) { return real(f)->pMethods->xLock(real(f), lock); };
            wrapped.xUnlock = [](sqlite3_file *f, int lock) { return real(f)->pMethods->xUnlock(real(f), lock); };
            wrapped.xCheckReservedLock = [](sqlite3_file *f, int *out) {
                return real(f)->pMethods->xCheckReservedLock(real(f), out);
            };
            wrapped.xFileControl = [](sqlite3_file *f, int op, void *argument) {
                return real(f)->pMethods->xFileControl(real(f), op, argument);
            };
            wrapped.xSectorSize = [](sqlite3_file *f) { return real(f)->pMethods->xSectorSize(real(f)); };
            wrapped.xDeviceCharacteristics = [](sqlite3_file *f) {
                return real(f)->pMethods->xDeviceCharacteristics(real(f));
            };
            wrapped.xShmMap = [](sqlite3_file *f, int page, int size, int extend, void volatile **out) {
                return real(f)->pMethods->xShmMap(real(f), page, size, extend, out);
            };
            wrapped.xShmLock = [](sqlite3_file *f, int offset, int count, int flags) {
                return real(f)->pMethods->xShmLock(real(f), offset, count, flags);
            };
            wrapped.xShmBarrier = [](sqlite3_file *f) { real(f)->pMethods->xShmBarrier(real(f)); };
            wrapped.xShmUnmap = [](sqlite3_file *f, int remove) {
                return real(f)->pMethods->xShmUnmap(real(f), remove);
            };
            wrapped.xFetch = [](sqlite3_file *f, sqlite3_int64 offset, int amount, void **out) {
                return real(f)->pMethods->xFetch(real(f), offset, amount, out);
            };
            wrapped.xUnfetch = [](sqlite3_file *f, sqlite3_int64 offset, void *pointer) {
                return real(f)->pMethods->xUnfetch(real(f), offset, pointer);
            };
            return wrapped;
        }();
        wrapper->base.pMethods = &methods;
        return opened;
    }

    sqlite3_vfs *m_system = nullptr;
    sqlite3_vfs m_vfs{};
    std::atomic<bool> m_full{false};
    bool m_registered = false;
};

} // namespace tessaline::testing

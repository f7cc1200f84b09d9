#include "platform/MemoryRelease.h"

#include <QDir>
#include <QFile>

#include <malloc.h>

#ifdef __linux__
#include <sys/mman.h>
#endif

#include <cstdint>
#include <limits>

namespace tessaline {

void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

void returnLargeBlocksToSystem()
{
#if defined(__GLIBC__)
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
#endif
}

bool hugePagesPayWith(const QString &virtioDevices)
{
    constexpr QByteArrayView balloon = "0x0005";
    constexpr qsizetype reportsFreePages = 5; // the file lists the bits from bit 0 on
    const QDir devices(virtioDevices);
    for (const QString &device : devices.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile kind(devices.filePath(device + QStringLiteral("/device")));
        QFile features(devices.filePath(device + QStringLiteral("/features")));
        if (!kind.open(QIODevice::ReadOnly) || kind.readAll().trimmed() != balloon
            || !features.open(QIODevice::ReadOnly))
            continue;
        if (features.readAll().mid(reportsFreePages, 1) == "1")
            return false;
    }
    return true;
}

bool hugePagesPay()
{
    static const bool pay = hugePagesPayWith(QStringLiteral("/sys/bus/virtio/devices"));
    return pay;
}

void adviseHugePages(void *data, size_t bytes)
{
    if (!hugePagesPay())
        return;
#ifdef __linux__
    constexpr uintptr_t hugePage = uintptr_t(2) << 20;
    const uintptr_t start = (reinterpret_cast<uintptr_t>(data) + hugePage - 1) & ~(hugePage - 1);
    const uintptr_t end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(hugePage - 1);
    if (end > start)
        madvise(reinterpret_cast<void *>(start), end - start, MADV_HUGEPAGE);
#else
    (void)data;
    (void)bytes;
#endif
}

QByteArray bytesInHugePages(qsizetype size)
{
    constexpr qsizetype hugePage = qsizetype(2) << 20;
    // Smaller arrays come from the heap, where this cannot help.
    if (!hugePagesPay() || size < hugePage || size > std::numeric_limits<qsizetype>::max() - 2 * hugePage) {
        QByteArray bytes(size, Qt::Uninitialized);
        return bytes.size() == size ? bytes : QByteArray();
    }
    // Short of the whole pages by more than the array's and the C library's
    // headers, and by less than a 4 KiB page, which the block is rounded
    // up to.
    constexpr qsizetype headers = 128;
    QByteArray bytes((size + headers + hugePage - 1) / hugePage * hugePage - headers, Qt::Uninitialized);
    if (bytes.isEmpty())
        return bytes;
    bytes.resize(size);
#ifdef __linux__
    // From the 4 KiB page the array starts in: the block's headers lie
    // before its data, and the first huge page holds them too.
    constexpr uintptr_t smallPage = 4096;
    const auto first = reinterpret_cast<uintptr_t>(bytes.data()) & ~(smallPage - 1);
    const auto end = reinterpret_cast<uintptr_t>(bytes.data() + bytes.capacity());
    madvise(reinterpret_cast<void *>(first), end - first, MADV_HUGEPAGE);
    // The headers and the array's terminator were written before the advice,
    // each into a small page, which keeps the huge page it lies in from
    // being made at a fault: those two are made huge now, their few bytes
    // copied over.
    constexpr int collapse = 25; // MADV_COLLAPSE, Linux 6.1
    const uintptr_t firstHuge = first & ~(uintptr_t(hugePage) - 1);
    const uintptr_t lastHuge = (end - 1) & ~(uintptr_t(hugePage) - 1);
    madvise(reinterpret_cast<void *>(firstHuge), size_t(hugePage), collapse);
    if (lastHuge != firstHuge)
        madvise(reinterpret_cast<void *>(lastHuge), size_t(hugePage), collapse);
#endif
    return bytes;
}

} // namespace tessaline

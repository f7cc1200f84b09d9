#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

namespace tessaline {

// glibc keeps freed heap blocks for reuse, so after a capture has let go of
// its frames (tens of megabytes at 5K) the process would stay that large.
// Hands the free pages of every heap back to the system; takes a few
// milliseconds, so call it once a capture has finished, not per image.
void releaseFreedMemory();

// Blocks of a megabyte and more come straight from the system and go back
// when freed, rather than glibc raising that bar to the largest block seen
// (frames, PNG bytes and grey copies would then stay in the heap). Call once
// at start, before other threads run.
void returnLargeBlocksToSystem();

// Whether huge pages pay on this machine: not under a hypervisor that is
// handed back every free block of memory (a balloon that reports free
// pages). There a huge page is fresh memory the host must back again each
// time it is taken: a 5K capture took 10–20 ms longer in them, and the
// machine stopped for longer while it did. Read once.
bool hugePagesPay();
// The same for the devices under `virtioDevices`, as /sys/bus/virtio/devices
// lists them.
bool hugePagesPayWith(const QString &virtioDevices);

// Asks for [data, data + bytes) to be backed by 2 MiB pages where whole ones
// fit: memory fresh from the system costs a fault per page on first touch,
// and on a virtual machine each one traps to the host, so 17 MB of a 5K
// picture's PNG then costs nine faults rather than 4,300. Call before the
// memory is first written; a kernel without transparent huge pages leaves
// it as it was, as does a machine where they do not pay.
void adviseHugePages(void *data, size_t bytes);

// `size` bytes, not yet written, all of them in huge pages where the
// kernel can: the array's block is made a whole number of 2 MiB pages
// long, which the kernel places on a 2 MiB boundary. adviseHugePages alone
// leaves out the part of each end short of a whole page, up to 4 MB of a
// picture faulted 4 KiB at a time. Where huge pages do not pay, a plain
// array. Empty when memory ran out.
QByteArray bytesInHugePages(qsizetype size);

} // namespace tessaline

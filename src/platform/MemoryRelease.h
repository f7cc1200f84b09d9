#pragma once

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

} // namespace tessaline

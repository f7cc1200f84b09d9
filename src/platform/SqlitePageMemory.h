#pragma once

#include <QtGlobal>

namespace tessaline {

// SQLite's memory, with one difference from its own: a thread that asks
// keeps the page-sized blocks its connections free, and its connections
// take them again before asking the system for more.
//
// A connection's page cache is emptied whenever another connection has
// written the library since its last transaction. The library writer's
// cache holds a whole picture (17 MB at 5K) and the main connection
// writes the card's row after each one, so every picture's write met a
// cache of fresh memory: thousands of page faults, which on a virtual
// machine each trap to the host, about a third of the capture's time.
//
// Install once, before any connection opens; false where SQLite was
// already running, or the C library cannot tell a block's size, and
// SQLite's own memory is left in place.
bool installSqlitePageMemory();

// Whether freed page blocks on this thread are kept. They stay kept until
// releaseKeptSqlitePages(), up to a ceiling past which they go back as
// usual. Such a thread's fresh page blocks are cut from slabs of huge pages
// (up to the same ceiling), where the heap would fault every 4 KiB.
void keepSqlitePagesOnThisThread(bool keep);

// Hands every kept block of the heap back to the C library, to return to
// the system as any freed block does, and every slab none of whose blocks
// SQLite holds back to the system. A slab it holds a block of stays, its
// other blocks kept.
void releaseKeptSqlitePages();

// What is kept now, in bytes.
qint64 keptSqlitePageBytes();

// What the slabs take from the system now, in bytes.
qint64 sqlitePageSlabBytes();

} // namespace tessaline

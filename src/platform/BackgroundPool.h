#pragma once

class QThreadPool;

namespace tessaline {

// The threads our own background work runs on, apart from Qt's global
// pool: Qt's painting splits image scaling and format conversions across
// the global pool and waits for the pieces on the main thread, so a frame
// drawn while a capture was being encoded there waited for the encoding.
QThreadPool &backgroundPool();

} // namespace tessaline

#pragma once

#include <functional>

namespace tessaline {

// Runs work(0) … work(parts - 1) at once: part 0 on the calling thread, the
// others on threads of their own, and returns when all have ended. A part
// whose thread cannot be had (the process is at its limit) runs on the
// calling thread instead, so the work is always done.
void runParallelParts(int parts, const std::function<void(int part)> &work);

} // namespace tessaline

#include "platform/ParallelParts.h"

#include <system_error>
#include <thread>
#include <vector>

namespace tessaline {

void runParallelParts(int parts, const std::function<void(int part)> &work)
{
    std::vector<std::thread> threads;
    std::vector<int> leftOver;
    if (parts > 1)
        threads.reserve(size_t(parts - 1));
    for (int part = 1; part < parts; ++part) {
        try {
            threads.emplace_back(work, part);
        } catch (const std::system_error &) {
            leftOver.push_back(part);
        }
    }
    if (parts > 0)
        work(0);
    for (const int part : leftOver)
        work(part);
    for (std::thread &thread : threads)
        thread.join();
}

} // namespace tessaline
